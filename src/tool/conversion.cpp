// The WGS84 conversion. The order and grouping of every operation below fix
// the last bits of X, Y and Z, which other tools' results are compared with
// byte for byte; the build forbids contraction into fused multiply-adds.
#include "conversion.h"

#include <cmath>

#include "sine_cosine.h"

namespace geocart {

namespace {
constexpr double semiMajorAxis = 6378137.0;     // metres
constexpr double inverseFlattening = 298.257223563;
}  // namespace

double degreeFactor() noexcept { return std::atan(1.0) / 45.0; }

CartesianPoint convert(const GeodeticPoint& p, double factor) noexcept {
  // Our own sine and cosine, correctly rounded: the platform's differ in the
  // last bit between CPUs.
  const double phi = p.latitude * factor;
  const SineCosine ofPhi = sineCosine(phi);
  const double cosPhi = ofPhi.cos;
  const double sinPhi = ofPhi.sin;
  const double lambda = p.longitude * factor;
  const SineCosine ofLambda = sineCosine(lambda);
  const double cosLambda = ofLambda.cos;
  const double sinLambda = ofLambda.sin;

  const double a = semiMajorAxis;
  const double f = 1.0 / inverseFlattening;
  const double e2 = (f * 2.0) - (f * f);

  const double n = a / std::sqrt(1.0 - e2 * (sinPhi * sinPhi));
  const double t = (n + p.height) * cosPhi;
  return CartesianPoint{t * cosLambda, t * sinLambda,
                        ((n * (1.0 - e2)) + p.height) * sinPhi};
}

}  // namespace geocart
