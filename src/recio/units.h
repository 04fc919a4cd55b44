// The unit table: record statements address streams by unit number. Units 0,
// 5 and 6 are connected to standard error, input and output when the first
// statement on an external unit begins.
#pragma once

#include <cstdint>

#include "statement_context.h"

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

// Creates the unit table and connects units 0, 5 and 6 to descriptors 2, 0
// and 1, each only when its descriptor is open. Does nothing the second time.
void createUnitTable() noexcept;

// The unit's entry when it is connected, else nullptr.
Unit* connectedUnit(std::int32_t number) noexcept;

namespace detail {
inline constexpr std::int32_t ownUnitCount = 99;
// Units 0 to 98 once the unit table exists (nullptr before); their entries
// never move.
extern Unit* ownUnits[ownUnitCount];
Unit& obtainUnitInGeneral(std::int32_t number, bool forWriting) noexcept;
}  // namespace detail

// The unit `number` when a statement of the given direction could use it
// as it stands: connected, formatted and sequential, with its stream or
// source, and, for writing, not last read; nullptr otherwise.
inline Unit* readyUnit(std::int32_t number, bool forWriting) noexcept {
  if (number < 0 || number >= detail::ownUnitCount) return nullptr;
  Unit* unit = detail::ownUnits[number];
  if (unit != nullptr && unit->connected && unit->formatted && unit->sequential &&
      (forWriting ? unit->output != nullptr && !unit->lastRead : unit->input != nullptr))
      [[likely]] {
    return unit;
  }
  return nullptr;
}

// Begins the use of `number` by the statement in statementContext: creates
// the table if needed, connects an unconnected unit to the file "fort.N"
// (reporting a failure with the context word openWord), records the unit's
// name and that it is obtained in the context, and prepares the unit for
// reading or writing. Does not return on failure.
inline Unit& obtainUnit(std::int32_t number, bool forWriting) noexcept {
  // Every statement after the first on a unit comes this way, inline: a
  // unit that is connected, fits the statement and has its stream needs
  // nothing but the context's name and mark, which the general path would
  // also set.
  if (Unit* unit = readyUnit(number, forWriting); unit != nullptr) [[likely]] {
    statementContext.unitName = unit->name;
    statementContext.unitObtained = true;
    return *unit;
  }
  return detail::obtainUnitInGeneral(number, forWriting);
}

// Calls `visit` for every connected unit in table order.
void forEachConnectedUnit(void (*visit)(Unit&)) noexcept;

}  // namespace recio
