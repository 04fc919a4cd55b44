// The command line of geocart-check: options, then the inputs.
#pragma once

#include <string_view>
#include <vector>

namespace geocart::check {

struct CommandLine {
  bool pass = false;     // -p, --pass: the input goes on to standard output
  bool help = false;     // -h, --help
  bool version = false;  // -V, --version
  // The inputs as given; "-" is standard input, and none means it alone.
  std::vector<std::string_view> inputs;
  // Misuse: what is wrong, empty when nothing is.
  std::string_view error;
  std::string_view errorArgument;
};

// Reads the arguments after the program name. "--" ends the options; a
// lone "-" is an input; short options may be joined ("-pV").
CommandLine readCommandLine(int argc, char** argv);

// The text of --help.
extern const char helpText[];

}  // namespace geocart::check
