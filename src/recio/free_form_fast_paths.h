// The free-form reader's fast paths over the characters its source has
// already fetched, and the character classes and text assignment they share
// with the reading steps. Included by the reader alone: every function here
// is the common case of a reading step, inlined into the step's entry.
//
// Each handles the common form of an item straight from the source's block
// and gives up, having taken nothing, whenever the form is not that common
// one or its end is not yet in the block; the character-by-character steps
// then read the item as if the fast path had never looked.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "char_source.h"
#include "reader_state.h"
#include "short_copy.h"

namespace recio::freeform {

// Blanks between values: space, tab and line end.
inline bool isBlank(int c) noexcept { return c == ' ' || c == '\t' || c == '\n'; }

inline bool isDigit(int c) noexcept { return c >= '0' && c <= '9'; }

inline bool isQuote(int c) noexcept { return c == '\'' || c == '"' || c == 2; }

// Assigns the current text value to `length` characters, blank-padded.
inline void assignText(const ReaderState& state, char* target, std::int32_t length) noexcept {
  if (length <= 0) return;
  const std::size_t n = std::min(state.textKept, static_cast<std::size_t>(length));
  if (n > 0) std::memcpy(target, state.text, n);
  std::memset(target + n, ' ', static_cast<std::size_t>(length) - n);
}

// Exact powers of ten: every one up to 10^22 is a double.
constexpr double exactPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};
constexpr std::uint64_t integerPowersOfTen[] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull,
};
constexpr std::uint64_t exactSignificandLimit = std::uint64_t{1} << 53;
// More digits than this may not fit in 64 bits; such texts take the exact path.
constexpr int plainDigitLimit = 19;

// Characters that end a plain number and cannot continue any form of the
// number scanner, nor make it a repeat count.
inline bool endsPlainNumber(char c) noexcept {
  return c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '/';
}

// Steps 1 to 3 of an item that starts a value, when all they read lies in
// the block: no end of input, slash or pending repeat, the blanks and at
// most one comma before the value, and the value's first character, which
// is not a comma or slash. Leaves the state as beginItem leaves it when it
// returns true; takes nothing and returns false otherwise.
[[gnu::always_inline]] inline bool positionInBlock(ReaderState& state) noexcept {
  if (state.ended || state.stop || state.repeat > 0) return false;
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  const char* p = begin;
  while (p != end && isBlank(static_cast<unsigned char>(*p))) ++p;
  if (p == end) return false;
  if (*p == ',') [[unlikely]] {
    // Before the first item a comma makes that item null.
    if (state.firstItem) return false;
    ++p;
    while (p != end && isBlank(static_cast<unsigned char>(*p))) ++p;
    if (p == end) return false;
  }
  if (*p == ',' || *p == '/') return false;
  source.skip(static_cast<std::size_t>(p - begin));
  state.firstItem = false;
  state.kind = ValueKind::null;
  return true;
}

