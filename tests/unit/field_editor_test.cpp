// FieldEditor: F w.d and A editing field by field, whole records on unit 6
// read back from the file standard output points at, and a property check
// of F editing against an exact reference over many doubles.
#include "field_editor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "failure.h"
#include "output_stream.h"
#include "statement_context.h"
#include "units.h"

namespace recio {
namespace {

std::string fixedField(double x, std::int32_t width, std::int32_t decimals) {
  std::string field(static_cast<std::size_t>(width), '?');
  editFixed(x, width, decimals, field.data());
  return field;
}

double fromBits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

// ---------------------------------------------------------------------------
// F15.4, field by field.

struct FieldCase {
  const char* what;
  double x;
  std::string_view field;
};

const FieldCase f15d4Cases[] = {
    {"6378137.0", 6378137.0, "   6378137.0000"},
    {"0.0", 0.0, "         0.0000"},
    {"-0.0 has no sign", -0.0, "         0.0000"},
    {"0.00004", 0.00004, "         0.0000"},
    {"-0.00004 loses its sign", -0.00004, "         0.0000"},
    {"0.00005, stored a little above", 0.00005, "         0.0001"},
    {"-0.00005", -0.00005, "        -0.0001"},
    {"0.00015, stored a little below", 0.00015, "         0.0001"},
    {"0.00125, stored a little above", 0.00125, "         0.0013"},
    {"6378137.03125, tie to even", 6378137.03125, "   6378137.0312"},
    {"6378137.09375, tie to even", 6378137.09375, "   6378137.0938"},
    {"-0.03125, tie to even", -0.03125, "        -0.0312"},
    {"0.99996 carries", 0.99996, "         1.0000"},
    {"-0.99996 carries", -0.99996, "        -1.0000"},
    {"-4510000.12345, stored below the half", -4510000.12345, "  -4510000.1234"},
    {"9999999999.9999", 9999999999.9999, "9999999999.9999"},
    {"9999999999.99995 rounds to 11 digits", 9999999999.99995, "***************"},
    {"-999999999.9999", -999999999.9999, "-999999999.9999"},
    {"-1000000000.0", -1000000000.0, "***************"},
    {"12345678901.0", 12345678901.0, "***************"},
    {"1e300", 1e300, "***************"},
    {"smallest subnormal", std::numeric_limits<double>::denorm_min(), "         0.0000"},
    {"plus infinity", std::numeric_limits<double>::infinity(), "Inf            "},
    {"minus infinity", -std::numeric_limits<double>::infinity(), "-Inf           "},
    {"NaN, sign bit clear", fromBits(0x7ff8000000000000), "NaN            "},
    {"NaN, sign bit set", fromBits(0xfff8000000000000), "-NaN           "},
    // More of the same rules.
    {"signalling NaN, sign bit clear", fromBits(0x7ff0000000000001), "NaN            "},
    {"signalling NaN, sign bit set", fromBits(0xfff4000000000000), "-NaN           "},
    {"smallest negative subnormal", -std::numeric_limits<double>::denorm_min(),
     "         0.0000"},
    {"largest double", std::numeric_limits<double>::max(), "***************"},
    {"-1e300", -1e300, "***************"},
    {"9999999999.9998", 9999999999.9998, "9999999999.9998"},
    {"-999999999.99995 rounds to 10 digits", -999999999.99995, "***************"},
    {"10000000000.0", 10000000000.0, "***************"},
    {"1.0", 1.0, "         1.0000"},
    {"-1.0", -1.0, "        -1.0000"},
    {"0.5", 0.5, "         0.5000"},
    {"123.456", 123.456, "       123.4560"},
    {"odd tie 0.09375 goes up", 0.09375, "         0.0938"},
    {"even tie 1.15625 stays", 1.15625, "         1.1562"},
    {"-2.46875 tie to even", -2.46875, "        -2.4688"},
    {"3194469.1451 stays", 3194469.1451, "   3194469.1451"},
};

TEST(FieldEditor, EditsF15d4) {
  for (const auto& c : f15d4Cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.field.size(), 15u);
    EXPECT_EQ(fixedField(c.x, 15, 4), c.field);
  }
}

// The table above relies on where some decimal constants are stored. A
// fused multiply-add rounds once, so its sign is the sign of the exact
// difference between the stored value and the decimal it stands for.
TEST(FieldEditor, StoredValuesAreWhereTheTableSaysTheyAre) {
  EXPECT_GT(std::fma(0.00005, 20000.0, -1.0), 0.0);
  EXPECT_LT(std::fma(0.00015, 20000.0, -3.0), 0.0);
  EXPECT_GT(std::fma(0.00125, 800.0, -1.0), 0.0);
  EXPECT_LT(std::fma(4510000.12345, 100000.0, -451000012345.0), 0.0);
  EXPECT_GT(std::fma(9999999999.99995, 100000.0, -999999999999995.0), 0.0);
  EXPECT_GT(std::fma(99.995, 1000.0, -99995.0), 0.0);
  EXPECT_LT(std::fma(0.123456785, 1e9, -123456785.0), 0.0);
  EXPECT_LT(std::fma(2.675, 1000.0, -2675.0), 0.0);
  // The exact ties are exact: sums of a few powers of two.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(6378137.03125),
            std::bit_cast<std::uint64_t>(6378137.0 + 0x1p-5));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(6378137.09375),
            std::bit_cast<std::uint64_t>(6378137.0 + 0x1.8p-4));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(-0.03125), std::bit_cast<std::uint64_t>(-0x1p-5));
}

