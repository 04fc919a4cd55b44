// CharSource: internal records with their record-end blank, descriptors read
// in blocks with characters given back across block boundaries, the added
// line end, the end-of-input mark on terminals and other streams.
#include "char_source.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "abort_report.h"
#include "failure.h"
#include "statement_context.h"

namespace {

using recio::CharSource;
using recio::endOfInput;

// Every character the source gives before the end-of-input mark.
std::string drain(CharSource& source) {
  std::string out;
  for (int c = source.get(); c != endOfInput; c = source.get()) out.push_back(static_cast<char>(c));
  return out;
}

// A temp file holding `contents`, opened for reading; the name is removed.
int tempFileDescriptor(std::string_view contents) {
  char path[] = "/tmp/char_source_testXXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  unlink(path);
  EXPECT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
  lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string patterned(std::size_t n) {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return s;
}

// ---- internal records ----

TEST(CharSourceRecord, GivesTheRecordThenOneBlankThenTheMarkForEver) {
  struct Case { std::string_view record; std::string_view given; };
  constexpr Case cases[] = {
      {"ab", "ab "},
      {"", " "},
      {"45.5    ", "45.5     "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    CharSource source;
    source.openRecord(c.record.data(), static_cast<std::int32_t>(c.record.size()));
    EXPECT_TRUE(source.isInternal());
    EXPECT_EQ(drain(source), c.given);
    EXPECT_EQ(source.get(), endOfInput);
    EXPECT_EQ(source.get(), endOfInput);
    EXPECT_TRUE(source.beginStatement());
  }
}

TEST(CharSourceRecord, GivingBackStepsOverTheRecordEndBlank) {
  const char record[] = "1e+";
  CharSource source;
  source.openRecord(record, 3);
  EXPECT_EQ(drain(source), "1e+ ");
  source.unget(endOfInput);  // does nothing: the source stays ended
  source.unget(' ');
  source.unget('+');
  source.unget('e');
  EXPECT_EQ(source.position(), 1);
  EXPECT_EQ(source.get(), 'e');
  EXPECT_EQ(source.get(), '+');
  EXPECT_EQ(source.get(), ' ');
  EXPECT_EQ(source.get(), endOfInput);
}

TEST(CharSourceRecord, KeepsTheContextOfTheRecordCurrent) {
  const char record[] = "abc/    ";
  CharSource source;
  source.openRecord(record, 8);
  recio::StatementContext context;
  struct Step { int take; std::int32_t taken; std::ptrdiff_t position; };
  // After the record-end blank the count returns to 0 and the position is
  // the end of the area.
  constexpr Step steps[] = {{0, 0, 0}, {4, 4, 4}, {4, 8, 8}, {1, 0, 8}, {1, 0, 8}};
  for (const auto& s : steps) {
    for (int i = 0; i < s.take; ++i) source.get();
    source.updateContext(context);
    EXPECT_EQ(context.charactersTaken, s.taken);
    EXPECT_EQ(context.recordPosition - record, s.position);
  }
  source.unget(endOfInput);
  source.unget(' ');
  source.updateContext(context);
  EXPECT_EQ(context.charactersTaken, 8);
  EXPECT_EQ(context.recordPosition - record, 8);
}

TEST(CharSourceRecord, ReadsARecordLongerThanABlock) {
  const std::string record = patterned(200000);
  CharSource source;
  source.openRecord(record.data(), static_cast<std::int32_t>(record.size()));
  std::string got;
  for (int i = 0; i < 65536 + 10; ++i) got.push_back(static_cast<char>(source.get()));
  for (int i = 0; i < 600; ++i) source.unget(static_cast<unsigned char>(got[got.size() - 1 - i]));
  got.resize(got.size() - 600);
  EXPECT_EQ(source.position(), 65536 + 10 - 600);
  got += drain(source);
  EXPECT_EQ(got, record + " ");
}

// ---- descriptors ----

TEST(CharSourceDescriptor, CompletesALastLineWithoutALineEnd) {
  struct Case { std::string_view bytes; std::string_view given; std::int64_t endPosition; };
  constexpr Case cases[] = {
      {"ab", "ab\n", 2},
      {"ab\n", "ab\n", 3},
      {"", "", 0},
      {"\n", "\n", 1},
      {"1 2 3\nx", "1 2 3\nx\n", 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    const int fd = tempFileDescriptor(c.bytes);
    CharSource source;
    source.openDescriptor(fd, 5, false);
    EXPECT_FALSE(source.isInternal());
    EXPECT_EQ(source.unit(), 5);
    EXPECT_EQ(drain(source), c.given);
    EXPECT_EQ(source.position(), c.endPosition);
    EXPECT_EQ(source.get(), endOfInput);
    close(fd);
  }
}

TEST(CharSourceDescriptor, TheAddedLineEndIsNoByteOfTheStream) {
  const int fd = tempFileDescriptor("xy");
  CharSource source;
  source.openDescriptor(fd, 5, false);
  EXPECT_EQ(drain(source), "xy\n");
  EXPECT_EQ(source.position(), 2);
  source.unget('\n');
  EXPECT_EQ(source.position(), 2);
  source.unget('y');
  EXPECT_EQ(source.position(), 1);
  EXPECT_EQ(source.get(), 'y');
  EXPECT_EQ(source.get(), '\n');
  EXPECT_EQ(source.get(), endOfInput);
  close(fd);
}

TEST(CharSourceDescriptor, GivesBackAcrossBlockBoundaries) {
  const std::string bytes = patterned(3 * 65536 + 123) + "\n";
  const int fd = tempFileDescriptor(bytes);
  CharSource source;
  source.openDescriptor(fd, 5, false);
  std::string got;
  // Past each boundary, give back 513 characters and take them again.
  for (std::size_t boundary = 65536; boundary < bytes.size(); boundary += 65536) {
    while (got.size() < boundary + 5) got.push_back(static_cast<char>(source.get()));
    for (int i = 0; i < 513; ++i) {
      source.unget(static_cast<unsigned char>(got.back()));
      got.pop_back();
    }
    EXPECT_EQ(source.position(), static_cast<std::int64_t>(got.size()));
  }
  got += drain(source);
  EXPECT_EQ(got, bytes);
  EXPECT_EQ(source.position(), static_cast<std::int64_t>(bytes.size()));
  close(fd);
}

TEST(CharSourceDescriptor, StartsAtTheDescriptorsOffset) {
  const int fd = tempFileDescriptor("skip:kept\n");
  lseek(fd, 5, SEEK_SET);
  CharSource source;
  source.openDescriptor(fd, 5, false);
  EXPECT_EQ(source.startOffset(), 5);
  EXPECT_EQ(drain(source), "kept\n");
  EXPECT_EQ(source.position(), 5);
  close(fd);
}

TEST(CharSourceDescriptor, ReadsAPipeFedInPieces) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  const std::string bytes = patterned(150000);
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes.size(); at += 7001) {
      const std::size_t n = std::min<std::size_t>(7001, bytes.size() - at);
      EXPECT_EQ(write(p[1], bytes.data() + at, n), static_cast<ssize_t>(n));
    }
    close(p[1]);
  });
  CharSource source;
  source.openDescriptor(p[0], 5, false);
  EXPECT_EQ(source.startOffset(), 0);  // a pipe has no offset
  EXPECT_EQ(drain(source), bytes + "\n");
  writer.join();
  close(p[0]);
}

