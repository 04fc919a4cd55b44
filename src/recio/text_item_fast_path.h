// readText's block entry: a text item read whole from the characters its
// source has already fetched.
//
// The rule that makes it exact. When no repeat is pending, the statement is
// not stopped and its source has not ended, the general steps of a text
// item run its first steps (valueStartInBlock says where they start a
// value) and read the value from its first character:
// - a quote starts a quoted value, which ends at the next same quote that
//   is not doubled. When no line end, NUL or second quote of a pair comes
//   before it, the value is the characters in between, each kept as it
//   stands, and the character after the closing quote stays in the input;
// - a character that is not a digit (a digit would start a repeat count)
//   starts an unquoted value, which ends at the first character that ends
//   a value (free_form_rules.h). When no NUL comes before it and it is not
//   a line end after a backslash (which would continue the value), the
//   value is the characters before it, and that character stays in the
//   input.
// With every character read in the block no end of input comes up, so the
// item's outcome is startValue, the value's first `length` characters kept
// as the current text, and commitText; that is what is stored here, when the
// text buffer already has room for `length` characters (else the general
// steps may grow it).
// Anything else leaves the item to the general steps: nothing has been
// stored or taken.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "char_source.h"
#include "free_form_rules.h"
#include "reader_state.h"

namespace recio::freeform {

// Characters the scans below may read past the `limit` they are given.
constexpr std::ptrdiff_t textLookahead = 8;

// The end of an unquoted text that starts at v, found a word at a time:
// its first character that ends a value; nullptr at a NUL, or when the
// scan reaches `limit` first.
[[gnu::always_inline]] inline const char* unquotedEnd(const char* v, const char* limit) noexcept {
  const char* e = v;
  while (e < limit) {
    const int n = firstBelowZero(e);
    e += n;
    if (n == 8) continue;
    if (endsValue(static_cast<unsigned char>(*e))) return e;
    if (*e == '\0') return nullptr;
    ++e;
  }
  return nullptr;
}

// The closing quote of a quoted text whose quote is at q; nullptr at a line
// end, a NUL or a doubled quote, or at `limit`.
inline const char* closingQuote(const char* q, const char* limit) noexcept {
  const char quote = *q;
  for (const char* p = q + 1; p < limit; ++p) {
    if (*p == quote) return p[1] == quote ? nullptr : p;
    if (*p == '\n' || *p == '\0') return nullptr;
  }
  return nullptr;
}

// A text value as the rule above reads it.
struct TextInBlock {
  const char* value;     // its first character
  const char* valueEnd;  // after its last
  const char* after;     // where the input goes on
};

// The text value whose first character is at p (before `limit`, with
// textLookahead characters after `limit` readable): true with `text` set
// when the rule above takes it.
[[gnu::always_inline]] inline bool textAt(const char* p, const char* limit,
                                          TextInBlock& text) noexcept {
  if (isQuote(static_cast<unsigned char>(*p))) [[unlikely]] {
    const char* const close = closingQuote(p, limit);
    if (close == nullptr) return false;
    text = {p + 1, close, close + 1};
    return true;
  }
  if (isDigit(static_cast<unsigned char>(*p))) return false;
  // p ends no value (valueStartInBlock passed blanks, commas and slashes),
  // so a value's end lies after it.
  const char* const e = unquotedEnd(p, limit);
  if (e == nullptr || (*e == '\n' && e[-1] == '\\')) return false;
  text = {p, e, e};
  return true;
}

// How much of `text` a target of `length` characters keeps.
inline std::size_t keptOf(const TextInBlock& text, std::int32_t length) noexcept {
  return std::min(static_cast<std::size_t>(text.valueEnd - text.value),
                  static_cast<std::size_t>(length));
}

// The text buffer has room for all that a target of `length` (at least 1)
// keeps of any text; else the general steps may have to grow it.
inline bool roomFor(const ReaderFields& state, std::int32_t length) noexcept {
  return static_cast<std::size_t>(length) <= state.textCapacity;
}

// readText's item, taken from the block for a target of at least one
// character: true with the value assigned and its characters taken; false,
// having changed nothing, otherwise.
[[gnu::always_inline]] inline bool readTextInBlock(ReaderFields& state, char* target,
                                                   std::int32_t length) noexcept {
  if (state.ended || state.stop || state.repeat > 0 || length <= 0 || !roomFor(state, length)) {
    return false;
  }
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (end - begin <= textLookahead) return false;
  const char* const limit = end - textLookahead;
  const char* const p = valueStartInBlock(begin, limit, state.firstItem);
  if (p == nullptr) return false;
  TextInBlock text;
  if (!textAt(p, limit, text)) return false;
  source.skip(static_cast<std::size_t>(text.after - begin));
  startValue(state);
  commitText(state, target, length, text.value, keptOf(text, length));
  return true;
}

}  // namespace recio::freeform
