// The record group `lat lon h label` of standard input: the point it leaves,
// the batch that the stages work through, and the one reader of groups that
// every path of the tool goes through (the one-thread loop, the workers'
// chunks and geocart-check).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "conversion.h"
#include "fixed_string.h"

namespace recio {
class CharSource;
class ReaderState;
struct ReadTrace;
}  // namespace recio

namespace geocart {

// The label printed after the coordinates; blank means none.
using PointLabel = recio::FixedString<8>;

// The current point: what the command line gave, overwritten by each record
// group with the values it supplies; nothing is reset between groups.
struct PointState {
  double factor = 0.0;  // degree-to-radian factor
  GeodeticPoint point;
  PointLabel label;
};

// Bits of the items of a group that took a value.
inline constexpr unsigned latitudeItem = 1, longitudeItem = 2, heightItem = 4, labelItem = 8;
inline constexpr unsigned everyItem = 15;

// Record groups read at once and the results of their points, in arrays
// that each stage works through in order: the scan stage (scan_stage.h) or
// the general steps fill the values, the convert stage (convert_stage.h)
// the coordinates, and the edit stage (edit_stage.h) writes the lines.
struct GroupBatch {
  static constexpr std::size_t capacity = 128;

  // The point of `state` alone, whose items `assigned` were given values
  // (a group that the general steps read, ending at the source's position
  // `end`, or the command line's point).
  void holdOnly(const PointState& state, unsigned assigned, std::int64_t end = 0) noexcept;

  std::size_t count = 0;  // groups in the batch
  unsigned assigned = 0;  // the items (bits above) that each group assigned
  bool finite = false;    // every value is finite: the conversion needs no NaN rule
  // The point as each group left it: degrees, degrees, metres.
  double latitude[capacity];
  double longitude[capacity];
  double height[capacity];
  PointLabel label[capacity];
  // The source's position after each group's characters.
  std::int64_t end[capacity];
  // Its X, Y, Z in metres.
  double x[capacity];
  double y[capacity];
  double z[capacity];
};

// Reads record groups into a PointState, each group a statement of the
// free-form reader: from standard input as statements on unit 5, or from a
// source of the caller's with a reader state of its own (detached).
class GroupReader {
 public:
  // Standard input, with the process's reader. The end of input between two
  // groups is returned; every other failure, the end of input inside a group
  // too, is reported and ends the run.
  static GroupReader standardInput() noexcept { return GroupReader(nullptr, nullptr); }
  // `source` with the reader of `state`, touching nothing process-wide:
  // every status is returned, nothing is reported. Both must outlive the
  // GroupReader.
  static GroupReader detached(recio::ReaderState& state, recio::CharSource& source) noexcept {
    return GroupReader(&state, &source);
  }

  // The next groups into `batch` and `state`, at most `most` (at least 1):
  // as many whole groups in their common form as the characters in hand
  // hold (the scan stage), or else one group read by the reader's general
  // steps, which the caller does not choose. Each value a group leaves null
  // keeps what the group before it gave; `state` holds the point after the
  // last. Returns 0 with at least one group in the batch, or the status of
  // the statement that met the end of input or failed, with the batch empty
  // and the items before the failure kept in `state`.
  std::int32_t read(GroupBatch& batch, std::size_t most, PointState& state) noexcept;

  // The same with `most` traces.size() (at least 1), each group recorded in
  // its trace as the reader's general steps record it: where each item
  // stood, how it was settled and what the statement's end dropped. The
  // statement that met the end of input or failed is recorded in the first.
  std::int32_t readTraced(GroupBatch& batch, std::span<recio::ReadTrace> traces,
                          PointState& state) noexcept;

 private:
  GroupReader(recio::ReaderState* state, recio::CharSource* source) noexcept
      : state_(state), source_(source) {}

  // Both nullptr on standard input.
  recio::ReaderState* state_;
  recio::CharSource* source_;
};

}  // namespace geocart
