// The scan stage against the general steps: runs of random lines in every
// form of the numbers, separators and labels, read by a group reader from a
// stream whose block holds them all (the scan stage where it takes the groups, the general
// steps where it declines) and group by group by the general steps from a
// source fed in pieces too short for any block entry (so that the number
// scanner and the standard library's conversion read every number). After
// every batch the groups' values and labels, their traces, the position,
// the point and the whole reader state must be the general steps' own.
#include "scan_stage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <span>
#include <string>

#include "char_source.h"
#include "free_form_pieces.h"
#include "free_form_reader.h"
#include "read_trace.h"
#include "reader_state.h"
#include "record_group.h"

namespace {

using geocart::GroupBatch;
using geocart::GroupReader;
using geocart::PointState;
using readertest::describe;
using readertest::Pieces;
using recio::CharSource;
using recio::FreeFormReader;
using recio::ReaderState;
using recio::ReadTrace;

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// A group's values and label as one text.
std::string describe(double latitude, double longitude, double height, const char* label) {
  return std::to_string(bits(latitude)) + " " + std::to_string(bits(longitude)) + " " +
         std::to_string(bits(height)) + " [" + std::string(label, 8) + "]";
}

std::string describe(const PointState& state) {
  return describe(state.point.latitude, state.point.longitude, state.point.height,
                  state.label.chars);
}

// The general steps, one group at a time, over a source fed in pieces.
class GeneralSide {
 public:
  GeneralSide(const std::string& text, std::uint32_t seed)
      : feed_(text, seed, readertest::generalPieces) {
    readertest::openFed(source_, feed_);
    readertest::readPrelude(state_);
  }

  // One group, recorded in `trace`: the statement's status.
  std::int32_t read(ReadTrace& trace) {
    FreeFormReader reader(state_);
    reader.traceInto(&trace);
    std::int32_t status = reader.beginDetachedRead(source_);
    geocart::GeodeticPoint& p = point_.point;
    if (status == 0) status = reader.readReal(p.latitude);
    if (status == 0) status = reader.readReal(p.longitude);
    if (status == 0) status = reader.readReal(p.height);
    if (status == 0) status = reader.readText(point_.label.chars, 8);
    if (status == 0) status = reader.endRead();
    reader.traceInto(nullptr);
    return status;
  }

  const PointState& point() const { return point_; }
  const ReaderState& state() const { return state_; }
  std::int64_t position() const { return source_.position(); }

 private:
  Pieces feed_;
  CharSource source_;
  ReaderState state_;
  PointState point_;
};

// The group reader over `text` in one block, with batches of `most` at a
// time (traced ones of 1 to 16 groups when `traced`), against the general
// steps; returns how many groups the scan stage read.
int checkBothWays(const std::string& text, std::uint32_t seed, bool traced) {
  std::mt19937 random(seed);
  // A stream that gives all of the text in one block.
  Pieces whole(text, seed, 0);
  CharSource chunk;
  readertest::openFed(chunk, whole);
  ReaderState fastState;
  readertest::readPrelude(fastState);
  GroupReader groups = GroupReader::detached(fastState, chunk);
  PointState fast;
  GeneralSide general(text, seed);
  GroupBatch batch;
  ReadTrace traces[16];
  ReadTrace generalTrace;
  int scanned = 0;
  for (int round = 0; round < 1000; ++round) {
    const std::size_t most = 1 + random() % (traced ? 16 : GroupBatch::capacity);
    const std::int32_t status = traced ? groups.readTraced(batch, std::span(traces, most), fast)
                                       : groups.read(batch, most, fast);
    if (status != 0) {
      EXPECT_EQ(status, general.read(generalTrace));
      if (traced) {
        readertest::dropHashWithin(traces[0], 3, 8);
        readertest::dropHashWithin(generalTrace, 3, 8);
        EXPECT_EQ(describe(traces[0]), describe(generalTrace));
      }
      EXPECT_EQ(describe(fast), describe(general.point()));
      EXPECT_EQ(fastState, general.state());
      return scanned;
    }
    EXPECT_GE(batch.count, 1u);
    EXPECT_LE(batch.count, most);
    if (batch.finite) scanned += static_cast<int>(batch.count);
    for (std::size_t i = 0; i < batch.count; ++i) {
      SCOPED_TRACE("group " + std::to_string(i) + " of " + std::to_string(batch.count));
      EXPECT_EQ(general.read(generalTrace), 0);
      EXPECT_EQ(
          describe(batch.latitude[i], batch.longitude[i], batch.height[i], batch.label[i].chars),
          describe(general.point()));
      if (traced) {
        readertest::dropHashWithin(traces[i], 3, 8);
        readertest::dropHashWithin(generalTrace, 3, 8);
        EXPECT_EQ(describe(traces[i]), describe(generalTrace));
      }
    }
    EXPECT_EQ(describe(fast), describe(general.point()));
    EXPECT_EQ(chunk.position(), general.position());
    EXPECT_EQ(fastState, general.state());
    if (testing::Test::HasFailure()) return scanned;
  }
  ADD_FAILURE() << "more groups than rounds";
  return scanned;
}

std::string randomLine(readertest::RandomInput& random) {
  std::string s = random.pick({"", "", "", " ", "\n", "  \t\n "});
  for (int i = 0; i < 3; ++i) s.append(random.number()).append(random.separator());
  s += random.text();
  return s + random.pick({"\n", "\n", "\n", " rest of the line\n", "/more\n", "\r\n", ""});
}

// Runs of lines, mostly in the form the scan stage takes, and lines in
// every other form between them; the input ends after a whole line, inside
// one, or after blanks.
std::string randomText(readertest::RandomInput& random, std::mt19937& cut) {
  std::string text;
  const unsigned lines = 1 + cut() % 12;
  for (unsigned i = 0; i < lines; ++i) {
    text +=
        cut() % 3 == 0 ? randomLine(random) : "10.5 -20.25 30 P" + random.digits(cut() % 9) + "\n";
  }
  const unsigned follow = cut() % 10;
  if (follow < 4) {
    text.append("1 2 3 next\n").append(40, ' ');
  } else if (follow < 7) {
    text.append(cut() % 64, ' ');
  } else if (follow < 9) {
    text.resize(cut() % (text.size() + 1));
  }
  return text;
}

void readAsTheGeneralStepsDo(bool traced) {
#ifdef NDEBUG
  constexpr int texts = 30000;
#else
  constexpr int texts = 3000;
#endif
  readertest::RandomInput random(traced ? 20261211 : 20261209);
  std::mt19937 cut(5);
  int scanned = 0;
  int groups = 0;
  for (int i = 0; i < texts && !testing::Test::HasFailure(); ++i) {
    const std::string text = randomText(random, cut);
    SCOPED_TRACE(testing::PrintToString(text));
    scanned += checkBothWays(text, static_cast<std::uint32_t>(i), traced);
    groups += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }
  // Most groups are in a form the scan stage takes: it is exercised, and so
  // is the hand-over.
  EXPECT_GT(scanned, groups / 3);
  EXPECT_LT(scanned, groups - groups / 20);
}

TEST(ScanStage, ReadsBatchesAsTheGeneralStepsDo) { readAsTheGeneralStepsDo(false); }

TEST(ScanStage, RecordsEachGroupAsTheGeneralStepsDo) { readAsTheGeneralStepsDo(true); }

}  // namespace
