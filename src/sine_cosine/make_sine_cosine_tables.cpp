// Writes sine_cosine_tables.h, every constant of the sine and cosine
// that is not a plain fraction, computed with MPFR at 4096 bits:
//   make_sine_cosine_tables > src/sine_cosine/sine_cosine_tables.h
// (unsigned long is 64 bits here, as on every 64-bit Linux).
#include <mpfr.h>

#include <cstdio>

namespace {

constexpr mpfr_prec_t precision = 4096;

// `value` rounded to `bits` significant bits, to nearest, as a double.
double roundedTo(mpfr_srcptr value, mpfr_prec_t bits) {
  mpfr_t t;
  mpfr_init2(t, bits);
  mpfr_set(t, value, MPFR_RNDN);
  const double d = mpfr_get_d(t, MPFR_RNDN);
  mpfr_clear(t);
  return d;
}

// The first `count` 64-bit limbs of the fraction of `value` (in [0, 1)),
// most significant first, truncated.
void printLimbs(const char* name, mpfr_srcptr value, int count) {
  mpfr_t t, limb;
  mpfr_init2(t, precision);
  mpfr_init2(limb, precision);
  mpfr_set(t, value, MPFR_RNDN);
  std::printf("constexpr std::uint64_t %s[%d] = {", name, count);
  for (int i = 0; i < count; ++i) {
    mpfr_mul_2ui(t, t, 64, MPFR_RNDN);
    mpfr_floor(limb, t);
    mpfr_sub(t, t, limb, MPFR_RNDN);
    std::printf("%s0x%016lx,", i % 3 == 0 ? "\n    " : " ", mpfr_get_ui(limb, MPFR_RNDZ));
  }
  std::printf("\n};\n\n");
  mpfr_clear(t);
  mpfr_clear(limb);
}

}  // namespace

int main() {
  mpfr_t pi, t, u, head;
  mpfr_inits2(precision, pi, t, u, head, static_cast<mpfr_ptr>(nullptr));
  mpfr_const_pi(pi, MPFR_RNDN);

  std::printf(
      "// Made by src/sine_cosine/make_sine_cosine_tables.cpp (MPFR, 4096 bits):\n"
      "//   make_sine_cosine_tables > src/sine_cosine/sine_cosine_tables.h\n"
      "// Do not edit: change the generator and run it again.\n"
      "#pragma once\n\n#include <cstdint>\n\nnamespace geocart::sine_cosine_tables {\n\n");

  // The fast evaluation's table: sin and cos of j pi / 512, j = 0 .. 1023,
  // each as a head of at most 26 significant bits (so that its product with
  // a 27-bit half of the reduced argument is exact) and the rest rounded to
  // a double.
  std::printf(
      "// sin(j pi/512) = sinHead + sinTail and cos(j pi/512) = cosHead + cosTail,\n"
      "// heads rounded to 26 bits, tails the rest rounded to nearest.\n"
      "struct Entry {\n  double sinHead, sinTail, cosHead, cosTail;\n};\n\n"
      "constexpr Entry table[1024] = {\n");
  for (unsigned long j = 0; j < 1024; ++j) {
    double parts[4];
    for (int which = 0; which < 2; ++which) {
      mpfr_set_ui(u, j, MPFR_RNDN);
      if (which == 0) {
        mpfr_sinu(t, u, 1024, MPFR_RNDN);  // sin(2 pi j / 1024), exact zeros
      } else {
        mpfr_cosu(t, u, 1024, MPFR_RNDN);
      }
      parts[2 * which] = roundedTo(t, 26);
      mpfr_sub_d(t, t, parts[2 * which], MPFR_RNDN);
      parts[2 * which + 1] = roundedTo(t, 53);
    }
    std::printf("    {%a, %a, %a, %a},\n", parts[0], parts[1], parts[2], parts[3]);
  }
  std::printf("};\n\n");

  // Cody-Waite pieces of pi/512: the first two of 35 bits, so that k times
  // either is exact for |k| < 2^18, the third the rest rounded.
  mpfr_div_ui(t, pi, 512, MPFR_RNDN);
  const double p1 = roundedTo(t, 35);
  mpfr_sub_d(t, t, p1, MPFR_RNDN);
  const double p2 = roundedTo(t, 35);
  mpfr_sub_d(t, t, p2, MPFR_RNDN);
  const double p3 = roundedTo(t, 53);
  mpfr_sub_d(t, t, p3, MPFR_RNDN);
  std::printf(
      "// pi/512 = piOver512[0] + piOver512[1] + piOver512[2] + (%.3a),\n"
      "// the first two of 35 significant bits.\n"
      "constexpr double piOver512[3] = {%a, %a, %a};\n\n",
      mpfr_get_d(t, MPFR_RNDN), p1, p2, p3);
  mpfr_ui_div(t, 512, pi, MPFR_RNDN);
  std::printf("// 512/pi rounded to nearest.\nconstexpr double inversePiOver512 = %a;\n\n",
              mpfr_get_d(t, MPFR_RNDN));

  // The accurate evaluation's constants.
  mpfr_mul_ui(t, pi, 2, MPFR_RNDN);
  mpfr_ui_div(t, 1, t, MPFR_RNDN);
  std::printf(
      "// 1/(2 pi) = sum of inverseTwoPi[i] 2^(-64 (i + 1)), truncated: the bits the\n"
      "// reduction of the largest double needs, 1024 + 53, and the 640 of the\n"
      "// widest evaluation after them.\n");
  printLimbs("inverseTwoPi", t, 28);
  mpfr_div_ui(t, pi, 4, MPFR_RNDN);
  std::printf("// pi/4 = sum of piOver4[i] 2^(-64 (i + 1)), truncated.\n");
  printLimbs("piOver4", t, 12);

  std::printf("}  // namespace geocart::sine_cosine_tables\n");
  mpfr_clears(pi, t, u, head, static_cast<mpfr_ptr>(nullptr));
  return 0;
}
