// Runs one command with standard input and output redirected and prints its
// wall time in seconds and its peak resident memory in KiB.
//   run_timed INPUT OUTPUT COMMAND [ARGS...]
// INPUT "-" keeps this process's standard input. Exits with the command's
// status (128 + signal when it was killed).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: run_timed INPUT OUTPUT COMMAND [ARGS...]\n", stderr);
    return 2;
  }
  const bool keepInput = std::strcmp(argv[1], "-") == 0;
  const int in = keepInput ? 0 : ::open(argv[1], O_RDONLY);
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) {
    std::perror("run_timed");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    if (!keepInput) ::dup2(in, 0);
    ::dup2(out, 1);
    ::execvp(argv[3], argv + 3);
    std::perror("run_timed: exec");
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const auto stop = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(stop - start).count();
  std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
