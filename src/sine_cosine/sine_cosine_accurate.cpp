// The accurate evaluation of sin x and cos x, for the arguments whose rounding
// the fast evaluation cannot decide, and for |x| >= 2^10.
//
// Method, on N 64-bit limbs (N = 4, 256 bits; 8 if ever needed, below):
// - Reduction. For |x| <= the double below pi/4, theta = |x| exactly. Otherwise
//   |x| = m 2^E (m < 2^53) and the turns u = frac(|x| / (2 pi)) come from m
//   times the bits of 1/(2 pi) from position E + 1 on (Payne and Hanek): the
//   bits before give integers, those after the window m 2^(E-64(L+1)) at
//   most; L = N + 2 limbs of u are kept, 2^-(64 L) from the exact fraction
//   (with the window's truncation, below 2^-(64 L - 1)). The octant o = the
//   top 3 bits of u; the rest w (or 1 - w for an odd octant) times pi/4 gives
//   theta in [0, pi/4]. The nearest a double comes to a multiple of pi/2 is
//   about 2^-61 (published searches; the doubles nearest to multiples of pi/2
//   in every binade are among the tests), so theta >= 2^-62 and its relative
//   error stays below 2^-(64 L - 70) = 2^-(64 N + 58).
// - theta is then a normalised mantissa of N limbs (relative error below
//   2^-(64 N - 1)) and a shift; theta^2 is a fraction of N limbs.
// - cos theta and sin theta / theta by Horner's rule on their Taylor series
//   down from the last term whose successor is below 2^-(64 N + 8) for the
//   power of two above theta (27 steps, 28 terms, for theta near pi/4 and
//   N = 4; the series alternate and decrease, so what is left out is below
//   that successor), each step a truncated product,
//   a truncated division by (2k - 1) 2k or 2k (2k + 1), and 1 - t taken as the
//   complement (the all-ones fraction standing for 1): at most 3 units of
//   2^-(64 N) each, damped by theta^2 / d <= 0.31, so at most 8 units in all.
//   sin theta = theta (sin theta / theta): one more truncation.
// - Every result is so within a relative 2^-(64 N - 5) of the exact value.
//   Rounding test: with the normalised result's first 53 bits kept, the rest R
//   must lie farther than the error, 2^5 units of the last limb (2^8 taken),
//   from one half; then every value the error allows rounds to one double
//   (at the bottom of a binade the interval below is half as wide, but 2^8
//   units are far below a quarter of a unit in the last place).
//
// Why 256 bits suffice: a result can be undecided only if its exact value
// has about 64 N - 53 - 8 = 195 identical bits after the rounding bit. The
// published worst cases for sin and cos in double precision (the
// *-hard-arguments.txt files beside this one, from exhaustive searches and
// searches in the top binades) have
// at most 73 such bits for the sine (at 0x1.e0000000001c2p-20) and 89 for
// the cosine (at 0x1.8000000000009p-23), over 100 fewer; below 2^-27 no
// evaluation is needed (see accurateSineCosine). Were the 2^64 doubles'
// results random bit strings, the chance that any of them had 195 such bits
// would be about 2^-130. If a rounding were ever undecided all the same, the
// evaluation runs again on 8 limbs (error 2^-507) and takes its nearest
// double.
#include "sine_cosine_parts.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "double_bits.h"
#include "sine_cosine_tables.h"

