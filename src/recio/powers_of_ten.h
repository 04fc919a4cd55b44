// The powers of ten that 64 bits hold, for the reader's digits and the
// field editor's decimals.
#pragma once

#include <cstdint>

namespace recio {

// 10^0 to 10^19.
constexpr std::uint64_t integerPowersOfTen[] = {
    1ull,
    10ull,
    100ull,
    1000ull,
    10000ull,
    100000ull,
    1000000ull,
    10000000ull,
    100000000ull,
    1000000000ull,
    10000000000ull,
    100000000000ull,
    1000000000000ull,
    10000000000000ull,
    100000000000000ull,
    1000000000000000ull,
    10000000000000000ull,
    100000000000000000ull,
    1000000000000000000ull,
    10000000000000000000ull,
};

}  // namespace recio
