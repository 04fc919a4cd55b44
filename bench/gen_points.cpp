// Writes the benchmark's points on standard output, or with `accuracy` the
// accuracy run's (accuracy_points.h), in any layout but mixed.
//   gen_points COUNT geocart|lonlath|latlonh|mixed [accuracy]
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "accuracy_points.h"
#include "point_input.h"

namespace {

int usage() {
  std::fputs("usage: gen_points COUNT geocart|lonlath|latlonh|mixed [accuracy]\n", stderr);
  return 2;
}

bool writeAll(const char* bytes, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(1, bytes, n);
    if (w <= 0) return false;
    bytes += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool accuracy = argc == 4 && std::string_view(argv[3]) == "accuracy";
  if (argc != 3 && !accuracy) return usage();
  std::uint64_t count = 0;
  const std::string_view countText = argv[1];
  if (std::from_chars(countText.data(), countText.data() + countText.size(), count).ec !=
      std::errc{}) {
    return usage();
  }
  const std::string_view name = argv[2];
  bench::Layout layout;
  if (name == "geocart") {
    layout = bench::Layout::geocart;
  } else if (name == "lonlath") {
    layout = bench::Layout::lonLatH;
  } else if (name == "latlonh") {
    layout = bench::Layout::latLonH;
  } else if (name == "mixed") {
    layout = bench::Layout::mixed;
  } else {
    return usage();
  }
  if (accuracy && layout == bench::Layout::mixed) return usage();
  static char block[1 << 16];
  std::size_t used = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (sizeof block - used < bench::maxLineLength) {
      if (!writeAll(block, used)) return 1;
      used = 0;
    }
    used += accuracy ? bench::formatAccuracyPoint(i, layout, block + used)
                     : bench::formatPoint(i, layout, block + used);
  }
  return writeAll(block, used) ? 0 : 1;
}
