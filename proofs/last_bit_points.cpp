// Writes points whose printed X, Y or Z depends on the last bit of a sine or
// cosine: the platform library's two code paths (with and without FMA)
// disagree there, and a height brings the field to a rounding edge, so a
// build that takes its sines from the platform prints the field differently
// on a CPU without FMA. One `lat lon h label` group a line, ready for
// `geocart -stdin`.
//   last_bit_points COUNT > tests/data/last_bit_points.txt
// It runs itself again with the library's FMA code switched off
// (GLIBC_TUNABLES) to get the second variant's values, and checks both
// against MPFR; a summary goes to standard error.
#include <mpfr.h>
#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* noFmaTunable =
    "GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2_Usable,-FMA_Usable,-AVX2,-FMA";

struct Values {
  double sinPhi, cosPhi, sinLambda, cosLambda;
};

struct Xyz {
  double x, y, z;
};

// The conversion's formula in its fixed order, with given sines and cosines.
Xyz convertWith(const Values& v, double h) {
  const double a = 6378137.0;
  const double f = 1.0 / 298.257223563;
  const double e2 = (f * 2.0) - (f * f);
  const double n = a / std::sqrt(1.0 - e2 * (v.sinPhi * v.sinPhi));
  const double t = (n + h) * v.cosPhi;
  return {t * v.cosLambda, t * v.sinLambda, ((n * (1.0 - e2)) + h) * v.sinPhi};
}

std::string printed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);  // exact value, ties to even
  return text;
}

// The child: hexadecimal angles in, the library's sin and cos out.
int libmValues() {
  double phi = 0.0;
  double lambda = 0.0;
  while (std::scanf("%la %la", &phi, &lambda) == 2) {
    std::printf("%a %a %a %a\n", std::sin(phi), std::cos(phi), std::sin(lambda),
                std::cos(lambda));
  }
  return 0;
}

double correctlyRounded(int (*function)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x) {
  mpfr_t in, out;
  mpfr_init2(in, 53);
  mpfr_init2(out, 53);
  mpfr_set_d(in, x, MPFR_RNDN);
  const int inexact = function(out, in, MPFR_RNDN);
  mpfr_subnormalize(out, inexact, MPFR_RNDN);
  const double result = mpfr_get_d(out, MPFR_RNDN);
  mpfr_clear(in);
  mpfr_clear(out);
  return result;
}

