// A seeded sequence of well-mixed 64-bit words (splitmix64) for the proof
// programs: the same seed gives the same values on every machine.
#pragma once

#include <cstdint>

struct RandomWords {
  std::uint64_t state;

  std::uint64_t next() noexcept {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};
