// FreeFormReader: one real from an 80-character record, and record groups of
// three reals and a label from a descriptor, grouped by rule; the failure
// reports with their exact bytes; and exact round trips of random doubles.
#include "free_form_reader.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "abort_report.h"
#include "char_source.h"
#include "failure.h"
#include "fixed_string.h"
#include "units.h"

namespace {

using recio::CharSource;
using recio::FreeFormReader;

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

constexpr double inf = std::numeric_limits<double>::infinity();
const double positiveNan = std::bit_cast<double>(0x7FFFFFFFFFFFFFFFULL);
const double negativeNan = std::bit_cast<double>(0xFFFFFFFFFFFFFFFFULL);

constexpr std::int32_t eof = recio::endOfFile;
constexpr std::int32_t e1009 = recio::noStarAfterRepeatCount;
constexpr std::int32_t e1012 = recio::incomprehensibleListInput;
constexpr std::int32_t e1022 = recio::negativeRepeatCount;

// ---- one real from a record (the command-line number) ----

constexpr double untouched = 0x1.5p+4;  // 21: what the target held before

struct RealOutcome {
  std::int32_t status;
  double value;
};

// Reads one real from `text` blank-padded to `length` characters, with both
// exits so that every status comes back.
RealOutcome recordReal(std::string_view text, std::size_t length = 80) {
  std::string record(std::max(length, text.size()), ' ');
  record.replace(0, text.size(), text);
  FreeFormReader reader;
  double value = untouched;
  std::int32_t status =
      reader.beginRead(record.data(), static_cast<std::int32_t>(record.size()), true, true);
  if (status == 0) status = reader.readReal(value);
  if (status == 0) status = reader.endRead();
  return {status, value};
}

struct RealCase {
  std::string_view text;
  std::int32_t status;
  double value;
};

void checkRealCases(const RealCase* begin, const RealCase* end) {
  for (const RealCase* c = begin; c != end; ++c) {
    SCOPED_TRACE(testing::PrintToString(std::string(c->text)));
    const RealOutcome got = recordReal(c->text);
    EXPECT_EQ(got.status, c->status);
    EXPECT_EQ(bits(got.value), bits(c->value));
  }
}

TEST(ReaderNumbers, EveryFormOfTheNumber) {
  const RealCase cases[] = {
      {"45.5", 0, 45.5},
      {"  -12.25", 0, -12.25},
      {"45", 0, 45.0},
      {"45.", 0, 45.0},
      {".5", 0, 0.5},
      {"+7", 0, 7.0},
      {"4.5d1", 0, 45.0},
      {"4.5D1", 0, 45.0},
      {"5q2", 0, 500.0},
      {"5Q+2", 0, 500.0},
      {"5E-2", 0, 0x1.999999999999ap-5},
      {"5e-2", 0, 0x1.999999999999ap-5},
      {"1+2", 0, 100.0},
      {"5-2", 0, 0x1.999999999999ap-5},
      {"1-2-3", 0, 0x1.47ae147ae147bp-7},  // 0.01; -3 is left in the record
      {"1.5.5", 0, 1.5},
      {"0.1", 0, 0x1.999999999999ap-4},
      {"-0", 0, -0.0},
      {"0", 0, 0.0},
      {"-0.0e5", 0, -0.0},
      {"000045.5000", 0, 45.5},
      {"\r\v\f7", 0, 7.0},  // white space of the number scanner's own
      {"1e00000000000000000000000000000000001", 0, 10.0},
      {"1q-00000000000000000000000000000000001", 0, 0x1.999999999999ap-4},
  };
  checkRealCases(std::begin(cases), std::end(cases));
}

TEST(ReaderNumbers, RoundsCorrectlyAndSaturates) {
  const RealCase cases[] = {
      {"9007199254740993", 0, 0x1p+53},  // tie: to even
      {"9007199254740995", 0, 0x1.0000000000002p+53},
      {"1e999", 0, inf},
      {"-1e999", 0, -inf},
      {"1e99999999999999999999", 0, inf},
      {"0e99999999999999999999", 0, 0.0},
      {"1e-400", 0, 0.0},
      {"-1e-400", 0, -0.0},
      {"1e-99999999999999999999", 0, 0.0},
      {"2.4703282292062328e-324", 0, 0x0.0000000000001p-1022},
      {"2.4703282292062327e-324", 0, 0.0},  // just below half the smallest
      {"4.9406564584124654e-324", 0, 0x0.0000000000001p-1022},
      {"2.2250738585072014e-308", 0, 0x1p-1022},
      {"1.7976931348623157e308", 0, 0x1.fffffffffffffp+1023},
      {"1.7976931348623158e308", 0, 0x1.fffffffffffffp+1023},  // below the halfway point
      {"1.7976931348623159e308", 0, inf},
      {"0.000000000000000000000000000001e-300", 0, 0.0},
      {"0.000000000000000000000000000001e-290", 0, 1e-320},
      {"123456789012345678901234567890e-339", 0, 123456789012345678901234567890e-339},
      {"314159265358979323846264338327950288419716939937510582097494459e-62", 0,
       314159265358979323846264338327950288419716939937510582097494459e-62},
      {"9007199254740993000000000000000000000000001e-27", 0, 0x1.0000000000001p+53},
  };
  checkRealCases(std::begin(cases), std::end(cases));
}

TEST(ReaderNumbers, InfinityAndNanInAnyCase) {
  const RealCase cases[] = {
      {"inf", 0, inf},
      {"Infinity", 0, inf},
      {"INFINITY", 0, inf},
      {"iNf", 0, inf},
      {"-inf", 0, -inf},
      {"+inf", 0, inf},
      {"infinit", 0, inf},  // the record goes on with "init"
      {"nan", 0, positiveNan},
      {"NaN(123)", 0, positiveNan},
      {"nAn()", 0, positiveNan},
      {"-nan", 0, negativeNan},
      {"-NaN(x y)", 0, negativeNan},
      {"in", eof, untouched},
      {"na", eof, untouched},
      {"-i", eof, untouched},
  };
  checkRealCases(std::begin(cases), std::end(cases));
}

TEST(ReaderNumbers, TheRestOfTheRecordIsIgnored) {
  const RealCase cases[] = {
      {"45,", 0, 45.0},  {"5e", 0, 5.0},     {"5e+", 0, 5.0},  {"5d-x", 0, 5.0},
      {"1.5abc", 0, 1.5}, {"5 6", 0, 5.0},   {"1,2", 0, 1.0},  {"5/", 0, 5.0},
      {"5-", 0, 5.0},    {"1e+x", 0, 1.0},   {"5*", 0, untouched},
  };
  checkRealCases(std::begin(cases), std::end(cases));
}

TEST(ReaderNumbers, NoNumberSkipsToALineEndOrSlash) {
  // In a record the skip meets the end of the record first: end of file.
  const RealCase cases[] = {
      {"", eof, untouched},     {"abc", eof, untouched}, {"- 5", eof, untouched},
      {"+", eof, untouched},    {".", eof, untouched},   {"e5", eof, untouched},
      {"'5'", eof, untouched},  {"*7", eof, untouched},  {"+.", eof, untouched},
      {"abc/", e1012, untouched}, {"x/5", e1012, untouched}, {"2*abc/", e1012, untouched},
      {"2*abc", eof, untouched},
  };
  checkRealCases(std::begin(cases), std::end(cases));
}

TEST(ReaderNumbers, AFieldHoldsAtMost512Characters) {
  const std::string zeros511(511, '0');
  struct Case {
    std::string text;
    double value;
  };
  const Case cases[] = {
      {zeros511 + "5", 5.0},                // 512 characters
      {zeros511 + "05", 0.0},               // the 513th is not part of it
      {"+" + std::string(510, '0') + "5", 5.0},
      {"+" + zeros511 + "5", 0.0},
      {std::string(510, '0') + ".5", 0.5},
      {zeros511 + ".5", 0.0},               // the field ends with the point
      {"1" + zeros511 + "e-511", inf},   // the exponent lies beyond the field
      {"1" + zeros511 + "-511", inf},
      {"1" + std::string(300, '0') + "e-300", 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.size());
    const RealOutcome got = recordReal(c.text, 600);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(bits(got.value), bits(c.value));
  }
}

TEST(ReaderNumbers, FillsTheWholeRecord) {
  const std::string digits = "1" + std::string(79, '0');
  const RealOutcome got = recordReal(digits);
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(bits(got.value), bits(1e79));
}

TEST(ReaderSeparatorsAndNulls, NullValuesLeaveTheTargetUnchanged) {
  const RealCase cases[] = {
      {",", 0, untouched},   {",5", 0, untouched},  {"/", 0, untouched},
      {"  ,", 0, untouched}, {"/5", 0, untouched},
  };
  checkRealCases(std::begin(cases), std::end(cases));
}

TEST(ReaderRepeats, RepeatCountsOnANumber) {
  const RealCase cases[] = {
      {"2*7", 0, 7.0},
      {"+2*3", 0, 3.0},
      {"1*-2.5e1", 0, -25.0},
      {"2*", 0, untouched},
      {"2* 5", 0, untouched},
      {"2*,5", 0, untouched},
      {"2*/", 0, untouched},
      {"0*7", e1022, untouched},
      {"-1*7", e1022, untouched},
      {"+0*7", e1022, untouched},
      {"99999999999999999999*7", 0, 7.0},   // held at 2147483647
      {"-99999999999999999999*7", e1022, untouched},
      {"2*3*4", 0, 3.0},  // no second repeat test
  };
  checkRealCases(std::begin(cases), std::end(cases));
}

// ---- record groups: three reals and a label from a descriptor ----

struct Group {
  std::int32_t status;
  double lat, lon, h;
  std::string_view label;  // 8 characters
};

constexpr Group before{0, -7.0, -8.0, -9.0, "old     "};

enum class Feed { file, pipe };

// A descriptor holding `bytes`: a temp file, or a pipe whose writer runs in
// `writer` (the caller joins it).
int feedDescriptor(std::string_view bytes, Feed feed, std::thread& writer) {
  if (feed == Feed::file) {
    char path[] = "/tmp/free_form_reader_testXXXXXX";
    const int fd = mkstemp(path);
    unlink(path);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    lseek(fd, 0, SEEK_SET);
    return fd;
  }
  int p[2];
  EXPECT_EQ(pipe(p), 0);
  writer = std::thread([bytes, fd = p[1]] {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    close(fd);
  });
  return p[0];
}

struct GroupState {
  double lat = before.lat, lon = before.lon, h = before.h;
  recio::FixedString<8> label;
  GroupState() { label.assign(before.label); }
};

// Reads record groups as the point loop does, with the end-of-file exit (and
// the error exit, so that errors come back), until the first non-zero status.
std::vector<GroupState> readGroups(CharSource& source, std::vector<std::int32_t>& statuses) {
  std::vector<GroupState> out;
  GroupState s;
  for (int i = 0; i < 20; ++i) {
    FreeFormReader reader;
    std::int32_t status = reader.beginDetachedRead(source);
    if (status == 0) status = reader.readReal(s.lat);
    if (status == 0) status = reader.readReal(s.lon);
    if (status == 0) status = reader.readReal(s.h);
    if (status == 0) status = reader.readText(s.label.chars, 8);
    if (status == 0) status = reader.endRead();
    out.push_back(s);
    statuses.push_back(status);
    if (status != 0) break;
  }
  return out;
}

struct GroupCase {
  std::string_view input;
  std::vector<Group> groups;  // one per statement; the last is the non-zero one
};

void checkGroupCases(const std::vector<GroupCase>& cases) {
  for (const Feed feed : {Feed::file, Feed::pipe}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::PrintToString(std::string(c.input.substr(0, 60))) +
                   (feed == Feed::file ? " from a file" : " from a pipe"));
      std::thread writer;
      const int fd = feedDescriptor(c.input, feed, writer);
      CharSource source;
      source.openDescriptor(fd, recio::inputUnit, false);
      std::vector<std::int32_t> statuses;
      const std::vector<GroupState> got = readGroups(source, statuses);
      if (writer.joinable()) writer.join();
      close(fd);
      ASSERT_EQ(got.size(), c.groups.size());
      for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE("statement " + std::to_string(i + 1));
        EXPECT_EQ(statuses[i], c.groups[i].status);
        EXPECT_EQ(bits(got[i].lat), bits(c.groups[i].lat));
        EXPECT_EQ(bits(got[i].lon), bits(c.groups[i].lon));
        EXPECT_EQ(bits(got[i].h), bits(c.groups[i].h));
        EXPECT_EQ(got[i].label.view(), c.groups[i].label);
      }
    }
  }
}

