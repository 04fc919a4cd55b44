// The result lines geocart must print for the groups of sections.h, worked
// out with exact arithmetic and not with geocart: each value read as the
// double nearest to its decimal text, each operation of the conversion in
// its defined order as one correctly rounded double operation (MPFR at 53
// bits, round to nearest, the double exponent range with its subnormals),
// the sine and cosine correctly rounded, the degree factor atan(1) / 45,
// then F15.4 of the exact value of each double. The digests of these lines
// are what the check compares geocart's output with. Remade, after a
// reviewed change of the definition or of a section, by
//   cmake --build build --target exact_result_lines
//   build/tests/exact_result_lines digests > tests/result_lines/expected_digests.txt
// (about 16 s on the 2-CPU machine that made it, 8 s of CPU time). The
// points near the rounding boundaries were chosen by
//   build/tests/exact_result_lines boundary > tests/result_lines/boundary_points.txt
// `lines -` gives the lines of the plain groups of its standard input.
// Where geocart differs, the lines of a section show where:
//   build/tests/exact_result_lines input ordinary | build/geocart -stdin > got
//   build/tests/exact_result_lines lines ordinary | diff - got
//
// Which NaN a step gives is geocart's rule, which fixes the sign that a
// NaN prints with: a step with a NaN operand gives the leftmost of them as
// the steps are written, with its sign; a step that makes a NaN of numbers
// (0 x inf, inf - inf, the sine or cosine of an infinity, the square root
// of a negative number) gives a NaN with the sign bit set. MPFR keeps no
// sign of a NaN, so it is carried beside the value.
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sections.h"
#include "sha256.h"

namespace {

// ---- doubles, as MPFR numbers of 53 bits in the double exponent range ----

class Double {
 public:
  Double() {
    mpfr_init2(v_, 53);
    mpfr_set_zero(v_, 1);
  }
  Double(const Double& other) {
    mpfr_init2(v_, 53);
    *this = other;
  }
  Double& operator=(const Double& other) {
    mpfr_set(v_, other.v_, MPFR_RNDN);
    negativeNaN_ = other.negativeNaN_;
    return *this;
  }
  ~Double() { mpfr_clear(v_); }

  static Double ofInteger(long n) {
    Double d;
    mpfr_set_si(d.v_, n, MPFR_RNDN);
    return d;
  }
  static Double nan(bool negative) {
    Double d;
    mpfr_set_nan(d.v_);
    d.negativeNaN_ = negative;
    return d;
  }

  // The double nearest to the decimal `text` (digits, a point, an exponent
  // letter e; `inf`, `nan`, each with a sign), as geocart reads it; false
  // when the text is not of that form.
  bool read(std::string_view text) {
    const bool minus = !text.empty() && text[0] == '-';
    const bool sign = !text.empty() && (text[0] == '-' || text[0] == '+');
    const std::string_view unsigned_ = text.substr(sign ? 1 : 0);
    if (unsigned_ == "nan") {
      *this = nan(minus);
      return true;
    }
    if (unsigned_ == "inf") {
      mpfr_set_inf(v_, minus ? -1 : 1);
      return true;
    }
    const std::string terminated(text);
    char* end = nullptr;
    const int t = mpfr_strtofr(v_, terminated.c_str(), &end, 10, MPFR_RNDN);
    mpfr_subnormalize(v_, t, MPFR_RNDN);
    return !terminated.empty() && end == terminated.c_str() + terminated.size() &&
           terminated.find_first_of("infa@") == std::string::npos;
  }

  bool isNaN() const { return mpfr_nan_p(v_) != 0; }
  bool negative() const { return isNaN() ? negativeNaN_ : mpfr_signbit(v_) != 0; }
  mpfr_srcptr get() const { return v_; }
  double toDouble() const { return mpfr_get_d(v_, MPFR_RNDN); }

  using Binary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);
  using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

  // One double operation on `a` and `b`, written in that order.
  static Double of(Binary op, const Double& a, const Double& b) {
    if (a.isNaN()) return a;
    if (b.isNaN()) return b;
    Double r;
    r.round(op(r.v_, a.v_, b.v_, MPFR_RNDN));
    return r;
  }
  static Double of(Unary op, const Double& a) {
    if (a.isNaN()) return a;
    Double r;
    r.round(op(r.v_, a.v_, MPFR_RNDN));
    return r;
  }

