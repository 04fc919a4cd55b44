// The WGS84 conversion evaluated with MPFR. Each group of the roundings that
// geocart's double arithmetic makes is either made as geocart makes it or
// left out (the step is then carried at 256 bits), so that one evaluator
// gives the exact X, Y, Z, geocart's own doubles, and everything between.
#pragma once

#include <mpfr.h>

#include <cstdint>
#include <string_view>

namespace proofs {

// The groups of roundings, in the order the formula meets them.
enum class Step : unsigned {
  input,         // the decimal latitude, longitude and height read as doubles
  constants,     // f = 1 / 298.257223563, e2 = 2f - f^2 and 1 - e2
  degreeFactor,  // atan(1) / 45 standing for pi / 180
  angles,        // latitude * factor, longitude * factor
  sinCos,        // sin and cos of both angles
  sqrtArgument,  // sin^2, e2 * sin^2, 1 - e2 * sin^2
  squareRoot,    // the square root
  division,      // N = a / sqrt
  horizontal,    // N + h, (N + h) * cos(phi)
  xy,            // X = t * cos(lambda), Y = t * sin(lambda)
  z,             // N * (1 - e2), + h, * sin(phi)
};
inline constexpr unsigned stepCount = 11;

// A set of steps, one bit each.
using StepSet = std::uint32_t;
inline constexpr StepSet allSteps = (StepSet{1} << stepCount) - 1;
inline constexpr StepSet stepBit(Step s) { return StepSet{1} << static_cast<unsigned>(s); }

// A short name of `s` for reports ("square root").
const char* stepName(Step s) noexcept;

// An MPFR number of a fixed precision, cleared with its scope.
class MpfrNumber {
 public:
  explicit MpfrNumber(mpfr_prec_t bits) { mpfr_init2(v_, bits); }
  ~MpfrNumber() { mpfr_clear(v_); }
  MpfrNumber(const MpfrNumber&) = delete;
  MpfrNumber& operator=(const MpfrNumber&) = delete;
  operator mpfr_ptr() noexcept { return v_; }
  operator mpfr_srcptr() const noexcept { return v_; }

 private:
  mpfr_t v_;
};

// Where a value falls among the 4-decimal numbers (units of 0.1 mm).
struct RoundedUnits {
  long units = 0;             // the value * 10^4 rounded to nearest, ties to even
  double halfDistance = 0.0;  // how far the value lies from a half unit, in units
  bool cannotTell = false;    // so close to a half unit that 256 bits cannot tell
};

// The evaluator; one per thread (it keeps its working numbers).
class ExactConversion {
 public:
  static constexpr mpfr_prec_t exactBits = 256;

  ExactConversion();

  // Takes a point's latitude and longitude (decimal degrees) and height
  // (decimal metres) as text. Returns false when MPFR cannot read one whole.
  bool setPoint(std::string_view latitude, std::string_view longitude, std::string_view height);

  // The point's values as geocart reads them: the nearest doubles.
  double latitude() const noexcept { return mpfr_get_d(latitudeDouble_, MPFR_RNDN); }
  double longitude() const noexcept { return mpfr_get_d(longitudeDouble_, MPFR_RNDN); }
  double height() const noexcept { return mpfr_get_d(heightDouble_, MPFR_RNDN); }

  // Evaluates X, Y, Z with the steps in `rounded` rounded to double as
  // geocart rounds them (correctly, sin and cos included) and the others at
  // 256 bits. With every
  // step rounded the results are geocart's doubles; with none, the exact
  // values to about 2^-250 relative (sin and cos taken in degrees, so that
  // 0, 90 and 180 give 0 and 1 exactly). `inRadians` takes them of the
  // angles in radians whatever `rounded` holds: the exact values come out
  // the same to about 2^-250 relative, away from those zeros.
  void evaluate(StepSet rounded, bool inRadians = false);

  // Coordinate 0, 1, 2 (X, Y, Z, metres) of the last evaluate.
  mpfr_srcptr coordinate(int i) const noexcept { return xyz_[i]; }

  // `value` (metres) in units of 0.1 mm, rounded to nearest, ties to even.
  RoundedUnits roundUnits(mpfr_srcptr value);

  // (value - exact) in nanometres, for value a double or a decimal read at 256 bits.
  double errorNanometres(mpfr_srcptr value, mpfr_srcptr exact);

  // Reads decimal `text` at 256 bits into `out`; false when it is not one number.
  static bool readDecimal(std::string_view text, mpfr_ptr out);

 private:
  template <class Function, class... Args>
  void step(bool rounded, mpfr_ptr out, Function function, const Args&... args);
  void sinCos(mpfr_srcptr angle, bool inDegrees, bool rounded, mpfr_ptr sine, mpfr_ptr cosine);

  // The constants, rounded as geocart rounds them and exact.
  MpfrNumber eSquaredDouble_{53}, oneMinusESquaredDouble_{53}, factorDouble_{53};
  MpfrNumber eSquaredExact_{exactBits}, oneMinusESquaredExact_{exactBits}, factorExact_{exactBits};
  // The point, read as doubles and exact.
  MpfrNumber latitudeDouble_{53}, longitudeDouble_{53}, heightDouble_{53};
  MpfrNumber latitudeExact_{exactBits}, longitudeExact_{exactBits}, heightExact_{exactBits};
  // Working numbers; the rounded steps land in scratch_ first.
  MpfrNumber scratch_{53};
  MpfrNumber phi_{exactBits}, lambda_{exactBits};
  MpfrNumber sinPhi_{exactBits}, cosPhi_{exactBits}, sinLambda_{exactBits}, cosLambda_{exactBits};
  MpfrNumber n_{exactBits}, w_{exactBits}, t_{exactBits};
  MpfrNumber xyz_[3] = {MpfrNumber{exactBits}, MpfrNumber{exactBits}, MpfrNumber{exactBits}};
  MpfrNumber units_{exactBits}, work_{exactBits};
};

}  // namespace proofs
