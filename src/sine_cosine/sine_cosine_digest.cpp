// One hash of the bits of sin x and cos x over the random arguments of the
// sine and cosine checks, so that builds and machines that cannot run the
// checks against MPFR (a cross build under its emulator) are compared bit for
// bit with one that does:
//   sine_cosine_digest COUNT SEED
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "random_arguments.h"
#include "sine_cosine.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: sine_cosine_digest COUNT SEED\n");
    return 2;
  }
  const std::uint64_t count = std::strtoull(argv[1], nullptr, 10);
  const std::uint64_t seed = std::strtoull(argv[2], nullptr, 10);
  std::uint64_t hash = 0xcbf29ce484222325;  // FNV-1a, a 64-bit word at a time
  for (std::uint64_t i = 0; i < count; ++i) {
    const geocart::SineCosine r = geocart::sineCosine(randomArgument(seed, i));
    hash = (hash ^ std::bit_cast<std::uint64_t>(r.sin)) * 0x100000001b3;
    hash = (hash ^ std::bit_cast<std::uint64_t>(r.cos)) * 0x100000001b3;
  }
  std::printf("%" PRIu64 " arguments, seed %" PRIu64 ": %016" PRIx64 "\n", count, seed, hash);
  return 0;
}
