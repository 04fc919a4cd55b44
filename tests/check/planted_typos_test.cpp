// geocart-check on generated survey files with typos planted at known lines:
// each typo that changes what geocart reads is found at its line, and the
// changes that leave geocart's reading as it was give no finding and the
// same result lines as the file without them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "run_process.h"

namespace {

struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
};

struct Line {
  std::string latitude, longitude, height, label, separator;
  bool quoted = false;
  std::string tail;  // after the label, before the line end
  std::string text() const {
    return latitude + separator + longitude + separator + height + separator + label + tail +
           "\n";
  }
};

std::string fixed(Random& r, std::int64_t range, int decimals) {
  std::int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const std::int64_t v =
      static_cast<std::int64_t>(r.below(static_cast<std::uint64_t>(2 * range * scale))) -
      range * scale;
  char text[40];
  std::snprintf(text, sizeof text, "%s%lld.%0*lld", v < 0 ? "-" : "",
                static_cast<long long>((v < 0 ? -v : v) / scale), decimals,
                static_cast<long long>((v < 0 ? -v : v) % scale));
  return text;
}

std::vector<Line> surveyLines(std::size_t count) {
  Random r{20261210};
  const char* separators[] = {" ", ",", ", ", "\t"};
  std::vector<Line> lines;
  for (std::size_t i = 0; i < count; ++i) {
    Line line;
    line.latitude = fixed(r, 89, 6);
    line.longitude = fixed(r, 179, 6);
    line.height = fixed(r, 3000, 3);
    line.separator = separators[r.below(4)];
    switch (r.below(3)) {
      case 0: line.label = "P" + std::to_string(i); break;
      case 1:
        line.label = "'" + std::to_string(1000 + i) + "'";
        line.quoted = true;
        break;
      default: {
        const std::string digits = std::to_string(100000 + i % 100000);
        line.label = "ST-" + digits.substr(1);
      }
    }
    lines.push_back(line);
  }
  return lines;
}

std::string fileOf(const std::vector<Line>& lines) {
  std::string bytes;
  for (const Line& line : lines) bytes += line.text();
  return bytes;
}

// A typo: changes `lines[i]` and says whether it applies there.
using Plant = std::function<bool(std::vector<Line>& lines, std::size_t i)>;

const std::vector<std::pair<const char*, Plant>> harmfulTypos = {
    {"a second decimal point",
     [](std::vector<Line>& l, std::size_t i) { l[i].height += ".5"; return true; }},
    {"the label left out",
     [](std::vector<Line>& l, std::size_t i) {
       l[i].label.clear();
       l[i].separator = " ";
       return true;
     }},
    {"a quote left open",
     [](std::vector<Line>& l, std::size_t i) {
       // Closed by the next line's quote, or by none.
       if (!l[i].quoted) return false;
       l[i].label.pop_back();
       return true;
     }},
    {"an empty field",
     [](std::vector<Line>& l, std::size_t i) {
       if (l[i].separator.find(',') == std::string::npos) return false;
       l[i].height.clear();
       return true;
     }},
    {"latitude and longitude swapped",
     [](std::vector<Line>& l, std::size_t i) {
       if (l[i].longitude.find('.') < (l[i].longitude[0] == '-' ? 4u : 3u)) return false;
       std::swap(l[i].latitude, l[i].longitude);
       return true;
     }},
    {"a Windows line end",
     [](std::vector<Line>& l, std::size_t i) {
       if (l[i].quoted) return false;
       l[i].tail = "\r";
       return true;
     }},
    {"a label too long",
     [](std::vector<Line>& l, std::size_t i) {
       l[i].label = "STATION-" + std::to_string(i);
       l[i].quoted = false;
       return true;
     }},
    {"a numeric label unquoted",
     [](std::vector<Line>& l, std::size_t i) {
       if (!l[i].quoted) return false;
       l[i].label = l[i].label.substr(1, l[i].label.size() - 2);
       return true;
     }},
    {"a hemisphere letter",
     [](std::vector<Line>& l, std::size_t i) { l[i].latitude += "N"; return true; }},
    {"words after the label",
     [](std::vector<Line>& l, std::size_t i) { l[i].tail = " old value"; return true; }},
};

