// F15.4, the field of every coordinate of a result line, edited from the
// double's bits for |x| below 10^10; every other value takes the general
// editing (editFixed's exact path), which stays the definition.
//
// The rule that makes it exact: |x| * 10^4 is rounded to an integer q as
// scaledRounded proves (the double product where its fraction lies clear of
// one half, the exact 128-bit product otherwise, ties to even); q < 10^14,
// and its fourteen digits are the field's ten integer digits and four
// decimals, the decimal expansion of |x| rounded once to four places. The
// digits come from two groups of eight by exact integer steps (quotients of
// constants, each a multiplication that is exact in its range), the leading
// zeros of the integer part but its units digit become blanks, and a minus
// sign goes before the first digit when the sign bit is set and q is not 0.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace recio::f15d4 {

__extension__ typedef unsigned __int128 Uint128;

constexpr std::uint64_t signMask = std::uint64_t{1} << 63;
constexpr std::uint64_t fractionMask = (std::uint64_t{1} << 52) - 1;
// Magnitudes below this (as bit patterns: 10^10) take the fast path;
// infinities and NaNs lie above it.
constexpr std::uint64_t limitBits = std::bit_cast<std::uint64_t>(1e10);

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
// tie, the exact integer rounding below decides: the double is
// m * 2^-shift, so m * 10^4 is divided by 2^shift with its remainder kept;
// above half rounds up, exactly half goes to the even neighbour.
inline std::uint64_t scaledRounded(std::uint64_t magnitude) noexcept {
  const double y = std::bit_cast<double>(magnitude) * 10000.0;
  const auto c = static_cast<std::int64_t>(y);
  const double f = y - static_cast<double>(c);
  // Computed apart from the margin test, the result does not wait for it.
  const auto nearest = static_cast<std::uint64_t>(static_cast<std::int64_t>(y + 0.5));
  if (std::fabs(f - 0.5) > y * 0x1p-52) [[likely]] return nearest;
  const int biased = static_cast<int>(magnitude >> 52);
  const std::uint64_t m = biased == 0 ? (magnitude & fractionMask)
                                      : ((magnitude & fractionMask) | (fractionMask + 1));
  const int shift = 1075 - (biased == 0 ? 1 : biased);  // at least 19 below 2^34
  // From a shift of 100 on, m * 10^4 < 2^67 makes the value below 2^-33 of
  // a unit: it rounds to zero.
  if (shift >= 100) return 0;
  const Uint128 product = static_cast<Uint128>(m) * 10000u;
  std::uint64_t q = static_cast<std::uint64_t>(product >> shift);
  const Uint128 rest = product & ((Uint128{1} << shift) - 1);
  const Uint128 half = Uint128{1} << (shift - 1);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  return q;
}

// The eight decimal digits of n < 10^8, the first in the lowest byte, as
// values 0 to 9: n is split into two groups of four in the two 32-bit
// halves, each into two of two in 16-bit lanes, each into two digits in
// bytes. Every lane's product stays within its lane: v * 10486 >> 20 is
// v / 100 for v < 10^4 (products below 2^27), v * 103 >> 10 is v / 10 for
// v < 100 (below 2^14). A quotient h and its remainder v - c * h go to the
// lower and the upper part of a lane in one step, as (v << s) - h * (c << s
// - 1), which is ((v - c * h) << s) + h.
inline std::uint64_t eightDigits(std::uint32_t n) noexcept {
  const std::uint64_t high = (std::uint64_t{n} * 0xD1B71759u) >> 45;  // n / 10^4
  std::uint64_t v = (std::uint64_t{n} << 32) - high * ((std::uint64_t{10000} << 32) - 1);
  const std::uint64_t hundreds = ((v * 10486) >> 20) & 0x0000007F0000007Full;
  v = (v << 16) - hundreds * ((100 << 16) - 1);
  const std::uint64_t tens = ((v * 103) >> 10) & 0x000F000F000F000Full;
  return (v << 8) - tens * ((10 << 8) - 1);
}

// Stores eight bytes given in little-endian order (first byte lowest).
inline void storeEight(char* p, std::uint64_t bytes) noexcept {
  if constexpr (std::endian::native == std::endian::big) bytes = __builtin_bswap64(bytes);
  std::memcpy(p, &bytes, 8);
}

constexpr std::uint64_t eightBlanks = 0x2020202020202020ull;
constexpr std::uint64_t eightZeros = 0x3030303030303030ull;
constexpr std::uint64_t minusOverBlank = std::uint64_t{'-' ^ ' '};

// The 15 columns of F15.4 of |x| < 10^10 (its bit pattern `magnitude`),
// negative when `signBit` is set, at `field`; stored as two overlapping
// eight-byte words, columns 1-8 and 8-15. A field that shows a number has
// its point in column 11: the integer part of a non-negative value fits
// below 10^10, of a negative one below 10^9; past that, 15 asterisks.
[[gnu::always_inline]] inline void edit(std::uint64_t magnitude, bool signBit,
                                        char* field) noexcept {
  const std::uint64_t q = scaledRounded(magnitude);
  const bool negative = signBit && q != 0;
  if (q >= (negative ? 10000000000000ull : 100000000000000ull)) [[unlikely]] {
    std::memset(field, '*', 15);
    return;
  }
  // Digits 1-6 (with two leading zeros in front) and 7-14.
  const auto top = static_cast<std::uint32_t>(q / 100000000);
  const auto bottom = static_cast<std::uint32_t>(q - std::uint64_t{top} * 100000000);
  const std::uint64_t a = eightDigits(top) + eightZeros;
  const std::uint64_t b = eightDigits(bottom) + eightZeros;
  // Columns 1-8: digits 1-8. Columns 8-15: digits 8-10, the point, 11-14.
  std::uint64_t first = (a >> 16) | (b << 48);
  std::uint64_t second = ((b >> 8) & 0xFFFFFFull) | (std::uint64_t{'.'} << 24) |
                         (b & 0xFFFFFFFF00000000ull);
  const std::uint64_t differs = first ^ eightZeros;
  if (differs != 0) [[likely]] {
    // The first column that is not a leading zero; a negative value has at
    // least one leading zero (it is below 10^9), which takes the sign.
    const int zeros = std::countr_zero(differs) >> 3;
    const std::uint64_t blanks = (std::uint64_t{1} << (8 * zeros)) - 1;
    first = (first & ~blanks) | (eightBlanks & blanks);
    if (negative) first ^= minusOverBlank << (8 * zeros - 8);
  } else {
    // Integer part below 100: columns 1-8 blank; column 9 a blank or the
    // sign when it is a leading zero, else the sign goes in column 8.
    first = eightBlanks;
    if (((second >> 8) & 0xFF) == '0') {
      second = (second & ~0xFF00ull) | (static_cast<std::uint64_t>(negative ? '-' : ' ') << 8);
    } else if (negative) {
      first ^= minusOverBlank << 56;
    }
  }
  // Column 8 belongs to both words; the second is stored first.
  storeEight(field + 7, second);
  storeEight(field, first);
}

}  // namespace recio::f15d4
