// The edit stage: the result lines of a batch's points, edited straight into
// the room the output's buffer has left.
#pragma once

#include <cstddef>

#include "field_editor.h"
#include "record_group.h"

namespace recio {
class OutputStream;
}  // namespace recio

namespace geocart {

// The longest result line, its line end included.
inline constexpr std::size_t longestResultLine = recio::longestBuiltInRecord;
// The shortest, (3F15.4) and its line end.
inline constexpr std::size_t shortestResultLine = 3 * 15 + 1;

// The result line of X, Y, Z (metres) and `label` at `at`, which has room
// for longestResultLine bytes: (3F15.4) when the label is blank, else
// (3F15.4,5X,A8). Returns its length, the line end included. Every result
// line of the tool is edited here.
std::size_t editResultLine(char* at, double x, double y, double z,
                           const PointLabel& label) noexcept;
// The length that editResultLine gives a line with `label`.
std::size_t resultLineLength(const PointLabel& label) noexcept;

// The batch's lines on `output`, in order. They go one after another into
// the room its buffer has left while more than the longest line is left,
// and are committed together; the line that finds less is edited apart and
// handed to the stream, which writes out what its buffering asks for (a
// full block, a terminal's line). So the stream's writes are those of one
// line handed over at a time. A memory stream keeps what its area holds.
void putResultLines(const GroupBatch& batch, recio::OutputStream& output) noexcept;

// The batch's lines on standard output (unit 6). When the unit is not ready
// for them, the first line is written as a statement of its own, which
// obtains the unit as every record's statement does.
void writeResultLines(const GroupBatch& batch) noexcept;

}  // namespace geocart
