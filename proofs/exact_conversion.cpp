// The conversion with MPFR, each rounding group made or left out.
#include "exact_conversion.h"

#include <string>

namespace proofs {

namespace {

constexpr const char* stepNames[stepCount] = {
    "decimal input read as doubles",
    "constants f, e2, 1 - e2",
    "degree factor atan(1)/45",
    "angles lat*factor, lon*factor",
    "sin and cos",
    "square root's argument",
    "square root",
    "division a/sqrt",
    "N + h, then * cos(phi)",
    "X, Y: t * cos, t * sin",
    "Z: N*(1 - e2) + h, * sin",
};

constexpr const char* inverseFlattening = "298.257223563";
constexpr unsigned long semiMajorAxis = 6378137;  // metres, an integer

// f = 1 / 298.257223563, e2 = (f * 2) - (f * f) and 1 - e2, each operation
// rounded to `bits`; at 53 bits as geocart computes them in doubles, the
// decimal constant read to the nearest.
void ellipsoidConstants(mpfr_prec_t bits, mpfr_ptr eSquared, mpfr_ptr oneMinusESquared) {
  MpfrNumber inverse{bits};
  MpfrNumber f{bits};
  MpfrNumber fSquared{bits};
  ExactConversion::readDecimal(inverseFlattening, inverse);
  mpfr_ui_div(f, 1, inverse, MPFR_RNDN);
  mpfr_sqr(fSquared, f, MPFR_RNDN);
  mpfr_mul_2ui(eSquared, f, 1, MPFR_RNDN);
  mpfr_sub(eSquared, eSquared, fSquared, MPFR_RNDN);
  mpfr_ui_sub(oneMinusESquared, 1, eSquared, MPFR_RNDN);
}

}  // namespace

const char* stepName(Step s) noexcept { return stepNames[static_cast<unsigned>(s)]; }

ExactConversion::ExactConversion() {
  ellipsoidConstants(53, eSquaredDouble_, oneMinusESquaredDouble_);
  ellipsoidConstants(exactBits, eSquaredExact_, oneMinusESquaredExact_);
  // atan(1) / 45 as geocart computes it, and pi / 180.
  mpfr_set_ui(factorDouble_, 1, MPFR_RNDN);
  mpfr_atan(factorDouble_, factorDouble_, MPFR_RNDN);
  mpfr_div_ui(factorDouble_, factorDouble_, 45, MPFR_RNDN);
  mpfr_const_pi(factorExact_, MPFR_RNDN);
  mpfr_div_ui(factorExact_, factorExact_, 180, MPFR_RNDN);
}

bool ExactConversion::readDecimal(std::string_view text, mpfr_ptr out) {
  const std::string terminated(text);
  char* end = nullptr;
  mpfr_strtofr(out, terminated.c_str(), &end, 10, MPFR_RNDN);
  return !terminated.empty() && end == terminated.c_str() + terminated.size() && mpfr_number_p(out);
}

bool ExactConversion::setPoint(std::string_view latitude, std::string_view longitude,
                               std::string_view height) {
  // Read twice, from the text each time: rounding the 256-bit value to a
  // double would round twice.
  return readDecimal(latitude, latitudeExact_) && readDecimal(latitude, latitudeDouble_) &&
         readDecimal(longitude, longitudeExact_) && readDecimal(longitude, longitudeDouble_) &&
         readDecimal(height, heightExact_) && readDecimal(height, heightDouble_);
}

// A rounded step is computed straight into 53 bits: MPFR rounds its result
// correctly from the operands as they stand, which is what one IEEE double
// operation does (no value here comes near the subnormals).
template <class Function, class... Args>
void ExactConversion::step(bool rounded, mpfr_ptr out, Function function, const Args&... args) {
  if (rounded) {
    function(scratch_, args..., MPFR_RNDN);
    mpfr_set(out, scratch_, MPFR_RNDN);
  } else {
    function(out, args..., MPFR_RNDN);
  }
}

void ExactConversion::sinCos(mpfr_srcptr angle, bool inDegrees, bool rounded, mpfr_ptr sine,
                             mpfr_ptr cosine) {
  if (inDegrees) {
    step(rounded, sine, mpfr_sinu, angle, 360ul);
    step(rounded, cosine, mpfr_cosu, angle, 360ul);
  } else {
    // Rounded, these are geocart's values: its sine and cosine are correctly
    // rounded.
    step(rounded, sine, mpfr_sin, angle);
    step(rounded, cosine, mpfr_cos, angle);
  }
}

void ExactConversion::evaluate(StepSet rounded, bool inRadians) {
  const auto isRounded = [rounded](Step s) { return (rounded & stepBit(s)) != 0; };
  const bool input = isRounded(Step::input);
  const MpfrNumber& latitude = input ? latitudeDouble_ : latitudeExact_;
  const MpfrNumber& longitude = input ? longitudeDouble_ : longitudeExact_;
  const MpfrNumber& height = input ? heightDouble_ : heightExact_;
  const bool constants = isRounded(Step::constants);
  const MpfrNumber& eSquared = constants ? eSquaredDouble_ : eSquaredExact_;
  const MpfrNumber& oneMinusESquared = constants ? oneMinusESquaredDouble_ : oneMinusESquaredExact_;

  // With the factor and the products both exact, the angles are the degrees
  // times pi / 180 exactly, and sin and cos are taken of the degrees.
  const bool sinCosRounded = isRounded(Step::sinCos);
  if (!inRadians && !isRounded(Step::degreeFactor) && !isRounded(Step::angles)) {
    sinCos(latitude, true, sinCosRounded, sinPhi_, cosPhi_);
    sinCos(longitude, true, sinCosRounded, sinLambda_, cosLambda_);
  } else {
    const MpfrNumber& factor = isRounded(Step::degreeFactor) ? factorDouble_ : factorExact_;
    step(isRounded(Step::angles), phi_, mpfr_mul, latitude, factor);
    step(isRounded(Step::angles), lambda_, mpfr_mul, longitude, factor);
    sinCos(phi_, false, sinCosRounded, sinPhi_, cosPhi_);
    sinCos(lambda_, false, sinCosRounded, sinLambda_, cosLambda_);
  }

  const bool argument = isRounded(Step::sqrtArgument);
  step(argument, w_, mpfr_sqr, sinPhi_);
  step(argument, w_, mpfr_mul, eSquared, w_);
  step(argument, w_, mpfr_ui_sub, 1ul, w_);
  step(isRounded(Step::squareRoot), w_, mpfr_sqrt, w_);
  step(isRounded(Step::division), n_, mpfr_ui_div, semiMajorAxis, w_);

  const bool horizontal = isRounded(Step::horizontal);
  step(horizontal, t_, mpfr_add, n_, height);
  step(horizontal, t_, mpfr_mul, t_, cosPhi_);
  step(isRounded(Step::xy), xyz_[0], mpfr_mul, t_, cosLambda_);
  step(isRounded(Step::xy), xyz_[1], mpfr_mul, t_, sinLambda_);

  const bool z = isRounded(Step::z);
  step(z, xyz_[2], mpfr_mul, n_, oneMinusESquared);
  step(z, xyz_[2], mpfr_add, xyz_[2], height);
  step(z, xyz_[2], mpfr_mul, xyz_[2], sinPhi_);
}

RoundedUnits ExactConversion::roundUnits(mpfr_srcptr value) {
  RoundedUnits r;
  mpfr_mul_ui(units_, value, 10000, MPFR_RNDN);
  mpfr_roundeven(work_, units_);
  r.units = mpfr_get_si(work_, MPFR_RNDN);
  // 0.5 - |value - nearest|, exact at 256 bits as both lie close together.
  mpfr_sub(work_, units_, work_, MPFR_RNDN);
  mpfr_abs(work_, work_, MPFR_RNDN);
  mpfr_d_sub(work_, 0.5, work_, MPFR_RNDN);
  r.halfDistance = mpfr_get_d(work_, MPFR_RNDN);
  // The exact values carry an error near 2^-210 units; a distance of
  // exactly 0 is a true tie (a value with no rounding in it, such as X at
  // latitude 0 and longitude 0 with a height of five decimals).
  r.cannotTell = mpfr_sgn(static_cast<mpfr_srcptr>(work_)) != 0 && mpfr_cmp_d(work_, 0x1p-160) < 0;
  return r;
}

double ExactConversion::errorNanometres(mpfr_srcptr value, mpfr_srcptr exact) {
  mpfr_sub(work_, value, exact, MPFR_RNDN);
  mpfr_mul_ui(work_, work_, 1000000000, MPFR_RNDN);
  return mpfr_get_d(work_, MPFR_RNDN);
}

}  // namespace proofs
