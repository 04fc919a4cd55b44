// The record group in one pass: a whole statement of three reals and a text
// item, with the skip to its line end, read from the characters the source
// has already fetched.
//
// The rule that makes it exact. The general steps read such a statement
// item by item; when the block holds, from where the source stands, blanks
// and line ends, three numbers of the form decimal_fast_path.h converts
// exactly, each followed by blanks or tabs with at most one comma among them,
// then an unquoted text that does not begin with a digit (or a quoted one
// with no line end, NUL or doubled quote in it), and further on a line end,
// then the general steps take exactly these characters and no other: no
// value is null, no repeat count, slash or end of input comes up, each
// number ends where the scanner's longest prefix ends (a blank, tab or
// comma continues no form of it), the text ends where the text steps end it,
// and the statement's end drops the rest of the line. Their outcome is the
// three values, the text, four items assigned and the position after the
// line end, with the statement state they leave: that is what is stored
// here. The first character that does not fit, or a line end that is not in
// the block yet, makes the whole statement go to the general steps, which
// then start from the state as it was: nothing has been stored or taken.
//
// The statement context is not set: only a failure report reads it, and a
// statement read here cannot fail; every statement that can fail sets it
// when it begins.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "char_source.h"
#include "free_form_fast_paths.h"
#include "free_form_reader.h"
#include "reader_state.h"
#include "short_copy.h"

namespace recio {
namespace {

using namespace freeform;

// The separator after a number that ends at e: blanks and tabs with at most
// one comma among them, at least one of them; where the next value starts,
// or nullptr when there is no separator or it reaches `limit`.
inline const char* afterSeparator(const char* e, const char* limit) noexcept {
  // One blank and a value: the common case, in one test.
  if (e[0] == ' ' && static_cast<unsigned char>(e[1]) > ' ' && e[1] != ',') return e + 1;
  if (*e != ' ' && *e != '\t' && *e != ',') return nullptr;
  const char* p = e;
  while (*p == ' ' || *p == '\t') {
    if (++p >= limit) return nullptr;
  }
  if (*p == ',') {
    do {
      if (++p >= limit) return nullptr;
    } while (*p == ' ' || *p == '\t');
  }
  return p;
}

// An unquoted text from v to the first blank, tab, comma, slash or line end,
// found a word at a time (each of them, and a NUL, lies below '0'): returns
// that end, or nullptr at a NUL or when `limit` comes first.
inline const char* unquotedEnd(const char* v, const char* limit) noexcept {
  const char* e = v;
  for (;;) {
    if (e >= limit) return nullptr;
    const std::uint64_t b = loadEight(e);
    const std::uint64_t below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
    if (below == 0) {
      e += 8;
      continue;
    }
    e += std::countr_zero(below) >> 3;
    if (endsUnquoted(*e)) return e;
    if (*e == '\0') return nullptr;
    ++e;
  }
}

// A quoted text whose quote is at q: the closing quote, or nullptr at a line
// end, a NUL, a doubled quote or `limit`.
inline const char* closingQuote(const char* q, const char* limit) noexcept {
  const char quote = *q;
  for (const char* p = q + 1; p < limit; ++p) {
    if (*p == quote) return p[1] == quote ? nullptr : p;
    if (*p == '\n' || *p == '\0') return nullptr;
  }
  return nullptr;
}

// Stores a word as loadEight reads it.
inline void storeWord(char* p, std::uint64_t word) noexcept {
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  std::memcpy(p, &word, 8);
}

}  // namespace

bool FreeFormReader::readGroupInBlock(CharSource& source, bool endOfFileExit, bool errorExit,
                                      double& first, double& second, double& third,
                                      char* text, std::int32_t length) noexcept {
  ReaderState& state = *state_;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  // Every character looked at stands before `limit`, so that a number or a
  // word read from it stays in the block.
  if (end - begin <= decimalLookahead || length <= 0) return false;
  const char* const limit = end - decimalLookahead;

  const char* p = begin;
  // As a rule the group starts at once: one test passes it.
  if (static_cast<unsigned char>(*p) <= ' ') {
    while (*p == ' ' || *p == '\t' || *p == '\n') {
      if (++p == limit) return false;
    }
  }
  const Decimal n1 = scanDecimal(p);
  if (n1.end == nullptr || (p = afterSeparator(n1.end, limit)) == nullptr || p >= limit) {
    return false;
  }
  const Decimal n2 = scanDecimal(p);
  if (n2.end == nullptr || (p = afterSeparator(n2.end, limit)) == nullptr || p >= limit) {
    return false;
  }
  const Decimal n3 = scanDecimal(p);
  if (n3.end == nullptr || (p = afterSeparator(n3.end, limit)) == nullptr || p >= limit) {
    return false;
  }

  const char* value = p;
  const char* valueEnd;
  const char* after;  // where the skip to the line end starts
  if (isQuote(static_cast<unsigned char>(*p))) {
    valueEnd = closingQuote(p, limit);
    if (valueEnd == nullptr) return false;
    ++value;
    after = valueEnd + 1;
  } else {
    if (isDigit(static_cast<unsigned char>(*p)) || *p == ',' || *p == '/' || *p == '\n') {
      return false;
    }
    valueEnd = unquotedEnd(p, limit);
    // A backslash before the line end continues the text on the next line.
    if (valueEnd == nullptr || (*valueEnd == '\n' && valueEnd[-1] == '\\')) return false;
    after = valueEnd;
  }
  const char* lineEnd = after;
  if (*lineEnd != '\n') {
    lineEnd = static_cast<const char*>(
        std::memchr(after, '\n', static_cast<std::size_t>(end - after)));
    if (lineEnd == nullptr) return false;
  }
  const std::size_t kept =
      std::min(static_cast<std::size_t>(valueEnd - value), static_cast<std::size_t>(length));
  if (kept > state.textCapacity) return false;

  // The general steps' outcome, from beginRead to endRead.
  state.source = &source;
  state.firstItem = false;
  state.repeat = 0;
  state.stop = false;
  state.ended = false;
  state.endOfFileExit = endOfFileExit;
  state.errorExit = errorExit;
  state.assigned = 4;
  state.kind = ValueKind::text;
  state.real = n3.value;
  state.textKept = kept;
  first = n1.value;
  second = n2.value;
  third = n3.value;
  if (length == 8 && state.textCapacity >= 8) {
    // The eight characters from the value's start (they lie before the
    // block's end), blanks in place of those after the value.
    std::uint64_t word = loadEight(value);
    storeWord(state.text, word);
    const std::uint64_t keep = kept == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * kept)) - 1;
    word = (word & keep) | (0x2020202020202020ull & ~keep);
    storeWord(text, word);
  } else if (kept <= 16 && length <= 16) {
    copyShort(state.text, value, kept);
    copyShort(text, value, kept);
    blankShort(text + kept, static_cast<std::size_t>(length) - kept);
  } else {
    std::memcpy(state.text, value, kept);
    assignText(state, text, length);
  }
  source.skip(static_cast<std::size_t>(lineEnd + 1 - begin));
  return true;
}

}  // namespace recio
