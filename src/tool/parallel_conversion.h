// Standard input converted by worker threads, every byte as on one thread.
//
// The rule for a kept group. Standard input is cut into chunks at line
// ends. A worker reads its chunk as if the chunk began a record group: with
// the reader's own steps over the chunk in memory, with statement state of
// its own, knowing none of the values from before the chunk. It reads group
// after group and stops at the first that does not end at a line end inside
// the chunk (a failure, the chunk's end) or whose line would not fit its
// output area. Where a group ends depends only on the bytes from its start:
// a value left null changes what is stored, never what is read. So, when
// the chunk's start really is where a group begins, the worker's groups are
// the groups of reading on one thread, and each value after a group is the
// one thread's as soon as the chunk itself has assigned it. The worker
// keeps the groups from the first after which all four values have been
// assigned within the chunk: their result lines are the one thread's.
//
// The thread that owns standard input and output proves the start. It
// takes the chunks in order and accepts a chunk's kept groups only when its
// own reading stands exactly at the chunk's start, between two statements;
// it reads the groups before the kept ones, and everything it does not
// accept, with the one-thread steps from its exact state. Only it writes
// result lines to the unit and failure reports, so both come in order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "record_group.h"

namespace geocart {

struct ParallelTuning {
  unsigned workers = 0;        // worker threads; fewer than 2: none
  std::size_t chunkBytes = 0;  // most bytes of input in one chunk
};

// One worker for each CPU of the process's affinity mask, at most 16, and
// chunks of 128 KiB.
ParallelTuning defaultTuning() noexcept;

// Converts standard input to its end with `tuning.workers` threads when it
// is a regular file or a pipe (not a terminal) and two workers or more are
// asked for, and returns true. Returns false, having read nothing, when it
// does not apply or the threads cannot be had: the one-thread loop then
// runs as ever. Unreadable input ends the run as on one thread.
bool convertInParallel(PointState& state, const ParallelTuning& tuning) noexcept;

// How the last run of convertInParallel that reached the end of its input
// shared it out, in bytes of standard input: the groups whose lines the
// workers made and the owning thread accepted, and all the rest, which the
// owning thread read itself. Kept for the tests, which check that the
// workers do take the input; nothing in the tool reads it.
struct ParallelShare {
  std::int64_t workerBytes = 0;
  std::int64_t ownBytes = 0;
};
ParallelShare lastParallelShare() noexcept;

}  // namespace geocart