 private:
  // A result rounded once more to the subnormals' precision where it is
  // one, from the rounding MPFR made; a NaN made here is an invalid
  // operation's.
  void round(int ternary) {
    if (mpfr_nan_p(v_)) {
      negativeNaN_ = true;
      return;
    }
    mpfr_subnormalize(v_, ternary, MPFR_RNDN);
  }

  mpfr_t v_;
  bool negativeNaN_ = false;
};

Double operator+(const Double& a, const Double& b) { return Double::of(mpfr_add, a, b); }
Double operator-(const Double& a, const Double& b) { return Double::of(mpfr_sub, a, b); }
Double operator*(const Double& a, const Double& b) { return Double::of(mpfr_mul, a, b); }
Double operator/(const Double& a, const Double& b) { return Double::of(mpfr_div, a, b); }
// The square root of -0 is -0; of a number below zero, a NaN.
Double squareRoot(const Double& a) { return Double::of(mpfr_sqrt, a); }
Double sine(const Double& a) { return Double::of(mpfr_sin, a); }
Double cosine(const Double& a) { return Double::of(mpfr_cos, a); }

// ---- the conversion ----

struct Constants {
  Double factor, a, e2, oneMinusE2, one, two;
};

const Constants& constants() {
  static const Constants c = [] {
    Constants k;
    k.one = Double::ofInteger(1);
    k.two = Double::ofInteger(2);
    k.factor = Double::of(mpfr_atan, k.one) / Double::ofInteger(45);
    k.a = Double::ofInteger(6378137);
    Double inverseFlattening;
    inverseFlattening.read("298.257223563");
    const Double f = k.one / inverseFlattening;
    k.e2 = (f * k.two) - (f * f);
    k.oneMinusE2 = k.one - k.e2;
    return k;
  }();
  return c;
}

struct Angles {
  Double sinPhi, cosPhi, sinLambda, cosLambda;
};

Angles anglesOf(const Double& latitude, const Double& longitude) {
  const Constants& k = constants();
  const Double phi = latitude * k.factor;
  const Double lambda = longitude * k.factor;
  return {sine(phi), cosine(phi), sine(lambda), cosine(lambda)};
}

struct Xyz {
  Double x, y, z;
};

// The steps after the sines and cosines, in their order and grouping.
Xyz convert(const Angles& s, const Double& height) {
  const Constants& k = constants();
  const Double n = k.a / squareRoot(k.one - k.e2 * (s.sinPhi * s.sinPhi));
  const Double t = (n + height) * s.cosPhi;
  return {t * s.cosLambda, t * s.sinLambda, ((n * k.oneMinusE2) + height) * s.sinPhi};
}

// ---- F15.4 of the exact value of a double ----

std::string field154(const Double& v) {
  const bool minus = v.negative();
  if (v.isNaN() || mpfr_inf_p(v.get())) {
    std::string s = minus ? "-" : "";
    s += v.isNaN() ? "NaN" : "Inf";
    s.resize(15, ' ');
    return s;
  }
  // Every double of 10^11 or more needs 12 columns before the point.
  if (mpfr_cmp_d(v.get(), 1e11) >= 0 || mpfr_cmp_d(v.get(), -1e11) <= 0) {
    return std::string(15, '*');
  }
  // |v| * 10^4 is exact in 53 + 14 bits; then to the nearest integer, ties
  // to even.
  mpfr_t units;
  mpfr_init2(units, 128);
  mpfr_abs(units, v.get(), MPFR_RNDN);
  mpfr_mul_ui(units, units, 10000, MPFR_RNDN);
  mpfr_roundeven(units, units);
  // Below 10^15, so exact as a double.
  const auto n = static_cast<std::uint64_t>(mpfr_get_d(units, MPFR_RNDN));
  mpfr_clear(units);
  const bool negative = minus && n != 0;
  std::string whole = n / 10000 == 0 ? "" : std::to_string(n / 10000);
  std::string fraction = std::to_string(n % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  const std::size_t needed = 5 + (negative ? 1 : 0) + whole.size();
  if (needed > 15) return std::string(15, '*');
  std::size_t free = 15 - needed;
  if (whole.empty() && free > 0) {
    whole = "0";
    --free;
  }
  return std::string(free, ' ') + (negative ? "-" : "") + whole + "." + fraction;
}

// ---- groups ----

struct Group {
  Double latitude, longitude, height;
  std::string label;  // 8 characters as stored
};

// The four values of a line `lat lon h label` with blanks, tabs or commas
// between them (no null values, no quotes, a label that does not begin with
// a digit); false for any other line.
bool parseGroup(std::string_view line, Group& g) {
  std::string_view tokens[4];
  int count = 0;
  std::size_t at = 0;
  while (count < 4) {
    // A comma before the first value, or two between values, is a null value.
    int commas = 0;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == ',')) {
      commas += line[at++] == ',';
    }
    if (at == line.size() || commas > (count == 0 ? 0 : 1)) return false;
    const std::size_t end = std::min(line.find_first_of(" \t,", at), line.size());
    tokens[count++] = line.substr(at, end - at);
    at = end;
  }
  const std::string_view label = tokens[3];
  if (label.find_first_of("'\"/\x02*") != std::string_view::npos ||
      (label[0] >= '0' && label[0] <= '9')) {
    return false;
  }
  g.label = std::string(label.substr(0, 8));
  g.label.resize(8, ' ');
  return g.latitude.read(tokens[0]) && g.longitude.read(tokens[1]) && g.height.read(tokens[2]);
}

