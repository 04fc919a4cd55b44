// Faults and hostile input, end to end: a reader that goes away, refused
// and closed descriptors, connections that cannot be made, binary bytes,
// lines and values of 100 MB streamed through a pipe in constant memory,
// a terminal on standard input and output, and a million record groups in
// every form of free-form input, whose lines must be those exact arithmetic
// gives for the same groups.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "corpus_sections.h"
#include "emulator.h"
#include "run_process.h"
#include "sha256.h"
#include "stored_digests.h"

namespace golden {
namespace {

using namespace std::string_literals;

// ---- result lines ----

// The figures of the points converted below, X, Y and Z in their 15
// columns each, as exact arithmetic gives them: each step of the conversion
// rounded to double in its defined order, with correctly rounded sines and
// cosines (tests/result_lines/exact_result_lines, `lines -`).
const std::string at_0_0_0 = "   6378137.0000         0.0000         0.0000";
const std::string at_45_45_100 = "   3194469.1451   3194469.1451   4487419.1195";
const std::string at_1_2_3 = "   6373290.2772    222560.2007    110568.8272";
const std::string at_4_5_6 = "   6338497.7647    554546.6982    441945.5238";
const std::string at_7_8_9 = "   6269306.9342    881093.6295    772135.3138";
const std::string at_10_20_30 = "   5903057.3052   2148537.1503   1100253.7572";
const std::string at_40_50_60 = "   3145001.3674   3748066.6783   4078024.1395";

// A result line with its newline; the label is its 8 characters as stored.
std::string resultLine(const std::string& figures, const std::string& label8) {
  if (label8.find_first_not_of(' ') == std::string::npos) return figures + "\n";
  return figures + "     " + label8 + "\n";
}

std::string label8(std::string s) {
  s.resize(8, ' ');
  return s;
}

// ---- running the tool ----

RunRequest request(std::vector<std::string> args) {
  RunRequest r;
  r.program = GEOCART_BINARY;
  r.args = std::move(args);
  r.timeoutSeconds = 300;  // big inputs under the sanitizers take a while
  return r;
}

// Pieces given in order: short texts and long runs of one byte.
struct Piece {
  std::string text;
  std::uint64_t repeat = 1;  // the text repeated this often
};

std::function<std::size_t(char*, std::size_t)> streamOf(std::vector<Piece> pieces) {
  struct State {
    std::vector<Piece> pieces;
    std::size_t piece = 0;
    std::uint64_t round = 0;
    std::size_t offset = 0;
  };
  auto s = std::make_shared<State>(State{std::move(pieces)});
  return [s](char* room, std::size_t size) {
    std::size_t n = 0;
    while (n < size && s->piece < s->pieces.size()) {
      const Piece& p = s->pieces[s->piece];
      if (p.text.empty() || s->round == p.repeat) {
        ++s->piece;
        s->round = 0;
        s->offset = 0;
        continue;
      }
      if (p.text.size() == 1) {
        // A run of one byte, filled at once.
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - n, p.repeat - s->round));
        std::memset(room + n, p.text[0], take);
        n += take;
        s->round += take;
        continue;
      }
      const std::size_t take = std::min(size - n, p.text.size() - s->offset);
      std::memcpy(room + n, p.text.data() + s->offset, take);
      n += take;
      s->offset += take;
      if (s->offset == p.text.size()) {
        s->offset = 0;
        ++s->round;
      }
    }
    return n;
  };
}

constexpr std::uint64_t megabyte = 1 << 20;

// The peak resident set of the tool on a small input, for comparison.
long baselineRssKiB() {
  static const long baseline = [] {
    RunRequest r = request({"-stdin"});
    r.stdinBytes = "1 2 3 a\n";
    const RunResult result = runProcess(r);
    return result.maxRssKiB;
  }();
  return baseline;
}

// Constant memory: a big input costs the tool no more than this over a
// small one.
constexpr long rssAllowanceKiB = 8 * 1024;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

