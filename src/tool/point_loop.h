// The point loop: the command-line point, or the record groups of standard
// input batch after batch, each read, converted and written by the stages;
// it chooses how standard input is read (worker threads or one thread).
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

// One group read from standard input (unit 5) into `state`, converted and
// its line written on standard output (unit 6); false, writing nothing, at
// the end of input between two groups. The end of input inside a group, and
// every other failure, end the run.
bool convertNextGroup(PointState& state) noexcept;

}  // namespace geocart
