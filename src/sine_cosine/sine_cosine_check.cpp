// sineCosine against MPFR's correctly rounded sin and cos, bit for bit, and
// each of its two evaluations on its own: the accurate one forced on every
// argument, the fast one's error against its bound wherever it applies.
//   sine_cosine_check hard FILE...        every argument of the files, both signs
//   sine_cosine_check random COUNT [SEED] [THREADS] [sineCosine-only]
//       half over every binade (subnormals to the largest double), half
//       uniform in (-8, 8); both signs. With sineCosine-only, neither
//       evaluation is checked on its own (for runs of 10^9)
//   sine_cosine_check multiples COUNT [SEED] [THREADS]
//       the doubles nearest to k pi/4 and their neighbours, k drawn in every
//       binade up to 2^1023
//   sine_cosine_check edges COUNT [SEED] [THREADS]
//       the fast evaluation's worst place: arguments whose reduced argument
//       lies within 2^-24 of +-pi/1024 (halfway between two table entries),
//       the entry drawn at random below 2^10
// Prints what it checked, the fast evaluation's hand-overs a million and its
// largest error over its bound; exit status 1 on any difference.
#include <mpfr.h>

#include <atomic>
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sine_cosine.h"
#include "sine_cosine_parts.h"
#include "random_arguments.h"

namespace {

using geocart::Approximation;
using geocart::FastApproximation;
using geocart::SineCosine;

std::uint64_t bitsOf(double x) { return std::bit_cast<std::uint64_t>(x); }

struct Totals {
  std::uint64_t arguments = 0;
  std::uint64_t wrong = 0;          // sineCosine differs from MPFR
  std::uint64_t wrongAccurate = 0;  // the accurate evaluation alone differs
  std::uint64_t fast = 0;           // arguments in the fast evaluation's range
  std::uint64_t handedOver = 0;     // of those, the rounding test failed
  std::uint64_t overBound = 0;      // the fast error exceeded its bound
  double worstRatio = 0.0;          // largest fast error / bound
  double worstArgument = 0.0;
};

std::mutex reportLock;

class Checker {
 public:
  explicit Checker(bool whole = true) : whole_(whole) {
    // The double range, per thread: subnormal results rounded as doubles are.
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_inits2(53, x_, sin53_, cos53_, static_cast<mpfr_ptr>(nullptr));
    mpfr_inits2(320, sinWide_, cosWide_, sum_, static_cast<mpfr_ptr>(nullptr));
  }
  ~Checker() {
    mpfr_clears(x_, sin53_, cos53_, sinWide_, cosWide_, sum_, static_cast<mpfr_ptr>(nullptr));
    mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);  // the thread's constants (pi)
  }
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  void check(double x, Totals& t) {
    ++t.arguments;
    mpfr_set_d(x_, x, MPFR_RNDN);
    int inexact = mpfr_sin(sin53_, x_, MPFR_RNDN);
    inexact = mpfr_subnormalize(sin53_, inexact, MPFR_RNDN);
    mpfr_cos(cos53_, x_, MPFR_RNDN);
    const double wantSin = mpfr_get_d(sin53_, MPFR_RNDN);
    const double wantCos = mpfr_get_d(cos53_, MPFR_RNDN);

    const SineCosine got = geocart::sineCosine(x);
    if (bitsOf(got.sin) != bitsOf(wantSin) || bitsOf(got.cos) != bitsOf(wantCos)) {
      report(t.wrong, "sineCosine", x, got, wantSin, wantCos);
    }
    if (whole_) {
      const SineCosine accurate = geocart::accurateSineCosine(x);
      if (bitsOf(accurate.sin) != bitsOf(wantSin) || bitsOf(accurate.cos) != bitsOf(wantCos)) {
        report(t.wrongAccurate, "accurate", x, accurate, wantSin, wantCos);
      }
    }

    const FastApproximation fast = geocart::fastSineCosine(x);
    if (!fast.inRange) return;
    ++t.fast;
    if (!whole_) {
      if (!decided(fast.sin) || !decided(fast.cos)) ++t.handedOver;
      return;
    }
    mpfr_sin(sinWide_, x_, MPFR_RNDN);
    mpfr_cos(cosWide_, x_, MPFR_RNDN);
    bool undecided = false;
    checkBound(fast.sin, sinWide_, x, t, undecided);
    checkBound(fast.cos, cosWide_, x, t, undecided);
    if (undecided) ++t.handedOver;
  }