void expectConstantMemory(const RunResult& r) {
  const long baseline = baselineRssKiB();
  ASSERT_GT(baseline, 0);
  testing::Test::RecordProperty("maxRssKiB", std::to_string(r.maxRssKiB));
  testing::Test::RecordProperty("baselineRssKiB", std::to_string(baseline));
  testing::Test::RecordProperty("earlyHighWaterKiB", std::to_string(r.earlyHighWaterKiB));
  testing::Test::RecordProperty("lateHighWaterKiB", std::to_string(r.lateHighWaterKiB));
  EXPECT_LT(r.maxRssKiB - baseline, rssAllowanceKiB)
      << "peak RSS " << r.maxRssKiB << " KiB against " << baseline << " KiB on a small input";
  // The peak above holds the test process's own pages copied at fork as
  // well; the tool's own high-water mark must not grow while it reads.
  if (r.earlyHighWaterKiB > 0) {
    EXPECT_LT(r.lateHighWaterKiB - r.earlyHighWaterKiB, rssAllowanceKiB)
        << "the tool's high-water mark grew from " << r.earlyHighWaterKiB << " KiB to "
        << r.lateHighWaterKiB << " KiB";
    // Without the sanitizers' shadow memory the whole tool stays small.
    // Under the emulator the mark is the emulator's, its translated code
    // included, and only its growth tells of the tool.
    if (!sanitized && !emulation::underEmulator) {
      EXPECT_LT(r.lateHighWaterKiB, rssAllowanceKiB);
    }
  }
}

const std::string report1009Pipe =
    "list io: [1009] no * after repeat count\n"
    "logical unit 5, named 'stdin'\n"
    "lately: reading sequential list external IO\n"
    "part of last format: ext list io\n"
    "\n";
const std::string report1012Pipe =
    "list io: [1012] incomprehensible list input\n"
    "logical unit 5, named 'stdin'\n"
    "lately: reading sequential list external IO\n"
    "part of last format: ext list io\n"
    "\n";

void expectRun(const RunResult& r, const std::string& out, const std::string& err, Ending end) {
  ASSERT_EQ(r.failure, "");
  const std::string outDiff = compareBytes(out, r.stdoutBytes);
  EXPECT_TRUE(outDiff.empty()) << "standard output differs: " << outDiff;
  const std::string errDiff = compareBytes(err, r.stderrBytes);
  EXPECT_TRUE(errDiff.empty()) << "standard error differs: " << errDiff;
  EXPECT_TRUE(r.end == end) << "expected the process to have " << describe(end) << "; it "
                            << describe(r.end);
}

// ---- a reader that goes away ----

// Many groups, so that the output is far larger than a pipe holds; the
// parent reads the first line and closes its end.
struct ClosingReader {
  std::string received;
  bool operator()(std::string_view chunk) {
    received.append(chunk);
    return received.find('\n') == std::string::npos;
  }
};

void expectDeliveredLinesAreRight(const std::string& received, const std::string& line) {
  ASSERT_GE(received.size(), line.size()) << "not even one line was delivered";
  // Every complete line delivered is right; the rest is a prefix of one.
  for (std::size_t at = 0; at < received.size(); at += line.size()) {
    const std::string piece = received.substr(at, line.size());
    EXPECT_EQ(piece, line.substr(0, piece.size())) << "at byte " << at;
  }
}

TEST(HostileFaults, ReaderGoneEndsTheRunBySigpipe) {
  const std::string group = "45 45 100 P1\n";
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{group, 200000}});
  auto reader = std::make_shared<ClosingReader>();
  r.stdoutSink = [reader](std::string_view chunk) { return (*reader)(chunk); };
  const RunResult result = runProcess(r);
  expectRun(result, "", "", killedBy(SIGPIPE));
  expectDeliveredLinesAreRight(reader->received, resultLine(at_45_45_100, label8("P1")));
}

TEST(HostileFaults, ReaderGoneWithSigpipeIgnoredReportsTheRefusedWrite) {
  const std::string group = "45 45 100 P1\n";
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{group, 200000}});
  r.ignoreSigpipe = true;
  auto reader = std::make_shared<ClosingReader>();
  r.stdoutSink = [reader](std::string_view chunk) { return (*reader)(chunk); };
  const RunResult result = runProcess(r);
  expectRun(result, "",
            "write: [32] Broken pipe\n"
            "logical unit 6, named 'stdout'\n",
            killedBy(SIGABRT));
  expectDeliveredLinesAreRight(reader->received, resultLine(at_45_45_100, label8("P1")));
}

