// The run-time error table, every layout of the failure report, and the ways
// a run ends: the report, exit_, the termination handler and abort.
#include "failure.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "abort_report.h"
#include "char_source.h"
#include "output_stream.h"
#include "statement_context.h"
#include "units.h"

namespace {

using recio::Form;
using recio::statementContext;

void noCoreImage() {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
}

// Files made by a test's children go into a directory named after the test
// process, which removes it when the test ends.
std::string scratchOf(pid_t owner) { return "/tmp/geocart_failure_" + std::to_string(owner); }

class Failure : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void TearDown() override { std::filesystem::remove_all(scratchOf(getpid())); }
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string tempFile(std::string_view contents) {
  char path[] = "/tmp/failure_testXXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, contents.data(), contents.size()),
            static_cast<ssize_t>(contents.size()));
  close(fd);
  return path;
}

// The area the reader would be working through: an 80-character record,
// blank-padded, with `taken` characters of it taken.
char area[80];

void internalRead(std::string_view record, std::int32_t position, std::int32_t taken,
                  std::int32_t length = 80) {
  std::memset(area, ' ', sizeof area);
  std::memcpy(area, record.data(), record.size());
  recio::beginInternalListRead(area, length);
  statementContext.recordPosition = area + position;
  statementContext.charactersTaken = taken;
}

// --- Reports of internal reads ----------------------------------------------

struct InternalCase {
  const char* name;
  std::string_view record;
  std::int32_t position;  // of the next character to be taken
  std::int32_t taken;     // from the current record
  std::int32_t length;
  std::int32_t code;
  const char* word;
  std::string_view report;
};

const InternalCase internalCases[] = {
    {"slash after letters", "abc/", 4, 4, 80, 1012, "list io",
     "list io: [1012] incomprehensible list input\n"
     "lately: reading sequential list internal IO\n"
     "part of last format: int list io\n"
     "part of last string: abc/|     \n"},
    {"end of an empty record", "", 80, 0, 80, -1, "list read",
     "list read: [-1] end of file\n"
     "lately: reading sequential list internal IO\n"
     "part of last format: int list io\n"
     "part of last string: |\n"},
    {"zero repeat count", "0*7", 2, 2, 80, 1022, "list io",
     "list io: [1022] negative repeat count\n"
     "lately: reading sequential list internal IO\n"
     "part of last format: int list io\n"
     "part of last string: 0*|7    \n"},
    {"only the last twelve taken", "abcdefghijklmnopqrstuvwxyz/", 27, 27, 80, 1012, "list io",
     "list io: [1012] incomprehensible list input\n"
     "lately: reading sequential list internal IO\n"
     "part of last format: int list io\n"
     "part of last string: pqrstuvwxyz/|     \n"},
    {"display form of control and high bytes", "x\ty\n\x7f\xe9\x01z", 4, 4, 80, 1012, "list io",
     "list io: [1012] incomprehensible list input\n"
     "lately: reading sequential list internal IO\n"
     "part of last format: int list io\n"
     "part of last string: x^Iy^J|^?i^Az \n"},
    {"not beyond the end of the area", "abcdef", 4, 4, 6, 1012, "list io",
     "list io: [1012] incomprehensible list input\n"
     "lately: reading sequential list internal IO\n"
     "part of last format: int list io\n"
     "part of last string: abcd|ef\n"},
    {"out of free space", "'abc", 4, 4, 80, 1013, "list read",
     "list read: [1013] out of free space\n"
     "lately: reading sequential list internal IO\n"
     "part of last format: int list io\n"
     "part of last string: 'abc|     \n"},
};

void failInternal(const InternalCase& c) {
  noCoreImage();
  internalRead(c.record, c.position, c.taken, c.length);
  recio::reportFailure(c.code, c.word);
}

TEST_F(Failure, InternalReadReports) {
  for (const InternalCase& c : internalCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(failInternal(c), testing::KilledBySignal(SIGABRT),
                abortReportIs(std::string(c.report)));
  }
}

// Fewer characters taken from the current record than stand before the
// position: only those are shown.
void failInSecondRecord() {
  noCoreImage();
  internalRead("abcdefghijklmnop", 10, 2);
  recio::reportFailure(1012, "list io");
}

TEST_F(Failure, ShowsOnlyCharactersOfTheCurrentRecord) {
  EXPECT_EXIT(failInSecondRecord(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string("list io: [1012] incomprehensible list input\n"
                                      "lately: reading sequential list internal IO\n"
                                      "part of last format: int list io\n"
                                      "part of last string: ij|klmno\n")));
}