// A complete group, then the end of file at the next statement's first item.
std::vector<Group> oneGroup(double lat, double lon, double h, std::string_view label) {
  return {{0, lat, lon, h, label}, {eof, lat, lon, h, label}};
}

TEST(ReaderGroups, ValuesAcrossBlanksCommasAndLines) {
  checkGroupCases({
      {"1 2 3 abc\n", oneGroup(1, 2, 3, "abc     ")},
      {"1,2,3,abc\n", oneGroup(1, 2, 3, "abc     ")},
      {"1\n2\n3\nabc\n", oneGroup(1, 2, 3, "abc     ")},
      {"\n\n \t\n1 2 3 abc\n", oneGroup(1, 2, 3, "abc     ")},
      {"1 ,\n 2\t, 3 , abc\n", oneGroup(1, 2, 3, "abc     ")},
      {"1 2 3 ,\nlbl\n", oneGroup(1, 2, 3, "lbl     ")},
      {"1-2-3 4 a\n", oneGroup(0x1.47ae147ae147bp-7, -3, 4, "a       ")},
      {"inf -inf nan x\n", oneGroup(inf, -inf, positiveNan, "x       ")},
      {"1 2 3 x extra words\n4 5 6 y\n",
       {{0, 1, 2, 3, "x       "}, {0, 4, 5, 6, "y       "}, {eof, 4, 5, 6, "y       "}}},
      {"10 20 30\nP7\n40 50 60 B\n",
       {{0, 10, 20, 30, "P7      "}, {0, 40, 50, 60, "B       "}, {eof, 40, 50, 60, "B       "}}},
  });
}