// A full device refuses the first block already: one report, however much
// input follows, and the rest of the input is not read to its end.
TEST(HostileFaults, FullDeviceUnderManyGroupsReportsOnce) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"45 45 100 P1\n", 200000}});
  r.stdoutKind = StdoutKind::devFull;
  const RunResult result = runProcess(r);
  expectRun(result, "",
            "write: [28] No space left on device\n"
            "logical unit 6, named 'stdout'\n",
            killedBy(SIGABRT));
}

// Descriptors open the wrong way round: standard output open for reading
// refuses every write, which is reported like a full device; standard
// error open for reading loses the usage text silently.
TEST(HostileFaults, StdoutOpenForReadingOnly) {
  RunRequest r = request({"0", "0", "0"});
  r.stdoutKind = StdoutKind::readOnly;
  expectRun(runProcess(r), "",
            "write: [9] Bad file descriptor\n"
            "logical unit 6, named 'stdout'\n",
            killedBy(SIGABRT));
}

TEST(HostileFaults, StderrOpenForReadingOnly) {
  RunRequest r = request({"1", "2"});
  r.stderrReadOnly = true;
  expectRun(runProcess(r), "", "", exitedWith(1));
  RunRequest good = request({"1", "2", "3"});
  good.stderrReadOnly = true;
  expectRun(runProcess(good), resultLine(at_1_2_3, label8("")), "", exitedWith(0));
}

// ---- closed descriptors and connections that cannot be made ----

// With 0, 1 and 2 all closed the file made for unit 6 is the first open of
// the run and gets descriptor 0: it must still be taken for unit 6 alone.
// Worker threads get a stack of their own size, not the process's limit.
TEST(HostileFaults, SmallStackLimit) {
  RunRequest r = request({"-stdin"});
  r.stdinKind = StdinKind::regularFile;
  for (int i = 0; i < 20000; ++i) r.stdinBytes += "45 45 100 P1\n";
  r.stackLimitKiB = 64;
  const RunResult result = runProcess(r);
  std::string out;
  for (int i = 0; i < 20000; ++i) out += resultLine(at_45_45_100, label8("P1"));
  expectRun(result, out, "", exitedWith(0));
}

TEST(HostileFaults, AllThreeClosedSinglePoint) {
  RunRequest r = request({"0", "0", "0"});
  r.stdinKind = StdinKind::closed;
  r.stdoutKind = StdoutKind::closed;
  r.closeStderr = true;
  r.inTempDir = true;
  const RunResult result = runProcess(r);
  expectRun(result, "", "", exitedWith(0));
  ASSERT_EQ(result.files.size(), 1u);
  ASSERT_EQ(result.files.count("fort.6"), 1u);
  EXPECT_EQ(result.files.at("fort.6"), resultLine(at_0_0_0, label8("")));
}

TEST(HostileFaults, AllThreeClosedStandardInputMode) {
  RunRequest r = request({"-stdin"});
  r.stdinKind = StdinKind::closed;
  r.stdoutKind = StdoutKind::closed;
  r.closeStderr = true;
  r.inTempDir = true;
  const RunResult result = runProcess(r);
  expectRun(result, "", "", exitedWith(0));
  // fort.5 is made empty and read to its end; nothing is written.
  ASSERT_EQ(result.files.size(), 1u);
  ASSERT_EQ(result.files.count("fort.5"), 1u);
  EXPECT_EQ(result.files.at("fort.5"), "");
}

// Standard error closed and fort.0 not creatable: the usage text has nowhere
// to go, and the failed connection ends the run by SIGABRT instead of
// exit status 1 (its own report is lost with standard error).
TEST(HostileFaults, ClosedStderrAndFort0CannotBeOpened) {
  RunRequest r = request({});
  r.closeStderr = true;
  r.inTempDir = true;
  r.dirsBefore = {"fort.0"};
  const RunResult result = runProcess(r);
  expectRun(result, "", "", killedBy(SIGABRT));
  EXPECT_TRUE(result.files.empty());
}

