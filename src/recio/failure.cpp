// The run-time error table, the failure report written on standard error,
// and the three ways a run ends: the report, exit_ and the return from main.
#include "failure.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "char_source.h"
#include "output_stream.h"
#include "statement_context.h"
#include "units.h"

namespace recio {
namespace {

constexpr const char* runtimeErrorTexts[] = {
    "error in format",              // 1000
    "illegal unit number",          // 1001
    "formatted io not allowed",     // 1002
    "unformatted io not allowed",   // 1003
    "direct io not allowed",        // 1004
    "sequential io not allowed",    // 1005
    "can't backspace file",         // 1006
    "off beginning of record",      // 1007
    "can't stat file",              // 1008
    "no * after repeat count",      // 1009
    "off end of record",            // 1010
    "truncation failed",            // 1011
    "incomprehensible list input",  // 1012
    "out of free space",            // 1013
    "unit not connected",           // 1014
    "read unexpected character",    // 1015
    "illegal logical input field",  // 1016
    "'new' file exists",            // 1017
    "can't find 'old' file",        // 1018
    "unknown system error",         // 1019
    "requires seek ability",        // 1020
    "illegal argument",             // 1021
    "negative repeat count",        // 1022
    "illegal operation for unit",   // 1023
    "recursive i/o call",           // 1024
    "incompatible specifiers",      // 1025
    "illegal input for namelist",   // 1026
    "error in FILEOPT parameter",   // 1027
};
static_assert(std::size(runtimeErrorTexts) == lastRuntimeError - firstRuntimeError + 1);

bool reportUnderWay = false;

// The report's text is gathered a line at a time on the stack and passed to
// descriptor 2 by write(2), whose result is ignored: there is nobody left to
// tell, and the report must not fail or allocate on its own account.
class ReportWriter {
 public:
  ReportWriter() = default;
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;
  ~ReportWriter() { flush(); }

