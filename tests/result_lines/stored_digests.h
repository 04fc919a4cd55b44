// The digests of expected_digests.txt by section: the count of lines, of
// bytes and the SHA-256 of the result lines that exact arithmetic gives.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace result_lines {

struct StoredDigest {
  std::uint64_t lines = 0;
  std::uint64_t bytes = 0;
  std::string sha256;
};

// `name lines bytes sha256` a line, after comment lines that begin with #;
// empty when the file cannot be read.
inline std::map<std::string, StoredDigest> storedDigests(const char* path) {
  std::map<std::string, StoredDigest> digests;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    StoredDigest d;
    if (fields >> name >> d.lines >> d.bytes >> d.sha256) digests[name] = d;
  }
  return digests;
}

}  // namespace result_lines