// ---------------------------------------------------------------------------
// Other widths and decimals.

struct GeneralCase {
  const char* what;
  double x;
  std::int32_t width;
  std::int32_t decimals;
  std::string field;
};

std::vector<GeneralCase> generalCases() {
  const double inf = std::numeric_limits<double>::infinity();
  return {
      {"F3.0 0.5 ties to 0", 0.5, 3, 0, " 0."},
      {"F3.0 1.5 ties to 2", 1.5, 3, 0, " 2."},
      {"F3.0 2.5 ties to 2", 2.5, 3, 0, " 2."},
      {"F3.0 -0.5 rounds to unsigned zero", -0.5, 3, 0, " 0."},
      {"F3.0 -1.5", -1.5, 3, 0, "-2."},
      {"F5.0 1234.5 ties to even", 1234.5, 5, 0, "1234."},
      {"F5.0 1235.5 ties to even", 1235.5, 5, 0, "1236."},
      {"F1.0 zero is the point alone", 0.0, 1, 0, "."},
      {"F2.1 0.04 begins with the point", 0.04, 2, 1, ".0"},
      {"F2.1 -0.04 rounds to unsigned zero", -0.04, 2, 1, ".0"},
      {"F3.1 -0.06 has no room for 0", -0.06, 3, 1, "-.1"},
      {"F4.1 -0.06", -0.06, 4, 1, "-0.1"},
      {"F4.1 0.06", 0.06, 4, 1, " 0.1"},
      {"F3.2 0.5 needs more than 3", 0.5, 3, 2, ".50"},
      {"F2.2 0.5 overflows", 0.5, 2, 2, "**"},
      {"F4.2 -0.5 needs the sign", -0.5, 4, 2, "-.50"},
      {"F3.2 -0.5 overflows", -0.5, 3, 2, "***"},
      {"F6.2 99.995 stored above the half carries", 99.995, 6, 2, "100.00"},
      {"F5.2 99.995 carries into a third digit", 99.995, 5, 2, "*****"},
      {"F6.2 99.994", 99.994, 6, 2, " 99.99"},
      {"F10.8 0.123456785 stored below the half", 0.123456785, 10, 8, "0.12345678"},
      {"F4.2 2.675 stored below the half", 2.675, 4, 2, "2.67"},
      {"F11.9 2^-10 ties to even", 0x1p-10, 11, 9, "0.000976562"},
      {"F11.9 3*2^-10 ties to even", 0x1.8p-9, 11, 9, "0.002929688"},
      {"F10.9 2^-10 drops the 0", 0x1p-10, 10, 9, ".000976562"},
      {"F9.9 2^-10 overflows", 0x1p-10, 9, 9, "*********"},
      {"F14.0 2^40 + 0.5 ties to even", 0x1p40 + 0.5, 14, 0, "1099511627776."},
      {"F14.0 2^40 + 1.5 ties to even", 0x1p40 + 1.5, 14, 0, "1099511627778."},
      {"F30.4 2^70 is exact", 0x1p70, 30, 4, "   1180591620717411303424.0000"},
      {"F30.25 2^-20 is exact", 0x1p-20, 30, 25, "   0.0000009536743164062500000"},
      {"F20.4 10^10 on the exact path", 1e10, 20, 4, "    10000000000.0000"},
      {"F20.4 -10^10 on the exact path", -1e10, 20, 4, "   -10000000000.0000"},
      {"F3.4 narrower than the decimals", 1.0, 3, 4, "***"},
      {"F3.2 infinity", inf, 3, 2, "***"},
      {"F3.2 NaN", std::nan(""), 3, 2, "***"},
      {"F4.2 minus infinity", -inf, 4, 2, "-Inf"},
      {"F4.2 NaN with the sign bit", -std::nan(""), 4, 2, "-NaN"},
      {"F12.7 infinity below 8 decimals", inf, 12, 7, "Inf         "},
      {"F12.8 infinity from 8 decimals", inf, 12, 8, "Infinity    "},
      {"F9.8 minus infinity", -inf, 9, 8, "-Infinity"},
      {"F8.8 minus infinity is cut", -inf, 8, 8, "-Infinit"},
      {"F4.8 infinity is cut", inf, 4, 8, "Infi"},
      {"F5.8 NaN", std::nan(""), 5, 8, "NaN  "},
  };
}

