// Full blocks to a regular file, several to a call, against the same tool
// writing one block a call: what the file holds, standard error, the way
// the run ends and where standard input is left must be the same when the
// file refuses a write at a chosen byte (a file size limit, with SIGXFSZ
// ignored so that the write fails with EFBIG, or not ignored so that it
// ends the run), with and without unreadable input after that byte; and a
// reader of the file has every full block while the tool waits for input.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "run_process.h"

namespace golden {
namespace {

constexpr std::size_t groups = 20000;
constexpr std::size_t lineBytes = 59;  // a labelled result line and its line end
constexpr std::size_t unreadableAt = 15000;
constexpr std::size_t allLines = groups * lineBytes;
constexpr std::size_t linesBeforeUnreadable = unreadableAt * lineBytes;

// Groups of the usual form; with `unreadable`, a group that cannot be read
// stands before group number unreadableAt.
std::string pointsInput(bool unreadable) {
  std::string text;
  char line[96];
  for (std::size_t i = 0; i < groups; ++i) {
    if (unreadable && i == unreadableAt) text += "12.5 abc 3 x\n";
    std::snprintf(line, sizeof line, "%zu.%03zu %zu.%02zu %zu.5 P%07zu\n", i % 90, i % 997,
                  i % 360, i % 89, i % 9000, i);
    text += line;
  }
  return text;
}

struct Tool {
  const char* name;
  std::string program;
  std::vector<std::string> args;
  bool oneCpu;
};

unsigned cpusOfMask() {
  cpu_set_t mask;
  if (sched_getaffinity(0, sizeof mask, &mask) != 0) return 1;
  return static_cast<unsigned>(std::clamp(CPU_COUNT(&mask), 1, 16));
}

// Each tool beside the same reading with one write a block (a bound of one
// byte): one thread, workers with small chunks, and the tool on every CPU
// beside the workers it starts there.
struct Pair {
  Tool oneBlockAWrite, severalBlocks;
};

std::vector<Pair> pairs() {
  const std::string workers = std::to_string(cpusOfMask());
  return {
      {{"one thread, one block a write", CHUNKED_BINARY, {"1", "131072", "1"}, true},
       {"geocart on one CPU", GEOCART_BINARY, {"-stdin"}, true}},
      {{"3 workers, 16 KiB chunks, one block a write", CHUNKED_BINARY, {"3", "16384", "1"}, false},
       {"3 workers, 16 KiB chunks", CHUNKED_BINARY, {"3", "16384"}, false}},
      {{"every CPU's workers, one block a write", CHUNKED_BINARY, {workers, "131072", "1"}, false},
       {"geocart on every CPU", GEOCART_BINARY, {"-stdin"}, false}},
  };
}

// The preferred block size of a file where the runs put standard output.
std::size_t blockSize() {
  static const std::size_t size = [] {
    std::string path = std::filesystem::temp_directory_path().string() + "/blocksXXXXXX";
    const int fd = ::mkstemp(path.data());
    struct stat status {};
    const bool known = fd >= 0 && ::fstat(fd, &status) == 0;
    if (fd >= 0) ::close(fd);
    ::unlink(path.c_str());
    return known && status.st_blksize > 0 ? static_cast<std::size_t>(status.st_blksize) : 1024;
  }();
  return size;
}

RunResult runLimited(const Tool& tool, const std::string& input, long long limit,
                     bool sigxfszIgnored) {
  RunRequest r;
  r.program = tool.program;
  r.args = tool.args;
  r.oneCpu = tool.oneCpu;
  r.stdinKind = StdinKind::regularFile;
  r.stdinBytes = input;
  r.stdoutKind = StdoutKind::regularFile;
  r.fileSizeLimit = limit;
  r.ignoreSigxfsz = sigxfszIgnored;
  r.timeoutSeconds = 120;
  return runProcess(r);
}

void expectAsWithOneBlockAWrite(const std::string& input, long long limit, bool sigxfszIgnored) {
  for (const Pair& pair : pairs()) {
    SCOPED_TRACE(pair.severalBlocks.name);
    const RunResult one = runLimited(pair.oneBlockAWrite, input, limit, sigxfszIgnored);
    const RunResult several = runLimited(pair.severalBlocks, input, limit, sigxfszIgnored);
    ASSERT_EQ(one.failure, "");
    ASSERT_EQ(several.failure, "");
    EXPECT_EQ(compareBytes(one.stdoutBytes, several.stdoutBytes), "");
    EXPECT_EQ(compareBytes(one.stderrBytes, several.stderrBytes), "");
    EXPECT_EQ(describe(several.end), describe(one.end));
    EXPECT_EQ(several.stdinOffsetAfter, one.stdinOffsetAfter);
    // One block a write as it must be: the bytes up to the limit; the
    // refusal reported when the block that meets the limit fills before the
    // unreadable input, or at the end; else the unreadable input's report.
    const auto kept = static_cast<std::size_t>(limit);
    const bool unreadable = input.find("abc") != std::string::npos;
    const std::size_t produced = unreadable ? linesBeforeUnreadable : allLines;
    EXPECT_EQ(one.stdoutBytes.size(), std::min(kept, produced));
    const bool refusalFirst =
        unreadable ? (kept / blockSize() + 1) * blockSize() <= produced : kept < produced;
    if (!sigxfszIgnored && refusalFirst) {
      EXPECT_EQ(describe(one.end), describe(killedBy(SIGXFSZ)));
    } else if (refusalFirst) {
      EXPECT_EQ(one.stderrBytes, "write: [27] File too large\nlogical unit 6, named 'stdout'\n");
      EXPECT_EQ(describe(one.end), describe(killedBy(SIGABRT)));
    } else if (unreadable) {
      EXPECT_EQ(one.stderrBytes.substr(0, 44), "list io: [1012] incomprehensible list input\n");
      EXPECT_EQ(describe(one.end), describe(killedBy(SIGABRT)));
    } else {
      EXPECT_EQ(describe(one.end), describe(exitedWith(0)));
    }
  }
}

// Limits at the first byte, inside the first blocks held, at and after the
// end of the first call's blocks (4 KiB blocks), deep inside, in the last
// part block, and at and past the end of the results.
const long long limits[] = {0,       3 * 4096 + 17, 64 * 4096, 64 * 4096 + 1,
                            700001,  allLines - 10, allLines,  allLines + 5000};

TEST(FileBlocks, RefusedWriteAsWithOneBlockAWrite) {
  const std::string input = pointsInput(false);
  for (const long long limit : limits) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    expectAsWithOneBlockAWrite(input, limit, true);
  }
}

// The report of a refused write comes before that of unreadable input after
// the byte refused, and the unreadable input's report before a refusal
// that only its flush meets.
TEST(FileBlocks, RefusedWriteAndUnreadableInputAsWithOneBlockAWrite) {
  const std::string input = pointsInput(true);
  const long long around[] = {3 * 4096 + 17,  64 * 4096,
                              linesBeforeUnreadable - 4096, linesBeforeUnreadable - 1,
                              linesBeforeUnreadable,        linesBeforeUnreadable + 4096};
  for (const long long limit : around) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    expectAsWithOneBlockAWrite(input, limit, true);
  }
}

