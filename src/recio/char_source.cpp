// CharSource: one internal record, or a descriptor read in blocks of 64 KiB
// with the last characters kept in front of each block for giving back.
#include "char_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "descriptor_io.h"
#include "failure.h"
#include "output_stream.h"
#include "statement_context.h"

namespace recio {

void CharSource::openRecord(const char* record, std::int32_t length) noexcept {
  unit_ = -1;
  fd_ = -1;
  terminal_ = false;
  ended_ = false;
  markPending_ = false;
  startOffset_ = 0;
  blockOffset_ = 0;
  addedLineEnd_ = nullptr;
  lastByteWasLineEnd_ = true;
  feed_ = nullptr;
  leftAt_ = -1;
  chunk_ = nullptr;
  record_ = record;
  recordLength_ = length < 0 ? 0 : length;
  recordFetched_ = 0;
  next_ = end_ = block();
}

void CharSource::openChunk(const char* bytes, std::size_t n) noexcept {
  openRecord(nullptr, 0);
  chunk_ = bytes;
  next_ = bytes;
  end_ = bytes + n;
}

void CharSource::openDescriptor(int fd, std::int32_t unit, bool terminal) noexcept {
  // Everything else starts as for an empty record, with no record.
  openRecord(nullptr, 0);
  unit_ = unit;
  fd_ = fd;
  terminal_ = terminal;
  const off_t offset = ::lseek(fd, 0, SEEK_CUR);
  startOffset_ = offset < 0 ? 0 : static_cast<std::int64_t>(offset);
}

void CharSource::moveTo(std::int64_t position) noexcept {
  if (chunk_ != nullptr) {
    next_ = chunk_ + position;
    return;
  }
  const std::int64_t fetchedEnd = blockOffset_ + (end_ - block());
  if (position <= fetchedEnd) {
    next_ = block() + (position - blockOffset_);
    return;
  }
  // Past what was fetched: the block starts again there, empty.
  blockOffset_ = position;
  next_ = end_ = block();
  lastByteWasLineEnd_ = true;
}

void CharSource::settleReadAhead() noexcept {
  struct stat status;
  if ((feed_ == nullptr && leftAt_ < 0) || fd_ < 0 || ::fstat(fd_, &status) != 0 ||
      !S_ISREG(status.st_mode)) {
    return;
  }
  const std::int64_t offset = leftAt_ >= 0 ? leftAt_ : offsetIfEndedNow();
  ::lseek(fd_, static_cast<off_t>(std::min<std::int64_t>(offset, status.st_size)), SEEK_SET);
}

std::int64_t CharSource::offsetIfEndedNow() const noexcept {
  if (fd_ < 0 || chunk_ != nullptr || record_ != nullptr) return -1;
  std::int64_t fetched = blockOffset_ + (end_ - block());
  if (addedLineEnd_ != nullptr && addedLineEnd_ >= block() && addedLineEnd_ < end_) --fetched;
  if (feed_ == nullptr) return startOffset_ + fetched;
  const std::int64_t size = std::int64_t{blockSize};
  return startOffset_ + (fetched + size - 1) / size * size;
}

bool CharSource::beginStatement() noexcept {
  if (ended_ && terminal_) ended_ = false;
  return ended_;
}

std::int64_t CharSource::position() const noexcept {
  if (chunk_ != nullptr) return next_ - chunk_;
  std::int64_t p = blockOffset_ + (next_ - block());
  if (addedLineEnd_ != nullptr) {
    if (addedLineEnd_ >= block() && addedLineEnd_ < next_) --p;
    if (addedLineEnd_ < block() && addedLineEnd_ >= next_) ++p;
  }
  return p;
}

void CharSource::updateContext(StatementContext& context) const noexcept {
  if (record_ == nullptr) return;
  const std::int64_t p = position();
  if (p <= recordLength_) {
    context.recordPosition = record_ + p;
    context.charactersTaken = static_cast<std::int32_t>(p);
  } else {
    // Past the record-end blank the record has been left behind.
    context.recordPosition = record_ + recordLength_;
    context.charactersTaken = 0;
  }
}

void CharSource::keepGiveBackArea() noexcept {
  // end_ is never before block(), so the area in front of it is always there.
  const std::ptrdiff_t shift = end_ - block();
  if (shift == 0) return;
  std::int64_t real = shift;
  if (addedLineEnd_ != nullptr && addedLineEnd_ >= block()) --real;
  blockOffset_ += real;
  std::memmove(buffer_, end_ - giveBackCapacity, giveBackCapacity);
  if (addedLineEnd_ != nullptr) {
    addedLineEnd_ -= shift;
    if (addedLineEnd_ < buffer_) addedLineEnd_ = nullptr;
  }
  next_ = end_ = block();
}

std::size_t CharSource::fetch() noexcept {
  if (record_ != nullptr) {
    // The record, then one blank for its end.
    const std::int64_t total = static_cast<std::int64_t>(recordLength_) + 1;
    std::int64_t n = total - recordFetched_;
    if (n > static_cast<std::int64_t>(blockSize)) n = blockSize;
    std::int64_t fromRecord = recordLength_ - recordFetched_;
    if (fromRecord > n) fromRecord = n;
    if (fromRecord > 0) {
      std::memcpy(block(), record_ + recordFetched_, static_cast<std::size_t>(fromRecord));
    }
    if (n > fromRecord) block()[fromRecord] = ' ';
    recordFetched_ += n;
    return static_cast<std::size_t>(n);
  }
  if (feed_ != nullptr) {
    // blockOffset_ is where the empty block starts in the stream; the fill
    // stays within the block that the descriptor's own reads would fetch.
    const auto room = blockSize - static_cast<std::size_t>(blockOffset_ % std::int64_t{blockSize});
    const long n = feed_->fill(blockOffset_, block(), room);
    if (n >= 0) return static_cast<std::size_t>(n);
    reportFailure(errno, listReadWord);
  }
  if (fd_ < 0) return 0;
  OutputStream::beforeWaitingForInput(fd_);
  const long n = readSome(fd_, block(), blockSize);
  if (n >= 0) return static_cast<std::size_t>(n);
  // A read error is not the end of the input: taking it for one would drop
  // the rest of the data without a word.
  reportFailure(errno, listReadWord);
}

int CharSource::refill() noexcept {
  if (next_ < end_) return static_cast<unsigned char>(*next_++);
  if (ended_) return endOfInput;
  if (chunk_ != nullptr) {
    ended_ = true;
    return endOfInput;
  }
  if (markPending_) {
    markPending_ = false;
    ended_ = true;
    return endOfInput;
  }
  keepGiveBackArea();
  const std::size_t n = fetch();
  if (n > 0) {
    end_ = block() + n;
    lastByteWasLineEnd_ = block()[n - 1] == '\n';
    return static_cast<unsigned char>(*next_++);
  }
  if (record_ == nullptr && !lastByteWasLineEnd_) {
    // The last line had no line end: it is completed, so that it is read.
    block()[0] = '\n';
    addedLineEnd_ = block();
    end_ = block() + 1;
    lastByteWasLineEnd_ = true;
    markPending_ = true;
    return static_cast<unsigned char>(*next_++);
  }
  ended_ = true;
  return endOfInput;
}

}  // namespace recio