TEST(FieldEditor, EditsOtherWidthsAndDecimals) {
  for (const auto& c : generalCases()) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.field.size(), static_cast<std::size_t>(c.width));
    EXPECT_EQ(fixedField(c.x, c.width, c.decimals), c.field);
  }
}

TEST(FieldEditor, WritesDecimalsBeyondTheExactExpansionAsZeros) {
  // 0.5 in F1200.1100: 98 blanks, "0.5" and 1099 zeros.
  EXPECT_EQ(fixedField(0.5, 1200, 1100),
            std::string(98, ' ') + "0.5" + std::string(1099, '0'));
  EXPECT_EQ(fixedField(-0x1p-3, 1200, 1100),
            std::string(97, ' ') + "-0.125" + std::string(1097, '0'));
}

TEST(FieldEditor, WritesNothingForAFieldOfNoColumns) {
  char field[2] = {'?', '?'};
  editFixed(1.0, 0, 4, field);
  EXPECT_EQ(std::string(field, 2), "??");
}

// ---------------------------------------------------------------------------
// Two references for F w.d. Both lay out the rounded digits by the rules;
// one takes the digits from the library's correctly rounded fixed
// conversion, the other computes the exact decimal expansion of the double
// with big-number arithmetic and rounds it half to even by hand.

// The rounded value: integer digits without leading zeros, and exactly d
// fraction digits.
struct RoundedDigits {
  std::string integer;
  std::string fraction;
};

std::string layOut(double x, std::int32_t width, std::int32_t decimals,
                   RoundedDigits (*round)(double, std::int32_t)) {
  const std::string sign = std::signbit(x) ? "-" : "";
  if (std::isnan(x) || std::isinf(x)) {
    if (width < 4) return std::string(static_cast<std::size_t>(width), '*');
    std::string text = sign + (std::isnan(x) ? "NaN" : decimals < 8 ? "Inf" : "Infinity");
    text.resize(static_cast<std::size_t>(width), ' ');
    return text;
  }
  RoundedDigits digits = round(x, decimals);
  const bool zero = digits.integer.empty() &&
                    digits.fraction.find_first_not_of('0') == std::string::npos;
  const std::string minus = zero ? "" : sign;
  const std::size_t needed =
      digits.fraction.size() + 1 + minus.size() + digits.integer.size();
  if (needed > static_cast<std::size_t>(width)) {
    return std::string(static_cast<std::size_t>(width), '*');
  }
  std::size_t spare = static_cast<std::size_t>(width) - needed;
  if (digits.integer.empty() && spare > 0) {
    digits.integer = "0";
    --spare;
  }
  return std::string(spare, ' ') + minus + digits.integer + "." + digits.fraction;
}

RoundedDigits libraryDigits(double x, std::int32_t decimals) {
  char buffer[1500];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                                    std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  if (decimals == 0) text += '.';
  const std::size_t point = text.find('.');
  RoundedDigits digits{text.substr(0, point), text.substr(point + 1)};
  if (digits.integer == "0") digits.integer.clear();
  return digits;
}

std::string referenceField(double x, std::int32_t width, std::int32_t decimals) {
  return layOut(x, width, decimals, libraryDigits);
}

