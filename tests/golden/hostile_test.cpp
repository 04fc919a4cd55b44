// Faults and hostile input, end to end: a reader that goes away, refused
// and closed descriptors, connections that cannot be made, binary bytes,
// lines and values of 100 MB streamed through a pipe in constant memory,
// a terminal on standard input and output, and a million record groups
// checked against a second computation of every result line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "emulator.h"
#include "run_process.h"

namespace golden {
namespace {

using namespace std::string_literals;

// ---- the second computation of result lines ----

struct Xyz {
  double x, y, z;
};

// The WGS84 conversion in its documented order of operations.
Xyz convert(double latitude, double longitude, double height) {
  const double factor = std::atan(1.0) / 45.0;
  const double phi = latitude * factor;
  const double cphi = std::cos(phi);
  const double sphi = std::sin(phi);
  const double lambda = longitude * factor;
  const double clambda = std::cos(lambda);
  const double slambda = std::sin(lambda);
  const double a = 6378137.0;
  const double f = 1.0 / 298.257223563;
  const double e2 = (f * 2.0) - (f * f);
  const double n = a / std::sqrt(1.0 - e2 * (sphi * sphi));
  const double t = (n + height) * cphi;
  return {t * clambda, t * slambda, ((n * (1.0 - e2)) + height) * sphi};
}

// F15.4: the exact digits with 4 decimals (ties to even), then the layout
// of the field: blanks, a minus sign unless the value rounds to zero, the
// integer digits or a single 0, the point and 4 digits; asterisks when
// more than 15 columns are needed; Inf and NaN left-justified.
std::string field154(double v) {
  if (std::isinf(v) || std::isnan(v)) {
    std::string s = std::signbit(v) ? "-" : "";
    s += std::isnan(v) ? "NaN" : "Inf";
    s.resize(15, ' ');
    return s;
  }
  char digits[400];
  const auto r =
      std::to_chars(digits, digits + sizeof digits, std::fabs(v), std::chars_format::fixed, 4);
  std::string text(digits, r.ptr);
  const bool zero = text.find_first_of("123456789") == std::string::npos;
  const bool negative = std::signbit(v) && !zero;
  std::string whole = text.substr(0, text.find('.'));
  if (whole == "0") whole.clear();
  const std::size_t needed = 5 + (negative ? 1 : 0) + whole.size();
  if (needed > 15) return std::string(15, '*');
  std::size_t free = 15 - needed;
  if (whole.empty() && free > 0) {
    whole = "0";
    --free;
  }
  return std::string(free, ' ') + (negative ? "-" : "") + whole + text.substr(text.find('.'));
}

// A result line with its newline; the label is its 8 characters as stored.
std::string resultLine(double latitude, double longitude, double height,
                       const std::string& label8) {
  const Xyz c = convert(latitude, longitude, height);
  std::string line = field154(c.x) + field154(c.y) + field154(c.z);
  if (label8.find_first_not_of(' ') != std::string::npos) line += "     " + label8;
  return line + "\n";
}

std::string label8(std::string s) {
  s.resize(8, ' ');
  return s;
}

// The reference's own check on the worked examples of the documentation.
TEST(HostileReference, AgreesWithTheWorkedExamples) {
  EXPECT_EQ(resultLine(0, 0, 0, label8("")),
            "   6378137.0000         0.0000         0.0000\n");
  EXPECT_EQ(resultLine(45, 45, 100, label8("P1")),
            "   3194469.1451   3194469.1451   4487419.1195     P1      \n");
  EXPECT_EQ(resultLine(-33.5, 151.25, 50, label8("")),
            "  -4667790.8016   2560837.7258  -3500361.8849\n");
  EXPECT_EQ(resultLine(0, -180, 0, label8("")),
            "  -6378137.0000         0.0000         0.0000\n");
  EXPECT_EQ(field154(-0.00004), "         0.0000");
  EXPECT_EQ(field154(6378137.03125), "   6378137.0312");
  EXPECT_EQ(field154(-999999999.9999), "-999999999.9999");
  EXPECT_EQ(field154(9999999999.99995), "***************");
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
  expectDeliveredLinesAreRight(reader->received, resultLine(45, 45, 100, label8("P1")));
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
  expectDeliveredLinesAreRight(reader->received, resultLine(45, 45, 100, label8("P1")));
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
  expectRun(runProcess(good), resultLine(1, 2, 3, label8("")), "", exitedWith(0));
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
  for (int i = 0; i < 20000; ++i) out += resultLine(45, 45, 100, label8("P1"));
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
  EXPECT_EQ(result.files.at("fort.6"), resultLine(0, 0, 0, label8("")));
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
    highOutput += resultLine(1, 2, 3, label);
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
    controlOutput += resultLine(10, 20, 30, label8(label));
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
       resultLine(1, 2, 3, label8("ab")) + resultLine(4, 5, 6, label8("")) +
           resultLine(7, 8, 9, label8("q")),
       "", exitedWith(0)},
      // A high byte where a number is expected.
      {"high_byte_for_a_number", "1 \xFF 3 a\n", "", report1012Pipe, killedBy(SIGABRT)},
      // CR LF line ends: the carriage return stays in the label; between
      // numbers it is white space to the number scanner.
      {"cr_lf_lines", "10 20 30 A\r\n40 50 60 B\r\n10\r\n20 30 C\r\n",
       resultLine(10, 20, 30, label8("A\r")) + resultLine(40, 50, 60, label8("B\r")) +
           resultLine(10, 20, 30, label8("C\r")),
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
  expectRun(result, resultLine(10, 20, 30, label8("A")), "", exitedWith(0));
  expectConstantMemory(result);
}

TEST(HostileInput, HundredMegabyteUnquotedLabel) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"1 2 3 "}, {"L", 100 * megabyte}, {"\n4 5 6 B\n"}});
  const RunResult result = runProcess(r);
  expectRun(result, resultLine(1, 2, 3, "LLLLLLLL") + resultLine(4, 5, 6, label8("B")), "",
            exitedWith(0));
  expectConstantMemory(result);
}

