// Exact reading of the common decimal numbers straight from characters in
// memory, for the reader's fast paths: an optional sign, digits with at most
// one point, and an optional exponent (a letter e, E, d, D, q or Q with an
// optional sign, or a sign alone, and one to three digits).
//
// The rule that makes it exact: with w the significand's digits read as an
// integer and s the power of ten the point and the exponent give, the value
// is w * 10^s. When w <= 2^53 and |s| <= 22, w and 10^|s| are both doubles
// exactly, so one correctly rounded multiplication (s > 0) or division
// (s < 0), or none, gives the correctly rounded value of the decimal text,
// the same double as the exact conversion of the number scanner. Any other
// text (more than 19 digits, a larger w or |s|, infinities, NaNs, a point
// with no digit) is left to the scanner: the functions here return nullptr.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "free_form_rules.h"
#include "powers_of_ten.h"
#include "short_copy.h"

namespace recio::freeform {

// Exact powers of ten, every one up to 10^22 a double, then their
// negatives.
constexpr double signedPowersOfTen[] = {
    1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,
    1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,
    -1e0,  -1e1,  -1e2,  -1e3,  -1e4,  -1e5,  -1e6,  -1e7,  -1e8,  -1e9,  -1e10, -1e11,
    -1e12, -1e13, -1e14, -1e15, -1e16, -1e17, -1e18, -1e19, -1e20, -1e21, -1e22,
};
constexpr std::uint64_t exactSignificandLimit = std::uint64_t{1} << 53;
// More digits than this may not fit in 64 bits; such texts take the exact path.
constexpr int plainDigitLimit = 19;

// The characters that begin an exponent: one of its letters, or a sign
// alone.
constexpr auto startsExponent = [] {
  std::array<bool, 256> table{};
  for (const char c : exponentLetters) table[static_cast<unsigned char>(c)] = true;
  table['+'] = table['-'] = true;
  return table;
}();

// Eight digit values 0-9, one a byte with the first (most significant) in
// the lowest byte, as the number they write: neighbouring bytes, then
// neighbouring pairs, then the two halves, each step one multiplication
// that adds ten (a hundred, ten thousand) times the first of two lanes to
// the second, whose sum lies in the upper lane.
inline std::uint64_t eightDigitValue(std::uint64_t v) noexcept {
  v = ((v * (10 * 256 + 1)) >> 8) & 0x00FF00FF00FF00FFull;
  v = ((v * (100 * 65536 + 1)) >> 16) & 0x0000FFFF0000FFFFull;
  return (v * ((10000ull << 32) + 1)) >> 32;
}

// Where the characters of a word (see loadEight) that are not digits are,
// given t, the word ^ '0' in every byte: the top bit of each such byte set,
// exactly for the first one. A character c is a digit when t = c ^ '0' is
// below 10: t + 0x76 then has its top bit clear, and so has t. A character
// after one that is not a digit may see a carry from it, which does not
// matter: only the first non-digit's place is used (a '.' gives none).
inline std::uint64_t notDigits(std::uint64_t t) noexcept {
  return ((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull;
}

// The digits at p, eight characters of which are readable: returns how many
// of the eight are digits before the first that is not (0 to 8), and puts
// the number those write into `value`. The digits, moved to the top of the
// word with zero bytes in front, convert as eight digits with leading zeros.
inline int leadingDigits(const char* p, std::uint64_t& value) noexcept {
  const std::uint64_t t = loadEight(p) ^ 0x3030303030303030ull;
  const int n = std::countr_zero(notDigits(t)) >> 3;  // 8 when all are digits
  value = n == 0 ? 0 : eightDigitValue(t << (64 - 8 * n));
  return n;
}

// A run of digits at p of at most `room` digits counted towards the limit,
// read eight at a time: adds them to w and returns their count, or returns
// -1 when the run is longer than `room`. At least room + 8 characters from
// p must be readable.
inline int digitRun(const char* p, int room, std::uint64_t& w) noexcept {
  int total = 0;
  for (;;) {
    std::uint64_t value;
    const int n = leadingDigits(p + total, value);
    total += n;
    if (total > room) return -1;
    w = w * integerPowersOfTen[n] + value;
    if (n < 8) return total;
  }
}

// The common number in one step, from the 16 characters at p (and the one
// after them): at most seven integer digits, then either the end of the
// digits or a point and a fraction ending within the 16. Returns the
// characters it covers (the next one is where the number ends), with the
// number's value w / 10^k; 0 when the number is not of this form or has no
// digit. w < 10^15, so both are doubles exactly and k is at most 15.
//
// With t the characters ^ '0' in two words, the first flag of the first
// word is the end of the integer digits (a of them); when it is a point,
// the next flag, in either word, is the end of the fraction, b characters
// from p. The integer digits move up one byte, over the point, and the bytes
// from b on are cleared: a string of 16 digits (8 when the fraction ends in
// the first word) with a zero in front, whose value is the number times
// 10^(15 - a) (or 10^(7 - a)). A flag word f gives the bytes up to and
// including its first flagged one as f ^ (f - 1), the flag being each
// byte's top bit.
inline int commonNumber(const char* p, std::uint64_t& w, int& k) noexcept {
  const std::uint64_t tl = loadEight(p) ^ 0x3030303030303030ull;
  std::uint64_t fl = notDigits(tl);
  if (fl == 0) return 0;
  const int a = std::countr_zero(fl) >> 3;
  if (p[a] != '.') {
    if (a == 0) return 0;
    w = eightDigitValue(tl << (64 - 8 * a));
    k = 0;
    return a;
  }
  const std::uint64_t throughPoint = fl ^ (fl - 1);
  const std::uint64_t digitsLow = ((tl << 8) & throughPoint) | (tl & ~throughPoint);
  fl &= fl - 1;
  if (fl != 0) {
    const int b = std::countr_zero(fl) >> 3;
    // A point with no digit on either side is no number.
    if (b == 1) return 0;
    w = eightDigitValue(digitsLow & ((fl ^ (fl - 1)) >> 8));
    k = 7 - a;
    return b;
  }
  const std::uint64_t th = loadEight(p + 8) ^ 0x3030303030303030ull;
  const std::uint64_t fh = notDigits(th);
  if (fh == 0) return 0;
  const int b = 8 + (std::countr_zero(fh) >> 3);
  if (b == 8) {
    w = eightDigitValue(digitsLow);
    k = 7 - a;
  } else {
    w = eightDigitValue(digitsLow) * 100000000 + eightDigitValue(th & ((fh ^ (fh - 1)) >> 8));
    k = 15 - a;
  }
  return b;
}

// Characters scanDecimal may read from its start: sign, 19 digits, point,
// the character after them and the eight read past a run's end; an
// exponent's letter, sign and the four characters of its digits lie within.
constexpr std::ptrdiff_t decimalLookahead = 1 + plainDigitLimit + 1 + 1 + 8;

// The longest prefix at p that has the number scanner's decimal form, as
// the rule above converts it: returns where the prefix ends and its value,
// or no end when the text is not such a number or the rule does not hold
// for it. decimalLookahead characters from p must be readable. An
// exponent that is not complete (`1e`, `1e+`) is not part of the prefix,
// as for the scanner.
struct Decimal {
  const char* end;  // nullptr: not such a number
  double value;
};

[[gnu::always_inline]] inline Decimal scanDecimal(const char* p) noexcept {
  const bool negative = *p == '-';
  p += negative || *p == '+';
  std::uint64_t w = 0;
  int fractionDigits = 0;  // the value is w / 10^fractionDigits
  if (const int covered = commonNumber(p, w, fractionDigits); covered != 0) [[likely]] {
    p += covered;
  } else {
    const int integerDigits = digitRun(p, plainDigitLimit, w);
    if (integerDigits < 0) return {nullptr, 0.0};
    p += integerDigits;
    if (*p == '.') {
      ++p;
      fractionDigits = digitRun(p, plainDigitLimit - integerDigits, w);
      if (fractionDigits < 0) return {nullptr, 0.0};
      p += fractionDigits;
    }
    if (integerDigits + fractionDigits == 0) return {nullptr, 0.0};
    if (w > exactSignificandLimit) return {nullptr, 0.0};
  }
  int scale = -fractionDigits;
  const char e = *p;
  // Blanks and the other characters below the signs begin no exponent: one
  // comparison passes them; a comma or slash, one look-up.
  if (static_cast<unsigned char>(e) >= '+' && startsExponent[static_cast<unsigned char>(e)])
      [[unlikely]] {
    const char* q = p + 1;
    bool exponentNegative = e == '-';
    if (e != '+' && e != '-' && (*q == '+' || *q == '-')) {
      exponentNegative = *q == '-';
      ++q;
    }
    if (isDigit(*q)) {
      int exponent = 0;
      int n = 0;
      for (; isDigit(q[n]); ++n) {
        if (n == 3) return {nullptr, 0.0};
        exponent = exponent * 10 + (q[n] - '0');
      }
      p = q + n;
      scale += exponentNegative ? -exponent : exponent;
    }
  }
  // The sign comes with the power of ten: the one operation rounds the
  // magnitude as without it, and 0 with a minus gives negative zero.
  const double* const powers = signedPowersOfTen + (negative ? 23 : 0);
  const double v = static_cast<double>(w);
  if (scale < 0) {
    if (scale < -22) return {nullptr, 0.0};
    return {p, v / powers[-scale]};
  }
  if (scale > 22) return {nullptr, 0.0};
  return {p, v * powers[scale]};
}

}  // namespace recio::freeform