std::string resultLine(const Group& g) {
  const Xyz c = convert(anglesOf(g.latitude, g.longitude), g.height);
  std::string line = field154(c.x) + field154(c.y) + field154(c.z);
  if (g.label.find_first_not_of(' ') != std::string::npos) line += "     " + g.label;
  return line + "\n";
}

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "exact_result_lines: %s\n", message.c_str());
  std::exit(1);
}

// Calls `out` with the expected line of each group of section `s`. A last
// line without a line end gives none, as in geocart.
template <class Out>
void expectedLines(const result_lines::Section& s, Out&& out) {
  const std::string input = result_lines::sectionInput(s);
  if (input.empty()) fail("no input for section " + std::string(s.name));
  std::size_t at = 0;
  std::uint64_t number = 0;
  Group g;
  while (at < input.size()) {
    const std::size_t end = input.find('\n', at);
    if (end == std::string::npos) break;
    ++number;
    const std::string_view line(input.data() + at, end - at);
    if (!parseGroup(line, g)) {
      fail(std::string(s.name) + " line " + std::to_string(number) + " is not a plain group: " +
           std::string(line));
    }
    out(resultLine(g));
    at = end + 1;
  }
}

// ---- points near the rounding boundaries ----

// A value's distance from `boundary`, in units in the last place of the
// value; a zero is taken to be far from every boundary here.
double ulpsFrom(const Double& v, mpfr_srcptr boundary) {
  if (!mpfr_regular_p(v.get())) return 1e300;
  mpfr_t d;
  mpfr_init2(d, 256);
  mpfr_sub(d, v.get(), boundary, MPFR_RNDN);
  mpfr_abs(d, d, MPFR_RNDN);
  mpfr_mul_2si(d, d, 53 - static_cast<long>(mpfr_get_exp(v.get())), MPFR_RNDN);
  const double ulps = mpfr_get_d(d, MPFR_RNDN);
  mpfr_clear(d);
  return ulps;
}

const Double& fieldOf(const Xyz& c, int field) {
  return field == 0 ? c.x : field == 1 ? c.y : c.z;
}

// Height text: `units` / 10^`decimals` metres.
Double readHeight(std::int64_t units, int decimals) {
  char text[40];
  Double h;
  h.read(std::string_view(text, static_cast<std::size_t>(
                                    bench::putFixed(text, units, decimals) - text)));
  return h;
}

