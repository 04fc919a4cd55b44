// How the X, Y, Z that geocart, cct and CartConvert print relate to the
// exact values of the decimal input rounded to 4 decimals, and which of
// geocart's roundings makes a printed field differ.
//   accuracy [--check] [--progress] [--threads N] [--bands FILE] POINTS
//            [--geocart OUT] [--cct OUT_D4 OUT_D12] [--cartconvert OUT_P4 OUT_P10]
// Reads POINTS ("latitude longitude height ..." lines, as gen_points writes
// them with `accuracy`) and, line for line, the output of geocart -stdin, of
// cct -d 4 and -d 12 (+proj=cart +ellps=WGS84) and of CartConvert -p 4 and
// -p 10 on the same points, and prints Markdown tables on standard output.
// Exit status 2 on unreadable or mismatched input; with --check, 1 when a
// geocart field lies more than one unit from the exactly rounded value, when
// the evaluator does not give geocart's doubles, when its exact values in
// radians are not those in degrees, or when a printed field is not its double
// rounded.
#include <sys/types.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "conversion.h"
#include "exact_conversion.h"

namespace {

using proofs::ExactConversion;
using proofs::MpfrNumber;
using proofs::Step;
using proofs::StepSet;

enum Tool { geocartTool, cctTool, cartConvertTool };
constexpr int toolCount = 3;
constexpr const char* toolNames[toolCount] = {"geocart", "cct -d 4 +proj=cart +ellps=WGS84",
                                              "CartConvert -p 4"};
constexpr const char* fieldNames[3] = {"X", "Y", "Z"};

// Streams of a compare run: the points, then each tool's lines.
enum Stream { pointStream, geocartStream, cctStream, cctFineStream, ccStream, ccFineStream };
constexpr int streamCount = 6;

constexpr int bandCount = 90;  // latitude bands of 2 degrees
constexpr double nanometresPerUnit = 1e5;

class LineReader {
 public:
  explicit LineReader(const char* path) : file_(std::fopen(path, "rb")) {}
  ~LineReader() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(buffer_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  bool ok() const { return file_ != nullptr; }
  bool next(std::string& line) {
    const ssize_t n = ::getline(&buffer_, &capacity_, file_);
    if (n < 0) return false;
    line.assign(buffer_, static_cast<std::size_t>(n));
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return true;
  }

 private:
  std::FILE* file_;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
};

// The first `count` fields of `line` separated by blanks or tabs.
bool splitFields(std::string_view line, std::string_view* fields, int count) {
  for (int i = 0; i < count; ++i) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) return false;
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
    fields[i] = line.substr(0, end);
    line.remove_prefix(end);
  }
  return true;
}

// A field printed with exactly 4 decimals ("-6378137.0000") in units of
// 0.1 mm; "-0.0000" is 0.
bool parseUnits(std::string_view text, long& units) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos || point == 0 || text.size() - point != 5) return false;
  long whole = 0;
  long fraction = 0;
  const char* end = text.data() + text.size();
  if (std::from_chars(text.data(), text.data() + point, whole).ptr != text.data() + point ||
      std::from_chars(text.data() + point + 1, end, fraction).ptr != end || whole < 0 ||
      fraction < 0) {
    return false;
  }
  units = (whole * 10000 + fraction) * (negative ? -1 : 1);
  return true;
}

struct ToolTotals {
  std::uint64_t fields = 0;
  std::uint64_t differing = 0;
  std::uint64_t byUnits[3] = {};       // 1, 2, 3 or more units away
  std::uint64_t otherThanGeocart = 0;  // fields printed other than geocart printed them
  double farthestDifferingNm = 0.0;    // from a half unit, over the differing fields
  double largestErrorNm = -1.0;        // of the unrounded result
  std::uint64_t largestAt = 0;         // its line
  int largestField = 0;
  std::string largestPoint;

  void noteError(double nm, std::uint64_t line, int field, std::string_view point) {
    if (nm > largestErrorNm || (nm == largestErrorNm && line < largestAt)) {
      largestErrorNm = nm;
      largestAt = line;
      largestField = field;
      largestPoint = point;
    }
  }
  void merge(const ToolTotals& o) {
    fields += o.fields;
    differing += o.differing;
    otherThanGeocart += o.otherThanGeocart;
    for (int i = 0; i < 3; ++i) byUnits[i] += o.byUnits[i];
    farthestDifferingNm = std::max(farthestDifferingNm, o.farthestDifferingNm);
    if (o.largestErrorNm >= 0) {
      noteError(o.largestErrorNm, o.largestAt, o.largestField, o.largestPoint);
    }
  }
};

