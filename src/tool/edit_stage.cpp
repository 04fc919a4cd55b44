// The edit stage. A line is edited in the buffer's room only while more than
// the longest line is left there, so that the room never fills: the stream
// writes out its buffer exactly when it fills, which only the lines handed
// over make it do, as when every line is handed over.
#include "edit_stage.h"

#include <algorithm>

#include "output_stream.h"
#include "units.h"

namespace geocart {

namespace {

// A label is printed when it is not blank.
const recio::Format& formatOf(const PointLabel& label) noexcept {
  return label.isBlank() ? recio::threeReals : recio::threeRealsAndLabel;
}

std::size_t editLine(char* at, const GroupBatch& batch, std::size_t i) noexcept {
  return editResultLine(at, batch.x[i], batch.y[i], batch.z[i], batch.label[i]);
}

// The lines from `first` on.
[[gnu::flatten]] void putLines(const GroupBatch& batch, std::size_t first,
                               recio::OutputStream& output) noexcept {
  const std::size_t n = batch.count;
  std::size_t i = first;
  while (i < n) {
    if (char* const room = output.reserve(longestResultLine); room != nullptr) {
      const std::size_t size = output.room();
      std::size_t used = 0;
      // The first lines find the room whatever their lengths: before the
      // k-th of them at most k - 1 longest lines are used.
      const std::size_t certain = std::min(n - i, (size - 1) / longestResultLine);
      for (const std::size_t stop = i + certain; i < stop; ++i) {
        used += editLine(room + used, batch, i);
      }
      for (; i < n && size - used > longestResultLine; ++i) used += editLine(room + used, batch, i);
      output.commit(used);
      if (i == n) return;
    }
    char line[longestResultLine];
    output.write(line, editLine(line, batch, i));
    ++i;
  }
}

}  // namespace

std::size_t editResultLine(char* at, double x, double y, double z,
                           const PointLabel& label) noexcept {
  return recio::editRecord(at, formatOf(label), x, y, z, label.chars, PointLabel::size());
}

std::size_t resultLineLength(const PointLabel& label) noexcept {
  return label.isBlank() ? shortestResultLine : longestResultLine;
}

void putResultLines(const GroupBatch& batch, recio::OutputStream& output) noexcept {
  putLines(batch, 0, output);
}

void writeResultLines(const GroupBatch& batch) noexcept {
  if (batch.count == 0) return;
  std::size_t first = 0;
  recio::Unit* unit = recio::readyUnit(recio::outputUnit, true);
  if (unit == nullptr) {
    char line[longestResultLine];
    const std::size_t n = editLine(line, batch, 0);
    recio::writeEditedRecords(recio::outputUnit, formatOf(batch.label[0]), line, n);
    first = 1;
    unit = recio::readyUnit(recio::outputUnit, true);
    if (unit == nullptr) return;
  }
  putLines(batch, first, *unit->output);
}

}  // namespace geocart
