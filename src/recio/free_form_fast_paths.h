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
#include "decimal_fast_path.h"
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

// Characters a plain number needs in the block past its start.
constexpr std::ptrdiff_t wholeNumber = decimalLookahead;

// A plain number (as readPlainReal, an exponent allowed) at p, with
// wholeNumber characters from p in the block: returns where it ends (at the
// blank, comma, line end or slash after it), with `value` set; nullptr when
// it is not one.
[[gnu::always_inline]] inline const char* wholePlainReal(const char* p, double& value) noexcept {
  const Decimal number = scanDecimal(p);
  if (number.end == nullptr || !endsPlainNumber(*number.end)) return nullptr;
  value = number.value;
  return number.end;
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

// A real written as an optional sign, digits with at most one point, and,
// with wholeNumber characters in the block, an exponent (decimal_fast_path.h
// says when it converts exactly), followed in the block by a blank, comma,
// line end or slash. Near the block's end only the form without exponent is
// taken, w / 10^k with k the digits after the point.
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
