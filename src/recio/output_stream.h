// A buffered output stream on a descriptor: unbuffered, line-buffered or
// block-buffered; the buffer of such a stream lives in static storage. Or a
// stream into an area of memory of the caller's own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio {

enum class Buffering { none, line, block, memory };

// How the full blocks of a block-buffered stream reach the descriptor.
enum class BlockWrites {
  one,      // each block in a write of its own, as soon as it is full
  several,  // full blocks held back and handed over several to a call
};

// The reading's side of one write() that stands for the writes of several
// statements, each of which wrote its record with the reading after its own
// input: a converter that writes the lines of many groups at once.
class ReadingPerByte {
 public:
  // Moves the reading to where it stood when the statement that wrote the
  // call's byte number `end - 1` (counted from 0) wrote it.
  virtual void readingAfterByte(std::size_t end) noexcept = 0;

 protected:
  ~ReadingPerByte() = default;
};

class OutputStream {
 public:
  // Largest buffer a stream uses; a destination that prefers more gets this.
  static constexpr std::size_t maxBufferSize = 1 << 20;
  // With BlockWrites::several: the most bytes of full blocks handed to the
  // descriptor in one call, and so the most the buffer holds. Writing 59 MB
  // to a file on ext4 costs the kernel about a sixth as much in calls of
  // 64 blocks of 4 KiB as in calls of one, and no less in larger calls
  // (bench/write_blocks.cpp).
  static constexpr std::size_t defaultBytesAWrite = std::size_t{256} << 10;
  // The most blocks held back at once, whatever the block size.
  static constexpr std::size_t mostBlocksHeld = 256;

  // Sets the bound of defaultBytesAWrite for the streams opened afterwards
  // (for tests and measurements; the tool keeps the default). A bound of
  // less than two blocks gives one write a block.
  static void setBytesAWrite(std::size_t bytes) noexcept;

  // Attaches the stream to `fd`. `unit` and `unitName` identify it in the
  // report of a refused write; writes refused on unit 0 are ignored.
  // `bufferSize` is the block size; `writes` matters only for a
  // block-buffered stream.
  void open(int fd, Buffering buffering, std::size_t bufferSize, std::int32_t unit,
            const char* unitName, BlockWrites writes = BlockWrites::one) noexcept;
  // Attaches the stream to the `size` bytes at `area`: what is written is
  // kept there in order, bytes beyond the area are dropped, and nothing goes
  // to a descriptor. Such a stream is none of the process's streams.
  void openMemory(char* area, std::size_t size) noexcept;
  // A memory stream: the bytes written so far.
  std::size_t written() const noexcept { return used_; }
  // The room left before the buffer's current block ends (a memory stream:
  // before its area ends).
  std::size_t room() const noexcept { return limit_ - used_; }

  // Room for up to `n` bytes at the end of the buffer, for a writer that
  // builds its bytes in place, when a block-buffered or memory stream has
  // more room than that left in its current block; nullptr otherwise.
  // Nothing is written until commit, and a commit never fills the block.
  char* reserve(std::size_t n) noexcept {
    const bool inPlace =
        buffering_ == Buffering::memory || (buffering_ == Buffering::block && fd_ >= 0);
    return inPlace && limit_ - used_ > n ? buffer_ + used_ : nullptr;
  }
  // The first `n` bytes of reserve()'s room are written.
  void commit(std::size_t n) noexcept { used_ += n; }

  bool isOpen() const noexcept { return fd_ >= 0; }
  Buffering buffering() const noexcept { return buffering_; }
  int fd() const noexcept { return fd_; }

  // Appends bytes. A full block, a newline on a line-buffered stream and
  // every byte of an unbuffered one are written out at once; with
  // BlockWrites::several full blocks wait until the bound's worth of them
  // are full.
  void write(const char* bytes, std::size_t n) noexcept;
  // As write(), for a block-buffered or line-buffered stream whose bytes
  // stand for several statements' records: before a block (or a line) that
  // they fill is held, or its refused write reported, the reading is moved
  // to where it stood when the byte that filled it was written, so that a
  // refusal leaves it where the statements would have. An unbuffered
  // stream writes the bytes at once: a caller writes each record apart.
  void write(const char* bytes, std::size_t n, ReadingPerByte& reading) noexcept;
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
  // The full blocks that every stream holds back are written, the part of a
  // block after them stays: before a failure report, so that the report
  // comes where it came when each block had its own write, or is the
  // report of a refused write in its place.
  static void writeFullBlocksOfAll() noexcept;
  // Before a read of `fd` that may wait for input: when a stream holds back
  // full blocks and `fd` has nothing to read at once, they are written, so
  // that whoever reads the destination has them no later than with one
  // write a block.
  static void beforeWaitingForInput(int fd) noexcept;

 private:
  // Passes n bytes to the descriptor; a refusal is handled as flush() says,
  // with the reading first moved after the caller's byte before `filledBy`
  // when that byte filled the block (or ended the line).
  void writeOut(const char* bytes, std::size_t n, const char* filledBy = nullptr) noexcept;
  // The buffer's bytes, with one write a block: writeOut of them, emptied.
  void writeBuffer(const char* filledBy) noexcept;
  // Where the caller's bytes up to `end` fill a block (or end a line) that is
  // held, or whose refused write is reported: the reading follows them, when
  // the caller said how.
  void followReading(const char* end) noexcept {
    if (reading_ != nullptr) reading_->readingAfterByte(static_cast<std::size_t>(end - callStart_));
  }
  void writeSeveral(const char* bytes, std::size_t n) noexcept;
  bool handOver(std::size_t held, const char* more, std::size_t n) noexcept;
  void writeFullBlocks() noexcept;
  void refused(int error, std::int64_t readingMark) noexcept;

  int fd_ = -1;
  Buffering buffering_ = Buffering::block;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t limit_ = 0;  // where the current block ends in the buffer
  std::size_t used_ = 0;
  // BlockWrites::several: the block size, and for each full block held the
  // reading's mark when it filled. 0 and nullptr for one write a block.
  std::size_t block_ = 0;
  std::int64_t* marks_ = nullptr;
  std::int32_t unit_ = -1;
  const char* unitName_ = nullptr;
  // During write(bytes, n, reading): the reading and the call's first byte.
  ReadingPerByte* reading_ = nullptr;
  const char* callStart_ = nullptr;
};

}  // namespace recio
