// sin x and cos x correctly rounded: the special values by their bits, a fast
// evaluation in double arithmetic with a proven error bound, and a rounding
// test that hands the rare arguments it cannot decide to the accurate
// evaluation (sine_cosine_accurate.cpp).
//
// Fast evaluation, for 2^-27 <= |x| < 2^10 (no fused multiply-add: every
// product that must be exact is split; u = 2^-53):
// - Reduction (Cody and Waite): k = x 512/pi rounded to an integer (|k| <
//   2^18), r = x - k pi/512 with pi/512 = P1 + P2 + P3 + tau, P1 and P2 of 35
//   bits: k P1, x - k P1 (Sterbenz) and k P2 are exact, the difference of the
//   last two is split exactly into rh + e2 by a fast two-sum (exact when
//   |x - k P1| >= |k P2|; otherwise both are multiples of 2^-81, x - k P1 of
//   2^-61 as |x| >= 2^-9 when k != 0 and k P2 of the last bit of P2, and
//   their difference, below 2^-28, is a double), and rl = e2 - k P3.
//   |r - (rh + rl)| <= |k| (|tau| + u |P3|) + u |rl| < 2^-114.89 (|k| <=
//   166886 < 2^17.35, |tau| < 2^-138.47, |rl| <= 2^-62 + |k P3| < 2^-61.95),
//   and |rh|, |r| <= rho = pi/1024 + 2^-30.
// - Table: S + s = sin(j pi/512), C + c = cos(j pi/512), j = k mod 1024, the
//   heads S and C of 26 bits (so |s| <= 2^-26.08 |S + s|, and both tails are
//   below 2^-27), the tails rounded (within 2^-80.09 of the value).
// - sin x = S cos r + C sin r, cos x = C cos r - S sin r. rh = r1 + r2 with
//   r1 of 26 bits (Veltkamp), so C r1 and S r1 are exact, and the sums
//   S + C r1, C - S r1 are split exactly (fast two-sum: |S|, |C| >= sin(pi/512)
//   > rho >= |C r1|, |S r1|, or 0) into hi + e1. Everything else goes into lo, the
//   largest term last: tails, the heads times r2 + rl, the tails times rh,
//   the full values times sin r - r and cos r - 1 (polynomials of degree 5
//   and 6, below, of rh alone: cos r - 1 within 2^-82.08, sin r - r within
//   2^-65.38 of |r|, a little over rho^6 / 40320 = 2^-65.39).
// - Error of hi + lo, for sin with F = |S + s| (for cos F = |C + c| and the
//   roles of the two functions swapped), every term at its worst:
//     bound = eS F + eR |rh| + 2^-111,
//   eS = 2^-80.09 (the table) + rho |rl| = 2^-70.30 (rl sin rh, which cos r - 1
//   of rh leaves out) + 2^-82.32 (c rl, which the tail times rh leaves out:
//   |c| <= 2^-20.36 F) + 2^-82.08 (the cosine's polynomial) + (6.5 u + 2^-71)
//   rho^2 / 2 = 2^-67.99 (cos rh - 1 within 2.5 u of its value: rh^2, the
//   last sum just below 1/2 in size, the product; the full value within
//   u, the product, the sum into lo and the test's own rounding of lo, below,
//   u each) + 6 u 2^-26.08 = 2^-76.50 (the tail s through the six roundings
//   of lo) + 3 u^2 = 2^-104.4 (e1 through three): 2^-67.7273 in all;
//   eR = 2^-65.38 (the sine's polynomial) + rho |rl| / 2 = 2^-71.30
//   (rl (cos rh - 1), which sin r - r of rh leaves out) + 2^-80.09 (the
//   table, times sin r) + (9.75 u + 2^-72) rho^2 / 6 = 2^-68.99 (sin rh - rh
//   within 3.75 u: rh^2, the sum near -1/6, two products; the full value
//   within u, the product, the four roundings of lo after it) + 8 u 2^-26 =
//   2^-76.00 (C r2 through the rounding of r2 and seven after) + 6 u 2^-27 =
//   2^-77.41 (c rh through six) + 3 u^2: 2^-65.2483 in all; and 2^-111 for
//   the reduction's 2^-114.89, 8 u |rl| = 2^-111.95 (rl in r2 through eight
//   roundings) and the second-order terms, 2^-117.9: 2^-111.76 in all.
//   The constants (sine_cosine_parts.h) cover these sums less the 3
//   roundings of the bound itself: boundOfValue 2^-67.7239 leaves 2^-76.44, boundOfArgument
//   2^-65.2252 leaves 2^-71.20, boundOfReduction 2^-111 leaves 2^-112.29
//   (sine_cosine_bounds.cpp works out every figure from the tables and the
//   constants, and fails if a constant falls short).
// Rounding test: with e the bound, RN(hi + RN(lo - e)) == RN(hi + RN(lo + e))
// means that every value within e of hi + lo rounds to that double (rounding
// is monotonic, and the inner roundings move lo - e and lo + e by at most
// u (|lo| + e), which the bound includes); that double is then the result.
// Otherwise the accurate evaluation decides: for 100 to 150 arguments a
// million (the repository's bench/README.md).
#include "sine_cosine.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "double_bits.h"
#include "sine_cosine_parts.h"
#include "sine_cosine_tables.h"