struct Band {
  std::uint64_t points = 0;
  std::uint64_t differing[toolCount] = {};
  double largestErrorNm[toolCount] = {-1.0, -1.0, -1.0};
};

struct DifferingField {
  std::uint64_t line = 0;
  std::string point;
  int field = 0;
  long printed = 0;
  long exact = 0;
  double halfDistanceNm = 0.0;
  double errorNm = 0.0;
  StepSet putRightBy = 0;           // steps that, left exact alone, give the exact rounding
  Step largestShare = Step::input;  // the step whose rounding moves the value most
  double largestShareNm = 0.0;      // and by how much
};

struct Totals {
  std::uint64_t points = 0;
  std::uint64_t cannotTell = 0;
  std::uint64_t evaluatorMismatches = 0;
  std::uint64_t exactPathsApart = 0;  // degrees and radians, in check mode
  std::uint64_t printedNotRounded = 0;
  std::uint64_t unexplained = 0;
  std::uint64_t putRightBy[proofs::stepCount] = {};
  std::uint64_t largestShare[proofs::stepCount] = {};
  ToolTotals tools[toolCount];
  Band bands[bandCount];
  std::vector<DifferingField> geocartDiffering;
  std::vector<std::string> problems;  // unreadable lines, the first few of each check

  void problem(std::string text) {
    if (problems.size() < 20) problems.push_back(std::move(text));
  }
  void merge(Totals& o) {
    points += o.points;
    cannotTell += o.cannotTell;
    evaluatorMismatches += o.evaluatorMismatches;
    exactPathsApart += o.exactPathsApart;
    printedNotRounded += o.printedNotRounded;
    unexplained += o.unexplained;
    for (unsigned s = 0; s < proofs::stepCount; ++s) {
      putRightBy[s] += o.putRightBy[s];
      largestShare[s] += o.largestShare[s];
    }
    for (int t = 0; t < toolCount; ++t) tools[t].merge(o.tools[t]);
    for (int b = 0; b < bandCount; ++b) {
      bands[b].points += o.bands[b].points;
      for (int t = 0; t < toolCount; ++t) {
        bands[b].differing[t] += o.bands[b].differing[t];
        bands[b].largestErrorNm[t] =
            std::max(bands[b].largestErrorNm[t], o.bands[b].largestErrorNm[t]);
      }
    }
    for (auto& d : o.geocartDiffering) geocartDiffering.push_back(std::move(d));
    for (auto& p : o.problems) problem(std::move(p));
  }
};

struct PointLines {
  std::string lines[streamCount];
};

// Checks one point against the exact values; `given` tells which streams are there.
class PointChecker {
 public:
  PointChecker(const bool* given, bool checkMode, Totals& totals)
      : given_(given), checkMode_(checkMode), totals_(totals) {}

  void check(const PointLines& in, std::uint64_t line) {
    std::string_view input[3];
    const std::string& point = in.lines[pointStream];
    if (!splitFields(point, input, 3) || !ev_.setPoint(input[0], input[1], input[2])) {
      totals_.problem("line " + std::to_string(line) + ": unreadable point: " + point);
      return;
    }
    ++totals_.points;
    ev_.evaluate(0);
    proofs::RoundedUnits exact[3];
    for (int i = 0; i < 3; ++i) {
      mpfr_set(exact_[i], ev_.coordinate(i), MPFR_RNDN);
      exact[i] = ev_.roundUnits(exact_[i]);
      if (exact[i].cannotTell) ++totals_.cannotTell;
    }
    if (checkMode_) checkExactPaths(line, point);
    const double latitude = ev_.latitude();
    Band& band = totals_.bands[std::clamp(static_cast<int>(std::floor((latitude + 90.0) / 2.0)), 0,
                                          bandCount - 1)];
    ++band.points;
    // The point's three numbers as the input has them, without the label.
    const std::string_view pointText(
        point.data(), static_cast<std::size_t>(input[2].data() + input[2].size() - point.data()));
    geocartPrinted_ = false;
    if (given_[geocartStream]) checkGeocart(in.lines[geocartStream], line, pointText, exact, band);
    if (given_[cctStream]) {
      checkPeer(cctTool, in.lines[cctStream], in.lines[cctFineStream], line, pointText, exact,
                band);
    }
    if (given_[ccStream]) {
      checkPeer(cartConvertTool, in.lines[ccStream], in.lines[ccFineStream], line, pointText, exact,
                band);
    }
  }