// Eight characters as a little-endian word: the first in the lowest byte.
inline std::uint64_t loadEight(const char* p) noexcept {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// Eight digit values 0-9, one a byte with the first (most significant) in
// the lowest byte, as the number they write: pairs first, then the two
// four-digit halves.
inline std::uint64_t eightDigitValue(std::uint64_t v) noexcept {
  v = (v * 10) + (v >> 8);  // pairs of digits in every other byte
  return (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}

// The digits at p, eight characters of which are readable: returns how many
// of the eight are digits before the first that is not (0 to 8), and puts
// the number those write into `value`.
//
// A character c is a digit when t = c ^ '0' is below 10: t + 0x76 then has
// its top bit clear, and so has t. A character after one that is not a digit
// may see a carry from it, which does not matter: only the first
// non-digit's place is used. The digits, moved to the top of the word with
// zero bytes in front, convert as eight digits with leading zeros.
inline int leadingDigits(const char* p, std::uint64_t& value) noexcept {
  const std::uint64_t t = loadEight(p) ^ 0x3030303030303030ull;
  const std::uint64_t notDigit = ((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull;
  const int n = std::countr_zero(notDigit) >> 3;  // 8 when all are digits
  value = n == 0 ? 0 : eightDigitValue(t << (64 - 8 * n));
  return n;
}

// A run of digits at p of at most `room` digits counted towards the limit,
// read eight at a time: adds them to w and returns their count, or returns
// -1 when the run is longer than `room`. At least room + 8 characters from
// p must be readable.
inline int digitRun(const char* p, int room, std::uint64_t& w) noexcept {
  int total = 0;
  for (;;) {
    std::uint64_t value;
    const int n = leadingDigits(p + total, value);
    total += n;
    if (total > room) return -1;
    w = w * integerPowersOfTen[n] + value;
    if (n < 8) return total;
  }
}

// The same run read one character at a time, for the end of the block:
// stops at `end`.
inline int shortDigitRun(const char* p, const char* end, int room, std::uint64_t& w) noexcept {
  int total = 0;
  for (unsigned d; p + total != end && (d = static_cast<unsigned char>(p[total]) - unsigned{'0'}) < 10;) {
    if (++total > room) return -1;
    w = w * 10 + d;
  }
  return total;
}

// Where the characters of a word (see loadEight) that are not digits are:
// the top bit of each such byte set, exactly for the first one. A character
// c is a digit when t = c ^ '0' is below 10: t + 0x76 then has its top bit
// clear, and so has t. A character after one that is not a digit may see a
// carry from it; a '.' gives none.
inline std::uint64_t notDigits(std::uint64_t t) noexcept {
  return ((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull;
}

// The common number in one step, from the 16 characters at p (and the one
// after them): at most seven integer digits, then either the end of the
// digits or a point and a fraction ending within the 16. Returns the
// characters it covers (the next one is where the number ends), with w and
// k set as readPlainReal says; 0 when the number is not of this form or has
// no digit.
//
// With t the characters ^ '0' in two words, the first flag of the first
// word is the end of the integer digits (a of them); when it is a point,
// the next flag, in either word, is the end of the fraction, b characters
// from p. The digit values then go to one 128-bit string, the point's byte
// taken out (the integer digits moved up one byte over it), the bytes from
// b on cleared, and the whole moved to the top: its b - 1 digits, with
// leading zeros in front, are the first and second eight of a 16-digit
// number. A flag word f gives the bytes up to and including its first
// flagged one as f ^ (f - 1), the flag being each byte's top bit.
inline int commonNumber(const char* p, std::uint64_t& w, int& k) noexcept {
  const std::uint64_t tl = loadEight(p) ^ 0x3030303030303030ull;
  std::uint64_t fl = notDigits(tl);
  if (fl == 0) return 0;
  const int a = std::countr_zero(fl) >> 3;
  if (p[a] != '.') {
    if (a == 0) return 0;
    w = eightDigitValue(tl << (64 - 8 * a));
    k = 0;
    return a;
  }
  const std::uint64_t throughPoint = fl ^ (fl - 1);
  const std::uint64_t digitsLow = ((tl << 8) & throughPoint) | (tl & ~throughPoint);
  fl &= fl - 1;
  int b;
  if (fl != 0) {
    b = std::countr_zero(fl) >> 3;
    // A point with no digit on either side is no number.
    if (b == 1) return 0;
    w = eightDigitValue((digitsLow & ((fl ^ (fl - 1)) >> 8)) << (64 - 8 * b));
  } else {
    const std::uint64_t th = loadEight(p + 8) ^ 0x3030303030303030ull;
    const std::uint64_t fh = notDigits(th);
    if (fh == 0) return 0;
    b = 8 + (std::countr_zero(fh) >> 3);
    const std::uint64_t digitsHigh = th & ((fh ^ (fh - 1)) >> 8);
    if (b == 8) {
      w = eightDigitValue(digitsLow);
    } else {
      const int s = 8 * (16 - b);  // 8 to 56
      w = eightDigitValue(digitsLow << s) * 100000000 +
          eightDigitValue((digitsHigh << s) | (digitsLow >> (64 - s)));
    }
  }
  k = b - a - 1;
  return b;
}

// Characters a plain number needs in the block past its start: sign, 19
// digits, point, the next character, and the eight read past a run's end,
// so that no run needs the end of the block checked.
constexpr std::ptrdiff_t wholeNumber = 1 + plainDigitLimit + 1 + 1 + 8;

// A plain number (as readPlainReal) at p, with wholeNumber characters from p
// in the block: returns where it ends (at the blank, comma, line end or
// slash after it), with `value` set; nullptr when it is not one.
[[gnu::always_inline]] inline const char* wholePlainReal(const char* p, double& value) noexcept {
  const bool negative = *p == '-';
  if (negative || *p == '+') ++p;
  std::uint64_t w = 0;
  int fractionDigits = 0;
  if (const int covered = commonNumber(p, w, fractionDigits); covered != 0) [[likely]] {
    // At most 15 digits: w < 2^53.
    p += covered;
  } else {
    const int integerDigits = digitRun(p, plainDigitLimit, w);
    if (integerDigits < 0) return nullptr;
    p += integerDigits;
    if (*p == '.') {
      ++p;
      fractionDigits = digitRun(p, plainDigitLimit - integerDigits, w);
      if (fractionDigits < 0) return nullptr;
      p += fractionDigits;
    }
    if (integerDigits + fractionDigits == 0) return nullptr;
    if (w > exactSignificandLimit) return nullptr;
  }
  if (!endsPlainNumber(*p)) return nullptr;
  value = static_cast<double>(w);
  if (fractionDigits > 0) value /= exactPowersOfTen[fractionDigits];
  if (negative) value = -value;
  return p;
}

// Where an item's value starts in the block: past the blanks and the one
// comma between values that the item's first steps would take, before
// `limit`. nullptr when those steps need the character-by-character path
// (the block ends first, or a comma before the first item makes it null).
[[gnu::always_inline]] inline const char* valueStartInBlock(const ReaderState& state,
                                                            const char* begin,
                                                            const char* limit) noexcept {
  const char* p = begin;
  while (isBlank(static_cast<unsigned char>(*p))) {
    if (++p == limit) return nullptr;
  }
  if (*p == ',') [[unlikely]] {
    if (state.firstItem) return nullptr;
    do {
      if (++p == limit) return nullptr;
    } while (isBlank(static_cast<unsigned char>(*p)));
  }
  return p;
}

// An item's first steps and a plain number, all in the block with room to
// spare, as positionInBlock and readPlainReal together: stores the value
// and takes the characters; takes nothing and returns false otherwise.
[[gnu::always_inline]] inline bool readRealInBlock(ReaderState& state, double& target) noexcept {
  if (state.ended || state.stop || state.repeat > 0) return false;
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (end - begin <= wholeNumber) return false;
  // The value's first character stays before `limit`, so the number has
  // its wholeNumber characters.
  const char* const limit = end - wholeNumber;
  const char* const p = valueStartInBlock(state, begin, limit);
  if (p == nullptr) return false;
  // A comma or slash here is no number either.
  double value;
  const char* const after = wholePlainReal(p, value);
  if (after == nullptr) return false;
  source.skip(static_cast<std::size_t>(after - begin));
  state.firstItem = false;
  state.kind = ValueKind::real;
  state.real = value;
  target = value;
  ++state.assigned;
  return true;
}

// A real written as an optional sign, digits with at most one point, no
// exponent, followed in the block by a blank, comma, line end or slash.
// With w its digits read as an integer and k the digits after the point,
// the value is w / 10^k; when w < 2^53 and k <= 22 both are doubles exactly,
// so one correctly rounded division (or no operation at all for k = 0)
// gives the correctly rounded value of the decimal text, the same double
// as the exact conversion. With 19 digits at most, w fits in 64 bits.
inline bool readPlainReal(ReaderState& state, double& target) noexcept {
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  double value;
  const char* p = begin;
  if (end - begin >= wholeNumber) {
    p = wholePlainReal(begin, value);
    if (p == nullptr) return false;
  } else {
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t w = 0;
    const int integerDigits = shortDigitRun(p, end, plainDigitLimit, w);
    if (integerDigits < 0) return false;
    p += integerDigits;
    int fractionDigits = 0;
    if (p != end && *p == '.') {
      ++p;
      fractionDigits = shortDigitRun(p, end, plainDigitLimit - integerDigits, w);
      if (fractionDigits < 0) return false;
      p += fractionDigits;
    }
    if (integerDigits + fractionDigits == 0 || p == end || !endsPlainNumber(*p)) return false;
    if (w > exactSignificandLimit) return false;
    value = static_cast<double>(w);
    if (fractionDigits > 0) value /= exactPowersOfTen[fractionDigits];
    if (*begin == '-') value = -value;
  }
  source.skip(static_cast<std::size_t>(p - begin));
  state.kind = ValueKind::real;
  state.real = value;
  target = value;
  ++state.assigned;
  return true;
}

// Ends an unquoted text value in the block.
inline bool endsUnquoted(char c) noexcept {
  return c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '/';
}

// An unquoted text value that ends in the block, not after a backslash at a
// line end, with no repeat count, when the text buffer already has room for
// what the target keeps of it.
[[gnu::always_inline]] inline bool readPlainText(ReaderState& state, char* target,
                                                std::int32_t length) noexcept {
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (begin == end) return false;
  const int first = static_cast<unsigned char>(*begin);
  if (isDigit(first) || isQuote(first)) return false;
  // Every character that ends the value, and the NUL that ends what is
  // kept, lies below '0': whole words without one are passed in one step
  // (a byte below '0' sets its top bit in b - 0x30 & ~b; bytes above the
  // first such one may be marked wrongly, so only the first is used).
  const char* p = begin;
  const char* nul = nullptr;
  for (;;) {
    while (end - p >= 8) {
      const std::uint64_t b = loadEight(p);
      const std::uint64_t below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
      if (below != 0) {
        p += std::countr_zero(below) >> 3;
        break;
      }
      p += 8;
    }
    if (p == end) return false;
    if (endsUnquoted(*p)) break;
    if (*p == 0 && nul == nullptr) nul = p;
    ++p;
  }
  if (p == begin) return false;
  if (*p == '\n' && p[-1] == '\\') return false;
  std::size_t kept = std::min(static_cast<std::size_t>((nul != nullptr ? nul : p) - begin),
                              static_cast<std::size_t>(length > 0 ? length : 0));
  if (kept > state.textCapacity) return false;
  if (kept <= 16) {
    copyShort(state.text, begin, kept);
  } else {
    std::memcpy(state.text, begin, kept);
  }
  state.textKept = kept;
  source.skip(static_cast<std::size_t>(p - begin));
  state.kind = ValueKind::text;
  ++state.assigned;
  if (length > 0 && length <= 16) {
    const auto n = static_cast<std::size_t>(length);
    copyShort(target, begin, kept);
    if (kept < n) {
      char blanks[16];
      std::memset(blanks, ' ', sizeof blanks);
      copyShort(target + kept, blanks, n - kept);
    }
  } else {
    assignText(state, target, length);
  }
  return true;
}

// An item's first steps and an unquoted text value of at most 15
// characters, each at least '0' (no blank, comma, slash, NUL, sign or
// point in it), for a target of at most 16, all in the block with room to
// spare, as positionInBlock and readPlainText together: assigns the value
// and takes the characters; takes nothing and returns false otherwise. The
// value ends at its first character below '0' (found a word at a time, as
// readPlainText does), which must be a blank, comma, line end or slash.
[[gnu::always_inline]] inline bool readTextInBlock(ReaderState& state, char* target,
                                                  std::int32_t length) noexcept {
  if (state.ended || state.stop || state.repeat > 0) return false;
  if (length <= 0 || length > 16) return false;
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  constexpr std::ptrdiff_t wholeText = 16;
  if (end - begin <= wholeText) return false;
  const char* const limit = end - wholeText;
  const char* const p = valueStartInBlock(state, begin, limit);
  if (p == nullptr) return false;
  const int first = static_cast<unsigned char>(*p);
  if (isDigit(first) || isQuote(first)) return false;
  std::uint64_t b = loadEight(p);
  std::uint64_t below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
  const char* e = p;
  if (below == 0) {
    b = loadEight(p + 8);
    below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
    if (below == 0) return false;
    e += 8;
  }
  e += std::countr_zero(below) >> 3;
  if (e == p || !endsUnquoted(*e)) return false;
  if (*e == '\n' && e[-1] == '\\') return false;
  const auto n = static_cast<std::size_t>(e - p);
  const std::size_t kept = std::min(n, static_cast<std::size_t>(length));
  if (kept > state.textCapacity) return false;
  copyShort(state.text, p, kept);
  state.textKept = kept;
  copyShort(target, p, kept);
  if (kept < static_cast<std::size_t>(length)) {
    blankShort(target + kept, static_cast<std::size_t>(length) - kept);
  }
  source.skip(static_cast<std::size_t>(e - begin));
  state.firstItem = false;
  state.kind = ValueKind::text;
  ++state.assigned;
  return true;
}

// The rest of the line up to and including its line end, when that is in
// the block.
[[gnu::always_inline]] inline bool skipLineInBlock(ReaderState& state) noexcept {
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (begin != end && *begin == '\n') {
    source.skip(1);
    return true;
  }
  const void* lineEnd = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
  if (lineEnd == nullptr) return false;
  source.skip(static_cast<std::size_t>(static_cast<const char*>(lineEnd) - begin) + 1);
  return true;
}

}  // namespace recio::freeform
