// The run-time error table, the failure report and the ways a run ends.
#pragma once

#include <cstdint>

namespace recio {

// Statuses of a record statement.
inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t endOfFile = -1;

// Run-time error codes raised by this library (the full table is in failure.cpp).
inline constexpr std::int32_t firstRuntimeError = 1000;
inline constexpr std::int32_t illegalUnitNumber = 1001;
inline constexpr std::int32_t formattedIoNotAllowed = 1002;
inline constexpr std::int32_t sequentialIoNotAllowed = 1005;
inline constexpr std::int32_t offBeginningOfRecord = 1007;
inline constexpr std::int32_t noStarAfterRepeatCount = 1009;
inline constexpr std::int32_t incomprehensibleListInput = 1012;
inline constexpr std::int32_t outOfFreeSpace = 1013;
inline constexpr std::int32_t negativeRepeatCount = 1022;
inline constexpr std::int32_t lastRuntimeError = 1027;

// The table's text for codes 1000 to 1027; nullptr for any other code.
const char* runtimeErrorText(std::int32_t code) noexcept;

// The context words of the failure reports: the place that failed.
inline constexpr char listReadWord[] = "list read";
inline constexpr char listIoWord[] = "list io";
inline constexpr char listWriteWord[] = "list write";
inline constexpr char openWord[] = "open";
inline constexpr char writeWord[] = "write";

// Writes the failure report for the statement described by statementContext
// on standard error, closes the units, flushes the streams and ends the
// process by SIGABRT. `contextWord` names the place that failed (listIoWord).
[[noreturn]] void reportFailure(std::int32_t code, const char* contextWord) noexcept;

// Where the reading of standard input stands, as the offset at which its
// descriptor would be left if the run ended now; noReadingMark when that is
// not a file offset (a pipe, a terminal) or nothing reads it.
inline constexpr std::int64_t noReadingMark = -1;
std::int64_t readingMark() noexcept;

// A write refused by the destination of `unit` (errno `error`): the report is
// the line "write: [N] <message>" and the unit line, then SIGABRT. A write
// reported later than it was first due gives `readingMark` of that moment:
// standard input is left as it stood then.
[[noreturn]] void reportRefusedWrite(std::int32_t unit, const char* unitName, int error,
                                     std::int64_t readingMark) noexcept;

// True from the moment a failure report begins.
bool failureInProgress() noexcept;

// Closes every connected unit (6 upward, then 0 to 5); errors are ignored.
void closeAllUnits() noexcept;

// Writes the pending output of every open output stream.
void flushAllStreams() noexcept;

// Resets signals 1 to 34 to their default action and aborts.
[[noreturn]] void terminateAbnormally() noexcept;

// Closes the units, flushes the streams and exits with `status`.
[[noreturn]] void exit_(std::int32_t status) noexcept;

}  // namespace recio
