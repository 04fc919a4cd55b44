// The point loop: the command-line point, or one record group of standard
// input after another, each converted and written as a result line; it
// chooses how standard input is read (worker threads or one thread).
#pragma once

#include "record_group.h"

namespace geocart {

struct ParallelTuning;

// Writes the result line of `state`'s point and returns when `stdinMode` is
// false; otherwise converts the record groups of standard input to its end.
// Standard input is read with the threads `tuning` gives where it can be
// (the defaults when none is given); the result lines are the same either
// way.
void runPointLoop(PointState& state, bool stdinMode) noexcept;
void runPointLoop(PointState& state, bool stdinMode, const ParallelTuning& tuning) noexcept;

}  // namespace geocart