 private:
  void checkBound(const Approximation& a, mpfr_srcptr exact, double x, Totals& t,
                  bool& undecided) {
    mpfr_set_d(sum_, a.hi, MPFR_RNDN);
    mpfr_add_d(sum_, sum_, a.lo, MPFR_RNDN);
    mpfr_sub(sum_, sum_, exact, MPFR_RNDN);
    const double error = mpfr_get_d(sum_, MPFR_RNDN);
    const double ratio = (error < 0 ? -error : error) / a.bound;
    if (ratio > t.worstRatio) {
      t.worstRatio = ratio;
      t.worstArgument = x;
    }
    if (ratio > 1.0) {
      ++t.overBound;
      const std::lock_guard<std::mutex> hold(reportLock);
      if (t.overBound <= 5) std::printf("fast error over its bound at %a: %.3f times\n", x, ratio);
    }
    if (!decided(a)) undecided = true;
  }

  static bool decided(const Approximation& a) {
    double rounded;
    return geocart::roundingDecided(a, rounded);
  }

  static void report(std::uint64_t& count, const char* what, double x, const SineCosine& got,
                     double wantSin, double wantCos) {
    ++count;
    const std::lock_guard<std::mutex> hold(reportLock);
    if (count <= 5) {
      std::printf("%s(%a) = %a, %a; MPFR: %a, %a\n", what, x, got.sin, got.cos, wantSin, wantCos);
    }
  }

  bool whole_;
  mpfr_t x_, sin53_, cos53_, sinWide_, cosWide_, sum_;
};

void add(Totals& into, const Totals& t) {
  into.arguments += t.arguments;
  into.wrong += t.wrong;
  into.wrongAccurate += t.wrongAccurate;
  into.fast += t.fast;
  into.handedOver += t.handedOver;
  into.overBound += t.overBound;
  if (t.worstRatio > into.worstRatio) {
    into.worstRatio = t.worstRatio;
    into.worstArgument = t.worstArgument;
  }
}

// The double nearest to (k + 1/2) pi/512 - t, for k uniform in [0, 2^10 512/pi)
// and t uniform in (-2^-24, 2^-24): its reduced argument lies near +-pi/1024.
double nearEdge(std::uint64_t draw, mpfr_ptr t, mpfr_ptr piOver512) {
  const std::uint64_t k = (draw >> 32) % 166886;  // (k + 1/2) pi/512 < 2^10
  const auto offset = static_cast<double>(static_cast<std::int64_t>(draw & 0xffffffff) -
                                          (std::int64_t{1} << 31)) * 0x1p-55;
  mpfr_set_ui(t, 2 * k + 1, MPFR_RNDN);
  mpfr_mul(t, t, piOver512, MPFR_RNDN);
  mpfr_div_2ui(t, t, 1, MPFR_RNDN);
  mpfr_sub_d(t, t, offset, MPFR_RNDN);
  return mpfr_get_d(t, MPFR_RNDN);
}

// The double nearest to k pi/4 for a k with k pi/4 in [2^e, 2^(e+1)).
double nearMultiple(int e, std::uint64_t draw, mpfr_ptr k, mpfr_ptr t, mpfr_ptr pi4) {
  mpfr_set_ui(t, draw >> 11, MPFR_RNDN);
  mpfr_div_2ui(t, t, 53, MPFR_RNDN);
  mpfr_add_ui(t, t, 1, MPFR_RNDN);
  mpfr_mul_2si(t, t, e, MPFR_RNDN);  // in [2^e, 2^(e+1))
  mpfr_div(t, t, pi4, MPFR_RNDN);
  mpfr_floor(k, t);
  if (mpfr_zero_p(k)) mpfr_set_ui(k, 1, MPFR_RNDN);
  mpfr_mul(t, k, pi4, MPFR_RNDN);
  return mpfr_get_d(t, MPFR_RNDN);
}

