// FreeFormReader: values in free form from one internal record or a unit.
// The statement state is process-wide: a statement may be begun by one
// FreeFormReader object and continued by another, and it allocates nothing.
#include "free_form_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "char_source.h"
#include "failure.h"
#include "short_copy.h"
#include "statement_context.h"
#include "units.h"

namespace recio {

namespace {

enum class ValueKind { null, real, text };

struct ReaderState {
  CharSource* source = nullptr;
  bool firstItem = true;
  std::int32_t repeat = 0;
  bool stop = false;
  bool ended = false;  // the source has given the end-of-input mark
  bool endOfFileExit = false;
  bool errorExit = false;
  ValueKind kind = ValueKind::null;
  double real = 0.0;
  // The current text value, as far as assignment to its target can use it:
  // at most the target's length, and nothing from a NUL on.
  char* text = nullptr;
  std::size_t textCapacity = 0;
  std::size_t textKept = 0;
};

ReaderState state;
CharSource recordSource;

inline int next() noexcept {
  const int c = state.source->get();
  if (c == endOfInput) state.ended = true;
  return c;
}

inline void giveBack(int c) noexcept { state.source->unget(c); }

inline bool isBlank(int c) noexcept { return c == ' ' || c == '\t' || c == '\n'; }

inline bool isDigit(int c) noexcept { return c >= '0' && c <= '9'; }

// After a repeat count's `*`: these leave the value null.
inline bool endsValue(int c) noexcept {
  return c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '/' || c == endOfInput;
}

void skipBlanks() noexcept {
  int c;
  do c = next();
  while (isBlank(c));
  giveBack(c);
}

std::int32_t fail(std::int32_t code, const char* word) noexcept {
  const bool hasExit = code == endOfFile ? state.endOfFileExit : state.errorExit;
  if (hasExit) return code;
  state.source->updateContext(statementContext);
  reportFailure(code, word);
}

constexpr std::int32_t saturatedCount = 2147483647;

std::int32_t addDigit(std::int32_t count, int digit) noexcept {
  if (count > (saturatedCount - digit) / 10) return saturatedCount;
  return count * 10 + digit;
}

// ---- the number scanner ----

// Characters examined for one number, white space in front included. The
// give-back area holds them all, with the one read after them.
constexpr int fieldLimit = 512;
constexpr int noCharacter = -2;  // nothing looked at yet
constexpr int limitReached = -3;

struct Number {
  bool found = false;
  bool integerForm = false;
  std::int32_t count = 0;  // the integer form, saturated
  double value = 0.0;
};

class Scanner {
 public:
  Number scan() noexcept;

 private:
  int look() noexcept {
    if (ahead_ == noCharacter) ahead_ = n_ < fieldLimit ? next() : limitReached;
    return ahead_;
  }
  void take() noexcept {
    text_[n_++] = static_cast<char>(ahead_);
    ahead_ = noCharacter;
  }
  bool takeLetter(char lower) noexcept {
    const int c = look();
    if (c < 0 || (c | 0x20) != lower) return false;
    take();
    return true;
  }
  int takeDigits() noexcept {
    int digits = 0;
    while (isDigit(look())) {
      take();
      ++digits;
    }
    return digits;
  }
  // Gives back every character read after the first `accepted`.
  void giveBackFrom(int accepted) noexcept {
    if (ahead_ != noCharacter && ahead_ != limitReached) giveBack(ahead_);
    for (int i = n_; i > accepted; --i) giveBack(static_cast<unsigned char>(text_[i - 1]));
  }
  double convert(bool negative, int body, int significandEnd, int exponentStart,
                 bool exponentNegative) const noexcept;

