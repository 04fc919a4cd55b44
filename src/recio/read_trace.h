// ReadTrace: what the reading steps of one statement met, item by item, for
// a caller that checks input rather than uses it: where each item's value
// stood in the source, how the item was settled, and what the statement's
// end dropped. Positions are those of CharSource::position().
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio {

// How an item was settled.
enum class ItemOutcome : std::uint8_t {
  unread,    // the statement ended before the item
  value,     // a value read from the source (after a repeat count too)
  null,      // a comma where a value was due, or `r*` with no value
  stopped,   // a slash ended the statement's items
  repeated,  // a repeat count pending from an item before served it
};

struct ItemTrace {
  ItemOutcome outcome = ItemOutcome::unread;
  // The item's first character other than a blank (a value, a repeat count,
  // a comma or a slash), and the position after its value; -1 when the item
  // read no character of its own.
  std::int64_t start = -1;
  std::int64_t end = -1;
  // The count of a repeat count `r*` that this item read; -1 without one.
  std::int32_t repeatCount = -1;
  // A text value: its quote character (0 when unquoted), the characters of
  // the value before it is cut to the target, and whether a backslash at a
  // line end continued it.
  int quote = 0;
  std::size_t textLength = 0;
  bool continued = false;
  // When the text value is longer than its target keeps: a hash of the
  // whole value (textHash below), so that two values can be told apart
  // beyond what is kept.
  std::uint64_t textHash = 0;
};

// The hash of a text value, one character after another (FNV-1a, 64 bits).
inline constexpr std::uint64_t textHashStart = 0xcbf29ce484222325ull;
inline constexpr std::uint64_t textHashStep(std::uint64_t hash, unsigned char c) noexcept {
  return (hash ^ c) * 0x100000001b3ull;
}

struct ReadTrace {
  static constexpr int maxItems = 8;

  ItemTrace items[maxItems];
  int itemCount = 0;  // items begun, at most maxItems traced
  // The statement took a character other than a blank: its group began.
  bool begun = false;
  // What the statement's end dropped: from the position after the last
  // item up to and including the line end; -1 when it was not reached.
  std::int64_t restStart = -1;
  std::int64_t restEnd = -1;
  // A failure: its code and the context word the report would give, and the
  // position where it was found; code 0 when the statement succeeded.
  std::int32_t failure = 0;
  const char* failureWord = nullptr;
  std::int64_t failureAt = -1;

  // The item being read, or nullptr past maxItems.
  ItemTrace* current() noexcept {
    return itemCount > 0 && itemCount <= maxItems ? &items[itemCount - 1] : nullptr;
  }
};

}  // namespace recio
