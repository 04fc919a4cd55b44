// Standard input converted by threads against one CPU: inputs of several MiB
// with sparse irregular record groups, from a regular file and from a pipe
// fed in odd pieces, through the tool on every CPU and through the tool cut
// into small chunks; every byte of standard output and standard error and
// the way the run ends must be those of the tool on one CPU. And a producer
// that pauses gets its lines as soon as on one CPU.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "run_process.h"

namespace golden {
namespace {

// Groups that depend on the ones before them, span lines or hide line ends,
// between regular lines; `irregularShare` of the groups are irregular.
std::string irregularInput(std::uint64_t seed, std::size_t bytes, double irregularShare) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  char number[64];
  auto coordinate = [&](double range, int decimals) {
    std::snprintf(number, sizeof number, "%.*f", decimals, (unit(random) * 2 - 1) * range);
    return std::string(number);
  };
  auto label = [&] { return "P" + std::to_string(random() % 10000000); };
  auto regular = [&] {
    return coordinate(90, 9) + " " + coordinate(180, 9) + " " + coordinate(9000, 4) + " " +
           label() + "\n";
  };
  const std::vector<std::function<std::string()>> irregular = {
      [&] { return coordinate(90, 6) + ",," + coordinate(100, 2) + " " + label() + "\n"; },
      [&] { return std::string(",,,,\n"); },
      [&] { return std::string("/\n"); },
      [&] { return coordinate(90, 3) + " " + coordinate(90, 3) + " /\n"; },
      [&] { return coordinate(90, 3) + " 1 2 ,,\n"; },
      [&] { return ",,,\n" + label() + "\n"; },
      [&] { return "3*" + coordinate(50, 1) + " " + label() + "\n"; },
      [&] { return "2*," + coordinate(500, 1) + " x\n"; },
      [&] { return coordinate(90, 4) + " " + coordinate(90, 4) + "\n\n" + coordinate(9, 1) +
                   "\n  " + label() + " trailing words\n"; },
      [&] { return "1 2 3 'ab\ncd, / it''s'\n"; },
      [&] { return "4 5 6 ab\\\ncd\n"; },
      [&] { return "7 8 9 '1001'\n"; },
      [&] { return coordinate(90, 2) + " 2 3 abc\r\n"; },
      [&] { return "\n\n   \t\n"; },
  };
  // Longer than any chunk: the rest of the line is ignored, or the blanks
  // between two values are skipped. About one in 10,000 groups.
  const std::vector<std::function<std::string()>> long_ = {
      [&] { return "10 20 30 LONG " + std::string(200000, 'x') + "\n"; },
      [&] { return "10\t20\t30" + std::string(150000, ' ') + "\tSPACED\n"; },
  };
  std::string text;
  while (text.size() < bytes) {
    const double pick = unit(random);
    if (pick < 1e-4) {
      text += long_[random() % long_.size()]();
    } else if (pick < irregularShare) {
      text += irregular[random() % irregular.size()]();
    } else {
      text += regular();
    }
  }
  return text;
}

struct Tool {
  const char* name;
  std::string program;
  std::vector<std::string> args;
  bool oneCpu;
};

const std::vector<Tool>& tools() {
  static const std::vector<Tool> list = {
      {"every CPU", GEOCART_BINARY, {"-stdin"}, false},
      {"3 workers, 8 KiB chunks", CHUNKED_BINARY, {"3", "8192"}, false},
      {"2 workers, odd chunks", CHUNKED_BINARY, {"2", "12289"}, false},
      {"5 workers, 64 KiB chunks", CHUNKED_BINARY, {"5", "65536"}, false},
  };
  return list;
}

// Pieces of 1 to 9973 bytes, from a fixed sequence.
std::function<std::size_t(char*, std::size_t)> oddPieces(const std::string& bytes) {
  auto at = std::make_shared<std::size_t>(0);
  auto random = std::make_shared<std::mt19937>(7);
  return [&bytes, at, random](char* room, std::size_t size) {
    const std::size_t want = 1 + (*random)() % 9973;
    const std::size_t n = std::min({size, want, bytes.size() - *at});
    std::memcpy(room, bytes.data() + *at, n);
    *at += n;
    return n;
  };
}

RunResult run(const Tool& tool, StdinKind kind, const std::string& input) {
  RunRequest r;
  r.program = tool.program;
  r.args = tool.args;
  r.oneCpu = tool.oneCpu;
  r.stdinKind = kind;
  r.timeoutSeconds = 300;
  if (kind == StdinKind::pipe) {
    r.stdinStream = oddPieces(input);
  } else {
    r.stdinBytes = input;
  }
  return runProcess(r);
}

void expectAsOnOneCpu(const std::string& input) {
  for (const StdinKind kind : {StdinKind::regularFile, StdinKind::pipe}) {
    SCOPED_TRACE(kind == StdinKind::pipe ? "from a pipe" : "from a file");
    const RunResult one = run({"one CPU", GEOCART_BINARY, {"-stdin"}, true}, kind, input);
    ASSERT_EQ(one.failure, "");
    ASSERT_GT(one.stdoutBytes.size(), input.size() / 2);
    for (const Tool& tool : tools()) {
      SCOPED_TRACE(tool.name);
      const RunResult r = run(tool, kind, input);
      ASSERT_EQ(r.failure, "");
      EXPECT_EQ(compareBytes(one.stdoutBytes, r.stdoutBytes), "");
      EXPECT_EQ(compareBytes(one.stderrBytes, r.stderrBytes), "");
      EXPECT_EQ(describe(r.end), describe(one.end));
      EXPECT_EQ(r.stdinOffsetAfter, one.stdinOffsetAfter);
    }
  }
}

constexpr std::size_t inputBytes = 3 << 20;

TEST(ParallelConversion, SparseIrregularGroupsAsOnOneCpu) {
  const std::string input = irregularInput(1, inputBytes, 0.002);
  expectAsOnOneCpu(input);
}

TEST(ParallelConversion, DenseIrregularGroupsAsOnOneCpu) {
  expectAsOnOneCpu(irregularInput(2, inputBytes / 2, 0.3));
}

// A label that reads as a number, on a line of its own after three numbers:
// a chunk that starts at it reads it as a latitude and can go on without a
// failure, and the groups after it leave values null, so that only the
// groups read from the true start give the right values.
TEST(ParallelConversion, LabelsThatReadAsNumbersAsOnOneCpu) {
  std::mt19937_64 random(5);
  std::string input;
  while (input.size() < inputBytes / 2) {
    const auto n = std::to_string(random() % 1000);
    input += n + ".5 -" + n + " 7\n-" + n + "\n/\n,-1" + n + " -2 -" + n + ".25 L" + n + "\n";
    if (random() % 4 == 0) input += "1 -2 -3 -4\n";
  }
  expectAsOnOneCpu(input);
}

// Groups of two to eight bytes give results many times their size.
TEST(ParallelConversion, ShortGroupsAsOnOneCpu) {
  std::string input;
  for (int i = 0; input.size() < inputBytes / 4; ++i) {
    input += i % 7 == 0 ? "/\n" : i % 5 == 0 ? ",,,,\n" : "1 2 3 a\n";
  }
  expectAsOnOneCpu(input);
}

TEST(ParallelConversion, LastLineWithoutLineEndAsOnOneCpu) {
  std::string input = irregularInput(3, inputBytes, 0.002);
  input += "1 2 3 LAST";
  expectAsOnOneCpu(input);
}

TEST(ParallelConversion, FailingGroupAsOnOneCpu) {
  std::string input = irregularInput(4, inputBytes, 0.002);
  // Deep in the input, where the report's data line shows the bytes around it.
  const std::size_t at = input.find('\n', 2 * inputBytes / 3) + 1;
  input.insert(at, "12.5 abc 3 x\n");
  expectAsOnOneCpu(input);
  const RunResult one = run({"one CPU", GEOCART_BINARY, {"-stdin"}, true},
                            StdinKind::regularFile, input);
  EXPECT_EQ(one.stderrBytes.substr(0, 44), "list io: [1012] incomprehensible list input\n");
}

// A stray quote opens a label that takes the rest of the input: the end of
// the input inside it is a failure, after the lines of the groups before.
TEST(ParallelConversion, InputEndingInsideAGroupAsOnOneCpu) {
  // Regular groups, with no quote after the stray one.
  std::string input = irregularInput(8, inputBytes, 0.0);
  const std::size_t at = input.find('\n', 2 * inputBytes / 3) + 1;
  input.insert(at, "45 45 100 'N12\n");
  expectAsOnOneCpu(input);
  const RunResult one = run({"one CPU", GEOCART_BINARY, {"-stdin"}, true},
                            StdinKind::pipe, input);
  EXPECT_EQ(one.stderrBytes.substr(0, 26), "list io: [-1] end of file\n");
  EXPECT_EQ(describe(one.end), describe(killedBy(SIGABRT)));
}

// The workers take what they should: over regular groups every chunk's
// groups are kept from its first byte, and the owning thread writes them out
// as the workers made them, reading by itself only the bytes no chunk holds
// whole. The output alone cannot tell: the owning thread converting all of
// it gives the same bytes, only slower. From a file the chunks are always
// full; a pipe that has run dry lets the owning thread read on by itself
// what has come in (up to a sixth of the input in runs here), so less is
// asked of the workers there.
TEST(ParallelConversion, WorkersConvertNearlyAllOfRegularGroups) {
  std::mt19937_64 random(11);
  std::string input;
  char line[96];
  while (input.size() < inputBytes / 2) {
    const auto n = random();
    std::snprintf(line, sizeof line, "%.7f %.7f %.3f P%07u\n",
                  static_cast<double>(n % 1800000001) * 1e-7 - 90,
                  static_cast<double>((n >> 20) % 3600000001) * 1e-7 - 180,
                  static_cast<double>((n >> 40) % 9000000) * 1e-3,
                  static_cast<unsigned>(n % 10000000));
    input += line;
  }
  const Tool sharing[] = {
      {"2 workers, 16 KiB chunks", CHUNKED_BINARY, {"2", "16384", "-", "share"}, false},
      {"3 workers, 8 KiB chunks", CHUNKED_BINARY, {"3", "8192", "-", "share"}, false},
  };
  for (const StdinKind kind : {StdinKind::regularFile, StdinKind::pipe}) {
    SCOPED_TRACE(kind == StdinKind::pipe ? "from a pipe" : "from a file");
    for (const Tool& tool : sharing) {
      SCOPED_TRACE(tool.name);
      RunRequest r;
      r.program = tool.program;
      r.args = tool.args;
      r.stdinKind = kind;
      r.inTempDir = true;
      r.timeoutSeconds = 300;
      if (kind == StdinKind::pipe) {
        r.stdinStream = oddPieces(input);
      } else {
        r.stdinBytes = input;
      }
      const RunResult result = runProcess(r);
      ASSERT_EQ(result.failure, "");
      EXPECT_EQ(describe(result.end), describe(exitedWith(0)));
      ASSERT_EQ(result.files.count("share"), 1u);
      long long workerBytes = -1;
      long long ownBytes = -1;
      ASSERT_EQ(std::sscanf(result.files.at("share").c_str(), "%lld %lld", &workerBytes,
                            &ownBytes),
                2);
      EXPECT_EQ(workerBytes + ownBytes, static_cast<long long>(input.size()));
      const long long least = kind == StdinKind::pipe ? static_cast<long long>(input.size()) / 2
                                                      : static_cast<long long>(input.size()) * 9 / 10;
      EXPECT_GE(workerBytes, least)
          << "the owning thread read " << ownBytes << " bytes of " << input.size() << " itself";
    }
  }
}

// A producer that keeps the pipe open after a part of a line that already
// decides the run (a failure): the run ends at once, as on one CPU, and
// does not wait for a line end or the end of the input.
TEST(ParallelConversion, PartialLineInAnOpenPipeDecidesAtOnce) {
  const std::string before[] = {"1 2 3 a\n", irregularInput(6, inputBytes, 0.002)};
  const char* const partials[] = {"x/", "0*", "1 2 3 5x", "1 2 3 4 "};
  for (const std::string& lines : before) {
    for (const char* partial : partials) {
      SCOPED_TRACE(std::to_string(lines.size()) + " bytes, then " + partial);
      RunResult results[2];
      for (const bool oneCpu : {true, false}) {
        RunRequest r;
        r.program = GEOCART_BINARY;
        r.args = {"-stdin"};
        r.oneCpu = oneCpu;
        r.stdinBytes = lines + partial;
        r.stdinKeptOpen = true;
        r.timeoutSeconds = 20;
        RunResult& result = results[oneCpu ? 0 : 1];
        result = runProcess(r);
        ASSERT_EQ(result.failure, "");
        EXPECT_LT(result.secondsKeptOpen, 1.0);
      }
      EXPECT_EQ(describe(results[0].end), describe(killedBy(SIGABRT)));
      EXPECT_EQ(describe(results[1].end), describe(results[0].end));
      EXPECT_EQ(compareBytes(results[0].stdoutBytes, results[1].stdoutBytes), "");
      EXPECT_EQ(compareBytes(results[0].stderrBytes, results[1].stderrBytes), "");
    }
  }
}

// A producer that writes a few hundred lines and pauses: whole blocks of
// their results reach standard output during the pause, as on one CPU.
TEST(ParallelConversion, PausingProducerGetsItsLinesAtOnce) {
  constexpr int lines = 300;
  std::string first;
  for (int i = 0; i < lines; ++i) first += "45 45 " + std::to_string(i) + " P1\n";
  const std::string rest = "1 2 3 END\n";
  // Lines of 59 bytes leave standard output (a pipe) in blocks of 4096.
  constexpr std::size_t wholeBlocks = lines * 59 / 4096 * 4096;
  std::size_t duringPause[2] = {0, 0};
  for (const bool oneCpu : {true, false}) {
    SCOPED_TRACE(oneCpu ? "one CPU" : "every CPU");
    std::size_t sent = 0;
    std::size_t received = 0;
    bool pausing = false;
    auto pauseStart = std::chrono::steady_clock::now();
    RunRequest r;
    r.program = GEOCART_BINARY;
    r.args = {"-stdin"};
    r.oneCpu = oneCpu;
    r.stdinStream = [&](char* room, std::size_t size) -> std::size_t {
      const std::string& part = sent == 0 ? first : rest;
      if (sent == 2) return 0;
      ++sent;
      std::memcpy(room, part.data(), std::min(size, part.size()));
      return std::min(size, part.size());
    };
    // The pause begins once the first lines are in the pipe and ends when
    // their whole blocks have arrived, or after 10 s.
    r.stdinHeld = [&] {
      if (sent != 1) return false;
      if (!pausing) {
        pausing = true;
        pauseStart = std::chrono::steady_clock::now();
      }
      if (received >= wholeBlocks) return false;
      return std::chrono::steady_clock::now() - pauseStart < std::chrono::seconds(10);
    };
    r.stdoutSink = [&](std::string_view bytes) {
      received += bytes.size();
      if (sent == 1) duringPause[oneCpu ? 0 : 1] = received;
      return true;
    };
    const RunResult result = runProcess(r);
    ASSERT_EQ(result.failure, "");
    EXPECT_EQ(describe(result.end), describe(exitedWith(0)));
    EXPECT_EQ(received, (lines + 1) * 59u);
  }
  EXPECT_EQ(duringPause[0], wholeBlocks);
  EXPECT_GE(duringPause[1], duringPause[0]);
}

}  // namespace
}  // namespace golden