TEST(ReaderGroups, NullValuesAndTheSlash) {
  checkGroupCases({
      {"1,,3 abc\n", oneGroup(1, -8, 3, "abc     ")},
      {"1 2 3 ,,\n", oneGroup(1, 2, 3, "old     ")},
      {",,,,\n", oneGroup(-7, -8, -9, "old     ")},
      {"/\n", oneGroup(-7, -8, -9, "old     ")},
      {"1 2 /\n", oneGroup(1, 2, -9, "old     ")},
      {"1 2 / 3 x\n4 5 6 y\n",
       {{0, 1, 2, -9, "old     "}, {0, 4, 5, 6, "y       "}, {eof, 4, 5, 6, "y       "}}},
      {",,,\nlbl\n", oneGroup(-7, -8, -9, "lbl     ")},
      {",,,\n", {{eof, -7, -8, -9, "old     "}}},
      {"1 2 3 , ,\n", oneGroup(1, 2, 3, "old     ")},
  });
}

TEST(ReaderGroups, RepeatCounts) {
  checkGroupCases({
      {"2*,3 abc\n", oneGroup(-7, -8, 3, "abc     ")},
      {"3*5 abc\n", oneGroup(5, 5, 5, "abc     ")},
      {"1 2*4.5 x\n", oneGroup(1, 4.5, 4.5, "x       ")},
      // A repeated number reaching the label leaves the label unchanged.
      {"4*5\n", oneGroup(5, 5, 5, "old     ")},
      {"99999999999*6\n", oneGroup(6, 6, 6, "old     ")},
      {"1 2 3 2*x\n", oneGroup(1, 2, 3, "x       ")},
      {"1 2 3 0*x\n", oneGroup(1, 2, 3, "x       ")},
      {"1 2 3 99999999999999*y\n", oneGroup(1, 2, 3, "y       ")},
      {"1 2 3 2*\n", oneGroup(1, 2, 3, "old     ")},
      {"1 2 3 2*'q r'\n", oneGroup(1, 2, 3, "q r     ")},
      {"1 2 3 1001\n", {{e1009, 1, 2, 3, "old     "}}},
      {"10 20 30\n40 50 60 B\n", {{e1009, 10, 20, 30, "old     "}}},
      {"1.5.5 2 3 a\n", {{e1009, 1.5, 0.5, 2, "old     "}}},
      {"0*7 2 3 x\n", {{e1022, -7, -8, -9, "old     "}}},
      {"1 -3*2 3 x\n", {{e1022, 1, -8, -9, "old     "}}},
  });
}