int usage() {
  std::fputs(
      "usage: sine_cosine_check hard FILE... | random COUNT [SEED] [THREADS] |"
      " multiples COUNT [SEED] [THREADS] | edges COUNT [SEED] [THREADS]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string_view mode = argv[1];
  Totals totals;
  if (mode == "hard") {
    Checker checker;
    for (int f = 2; f < argc; ++f) {
      FILE* in = std::fopen(argv[f], "r");
      if (in == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", argv[f]);
        return 2;
      }
      char line[128];
      while (std::fgets(line, sizeof line, in) != nullptr) {
        if (line[0] == '#' || line[0] == '\n') continue;
        const double x = std::strtod(line, nullptr);
        checker.check(x, totals);
        checker.check(-x, totals);
      }
      std::fclose(in);
    }
  } else if (mode == "random" || mode == "multiples" || mode == "edges") {
    const std::uint64_t count = std::strtoull(argv[2], nullptr, 10);
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    const unsigned threads = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 1;
    const bool whole = !(argc > 5 && std::string_view(argv[5]) == "sineCosine-only");
    if (count == 0 || threads == 0) return usage();
    std::vector<Totals> parts(threads);
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < threads; ++w) {
      workers.emplace_back([&, w] {
        Checker checker(whole);
        Totals& t = parts[w];
        if (mode == "random") {
          for (std::uint64_t i = w; i < count; i += threads) {
            checker.check(randomArgument(seed, i), t);
          }
          return;
        }
        if (mode == "edges") {
          mpfr_t scratch, piOver512;
          mpfr_inits2(128, scratch, piOver512, static_cast<mpfr_ptr>(nullptr));
          mpfr_const_pi(piOver512, MPFR_RNDN);
          mpfr_div_2ui(piOver512, piOver512, 9, MPFR_RNDN);
          for (std::uint64_t i = w; i < count / 2; i += threads) {
            const double x = nearEdge(splitMix(seed * 0x100000001b3 + i), scratch, piOver512);
            checker.check(x, t);
            checker.check(-x, t);
          }
          mpfr_clears(scratch, piOver512, static_cast<mpfr_ptr>(nullptr));
          mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
          return;
        }
        mpfr_t k, scratch, pi4;
        mpfr_inits2(1200, k, scratch, pi4, static_cast<mpfr_ptr>(nullptr));
        mpfr_const_pi(pi4, MPFR_RNDN);
        mpfr_div_2ui(pi4, pi4, 2, MPFR_RNDN);
        // Three doubles a multiple: the nearest and its two neighbours.
        for (std::uint64_t i = w; i < count / 3; i += threads) {
          const int e = -1 + static_cast<int>(i % 1024);  // k pi/4 up to 2^1023
          const double y = nearMultiple(e, splitMix(seed + i), k, scratch, pi4);
          for (const std::uint64_t b : {bitsOf(y) - 1, bitsOf(y), bitsOf(y) + 1}) {
            const double x = std::bit_cast<double>(b);
            checker.check(x, t);
            checker.check(-x, t);
          }
        }
        mpfr_clears(k, scratch, pi4, static_cast<mpfr_ptr>(nullptr));
        mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
      });
    }
    for (auto& w : workers) w.join();
    for (const Totals& t : parts) add(totals, t);
  } else {
    return usage();
  }

  std::printf(
      "%s: %" PRIu64 " arguments; sineCosine differs from MPFR on %" PRIu64
      ", the accurate evaluation alone on %" PRIu64 "; %" PRIu64
      " in the fast range, handed over %" PRIu64 " (%.1f a million), fast error over its bound %" PRIu64
      " times, at most %.3f of it (at %a)\n",
      argv[1], totals.arguments, totals.wrong, totals.wrongAccurate, totals.fast,
      totals.handedOver, totals.fast ? 1e6 * static_cast<double>(totals.handedOver) / static_cast<double>(totals.fast) : 0.0,
      totals.overBound, totals.worstRatio, totals.worstArgument);
  mpfr_free_cache();
  return totals.wrong == 0 && totals.wrongAccurate == 0 && totals.overBound == 0 ? 0 : 1;
}
