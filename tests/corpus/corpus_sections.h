// The sections of the corpus that every build of geocart must convert to the
// same bytes, one labelled group a line, from a fixed seed: the same count
// always gives the same lines. The values are written from integers only,
// so the text does not depend on the machine or the library that makes it.
// gen_corpus writes them; the result-line tests convert them.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "point_input.h"

namespace corpus {

inline constexpr std::uint64_t corpusSeed = 0x6A09E667F3BCC908ull;

// Longest line of a section, newline included.
inline constexpr std::size_t maxLine = 256;

// The values of the special section, each for latitude, longitude and
// height: zeros of both signs, the poles, the antimeridian, a subnormal,
// huge values, 2^53, infinities and NaNs of both signs, and values beyond
// the largest double (read as infinities).
inline constexpr std::array<std::string_view, 18> specialValues = {
    "0",     "-0",
    "90",    "-90",   "180",  "-180", "45",
    "1e-320",
    "1e300", "-1e300", "1e22", "9007199254740992",
    "inf",   "-inf",  "nan",  "-nan",
    "1e400", "-1e400"};

// A point whose Z is printed one unit apart by the math libraries chosen
// for CPUs with and without FMA.
inline constexpr std::string_view lastBitPoint = "10.609924 0 100.74637 K0000001\n";

// A letter and the seven last digits of index + 1: eight characters that
// read the same as an argument and in a record group.
inline char* putLabel(char* p, char letter, std::uint64_t index) {
  *p++ = letter;
  std::uint64_t n = (index + 1) % 10000000;
  for (int i = 7; i >= 1; --i, n /= 10) p[i - 1] = static_cast<char>('0' + n % 10);
  return p + 7;
}

// Seven significant digits times 10^exponent, in the exponent form:
// -d.dddddde-NNN.
inline char* putScientific(char* p, std::uint64_t word, int exponent) {
  if (word & 1) *p++ = '-';
  const auto digits = static_cast<std::int64_t>(1000000 + (word >> 1) % 9000000);
  p = bench::putFixed(p, digits, 6);
  *p++ = 'e';
  return std::to_chars(p, p + 8, exponent).ptr;
}

// An angle for the extreme section: ordinary, tiny (down to the subnormals
// and below, read as zero) or huge (up to the largest doubles), by `kind`.
inline char* putExtreme(char* p, std::uint64_t word, std::uint64_t kind,
                        std::int64_t ordinaryNano) {
  switch (kind % 3) {
    case 0: return bench::putFixed(p, ordinaryNano, 9);
    case 1: return putScientific(p, word, -static_cast<int>(5 + (word >> 40) % 326));
    default: return putScientific(p, word, static_cast<int>(3 + (word >> 40) % 306));
  }
}

// Line `i` of each section written at `text`, which has room for maxLine
// bytes; returns its length, the newline included.

// Every combination of the special values, then the last-bit point.
inline constexpr std::uint64_t specialCount =
    specialValues.size() * specialValues.size() * specialValues.size() + 1;

inline std::size_t specialLine(std::uint64_t i, char* text) {
  if (i + 1 == specialCount) {
    std::copy(lastBitPoint.begin(), lastBitPoint.end(), text);
    return lastBitPoint.size();
  }
  const std::size_t n = specialValues.size();
  const std::string_view values[3] = {specialValues[i / (n * n)], specialValues[i / n % n],
                                      specialValues[i % n]};
  char* p = text;
  for (const std::string_view value : values) {
    p = std::copy(value.begin(), value.end(), p);
    *p++ = ' ';
  }
  p = putLabel(p, 'S', i);
  *p++ = '\n';
  return static_cast<std::size_t>(p - text);
}

// Tiny and huge angles and heights.
inline std::size_t extremeLine(std::uint64_t i, char* text) {
  const std::uint64_t kind = bench::mix(corpusSeed, i, 10);
  const bench::PointFields f = bench::pointFields(bench::mix(corpusSeed, i, 11));
  char* p = text;
  p = putExtreme(p, bench::mix(corpusSeed, i, 12), kind, f.latitudeNano);
  *p++ = ' ';
  p = putExtreme(p, bench::mix(corpusSeed, i, 13), kind >> 8, f.longitudeNano);
  *p++ = ' ';
  // A height out of the ordinary for one point in four.
  if ((kind >> 16) % 4 == 0) {
    p = putExtreme(p, bench::mix(corpusSeed, i, 14), 1 + (kind >> 24) % 2, 0);
  } else {
    p = bench::putFixed(p, f.heightTenThousandths, 4);
  }
  *p++ = ' ';
  p = putLabel(p, 'E', i);
  *p++ = '\n';
  return static_cast<std::size_t>(p - text);
}

// Points on and near the Earth, in the forms users' files hold.
inline std::size_t ordinaryLine(std::uint64_t i, char* text) {
  const bench::PointFields f = bench::pointFields(bench::mix(corpusSeed, i, 20));
  const std::uint64_t form = bench::mix(corpusSeed, i, 21);
  char* p = text;
  p = bench::putMixed(p, f.latitudeNano, 9, form);
  p = bench::putSeparator(p, form >> 16);
  p = bench::putMixed(p, f.longitudeNano, 9, form >> 20);
  p = bench::putSeparator(p, form >> 36);
  p = bench::putMixed(p, f.heightTenThousandths, 4, form >> 40);
  p = bench::putSeparator(p, form >> 56);
  p = putLabel(p, 'P', i);
  *p++ = '\n';
  return static_cast<std::size_t>(p - text);
}

}  // namespace corpus