 private:
  // The exact values once more with sin and cos of radians, which brings in
  // pi / 180 as the attribution uses it: coordinates lie below 2^24 m, so the
  // two agree to 2^-176 m.
  void checkExactPaths(std::uint64_t line, const std::string& point) {
    ev_.evaluate(0, true);
    for (int i = 0; i < 3; ++i) {
      if (std::fabs(ev_.errorNanometres(ev_.coordinate(i), exact_[i])) > 1e9 * 0x1p-176) {
        ++totals_.exactPathsApart;
        totals_.problem("line " + std::to_string(line) + ": the exact " + fieldNames[i] +
                        " in radians is not the one in degrees: " + point);
      }
    }
  }

  // Counts a printed field against the exactly rounded value; true when it differs.
  bool count(Tool tool, long printed, const proofs::RoundedUnits& exact, double errorNm,
             std::uint64_t line, int field, std::string_view point, Band& band) {
    ToolTotals& t = totals_.tools[tool];
    ++t.fields;
    const double nm = std::fabs(errorNm);
    t.noteError(nm, line, field, point);
    band.largestErrorNm[tool] = std::max(band.largestErrorNm[tool], nm);
    const long away = std::labs(printed - exact.units);
    if (away == 0) return false;
    ++t.differing;
    ++t.byUnits[std::min(away, 3L) - 1];
    ++band.differing[tool];
    t.farthestDifferingNm = std::max(t.farthestDifferingNm, exact.halfDistance * nanometresPerUnit);
    return true;
  }

  void checkGeocart(const std::string& text, std::uint64_t line, std::string_view point,
                    const proofs::RoundedUnits* exact, Band& band) {
    const geocart::CartesianPoint c = geocart::convert(
        geocart::GeodeticPoint{ev_.latitude(), ev_.longitude(), ev_.height()}, factor_);
    const double doubles[3] = {c.x, c.y, c.z};
    ev_.evaluate(proofs::allSteps);
    long* printed = geocartUnits_;
    for (int i = 0; i < 3; ++i) {
      if (mpfr_cmp_d(ev_.coordinate(i), doubles[i]) != 0) {
        ++totals_.evaluatorMismatches;
        totals_.problem("line " + std::to_string(line) + ": the evaluator's " + fieldNames[i] +
                        " is not geocart's double: " + std::string(point));
      }
      if (text.size() < 45 ||
          !parseUnits(std::string_view(text).substr(static_cast<std::size_t>(15 * i), 15),
                      printed[i])) {
        totals_.problem("line " + std::to_string(line) + ": unreadable geocart line: " + text);
        return;
      }
    }
    geocartPrinted_ = true;
    StepSet differing = 0;
    for (int i = 0; i < 3; ++i) {
      mpfr_set_d(double_, doubles[i], MPFR_RNDN);
      if (ev_.roundUnits(double_).units != printed[i]) {
        ++totals_.printedNotRounded;
        totals_.problem("line " + std::to_string(line) + ": geocart printed " + fieldNames[i] +
                        " other than its double rounded: " + text);
      }
      const double errorNm = ev_.errorNanometres(double_, exact_[i]);
      if (count(geocartTool, printed[i], exact[i], errorNm, line, i, point, band)) {
        differing |= StepSet{1} << i;
        totals_.geocartDiffering.push_back(
            DifferingField{.line = line,
                           .point = std::string(point),
                           .field = i,
                           .printed = printed[i],
                           .exact = exact[i].units,
                           .halfDistanceNm = exact[i].halfDistance * nanometresPerUnit,
                           .errorNm = errorNm});
      }
    }
    if (differing == 0) return;
    // Each step in turn left exact, every other rounded as geocart rounds it.
    const std::size_t first =
        totals_.geocartDiffering.size() - static_cast<std::size_t>(std::popcount(differing));
    for (unsigned s = 0; s < proofs::stepCount; ++s) {
      ev_.evaluate(proofs::allSteps & ~proofs::stepBit(static_cast<Step>(s)));
      for (std::size_t k = first; k < totals_.geocartDiffering.size(); ++k) {
        DifferingField& d = totals_.geocartDiffering[k];
        const double share =
            d.errorNm - ev_.errorNanometres(ev_.coordinate(d.field), exact_[d.field]);
        if (std::fabs(share) > std::fabs(d.largestShareNm)) {
          d.largestShare = static_cast<Step>(s);
          d.largestShareNm = share;
        }
        if (ev_.roundUnits(ev_.coordinate(d.field)).units == d.exact) {
          d.putRightBy |= proofs::stepBit(static_cast<Step>(s));
          ++totals_.putRightBy[s];
        }
      }
    }
    for (std::size_t k = first; k < totals_.geocartDiffering.size(); ++k) {
      const DifferingField& d = totals_.geocartDiffering[k];
      if (d.putRightBy == 0) ++totals_.unexplained;
      ++totals_.largestShare[static_cast<unsigned>(d.largestShare)];
    }
  }

