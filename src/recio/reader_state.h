// ReaderState: the statement state of the free-form reader, from the
// beginning of a statement to its end, and the text buffer that outlives the
// statements. The process has one, which the statements on units and
// internal records use; a thread that reads a source of its own keeps a
// state of its own, so that it touches nothing process-wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace recio {

class CharSource;

enum class ValueKind { null, real, text };

struct ReaderState {
  ReaderState() = default;
  ReaderState(const ReaderState&) = delete;
  ReaderState& operator=(const ReaderState&) = delete;
  ~ReaderState() { std::free(text); }

  CharSource* source = nullptr;
  // No item has started a value yet: the statement has taken nothing but
  // blanks, and its group has not begun.
  bool firstItem = true;
  std::int32_t repeat = 0;
  bool stop = false;
  bool ended = false;  // the source has given the end-of-input mark
  bool endOfFileExit = false;
  bool errorExit = false;
  // Items of the statement that were assigned a value.
  std::int32_t assigned = 0;
  ValueKind kind = ValueKind::null;
  double real = 0.0;
  // The current text value, as far as assignment to its target can use it:
  // at most the target's length, and nothing from a NUL on.
  char* text = nullptr;
  std::size_t textCapacity = 0;
  std::size_t textKept = 0;
};

}  // namespace recio
