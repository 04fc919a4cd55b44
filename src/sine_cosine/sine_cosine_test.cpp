// sineCosine on its special values and on known results, by bits. The wide
// checks against MPFR are sine_cosine_check.cpp.
#include "sine_cosine.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

namespace geocart {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }
double fromBits(std::uint64_t b) { return std::bit_cast<double>(b); }

struct Case {
  double x, sin, cos;
};

// The exact values rounded to nearest (MPFR), around every boundary of the
// code: the tiny rule, the fast range's ends, the hardest-to-round arguments.
constexpr Case knownCases[] = {
    {0.0, 0.0, 1.0},
    {-0.0, -0.0, 1.0},
    {0x1p-1074, 0x1p-1074, 1.0},                       // smallest subnormal
    {-0x0.fffffffffffffp-1022, -0x0.fffffffffffffp-1022, 1.0},
    {0x1.fffffffffffffp-28, 0x1.fffffffffffffp-28, 1.0},  // below the fast range
    {0x1p-27, 0x1p-27, 1.0},                           // its first argument
    {0x1.6a09e667f3bcdp-27, 0x1.6a09e667f3bcdp-27, 0x1.fffffffffffffp-1},  // cos: 1 - 2^-53
    {0x1.8000000000009p-23, 0x1.7ffffffffffe5p-23, 0x1.fffffffffff7p-1},   // hardest cos known
    {0x1.e0000000001c2p-20, 0x1.dfffffffff02ep-20, 0x1.fffffffffc7cp-1},   // hardest sin known
    {1.0, 0x1.aed548f090ceep-1, 0x1.14a280fb5068cp-1},
    {-1.0, -0x1.aed548f090ceep-1, 0x1.14a280fb5068cp-1},
    {0x1.921fb54442d18p+0, 0x1p+0, 0x1.1a62633145c07p-54},  // the double nearest pi/2
    {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53, -0x1p+0},  // and pi
    {0x1.7b3ea8d267afcp-3, 0x1.7914bea476c81p-3, 0x1.f73f1fbdf2f3fp-1},  // 10.609924 degrees
    {0x1.fffffffffffffp+9, -0x1.44ad2614e9078p-3, 0x1.f98669d7aed15p-1},  // last fast argument
    {0x1p+10, -0x1.44ad2614e80abp-3, 0x1.f98669d7aedb8p-1},                // first beyond
    {0x1.fffffffffffffp+1023, 0x1.452fc98b34e97p-8, -0x1.fffe62ecfab75p-1},
};

TEST(SineCosine, KnownValuesExactly) {
  for (const auto& c : knownCases) {
    SCOPED_TRACE(testing::Message() << std::hexfloat << c.x);
    const SineCosine got = sineCosine(c.x);
    EXPECT_EQ(bits(got.sin), bits(c.sin));
    EXPECT_EQ(bits(got.cos), bits(c.cos));
  }
}

struct NanCase {
  std::uint64_t x, result;  // both sin and cos
};

// A NaN comes back quieted with its sign and payload; an infinity gives the
// NaN with the sign bit set, whatever the CPU would make.
constexpr NanCase nanCases[] = {
    {0x7ff8000000000000, 0x7ff8000000000000},
    {0xfff8000000000000, 0xfff8000000000000},
    {0x7ff8000000012345, 0x7ff8000000012345},
    {0x7ff0000000000001, 0x7ff8000000000001},  // signalling: quieted
    {0xfff4000000000abc, 0xfffc000000000abc},
    {0x7ff0000000000000, 0xfff8000000000000},  // +infinity
    {0xfff0000000000000, 0xfff8000000000000},  // -infinity
};

TEST(SineCosine, NanAndInfinityByTheirBits) {
  for (const auto& c : nanCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.x);
    const SineCosine got = sineCosine(fromBits(c.x));
    EXPECT_EQ(bits(got.sin), c.result);
    EXPECT_EQ(bits(got.cos), c.result);
  }
}

}  // namespace
}  // namespace geocart
