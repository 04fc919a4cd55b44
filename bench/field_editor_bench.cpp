// F15.4 editing: editFixed against std::to_chars with the same layout done
// by hand (right-justified in 15 columns), over the coordinates of the
// benchmark's points.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "field_editor.h"
#include "point_input.h"

namespace {

std::vector<double> coordinates() {
  std::vector<double> values;
  // 3 * 4096 values; the loops use the first 8192, a power of two, so that
  // stepping through them costs a mask, not a division.
  for (std::uint64_t i = 0; i < 4096; ++i) {
    const bench::PointFields f = bench::pointFields(i);
    const double phi = static_cast<double>(f.latitudeNano) * 1e-9 * (M_PI / 180.0);
    const double lambda = static_cast<double>(f.longitudeNano) * 1e-9 * (M_PI / 180.0);
    const double r = 6378137.0 + static_cast<double>(f.heightTenThousandths) * 1e-4;
    values.push_back(r * std::cos(phi) * std::cos(lambda));
    values.push_back(r * std::cos(phi) * std::sin(lambda));
    values.push_back(r * std::sin(phi));
  }
  return values;
}

void editFixedF15d4(benchmark::State& state) {
  const std::vector<double> values = coordinates();
  char field[15];
  std::size_t i = 0;
  for (auto _ : state) {
    recio::editFixed(values[i], 15, 4, field);
    benchmark::DoNotOptimize(field);
    i = (i + 1) & 8191;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(editFixedF15d4);

// The peer: correctly rounded fixed digits from the standard library, then
// the sign rule and the right justification.
void toCharsF15d4(benchmark::State& state) {
  const std::vector<double> values = coordinates();
  char field[15];
  char digits[64];
  std::size_t i = 0;
  for (auto _ : state) {
    const auto r = std::to_chars(digits, digits + sizeof digits, values[i],
                                 std::chars_format::fixed, 4);
    const auto n = static_cast<std::size_t>(r.ptr - digits);
    if (n > 15) {
      std::memset(field, '*', 15);
    } else {
      std::memset(field, ' ', 15 - n);
      std::memcpy(field + 15 - n, digits, n);
    }
    benchmark::DoNotOptimize(field);
    i = (i + 1) & 8191;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(toCharsF15d4);

}  // namespace

BENCHMARK_MAIN();
