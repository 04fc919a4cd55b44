// Checks for the fuzz targets: a broken invariant prints what broke and
// aborts, which the fuzzing engine records as a crash with its input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                    \
  do {                                                                           \
    if (!(condition)) {                                                          \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__,      \
                   #condition);                                                  \
      std::abort();                                                              \
    }                                                                            \
  } while (false)

namespace fuzz {

// Statuses a free-form read may return when it has both exits.
inline bool isReaderStatus(std::int32_t status) {
  return status == 0 || status == -1 || status == 1009 || status == 1012 ||
         status == 1013 || status == 1022;
}

}  // namespace fuzz