TEST(CharSourceDescriptor, WaitsOnADescriptorThatWouldBlock) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  fcntl(p[0], F_SETFL, fcntl(p[0], F_GETFL) | O_NONBLOCK);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(write(p[1], "late\n", 5), 5);
    close(p[1]);
  });
  CharSource source;
  source.openDescriptor(p[0], 5, false);
  EXPECT_EQ(drain(source), "late\n");
  writer.join();
  close(p[0]);
}

// A regular file stands in for a terminal: it can give more bytes after it
// gave its end, as a terminal does after the user signalled the end.
TEST(CharSourceDescriptor, OnlyATerminalIsReadAgainAfterItsEnd) {
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "other stream");
    const int fd = tempFileDescriptor("ab\n");
    CharSource source;
    source.openDescriptor(fd, 5, terminal);
    EXPECT_FALSE(source.beginStatement());
    EXPECT_EQ(drain(source), "ab\n");
    const off_t at = lseek(fd, 0, SEEK_CUR);
    EXPECT_EQ(pwrite(fd, "cd", 2, at), 2);
    EXPECT_EQ(source.beginStatement(), !terminal);
    EXPECT_EQ(drain(source), terminal ? "cd\n" : "");
    EXPECT_EQ(source.position(), terminal ? 5 : 3);
    close(fd);
  }
}

