// FileChecker's reading: the window over the input, the tool's group reader
// over the window, and the line count. The reader sees the window as a
// chunk whose end is the end of its input; a group that runs into that end
// while the input goes on is read again from its start once the window
// holds more. The groups come several at a time, each with its trace, and
// are examined one after another in the loop, which has the findings'
// steps inlined (the reader's own loop stays in a function of its own).
#include "file_check.h"

#include <cerrno>
#include <cstring>

#include "failure.h"

namespace geocart::check {

namespace {

// The window is filled again when less than this is left after a group, so
// that groups rarely run into its end.
constexpr std::int64_t refillBelow = std::int64_t{64} << 10;

}  // namespace

std::int64_t FileChecker::lineEndsIn(std::int64_t from, std::int64_t to) const noexcept {
  std::int64_t count = 0;
  const char* p = window_.at(from);
  const char* const end = window_.at(to);
  while (p < end) {
    const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    if (hit == nullptr) break;
    ++count;
    p = static_cast<const char*>(hit) + 1;
  }
  return count;
}

FileChecker::Place FileChecker::placeOf(std::int64_t offset) const noexcept {
  std::int64_t start = offset;  // of the line that holds `offset`
  while (start > lineStart_ && *window_.at(start - 1) != '\n') --start;
  return {line_ + static_cast<std::uint64_t>(lineEndsIn(lineStart_, start)),
          static_cast<std::uint64_t>(offset - start) + 1};
}

bool FileChecker::check(std::string_view name, int fd, int passFd) noexcept {
  name_ = name;
  window_.open(fd, passFd);
  labels_.clear();
  point_ = PointState{};
  pointBefore_ = false;
  lineStart_ = 0;
  line_ = 1;
  pendingFirst_ = pendingCount_ = 0;
  if (window_.fill(0) == InputWindow::Fill::failed) return false;
  reportByteOrderMark();
  const bool read = checkAll();
  notePendingLabels();
  return read;
}

bool FileChecker::checkAll() noexcept {
  std::int64_t next = 0;  // where the next group's statement begins
  for (;;) {
    if (!window_.ended() && window_.end() - next < refillBelow &&
        window_.fill(next) == InputWindow::Fill::failed) {
      return false;
    }
    if (next >= window_.end() && window_.ended()) return true;
    source_.openChunk(window_.at(next), static_cast<std::size_t>(window_.end() - next));
    Group group{};
    group.chunk = next;
    for (;;) {
      group.start = group.chunk + source_.position();
      group.before = point_;
      trace_ = &traces_[0];
      group.status = groups_.readTraced(batch_, traces_, point_);
      if (group.status == recio::endOfFile && !window_.ended()) {
        // The window's end, not the input's: read the group again with more.
        // Twice what the group took so far at least, so that a long group
        // arriving in small pieces is not read again for each of them.
        point_ = group.before;
        next = group.start;
        const std::int64_t wanted = window_.end() + (window_.end() - next) + refillBelow;
        InputWindow::Fill fill;
        do fill = window_.fill(next);
        while (fill == InputWindow::Fill::more && window_.end() < wanted);
        if (fill == InputWindow::Fill::failed) return false;
        if (fill == InputWindow::Fill::full) {
          reportUnending(group);
          next = resumeAfter(group);
          if (next < 0) return false;
        }
        break;
      }
      if (group.status == recio::endOfFile && !trace_->begun) return true;
      if (group.status != recio::success) {
        examine(group);
        next = resumeAfter(group);
        if (next < 0) return false;
        break;
      }
      // The groups read, one after another, each with the point it left.
      for (std::size_t i = 0; i < batch_.count; ++i) {
        trace_ = &traces_[i];
        if (i > 0) {
          group.start = next;
          group.before = point_;
        }
        point_.point = GeodeticPoint{batch_.latitude[i], batch_.longitude[i], batch_.height[i]};
        point_.label = batch_.label[i];
        const std::uint64_t lines = examine(group);
        pointBefore_ = true;
        next = i + 1 < batch_.count ? group.chunk + trace_->restEnd
                                    : group.chunk + source_.position();
        line_ += lines;
        lineStart_ = next;
      }
      if (!window_.ended() && window_.end() - next < refillBelow) break;
    }
  }
}

std::int64_t FileChecker::firstOffset(const Group& group) const noexcept {
  const recio::ReadTrace& trace = *trace_;
  for (int i = 0; i < trace.itemCount && i < recio::ReadTrace::maxItems; ++i) {
    if (trace.items[i].start >= 0) return offsetOf(group, trace.items[i].start);
  }
  return group.start;
}

std::int64_t FileChecker::resumeAfter(const Group& group) noexcept {
  const std::int64_t first = firstOffset(group);
  line_ += static_cast<std::uint64_t>(lineEndsIn(lineStart_, first));
  std::int64_t from = first;
  for (;;) {
    const char* const p = window_.at(from);
    const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(window_.end() - from));
    if (hit != nullptr) {
      lineStart_ = from + (static_cast<const char*>(hit) + 1 - p);
      ++line_;
      return lineStart_;
    }
    if (window_.ended()) {
      lineStart_ = window_.end();
      return lineStart_;
    }
    // Nothing before the line's end is read again: the window keeps none of it.
    if (window_.fill(window_.end()) == InputWindow::Fill::failed) return -1;
    from = window_.begin();
  }
}

}  // namespace geocart::check