TEST(ReaderGroups, Labels) {
  checkGroupCases({
      {"1 2 3 'ab c'\n", oneGroup(1, 2, 3, "ab c    ")},
      {"1 2 3 'it''s'\n", oneGroup(1, 2, 3, "it's    ")},
      {"1 2 3 \"a\"\"b\"\n", oneGroup(1, 2, 3, "a\"b     ")},
      {"1 2 3 \"it's\"\n", oneGroup(1, 2, 3, "it's    ")},
      {"1 2 3 \x02q,/ \x02\n", oneGroup(1, 2, 3, "q,/     ")},
      {"1 2 3 'abc'def\n", oneGroup(1, 2, 3, "abc     ")},
      {"1 2 3 abcdefghijk\n", oneGroup(1, 2, 3, "abcdefgh")},
      {"1 2 3 ab'cd\n", oneGroup(1, 2, 3, "ab'cd   ")},
      {"1 2 3 ''\n", oneGroup(1, 2, 3, "        ")},
      {"1 2 3 a,b\n", oneGroup(1, 2, 3, "a       ")},
      {"1 2 3 a b\n", oneGroup(1, 2, 3, "a       ")},
      {"1 2 3 a/b\n", oneGroup(1, 2, 3, "a       ")},
      {"1 2 3 a\tb\n", oneGroup(1, 2, 3, "a       ")},
      {"1 2 3 '1001'\n", oneGroup(1, 2, 3, "1001    ")},
      {"1 2 3 -5\n", oneGroup(1, 2, 3, "-5      ")},
      {"1 2 3 +5\n", oneGroup(1, 2, 3, "+5      ")},
      {"1 2 3 .5\n", oneGroup(1, 2, 3, ".5      ")},
      {"1 2 3 *a\n", oneGroup(1, 2, 3, "*a      ")},
      {std::string_view("1 2 3 a\0b\n", 10), oneGroup(1, 2, 3, "a       ")},
      {std::string_view("1 2 3 'a\0b'\n", 12), oneGroup(1, 2, 3, "a       ")},
      {"45.0,10.0,100.0,ABC\r\n", oneGroup(45, 10, 100, "ABC\r    ")},
      {"1 2 3\r\n", oneGroup(1, 2, 3, "\r       ")},
  });
}

