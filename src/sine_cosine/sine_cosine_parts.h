// The two evaluations behind sineCosine, each reachable on its own so that
// the tests can check the fast one's error bound and force the accurate one.
#pragma once

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

// The accurate evaluation alone, for any finite x: what sineCosine returns
// whenever the fast evaluation cannot decide the rounding.
SineCosine accurateSineCosine(double x) noexcept;

}  // namespace geocart
