// The kernel's cost of writing a file in calls of k blocks: the same bytes
// written in calls of 1, 2, 4, ... blocks of the file's preferred size, the
// variants taking turns in each round, and the median over the rounds of the
// CPU time (nearly all of it system time) and the wall time of the writes.
//   write_blocks FILE [MEGABYTES [ROUNDS [K...]]]
// Defaults: 59 MB (the results of 1,000,000 points), 11 rounds, k = 1, 2, 4,
// ..., 256. FILE is created or truncated; it is truncated before each pass,
// outside the measured time, and removed at the end.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double systemSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_stime.tv_usec) * 1e-6;
}

struct Pass {
  double cpu, system, wall;
};

// Writes `total` bytes from `buffer` in calls of at most `callBytes`, each
// call's bytes contiguous, as a stream's buffer of k blocks hands them over.
Pass writeAll(int fd, const char* buffer, std::size_t total, std::size_t callBytes) {
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
    std::perror("write_blocks: truncate");
    std::exit(2);
  }
  const double cpu0 = seconds(CLOCK_THREAD_CPUTIME_ID);
  const double sys0 = systemSeconds();
  const double wall0 = seconds(CLOCK_MONOTONIC);
  std::size_t done = 0;
  while (done < total) {
    const std::size_t n = std::min(callBytes, total - done);
    const ssize_t w = write(fd, buffer, n);
    if (w <= 0) {
      if (w < 0 && errno == EINTR) continue;
      std::perror("write_blocks: write");
      std::exit(2);
    }
    done += static_cast<std::size_t>(w);
  }
  return {seconds(CLOCK_THREAD_CPUTIME_ID) - cpu0, systemSeconds() - sys0,
          seconds(CLOCK_MONOTONIC) - wall0};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[(v.size() - 1) / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: write_blocks FILE [MEGABYTES [ROUNDS [K...]]]\n", stderr);
    return 2;
  }
  const double megabytes = argc > 2 ? std::atof(argv[2]) : 59.0;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 11;
  std::vector<std::size_t> ks;
  for (int i = 4; i < argc; ++i) ks.push_back(static_cast<std::size_t>(std::atol(argv[i])));
  if (ks.empty()) ks = {1, 2, 4, 8, 16, 32, 64, 128, 256};
  const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  struct stat status {};
  if (fd < 0 || fstat(fd, &status) != 0) {
    std::perror("write_blocks: open");
    return 2;
  }
  const std::size_t block = status.st_blksize > 0 ? static_cast<std::size_t>(status.st_blksize) : 1024;
  const auto total = static_cast<std::size_t>(megabytes * 1e6);
  const std::size_t most = *std::max_element(ks.begin(), ks.end());
  // Text like the results: lines of 59 bytes, so the page cache copies what
  // it would copy for geocart.
  std::vector<char> buffer(most * block);
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    buffer[i] = i % 59 == 58 ? '\n' : static_cast<char>('0' + i % 10);
  }
  std::vector<std::vector<Pass>> passes(ks.size());
  writeAll(fd, buffer.data(), total, block);  // the first pass warms the file system up
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t i = 0; i < ks.size(); ++i) {
      // Each round starts at another variant, so that none always follows
      // the same one.
      const std::size_t v = (i + static_cast<std::size_t>(r)) % ks.size();
      passes[v].push_back(writeAll(fd, buffer.data(), total, ks[v] * block));
    }
  }
  close(fd);
  unlink(argv[1]);
  std::printf("%.0f MB to %s, blocks of %zu bytes, median of %d rounds\n\n", megabytes,
              argv[1], block, rounds);
  std::printf("| blocks a call | bytes a call | calls | CPU s | system s | wall s | CPU / 1 block |\n");
  std::printf("| ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n");
  double first = 0.0;
  for (std::size_t i = 0; i < ks.size(); ++i) {
    std::vector<double> cpu, sys, wall;
    for (const Pass& p : passes[i]) {
      cpu.push_back(p.cpu);
      sys.push_back(p.system);
      wall.push_back(p.wall);
    }
    const double c = median(cpu);
    if (i == 0) first = c;
    const std::size_t bytes = ks[i] * block;
    std::printf("| %zu | %zu | %zu | %.4f | %.4f | %.4f | %.3f |\n", ks[i], bytes,
                (total + bytes - 1) / bytes, c, median(sys), median(wall), c / first);
  }
  return 0;
}
