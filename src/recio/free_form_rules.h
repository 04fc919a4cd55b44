// The rules of free-form reading that the reading steps and the block
// entries (real_item_fast_path.h, text_item_fast_path.h, statement_in_block.h)
// both follow: the character classes, the characters that end a value, the
// word scan that finds them, where an item's value starts among characters
// in memory, and the steps that commit a statement's start, a value and a
// whole statement read in memory to the reader's state. Each is written
// here once; a block entry that takes a value or a statement leaves the
// state through these steps, as the reading steps do.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "char_source.h"
#include "reader_state.h"
#include "short_copy.h"

namespace recio::freeform {

// ---- character classes ----

// A set of characters below 64 as one bit each, so that a character is
// tested against the whole set at once; every character above the set's
// last is passed with one comparison.
constexpr std::uint64_t bitOf(char c) noexcept { return std::uint64_t{1} << c; }
inline bool isAmong(std::uint64_t set, int c) noexcept {
  const auto last = static_cast<unsigned>(63 - std::countl_zero(set));
  return static_cast<unsigned>(c) <= last && ((set >> c) & 1) != 0;
}

// Blanks between values: space, tab and line end.
inline bool isBlank(int c) noexcept { return isAmong(bitOf(' ') | bitOf('\t') | bitOf('\n'), c); }

inline bool isDigit(int c) noexcept { return c >= '0' && c <= '9'; }

// The letters that begin a number's exponent: e, d and q in either case.
constexpr std::string_view exponentLetters = "eEdDqQ";
inline bool isExponentLetter(int c) noexcept {
  return c >= 0 && c <= 127 && exponentLetters.find(static_cast<char>(c)) != std::string_view::npos;
}

inline bool isQuote(int c) noexcept { return c == '\'' || c == '"' || c == 2; }

// A separator, blank or terminator: comma, space, tab, line end, slash and
// the end of input. It ends an unquoted text, leaves the value after a
// repeat count's `*` null, and continues no form of a number nor makes one
// a repeat count.
inline bool endsValue(int c) noexcept {
  return c == endOfInput ||
         isAmong(bitOf(',') | bitOf(' ') | bitOf('\t') | bitOf('\n') | bitOf('/'), c);
}

// ---- the word scan ----

// Where the first character below '0' stands among the eight at p: 0 to 7,
// or 8 when there is none. Every character that ends a value, and the NUL
// that ends what a text keeps, lies below '0', so a run of words without
// one is passed a word at a time. A byte below '0' sets its top bit in
// (b - 0x30) & ~b; bytes above the first such one may be marked wrongly (a
// borrow), so only the first is used.
inline int firstBelowZero(const char* p) noexcept {
  const std::uint64_t b = loadEight(p);
  const std::uint64_t below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
  return std::countr_zero(below) >> 3;
}

// ---- an item's first steps among characters in memory ----

// Where an item's value starts when the item's first steps (the separator
// step before every item but the first, then the null check) run over the
// characters from p: past the blanks and, after the first item, the one
// comma of a separator and the blanks after it. nullptr when those steps
// would start no value there (a comma before the first item or a second
// comma makes the item null, a slash stops the statement), when they reach
// `limit` (the characters from `limit` on may end too soon), and at a `*`
// right after the value before: after an integer it makes that integer a
// repeat count, which the block entries leave to the general steps. p and
// the two characters after it are readable; before the first item (where p
// is where the statement starts) p stands before `limit`.
[[gnu::always_inline]] inline const char* valueStartInBlock(const char* p, const char* limit,
                                                            bool firstItem) noexcept {
  // As a rule a statement's first value starts at p and every later one after
  // one blank: at a character that ends no value.
  const auto startsValue = [](char c) { return !endsValue(static_cast<unsigned char>(c)); };
  if (firstItem) {
    if (startsValue(p[0])) [[likely]] return p;
  } else {
    if (p[0] == ' ' && startsValue(p[1])) [[likely]] return p + 1 < limit ? p + 1 : nullptr;
    // The other separators that files hold most: a tab, a comma, a comma
    // and a blank.
    if (p[0] == '\t' || p[0] == ',') {
      const char* const v = p + 1 + (p[0] == ',' && p[1] == ' ');
      if (startsValue(*v)) return v < limit ? v : nullptr;
    }
    if (*p == '*') return nullptr;
  }
  for (;; ++p) {
    if (p >= limit) return nullptr;
    if (!isBlank(static_cast<unsigned char>(*p))) break;
  }
  if (*p == ',') [[unlikely]] {
    if (firstItem) return nullptr;
    do {
      if (++p >= limit) return nullptr;
    } while (isBlank(static_cast<unsigned char>(*p)));
  }
  return *p == ',' || *p == '/' ? nullptr : p;
}

// ---- commit steps ----

// The start of a statement on `source` (beginRead): nothing repeated,
// stopped or assigned, no item begun, the current value null.
inline void startStatement(ReaderFields& state, CharSource& source, bool endOfFileExit,
                           bool errorExit) noexcept {
  // The source first: its writes could change the fields, as far as the
  // compiler knows, and the fields' stores then wait for none of them.
  const bool ended = source.beginStatement();
  state.source = &source;
  state.firstItem = true;
  state.repeat = 0;
  state.stop = false;
  state.assigned = 0;
  state.kind = ValueKind::null;
  state.endOfFileExit = endOfFileExit;
  state.errorExit = errorExit;
  state.ended = ended;
}

// An item has met a character other than a blank: the group has begun, and
// the current value is null until the item reads one.
inline void startValue(ReaderFields& state) noexcept {
  state.firstItem = false;
  state.kind = ValueKind::null;
}

// The item takes the real `value` as the current value and assigns it.
inline void commitReal(ReaderFields& state, double& target, double value) noexcept {
  state.kind = ValueKind::real;
  state.real.value = value;
  target = value;
  ++state.assigned;
}

// The current text assigned to `length` characters, blank-padded.
inline void assignText(const ReaderFields& state, char* target, std::int32_t length) noexcept {
  if (length <= 0) return;
  const auto n = static_cast<std::size_t>(length);
  const std::size_t kept = std::min(state.textKept, n);
  if (n <= 16) {
    copyShort(target, state.text, kept);
    blankShort(target + kept, n - kept);
  } else {
    std::memcpy(target, state.text, kept);
    std::memset(target + kept, ' ', n - kept);
  }
}

// The item takes the text the buffer holds (as much of it as a target of
// `length` keeps) as its value and assigns it.
inline void commitText(ReaderFields& state, char* target, std::int32_t length) noexcept {
  state.kind = ValueKind::text;
  ++state.assigned;
  assignText(state, target, length);
}

// The same for a text whose first n characters, those a target of
// `length` keeps, stand at `chars`: they become the buffer's text (it has
// room for them) and are assigned. At least eight characters from `chars`
// are readable.
inline void commitText(ReaderFields& state, char* target, std::int32_t length, const char* chars,
                       std::size_t n) noexcept {
  // The fields first: the characters' stores below could change any of
  // them, as far as the compiler knows.
  state.kind = ValueKind::text;
  ++state.assigned;
  state.textKept = n;
  if (length == 8 && state.textCapacity >= 8) {
    // A target of eight, a label's length: the eight characters in one
    // word, into the buffer (its bytes past n are no part of the text) and
    // into the target with blanks in place of those past n.
    const std::uint64_t word = loadEight(chars);
    const std::uint64_t keep = n == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
    storeEight(state.text, word);
    storeEight(target, (word & keep) | (0x2020202020202020ull & ~keep));
    return;
  }
  if (n <= 16) {
    copyShort(state.text, chars, n);
  } else {
    std::memcpy(state.text, chars, n);
  }
  assignText(state, target, length);
}

// A whole statement on `source` read from characters in memory and ended,
// which leaves `last`: its start, its items committed one after another as
// the steps above commit them, and the current value its last items leave.
// The text buffer has room for the last text's characters.
inline void commitStatement(ReaderFields& state, CharSource& source, bool endOfFileExit,
                            bool errorExit, const StatementLeaves& last) noexcept {
  startStatement(state, source, endOfFileExit, errorExit);
  if (last.assigned > 0) startValue(state);
  state.kind = last.kind;
  state.assigned = last.assigned;
  if (last.hasReal) state.real.value = last.real;
  if (last.hasText) {
    state.textKept = last.textKept;
    if (last.textKept <= 16) {
      copyShort(state.text, last.text, last.textKept);
    } else {
      std::memcpy(state.text, last.text, last.textKept);
    }
  }
}

// An item that a repeated value served: one repetition fewer.
inline void finishRepeat(ReaderFields& state) noexcept {
  if (state.repeat > 0) --state.repeat;
}

}  // namespace recio::freeform
