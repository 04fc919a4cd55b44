// readText's block entry against the general steps: statements of random
// texts (quoted and not, with repeat counts, NULs, backslashes before line
// ends, of every length) after a real or not, into targets of several
// lengths and with the block ending anywhere, read by a reader whose block
// holds them and by one fed in pieces too short for any block entry.
// Statuses, targets, positions and the whole reader state must agree after
// every item.
#include "text_item_fast_path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "char_source.h"
#include "free_form_pieces.h"
#include "free_form_rules.h"
#include "reader_state.h"

namespace {

using readertest::Item;

TEST(TextItemFastPath, ReadsAsTheGeneralStepsDo) {
#ifdef NDEBUG
  constexpr int statements = 100000;
#else
  constexpr int statements = 10000;
#endif
  readertest::RandomInput random(20270128);
  int taken = 0;
  for (int i = 0; i < statements && !testing::Test::HasFailure(); ++i) {
    const std::int32_t lengths[] = {8, 8, 8, 3, 16, 20};
    const std::int32_t targetLength = lengths[random.next() % 6];
    const bool afterReal = random.next() % 2 == 0;
    const Item items[] = {{afterReal}, {false, targetLength}, {false, targetLength}};
    std::string body = random.pick({"", "", " ", "\n", " ,", ","});
    body.append(afterReal ? random.number() : random.text()).append(random.separator());
    body.append(random.text()).append(random.separator()).append(random.text());
    body.append(random.pick({"\n", " x\n", "", "\\\nmore\n"})).append(random.next() % 20, ' ');
    const std::size_t cut =
        random.next() % 2 == 0 ? body.size() : 1 + random.next() % (body.size() + 1);
    SCOPED_TRACE(testing::PrintToString(body) + " cut at " + std::to_string(cut));
    readertest::compareItems(body, items, cut, static_cast<std::uint32_t>(i));

    // How often the entry itself takes a text item that starts a statement.
    if (!afterReal) {
      recio::CharSource chunk;
      chunk.openChunk(body.data(), body.size());
      char room[128];
      recio::ReaderFields probe;
      probe.text = room;
      probe.textCapacity = sizeof room;
      recio::freeform::startStatement(probe, chunk, true, true);
      char target[20];
      if (recio::freeform::readTextInBlock(probe, target, targetLength)) ++taken;
    }
  }
  // Many such items are in a form the entry takes: it is exercised, and so
  // is the hand-over.
  EXPECT_GT(taken, statements / 8);
  EXPECT_LT(taken, statements / 2);
}

}  // namespace
