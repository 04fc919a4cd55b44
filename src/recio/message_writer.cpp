// MessageWriter: free-form write statements of character and integer items.
#include "message_writer.h"

#include <charconv>
#include <cstddef>

#include "failure.h"
#include "output_stream.h"
#include "statement_context.h"
#include "units.h"

namespace recio {
namespace {

constexpr const char* contextWord = "ext list io";
constexpr std::int64_t lineLimit = 80;

// The statement in progress. 64 bits for the column count: an item may be as
// long as a 32-bit length allows, and column + width must not overflow.
OutputStream* destination = nullptr;
std::int64_t columnCount = 0;

void emit(const char* bytes, std::size_t n) noexcept {
  if (n == 0) return;
  if (destination != nullptr) destination->write(bytes, n);
  // Only the bytes after the last newline count towards the column.
  std::size_t last = n;
  while (last > 0 && bytes[last - 1] != '\n') --last;
  if (last == 0) {
    columnCount += static_cast<std::int64_t>(n);
  } else {
    columnCount = static_cast<std::int64_t>(n - last);
  }
}

// A line that holds only its leading blank takes any item, however wide;
// otherwise an item that would pass the line limit starts a new line.
void fit(std::int64_t width) noexcept {
  if (columnCount <= 1) return;
  if (columnCount + width <= lineLimit) return;
  emit("\n ", 2);
}

}  // namespace

std::int32_t MessageWriter::beginRecord(std::int32_t unit) noexcept {
  beginExternalStatement(false, Form::freeForm, unit, contextWord, false, false);
  if (unit < 0) reportFailure(illegalUnitNumber, contextWord);
  Unit& u = obtainUnit(unit, true);
  if (!u.formatted) reportFailure(formattedIoNotAllowed, contextWord);
  if (!u.sequential) reportFailure(sequentialIoNotAllowed, contextWord);
  destination = u.output;
  columnCount = 0;
  emit(" ", 1);
  return success;
}

std::int32_t MessageWriter::putText(const char* text, std::int32_t length) noexcept {
  const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
  fit(static_cast<std::int64_t>(n));
  emit(text, n);
  return success;
}

std::int32_t MessageWriter::putInteger(std::int32_t value) noexcept {
  // Two blanks, then at most a minus sign and ten digits.
  char field[2 + 11] = {' ', ' '};
  const auto result = std::to_chars(field + 2, field + sizeof field, value);
  const auto width = static_cast<std::size_t>(result.ptr - field);
  fit(static_cast<std::int64_t>(width));
  emit(field, width);
  return success;
}

std::int32_t MessageWriter::endRecord() noexcept {
  emit("\n", 1);
  destination = nullptr;
  return success;
}

}  // namespace recio
