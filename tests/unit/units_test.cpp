// The unit table: connection of units 0, 5 and 6 to the standard
// descriptors, implicit connection to "fort.N", buffering of the output
// streams and the order in which the units are closed. The table is
// process-wide, so every case runs in a child process of its own.
#include "units.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "abort_report.h"
#include "char_source.h"
#include "failure.h"
#include "output_stream.h"
#include "statement_context.h"

namespace {

using recio::Form;

void noCoreImage() {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
}

// The files of a test's children go into a directory named after the test
// process, which removes it when the test ends.
std::string scratchOf(pid_t owner) { return "/tmp/geocart_units_" + std::to_string(owner); }

std::string childScratch() {
  const std::string dir = scratchOf(getppid());
  mkdir(dir.c_str(), 0700);
  return dir;
}

class Units : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void TearDown() override { std::filesystem::remove_all(scratchOf(getpid())); }
};

// Inside a child: a failed check writes its text on `diagnostics`, so the
// parent sees it as the child's standard error, which must stay empty. It is
// a copy of descriptor 2 made before the case runs: closeAllUnits closes
// descriptor 2 itself, and a check after it must still be heard.
int diagnostics = 2;

void check(bool ok, std::string_view what) {
  if (ok) return;
  const std::string line = std::string(what) + "\n";
  [[maybe_unused]] const ssize_t n = write(diagnostics, line.data(), line.size());
}

std::string readAll(int fd) {
  std::string text;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(n));
  return text;
}

std::string fileContents(const char* path) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return "<missing>";
  std::string text = readAll(fd);
  close(fd);
  return text;
}

void enterTempDir() {
  std::string dir = childScratch() + "/dirXXXXXX";
  if (mkdtemp(dir.data()) == nullptr || chdir(dir.c_str()) != 0) std::abort();
}

// A regular temporary file; `linked` false removes its name at once, which
// leaves it with a link count of 0.
int tempFileWith(std::string_view contents, bool linked = true) {
  std::string path = childScratch() + "/fileXXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) std::abort();
  if (!linked) unlink(path.c_str());
  if (write(fd, contents.data(), contents.size()) < 0) std::abort();
  lseek(fd, 0, SEEK_SET);
  return fd;
}

void beginWrite(std::int32_t unit) {
  recio::beginExternalStatement(false, Form::freeForm, unit, "ext list io", false, false);
}

void expectExitsCleanly(void (*body)()) {
  EXPECT_EXIT(
      {
        diagnostics = fcntl(2, F_DUPFD_CLOEXEC, 64);
        body();
        _exit(0);
      },
      testing::ExitedWithCode(0), testing::Eq(std::string()));
}

// --- Standard connections ------------------------------------------------------

void standardUnitsOnFileAndPipe() {
  dup2(tempFileWith("1 2 3 a\n"), 0);
  int ends[2];
  if (pipe(ends) != 0) std::abort();
  dup2(ends[1], 1);
  check(recio::connectedUnit(recio::inputUnit) == nullptr, "no unit before the first statement");
  recio::createUnitTable();
  check(recio::connectedUnit(recio::errorUnit) != nullptr, "units after creation");

  const recio::Unit* in = recio::connectedUnit(recio::inputUnit);
  check(in != nullptr, "unit 5 connected");
  if (in != nullptr) {
    check(in->fd == 0 && in->name == nullptr, "unit 5 on descriptor 0, no name");
    check(in->positionable && !in->terminal, "unit 5 on a regular file is positionable");
    check(in->input != nullptr && in->output == nullptr, "unit 5 reads");
    check(in->input != nullptr && in->input->get() == '1', "unit 5 reads the file");
  }
  const recio::Unit* out = recio::connectedUnit(recio::outputUnit);
  check(out != nullptr, "unit 6 connected");
  if (out != nullptr) {
    check(out->fd == 1 && out->name == nullptr, "unit 6 on descriptor 1, no name");
    check(!out->positionable, "unit 6 on a pipe is not positionable");
    check(out->output != nullptr && out->input == nullptr, "unit 6 writes");
  }
  const recio::Unit* err = recio::connectedUnit(recio::errorUnit);
  check(err != nullptr && err->fd == 2 && err->output != nullptr, "unit 0 on descriptor 2");
  check(recio::connectedUnit(1) == nullptr && recio::connectedUnit(7) == nullptr,
        "no other unit connected");
  check(recio::connectedUnit(-1) == nullptr && recio::connectedUnit(1000) == nullptr,
        "no unit outside the table");
}

