// A buffered output stream on a descriptor: unbuffered, line-buffered or
// block-buffered; the buffer of such a stream lives in static storage. Or a
// stream into an area of memory of the caller's own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio {

enum class Buffering { none, line, block, memory };

class OutputStream {
 public:
  // Largest buffer a stream uses; a destination that prefers more gets this.
  static constexpr std::size_t maxBufferSize = 1 << 20;

  // Attaches the stream to `fd`. `unit` and `unitName` identify it in the
  // report of a refused write; writes refused on unit 0 are ignored.
  void open(int fd, Buffering buffering, std::size_t bufferSize,
            std::int32_t unit, const char* unitName) noexcept;
  // Attaches the stream to the `size` bytes at `area`: what is written is
  // kept there in order, bytes beyond the area are dropped, and nothing goes
  // to a descriptor. Such a stream is none of the process's streams.
  void openMemory(char* area, std::size_t size) noexcept;
  // A memory stream: the bytes written so far, and the room left.
  std::size_t written() const noexcept { return used_; }
  std::size_t room() const noexcept { return capacity_ - used_; }

  // Room for up to `n` bytes at the end of the buffer, for a writer that
  // builds its bytes in place, when a block-buffered or memory stream has
  // more room than that left; nullptr otherwise. Nothing is written until
  // commit.
  char* reserve(std::size_t n) noexcept {
    const bool inPlace =
        buffering_ == Buffering::memory || (buffering_ == Buffering::block && fd_ >= 0);
    return inPlace && capacity_ - used_ > n ? buffer_ + used_ : nullptr;
  }
  // The first `n` bytes of reserve()'s room are written.
  void commit(std::size_t n) noexcept { used_ += n; }

  bool isOpen() const noexcept { return fd_ >= 0; }
  int fd() const noexcept { return fd_; }

  // Appends bytes. A full buffer, a newline on a line-buffered stream and
  // every byte of an unbuffered one are written out at once.
  void write(const char* bytes, std::size_t n) noexcept;
  void put(char c) noexcept { write(&c, 1); }

  // Writes out what the buffer holds. A refused write on any unit but 0 ends
  // the run through the failure report (unless a report is already under
  // way, when the bytes are dropped).
  void flush() noexcept;
  // Flushes, closes the descriptor and detaches the stream; close errors
  // are ignored.
  void close() noexcept;

  // Every stream that is open, for flushAllStreams.
  static void flushAll() noexcept;

 private:
  // Passes n bytes to the descriptor; a refusal is handled as flush() says.
  void writeOut(const char* bytes, std::size_t n) noexcept;

  int fd_ = -1;
  Buffering buffering_ = Buffering::block;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::int32_t unit_ = -1;
  const char* unitName_ = nullptr;
};

}  // namespace recio