// The height, in units of 10^-`decimals` m, whose `field` lies nearest to
// `boundary` (metres): a Newton step from `start` with the field's
// derivative `slope`, then the heights around it. `ulps` is the distance
// found.
std::int64_t heightNearest(const Angles& s, int field, mpfr_srcptr boundary, std::int64_t start,
                           int decimals, double slope, double& ulps) {
  const auto valueAt = [&](std::int64_t units) {
    return fieldOf(convert(s, readHeight(units, decimals)), field);
  };
  mpfr_t step;
  mpfr_init2(step, 256);
  mpfr_sub(step, boundary, valueAt(start).get(), MPFR_RNDN);
  const double jump = mpfr_get_d(step, MPFR_RNDN) / slope * std::pow(10.0, decimals);
  mpfr_clear(step);
  const std::int64_t centre = start + static_cast<std::int64_t>(jump);
  std::int64_t best = centre;
  ulps = 1e300;
  for (std::int64_t k = -48; k <= 48; ++k) {
    const double d = ulpsFrom(valueAt(centre + k), boundary);
    if (d < ulps) {
      ulps = d;
      best = centre + k;
    }
  }
  return best;
}

void putBoundaryLine(std::int64_t latitudeMicro, std::int64_t longitudeMicro,
                     std::int64_t heightUnits, int decimals, std::uint64_t index) {
  char text[corpus::maxLine];
  char* p = bench::putFixed(text, latitudeMicro, 6);
  *p++ = ' ';
  p = bench::putFixed(p, longitudeMicro, 6);
  *p++ = ' ';
  p = bench::putFixed(p, heightUnits, decimals);
  *p++ = ' ';
  p = corpus::putLabel(p, 'B', index);
  *p++ = '\n';
  std::fwrite(text, 1, static_cast<std::size_t>(p - text), stdout);
}

Double readMicro(std::int64_t micro) {
  char text[40];
  Double d;
  d.read(std::string_view(text, static_cast<std::size_t>(bench::putFixed(text, micro, 6) - text)));
  return d;
}

