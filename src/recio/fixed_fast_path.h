// F w.d editing from the double's bits, for |x| below 10^10 and at most 8
// decimals; every other value takes the exact editing (editFixedExactly,
// field_editor.cpp), which stays the definition.
//
// The rule that makes it exact: a finite double is m * 2^-s exactly, with
// m its significand (below 2^53) and, below 2^34, s at least 19. |x| * 10^d
// rounded to an integer q is then m * 10^d divided by 2^s with the remainder
// kept, and the remainder decides the rounding exactly: above half up,
// exactly half to the even neighbour (roundedScaled, the one tie rounding of
// the editor, which the F15.4 path also uses). m * 10^d < 2^80 fits the
// 128-bit product and q <= 10^18 fits 64 bits; from s = 100 on the value is
// below 2^-20 of a unit and q is 0. q's digits are the field's digits, the
// point before the last d of them, which editFast lays out as
// fixed_layout.h says, negative when the sign bit is set and q is not 0.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "double_bits.h"
#include "fixed_layout.h"
#include "powers_of_ten.h"

namespace recio::fixed {

__extension__ typedef unsigned __int128 Uint128;

using doublebits::fractionMask;
using doublebits::signMask;
// Magnitudes below this (as bit patterns: 10^10) take the paths from the
// bits; infinities and NaNs lie above it.
constexpr std::uint64_t limitBits = std::bit_cast<std::uint64_t>(1e10);
// Decimals up to this keep m * 10^d below 2^80.
constexpr int mostDecimals = 8;

constexpr char digitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// |x| * `power` rounded to the nearest integer, ties to even, for a finite
// |x| < 10^10 given by its bit pattern and `power` = 10^d with d <= 8.
inline std::uint64_t roundedScaled(std::uint64_t magnitude, std::uint64_t power) noexcept {
  const int biased = static_cast<int>(magnitude >> 52);
  const std::uint64_t m = biased == 0 ? (magnitude & fractionMask)
                                      : ((magnitude & fractionMask) | (fractionMask + 1));
  const int shift = 1075 - (biased == 0 ? 1 : biased);
  if (shift >= 100) return 0;
  const Uint128 product = static_cast<Uint128>(m) * power;
  std::uint64_t q = static_cast<std::uint64_t>(product >> shift);
  const Uint128 rest = product & ((Uint128{1} << shift) - 1);
  const Uint128 half = Uint128{1} << (shift - 1);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  return q;
}

// F w.d with D decimals of |x| (its bit pattern `magnitude`, below
// limitBits), negative when `signBit` is set, into exactly `width`
// characters at `field`.
template <int D>
void editFast(std::uint64_t magnitude, bool signBit, std::int32_t width, char* field) noexcept {
  static_assert(D >= 0 && D <= mostDecimals);
  const std::uint64_t q = roundedScaled(magnitude, integerPowersOfTen[D]);
  std::uint64_t integerPart = q / integerPowersOfTen[D];
  std::uint64_t fractionPart = q % integerPowersOfTen[D];
  const bool negative = signBit && q != 0;
  // The integer part is at most 10^10: fewer digits than the table has powers.
  int integerDigits = 0;
  while (integerPart >= integerPowersOfTen[integerDigits]) ++integerDigits;
  const FixedLayout layout = fixedLayout(width, D, negative, integerDigits);
  if (!layout.fits) {
    std::memset(field, '*', static_cast<std::size_t>(width));
    return;
  }
  char* p = field + width;
  for (int i = 0; i + 1 < D; i += 2) {
    p -= 2;
    std::memcpy(p, digitPairs + 2 * (fractionPart % 100), 2);
    fractionPart /= 100;
  }
  if (D % 2 != 0) *--p = static_cast<char>('0' + fractionPart);
  *--p = '.';
  if (integerPart != 0) {
    while (integerPart >= 100) {
      p -= 2;
      std::memcpy(p, digitPairs + 2 * (integerPart % 100), 2);
      integerPart /= 100;
    }
    if (integerPart >= 10) {
      p -= 2;
      std::memcpy(p, digitPairs + 2 * integerPart, 2);
    } else {
      *--p = static_cast<char>('0' + integerPart);
    }
  } else if (layout.zero) {
    *--p = '0';
  }
  if (negative) *--p = '-';
  std::memset(field, ' ', static_cast<std::size_t>(layout.blanks));
}

}  // namespace recio::fixed
