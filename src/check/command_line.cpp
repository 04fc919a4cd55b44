// geocart-check's options, read without getopt so that the rules are the
// same on every C library.
#include "command_line.h"

namespace geocart::check {

const char helpText[] =
    "usage: geocart-check [-p] [FILE]...\n"
    "Reads each FILE (standard input when there is none, or for -) as 'geocart -stdin'\n"
    "reads it, and writes a finding for each place where what geocart does with it is\n"
    "likely not what was meant: a point that goes on past its line, text that geocart\n"
    "ignores, an empty value, a repeat count or slash, a label that is cut or shared,\n"
    "a latitude or longitude out of range, and every failure report geocart would\n"
    "end with.\n"
    "\n"
    "  -p, --pass     also write the input, unchanged, on standard output, for\n"
    "                 geocart-check -p FILE | geocart -stdin\n"
    "  -h, --help     show this text and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Each finding is one line, FILE:LINE:COLUMN: what geocart would do, on standard\n"
    "output, or on standard error with --pass.\n"
    "Exit status: 0 when nothing was found, 1 when something was, 2 when an input\n"
    "could not be read or the command line is wrong.\n";

CommandLine readCommandLine(int argc, char** argv) {
  CommandLine line;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options || arg == "-" || arg.empty() || arg[0] != '-') {
      line.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options = false;
    } else if (arg == "--pass") {
      line.pass = true;
    } else if (arg == "--help") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (arg.starts_with("--")) {
      line.error = "unknown option";
      line.errorArgument = arg;
      return line;
    } else {
      for (const char c : arg.substr(1)) {
        if (c == 'p') {
          line.pass = true;
        } else if (c == 'h') {
          line.help = true;
        } else if (c == 'V') {
          line.version = true;
        } else {
          line.error = "unknown option";
          line.errorArgument = arg;
          return line;
        }
      }
    }
  }
  if (line.pass && line.inputs.size() > 1) {
    line.error = "--pass passes one input on, not several";
  }
  return line;
}

}  // namespace geocart::check
