// FieldEditor: writes one fixed-layout record to standard output from a
// format that is a constant table of edit descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace recio {

class OutputStream;
class ReadingPerByte;

struct EditDescriptor {
  enum class Kind { f, x, a };
  Kind kind;
  std::int32_t repeat;
  std::int32_t width;     // F and A: field width; X: columns to move
  std::int32_t decimals;  // F only
};

struct Format {
  const char* text;  // as the failure report shows it
  std::span<const EditDescriptor> descriptors;
};

// (3F15.4) and (3F15.4,5X,A8).
extern const Format threeReals;
extern const Format threeRealsAndLabel;

// F w.d editing of `x` into exactly `width` characters at `field`, rounded
// from the exact binary value, ties to even; asterisks when it does not fit.
void editFixed(double x, std::int32_t width, std::int32_t decimals,
               char* field) noexcept;

// Hands `n` bytes of whole records, edited elsewhere with `format` (or
// another of the formats), to `unit` as the statements that would have
// written them: the unit is obtained as beginRecord obtains it, and the
// bytes go to its stream in order.
void writeEditedRecords(std::int32_t unit, const Format& format, const char* records,
                        std::size_t n) noexcept;
// The same, the records standing for as many statements, with the reading
// where each of them stood (OutputStream::write with a ReadingPerByte).
void writeEditedRecords(std::int32_t unit, const Format& format, const char* records,
                        std::size_t n, ReadingPerByte& reading) noexcept;

// The longest record of the two built-in formats, its newline included.
inline constexpr std::size_t longestBuiltInRecord = 3 * 15 + 5 + 8 + 1;

// One whole record of (3F15.4) with x, y, z or of (3F15.4,5X,A8) with them
// and the `length` characters of `text`, edited at `at`, which has room for
// longestBuiltInRecord bytes (see fixed_record_fast_path.cpp): the bytes
// FieldEditor's beginRecord, one value operation per value and endRecord
// give. Returns their count; 0, having written nothing, when `format` is
// neither of the two.
std::size_t editRecord(char* at, const Format& format, double x, double y, double z,
                       const char* text, std::int32_t length) noexcept;

class FieldEditor {
 public:
  // Starts a record on `unit` (6: standard output) with `format`.
  void beginRecord(std::int32_t unit, const Format& format) noexcept;
  void putReal(double x) noexcept;
  void putText(const char* text, std::int32_t length) noexcept;
  // Ends the record with a newline.
  void endRecord() noexcept;

 private:
  // The record is built in the stream's buffer when it has room for this
  // much, else here and handed to the stream at its end (or in pieces when
  // it outgrows this area); either way the stream is the only buffer.
  static constexpr std::size_t recordCapacity = 256;

  void startWalk(const Format& format) noexcept;
  const EditDescriptor* nextDataDescriptor() noexcept;
  void carryOutPendingMove() noexcept;
  void putRealInGeneral(double x) noexcept;
  void putWideReal(double x, std::int32_t width, std::int32_t decimals) noexcept;
  void spill() noexcept;
  void fill(char c, std::int64_t count) noexcept;
  void copy(const char* bytes, std::size_t count) noexcept;

  OutputStream* output_ = nullptr;
  const EditDescriptor* descriptor_ = nullptr;  // where the walk stands
  const EditDescriptor* end_ = nullptr;
  std::int32_t remaining_ = 0;    // repetitions left of *descriptor_
  std::int64_t pendingMove_ = 0;  // columns to skip before the next field
  std::size_t used_ = 0;
  char* record_ = ownArea_;  // the stream's room or ownArea_
  char ownArea_[recordCapacity];
};

}  // namespace recio