// |x| = m * 2^e exactly. For e < 0 that is m * 5^-e / 10^-e, so the digits
// of m * 5^-e are the digits of |x| with the point -e places from the right.
RoundedDigits exactExpansion(double x) {
  int e = 0;
  const double f = std::frexp(std::fabs(x), &e);
  std::uint64_t m = static_cast<std::uint64_t>(std::ldexp(f, 53));
  e -= 53;
  for (; m != 0 && (m & 1) == 0 && e < 0; m >>= 1) ++e;
  std::vector<std::uint64_t> limbs;  // base 10^9, least significant first
  constexpr std::uint64_t base = 1000000000;
  for (; m != 0; m /= base) limbs.push_back(m % base);
  const auto multiply = [&limbs](std::uint64_t factor) {
    std::uint64_t carry = 0;
    for (auto& limb : limbs) {
      const std::uint64_t product = limb * factor + carry;
      limb = product % base;
      carry = product / base;
    }
    for (; carry != 0; carry /= base) limbs.push_back(carry % base);
  };
  for (int k = e; k > 0; k -= 20) multiply(std::uint64_t{1} << std::min(k, 20));
  for (int k = -e; k > 0; k -= 12) {
    std::uint64_t power = 1;
    for (int i = 0; i < std::min(k, 12); ++i) power *= 5;
    multiply(power);
  }
  std::string all;
  for (auto limb = limbs.rbegin(); limb != limbs.rend(); ++limb) {
    char text[16];
    std::snprintf(text, sizeof text, limb == limbs.rbegin() ? "%llu" : "%09llu",
                  static_cast<unsigned long long>(*limb));
    all += text;
  }
  if (all.empty() || all == "0") return {};
  const std::size_t fractionDigits = e < 0 ? static_cast<std::size_t>(-e) : 0;
  if (all.size() < fractionDigits) all.insert(0, fractionDigits - all.size(), '0');
  RoundedDigits expansion{all.substr(0, all.size() - fractionDigits),
                          all.substr(all.size() - fractionDigits)};
  expansion.integer.erase(0, expansion.integer.find_first_not_of('0'));
  return expansion;
}

RoundedDigits bigNumberDigits(double x, std::int32_t decimals) {
  const RoundedDigits exact = exactExpansion(x);
  const std::size_t d = static_cast<std::size_t>(decimals);
  std::string rest = exact.fraction.size() > d ? exact.fraction.substr(d) : "";
  std::string kept = exact.integer + exact.fraction.substr(0, std::min(d, exact.fraction.size()));
  kept.append(d - std::min(d, exact.fraction.size()), '0');
  const bool aboveHalf =
      !rest.empty() && (rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) !=
                                                                std::string::npos));
  const bool half = !rest.empty() && rest[0] == '5' && !aboveHalf;
  const bool lastOdd = !kept.empty() && ((kept.back() - '0') % 2) != 0;
  if (aboveHalf || (half && lastOdd)) {
    std::size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
    if (i == 0) {
      kept.insert(0, 1, '1');
    } else {
      ++kept[i - 1];
    }
  }
  RoundedDigits digits{kept.substr(0, kept.size() - d), kept.substr(kept.size() - d)};
  digits.integer.erase(0, digits.integer.find_first_not_of('0'));
  return digits;
}

std::string bigNumberField(double x, std::int32_t width, std::int32_t decimals) {
  return layOut(x, width, decimals, bigNumberDigits);
}

TEST(FieldEditor, BigNumberExpansionIsExact) {
  // 2^-1074 = 5^1074 / 10^1074: 323 zeros after the point, then the 751
  // digits of 5^1074, which begin 4940656458412 and end in 625.
  const RoundedDigits tiny = exactExpansion(std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tiny.integer, "");
  ASSERT_EQ(tiny.fraction.size(), 1074u);
  EXPECT_EQ(tiny.fraction.substr(0, 336), std::string(323, '0') + "4940656458412");
  EXPECT_EQ(tiny.fraction.substr(1071), "625");
  const RoundedDigits big = exactExpansion(0x1p70);
  EXPECT_EQ(big.integer, "1180591620717411303424");
  EXPECT_EQ(big.fraction, "");
  const RoundedDigits mixed = exactExpansion(-6378137.03125);
  EXPECT_EQ(mixed.integer, "6378137");
  EXPECT_EQ(mixed.fraction, "03125");
}

