// readReal's block entry against the general steps: statements of random
// reals, in every form of the numbers and separators and with the block
// ending anywhere, read by a reader whose block holds them and by one fed
// in pieces too short for any block entry. Statuses, targets, positions and
// the whole reader state must agree after every item.
#include "real_item_fast_path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "char_source.h"
#include "free_form_pieces.h"
#include "free_form_rules.h"
#include "reader_state.h"

namespace {

using readertest::Item;

TEST(RealItemFastPath, ReadsAsTheGeneralStepsDo) {
#ifdef NDEBUG
  constexpr int statements = 100000;
#else
  constexpr int statements = 10000;
#endif
  readertest::RandomInput random(20270127);
  const Item reals[] = {{true}, {true}, {true}, {true}};
  int taken = 0;
  for (int i = 0; i < statements && !testing::Test::HasFailure(); ++i) {
    std::string body = random.pick({"", "", " ", "\n", " ,", ","});
    for (int n = 0; n < 4; ++n) body.append(random.number()).append(random.separator());
    body.append(random.pick({"\n", "x\n", "", "2*\n"})).append(random.next() % 40, ' ');
    const std::size_t cut =
        random.next() % 2 == 0 ? body.size() : 1 + random.next() % (body.size() + 1);
    SCOPED_TRACE(testing::PrintToString(body) + " cut at " + std::to_string(cut));
    readertest::compareItems(body, reals, cut, static_cast<std::uint32_t>(i));

    // How often the entry itself takes a statement's first item.
    recio::CharSource chunk;
    chunk.openChunk(body.data(), body.size());
    recio::ReaderFields probe;
    recio::freeform::startStatement(probe, chunk, true, true);
    double value = 0.0;
    if (recio::freeform::readRealInBlock(probe, value)) ++taken;
  }
  // Most first items are in a form the entry takes: it is exercised, and so
  // is the hand-over.
  EXPECT_GT(taken, statements / 4);
  EXPECT_LT(taken, statements - statements / 20);
}

}  // namespace
