// The fast evaluation's error bound, term by term as sine_cosine.cpp's opening
// comment gives it, worked out with MPFR from the tables, coefficients and
// constants the code uses: each term as a power of two, then eS, eR and the
// reduction's error against boundOfValue, boundOfArgument and
// boundOfReduction, each with the margin it leaves. Exit status 1 when a
// constant does not cover its terms.
//   sine_cosine_bounds
#include <mpfr.h>

#include <cmath>
#include <cstdio>

#include "sine_cosine_parts.h"
#include "sine_cosine_tables.h"

namespace {

namespace tables = geocart::sine_cosine_tables;
namespace constants = geocart::fast_constants;

// Enough for the polynomials' errors, near 2^-82 of terms near 2^-18.
constexpr mpfr_prec_t precision = 160;

// An MPFR number that frees itself.
class Real {
 public:
  Real() { mpfr_init2(v_, precision); }
  explicit Real(double d) : Real() { mpfr_set_d(v_, d, MPFR_RNDN); }
  ~Real() { mpfr_clear(v_); }
  Real(const Real&) = delete;
  Real& operator=(const Real&) = delete;
  mpfr_ptr get() { return v_; }
  mpfr_srcptr get() const { return v_; }

 private:
  mpfr_t v_;
};

double log2Of(mpfr_srcptr v) {
  Real t;
  mpfr_abs(t.get(), v, MPFR_RNDN);
  mpfr_log2(t.get(), t.get(), MPFR_RNDN);
  return mpfr_get_d(t.get(), MPFR_RNDN);
}

void show(const char* what, mpfr_srcptr v) { std::printf("  %-58s 2^%.4f\n", what, log2Of(v)); }

// a += b * factor
void addTimes(mpfr_ptr a, mpfr_srcptr b, double factor) {
  Real t;
  mpfr_mul_d(t.get(), b, factor, MPFR_RNDU);
  mpfr_add(a, a, t.get(), MPFR_RNDU);
}

// The largest |g(t)| over t in [0, top], g(t) = sum of a_i t^i minus the
// polynomial p_i t^i: sampled at `samples` + 1 points, plus the largest
// |g'| (bounded term by term) times half a step. `series(i)` is the
// coefficient a_i of t^i, `poly` the polynomial's, and the terms from
// `count` on of the series alternate and decrease, so that twice the first
// of them bounds them all.
template <typename Series>
void largestDifference(mpfr_ptr result, mpfr_srcptr top, Series series, const double* poly,
                       int polyCount, int count, int samples) {
  constexpr int terms = 8;  // of the series summed past `count`
  Real t, value, term, power, worst, derivative, coefficient;
  mpfr_set_zero(worst.get(), 1);
  for (int s = 0; s <= samples; ++s) {
    mpfr_mul_ui(t.get(), top, static_cast<unsigned long>(s), MPFR_RNDN);
    mpfr_div_ui(t.get(), t.get(), static_cast<unsigned long>(samples), MPFR_RNDN);
    mpfr_set_zero(value.get(), 1);
    mpfr_set_ui(power.get(), 1, MPFR_RNDN);
    for (int i = 1; i < count + terms; ++i) {
      mpfr_mul(power.get(), power.get(), t.get(), MPFR_RNDN);
      series(coefficient.get(), i);
      if (i <= polyCount) mpfr_sub_d(coefficient.get(), coefficient.get(), poly[i - 1], MPFR_RNDN);
      mpfr_mul(term.get(), power.get(), coefficient.get(), MPFR_RNDN);
      mpfr_add(value.get(), value.get(), term.get(), MPFR_RNDN);
    }
    mpfr_abs(value.get(), value.get(), MPFR_RNDN);
    mpfr_max(worst.get(), worst.get(), value.get(), MPFR_RNDN);
  }
  // |g'(t)| <= sum of i |a_i - p_i| top^(i-1), the tail bounded by twice its
  // first term.
  mpfr_set_zero(derivative.get(), 1);
  mpfr_set_ui(power.get(), 1, MPFR_RNDN);
  for (int i = 1; i <= count; ++i) {
    series(coefficient.get(), i);
    if (i <= polyCount) mpfr_sub_d(coefficient.get(), coefficient.get(), poly[i - 1], MPFR_RNDN);
    mpfr_abs(coefficient.get(), coefficient.get(), MPFR_RNDU);
    mpfr_mul(term.get(), coefficient.get(), power.get(), MPFR_RNDU);
    mpfr_mul_ui(term.get(), term.get(), static_cast<unsigned long>(i), MPFR_RNDU);
    if (i == count) mpfr_mul_ui(term.get(), term.get(), 2, MPFR_RNDU);
    mpfr_add(derivative.get(), derivative.get(), term.get(), MPFR_RNDU);
    mpfr_mul(power.get(), power.get(), top, MPFR_RNDU);
  }
  mpfr_mul(derivative.get(), derivative.get(), top, MPFR_RNDU);
  mpfr_div_ui(derivative.get(), derivative.get(), 2 * static_cast<unsigned long>(samples), MPFR_RNDU);
  mpfr_add(result, worst.get(), derivative.get(), MPFR_RNDU);
  // And the series' terms left out of the sums, below the first of them.
  series(coefficient.get(), count + terms);
  mpfr_abs(coefficient.get(), coefficient.get(), MPFR_RNDU);
  mpfr_pow_ui(power.get(), top, static_cast<unsigned long>(count + terms), MPFR_RNDU);
  mpfr_mul(term.get(), coefficient.get(), power.get(), MPFR_RNDU);
  mpfr_add(result, result, term.get(), MPFR_RNDU);
}

// (-1)^i / (2i + extra)!
void taylor(mpfr_ptr c, int i, int extra) {
  mpfr_fac_ui(c, static_cast<unsigned long>(2 * i + extra), MPFR_RNDN);
  mpfr_ui_div(c, 1, c, MPFR_RNDN);
  if (i % 2 != 0) mpfr_neg(c, c, MPFR_RNDN);
}

// Whether `constant` less the bound's own three roundings covers `terms`;
// prints both and the margin.
bool covers(const char* name, double constant, mpfr_srcptr terms) {
  Real usable(constant), margin;
  mpfr_mul_d(usable.get(), usable.get(), 1.0 - 0x1p-51, MPFR_RNDD);  // (1 - u)^3 and more
  mpfr_sub(margin.get(), usable.get(), terms, MPFR_RNDD);
  const bool ok = mpfr_sgn(margin.get()) > 0;
  std::printf("  %s = %a = 2^%.4f: covers 2^%.4f, %s 2^%.4f\n", name, constant,
              log2Of(usable.get()), log2Of(terms), ok ? "leaving" : "SHORT BY", log2Of(margin.get()));
  return ok;
}

}  // namespace

