// The point loop. Nothing is reset between record groups: a value that a
// group leaves null keeps what the group before it gave.
#include "point_loop.h"

#include "parallel_conversion.h"
#include "units.h"

namespace geocart {

void runPointLoop(PointState& state, bool stdinMode) noexcept {
  runPointLoop(state, stdinMode, defaultTuning());
}

void runPointLoop(PointState& state, bool stdinMode, const ParallelTuning& tuning) noexcept {
  if (!stdinMode) {
    writeResultLine(state);
    return;
  }
  if (convertInParallel(state, tuning)) return;
  for (;;) {
    // While the groups come whole in the block and their lines fit in the
    // buffer, nothing but these two units is used, and they stay as they are.
    const recio::Unit* input = recio::readyUnit(recio::inputUnit, false);
    const recio::Unit* output = recio::readyUnit(recio::outputUnit, true);
    if (input != nullptr && output != nullptr) {
      if (!convertGroups<GeneralSteps::unitStatement>(nullptr, *input->input, *output->output,
                                                      state, nullptr)) {
        return;
      }
    }
    if (!convertNextGroup(state)) return;
  }
}

}  // namespace geocart