// A working directory without write permission. Run by root, the tool runs
// without root's permission override, so that the directory refuses it too.
TEST(HostileFaults, ClosedStdoutInReadOnlyDirectory) {
  RunRequest r = request({"0", "0", "0"});
  r.stdoutKind = StdoutKind::closed;
  r.inTempDir = true;
  r.workDirReadOnly = true;
  const RunResult result = runProcess(r);
  if (result.end == exitedWith(permissionOverrideKept)) {
    GTEST_SKIP() << "root may not give up its permission override here (no CAP_SETPCAP)";
  }
  expectRun(result, "",
            "open: [13] Permission denied\n"
            "logical unit 6, named 'fort.6'\n",
            killedBy(SIGABRT));
  EXPECT_TRUE(result.files.empty());
}

// Standard input that cannot be read at all (a directory): a read error is
// not an end of input; the run ends with a report of the error.
TEST(HostileFaults, UnreadableStandardInputIsReported) {
  RunRequest r = request({"-stdin"});
  r.stdinKind = StdinKind::directory;
  const RunResult result = runProcess(r);
  ASSERT_EQ(result.failure, "");
  EXPECT_EQ(result.stdoutBytes, "");
  EXPECT_TRUE(result.end == killedBy(SIGABRT)) << describe(result.end);
  EXPECT_EQ(result.stderrBytes.substr(0, result.stderrBytes.find('\n') + 1),
            "list read: [21] Is a directory\n");
  EXPECT_NE(result.stderrBytes.find("logical unit 5, named 'stdin'\n"), std::string::npos)
      << escape(result.stderrBytes);
}

// ---- binary input ----

struct BinaryCase {
  const char* name;
  std::string input;
  std::string out;
  std::string err;
  Ending end;
};

TEST(HostileInput, BinaryBytes) {
  // Labels of bytes 128 to 255, eight by eight, and of control bytes
  // (all but tab, line end and byte 2, which is a quote character).
  std::string highInput, highOutput;
  for (int b = 128; b < 256; b += 8) {
    std::string label;
    for (int i = 0; i < 8; ++i) label += static_cast<char>(b + i);
    highInput += "1 2 3 " + label + "\n";
    highOutput += resultLine(at_1_2_3, label);
  }
  std::string controls;
  for (int b = 1; b < 32; ++b) {
    if (b != '\t' && b != '\n' && b != 2) controls += static_cast<char>(b);
  }
  controls += '\x7F';
  std::string controlInput, controlOutput;
  for (std::size_t at = 0; at < controls.size(); at += 8) {
    const std::string label = controls.substr(at, 8);
    controlInput += "10 20 30 " + label + "\n";
    controlOutput += resultLine(at_10_20_30, label8(label));
  }
  const BinaryCase cases[] = {
      {"labels_of_high_bytes", highInput, highOutput, "", exitedWith(0)},
      {"labels_of_control_bytes", controlInput, controlOutput, "", exitedWith(0)},
      // A NUL where a number is expected is no number.
      {"nul_for_a_number", "\0 2 3 a\n"s, "", report1012Pipe, killedBy(SIGABRT)},
      // A NUL right after a number ends it; the next item meets the NUL.
      {"nul_after_a_number", "1\0 2 3 a\n"s, "", report1012Pipe, killedBy(SIGABRT)},
      // A NUL in a label ends what is stored; the rest of the text is read.
      {"nul_inside_labels", "1 2 3 ab\0cd\n4 5 6 \0x\n7 8 9 'q\0'\n"s,
       resultLine(at_1_2_3, label8("ab")) + resultLine(at_4_5_6, label8("")) +
           resultLine(at_7_8_9, label8("q")),
       "", exitedWith(0)},
      // A high byte where a number is expected.
      {"high_byte_for_a_number", "1 \xFF 3 a\n", "", report1012Pipe, killedBy(SIGABRT)},
      // CR LF line ends: the carriage return stays in the label; between
      // numbers it is white space to the number scanner.
      {"cr_lf_lines", "10 20 30 A\r\n40 50 60 B\r\n10\r\n20 30 C\r\n",
       resultLine(at_10_20_30, label8("A\r")) + resultLine(at_40_50_60, label8("B\r")) +
           resultLine(at_10_20_30, label8("C\r")),
       "", exitedWith(0)},
      // A lone carriage return between two numbers separates nothing.
      {"cr_alone", "5\r,6,7,a\n", "", report1012Pipe, killedBy(SIGABRT)},
  };
  for (const BinaryCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunRequest r = request({"-stdin"});
    r.stdinBytes = c.input;
    expectRun(runProcess(r), c.out, c.err, c.end);
  }
}

