// geocart-check's command line: its options, its inputs by name and on
// standard input, the input passed on unchanged, and its exit statuses.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "run_process.h"

namespace {

using golden::exitedWith;

golden::RunResult runCheck(std::vector<std::string> args, std::string input = "") {
  golden::RunRequest request;
  request.program = CHECK_BINARY;
  request.args = std::move(args);
  request.stdinBytes = std::move(input);
  return golden::runProcess(request);
}

// A folder of its own holding the named files.
class Inputs {
 public:
  Inputs() {
    char pattern[] = "/tmp/geocart-check-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~Inputs() {
    for (const std::string& f : files_) ::unlink(f.c_str());
    ::rmdir(dir_.c_str());
  }
  std::string add(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    files_.push_back(path);
    return path;
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

const std::string clean = "45 45 100 P1\n";
const std::string shortLine = "45 45 100\n";

TEST(CheckCommandLine, HelpAndVersion) {
  golden::RunResult r = runCheck({"--help"});
  EXPECT_EQ(r.stdoutBytes.rfind("usage: geocart-check [-p] [FILE]...\n", 0), 0u);
  EXPECT_TRUE(r.end == exitedWith(0));
  r = runCheck({"-h"});
  EXPECT_EQ(r.stdoutBytes.rfind("usage: geocart-check", 0), 0u);
  r = runCheck({"--version"});
  EXPECT_EQ(r.stdoutBytes, "geocart-check " GEOCART_VERSION "\n");
  EXPECT_TRUE(r.end == exitedWith(0));
}

TEST(CheckCommandLine, MisuseEndsWithStatus2) {
  golden::RunResult r = runCheck({"--bogus"});
  EXPECT_EQ(r.stderrBytes, "geocart-check: unknown option --bogus\nTry 'geocart-check --help'.\n");
  EXPECT_TRUE(r.end == exitedWith(2));
  r = runCheck({"-px"});
  EXPECT_TRUE(r.end == exitedWith(2));
  Inputs inputs;
  r = runCheck({"--pass", inputs.add("a.txt", clean), inputs.add("b.txt", clean)});
  EXPECT_EQ(r.stderrBytes,
            "geocart-check: --pass passes one input on, not several\n"
            "Try 'geocart-check --help'.\n");
  EXPECT_TRUE(r.end == exitedWith(2));
  EXPECT_EQ(r.stdoutBytes, "");
}

TEST(CheckCommandLine, EachFileByItsNameAndStandardInputAsDash) {
  Inputs inputs;
  const std::string a = inputs.add("a.txt", shortLine);
  const std::string b = inputs.add("b.txt", clean);
  // Each input is read from its own start: b's point does not complete a's.
  const golden::RunResult r = runCheck({a, "-", b}, "1 2 3\n");
  EXPECT_EQ(r.stdoutBytes,
            a + ":1:1: the input ends inside the point that begins here, before its label: "
                "geocart stops with 'list io: [-1] end of file'\n"
                "<stdin>:1:1: the input ends inside the point that begins here, before its "
                "label: geocart stops with 'list io: [-1] end of file'\n");
  EXPECT_TRUE(r.end == exitedWith(1));
  EXPECT_TRUE(runCheck({b}).end == exitedWith(0));
  EXPECT_TRUE(runCheck({"--", b}).end == exitedWith(0));
}

TEST(CheckCommandLine, InputsThatCannotBeReadEndWithStatus2) {
  Inputs inputs;
  const std::string missing = inputs.dir() + "/missing.txt";
  const std::string bad = inputs.add("bad.txt", shortLine);
  // The other inputs are still checked, and the status says the worst.
  const golden::RunResult r = runCheck({missing, inputs.dir(), bad});
  EXPECT_EQ(r.stderrBytes, "geocart-check: " + missing + ": No such file or directory\n" +
                               "geocart-check: " + inputs.dir() + ": Is a directory\n");
  EXPECT_NE(r.stdoutBytes.find(bad + ":1:1: "), std::string::npos);
  EXPECT_TRUE(r.end == exitedWith(2));
}

TEST(CheckCommandLine, PassWritesTheInputUnchangedAndFindingsOnStandardError) {
  // No line end after the last line: passed on as it is, not completed.
  const std::string input = "45 45 100 P1\n10 20 30\nP7\n1 2 3 x\r\n1 2 3 y";
  golden::RunResult r = runCheck({"--pass"}, input);
  EXPECT_EQ(r.stdoutBytes, input);
  EXPECT_EQ(r.stderrBytes,
            "<stdin>:2:1: the point goes on to line 3: its label is taken from line 3, 'P7'\n"
            "<stdin>:4:7: the label 'x^M' ends in a carriage return (Windows line ends?): "
            "geocart prints it; tr -d '\\r' removes them\n");
  EXPECT_TRUE(r.end == exitedWith(1));
  r = runCheck({"-p", "-"}, clean);
  EXPECT_EQ(r.stdoutBytes, clean);
  EXPECT_EQ(r.stderrBytes, "");
  EXPECT_TRUE(r.end == exitedWith(0));
}

TEST(CheckCommandLine, PassGoesOnCheckingWhenItsReaderLeaves) {
  // Far more than a pipe holds, then a line to find.
  std::string input;
  for (int i = 0; i < 100000; ++i) input += clean;
  input += shortLine;
  golden::RunRequest request;
  request.program = CHECK_BINARY;
  request.args = {"--pass"};
  request.stdinBytes = input;
  request.stdoutSink = [](std::string_view) { return false; };
  const golden::RunResult r = golden::runProcess(request);
  ASSERT_EQ(r.failure, "");
  EXPECT_EQ(r.stderrBytes,
            "<stdin>:100001:1: the input ends inside the point that begins here, before its "
            "label: geocart stops with 'list io: [-1] end of file'\n");
  EXPECT_TRUE(r.end == exitedWith(1)) << golden::describe(r.end);
}

}  // namespace
