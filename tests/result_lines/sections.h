// The inputs whose result lines are pinned: one `lat lon h label` group a
// line, in sections named for their kind. The check converts each with
// geocart and compares the digest of its output with the one stored in
// expected_digests.txt; exact_result_lines works the lines out anew.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "corpus_sections.h"

namespace result_lines {

struct Section {
  std::string_view name;
  // Generated: `count` lines made by `line`; otherwise the file at `file`.
  std::size_t (*line)(std::uint64_t, char*) = nullptr;
  std::uint64_t count = 0;
  const char* file = nullptr;
};

// The corpus's special, extreme and ordinary groups, the points whose
// figures hang on the last bit of a sine or cosine, and points whose exact
// X, Y or Z lies within one unit in the last place of a rounding boundary
// of its field.
inline constexpr Section sections[] = {
    {"special", corpus::specialLine, corpus::specialCount, nullptr},
    {"extreme", corpus::extremeLine, 200000, nullptr},
    {"ordinary", corpus::ordinaryLine, 1000000, nullptr},
    {"last_bit", nullptr, 0, RESULT_LINES_LAST_BIT_POINTS},
    {"boundary", nullptr, 0, RESULT_LINES_BOUNDARY_POINTS},
};

inline const Section* findSection(std::string_view name) {
  for (const Section& s : sections) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

// The section's whole input; empty when its file cannot be read.
inline std::string sectionInput(const Section& s) {
  if (s.file != nullptr) {
    std::ifstream in(s.file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string text;
  char line[corpus::maxLine];
  for (std::uint64_t i = 0; i < s.count; ++i) text.append(line, s.line(i, line));
  return text;
}

}  // namespace result_lines
