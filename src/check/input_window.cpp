// InputWindow: reads with read(2) into one area that moves its kept bytes to
// its front and doubles while a group needs more room.
#include "input_window.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "descriptor_io.h"

namespace geocart::check {

namespace {

// Readable bytes after the last one in hand, which word-at-a-time scans of
// the reader's block entries may load; one more holds the line end that
// completes a last line.
constexpr std::size_t padding = 16;
constexpr std::size_t spare = padding + 1;

}  // namespace

InputWindow::~InputWindow() { std::free(bytes_); }

void InputWindow::open(int fd, int passFd) noexcept {
  fd_ = fd;
  passFd_ = passFd;
  passStopped_ = false;
  passFailed_ = false;
  ended_ = false;
  size_ = 0;
  begin_ = 0;
  inputBytes_ = 0;
  lastWasLineEnd_ = true;
}

bool InputWindow::pass(const char* bytes, std::size_t n) noexcept {
  if (n == 0 || passFd_ < 0 || passStopped_) return true;
  const int error = recio::writeAll(passFd_, bytes, n);
  // A reader that went away ends the passing on, not the check.
  if (error == EPIPE) passStopped_ = true;
  if (error == 0 || error == EPIPE) return true;
  errno = error;
  return false;
}

InputWindow::Fill InputWindow::fill(std::int64_t keepFrom) noexcept {
  const auto kept = static_cast<std::size_t>(end() - keepFrom);
  if (kept > 0 && keepFrom > begin_) std::memmove(bytes_, at(keepFrom), kept);
  begin_ = keepFrom;
  size_ = kept;
  if (ended_) return Fill::ended;
  if (capacity_ - size_ < capacity_ / 2 || capacity_ == 0) {
    if (capacity_ >= mostBytes && size_ >= mostBytes) return Fill::full;
    const std::size_t grown = capacity_ == 0 ? startBytes : capacity_ * 2;
    if (grown <= mostBytes) {
      void* more = std::realloc(bytes_, grown + spare);
      if (more == nullptr) return Fill::full;
      bytes_ = static_cast<char*>(more);
      capacity_ = grown;
    }
  }
  const long n = recio::readSome(fd_, bytes_ + size_, capacity_ - size_);
  if (n < 0) return Fill::failed;
  if (n > 0) {
    if (!pass(bytes_ + size_, static_cast<std::size_t>(n))) {
      passFailed_ = true;
      return Fill::failed;
    }
    size_ += static_cast<std::size_t>(n);
    inputBytes_ += n;
    lastWasLineEnd_ = bytes_[size_ - 1] == '\n';
    std::memset(bytes_ + size_, 0, padding);
    return Fill::more;
  }
  ended_ = true;
  // The last line completed, as the reader of standard input completes it.
  if (!lastWasLineEnd_) {
    if (bytes_ == nullptr) return Fill::ended;
    bytes_[size_++] = '\n';
    std::memset(bytes_ + size_, 0, padding);
  }
  return Fill::ended;
}

}  // namespace geocart::check
