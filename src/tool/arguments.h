// The process arguments, the two operations that give access to them, and
// the examination of the command line `geocart [-stdin] lat lon h [label]`.
#pragma once

#include <cstdint>

namespace geocart {

// The argument count and vector as the process received them.
extern std::int32_t xargc;
extern char** xargv;

// The number of arguments after the program name.
std::int32_t kargc() noexcept;

// Copies argument `n` (0 is the program name) into `buffer` up to its NUL or
// `length` characters and fills the rest with blanks; never NUL-terminated.
// An `n` outside 0 to xargc - 1 leaves `buffer` all blanks.
void kgetarg(const std::int32_t& n, char* buffer, std::int32_t length) noexcept;

// The tool's routine: examines the command line, then runs the point loop.
// Returns after the last point; misuse ends the run with status 1, and
// unreadable input ends it through the failure report.
void runTool() noexcept;

}  // namespace geocart
