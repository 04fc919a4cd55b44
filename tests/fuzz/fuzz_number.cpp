// Numbers read from an internal record, cross-checked bit for bit against
// the standard library's exact conversion of the same number written the
// way it understands: sign, digits and point as they stand, the exponent
// letter (e, E, d, D, q, Q, or none before a signed exponent) made `e`.
//
// The input is not the number's text: its bytes choose the parts of a
// number of the reader's form (white space in front, sign, digits, point,
// exponent, an optional repeat count in front, one character after it), so
// that every input is a valid number of at most 512 characters.
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "free_form_reader.h"
#include "fuzz_check.h"

namespace {

class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
  bool empty() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Digits: mostly from the input, sometimes a run of one digit, so that long
// runs of zeros and nines (halfway cases, carries) come up often.
std::string digits(Bytes& in, std::size_t count) {
  std::string s;
  while (s.size() < count) {
    const std::uint8_t b = in.next();
    if (b >= 240) {
      s.append(std::min<std::size_t>(count - s.size(), (b & 15) * 8u + 1), (b & 1) ? '9' : '0');
    } else {
      s += static_cast<char>('0' + b % 10);
    }
  }
  return s;
}

// The reference: the standard library's conversion of the normalised text;
// beyond the range of doubles, strtod says whether it overflowed or underflowed.
double reference(const std::string& normal) {
  double value = 0.0;
  const auto r = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  FUZZ_CHECK(r.ptr == normal.data() + normal.size());
  if (r.ec == std::errc{}) return value;
  FUZZ_CHECK(r.ec == std::errc::result_out_of_range);
  errno = 0;
  const double fallback = std::strtod(normal.c_str(), nullptr);
  FUZZ_CHECK(std::isinf(fallback) || fallback == 0.0);
  return fallback;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  const std::uint8_t shape = in.next();
  const std::uint8_t lengths = in.next();
  const std::uint8_t more = in.next();

  std::string text;   // as the reader sees it
  std::string normal;  // as from_chars takes it
  // Repeat count in front: `r*` (then no white space and no sign check here).
  const bool repeated = (shape & 0xC0) == 0xC0;
  if (repeated) text += std::to_string(1 + more % 99) + "*";
  if (!repeated) {
    static constexpr char spaces[] = {' ', '\t', '\v', '\f', '\r', '\n'};
    for (int i = 0; i < (shape & 3); ++i) text += spaces[in.next() % sizeof spaces];
  }
  const int sign = (shape >> 2) & 3;  // 0 none, 1 '+', 2 '-', 3 none
  if (sign == 1) text += '+';
  if (sign == 2) {
    text += '-';
    normal += '-';
  }
  // Integer and fraction digits, long ones now and then.
  std::size_t integerDigits = lengths & 15;
  std::size_t fractionDigits = lengths >> 4;
  if (more & 1) integerDigits += in.next();
  if (more & 2) fractionDigits += in.next();
  const bool point = (shape & 0x10) != 0 || integerDigits == 0;
  if (!point) fractionDigits = 0;
  if (integerDigits + fractionDigits == 0) integerDigits = 1;
  const std::string whole = digits(in, integerDigits);
  const std::string part = digits(in, fractionDigits);
  text += whole;
  normal += whole;
  if (point) {
    text += '.';
    normal += '.';
    text += part;
    normal += part;
    // from_chars wants a digit before an exponent: "5." is fine, "." alone
    // cannot occur (there is always a digit).
  }
  // Exponent: a letter and/or a sign, then digits.
  const int exponentKind = (shape >> 5) & 1 ? (more >> 2) % 8 : -1;
  if (exponentKind >= 0) {
    static constexpr char letters[] = {'e', 'E', 'd', 'D', 'q', 'Q'};
    const std::uint8_t signChoice = in.next() % 3;  // none, '+', '-'
    if (exponentKind < 6) {
      text += letters[exponentKind];
    }
    // With no letter the sign is required.
    const char exponentSign = signChoice == 2 ? '-' : (signChoice == 1 || exponentKind >= 6) ? '+' : 0;
    normal += 'e';
    if (exponentSign != 0) {
      text += exponentSign;
      if (exponentSign == '-') normal += '-';
    }
    std::size_t exponentDigits = 1 + (more >> 5);
    if (in.next() >= 250) exponentDigits += 20;  // far beyond any double
    const std::string e = digits(in, exponentDigits);
    text += e;
    normal += e;
  }
  // What stands after the number, when anything does: none of these can
  // continue it (a digit could, and `*` after an integer makes a count).
  static constexpr char after[] = {' ', ',', '/', 'x', 'e', '+', '-', '.', '\'', ';'};
  const std::uint8_t afterChoice = in.next();
  bool integerForm = !point && exponentKind < 0;
  std::string tail;
  if (afterChoice < 200) {
    char c = after[afterChoice % sizeof after];
    // `5.` followed by `.` is still 5.; `5` followed by `.` would be `5.`,
    // the same value; `e`, `+`, `-` after an exponent start none.
    if (c == '.' && point) c = ' ';
    if ((c == 'e' || c == '+' || c == '-') && exponentKind >= 0) c = ' ';
    tail += c;
  }
  (void)integerForm;
  const std::size_t numberLength = text.size() - (repeated ? text.find('*') + 1 : 0);
  // The scanner examines at most 512 characters; stay within them.
  if (numberLength > 512) return 0;

  const std::string recordText = text + tail;
  const std::size_t length = recordText.size() < 80 ? 80 : recordText.size();
  char* record = new char[length];
  std::memset(record, ' ', length);
  std::memcpy(record, recordText.data(), recordText.size());

  recio::FreeFormReader reader;
  double value = 1.5;
  FUZZ_CHECK(reader.beginRead(record, static_cast<std::int32_t>(length), true, true) == 0);
  const std::int32_t status = reader.readReal(value);
  if (status != 0) {
    std::fprintf(stderr, "status %d for [%s]\n", status, recordText.c_str());
  }
  FUZZ_CHECK(status == 0);
  const double expected = reference(normal);
  if (std::bit_cast<std::uint64_t>(value) != std::bit_cast<std::uint64_t>(expected)) {
    std::fprintf(stderr, "text [%s] normal [%s]: read %a, expected %a\n", recordText.c_str(),
                 normal.c_str(), value, expected);
  }
  FUZZ_CHECK(std::bit_cast<std::uint64_t>(value) == std::bit_cast<std::uint64_t>(expected));
  FUZZ_CHECK(reader.endRead() == 0);
  delete[] record;
  return 0;
}
