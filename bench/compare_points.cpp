// Checks that geocart's X, Y, Z agree with another tool's on every point.
//   compare_points GEOCART_OUTPUT PEER_OUTPUT TOLERANCE_METRES
// geocart's lines hold X, Y, Z in columns 1-15, 16-30 and 31-45; a peer's
// lines start with X, Y and Z separated by blanks (anything after them, such
// as a time column, is ignored). Prints the largest difference and the
// points compared; exits 1 on a line count mismatch or a difference above
// the tolerance, 2 on unreadable input.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class LineReader {
 public:
  explicit LineReader(const char* path) : file_(std::fopen(path, "rb")) {}
  ~LineReader() {
    if (file_ != nullptr) std::fclose(file_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  bool ok() const { return file_ != nullptr; }
  bool next(std::string& line) {
    line.clear();
    int c;
    while ((c = std::getc(file_)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    return c != EOF || !line.empty();
  }

 private:
  std::FILE* file_;
};

bool parseNumber(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc{} && r.ptr == text.data() + text.size();
}

bool parseGeocart(const std::string& line, double xyz[3]) {
  if (line.size() < 45) return false;
  for (int i = 0; i < 3; ++i) {
    if (!parseNumber(std::string_view(line).substr(static_cast<std::size_t>(15 * i), 15), xyz[i])) {
      return false;
    }
  }
  return true;
}

bool parsePeer(const std::string& line, double xyz[3]) {
  std::string_view rest = line;
  for (int i = 0; i < 3; ++i) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    std::size_t n = 0;
    while (n < rest.size() && rest[n] != ' ' && rest[n] != '\t') ++n;
    if (!parseNumber(rest.substr(0, n), xyz[i])) return false;
    rest.remove_prefix(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: compare_points GEOCART_OUTPUT PEER_OUTPUT TOLERANCE_METRES\n", stderr);
    return 2;
  }
  LineReader ours(argv[1]);
  LineReader theirs(argv[2]);
  const double tolerance = std::strtod(argv[3], nullptr);
  if (!ours.ok() || !theirs.ok()) {
    std::fputs("compare_points: cannot open an input\n", stderr);
    return 2;
  }
  std::string a;
  std::string b;
  unsigned long long points = 0;
  unsigned long long beyond = 0;
  double largest = 0.0;
  unsigned long long largestAt = 0;
  for (;;) {
    const bool hasA = ours.next(a);
    const bool hasB = theirs.next(b);
    if (!hasA && !hasB) break;
    if (hasA != hasB) {
      std::fprintf(stderr, "compare_points: line counts differ after %llu points\n", points);
      return 1;
    }
    double x[3];
    double y[3];
    if (!parseGeocart(a, x) || !parsePeer(b, y)) {
      std::fprintf(stderr, "compare_points: unreadable line %llu\n", points + 1);
      return 2;
    }
    ++points;
    for (int i = 0; i < 3; ++i) {
      const double d = std::fabs(x[i] - y[i]);
      if (!(d <= tolerance)) ++beyond;
      if (d > largest) {
        largest = d;
        largestAt = points;
      }
    }
  }
  std::printf("%llu points, largest difference %.4f m (point %llu), %llu coordinates beyond %.4f m\n",
              points, largest, largestAt, beyond, tolerance);
  return beyond == 0 && points > 0 ? 0 : 1;
}
