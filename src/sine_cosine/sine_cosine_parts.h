// The two evaluations behind sineCosine, each reachable on its own so that
// the tests can check the fast one's error bound and force the accurate one.
#pragma once

#include <bit>
#include <cstdint>

#include "sine_cosine.h"

namespace geocart {

// The fast evaluation's polynomial coefficients and error bound constants
// (sine_cosine.cpp gives the proof; sine_cosine_bounds.cpp checks it).
namespace fast_constants {

// The error bound: eS times F, eR times |rh|, and the reduction's part.
constexpr double boundOfValue = 0x1.36p-68;      // eS, times F
constexpr double boundOfArgument = 0x1.b6p-66;    // eR, times |rh|
constexpr double boundOfReduction = 0x1p-111;

// cos r - 1: Taylor coefficients, each the double nearest the fraction.
constexpr double c2 = -0.5;
constexpr double c4 = 1.0 / 24.0;
constexpr double c6 = -1.0 / 720.0;
// sin r - r = r^3 (s3 + s5 r^2) within |r|^3 rho^4 / 40320: Taylor's terms to
// r^7 with the r^7 term economised (Chebyshev: over r^2 in [0, rho^2],
// r^4 = rho^2 r^2 - rho^4 / 8 to within rho^4 / 8).
constexpr double rhoSquare = 0x1.921fb54442d18p-9 * 0x1.921fb54442d18p-9;  // (pi/1024)^2
constexpr double s3 = -1.0 / 6.0 + rhoSquare * rhoSquare / 40320.0;
constexpr double s5 = 1.0 / 120.0 - rhoSquare / 5040.0;

}  // namespace fast_constants

// hi + lo lies within `bound` of the exact value.
struct Approximation {
  double hi;
  double lo;
  double bound;
};

struct FastApproximation {
  bool inRange;  // 2^-27 <= |x| < 2^10; otherwise sin and cos are not set
  Approximation sin;
  Approximation cos;
};

// The fast evaluation: table, polynomials and its proven error bound, before
// the rounding test.
FastApproximation fastSineCosine(double x) noexcept;

// The rounding test: true when every value within `bound` of hi + lo rounds
// to one double, which is then `rounded` (sine_cosine.cpp says why).
inline bool roundingDecided(const Approximation& a, double& rounded) noexcept {
  const double low = a.hi + (a.lo - a.bound);
  const double high = a.hi + (a.lo + a.bound);
  rounded = low;
  return std::bit_cast<std::uint64_t>(low) == std::bit_cast<std::uint64_t>(high);
}

// The accurate evaluation alone, for any finite x: what sineCosine returns
// whenever the fast evaluation cannot decide the rounding.
SineCosine accurateSineCosine(double x) noexcept;

}  // namespace geocart