  void checkPeer(Tool tool, const std::string& text, const std::string& fine, std::uint64_t line,
                 std::string_view point, const proofs::RoundedUnits* exact, Band& band) {
    std::string_view printed[3];
    std::string_view precise[3];
    long units[3];
    bool readable = splitFields(text, printed, 3) && splitFields(fine, precise, 3);
    for (int i = 0; i < 3 && readable; ++i) {
      readable =
          parseUnits(printed[i], units[i]) && ExactConversion::readDecimal(precise[i], fine_[i]);
    }
    if (!readable) {
      totals_.problem("line " + std::to_string(line) + ": unreadable " + toolNames[tool] + " line");
      return;
    }
    for (int i = 0; i < 3; ++i) {
      count(tool, units[i], exact[i], ev_.errorNanometres(fine_[i], exact_[i]), line, i, point,
            band);
      if (geocartPrinted_ && units[i] != geocartUnits_[i]) ++totals_.tools[tool].otherThanGeocart;
    }
  }

  const bool* given_;
  const bool checkMode_;
  Totals& totals_;
  ExactConversion ev_;
  const double factor_ = geocart::degreeFactor();
  static constexpr mpfr_prec_t bits = ExactConversion::exactBits;
  MpfrNumber exact_[3] = {MpfrNumber{bits}, MpfrNumber{bits}, MpfrNumber{bits}};
  MpfrNumber fine_[3] = {MpfrNumber{bits}, MpfrNumber{bits}, MpfrNumber{bits}};
  MpfrNumber double_{53};
  long geocartUnits_[3] = {};  // the point's fields as geocart printed them
  bool geocartPrinted_ = false;
};

