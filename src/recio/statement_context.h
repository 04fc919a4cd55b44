// The process-wide description of the record statement in progress. Every
// statement sets it when it begins; only the failure report reads it.
#pragma once

#include <cstdint>

namespace recio {

enum class Form : std::int32_t { freeForm = -1, unformatted = 0, fixedLayout = 1 };

struct StatementContext {
  bool reading = false;          // false: writing
  bool sequential = true;        // false: direct access
  Form form = Form::freeForm;
  bool external = false;         // false: internal (a character area)
  std::int32_t unit = -1;        // external statements only
  const char* unitName = nullptr;  // nullptr: the unit has no file name
  bool unitObtained = false;     // true once the unit is connected; always for internal
  const char* formatText = nullptr;
  bool endOfFileExit = false;
  bool errorExit = false;
  // Internal statements: the area being read, kept current by the reader.
  const char* recordPosition = nullptr;  // next character to be taken
  std::int32_t charactersTaken = 0;      // taken from the current record
  const char* endOfArea = nullptr;
};

// The one context of the process.
extern StatementContext statementContext;

// Starts an internal free-form read over [area, area + length).
void beginInternalListRead(const char* area, std::int32_t length) noexcept;

// Starts an external statement on `unit`; the unit is not yet obtained.
// Inline: every read and every result line begins with it.
inline void beginExternalStatement(bool reading, Form form, std::int32_t unit,
                                   const char* formatText, bool endOfFileExit,
                                   bool errorExit) noexcept {
  statementContext = StatementContext{};
  statementContext.reading = reading;
  statementContext.form = form;
  statementContext.external = true;
  statementContext.unit = unit;
  statementContext.formatText = formatText;
  statementContext.endOfFileExit = endOfFileExit;
  statementContext.errorExit = errorExit;
}

}  // namespace recio