TEST_F(Units, StandardUnitsConnectToTheirDescriptors) {
  expectExitsCleanly(standardUnitsOnFileAndPipe);
}

void positionableByFileType() {
  struct Case { const char* what; int fd; bool positionable; };
  int ends[2];
  int sockets[2];
  if (pipe(ends) != 0 || socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0) std::abort();
  const Case cases[] = {
      {"regular file", tempFileWith("x"), true},
      {"regular file without a name", tempFileWith("x", false), false},
      {"pipe", ends[0], false},
      {"socket", sockets[0], false},
      {"character device", open("/dev/null", O_RDONLY), true},
  };
  for (const Case& c : cases) {
    const pid_t child = fork();
    if (child == 0) {
      dup2(c.fd, 0);
      recio::createUnitTable();
      const recio::Unit* in = recio::connectedUnit(recio::inputUnit);
      _exit(in != nullptr && in->positionable == c.positionable ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    check(WIFEXITED(status) && WEXITSTATUS(status) == 0, c.what);
  }
}

TEST_F(Units, PositionableFlagByFileType) { expectExitsCleanly(positionableByFileType); }

void closedDescriptorsLeaveUnitsUnconnected() {
  close(0);
  close(1);
  recio::createUnitTable();
  check(recio::connectedUnit(recio::inputUnit) == nullptr, "unit 5 unconnected");
  check(recio::connectedUnit(recio::outputUnit) == nullptr, "unit 6 unconnected");
  check(recio::connectedUnit(recio::errorUnit) != nullptr, "unit 0 connected");
}

TEST_F(Units, ClosedDescriptorLeavesItsUnitUnconnected) {
  expectExitsCleanly(closedDescriptorsLeaveUnitsUnconnected);
}

// --- Implicit connection to fort.N ------------------------------------------

void writeToFortSix() {
  enterTempDir();
  umask(022);
  const int old = open("fort.6", O_WRONLY | O_CREAT, 0600);
  const char oldText[] = "older and longer contents\n";
  if (write(old, oldText, sizeof oldText - 1) < 0) std::abort();
  close(old);
  unlink("fort.6");  // created afresh below, so its mode shows the umask
  close(1);
  beginWrite(6);
  recio::Unit& unit = recio::obtainUnit(6, true);
  check(recio::statementContext.unitObtained, "unit obtained");
  check(recio::statementContext.unitName != nullptr &&
            std::strcmp(recio::statementContext.unitName, "fort.6") == 0,
        "context names fort.6");
  check(unit.name != nullptr && std::strcmp(unit.name, "fort.6") == 0, "unit named fort.6");
  check(unit.connected && unit.output != nullptr, "unit 6 connected for writing");
  struct stat status;
  check(stat("fort.6", &status) == 0 && (status.st_mode & 0777) == 0644,
        "mode 0666 under the umask");
  unit.output->write("result\n", 7);
  recio::Unit& again = recio::obtainUnit(6, true);
  check(&again == &unit, "second statement finds the same unit");
  recio::closeAllUnits();
  check(fileContents("fort.6") == "result\n", "fort.6 holds the record");
}

TEST_F(Units, UnconnectedUnitConnectsToFortN) { expectExitsCleanly(writeToFortSix); }

void overwriteExistingFortSix() {
  enterTempDir();
  const int old = open("fort.6", O_WRONLY | O_CREAT, 0644);
  const char oldText[] = "older and longer contents\n";
  if (write(old, oldText, sizeof oldText - 1) < 0) std::abort();
  close(old);
  close(1);
  beginWrite(6);
  recio::obtainUnit(6, true).output->write("new\n", 4);
  recio::closeAllUnits();
  check(fileContents("fort.6") == "new\n", "fort.6 holds only this run's output");
}

TEST_F(Units, FirstWriteStartsTheFileAfresh) { expectExitsCleanly(overwriteExistingFortSix); }

void unitNumberAboveNinetyEight() {
  enterTempDir();
  beginWrite(1000);
  recio::Unit& unit = recio::obtainUnit(1000, true);
  check(unit.number == 1000, "entry holds its number");
  check(recio::connectedUnit(1000) == &unit, "found again by number");
  beginWrite(1001);
  check(&recio::obtainUnit(1001, true) != &unit, "another number, another entry");
  unit.output->write("x\n", 2);
  recio::closeAllUnits();
  check(fileContents("fort.1000") == "x\n", "fort.1000 written");
}

TEST_F(Units, OtherNumbersShareTheRemainingEntries) {
  expectExitsCleanly(unitNumberAboveNinetyEight);
}

void openFailsOnDirectory() {
  noCoreImage();
  enterTempDir();
  if (mkdir("fort.6", 0755) != 0) std::abort();
  close(1);
  beginWrite(6);
  recio::obtainUnit(6, true);
}

TEST_F(Units, FailedImplicitConnectionIsReported) {
  EXPECT_EXIT(openFailsOnDirectory(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string("open: [21] Is a directory\n"
                                      "logical unit 6, named 'fort.6'\n")));
}

void negativeUnit() {
  noCoreImage();
  beginWrite(-4);
  recio::obtainUnit(-4, true);
}

TEST_F(Units, NegativeUnitNumberIsIllegal) {
  EXPECT_EXIT(negativeUnit(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string("ext list io: [1001] illegal unit number\n")));
}

void readFromUnitSeven() {
  noCoreImage();
  enterTempDir();
  recio::beginExternalStatement(true, Form::freeForm, 7, "ext list io", false, false);
  recio::obtainUnit(7, false);
}

// Only unit 5 has a source to read from.
TEST_F(Units, ReadingAnotherUnitIsRefused) {
  EXPECT_EXIT(readFromUnitSeven(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string("ext list io: [1023] illegal operation for unit\n"
                                      "logical unit 7\n")));
}

// --- Buffering ------------------------------------------------------------------

std::size_t blockSizeOf(int fd) {
  struct stat status;
  fstat(fd, &status);
  return static_cast<std::size_t>(status.st_blksize);
}

std::size_t sizeOf(int fd) {
  struct stat status;
  fstat(fd, &status);
  return static_cast<std::size_t>(status.st_size);
}

// Blocks held back until the bound's worth are full; one call then, and
// the part of a block after them waits for the flush.
void blocksToAFileGoSeveralToACall() {
  signal(SIGXFSZ, SIG_IGN);  // whatever the file size limit
  std::string name = childScratch() + "/blockXXXXXX";
  dup2(mkstemp(name.data()), 1);
  const std::size_t block = blockSizeOf(1);
  const std::size_t bound = std::min(recio::OutputStream::defaultBytesAWrite / block,
                                     recio::OutputStream::mostBlocksHeld) * block;
  recio::createUnitTable();
  recio::OutputStream& out = *recio::connectedUnit(recio::outputUnit)->output;
  const std::string bytes(bound + 1, 'x');
  out.write(bytes.data(), block);
  check(sizeOf(1) == 0, "a full block is held");
  out.write(bytes.data(), bound - block - 1);
  check(sizeOf(1) == 0, "blocks held up to the bound");
  out.write("\n", 1);
  check(sizeOf(1) == bound, "the bound's worth written at once");
  out.write(bytes.data(), bound + 1);
  check(sizeOf(1) == 2 * bound, "a longer write: the full blocks in hand go out");
  out.flush();
  check(sizeOf(1) == 2 * bound + 1, "flush writes what is held");
}

TEST_F(Units, FullBlocksToAFileGoSeveralToACall) {
  expectExitsCleanly(blocksToAFileGoSeveralToACall);
}

std::size_t pending(int fd) {
  std::size_t total = 0;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) total += static_cast<std::size_t>(n);
  return total;
}

// A reader of a pipe or a socket gets each block as soon as it is full;
// so does a reader of a file when a file size limit would end the process
// by SIGXFSZ at a write that meets it.
enum class Destination { pipe, socket, fileUnderSizeLimit };

void eachBlockAtOnce(Destination destination) {
  int ends[2] = {-1, -1};
  if (destination == Destination::pipe && pipe(ends) != 0) std::abort();
  if (destination == Destination::socket && socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
    std::abort();
  }
  if (destination == Destination::fileUnderSizeLimit) {
    std::string name = childScratch() + "/limitedXXXXXX";
    ends[1] = mkstemp(name.data());
    const rlimit large{rlim_t{1} << 40, rlim_t{1} << 40};
    setrlimit(RLIMIT_FSIZE, &large);
    signal(SIGXFSZ, SIG_DFL);
  } else {
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
  }
  dup2(ends[1], 1);
  const auto arrived = [&] { return ends[0] >= 0 ? pending(ends[0]) : sizeOf(1); };
  const std::size_t block = blockSizeOf(1);
  recio::createUnitTable();
  recio::OutputStream& out = *recio::connectedUnit(recio::outputUnit)->output;
  const std::string bytes(block, 'x');
  out.write(bytes.data(), block - 1);
  check(arrived() == 0, "nothing before the block is full");
  out.write("\n", 1);
  check(arrived() == block, "the full block written at once");
  out.write("y", 1);
  check(arrived() == (ends[0] >= 0 ? 0 : block), "the next byte waits");
}

TEST_F(Units, PipesSocketsAndKillingSizeLimitsGetEachBlockAtOnce) {
  for (const Destination d :
       {Destination::pipe, Destination::socket, Destination::fileUnderSizeLimit}) {
    SCOPED_TRACE(static_cast<int>(d));
    EXPECT_EXIT({ eachBlockAtOnce(d); _exit(0); }, testing::ExitedWithCode(0),
                testing::Eq(std::string()));
  }
}

// The blocks held for a file are written when the input would have to be
// waited for, not while it has bytes to read.
void heldBlocksBeforeWaitingForInput() {
  signal(SIGXFSZ, SIG_IGN);
  std::string name = childScratch() + "/heldXXXXXX";
  dup2(mkstemp(name.data()), 1);
  int input[2];
  if (pipe(input) != 0) std::abort();
  fcntl(input[0], F_SETFL, O_NONBLOCK);
  const std::size_t block = blockSizeOf(1);
  recio::createUnitTable();
  recio::OutputStream& out = *recio::connectedUnit(recio::outputUnit)->output;
  const std::string bytes(3 * block, 'x');
  out.write(bytes.data(), block + block / 2);
  if (write(input[1], "1", 1) != 1) std::abort();
  recio::OutputStream::beforeWaitingForInput(input[0]);
  check(sizeOf(1) == 0, "input to read: the blocks stay held");
  pending(input[0]);
  recio::OutputStream::beforeWaitingForInput(input[0]);
  check(sizeOf(1) == block, "no input: the full blocks go out, the part block stays");
  out.write(bytes.data(), block);
  recio::OutputStream::writeFullBlocksOfAll();
  check(sizeOf(1) == 2 * block, "and before a report");
  out.flush();
  check(sizeOf(1) == 2 * block + block / 2, "the part block at the flush");
}

TEST_F(Units, HeldBlocksGoOutBeforeWaitingForInput) {
  expectExitsCleanly(heldBlocksBeforeWaitingForInput);
}

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

void lineBufferedToATerminal() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::abort();
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  termios mode;
  tcgetattr(slave, &mode);
  mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // bytes as written
  tcsetattr(slave, TCSANOW, &mode);
  dup2(slave, 1);
  recio::createUnitTable();
  const recio::Unit& unit = *recio::connectedUnit(recio::outputUnit);
  check(unit.terminal && !unit.positionable, "a terminal is not positionable");
  unit.output->write("ab", 2);
  usleep(20000);
  check(!readable(master), "no line end, nothing written");
  unit.output->write("c\nd", 3);
  usleep(20000);
  char got[8] = {};
  const ssize_t n = readable(master) ? read(master, got, sizeof got) : 0;
  check(std::string(got, static_cast<std::size_t>(n > 0 ? n : 0)) == "abc\n",
        "the line is written at its line end");
}