// The display form of the report's data line at its bounds: only the low 7
// bits count; below 32, and 127, a circumflex and the character 64 places
// on; 32 to 126 as they are. Each byte stands in the line taken (before the
// bar) and three times in the bytes after it.
TEST(HostileInput, DisplayFormBoundsInTheDataLine) {
  struct Shown {
    unsigned char byte;
    const char* text;
  };
  constexpr Shown table[] = {
      {0, "^@"},   {1, "^A"},   {9, "^I"},  {31, "^_"},  {32, " "},    {33, "!"},
      {126, "~"},  {127, "^?"}, {128, "^@"}, {137, "^I"}, {159, "^_"}, {160, " "},
      {233, "i"},  {254, "~"},  {255, "^?"},
  };
  for (const Shown& c : table) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    const std::string b(1, static_cast<char>(c.byte));
    RunRequest r = request({"-stdin"});
    r.stdinKind = StdinKind::regularFile;
    r.stdinBytes = "abc" + b + "\n" + b + b + b + "\n";
    const std::string shown = c.text;
    expectRun(runProcess(r), "",
              "list io: [1012] incomprehensible list input\n"
              "logical unit 5, named 'stdin'\n"
              "lately: reading sequential list external IO\n"
              "part of last format: ext list io\n"
              "part of last data: abc" + shown + "^J|" + shown + shown + shown + "^J\n",
              killedBy(SIGABRT));
  }
}

// Random bytes, and random bytes of the characters that matter: every run
// ends in time with status 0 or with a report and SIGABRT, never otherwise.
TEST(HostileInput, RandomBytesEndCleanly) {
  std::uint64_t seed = 0x9E3779B97F4A7C15ULL;
  auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  const std::string alphabet = "0123456789+-.,/*'\" \t\n\reEdDqQinfaINFAx()\x02";
  const std::vector<std::string> firstLines = {
      "list io: [1009] no * after repeat count\n",
      "list io: [1012] incomprehensible list input\n",
      "list io: [1022] negative repeat count\n",
  };
  for (int run = 0; run < 24; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    std::string input;
    const bool anyByte = run % 3 == 0;
    const std::size_t size = 200 + next() % 4000;
    for (std::size_t i = 0; i < size; ++i) {
      input += anyByte ? static_cast<char>(next() & 0xFF)
                       : alphabet[next() % alphabet.size()];
    }
    RunRequest r = request({"-stdin"});
    r.stdinBytes = input;
    r.timeoutSeconds = 30;
    const RunResult result = runProcess(r);
    ASSERT_EQ(result.failure, "") << escape(input);
    if (result.end == exitedWith(0)) {
      EXPECT_EQ(result.stderrBytes, "") << escape(input);
    } else {
      EXPECT_TRUE(result.end == killedBy(SIGABRT)) << describe(result.end) << escape(input);
      const std::string first = result.stderrBytes.substr(0, result.stderrBytes.find('\n') + 1);
      EXPECT_NE(std::find(firstLines.begin(), firstLines.end(), first), firstLines.end())
          << escape(result.stderrBytes) << " for " << escape(input);
    }
    // Whatever was written is whole result lines of 46 or 59 bytes (the
    // alphabet has no backslash, which could put a line end in a label).
    if (anyByte) continue;
    std::size_t at = 0;
    while (at < result.stdoutBytes.size()) {
      const std::size_t end = result.stdoutBytes.find('\n', at);
      ASSERT_NE(end, std::string::npos) << "a partial line";
      EXPECT_TRUE(end - at == 45 || end - at == 58) << escape(result.stdoutBytes);
      at = end + 1;
    }
  }
}

// ---- big values, streamed ----

TEST(HostileInput, HundredMegabyteLineWithoutLineEnd) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"10 20 30 A\n"}, {" ", 100 * megabyte}});
  const RunResult result = runProcess(r);
  expectRun(result, resultLine(at_10_20_30, label8("A")), "", exitedWith(0));
  expectConstantMemory(result);
}