int main() {
  const double u = 0x1p-53;
  Real pi, piOver512, rho, kMax, p3, tau, rlMax, reduction, t, exact, sum;
  mpfr_const_pi(pi.get(), MPFR_RNDN);
  mpfr_div_ui(piOver512.get(), pi.get(), 512, MPFR_RNDN);

  std::printf("Reduction\n");
  // |x| < 2^10: k = x 512/pi rounded, |k| <= 166886; the product's two
  // roundings move x 512/pi by at most q, so |r| <= (pi/512) (1/2 + q).
  mpfr_ui_div(t.get(), 1024 * 512, pi.get(), MPFR_RNDU);
  mpfr_round(kMax.get(), t.get());
  Real q(tables::inversePiOver512);
  mpfr_ui_div(t.get(), 512, pi.get(), MPFR_RNDN);
  mpfr_sub(q.get(), q.get(), t.get(), MPFR_RNDN);
  mpfr_abs(q.get(), q.get(), MPFR_RNDU);
  mpfr_mul_ui(q.get(), q.get(), 1024, MPFR_RNDU);
  addTimes(q.get(), Real(tables::inversePiOver512 * 1024.0).get(), 1.01 * u);
  mpfr_add_d(q.get(), q.get(), 0.5, MPFR_RNDU);
  Real rMax;
  mpfr_mul(rMax.get(), piOver512.get(), q.get(), MPFR_RNDU);
  mpfr_div_ui(rho.get(), pi.get(), 1024, MPFR_RNDU);
  mpfr_add_d(rho.get(), rho.get(), 0x1p-30, MPFR_RNDU);
  std::printf("  |k| <= %.0f = 2^%.4f; |r| <= pi/1024 + 2^%.2f, below rho = pi/1024 + 2^-30\n",
              mpfr_get_d(kMax.get(), MPFR_RNDN), log2Of(kMax.get()),
              [&] {
                Real d;
                mpfr_div_ui(d.get(), pi.get(), 1024, MPFR_RNDN);
                mpfr_sub(d.get(), rMax.get(), d.get(), MPFR_RNDN);
                return log2Of(d.get());
              }());
  mpfr_sub_d(tau.get(), piOver512.get(), tables::piOver512[0], MPFR_RNDN);
  mpfr_sub_d(tau.get(), tau.get(), tables::piOver512[1], MPFR_RNDN);
  mpfr_sub_d(tau.get(), tau.get(), tables::piOver512[2], MPFR_RNDN);
  mpfr_set_d(p3.get(), tables::piOver512[2], MPFR_RNDN);
  show("|tau|, pi/512 less its three pieces", tau.get());
  // |rl| <= (|e2| + |k P3| (1 + u)) (1 + u), |e2| <= 2^-62 as |rh| < 2^-8.
  mpfr_mul(rlMax.get(), kMax.get(), p3.get(), MPFR_RNDU);
  mpfr_mul_d(rlMax.get(), rlMax.get(), 1 + u, MPFR_RNDU);
  mpfr_add_d(rlMax.get(), rlMax.get(), 0x1p-62, MPFR_RNDU);
  mpfr_mul_d(rlMax.get(), rlMax.get(), 1 + u, MPFR_RNDU);
  show("|rl|", rlMax.get());
  // |r - (rh + rl)| <= |k| (|tau| + u |P3|) + u |rl|
  mpfr_abs(t.get(), tau.get(), MPFR_RNDU);
  addTimes(t.get(), p3.get(), u);
  mpfr_mul(reduction.get(), t.get(), kMax.get(), MPFR_RNDU);
  addTimes(reduction.get(), rlMax.get(), u);
  show("|r - (rh + rl)|", reduction.get());

  std::printf("Table and polynomials\n");
  // The table's error relative to the value, the tails against the rounded
  // full values (F), and the other function's tail against F.
  Real tableError, tailOverValue, otherTailOverValue, tailMax;
  mpfr_set_zero(tableError.get(), 1);
  mpfr_set_zero(tailOverValue.get(), 1);
  mpfr_set_zero(otherTailOverValue.get(), 1);
  mpfr_set_zero(tailMax.get(), 1);
  for (unsigned long j = 0; j < 1024; ++j) {
    const tables::Entry& e = tables::table[j];
    const double heads[2] = {e.sinHead, e.cosHead};
    const double tails[2] = {e.sinTail, e.cosTail};
    for (int which = 0; which < 2; ++which) {
      mpfr_set_ui(t.get(), j, MPFR_RNDN);
      if (which == 0) {
        mpfr_sinu(exact.get(), t.get(), 1024, MPFR_RNDN);
      } else {
        mpfr_cosu(exact.get(), t.get(), 1024, MPFR_RNDN);
      }
      mpfr_set_d(t.get(), std::fabs(tails[which]), MPFR_RNDN);
      mpfr_max(tailMax.get(), tailMax.get(), t.get(), MPFR_RNDN);
      if (mpfr_zero_p(exact.get())) continue;
      mpfr_set_d(sum.get(), heads[which], MPFR_RNDN);
      mpfr_add_d(sum.get(), sum.get(), tails[which], MPFR_RNDN);
      mpfr_sub(t.get(), sum.get(), exact.get(), MPFR_RNDN);
      mpfr_div(t.get(), t.get(), exact.get(), MPFR_RNDN);
      mpfr_abs(t.get(), t.get(), MPFR_RNDN);
      mpfr_max(tableError.get(), tableError.get(), t.get(), MPFR_RNDN);
      const double full = heads[which] + tails[which];
      mpfr_set_d(t.get(), std::fabs(tails[which] / full), MPFR_RNDU);
      mpfr_mul_d(t.get(), t.get(), 1 + 2 * u, MPFR_RNDU);
      mpfr_max(tailOverValue.get(), tailOverValue.get(), t.get(), MPFR_RNDN);
      mpfr_set_d(t.get(), std::fabs(tails[1 - which] / full), MPFR_RNDU);
      mpfr_mul_d(t.get(), t.get(), 1 + 2 * u, MPFR_RNDU);
      mpfr_max(otherTailOverValue.get(), otherTailOverValue.get(), t.get(), MPFR_RNDN);
    }
  }
  show("table: |S + s - sin| / |sin|, the same for cos", tableError.get());
  show("tails: |s| / F", tailOverValue.get());
  show("the other tail: |c| / F for sin, |s| / F for cos", otherTailOverValue.get());
  show("|s|, |c|", tailMax.get());

  Real rhoSquare, cosPolynomial, sinPolynomial;
  mpfr_sqr(rhoSquare.get(), rho.get(), MPFR_RNDU);
  const double cosCoefficients[3] = {constants::c2, constants::c4, constants::c6};
  largestDifference(cosPolynomial.get(), rhoSquare.get(),
                    [](mpfr_ptr c, int i) { taylor(c, i, 0); }, cosCoefficients, 3, 4, 20000);
  show("cos r - 1 less its polynomial, |r| <= rho", cosPolynomial.get());
  const double sinCoefficients[2] = {constants::s3, constants::s5};
  largestDifference(sinPolynomial.get(), rhoSquare.get(),
                    [](mpfr_ptr c, int i) { taylor(c, i, 1); }, sinCoefficients, 2, 3, 20000);
  show("(sin r - r less its polynomial) / |r|", sinPolynomial.get());
  mpfr_pow_ui(t.get(), rho.get(), 6, MPFR_RNDN);
  mpfr_div_ui(t.get(), t.get(), 40320, MPFR_RNDN);
  show("  beside rho^6 / 40320", t.get());

  std::printf("eS, relative to F\n");
  Real eS, term;
  mpfr_set_zero(eS.get(), 1);
  const auto addTerm = [&](mpfr_ptr into, const char* what, mpfr_srcptr value) {
    show(what, value);
    mpfr_add(into, into, value, MPFR_RNDU);
  };
  // A full table value times a polynomial of at most rho^2 / divisor (of F
  // or |rh|): (roundings u + carried u rho^2 + the table's error) rho^2 /
  // divisor, `carried` for the inner terms' errors that reach the result
  // damped by rho^2.
  const auto valueRoundings = [&](double roundings, double carried, unsigned long divisor) {
    mpfr_mul_d(term.get(), rhoSquare.get(), carried * u, MPFR_RNDU);
    mpfr_add_d(term.get(), term.get(), roundings * u, MPFR_RNDU);
    mpfr_add(term.get(), term.get(), tableError.get(), MPFR_RNDU);
    mpfr_mul(term.get(), term.get(), rhoSquare.get(), MPFR_RNDU);
    mpfr_div_ui(term.get(), term.get(), divisor, MPFR_RNDU);
    return term.get();
  };
  addTerm(eS.get(), "the table", tableError.get());
  mpfr_mul(term.get(), rho.get(), rlMax.get(), MPFR_RNDU);
  addTerm(eS.get(), "cos r - 1 of rh alone: rl sin rh, rho |rl|", term.get());
  mpfr_mul(term.get(), otherTailOverValue.get(), rlMax.get(), MPFR_RNDU);
  addTerm(eS.get(), "the other tail times rh alone: |c rl| / F", term.get());
  addTerm(eS.get(), "the polynomial of cos r - 1", cosPolynomial.get());
  // cos rh - 1 within 2.5 u (rh^2, the last sum just below 1/2 in size, the
  // product; the inner terms' 3 u carried through the last sum, damped by
  // rho^2 / 12), F within u + the table's error, the product, the sum into lo
  // and the test's rounding of lo: all of F rho^2 / 2.
  addTerm(eS.get(), "F (cos rh - 1) rounded: (6.5 u + ...) rho^2 / 2",
          valueRoundings(6.5, 3.0 / 12, 2));
  mpfr_mul_d(term.get(), tailOverValue.get(), 6 * u, MPFR_RNDU);
  addTerm(eS.get(), "the tail through six roundings: 6 u |s| / F", term.get());
  mpfr_set_d(term.get(), 3 * u * u * (1 + 0x1p-26), MPFR_RNDU);
  addTerm(eS.get(), "e1 through three roundings: 3 u^2 (1 + 2^-26)", term.get());
  show("eS", eS.get());

  std::printf("eR, relative to |rh|\n");
  Real eR;
  mpfr_set_zero(eR.get(), 1);
  addTerm(eR.get(), "the polynomial of sin r - r", sinPolynomial.get());
  mpfr_mul(term.get(), rho.get(), rlMax.get(), MPFR_RNDU);
  mpfr_div_ui(term.get(), term.get(), 2, MPFR_RNDU);
  addTerm(eR.get(), "sin r - r of rh alone: rl (cos rh - 1), rho |rl| / 2", term.get());
  addTerm(eR.get(), "the table, times sin r", tableError.get());
  // sin rh - rh within 3.75 u (rh^2, the sum near -1/6, two products; the
  // inner product's 2 u carried through that sum, damped by rho^2 / 20), the
  // full table value within u + its error, the product, and the four
  // roundings of lo after it: all of |rh| rho^2 / 6.
  addTerm(eR.get(), "C (sin rh - rh) rounded: (9.75 u + ...) rho^2 / 6",
          valueRoundings(9.75, 2.0 / 20, 6));
  mpfr_set_d(term.get(), 8 * u * 0x1p-26, MPFR_RNDU);
  addTerm(eR.get(), "C r2 through eight roundings: 8 u 2^-26", term.get());
  mpfr_mul_d(term.get(), tailMax.get(), 6 * u, MPFR_RNDU);
  addTerm(eR.get(), "c rh through six roundings: 6 u |c|", term.get());
  mpfr_set_d(term.get(), 3 * u * u, MPFR_RNDU);
  addTerm(eR.get(), "e1 through three roundings: 3 u^2", term.get());
  show("eR", eR.get());

  std::printf("Reduction's part, absolute\n");
  Real absolute;
  mpfr_set_zero(absolute.get(), 1);
  addTerm(absolute.get(), "|r - (rh + rl)|", reduction.get());
  mpfr_mul_d(term.get(), rlMax.get(), 8 * u, MPFR_RNDU);
  addTerm(absolute.get(), "rl in r2, through eight roundings: 8 u |rl|", term.get());
  // (rl + the reduction's error)^2 (of cos), rho times the reduction's
  // error (cos r - 1 of rh + rl), |rl| and the reduction's error times eR
  // (|r| in place of |rh|), the test's rounding of the bound itself.
  mpfr_add(t.get(), rlMax.get(), reduction.get(), MPFR_RNDU);
  mpfr_sqr(term.get(), t.get(), MPFR_RNDU);
  mpfr_mul(t.get(), t.get(), eR.get(), MPFR_RNDU);
  mpfr_add(term.get(), term.get(), t.get(), MPFR_RNDU);
  mpfr_mul(t.get(), rho.get(), reduction.get(), MPFR_RNDU);
  mpfr_add(term.get(), term.get(), t.get(), MPFR_RNDU);
  mpfr_set_d(t.get(), constants::boundOfValue + constants::boundOfArgument + constants::boundOfReduction,
             MPFR_RNDU);
  addTimes(term.get(), t.get(), u);
  addTerm(absolute.get(), "second-order terms", term.get());

  std::printf("Constants\n");
  bool ok = covers("boundOfValue", constants::boundOfValue, eS.get());
  ok = covers("boundOfArgument", constants::boundOfArgument, eR.get()) && ok;
  ok = covers("boundOfReduction", constants::boundOfReduction, absolute.get()) && ok;
  mpfr_free_cache();
  return ok ? 0 : 1;
}