// A size limit whose SIGXFSZ is not ignored ends the run at the write that
// meets it: no block is held back then.
TEST(FileBlocks, SizeLimitThatEndsTheRunAsWithOneBlockAWrite) {
  const std::string input = pointsInput(true);
  for (const long long limit : {64LL * 4096 + 1, 700001LL}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    expectAsWithOneBlockAWrite(input, limit, false);
  }
}

// Groups of several forms: some over two lines, some with a blank label
// (a shorter line), some whose values read in the general steps.
std::string mixedInput() {
  std::string text;
  char line[96];
  for (std::size_t i = 0; i < 40000; ++i) {
    const char* form = i % 7 == 0 ? "%zu.%03zu %zu.%02zu\n %zu.5 P%07zu\n"
                       : i % 5 == 0 ? "%zu.%03zu,%zu.%02zu,%zu.5E0,''\n"
                                    : "%zu.%03zu %zu.%02zu %zu.5 P%07zu\n";
    std::snprintf(line, sizeof line, form, i % 90, i % 997, i % 360, i % 89, i % 9000, i);
    text += line;
  }
  return text;
}

// Groups whose lines are as long as their result lines (59 bytes labelled,
// 46 blank), 32 labelled in every 80: each 4 KiB of results ends with a
// line, and the sixteenth with the group that ends the first 64 KiB of the
// input, which one thread reads in blocks of that size. A write refused
// there leaves standard input at the end of that block, not of the next;
// with one blank before the first group, that group's line end is the first
// byte of the next block, and the write leaves standard input after it.
std::string alignedInput() {
  std::string text;
  char line[96];
  for (std::size_t i = 0; i < 4000; ++i) {
    const bool labelled = i % 5 < 2;
    const char* form = labelled ? "%zu.%03zu %zu.%02zu %zu.5 P%07zu"
                                : "%zu.%03zu,%zu.%02zu,%zu.5E0,''";
    const int n =
        std::snprintf(line, sizeof line, form, i % 90, i % 997, i % 360, i % 89, i % 9000, i);
    text.append(line, static_cast<std::size_t>(n));
    text.append((labelled ? lineBytes : 46) - 1 - static_cast<std::size_t>(n), ' ');
    text += '\n';
  }
  return text;
}