TEST(FieldEditor, EditsTheSmallestSubnormalExactly) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  // All 1074 decimals: the whole expansion, after 4 blanks and "0.".
  const std::string all = fixedField(tiny, 1080, 1074);
  EXPECT_EQ(all, bigNumberField(tiny, 1080, 1074));
  EXPECT_EQ(all.substr(0, 6 + 323 + 4), "    0." + std::string(323, '0') + "4940");
  EXPECT_EQ(all.substr(1077), "625");
  // 1073 decimals cut off the final 5: a tie, and the kept 2 is even.
  const std::string cut = fixedField(-tiny, 1080, 1073);
  EXPECT_EQ(cut, bigNumberField(-tiny, 1080, 1073));
  EXPECT_EQ(cut.substr(0, 6), "    -0");
  EXPECT_EQ(cut.substr(1078), "62");
  // 1072 decimals cut off "25": below the half.
  EXPECT_EQ(fixedField(tiny, 1080, 1072).substr(1078), "56");
}

// Counts mismatches and keeps the first few for the failure message.
class Checker {
 public:
  using Reference = std::string (*)(double, std::int32_t, std::int32_t);
  explicit Checker(Reference reference = referenceField) : reference_(reference) {}

  void check(double x, std::int32_t width, std::int32_t decimals) {
    ++checked_;
    editFixed(x, width, decimals, field_);
    const std::string want = reference_(x, width, decimals);
    if (std::string_view(field_, static_cast<std::size_t>(width)) == want) return;
    if (++mismatches_ <= 5) {
      char hex[32];
      std::snprintf(hex, sizeof hex, "%016llx",
                    static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)));
      ADD_FAILURE() << "bits " << hex << " F" << width << "." << decimals << ": got '"
                    << std::string_view(field_, static_cast<std::size_t>(width))
                    << "', want '" << want << "'";
    }
  }
  long mismatches() const { return mismatches_; }
  long checked() const { return checked_; }

 private:
  Reference reference_;
  char field_[64];
  long checked_ = 0;
  long mismatches_ = 0;
};

constexpr int samples = 1000000;

// Random bit patterns: every magnitude, subnormals, infinities and NaNs.
void checkRandomBits(Checker& checker, std::int32_t width, std::int32_t decimals,
                     std::mt19937_64& random, int count) {
  for (int i = 0; i < count; ++i) {
    checker.check(fromBits(random()), width, decimals);
  }
}

// Uniform in the exponent from 2^-40 to 2^45, where most coordinates lie.
void checkRandomMagnitudes(Checker& checker, std::int32_t width, std::int32_t decimals,
                           std::mt19937_64& random, int count) {
  std::uniform_int_distribution<int> exponent(-40, 45);
  for (int i = 0; i < count; ++i) {
    const std::uint64_t r = random();
    double x = std::ldexp(1.0 + static_cast<double>(r >> 12) * 0x1p-52, exponent(random));
    if ((r & 1) != 0) x = -x;
    checker.check(x, width, decimals);
  }
}

// Steps of a few units in the last place around the powers of ten, and
// around the rounding boundaries just below them (10^k - 5 * 10^-(d+1)).
void checkNearPowersOfTen(Checker& checker, std::int32_t width, std::int32_t decimals) {
  for (int k = -8; k <= 14; ++k) {
    const double power = std::pow(10.0, k);
    const double bases[] = {power, power - 5.0 * std::pow(10.0, -(decimals + 1))};
    for (double base : bases) {
      for (double sign : {1.0, -1.0}) {
        double up = sign * base;
        double down = sign * base;
        for (int step = 0; step < 200; ++step) {
          checker.check(up, width, decimals);
          checker.check(down, width, decimals);
          up = std::nextafter(up, sign * std::numeric_limits<double>::infinity());
          down = std::nextafter(down, 0.0);
        }
      }
    }
  }
}

// Exact ties: an odd multiple of 2^-(d+1) has a 5 in decimal d + 1 and no
// digit after it. Also the doubles on either side of each tie.
void checkTies(Checker& checker, std::int32_t width, std::int32_t decimals,
               std::mt19937_64& random, int count) {
  std::uniform_int_distribution<int> bitLength(1, 53);
  for (int i = 0; i < count; ++i) {
    const int length = bitLength(random);
    const std::uint64_t odd = ((random() >> (64 - length)) | 1) | (std::uint64_t{1} << (length - 1));
    double tie = std::ldexp(static_cast<double>(odd), -(decimals + 1));
    if ((i & 1) != 0) tie = -tie;
    checker.check(tie, width, decimals);
    checker.check(std::nextafter(tie, 0.0), width, decimals);
    checker.check(std::nextafter(tie, 2 * tie), width, decimals);
  }
}