// --- The first line ---------------------------------------------------------

struct FirstLineCase {
  std::int32_t code;
  const char* word;
  std::string_view line;
};

const FirstLineCase firstLineCases[] = {
    {-1, "list read", "list read: [-1] end of file\n"},
    {-5, "list read", "list read: [-5] end of file\n"},
    {0, "open", "open: [0] Success\n"},
    {2, "open", "open: [2] No such file or directory\n"},
    {13, "open", "open: [13] Permission denied\n"},
    {500, "list io", "list io: [500] unknown error number\n"},
    {999, "list io", "list io: [999] unknown error number\n"},
    {1000, "list io", "list io: [1000] error in format\n"},
    {1027, "list io", "list io: [1027] error in FILEOPT parameter\n"},
    {1028, "list io", "list io: [1028] unknown error number\n"},
    {2147483647, "list io", "list io: [2147483647] unknown error number\n"},
    {-2147483647 - 1, "list read", "list read: [-2147483648] end of file\n"},
};

// An external statement whose unit number is negative and was never obtained:
// the first line stands alone.
void failWithCode(std::int32_t code, const char* word) {
  noCoreImage();
  recio::beginExternalStatement(false, Form::freeForm, -1, "ext list io", false, false);
  recio::reportFailure(code, word);
}

TEST_F(Failure, FirstLineByCodeRange) {
  for (const FirstLineCase& c : firstLineCases) {
    SCOPED_TRACE(c.code);
    EXPECT_EXIT(failWithCode(c.code, c.word), testing::KilledBySignal(SIGABRT),
                abortReportIs(std::string(c.line)));
  }
}

// The 28 documented texts of the run-time error table, each as the first
// line of a report shows it.
struct DocumentedText {
  std::int32_t code;
  std::string_view line;
};

constexpr DocumentedText documentedTexts[] = {
    {1000, "list io: [1000] error in format\n"},
    {1001, "list io: [1001] illegal unit number\n"},
    {1002, "list io: [1002] formatted io not allowed\n"},
    {1003, "list io: [1003] unformatted io not allowed\n"},
    {1004, "list io: [1004] direct io not allowed\n"},
    {1005, "list io: [1005] sequential io not allowed\n"},
    {1006, "list io: [1006] can't backspace file\n"},
    {1007, "list io: [1007] off beginning of record\n"},
    {1008, "list io: [1008] can't stat file\n"},
    {1009, "list io: [1009] no * after repeat count\n"},
    {1010, "list io: [1010] off end of record\n"},
    {1011, "list io: [1011] truncation failed\n"},
    {1012, "list io: [1012] incomprehensible list input\n"},
    {1013, "list io: [1013] out of free space\n"},
    {1014, "list io: [1014] unit not connected\n"},
    {1015, "list io: [1015] read unexpected character\n"},
    {1016, "list io: [1016] illegal logical input field\n"},
    {1017, "list io: [1017] 'new' file exists\n"},
    {1018, "list io: [1018] can't find 'old' file\n"},
    {1019, "list io: [1019] unknown system error\n"},
    {1020, "list io: [1020] requires seek ability\n"},
    {1021, "list io: [1021] illegal argument\n"},
    {1022, "list io: [1022] negative repeat count\n"},
    {1023, "list io: [1023] illegal operation for unit\n"},
    {1024, "list io: [1024] recursive i/o call\n"},
    {1025, "list io: [1025] incompatible specifiers\n"},
    {1026, "list io: [1026] illegal input for namelist\n"},
    {1027, "list io: [1027] error in FILEOPT parameter\n"},
};

TEST_F(Failure, RuntimeErrorTextsAsDocumented) {
  for (const DocumentedText& c : documentedTexts) {
    SCOPED_TRACE(c.code);
    EXPECT_EXIT(failWithCode(c.code, "list io"), testing::KilledBySignal(SIGABRT),
                abortReportIs(std::string(c.line)));
  }
}

#ifdef EHWPOISON
// The platform's messages end at its highest error number; one above it has
// no message.
TEST_F(Failure, SystemMessagesEndWithTheLastErrorNumber) {
  const std::string last = std::string("open: [") + std::to_string(EHWPOISON) + "] " +
                           std::strerror(EHWPOISON) + "\n";
  EXPECT_EXIT(failWithCode(EHWPOISON, "open"), testing::KilledBySignal(SIGABRT),
              abortReportIs(last));
  const std::string next =
      std::string("open: [") + std::to_string(EHWPOISON + 1) + "] unknown error number\n";
  EXPECT_EXIT(failWithCode(EHWPOISON + 1, "open"), testing::KilledBySignal(SIGABRT),
              abortReportIs(next));
}
#endif