  void put(char c) noexcept {
    if (used_ == sizeof line_) flush();
    line_[used_++] = c;
  }
  void text(const char* s) noexcept {
    while (*s != '\0') put(*s++);
  }
  void number(std::int64_t value) noexcept {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value);
    for (const char* p = digits; p != end.ptr; ++p) put(*p);
  }
  // Only the low 7 bits count; control characters show as ^ and the
  // character 64 places on.
  void displayed(unsigned char byte) noexcept {
    const unsigned char c = byte & 0x7f;
    if (c < 32 || c == 127) {
      put('^');
      put(static_cast<char>(c ^ 64));
    } else {
      put(static_cast<char>(c));
    }
  }
  void endLine() noexcept {
    put('\n');
    flush();
  }
  void flush() noexcept {
    std::size_t done = 0;
    while (done < used_) {
      const ssize_t n = ::write(STDERR_FILENO, line_ + done, used_ - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    used_ = 0;
  }

 private:
  char line_[256];
  std::size_t used_ = 0;
};

// The platform's text for an error number. GNU and XSI strerror_r differ in
// their result; both are handled, and neither allocates.
[[maybe_unused]] const char* textFrom(int, const char* buffer) noexcept { return buffer; }
[[maybe_unused]] const char* textFrom(const char* result, const char* buffer) noexcept {
  return result != nullptr ? result : buffer;
}

const char* systemText(int code, char (&buffer)[128]) noexcept {
  buffer[0] = '\0';
  return textFrom(::strerror_r(code, buffer, sizeof buffer), buffer);
}

// A real message is one the C library has a text for, not its stand-in
// "Unknown error N".
bool hasSystemMessage(int code) noexcept {
  char buffer[128];
  const char* text = systemText(code, buffer);
  return text[0] != '\0' && std::strncmp(text, "Unknown error", 13) != 0;
}

// The operating system's messages are taken to run from 0 up to the last
// number below 1000 that has a text; any gap below that shows the platform's
// own wording for it.
int systemMessageCount() noexcept {
  static int count = -1;
  if (count < 0) {
    count = 0;
    for (int code = 0; code < firstRuntimeError; ++code) {
      if (hasSystemMessage(code)) count = code + 1;
    }
  }
  return count;
}

void writeFirstLine(ReportWriter& out, std::int32_t code, const char* contextWord) {
  out.text(contextWord != nullptr ? contextWord : "");
  out.text(": [");
  out.number(code);
  out.text("] ");
  if (code < 0) {
    out.text("end of file");
  } else if (const char* text = runtimeErrorText(code); text != nullptr) {
    out.text(text);
  } else if (code < systemMessageCount()) {
    char buffer[128];
    out.text(systemText(code, buffer));
  } else {
    out.text("unknown error number");
  }
  out.endLine();
}

void writeUnitLine(ReportWriter& out, const StatementContext& context) {
  if (context.unit < 0) return;
  const char* name = context.unitName;
  if (name == nullptr) {
    if (context.unit == errorUnit) name = "stderr";
    if (context.unit == inputUnit) name = "stdin";
    if (context.unit == outputUnit) name = "stdout";
  }
  out.text("logical unit ");
  out.number(context.unit);
  if (name != nullptr) {
    out.text(", named '");
    out.text(name);
    out.put('\'');
  }
  out.endLine();
}

void writeLatelyLine(ReportWriter& out, const StatementContext& context) {
  out.text("lately: ");
  out.text(context.reading ? "reading " : "writing ");
  out.text(context.sequential ? "sequential " : "direct ");
  if (context.form == Form::unformatted) {
    out.text("unformatted ");
  } else if (context.form == Form::freeForm) {
    out.text("list ");
  } else {
    out.text("formatted ");
  }
  out.text(context.external ? "external" : "internal");
  out.text(" IO");
  out.endLine();
}

void writeFormatLine(ReportWriter& out, const char* formatText) {
  out.text("part of last format: ");
  for (int i = 0; i < 25 && formatText[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(formatText[i]);
    if (byte == 2) {
      out.put('"');
    } else {
      out.displayed(byte);
    }
  }
  out.endLine();
}

void writeInternalDataLine(ReportWriter& out, const StatementContext& context) {
  out.text("part of last string: ");
  const char* position = context.recordPosition;
  if (position != nullptr) {
    const std::int32_t before = std::clamp<std::int32_t>(context.charactersTaken, 0, 12);
    for (const char* p = position - before; p != position; ++p) {
      out.displayed(static_cast<unsigned char>(*p));
    }
  }
  out.put('|');
  if (position != nullptr && context.endOfArea != nullptr && position < context.endOfArea) {
    const std::ptrdiff_t after = std::min<std::ptrdiff_t>(context.endOfArea - position, 5);
    for (const char* p = position; p != position + after; ++p) {
      out.displayed(static_cast<unsigned char>(*p));
    }
  }
  out.endLine();
}

// Reads up to n bytes at `offset` without moving the descriptor; returns the
// count read, fewer at the end of the file or on an error.
std::size_t readAt(int fd, char* bytes, std::size_t n, std::int64_t offset) noexcept {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, bytes + done, n - done,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// The bytes around the stream position are read again from the file, which
// is why only a positionable unit gets this line.
void writeExternalDataLine(ReportWriter& out, const StatementContext& context) {
  const Unit* unit = connectedUnit(context.unit);
  if (unit == nullptr || !unit->positionable || unit->input == nullptr) {
    out.endLine();
    return;
  }
  const CharSource& source = *unit->input;
  const std::int64_t start = source.startOffset();
  const std::int64_t p = source.position();
  out.text("part of last data: ");
  if (p > 0) {
    // The last 12 bytes taken are enough: the line holding byte p - 1 is shown
    // from its start, but never more than 12 bytes of it.
    char taken[12];
    const std::int64_t from = std::max<std::int64_t>(0, p - 12);
    const std::size_t n = readAt(source.fd(), taken, static_cast<std::size_t>(p - from), start + from);
    std::size_t first = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
      if (taken[i] == '\n') first = i + 1;
    }
    for (std::size_t i = first; i < n; ++i) out.displayed(static_cast<unsigned char>(taken[i]));
  }
  out.put('|');
  char next[5];
  const std::size_t n = readAt(source.fd(), next, sizeof next, start + p);
  for (std::size_t i = 0; i < n; ++i) out.displayed(static_cast<unsigned char>(next[i]));
  out.endLine();
}

void flushUnitForReport(Unit& unit) {
  if (unit.number != errorUnit && unit.output != nullptr) unit.output->flush();
}

void closeUnit(Unit& unit) {
  if (unit.input != nullptr) unit.input->settleReadAhead();
  if (unit.output != nullptr) {
    unit.output->close();
  } else if (unit.fd >= 0) {
    ::close(unit.fd);
  }
  unit.output = nullptr;
  unit.input = nullptr;
  unit.fd = -1;
  unit.connected = false;
}

void closeFromUnitSix(Unit& unit) {
  if (unit.number >= outputUnit) closeUnit(unit);
}

void closeBelowUnitSix(Unit& unit) {
  if (unit.number < outputUnit) closeUnit(unit);
}

// Output that is still buffered when main returns reaches its destination.
void terminationHandler() { flushAllStreams(); }

// Registered before main runs. This object file also holds reportFailure,
// which the reader and the writers always need, so it is always linked.
[[maybe_unused]] const bool terminationHandlerRegistered =
    std::atexit(terminationHandler) == 0;

}  // namespace

const char* runtimeErrorText(std::int32_t code) noexcept {
  if (code < firstRuntimeError || code > lastRuntimeError) return nullptr;
  return runtimeErrorTexts[code - firstRuntimeError];
}

bool failureInProgress() noexcept { return reportUnderWay; }

void reportFailure(std::int32_t code, const char* contextWord) noexcept {
  if (reportUnderWay) terminateAbnormally();
  // Full blocks held back go out first, as each went when it filled with one
  // write a block: a refusal among them is reported instead of this.
  OutputStream::writeFullBlocksOfAll();
  reportUnderWay = true;
  // Result lines already buffered reach their destination before the report;
  // standard input keeps its position, which the data line needs.
  forEachConnectedUnit(flushUnitForReport);
  const StatementContext& context = statementContext;
  {
    ReportWriter out;
    writeFirstLine(out, code, contextWord);
    if (context.external) writeUnitLine(out, context);
    if (context.unitObtained) {
      writeLatelyLine(out, context);
      if (context.form != Form::unformatted) {
        if (context.formatText != nullptr) writeFormatLine(out, context.formatText);
        if (!context.external) {
          writeInternalDataLine(out, context);
        } else if (context.reading) {
          writeExternalDataLine(out, context);
        }
      }
    }
  }
  closeAllUnits();
  flushAllStreams();
  terminateAbnormally();
}

std::int64_t readingMark() noexcept {
  const Unit* unit = connectedUnit(inputUnit);
  if (unit == nullptr || unit->input == nullptr || !unit->positionable) return noReadingMark;
  return unit->input->offsetIfEndedNow();
}

void reportRefusedWrite(std::int32_t unit, const char* unitName, int error,
                        std::int64_t readingMark) noexcept {
  if (readingMark != noReadingMark) {
    if (Unit* input = connectedUnit(inputUnit); input != nullptr && input->input != nullptr) {
      input->input->leaveAt(readingMark);
    }
  }
  beginExternalStatement(false, Form::freeForm, unit, nullptr, false, false);
  statementContext.unitName = unitName;
  reportFailure(error, writeWord);
}

// Units from 6 upward are closed first, so that standard output is written
// out before standard error and standard input are let go.
void closeAllUnits() noexcept {
  forEachConnectedUnit(closeFromUnitSix);
  forEachConnectedUnit(closeBelowUnitSix);
}

void flushAllStreams() noexcept { OutputStream::flushAll(); }

void terminateAbnormally() noexcept {
  for (int number = 1; number <= 34; ++number) ::signal(number, SIG_DFL);
  std::abort();
}

void exit_(std::int32_t status) noexcept {
  closeAllUnits();
  flushAllStreams();
  std::exit(status);
}

}  // namespace recio