TEST(ReaderGroups, LabelsOverSeveralLines) {
  checkGroupCases({
      {"1 2 3 'abc\ndef'\n", oneGroup(1, 2, 3, "abcdef  ")},
      {"1 2 3 'ab\n\ncd'\n", oneGroup(1, 2, 3, "abcd    ")},
      {"1 2 3 'ab\\\ncd'\n", oneGroup(1, 2, 3, "ab\ncd   ")},
      {"1 2 3 ab\\\ncd\n", oneGroup(1, 2, 3, "ab\ncd   ")},
      {"1 2 3 ab\\\n\\\ncd\n", oneGroup(1, 2, 3, "ab\n\ncd  ")},
      {"1 2 3 abcdefgh\\\nij\n", oneGroup(1, 2, 3, "abcdefgh")},
      {"1 2 3 'abcdefghij\\\nk' 9\n", oneGroup(1, 2, 3, "abcdefgh")},
  });
}

TEST(ReaderGroups, LongLabelsKeepTheirFirstCharacters) {
  const std::string letters = [] {
    std::string s;
    for (int i = 0; i < 300; ++i) s.push_back(static_cast<char>('a' + i % 26));
    return s;
  }();
  const std::string quoted = "1 2 3 '" + letters + "'\n";
  const std::string unquoted = "1 2 3 " + letters + "\n";
  checkGroupCases({
      {quoted, oneGroup(1, 2, 3, "abcdefgh")},
      {unquoted, oneGroup(1, 2, 3, "abcdefgh")},
  });
}

TEST(ReaderGroups, ALabelWithoutSeparatorsIsReadAtConstantMemory) {
  const std::string input = "1 2 3 " + std::string(64 << 20, 'z') + "\n4 5 6 w\n";
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const long peakBefore = usage.ru_maxrss;
  checkGroupCases({
      {input, {{0, 1, 2, 3, "zzzzzzzz"}, {0, 4, 5, 6, "w       "}, {eof, 4, 5, 6, "w       "}}},
  });
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss - peakBefore, 8 * 1024);  // kilobytes
}

TEST(ReaderGroups, NumbersInTheFieldLimit) {
  const std::string zeros(512, '0');
  const std::string input = zeros + "5 7 x\n";
  checkGroupCases({
      {input, oneGroup(0, 5, 7, "x       ")},
  });
}

TEST(ReaderGroups, Failures) {
  checkGroupCases({
      {"1e 2 3 a\n", {{e1012, 1, -8, -9, "old     "}}},
      {"1.5x 2 3 a\n", {{e1012, 1.5, -8, -9, "old     "}}},
      {"1;2;3;a\n", {{e1012, 1, -8, -9, "old     "}}},
      {"abc 2 3 x\n", {{e1012, -7, -8, -9, "old     "}}},
      {"5\r,6,7,a\n", {{e1012, 5, -8, -9, "old     "}}},
      {"1 2 3 a\n4 abc/ 6 b\n", {{0, 1, 2, 3, "a       "}, {e1012, 4, 2, 3, "a       "}}},
  });
}

TEST(ReaderEndOfInput, AnywhereInAStatement) {
  checkGroupCases({
      {"", {{eof, -7, -8, -9, "old     "}}},
      {"\n\n", {{eof, -7, -8, -9, "old     "}}},
      // A last line without a line end is read all the same.
      {"1 2 3 abc", oneGroup(1, 2, 3, "abc     ")},
      {"1 2 3 abc\n4 5 6 d", {{0, 1, 2, 3, "abc     "}, {0, 4, 5, 6, "d       "},
                              {eof, 4, 5, 6, "d       "}}},
      {"1 2 3", {{eof, 1, 2, 3, "old     "}}},
      {"1 2 3\n", {{eof, 1, 2, 3, "old     "}}},
      {"1 2", {{eof, 1, 2, -9, "old     "}}},
      {"1 2 3 'abc", {{eof, 1, 2, 3, "old     "}}},
      {"1 2 3 'abc'", oneGroup(1, 2, 3, "abc     ")},
      {"1 2 3 abc\\", {{eof, 1, 2, 3, "old     "}}},
      {"1 2 3 12", {{e1009, 1, 2, 3, "old     "}}},
      {"1 2 3 12\n", {{e1009, 1, 2, 3, "old     "}}},
      {"1 2 3 ,", {{eof, 1, 2, 3, "old     "}}},
      {"1 2 3 x\n4 5", {{0, 1, 2, 3, "x       "}, {eof, 4, 5, 3, "x       "}}},
      {"1 2 abc", {{e1012, 1, 2, -9, "old     "}}},
      {"3*5", {{eof, 5, 5, 5, "old     "}}},
  });
}