  char text_[fieldLimit];
  int n_ = 0;
  int ahead_ = noCharacter;
};

inline bool isScannerSpace(int c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

Number Scanner::scan() noexcept {
  Number result;
  while (isScannerSpace(look())) take();
  bool negative = false;
  if (look() == '+' || look() == '-') {
    negative = look() == '-';
    take();
  }
  const int body = n_;
  const int c = look();
  if (c >= 0 && (c | 0x20) == 'i') {
    take();
    if (takeLetter('n') && takeLetter('f')) {
      int accepted = n_;
      if (takeLetter('i') && takeLetter('n') && takeLetter('i') && takeLetter('t') &&
          takeLetter('y')) {
        accepted = n_;
      }
      giveBackFrom(accepted);
      result.found = true;
      result.value = std::bit_cast<double>(0x7FF0000000000000ULL | (negative ? 1ULL << 63 : 0));
      return result;
    }
    giveBackFrom(0);
    return result;
  }
  if (c >= 0 && (c | 0x20) == 'n') {
    take();
    if (takeLetter('a') && takeLetter('n')) {
      int accepted = n_;
      if (look() == '(') {
        take();
        while (look() >= 0 && look() != ')') take();
        if (look() == ')') {
          take();
          accepted = n_;
        }
      }
      giveBackFrom(accepted);
      result.found = true;
      result.value = std::bit_cast<double>(negative ? 0xFFFFFFFFFFFFFFFFULL : 0x7FFFFFFFFFFFFFFFULL);
      return result;
    }
    giveBackFrom(0);
    return result;
  }
  int digits = takeDigits();
  bool point = false;
  if (look() == '.') {
    take();
    point = true;
    digits += takeDigits();
  }
  if (digits == 0) {
    giveBackFrom(0);
    return result;
  }
  const int significandEnd = n_;
  int accepted = n_;
  int exponentStart = -1;
  bool exponentNegative = false;
  const int e = look();
  if (e == 'e' || e == 'E' || e == 'd' || e == 'D' || e == 'q' || e == 'Q') {
    take();
    if (look() == '+' || look() == '-') {
      exponentNegative = look() == '-';
      take();
    }
  } else if (e == '+' || e == '-') {
    exponentNegative = e == '-';
    take();
  }
  if (n_ > significandEnd && isDigit(look())) {
    exponentStart = n_;
    takeDigits();
    accepted = n_;
  }
  giveBackFrom(accepted);
  result.found = true;
  result.integerForm = !point && exponentStart < 0;
  if (result.integerForm) {
    std::int32_t count = 0;
    for (int i = body; i < significandEnd; ++i) count = addDigit(count, text_[i] - '0');
    result.count = negative ? -count : count;
  }
  result.value = convert(negative, body, significandEnd, exponentStart, exponentNegative);
  return result;
}

double Scanner::convert(bool negative, int body, int significandEnd, int exponentStart,
                        bool exponentNegative) const noexcept {
  // An exponent beyond 99999 cannot change the outcome of 512 digits at most:
  // it overflows or underflows either way, so it is held at that bound.
  constexpr std::int32_t exponentBound = 99999;
  std::int32_t exponent = 0;
  if (exponentStart >= 0) {
    for (int i = exponentStart; i < n_ && isDigit(static_cast<unsigned char>(text_[i])); ++i) {
      exponent = exponent * 10 + (text_[i] - '0');
      if (exponent > exponentBound) {
        exponent = exponentBound;
        break;
      }
    }
    if (exponentNegative) exponent = -exponent;
  }
  // from_chars takes no '+' and no exponent letter but e; it rounds exactly.
  char normal[fieldLimit + 16];
  std::size_t m = 0;
  if (negative) normal[m++] = '-';
  std::memcpy(normal + m, text_ + body, static_cast<std::size_t>(significandEnd - body));
  m += static_cast<std::size_t>(significandEnd - body);
  if (exponent != 0) {
    normal[m++] = 'e';
    const auto r = std::to_chars(normal + m, normal + sizeof normal, exponent);
    m = static_cast<std::size_t>(r.ptr - normal);
  }
  double value = 0.0;
  const auto r = std::from_chars(normal, normal + m, value);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond the doubles: the decimal exponent of the leading digit tells an
    // overflow from an underflow.
    int integerDigits = 0;
    int leadingZeros = 0;
    bool seenPoint = false;
    bool seenNonZero = false;
    for (int i = body; i < significandEnd; ++i) {
      const char ch = text_[i];
      if (ch == '.') {
        seenPoint = true;
        continue;
      }
      if (!seenPoint) ++integerDigits;
      if (!seenNonZero) {
        if (ch == '0') {
          ++leadingZeros;
        } else {
          seenNonZero = true;
        }
      }
    }
    const std::int64_t leading =
        static_cast<std::int64_t>(exponent) + integerDigits - 1 - leadingZeros;
    const std::uint64_t sign = negative ? 1ULL << 63 : 0;
    value = std::bit_cast<double>(sign | (leading >= 0 ? 0x7FF0000000000000ULL : 0));
  }
  return value;
}

// ---- statement steps ----

// A real item that found no number: the rest up to a line end or slash is
// dropped.
std::int32_t recover() noexcept {
  int c;
  do c = next();
  while (c != '\n' && c != '/' && c != endOfInput);
  if (c == endOfInput) return fail(endOfFile, "list read");
  return fail(incomprehensibleListInput, "list io");
}

std::int32_t separatorStep() noexcept {
  skipBlanks();
  if (state.ended) return fail(endOfFile, "list io");
  const int c = next();
  if (c == '/') {
    giveBack(c);
    state.stop = true;
    return success;
  }
  if (c == ',') {
    skipBlanks();
    if (state.ended) return fail(endOfFile, "list io");
    return success;
  }
  giveBack(c);
  return success;
}

// Steps shared by both kinds before a value is read. Returns true when the
// item is settled with `status` and no value is to be read.
bool beginItem(std::int32_t& status, const char* endWord) noexcept {
  if (state.ended) {
    status = fail(endOfFile, "list read");
    return true;
  }
  status = success;
  if (state.stop) return true;
  if (state.repeat > 0) return true;
  if (!state.firstItem) {
    status = separatorStep();
    if (status != success || state.stop) return true;
  }
  state.firstItem = false;
  state.kind = ValueKind::null;
  skipBlanks();
  if (state.ended) {
    status = fail(endOfFile, endWord);
    return true;
  }
  const int c = next();
  giveBack(c);
  if (c == ',') return true;
  if (c == '/') {
    state.stop = true;
    return true;
  }
  return false;
}

void finishRepeat() noexcept {
  if (state.repeat > 0) --state.repeat;
}

// ---- text values ----

class TextCollector {
 public:
  explicit TextCollector(std::int32_t length) noexcept
      : limit_(length > 0 ? static_cast<std::size_t>(length) : 0) {
    state.textKept = 0;
  }
  void append(int c) noexcept {
    last_ = c;
    lastKept_ = false;
    if (nulSeen_ || state.textKept >= limit_) return;
    if (c == 0) {
      nulSeen_ = true;
      return;
    }
    if (state.textKept == state.textCapacity && !grow()) return;
    state.text[state.textKept++] = static_cast<char>(c);
    lastKept_ = true;
  }
  // A line end: true when it continues the value after a backslash.
  bool continuesAfterBackslash() noexcept {
    if (last_ != '\\') return false;
    if (lastKept_) state.text[state.textKept - 1] = '\n';
    last_ = '\n';
    return true;
  }
  bool outOfSpace() const noexcept { return outOfSpace_; }

