// The tool's routine, which main runs.
#pragma once

namespace geocart {

// Computes the degree factor, examines the command line and runs the point
// loop. Returns after the last point; misuse ends the run with status 1, and
// unreadable input ends it through the failure report.
void runTool() noexcept;

}  // namespace geocart
