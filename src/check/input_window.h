// InputWindow: the bytes of one input in memory, from a chosen offset on to
// as far as has been read, so that the check can read a group again from
// its start. It grows while one group needs more, up to a fixed bound, and
// can pass every byte it reads on to another descriptor unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace geocart::check {

class InputWindow {
 public:
  // Room the window starts with, and the most it ever holds: a group that
  // does not end within this many bytes is not read to its end.
  static constexpr std::size_t startBytes = std::size_t{1} << 20;
  static constexpr std::size_t mostBytes = std::size_t{16} << 20;

  InputWindow() = default;
  InputWindow(const InputWindow&) = delete;
  InputWindow& operator=(const InputWindow&) = delete;
  ~InputWindow();

  // Reads `fd` from its current offset; each byte read is also written to
  // `passFd` unless it is -1.
  void open(int fd, int passFd) noexcept;

  // The bytes in hand stand for the input's offsets [begin(), end()). At
  // the end of an input whose last byte is not a line end, end() counts one
  // line end more, which is not a byte of the input, as the reader of
  // standard input completes such a line.
  std::int64_t begin() const noexcept { return begin_; }
  std::int64_t end() const noexcept { return begin_ + static_cast<std::int64_t>(size_); }
  // The byte at `offset`, which lies in [begin(), end()).
  const char* at(std::int64_t offset) const noexcept { return bytes_ + (offset - begin_); }
  // Every byte of the input is in hand, or was before begin().
  bool ended() const noexcept { return ended_; }
  // Bytes of the input itself, the added line end not counted.
  std::int64_t inputBytes() const noexcept { return inputBytes_; }

  enum class Fill { more, ended, full, failed };
  // Drops the bytes before `keepFrom` (in [begin(), end()]) and reads more
  // after end(): `more` when some were read, `ended` at the end of the
  // input, `full` when the window holds `mostBytes` from `keepFrom` on, and
  // `failed` with errno set when the input or the pass-on refused.
  Fill fill(std::int64_t keepFrom) noexcept;

  // The pass-on's reader has gone (a closed pipe): bytes are no longer
  // passed on, and the input is still read.
  bool passStopped() const noexcept { return passStopped_; }
  // The last `failed` was the pass-on's, not the input's.
  bool passFailed() const noexcept { return passFailed_; }

 private:
  bool pass(const char* bytes, std::size_t n) noexcept;

  int fd_ = -1;
  int passFd_ = -1;
  bool passStopped_ = false;
  bool passFailed_ = false;
  bool ended_ = false;
  char* bytes_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::int64_t begin_ = 0;
  std::int64_t inputBytes_ = 0;
  bool lastWasLineEnd_ = true;  // also of an input with no byte
};

}  // namespace geocart::check
