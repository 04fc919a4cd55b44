// How far apart one point's X, Y, Z lie when it is converted on the WGS84
// ellipsoid and on GRS80, which share the semi-major axis and differ only in
// the flattening (1/298.257223563 against 1/298.257222101).
//   c++ -std=c++20 -O2 -o ellipsoid_difference proofs/ellipsoid_difference.cpp
// X and Y move with (N + h) cos(lat), Z with (N (1 - e2) + h) sin(lat): the
// height cancels and the longitude only turns the difference, so the distance
// depends on the latitude alone, and every 0.0001 degree of it from 0 to 90
// is evaluated. long double keeps each radius to about 1e-12 m, a billionth
// of the difference. The first-order formula a de2 sqrt(u - 3 u^2 / 4), with
// u = sin^2(lat) and de2 the difference of the e2, is printed beside it.
#include <cmath>
#include <cstdio>

namespace {

constexpr long double semiMajorAxis = 6378137.0L;
constexpr long double pi = 3.141592653589793238462643383279502884L;

long double eccentricitySquared(long double inverseFlattening) {
  const long double f = 1.0L / inverseFlattening;
  return f * (2.0L - f);
}

// N and N (1 - e2) at a latitude whose sine is sinLat, metres.
struct Radii {
  long double n, polar;
};

Radii radii(long double e2, long double sinLat) {
  const long double n = semiMajorAxis / std::sqrt(1.0L - e2 * sinLat * sinLat);
  return {n, n * (1.0L - e2)};
}

}  // namespace

int main() {
  const long double wgs84 = eccentricitySquared(298.257223563L);
  const long double grs80 = eccentricitySquared(298.257222101L);
  long double largest = 0, largestAt = 0;
  for (long k = 0; k <= 900000; ++k) {
    const long double degrees = static_cast<long double>(k) / 10000.0L;
    const long double s = std::sin(degrees * pi / 180.0L), c = std::cos(degrees * pi / 180.0L);
    const Radii w = radii(wgs84, s), g = radii(grs80, s);
    const long double distance = std::hypot((w.n - g.n) * c, (w.polar - g.polar) * s);
    if (k % 150000 == 0) {
      const long double u = s * s;
      const long double firstOrder = semiMajorAxis * (grs80 - wgs84) * std::sqrt(u - 0.75L * u * u);
      std::printf("latitude %4.1Lf: %.4Lf mm (first order %.4Lf mm)\n", degrees, distance * 1000,
                  firstOrder * 1000);
    }
    if (distance > largest) largest = distance, largestAt = degrees;
  }
  std::printf("largest: %.4Lf mm at latitude %.4Lf\n", largest * 1000, largestAt);
}