TEST(FieldEditor, F15d4MatchesTheExactReferenceEverywhere) {
  std::mt19937_64 random(20240615);
  Checker checker;
  checkRandomBits(checker, 15, 4, random, samples);
  checkRandomMagnitudes(checker, 15, 4, random, samples);
  checkNearPowersOfTen(checker, 15, 4);
  checkTies(checker, 15, 4, random, samples);
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
  EXPECT_GT(checker.checked(), 1000000);
}

TEST(FieldEditor, OtherFormsMatchTheExactReference) {
  struct WidthAndDecimals {
    std::int32_t width, decimals;
  };
  const WidthAndDecimals forms[] = {{12, 0}, {10, 2}, {1, 0}, {4, 1}, {20, 8}, {25, 9}, {40, 20}};
  std::mt19937_64 random(77);
  for (const WidthAndDecimals& form : forms) {
    SCOPED_TRACE(testing::Message() << "F" << form.width << "." << form.decimals);
    Checker checker;
    checkRandomBits(checker, form.width, form.decimals, random, samples / 50);
    checkRandomMagnitudes(checker, form.width, form.decimals, random, samples / 25);
    checkNearPowersOfTen(checker, form.width, form.decimals);
    checkTies(checker, form.width, form.decimals, random, samples / 50);
    EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
  }
}

// The library reference itself, and the exact path behind editFixed for
// large magnitudes and many decimals, against big-number arithmetic.
TEST(FieldEditor, MatchesBigNumberArithmetic) {
  struct WidthAndDecimals {
    std::int32_t width, decimals;
  };
  const WidthAndDecimals forms[] = {{15, 4}, {25, 9}, {40, 0}, {60, 30}};
  std::mt19937_64 random(4242);
  for (const WidthAndDecimals& form : forms) {
    SCOPED_TRACE(testing::Message() << "F" << form.width << "." << form.decimals);
    Checker checker(bigNumberField);
    checkRandomBits(checker, form.width, form.decimals, random, samples / 500);
    checkRandomMagnitudes(checker, form.width, form.decimals, random, samples / 500);
    checkTies(checker, form.width, form.decimals, random, samples / 500);
    EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
  }
}

// ---------------------------------------------------------------------------
// Whole records on unit 6. Each case runs in a child whose standard output
// is a fresh regular file, created before the first statement so that unit
// 6 is connected to it; the child leaves through exit_, and the file then
// holds exactly what the records wrote.

constexpr int nothingBeforeExitFailed = 90;

struct RecordsResult {
  int exitStatus = -1;
  std::string bytes;
};

// `writeRecords` returns 0, or a check number that becomes the exit status.
// Records that fit in one block must not have reached the file before the
// exit; more may have.
RecordsResult runRecords(int (*writeRecords)(), bool withinOneBlock = true) {
  char path[] = "/tmp/field_editor_testXXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return {};
  ::unlink(path);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(fd, 1);
    ::close(fd);
    const int check = writeRecords();
    // The file is block-buffered: no record has reached it yet.
    struct stat status;
    if (check == 0 && withinOneBlock && (::fstat(1, &status) != 0 || status.st_size != 0)) {
      exit_(nothingBeforeExitFailed);
    }
    exit_(check);
  }
  RecordsResult result;
  int wait = 0;
  if (child > 0 && ::waitpid(child, &wait, 0) == child && WIFEXITED(wait)) {
    result.exitStatus = WEXITSTATUS(wait);
  }
  char buffer[4096];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
    if (n <= 0) break;
    result.bytes.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  ::close(fd);
  return result;
}

void writeThree(const Format& format, double x, double y, double z) {
  FieldEditor editor;
  editor.beginRecord(outputUnit, format);
  editor.putReal(x);
  editor.putReal(y);
  editor.putReal(z);
  editor.endRecord();
}

void writeLabelled(double x, double y, double z, const char* label) {
  FieldEditor editor;
  editor.beginRecord(outputUnit, threeRealsAndLabel);
  editor.putReal(x);
  editor.putReal(y);
  editor.putReal(z);
  editor.putText(label, 8);
  editor.endRecord();
}

struct RecordCase {
  const char* what;
  int (*writeRecords)();
  std::string bytes;
};

