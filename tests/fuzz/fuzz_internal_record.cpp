// One real read from an 80-character internal record built from the input,
// as a command-line number is read, and the same record read through a
// source of the test's own, item after item, to watch the record position.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "char_source.h"
#include "free_form_reader.h"
#include "fuzz_check.h"
#include "statement_context.h"

namespace {

constexpr std::int32_t recordLength = 80;
constexpr std::uint64_t untouched = 0x0123456789ABCDEFULL;  // no value gives this

// The record position and count that a failure report would show now.
void checkPosition(const recio::CharSource& source, const char* record) {
  recio::StatementContext context;
  context.recordPosition = nullptr;
  source.updateContext(context);
  FUZZ_CHECK(context.recordPosition != nullptr);
  FUZZ_CHECK(context.recordPosition >= record);
  FUZZ_CHECK(context.recordPosition <= record + recordLength);
  FUZZ_CHECK(context.charactersTaken >= 0 && context.charactersTaken <= recordLength);
  // Either the count is the offset of the position, or the record has been
  // passed and the count is back at 0.
  const auto offset = static_cast<std::int32_t>(context.recordPosition - record);
  FUZZ_CHECK(context.charactersTaken == offset ||
             (context.charactersTaken == 0 && offset == recordLength));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exactly 80 bytes on the heap, so that a read beyond them is caught.
  char* record = new char[recordLength];
  std::memset(record, ' ', recordLength);
  std::memcpy(record, data, size < recordLength ? size : recordLength);

  recio::FreeFormReader reader;
  // The command-line statement, with both exits so that failures come back.
  double first = std::bit_cast<double>(untouched);
  FUZZ_CHECK(reader.beginRead(record, recordLength, true, true) == 0);
  const std::int32_t firstStatus = reader.readReal(first);
  FUZZ_CHECK(firstStatus == 0 || firstStatus == -1 || firstStatus == 1012 ||
             firstStatus == 1022);
  FUZZ_CHECK(recio::statementContext.recordPosition >= record);
  FUZZ_CHECK(recio::statementContext.recordPosition <= record + recordLength);
  FUZZ_CHECK(recio::statementContext.endOfArea == record + recordLength);
  if (firstStatus == 0) FUZZ_CHECK(reader.endRead() == 0);

  // The same record through a source of our own: the same first outcome.
  recio::CharSource source;
  source.openRecord(record, recordLength);
  FUZZ_CHECK(reader.beginDetachedRead(source) == 0);
  checkPosition(source, record);
  double values[3] = {std::bit_cast<double>(untouched), 0.0, 0.0};
  std::int32_t status = reader.readReal(values[0]);
  FUZZ_CHECK(status == firstStatus);
  FUZZ_CHECK(std::bit_cast<std::uint64_t>(values[0]) == std::bit_cast<std::uint64_t>(first));
  checkPosition(source, record);
  // And on through a whole group: two more reals and a label.
  for (int i = 1; i < 3 && status == 0; ++i) {
    status = reader.readReal(values[i]);
    FUZZ_CHECK(fuzz::isReaderStatus(status) && status != 1009);
    checkPosition(source, record);
  }
  char label[8];
  std::memset(label, '?', sizeof label);
  if (status == 0) {
    status = reader.readText(label, 8);
    FUZZ_CHECK(fuzz::isReaderStatus(status) && status != 1012 && status != 1022);
    checkPosition(source, record);
    if (status == 0) FUZZ_CHECK(reader.endRead() == 0);
  }
  // A label is never cut short: 8 characters, none of them a NUL.
  for (const char ch : label) FUZZ_CHECK(ch != '\0');
  delete[] record;
  return 0;
}
