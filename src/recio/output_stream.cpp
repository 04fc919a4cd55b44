// OutputStream: bytes held in a static buffer and written to a descriptor
// when the buffer fills, at a newline on a line-buffered stream, at once on an
// unbuffered one, and when the stream is flushed.
#include "output_stream.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "failure.h"

namespace recio {
namespace {

// The run needs at most three buffered streams at once (standard output and
// two files connected by number); the buffers cost no memory until touched.
constexpr std::size_t bufferCount = 3;
alignas(64) char bufferPool[bufferCount][OutputStream::maxBufferSize];
bool bufferTaken[bufferCount] = {};

// Every open stream, so that flushAll reaches streams outside the unit table.
constexpr std::size_t registryCapacity = 8;
OutputStream* openStreams[registryCapacity] = {};

char* takeBuffer() noexcept {
  for (std::size_t i = 0; i < bufferCount; ++i) {
    if (!bufferTaken[i]) {
      bufferTaken[i] = true;
      return bufferPool[i];
    }
  }
  return nullptr;
}

void releaseBuffer(char* buffer) noexcept {
  for (std::size_t i = 0; i < bufferCount; ++i) {
    if (buffer == bufferPool[i]) bufferTaken[i] = false;
  }
}

bool enrol(OutputStream* stream) noexcept {
  for (OutputStream*& slot : openStreams) {
    if (slot == nullptr) {
      slot = stream;
      return true;
    }
  }
  return false;
}

void withdraw(OutputStream* stream) noexcept {
  for (OutputStream*& slot : openStreams) {
    if (slot == stream) slot = nullptr;
  }
}

// Writes all n bytes, or returns the errno of the refusal. A descriptor that
// was set non-blocking by whoever started us is waited for, not given up on.
int writeFully(int fd, const char* bytes, std::size_t n) noexcept {
  while (n > 0) {
    const ssize_t written = ::write(fd, bytes, n);
    if (written > 0) {
      bytes += written;
      n -= static_cast<std::size_t>(written);
      continue;
    }
    if (written == 0) return EIO;  // no progress and no reason given
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      pollfd waitFor{fd, POLLOUT, 0};
      while (::poll(&waitFor, 1, -1) < 0 && errno == EINTR) {
      }
      continue;
    }
    return error;
  }
  return 0;
}

}  // namespace

void OutputStream::open(int fd, Buffering buffering, std::size_t bufferSize,
                        std::int32_t unit, const char* unitName) noexcept {
  fd_ = fd;
  unit_ = unit;
  unitName_ = unitName;
  used_ = 0;
  buffer_ = nullptr;
  capacity_ = 0;
  buffering_ = Buffering::none;
  if (buffering != Buffering::none && enrol(this)) {
    buffer_ = takeBuffer();
    if (buffer_ != nullptr) {
      buffering_ = buffering;
      capacity_ = std::clamp<std::size_t>(bufferSize, 1, maxBufferSize);
    } else {
      withdraw(this);
    }
  }
  // Without a buffer (none asked for, or the pool is spent) every byte goes
  // out at once, which loses nothing.
}

void OutputStream::openMemory(char* area, std::size_t size) noexcept {
  fd_ = -1;
  unit_ = -1;
  unitName_ = nullptr;
  buffering_ = Buffering::memory;
  buffer_ = area;
  capacity_ = size;
  used_ = 0;
}

void OutputStream::write(const char* bytes, std::size_t n) noexcept {
  // Block-buffered with room to spare: the bytes only join the buffer (a
  // buffer filled to the last byte is written out below, as always).
  if (buffering_ == Buffering::block && n < capacity_ - used_ && fd_ >= 0) [[likely]] {
    std::memcpy(buffer_ + used_, bytes, n);
    used_ += n;
    return;
  }
  if (buffering_ == Buffering::memory) {
    n = std::min(n, capacity_ - used_);
    std::memcpy(buffer_ + used_, bytes, n);
    used_ += n;
    return;
  }
  if (fd_ < 0 || n == 0) return;
  if (buffering_ == Buffering::none) {
    writeOut(bytes, n);
    return;
  }
  while (n > 0) {
    if (buffering_ == Buffering::block && used_ == 0 && n >= capacity_) {
      // A whole buffer's worth goes out from the caller's bytes, in the same
      // write as when copied into the buffer and written at once.
      writeOut(bytes, capacity_);
      bytes += capacity_;
      n -= capacity_;
      continue;
    }
    std::size_t chunk = std::min(n, capacity_ - used_);
    bool endsLine = false;
    if (buffering_ == Buffering::line) {
      const void* newline = std::memchr(bytes, '\n', chunk);
      if (newline != nullptr) {
        chunk = static_cast<std::size_t>(static_cast<const char*>(newline) - bytes) + 1;
        endsLine = true;
      }
    }
    std::memcpy(buffer_ + used_, bytes, chunk);
    used_ += chunk;
    bytes += chunk;
    n -= chunk;
    if (used_ == capacity_ || endsLine) flush();
  }
}

void OutputStream::flush() noexcept {
  if (fd_ < 0 || used_ == 0) return;
  // Emptied first: should the write be refused, the report that follows
  // flushes every stream again and must find nothing left here.
  const std::size_t n = used_;
  used_ = 0;
  writeOut(buffer_, n);
}

void OutputStream::writeOut(const char* bytes, std::size_t n) noexcept {
  const int error = writeFully(fd_, bytes, n);
  if (error == 0) return;
  // Standard error's refusals lose the bytes silently, and while a report is
  // being written a second report is not started.
  if (unit_ == 0 || failureInProgress()) return;
  reportRefusedWrite(unit_, unitName_, error);
}

void OutputStream::close() noexcept {
  if (fd_ < 0) return;
  flush();
  ::close(fd_);
  withdraw(this);
  releaseBuffer(buffer_);
  buffer_ = nullptr;
  capacity_ = 0;
  used_ = 0;
  fd_ = -1;
}

void OutputStream::flushAll() noexcept {
  for (OutputStream* stream : openStreams) {
    if (stream != nullptr) stream->flush();
  }
}

}  // namespace recio