std::vector<RecordCase> recordCases() {
  return {
      {"three reals",
       [] {
         writeThree(threeReals, 6378137.0, 0.0, 0.0);
         return 0;
       },
       "   6378137.0000         0.0000         0.0000\n"},
      {"three reals and a label with trailing blanks",
       [] {
         writeLabelled(6378137.0, 0.0, 0.0, "P1      ");
         return 0;
       },
       "   6378137.0000         0.0000         0.0000     P1      \n"},
      {"a label of eight non-blank characters ends in column 58",
       [] {
         writeLabelled(1.0, -2.0, 3.5, "ABCDEFGH");
         return 0;
       },
       "         1.0000        -2.0000         3.5000     ABCDEFGH\n"},
      {"a label is copied byte for byte",
       [] {
         writeLabelled(0.0, 0.0, 0.0, " \t'a\"\x01\xe9 ");
         return 0;
       },
       "         0.0000         0.0000         0.0000      \t'a\"\x01\xe9 \n"},
      {"an overflowing X leaves Y and Z in their columns",
       [] {
         writeThree(threeReals, 1e300, -4510000.12345, 0.00005);
         return 0;
       },
       "***************  -4510000.1234         0.0001\n"},
      {"infinities and NaNs in a record",
       [] {
         writeThree(threeReals, -std::numeric_limits<double>::infinity(), std::nan(""),
                    -0.0);
         return 0;
       },
       "-Inf           NaN                     0.0000\n"},
      {"records follow one another",
       [] {
         writeLabelled(3194469.1451, 3194469.1451, 4487419.1195, "P1      ");
         writeThree(threeReals, -6378137.0, 0.0, 6356752.3142);
         writeLabelled(1.0, 2.0, 3.0, "x       ");
         return 0;
       },
       "   3194469.1451   3194469.1451   4487419.1195     P1      \n"
       "  -6378137.0000         0.0000   6356752.3142\n"
       "         1.0000         2.0000         3.0000     x       \n"},
      {"the statement context of a record",
       [] {
         FieldEditor editor;
         editor.beginRecord(outputUnit, threeRealsAndLabel);
         const StatementContext& c = statementContext;
         if (c.reading) return 1;
         if (!c.sequential) return 2;
         if (c.form != Form::fixedLayout) return 3;
         if (!c.external) return 4;
         if (c.unit != outputUnit) return 5;
         if (c.unitName != nullptr) return 6;
         if (!c.unitObtained) return 7;
         if (c.formatText == nullptr || std::strcmp(c.formatText, "(3F15.4,5X,A8)") != 0) {
           return 8;
         }
         if (c.endOfFileExit || c.errorExit) return 9;
         editor.putReal(1.0);
         editor.putReal(2.0);
         editor.putReal(3.0);
         editor.putText("abcdefgh", 8);
         editor.endRecord();
         return 0;
       },
       "         1.0000         2.0000         3.0000     abcdefgh\n"},
  };
}

// Formats beyond the built-in two, to pin down the walk.
using Kind = EditDescriptor::Kind;

constexpr EditDescriptor movesAndTexts[] = {
    {Kind::x, 1, 2, 0}, {Kind::f, 1, 5, 1}, {Kind::x, 1, 3, 0},
    {Kind::a, 2, 4, 0}, {Kind::x, 2, 4, 0}, {Kind::a, 1, 1, 0},
};
constexpr Format movesAndTextsFormat{"(2X,F5.1,3X,2A4,2(4X),A1)", movesAndTexts};

constexpr EditDescriptor trailingMove[] = {{Kind::f, 1, 5, 1}, {Kind::x, 1, 3, 0}};
constexpr Format trailingMoveFormat{"(F5.1,3X)", trailingMove};

constexpr EditDescriptor wideFields[] = {
    {Kind::f, 1, 300, 4}, {Kind::a, 1, 300, 0}, {Kind::f, 1, 300, 8},
    {Kind::x, 1, 1000, 0}, {Kind::a, 1, 1, 0},
};
constexpr Format wideFieldsFormat{"(F300.4,A300,F300.8,1000X,A1)", wideFields};

constexpr EditDescriptor twentyReals[] = {{Kind::f, 20, 15, 4}};
constexpr Format twentyRealsFormat{"(20F15.4)", twentyReals};

