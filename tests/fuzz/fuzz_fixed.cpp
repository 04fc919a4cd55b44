// F w.d editing cross-checked against an exact reference: the standard
// library's fixed conversion with d decimals (exact digits, ties to even),
// then the layout rules of the field. Every input is a double (its 8 bytes,
// or a decimal neighbourhood of a halfway point) edited with F15.4 and with
// a w.d chosen by the input.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "field_editor.h"
#include "fuzz_check.h"

namespace {

std::string expectedField(double x, int w, int d) {
  if (std::isinf(x) || std::isnan(x)) {
    if (w < 4) return std::string(static_cast<std::size_t>(w), '*');
    std::string s = std::signbit(x) ? "-" : "";
    s += std::isnan(x) ? "NaN" : (d < 8 ? "Inf" : "Infinity");
    s.resize(static_cast<std::size_t>(w), ' ');  // cut, or blanks after
    return s;
  }
  char digits[400];
  const auto r = std::to_chars(digits, digits + sizeof digits, std::fabs(x),
                               std::chars_format::fixed, d);
  FUZZ_CHECK(r.ec == std::errc{});
  std::string text(digits, r.ptr);
  // text is "I.F" (or "I" when d is 0).
  const std::size_t pointAt = text.find('.');
  std::string whole = pointAt == std::string::npos ? text : text.substr(0, pointAt);
  const std::string fraction = pointAt == std::string::npos ? "" : text.substr(pointAt + 1);
  FUZZ_CHECK(fraction.size() == static_cast<std::size_t>(d));
  bool roundsToZero = true;
  for (const char c : text) {
    if (c >= '1' && c <= '9') roundsToZero = false;
  }
  if (whole == "0") whole.clear();
  const bool negative = std::signbit(x) && !roundsToZero;
  const int needed = d + 1 + (negative ? 1 : 0) + static_cast<int>(whole.size());
  if (needed > w) return std::string(static_cast<std::size_t>(w), '*');
  int free = w - needed;
  if (whole.empty() && free >= 1) {
    whole = "0";
    --free;
  }
  return std::string(static_cast<std::size_t>(free), ' ') + (negative ? "-" : "") + whole +
         "." + fraction;
}

void check(double x, int w, int d) {
  // Exactly w bytes on the heap, so that a write beyond them is caught.
  char* field = new char[static_cast<std::size_t>(w)];
  std::memset(field, '\x01', static_cast<std::size_t>(w));
  recio::editFixed(x, w, d, field);
  const std::string actual(field, static_cast<std::size_t>(w));
  const std::string expected = expectedField(x, w, d);
  FUZZ_CHECK(expected.size() == static_cast<std::size_t>(w));
  if (actual != expected) {
    std::fprintf(stderr, "x = %a (%.17g), F%d.%d: got [%s], expected [%s]\n", x, x, w, d,
                 actual.c_str(), expected.c_str());
  }
  FUZZ_CHECK(actual == expected);
  delete[] field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::uint64_t bits;
  std::memcpy(&bits, data, 8);
  double x = std::bit_cast<double>(bits);
  if (size >= 9 && (data[8] & 0x80) != 0) {
    // A value near a halfway point of 4 decimals: k / 20000 plus a few ulps,
    // k from the input, so that ties and near-ties come up often.
    const std::int64_t k = static_cast<std::int64_t>(bits % 400000000000000ULL);
    const double base = static_cast<double>(k) / 20000.0;
    double y = (data[8] & 0x40) ? -base : base;
    for (int i = 0; i < (data[8] & 7); ++i) y = std::nextafter(y, (data[8] & 8) ? 1e300 : -1e300);
    x = y;
  }
  check(x, 15, 4);
  if (size >= 11) {
    const int w = 1 + data[9] % 60;
    const int d = data[10] % 24 < w ? data[10] % 24 : w - 1;
    check(x, w, d);
  }
  return 0;
}