// Points whose X, Y or Z (by turns) lies within one unit in its last place
// of a rounding boundary of its field: one unit up or down decides the
// printed digit. Then the bounds where the field's layout changes (the
// asterisks, the lone zero before the point, a carry into a new digit),
// reached through the conversion, each with the heights next to it.
int writeBoundaryPoints() {
  constexpr std::uint64_t seed = 0xBB67AE8584CAA73Bull;
  constexpr std::uint64_t perField = 6000;
  std::uint64_t index = 0;
  mpfr_t boundary;
  mpfr_init2(boundary, 256);
  for (std::uint64_t draw = 0; index < 3 * perField; ++draw) {
    const int field = static_cast<int>(index % 3);
    const std::uint64_t w = bench::mix(seed, draw, 1);
    const auto latitudeMicro = static_cast<std::int64_t>(w % 179999999) - 89999999;
    const auto longitudeMicro =
        static_cast<std::int64_t>(bench::mix(seed, draw, 2) % 360000001) - 180000000;
    const auto startUnits =
        (static_cast<std::int64_t>(bench::mix(seed, draw, 3) % 95000001) - 5000000) * 1000000;
    const Angles s = anglesOf(readMicro(latitudeMicro), readMicro(longitudeMicro));
    const double slope = field == 0   ? s.cosPhi.toDouble() * s.cosLambda.toDouble()
                         : field == 1 ? s.cosPhi.toDouble() * s.sinLambda.toDouble()
                                      : s.sinPhi.toDouble();
    if (std::abs(slope) < 0.05) continue;
    // The half unit nearest to the field at the starting height.
    mpfr_mul_ui(boundary, fieldOf(convert(s, readHeight(startUnits, 10)), field).get(), 10000,
                MPFR_RNDN);
    mpfr_floor(boundary, boundary);
    mpfr_add_d(boundary, boundary, 0.5, MPFR_RNDN);
    mpfr_div_ui(boundary, boundary, 10000, MPFR_RNDN);
    double ulps = 0;
    const std::int64_t units = heightNearest(s, field, boundary, startUnits, 10, slope, ulps);
    if (ulps >= 1.0) continue;
    putBoundaryLine(latitudeMicro, longitudeMicro, units, 10, index++);
  }

  struct Edge {
    std::int64_t latitudeMicro, longitudeMicro;
    int field;
    const char* boundary;  // metres
    double slope;
    int decimals;            // of the height
    std::int64_t startUnits;  // of 10^-decimals m
    std::int64_t stepUnits;  // about one unit in the last place of the field
  };
  constexpr std::int64_t metre7 = 10000000;
  constexpr std::int64_t metre10 = 10000000000;
  // X = 6378137 + h at latitude 0, longitude 0, and minus that at longitude
  // 180; Z = 6356752.3142... + h at the north pole, and minus that at the
  // south pole.
  const Edge edges[] = {
      {0, 0, 0, "9999999999.99995", 1, 7, 9993621862 * metre7, 20},
      {0, 180000000, 0, "-999999999.99995", -1, 7, 993621862 * metre7, 2},
      {0, 0, 0, "0.00005", 1, 10, -6378137 * metre10, 10},
      {0, 180000000, 0, "-0.00005", -1, 10, -6378137 * metre10, 10},
      {0, 0, 0, "0.99995", 1, 10, -6378136 * metre10, 10},
      {0, 180000000, 0, "-0.99995", -1, 10, -6378136 * metre10, 10},
      {90000000, 0, 2, "9999999999.99995", 1, 7, 9993643247 * metre7, 20},
      {-90000000, 0, 2, "-999999999.99995", -1, 7, 993643247 * metre7, 2},
      {90000000, 0, 2, "0.00005", 1, 10, -6356752 * metre10, 10},
      {-90000000, 0, 2, "-0.00005", -1, 10, -6356752 * metre10, 10},
  };
  for (const Edge& e : edges) {
    const Angles s = anglesOf(readMicro(e.latitudeMicro), readMicro(e.longitudeMicro));
    mpfr_set_str(boundary, e.boundary, 10, MPFR_RNDN);
    double ulps = 0;
    const std::int64_t units =
        heightNearest(s, e.field, boundary, e.startUnits, e.decimals, e.slope, ulps);
    for (std::int64_t k = -3; k <= 3; ++k) {
      putBoundaryLine(e.latitudeMicro, e.longitudeMicro, units + k * e.stepUnits, e.decimals,
                      index++);
    }
  }
  // Points where Z was seen to change in its printed last digit when the
  // product e2 sin^2(phi) was grouped otherwise.
  for (const char* point : {"-88.9972997 0 49.8094", "-88.9956308 0 13.6974"}) {
    char label[8];
    corpus::putLabel(label, 'B', index++);
    std::printf("%s %.8s\n", point, label);
  }
  mpfr_clear(boundary);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// ---- modes ----

int usage() {
  std::fputs(
      "usage: exact_result_lines digests | lines SECTION | input SECTION | boundary\n"
      "sections (lines - reads plain groups from standard input):",
      stderr);
  for (const result_lines::Section& s : result_lines::sections) {
    std::fprintf(stderr, " %.*s", static_cast<int>(s.name.size()), s.name.data());
  }
  std::fputs("\n", stderr);
  return 2;
}

int writeDigests() {
  std::printf(
      "# The SHA-256 of the result lines geocart must print for each section of\n"
      "# tests/result_lines/sections.h, worked out with exact arithmetic by\n"
      "#   build/tests/exact_result_lines digests > tests/result_lines/expected_digests.txt\n"
      "# section, lines, bytes, SHA-256\n");
  for (const result_lines::Section& s : result_lines::sections) {
    digest::Sha256 sha;
    std::uint64_t lines = 0;
    expectedLines(s, [&](const std::string& line) {
      sha.add(line);
      ++lines;
    });
    const std::uint64_t bytes = sha.bytes();
    std::printf("%.*s %llu %llu %s\n", static_cast<int>(s.name.size()), s.name.data(),
                static_cast<unsigned long long>(lines), static_cast<unsigned long long>(bytes),
                sha.hex().c_str());
    std::fflush(stdout);
  }
  return std::ferror(stdout) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "digests" && argc == 2) return writeDigests();
  if (mode == "boundary" && argc == 2) return writeBoundaryPoints();
  if ((mode == "lines" || mode == "input") && argc == 3) {
    // "-": the groups of standard input, in the same plain form.
    static constexpr result_lines::Section standardInput{"-", nullptr, 0, "/dev/stdin"};
    const result_lines::Section* s = std::string_view(argv[2]) == "-"
                                         ? &standardInput
                                         : result_lines::findSection(argv[2]);
    if (s == nullptr) return usage();
    if (mode == "input") {
      const std::string input = result_lines::sectionInput(*s);
      return std::fwrite(input.data(), 1, input.size(), stdout) == input.size() ? 0 : 1;
    }
    expectedLines(*s, [](const std::string& line) {
      std::fwrite(line.data(), 1, line.size(), stdout);
    });
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  return usage();
}
