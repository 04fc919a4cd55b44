// F15.4, the field of every coordinate of a result line, edited from the
// double's bits for |x| below 10^10; every other value takes the exact
// editing (editFixedExactly), which stays the definition. editF15d4, at the
// end, is the one place that chooses between them: every F15.4 field goes
// through it.
//
// The rule that makes it exact: |x| * 10^4 is rounded to an integer q as
// scaledRounded proves (the double product where its fraction lies clear of
// one half, fixed_fast_path.h's exact integer rounding otherwise); q < 10^14,
// and its fourteen digits are the field's ten integer digits and four
// decimals, the decimal expansion of |x| rounded once to four places. The
// digits come two at a time from q / 10^14 in fixed point (see
// fractionScale for why each pair is exact), the leading
// zeros of the integer part but its units digit become blanks, and a minus
// sign goes before the first digit when the sign bit is set and q is not 0:
// the layout of fixed_layout.h, as the checks below the limits prove when
// this file is compiled.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fixed_fast_path.h"
#include "fixed_layout.h"
#include "powers_of_ten.h"
#include "short_copy.h"

namespace recio {

// F w.d of every double into exactly `width` characters, by the exact
// conversion alone (field_editor.cpp).
void editFixedExactly(double x, std::int32_t width, std::int32_t decimals, char* field) noexcept;

namespace f15d4 {

using fixed::digitPairs;
using fixed::limitBits;
using fixed::signMask;
using fixed::Uint128;

// |x| * 10^4 rounded to the nearest integer, ties to even, for a finite
// |x| < 10^10 given by its bit pattern.
//
// The double product y = fl(|x| * 10^4) decides nearly always. The exact
// product P lies below 10^14 < 2^47, so |y - P| <= ulp(y) / 2 <= y * 2^-53
// for a normal y (ulp(y) <= y * 2^-52); below the normal range the error
// is at most 2^-1075 and f = y below is nowhere near 1/2. With c = trunc(y)
// and f = y - c (exact: y and c are doubles of the same binade or c = 0,
// and f keeps only bits y has), a margin |f - 1/2| > y * 2^-52, twice that
// error, puts P on the same side of c + 1/2 as y: when f < 1/2,
// P < c + 1/2 and P > c - 2^-7 > c - 1/2, so P rounds to c; when f > 1/2,
// c + 1/2 < P < c + 1 + 2^-7, so it rounds to c + 1. (f - 1/2 is exact for
// f >= 1/4 and at least 1/4 in size otherwise.) That integer is
// trunc(fl(y + 1/2)): the sum is off by at most (y + 1/2) * 2^-53, which
// is no more than the margin for y >= 1/2, so it crosses no integer that
// y + 1/2 does not (for y < 1/2 it stays below 1 unless y lies within
// 2^-54 of 1/2, inside the margin). Within the margin, which holds every
// tie, the exact integer rounding of fixed_fast_path.h decides.
inline std::uint64_t scaledRounded(std::uint64_t magnitude) noexcept {
  const double y = std::bit_cast<double>(magnitude) * 10000.0;
  const auto c = static_cast<std::int64_t>(y);
  const double f = y - static_cast<double>(c);
  // Computed apart from the margin test, the result does not wait for it.
  const auto nearest = static_cast<std::uint64_t>(static_cast<std::int64_t>(y + 0.5));
  if (std::fabs(f - 0.5) > y * 0x1p-52) [[likely]] return nearest;
  return fixed::roundedScaled(magnitude, 10000);
}

// The two digits of n < 100 as two bytes, the first in the lower one.
inline std::uint64_t digitPair(std::uint64_t n) noexcept {
  std::uint16_t pair;
  std::memcpy(&pair, digitPairs + 2 * n, 2);
  if constexpr (std::endian::native == std::endian::big) pair = __builtin_bswap16(pair);
  return pair;
}

// The fourteen digits of q < 10^14 come two at a time from the fraction
// f = q / 10^14 held in 64 bits: the integer part of 100 f is the next pair,
// its fraction the next f. f is taken a little above q / 10^14, by
// d < 2^-49 (q * ceil(2^96 / 10^14) / 2^32, which exceeds q * 2^64 / 10^14
// by less than q / 2^32 < 2^15 units of 2^-64, rounded down, plus one unit):
// then 100^k (f - q / 10^14) < 10^(2k - 14) at every step, so no pair is
// carried into, and each is exact.
constexpr std::uint64_t fractionScale = 0x2D09370D42574ull;  // ceil(2^96 / 10^14)
// The same for q < 10^12 as q / 10^12 (d < 2^-55 < 10^-12).
constexpr std::uint64_t fractionScale12 = 0x119799812DEA112ull;  // ceil(2^96 / 10^12)

// The most integer digits a field shows, by the layout rule: 10 for a
// value without a sign, 9 for a negative one. q, the value times 10^4, is
// below 10^(4 + that) when the field shows the value.
constexpr std::int64_t mostIntegerDigits(bool negative) noexcept {
  std::int64_t n = 0;
  while (fixed::fixedLayout(15, 4, negative, n + 1).fits) ++n;
  return n;
}
constexpr std::uint64_t limitWithoutSign = integerPowersOfTen[4 + mostIntegerDigits(false)];
constexpr std::uint64_t negativeLimit = integerPowersOfTen[4 + mostIntegerDigits(true)];
static_assert(limitWithoutSign == 100000000000000ull && negativeLimit == 10000000000000ull);

// edit below writes the ten integer digits and four decimals of q with the
// point in column 11, then makes every leading zero of the integer part but
// its units digit a blank and, for a negative value, the last of them the
// sign. That is the rule's layout for every count of integer digits that
// fits, with either sign.
constexpr bool laysOutByTheRule() noexcept {
  for (const bool negative : {false, true}) {
    for (std::int64_t digits = 0; digits <= mostIntegerDigits(negative); ++digits) {
      const fixed::FixedLayout layout = fixed::fixedLayout(15, 4, negative, digits);
      const std::int64_t leadingZeros = 10 - (digits > 0 ? digits : 1);
      if (!layout.fits || layout.zero != (digits == 0) ||
          layout.blanks != leadingZeros - (negative ? 1 : 0)) {
        return false;
      }
    }
  }
  return true;
}
static_assert(laysOutByTheRule());

constexpr std::uint64_t eightBlanks = 0x2020202020202020ull;
constexpr std::uint64_t eightZeros = 0x3030303030303030ull;
constexpr std::uint64_t minusOverBlank = std::uint64_t{'-' ^ ' '};

// The 15 columns of F15.4 of |x| < 10^10 (its bit pattern `magnitude`),
// negative when `signBit` is set, at `field`, stored as two eight-byte
// words: columns 1-8, and 9-15 with the byte after the field, so `field`
// must have room for 16 bytes. Past the limits above, 15 asterisks.
[[gnu::always_inline]] inline void edit(std::uint64_t magnitude, bool signBit,
                                        char* field) noexcept {
  const std::uint64_t q = scaledRounded(magnitude);
  const bool negative = signBit && q != 0;
  // The next two digits of the fraction f: the integer part of 100 f.
  const auto nextPair = [](std::uint64_t& f) {
    const Uint128 t = Uint128{f} * 100;
    f = static_cast<std::uint64_t>(t);
    return digitPair(static_cast<std::uint64_t>(t >> 64));
  };
  // Columns 1-8: digits 1-8. Columns 9-15: digits 9 and 10, the point,
  // 11-14, and one byte more, which the next field or the record's next
  // bytes overwrite.
  std::uint64_t f, first;
  if (q < 1000000000000ull) [[likely]] {
    // Below 10^8 in magnitude, where every coordinate on and near the Earth
    // lies, the first two digits are zeros: twelve digits from q / 10^12.
    f = static_cast<std::uint64_t>((Uint128{q} * fractionScale12) >> 32) + 1;
    first = digitPair(0);
  } else {
    if (q >= (negative ? negativeLimit : limitWithoutSign)) {
      std::memset(field, '*', 15);
      return;
    }
    f = static_cast<std::uint64_t>((Uint128{q} * fractionScale) >> 32) + 1;
    first = nextPair(f);
  }
  first |= nextPair(f) << 16;
  first |= nextPair(f) << 32;
  first |= nextPair(f) << 48;
  std::uint64_t second = nextPair(f);
  second |= nextPair(f) << 24;
  second |= nextPair(f) << 40;
  second |= std::uint64_t{'.'} << 16;
  const std::uint64_t differs = first ^ eightZeros;
  if (differs != 0) [[likely]] {
    // The first column that is not a leading zero holds a digit d of 1 to 9,
    // which differs from '0' in its low four bits only: the bits up to its
    // lowest one take in bit 4 of every leading zero before it and of none
    // after, and '0' ^ 0x10 is a blank. A negative value has at least one
    // leading zero (it is below 10^9); the last becomes the sign.
    const std::uint64_t blanks = (differs ^ (differs - 1)) & 0x1010101010101010ull;
    first ^= blanks;
    if (negative) first ^= ((blanks ^ (blanks >> 8)) >> 4) * minusOverBlank;
  } else {
    // Integer part below 100: columns 1-8 blank; column 9 a blank or the
    // sign when it is a leading zero, else the sign goes in column 8.
    first = eightBlanks;
    if ((second & 0xFF) == '0') {
      second = (second & ~0xFFull) | static_cast<std::uint64_t>(negative ? '-' : ' ');
    } else if (negative) {
      first ^= minusOverBlank << 56;
    }
  }
  storeEight(field, first);
  storeEight(field + 8, second);
}

}  // namespace f15d4

// F15.4 of x, whatever its value, at `field`, which has room for 16 bytes:
// the 15 columns, and one byte after them that whatever follows the field
// overwrites.
[[gnu::always_inline]] inline void editF15d4(double x, char* field) noexcept {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const std::uint64_t magnitude = bits & ~f15d4::signMask;
  if (magnitude < f15d4::limitBits) [[likely]] {
    f15d4::edit(magnitude, (bits & f15d4::signMask) != 0, field);
  } else {
    editFixedExactly(x, 15, 4, field);
  }
}

// The same into exactly the 15 bytes at `field`.
inline void editF15d4Into15(double x, char* field) noexcept {
  char sixteen[16];
  editF15d4(x, sixteen);
  std::memcpy(field, sixteen, 15);
}

}  // namespace recio
