// Runs a program as a child process with chosen standard descriptors and
// collects what it wrote and how it ended, for the end-to-end cases.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace golden {

// What descriptor 0 of the child is.
enum class StdinKind {
  pipe,         // a pipe the parent fills with the bytes, then closes
  emptyPipe,    // a pipe closed by the parent at once
  regularFile,  // a temporary regular file holding the bytes, read from offset 0
  devNull,      // /dev/null
  closed,       // descriptor 0 not open
  directory,    // a directory opened for reading: every read fails (EISDIR)
};

// What descriptor 1 of the child is.
enum class StdoutKind {
  pipe,         // a pipe drained by the parent
  regularFile,  // a temporary regular file, read back after the child ends
  devFull,      // /dev/full: every write fails with ENOSPC
  closed,       // descriptor 1 not open
  readOnly,     // /dev/null opened for reading only: every write fails (EBADF)
};

// How a process ended: an exit status or a terminating signal.
struct Ending {
  bool signalled = false;
  int number = 0;  // exit status, or signal number
  friend bool operator==(const Ending&, const Ending&) = default;
};

inline Ending exitedWith(int status) { return {false, status}; }
inline Ending killedBy(int signal) { return {true, signal}; }

std::string describe(const Ending& end);

struct RunRequest {
  std::string program;
  std::vector<std::string> args;  // after the program name
  StdinKind stdinKind = StdinKind::pipe;
  std::string stdinBytes;
  StdoutKind stdoutKind = StdoutKind::pipe;
  bool closeStderr = false;  // descriptor 2 not open; stderr then reads as ""
  // Descriptor 2 open on /dev/null for reading only; stderr reads as "".
  bool stderrReadOnly = false;
  // Run in a fresh temporary directory holding these empty subdirectories
  // and these regular files (name -> contents).
  bool inTempDir = false;
  std::vector<std::string> dirsBefore;
  std::map<std::string, std::string> filesBefore;
  int timeoutSeconds = 20;
  // With StdinKind::pipe: when set, the bytes come from here instead of
  // stdinBytes, made while the child reads; it fills at most the given
  // room and returns the count, 0 at the end.
  std::function<std::size_t(char*, std::size_t)> stdinStream;
  // With StdoutKind::pipe: when set, standard output goes here as it comes
  // instead of into stdoutBytes; returning false closes the parent's end of
  // the pipe (a reader that goes away).
  std::function<bool(std::string_view)> stdoutSink;
  // With stdinStream: asked once a piece is written; while it returns true
  // the next piece is not taken (a producer that pauses), and the child's
  // output is still drained.
  std::function<bool()> stdinHeld;
  // With StdinKind::pipe: after the last byte the parent keeps its end open
  // until the child has closed standard output and error (it has ended), so
  // that the child never meets the end of its input.
  bool stdinKeptOpen = false;
  bool ignoreSigpipe = false;  // the child starts with SIGPIPE ignored
  // The child's file size limit in bytes (-1: the parent's), and whether it
  // starts with SIGXFSZ ignored, so that a write past the limit fails with
  // EFBIG instead of ending the child.
  long long fileSizeLimit = -1;
  bool ignoreSigxfsz = false;
  // With StdoutKind::regularFile: the file standard output goes to (created
  // or truncated, left in place), for a caller that looks at it while the
  // child runs; empty: a temporary file.
  std::string stdoutFile;
  bool oneCpu = false;  // the child may run on one CPU only (its affinity mask)
  long stackLimitKiB = 0;  // the child's stack limit; 0: the parent's
  // The temporary directory has mode 0555. A child of root runs without the
  // capability that lets root write there all the same (CAP_DAC_OVERRIDE,
  // dropped from its bounding set before exec); where root may not drop it,
  // the child ends with permissionOverrideKept instead of running.
  bool workDirReadOnly = false;
};

// The exit status of a child that could not give up root's permission
// override (workDirReadOnly); the tool itself never exits with it.
inline constexpr int permissionOverrideKept = 125;

struct RunResult {
  std::string failure;  // non-empty when the run itself went wrong
  std::string stdoutBytes;
  std::string stderrBytes;
  Ending end;
  // Regular files left in the temporary directory: name -> contents.
  std::map<std::string, std::string> files;
  // The child's peak resident set size (wait4). Linux counts in it the
  // pages of the test process that the child held between fork and exec.
  long maxRssKiB = 0;
  // The child's own peak resident set (VmHWM) sampled after it had taken
  // its first megabyte of standard input, and when last sampled; 0 when no
  // sample was taken.
  long earlyHighWaterKiB = 0;
  long lateHighWaterKiB = 0;
  // StdinKind::regularFile: the file offset the child left behind.
  long long stdinOffsetAfter = -1;
  // stdinKeptOpen: seconds from the last byte written to the child's end.
  double secondsKeptOpen = 0.0;
};

RunResult runProcess(const RunRequest& request);

// Bytes in a visible form: printable ASCII as is, a control byte c as ^ and
// the character c ^ 64 (so a line end is ^J), a backslash as \\, a byte of
// 128 or more as \xNN.
std::string escape(const std::string& bytes);

// Empty when equal; otherwise the first differing byte offset and both sides
// escaped.
std::string compareBytes(const std::string& expected, const std::string& actual);

}  // namespace golden
