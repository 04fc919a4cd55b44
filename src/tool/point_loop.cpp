// The point loop. Nothing is reset between record groups: a value that a
// group leaves null keeps what the group before it gave.
#include "point_loop.h"

#include "convert_stage.h"
#include "edit_stage.h"
#include "failure.h"
#include "parallel_conversion.h"

namespace geocart {

namespace {

// Up to `most` groups of standard input through the three stages; false at
// the end of input.
bool convertGroups(PointState& state, std::size_t most, GroupBatch& batch) noexcept {
  if (GroupReader::standardInput().read(batch, most, state) != recio::success) return false;
  convertPoints(batch, state.factor);
  writeResultLines(batch);
  return true;
}

}  // namespace

void runPointLoop(PointState& state, bool stdinMode) noexcept {
  runPointLoop(state, stdinMode, defaultTuning());
}

void runPointLoop(PointState& state, bool stdinMode, const ParallelTuning& tuning) noexcept {
  GroupBatch batch;
  if (!stdinMode) {
    batch.holdOnly(state, everyItem);
    convertPoints(batch, state.factor);
    writeResultLines(batch);
    return;
  }
  if (convertInParallel(state, tuning)) return;
  while (convertGroups(state, GroupBatch::capacity, batch)) {
  }
}

bool convertNextGroup(PointState& state) noexcept {
  GroupBatch batch;
  return convertGroups(state, 1, batch);
}

}  // namespace geocart
