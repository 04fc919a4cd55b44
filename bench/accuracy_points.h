// The accuracy run's points: a fixed, seeded sequence over the whole globe,
// uniform over the sphere's area, heights from -500 m to 10,000 m, with
// extra points near the poles, the equator and the antimeridian and now and
// then their exact values (0, +-90, +-180). The same index always gives the
// same line.
#pragma once

#include <cmath>
#include <cstdint>

#include "point_input.h"

namespace bench {

inline constexpr std::uint64_t accuracySeed = 0x2545F4914F6CDD1Dull;

// A double uniform in [0, 1) from one mixed word.
inline double unitDraw(std::uint64_t index, std::uint64_t stream) noexcept {
  return static_cast<double>(mix(accuracySeed, index, stream) >> 11) * 0x1p-53;
}

struct AccuracyPoint {
  std::int64_t latitudeNano = 0;          // degrees * 10^9, within [-90, 90]
  std::int64_t longitudeNano = 0;         // degrees * 10^9, within [-180, 180]
  std::int64_t heightTenThousandths = 0;  // metres * 10^4, within [-500, 10000]
  int angleDecimals = 9;                  // decimals written of latitude and longitude
  int heightDecimals = 4;                 // of the height
};

inline AccuracyPoint accuracyPoint(std::uint64_t index) noexcept {
  constexpr double degreesPerRadian = 57.295779513082320876798;
  const double side = unitDraw(index, 14) < 0.5 ? -1.0 : 1.0;
  // Within 1 degree of the line, or for a tenth of them within 10^-4 degree.
  const double near = unitDraw(index, 13) * (mix(accuracySeed, index, 15) % 10 == 0 ? 1e-4 : 1.0);
  double latitude = std::asin(2.0 * unitDraw(index, 11) - 1.0) * degreesPerRadian;
  double longitude = 360.0 * unitDraw(index, 12) - 180.0;
  switch (mix(accuracySeed, index, 10) % 10) {
    case 0: latitude = side * (90.0 - near); break;    // a pole
    case 1: latitude = side * near; break;             // the equator
    case 2: longitude = side * (180.0 - near); break;  // the antimeridian
    default: break;
  }
  const std::uint64_t exact = mix(accuracySeed, index, 16);
  if (exact % 100 == 0) latitude = 90.0 * static_cast<double>((exact >> 8) % 3) - 90.0;
  if (exact % 100 == 1) longitude = 90.0 * static_cast<double>((exact >> 8) % 5) - 180.0;

  AccuracyPoint p;
  p.latitudeNano = std::llround(latitude * 1e9);
  p.longitudeNano = std::llround(longitude * 1e9);
  p.heightTenThousandths =
      static_cast<std::int64_t>(mix(accuracySeed, index, 17) % 105000001ull) - 5000000;
  // A tenth with fewer decimals: 0 to 8 for the angles, 0 to 3 for the height.
  const std::uint64_t form = mix(accuracySeed, index, 18);
  if (form % 10 == 0) {
    p.angleDecimals = static_cast<int>((form >> 8) % 9);
    p.heightDecimals = static_cast<int>((form >> 16) % 4);
  }
  return p;
}

// One line for point `index` in `layout` (not Layout::mixed), newline
// included; returns its length.
inline std::size_t formatAccuracyPoint(std::uint64_t index, Layout layout, char* line) noexcept {
  const AccuracyPoint f = accuracyPoint(index);
  char* p = line;
  const bool lonFirst = layout == Layout::lonLatH;
  p = putShortened(p, lonFirst ? f.longitudeNano : f.latitudeNano, 9, f.angleDecimals);
  *p++ = ' ';
  p = putShortened(p, lonFirst ? f.latitudeNano : f.longitudeNano, 9, f.angleDecimals);
  *p++ = ' ';
  p = putShortened(p, f.heightTenThousandths, 4, f.heightDecimals);
  if (layout == Layout::geocart) {
    *p++ = ' ';
    p = putLabel(p, index);
  }
  *p++ = '\n';
  return static_cast<std::size_t>(p - line);
}

}  // namespace bench
