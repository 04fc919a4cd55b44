// The field editor: the two built-in formats, the walk through a format, and
// F and A editing of one fixed-layout record.
#include "field_editor.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "f15_4_editing.h"
#include "fixed_fast_path.h"
#include "fixed_layout.h"
#include "output_stream.h"
#include "short_copy.h"
#include "statement_context.h"
#include "units.h"

namespace recio {

namespace {

using Kind = EditDescriptor::Kind;

constexpr EditDescriptor threeRealsTable[] = {
    {Kind::f, 3, 15, 4},
};

constexpr EditDescriptor threeRealsAndLabelTable[] = {
    {Kind::f, 3, 15, 4},
    {Kind::x, 1, 5, 0},
    {Kind::a, 1, 8, 0},
};

// A double has no non-zero decimal digit beyond the 1074th after the point.
constexpr std::int32_t exactDecimals = 1074;
// Sign, the 309 integer digits of the largest double, point, the fraction
// digits, and a spare byte.
constexpr std::size_t scratchSize = 1 + 309 + 1 + exactDecimals + 1;

// An F w.d field as pieces, so that a field wider than any buffer can be
// written piece by piece: `fillCount` of `fill`, the body, `zeros` zero
// digits, then `blanksAfter` blanks.
struct FixedField {
  char fill = ' ';
  std::int64_t fillCount = 0;
  const char* body = "";
  std::size_t bodyLength = 0;
  std::int64_t zeros = 0;
  std::int64_t blanksAfter = 0;
};

FixedField asteriskField(std::int32_t width) noexcept {
  FixedField field;
  field.fill = '*';
  field.fillCount = width;
  return field;
}

// F w.d for every double and every w > 0 and d >= 0. The digits come from
// the correctly rounded fixed conversion of the standard library (exact
// binary value, ties to even); the body is laid out in `scratch`, which
// holds scratchSize bytes.
FixedField editExact(double x, std::int32_t width, std::int32_t decimals,
                     char* scratch) noexcept {
  const bool signBit = std::signbit(x);
  if (!std::isfinite(x)) {
    if (width < 4) return asteriskField(width);
    const char* word = std::isnan(x) ? "NaN" : decimals < 8 ? "Inf" : "Infinity";
    char* p = scratch;
    if (signBit) *p++ = '-';
    const std::size_t wordLength = std::strlen(word);
    std::memcpy(p, word, wordLength);
    p += wordLength;
    FixedField field;
    field.body = scratch;
    field.bodyLength = std::min(static_cast<std::size_t>(p - scratch),
                                static_cast<std::size_t>(width));
    field.blanksAfter = width - static_cast<std::int64_t>(field.bodyLength);
    return field;
  }

  // No value fits where a zero without a sign does not: decide such fields
  // before converting anything.
  if (!fixed::fixedLayout(width, decimals, false, 0).fits) return asteriskField(width);

  const std::int32_t places = std::min(decimals, exactDecimals);
  char* const digits = scratch + 1;  // room for a minus sign before them
  char* end = std::to_chars(digits, scratch + scratchSize, std::fabs(x),
                            std::chars_format::fixed, places)
                  .ptr;
  if (places == 0) *end++ = '.';
  char* const point = std::find(digits, end, '.');
  const bool roundsToZero =
      std::all_of(digits, end, [](char c) { return c == '0' || c == '.'; });
  // The conversion writes a single "0" for an integer part of zero.
  const bool noIntegerDigits = point - digits == 1 && digits[0] == '0';
  const std::int64_t integerDigits = noIntegerDigits ? 0 : point - digits;
  const bool negative = signBit && !roundsToZero;

  const fixed::FixedLayout layout = fixed::fixedLayout(width, decimals, negative, integerDigits);
  if (!layout.fits) return asteriskField(width);
  // The conversion's "0" stays only where the layout keeps one.
  char* start = noIntegerDigits && !layout.zero ? point : digits;
  if (negative) *--start = '-';

  FixedField field;
  field.fillCount = layout.blanks;
  field.body = start;
  field.bodyLength = static_cast<std::size_t>(end - start);
  field.zeros = decimals - places;
  return field;
}

}  // namespace

[[gnu::noinline]] void editFixedExactly(double x, std::int32_t width, std::int32_t decimals,
                                        char* out) noexcept {
  if (width <= 0) return;
  if (decimals < 0) decimals = 0;
  char scratch[scratchSize];
  const FixedField field = editExact(x, width, decimals, scratch);
  std::memset(out, field.fill, static_cast<std::size_t>(field.fillCount));
  out += field.fillCount;
  std::memcpy(out, field.body, field.bodyLength);
  out += field.bodyLength;
  std::memset(out, '0', static_cast<std::size_t>(field.zeros));
  out += field.zeros;
  std::memset(out, ' ', static_cast<std::size_t>(field.blanksAfter));
}

constinit const Format threeReals{"(3F15.4)", threeRealsTable};
constinit const Format threeRealsAndLabel{"(3F15.4,5X,A8)", threeRealsAndLabelTable};

void editFixed(double x, std::int32_t width, std::int32_t decimals,
               char* field) noexcept {
  if (width <= 0) return;
  if (decimals < 0) decimals = 0;
  if (width == 15 && decimals == 4) [[likely]] {
    editF15d4Into15(x, field);
    return;
  }
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const std::uint64_t magnitude = bits & ~fixed::signMask;
  // Infinities and NaNs lie above the limit too.
  if (magnitude < fixed::limitBits && decimals <= fixed::mostDecimals) [[likely]] {
    using fixed::editFast;
    const bool signBit = (bits & fixed::signMask) != 0;
    switch (decimals) {
      case 0: editFast<0>(magnitude, signBit, width, field); return;
      case 1: editFast<1>(magnitude, signBit, width, field); return;
      case 2: editFast<2>(magnitude, signBit, width, field); return;
      case 3: editFast<3>(magnitude, signBit, width, field); return;
      case 4: editFast<4>(magnitude, signBit, width, field); return;
      case 5: editFast<5>(magnitude, signBit, width, field); return;
      case 6: editFast<6>(magnitude, signBit, width, field); return;
      case 7: editFast<7>(magnitude, signBit, width, field); return;
      default: editFast<8>(magnitude, signBit, width, field); return;
    }
  }
  editFixedExactly(x, width, decimals, field);
}

namespace {

// The stream of `unit`, obtained by a statement with `format` as beginRecord
// obtains it.
OutputStream* streamForRecords(std::int32_t unit, const Format& format) noexcept {
  beginExternalStatement(false, Form::fixedLayout, unit, format.text, false, false);
  return obtainUnit(unit, true).output;
}

}  // namespace

void writeEditedRecords(std::int32_t unit, const Format& format, const char* records,
                        std::size_t n) noexcept {
  if (OutputStream* output = streamForRecords(unit, format); output != nullptr) {
    output->write(records, n);
  }
}

void writeEditedRecords(std::int32_t unit, const Format& format, const char* records,
                        std::size_t n, ReadingPerByte& reading) noexcept {
  if (OutputStream* output = streamForRecords(unit, format); output != nullptr) {
    output->write(records, n, reading);
  }
}

void FieldEditor::beginRecord(std::int32_t unit, const Format& format) noexcept {
  beginExternalStatement(false, Form::fixedLayout, unit, format.text, false, false);
  output_ = obtainUnit(unit, true).output;
  startWalk(format);
}

void FieldEditor::startWalk(const Format& format) noexcept {
  descriptor_ = format.descriptors.data();
  end_ = descriptor_ + format.descriptors.size();
  remaining_ = descriptor_ != end_ ? descriptor_->repeat : 0;
  pendingMove_ = 0;
  used_ = 0;
  record_ = output_ != nullptr ? output_->reserve(recordCapacity) : nullptr;
  if (record_ == nullptr) record_ = ownArea_;
}

// Moves the walk to the next F or A edit descriptor with a repetition left,
// performing the X edit descriptors on the way, and uses up the repetition.
// nullptr when the format has no data edit descriptor left.
const EditDescriptor* FieldEditor::nextDataDescriptor() noexcept {
  while (descriptor_ != end_) {
    if (descriptor_->kind == Kind::x) {
      pendingMove_ += static_cast<std::int64_t>(std::max(descriptor_->repeat, 0)) *
                      std::max(descriptor_->width, 0);
    } else if (remaining_ > 0) {
      --remaining_;
      return descriptor_;
    }
    ++descriptor_;
    remaining_ = descriptor_ != end_ ? descriptor_->repeat : 0;
  }
  return nullptr;
}

void FieldEditor::carryOutPendingMove() noexcept {
  fill(' ', pendingMove_);
  pendingMove_ = 0;
}

// A value that finds no edit descriptor of its kind (more values than the
// format takes, or a real meeting an A edit descriptor) is not written; the
// system's callers always pass exactly the values their format takes.
void FieldEditor::putReal(double x) noexcept {
  // The walk already stands on an F edit descriptor with a repetition left,
  // nothing is pending and the field fits: the common case, edited in place.
  if (descriptor_ != end_ && remaining_ > 0 && descriptor_->kind == Kind::f && pendingMove_ == 0) {
    const std::int32_t width = descriptor_->width;
    if (width > 0 && static_cast<std::size_t>(width) <= recordCapacity - used_) {
      --remaining_;
      char* const field = record_ + used_;
      used_ += static_cast<std::size_t>(width);
      editFixed(x, width, descriptor_->decimals, field);
      return;
    }
  }
  putRealInGeneral(x);
}

// Any other walk: X edit descriptors to perform first, a pending move, a
// record to spill, or a field wider than the record area.
[[gnu::noinline]] void FieldEditor::putRealInGeneral(double x) noexcept {
  const EditDescriptor* descriptor = nextDataDescriptor();
  if (descriptor == nullptr || descriptor->kind != Kind::f) return;
  carryOutPendingMove();
  const std::int32_t width = descriptor->width;
  if (width <= 0) return;
  if (static_cast<std::size_t>(width) <= recordCapacity) {
    if (recordCapacity - used_ < static_cast<std::size_t>(width)) spill();
    editFixed(x, width, descriptor->decimals, record_ + used_);
    used_ += static_cast<std::size_t>(width);
  } else {
    putWideReal(x, width, descriptor->decimals);
  }
}

[[gnu::noinline]] void FieldEditor::putWideReal(double x, std::int32_t width,
                                                std::int32_t decimals) noexcept {
  char scratch[scratchSize];
  const FixedField field = editExact(x, width, std::max(decimals, 0), scratch);
  fill(field.fill, field.fillCount);
  copy(field.body, field.bodyLength);
  fill('0', field.zeros);
  fill(' ', field.blanksAfter);
}

void FieldEditor::putText(const char* text, std::int32_t length) noexcept {
  const EditDescriptor* descriptor = nextDataDescriptor();
  if (descriptor == nullptr || descriptor->kind != Kind::a) return;
  // A move and a field that fit in the record: written straight into it.
  if (descriptor->width >= 0 && length >= descriptor->width && pendingMove_ >= 0 &&
      static_cast<std::uint64_t>(pendingMove_) + static_cast<std::uint64_t>(descriptor->width) <=
          recordCapacity - used_) {
    const auto move = static_cast<std::size_t>(pendingMove_);
    const auto width = static_cast<std::size_t>(descriptor->width);
    if (move <= 16 && width <= 16) [[likely]] {
      blankShort(record_ + used_, move);
      copyShort(record_ + used_ + move, text, width);
    } else {
      std::memset(record_ + used_, ' ', move);
      std::memcpy(record_ + used_ + move, text, width);
    }
    used_ += move + width;
    pendingMove_ = 0;
    return;
  }
  carryOutPendingMove();
  const std::int32_t width = std::max(descriptor->width, 0);
  length = std::max(length, 0);
  if (width > length) {
    fill(' ', width - length);
    copy(text, static_cast<std::size_t>(length));
  } else {
    copy(text, static_cast<std::size_t>(width));
  }
}

// A move still pending at the end writes nothing.
void FieldEditor::endRecord() noexcept {
  if (used_ == recordCapacity) spill();
  record_[used_++] = '\n';
  spill();
  pendingMove_ = 0;
}

void FieldEditor::spill() noexcept {
  if (record_ != ownArea_) {
    // Built in the stream's room: what is there is written; the rest of the
    // record, if any, is built apart.
    output_->commit(used_);
    record_ = ownArea_;
  } else if (output_ != nullptr && used_ > 0) {
    output_->write(record_, used_);
  }
  used_ = 0;
}

void FieldEditor::fill(char c, std::int64_t count) noexcept {
  while (count > 0) {
    if (used_ == recordCapacity) spill();
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::int64_t>(count, static_cast<std::int64_t>(recordCapacity - used_)));
    std::memset(record_ + used_, c, n);
    used_ += n;
    count -= static_cast<std::int64_t>(n);
  }
}

void FieldEditor::copy(const char* bytes, std::size_t count) noexcept {
  while (count > 0) {
    if (used_ == recordCapacity) spill();
    const std::size_t n = std::min(count, recordCapacity - used_);
    std::memcpy(record_ + used_, bytes, n);
    used_ += n;
    bytes += n;
    count -= n;
  }
}

}  // namespace recio
