// Record groups read from a descriptor, as standard input is read, and the
// descriptor's character source alone.
//
// 1. The input is read group after group (three reals and a label) from a
//    memory file, once on its own and once behind a run of empty lines long
//    enough that the input crosses a block boundary at a point the input
//    chooses. Empty lines before the first value change nothing, so both
//    reads must give the same statuses, the same bits and the same labels,
//    whether a value lay in one block or straddled two.
// 2. The source alone: every byte comes back in order, then the line end
//    added to a last line that lacks one, then the end-of-input mark for
//    ever; characters given back (up to the give-back capacity) come back
//    again; the position counts the bytes taken.
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "char_source.h"
#include "free_form_reader.h"
#include "fuzz_check.h"

namespace {

constexpr std::size_t blockSize = 1 << 16;  // what the source reads at once
constexpr int maxGroups = 64;

int memoryFile(const std::string& bytes) {
  const int fd = memfd_create("fuzz-input", 0);
  FUZZ_CHECK(fd >= 0);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
  FUZZ_CHECK(::lseek(fd, 0, SEEK_SET) == 0);
  return fd;
}

struct Group {
  std::int32_t status = 0;
  std::uint64_t bits[3] = {};
  char label[8] = {};
};

// Reads groups until a status other than 0, as the point loop does, with
// both exits. The values are not reset between groups.
std::vector<Group> readGroups(const std::string& bytes) {
  const int fd = memoryFile(bytes);
  static recio::CharSource source;  // large: not on the stack
  source.openDescriptor(fd, 5, false);
  recio::FreeFormReader reader;
  std::vector<Group> groups;
  double values[3] = {0.0, 0.0, 0.0};
  char label[8];
  std::memset(label, ' ', sizeof label);
  for (int g = 0; g < maxGroups; ++g) {
    std::int32_t status = reader.beginDetachedRead(source);
    FUZZ_CHECK(status == 0);
    for (double& v : values) {
      if (status == 0) status = reader.readReal(v);
    }
    if (status == 0) status = reader.readText(label, 8);
    if (status == 0) {
      status = reader.endRead();
      // A group ends just after a line end, or after the added one.
      const std::int64_t p = source.position();
      FUZZ_CHECK(p >= 1 && p <= static_cast<std::int64_t>(bytes.size()));
      FUZZ_CHECK(bytes[static_cast<std::size_t>(p - 1)] == '\n' ||
                 p == static_cast<std::int64_t>(bytes.size()));
    }
    FUZZ_CHECK(fuzz::isReaderStatus(status) && status != 1013);
    FUZZ_CHECK(source.position() >= 0 &&
               source.position() <= static_cast<std::int64_t>(bytes.size()));
    Group group;
    group.status = status;
    for (int i = 0; i < 3; ++i) group.bits[i] = std::bit_cast<std::uint64_t>(values[i]);
    std::memcpy(group.label, label, sizeof label);
    for (const char ch : group.label) FUZZ_CHECK(ch != '\0');
    groups.push_back(group);
    if (status != 0) break;
  }
  ::close(fd);
  return groups;
}

bool sameGroups(const std::vector<Group>& a, const std::vector<Group>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].status != b[i].status) return false;
    // Values assigned before a failure are compared too: they must agree.
    if (std::memcmp(a[i].bits, b[i].bits, sizeof a[i].bits) != 0) return false;
    if (std::memcmp(a[i].label, b[i].label, sizeof a[i].label) != 0) return false;
  }
  return true;
}

// The source alone, with give-backs chosen by `plan`.
void checkSource(const std::string& bytes, const std::uint8_t* plan, std::size_t planSize) {
  std::string expected = bytes;
  if (!expected.empty() && expected.back() != '\n') expected += '\n';
  const int fd = memoryFile(bytes);
  static recio::CharSource source;
  source.openDescriptor(fd, 5, false);
  FUZZ_CHECK(!source.beginStatement());
  std::size_t taken = 0;  // characters of `expected` taken and not given back
  std::size_t step = 0;
  while (taken < expected.size()) {
    // Take a stretch, then give part of it back.
    const std::uint8_t a = planSize ? plan[step % planSize] : 7;
    const std::uint8_t b = planSize ? plan[(step + 1) % planSize] : 3;
    ++step;
    const std::size_t stretch = 1 + (static_cast<std::size_t>(a) << 4 | (b & 15));
    std::size_t got = 0;
    while (got < stretch && taken < expected.size()) {
      const int c = source.get();
      FUZZ_CHECK(c == static_cast<unsigned char>(expected[taken]));
      ++taken;
      ++got;
    }
    // Less than was taken, so that the walk always moves on.
    std::size_t back = got == 0 ? 0 : (static_cast<std::size_t>(b) * 7) % got;
    if (back > recio::CharSource::giveBackCapacity) back = recio::CharSource::giveBackCapacity;
    // Given back last taken first, as the reader does.
    for (std::size_t i = 0; i < back; ++i) {
      source.unget(static_cast<unsigned char>(expected[taken - 1 - i]));
    }
    taken -= back;
    // The added line end is not a byte of the stream.
    const std::int64_t bytesTaken =
        static_cast<std::int64_t>(taken > bytes.size() ? bytes.size() : taken);
    FUZZ_CHECK(source.position() == bytesTaken);
  }
  for (int i = 0; i < 3; ++i) FUZZ_CHECK(source.get() == recio::endOfInput);
  source.unget(recio::endOfInput);
  FUZZ_CHECK(source.get() == recio::endOfInput);
  FUZZ_CHECK(source.position() == static_cast<std::int64_t>(bytes.size()));
  // An ended stream that is not a terminal stays ended.
  FUZZ_CHECK(source.beginStatement());
  FUZZ_CHECK(source.get() == recio::endOfInput);
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes place the block boundary; the rest is the input.
  const std::size_t cut = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % 600;
  const std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);

  const std::vector<Group> alone = readGroups(input);
  // `cut` bytes of the input stand in the first block, the rest in the next.
  const std::string padded = std::string(blockSize - cut, '\n') + input;
  const std::vector<Group> straddling = readGroups(padded);
  FUZZ_CHECK(sameGroups(alone, straddling));

  // The source over the input repeated past two block boundaries.
  std::string long_input;
  while (long_input.size() < 2 * blockSize + 1000 && !input.empty()) long_input += input;
  checkSource(input, data, size);
  checkSource(long_input, data, size);
  return 0;
}
