// The benchmark's points: a fixed, seeded sequence of labelled WGS84 points,
// written as text in the layout geocart reads and in the layouts of the
// tools it is compared with. The same index always gives the same line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bench {

enum class Layout {
  geocart,      // latitude longitude height label
  lonLatH,      // longitude latitude height
  latLonH,      // latitude longitude height
};

// Seed of every benchmark and checksum input; changing it changes the
// recorded checksums.
inline constexpr std::uint64_t pointSeed = 0x9E3779B97F4A7C15ull;

// splitmix64: one well-mixed word per (seed, index, stream), no state.
inline std::uint64_t mix(std::uint64_t seed, std::uint64_t index, std::uint64_t stream) noexcept {
  std::uint64_t z = seed + index * 0x9E3779B97F4A7C15ull + stream * 0xD1B54A32D192ED03ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Writes `units` / 10^decimals with exactly `decimals` fraction digits.
inline char* putFixed(char* p, std::int64_t units, int decimals) noexcept {
  if (units < 0) {
    *p++ = '-';
    units = -units;
  }
  char digits[32];
  int n = 0;
  auto u = static_cast<std::uint64_t>(units);
  do {
    digits[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0 || n <= decimals);
  for (int i = n - 1; i >= 0; --i) {
    *p++ = digits[i];
    if (i == decimals && decimals > 0) *p++ = '.';
  }
  return p;
}

struct PointFields {
  std::int64_t latitudeNano;   // degrees * 10^9, within [-90, 90]
  std::int64_t longitudeNano;  // degrees * 10^9, within [-180, 180]
  std::int64_t heightTenThousandths;  // metres * 10^4, within [-500, 9000]
};

inline PointFields pointFields(std::uint64_t index) noexcept {
  PointFields f;
  f.latitudeNano = static_cast<std::int64_t>(mix(pointSeed, index, 1) % 180000000001ull) -
                   90000000000ll;
  f.longitudeNano = static_cast<std::int64_t>(mix(pointSeed, index, 2) % 360000000001ull) -
                    180000000000ll;
  f.heightTenThousandths =
      static_cast<std::int64_t>(mix(pointSeed, index, 3) % 95000001ull) - 5000000ll;
  return f;
}

// Longest line written by formatPoint, newline included.
inline constexpr std::size_t maxLineLength = 96;

// One line for point `index` (counted from 0) in `layout`, newline included;
// returns its length.
inline std::size_t formatPoint(std::uint64_t index, Layout layout, char* line) noexcept {
  const PointFields f = pointFields(index);
  char* p = line;
  switch (layout) {
    case Layout::geocart:
    case Layout::latLonH:
      p = putFixed(p, f.latitudeNano, 9);
      *p++ = ' ';
      p = putFixed(p, f.longitudeNano, 9);
      break;
    case Layout::lonLatH:
      p = putFixed(p, f.longitudeNano, 9);
      *p++ = ' ';
      p = putFixed(p, f.latitudeNano, 9);
      break;
  }
  *p++ = ' ';
  p = putFixed(p, f.heightTenThousandths, 4);
  if (layout == Layout::geocart) {
    // P and seven digits of the index: eight characters, as the label holds.
    char label[8] = {'P', '0', '0', '0', '0', '0', '0', '0'};
    std::uint64_t n = (index + 1) % 10000000;
    for (int i = 7; i >= 1 && n != 0; --i, n /= 10) label[i] = static_cast<char>('0' + n % 10);
    *p++ = ' ';
    std::memcpy(p, label, 8);
    p += 8;
  }
  *p++ = '\n';
  return static_cast<std::size_t>(p - line);
}

}  // namespace bench