TEST(HostileInput, HundredMegabyteUnquotedLabel) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"1 2 3 "}, {"L", 100 * megabyte}, {"\n4 5 6 B\n"}});
  const RunResult result = runProcess(r);
  expectRun(result, resultLine(at_1_2_3, "LLLLLLLL") + resultLine(at_4_5_6, label8("B")), "",
            exitedWith(0));
  expectConstantMemory(result);
}

TEST(HostileInput, HundredMegabyteQuotedLabelOverManyLines) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"1 2 3 'Q"}, {"uoted, with / and \"\"\n", 5 * megabyte}, {"'\n"}});
  const RunResult result = runProcess(r);
  // Line ends inside quotes are dropped; the other quote character, the
  // comma and the slash are ordinary characters there.
  expectRun(result, resultLine(at_1_2_3, "Quoted, "), "", exitedWith(0));
  expectConstantMemory(result);
}

// A number of a megabyte is read in fields of 512 characters: three fields
// give infinities, and the fourth is taken for the label's repeat count,
// which has no `*`.
TEST(HostileInput, MegabyteNumber) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"1", megabyte}, {" 2 3 a\n"}});
  const RunResult result = runProcess(r);
  expectRun(result, "", report1009Pipe, killedBy(SIGABRT));
  expectConstantMemory(result);
}

// A repeat count of a megabyte of digits in front of a label: its value is
// 1 after the zeros; beyond 2147483647 the count is held there.
TEST(HostileInput, MegabyteRepeatCounts) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"1 2 3 "},
                            {"0", megabyte},
                            {"1*abc\n4 5 6 "},
                            {"9", megabyte},
                            {"*xyz\n"}});
  const RunResult result = runProcess(r);
  expectRun(result, resultLine(at_1_2_3, label8("abc")) + resultLine(at_4_5_6, label8("xyz")), "",
            exitedWith(0));
  expectConstantMemory(result);
}

// A megabyte of blank lines and of commas between the values.
TEST(HostileInput, MegabyteOfSeparators) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"\n", megabyte}, {"7 8 9 a\n"}, {" \t\n", megabyte}, {"1 2 3 b\n"}});
  const RunResult result = runProcess(r);
  expectRun(result, resultLine(at_7_8_9, label8("a")) + resultLine(at_1_2_3, label8("b")), "",
            exitedWith(0));
  expectConstantMemory(result);
}

// ---- a terminal on standard input and output ----

// The tool on a pseudo-terminal (standard input and output) with standard
// error on a pipe. The terminal does not echo and does not turn line ends
// into carriage return and line end, so the bytes read are the tool's own.
class TerminalSession {
 public:
  explicit TerminalSession(const std::vector<std::string>& args) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name == nullptr) return;
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return;
    termios t{};
    ::tcgetattr(slave, &t);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    t.c_lflag |= ICANON;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    ::tcsetattr(slave, TCSANOW, &t);
    eof_ = static_cast<char>(t.c_cc[VEOF]);
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return;
    std::vector<std::string> argStrings = emulation::commandLine(GEOCART_BINARY, args);
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      ::signal(SIGPIPE, SIG_DFL);
      ::setsid();
      ::dup2(slave, 0);
      ::dup2(slave, 1);
      ::dup2(errPipe[1], 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(slave);
    ::close(errPipe[1]);
    err_ = errPipe[0];
  }
  ~TerminalSession() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
    if (err_ >= 0) ::close(err_);
  }
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  bool started() const { return pid_ > 0; }
  char eofCharacter() const { return eof_; }

  void send(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // What the tool shows within `seconds`, up to `count` bytes.
  std::string receive(std::size_t count, int seconds) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[256];
      const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
      if (n <= 0) break;  // EIO once the tool has gone
      got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
  }

  // Waits for the end, at most `seconds`; collects standard error.
  Ending finish(int seconds, std::string& err) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    for (;;) {
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return killedBy(SIGKILL);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    reaped_ = true;
    char chunk[512];
    ssize_t n;
    while ((n = ::read(err_, chunk, sizeof chunk)) > 0) err.append(chunk, static_cast<std::size_t>(n));
    if (WIFEXITED(status)) return exitedWith(WEXITSTATUS(status));
    if (WTERMSIG(status) == SIGABRT) err = emulation::withoutAbortLine(std::move(err));
    return killedBy(WTERMSIG(status));
  }

 private:
  int master_ = -1;
  int err_ = -1;
  pid_t pid_ = -1;
  bool reaped_ = false;
  char eof_ = 4;
};

