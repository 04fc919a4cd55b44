// Proves editFixed's F15.4 against an independent reference over many
// doubles: std::to_chars (exact binary value, ties to even) for the digits,
// and the field layout written out here from the documented rules.
//   edit_fixed_check [MILLIONS_PER_KIND]   (default 100, three kinds)
// Kinds: random bit patterns of every magnitude below 2^34 (including the
// subnormals and values that overflow the field), random values spread
// evenly below 10^10, the exact ties k/32 with k odd (the only doubles
// halfway between two four-decimal numbers) with both neighbours of each,
// and the doubles nearest to (2n + 1) / 20000 for random n below 10^14 with
// the four on each side, whose products with 10^4 lie closest to a half:
// where a rounding decided on the double product could go wrong. Both signs
// throughout. Exits 1 at the first difference.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "field_editor.h"
#include "random_words.h"

namespace {

void reference(double x, char* field) {
  char digits[64];
  const auto r = std::to_chars(digits, digits + sizeof digits, std::fabs(x),
                               std::chars_format::fixed, 4);
  const auto n = static_cast<std::size_t>(r.ptr - digits);
  bool zero = true;
  for (std::size_t i = 0; i < n; ++i) zero = zero && (digits[i] == '0' || digits[i] == '.');
  char body[70];
  std::size_t m = 0;
  if (std::signbit(x) && !zero) body[m++] = '-';
  std::memcpy(body + m, digits, n);  // "0.xxxx" keeps its zero: the field has room
  m += n;
  if (m > 15) {
    std::memset(field, '*', 15);
    return;
  }
  std::memset(field, ' ', 15 - m);
  std::memcpy(field + 15 - m, body, m);
}

RandomWords words{0x853C49E6748FEA9Bull};
std::uint64_t random64() { return words.next(); }

std::uint64_t checked = 0;

bool check(double x) {
  char a[15];
  char b[15];
  for (int sign = 0; sign < 2; ++sign, x = -x) {
    recio::editFixed(x, 15, 4, a);
    reference(x, b);
    ++checked;
    if (std::memcmp(a, b, 15) != 0) {
      std::printf("difference at %a: editFixed \"%.15s\", reference \"%.15s\"\n", x, a, b);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t perKind =
      (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100) * 1000000ull;
  for (std::uint64_t i = 0; i < perKind; ++i) {
    // Biased exponents 0 to 1056: every magnitude below 2^34.
    const std::uint64_t exponent = random64() % 1057;
    const std::uint64_t bits = (exponent << 52) | (random64() & ((1ull << 52) - 1));
    if (!check(std::bit_cast<double>(bits))) return 1;
  }
  for (std::uint64_t i = 0; i < perKind; ++i) {
    if (!check(static_cast<double>(random64() >> 11) * 0x1p-53 * 1e10)) return 1;
  }
  for (std::uint64_t i = 0; i < perKind / 3; ++i) {
    // k odd and k/32 below 10^10 + 1: exact in a double.
    const std::uint64_t k = (random64() % 160000000016ull) * 2 + 1;
    const double tie = static_cast<double>(k) / 32.0;
    if (!check(tie) || !check(std::nextafter(tie, 0.0)) ||
        !check(std::nextafter(tie, INFINITY))) {
      return 1;
    }
  }
  for (std::uint64_t i = 0; i < perKind / 9; ++i) {
    const std::uint64_t n = random64() % 100000000000000ull;
    double x = (static_cast<double>(n) + 0.5) / 10000.0;
    for (int step = 0; step < 4; ++step) x = std::nextafter(x, 0.0);
    for (int step = 0; step < 9; ++step, x = std::nextafter(x, INFINITY)) {
      if (!check(x)) return 1;
    }
  }
  std::printf("%llu fields checked (both signs), all equal to the reference\n",
              static_cast<unsigned long long>(checked));
  return 0;
}
