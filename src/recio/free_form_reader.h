// FreeFormReader: reads values that stand in no fixed columns, separated by
// blanks, commas or line ends, with null values, repeat counts and the slash.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader_state.h"

namespace recio {

class CharSource;
struct ReadTrace;

class FreeFormReader {
 public:
  // A reader of the process's statement state: a statement may be begun by
  // one such reader and continued by another.
  FreeFormReader() noexcept;
  // A reader of `state`, which it keeps for the reader's lifetime.
  explicit FreeFormReader(ReaderState& state) noexcept : state_(&state.fields_) {}

  // Begins a statement over one internal record of `length` characters.
  std::int32_t beginRead(const char* record, std::int32_t length,
                         bool endOfFileExit, bool errorExit) noexcept;
  // Begins a statement on an external unit (5: standard input).
  std::int32_t beginRead(std::int32_t unit, bool endOfFileExit,
                         bool errorExit) noexcept;
  // Begins a statement on `source` that touches no process-wide state: the
  // statement context is left as it is and every status is returned, end of
  // file and errors alike; nothing is ever reported. For a thread of its
  // own, with a reader of its own state.
  std::int32_t beginDetachedRead(CharSource& source) noexcept;

  // Each returns 0, or -1 (end of file) / a positive error code when the
  // statement has the matching exit; otherwise a failure does not return.
  // The end of input takes the end-of-file exit only before the statement's
  // group has begun (nothing but blanks taken); after that it is an error,
  // returned through the error exit or reported with -1.
  // A target that gets no value (null, slash, failure) keeps what it held.
  std::int32_t readReal(double& target) noexcept;
  // Stores a text value into `length` characters, blank-padded, cut at the
  // first NUL or at `length`.
  std::int32_t readText(char* target, std::int32_t length) noexcept;
  // Ends the statement; on a unit, the rest of the line is skipped.
  std::int32_t endRead() noexcept;

  // Statements read one after another from the characters that `source`
  // has in hand (StatementInBlock), the first from buffered() on, each
  // ended by its endRead, `last` what the last of them leaves: leaves the
  // reader's state and the source as a statement begun on the source with
  // these exits, one read per item and endRead would have left them after
  // each, the source going on after the last. Their texts' targets are no longer than
  // textRoom(). The statement context is not set, as only a failure report
  // reads it and these statements cannot fail; a trace (traceInto) is not
  // written, as StatementInBlock::trace writes it.
  void takeInBlock(CharSource& source, bool endOfFileExit, bool errorExit,
                   const StatementLeaves& last) noexcept;

  // Characters of a text value that the text buffer keeps without growing.
  std::size_t textRoom() const noexcept { return state_->textCapacity; }

  // Items of the statement in progress that were assigned a value so far.
  std::int32_t itemsAssigned() const noexcept { return state_->assigned; }

  // From the next statement on, each statement of this reader's state is
  // recorded in `trace` (nullptr: no longer), which a statement's beginning
  // clears; the items are then read by the general steps alone, whose
  // outcome the block entries only ever repeat.
  void traceInto(ReadTrace* trace) noexcept { state_->trace = trace; }

 private:
  ReaderFields* state_;
};

}  // namespace recio