// --- The unit line ----------------------------------------------------------

struct UnitLineCase {
  std::int32_t unit;
  const char* name;
  std::string_view lines;
};

const UnitLineCase unitLineCases[] = {
    {0, nullptr, "ext list io: [1002] formatted io not allowed\nlogical unit 0, named 'stderr'\n"},
    {5, nullptr, "ext list io: [1002] formatted io not allowed\nlogical unit 5, named 'stdin'\n"},
    {6, nullptr, "ext list io: [1002] formatted io not allowed\nlogical unit 6, named 'stdout'\n"},
    {6, "fort.6", "ext list io: [1002] formatted io not allowed\nlogical unit 6, named 'fort.6'\n"},
    {7, "fort.7", "ext list io: [1002] formatted io not allowed\nlogical unit 7, named 'fort.7'\n"},
    {12, nullptr, "ext list io: [1002] formatted io not allowed\nlogical unit 12\n"},
    {-3, nullptr, "ext list io: [1002] formatted io not allowed\n"},
};

void failOnUnit(std::int32_t unit, const char* name) {
  noCoreImage();
  recio::beginExternalStatement(false, Form::freeForm, unit, "ext list io", false, false);
  statementContext.unitName = name;
  recio::reportFailure(recio::formattedIoNotAllowed, "ext list io");
}

TEST_F(Failure, UnitLine) {
  for (const UnitLineCase& c : unitLineCases) {
    SCOPED_TRACE(c.unit);
    EXPECT_EXIT(failOnUnit(c.unit, c.name), testing::KilledBySignal(SIGABRT),
                abortReportIs(std::string(c.lines)));
  }
}

// --- The lately and format lines ---------------------------------------------

struct LatelyCase {
  const char* name;
  bool reading;
  bool sequential;
  Form form;
  std::int32_t unit;
  const char* format;
  std::string_view lines;  // after the first line and the unit line
};

const LatelyCase latelyCases[] = {
    {"message write", false, true, Form::freeForm, 0, "ext list io",
     "lately: writing sequential list external IO\npart of last format: ext list io\n"},
    {"result record", false, true, Form::fixedLayout, 6, "(3F15.4,5X,A8)",
     "lately: writing sequential formatted external IO\npart of last format: (3F15.4,5X,A8)\n"},
    {"unformatted has no format line", false, false, Form::unformatted, 6, "(3F15.4)",
     "lately: writing direct unformatted external IO\n"},
    {"no format text", false, true, Form::fixedLayout, 6, nullptr,
     "lately: writing sequential formatted external IO\n"},
    {"byte 2 as a quote", false, true, Form::fixedLayout, 6, "(\x02" "ab\x02,\t\n\x7f)",
     "lately: writing sequential formatted external IO\npart of last format: (\"ab\",^I^J^?)\n"},
    {"first 25 characters", false, true, Form::fixedLayout, 6,
     "(3F15.4,5X,A8,3F15.4,5X,A8,3F15.4)",
     "lately: writing sequential formatted external IO\npart of last format: (3F15.4,5X,A8,3F15.4,5X,A\n"},
};

void failObtained(const LatelyCase& c) {
  noCoreImage();
  recio::beginExternalStatement(c.reading, c.form, c.unit, c.format, false, false);
  statementContext.sequential = c.sequential;
  statementContext.unitObtained = true;
  recio::reportFailure(recio::formattedIoNotAllowed, "ext list io");
}

TEST_F(Failure, LatelyAndFormatLines) {
  for (const LatelyCase& c : latelyCases) {
    SCOPED_TRACE(c.name);
    const std::string expected =
        "ext list io: [1002] formatted io not allowed\nlogical unit " +
        std::to_string(c.unit) + (c.unit == 0 ? ", named 'stderr'\n" : ", named 'stdout'\n") +
        std::string(c.lines);
    EXPECT_EXIT(failObtained(c), testing::KilledBySignal(SIGABRT), abortReportIs(expected));
  }
}

// --- External reads ---------------------------------------------------------

