// The point loop: the command-line point, or one record group of standard
// input after another, converted and written as fixed-layout result lines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "conversion.h"
#include "fixed_string.h"

namespace recio {
class CharSource;
class FreeFormReader;
class OutputStream;
}  // namespace recio

namespace geocart {

struct ParallelTuning;

// The label printed after the coordinates; blank means none.
using PointLabel = recio::FixedString<8>;

// What the command line hands to the point loop. In standard-input mode the
// values read from the command line are the starting values: a record group
// overwrites only what it supplies.
struct PointState {
  double factor = 0.0;  // degree-to-radian factor
  GeodeticPoint point;
  PointLabel label;
  bool stdinMode = false;
};

// The longest result line: three fields of 15 columns, a move of 5, the
// label of 8 and the newline.
inline constexpr std::size_t longestResultLine = 3 * 15 + 5 + 8 + 1;

// Bits of the group items, for readGroupItems.
inline constexpr unsigned latitudeItem = 1, longitudeItem = 2, heightItem = 4, labelItem = 8;
inline constexpr unsigned everyItem = 15;

// Converts and writes one result line per point; returns at end of input in
// standard-input mode, after one point otherwise. Standard input is read
// with the threads `tuning` gives where it can be (the defaults when none
// is given); the result lines are the same either way.
void runPointLoop(PointState& state) noexcept;
void runPointLoop(PointState& state, const ParallelTuning& tuning) noexcept;

// One record group from standard input into `state`, converted, and its
// result line written; false at end of input, wherever in the group it came.
bool convertNextGroup(PointState& state) noexcept;

// The four items of a record group and the statement's end, read by
// `reader` in a statement the caller has begun: returns the statement's
// status. When `assigned` is not nullptr, the bit of each item that took a
// value is set in it.
std::int32_t readGroupItems(recio::FreeFormReader& reader, GeodeticPoint& point,
                            PointLabel& label, unsigned* assigned) noexcept;

// A whole record group from the characters `source` has in hand, as
// FreeFormReader::readGroupInBlock reads it (with the end-of-file exit);
// false, having changed nothing, when the general steps must read it.
bool readGroupInBlock(recio::FreeFormReader& reader, recio::CharSource& source,
                      bool errorExit, GeodeticPoint& point, PointLabel& label) noexcept;

// The result line of `c` and `label` as one record on `stream`, outside
// the units; on standard output when `stream` is nullptr.
void writeResultLine(const CartesianPoint& c, const PointLabel& label,
                     recio::OutputStream* stream) noexcept;

}  // namespace geocart
