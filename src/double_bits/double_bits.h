// The bit patterns of an IEEE 754 double (binary64) that the code names,
// seen through std::bit_cast<std::uint64_t>.
#pragma once

#include <cstdint>

namespace doublebits {

inline constexpr std::uint64_t signMask = std::uint64_t{1} << 63;
// The biased exponent's bits, all set: also the pattern of +infinity.
inline constexpr std::uint64_t exponentMask = std::uint64_t{0x7ff} << 52;
inline constexpr std::uint64_t fractionMask = (std::uint64_t{1} << 52) - 1;
// The fraction's top bit, which makes a NaN quiet.
inline constexpr std::uint64_t quietBit = std::uint64_t{1} << 51;
// The NaN an invalid operation gives on x86-64 (0xFFF8000000000000): the
// sign set and the quiet bit alone in the fraction.
inline constexpr std::uint64_t invalidNaN = signMask | exponentMask | quietBit;

static_assert(invalidNaN == 0xFFF8000000000000);

}  // namespace doublebits
