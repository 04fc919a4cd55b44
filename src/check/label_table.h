// LabelTable: the labels of one input that fill all 8 columns of the result
// line, by what is printed of them, so that two different labels that print
// alike are found. Its room is bounded: one area of 32 MiB, of which a page
// takes memory only once a label lands in it; 16 bytes a label, for at most
// mostLabels labels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace geocart::check {

class LabelTable {
 public:
  // 2^21 entries of 16 bytes, at most three quarters of them used.
  static constexpr std::size_t entryCount = std::size_t{1} << 21;
  static constexpr std::size_t mostLabels = entryCount / 4 * 3;

  LabelTable() = default;
  LabelTable(const LabelTable&) = delete;
  LabelTable& operator=(const LabelTable&) = delete;
  ~LabelTable();

  // What the table knew of a printed label before it was noted.
  struct Earlier {
    bool differs = false;     // a different label printed alike was noted
    std::uint64_t line = 0;   // the line of the first label printed alike
  };
  // The line of a label beyond this one is not kept exactly.
  static constexpr std::uint64_t lastKeptLine = 0xFFFFFFFFu;

  // Asks for the entry where the label printed as `printed` lies, so that
  // noting it soon after need not wait for memory.
  void prefetch(std::uint64_t printed) const noexcept;

  // Notes the label printed as the 8 characters `printed` on `line`, whose
  // whole text is `printed` itself when `whole` is 0, or another, longer
  // text with the hash `whole` (not 0). Once the table is full, labels are
  // still compared with those in it but no longer added.
  Earlier note(std::uint64_t printed, std::uint64_t whole, std::uint64_t line) noexcept;

  // The table has been full since a label on this line (0: never).
  std::uint64_t fullSince() const noexcept { return fullSince_; }

  // Forgets every label, and gives the memory back.
  void clear() noexcept;

 private:
  // Printed characters never hold a NUL (a text is cut before one), so an
  // entry whose `printed` is 0 is free.
  struct Entry {
    std::uint64_t printed;
    std::uint32_t whole;  // 0: the label is its printed characters
    std::uint32_t line;   // lastKeptLine for any line after it
  };

  Entry* entries_ = nullptr;
  bool unavailable_ = false;  // the area could not be had
  std::size_t count_ = 0;
  std::uint64_t fullSince_ = 0;
};

}  // namespace geocart::check
