// The record group, read, converted and written. The groups that lie whole
// in the characters in hand take the reader's block path and have their
// lines edited straight into the output's buffer, in the one loop that every
// path runs; the rest take the general steps, one item at a time.
#include "record_group.h"

#include "char_source.h"
#include "failure.h"
#include "field_editor.h"
#include "free_form_reader.h"
#include "output_stream.h"
#include "read_trace.h"
#include "reader_state.h"
#include "units.h"

namespace geocart {

namespace {

constexpr std::size_t longestLine = recio::longestBuiltInRecord;
// No group: the statement returned the end of input or a failure.
constexpr unsigned noGroup = 0x80;

// A label is printed when it is not blank.
const recio::Format& resultFormat(const PointLabel& label) noexcept {
  return label.isBlank() ? recio::threeReals : recio::threeRealsAndLabel;
}

// The current point's line at `at`, which has room for the longest line;
// `finite` when the point's values are known to be finite.
std::size_t editResultLine(char* at, const PointState& state, bool finite = false) noexcept {
  const CartesianPoint c =
      finite ? convertFinite(state.point, state.factor) : convert(state.point, state.factor);
  return recio::editRecord(at, resultFormat(state.label), c.x, c.y, c.z, state.label.chars,
                           PointLabel::size());
}

// The current point's line on `output`: in the buffer's room when it has
// more than the longest line, else edited apart and handed to the stream,
// which writes out what its buffering asks for (a full block, a terminal's
// line), as it does with a record the field editor built in its own area.
[[gnu::noinline]] void putResultLine(recio::OutputStream& output,
                                     const PointState& state) noexcept {
  if (char* room = output.reserve(longestLine); room != nullptr) {
    output.commit(editResultLine(room, state));
    return;
  }
  char line[longestLine];
  output.write(line, editResultLine(line, state));
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

// A group the block path does not take; a statement on unit 5 reads that
// unit's source, a detached one `source`.
[[gnu::noinline]] unsigned readGroupInGeneral(recio::FreeFormReader& reader,
                                              recio::CharSource* source, GeneralSteps steps,
                                              PointState& state) noexcept {
  const std::int32_t begun = steps == GeneralSteps::detached
                                 ? reader.beginDetachedRead(*source)
                                 : reader.beginRead(recio::inputUnit, true, false);
  unsigned assigned = 0;
  if (begun != recio::success || readGroupItems(reader, state, assigned) != recio::success) {
    return noGroup;
  }
  return assigned;
}

// A whole group from the characters `source` has in hand, as the general
// steps `steps` would read it; false, having changed nothing, when the
// general steps must read it. It takes only groups that give all four values.
bool readGroupInBlock(recio::FreeFormReader& reader, recio::CharSource& source,
                      GeneralSteps steps, PointState& state) noexcept {
  return reader.readGroupInBlock(source, true, steps == GeneralSteps::detached,
                                 state.point.latitude, state.point.longitude, state.point.height,
                                 state.label.chars, PointLabel::size());
}

// The next group of `source` into `state`: the bits of the items it
// assigned, or noGroup.
unsigned readGroup(recio::FreeFormReader& reader, recio::CharSource& source, GeneralSteps steps,
                   PointState& state) noexcept {
  if (readGroupInBlock(reader, source, steps, state)) return everyItem;
  return readGroupInGeneral(reader, &source, steps, state);
}

// Whether a group's line is written: always, but for a detached reader
// only from the first group after which all four values are known.
template <GeneralSteps steps>
bool keeps(KeptGroups* kept, unsigned assigned, std::int64_t start,
           const recio::CharSource& source) noexcept {
  if constexpr (steps == GeneralSteps::detached) {
    kept->known |= assigned;
    if (kept->known != everyItem) return false;
    if (kept->start < 0) kept->start = start;
    kept->end = source.position();
  }
  return true;
}

enum class BlockStop { declined, roomRanOut };

// The groups that the block path takes, each converted and its line written:
// the lines go one after another into the buffer's room and are committed
// together. The room is never filled: the line that finds too little room
// left is handed to the stream apart, so that the writes are those of one
// line at a time; a memory area has no stream to hand it to, and the reading
// stops there instead. Returns at the first group the block path declines,
// everything written committed, or when a memory area's room ran out.
template <GeneralSteps steps>
[[gnu::flatten, gnu::noinline]] BlockStop convertBlockGroups(recio::ReaderState* readerState,
                                                             recio::CharSource& source,
                                                             recio::OutputStream& output,
                                                             PointState& state,
                                                             KeptGroups* kept) noexcept {
  constexpr bool detached = steps == GeneralSteps::detached;
  recio::FreeFormReader reader = detached ? recio::FreeFormReader(*readerState)
                                          : recio::FreeFormReader();
  for (;;) {
    char* const room = output.reserve(longestLine);
    const std::size_t size = room != nullptr ? output.room() : 0;
    std::size_t used = 0;
    bool read;
    for (;;) {
      if (detached && size - used <= longestLine) {
        output.commit(used);
        return BlockStop::roomRanOut;
      }
      const std::int64_t start = detached ? source.position() : 0;
      if (!(read = readGroupInBlock(reader, source, steps, state))) break;
      if (!keeps<steps>(kept, everyItem, start, source)) continue;
      // The block path reads plain decimal numbers of at most 19 digits
      // times a power of ten up to 22, and all three: finite values.
      if (size - used > longestLine) {
        used += editResultLine(room + used, state, true);
        continue;
      }
      output.commit(used);
      used = 0;
      putResultLine(output, state);
      break;
    }
    output.commit(used);
    if (!read) return BlockStop::declined;
  }
}

// One group by the general steps, and its line; false at the end of input or
// a failure that the statement returned.
template <GeneralSteps steps>
bool convertGroupInGeneral(recio::ReaderState* readerState, recio::CharSource& source,
                           recio::OutputStream& output, PointState& state,
                           KeptGroups* kept) noexcept {
  recio::FreeFormReader reader = steps == GeneralSteps::detached
                                     ? recio::FreeFormReader(*readerState)
                                     : recio::FreeFormReader();
  const std::int64_t start = steps == GeneralSteps::detached ? source.position() : 0;
  const unsigned assigned = readGroupInGeneral(reader, &source, steps, state);
  if (assigned == noGroup) return false;
  if (keeps<steps>(kept, assigned, start, source)) putResultLine(output, state);
  return true;
}

}  // namespace

template <GeneralSteps steps>
bool convertGroups(recio::ReaderState* readerState, recio::CharSource& source,
                   recio::OutputStream& output, PointState& state, KeptGroups* kept) noexcept {
  for (;;) {
    if (convertBlockGroups<steps>(readerState, source, output, state, kept) ==
        BlockStop::roomRanOut) {
      return true;
    }
    if (!convertGroupInGeneral<steps>(readerState, source, output, state, kept)) return false;
  }
}

template bool convertGroups<GeneralSteps::unitStatement>(recio::ReaderState*,
                                                         recio::CharSource&,
                                                         recio::OutputStream&, PointState&,
                                                         KeptGroups*) noexcept;
template bool convertGroups<GeneralSteps::detached>(recio::ReaderState*, recio::CharSource&,
                                                    recio::OutputStream&, PointState&,
                                                    KeptGroups*) noexcept;

std::int32_t readTracedGroup(recio::ReaderState& readerState, recio::CharSource& source,
                             PointState& state, recio::ReadTrace& trace) noexcept {
  recio::FreeFormReader reader(readerState);
  GeodeticPoint& p = state.point;
  if (reader.readGroupInBlock(source, true, true, p.latitude, p.longitude, p.height,
                              state.label.chars, PointLabel::size(), &trace)) {
    return recio::success;
  }
  reader.traceInto(&trace);
  reader.beginDetachedRead(source);
  unsigned assigned = 0;
  const std::int32_t status = readGroupItems(reader, state, assigned);
  reader.traceInto(nullptr);
  return status;
}

void writeResultLine(const PointState& state) noexcept {
  if (const recio::Unit* unit = recio::readyUnit(recio::outputUnit, true); unit != nullptr) {
    putResultLine(*unit->output, state);
    return;
  }
  // A unit still to connect: the field editor's statement obtains it.
  const CartesianPoint c = convert(state.point, state.factor);
  const recio::Format& format = resultFormat(state.label);
  recio::FieldEditor editor;
  editor.beginRecord(recio::outputUnit, format);
  editor.putReal(c.x);
  editor.putReal(c.y);
  editor.putReal(c.z);
  if (&format == &recio::threeRealsAndLabel) editor.putText(state.label.chars, PointLabel::size());
  editor.endRecord();
}

bool convertNextGroup(PointState& state) noexcept {
  recio::FreeFormReader reader;
  const recio::Unit* unit = recio::readyUnit(recio::inputUnit, false);
  const unsigned assigned =
      unit != nullptr
          ? readGroup(reader, *unit->input, GeneralSteps::unitStatement, state)
          : readGroupInGeneral(reader, nullptr, GeneralSteps::unitStatement, state);
  if (assigned == noGroup) return false;
  writeResultLine(state);
  return true;
}

}  // namespace geocart
