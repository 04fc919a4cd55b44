// Proves the reader's plain-decimal path against std::from_chars (exact,
// ties to even) over many random decimal texts: signs, 1 to 24 digits with
// the point anywhere or nowhere, leading zeros, each read by the
// FreeFormReader from a record as a command-line number is, the record
// ending 0 to 40 blanks after the text so that the number's end falls
// anywhere near the end of what the reader has in hand.
//   read_real_check [MILLIONS]   (default 100)
// Exits 1 at the first difference.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "free_form_reader.h"
#include "random_words.h"

namespace {

RandomWords words{0x2545F4914F6CDD1Dull};
std::uint64_t random64() { return words.next(); }

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t count =
      (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100) * 1000000ull;
  recio::FreeFormReader reader;
  char record[80];
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t r = random64();
    const int digits = 1 + static_cast<int>(r % 24);
    const int point = static_cast<int>((r >> 8) % static_cast<std::uint64_t>(digits + 2));
    const int sign = static_cast<int>((r >> 16) % 3);  // none, '-', '+'
    char text[32];
    int n = 0;
    if (sign == 1) text[n++] = '-';
    if (sign == 2) text[n++] = '+';
    const int unsignedStart = n;
    std::uint64_t d = random64();
    for (int k = 0; k < digits; ++k) {
      if (k == point) text[n++] = '.';
      // Runs of zeros and nines, where carries and ties hide, come often.
      const int pick = static_cast<int>(d % 4);
      text[n++] = pick == 0 ? '0' : pick == 1 ? '9' : static_cast<char>('0' + (d >> 2) % 10);
      d = d / 40 != 0 ? d / 40 : random64();
    }
    if (point == digits) text[n++] = '.';
    std::memset(record, ' ', sizeof record);
    std::memcpy(record, text, static_cast<std::size_t>(n));
    const int length = n + static_cast<int>((r >> 24) % 41);

    double read = -1.0;
    reader.beginRead(record, length, false, false);
    reader.readReal(read);
    reader.endRead();

    double expected = 0.0;
    // from_chars takes no '+'.
    std::from_chars(text + unsignedStart, text + n, expected);
    if (sign == 1) expected = -expected;
    if (std::bit_cast<std::uint64_t>(read) != std::bit_cast<std::uint64_t>(expected)) {
      std::printf("difference at \"%.*s\": read %a, expected %a\n", n, text, read, expected);
      return 1;
    }
  }
  std::printf("%llu numbers read, all equal to std::from_chars\n",
              static_cast<unsigned long long>(count));
  return 0;
}