void printReport(const Totals& t, const bool* given) {
  std::printf("points: %llu; exact values too close to a half unit to round at 256 bits: %llu\n\n",
              static_cast<unsigned long long>(t.points),
              static_cast<unsigned long long>(t.cannotTell));
  std::printf(
      "| tool | fields | differing | by 1 unit | by 2 | by 3 or more "
      "| farthest differing from a half unit (nm) | largest error before rounding (nm) "
      "| printed other than geocart |\n");
  std::printf("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n");
  const Stream streams[toolCount] = {geocartStream, cctStream, ccStream};
  for (int k = 0; k < toolCount; ++k) {
    if (!given[streams[k]]) continue;
    const ToolTotals& x = t.tools[k];
    std::printf(
        "| `%s` | %llu | %llu | %llu | %llu | %llu | %.3f | %.3f | ", toolNames[k],
        static_cast<unsigned long long>(x.fields), static_cast<unsigned long long>(x.differing),
        static_cast<unsigned long long>(x.byUnits[0]),
        static_cast<unsigned long long>(x.byUnits[1]),
        static_cast<unsigned long long>(x.byUnits[2]), x.farthestDifferingNm, x.largestErrorNm);
    if (k == geocartTool || !given[geocartStream]) {
      std::printf("|\n");
    } else {
      std::printf("%llu |\n", static_cast<unsigned long long>(x.otherThanGeocart));
    }
  }
  std::printf("\nLargest error before rounding:\n\n");
  for (int k = 0; k < toolCount; ++k) {
    if (!given[streams[k]] || t.tools[k].fields == 0) continue;
    const ToolTotals& x = t.tools[k];
    std::printf("- `%s`: %.3f nm, %s of `%s` (line %llu)\n", toolNames[k], x.largestErrorNm,
                fieldNames[x.largestField], x.largestPoint.c_str(),
                static_cast<unsigned long long>(x.largestAt));
  }
  if (!given[geocartStream]) return;
  std::printf(
      "\ngeocart: the evaluator with every step rounded differs from geocart::convert "
      "in %llu fields; printed fields other than their double rounded: %llu\n",
      static_cast<unsigned long long>(t.evaluatorMismatches),
      static_cast<unsigned long long>(t.printedNotRounded));
  std::printf(
      "\n| step left exact, every other rounded | differing geocart fields it alone "
      "puts right | in which its rounding has the largest share of the error |\n");
  std::printf("| --- | ---: | ---: |\n");
  for (unsigned s = 0; s < proofs::stepCount; ++s) {
    std::printf("| %s | %llu | %llu |\n", proofs::stepName(static_cast<Step>(s)),
                static_cast<unsigned long long>(t.putRightBy[s]),
                static_cast<unsigned long long>(t.largestShare[s]));
  }
  std::printf("| no single step | %llu | |\n", static_cast<unsigned long long>(t.unexplained));
  if (t.geocartDiffering.empty()) return;
  std::printf(
      "\n| line | point | field | printed | exact | from a half unit (nm) | error (nm) "
      "| steps that alone put it right | largest share of the error (nm) |\n");
  std::printf("| ---: | --- | --- | ---: | ---: | ---: | ---: | --- | --- |\n");
  for (const DifferingField& d : t.geocartDiffering) {
    std::string steps;
    for (unsigned s = 0; s < proofs::stepCount; ++s) {
      if ((d.putRightBy & proofs::stepBit(static_cast<Step>(s))) == 0) continue;
      if (!steps.empty()) steps += "; ";
      steps += proofs::stepName(static_cast<Step>(s));
    }
    std::printf("| %llu | `%s` | %s | %.4f | %.4f | %.3f | %.3f | %s | %s: %.3f |\n",
                static_cast<unsigned long long>(d.line), d.point.c_str(), fieldNames[d.field],
                static_cast<double>(d.printed) / 1e4, static_cast<double>(d.exact) / 1e4,
                d.halfDistanceNm, d.errorNm, steps.empty() ? "none" : steps.c_str(),
                proofs::stepName(d.largestShare), d.largestShareNm);
  }
}

bool writeBands(const Totals& t, const char* path) {
  std::FILE* out = std::fopen(path, "w");
  if (out == nullptr) return false;
  std::fputs(
      "# from to points largest_nm(geocart cct CartConvert) differing(geocart cct CartConvert)\n",
      out);
  for (int b = 0; b < bandCount; ++b) {
    const Band& band = t.bands[b];
    std::fprintf(out, "%d %d %llu", 2 * b - 90, 2 * b - 88,
                 static_cast<unsigned long long>(band.points));
    for (int k = 0; k < toolCount; ++k) {
      if (band.largestErrorNm[k] < 0) {
        std::fputs(" NaN", out);
      } else {
        std::fprintf(out, " %.4f", band.largestErrorNm[k]);
      }
    }
    for (int k = 0; k < toolCount; ++k) {
      std::fprintf(out, " %llu", static_cast<unsigned long long>(band.differing[k]));
    }
    std::fputc('\n', out);
  }
  return std::fclose(out) == 0;
}

int usage() {
  std::fputs(
      "usage: accuracy [--check] [--progress] [--threads N] [--bands FILE] POINTS\n"
      "                [--geocart OUT] [--cct OUT_D4 OUT_D12] [--cartconvert OUT_P4 OUT_P10]\n",
      stderr);
  return 2;
}