// Standard input from a pipe cannot be positioned: an empty line stands for
// the data line.
void failReadingPipe() {
  noCoreImage();
  int ends[2];
  if (pipe(ends) != 0) std::abort();
  const char text[] = "abc 2 3 x\n";
  if (write(ends[1], text, sizeof text - 1) < 0) std::abort();
  close(ends[1]);
  dup2(ends[0], 0);
  recio::beginExternalStatement(true, Form::freeForm, 5, "ext list io", true, false);
  recio::Unit& unit = recio::obtainUnit(5, false);
  for (int i = 0; i < 4; ++i) unit.input->get();
  recio::reportFailure(1012, "list io");
}

TEST_F(Failure, ExternalReadFromAPipeHasAnEmptyDataLine) {
  EXPECT_EXIT(failReadingPipe(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string("list io: [1012] incomprehensible list input\n"
                                      "logical unit 5, named 'stdin'\n"
                                      "lately: reading sequential list external IO\n"
                                      "part of last format: ext list io\n"
                                      "\n")));
}

struct ExternalCase {
  const char* name;
  std::string_view input;
  std::int32_t taken;
  std::int32_t givenBack;
  std::string_view dataLine;
};

const ExternalCase externalCases[] = {
    {"failure in the second line", "1 2 3 a\nabc 2 3 x\n1 2 3 b\n", 18, 0,
     "part of last data: abc 2 3 x^J|1 2 3\n"},
    {"only line taken whole", "abc 2 3 x\n", 10, 0, "part of last data: abc 2 3 x^J|\n"},
    {"last twelve bytes of a long line", "abcdefghijklmnop 2 3 x\n", 23, 0,
     "part of last data: lmnop 2 3 x^J|\n"},
    {"given-back characters count as not taken", "ab\tc\xe9 2 3\n", 7, 2,
     "part of last data: ab^Ici| 2 3^J\n"},
    {"nothing taken", "abc\n", 0, 0, "part of last data: |abc^J\n"},
};

void failReadingFile(const ExternalCase& c) {
  noCoreImage();
  const std::string dir = scratchOf(getppid());
  mkdir(dir.c_str(), 0700);
  std::string path = dir + "/inputXXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0 || write(fd, c.input.data(), c.input.size()) < 0) std::abort();
  lseek(fd, 0, SEEK_SET);
  dup2(fd, 0);
  recio::beginExternalStatement(true, Form::freeForm, 5, "ext list io", true, false);
  recio::Unit& unit = recio::obtainUnit(5, false);
  int taken[64] = {};
  for (std::int32_t i = 0; i < c.taken; ++i) taken[i] = unit.input->get();
  for (std::int32_t i = c.taken - 1; i >= c.taken - c.givenBack; --i) unit.input->unget(taken[i]);
  recio::reportFailure(1012, "list io");
}

TEST_F(Failure, ExternalReadFromAFileShowsTheDataAround) {
  for (const ExternalCase& c : externalCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(failReadingFile(c), testing::KilledBySignal(SIGABRT),
                abortReportIs("list io: [1012] incomprehensible list input\n"
                            "logical unit 5, named 'stdin'\n"
                            "lately: reading sequential list external IO\n"
                            "part of last format: ext list io\n" +
                            std::string(c.dataLine)));
  }
}

// --- Refused writes on standard output ---------------------------------------

void writeToFullDevice(bool flushNow) {
  noCoreImage();
  const int full = open("/dev/full", O_WRONLY);
  if (full < 0) std::abort();
  dup2(full, 1);
  recio::createUnitTable();
  recio::Unit* unit = recio::connectedUnit(recio::outputUnit);
  if (unit == nullptr || unit->output == nullptr) std::abort();
  unit->output->write("result\n", 7);
  if (flushNow) unit->output->flush();
  std::exit(0);  // the termination handler meets the refusal
}

TEST_F(Failure, RefusedWriteOnStandardOutputEndsTheRun) {
  const std::string report =
      "write: [28] No space left on device\nlogical unit 6, named 'stdout'\n";
  EXPECT_EXIT(writeToFullDevice(true), testing::KilledBySignal(SIGABRT), abortReportIs(report));
  EXPECT_EXIT(writeToFullDevice(false), testing::KilledBySignal(SIGABRT), abortReportIs(report));
}

void writeToFullFortSix() {
  noCoreImage();
  const std::string dir = scratchOf(getppid());
  mkdir(dir.c_str(), 0700);
  if (chdir(dir.c_str()) != 0) std::abort();
  if (symlink("/dev/full", "fort.6") != 0) std::abort();
  close(1);
  recio::createUnitTable();
  recio::beginExternalStatement(false, Form::fixedLayout, 6, "(3F15.4)", false, false);
  recio::Unit& unit = recio::obtainUnit(6, true);
  unit.output->write("result\n", 7);
  unit.output->flush();
}

