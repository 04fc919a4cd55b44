// Reading record groups: the FreeFormReader's real path (a CharSource over a
// descriptor, three reals and a label per statement) against std::from_chars
// and a hand split of the same lines.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

#include "char_source.h"
#include "free_form_reader.h"
#include "point_input.h"

namespace {

constexpr std::uint64_t groupCount = 100000;

std::string input() {
  std::string text;
  char line[bench::maxLineLength];
  for (std::uint64_t i = 0; i < groupCount; ++i) {
    text.append(line, bench::formatPoint(i, bench::Layout::geocart, line));
  }
  return text;
}

int inputFile(const std::string& text) {
  char name[] = "/tmp/geocart_reader_bench_XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) std::abort();
  ::unlink(name);
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
  return fd;
}

void freeFormReaderGroups(benchmark::State& state) {
  const int fd = inputFile(input());
  static recio::CharSource source;
  double lat = 0, lon = 0, h = 0;
  char label[8];
  for (auto _ : state) {
    ::lseek(fd, 0, SEEK_SET);
    source.openDescriptor(fd, 5, false);
    recio::FreeFormReader reader;
    for (std::uint64_t i = 0; i < groupCount; ++i) {
      std::int32_t s = reader.beginDetachedRead(source);
      if (s == 0) s = reader.readReal(lat);
      if (s == 0) s = reader.readReal(lon);
      if (s == 0) s = reader.readReal(h);
      if (s == 0) s = reader.readText(label, 8);
      if (s == 0) s = reader.endRead();
      if (s != 0) break;
      benchmark::DoNotOptimize(lat + lon + h);
    }
  }
  ::close(fd);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * groupCount));
}
BENCHMARK(freeFormReaderGroups)->Unit(benchmark::kMillisecond);

// The peer: the same bytes read in one block, split at blanks, the numbers
// converted by std::from_chars (which takes no '+' and no repeat counts).
void fromCharsGroups(benchmark::State& state) {
  const int fd = inputFile(input());
  std::string buffer;
  double lat = 0, lon = 0, h = 0;
  char label[8];
  for (auto _ : state) {
    ::lseek(fd, 0, SEEK_SET);
    buffer.resize(groupCount * bench::maxLineLength);
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    const char* p = buffer.data();
    const char* const end = p + (n > 0 ? n : 0);
    while (p < end) {
      double* targets[3] = {&lat, &lon, &h};
      for (double* t : targets) {
        p = std::from_chars(p, end, *t).ptr;
        while (p < end && *p == ' ') ++p;
      }
      const char* e = p;
      while (e < end && *e != ' ' && *e != '\n') ++e;
      const std::size_t k = static_cast<std::size_t>(e - p) < 8 ? static_cast<std::size_t>(e - p) : 8;
      std::memcpy(label, p, k);
      std::memset(label + k, ' ', 8 - k);
      p = static_cast<const char*>(std::memchr(e, '\n', static_cast<std::size_t>(end - e)));
      p = p == nullptr ? end : p + 1;
      benchmark::DoNotOptimize(lat + lon + h);
      benchmark::DoNotOptimize(label);
    }
  }
  ::close(fd);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * groupCount));
}
BENCHMARK(fromCharsGroups)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