namespace geocart {

namespace {

namespace tables = sine_cosine_tables;

using doublebits::exponentMask;
using doublebits::signMask;

using namespace fast_constants;

constexpr double roundingShifter = 0x1.8p52;  // x + shifter - shifter: x rounded
constexpr double veltkampSplitter = 0x1p27 + 1.0;

// The evaluation itself, for 2^-27 <= |x| < 2^10.
inline FastApproximation evaluateFast(double x) {
  const double shifted = x * tables::inversePiOver512 + roundingShifter;
  const double kd = shifted - roundingShifter;
  const auto j = static_cast<unsigned>(std::bit_cast<std::uint64_t>(shifted)) & 1023u;

  const double t1 = x - kd * tables::piOver512[0];
  const double p2 = kd * tables::piOver512[1];
  const double rh = t1 - p2;
  const double e2 = (t1 - rh) - p2;
  const double rl = e2 - kd * tables::piOver512[2];

  const tables::Entry& entry = tables::table[j];
  const double sinFull = entry.sinHead + entry.sinTail;
  const double cosFull = entry.cosHead + entry.cosTail;

  const double scaled = rh * veltkampSplitter;
  const double r1 = scaled - (scaled - rh);
  const double r2 = (rh - r1) + rl;  // the split's rest, plus rl

  const double square = rh * rh;
  const double sinMinusR = rh * (square * (s3 + square * s5));
  const double cosMinusOne = square * (c2 + square * (c4 + square * c6));

  const double pSin = entry.cosHead * r1;
  const double hiSin = entry.sinHead + pSin;
  const double e1Sin = (entry.sinHead - hiSin) + pSin;
  const double loSin = ((((entry.sinTail + entry.cosHead * r2) + entry.cosTail * rh) +
                         cosFull * sinMinusR) +
                        e1Sin) +
                       sinFull * cosMinusOne;

  const double pCos = entry.sinHead * r1;
  const double hiCos = entry.cosHead - pCos;
  const double e1Cos = (entry.cosHead - hiCos) - pCos;
  const double loCos = ((((entry.cosTail - entry.sinHead * r2) - entry.sinTail * rh) -
                         sinFull * sinMinusR) +
                        e1Cos) +
                       cosFull * cosMinusOne;

  const double argumentPart = std::fabs(rh) * boundOfArgument + boundOfReduction;
  const double sinBound = std::fabs(sinFull) * boundOfValue + argumentPart;
  const double cosBound = std::fabs(cosFull) * boundOfValue + argumentPart;
  return {true, {hiSin, loSin, sinBound}, {hiCos, loCos, cosBound}};
}

[[gnu::noinline, gnu::cold]] SineCosine rareSineCosine(double x) noexcept {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const std::uint64_t magnitude = bits & ~signMask;
  if (magnitude >= exponentMask) {
    // A NaN gives itself, quieted; an infinity the NaN of the invalid
    // operation with its sign set, the same on every CPU.
    const double nan = std::bit_cast<double>(
        magnitude == exponentMask ? doublebits::invalidNaN : bits | doublebits::quietBit);
    return {nan, nan};
  }
  // Below 2^-27 the accurate evaluation's first rule gives x and 1 at once.
  return accurateSineCosine(x);
}

// Out of line: the fast path keeps its registers and no stack frame.
[[gnu::noinline, gnu::cold]] SineCosine handOver(double x) noexcept {
  return accurateSineCosine(x);
}

// 2^-27 <= |x| < 2^10, the fast evaluation's range, in one unsigned comparison.
inline bool inFastRange(double x) {
  constexpr std::uint64_t low = std::bit_cast<std::uint64_t>(0x1p-27);
  constexpr std::uint64_t high = std::bit_cast<std::uint64_t>(0x1p10);
  return (std::bit_cast<std::uint64_t>(x) & ~signMask) - low < high - low;
}

}  // namespace

FastApproximation fastSineCosine(double x) noexcept {
  if (!inFastRange(x)) return {false, {}, {}};
  return evaluateFast(x);
}

SineCosine sineCosine(double x) noexcept {
  if (!inFastRange(x)) return rareSineCosine(x);
  const FastApproximation a = evaluateFast(x);
  SineCosine result;
  if (!roundingDecided(a.sin, result.sin) || !roundingDecided(a.cos, result.cos)) {
    return handOver(x);
  }
  return result;
}

}  // namespace geocart