TEST_F(Units, StandardOutputToATerminalIsLineBuffered) {
  expectExitsCleanly(lineBufferedToATerminal);
}

void standardErrorUnbufferedAndRefusalsIgnored() {
  int ends[2];
  if (pipe(ends) != 0) std::abort();
  fcntl(ends[0], F_SETFL, O_NONBLOCK);
  dup2(ends[1], 2);
  recio::createUnitTable();
  recio::OutputStream& err = *recio::connectedUnit(recio::errorUnit)->output;
  err.write("a", 1);
  char got[4] = {};
  check(read(ends[0], got, sizeof got) == 1 && got[0] == 'a', "each byte written at once");
  dup2(open("/dev/full", O_WRONLY), 2);
  err.write("lost\n", 5);
  err.flush();
  check(!recio::failureInProgress(), "a refusal on unit 0 is not reported");
}

TEST_F(Units, StandardErrorIsUnbufferedAndRefusalsAreIgnored) {
  expectExitsCleanly(standardErrorUnbufferedAndRefusalsIgnored);
}

// A descriptor left non-blocking by the caller: the stream waits for room.
void nonBlockingPipeLosesNothing() {
  int ends[2];
  if (pipe(ends) != 0) std::abort();
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const std::size_t total = 300000;  // several times a pipe's capacity
  const pid_t reader = fork();
  if (reader == 0) {
    close(ends[1]);
    usleep(50000);
    _exit(readAll(ends[0]) == std::string(total, 'z') ? 0 : 1);
  }
  close(ends[0]);
  dup2(ends[1], 1);
  close(ends[1]);
  recio::createUnitTable();
  recio::OutputStream& out = *recio::connectedUnit(recio::outputUnit)->output;
  const std::string bytes(total, 'z');
  out.write(bytes.data(), bytes.size());
  recio::closeAllUnits();
  int status = 0;
  waitpid(reader, &status, 0);
  check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "every byte reached the reader");
}