TEST_F(Failure, RefusedWriteNamesTheFile) {
  EXPECT_EXIT(writeToFullFortSix(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string(
                  "write: [28] No space left on device\nlogical unit 6, named 'fort.6'\n")));
}

// A report under way drops what standard output refuses instead of starting
// a second report.
void failWithOutputPendingOnFullDevice() {
  noCoreImage();
  const int full = open("/dev/full", O_WRONLY);
  dup2(full, 1);
  recio::createUnitTable();
  recio::connectedUnit(recio::outputUnit)->output->write("result\n", 7);
  internalRead("abc/", 4, 4);
  recio::reportFailure(1012, "list io");
}

TEST_F(Failure, ReportIgnoresRefusalsOfItsOwnFlush) {
  EXPECT_EXIT(failWithOutputPendingOnFullDevice(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string("list io: [1012] incomprehensible list input\n"
                                      "lately: reading sequential list internal IO\n"
                                      "part of last format: int list io\n"
                                      "part of last string: abc/|     \n")));
}

// --- Order of output and the ways out ----------------------------------------

// Runs `body` in a child whose standard output and standard error share the
// open file `path`; returns the wait status.
int runWithOutputsIn(const std::string& path, void (*body)()) {
  const pid_t child = fork();
  if (child == 0) {
    noCoreImage();
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
    body();
    _exit(99);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

void resultThenFailure() {
  recio::createUnitTable();
  recio::connectedUnit(recio::outputUnit)->output->write("result\n", 7);
  internalRead("abc/", 4, 4);
  recio::reportFailure(1012, "list io");
}

TEST(FailureOrder, BufferedResultsPrecedeTheReport) {
  const std::string path = tempFile("");
  const int status = runWithOutputsIn(path, resultThenFailure);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGABRT);
  EXPECT_EQ(readFile(path),
            "result\n"
            "list io: [1012] incomprehensible list input\n"
            "lately: reading sequential list internal IO\n"
            "part of last format: int list io\n"
            "part of last string: abc/|     \n");
  unlink(path.c_str());
}

void resultThenExitStatus3() {
  recio::createUnitTable();
  recio::connectedUnit(recio::outputUnit)->output->write("result\n", 7);
  recio::exit_(3);
}

void resultThenNormalExit() {
  recio::createUnitTable();
  recio::connectedUnit(recio::outputUnit)->output->write("result\n", 7);
  std::exit(0);
}

TEST(FailureOrder, BufferedResultsAreWrittenAtExit) {
  struct Case { const char* name; void (*body)(); int status; };
  constexpr Case cases[] = {
      {"exit_", resultThenExitStatus3, 3},
      {"return from main", resultThenNormalExit, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = tempFile("");
    const int status = runWithOutputsIn(path, c.body);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    EXPECT_EQ(readFile(path), "result\n");
    unlink(path.c_str());
  }
}

void exitWithStatusOne() { recio::exit_(1); }

TEST_F(Failure, ExitWithoutUnitTable) {
  EXPECT_EXIT(exitWithStatusOne(), testing::ExitedWithCode(1), testing::Eq(std::string()));
}

void closeThenCheck() {
  recio::createUnitTable();
  recio::closeAllUnits();
  const bool closed = recio::connectedUnit(0) == nullptr && recio::connectedUnit(5) == nullptr &&
                      recio::connectedUnit(6) == nullptr && fcntl(0, F_GETFD) == -1 &&
                      fcntl(1, F_GETFD) == -1 && fcntl(2, F_GETFD) == -1;
  _exit(closed ? 0 : 1);
}

TEST_F(Failure, CloseAllUnitsClosesTheStandardStreams) {
  EXPECT_EXIT(closeThenCheck(), testing::ExitedWithCode(0), testing::Eq(std::string()));
}

// A handler for SIGABRT that would end the process with status 3 is reset
// before abort, so the process ends by the signal.
void abortPastAHandler() {
  noCoreImage();
  signal(SIGABRT, [](int) { _exit(3); });
  signal(SIGTERM, SIG_IGN);
  recio::terminateAbnormally();
}

TEST_F(Failure, TerminateResetsSignalsBeforeAbort) {
  EXPECT_EXIT(abortPastAHandler(), testing::KilledBySignal(SIGABRT),
              abortReportIs(std::string()));
}

TEST_F(Failure, NoReportUnderWayAtFirst) { EXPECT_FALSE(recio::failureInProgress()); }

}  // namespace