 private:
  bool grow() noexcept {
    const std::size_t capacity = state.textCapacity == 0 ? 128 : state.textCapacity * 2;
    char* grown = static_cast<char*>(std::realloc(state.text, capacity));
    if (grown == nullptr) {
      outOfSpace_ = true;
      nulSeen_ = true;  // keep nothing more
      return false;
    }
    state.text = grown;
    state.textCapacity = capacity;
    return true;
  }

  std::size_t limit_;
  int last_ = -1;
  bool lastKept_ = false;
  bool nulSeen_ = false;
  bool outOfSpace_ = false;
};

void readQuoted(int quote, TextCollector& value) noexcept {
  for (;;) {
    const int c = next();
    if (c == endOfInput) return;
    if (c == quote) {
      const int after = next();
      if (after != quote) {
        giveBack(after);
        return;
      }
      value.append(quote);
    } else if (c == '\n') {
      value.continuesAfterBackslash();  // otherwise the line end is dropped
    } else {
      value.append(c);
    }
  }
}

void readUnquoted(int c, TextCollector& value) noexcept {
  for (;;) {
    if (c == ',' || c == ' ' || c == '\t' || c == '/' || c == endOfInput) break;
    if (c == '\n' && !value.continuesAfterBackslash()) break;
    if (c != '\n') value.append(c);
    c = next();
  }
  giveBack(c);
}

inline bool isQuote(int c) noexcept { return c == '\'' || c == '"' || c == 2; }

void assignText(char* target, std::int32_t length) noexcept {
  if (length <= 0) return;
  const std::size_t n = std::min(state.textKept, static_cast<std::size_t>(length));
  if (n > 0) std::memcpy(target, state.text, n);
  std::memset(target + n, ' ', static_cast<std::size_t>(length) - n);
}

// ---- fast paths over the characters already fetched ----
//
// Each handles the common form of an item straight from the source's block
// and gives up, having taken nothing, whenever the form is not that common
// one or its end is not yet in the block; the character-by-character steps
// then read the item as if the fast path had never looked.

// Exact powers of ten: every one up to 10^22 is a double.
constexpr double exactPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};
constexpr std::uint64_t integerPowersOfTen[] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull,
};
constexpr std::uint64_t exactSignificandLimit = std::uint64_t{1} << 53;
// More digits than this may not fit in 64 bits; such texts take the exact path.
constexpr int plainDigitLimit = 19;

