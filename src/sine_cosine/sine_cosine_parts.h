// The two evaluations behind sineCosine, each reachable on its own so that
// the tests can check the fast one's error bound and force the accurate one.
#pragma once

#include <bit>
#include <cstdint>

#include "sine_cosine.h"

namespace geocart {

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
