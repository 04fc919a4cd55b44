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
#include "read_trace.h"
#include "real_item_fast_path.h"
#include "reader_state.h"
#include "text_item_fast_path.h"

namespace recio {

using namespace freeform;

namespace {

// The statement's trace, as the general steps would record it: every item
// a value, each starting where `starts` says and ending where `ends` does,
// then the rest of the line dropped.
[[gnu::noinline]] void traceGroup(ReadTrace& trace, std::int64_t base, const char* begin,
                                  const char* const (&starts)[4], const char* const (&ends)[4],
                                  const TextInBlock& label, std::int32_t length,
                                  const char* lineEnd) {
  trace.itemCount = 4;
  trace.begun = true;
  for (int i = 0; i < 4; ++i) {
    ItemTrace& item = trace.items[i];
    item.outcome = ItemOutcome::value;
    item.start = base + (starts[i] - begin);
    item.end = base + (ends[i] - begin);
    item.repeatCount = -1;
    item.quote = 0;
    item.textLength = 0;
    item.continued = false;
    item.textHash = 0;
  }
  ItemTrace& text = trace.items[3];
  text.quote = label.value != starts[3] ? static_cast<unsigned char>(*starts[3]) : 0;
  text.textLength = static_cast<std::size_t>(label.valueEnd - label.value);
  if (text.textLength > static_cast<std::size_t>(length)) {
    text.textHash = textHashStart;
    for (const char* c = label.value; c < label.valueEnd; ++c) {
      text.textHash = textHashStep(text.textHash, static_cast<unsigned char>(*c));
    }
  }
  trace.restStart = base + (label.after - begin);
  trace.restEnd = base + (lineEnd + 1 - begin);
  trace.failure = 0;
  trace.failureWord = nullptr;
  trace.failureAt = -1;
}

}  // namespace

bool FreeFormReader::readGroupInBlock(CharSource& source, bool endOfFileExit, bool errorExit,
                                      double& first, double& second, double& third,
                                      char* text, std::int32_t length,
                                      ReadTrace* trace) noexcept {
  ReaderFields& state = *state_;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  // Every value starts before `limit`, so that what is read from it stays
  // in the block (decimalLookahead covers textLookahead too).
  static_assert(decimalLookahead >= textLookahead);
  if (end - begin <= decimalLookahead || length <= 0 || !roomFor(state, length)) return false;
  const char* const limit = end - decimalLookahead;

  double values[3];
  const char* starts[4];
  const char* ends[4];
  const char* p = starts[0] = valueStartInBlock(begin, limit, true);
  if (p == nullptr || (p = ends[0] = plainRealAt(p, values[0])) == nullptr) return false;
  p = starts[1] = valueStartInBlock(p, limit, false);
  if (p == nullptr || (p = ends[1] = plainRealAt(p, values[1])) == nullptr) return false;
  p = starts[2] = valueStartInBlock(p, limit, false);
  if (p == nullptr || (p = ends[2] = plainRealAt(p, values[2])) == nullptr) return false;
  p = starts[3] = valueStartInBlock(p, limit, false);
  TextInBlock label;
  if (p == nullptr || !textAt(p, limit, label)) return false;
  ends[3] = label.after;
  const char* lineEnd = label.after;
  if (*lineEnd != '\n') {
    lineEnd = static_cast<const char*>(
        std::memchr(lineEnd, '\n', static_cast<std::size_t>(end - lineEnd)));
    if (lineEnd == nullptr) return false;
  }

  if (trace != nullptr) [[unlikely]] {
    traceGroup(*trace, source.position(), begin, starts, ends, label, length, lineEnd);
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
