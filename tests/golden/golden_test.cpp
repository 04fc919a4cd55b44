// Runs every end-to-end case against the built tool, each as its own test.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <set>

#include "golden_cases.h"
#include "run_process.h"

namespace golden {

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

namespace {

class Golden : public testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, Run) {
  const GoldenCase& c = GetParam();
  RunRequest request;
  request.program = GEOCART_BINARY;
  request.args = c.args;
  request.stdinKind = c.stdinKind;
  request.stdinBytes = c.stdinBytes;
  request.stdoutKind = c.stdoutKind;
  request.closeStderr = c.closeStderr;
  request.inTempDir = c.inTempDir;
  request.dirsBefore = c.dirsBefore;
  request.filesBefore = c.filesBefore;
  const RunResult r = runProcess(request);
  ASSERT_EQ(r.failure, "") << "the run itself failed";

  const std::string out = compareBytes(c.stdoutBytes, r.stdoutBytes);
  EXPECT_TRUE(out.empty()) << "standard output differs: " << out;
  const std::string err = compareBytes(c.stderrBytes, r.stderrBytes);
  EXPECT_TRUE(err.empty()) << "standard error differs: " << err;
  EXPECT_TRUE(r.end == c.end) << "expected the process to have " << describe(c.end)
                              << "; it " << describe(r.end);
  if (c.inTempDir) {
    for (const auto& [name, contents] : c.filesAfter) {
      const auto found = r.files.find(name);
      if (found == r.files.end()) {
        ADD_FAILURE() << "file " << name << " was not left in the directory";
        continue;
      }
      const std::string diff = compareBytes(contents, found->second);
      EXPECT_TRUE(diff.empty()) << "file " << name << " differs: " << diff;
    }
    for (const auto& [name, contents] : r.files) {
      EXPECT_TRUE(c.filesAfter.count(name) == 1)
          << "unexpected file " << name << " left, holding: " << escape(contents);
    }
  }
}

// The table itself: every name a distinct CTest name.
TEST(GoldenTable, NamesAreDistinctIdentifiers) {
  std::set<std::string> seen;
  for (const auto& c : goldenCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.name.empty());
    for (const char ch : c.name) {
      EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
    }
    EXPECT_TRUE(seen.insert(c.name).second) << "duplicate name";
  }
}

INSTANTIATE_TEST_SUITE_P(Geocart, Golden, testing::ValuesIn(goldenCases()),
                         [](const testing::TestParamInfo<GoldenCase>& param) {
                           return param.param.name;
                         });

}  // namespace
}  // namespace golden