namespace geocart {

namespace {

using Limb = std::uint64_t;
__extension__ typedef unsigned __int128 Wide;  // GCC and Clang, 64-bit targets

// A fraction in [0, 1): sum of limb[i] 2^(-64 (i + 1)), most significant first.
template <int n>
using Fraction = std::array<Limb, n>;

// The 2n-limb product of a and b, most significant first: a[i] b[j] is of
// the weight of limb i + j + 1, its carry goes to limb i + j.
template <int n>
std::array<Limb, 2 * n> multiplyFull(const Fraction<n>& a, const Fraction<n>& b) {
  std::array<Limb, 2 * n> product{};
  for (int i = n - 1; i >= 0; --i) {
    Limb carry = 0;
    for (int j = n - 1; j >= 0; --j) {
      const Wide t = static_cast<Wide>(a[i]) * b[j] + product[i + j + 1] + carry;
      product[i + j + 1] = static_cast<Limb>(t);
      carry = static_cast<Limb>(t >> 64);
    }
    product[i] = carry;
  }
  return product;
}

// Its first n limbs (truncated: below one unit of the last limb kept too low).
template <int n>
Fraction<n> multiplyHigh(const Fraction<n>& a, const Fraction<n>& b) {
  const std::array<Limb, 2 * n> product = multiplyFull<n>(a, b);
  Fraction<n> high;
  for (int k = 0; k < n; ++k) high[k] = product[k];
  return high;
}

// a / d, truncated, for d < 2^32: two 64-bit divisions a limb, each of a
// 32-bit half behind the remainder.
template <int n>
Fraction<n> divide(Fraction<n> a, Limb d) {
  Limb rest = 0;
  for (int k = 0; k < n; ++k) {
    const Limb high = (rest << 32) | (a[k] >> 32);
    rest = high % d;
    const Limb low = (rest << 32) | (a[k] & 0xffffffff);
    rest = low % d;
    a[k] = ((high / d) << 32) | (low / d);
  }
  return a;
}

// The 64 bits of `limbs` (most significant first, zeros before and after)
// from bit `start` on, the first bit being bit 0; `start` may be negative.
inline Limb bitsAt(std::span<const Limb> limbs, long start) {
  const auto limbAt = [&](long k) -> Limb {
    return k >= 0 && k < static_cast<long>(limbs.size()) ? limbs[static_cast<std::size_t>(k)] : 0;
  };
  const long k = start >> 6;  // floor, also below 0
  const int shift = static_cast<int>(start & 63);
  if (shift == 0) return limbAt(k);
  return (limbAt(k) << shift) | (limbAt(k + 1) >> (64 - shift));
}

template <int n>
Fraction<n> shiftLeft(const Fraction<n>& a, int bits) {  // 0 <= bits
  Fraction<n> out;
  for (int k = 0; k < n; ++k) out[k] = bitsAt(a, bits + 64L * k);
  return out;
}

template <int n>
int leadingZeros(const Fraction<n>& a) {
  for (int k = 0; k < n; ++k) {
    if (a[k] != 0) return 64 * k + std::countl_zero(a[k]);
  }
  return 64 * n;
}

// theta = mantissa 2^-shift, with mantissa a normalised fraction (first bit set).
template <int n>
struct Angle {
  Fraction<n> mantissa;
  int shift;
};

// |x| in [pi/4, 2^1024): the octant and theta in [0, pi/4].
template <int n>
Angle<n> reduce(std::uint64_t m, int e, int& octant) {
  constexpr int l = n + 2;
  // The window of 1/(2 pi) from bit e + 1 (the first bit is bit 1), l + 1
  // limbs, times m: the low 64 (l + 1) bits of the product are the
  // fraction's first bits. For e < 0 the window starts at bit 1 and the
  // product is shifted right by -e.
  const long start = e >= 0 ? e : 0;  // 0-based index of bit start + 1
  std::array<Limb, l + 1> window;
  for (int k = 0; k < l + 1; ++k) window[k] = bitsAt(sine_cosine_tables::inverseTwoPi, start + 64L * k);
  std::array<Limb, l + 2> product{};  // most significant first
  Limb carry = 0;
  for (int k = l; k >= 0; --k) {
    const Wide t = static_cast<Wide>(window[k]) * m + carry;
    product[k + 1] = static_cast<Limb>(t);
    carry = static_cast<Limb>(t >> 64);
  }
  product[0] = carry;  // the integer part when e >= 0
  // With e >= 0 the fraction begins at limb 1; with e < 0 at bit 64 + e.
  const long first = 64L + (e >= 0 ? 0 : e);
  Fraction<l> u;
  for (int k = 0; k < l; ++k) u[k] = bitsAt(product, first + 64L * k);
  octant = static_cast<int>(u[0] >> 61);
  Fraction<l> w = shiftLeft<l>(u, 3);
  if (octant & 1) {
    for (auto& limb : w) limb = ~limb;  // 1 - w, one unit low
  }
  Fraction<l> pi4;
  for (int k = 0; k < l; ++k) pi4[k] = sine_cosine_tables::piOver4[k];
  const Fraction<l> theta = multiplyHigh<l>(w, pi4);
  const int zeros = leadingZeros<l>(theta);
  const Fraction<l> normalised = shiftLeft<l>(theta, zeros);
  Angle<n> angle;
  for (int k = 0; k < n; ++k) angle.mantissa[k] = normalised[k];
  angle.shift = zeros;
  return angle;
}

// The number of Horner steps for theta < 2^-shift (and <= pi/4): the
// first term left out, theta^(2K+2) / (2K+2)!, is below 2^-(64 n + 8).
template <int n>
constexpr std::array<Limb, 64> seriesTerms = [] {
  std::array<Limb, 64> terms{};
  double limit = 1.0;
  for (int i = 0; i < 64 * n + 8; ++i) limit /= 2;
  for (int shift = 0; shift < 64; ++shift) {
    double square = 0x1.3bd3cc9be45dfp-1;  // (pi/4)^2 rounded up, 7.2e-17 above
    double bound = 1.0;
    for (int i = 0; i < 2 * shift; ++i) bound /= 2;
    if (bound < square) square = bound;
    double term = 1.0;
    Limb k = 0;
    do {
      ++k;
      term *= square / static_cast<double>((2 * k + 1) * (2 * k + 2));
    } while (term >= limit / 2);
    terms[shift] = k;
  }
  return terms;
}();

// A result: fraction 2^-shift, sign.
template <int n>
struct Value {
  Fraction<n> fraction;
  int shift;
  bool negative;
};

constexpr Limb roundingMargin = Limb{1} << 8;  // units of the last limb

// The nearest double to the value, or false when the error allows two (never
// with `force`). The fraction is sin theta / theta (at least 0.9) times
// theta's normalised mantissa, or cos theta (at least 0.7): above 1/4, so
// `zeros` is 0 or 1 and the value a normal double whatever theta's shift.
template <int n>
bool roundToNearest(const Value<n>& v, bool force, double& result) {
  const int zeros = leadingZeros<n>(v.fraction);
  const Fraction<n> f = shiftLeft<n>(v.fraction, zeros);
  // 0.f = (significand + R) 2^-53, R in [0, 1): the significand is the first
  // 53 bits, R the rest. |R - 1/2| 2^-53 is the fraction f with its first 53
  // bits cleared and its 54th taken away (set: R >= 1/2) or, when it is
  // clear, 2^-54 minus that rest, which is the rest's complement plus a unit.
  constexpr Limb restMask = (Limb{1} << 10) - 1;
  const bool above = ((f[0] >> 10) & 1) != 0;
  Fraction<n> distance = f;
  distance[0] &= restMask;
  if (!above) {
    for (auto& limb : distance) limb = ~limb;
    distance[0] &= restMask;
  }
  bool far = distance[n - 1] > roundingMargin;  // in units of the last limb
  for (int k = 0; k < n - 1; ++k) far = far || distance[k] != 0;
  if (!far && !force) return false;
  std::uint64_t significand = (f[0] >> 11) + (above ? 1 : 0);
  int exponent = -(v.shift + zeros) - 53;  // value ~ significand 2^exponent
  if (significand == (std::uint64_t{1} << 53)) {
    significand >>= 1;
    ++exponent;
  }
  const std::uint64_t biased = static_cast<std::uint64_t>(exponent + 52 + 1023);
  const std::uint64_t bits = (v.negative ? doublebits::signMask : 0) | (biased << 52) |
                             (significand & doublebits::fractionMask);
  result = std::bit_cast<double>(bits);
  return true;
}

// With `force`, the nearest double to the computed value even when the
// rounding test fails.
template <int n>
bool evaluate(double x, bool force, SineCosine& out) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t m = bits & doublebits::fractionMask;
  int e;  // |x| = m 2^e
  if (biased == 0) {
    e = -1074;
  } else {
    m |= std::uint64_t{1} << 52;
    e = biased - 1075;
  }