// ---- failure reports ----

void noCoreImage() {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
}

recio::FixedString<80> argBuffers[3];

// Reads the command-line numbers as the tool does: no exits.
void readArguments(std::initializer_list<std::string_view> arguments) {
  noCoreImage();
  int i = 0;
  for (const std::string_view a : arguments) {
    recio::FixedString<80>& buffer = argBuffers[i++];
    buffer.assign(a);
    double value = 0.0;
    FreeFormReader reader;
    reader.beginRead(buffer.chars, 80, false, false);
    if (reader.readReal(value) == 0) reader.endRead();
  }
}

void readOneArgument(std::string_view a) { readArguments({a}); }
void readThirdArgument(std::string_view a) { readArguments({"1", "2.5", a}); }

const std::string lately =
    "lately: reading sequential list internal IO\npart of last format: int list io\n";

class ReaderReportDeathTest : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ReaderReportDeathTest, CommandLineNumbers) {
  struct Case {
    std::string_view argument;
    std::string report;
  };
  const Case cases[] = {
      {"", "list read: [-1] end of file\n" + lately + "part of last string: |\n"},
      {"abc", "list read: [-1] end of file\n" + lately + "part of last string: |\n"},
      {"- 5", "list read: [-1] end of file\n" + lately + "part of last string: |\n"},
      {"abc/", "list io: [1012] incomprehensible list input\n" + lately +
                   "part of last string: abc/|     \n"},
      {"0*7", "list io: [1022] negative repeat count\n" + lately +
                  "part of last string: 0*|7    \n"},
      {"-1*7", "list io: [1022] negative repeat count\n" + lately +
                   "part of last string: -1*|7    \n"},
      {"abcdefghijklmnopqrstuvwxyz/", "list io: [1012] incomprehensible list input\n" +
                                          lately + "part of last string: pqrstuvwxyz/|     \n"},
      {"\t\x7f\xe9/", "list io: [1012] incomprehensible list input\n" + lately +
                          "part of last string: ^I^?i/|     \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.argument)));
    EXPECT_EXIT(readOneArgument(c.argument), testing::KilledBySignal(SIGABRT),
                abortReportIs(c.report));
  }
}

TEST_F(ReaderReportDeathTest, OnlyTheFailingRecordIsShown) {
  EXPECT_EXIT(readThirdArgument("x/"), testing::KilledBySignal(SIGABRT),
              abortReportIs("list io: [1012] incomprehensible list input\n" + lately +
                          "part of last string: x/|     \n"));
}

// Named temp files (a file without a name cannot be positioned for the
// report's data line) in a folder of the test's. A death test's child runs
// the test again from its start and ends by the signal, so its files go in
// the same folder, which it learns from the environment, and the test
// removes them all.
class NamedFiles {
 public:
  NamedFiles() {
    if (const char* shared = std::getenv(folderVariable)) {
      folder_ = shared;
      return;
    }
    std::string pattern = "/tmp/free_form_reader_testXXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
    setenv(folderVariable, folder_.c_str(), 1);
    owner_ = true;
  }
  ~NamedFiles() {
    if (!owner_) return;
    std::filesystem::remove_all(folder_);
    unsetenv(folderVariable);
  }
  NamedFiles(const NamedFiles&) = delete;
  NamedFiles& operator=(const NamedFiles&) = delete;

  // A new file holding `bytes`.
  std::string make(std::string_view bytes) const {
    std::string path = folder_ + "/inputXXXXXX";
    const int fd = mkstemp(path.data());
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    return path;
  }

