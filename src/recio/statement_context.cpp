// The process-wide statement context and the two ways a statement sets it.
#include "statement_context.h"

namespace recio {

StatementContext statementContext;

void beginInternalListRead(const char* area, std::int32_t length) noexcept {
  statementContext = StatementContext{};
  statementContext.reading = true;
  statementContext.form = Form::freeForm;
  statementContext.external = false;
  statementContext.unitObtained = true;
  statementContext.formatText = "int list io";
  statementContext.recordPosition = area;
  statementContext.charactersTaken = 0;
  statementContext.endOfArea = area + length;
}

}  // namespace recio
