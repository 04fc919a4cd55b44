// The record group's fast path against the general steps: random lines in
// every form of the numbers, separators and labels, each read in one pass
// from a chunk in memory and item by item from a source that is fed in
// pieces too short for any block entry (so that the number scanner and the
// standard library's conversion read every number). Where the fast path
// reads a group, values, label, position, the whole reader state and the
// record of the statement (its trace) must be the general steps' own; where
// it does not, nothing may have changed.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>

#include "char_source.h"
#include "free_form_pieces.h"
#include "free_form_reader.h"
#include "read_trace.h"
#include "reader_state.h"

namespace {

using recio::CharSource;
using recio::FreeFormReader;
using recio::ReaderState;
using readertest::Pieces;

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// What the targets and the source hold after a statement, as one text.
struct Outcome {
  double values[3] = {0x1.5p+4, -0x1.8p+1, 0x1p-3};  // what the targets held
  char label[8] = {'o', 'l', 'd', ' ', ' ', ' ', ' ', ' '};
  std::int64_t position = 0;

  std::string describe() const {
    std::string text;
    for (const double v : values) text += std::to_string(bits(v)) + " ";
    return text + "[" + std::string(label, 8) + "] " + std::to_string(position);
  }
};

// What a statement's trace recorded, as one text.
std::string describe(const recio::ReadTrace& trace) {
  std::string text = std::to_string(trace.itemCount) + (trace.begun ? " begun" : " not begun");
  for (int i = 0; i < trace.itemCount && i < recio::ReadTrace::maxItems; ++i) {
    const recio::ItemTrace& item = trace.items[i];
    text += " [" + std::to_string(static_cast<int>(item.outcome)) + " " +
            std::to_string(item.start) + "-" + std::to_string(item.end) + " r" +
            std::to_string(item.repeatCount) + " q" + std::to_string(item.quote) + " n" +
            std::to_string(item.textLength) + (item.continued ? " continued" : "");
    // The whole text's hash counts for a text longer than its target.
    if (item.textLength > 8) text += " h" + std::to_string(item.textHash);
    text += "]";
  }
  return text + " rest " + std::to_string(trace.restStart) + "-" +
         std::to_string(trace.restEnd) + " failure " + std::to_string(trace.failure);
}

// The general steps over `text`, fed in pieces too short for any block
// entry, recorded in `trace`: returns the statement's status.
std::int32_t readInGeneral(const std::string& text, std::uint32_t seed, ReaderState& state,
                           Outcome& out, recio::ReadTrace& trace) {
  Pieces feed(text, seed, readertest::generalPieces);
  CharSource source;
  readertest::openFed(source, feed);
  FreeFormReader reader(state);
  reader.traceInto(&trace);
  std::int32_t status = reader.beginRead(source, true, false);
  for (double& value : out.values) {
    if (status == 0) status = reader.readReal(value);
  }
  if (status == 0) status = reader.readText(out.label, 8);
  if (status == 0) status = reader.endRead();
  reader.traceInto(nullptr);
  out.position = source.position();
  return status;
}

// Checks one text both ways; returns whether the fast path read it.
bool checkBothWays(const std::string& text, std::uint32_t seed) {
  ReaderState fastState, generalState;
  readertest::readPrelude(fastState);
  readertest::readPrelude(generalState);
  CharSource chunk;
  chunk.openChunk(text.data(), text.size());
  Outcome fast;
  FreeFormReader fastReader(fastState);
  recio::ReadTrace fastTrace, generalTrace;
  const bool taken =
      fastReader.readGroupInBlock(chunk, true, false, fast.values[0], fast.values[1],
                                  fast.values[2], fast.label, 8, &fastTrace);
  fast.position = chunk.position();
  if (!taken) {
    // Nothing taken, nothing stored.
    EXPECT_EQ(fastState, generalState);
    EXPECT_EQ(fast.describe(), Outcome{}.describe());
    return false;
  }
  Outcome general;
  EXPECT_EQ(readInGeneral(text, seed, generalState, general, generalTrace), 0);
  EXPECT_EQ(fastState, generalState);
  EXPECT_EQ(fast.describe(), general.describe());
  EXPECT_EQ(describe(fastTrace), describe(generalTrace));
  return true;
}

// ---- random lines ----

std::string randomLine(readertest::RandomInput& random) {
  std::string s = random.pick({"", "", "", " ", "\n", "  \t\n "});
  for (int i = 0; i < 3; ++i) s.append(random.number()).append(random.separator());
  s += random.text();
  return s + random.pick({"\n", "\n", "\n", " rest of the line\n", "/more\n", "\r\n", ""});
}

TEST(RecordGroupFastPath, ReadsAsTheGeneralStepsDo) {
#ifdef NDEBUG
  constexpr int lines = 300000;
#else
  constexpr int lines = 30000;
#endif
  readertest::RandomInput random(20261209);
  std::mt19937 cut(5);
  int taken = 0;
  for (int i = 0; i < lines && !HasFailure(); ++i) {
    std::string text = randomLine(random);
    // What follows the line: another one, blanks, or nothing (the block or
    // chunk ends right there, or anywhere inside the line).
    const unsigned follow = cut() % 10;
    if (follow < 4) {
      text.append("1 2 3 next\n").append(40, ' ');
    } else if (follow < 7) {
      text.append(cut() % 64, ' ');
    } else if (follow < 9) {
      text.resize(cut() % (text.size() + 1));
    }
    SCOPED_TRACE(testing::PrintToString(text));
    if (checkBothWays(text, static_cast<std::uint32_t>(i))) ++taken;
  }
  // Most lines are in a form the fast path takes: it is exercised, and
  // so is the hand-over.
  EXPECT_GT(taken, lines / 20);
  EXPECT_LT(taken, lines - lines / 20);
}

}  // namespace
