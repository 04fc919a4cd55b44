// Runs one command with standard input and output redirected and prints its
// wall time in seconds, its peak resident memory in KiB, and its user and
// system CPU time in seconds.
//   run_timed INPUT OUTPUT COMMAND [ARGS...]
// INPUT "-" keeps this process's standard input. OUTPUT "|" is a pipe that
// this process reads to its end and drops, as `| cat >/dev/null` would.
// Exits with the command's status (128 + signal when it was killed).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: run_timed INPUT OUTPUT COMMAND [ARGS...]\n", stderr);
    return 2;
  }
  const bool keepInput = std::strcmp(argv[1], "-") == 0;
  const bool toPipe = std::strcmp(argv[2], "|") == 0;
  const int in = keepInput ? 0 : ::open(argv[1], O_RDONLY);
  int ends[2] = {-1, -1};
  if (toPipe && ::pipe(ends) != 0) ends[0] = ends[1] = -1;
  const int out = toPipe ? ends[1] : ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) {
    std::perror("run_timed");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    if (!keepInput) ::dup2(in, 0);
    ::dup2(out, 1);
    if (toPipe) {
      ::close(ends[0]);
      ::close(ends[1]);
    }
    ::execvp(argv[3], argv + 3);
    std::perror("run_timed: exec");
    ::_exit(127);
  }
  if (toPipe) {
    ::close(ends[1]);
    static char drained[1 << 16];
    for (;;) {
      const ssize_t n = ::read(ends[0], drained, sizeof drained);
      if (n > 0 || (n < 0 && errno == EINTR)) continue;
      break;
    }
    ::close(ends[0]);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const auto stop = std::chrono::steady_clock::now();
  const double wall = std::chrono::duration<double>(stop - start).count();
  std::printf("%.6f %ld %.6f %.6f\n", wall, usage.ru_maxrss, seconds(usage.ru_utime),
              seconds(usage.ru_stime));
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
