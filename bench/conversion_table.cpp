// The X, Y, Z of points as exact doubles, for the conversion's unit test:
// every operation of the conversion rounded to double as geocart makes it,
// in geocart's order, with the sine and cosine correctly rounded (MPFR at
// 53 bits, round to nearest), printed as rows of hexadecimal literals.
//   conversion_table LAT LON H [LAT LON H ...]   (degrees, degrees, metres)
// A row where the platform's sine and cosine give other bits is marked on
// standard error with both results.
#include <cstdio>
#include <cstring>

#include "exact_conversion.h"

namespace {

struct Result {
  double x, y, z;
};

Result evaluate(bench::ExactConversion& conversion, bench::SinCosSource source) {
  conversion.setSinCosSource(source);
  conversion.evaluate(bench::allSteps);
  return {mpfr_get_d(conversion.coordinate(0), MPFR_RNDN),
          mpfr_get_d(conversion.coordinate(1), MPFR_RNDN),
          mpfr_get_d(conversion.coordinate(2), MPFR_RNDN)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (argc - 1) % 3 != 0) {
    std::fprintf(stderr, "usage: %s LAT LON H [LAT LON H ...]\n", argv[0]);
    return 2;
  }
  bench::ExactConversion conversion;
  for (int i = 1; i + 2 < argc; i += 3) {
    if (!conversion.setPoint(argv[i], argv[i + 1], argv[i + 2])) {
      std::fprintf(stderr, "not three numbers: %s %s %s\n", argv[i], argv[i + 1], argv[i + 2]);
      return 2;
    }
    const Result exact = evaluate(conversion, bench::SinCosSource::correctlyRounded);
    std::printf("    {{%s, %s, %s}, %a, %a, %a},\n", argv[i], argv[i + 1], argv[i + 2], exact.x,
                exact.y, exact.z);
    const Result platform = evaluate(conversion, bench::SinCosSource::platform);
    if (std::memcmp(&exact, &platform, sizeof exact) != 0) {
      std::fprintf(stderr, "%s %s %s: the platform's sin and cos give %a %a %a\n", argv[i],
                   argv[i + 1], argv[i + 2], platform.x, platform.y, platform.z);
    }
  }
  return 0;
}