// Each result line shows as soon as it is complete, while the tool waits for
// more input; the end-of-input character at the start of a line ends the
// statement in progress (a half group), which ends the run quietly.
TEST(HostileTerminal, LinesShowAtOnceAndEndOfInputEndsTheRun) {
  TerminalSession tty({"-stdin"});
  ASSERT_TRUE(tty.started());
  tty.send("45 45 100 P1\n");
  const std::string first = resultLine(at_45_45_100, label8("P1"));
  EXPECT_EQ(tty.receive(first.size(), 20), first);
  tty.send("0 0 0 Q\n");
  const std::string second = resultLine(at_0_0_0, label8("Q"));
  EXPECT_EQ(tty.receive(second.size(), 20), second);
  tty.send(std::string(1, tty.eofCharacter()));
  std::string err;
  EXPECT_TRUE(tty.finish(20, err) == exitedWith(0));
  EXPECT_EQ(err, "");
}

// The end-of-input character after a group that has begun cuts it short.
TEST(HostileTerminal, EndOfInputInsideAGroupIsAFailure) {
  TerminalSession tty({"-stdin"});
  ASSERT_TRUE(tty.started());
  tty.send("10 20 30\n");
  tty.send(std::string(1, tty.eofCharacter()));
  std::string err;
  EXPECT_TRUE(tty.finish(20, err) == killedBy(SIGABRT));
  EXPECT_EQ(err,
            "list io: [-1] end of file\n"
            "logical unit 5, named 'stdin'\n"
            "lately: reading sequential list external IO\n"
            "part of last format: ext list io\n"
            "\n");
  EXPECT_EQ(tty.receive(1000, 1), "") << "nothing for the half group";
}

// The end-of-input character inside a line hands over what was typed
// without a line end; it ends nothing: the label goes on with what follows.
TEST(HostileTerminal, EndOfInputInsideALineEndsNothing) {
  TerminalSession tty({"-stdin"});
  ASSERT_TRUE(tty.started());
  tty.send("1 2 3 A" + std::string(1, tty.eofCharacter()));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  tty.send("B\n");
  const std::string line = resultLine(at_1_2_3, label8("AB"));
  EXPECT_EQ(tty.receive(line.size(), 20), line);
  tty.send(std::string(1, tty.eofCharacter()));
  std::string err;
  EXPECT_TRUE(tty.finish(20, err) == exitedWith(0));
  EXPECT_EQ(err, "");
}

// A failure on a terminal: the line before it has been shown, and the report
// has an empty data line (a terminal cannot be positioned).
TEST(HostileTerminal, FailureReportOnATerminal) {
  TerminalSession tty({"-stdin"});
  ASSERT_TRUE(tty.started());
  tty.send("1 2 3 a\n");
  const std::string line = resultLine(at_1_2_3, label8("a"));
  EXPECT_EQ(tty.receive(line.size(), 20), line);
  tty.send("abc 2 3 x\n");
  std::string err;
  EXPECT_TRUE(tty.finish(20, err) == killedBy(SIGABRT));
  EXPECT_EQ(err, report1012Pipe);
}

// ---- a million record groups ----

// The values of a plain group line `lat lon h label`, with blanks, tabs or
// commas between them.
std::vector<std::string_view> tokensOf(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while ((at = line.find_first_not_of(" \t,\n", at)) != std::string_view::npos) {
    const std::size_t end = std::min(line.find_first_of(" \t,\n", at), line.size());
    tokens.push_back(line.substr(at, end - at));
    at = end;
  }
  return tokens;
}