TEST(CharSourceDescriptor, ATerminalEndAfterAnIncompleteLineEndsTheNextStatement) {
  const int fd = tempFileDescriptor("ab");
  CharSource source;
  source.openDescriptor(fd, 5, true);
  EXPECT_EQ(source.get(), 'a');
  EXPECT_EQ(source.get(), 'b');
  EXPECT_EQ(source.get(), '\n');
  // The end that completed the line still ends the statement that reads on.
  EXPECT_FALSE(source.beginStatement());
  EXPECT_EQ(source.get(), endOfInput);
  EXPECT_FALSE(source.beginStatement());
  close(fd);
}

void noCoreImage() {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
}

// A read error is reported, never taken for the end of the input.
void readADirectory() {
  noCoreImage();
  const int fd = open("/tmp", O_RDONLY | O_DIRECTORY);
  recio::beginExternalStatement(true, recio::Form::freeForm, 5, "ext list io", true, false);
  CharSource source;
  source.openDescriptor(fd, 5, false);
  source.get();
}

TEST(CharSourceDescriptorDeathTest, ReportsAReadError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string report = std::string("list read: [") + std::to_string(EISDIR) + "] " +
                             std::strerror(EISDIR) + "\nlogical unit 5, named 'stdin'\n";
  EXPECT_EXIT(readADirectory(), testing::KilledBySignal(SIGABRT), abortReportIs(report));
}

// ---- chunks in memory and feeds ----

TEST(CharSourceChunk, EndsWhereItsBytesEndWithNoLineEndAdded) {
  // A chunk is a piece of a stream whose end has not come: its last line is
  // not completed, so a group that reaches the chunk's end meets the mark.
  static CharSource source;  // large: not on the stack
  const std::string bytes = "1 2 3 a\n4 5";
  source.openChunk(bytes.data(), bytes.size());
  EXPECT_FALSE(source.isInternal());
  EXPECT_EQ(drain(source), bytes);
  EXPECT_EQ(source.position(), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(source.get(), endOfInput);
  source.moveTo(8);
  EXPECT_EQ(source.position(), 8);
}

// Serves a text in pieces of 1 to 7 bytes and notes the offsets asked for.
class PieceFeed final : public recio::ByteFeed {
 public:
  explicit PieceFeed(std::string text) : text_(std::move(text)) {}
  long fill(std::int64_t offset, char* into, std::size_t room) noexcept override {
    asked.push_back(offset);
    const auto at = static_cast<std::size_t>(offset);
    if (at >= text_.size()) return 0;
    const std::size_t n = std::min({room, text_.size() - at, 1 + asked.size() % 7});
    std::memcpy(into, text_.data() + at, n);
    return static_cast<long>(n);
  }
  std::vector<std::int64_t> asked;

 private:
  std::string text_;
};

TEST(CharSourceFeed, AsksForTheBytesAfterThoseItHasAndCompletesTheLastLine) {
  static CharSource source;
  const int fd = tempFileDescriptor("");  // the descriptor is never read
  PieceFeed feed(patterned(300) + "\nlast");
  source.openDescriptor(fd, 5, false);
  source.readThrough(&feed);
  EXPECT_EQ(drain(source), patterned(300) + "\nlast\n");
  EXPECT_EQ(source.position(), 305);
  std::int64_t served = 0;
  for (std::size_t i = 0; i + 1 < feed.asked.size(); ++i) {
    ASSERT_EQ(feed.asked[i], served);
    served += static_cast<std::int64_t>(std::min<std::size_t>(1 + (i + 1) % 7, 305 - served));
  }
  close(fd);
}

TEST(CharSourceFeed, MovesPastWhatItFetchedAndGoesOnThere) {
  static CharSource source;
  const int fd = tempFileDescriptor("");
  PieceFeed feed("abc\ndef\nghi\njkl\n");
  source.openDescriptor(fd, 5, false);
  source.readThrough(&feed);
  EXPECT_EQ(source.get(), 'a');
  source.moveTo(4);  // within what was fetched
  EXPECT_EQ(source.get(), 'd');
  source.moveTo(12);  // beyond it: the next fill starts there
  EXPECT_EQ(source.position(), 12);
  EXPECT_EQ(source.get(), 'j');
  EXPECT_EQ(feed.asked.back(), 12);
  EXPECT_EQ(drain(source), "kl\n");
  close(fd);
}

}  // namespace
