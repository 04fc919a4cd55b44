// The layout of an F w.d field that shows a number: where its blanks, sign,
// digits and point go once the value is rounded. The one statement of the
// rule: the exact editing (field_editor.cpp), the editing from the bits
// (fixed_fast_path.h) and F15.4's (f15_4_editing.h, which checks its own
// layout against this one when it is compiled) all lay their fields out by
// it. Infinities and NaNs have a layout of their own (field_editor.cpp).
#pragma once

#include <cstdint>

namespace recio::fixed {

// An F w.d field of a rounded value whose integer part has `integerDigits`
// digits without leading zeros (0 when that part is 0), negative when the
// sign bit is set and the rounded value is not 0. Left to right it is:
// `blanks` blanks, a minus sign when negative, the integer digits (or a
// single 0 when `zero`), the point and the d fraction digits. A field that
// does not `fit` is w asterisks.
struct FixedLayout {
  bool fits = false;
  std::int64_t blanks = 0;
  bool zero = false;
};

// The columns needed are d, one for the point, one for a minus sign and one
// for each integer digit; the free columns left are blanks, except that an
// empty integer part takes one of them for its 0 when there is one.
constexpr FixedLayout fixedLayout(std::int64_t width, std::int64_t decimals, bool negative,
                                  std::int64_t integerDigits) noexcept {
  const std::int64_t needed = decimals + 1 + (negative ? 1 : 0) + integerDigits;
  if (needed > width) return {};
  const std::int64_t free = width - needed;
  const bool zero = integerDigits == 0 && free >= 1;
  return {true, free - (zero ? 1 : 0), zero};
}

}  // namespace recio::fixed
