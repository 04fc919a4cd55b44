// Copies of at most 16 bytes without a call or a byte loop, for the short
// fields and labels handled once per value on the per-point path, and eight
// bytes moved as one word.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace recio {

// Copies n <= 16 bytes with at most two overlapping moves of each size.
inline void copyShort(char* to, const char* from, std::size_t n) noexcept {
  if (n >= 8) {
    std::uint64_t a, b;
    std::memcpy(&a, from, 8);
    std::memcpy(&b, from + n - 8, 8);
    std::memcpy(to, &a, 8);
    std::memcpy(to + n - 8, &b, 8);
  } else if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, from, 4);
    std::memcpy(&b, from + n - 4, 4);
    std::memcpy(to, &a, 4);
    std::memcpy(to + n - 4, &b, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

// Sets n <= 16 bytes to blanks.
inline void blankShort(char* to, std::size_t n) noexcept {
  static constexpr char blanks[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  copyShort(to, blanks, n);
}

// Eight bytes as a word in little-endian order: the first in the lowest
// byte, whatever the machine's order, so that a byte's place in the word
// is its place in memory.
inline std::uint64_t loadEight(const char* p) noexcept {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// Stores a word as loadEight reads it.
inline void storeEight(char* p, std::uint64_t word) noexcept {
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  std::memcpy(p, &word, 8);
}

}  // namespace recio