// Characters that end a plain number and cannot continue any form of the
// number scanner, nor make it a repeat count.
inline bool endsPlainNumber(char c) noexcept {
  return c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '/';
}

// Steps 1 to 3 of an item that starts a value, when all they read lies in
// the block: no end of input, slash or pending repeat, the blanks and at
// most one comma before the value, and the value's first character, which
// is not a comma or slash. Leaves the state as beginItem leaves it when it
// returns true; takes nothing and returns false otherwise.
[[gnu::always_inline]] inline bool positionInBlock() noexcept {
  if (state.ended || state.stop || state.repeat > 0) return false;
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  const char* p = begin;
  while (p != end && isBlank(static_cast<unsigned char>(*p))) ++p;
  if (p == end) return false;
  if (*p == ',') [[unlikely]] {
    // Before the first item a comma makes that item null.
    if (state.firstItem) return false;
    ++p;
    while (p != end && isBlank(static_cast<unsigned char>(*p))) ++p;
    if (p == end) return false;
  }
  if (*p == ',' || *p == '/') return false;
  source.skip(static_cast<std::size_t>(p - begin));
  state.firstItem = false;
  state.kind = ValueKind::null;
  return true;
}

// Eight characters as a little-endian word: the first in the lowest byte.
inline std::uint64_t loadEight(const char* p) noexcept {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// Eight digit values 0-9, one a byte with the first (most significant) in
// the lowest byte, as the number they write: pairs first, then the two
// four-digit halves.
inline std::uint64_t eightDigitValue(std::uint64_t v) noexcept {
  v = (v * 10) + (v >> 8);  // pairs of digits in every other byte
  return (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}

// The digits at p, eight characters of which are readable: returns how many
// of the eight are digits before the first that is not (0 to 8), and puts
// the number those write into `value`.
//
// A character c is a digit when t = c ^ '0' is below 10: t + 0x76 then has
// its top bit clear, and so has t. A character after one that is not a digit
// may see a carry from it, which does not matter: only the first
// non-digit's place is used. The digits, moved to the top of the word with
// zero bytes in front, convert as eight digits with leading zeros.
inline int leadingDigits(const char* p, std::uint64_t& value) noexcept {
  const std::uint64_t t = loadEight(p) ^ 0x3030303030303030ull;
  const std::uint64_t notDigit = ((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull;
  const int n = std::countr_zero(notDigit) >> 3;  // 8 when all are digits
  value = n == 0 ? 0 : eightDigitValue(t << (64 - 8 * n));
  return n;
}

// A run of digits at p of at most `room` digits counted towards the limit,
// read eight at a time: adds them to w and returns their count, or returns
// -1 when the run is longer than `room`. At least room + 8 characters from
// p must be readable.
inline int digitRun(const char* p, int room, std::uint64_t& w) noexcept {
  int total = 0;
  for (;;) {
    std::uint64_t value;
    const int n = leadingDigits(p + total, value);
    total += n;
    if (total > room) return -1;
    w = w * integerPowersOfTen[n] + value;
    if (n < 8) return total;
  }
}

// The same run read one character at a time, for the end of the block:
// stops at `end`.
inline int shortDigitRun(const char* p, const char* end, int room, std::uint64_t& w) noexcept {
  int total = 0;
  for (unsigned d; p + total != end && (d = static_cast<unsigned char>(p[total]) - unsigned{'0'}) < 10;) {
    if (++total > room) return -1;
    w = w * 10 + d;
  }
  return total;
}

// Where the characters of a word (see loadEight) that are not digits are:
// the top bit of each such byte set, exactly for the first one. A character
// c is a digit when t = c ^ '0' is below 10: t + 0x76 then has its top bit
// clear, and so has t. A character after one that is not a digit may see a
// carry from it; a '.' gives none.
inline std::uint64_t notDigits(std::uint64_t t) noexcept {
  return ((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull;
}

// The common number in one step, from the 16 characters at p (and the one
// after them): at most seven integer digits, then either the end of the
// digits or a point and a fraction ending within the 16. Returns the
// characters it covers (the next one is where the number ends), with w and
// k set as readPlainReal says; 0 when the number is not of this form or has
// no digit.
//
// With t the characters ^ '0' in two words, the first flag of the first
// word is the end of the integer digits (a of them); when it is a point,
// the next flag, in either word, is the end of the fraction, b characters
// from p. The digit values then go to one 128-bit string, the point's byte
// taken out (the integer digits moved up one byte over it), the bytes from
// b on cleared, and the whole moved to the top: its b - 1 digits, with
// leading zeros in front, are the first and second eight of a 16-digit
// number. A flag word f gives the bytes up to and including its first
// flagged one as f ^ (f - 1), the flag being each byte's top bit.
inline int commonNumber(const char* p, std::uint64_t& w, int& k) noexcept {
  const std::uint64_t tl = loadEight(p) ^ 0x3030303030303030ull;
  std::uint64_t fl = notDigits(tl);
  if (fl == 0) return 0;
  const int a = std::countr_zero(fl) >> 3;
  if (p[a] != '.') {
    if (a == 0) return 0;
    w = eightDigitValue(tl << (64 - 8 * a));
    k = 0;
    return a;
  }
  const std::uint64_t throughPoint = fl ^ (fl - 1);
  const std::uint64_t digitsLow = ((tl << 8) & throughPoint) | (tl & ~throughPoint);
  fl &= fl - 1;
  int b;
  if (fl != 0) {
    b = std::countr_zero(fl) >> 3;
    // A point with no digit on either side is no number.
    if (b == 1) return 0;
    w = eightDigitValue((digitsLow & ((fl ^ (fl - 1)) >> 8)) << (64 - 8 * b));
  } else {
    const std::uint64_t th = loadEight(p + 8) ^ 0x3030303030303030ull;
    const std::uint64_t fh = notDigits(th);
    if (fh == 0) return 0;
    b = 8 + (std::countr_zero(fh) >> 3);
    const std::uint64_t digitsHigh = th & ((fh ^ (fh - 1)) >> 8);
    if (b == 8) {
      w = eightDigitValue(digitsLow);
    } else {
      const int s = 8 * (16 - b);  // 8 to 56
      w = eightDigitValue(digitsLow << s) * 100000000 +
          eightDigitValue((digitsHigh << s) | (digitsLow >> (64 - s)));
    }
  }
  k = b - a - 1;
  return b;
}

// Characters a plain number needs in the block past its start: sign, 19
// digits, point, the next character, and the eight read past a run's end,
// so that no run needs the end of the block checked.
constexpr std::ptrdiff_t wholeNumber = 1 + plainDigitLimit + 1 + 1 + 8;

// A plain number (as readPlainReal) at p, with wholeNumber characters from p
// in the block: returns where it ends (at the blank, comma, line end or
// slash after it), with `value` set; nullptr when it is not one.
[[gnu::always_inline]] inline const char* wholePlainReal(const char* p, double& value) noexcept {
  const bool negative = *p == '-';
  if (negative || *p == '+') ++p;
  std::uint64_t w = 0;
  int fractionDigits = 0;
  if (const int covered = commonNumber(p, w, fractionDigits); covered != 0) [[likely]] {
    // At most 15 digits: w < 2^53.
    p += covered;
  } else {
    const int integerDigits = digitRun(p, plainDigitLimit, w);
    if (integerDigits < 0) return nullptr;
    p += integerDigits;
    if (*p == '.') {
      ++p;
      fractionDigits = digitRun(p, plainDigitLimit - integerDigits, w);
      if (fractionDigits < 0) return nullptr;
      p += fractionDigits;
    }
    if (integerDigits + fractionDigits == 0) return nullptr;
    if (w > exactSignificandLimit) return nullptr;
  }
  if (!endsPlainNumber(*p)) return nullptr;
  value = static_cast<double>(w);
  if (fractionDigits > 0) value /= exactPowersOfTen[fractionDigits];
  if (negative) value = -value;
  return p;
}

// Where an item's value starts in the block: past the blanks and the one
// comma between values that the item's first steps would take, before
// `limit`. nullptr when those steps need the character-by-character path
// (the block ends first, or a comma before the first item makes it null).
[[gnu::always_inline]] inline const char* valueStartInBlock(const char* begin,
                                                            const char* limit) noexcept {
  const char* p = begin;
  while (isBlank(static_cast<unsigned char>(*p))) {
    if (++p == limit) return nullptr;
  }
  if (*p == ',') [[unlikely]] {
    if (state.firstItem) return nullptr;
    do {
      if (++p == limit) return nullptr;
    } while (isBlank(static_cast<unsigned char>(*p)));
  }
  return p;
}

// An item's first steps and a plain number, all in the block with room to
// spare, as positionInBlock and readPlainReal together: stores the value
// and takes the characters; takes nothing and returns false otherwise.
[[gnu::always_inline]] inline bool readRealInBlock(double& target) noexcept {
  if (state.ended || state.stop || state.repeat > 0) return false;
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (end - begin <= wholeNumber) return false;
  // The value's first character stays before `limit`, so the number has
  // its wholeNumber characters.
  const char* const limit = end - wholeNumber;
  const char* const p = valueStartInBlock(begin, limit);
  if (p == nullptr) return false;
  // A comma or slash here is no number either.
  double value;
  const char* const after = wholePlainReal(p, value);
  if (after == nullptr) return false;
  source.skip(static_cast<std::size_t>(after - begin));
  state.firstItem = false;
  state.kind = ValueKind::real;
  state.real = value;
  target = value;
  return true;
}

// A real written as an optional sign, digits with at most one point, no
// exponent, followed in the block by a blank, comma, line end or slash.
// With w its digits read as an integer and k the digits after the point,
// the value is w / 10^k; when w < 2^53 and k <= 22 both are doubles exactly,
// so one correctly rounded division (or no operation at all for k = 0)
// gives the correctly rounded value of the decimal text, the same double
// as the exact conversion. With 19 digits at most, w fits in 64 bits.
bool readPlainReal(double& target) noexcept {
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  double value;
  const char* p = begin;
  if (end - begin >= wholeNumber) {
    p = wholePlainReal(begin, value);
    if (p == nullptr) return false;
  } else {
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t w = 0;
    const int integerDigits = shortDigitRun(p, end, plainDigitLimit, w);
    if (integerDigits < 0) return false;
    p += integerDigits;
    int fractionDigits = 0;
    if (p != end && *p == '.') {
      ++p;
      fractionDigits = shortDigitRun(p, end, plainDigitLimit - integerDigits, w);
      if (fractionDigits < 0) return false;
      p += fractionDigits;
    }
    if (integerDigits + fractionDigits == 0 || p == end || !endsPlainNumber(*p)) return false;
    if (w > exactSignificandLimit) return false;
    value = static_cast<double>(w);
    if (fractionDigits > 0) value /= exactPowersOfTen[fractionDigits];
    if (*begin == '-') value = -value;
  }
  source.skip(static_cast<std::size_t>(p - begin));
  state.kind = ValueKind::real;
  state.real = value;
  target = value;
  return true;
}

// Ends an unquoted text value in the block.
inline bool endsUnquoted(char c) noexcept {
  return c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '/';
}

// An unquoted text value that ends in the block, not after a backslash at a
// line end, with no repeat count, when the text buffer already has room for
// what the target keeps of it.
[[gnu::always_inline]] inline bool readPlainText(char* target, std::int32_t length) noexcept {
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (begin == end) return false;
  const int first = static_cast<unsigned char>(*begin);
  if (isDigit(first) || isQuote(first)) return false;
  // Every character that ends the value, and the NUL that ends what is
  // kept, lies below '0': whole words without one are passed in one step
  // (a byte below '0' sets its top bit in b - 0x30 & ~b; bytes above the
  // first such one may be marked wrongly, so only the first is used).
  const char* p = begin;
  const char* nul = nullptr;
  for (;;) {
    while (end - p >= 8) {
      const std::uint64_t b = loadEight(p);
      const std::uint64_t below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
      if (below != 0) {
        p += std::countr_zero(below) >> 3;
        break;
      }
      p += 8;
    }
    if (p == end) return false;
    if (endsUnquoted(*p)) break;
    if (*p == 0 && nul == nullptr) nul = p;
    ++p;
  }
  if (p == begin) return false;
  if (*p == '\n' && p[-1] == '\\') return false;
  std::size_t kept = std::min(static_cast<std::size_t>((nul != nullptr ? nul : p) - begin),
                              static_cast<std::size_t>(length > 0 ? length : 0));
  if (kept > state.textCapacity) return false;
  if (kept <= 16) {
    copyShort(state.text, begin, kept);
  } else {
    std::memcpy(state.text, begin, kept);
  }
  state.textKept = kept;
  source.skip(static_cast<std::size_t>(p - begin));
  state.kind = ValueKind::text;
  if (length > 0 && length <= 16) {
    const auto n = static_cast<std::size_t>(length);
    copyShort(target, begin, kept);
    if (kept < n) {
      char blanks[16];
      std::memset(blanks, ' ', sizeof blanks);
      copyShort(target + kept, blanks, n - kept);
    }
  } else {
    assignText(target, length);
  }
  return true;
}

// An item's first steps and an unquoted text value of at most 15
// characters, each at least '0' (no blank, comma, slash, NUL, sign or
// point in it), for a target of at most 16, all in the block with room to
// spare, as positionInBlock and readPlainText together: assigns the value
// and takes the characters; takes nothing and returns false otherwise. The
// value ends at its first character below '0' (found a word at a time, as
// readPlainText does), which must be a blank, comma, line end or slash.
[[gnu::always_inline]] inline bool readTextInBlock(char* target, std::int32_t length) noexcept {
  if (state.ended || state.stop || state.repeat > 0) return false;
  if (length <= 0 || length > 16) return false;
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  constexpr std::ptrdiff_t wholeText = 16;
  if (end - begin <= wholeText) return false;
  const char* const limit = end - wholeText;
  const char* const p = valueStartInBlock(begin, limit);
  if (p == nullptr) return false;
  const int first = static_cast<unsigned char>(*p);
  if (isDigit(first) || isQuote(first)) return false;
  std::uint64_t b = loadEight(p);
  std::uint64_t below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
  const char* e = p;
  if (below == 0) {
    b = loadEight(p + 8);
    below = (b - 0x3030303030303030ull) & ~b & 0x8080808080808080ull;
    if (below == 0) return false;
    e += 8;
  }
  e += std::countr_zero(below) >> 3;
  if (e == p || !endsUnquoted(*e)) return false;
  if (*e == '\n' && e[-1] == '\\') return false;
  const auto n = static_cast<std::size_t>(e - p);
  const std::size_t kept = std::min(n, static_cast<std::size_t>(length));
  if (kept > state.textCapacity) return false;
  copyShort(state.text, p, kept);
  state.textKept = kept;
  copyShort(target, p, kept);
  if (kept < static_cast<std::size_t>(length)) {
    blankShort(target + kept, static_cast<std::size_t>(length) - kept);
  }
  source.skip(static_cast<std::size_t>(e - begin));
  state.firstItem = false;
  state.kind = ValueKind::text;
  return true;
}

// The rest of the line up to and including its line end, when that is in
// the block.
[[gnu::always_inline]] inline bool skipLineInBlock() noexcept {
  CharSource& source = *state.source;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (begin != end && *begin == '\n') {
    source.skip(1);
    return true;
  }
  const void* lineEnd = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
  if (lineEnd == nullptr) return false;
  source.skip(static_cast<std::size_t>(static_cast<const char*>(lineEnd) - begin) + 1);
  return true;
}

std::int32_t startStatement(CharSource& source, bool endOfFileExit, bool errorExit) noexcept {
  state.source = &source;
  state.firstItem = true;
  state.repeat = 0;
  state.stop = false;
  state.kind = ValueKind::null;
  state.endOfFileExit = endOfFileExit;
  state.errorExit = errorExit;
  state.ended = source.beginStatement();
  return success;
}

}  // namespace

std::int32_t FreeFormReader::beginRead(const char* record, std::int32_t length,
                                       bool endOfFileExit, bool errorExit) noexcept {
  beginInternalListRead(record, length);
  statementContext.endOfFileExit = endOfFileExit;
  statementContext.errorExit = errorExit;
  recordSource.openRecord(record, length);
  return startStatement(recordSource, endOfFileExit, errorExit);
}

std::int32_t FreeFormReader::beginRead(std::int32_t unit, bool endOfFileExit,
                                       bool errorExit) noexcept {
  beginExternalStatement(true, Form::freeForm, unit, "ext list io", endOfFileExit, errorExit);
  // obtainUnit does not return without a source to read from.
  Unit& u = obtainUnit(unit, false);
  return startStatement(*u.input, endOfFileExit, errorExit);
}

std::int32_t FreeFormReader::beginRead(CharSource& source, bool endOfFileExit,
                                       bool errorExit) noexcept {
  beginExternalStatement(true, Form::freeForm, source.unit(), "ext list io", endOfFileExit,
                         errorExit);
  statementContext.unitObtained = true;
  return startStatement(source, endOfFileExit, errorExit);
}

namespace {

// readReal past its common case: the item's first steps in the block when
// they lie there, else character by character, then the number.
[[gnu::noinline]] std::int32_t readRealItem(double& target) noexcept {
  const bool positioned = positionInBlock();
  std::int32_t status;
  if (!positioned && beginItem(status, "list read")) {
    if (status == success && !state.stop && state.repeat > 0) {
      // A repeated value that is not a real leaves the item unchanged.
      if (state.kind == ValueKind::real) target = state.real;
      finishRepeat();
    }
    return status;
  }
  if (readPlainReal(target)) return success;
  Scanner scanner;
  Number number = scanner.scan();
  if (number.found && number.integerForm) {
    const int c = next();
    if (c == '*') {
      if (number.count < 1) return fail(negativeRepeatCount, "list io");
      state.repeat = number.count;
      const int after = next();
      giveBack(after);
      if (endsValue(after)) {
        number.found = false;
      } else {
        Scanner valueScanner;
        number = valueScanner.scan();
        if (!number.found) return recover();
      }
      if (state.ended) return fail(endOfFile, "list read");
      if (number.found) {
        state.kind = ValueKind::real;
        state.real = number.value;
        target = number.value;
      }
      finishRepeat();
      return success;
    }
    giveBack(c);
  }
  if (!number.found) return recover();
  // A number ended by the end of input is not assigned.
  if (state.ended) return fail(endOfFile, "list read");
  state.kind = ValueKind::real;
  state.real = number.value;
  target = number.value;
  return success;
}

// readText past its common case, as readRealItem.
[[gnu::noinline]] std::int32_t readTextItem(char* target, std::int32_t length) noexcept {
  const bool positioned = positionInBlock();
  std::int32_t status;
  if (!positioned && beginItem(status, "list io")) {
    if (status == success && !state.stop && state.repeat > 0) {
      // A repeated real reaching a text item leaves it unchanged.
      if (state.kind == ValueKind::text) assignText(target, length);
      finishRepeat();
    }
    return status;
  }
  if (readPlainText(target, length)) return success;
  int c = next();
  if (isDigit(c)) {
    std::int32_t count = 0;
    do {
      count = addDigit(count, c - '0');
      c = next();
    } while (isDigit(c));
    if (c != '*') {
      if (c == endOfInput) return fail(endOfFile, "list io");
      giveBack(c);
      return fail(noStarAfterRepeatCount, "list io");
    }
    state.repeat = count;
    c = next();
    if (endsValue(c)) {
      giveBack(c);
      if (state.ended) return fail(endOfFile, "list io");
      finishRepeat();
      return success;
    }
  }
  TextCollector value(length);
  if (isQuote(c)) {
    readQuoted(c, value);
  } else {
    readUnquoted(c, value);
  }
  if (state.ended) return fail(endOfFile, "list io");
  if (value.outOfSpace()) return fail(outOfFreeSpace, "list read");
  state.kind = ValueKind::text;
  assignText(target, length);
  finishRepeat();
  return success;
}

}  // namespace

std::int32_t FreeFormReader::readReal(double& target) noexcept {
  if (readRealInBlock(target)) [[likely]] return success;
  return readRealItem(target);
}

std::int32_t FreeFormReader::readText(char* target, std::int32_t length) noexcept {
  if (readTextInBlock(target, length)) [[likely]] return success;
  return readTextItem(target, length);
}

std::int32_t FreeFormReader::endRead() noexcept {
  state.repeat = 0;
  if (state.source->isInternal()) return success;
  if (state.ended) return fail(endOfFile, "list read");
  if (skipLineInBlock()) return success;
  int c;
  do c = next();
  while (c != '\n' && c != endOfInput);
  if (c == endOfInput) return fail(endOfFile, "list read");
  return success;
}

}  // namespace recio
