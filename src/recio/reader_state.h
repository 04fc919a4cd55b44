// ReaderState: the statement state of the free-form reader, from the
// beginning of a statement to its end, and the text buffer that outlives the
// statements. The process has one, which the statements on units and
// internal records use; a thread that reads a source of its own keeps a
// state of its own, so that it touches nothing process-wide. Only the
// reader's steps write it (see free_form_rules.h); anyone else can hold
// one, hand it to a FreeFormReader and compare two of them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace recio {

class CharSource;
class FreeFormReader;
struct ReadTrace;

enum class ValueKind { null, real, text };

// The current real value. Two are the same when their bits are: -0 is not
// 0, and a NaN is the same as itself.
struct RealValue {
  double value = 0.0;
  bool operator==(const RealValue& other) const noexcept {
    return std::bit_cast<std::uint64_t>(value) == std::bit_cast<std::uint64_t>(other.value);
  }
};

// What a statement leaves behind, apart from the characters of the current
// text: a field that a step writes belongs here, so that every comparison
// of two states takes it in without naming it.
struct StatementFields {
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
  RealValue real;
  // How much of the current text value `text` holds: at most the target's
  // length, and nothing from a NUL on.
  std::size_t textKept = 0;

  bool operator==(const StatementFields&) const = default;
};

// What a whole statement read from characters in memory leaves the
// statement state (statement_in_block.h), which FreeFormReader::takeInBlock
// stores: the items assigned, and the current value, which is the last
// item's, with the last real and the characters that the last text's
// target kept.
struct StatementLeaves {
  const char* end = nullptr;  // where the statement after it begins
  std::int32_t assigned = 0;
  ValueKind kind = ValueKind::null;
  bool hasReal = false;
  double real = 0.0;
  bool hasText = false;
  const char* text = nullptr;
  std::size_t textKept = 0;
};

// The fields the reading steps work on: the statement's, the source being
// read, and the text buffer, which grows as a text needs it.
struct ReaderFields : StatementFields {
  CharSource* source = nullptr;
  char* text = nullptr;
  std::size_t textCapacity = 0;
  // Where the reading steps record what they meet; nullptr: nowhere.
  ReadTrace* trace = nullptr;
};

class ReaderState {
 public:
  ReaderState() = default;
  ReaderState(const ReaderState&) = delete;
  ReaderState& operator=(const ReaderState&) = delete;
  ~ReaderState() { std::free(fields_.text); }

  // The same statement state and the same current text: what the reading
  // steps left in one is what they left in the other. The source read and
  // where the text buffer lies, and its room, are not compared.
  friend bool operator==(const ReaderState& a, const ReaderState& b) noexcept {
    return static_cast<const StatementFields&>(a.fields_) ==
               static_cast<const StatementFields&>(b.fields_) &&
           a.currentText() == b.currentText();
  }

 private:
  friend class FreeFormReader;

  std::string_view currentText() const noexcept {
    if (fields_.textKept == 0) return {};
    return {fields_.text, fields_.textKept};
  }

  ReaderFields fields_;
};

}  // namespace recio