TEST(HostileInput, HundredMegabyteQuotedLabelOverManyLines) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"1 2 3 'Q"}, {"uoted, with / and \"\"\n", 5 * megabyte}, {"'\n"}});
  const RunResult result = runProcess(r);
  // Line ends inside quotes are dropped; the other quote character, the
  // comma and the slash are ordinary characters there.
  expectRun(result, resultLine(1, 2, 3, "Quoted, "), "", exitedWith(0));
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
  expectRun(result, resultLine(1, 2, 3, label8("abc")) + resultLine(4, 5, 6, label8("xyz")), "",
            exitedWith(0));
  expectConstantMemory(result);
}

// A megabyte of blank lines and of commas between the values.
TEST(HostileInput, MegabyteOfSeparators) {
  RunRequest r = request({"-stdin"});
  r.stdinStream = streamOf({{"\n", megabyte}, {"7 8 9 a\n"}, {" \t\n", megabyte}, {"1 2 3 b\n"}});
  const RunResult result = runProcess(r);
  expectRun(result, resultLine(7, 8, 9, label8("a")) + resultLine(1, 2, 3, label8("b")), "",
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
  const std::string first = resultLine(45, 45, 100, label8("P1"));
  EXPECT_EQ(tty.receive(first.size(), 20), first);
  tty.send("0 0 0 Q\n");
  const std::string second = resultLine(0, 0, 0, label8("Q"));
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
  const std::string line = resultLine(1, 2, 3, label8("AB"));
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
  const std::string line = resultLine(1, 2, 3, label8("a"));
  EXPECT_EQ(tty.receive(line.size(), 20), line);
  tty.send("abc 2 3 x\n");
  std::string err;
  EXPECT_TRUE(tty.finish(20, err) == killedBy(SIGABRT));
  EXPECT_EQ(err, report1012Pipe);
}

// ---- a million record groups ----

// The groups: values drawn from a fixed sequence and written in the forms
// of free-form input (blanks, commas, tabs, values over two lines, a plus
// sign, exponents with d and E, quoted and long labels, words after the
// label). For each, the text from_chars reads and the label as stored.
class GroupMaker {
 public:
  struct Group {
    std::string text;
    double latitude, longitude, height;
    std::string label;  // 8 characters
  };

  Group next() {
    const std::uint64_t n = index_++;
    Group g;
    std::string lat = decimal(-900000000, 900000000, 7);
    std::string lon = decimal(-1800000000, 1800000000, 7);
    std::string h = decimal(-50000, 90000000, 3);
    g.latitude = parse(lat);
    g.longitude = parse(lon);
    g.height = parse(h);
    std::string name = "P" + std::to_string(n);
    g.label = label8(name);
    switch (n % 8) {
      case 0:
        g.text = lat + " " + lon + " " + h + " " + name + "\n";
        break;
      case 1:
        g.text = lat + "," + lon + "," + h + "," + name + "\n";
        break;
      case 2:
        g.text = lat + "\t" + lon + "\t" + h + "\t'" + name + "'\n";
        break;
      case 3:
        g.text = lat + " " + lon + "\n" + h + "\n" + name + "\n";
        break;
      case 4:
        g.text = (lat[0] == '-' ? lat : "+" + lat) + " " + lon + " " + h + " " + name +
                 " and some words\n";
        break;
      case 5: {
        // The same values with exponents: digits without the point, then
        // d or E and the negative count of decimals.
        g.text = exponentForm(lat, 'd') + " " + exponentForm(lon, 'E') + " " +
                 exponentForm(h, 'D') + " " + name + "\n";
        break;
      }
      case 6:
        name = "LONGLABEL" + std::to_string(n);
        g.label = name.substr(0, 8);
        g.text = "  " + lat + " ,  " + lon + " , " + h + " , " + name + "\n";
        break;
      case 7:
        g.text = lat + " " + lon + " " + h + " \"" + name + "\"\n";
        break;
    }
    return g;
  }

 private:
  std::uint64_t random() {
    // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A decimal text of an integer in [low, high] with `places` decimals.
  std::string decimal(std::int64_t low, std::int64_t high, int places) {
    const std::int64_t v =
        low + static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(high - low + 1));
    const std::uint64_t magnitude = static_cast<std::uint64_t>(v < 0 ? -v : v);
    std::uint64_t scale = 1;
    for (int i = 0; i < places; ++i) scale *= 10;
    std::string fraction = std::to_string(magnitude % scale);
    fraction.insert(0, static_cast<std::size_t>(places) - fraction.size(), '0');
    return (v < 0 ? "-" : "") + std::to_string(magnitude / scale) + "." + fraction;
  }
  static std::string exponentForm(const std::string& text, char letter) {
    const std::size_t point = text.find('.');
    const std::string digits = text.substr(0, point) + text.substr(point + 1);
    return digits + letter + "-" + std::to_string(text.size() - point - 1);
  }
  static double parse(const std::string& text) {
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
  }

  std::uint64_t state_ = 20240611;
  std::uint64_t index_ = 0;
};

TEST(HostileInput, MillionGroupsAgreeWithASecondComputation) {
  constexpr std::uint64_t groups = 1000000;
  // The groups in flight: made when their text goes into the pipe, checked
  // when their line comes back. Only what the pipes and the tool's buffers
  // hold is ever queued.
  struct Flow {
    GroupMaker maker;
    std::uint64_t made = 0;
    std::string carry;  // the text of the group being sent
    std::deque<GroupMaker::Group> due;
    std::string partial;  // a line not yet complete
    std::uint64_t lines = 0;
    std::uint64_t mismatches = 0;
    std::string firstMismatch;
  };
  auto flow = std::make_shared<Flow>();
  RunRequest r = request({"-stdin"});
  r.stdinStream = [flow](char* room, std::size_t size) {
    std::size_t n = 0;
    while (n < size) {
      if (flow->carry.empty()) {
        if (flow->made == groups) break;
        ++flow->made;
        flow->due.push_back(flow->maker.next());
        flow->carry = flow->due.back().text;
      }
      const std::size_t take = std::min(size - n, flow->carry.size());
      std::memcpy(room + n, flow->carry.data(), take);
      flow->carry.erase(0, take);
      n += take;
    }
    return n;
  };
  r.stdoutSink = [flow](std::string_view chunk) {
    flow->partial.append(chunk);
    std::size_t at = 0;
    for (std::size_t end; (end = flow->partial.find('\n', at)) != std::string::npos;
         at = end + 1) {
      const std::string_view line(flow->partial.data() + at, end + 1 - at);
      ++flow->lines;
      if (flow->due.empty()) {
        if (flow->mismatches++ == 0) flow->firstMismatch = "a line for no group";
        continue;
      }
      const GroupMaker::Group g = std::move(flow->due.front());
      flow->due.pop_front();
      const std::string expected = resultLine(g.latitude, g.longitude, g.height, g.label);
      if (line != expected && flow->mismatches++ == 0) {
        flow->firstMismatch = "group " + std::to_string(flow->lines) + " " + escape(g.text) +
                              ": " + compareBytes(expected, std::string(line));
      }
    }
    flow->partial.erase(0, at);
    return true;
  };
  const RunResult result = runProcess(r);
  ASSERT_EQ(result.failure, "");
  EXPECT_TRUE(result.end == exitedWith(0)) << describe(result.end);
  EXPECT_EQ(result.stderrBytes, "");
  EXPECT_EQ(flow->made, groups);
  EXPECT_EQ(flow->lines, groups);
  EXPECT_TRUE(flow->due.empty());
  EXPECT_EQ(flow->partial, "") << "a partial last line";
  EXPECT_EQ(flow->mismatches, 0u) << flow->firstMismatch;
}

}  // namespace
}  // namespace golden