const std::vector<std::pair<const char*, Plant>> harmlessChanges = {
    {"tabs for blanks",
     [](std::vector<Line>& l, std::size_t i) {
       if (l[i].separator != " ") return false;
       l[i].separator = "\t";
       return true;
     }},
    {"more blanks",
     [](std::vector<Line>& l, std::size_t i) {
       l[i].separator = "   ";
       l[i].latitude = "  " + l[i].latitude;
       return true;
     }},
    {"a comment",
     [](std::vector<Line>& l, std::size_t i) { l[i].tail = "  # checked"; return true; }},
    {"a carriage return after a quoted label",
     [](std::vector<Line>& l, std::size_t i) {
       if (!l[i].quoted) return false;
       l[i].tail = "\r";
       return true;
     }},
    {"a trailing comma",
     [](std::vector<Line>& l, std::size_t i) { l[i].tail = ","; return true; }},
    {"an unquoted label quoted",
     [](std::vector<Line>& l, std::size_t i) {
       if (l[i].quoted) return false;
       l[i].label = "'" + l[i].label + "'";
       return true;
     }},
    {"an exponent",
     [](std::vector<Line>& l, std::size_t i) { l[i].height += "e0"; return true; }},
};

// Plants the typos at lines far enough apart that their effects stay apart;
// returns the lines (counted from 1) and what was planted there.
std::vector<std::pair<std::size_t, const char*>> plant(
    std::vector<Line>& lines, const std::vector<std::pair<const char*, Plant>>& typos,
    std::uint64_t seed) {
  Random r{seed};
  std::vector<std::pair<std::size_t, const char*>> planted;
  for (std::size_t i = 5; i + 5 < lines.size(); i += 20 + r.below(20)) {
    const auto& [name, change] = typos[r.below(typos.size())];
    if (change(lines, i)) planted.emplace_back(i + 1, name);
  }
  return planted;
}

golden::RunResult run(const char* program, std::vector<std::string> args,
                      const std::string& input) {
  golden::RunRequest request;
  request.program = program;
  request.args = std::move(args);
  request.stdinKind = golden::StdinKind::regularFile;
  request.stdinBytes = input;
  return golden::runProcess(request);
}

// The lines of the findings, and the lines a finding names as where a point
// began.
std::set<std::size_t> linesFound(const std::string& findings) {
  std::set<std::size_t> found;
  std::size_t at = 0;
  while (at < findings.size()) {
    const std::size_t end = findings.find('\n', at);
    const std::string line = findings.substr(at, end - at);
    at = end + 1;
    const std::size_t first = line.find(':');
    found.insert(std::stoul(line.substr(first + 1)));
    const std::size_t began = line.find("began on line ");
    if (began != std::string::npos) found.insert(std::stoul(line.substr(began + 14)));
  }
  return found;
}

constexpr std::size_t lineCount = 30000;

TEST(PlantedTypos, TheCleanFileGivesNoFinding) {
  const golden::RunResult r = run(CHECK_BINARY, {}, fileOf(surveyLines(lineCount)));
  EXPECT_EQ(r.stdoutBytes.substr(0, 400), "");
  EXPECT_TRUE(r.end == golden::exitedWith(0)) << golden::describe(r.end);
}

TEST(PlantedTypos, EveryTypoIsFoundAtItsLine) {
  std::vector<Line> lines = surveyLines(lineCount);
  const auto planted = plant(lines, harmfulTypos, 1);
  ASSERT_GT(planted.size(), 500u);
  const golden::RunResult r = run(CHECK_BINARY, {}, fileOf(lines));
  const std::set<std::size_t> found = linesFound(r.stdoutBytes);
  for (const auto& [line, name] : planted) {
    EXPECT_TRUE(found.count(line) == 1) << name << " on line " << line << " not found";
  }
  EXPECT_TRUE(r.end == golden::exitedWith(1)) << golden::describe(r.end);
}

TEST(PlantedTypos, ChangesWithoutAFindingLeaveTheResultLinesAsTheyWere) {
  const std::vector<Line> clean = surveyLines(lineCount);
  std::vector<Line> changed = clean;
  const auto planted = plant(changed, harmlessChanges, 2);
  ASSERT_GT(planted.size(), 500u);
  const golden::RunResult check = run(CHECK_BINARY, {}, fileOf(changed));
  EXPECT_EQ(check.stdoutBytes.substr(0, 400), "");
  EXPECT_TRUE(check.end == golden::exitedWith(0)) << golden::describe(check.end);
  const golden::RunResult before = run(GEOCART_BINARY, {"-stdin"}, fileOf(clean));
  const golden::RunResult after = run(GEOCART_BINARY, {"-stdin"}, fileOf(changed));
  ASSERT_EQ(before.stdoutBytes.size(), 59 * lineCount);
  EXPECT_TRUE(before.stdoutBytes == after.stdoutBytes)
      << golden::compareBytes(before.stdoutBytes, after.stdoutBytes);
}

}  // namespace