  int octant = 0;
  Angle<n> theta;
  if (std::bit_cast<double>(bits & ~doublebits::signMask) <= 0x1.921fb54442d18p-1) {
    const int zeros = std::countl_zero(m);
    theta.mantissa = Fraction<n>{};
    theta.mantissa[0] = m << zeros;
    theta.shift = zeros - 64 - e;  // |x| = (m 2^zeros 2^-64) 2^(e + 64 - zeros)
  } else {
    theta = reduce<n>(m, e, octant);
  }

  // theta^2 as a fraction: the product of the mantissas shifted right by
  // 2 shift; nothing is left of it past 2 * 64 n bits.
  Fraction<n> theta2;
  {
    const std::array<Limb, 2 * n> square = multiplyFull<n>(theta.mantissa, theta.mantissa);
    for (int k = 0; k < n; ++k) theta2[k] = bitsAt(square, 64L * k - 2L * theta.shift);
  }

  // Horner's rule, top term first. `one` is the all-ones fraction.
  Fraction<n> cosine, sineOverTheta;
  cosine.fill(~Limb{0});
  sineOverTheta.fill(~Limb{0});
  const int bound = theta.shift < 0 ? 0 : (theta.shift > 63 ? 63 : theta.shift);
  for (Limb k = seriesTerms<n>[bound]; k >= 1; --k) {
    Fraction<n> t = divide<n>(multiplyHigh<n>(cosine, theta2), (2 * k - 1) * (2 * k));
    for (int i = 0; i < n; ++i) cosine[i] = ~t[i];
    t = divide<n>(multiplyHigh<n>(sineOverTheta, theta2), (2 * k) * (2 * k + 1));
    for (int i = 0; i < n; ++i) sineOverTheta[i] = ~t[i];
  }
  const Fraction<n> sine = multiplyHigh<n>(theta.mantissa, sineOverTheta);

