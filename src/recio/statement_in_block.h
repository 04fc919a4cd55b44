// StatementInBlock: a whole statement of the free-form reader on a stream,
// its items and the skip to its line end, read from characters in memory,
// for a caller that reads statement after statement from the characters a
// source has in hand and then hands the last of them to the reader
// (FreeFormReader::takeInBlock), which leaves its state as the general
// steps would have left it.
//
// The rule that makes it exact. A statement begins with nothing pending, so
// each item's general steps are those that the block entries of one item
// follow (real_item_fast_path.h, text_item_fast_path.h): its first steps,
// then its value. When the characters hold, from the statement's start,
// values that those entries take one after another, each starting where the
// one before ended, and further on a line end, the general steps take
// exactly these characters and no other, and the statement's end drops the
// rest of the line up to and including that line end; no end of input can
// come up, as every character read lies in memory. What the statement
// leaves is then its start, each value committed as the entries commit it,
// and the position after the line end. Anything else (a value the entries
// leave to the general steps, a line end that is not among the characters)
// declines the statement: the general steps read it from its start, from
// the state as it was, since nothing has been stored but into the targets
// of the items this statement read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decimal_fast_path.h"
#include "free_form_rules.h"
#include "read_trace.h"
#include "reader_state.h"
#include "real_item_fast_path.h"
#include "short_copy.h"
#include "text_item_fast_path.h"

namespace recio {

class StatementInBlock {
 public:
  static constexpr int maxItems = ReadTrace::maxItems;

  StatementInBlock() noexcept = default;
  StatementInBlock(const char* begin, const char* end) noexcept { start(begin, end); }

  // Starts again with a statement whose first character is at `begin`,
  // among characters in memory that run to `end`. Every value must start
  // before decimalLookahead characters from `end`, so that what is read
  // from it stays before `end`.
  void start(const char* begin, const char* end) noexcept {
    static_assert(freeform::decimalLookahead >= freeform::textLookahead);
    begin_ = begin;
    next_ = end - begin > freeform::decimalLookahead ? begin : nullptr;
    limit_ = end - freeform::decimalLookahead;
    end_ = end;
    items_ = 0;
    texts_ = 0;
  }

  // The next item, a real: true with `target` assigned as the general steps
  // assign it; false when they must read the statement.
  [[gnu::always_inline]] bool readReal(double& target) noexcept {
    if (next_ == nullptr || items_ == maxItems) return decline();
    const char* const p = freeform::valueStartInBlock(next_, limit_, items_ == 0);
    if (p == nullptr) return decline();
    double value;
    // The item after it sees that no `*` follows (valueStartInBlock, or
    // endRead below).
    const char* const after = freeform::plainRealAt(p, value);
    if (after == nullptr) return decline();
    target = value;
    real_ = value;
    note(p, after);
    return true;
  }

