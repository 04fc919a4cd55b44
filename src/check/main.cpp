// geocart-check: checks inputs of `geocart -stdin` before they are converted.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "command_line.h"
#include "file_check.h"
#include "finding_writer.h"
#include "label_table.h"

namespace {

constexpr int found = 1;
constexpr int trouble = 2;

void complain(std::string_view name, int error) {
  std::fprintf(stderr, "geocart-check: %.*s: %s\n", static_cast<int>(name.size()), name.data(),
               std::strerror(error));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace geocart::check;
  CommandLine line = readCommandLine(argc, argv);
  if (!line.error.empty()) {
    std::fprintf(stderr, "geocart-check: %.*s%s%.*s\nTry 'geocart-check --help'.\n",
                 static_cast<int>(line.error.size()), line.error.data(),
                 line.errorArgument.empty() ? "" : " ",
                 static_cast<int>(line.errorArgument.size()), line.errorArgument.data());
    return trouble;
  }
  if (line.help) {
    std::fputs(helpText, stdout);
    return std::fflush(stdout) == 0 ? 0 : trouble;
  }
  if (line.version) {
    std::fputs("geocart-check " GEOCART_VERSION "\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : trouble;
  }
  if (line.inputs.empty()) line.inputs.push_back("-");
  // A pipeline's reader that goes away stops the passing on, not the check.
  if (line.pass) ::signal(SIGPIPE, SIG_IGN);

  static FindingWriter findings(line.pass ? 2 : 1);
  static FileChecker checker(findings);
  int status = 0;
  for (const std::string_view input : line.inputs) {
    const bool standardInput = input == "-";
    const std::string_view name = standardInput ? std::string_view("<stdin>") : input;
    const int fd = standardInput ? 0 : ::open(std::string(input).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      complain(name, errno);
      status = trouble;
      continue;
    }
    if (!checker.check(name, fd, line.pass ? 1 : -1)) {
      complain(checker.passFailed() ? std::string_view("standard output") : name, errno);
      status = trouble;
    }
    if (const std::uint64_t since = checker.labelsFullSince(); since != 0) {
      findings.flush();
      std::fprintf(stderr,
                   "geocart-check: %.*s: labels from line %llu on are compared only with the "
                   "first %zu of 8 characters or more\n",
                   static_cast<int>(name.size()), name.data(),
                   static_cast<unsigned long long>(since), LabelTable::mostLabels);
    }
    if (!standardInput) ::close(fd);
  }
  if (!findings.flush()) {
    complain(line.pass ? "standard error" : "standard output", errno);
    return trouble;
  }
  if (status != 0) return status;
  return findings.count() > 0 ? found : 0;
}
