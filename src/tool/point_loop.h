// The point loop: the command-line point, or one record group of standard
// input after another, converted and written as fixed-layout result lines.
#pragma once

#include "conversion.h"
#include "fixed_string.h"

namespace geocart {

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

// Converts and writes one result line per point; returns at end of input in
// standard-input mode, after one point otherwise.
void runPointLoop(PointState& state) noexcept;

}  // namespace geocart
