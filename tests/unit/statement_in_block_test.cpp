// StatementInBlock against the general steps: statements of one to four
// items, reals and texts for targets of several lengths in random order and
// forms, with what follows the last item and the end of the characters
// anywhere, read whole from memory and handed to the reader, and item by
// item by the general steps from a source fed in pieces too short for any
// block entry. Where the statement is read whole, the targets, the
// position, the whole reader state and the trace must be the general
// steps' own (a declined one touches neither the reader nor the source).
#include "statement_in_block.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "char_source.h"
#include "free_form_pieces.h"
#include "free_form_reader.h"
#include "read_trace.h"
#include "reader_state.h"

namespace {

using readertest::describe;
using readertest::Item;

// The targets of a statement's items, with what they held before it.
struct Targets {
  double reals[4] = {0x1.5p+4, -0x1.8p+1, 0x1p-3, 7.0};
  char texts[4][20] = {"old 0", "old 1", "old 2", "old 3"};

  std::string describe() const {
    std::string text;
    for (const double v : reals) text += std::to_string(std::bit_cast<std::uint64_t>(v)) + " ";
    for (const auto& t : texts) text += "[" + std::string(t, sizeof t) + "]";
    return text;
  }
};

bool readWhole(recio::StatementInBlock& statement, const Item* items, int count, Targets& targets) {
  for (int i = 0; i < count; ++i) {
    const bool read = items[i].real ? statement.readReal(targets.reals[i])
                                    : statement.readText(targets.texts[i], items[i].length);
    if (!read) return false;
  }
  return statement.endRead();
}

// Returns whether the statement was read whole.
bool checkBothWays(const std::string& body, const Item* items, int count, std::uint32_t seed) {
  recio::ReaderState fastState, generalState;
  readertest::readPrelude(fastState);
  readertest::readPrelude(generalState);
  recio::CharSource chunk;
  chunk.openChunk(body.data(), body.size());
  Targets fast;
  recio::StatementInBlock statement(chunk.buffered(), chunk.bufferedEnd());
  if (!readWhole(statement, items, count, fast)) return false;
  recio::ReadTrace fastTrace, generalTrace;
  statement.trace(fastTrace, chunk.position());
  recio::FreeFormReader(fastState).takeInBlock(chunk, true, true, statement.leaves());

  readertest::Pieces feed(body, seed, readertest::generalPieces);
  recio::CharSource source;
  readertest::openFed(source, feed);
  recio::FreeFormReader reader(generalState);
  reader.traceInto(&generalTrace);
  Targets general;
  std::int32_t status = reader.beginDetachedRead(source);
  for (int i = 0; i < count && status == 0; ++i) {
    status = items[i].real ? reader.readReal(general.reals[i])
                           : reader.readText(general.texts[i], items[i].length);
  }
  if (status == 0) status = reader.endRead();
  reader.traceInto(nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(fast.describe(), general.describe());
  EXPECT_EQ(chunk.position(), source.position());
  EXPECT_EQ(fastState, generalState);
  for (int i = 0; i < count; ++i) {
    if (items[i].real) continue;
    readertest::dropHashWithin(fastTrace, i, items[i].length);
    readertest::dropHashWithin(generalTrace, i, items[i].length);
  }
  EXPECT_EQ(describe(fastTrace), describe(generalTrace));
  return true;
}

TEST(StatementInBlock, ReadsAsTheGeneralStepsDo) {
#ifdef NDEBUG
  constexpr int statements = 100000;
#else
  constexpr int statements = 10000;
#endif
  readertest::RandomInput random(20261212);
  const std::int32_t lengths[] = {8, 8, 3, 16, 20};
  int taken = 0;
  for (int i = 0; i < statements && !testing::Test::HasFailure(); ++i) {
    Item items[4];
    const int count = 1 + static_cast<int>(random.next() % 4);
    // Half of the statements in the forms files hold most, half in any.
    const bool common = random.next() % 2 == 0;
    std::string body = common ? "" : random.pick({"", "", " ", "\n", " ,", ","});
    for (int n = 0; n < count; ++n) {
      items[n] = random.next() % 2 == 0 ? Item{true} : Item{false, lengths[random.next() % 5]};
      if (n > 0) body += common ? " " : random.separator();
      if (common) {
        body += items[n].real ? random.digits(1 + random.next() % 4) + "." + random.digits(3)
                              : "P" + random.digits(random.next() % 12);
      } else {
        body += items[n].real ? random.number() : random.text();
      }
    }
    body += random.pick({"\n", "\n", " rest of the line\n", "*\n", "*5 x\n", "", "\\\nmore\n"});
    // The next line, or the end of the characters anywhere.
    if (common || random.next() % 2 == 0) {
      body.append("1 2 3 next\n").append(40, ' ');
    } else {
      body.resize(random.next() % (body.size() + 1));
    }
    SCOPED_TRACE(testing::PrintToString(body));
    if (checkBothWays(body, items, count, static_cast<std::uint32_t>(i))) ++taken;
  }
  // Many statements are in a form read whole: it is exercised, and so is the
  // hand-over.
  EXPECT_GT(taken, statements / 4);
  EXPECT_LT(taken, statements - statements / 4);
}

}  // namespace
