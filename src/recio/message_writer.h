// MessageWriter: free-form records of text and integer items, one blank
// before the first item, lines of at most 80 columns where items allow.
#pragma once

#include <cstdint>

namespace recio {

class MessageWriter {
 public:
  // Each returns 0; a failure ends the run through the failure report.
  std::int32_t beginRecord(std::int32_t unit) noexcept;
  std::int32_t putText(const char* text, std::int32_t length) noexcept;
  std::int32_t putInteger(std::int32_t value) noexcept;
  std::int32_t endRecord() noexcept;
};

}  // namespace recio
