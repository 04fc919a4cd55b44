// CharSource: the characters a free-form read takes, one at a time, with
// characters given back. One internal record, a descriptor read in large
// blocks (from the descriptor itself or from a feed that reads it for the
// source), or a chunk of bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio {

struct StatementContext;

// Where a descriptor's source gets its bytes when it does not read them
// itself: the stream is the same, only the reads are someone else's.
class ByteFeed {
 public:
  // Up to `room` bytes of the stream from `offset` on (counted from where
  // the source was opened) into `into`: returns the count, 0 at the end of
  // the input, or -1 with errno set when reading was refused.
  virtual long fill(std::int64_t offset, char* into, std::size_t room) noexcept = 0;

 protected:
  ~ByteFeed() = default;
};

// The end-of-input mark; characters are 0 to 255.
inline constexpr int endOfInput = -1;

class CharSource {
 public:
  // Characters that can always be given back in one go: one numeric field
  // of 512 characters and the character read after it, with room to spare.
  static constexpr std::size_t giveBackCapacity = 1024;

  // An internal record: its `length` characters, then one blank standing for
  // the record end, then the end-of-input mark for ever.
  void openRecord(const char* record, std::int32_t length) noexcept;

  // The bytes of descriptor `fd` for unit `unit`. A last line without a line
  // end is completed by a line end that is not a byte of the stream.
  void openDescriptor(int fd, std::int32_t unit, bool terminal) noexcept;

  // From now on the descriptor's bytes come from `feed` (nullptr: from the
  // descriptor again); positions and the descriptor stay the stream's. The
  // source asks the feed for no block that its own reads would not have
  // fetched whole: a fill ends at the next multiple of the block size.
  void readThrough(ByteFeed* feed) noexcept { feed_ = feed; }

  // While reading through a feed from a regular file: sets the descriptor's
  // offset where the source's own reads would have left it (the end of the
  // block holding the last byte fetched, or the end of the file), so that
  // whoever reads the file next starts there, not after the feed's reads
  // ahead. A pipe cannot take bytes back; nothing is done for it.
  // After leaveAt, the offset of a regular file is set where leaveAt says
  // instead, whether or not the source reads through a feed.
  void settleReadAhead() noexcept;

  // The offset at which the descriptor would be left if the run ended now:
  // where the source's own reads have left it, or through a feed would have
  // (before settleReadAhead's clamp to the file's size); -1 for a source
  // that is not a descriptor.
  std::int64_t offsetIfEndedNow() const noexcept;
  // The run ends with the reading as it stood at `offset`, a value of
  // offsetIfEndedNow: settleReadAhead leaves the descriptor there.
  void leaveAt(std::int64_t offset) noexcept { leftAt_ = offset; }

  // `n` bytes in memory, read like a stream whose end has not come yet: no
  // line end is added, and the end-of-input mark follows the last byte. The
  // bytes must outlive the reading; positions count from the first.
  void openChunk(const char* bytes, std::size_t n) noexcept;

  // Takes the bytes up to `position` as read. `position` is at least
  // position(), the byte before it is a line end, and the end of the input
  // has not been met; the bytes between need not have been fetched.
  void moveTo(std::int64_t position) noexcept;

  // The next character, 0 to 255, or endOfInput.
  int get() noexcept {
    if (next_ < end_) return static_cast<unsigned char>(*next_++);
    return refill();
  }

  // Gives back `c`, the character most recently taken and not given back.
  // Giving back the end-of-input mark does nothing: the source stays ended.
  void unget(int c) noexcept {
    if (c != endOfInput) --next_;
  }

  // The characters already fetched and not yet taken, in order, for a reader
  // that examines several at once: [buffered(), bufferedEnd()). skip(n) of
  // n <= bufferedEnd() - buffered() takes them exactly as n calls of get()
  // would. The end-of-input mark is never among them; an empty range says
  // nothing about the end of input (get() fetches the next block).
  const char* buffered() const noexcept { return next_; }
  const char* bufferedEnd() const noexcept { return end_; }
  void skip(std::size_t n) noexcept { next_ += n; }

  // A new statement begins: a terminal that gave the end-of-input mark may
  // be read again; any other ended stream stays ended.
  // Returns true when the source has ended for good.
  bool beginStatement() noexcept;

  bool isInternal() const noexcept { return record_ != nullptr; }
  std::int32_t unit() const noexcept { return unit_; }
  int fd() const noexcept { return fd_; }

  // Bytes taken from the stream so far, given-back ones not counted and the
  // added line end never counted.
  std::int64_t position() const noexcept;
  // The descriptor's file offset when the stream was opened.
  std::int64_t startOffset() const noexcept { return startOffset_; }

  // Internal records: puts the record position and the count of characters
  // taken into the context, for a failure report.
  void updateContext(StatementContext& context) const noexcept;

 private:
  int refill() noexcept;
  // Moves the last giveBackCapacity characters in front of the block so
  // that they can still be given back once the block is refilled.
  void keepGiveBackArea() noexcept;
  // Fills the block from the record or the descriptor; returns the count,
  // 0 when the stream is exhausted.
  std::size_t fetch() noexcept;
  char* block() noexcept { return buffer_ + giveBackCapacity; }
  const char* block() const noexcept { return buffer_ + giveBackCapacity; }

  static constexpr std::size_t blockSize = 1 << 16;

  const char* next_ = nullptr;
  const char* end_ = nullptr;
  std::int32_t unit_ = -1;
  int fd_ = -1;
  bool terminal_ = false;
  bool ended_ = false;       // the end-of-input mark has been given
  bool markPending_ = false;  // exhausted; the mark follows the added line end
  std::int64_t startOffset_ = 0;
  // Characters of the stream (added line ends not counted) before block().
  std::int64_t blockOffset_ = 0;
  const char* addedLineEnd_ = nullptr;  // the line end that is not a byte
  bool lastByteWasLineEnd_ = true;
  ByteFeed* feed_ = nullptr;
  std::int64_t leftAt_ = -1;  // leaveAt's offset; -1: none
  const char* chunk_ = nullptr;   // a chunk: its first byte
  const char* record_ = nullptr;  // internal: the caller's record
  std::int32_t recordLength_ = 0;
  std::int64_t recordFetched_ = 0;  // internal: characters copied, blank included
  char buffer_[giveBackCapacity + blockSize];
};

}  // namespace recio
