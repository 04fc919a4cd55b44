// One end-to-end case of the command-line tool: how it is started and exactly
// what it must write and how it must end.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "run_process.h"

namespace golden {

struct GoldenCase {
  std::string name;  // letters, digits and underscores: the CTest name
  std::vector<std::string> args;
  StdinKind stdinKind = StdinKind::emptyPipe;
  std::string stdinBytes;
  std::string stdoutBytes;
  std::string stderrBytes;
  Ending end = exitedWith(0);
  // Optional: the other standard descriptors and a working directory.
  StdoutKind stdoutKind = StdoutKind::pipe;
  bool closeStderr = false;
  bool inTempDir = false;
  std::vector<std::string> dirsBefore;         // made in the temp directory first
  std::map<std::string, std::string> filesBefore;  // likewise, name -> contents
  std::map<std::string, std::string> filesAfter;  // every regular file left there
};

const std::vector<GoldenCase>& goldenCases();

}  // namespace golden
