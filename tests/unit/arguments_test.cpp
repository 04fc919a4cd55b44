// kargc and kgetarg: the argument count and blank-padded, unterminated copies.
#include "arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace geocart {
namespace {

class Arguments : public testing::Test {
 protected:
  void SetUp() override {
    xargc = 4;
    xargv = argv_;
  }
  char program_[8] = "geocart";
  char first_[5] = "45.5";
  char empty_[1] = "";
  char long_[13] = "ABCDEFGHIJKL";
  char* argv_[5] = {program_, first_, empty_, long_, nullptr};
};

TEST_F(Arguments, CountExcludesTheProgramName) { EXPECT_EQ(kargc(), 3); }

struct GetargCase {
  std::int32_t n;
  std::int32_t length;
  std::string_view expected;  // exactly `length` characters, no terminator
};

constexpr GetargCase getargCases[] = {
    {0, 10, "geocart   "},
    {1, 6, "45.5  "},
    {1, 4, "45.5"},
    {1, 2, "45"},            // cut at the buffer's length
    {2, 3, "   "},           // an empty argument is all blanks
    {3, 12, "ABCDEFGHIJKL"},
    {3, 8, "ABCDEFGH"},
    {4, 5, "     "},         // beyond the last argument: nothing copied
    {-1, 5, "     "},
    {1, 0, ""},
};

TEST_F(Arguments, GetargCopiesAndPadsWithBlanks) {
  for (const auto& c : getargCases) {
    SCOPED_TRACE(testing::Message() << "n=" << c.n << " length=" << c.length);
    std::string buffer(static_cast<std::size_t>(c.length) + 1, '#');
    kgetarg(c.n, buffer.data(), c.length);
    EXPECT_EQ(std::string_view(buffer).substr(0, buffer.size() - 1), c.expected);
    EXPECT_EQ(buffer.back(), '#') << "wrote past the buffer";
  }
}

TEST_F(Arguments, GetargFillsAnEightyCharacterBuffer) {
  char buffer[80];
  kgetarg(1, buffer, 80);
  EXPECT_EQ(std::string_view(buffer, 80), "45.5" + std::string(76, ' '));
}

}  // namespace
}  // namespace geocart
