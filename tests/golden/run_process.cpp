// Fork and exec with chosen standard descriptors; the parent feeds standard
// input and drains standard output and error together, so that no pipe can
// fill up while the parent waits on another one.
#include "run_process.h"

#include <dirent.h>
#include <sched.h>
#include <fcntl.h>
#include <poll.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "emulator.h"

namespace golden {
namespace {

std::string errnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// A directory under the system's temporary directory, removed on scope exit.
class TempDir {
 public:
  TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() +
                          "/geocart-golden-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void assign(int fd) {
    reset();
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

bool readWholeFile(const std::string& path, std::string& out) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(chunk, static_cast<std::size_t>(n));
  }
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (fd.get() < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void becomeChild(const int (&source)[3], const char* workDir,
                              const RunRequest& request, const cpu_set_t* cpus,
                              const char* program, char* const* argv) {
  if (cpus != nullptr && sched_setaffinity(0, sizeof *cpus, cpus) != 0) _exit(126);
  // Root's programs get every capability of the bounding set at exec; one
  // taken out of it stays out.
  if (request.inTempDir && request.workDirReadOnly && geteuid() == 0 &&
      prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0) {
    _exit(permissionOverrideKept);
  }
  if (request.stackLimitKiB > 0) {
    const rlimit stack{static_cast<rlim_t>(request.stackLimitKiB) * 1024,
                       static_cast<rlim_t>(request.stackLimitKiB) * 1024};
    if (setrlimit(RLIMIT_STACK, &stack) != 0) _exit(126);
  }
  if (request.fileSizeLimit >= 0) {
    const rlimit size{static_cast<rlim_t>(request.fileSizeLimit),
                      static_cast<rlim_t>(request.fileSizeLimit)};
    if (setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(126);
  }
  signal(SIGXFSZ, request.ignoreSigxfsz ? SIG_IGN : SIG_DFL);
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // The parent ignores it; exec keeps an ignored signal ignored.
  signal(SIGPIPE, request.ignoreSigpipe ? SIG_IGN : SIG_DFL);
  if (workDir != nullptr && chdir(workDir) != 0) _exit(126);
  // Move the sources above the standard descriptors first, so that one source
  // that happens to be 0, 1 or 2 is not overwritten by another's dup2.
  int high[3];
  for (int i = 0; i < 3; ++i) {
    high[i] = source[i] >= 0 ? fcntl(source[i], F_DUPFD_CLOEXEC, 64) : -1;
    if (source[i] >= 0 && high[i] < 0) _exit(126);
  }
  for (int i = 0; i < 3; ++i) {
    if (high[i] >= 0) {
      if (dup2(high[i], i) < 0) _exit(126);
    } else {
      close(i);
    }
  }
  for (int fd = 3; fd < 1024; ++fd) close(fd);
  execv(program, argv);
  _exit(127);
}

// VmHWM of a live process, in KiB; 0 when it cannot be read.
long highWaterKiB(pid_t pid) {
  std::string status;
  if (!readWholeFile("/proc/" + std::to_string(pid) + "/status", status)) return 0;
  const std::size_t at = status.find("VmHWM:");
  if (at == std::string::npos) return 0;
  return std::strtol(status.c_str() + at + 6, nullptr, 10);
}

}  // namespace

std::string describe(const Ending& end) {
  if (!end.signalled) return "exited with status " + std::to_string(end.number);
  std::string name = end.number == SIGABRT   ? " (SIGABRT)"
                     : end.number == SIGPIPE ? " (SIGPIPE)"
                     : end.number == SIGSEGV ? " (SIGSEGV)"
                     : end.number == SIGKILL ? " (SIGKILL)"
                                             : "";
  return "killed by signal " + std::to_string(end.number) + name;
}

RunResult runProcess(const RunRequest& request) {
  RunResult result;
  // A child that ends without reading its input must not kill the parent.
  signal(SIGPIPE, SIG_IGN);

  TempDir scratch;
  if (!scratch.ok()) {
    result.failure = errnoText("mkdtemp");
    return result;
  }
  TempDir work;
  if (request.inTempDir) {
    if (!work.ok()) {
      result.failure = errnoText("mkdtemp");
      return result;
    }
    for (const auto& dir : request.dirsBefore) {
      if (::mkdir((work.path() + "/" + dir).c_str(), 0700) != 0) {
        result.failure = errnoText("mkdir");
        return result;
      }
    }
    for (const auto& [name, contents] : request.filesBefore) {
      if (!writeWholeFile(work.path() + "/" + name, contents)) {
        result.failure = errnoText("file before the run");
        return result;
      }
    }
    if (request.workDirReadOnly && ::chmod(work.path().c_str(), 0555) != 0) {
      result.failure = errnoText("chmod");
      return result;
    }
  }
  struct RestoreMode {  // so that the directory can be removed
    const TempDir& dir;
    bool on;
    ~RestoreMode() {
      if (on) ::chmod(dir.path().c_str(), 0700);
    }
  } restoreMode{work, request.inTempDir && request.workDirReadOnly};

  // The child's ends (given to it) and the parent's ends (kept here).
  Fd childIn, childOut, childErr, parentIn, parentOut, parentErr, stdinFile;
  auto makePipe = [&](Fd& readEnd, Fd& writeEnd) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return false;
    readEnd.assign(p[0]);
    writeEnd.assign(p[1]);
    return true;
  };

  switch (request.stdinKind) {
    case StdinKind::pipe:
    case StdinKind::emptyPipe:
      if (!makePipe(childIn, parentIn)) result.failure = errnoText("pipe");
      if (request.stdinKind == StdinKind::emptyPipe) {
        if (!request.stdinBytes.empty()) result.failure = "emptyPipe with stdin bytes";
        parentIn.reset();
      }
      break;
    case StdinKind::regularFile: {
      const std::string path = scratch.path() + "/stdin";
      if (!writeWholeFile(path, request.stdinBytes)) {
        result.failure = errnoText("stdin file");
        break;
      }
      childIn.assign(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (childIn.get() < 0) result.failure = errnoText("open stdin file");
      // The same open file, so that its offset can be read afterwards.
      stdinFile.assign(::fcntl(childIn.get(), F_DUPFD_CLOEXEC, 3));
      break;
    }
    case StdinKind::devNull:
      childIn.assign(::open("/dev/null", O_RDONLY | O_CLOEXEC));
      if (childIn.get() < 0) result.failure = errnoText("open /dev/null");
      break;
    case StdinKind::directory:
      childIn.assign(::open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (childIn.get() < 0) result.failure = errnoText("open directory");
      break;
    case StdinKind::closed:
      break;
  }
  if (request.stdinStream && request.stdinKind != StdinKind::pipe) {
    result.failure = "stdinStream needs a stdin pipe";
  }
  if (request.stdoutSink && request.stdoutKind != StdoutKind::pipe) {
    result.failure = "stdoutSink needs a stdout pipe";
  }
  if (request.stdinKind != StdinKind::pipe && request.stdinKind != StdinKind::regularFile &&
      !request.stdinBytes.empty() && result.failure.empty()) {
    result.failure = "stdin bytes given for a stdin that cannot hold them";
  }

  const std::string stdoutPath =
      request.stdoutFile.empty() ? scratch.path() + "/stdout" : request.stdoutFile;
  switch (request.stdoutKind) {
    case StdoutKind::pipe:
      if (!makePipe(parentOut, childOut)) result.failure = errnoText("pipe");
      break;
    case StdoutKind::regularFile:
      childOut.assign(
          ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
      if (childOut.get() < 0) result.failure = errnoText("open stdout file");
      break;
    case StdoutKind::devFull:
      childOut.assign(::open("/dev/full", O_WRONLY | O_CLOEXEC));
      if (childOut.get() < 0) result.failure = errnoText("open /dev/full");
      break;
    case StdoutKind::readOnly:
      childOut.assign(::open("/dev/null", O_RDONLY | O_CLOEXEC));
      if (childOut.get() < 0) result.failure = errnoText("open /dev/null");
      break;
    case StdoutKind::closed:
      break;
  }
  if (request.stderrReadOnly) {
    childErr.assign(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (childErr.get() < 0) result.failure = errnoText("open /dev/null");
  } else if (!request.closeStderr && !makePipe(parentErr, childErr)) {
    result.failure = errnoText("pipe");
  }
  if (!result.failure.empty()) return result;

  std::vector<std::string> argStrings = emulation::commandLine(request.program, request.args);
  std::vector<char*> argv;
  for (auto& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int source[3] = {childIn.get(), childOut.get(), childErr.get()};
  const char* workDir = request.inTempDir ? work.path().c_str() : nullptr;

  // One CPU: the first of the parent's mask.
  cpu_set_t oneCpu;
  CPU_ZERO(&oneCpu);
  if (request.oneCpu) {
    cpu_set_t mask;
    if (sched_getaffinity(0, sizeof mask, &mask) != 0) {
      result.failure = errnoText("sched_getaffinity");
      return result;
    }
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &mask)) {
        CPU_SET(cpu, &oneCpu);
        break;
      }
    }
  }

  const pid_t pid = ::fork();
  if (pid < 0) {
    result.failure = errnoText("fork");
    return result;
  }
  if (pid == 0) {
    becomeChild(source, workDir, request, request.oneCpu ? &oneCpu : nullptr, argv[0],
                argv.data());
  }

  childIn.reset();
  childOut.reset();
  childErr.reset();
  if (parentIn.get() >= 0) {
    ::fcntl(parentIn.get(), F_SETFL, ::fcntl(parentIn.get(), F_GETFL) | O_NONBLOCK);
  }

  using Clock = std::chrono::steady_clock;
  const int timeoutSeconds = request.timeoutSeconds * emulation::timeFactor;
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  bool timedOut = false;
  // The bytes for standard input: all of stdinBytes, or chunk after chunk
  // of stdinStream.
  std::string_view pending = request.stdinBytes;
  std::string chunkRoom;
  auto nextChunk = [&]() {
    if (!request.stdinStream) return;
    chunkRoom.resize(1 << 16);
    const std::size_t n = request.stdinStream(chunkRoom.data(), chunkRoom.size());
    pending = std::string_view(chunkRoom.data(), n);
  };
  nextChunk();
  // With stdinKeptOpen the parent's end stays open after the last byte.
  bool keptOpen = false;
  auto lastByteSent = Clock::now();
  auto endOfInput = [&]() {
    if (!request.stdinKeptOpen) {
      parentIn.reset();
    } else if (!keptOpen) {
      keptOpen = true;
      lastByteSent = Clock::now();
    }
  };
  if (parentIn.get() >= 0 && pending.empty()) endOfInput();

  // The child's own high-water mark, sampled now and then once it has taken
  // a megabyte of input (long after its exec).
  std::uint64_t delivered = 0;
  auto lastSample = Clock::now();
  auto sampleHighWater = [&]() {
    if (delivered < (1u << 20)) return;
    const auto now = Clock::now();
    if (result.earlyHighWaterKiB != 0 && now - lastSample < std::chrono::milliseconds(20)) return;
    lastSample = now;
    const long kib = highWaterKiB(pid);
    if (kib <= 0) return;
    if (result.earlyHighWaterKiB == 0) result.earlyHighWaterKiB = kib;
    result.lateHighWaterKiB = kib;
  };

  while ((parentIn.get() >= 0 && !keptOpen) || parentOut.get() >= 0 || parentErr.get() >= 0) {
    sampleHighWater();
    pollfd fds[3];
    nfds_t count = 0;
    Fd* owners[3];
    auto add = [&](Fd& fd, short events) {
      if (fd.get() < 0) return;
      fds[count] = pollfd{fd.get(), events, 0};
      owners[count] = &fd;
      ++count;
    };
    // A held producer takes its next piece only when it is let go.
    const bool held = parentIn.get() >= 0 && pending.empty() && request.stdinHeld &&
                      request.stdinHeld();
    if (parentIn.get() >= 0 && pending.empty() && !held && !keptOpen) {
      nextChunk();
      if (pending.empty()) endOfInput();
    }
    if (!held && !keptOpen) add(parentIn, POLLOUT);
    add(parentOut, POLLIN);
    add(parentErr, POLLIN);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    // While input is held, look again soon whether it still is.
    const int wait = held ? std::min<int>(10, static_cast<int>(left.count()))
                          : static_cast<int>(left.count());
    const int ready = ::poll(fds, count, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      result.failure = errnoText("poll");
      break;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      Fd& fd = *owners[i];
      if (&fd == &parentIn) {
        const ssize_t n = ::write(fd.get(), pending.data(), pending.size());
        if (n > 0) {
          pending.remove_prefix(static_cast<std::size_t>(n));
          delivered += static_cast<std::uint64_t>(n);
        }
        if (pending.empty() && !request.stdinHeld) nextChunk();
        // A reader that has gone (EPIPE) simply takes no more bytes.
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
          fd.reset();
        } else if (pending.empty() && !request.stdinHeld) {
          endOfInput();
        }
      } else {
        char chunk[4096];
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n > 0 && &fd == &parentOut && request.stdoutSink) {
          if (!request.stdoutSink(std::string_view(chunk, static_cast<std::size_t>(n)))) {
            fd.reset();
          }
        } else if (n > 0) {
          (&fd == &parentOut ? result.stdoutBytes : result.stderrBytes)
              .append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          fd.reset();
        }
      }
    }
  }

  // Wait for the child, still bounded by the deadline; one that has run
  // out of time is killed before it is waited for.
  int status = 0;
  rusage usage{};
  if (timedOut) ::kill(pid, SIGKILL);
  for (;;) {
    const pid_t done = ::wait4(pid, &status, timedOut ? 0 : WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      result.failure = errnoText("wait4");
      return result;
    }
    if (!timedOut && Clock::now() >= deadline) timedOut = true;
    if (timedOut) {
      ::kill(pid, SIGKILL);
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (timedOut) {
    result.failure = "timed out after " + std::to_string(timeoutSeconds) + " s";
  }
  if (keptOpen) {
    result.secondsKeptOpen = std::chrono::duration<double>(Clock::now() - lastByteSent).count();
  }
  if (stdinFile.get() >= 0) result.stdinOffsetAfter = ::lseek(stdinFile.get(), 0, SEEK_CUR);
  result.maxRssKiB = usage.ru_maxrss;
  if (WIFEXITED(status)) {
    result.end = exitedWith(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    result.end = killedBy(WTERMSIG(status));
    if (result.end == killedBy(SIGABRT)) {
      result.stderrBytes = emulation::withoutAbortLine(std::move(result.stderrBytes));
    }
  }

  if (request.stdoutKind == StdoutKind::regularFile &&
      !readWholeFile(stdoutPath, result.stdoutBytes)) {
    result.failure = errnoText("read stdout file");
  }
  if (request.inTempDir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(work.path(), ec)) {
      if (!entry.is_regular_file()) continue;
      std::string contents;
      if (!readWholeFile(entry.path().string(), contents)) {
        result.failure = errnoText("read left file");
      }
      result.files[entry.path().filename().string()] = contents;
    }
  }
  return result;
}

std::string escape(const std::string& bytes) {
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else if (c < 32 || c == 127) {
      out += '^';
      out += static_cast<char>(c ^ 64);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string compareBytes(const std::string& expected, const std::string& actual) {
  if (expected == actual) return {};
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  std::string report = "first difference at byte offset " + std::to_string(at) + "\n";
  report += "  expected (" + std::to_string(expected.size()) + " bytes): " +
            escape(expected) + "\n";
  report += "  actual   (" + std::to_string(actual.size()) + " bytes): " +
            escape(actual) + "\n";
  // Around the difference, so that it can be found in long output.
  const std::size_t from = at > 20 ? at - 20 : 0;
  report += "  near it, expected: ..." + escape(expected.substr(std::min(from, expected.size()), 40)) +
            "\n";
  report += "  near it, actual:   ..." + escape(actual.substr(std::min(from, actual.size()), 40)) +
            "\n";
  return report;
}

}  // namespace golden
