// geocart's result lines over every section of sections.h, each section
// against the digest of the lines that exact arithmetic gives for it
// (expected_digests.txt, made by exact_result_lines). The check itself needs
// no MPFR: it compares what geocart prints with what is stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "run_process.h"
#include "sections.h"
#include "sha256.h"
#include "stored_digests.h"

namespace result_lines {

// Failure messages name the section instead of dumping it.
void PrintTo(const Section& s, std::ostream* os) { *os << s.name; }

namespace {

class ResultLines : public testing::TestWithParam<Section> {};

TEST_P(ResultLines, AsExactArithmeticGives) {
  const Section& section = GetParam();
  const std::map<std::string, StoredDigest> digests = storedDigests(RESULT_LINES_DIGESTS);
  const auto found = digests.find(std::string(section.name));
  ASSERT_NE(found, digests.end()) << "no digest stored for " << section.name << " in "
                                  << RESULT_LINES_DIGESTS;
  const StoredDigest& expected = found->second;

  golden::RunRequest r;
  r.program = GEOCART_BINARY;
  r.args = {"-stdin"};
  r.stdinKind = golden::StdinKind::regularFile;
  r.stdinBytes = sectionInput(section);
  ASSERT_FALSE(r.stdinBytes.empty());
  r.timeoutSeconds = 600;
  digest::Sha256 sha;
  std::uint64_t lines = 0;
  r.stdoutSink = [&](std::string_view chunk) {
    sha.add(chunk);
    lines += static_cast<std::uint64_t>(std::count(chunk.begin(), chunk.end(), '\n'));
    return true;
  };
  const golden::RunResult result = golden::runProcess(r);
  ASSERT_EQ(result.failure, "");
  EXPECT_EQ(golden::describe(result.end), golden::describe(golden::exitedWith(0)));
  EXPECT_EQ(result.stderrBytes, "");
  EXPECT_EQ(lines, expected.lines);
  EXPECT_EQ(sha.bytes(), expected.bytes);
  EXPECT_EQ(sha.hex(), expected.sha256)
      << "geocart's lines for the " << section.name
      << " groups are not those of exact arithmetic; where MPFR is found,\n"
      << "  build/tests/exact_result_lines input " << section.name
      << " | build/geocart -stdin > got\n"
      << "  build/tests/exact_result_lines lines " << section.name << " | diff - got\n"
      << "shows the lines that differ.";
}

INSTANTIATE_TEST_SUITE_P(Sections, ResultLines, testing::ValuesIn(sections),
                         [](const testing::TestParamInfo<Section>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace result_lines
