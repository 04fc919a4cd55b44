// The point loop. Nothing is reset between record groups: a value that a
// group leaves null keeps what the group before it gave.
#include "point_loop.h"

#include "failure.h"
#include "field_editor.h"
#include "free_form_reader.h"
#include "parallel_conversion.h"
#include "units.h"

namespace geocart {

std::int32_t readGroupItems(recio::FreeFormReader& reader, GeodeticPoint& point,
                            PointLabel& label, unsigned* assigned) noexcept {
  std::int32_t counted = 0;  // no item is assigned when a statement begins
  const auto note = [&](unsigned item) {
    if (assigned == nullptr) return;
    const std::int32_t now = reader.itemsAssigned();
    if (now != counted) *assigned |= item;
    counted = now;
  };
  std::int32_t status = reader.readReal(point.latitude);
  note(latitudeItem);
  if (status == recio::success) {
    status = reader.readReal(point.longitude);
    note(longitudeItem);
  }
  if (status == recio::success) {
    status = reader.readReal(point.height);
    note(heightItem);
  }
  if (status == recio::success) {
    status = reader.readText(label.chars, PointLabel::size());
    note(labelItem);
  }
  if (status == recio::success) status = reader.endRead();
  return status;
}

void writeResultLine(const CartesianPoint& c, const PointLabel& label,
                     recio::OutputStream* stream) noexcept {
  recio::FieldEditor editor;
  const bool labelled = !label.isBlank();
  const recio::Format& format = labelled ? recio::threeRealsAndLabel : recio::threeReals;
  if (stream != nullptr) {
    editor.beginRecord(*stream, format);
  } else {
    editor.beginRecord(recio::outputUnit, format);
  }
  editor.putReal(c.x);
  editor.putReal(c.y);
  editor.putReal(c.z);
  if (labelled) editor.putText(label.chars, PointLabel::size());
  editor.endRecord();
}

bool convertNextGroup(PointState& state) noexcept {
  recio::FreeFormReader reader;
  if (reader.beginRead(recio::inputUnit, true, false) != recio::success) return false;
  if (readGroupItems(reader, state.point, state.label, nullptr) != recio::success) return false;
  writeResultLine(convert(state.point, state.factor), state.label, nullptr);
  return true;
}

void runPointLoop(PointState& state) noexcept { runPointLoop(state, defaultTuning()); }

void runPointLoop(PointState& state, const ParallelTuning& tuning) noexcept {
  if (!state.stdinMode) {
    writeResultLine(convert(state.point, state.factor), state.label, nullptr);
    return;
  }
  if (convertInParallel(state, tuning)) return;
  while (convertNextGroup(state)) {
  }
}

}  // namespace geocart
