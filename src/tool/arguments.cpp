// Examination of the command line, strictly left to right: each number is
// read when its turn comes, so an unreadable one is reported before any
// usage text could be written.
#include "arguments.h"

#include <cstring>
#include <string_view>

#include "failure.h"
#include "fixed_string.h"
#include "free_form_reader.h"
#include "message_writer.h"
#include "units.h"

namespace geocart {

std::int32_t xargc = 0;
char** xargv = nullptr;

std::int32_t kargc() noexcept { return xargc - 1; }

void kgetarg(const std::int32_t& n, char* buffer, std::int32_t length) noexcept {
  std::int32_t copied = 0;
  if (n >= 0 && n < xargc) {
    const char* arg = xargv[n];
    while (copied < length && arg[copied] != '\0') {
      buffer[copied] = arg[copied];
      ++copied;
    }
  }
  std::memset(buffer + copied, ' ', static_cast<std::size_t>(length - copied));
}

namespace {

using ArgBuffer = recio::FixedString<80>;

ArgBuffer argBuffer;

constexpr std::string_view usageLines[] = {
    "usage: geocart [-stdin] lat lon h [label]",
    "       lat, lon in degrees, h in meters",
    "       label is optional",
    " ",
    "       -stdin to read lat, lon, h and label from standard input.",
    "              In this case, label is *not* optional.",
};

void writeText(recio::MessageWriter& writer, std::string_view text) {
  writer.putText(text.data(), static_cast<std::int32_t>(text.size()));
}

[[noreturn]] void usage() noexcept {
  recio::MessageWriter writer;
  for (std::string_view line : usageLines) {
    writer.beginRecord(recio::errorUnit);
    writeText(writer, line);
    writer.endRecord();
  }
  recio::exit_(1);
}

[[noreturn]] void tooManyArguments(std::int32_t nargs) noexcept {
  recio::MessageWriter writer;
  writer.beginRecord(recio::errorUnit);
  writeText(writer, "Too many arguments");
  writer.putInteger(nargs);
  writer.endRecord();
  usage();
}

// One real from the argument buffer, as an 80-character record; the
// statement has no exits, so any failure ends the run.
void readArgument(double& target) noexcept {
  recio::FreeFormReader reader;
  reader.beginRead(argBuffer.chars, ArgBuffer::size(), false, false);
  if (reader.readReal(target) == recio::success) reader.endRead();
}

}  // namespace

bool examineCommandLine(PointState& state) noexcept {
  const std::int32_t nargs = kargc();
  state.label = PointLabel{};
  bool stdinMode = false;
  std::int32_t i = 0;
  while (i < nargs && !stdinMode) {
    ++i;
    kgetarg(i, argBuffer.chars, ArgBuffer::size());
    if (argBuffer.view().substr(0, 6) == "-stdin") {
      stdinMode = true;
      continue;
    }
    switch (i) {
      case 1: readArgument(state.point.latitude); break;
      case 2: readArgument(state.point.longitude); break;
      case 3: readArgument(state.point.height); break;
      case 4: state.label.assign(argBuffer.view().substr(0, 8)); break;
      default: tooManyArguments(nargs);
    }
  }
  if (nargs < 3 && !stdinMode) usage();
  return stdinMode;
}

}  // namespace geocart
