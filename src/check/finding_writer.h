// FindingWriter: the check's findings, one a line as compilers write their
// diagnostics, "FILE:LINE:COLUMN: what geocart would do", buffered onto a
// descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace geocart::check {

class FindingWriter {
 public:
  explicit FindingWriter(int fd) noexcept : fd_(fd) {}
  FindingWriter(const FindingWriter&) = delete;
  FindingWriter& operator=(const FindingWriter&) = delete;

  // Starts a finding at `line` and `column`, counted from 1 (columns in
  // bytes), in the input named `name`.
  void begin(std::string_view name, std::uint64_t line, std::uint64_t column) noexcept;
  FindingWriter& operator<<(std::string_view text) noexcept;
  FindingWriter& operator<<(char c) noexcept { return *this << std::string_view(&c, 1); }
  FindingWriter& operator<<(std::uint64_t n) noexcept;
  // The shortest decimal that reads back as `value` ("inf", "nan" beyond).
  void number(double value) noexcept;
  // `bytes` in quotes as a reader sees them: between apostrophes, or double
  // quotes when they hold one; control characters as ^X (^M a carriage
  // return); cut after `most` bytes with "...".
  void quoted(const char* bytes, std::size_t n, std::size_t most = 24) noexcept;
  // Ends the finding's line.
  void end() noexcept;

  std::uint64_t count() const noexcept { return count_; }
  // Writes out what is buffered; false when the descriptor refused it.
  bool flush() noexcept;

 private:
  void put(const char* bytes, std::size_t n) noexcept;

  int fd_;
  bool failed_ = false;
  std::uint64_t count_ = 0;
  std::size_t used_ = 0;
  char buffer_[1 << 14];
};

}  // namespace geocart::check
