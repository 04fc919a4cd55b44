// The result record in one pass: the three F15.4 fields of (3F15.4), and for
// (3F15.4,5X,A8) the five blanks and the label, edited at the place the
// caller gives: the edit stage gives the room a stream's buffer has left.
//
// The rule that makes it exact. With either format the walk is fixed: three
// F fields of 15 columns, then (second format) a move of 5, which becomes 5
// blanks since a field follows, and an A field of 8 (blanks before a shorter
// value, the first 8 characters of a longer one), then the newline. Each F
// field is what editF15d4 gives, as for every F15.4 field. The bytes go
// into the buffer only when it has more room than the longest record, so
// that it is not full after them: the general path writes the buffer out
// exactly when it fills, which these bytes never make it do, and so the
// writes of the stream are the same.
#include <algorithm>
#include <cstring>

#include "f15_4_editing.h"
#include "field_editor.h"
#include "short_copy.h"

namespace recio {
namespace {

constexpr std::size_t fieldWidth = 15;
constexpr std::size_t labelMove = 5;
constexpr std::size_t labelWidth = 8;
static_assert(longestBuiltInRecord == 3 * fieldWidth + labelMove + labelWidth + 1);

}  // namespace

std::size_t editRecord(char* at, const Format& format, double x, double y, double z,
                       const char* text, std::int32_t length) noexcept {
  const bool labelled = &format == &threeRealsAndLabel;
  if (!labelled && &format != &threeReals) return 0;
  // Each field's editing may store one byte past it, which the next one
  // overwrites (the third one's is the record's next byte).
  editF15d4(x, at);
  editF15d4(y, at + fieldWidth);
  editF15d4(z, at + 2 * fieldWidth);
  std::size_t n = 3 * fieldWidth;
  if (labelled) {
    const std::size_t characters = static_cast<std::size_t>(std::max(length, 0));
    const std::size_t shown = std::min(characters, labelWidth);
    blankShort(at + n, labelMove + labelWidth - shown);
    copyShort(at + n + labelMove + labelWidth - shown, text, shown);
    n += labelMove + labelWidth;
  }
  at[n++] = '\n';
  return n;
}

}  // namespace recio
