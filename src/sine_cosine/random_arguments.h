// The random arguments of the sine and cosine checks: the i-th of a seed is
// the same whatever the thread, build or machine that draws it.
#pragma once

#include <bit>
#include <cstdint>

inline std::uint64_t splitMix(std::uint64_t z) {
  z += 0x9e3779b97f4a7c15;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
  return z ^ (z >> 31);
}

// Even i: a random sign, a biased exponent from 0 (subnormals) to 2046 and a
// random significand, so every binade; odd i: uniform in (-8, 8).
inline double randomArgument(std::uint64_t seed, std::uint64_t i) {
  const std::uint64_t a = splitMix(seed * 0x100000001b3 + 2 * i);
  const std::uint64_t b = splitMix(seed * 0x100000001b3 + 2 * i + 1);
  const std::uint64_t sign = a & (std::uint64_t{1} << 63);
  if (i % 2 == 0) {
    const std::uint64_t exponent = b % 2047;
    return std::bit_cast<double>(sign | (exponent << 52) | (a & ((std::uint64_t{1} << 52) - 1)));
  }
  const double uniform = static_cast<double>(b >> 11) * 0x1p-53 * 8.0;
  return sign != 0 ? -uniform : uniform;
}