 private:
  static constexpr const char* folderVariable = "FREE_FORM_READER_TEST_FILES";
  std::string folder_;
  bool owner_ = false;
};

// Reads record groups from unit 5 as the point loop does: end-of-file exit,
// no error exit. Standard input is the file `path`, or a pipe holding the
// file's bytes.
void readStandardInput(const std::string& path, Feed feed) {
  noCoreImage();
  int fd = open(path.c_str(), O_RDONLY);
  if (feed == Feed::pipe) {
    char bytes[4096];
    const ssize_t n = read(fd, bytes, sizeof bytes);
    close(fd);
    int p[2];
    if (pipe(p) != 0 || write(p[1], bytes, static_cast<std::size_t>(n)) != n) _exit(90);
    close(p[1]);
    fd = p[0];
  }
  dup2(fd, 0);
  close(fd);
  double lat = 0, lon = 0, h = 0;
  char label[8];
  for (;;) {
    FreeFormReader reader;
    std::int32_t status = reader.beginRead(recio::inputUnit, true, false);
    if (status == 0) status = reader.readReal(lat);
    if (status == 0) status = reader.readReal(lon);
    if (status == 0) status = reader.readReal(h);
    if (status == 0) status = reader.readText(label, 8);
    if (status == 0) status = reader.endRead();
    if (status != 0) break;
  }
  _exit(0);
}

const std::string external =
    "logical unit 5, named 'stdin'\n"
    "lately: reading sequential list external IO\n"
    "part of last format: ext list io\n";

TEST_F(ReaderReportDeathTest, StandardInput) {
  struct Case {
    std::string_view input;
    Feed feed;
    std::string report;
  };
  const Case cases[] = {
      {"abc 2 3 x\n", Feed::pipe,
       "list io: [1012] incomprehensible list input\n" + external + "\n"},
      {"1 2 3 a\nabc 2 3 x\n1 2 3 b\n", Feed::file,
       "list io: [1012] incomprehensible list input\n" + external +
           "part of last data: abc 2 3 x^J|1 2 3\n"},
      {"abc 2 3 x\n", Feed::file,
       "list io: [1012] incomprehensible list input\n" + external +
           "part of last data: abc 2 3 x^J|\n"},
      {"abcdefghijklmnop 2 3 x\n", Feed::file,
       "list io: [1012] incomprehensible list input\n" + external +
           "part of last data: lmnop 2 3 x^J|\n"},
      // The line end that completes the last line is not shown.
      {"abc", Feed::file,
       "list io: [1012] incomprehensible list input\n" + external + "part of last data: abc|\n"},
      // The character after the digits stays in the input.
      {"10 20 30\n40 50 60 B\n", Feed::file,
       "list io: [1009] no * after repeat count\n" + external +
           "part of last data: 40| 50 6\n"},
      {"0*7 2 3 x\n", Feed::file,
       "list io: [1022] negative repeat count\n" + external + "part of last data: 0*|7 2 3\n"},
      {"1 2 3 x\n\t1 2 \xe9/ 3\n", Feed::file,
       "list io: [1012] incomprehensible list input\n" + external +
           "part of last data: ^I1 2 i/| 3^J\n"},
  };
  const NamedFiles files;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.input)));
    EXPECT_EXIT(readStandardInput(files.make(c.input), c.feed), testing::KilledBySignal(SIGABRT),
                abortReportIs(c.report));
  }
}

// Only blanks, tabs and line ends since the last group ended: the input
// ends between groups.
TEST_F(ReaderReportDeathTest, EndOfStandardInputBetweenGroupsIsNoFailure) {
  const NamedFiles files;
  for (const std::string_view input :
       {"", " \t\n\n  ", "1 2 3 abc", "1 2 3 x\n4 5 6 y\n\t \n", "1 2 /", "4*"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(input)));
    EXPECT_EXIT(readStandardInput(files.make(input), Feed::file), testing::ExitedWithCode(0),
                testing::Eq(""));
  }
}

// Anything else before the end cuts a group short: the report of the step
// that met the end, the separator's or the text's.
TEST_F(ReaderReportDeathTest, EndOfStandardInputInsideAGroupIsAFailure) {
  const std::string endOfFile = "list io: [-1] end of file\n" + external;
  const struct {
    std::string_view input;
    std::string dataLine;
  } cases[] = {
      {"1 2 3", "part of last data: 1 2 3|\n"},
      {"1 2 3 x\n4 5\n", "part of last data: 4 5^J|\n"},
      {"1 2 3 ,\n", "part of last data: 1 2 3 ,^J|\n"},
      {",,,\n", "part of last data: ,,,^J|\n"},
      {"1 2 3 'abc\ndef\n", "part of last data: def^J|\n"},
      {"1 2 3 x\n2*", "part of last data: 2*|\n"},
  };
  const NamedFiles files;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.input)));
    EXPECT_EXIT(readStandardInput(files.make(c.input), Feed::file),
                testing::KilledBySignal(SIGABRT), testing::Eq(endOfFile + c.dataLine));
  }
  EXPECT_EXIT(readStandardInput(files.make("1 2 3"), Feed::pipe), testing::KilledBySignal(SIGABRT),
              testing::Eq(endOfFile + "\n"));
}

// ---- exact round trips ----

