// Fixed-length, blank-padded character strings with no terminator.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace recio {

template <std::size_t N>
struct FixedString {
  char chars[N];

  FixedString() noexcept { std::memset(chars, ' ', N); }

  // Assignment keeps the leftmost N characters and pads with blanks.
  void assign(std::string_view text) noexcept {
    const std::size_t n = std::min(N, text.size());
    std::memcpy(chars, text.data(), n);
    std::memset(chars + n, ' ', N - n);
  }

  // True when every character is a blank (equal to " " under blank padding).
  bool isBlank() const noexcept {
    // One comparison of whole words rather than a byte loop.
    static constexpr auto blanks = [] {
      std::array<char, N> a{};
      a.fill(' ');
      return a;
    }();
    return std::memcmp(chars, blanks.data(), N) == 0;
  }

  std::string_view view() const noexcept { return {chars, N}; }
  static constexpr std::size_t size() noexcept { return N; }
};

}  // namespace recio