TEST_F(Units, NonBlockingDestinationIsWaitedFor) {
  expectExitsCleanly(nonBlockingPipeLosesNothing);
}

// --- Closing ----------------------------------------------------------------------

// Units 1, 6 and 7 all write into one FIFO, so the order of their output
// shows the order in which they were closed: 6, then upward, then from 0.
void closeOrder() {
  enterTempDir();
  if (mkfifo("fifo", 0600) != 0) std::abort();
  const int drain = open("fifo", O_RDWR | O_NONBLOCK);
  dup2(open("fifo", O_RDWR), 1);
  if (symlink("fifo", "fort.1") != 0 || symlink("fifo", "fort.7") != 0) std::abort();
  recio::createUnitTable();
  beginWrite(1);
  recio::obtainUnit(1, true).output->write("one ", 4);
  beginWrite(7);
  recio::obtainUnit(7, true).output->write("seven ", 6);
  recio::connectedUnit(recio::outputUnit)->output->write("six ", 4);
  recio::closeAllUnits();
  char got[64] = {};
  const ssize_t n = read(drain, got, sizeof got);
  check(std::string(got, static_cast<std::size_t>(n > 0 ? n : 0)) == "six seven one ",
        "closed in the order 6, 7, 1");
  for (std::int32_t unit : {0, 1, 5, 6, 7}) {
    check(recio::connectedUnit(unit) == nullptr, "every unit unconnected");
  }
}

TEST_F(Units, CloseAllUnitsBeginsWithUnitSix) { expectExitsCleanly(closeOrder); }

// --- The unit table cannot be created -----------------------------------------------

// The address sanitizer's allocator lives by other rules; the case is for
// the C library's own.
constexpr bool addressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// No address space may be added, and every block the allocator still has is
// taken, so the table's allocation finds no memory.
void createTableWithoutMemory() {
  noCoreImage();
  rlimit none{0, 0};
  setrlimit(RLIMIT_AS, &none);
  void* held = nullptr;
  for (std::size_t size = std::size_t{1} << 20; size >= sizeof(void*); size /= 2) {
    while (void* block = std::malloc(size)) {
      *static_cast<void**>(block) = held;
      held = block;
    }
  }
  recio::createUnitTable();
}

TEST_F(Units, TableWithoutMemoryEndsTheRun) {
  if (addressSanitizer) GTEST_SKIP() << "allocator replaced by the sanitizer";
  if (emulation::underEmulator) {
    GTEST_SKIP() << "qemu-user does not apply the program's RLIMIT_AS: its allocator would "
                    "take the machine's memory";
  }
  EXPECT_EXIT(createTableWithoutMemory(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string("Cannot allocate storage for unit table\n")));
}

}  // namespace