int compare(int argc, char** argv) {
  bool checkMode = false;
  bool progress = false;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  const char* bandsPath = nullptr;
  const char* paths[streamCount] = {};
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const int left = argc - i - 1;
    if (a == "--check") {
      checkMode = true;
    } else if (a == "--progress") {
      progress = true;
    } else if (a == "--threads" && left >= 1) {
      threads = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    } else if (a == "--bands" && left >= 1) {
      bandsPath = argv[++i];
    } else if (a == "--geocart" && left >= 1) {
      paths[geocartStream] = argv[++i];
    } else if (a == "--cct" && left >= 2) {
      paths[cctStream] = argv[++i];
      paths[cctFineStream] = argv[++i];
    } else if (a == "--cartconvert" && left >= 2) {
      paths[ccStream] = argv[++i];
      paths[ccFineStream] = argv[++i];
    } else if (!a.starts_with("--") && paths[pointStream] == nullptr) {
      paths[pointStream] = argv[i];
    } else {
      return usage();
    }
  }
  if (paths[pointStream] == nullptr) return usage();
  bool given[streamCount];
  std::unique_ptr<LineReader> readers[streamCount];
  for (int s = 0; s < streamCount; ++s) {
    given[s] = paths[s] != nullptr;
    if (!given[s]) continue;
    readers[s] = std::make_unique<LineReader>(paths[s]);
    if (!readers[s]->ok()) {
      std::fprintf(stderr, "accuracy: cannot open %s\n", paths[s]);
      return 2;
    }
  }

  Totals totals;
  std::vector<std::unique_ptr<Totals>> parts(threads);
  std::vector<std::unique_ptr<PointChecker>> checkers(threads);
  for (unsigned k = 0; k < threads; ++k) {
    parts[k] = std::make_unique<Totals>();
    checkers[k] = std::make_unique<PointChecker>(given, checkMode, *parts[k]);
  }
  std::vector<PointLines> batch(std::size_t{2048} * threads);
  std::uint64_t lines = 0;
  std::uint64_t nextReport = 1000000;
  const auto start = std::chrono::steady_clock::now();
  for (bool more = true; more;) {
    std::size_t n = 0;
    while (n < batch.size() && (more = readers[pointStream]->next(batch[n].lines[pointStream]))) {
      for (int s = 1; s < streamCount; ++s) {
        if (given[s] && !readers[s]->next(batch[n].lines[s])) {
          std::fprintf(stderr, "accuracy: %s ends at line %llu, before the points\n", paths[s],
                       static_cast<unsigned long long>(lines + n));
          return 2;
        }
      }
      ++n;
    }
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < threads; ++k) {
      workers.emplace_back([&, k] {
        for (std::size_t i = n * k / threads; i < n * (k + 1) / threads; ++i) {
          checkers[k]->check(batch[i], lines + i + 1);
        }
        // MPFR keeps pi and other constants per thread; the thread ends here.
        mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
      });
    }
    for (std::thread& w : workers) w.join();
    for (unsigned k = 0; k < threads; ++k) {
      totals.merge(*parts[k]);
      *parts[k] = Totals{};
    }
    lines += n;
    if (progress && (lines >= nextReport || !more)) {
      const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      std::fprintf(stderr, "accuracy: %llu points, %llu differing geocart fields, %.0f s\n",
                   static_cast<unsigned long long>(lines),
                   static_cast<unsigned long long>(totals.tools[geocartTool].differing),
                   elapsed.count());
      nextReport = lines + 1000000;
    }
  }
  std::string extra;
  for (int s = 1; s < streamCount; ++s) {
    if (given[s] && readers[s]->next(extra)) {
      std::fprintf(stderr, "accuracy: %s has more lines than the points\n", paths[s]);
      return 2;
    }
  }
  std::sort(totals.geocartDiffering.begin(), totals.geocartDiffering.end(),
            [](const DifferingField& a, const DifferingField& b) {
              return a.line != b.line ? a.line < b.line : a.field < b.field;
            });

  printReport(totals, given);
  for (const std::string& p : totals.problems) std::fprintf(stderr, "accuracy: %s\n", p.c_str());
  if (bandsPath != nullptr && !writeBands(totals, bandsPath)) {
    std::fprintf(stderr, "accuracy: cannot write %s\n", bandsPath);
    return 2;
  }
  if (totals.points != lines) return 2;
  if (!checkMode) return 0;
  const ToolTotals& g = totals.tools[geocartTool];
  const bool fails = !given[geocartStream] || totals.points == 0 ||
                     g.byUnits[1] + g.byUnits[2] != 0 || totals.evaluatorMismatches != 0 ||
                     totals.exactPathsApart != 0 || totals.printedNotRounded != 0;
  if (fails) {
    std::fprintf(stderr,
                 "accuracy: check failed: %llu geocart fields more than one unit from the "
                 "exactly rounded value, %llu evaluator mismatches, %llu exact values apart "
                 "in radians, %llu printed fields other than their double rounded, "
                 "%llu points\n",
                 static_cast<unsigned long long>(g.byUnits[1] + g.byUnits[2]),
                 static_cast<unsigned long long>(totals.evaluatorMismatches),
                 static_cast<unsigned long long>(totals.exactPathsApart),
                 static_cast<unsigned long long>(totals.printedNotRounded),
                 static_cast<unsigned long long>(totals.points));
  }
  return fails ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int status = compare(argc, argv);
  mpfr_free_cache();
  return status;
}
