// The record group in one pass: a whole statement of three reals and a text
// item, with the skip to its line end, read from the characters the source
// has already fetched.
//
// The rule that makes it exact. A statement begins with nothing pending, so
// each item's general steps are those that the block entries of one item
// follow (real_item_fast_path.h, text_item_fast_path.h): its first steps,
// then its value. When the block holds, from where the source stands, three
// numbers and a text that those entries would take one after another, each
// starting where the one before ended, and further on a line end, the
// general steps take exactly these characters and no other, and the
// statement's end drops the rest of the line up to and including that line
// end. Their outcome is the statement's start, the three values and the
// text committed as the entries commit them, and the position after the
// line end: that is what is stored here, through the same steps. Anything
// else, or a line end that is not in the block yet, makes the whole
// statement go to the general steps, which then start from the state as it
// was: nothing has been stored or taken.
//
// The statement context is not set: only a failure report reads it, and a
// statement read here cannot fail; every statement that can fail sets it
// when it begins.
#include <cstddef>
#include <cstring>

#include "char_source.h"
#include "decimal_fast_path.h"
#include "free_form_reader.h"
#include "free_form_rules.h"
#include "real_item_fast_path.h"
#include "reader_state.h"
#include "text_item_fast_path.h"

namespace recio {

using namespace freeform;

bool FreeFormReader::readGroupInBlock(CharSource& source, bool endOfFileExit, bool errorExit,
                                      double& first, double& second, double& third,
                                      char* text, std::int32_t length) noexcept {
  ReaderFields& state = *state_;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  // Every value starts before `limit`, so that what is read from it stays
  // in the block (decimalLookahead covers textLookahead too).
  static_assert(decimalLookahead >= textLookahead);
  if (end - begin <= decimalLookahead || length <= 0 || !roomFor(state, length)) return false;
  const char* const limit = end - decimalLookahead;

  double values[3];
  const char* p = valueStartInBlock(begin, limit, true);
  if (p == nullptr || (p = plainRealAt(p, values[0])) == nullptr) return false;
  p = valueStartInBlock(p, limit, false);
  if (p == nullptr || (p = plainRealAt(p, values[1])) == nullptr) return false;
  p = valueStartInBlock(p, limit, false);
  if (p == nullptr || (p = plainRealAt(p, values[2])) == nullptr) return false;
  p = valueStartInBlock(p, limit, false);
  TextInBlock label;
  if (p == nullptr || !textAt(p, limit, label)) return false;
  const char* lineEnd = label.after;
  if (*lineEnd != '\n') {
    lineEnd = static_cast<const char*>(
        std::memchr(lineEnd, '\n', static_cast<std::size_t>(end - lineEnd)));
    if (lineEnd == nullptr) return false;
  }

  // From beginRead to endRead, as the general steps leave it.
  startStatement(state, source, endOfFileExit, errorExit);
  startValue(state);
  commitReal(state, first, values[0]);
  commitReal(state, second, values[1]);
  commitReal(state, third, values[2]);
  commitText(state, text, length, label.value, keptOf(label, length));
  source.skip(static_cast<std::size_t>(lineEnd + 1 - begin));
  return true;
}

}  // namespace recio
