// OutputStream: bytes held in a static buffer and written to a descriptor
// when a block fills (or, blocks going several to a call, when the bound's
// worth of blocks have filled), at a newline on a line-buffered stream, at
// once on an unbuffered one, and when the stream is flushed.
#include "output_stream.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "descriptor_io.h"
#include "failure.h"

namespace recio {
namespace {

// The run needs at most three buffered streams at once (standard output and
// two files connected by number); the buffers cost no memory until touched.
constexpr std::size_t bufferCount = 3;
alignas(64) char bufferPool[bufferCount][OutputStream::maxBufferSize];
std::int64_t markPool[bufferCount][OutputStream::mostBlocksHeld];
bool bufferTaken[bufferCount] = {};

std::size_t bytesAWrite = OutputStream::defaultBytesAWrite;

// Every open stream, so that flushAll reaches streams outside the unit table.
constexpr std::size_t registryCapacity = 8;
OutputStream* openStreams[registryCapacity] = {};

// The index of a free buffer of the pool, or bufferCount when none is left.
std::size_t takeBuffer() noexcept {
  for (std::size_t i = 0; i < bufferCount; ++i) {
    if (!bufferTaken[i]) {
      bufferTaken[i] = true;
      return i;
    }
  }
  return bufferCount;
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

}  // namespace

void OutputStream::setBytesAWrite(std::size_t bytes) noexcept {
  bytesAWrite = std::min(bytes, maxBufferSize);
}

void OutputStream::open(int fd, Buffering buffering, std::size_t bufferSize,
                        std::int32_t unit, const char* unitName, BlockWrites writes) noexcept {
  fd_ = fd;
  unit_ = unit;
  unitName_ = unitName;
  used_ = 0;
  buffer_ = nullptr;
  capacity_ = 0;
  limit_ = 0;
  block_ = 0;
  marks_ = nullptr;
  buffering_ = Buffering::none;
  if (buffering != Buffering::none && enrol(this)) {
    const std::size_t taken = takeBuffer();
    if (taken < bufferCount) {
      buffer_ = bufferPool[taken];
      buffering_ = buffering;
      capacity_ = std::clamp<std::size_t>(bufferSize, 1, maxBufferSize);
      const std::size_t blocks = std::min(bytesAWrite / capacity_, mostBlocksHeld);
      if (buffering == Buffering::block && writes == BlockWrites::several && blocks >= 2) {
        block_ = capacity_;
        capacity_ *= blocks;
        marks_ = markPool[taken];
      }
      limit_ = block_ != 0 ? block_ : capacity_;
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
  limit_ = size;
  used_ = 0;
  block_ = 0;
  marks_ = nullptr;
}

void OutputStream::write(const char* bytes, std::size_t n) noexcept {
  // Block-buffered with room to spare in the block: the bytes only join the
  // buffer (a block filled to the last byte is dealt with below, as always).
  if (buffering_ == Buffering::block && n < limit_ - used_ && fd_ >= 0) [[likely]] {
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
  if (block_ != 0) {
    writeSeveral(bytes, n);
    return;
  }
  while (n > 0) {
    if (buffering_ == Buffering::block && used_ == 0 && n >= capacity_) {
      // A whole buffer's worth goes out from the caller's bytes, in the same
      // write as when copied into the buffer and written at once.
      writeOut(bytes, capacity_, bytes + capacity_);
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
    if (used_ == capacity_ || endsLine) writeBuffer(bytes);
  }
}

void OutputStream::write(const char* bytes, std::size_t n, ReadingPerByte& reading) noexcept {
  reading_ = &reading;
  callStart_ = bytes;
  write(bytes, n);
  reading_ = nullptr;
}

// Blocks several to a call. A block that fills is held, marked with where
// the reading stands at that moment, until the bound's worth of blocks are
// full; then every full block in hand goes out, the caller's too, the
// bound's worth to a call, and only the part of a block after them stays.
void OutputStream::writeSeveral(const char* bytes, std::size_t n) noexcept {
  const std::size_t total = used_ + n;
  if (total < capacity_) {
    std::memcpy(buffer_ + used_, bytes, n);
    if (total >= limit_) {
      for (std::size_t b = used_ / block_; b < total / block_; ++b) {
        followReading(bytes + ((b + 1) * block_ - used_));
        marks_[b] = readingMark();
      }
      limit_ = (total / block_ + 1) * block_;
    }
    used_ = total;
    return;
  }
  const std::size_t fromCaller = total / block_ * block_ - used_;
  if (!handOver(used_, bytes, fromCaller)) return;
  used_ = n - fromCaller;
  std::memcpy(buffer_, bytes + fromCaller, used_);
}

// Hands the first `held` bytes of the buffer and then the caller's `n` to
// the descriptor, having emptied the buffer first: should the write be
// refused, the report that follows flushes every stream again and must find
// nothing left here. A refusal is reported as the write of the block that
// met it would have been reported: a block held since it filled, with the
// reading as it stood then. False after a refusal.
bool OutputStream::handOver(std::size_t held, const char* more, std::size_t n) noexcept {
  const std::size_t heldBlocks = held / block_;
  used_ = 0;
  limit_ = block_;
  iovec pieces[2] = {{buffer_, held}, {const_cast<char*>(more), n}};
  std::size_t done = 0;
  const int error = writeAll(fd_, pieces, capacity_, done);
  if (error == 0) return true;
  const std::size_t refusedBlock = done / block_;
  if (refusedBlock >= heldBlocks && more != nullptr) {
    followReading(more + ((refusedBlock + 1) * block_ - held));
  }
  refused(error, refusedBlock < heldBlocks ? marks_[refusedBlock] : noReadingMark);
  return false;
}

void OutputStream::writeFullBlocks() noexcept {
  if (block_ == 0 || fd_ < 0 || used_ < block_) return;
  const std::size_t held = used_;
  const std::size_t full = held / block_ * block_;
  if (!handOver(full, nullptr, 0)) return;
  used_ = held - full;
  std::memmove(buffer_, buffer_ + full, used_);
}

void OutputStream::flush() noexcept {
  if (fd_ < 0 || used_ == 0) return;
  if (block_ != 0) {
    handOver(used_, nullptr, 0);
    return;
  }
  writeBuffer(nullptr);
}

void OutputStream::writeBuffer(const char* filledBy) noexcept {
  // Emptied first, as in handOver.
  const std::size_t n = used_;
  used_ = 0;
  writeOut(buffer_, n, filledBy);
}

void OutputStream::writeOut(const char* bytes, std::size_t n, const char* filledBy) noexcept {
  const int error = writeAll(fd_, bytes, n);
  if (error == 0) return;
  if (filledBy != nullptr) followReading(filledBy);
  refused(error, noReadingMark);
}

void OutputStream::refused(int error, std::int64_t readingMark) noexcept {
  // Standard error's refusals lose the bytes silently, and while a report is
  // being written a second report is not started.
  if (unit_ == 0 || failureInProgress()) return;
  reportRefusedWrite(unit_, unitName_, error, readingMark);
}

void OutputStream::close() noexcept {
  if (fd_ < 0) return;
  flush();
  ::close(fd_);
  withdraw(this);
  releaseBuffer(buffer_);
  buffer_ = nullptr;
  capacity_ = 0;
  limit_ = 0;
  used_ = 0;
  block_ = 0;
  marks_ = nullptr;
  fd_ = -1;
}

void OutputStream::flushAll() noexcept {
  for (OutputStream* stream : openStreams) {
    if (stream != nullptr) stream->flush();
  }
}

void OutputStream::writeFullBlocksOfAll() noexcept {
  for (OutputStream* stream : openStreams) {
    if (stream != nullptr) stream->writeFullBlocks();
  }
}

void OutputStream::beforeWaitingForInput(int fd) noexcept {
  const bool holding = std::any_of(std::begin(openStreams), std::end(openStreams),
                                   [](const OutputStream* stream) {
                                     return stream != nullptr && stream->block_ != 0 &&
                                            stream->used_ >= stream->block_;
                                   });
  if (!holding) return;
  pollfd input{fd, POLLIN, 0};
  if (::poll(&input, 1, 0) > 0) return;
  writeFullBlocksOfAll();
}

}  // namespace recio
