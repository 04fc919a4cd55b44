// FindingWriter: its own buffer and write(2), so that findings and a passed-on
// input never share a stream.
#include "finding_writer.h"

#include <charconv>
#include <cstring>

#include "descriptor_io.h"

namespace geocart::check {

void FindingWriter::put(const char* bytes, std::size_t n) noexcept {
  while (n > 0) {
    if (used_ == sizeof buffer_ && !flush()) used_ = 0;
    const std::size_t take = n < sizeof buffer_ - used_ ? n : sizeof buffer_ - used_;
    std::memcpy(buffer_ + used_, bytes, take);
    used_ += take;
    bytes += take;
    n -= take;
  }
}

bool FindingWriter::flush() noexcept {
  const std::size_t n = used_;
  used_ = 0;
  if (n > 0 && !failed_ && recio::writeAll(fd_, buffer_, n) != 0) failed_ = true;
  return !failed_;
}

void FindingWriter::begin(std::string_view name, std::uint64_t line,
                          std::uint64_t column) noexcept {
  *this << name << ':' << line << ':' << column << ": ";
}

FindingWriter& FindingWriter::operator<<(std::string_view text) noexcept {
  put(text.data(), text.size());
  return *this;
}

FindingWriter& FindingWriter::operator<<(std::uint64_t n) noexcept {
  char digits[24];
  const auto r = std::to_chars(digits, digits + sizeof digits, n);
  put(digits, static_cast<std::size_t>(r.ptr - digits));
  return *this;
}

void FindingWriter::number(double value) noexcept {
  char digits[32];
  const auto r = std::to_chars(digits, digits + sizeof digits, value);
  put(digits, static_cast<std::size_t>(r.ptr - digits));
}

void FindingWriter::quoted(const char* bytes, std::size_t n, std::size_t most) noexcept {
  // Between apostrophes, or double quotes when it holds an apostrophe.
  const std::size_t shownBytes = n < most ? n : most;
  const char* const quote = std::memchr(bytes, '\'', shownBytes) == nullptr ? "'" : "\"";
  put(quote, 1);
  for (std::size_t i = 0; i < n && i < most; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 32 || c == 127) {
      const char shown[2] = {'^', static_cast<char>(c ^ 64)};
      put(shown, 2);
    } else {
      put(bytes + i, 1);
    }
  }
  if (n > most) put("...", 3);
  put(quote, 1);
}

void FindingWriter::end() noexcept {
  put("\n", 1);
  ++count_;
}

}  // namespace geocart::check