  // The next item, a text for a target of `length` characters (at least
  // one): true with the target assigned; false when the general steps must
  // read the statement. The reader's text buffer must have room for
  // `length` characters when the statement is handed to it.
  [[gnu::always_inline]] bool readText(char* target, std::int32_t length) noexcept {
    if (next_ == nullptr || items_ == maxItems || length <= 0) return decline();
    const char* const p = freeform::valueStartInBlock(next_, limit_, items_ == 0);
    if (p == nullptr) return decline();
    freeform::TextInBlock text;
    if (!freeform::textAt(p, limit_, text)) return decline();
    const std::size_t kept = freeform::keptOf(text, length);
    if (length == 8) {
      // A label's length: the eight characters in one word (at least eight
      // are readable from the value), blanks in place of those past `kept`.
      const std::uint64_t word = loadEight(text.value);
      const std::uint64_t keep =
          kept == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * kept)) - 1;
      storeEight(target, (word & keep) | (0x2020202020202020ull & ~keep));
    } else {
      const auto n = static_cast<std::size_t>(length);
      std::memcpy(target, text.value, kept);
      std::memset(target + kept, ' ', n - kept);
    }
    texts_ |= 1u << items_;
    lengths_[items_] = length;
    note(p, text.after);
    return true;
  }

  // The statement's end: true when the rest of the line and its line end
  // lie among the characters; the statement then ends after the line end.
  bool endRead() noexcept {
    if (next_ == nullptr) return false;
    const bool lastIsReal = items_ > 0 && !isText(items_ - 1);
    if (lastIsReal && *next_ == '*') return decline();
    const char* lineEnd = next_;
    if (*lineEnd != '\n') {
      lineEnd = static_cast<const char*>(
          std::memchr(lineEnd, '\n', static_cast<std::size_t>(end_ - lineEnd)));
      if (lineEnd == nullptr) return decline();
    }
    after_ = lineEnd + 1;
    return true;
  }

  // After endRead: where the statement began and where the one after it
  // begins.
  const char* begin() const noexcept { return begin_; }
  const char* end() const noexcept { return after_; }

  // What the statement leaves the reader's state. After endRead.
  StatementLeaves leaves() const noexcept {
    StatementLeaves left;
    left.end = after_;
    left.assigned = items_;
    int lastReal = -1, lastText = -1;
    for (int i = 0; i < items_; ++i) (isText(i) ? lastText : lastReal) = i;
    if (items_ > 0) left.kind = isText(items_ - 1) ? ValueKind::text : ValueKind::real;
    left.hasReal = lastReal >= 0;
    left.real = real_;
    if (lastText >= 0) {
      const Text text = textOf(lastText);
      left.hasText = true;
      left.text = text.value;
      left.textKept = std::min(static_cast<std::size_t>(text.valueEnd - text.value),
                               static_cast<std::size_t>(lengths_[lastText]));
    }
    return left;
  }

  // The statement's record, as the general steps would record it in
  // `trace` (see read_trace.h), `position` being the source's position at
  // the statement's first character; the items past its last are left as
  // they are. After endRead.
  void trace(ReadTrace& trace, std::int64_t position) const noexcept {
    // The position of the character at p is base + p.
    const std::int64_t base = position - reinterpret_cast<std::intptr_t>(begin_);
    const auto at = [base](const char* p) { return base + reinterpret_cast<std::intptr_t>(p); };
    trace.itemCount = items_;
    trace.begun = items_ > 0;
    for (int i = 0; i < items_; ++i) {
      ItemTrace& item = trace.items[i];
      item.outcome = ItemOutcome::value;
      item.start = at(starts_[i]);
      item.end = at(ends_[i]);
      item.repeatCount = -1;
      item.quote = 0;
      item.textLength = 0;
      item.continued = false;
      item.textHash = 0;
      if (!isText(i)) continue;
      const Text text = textOf(i);
      if (text.value != starts_[i]) item.quote = static_cast<unsigned char>(*starts_[i]);
      item.textLength = static_cast<std::size_t>(text.valueEnd - text.value);
      if (item.textLength > static_cast<std::size_t>(lengths_[i])) {
        std::uint64_t hash = textHashStart;
        for (const char* c = text.value; c < text.valueEnd; ++c) {
          hash = textHashStep(hash, static_cast<unsigned char>(*c));
        }
        item.textHash = hash;
      }
    }
    trace.restStart = at(items_ > 0 ? ends_[items_ - 1] : begin_);
    trace.restEnd = at(after_);
    trace.failure = 0;
    trace.failureWord = nullptr;
    trace.failureAt = -1;
  }

 private:
  // A text item's value: between its quotes, or all of it unquoted.
  struct Text {
    const char* value;
    const char* valueEnd;
  };

  bool decline() noexcept {
    next_ = nullptr;
    return false;
  }
  void note(const char* start, const char* end) noexcept {
    starts_[items_] = start;
    ends_[items_] = end;
    ++items_;
    next_ = end;
  }
  bool isText(int item) const noexcept { return (texts_ >> item & 1) != 0; }
  Text textOf(int item) const noexcept {
    const bool quoted = freeform::isQuote(static_cast<unsigned char>(*starts_[item]));
    return {starts_[item] + (quoted ? 1 : 0), ends_[item] - (quoted ? 1 : 0)};
  }

  const char* begin_ = nullptr;
  const char* next_ = nullptr;  // where the next item's first steps begin; nullptr: declined
  const char* limit_ = nullptr;
  const char* end_ = nullptr;
  const char* after_ = nullptr;  // after the line end
  int items_ = 0;
  unsigned texts_ = 0;  // bit i: item i is a text
  double real_ = 0.0;   // the last real item's value
  const char* starts_[maxItems];
  const char* ends_[maxItems];
  std::int32_t lengths_[maxItems];  // a text item's target length
};

}  // namespace recio
