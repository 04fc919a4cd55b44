// The unit table and the connection of units: 0, 5 and 6 to the standard
// descriptors when the table is created, any other unit implicitly to the
// file "fort.N" on its first use.
#include "units.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>

#include "char_source.h"
#include "failure.h"
#include "output_stream.h"
#include "statement_context.h"

namespace recio {
namespace {

// Unit numbers 0 to 98 have entries of their own; any other number takes the
// first free entry of the remaining 255.
constexpr std::int32_t ownEntries = detail::ownUnitCount;
constexpr std::int32_t sharedEntries = 255;
constexpr std::int32_t tableEntries = ownEntries + sharedEntries;

constexpr std::int32_t illegalOperationForUnit = 1023;
constexpr const char* statementStartWord = "ext list io";

struct Entry {
  Unit unit;
  char name[16];  // "fort." and up to ten digits
};

Entry* table = nullptr;

// Streams live in static storage: units 0 and 6 and two more files. The
// reading side needs one source for unit 5; the tool reads no other unit.
OutputStream outputStreams[4];
CharSource inputSource;

OutputStream* freeOutputStream() noexcept {
  for (OutputStream& stream : outputStreams) {
    if (!stream.isOpen()) return &stream;
  }
  return nullptr;
}

bool descriptorIsOpen(int fd) noexcept {
  struct stat status;
  return ::fcntl(fd, F_GETFD) != -1 || ::fstat(fd, &status) == 0;
}

// The report's data line steps back in the stream, so only a stream that can
// be positioned counts. A pipe shows a link count of 1 on this platform, so
// pipes and sockets are told apart by their file type.
bool isPositionable(int fd) noexcept {
  struct stat status;
  if (::fstat(fd, &status) != 0) return false;
  if (status.st_nlink <= 0) return false;
  if (::isatty(fd)) return false;
  return !S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode);
}

// The preferred block size of the destination, 1024 when it cannot be learnt.
std::size_t blockSizeOf(int fd) noexcept {
  struct stat status;
  if (::fstat(fd, &status) != 0 || status.st_blksize <= 0) return 1024;
  return static_cast<std::size_t>(status.st_blksize);
}

// Full blocks go to a regular file several to a call, which costs the
// kernel a fraction of a call a block; a pipe, a terminal, a socket or a
// device may have a reader waiting for each block as it fills. Not where a
// call that runs past the file size limit would end the process by SIGXFSZ
// later than one block at a time would have: the limit must be unlimited or
// the signal ignored, when the write fails with EFBIG and is reported as
// the refused write of the block that met the limit.
BlockWrites blockWritesFor(int fd) noexcept {
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return BlockWrites::one;
  rlimit limit;
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur == RLIM_INFINITY) {
    return BlockWrites::several;
  }
  struct sigaction action;
  const bool ignored = ::sigaction(SIGXFSZ, nullptr, &action) == 0 &&
                       (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN;
  return ignored ? BlockWrites::several : BlockWrites::one;
}

Entry* entryFor(std::int32_t number, bool claim) noexcept {
  if (table == nullptr || number < 0) return nullptr;
  if (number < ownEntries) return &table[number];
  for (std::int32_t i = ownEntries; i < tableEntries; ++i) {
    if (table[i].unit.connected && table[i].unit.number == number) return &table[i];
  }
  if (!claim) return nullptr;
  for (std::int32_t i = ownEntries; i < tableEntries; ++i) {
    if (!table[i].unit.connected) return &table[i];
  }
  return nullptr;
}

void attachOutput(Unit& unit, const char* name) noexcept {
  OutputStream* stream = freeOutputStream();
  if (stream == nullptr) reportFailure(illegalOperationForUnit, statementStartWord);
  if (unit.number == errorUnit) {
    stream->open(unit.fd, Buffering::none, 0, unit.number, name);
  } else if (unit.terminal) {
    stream->open(unit.fd, Buffering::line, blockSizeOf(unit.fd), unit.number, name);
  } else {
    stream->open(unit.fd, Buffering::block, blockSizeOf(unit.fd), unit.number, name,
                 blockWritesFor(unit.fd));
  }
  unit.output = stream;
}

void attachInput(Unit& unit) noexcept {
  inputSource.openDescriptor(unit.fd, unit.number, unit.terminal);
  unit.input = &inputSource;
}

void connectStandard(std::int32_t number, int fd) noexcept {
  if (!descriptorIsOpen(fd)) return;
  Unit& unit = table[number].unit;
  unit.connected = true;
  unit.fd = fd;
  unit.terminal = ::isatty(fd) != 0;
  unit.positionable = isPositionable(fd);
  if (number == inputUnit) {
    attachInput(unit);
    unit.lastRead = true;
  } else {
    attachOutput(unit, nullptr);
  }
}

// The implicit connection of an unconnected unit to "fort.N". The file is
// truncated when its first use is a write, so that it holds exactly what this
// run wrote on the unit.
void connectToFile(Entry& entry, std::int32_t number, bool forWriting) noexcept {
  std::memcpy(entry.name, "fort.", 5);
  const auto end = std::to_chars(entry.name + 5, entry.name + sizeof entry.name - 1, number);
  *end.ptr = '\0';
  statementContext.unitName = entry.name;
  const int flags = O_RDWR | O_CREAT | (forWriting ? O_TRUNC : 0);
  const int fd = ::open(entry.name, flags, 0666);
  if (fd < 0) reportFailure(errno, openWord);
  Unit& unit = entry.unit;
  unit.number = number;
  unit.name = entry.name;
  unit.fd = fd;
  unit.terminal = ::isatty(fd) != 0;
  unit.positionable = isPositionable(fd);
  unit.connected = true;
  unit.lastRead = !forWriting;
  if (forWriting) {
    attachOutput(unit, entry.name);
  } else {
    attachInput(unit);
  }
}

// A unit last read goes on where the reader stands: the descriptor is set
// back over the bytes that were read ahead, then the unit gets a stream.
void switchToWriting(Unit& unit) noexcept {
  if (unit.input != nullptr && unit.positionable) {
    const off_t offset = static_cast<off_t>(unit.input->startOffset() + unit.input->position());
    if (::lseek(unit.fd, offset, SEEK_SET) < 0) reportFailure(errno, listWriteWord);
  }
  if (unit.output == nullptr) attachOutput(unit, unit.name);
  unit.lastRead = false;
}

}  // namespace