std::vector<RecordCase> walkCases() {
  return {
      {"moves are blanks before the next field; A pads left or cuts",
       [] {
         FieldEditor editor;
         editor.beginRecord(outputUnit, movesAndTextsFormat);
         editor.putReal(2.25);
         editor.putText("ab", 2);
         editor.putText("abcdef", 6);
         editor.putText("z", 1);
         editor.endRecord();
         return 0;
       },
       // 2 blanks, "  2.2", 3 blanks, "  ab", "abcd", 8 blanks, "z".
       "    2.2     ababcd        z\n"},
      {"a move still pending at the end writes nothing",
       [] {
         FieldEditor editor;
         editor.beginRecord(outputUnit, trailingMoveFormat);
         editor.putReal(-1.0);
         editor.putReal(5.0);  // finds no F edit descriptor: not written
         editor.endRecord();
         return 0;
       },
       " -1.0\n"},
      {"fields and moves wider than any buffer",
       [] {
         FieldEditor editor;
         editor.beginRecord(outputUnit, wideFieldsFormat);
         editor.putReal(-1.5);
         editor.putText("xy", 2);
         editor.putReal(-std::numeric_limits<double>::infinity());
         editor.putText("z", 1);
         editor.endRecord();
         return 0;
       },
       std::string(293, ' ') + "-1.5000" + std::string(298, ' ') + "xy" + "-Infinity" +
           std::string(291, ' ') + std::string(1000, ' ') + "z\n"},
      {"a record longer than any buffer",
       [] {
         FieldEditor editor;
         editor.beginRecord(outputUnit, twentyRealsFormat);
         for (int i = 0; i < 20; ++i) editor.putReal(i * 0.5);
         editor.endRecord();
         return 0;
       },
       [] {
         std::string line;
         for (int i = 0; i < 20; ++i) {
           const std::string number =
               std::to_string(i / 2) + ((i % 2) != 0 ? ".5000" : ".0000");
           line += std::string(15 - number.size(), ' ') + number;
         }
         return line + "\n";
       }()},
  };
}

TEST(FieldEditor, WritesWholeRecordsOnUnit6) {
  std::vector<RecordCase> cases = recordCases();
  for (auto& c : walkCases()) cases.push_back(std::move(c));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const RecordsResult result = runRecords(c.writeRecords);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.bytes, c.bytes);
  }
}

// ---------------------------------------------------------------------------
// A whole record in one pass against the walk of its format on unit 6, over
// random values of every kind and labels of every length (a blank label
// selects the format without it, as the tool does).

struct RandomRecord {
  double v[3];
  const char* label;
  const Format* format;
};

class RandomRecords {
 public:
  RandomRecord next() {
    static const double specials[] = {0.0, -0.0, 1e10, -1e9, 9999999999.99995, -999999999.99995,
                                      std::numeric_limits<double>::infinity(),
                                      fromBits(0xFFF8000000000001), fromBits(1), 0.00005,
                                      -0.00005, 6378137.03125};
    static const char* const labels[] = {"        ", "P1      ", "ABCDEFGH", "  x     ",
                                         "é       "};
    RandomRecord record;
    for (double& x : record.v) {
      const std::uint64_t r = random_();
      x = r % 8 == 0   ? specials[r % std::size(specials)]
          : r % 8 == 1 ? fromBits(random_())
                       : std::ldexp(static_cast<double>(r >> 11), -30 - static_cast<int>(r % 8));
      if ((r & 0x100) != 0) x = -x;
    }
    record.label = labels[random_() % std::size(labels)];
    record.format =
        std::string_view(record.label, 8) == "        " ? &threeReals : &threeRealsAndLabel;
    return record;
  }

 private:
  std::mt19937_64 random_{31};
};

constexpr int randomRecordCount = 200000;

int writeRandomRecords() {
  RandomRecords records;
  for (int i = 0; i < randomRecordCount; ++i) {
    const RandomRecord r = records.next();
    FieldEditor editor;
    editor.beginRecord(outputUnit, *r.format);
    for (const double x : r.v) editor.putReal(x);
    if (r.format == &threeRealsAndLabel) editor.putText(r.label, 8);
    editor.endRecord();
  }
  return 0;
}

TEST(FieldEditor, RecordInOnePassIsTheWalksRecord) {
  const RecordsResult result = runRecords(writeRandomRecords, false);
  ASSERT_EQ(result.exitStatus, 0);
  RandomRecords records;
  std::size_t at = 0;
  for (int i = 0; i < randomRecordCount; ++i) {
    const RandomRecord r = records.next();
    char onePass[longestBuiltInRecord];
    const std::size_t n = editRecord(onePass, *r.format, r.v[0], r.v[1], r.v[2], r.label, 8);
    ASSERT_EQ(result.bytes.substr(at, n), std::string(onePass, n))
        << "record " << i << ": " << std::hexfloat << r.v[0] << " " << r.v[1] << " " << r.v[2];
    at += n;
  }
  EXPECT_EQ(at, result.bytes.size());
}

}  // namespace
}  // namespace recio
