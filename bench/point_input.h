// The benchmark's points: a fixed, seeded sequence of labelled WGS84 points,
// written as text in the layout geocart reads and in the layouts of the
// tools it is compared with. The same index always gives the same line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace bench {

enum class Layout {
  geocart,      // latitude longitude height label
  lonLatH,      // longitude latitude height
  latLonH,      // latitude longitude height
  mixed,        // as geocart, in the other forms users' files hold (formatMixed)
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

// `units` / 10^decimals written with `kept` <= `decimals` decimals, the
// rest cut off (a different number, nearer to zero).
inline char* putShortened(char* p, std::int64_t units, int decimals, int kept) noexcept {
  std::int64_t scale = 1;
  for (int i = kept; i < decimals; ++i) scale *= 10;
  return putFixed(p, units / scale, kept);
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

// The number units / 10^decimals in one of the forms a user's file may
// hold, chosen by `form`: all the decimals, fewer (the text rounded down in
// magnitude, so a different number), none, the exponent form with seven
// significant digits (4.512e1), or all the decimals after a leading `+`
// when the number is not negative.
inline char* putMixed(char* p, std::int64_t units, int decimals, std::uint64_t form) noexcept {
  const std::uint64_t choice = form % 6;
  if (choice == 1 || choice == 2) {
    const int kept = choice == 2 ? 0 : static_cast<int>((form >> 8) % decimals);
    return putShortened(p, units, decimals, kept);
  }
  if (choice == 3 && units != 0) {
    // Seven significant digits and the power of ten of the first.
    if (units < 0) *p++ = '-';
    auto u = static_cast<std::uint64_t>(units < 0 ? -units : units);
    int exponent = -decimals;
    while (u >= 10000000) {
      u /= 10;
      ++exponent;
    }
    while (u < 1000000) {
      u *= 10;
      --exponent;
    }
    exponent += 6;
    p = putFixed(p, static_cast<std::int64_t>(u), 6);
    *p++ = 'e';
    if (exponent < 0) {
      *p++ = '-';
      exponent = -exponent;
    }
    if (exponent >= 10) *p++ = static_cast<char>('0' + exponent / 10);
    *p++ = static_cast<char>('0' + exponent % 10);
    return p;
  }
  if (choice == 4 && units >= 0) *p++ = '+';
  return putFixed(p, units, decimals);
}

// A separator between values: a blank, a comma, a comma and a blank, or a tab.
inline char* putSeparator(char* p, std::uint64_t form) noexcept {
  switch (form % 4) {
    case 0: *p++ = ' '; break;
    case 1: *p++ = ','; break;
    case 2: *p++ = ','; *p++ = ' '; break;
    default: *p++ = '\t'; break;
  }
  return p;
}

// The label of point `index`: P and seven digits of index + 1, eight
// characters, as the label holds.
inline char* putLabel(char* p, std::uint64_t index) noexcept {
  char label[8] = {'P', '0', '0', '0', '0', '0', '0', '0'};
  std::uint64_t n = (index + 1) % 10000000;
  for (int i = 7; i >= 1 && n != 0; --i, n /= 10) label[i] = static_cast<char>('0' + n % 10);
  std::memcpy(p, label, 8);
  return p + 8;
}

// Longest line written by formatPoint, newline included.
inline constexpr std::size_t maxLineLength = 96;

// One line for point `index` (counted from 0) in `layout`, newline included;
// returns its length.
inline std::size_t formatPoint(std::uint64_t index, Layout layout, char* line) noexcept {
  const PointFields f = pointFields(index);
  char* p = line;
  if (layout == Layout::mixed) {
    const std::uint64_t form = mix(pointSeed, index, 4);
    p = putMixed(p, f.latitudeNano, 9, form);
    p = putSeparator(p, form >> 16);
    p = putMixed(p, f.longitudeNano, 9, form >> 20);
    p = putSeparator(p, form >> 36);
    p = putMixed(p, f.heightTenThousandths, 4, form >> 40);
    p = putSeparator(p, form >> 56);
    // Labels: P and seven digits, quoted with a blank, longer than 8, short.
    const std::uint64_t n = (index + 1) % 10000000;
    switch ((form >> 60) % 4) {
      case 0: p += std::snprintf(p, 16, "P%07llu", static_cast<unsigned long long>(n)); break;
      case 1: p += std::snprintf(p, 16, "'P %05llu'", static_cast<unsigned long long>(n % 100000)); break;
      case 2: p += std::snprintf(p, 20, "STATION-%07llu", static_cast<unsigned long long>(n)); break;
      default: p += std::snprintf(p, 16, "S%llu", static_cast<unsigned long long>(n % 1000)); break;
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - line);
  }
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
    case Layout::mixed:
      break;
  }
  *p++ = ' ';
  p = putFixed(p, f.heightTenThousandths, 4);
  if (layout == Layout::geocart) {
    *p++ = ' ';
    p = putLabel(p, index);
  }
  *p++ = '\n';
  return static_cast<std::size_t>(p - line);
}

}  // namespace bench