// Where a refused write leaves standard input, and all else the run shows,
// does not hang on how many threads convert: the workers' lines are written
// with the reading where one thread stands when it writes them.
TEST(FileBlocks, RefusedWriteAsOnOneThread) {
  struct Case {
    std::string input;
    std::vector<long long> limits;
  };
  const Case cases[] = {
      {mixedInput(), {4096, 150001, 400000, 655360, 1000000, 1500007}},
      {alignedInput(), {16 * 4096 - 100}},
      {" " + alignedInput(), {16 * 4096 - 100}},
  };
  const Tool oneThread{"geocart on one CPU", GEOCART_BINARY, {"-stdin"}, true};
  const Tool threaded[] = {
      {"3 workers, 16 KiB chunks", CHUNKED_BINARY, {"3", "16384"}, false},
      {"3 workers, 16 KiB chunks, one block a write", CHUNKED_BINARY, {"3", "16384", "1"}, false},
      {"geocart on every CPU", GEOCART_BINARY, {"-stdin"}, false},
  };
  for (const Case& c : cases) {
    for (const long long limit : c.limits) {
      SCOPED_TRACE("limit " + std::to_string(limit));
      const RunResult one = runLimited(oneThread, c.input, limit, true);
      ASSERT_EQ(one.failure, "");
      EXPECT_EQ(describe(one.end), describe(killedBy(SIGABRT)));
      for (const Tool& tool : threaded) {
        SCOPED_TRACE(tool.name);
        const RunResult other = runLimited(tool, c.input, limit, true);
        ASSERT_EQ(other.failure, "");
        EXPECT_EQ(compareBytes(one.stdoutBytes, other.stdoutBytes), "");
        EXPECT_EQ(compareBytes(one.stderrBytes, other.stderrBytes), "");
        EXPECT_EQ(describe(other.end), describe(one.end));
        EXPECT_EQ(other.stdinOffsetAfter, one.stdinOffsetAfter);
      }
    }
  }
}

// A producer that pauses three times: each time the file holds every full
// block of the results so far, and nothing of the part block after them.
TEST(FileBlocks, WaitingForInputWritesTheFullBlocks) {
  const std::size_t pauseAfter[] = {300, 1000, 6000};
  std::vector<std::string> parts;
  std::size_t line = 0;
  for (const std::size_t until : pauseAfter) {
    std::string part;
    for (; line < until; ++line) part += "45 45 " + std::to_string(line) + " P1\n";
    parts.push_back(part);
  }
  parts.push_back("1 2 3 END\n");
  const std::string file = testing::TempDir() + "file_blocks_" + std::to_string(getpid());
  for (const bool oneCpu : {true, false}) {
    SCOPED_TRACE(oneCpu ? "one CPU" : "every CPU");
    std::size_t partsDone = 0;  // parts handed to the pipe whole
    std::size_t offset = 0;     // bytes of the next part handed so far
    std::vector<std::size_t> seen(3, 0), expected(3, 0);
    auto pauseStart = std::chrono::steady_clock::now();
    bool pausing = false;
    RunRequest r;
    r.program = GEOCART_BINARY;
    r.args = {"-stdin"};
    r.oneCpu = oneCpu;
    r.stdoutKind = StdoutKind::regularFile;
    r.stdoutFile = file;
    r.stdinStream = [&](char* room, std::size_t size) -> std::size_t {
      if (partsDone == parts.size()) return 0;
      const std::string& part = parts[partsDone];
      const std::size_t n = std::min(size, part.size() - offset);
      std::memcpy(room, part.data() + offset, n);
      offset += n;
      if (offset == part.size()) {
        ++partsDone;
        offset = 0;
      }
      pausing = false;
      return n;
    };
    // After each of the first three parts the producer pauses until the
    // file holds their full blocks, or for 10 s.
    r.stdinHeld = [&] {
      if (partsDone == 0 || partsDone > seen.size() || offset != 0) return false;
      struct stat status;
      if (::stat(file.c_str(), &status) != 0) return false;
      const auto block = static_cast<std::size_t>(status.st_blksize);
      const std::size_t i = partsDone - 1;
      expected[i] = pauseAfter[i] * lineBytes / block * block;
      seen[i] = static_cast<std::size_t>(status.st_size);
      const auto now = std::chrono::steady_clock::now();
      if (!pausing) {
        pausing = true;
        pauseStart = now;
      }
      // A little longer once they are there, so that a byte too many shows.
      if (seen[i] >= expected[i]) return now - pauseStart < std::chrono::milliseconds(50);
      return now - pauseStart < std::chrono::seconds(10);
    };
    const RunResult result = runProcess(r);
    ASSERT_EQ(result.failure, "");
    EXPECT_EQ(describe(result.end), describe(exitedWith(0)));
    EXPECT_EQ(result.stdoutBytes.size(), (pauseAfter[2] + 1) * lineBytes);
    for (std::size_t i = 0; i < seen.size(); ++i) {
      SCOPED_TRACE("pause " + std::to_string(i + 1));
      EXPECT_EQ(seen[i], expected[i]);
    }
  }
  ::unlink(file.c_str());
}

}  // namespace
}  // namespace golden