// The same number as `text` (a sign, digits with or without a point, an
// optional exponent after e) written as its digits without the point and
// `letter` with the power of ten that makes up for it: -1.25e3 as
// -125d1.
std::string exponentForm(std::string_view text, char letter) {
  std::string out;
  if (text[0] == '-' || text[0] == '+') {
    out += text[0];
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  const std::string_view significand = text.substr(0, e);
  int exponent = e == std::string_view::npos ? 0 : std::stoi(std::string(text.substr(e + 1)));
  const std::size_t point = significand.find('.');
  if (point != std::string_view::npos) {
    out += significand.substr(0, point);
    out += significand.substr(point + 1);
    exponent -= static_cast<int>(significand.size() - point - 1);
  } else {
    out += significand;
  }
  return out + letter + std::to_string(exponent);
}

std::string withPlus(std::string_view text) {
  return (text[0] == '-' || text[0] == '+' ? "" : "+") + std::string(text);
}

// A group of the ordinary section written anew in one of the forms of
// free-form input, by `n`: blanks, commas, tabs and quotes, values over two
// lines, plus signs and words after the label, exponents with d, E and D,
// blanks around commas and a longer label. The values, and the label as it
// is stored (its first 8 characters), are the line's own.
std::string reformed(std::string_view line, std::uint64_t n) {
  const std::vector<std::string_view> t = tokensOf(line);
  const std::string lat(t[0]), lon(t[1]), h(t[2]), label(t[3]);
  switch (n % 8) {
    case 0: return lat + " " + lon + " " + h + " " + label + "\n";
    case 1: return lat + "," + lon + "," + h + "," + label + "\n";
    case 2: return lat + "\t" + lon + "\t" + h + "\t'" + label + "'\n";
    case 3: return lat + " " + lon + "\n" + h + "\n" + label + "\n";
    case 4:
      return withPlus(lat) + " " + withPlus(lon) + " " + withPlus(h) + " " + label +
             " and some words\n";
    case 5:
      return exponentForm(lat, 'd') + " " + exponentForm(lon, 'E') + " " + exponentForm(h, 'D') +
             " " + label + "\n";
    case 6: return "  " + lat + " ,  " + lon + " , " + h + " , " + label + "LONGER\n";
    default: return lat + " " + lon + " " + h + " \"" + label + "\"\n";
  }
}

// The forms of the groups change nothing of their values, so geocart's lines
// must be those that exact arithmetic gives for the ordinary section as it
// stands: the stored digest of that section, and no copy of the conversion
// here. The groups go into the pipe as they are made, and the lines are
// digested as they come back.
TEST(HostileInput, MillionGroupsInEveryFormGiveTheLinesOfExactArithmetic) {
  const auto digests = result_lines::storedDigests(RESULT_LINES_DIGESTS);
  const auto ordinary = digests.find("ordinary");
  ASSERT_NE(ordinary, digests.end()) << "no digest of the ordinary section in "
                                     << RESULT_LINES_DIGESTS;
  constexpr std::uint64_t groups = 1000000;
  ASSERT_EQ(ordinary->second.lines, groups);
  struct Flow {
    std::uint64_t made = 0;
    std::string carry;  // the text of the group being sent
    digest::Sha256 sha;
    std::uint64_t lines = 0;
  };
  auto flow = std::make_shared<Flow>();
  RunRequest r = request({"-stdin"});
  r.stdinStream = [flow](char* room, std::size_t size) {
    std::size_t n = 0;
    char line[corpus::maxLine];
    while (n < size) {
      if (flow->carry.empty()) {
        if (flow->made == groups) break;
        const std::size_t length = corpus::ordinaryLine(flow->made, line);
        flow->carry = reformed(std::string_view(line, length), flow->made);
        ++flow->made;
      }
      const std::size_t take = std::min(size - n, flow->carry.size());
      std::memcpy(room + n, flow->carry.data(), take);
      flow->carry.erase(0, take);
      n += take;
    }
    return n;
  };
  r.stdoutSink = [flow](std::string_view chunk) {
    flow->sha.add(chunk);
    flow->lines += static_cast<std::uint64_t>(std::count(chunk.begin(), chunk.end(), '\n'));
    return true;
  };
  const RunResult result = runProcess(r);
  ASSERT_EQ(result.failure, "");
  EXPECT_TRUE(result.end == exitedWith(0)) << describe(result.end);
  EXPECT_EQ(result.stderrBytes, "");
  EXPECT_EQ(flow->made, groups);
  EXPECT_EQ(flow->lines, groups);
  EXPECT_EQ(flow->sha.bytes(), ordinary->second.bytes);
  EXPECT_EQ(flow->sha.hex(), ordinary->second.sha256)
      << "the lines differ from those of the ordinary section as it stands; when "
         "ResultLines/ordinary passes, the forms are read otherwise than the plain groups";
}

}  // namespace
}  // namespace golden
