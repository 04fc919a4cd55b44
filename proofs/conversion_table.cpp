// The X, Y, Z of points as exact doubles, for the conversion's unit test:
// every operation of the conversion rounded to double as geocart makes it,
// in geocart's order, with the sine and cosine correctly rounded (MPFR at
// 53 bits, round to nearest, as geocart's own are), printed as rows of
// hexadecimal literals.
//   conversion_table LAT LON H [LAT LON H ...]   (degrees, degrees, metres)
#include <cstdio>

#include "exact_conversion.h"

int main(int argc, char** argv) {
  if (argc < 4 || (argc - 1) % 3 != 0) {
    std::fprintf(stderr, "usage: %s LAT LON H [LAT LON H ...]\n", argv[0]);
    return 2;
  }
  proofs::ExactConversion conversion;
  for (int i = 1; i + 2 < argc; i += 3) {
    if (!conversion.setPoint(argv[i], argv[i + 1], argv[i + 2])) {
      std::fprintf(stderr, "not three numbers: %s %s %s\n", argv[i], argv[i + 1], argv[i + 2]);
      return 2;
    }
    conversion.evaluate(proofs::allSteps);
    std::printf("    {{%s, %s, %s}, %a, %a, %a},\n", argv[i], argv[i + 1], argv[i + 2],
                mpfr_get_d(conversion.coordinate(0), MPFR_RNDN),
                mpfr_get_d(conversion.coordinate(1), MPFR_RNDN),
                mpfr_get_d(conversion.coordinate(2), MPFR_RNDN));
  }
  return 0;
}
