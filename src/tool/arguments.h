// The process arguments, the two operations that give access to them, and
// the examination of the command line `geocart [-stdin] lat lon h [label]`.
#pragma once

#include <cstdint>

#include "record_group.h"

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

// Examines the arguments left to right: the numbers and the label of the
// point into `state` (the label blank when none is given), until a `-stdin`
// argument, which ends the examination and makes the result true. Misuse
// writes the usage text and ends the run with status 1; an unreadable number
// ends it through the failure report.
bool examineCommandLine(PointState& state) noexcept;

}  // namespace geocart
