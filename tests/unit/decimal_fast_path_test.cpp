// The reader's exact decimals against the standard library: millions of
// random texts in every form the fast path takes (sign, digits around a
// point, exponents with each letter or a sign alone, complete or not), and
// the limits of its rule. Where it reads a number it must end where the
// number scanner's longest prefix ends and give std::from_chars's double.
#include "decimal_fast_path.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <random>
#include <string>

namespace {

using recio::freeform::decimalLookahead;
using recio::freeform::scanDecimal;

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// The text as std::from_chars takes it: no '+', an exponent only after e.
double reference(const std::string& mantissa, bool negative, const std::string& exponent) {
  std::string text;
  if (negative) text.push_back('-');
  text.append(mantissa);
  if (!exponent.empty()) text.append(1, 'e').append(exponent);
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

struct Made {
  std::string text;     // followed by the character that ends it and padding
  std::size_t prefix;   // the characters the number scanner takes
  double expected;
};

Made make(std::mt19937_64& random) {
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + random() % 10);
    return s;
  };
  const int sign = static_cast<int>(random() % 3);  // none, '-', '+'
  std::string mantissa = digits(static_cast<int>(random() % 12));
  if (random() % 4 != 0) {
    mantissa += '.';
    mantissa += digits(static_cast<int>(random() % 14));
  }
  if (mantissa.find_first_not_of('.') == std::string::npos) mantissa += digits(1);
  Made m;
  if (sign != 0) m.text.push_back(sign == 1 ? '-' : '+');
  m.text.append(mantissa);
  m.prefix = m.text.size();
  std::string exponent;
  if (random() % 3 == 0) {
    static const char* const marks[] = {"e", "E", "d", "D", "q", "Q", "e+", "e-", "D-", "+", "-"};
    const std::string mark = marks[random() % 11];
    const std::string exponentDigits = digits(static_cast<int>(random() % 4));
    m.text.append(mark).append(exponentDigits);
    if (!exponentDigits.empty()) {
      m.prefix = m.text.size();
      if (mark.back() == '-') exponent.append(1, '-');
      exponent.append(exponentDigits);
    }
  }
  m.expected = reference(mantissa, sign == 1, exponent);
  m.text.append(1, random() % 2 == 0 ? ' ' : ',');
  m.text.append(decimalLookahead, 'x');
  return m;
}

TEST(DecimalFastPath, ReadsAsTheStandardLibraryConverts) {
#ifdef NDEBUG
  constexpr int count = 3000000;
#else
  constexpr int count = 300000;
#endif
  std::mt19937_64 random(1209);
  int read = 0;
  for (int i = 0; i < count; ++i) {
    const Made m = make(random);
    const auto number = scanDecimal(m.text.data());
    if (number.end == nullptr) continue;
    ++read;
    if (static_cast<std::size_t>(number.end - m.text.data()) != m.prefix ||
        bits(number.value) != bits(m.expected)) {
      ADD_FAILURE() << m.text << ": " << number.end - m.text.data() << " characters, "
                    << number.value << ", expected " << m.prefix << ", " << m.expected;
      if (HasFailure() && i > 100) break;
    }
  }
  EXPECT_GT(read, count / 2);
}

// The edges of the rule: what it takes is exact, what lies beyond it is left
// to the number scanner.
TEST(DecimalFastPath, LimitsOfTheRule) {
  struct Case {
    const char* text;
    bool taken;
    double value;
  };
  const Case cases[] = {
      {"9007199254740992 ", true, 0x1p53},                // 2^53
      {"9007199254740993 ", false, 0.0},                  // above 2^53
      {"900719925474099.2 ", true, 900719925474099.2},
      {"1234567890123456789 ", false, 0.0},               // 19 digits
      {"12345678901234567890 ", false, 0.0},              // 20 digits
      {"1e22 ", true, 1e22},
      {"1e23 ", false, 0.0},                              // 10^23 is no double
      {"1e-22 ", true, 1e-22},
      {"1.5e-22 ", false, 0.0},                           // 10^-23
      {"4.9e-324 ", false, 0.0},                          // subnormal
      {"-0 ", true, -0.0},
      {"-0.0e5 ", true, -0.0},
      {"+7 ", true, 7.0},
      {"5. ", true, 5.0},
      {".5 ", true, 0.5},
      {". ", false, 0.0},
      {"- ", false, 0.0},
      {"nan ", false, 0.0},
      {"inf ", false, 0.0},
      {"1e1000 ", false, 0.0},
      {"0.00015 ", true, 0.00015},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    text.append(decimalLookahead, ' ');
    const auto number = scanDecimal(text.data());
    EXPECT_EQ(number.end != nullptr, c.taken);
    if (c.taken && number.end != nullptr) {
      EXPECT_EQ(bits(number.value), bits(c.value));
    }
  }
}

}  // namespace