  // sin and cos of the angle within its quadrant, then of x.
  const bool swap = (octant & 1) != 0;
  Value<n> s{swap ? cosine : sine, swap ? 0 : theta.shift, false};
  Value<n> c{swap ? sine : cosine, swap ? theta.shift : 0, false};
  const int quadrant = octant >> 1;
  if (quadrant & 1) std::swap(s, c);
  s.negative = quadrant >= 2;
  c.negative = quadrant == 1 || quadrant == 2;
  s.negative = s.negative != negative;  // sin(-x) = -sin x

  const bool sinDecided = roundToNearest<n>(s, force, out.sin);
  return roundToNearest<n>(c, force, out.cos) && sinDecided;
}

}  // namespace

SineCosine accurateSineCosine(double x) noexcept {
  const std::uint64_t magnitude = std::bit_cast<std::uint64_t>(x) & ~doublebits::signMask;
  if (magnitude < std::bit_cast<std::uint64_t>(0x1p-27)) {
    // |sin x - x| <= |x|^3 / 6 < 2^-55 |x|, less than half the gap to either
    // neighbour of x (at least 2^-54 |x|): sin x rounds to x, zeros and
    // subnormals included. 1 - cos x <= x^2 / 2 < 2^-55, less than half the
    // gap below 1: cos x rounds to 1.
    return {x, 1.0};
  }
  SineCosine result;
  if (!evaluate<4>(x, false, result)) evaluate<8>(x, true, result);
  return result;
}

}  // namespace geocart
