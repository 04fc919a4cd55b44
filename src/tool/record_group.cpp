// The group reader. The groups that lie whole in the characters in hand, in
// their common form, are read by the scan stage many at a time; any other
// group is read by the reader's general steps, one item after another,
// which are the definition of what a group gives.
#include "record_group.h"

#include <algorithm>

#include "char_source.h"
#include "failure.h"
#include "free_form_reader.h"
#include "read_trace.h"
#include "reader_state.h"
#include "scan_stage.h"
#include "units.h"

namespace geocart {

namespace {

// The reader of a GroupReader's statements and the source it reads, which
// on standard input exists once unit 5's first statement has begun.
struct Statements {
  recio::FreeFormReader reader;
  recio::CharSource* source;
  bool detached;
};

Statements statementsOf(recio::ReaderState* state, recio::CharSource* source) noexcept {
  if (state != nullptr) return {recio::FreeFormReader(*state), source, true};
  const recio::Unit* unit = recio::readyUnit(recio::inputUnit, false);
  return {recio::FreeFormReader(), unit != nullptr ? unit->input : nullptr, false};
}

// The four items and the statement's end, read in a statement `reader` has
// begun: the statement's status, and the bits of the items that took a value.
std::int32_t readGroupItems(recio::FreeFormReader& reader, PointState& state,
                            unsigned& assigned) noexcept {
  std::int32_t counted = 0;  // no item is assigned when a statement begins
  const auto note = [&](unsigned item) {
    const std::int32_t now = reader.itemsAssigned();
    if (now != counted) assigned |= item;
    counted = now;
  };
  GeodeticPoint& p = state.point;
  std::int32_t status = reader.readReal(p.latitude);
  note(latitudeItem);
  if (status == recio::success) {
    status = reader.readReal(p.longitude);
    note(longitudeItem);
  }
  if (status == recio::success) {
    status = reader.readReal(p.height);
    note(heightItem);
  }
  if (status == recio::success) {
    status = reader.readText(state.label.chars, PointLabel::size());
    note(labelItem);
  }
  if (status == recio::success) status = reader.endRead();
  return status;
}

// One group by the general steps into `state` and, alone, into `batch`: a
// statement on unit 5, which obtains the unit, or a detached one on the
// source.
[[gnu::noinline]] std::int32_t readInGeneral(Statements& statements, GroupBatch& batch,
                                             PointState& state) noexcept {
  recio::FreeFormReader& reader = statements.reader;
  const std::int32_t begun = statements.detached ? reader.beginDetachedRead(*statements.source)
                                                 : reader.beginRead(recio::inputUnit, true, false);
  unsigned assigned = 0;
  const std::int32_t status =
      begun != recio::success ? begun : readGroupItems(reader, state, assigned);
  if (status != recio::success) {
    batch.count = 0;
    return status;
  }
  const recio::CharSource* source = statements.source;
  if (source == nullptr) {
    const recio::Unit* unit = recio::readyUnit(recio::inputUnit, false);
    if (unit != nullptr) source = unit->input;
  }
  batch.holdOnly(state, assigned, source != nullptr ? source->position() : 0);
  return recio::success;
}

}  // namespace

void GroupBatch::holdOnly(const PointState& state, unsigned items, std::int64_t at) noexcept {
  count = 1;
  end[0] = at;
  assigned = items;
  finite = false;
  latitude[0] = state.point.latitude;
  longitude[0] = state.point.longitude;
  height[0] = state.point.height;
  label[0] = state.label;
}

std::int32_t GroupReader::read(GroupBatch& batch, std::size_t most, PointState& state) noexcept {
  Statements statements = statementsOf(state_, source_);
  most = std::min(most, GroupBatch::capacity);
  if (statements.source != nullptr && scanGroups(statements.reader, *statements.source,
                                                 statements.detached, batch, most, state) > 0) {
    return recio::success;
  }
  return readInGeneral(statements, batch, state);
}

// Out of line: its callers (geocart-check's loop) inline all else, and the
// scan's loop keeps its registers to itself in a function of its own.
[[gnu::noinline]] std::int32_t GroupReader::readTraced(GroupBatch& batch,
                                                       std::span<recio::ReadTrace> traces,
                                                       PointState& state) noexcept {
  Statements statements = statementsOf(state_, source_);
  traces = traces.first(std::min(traces.size(), GroupBatch::capacity));
  if (statements.source != nullptr &&
      scanTracedGroups(statements.reader, *statements.source, statements.detached, batch, traces,
                       state) > 0) {
    return recio::success;
  }
  recio::ReadTrace& trace = traces[0];
  trace = recio::ReadTrace{};
  statements.reader.traceInto(&trace);
  const std::int32_t status = readInGeneral(statements, batch, state);
  statements.reader.traceInto(nullptr);
  return status;
}

}  // namespace geocart
