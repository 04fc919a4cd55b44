// FieldEditor: writes one fixed-layout record to standard output from a
// format that is a constant table of edit descriptors.
#pragma once

#include <cstdint>
#include <span>

namespace recio {

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

class FieldEditor {
 public:
  // Starts a record on `unit` (6: standard output) with `format`.
  void beginRecord(std::int32_t unit, const Format& format) noexcept;
  void putReal(double x) noexcept;
  void putText(const char* text, std::int32_t length) noexcept;
  // Ends the record with a newline.
  void endRecord() noexcept;
};

}  // namespace recio
