// LabelTable: open addressing with linear probing over one table of fixed
// size, allocated zeroed so that the pages no label reached cost nothing.
#include "label_table.h"

#include <sys/mman.h>

#include <cstdlib>

namespace geocart::check {

namespace {

std::size_t slotOf(std::uint64_t printed) noexcept {
  // Labels differ mostly in a few characters: every bit is mixed into the
  // low ones that choose the slot (a 64-bit finaliser of two multiplies).
  std::uint64_t x = printed;
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDull;
  x ^= x >> 33;
  x *= 0xC4CEB9FE1A85EC53ull;
  x ^= x >> 33;
  return static_cast<std::size_t>(x) & (LabelTable::entryCount - 1);
}

}  // namespace

constexpr std::size_t tableBytes = LabelTable::entryCount * 16;

LabelTable::~LabelTable() { clear(); }

void LabelTable::clear() noexcept {
  if (entries_ != nullptr) ::munmap(entries_, tableBytes);
  entries_ = nullptr;
  unavailable_ = false;
  count_ = 0;
  fullSince_ = 0;
}

void LabelTable::prefetch(std::uint64_t printed) const noexcept {
  if (entries_ != nullptr) __builtin_prefetch(&entries_[slotOf(printed)]);
}

LabelTable::Earlier LabelTable::note(std::uint64_t printed, std::uint64_t whole,
                                     std::uint64_t line) noexcept {
  const std::uint32_t wholeId = whole == 0 ? 0 : (static_cast<std::uint32_t>(whole >> 32) | 1);
  Earlier earlier;
  if (entries_ == nullptr && !unavailable_) {
    // Zero pages, mapped as labels reach them; where the system offers it,
    // in large pages, which the random order of the labels needs.
    void* area = ::mmap(nullptr, tableBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
      ::madvise(area, tableBytes, MADV_HUGEPAGE);
#endif
      entries_ = static_cast<Entry*>(area);
    }
    unavailable_ = entries_ == nullptr;
  }
  if (entries_ == nullptr) {
    if (fullSince_ == 0) fullSince_ = line;
    return earlier;
  }
  // Nothing is ever removed, so the free entry a search ends at is where a
  // new label goes.
  std::size_t j = slotOf(printed);
  for (; entries_[j].printed != 0; j = (j + 1) & (entryCount - 1)) {
    const Entry& e = entries_[j];
    if (e.printed != printed) continue;
    earlier.line = e.line;
    // Two labels differ when one is cut and the other is not, or both are
    // cut from different texts.
    earlier.differs = e.whole != wholeId;
    return earlier;
  }
  if (count_ == mostLabels) {
    if (fullSince_ == 0) fullSince_ = line;
    return earlier;
  }
  entries_[j] = {printed, wholeId,
                 static_cast<std::uint32_t>(line < lastKeptLine ? line : lastKeptLine)};
  ++count_;
  return earlier;
}

}  // namespace geocart::check
