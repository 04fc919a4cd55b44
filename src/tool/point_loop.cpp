// The point loop. Nothing is reset between record groups: a value that a
// group leaves null keeps what the group before it gave.
#include "point_loop.h"

#include "failure.h"
#include "field_editor.h"
#include "free_form_reader.h"
#include "units.h"

namespace geocart {

namespace {

// One record group: latitude, longitude, height and label. Returns false at
// end of input, wherever in the group it came.
bool readGroup(PointState& state) noexcept {
  recio::FreeFormReader reader;
  std::int32_t status = reader.beginRead(recio::inputUnit, true, false);
  if (status == recio::success) status = reader.readReal(state.point.latitude);
  if (status == recio::success) status = reader.readReal(state.point.longitude);
  if (status == recio::success) status = reader.readReal(state.point.height);
  if (status == recio::success)
    status = reader.readText(state.label.chars, PointLabel::size());
  if (status == recio::success) status = reader.endRead();
  return status == recio::success;
}

void writeResult(const PointState& state, const CartesianPoint& c) noexcept {
  recio::FieldEditor editor;
  const bool labelled = !state.label.isBlank();
  editor.beginRecord(recio::outputUnit,
                     labelled ? recio::threeRealsAndLabel : recio::threeReals);
  editor.putReal(c.x);
  editor.putReal(c.y);
  editor.putReal(c.z);
  if (labelled) editor.putText(state.label.chars, PointLabel::size());
  editor.endRecord();
}

}  // namespace

void runPointLoop(PointState& state) noexcept {
  do {
    if (state.stdinMode && !readGroup(state)) return;
    writeResult(state, convert(state.point, state.factor));
  } while (state.stdinMode);
}

}  // namespace geocart
