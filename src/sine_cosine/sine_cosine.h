// Sine and cosine of a double, each correctly rounded to nearest: the same
// bits on every CPU, compiler and library.
#pragma once

namespace geocart {

struct SineCosine {
  double sin;
  double cos;
};

// sin x and cos x, each the exact value rounded to the nearest double (ties
// cannot occur: neither is ever a midpoint between two doubles). x in
// radians, any double: sin keeps the sign of a zero and cos of a zero is 1;
// a NaN gives itself, quieted (sign and payload kept), for both; an infinity
// gives the NaN with bits 0xFFF8000000000000 for both.
SineCosine sineCosine(double x) noexcept;

}  // namespace geocart