void createUnitTable() noexcept {
  if (table != nullptr) return;
  void* storage = std::calloc(tableEntries, sizeof(Entry));
  if (storage == nullptr) {
    static constexpr char text[] = "Cannot allocate storage for unit table\n";
    [[maybe_unused]] const ssize_t ignored = ::write(2, text, sizeof text - 1);
    flushAllStreams();
    terminateAbnormally();
  }
  Entry* entries = static_cast<Entry*>(storage);
  for (std::int32_t i = 0; i < tableEntries; ++i) {
    new (&entries[i]) Entry{};
    if (i < ownEntries) entries[i].unit.number = i;
  }
  table = entries;
  for (std::int32_t i = 0; i < ownEntries; ++i) detail::ownUnits[i] = &entries[i].unit;
  connectStandard(errorUnit, STDERR_FILENO);
  connectStandard(inputUnit, STDIN_FILENO);
  connectStandard(outputUnit, STDOUT_FILENO);
}

Unit* connectedUnit(std::int32_t number) noexcept {
  Entry* entry = entryFor(number, false);
  return entry != nullptr && entry->unit.connected ? &entry->unit : nullptr;
}

namespace detail {

Unit* ownUnits[ownUnitCount] = {};

// Everything obtainUnit does for a unit that is not yet ready for the
// statement: out of line, so that the common case stays short.
Unit& obtainUnitInGeneral(std::int32_t number, bool forWriting) noexcept {
  if (number < 0) reportFailure(illegalUnitNumber, statementStartWord);
  createUnitTable();
  Entry* entry = entryFor(number, true);
  if (entry == nullptr) reportFailure(illegalUnitNumber, statementStartWord);
  Unit& unit = entry->unit;
  // Only unit 5 has a source to read from; other units are written to.
  if (!forWriting && !unit.connected && number != inputUnit) {
    reportFailure(illegalOperationForUnit, statementStartWord);
  }
  if (!unit.connected) connectToFile(*entry, number, forWriting);
  statementContext.unitName = unit.name;
  statementContext.unitObtained = true;
  if (!unit.formatted) reportFailure(formattedIoNotAllowed, statementStartWord);
  if (!unit.sequential) reportFailure(sequentialIoNotAllowed, statementStartWord);
  if (forWriting && unit.lastRead) switchToWriting(unit);
  if (!forWriting && unit.input == nullptr) {
    reportFailure(illegalOperationForUnit, statementStartWord);
  }
  return unit;
}

}  // namespace detail


void forEachConnectedUnit(void (*visit)(Unit&)) noexcept {
  if (table == nullptr) return;
  for (std::int32_t i = 0; i < tableEntries; ++i) {
    if (table[i].unit.connected) visit(table[i].unit);
  }
}

}  // namespace recio
