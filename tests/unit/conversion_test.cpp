// The WGS84 conversion, checked on the exact bits of X, Y and Z.
#include "conversion.h"
#include "sine_cosine.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

namespace geocart {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST(Conversion, DegreeFactorIsPiOver180InDoublePrecision) {
  // The double nearest to pi/180.
  EXPECT_EQ(bits(degreeFactor()), bits(0x1.1df46a2529d39p-6));
}

struct ConversionCase {
  GeodeticPoint in;
  double x, y, z;  // the exact doubles the fixed order of operations gives
};

// Expected values are recomputed here step by step in the documented order,
// independently of convert(), and cross-checked on the printed digits below.
CartesianPoint reference(const GeodeticPoint& p) {
  const volatile double factor = std::atan(1.0) / 45.0;
  // sineCosine is checked on its own (sine_cosine_test.cpp and MPFR).
  const double sp = sineCosine(p.latitude * factor).sin;
  const double cp = sineCosine(p.latitude * factor).cos;
  const double sl = sineCosine(p.longitude * factor).sin;
  const double cl = sineCosine(p.longitude * factor).cos;
  const double f = 1.0 / 298.257223563;
  const double e2 = (f * 2.0) - (f * f);
  const double n = 6378137.0 / std::sqrt(1.0 - e2 * (sp * sp));
  const double t = (n + p.height) * cp;
  return {t * cl, t * sl, ((n * (1.0 - e2)) + p.height) * sp};
}

struct PrintedCase {
  GeodeticPoint in;
  double x, y, z;  // to 4 decimals, as the result line shows them
};

constexpr PrintedCase printedCases[] = {
    {{0, 0, 0}, 6378137.0, 0.0, 0.0},
    {{90, 0, 0}, 0.0, 0.0, 6356752.3142},
    {{0, 90, 0}, 0.0, 6378137.0, 0.0},
    {{0, 180, 0}, -6378137.0, 0.0, 0.0},
    {{45, 45, 100}, 3194469.1451, 3194469.1451, 4487419.1195},
    {{-33.5, 151.25, 50}, -4667790.8016, 2560837.7258, -3500361.8849},
};

TEST(Conversion, MatchesTheReferenceOrderBitForBit) {
  const double factor = degreeFactor();
  for (const auto& c : printedCases) {
    SCOPED_TRACE(testing::Message() << c.in.latitude << " " << c.in.longitude);
    const CartesianPoint got = convert(c.in, factor);
    const CartesianPoint want = reference(c.in);
    EXPECT_EQ(bits(got.x), bits(want.x));
    EXPECT_EQ(bits(got.y), bits(want.y));
    EXPECT_EQ(bits(got.z), bits(want.z));
  }
}

TEST(Conversion, TableRoundsToThePrintedDigits) {
  const double factor = degreeFactor();
  for (const auto& c : printedCases) {
    SCOPED_TRACE(testing::Message() << c.in.latitude << " " << c.in.longitude);
    const CartesianPoint got = convert(c.in, factor);
    EXPECT_LE(std::fabs(got.x - c.x), 0.00005);
    EXPECT_LE(std::fabs(got.y - c.y), 0.00005);
    EXPECT_LE(std::fabs(got.z - c.z), 0.00005);
  }
}

TEST(Conversion, ExactBitsOfKnownPoints) {
  const double factor = degreeFactor();
  // Equator and prime meridian: N is exactly a, cos 0 is 1.
  CartesianPoint p = convert({0, 0, 0}, factor);
  EXPECT_EQ(bits(p.x), bits(6378137.0));
  EXPECT_EQ(bits(p.y), bits(0.0));
  EXPECT_EQ(bits(p.z), bits(0.0));
  // The pole: cos(pi/2 in double) is about 6.1e-17, so X is tiny, not zero.
  p = convert({90, 0, 0}, factor);
  EXPECT_GT(p.x, 0.0);
  EXPECT_LT(p.x, 1e-9);
  // Longitude -180: Y is a tiny negative value.
  p = convert({0, -180, 0}, factor);
  EXPECT_LT(p.y, 0.0);
  EXPECT_GT(p.y, -1e-9);
}

TEST(Conversion, NoRangeCheck) {
  const double factor = degreeFactor();
  const CartesianPoint p = convert({100, 0, 0}, factor);
  const CartesianPoint want = reference({100, 0, 0});
  EXPECT_EQ(bits(p.x), bits(want.x));
  EXPECT_LT(p.x, 0.0);  // beyond the pole X turns negative
}

// NaN results by their bits: the leftmost NaN operand as the steps write
// them, quieted with its sign and payload; the NaN an invalid operation makes
// is 0xFFF8000000000000 on every processor.
constexpr std::uint64_t positiveNaN = 0x7FFFFFFFFFFFFFFF;  // `nan` as read
constexpr std::uint64_t negativeNaN = 0xFFFFFFFFFFFFFFFF;  // `-nan` as read
constexpr std::uint64_t invalidNaN = 0xFFF8000000000000;
constexpr std::uint64_t signallingNaN = 0x7FF0000000000001;
constexpr std::uint64_t plusInfinity = 0x7FF0000000000000;

struct NaNCase {
  std::uint64_t latitude, longitude, height;
  std::uint64_t x, y, z;
};

constexpr std::uint64_t zero = 0;
constexpr std::uint64_t fortyFive = 0x4046800000000000;

constexpr NaNCase nanCases[] = {
    {positiveNaN, zero, zero, positiveNaN, positiveNaN, positiveNaN},
    // N + h: N's NaN (from the latitude) comes before the height's.
    {positiveNaN, zero, negativeNaN, positiveNaN, positiveNaN, positiveNaN},
    {zero, positiveNaN, negativeNaN, negativeNaN, negativeNaN, negativeNaN},
    // t x cos(lon): t first, although the longitude is NaN too.
    {plusInfinity, positiveNaN, positiveNaN, invalidNaN, invalidNaN, invalidNaN},
    {fortyFive, negativeNaN, zero, negativeNaN, negativeNaN, 0},  // Z is finite
    // An infinite height times the sine of 0.
    {zero, zero, plusInfinity, plusInfinity, invalidNaN, invalidNaN},
    // A signalling NaN comes out quiet.
    {signallingNaN, zero, zero, 0x7FF8000000000001, 0x7FF8000000000001, 0x7FF8000000000001},
};

TEST(Conversion, NaNResultsFollowTheRule) {
  const double factor = degreeFactor();
  for (const auto& c : nanCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.latitude << " " << c.longitude << " "
                                    << c.height);
    const CartesianPoint got =
        convert({std::bit_cast<double>(c.latitude), std::bit_cast<double>(c.longitude),
                 std::bit_cast<double>(c.height)},
                factor);
    EXPECT_EQ(bits(got.x), c.x);
    EXPECT_EQ(bits(got.y), c.y);
    if (c.z != 0) {
      EXPECT_EQ(bits(got.z), c.z);
    } else {
      EXPECT_FALSE(std::isnan(got.z));
    }
  }
}

}  // namespace
}  // namespace geocart
