// The WGS84 conversion. The order and grouping of every operation below fix
// the last bits of X, Y and Z, which other tools' results are compared with
// byte for byte; the build forbids contraction into fused multiply-adds.
//
// Which NaN an operation gives is not fixed by the arithmetic: with two NaN
// operands the processor returns one of them, chosen by the order in which
// the compiled code happens to present them, and the NaN that an invalid
// operation makes is the processor's own (sign bit set on x86-64, clear on
// aarch64). So a NaN result is made again by a rule the conversion holds
// itself: an operation with a NaN operand gives the leftmost NaN operand as
// the steps below write it, quieted; one that makes a NaN from operands that
// are not NaN (0 x inf, inf - inf, the sine or cosine of an infinity, the
// square root of a negative number) gives the NaN with only the sign and the
// quiet bit set; the sine and cosine of a NaN give that NaN, quieted. The
// rule runs only when a result is NaN: every other result is the plain
// arithmetic's, whose bits no compiler or processor may change.
#include "conversion.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "double_bits.h"
#include "sine_cosine.h"

namespace geocart {

namespace {

constexpr double semiMajorAxis = 6378137.0;     // metres
constexpr double inverseFlattening = 298.257223563;

template <typename Real>
struct SinCos {
  Real sin;
  Real cos;
};

// Our own sine and cosine, correctly rounded, whose bits are the same on
// every processor (the platform's differ in the last bit between CPUs), and
// the correctly rounded square root.
SinCos<double> sinCos(double x) noexcept {
  const SineCosine r = sineCosine(x);
  return {r.sin, r.cos};
}
double squareRoot(double x) noexcept { return std::sqrt(x); }

// The steps of the conversion, written once for plain doubles and for
// NaNRuled below: the same operations, in the same order and grouping.
template <typename Real>
CartesianPoint steps(const GeodeticPoint& p, double factor) noexcept {
  const Real phi = Real(p.latitude) * Real(factor);
  const auto [sinPhi, cosPhi] = sinCos(phi);
  const Real lambda = Real(p.longitude) * Real(factor);
  const auto [sinLambda, cosLambda] = sinCos(lambda);

  const Real a = Real(semiMajorAxis);
  const Real f = Real(1.0) / Real(inverseFlattening);
  const Real e2 = (f * Real(2.0)) - (f * f);

  const Real n = a / squareRoot(Real(1.0) - e2 * (sinPhi * sinPhi));
  const Real t = (n + Real(p.height)) * cosPhi;
  return CartesianPoint{double(t * cosLambda), double(t * sinLambda),
                        double(((n * (Real(1.0) - e2)) + Real(p.height)) * sinPhi)};
}

// A double whose operations follow the NaN rule.
class NaNRuled {
 public:
  explicit NaNRuled(double v) noexcept : v_(v) {}
  explicit operator double() const noexcept { return v_; }

  friend NaNRuled operator+(NaNRuled a, NaNRuled b) noexcept { return of(a, b, a.v_ + b.v_); }
  friend NaNRuled operator-(NaNRuled a, NaNRuled b) noexcept { return of(a, b, a.v_ - b.v_); }
  friend NaNRuled operator*(NaNRuled a, NaNRuled b) noexcept { return of(a, b, a.v_ * b.v_); }
  friend NaNRuled operator/(NaNRuled a, NaNRuled b) noexcept { return of(a, b, a.v_ / b.v_); }
  friend NaNRuled squareRoot(NaNRuled a) noexcept {
    if (std::isnan(a.v_)) return quieted(a.v_);
    return a.v_ < 0.0 ? invalid() : NaNRuled(std::sqrt(a.v_));
  }
  // sineCosine holds the rule itself: a NaN gives that NaN, quieted, and an
  // infinity the NaN of an invalid operation.
  friend SinCos<NaNRuled> sinCos(NaNRuled a) noexcept {
    const SinCos<double> s = geocart::sinCos(a.v_);
    return {NaNRuled(s.sin), NaNRuled(s.cos)};
  }

 private:
  static NaNRuled quieted(double nan) noexcept {
    return NaNRuled(std::bit_cast<double>(std::bit_cast<std::uint64_t>(nan) | doublebits::quietBit));
  }
  static NaNRuled invalid() noexcept { return NaNRuled(std::bit_cast<double>(doublebits::invalidNaN)); }
  // The result `r` of an operation on `a` and `b`, written in that order.
  static NaNRuled of(NaNRuled a, NaNRuled b, double r) noexcept {
    if (std::isnan(a.v_)) return quieted(a.v_);
    if (std::isnan(b.v_)) return quieted(b.v_);
    return std::isnan(r) ? invalid() : NaNRuled(r);
  }

  double v_;
};

[[gnu::noinline, gnu::cold]] void applyNaNRule(CartesianPoint& c, const GeodeticPoint& p,
                                               double factor) noexcept {
  c = steps<NaNRuled>(p, factor);
}

}  // namespace

double degreeFactor() noexcept { return std::atan(1.0) / 45.0; }

CartesianPoint convert(const GeodeticPoint& p, double factor) noexcept {
  CartesianPoint c = steps<double>(p, factor);
  // A NaN in any operation reaches a result; the sum is NaN then, and also
  // for opposite infinities, which the rule gives back unchanged.
  if (std::isnan(c.x + c.y + c.z)) [[unlikely]] applyNaNRule(c, p, factor);
  return c;
}

// Every step of finite inputs is finite: the sines and cosines lie in
// [-1, 1], 1 - e2 sin^2 in [1 - e2, 1], and a sum of N (below 6.4e6) and a
// finite height rounds to a finite double (even the largest: 6.4e6 is far
// below half its unit), which products by a sine or cosine keep finite. So
// no NaN arises, and the rule has nothing to decide.
CartesianPoint convertFinite(const GeodeticPoint& p, double factor) noexcept {
  return steps<double>(p, factor);
}

}  // namespace geocart
