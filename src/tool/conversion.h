// Geodetic latitude, longitude and height on the WGS84 ellipsoid to
// Earth-centred, Earth-fixed X, Y, Z.
#pragma once

namespace geocart {

struct GeodeticPoint {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double height = 0.0;     // metres above the ellipsoid
};

struct CartesianPoint {
  double x = 0.0;  // metres, towards latitude 0, longitude 0
  double y = 0.0;  // metres, towards latitude 0, longitude 90 east
  double z = 0.0;  // metres, towards the north pole
};

// arctan(1) / 45: pi / 180 in double precision. Computed once per run.
double degreeFactor() noexcept;

// Converts `p` with the degree-to-radian factor `factor`. No range check:
// any latitude, longitude and height are used as they stand. A NaN result
// follows one rule (conversion.cpp) on every processor and build.
CartesianPoint convert(const GeodeticPoint& p, double factor) noexcept;

// convert, for a point whose latitude, longitude and height are finite,
// which gives finite results without the test for a NaN.
CartesianPoint convertFinite(const GeodeticPoint& p, double factor) noexcept;

}  // namespace geocart
