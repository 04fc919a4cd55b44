// The fields that infinite and NaN inputs give, through every path: the
// single point, one CPU and the workers, from a pipe and from a file. A NaN
// field carries the sign the rule gives it, whatever the compiler, the
// optimisation, the number of CPUs or the timing of the workers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "run_process.h"

namespace golden {
namespace {

struct Input {
  const char* text;
  enum Kind { finite, zero, infinite, nan } kind;
  bool negative;
};

// Every finite angle here has a positive cosine (that of 90 degrees in
// double precision is about 6.1e-17), so that only the sine's sign varies.
Input finite(const char* text) { return {text, Input::finite, text[0] == '-'}; }
const Input specials[] = {
    {"0", Input::zero, false},      {"-0", Input::zero, true},
    {"inf", Input::infinite, false}, {"-inf", Input::infinite, true},
    {"nan", Input::nan, false},     {"-nan", Input::nan, true},
};

struct Field {
  enum Kind { number, infinity, nan } kind;
  bool negative = false;
};

// The rule, field by field. With t = (N + h) cos(lat), N = a / sqrt(1 -
// e2 sin(lat)^2): X = t cos(lon), Y = t sin(lon), Z = (N (1 - e2) + h)
// sin(lat). A field's NaN is the first NaN among its operands as the steps
// write them: latitude (through N), height, longitude for X and Y;
// latitude, height for Z. A NaN input brings itself; an infinite angle
// brings the NaN of the sine or cosine of an infinity, which has its sign
// set. Else an infinite height makes the field infinite, or NaN (sign set)
// where it meets a sine of exactly 0.
std::optional<Field> broughtBy(const Input& in, bool isAngle) {
  if (in.kind == Input::nan) return Field{Field::nan, in.negative};
  if (isAngle && in.kind == Input::infinite) return Field{Field::nan, true};
  return std::nullopt;
}

Field expected(const Input& lat, const Input& lon, const Input& h, int which) {
  const bool usesLongitude = which != 2;
  for (auto nan : {broughtBy(lat, true), broughtBy(h, false),
                   usesLongitude ? broughtBy(lon, true) : std::nullopt}) {
    if (nan) return *nan;
  }
  if (h.kind != Input::infinite) return {Field::number};
  const Input* sine = which == 1 ? &lon : which == 2 ? &lat : nullptr;
  if (sine == nullptr) return {Field::infinity, h.negative};
  if (sine->kind == Input::zero) return {Field::nan, true};
  return {Field::infinity, h.negative != sine->negative};
}

struct Point {
  Input lat, lon, h;
};

std::vector<Point> points() {
  std::vector<Point> list;
  std::vector<Input> lats = {finite("45")}, lons = {finite("-30")}, hs = {finite("100")};
  for (const Input& s : specials) {
    lats.push_back(s);
    lons.push_back(s);
    hs.push_back(s);
  }
  for (const Input& lat : lats) {
    for (const Input& lon : lons) {
      for (const Input& h : hs) list.push_back({lat, lon, h});
    }
  }
  // A sine of exactly 0 meets an infinite height, or one that is not.
  const Input zero = specials[0];
  for (const Input& height : {specials[2], specials[3]}) {
    list.push_back({zero, finite("90"), height});
    list.push_back({finite("90"), zero, height});
  }
  return list;
}

std::string groupOf(const Point& p) {
  return std::string(p.lat.text) + " " + p.lon.text + " " + p.h.text + " L";
}

// Each field of a line against the rule, by its printed text.
void expectFields(const Point& p, const std::string& line) {
  SCOPED_TRACE(groupOf(p) + " -> " + line);
  ASSERT_EQ(line.size(), 58u);
  for (int which = 0; which < 3; ++which) {
    const std::string field = line.substr(15 * which, 15);
    const Field want = expected(p.lat, p.lon, p.h, which);
    std::string text;
    if (want.kind == Field::nan) text = "NaN";
    if (want.kind == Field::infinity) text = "Inf";
    if (!text.empty()) {
      if (want.negative) text = "-" + text;
      EXPECT_EQ(field, text + std::string(15 - text.size(), ' ')) << "field " << which;
      continue;
    }
    char* end = nullptr;
    const double value = std::strtod(field.c_str(), &end);
    EXPECT_TRUE(*end == '\0' && value - value == 0.0) << "field " << which << ": " << field;
  }
}

// The lines of a run, each against the rule; `points` repeated `copies`
// times gave its input.
void expectLines(const std::vector<Point>& list, const std::string& out, int copies) {
  std::size_t at = 0;
  for (int copy = 0; copy < copies; ++copy) {
    for (const Point& p : list) {
      const std::size_t end = out.find('\n', at);
      ASSERT_NE(end, std::string::npos) << "missing lines from " << groupOf(p);
      expectFields(p, out.substr(at, end - at));
      if (testing::Test::HasFailure()) return;  // the first wrong line says enough
      at = end + 1;
    }
  }
  EXPECT_EQ(at, out.size());
}

TEST(NanRule, SinglePointFieldsFollowTheRule) {
  for (const Point& p : points()) {
    RunRequest r;
    r.program = GEOCART_BINARY;
    r.args = {p.lat.text, p.lon.text, p.h.text, "L"};
    const RunResult result = runProcess(r);
    ASSERT_EQ(result.failure, "");
    ASSERT_EQ(describe(result.end), describe(exitedWith(0)));
    ASSERT_FALSE(result.stdoutBytes.empty());
    expectFields(p, result.stdoutBytes.substr(0, result.stdoutBytes.size() - 1));
    if (testing::Test::HasFailure()) return;
  }
}

struct Path {
  const char* name;
  std::string program;
  std::vector<std::string> args;
  bool oneCpu;
};

// Enough copies of the points for the workers to take chunks of them.
constexpr int copies = 150;

TEST(NanRule, StandardInputFieldsFollowTheRuleOnEveryPath) {
  const std::vector<Point> list = points();
  std::string input;
  for (int copy = 0; copy < copies; ++copy) {
    for (const Point& p : list) input += groupOf(p) + "\n";
  }
  const Path paths[] = {
      {"one CPU", GEOCART_BINARY, {"-stdin"}, true},
      {"every CPU", GEOCART_BINARY, {"-stdin"}, false},
      {"3 workers, 8 KiB chunks", CHUNKED_BINARY, {"3", "8192"}, false},
  };
  for (const Path& path : paths) {
    for (const StdinKind kind : {StdinKind::pipe, StdinKind::regularFile}) {
      SCOPED_TRACE(std::string(path.name) + (kind == StdinKind::pipe ? ", pipe" : ", file"));
      RunRequest r;
      r.program = path.program;
      r.args = path.args;
      r.oneCpu = path.oneCpu;
      r.stdinKind = kind;
      r.stdinBytes = input;
      const RunResult result = runProcess(r);
      ASSERT_EQ(result.failure, "");
      ASSERT_EQ(describe(result.end), describe(exitedWith(0)));
      expectLines(list, result.stdoutBytes, copies);
    }
  }
}

// Whether a group is read by a worker or by the thread that owns standard
// input depends on timing; the bytes must not.
TEST(NanRule, RepeatedRunsThroughAPipeGiveTheSameBytes) {
  std::string input;
  for (int copy = 0; copy < copies; ++copy) {
    for (const Point& p : points()) input += groupOf(p) + "\n";
  }
  std::string first;
  for (int run = 0; run < 20; ++run) {
    RunRequest r;
    r.program = GEOCART_BINARY;
    r.args = {"-stdin"};
    r.stdinBytes = input;
    const RunResult result = runProcess(r);
    ASSERT_EQ(result.failure, "");
    if (run == 0) first = result.stdoutBytes;
    ASSERT_EQ(compareBytes(first, result.stdoutBytes), "") << "run " << run;
  }
}

}  // namespace
}  // namespace golden
