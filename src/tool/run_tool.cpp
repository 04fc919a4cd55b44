// The tool's routine: the degree factor first, before any argument is looked
// at, then the command line, then the points. Its state lives for the run.
#include "run_tool.h"

#include "arguments.h"
#include "point_loop.h"

namespace geocart {

namespace {
PointState state;
}  // namespace

void runTool() noexcept {
  state.factor = degreeFactor();
  const bool stdinMode = examineCommandLine(state);
  runPointLoop(state, stdinMode);
}

}  // namespace geocart
