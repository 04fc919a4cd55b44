// readReal's block entry: a real item read whole from the characters its
// source has already fetched.
//
// The rule that makes it exact. When no repeat is pending, the statement is
// not stopped and its source has not ended, the general steps of a real
// item run its first steps (valueStartInBlock says where they start a
// value), then the number scanner takes the longest prefix of the number's
// form, and an integer form followed by `*` becomes a repeat count. When
// from there the block holds a number that scanDecimal reads (its prefix is
// the scanner's, its value the scanner's correctly rounded double: see
// decimal_fast_path.h) and the character after it is no `*`, the item
// assigns that value, and the input goes on at that character. No end of
// input can come up, as every character read lies in the block. So the
// item's outcome is startValue and commitReal with that value, which is
// what is stored here. Any other first character, a `*`, or a block that
// ends too soon leaves the item to the general steps: nothing has been
// stored or taken.
#pragma once

#include <cstddef>

#include "char_source.h"
#include "decimal_fast_path.h"
#include "free_form_rules.h"
#include "reader_state.h"

namespace recio::freeform {

// A number of scanDecimal's form at p, with decimalLookahead characters
// from p readable: where it ends, with `value` set; nullptr when there is
// none. Whoever takes it sees that no `*` follows it (valueStartInBlock
// does, for the item after it).
[[gnu::always_inline]] inline const char* plainRealAt(const char* p, double& value) noexcept {
  const Decimal number = scanDecimal(p);
  if (number.end == nullptr) return nullptr;
  value = number.value;
  return number.end;
}

// readReal's item, taken from the block: true with the value assigned and
// its characters taken; false, having changed nothing, otherwise.
[[gnu::always_inline]] inline bool readRealInBlock(ReaderFields& state, double& target) noexcept {
  if (state.ended || state.stop || state.repeat > 0) return false;
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (end - begin <= decimalLookahead) return false;
  // A value that starts before `limit` has its lookahead in the block.
  const char* const p = valueStartInBlock(begin, end - decimalLookahead, state.firstItem);
  if (p == nullptr) return false;
  double value;
  const char* const after = plainRealAt(p, value);
  if (after == nullptr || *after == '*') return false;
  source.skip(static_cast<std::size_t>(after - begin));
  startValue(state);
  commitReal(state, target, value);
  return true;
}

}  // namespace recio::freeform
