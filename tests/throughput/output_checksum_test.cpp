// The whole output of geocart -stdin over the benchmark's points, checked by
// its FNV-1a 64 hash. The expected hashes were recorded from the program as it
// was before any throughput work (commit d6d975a), so that no speed-up can
// change a single output byte unnoticed. bench/run checks the same over
// 1,000,000 points.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulator.h"
#include "point_input.h"

namespace {

struct Digest {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::uint64_t bytes = 0;
  void add(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      hash ^= static_cast<unsigned char>(p[i]);
      hash *= 0x100000001b3ull;
    }
    bytes += n;
  }
};

std::string benchmarkInput(std::uint64_t count) {
  std::string text;
  text.reserve(count * 48);
  char line[bench::maxLineLength];
  for (std::uint64_t i = 0; i < count; ++i) {
    text.append(line, bench::formatPoint(i, bench::Layout::geocart, line));
  }
  return text;
}

void writeAll(int fd, const char* p, std::size_t n, std::size_t chunk) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n < chunk ? n : chunk);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

// A scratch file removed when the test ends.
struct TempFile {
  std::string path;
  int fd = -1;
  TempFile() {
    std::string pattern = ::testing::TempDir() + "geocart_checksum_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = ::mkstemp(name.data());
    path = name.data();
  }
  ~TempFile() {
    if (fd >= 0) ::close(fd);
    ::unlink(path.c_str());
  }
};

enum class Feed { regularFile, pipeInOddChunks };

// Runs geocart -stdin over `input` and digests what it writes on standard
// output (a regular file, so that it is block-buffered like a redirection).
Digest runGeocart(const std::string& input, Feed feed, int& waitStatus) {
  TempFile in;
  TempFile out;
  if (feed == Feed::regularFile) {
    writeAll(in.fd, input.data(), input.size(), input.size());
    ::lseek(in.fd, 0, SEEK_SET);
  }
  int feedPipe[2] = {-1, -1};
  if (feed == Feed::pipeInOddChunks && ::pipe(feedPipe) != 0) std::abort();

  std::vector<std::string> words = emulation::commandLine(GEOCART_BINARY, {"-stdin"});
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(feed == Feed::regularFile ? in.fd : feedPipe[0], 0);
    ::dup2(out.fd, 1);
    if (feed == Feed::pipeInOddChunks) {
      ::close(feedPipe[0]);
      ::close(feedPipe[1]);
    }
    ::execv(argv[0], argv.data());
    std::_Exit(127);
  }
  // A geocart that ends early must fail the test, not kill it.
  if (feed == Feed::pipeInOddChunks) ::signal(SIGPIPE, SIG_IGN);
  if (feed == Feed::pipeInOddChunks) {
    ::close(feedPipe[0]);
    // 997 bytes at a time: lines are split across reads at ever new places.
    writeAll(feedPipe[1], input.data(), input.size(), 997);
    ::close(feedPipe[1]);
  }
  while (::waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
  }

  Digest digest;
  ::lseek(out.fd, 0, SEEK_SET);
  char block[1 << 16];
  for (;;) {
    const ssize_t n = ::read(out.fd, block, sizeof block);
    if (n <= 0) break;
    digest.add(block, static_cast<std::size_t>(n));
  }
  return digest;
}

// 100,000 points; 59 bytes a line.
constexpr std::uint64_t pointCount = 100000;
constexpr std::uint64_t expectedBytes = 5900000;
constexpr std::uint64_t expectedHash = 0x0aa608cb10325738ull;

TEST(OutputChecksum, BenchmarkPointsFromARegularFile) {
  int status = 0;
  const Digest d = runGeocart(benchmarkInput(pointCount), Feed::regularFile, status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  EXPECT_EQ(d.bytes, expectedBytes);
  EXPECT_EQ(d.hash, expectedHash);
}

TEST(OutputChecksum, BenchmarkPointsThroughAPipeInOddChunks) {
  int status = 0;
  const Digest d = runGeocart(benchmarkInput(pointCount), Feed::pipeInOddChunks, status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  EXPECT_EQ(d.bytes, expectedBytes);
  EXPECT_EQ(d.hash, expectedHash);
}

// The generator itself is part of what the hashes pin down.
TEST(OutputChecksum, GeneratorGivesTheRecordedFirstLines) {
  char line[bench::maxLineLength];
  const std::size_t n0 = bench::formatPoint(0, bench::Layout::geocart, line);
  EXPECT_EQ(std::string(line, n0), "65.393691995 96.419564254 5516.1604 P0000001\n");
  const std::size_t n1 = bench::formatPoint(1, bench::Layout::lonLatH, line);
  EXPECT_EQ(std::string(line, n1), "130.805422093 29.665564803 6986.1172\n");
  const std::size_t n2 = bench::formatPoint(2, bench::Layout::latLonH, line);
  EXPECT_EQ(std::string(line, n2), "-7.839761882 149.045497465 860.0998\n");
}

}  // namespace
