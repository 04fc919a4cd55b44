// The point loop. Nothing is reset between record groups: a value that a
// group leaves null keeps what the group before it gave.
#include "point_loop.h"

#include "failure.h"
#include "field_editor.h"
#include "free_form_reader.h"
#include "output_stream.h"
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

namespace {

// A label is printed when it is not blank.
const recio::Format& resultFormat(const PointLabel& label) noexcept {
  return label.isBlank() ? recio::threeReals : recio::threeRealsAndLabel;
}

// A line the buffer has no room for: edited apart and handed to the stream,
// which writes out the full buffer and keeps the rest, as the field editor
// does with a record it built in its own area.
[[gnu::noinline]] void writeLineApart(recio::OutputStream& output, double x, double y, double z,
                                      const PointLabel& label) noexcept {
  char record[recio::longestBuiltInRecord];
  const std::size_t n = recio::editRecord(record, resultFormat(label), x, y, z, label.chars,
                                          PointLabel::size());
  output.write(record, n);
}

// The groups that come whole in the block, each with its line straight into
// the room the buffer has left, with the reading, the conversion and the
// editing in one piece of code; returns at the first group the general steps
// must read. The lines are committed together before anything else may use
// the stream; the room is never filled, so the writes are those of one line
// at a time.
[[gnu::flatten]] void convertWholeGroups(recio::CharSource& input, recio::OutputStream& output,
                                         PointState& state) noexcept {
  recio::FreeFormReader reader;
  constexpr std::size_t longest = recio::longestBuiltInRecord;
  for (;;) {
    char* const room = output.reserve(longest);
    const std::size_t size = room != nullptr ? output.room() : 0;
    std::size_t used = 0;
    bool read;
    while ((read = readGroupInBlock(reader, input, false, state.point, state.label))) {
      const CartesianPoint c = convert(state.point, state.factor);
      if (size - used > longest) {
        used += recio::editRecord(room + used, resultFormat(state.label), c.x, c.y, c.z,
                                  state.label.chars, PointLabel::size());
        continue;
      }
      output.commit(used);
      used = 0;
      writeLineApart(output, c.x, c.y, c.z, state.label);
      break;
    }
    output.commit(used);
    if (!read) return;
  }
}

}  // namespace

void writeResultLine(const CartesianPoint& c, const PointLabel& label,
                     recio::OutputStream* stream) noexcept {
  const recio::Format& format = resultFormat(label);
  const bool labelled = &format == &recio::threeRealsAndLabel;
  recio::OutputStream* inPlace = stream;
  if (inPlace == nullptr) {
    const recio::Unit* unit = recio::readyUnit(recio::outputUnit, true);
    if (unit != nullptr) inPlace = unit->output;
  }
  if (inPlace != nullptr && recio::putRecordInPlace(*inPlace, format, c.x, c.y, c.z, label.chars,
                                                    PointLabel::size())) {
    return;
  }
  recio::FieldEditor editor;
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

bool readGroupInBlock(recio::FreeFormReader& reader, recio::CharSource& source,
                      bool errorExit, GeodeticPoint& point, PointLabel& label) noexcept {
  return reader.readGroupInBlock(source, true, errorExit, point.latitude, point.longitude,
                                 point.height, label.chars, PointLabel::size());
}

bool convertNextGroup(PointState& state) noexcept {
  recio::FreeFormReader reader;
  const recio::Unit* unit = recio::readyUnit(recio::inputUnit, false);
  if (unit == nullptr || !readGroupInBlock(reader, *unit->input, false, state.point, state.label)) {
    if (reader.beginRead(recio::inputUnit, true, false) != recio::success) return false;
    if (readGroupItems(reader, state.point, state.label, nullptr) != recio::success) return false;
  }
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
  for (;;) {
    // While the groups come whole in the block and their lines fit in the
    // buffer, nothing but these two units is used, and they stay as they are.
    const recio::Unit* input = recio::readyUnit(recio::inputUnit, false);
    const recio::Unit* output = recio::readyUnit(recio::outputUnit, true);
    if (input != nullptr && output != nullptr) {
      convertWholeGroups(*input->input, *output->output, state);
    }
    if (!convertNextGroup(state)) return;
  }
}

}  // namespace geocart