// The forms in which the scanner takes one decimal number `digits` x 10^exp
// (digits: "d.ddd" as written by to_chars in scientific form).
std::string writeInForm(int form, bool negative, std::string_view mantissa, int exp) {
  std::string sign = negative ? "-" : "";
  const auto withExponent = [&](std::string_view letter, int e, bool signAlways) {
    std::string s = std::string(letter);
    if (e < 0 || signAlways) s += e < 0 ? "-" : "+";
    s += std::to_string(e < 0 ? -e : e);
    return s;
  };
  switch (form) {
    case 0: return sign + std::string(mantissa) + withExponent("e", exp, false);
    case 1: return sign + std::string(mantissa) + withExponent("E", exp, true);
    case 2: return sign + std::string(mantissa) + withExponent("d", exp, false);
    case 3: return sign + std::string(mantissa) + withExponent("D", exp, true);
    case 4: return sign + std::string(mantissa) + withExponent("q", exp, false);
    case 5: return sign + std::string(mantissa) + withExponent("Q", exp, true);
    case 6: return sign + std::string(mantissa) + withExponent("", exp, true);  // 1.5+3
    case 7: return (negative ? "-" : "+") + std::string(mantissa) + withExponent("e", exp, true);
    case 8: return sign + "000" + std::string(mantissa) + withExponent("E", exp, false);
    default: {
      // All digits before the point and a trailing point: 15. for 1.5e1.
      std::string all;
      for (const char c : mantissa) {
        if (c != '.') all.push_back(c);
      }
      const int fraction = static_cast<int>(all.size()) - 1;
      return sign + all + "." + withExponent("d", exp - fraction, false);
    }
  }
}
constexpr int formCount = 10;

// Splits the scientific text of to_chars into sign, mantissa and exponent.
void splitScientific(std::string_view text, bool& negative, std::string& mantissa, int& exp) {
  negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t e = text.find('e');
  mantissa = std::string(text.substr(0, e));
  std::string_view expText = text.substr(e + 1);
  if (expText.front() == '+') expText.remove_prefix(1);
  std::from_chars(expText.data(), expText.data() + expText.size(), exp);
}

double readBack(const std::string& text) {
  recio::FixedString<80> buffer;
  buffer.assign(text);
  double value = 0.0;
  FreeFormReader reader;
  reader.beginRead(buffer.chars, 80, false, false);
  if (reader.readReal(value) == 0) reader.endRead();
  return value;
}

TEST(ReaderRoundTrip, RandomDoublesComeBackToTheSameBits) {
#ifdef NDEBUG
  constexpr int count = 2'000'000;
#else
  constexpr int count = 100'000;
#endif
  std::mt19937_64 random(20240611);
  int failures = 0;
  for (int i = 0; i < count && failures < 10; ++i) {
    std::uint64_t pattern = random();
    if (i % 8 == 0) pattern &= 0x800FFFFFFFFFFFFFULL;  // subnormals and zeros
    if ((pattern & 0x7FF0000000000000ULL) == 0x7FF0000000000000ULL) continue;
    const double d = std::bit_cast<double>(pattern);
    char text[64];
    for (int precision : {-1, 16}) {
      const auto r = precision < 0
                         ? std::to_chars(text, text + sizeof text, d, std::chars_format::scientific)
                         : std::to_chars(text, text + sizeof text, d,
                                         std::chars_format::scientific, precision);
      bool negative;
      std::string mantissa;
      int exp = 0;
      splitScientific(std::string_view(text, static_cast<std::size_t>(r.ptr - text)), negative,
                      mantissa, exp);
      const std::string written = writeInForm((i + (precision < 0 ? 0 : 5)) % formCount,
                                              negative, mantissa, exp);
      const double back = readBack(written);
      if (bits(back) != bits(d)) {
        ++failures;
        ADD_FAILURE() << written << " read as " << std::hexfloat << back << ", written from "
                      << d;
      }
    }
  }
}

TEST(ReaderRoundTrip, EveryFormReadsTheSameNumber) {
  const std::string forms[] = {
      writeInForm(0, false, "1.5", 3),  writeInForm(1, false, "1.5", 3),
      writeInForm(2, false, "1.5", 3),  writeInForm(3, false, "1.5", 3),
      writeInForm(4, false, "1.5", 3),  writeInForm(5, false, "1.5", 3),
      writeInForm(6, false, "1.5", 3),  writeInForm(7, false, "1.5", 3),
      writeInForm(8, false, "1.5", 3),  writeInForm(9, false, "1.5", 3),
  };
  const std::string expected[] = {"1.5e3", "1.5E+3", "1.5d3", "1.5D+3", "1.5q3",
                                  "1.5Q+3", "1.5+3", "+1.5e+3", "0001.5E3", "15.d2"};
  for (int i = 0; i < formCount; ++i) {
    EXPECT_EQ(forms[i], expected[i]);
    EXPECT_EQ(bits(readBack(forms[i])), bits(1500.0));
  }
}

}  // namespace
