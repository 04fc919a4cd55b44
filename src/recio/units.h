// The unit table: record statements address streams by unit number. Units 0,
// 5 and 6 are connected to standard error, input and output when the first
// statement on an external unit begins.
#pragma once

#include <cstdint>

namespace recio {

class OutputStream;
class CharSource;

inline constexpr std::int32_t errorUnit = 0;
inline constexpr std::int32_t inputUnit = 5;
inline constexpr std::int32_t outputUnit = 6;

struct Unit {
  std::int32_t number = -1;
  bool connected = false;
  const char* name = nullptr;   // nullptr for the standard streams
  bool positionable = false;    // a regular file or device; not a pipe, socket or terminal
  bool terminal = false;
  bool formatted = true;
  bool sequential = true;
  bool lastRead = false;        // the last transfer on the unit was a read
  int fd = -1;
  OutputStream* output = nullptr;  // set for units written to
  CharSource* input = nullptr;     // set for units read from
};

// True once the first statement on an external unit has begun.
bool unitTableExists() noexcept;

// Creates the unit table and connects units 0, 5 and 6 to descriptors 2, 0
// and 1, each only when its descriptor is open. Does nothing the second time.
void createUnitTable() noexcept;

// The unit's entry when it is connected, else nullptr.
Unit* connectedUnit(std::int32_t number) noexcept;

// Begins the use of `number` by the statement in statementContext: creates
// the table if needed, connects an unconnected unit to the file "fort.N"
// (reporting a failure with the context word "open"), records the unit's
// name and that it is obtained in the context, and prepares the unit for
// reading or writing. Does not return on failure.
Unit& obtainUnit(std::int32_t number, bool forWriting) noexcept;

// Calls `visit` for every connected unit in table order.
void forEachConnectedUnit(void (*visit)(Unit&)) noexcept;

}  // namespace recio
