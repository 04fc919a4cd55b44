// The WGS84 conversion against expectations worked out apart from it: the
// documented results as the tool prints them, X, Y and Z to the last bit,
// and the rule for NaN results.
#include "conversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "field_editor.h"

namespace geocart {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST(Conversion, DegreeFactorIsPiOver180InDoublePrecision) {
  // The double nearest to pi/180.
  EXPECT_EQ(bits(degreeFactor()), bits(0x1.1df46a2529d39p-6));
}

// The documented results, as the tool prints them (F15.4 of each): at the
// pole X is a tiny positive value and at longitude -180 Y a tiny negative
// one, both printed as an unsigned zero.
struct PrintedCase {
  GeodeticPoint in;
  std::string_view x, y, z;
};

constexpr PrintedCase printedCases[] = {
    {{0, 0, 0}, "   6378137.0000", "         0.0000", "         0.0000"},
    {{90, 0, 0}, "         0.0000", "         0.0000", "   6356752.3142"},
    {{0, 90, 0}, "         0.0000", "   6378137.0000", "         0.0000"},
    {{0, 180, 0}, "  -6378137.0000", "         0.0000", "         0.0000"},
    {{45, 45, 100}, "   3194469.1451", "   3194469.1451", "   4487419.1195"},
    {{-33.5, 151.25, 50}, "  -4667790.8016", "   2560837.7258", "  -3500361.8849"},
    {{0, -180, 0}, "  -6378137.0000", "         0.0000", "         0.0000"},
};

std::string printed(double v) {
  std::string field(15, '?');
  recio::editFixed(v, 15, 4, field.data());
  return field;
}

TEST(Conversion, GivesTheDocumentedResults) {
  const double factor = degreeFactor();
  for (const auto& c : printedCases) {
    SCOPED_TRACE(testing::Message() << c.in.latitude << " " << c.in.longitude << " "
                                    << c.in.height);
    const CartesianPoint got = convert(c.in, factor);
    EXPECT_EQ(printed(got.x), c.x);
    EXPECT_EQ(printed(got.y), c.y);
    EXPECT_EQ(printed(got.z), c.z);
  }
}

// X, Y and Z to the last bit: every operation rounded to double in the
// documented order, the sine and cosine correctly rounded, worked out with
// MPFR by proofs/conversion_table.cpp (built with the project where MPFR is
// found), which printed these rows as the output of (one command line)
//   build/proofs/conversion_table 0 0 0 90 0 0 0 90 0 0 180 0 45 45 100
//     -33.5 151.25 50 0 -180 0 100 0 0 51.4778 -0.0014 45.87
//     -89.999999 179.999999 -100.5 12.345678901 -98.765432109 8848.86
//     -45 -45 -10000 33.5 -151.25 1000000 -0.0001 0.0001 -6378137
// Beyond the pole (latitude 100) X turns negative and Y is a negative zero;
// a height of minus the semi-major axis leaves X, Y and Z small.
struct ExactCase {
  GeodeticPoint in;
  double x, y, z;
};

constexpr ExactCase exactCases[] = {
    {{0, 0, 0}, 0x1.854a64p+22, 0x0p+0, 0x0p+0},
    {{90, 0, 0}, 0x1.aedb5f94318d2p-32, 0x0p+0, 0x1.83fc4141c97dp+22},
    {{0, 90, 0}, 0x1.ad698f78f9fadp-32, 0x1.854a64p+22, 0x0p+0},
    {{0, 180, 0}, -0x1.854a64p+22, 0x1.ad698f78f9fadp-31, 0x0p+0},
    {{45, 45, 100}, 0x1.85f329291584cp+21, 0x1.85f329291584bp+21, 0x1.11e3ec7a69c0ap+22},
    {{-33.5, 151.25, 50}, -0x1.1ce63b34cacd4p+22, 0x1.389a2dce63bacp+21, -0x1.ab4a4f1437929p+21},
    {{0, -180, 0}, -0x1.854a64p+22, -0x1.ad698f78f9fadp-31, 0x0p+0},
    {{100, 0, 0}, -0x1.0f47cdeed67aap+20, -0x0p+0, 0x1.7e0d5bd817e7bp+22},
    {{51.4778, -0.0014, 45.87},
     0x1.e5ea0e3ba5cc9p+21, -0x1.850eff454a144p+6, 0x1.2f2731a2fbc13p+22},
    {{-89.999999, 179.999999, -100.5},
     -0x1.c97dc953b084ep-4, 0x1.0bec500fc9eefp-29, -0x1.83faaf41c97cfp+22},
    {{12.345678901, -98.765432109, 8848.86},
     -0x1.d054825fa94cdp+19, -0x1.786d00e4434cbp+22, 0x1.4b382ea0c211p+20},
    {{-45, -45, -10000}, 0x1.855559291584cp+21, -0x1.855559291584bp+21, -0x1.1174555d3d462p+22},
    {{33.5, -151.25, 1000000},
     -0x1.4984f108ab3e6p+22, -0x1.698f9b171289ap+21, 0x1.eea97a2fc9f4p+21},
    {{-0.0001, 0.0001, -6378137},
     0x1.17fffffffc562p-24, 0x1.003727cf5ea24p-43, 0x1.313d7412f3d65p-4},
};

TEST(Conversion, RoundsEveryStepAsDocumented) {
  const double factor = degreeFactor();
  for (const auto& c : exactCases) {
    SCOPED_TRACE(testing::Message() << c.in.latitude << " " << c.in.longitude << " "
                                    << c.in.height);
    const CartesianPoint got = convert(c.in, factor);
    EXPECT_EQ(bits(got.x), bits(c.x)) << std::hexfloat << got.x;
    EXPECT_EQ(bits(got.y), bits(c.y)) << std::hexfloat << got.y;
    EXPECT_EQ(bits(got.z), bits(c.z)) << std::hexfloat << got.z;
  }
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
