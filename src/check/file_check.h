// FileChecker: reads one input as `geocart -stdin` reads it, group by group
// through the tool's own reader, and writes a finding for each place where
// what geocart does is likely not what the input's author meant. Where
// geocart would stop with a failure report, the check says so and goes on
// from the line after the one where the failed group began.
#pragma once

#include <cstdint>
#include <string_view>

#include "char_source.h"
#include "finding_writer.h"
#include "input_window.h"
#include "label_table.h"
#include "read_trace.h"
#include "reader_state.h"
#include "record_group.h"

namespace geocart::check {

class FileChecker {
 public:
  explicit FileChecker(FindingWriter& findings) noexcept : findings_(findings) {}

  // Checks the input read from `fd`, named `name` in the findings; passes
  // every byte read on to `passFd` unless it is -1. Returns false, with
  // errno set, when the input could not be read or passed on to its end.
  bool check(std::string_view name, int fd, int passFd) noexcept;

  // The last check that returned false failed in passing the input on.
  bool passFailed() const noexcept { return window_.passFailed(); }

  // The labels of the last input stopped being compared from this line on
  // (0: they all were).
  std::uint64_t labelsFullSince() const noexcept { return labels_.fullSince(); }

 private:
  // A place in the input, counted from 1.
  struct Place {
    std::uint64_t line;
    std::uint64_t column;
  };

  // The group just read: its statement's start and status, and the point
  // as it stood before the group.
  struct Group {
    std::int64_t start;     // where its statement began, a line start
    std::int64_t chunk;     // the offset of the source's position 0
    std::int32_t status;
    PointState before;
  };

  bool checkAll() noexcept;
  // The group's findings; for a group that succeeded, returns the line ends
  // its statement took.
  std::uint64_t examine(const Group& group) noexcept;
  void examineItems(const Group& group) noexcept;
  // Every item took a value of its own after a separator, and the numbers
  // are finite, the latitude within 90 degrees: only the label is left to
  // look at.
  bool isPlain() const noexcept;
  void examineLabel(const Group& group, const recio::ItemTrace& label) noexcept;
  void examineRest(const Group& group) noexcept;
  void reportFailure(const Group& group, std::uint64_t groupLine) noexcept;
  void reportUnending(const Group& group) noexcept;
  void reportByteOrderMark() noexcept;
  // Notes the oldest pending label, or all of them.
  void noteOldestLabel() noexcept;
  void notePendingLabels() noexcept {
    while (pendingCount_ > 0) noteOldestLabel();
  }
  // After a failed group: the offset where the check goes on, the start of
  // the line after the one where the group began; -1 when the input cannot
  // be read.
  std::int64_t resumeAfter(const Group& group) noexcept;

  // Positions of the trace, made offsets of the input.
  std::int64_t offsetOf(const Group& group, std::int64_t position) const noexcept {
    return group.chunk + position;
  }
  std::int64_t firstOffset(const Group& group) const noexcept;
  // The place of `offset`, which lies in the window at or after `from`, a
  // line start on line `fromLine`.
  Place placeOf(std::int64_t offset) const noexcept;
  std::int64_t lineEndsIn(std::int64_t from, std::int64_t to) const noexcept;
  void begin(Place place) noexcept {
    notePendingLabels();
    findings_.begin(name_, place.line, place.column);
  }
  void beginAt(std::int64_t offset) noexcept { begin(placeOf(offset)); }
  // The characters of the input from `from` to `to`, quoted.
  void quoteInput(std::int64_t from, std::int64_t to) noexcept;
  // The word of the input at `offset`: up to a blank, comma, slash or line end.
  void quoteWord(std::int64_t offset) noexcept;
  void quoteLabel(const PointLabel& label) noexcept;
  void valueOf(const PointState& state, int item) noexcept;
  // ": geocart uses" the values of `items` (bits) that the point before left.
  void usesEarlier(unsigned items) noexcept;

  FindingWriter& findings_;
  std::string_view name_;
  InputWindow window_;
  recio::CharSource source_;
  recio::ReaderState reader_;
  GroupReader groups_ = GroupReader::detached(reader_, source_);
  // The groups read at once, with their traces, and the trace of the group
  // being examined.
  static constexpr std::size_t groupsAtOnce = 16;
  GroupBatch batch_;
  recio::ReadTrace traces_[groupsAtOnce];
  recio::ReadTrace* trace_ = &traces_[0];
  LabelTable labels_;
  PointState point_;
  bool pointBefore_ = false;  // a group was read before the one examined
  // The line where the group examined begins, whether it goes on past it,
  // and whether blank lines stand before it.
  std::uint64_t groupLine_ = 0;
  bool groupSpans_ = false;
  bool blankLinesBefore_ = false;
  // Labels of 8 characters or more still to note in the table, oldest
  // first: each is noted some groups after it was read, once its entry has
  // come from memory, or before the next finding is written, so that the
  // findings stay in the order of the input.
  struct PendingLabel {
    std::uint64_t printed = 0;  // its 8 characters, as LabelTable takes them
    std::uint64_t whole = 0;
    Place place{};
  };
  static constexpr std::size_t pendingRoom = 16;
  PendingLabel pending_[pendingRoom];
  std::size_t pendingFirst_ = 0;
  std::size_t pendingCount_ = 0;
  // The line count: the line that begins at lineStart_.
  std::int64_t lineStart_ = 0;
  std::uint64_t line_ = 1;
};

}  // namespace geocart::check