std::uint64_t bitsOf(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--libm") return libmValues();
  if (argc != 2) {
    std::fputs("usage: last_bit_points COUNT\n", stderr);
    return 2;
  }
  const long wanted = std::atol(argv[1]);
  const double factor = std::atan(1.0) / 45.0;
  if (bitsOf(factor) != bitsOf(0x1.1df46a2529d39p-6)) {
    std::fputs("the degree factor is not the double nearest pi/180\n", stderr);
    return 1;
  }

  // Candidates: 6-decimal latitudes and longitudes, as surveys give them.
  std::mt19937_64 random(20240524);
  constexpr int batch = 1000000;
  struct Candidate {
    std::string lat, lon;
    double phi, lambda;
  };
  std::vector<Candidate> candidates;
  candidates.reserve(batch);
  for (int i = 0; i < batch; ++i) {
    const long latMicro = static_cast<long>(random() % 180000001) - 90000000;
    const long lonMicro = static_cast<long>(random() % 360000001) - 180000000;
    char lat[32], lon[32];
    std::snprintf(lat, sizeof lat, "%s%ld.%06ld", latMicro < 0 ? "-" : "",
                  std::labs(latMicro) / 1000000, std::labs(latMicro) % 1000000);
    std::snprintf(lon, sizeof lon, "%s%ld.%06ld", lonMicro < 0 ? "-" : "",
                  std::labs(lonMicro) / 1000000, std::labs(lonMicro) % 1000000);
    const double latitude = std::strtod(lat, nullptr);
    const double longitude = std::strtod(lon, nullptr);
    candidates.push_back({lat, lon, latitude * factor, longitude * factor});
  }

  // The other variant's values, from a child with the FMA code switched off.
  char angles[] = "/tmp/last_bit_points.XXXXXX";
  const int fd = mkstemp(angles);
  if (fd < 0) return 1;
  FILE* out = fdopen(fd, "w");
  for (const auto& c : candidates) std::fprintf(out, "%a %a\n", c.phi, c.lambda);
  std::fclose(out);
  const std::string command = std::string(noFmaTunable) + " /proc/" +
                              std::to_string(getpid()) + "/exe --libm < " + angles;
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return 1;
  std::vector<Values> noFma(candidates.size());
  for (auto& v : noFma) {
    if (std::fscanf(child, "%la %la %la %la", &v.sinPhi, &v.cosPhi, &v.sinLambda,
                    &v.cosLambda) != 4) {
      std::fputs("the child gave too few values\n", stderr);
      return 1;
    }
  }
  pclose(child);
  std::remove(angles);

  long differing = 0, written = 0, plainWrong = 0, noFmaWrong = 0;
  std::size_t examined = 0;
  for (std::size_t i = 0; i < candidates.size() && written < wanted; ++i) {
    ++examined;
    const Candidate& c = candidates[i];
    const Values plain{std::sin(c.phi), std::cos(c.phi), std::sin(c.lambda),
                       std::cos(c.lambda)};
    const Values exact{correctlyRounded(mpfr_sin, c.phi), correctlyRounded(mpfr_cos, c.phi),
                       correctlyRounded(mpfr_sin, c.lambda),
                       correctlyRounded(mpfr_cos, c.lambda)};
    if (std::memcmp(&plain, &noFma[i], sizeof plain) == 0) continue;
    ++differing;
    if (std::memcmp(&plain, &exact, sizeof plain) != 0) ++plainWrong;
    if (std::memcmp(&noFma[i], &exact, sizeof plain) != 0) ++noFmaWrong;

    // A height that puts the field the differing value feeds on a rounding
    // edge: solve for the nearest half unit, then walk 10-decimal heights
    // around it until the two variants print different figures.
    std::uniform_real_distribution<double> base(-200.0, 3000.0);
    const double h0 = base(random);
    const Xyz p0 = convertWith(plain, h0);
    const bool latitudeDiffers =
        plain.sinPhi != noFma[i].sinPhi || plain.cosPhi != noFma[i].cosPhi;
    double field = p0.z, slope = plain.sinPhi;
    if (!latitudeDiffers) {
      const bool useX = plain.cosLambda != noFma[i].cosLambda;
      field = useX ? p0.x : p0.y;
      slope = plain.cosPhi * (useX ? plain.cosLambda : plain.sinLambda);
    }
    if (std::fabs(slope) < 1e-3) continue;
    const double edge = (std::floor(field * 1e4) + 0.5) / 1e4;
    const double hEdge = h0 + (edge - field) / slope;
    const long long tenths = std::llround(hEdge * 1e10);
    for (int step = 0; step < 2000; ++step) {
      const long long k = tenths + ((step & 1) ? -(step / 2) : step / 2);
      char hText[48];
      const long long whole = std::llabs(k) / 10000000000LL;
      const long long fraction = std::llabs(k) % 10000000000LL;
      std::snprintf(hText, sizeof hText, "%s%lld.%010lld", k < 0 ? "-" : "", whole, fraction);
      const double h = std::strtod(hText, nullptr);
      const Xyz a = convertWith(plain, h);
      const Xyz b = convertWith(noFma[i], h);
      if (printed(a.x) != printed(b.x) || printed(a.y) != printed(b.y) ||
          printed(a.z) != printed(b.z)) {
        std::printf("%s %s %s LB%06ld\n", c.lat.c_str(), c.lon.c_str(), hText, written + 1);
        ++written;
        break;
      }
    }
  }
  std::fprintf(stderr,
               "%zu candidates: %ld with a sine or cosine that differs between the two "
               "variants (the plain one not correctly rounded in %ld, the other in %ld); "
               "%ld points written\n",
               examined, differing, plainWrong, noFmaWrong, written);
  return written == wanted ? 0 : 1;
}
