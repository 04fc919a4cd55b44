// The scan stage. The groups are read with the reader's own rules for
// statements in memory (statement_in_block.h), which say when a group's
// general steps would take exactly the characters read here. The reader's
// state is handed the last group alone: every statement starts afresh, so
// what a run of whole groups leaves is what its last one leaves, and each
// of them assigns all four values of the point.
#include "scan_stage.h"

#include "char_source.h"
#include "free_form_reader.h"
#include "read_trace.h"
#include "statement_in_block.h"

namespace geocart {

namespace {

// The group's four items and its end.
[[gnu::always_inline]] inline bool readGroup(recio::StatementInBlock& group, double& latitude,
                                             double& longitude, double& height,
                                             PointLabel& label) noexcept {
  return group.readReal(latitude) && group.readReal(longitude) && group.readReal(height) &&
         group.readText(label.chars, PointLabel::size()) && group.endRead();
}

// The groups as scanGroups says, each whole one handed to `record` with its
// place in the batch and the source's position at its first character.
template <typename Record>
[[gnu::always_inline]] inline std::size_t scan(recio::FreeFormReader& reader,
                                               recio::CharSource& source, bool errorExit,
                                               GroupBatch& batch, std::size_t most,
                                               PointState& state, const Record& record) noexcept {
  // The reader's buffer must keep a label without growing, which only the
  // general steps do.
  if (reader.textRoom() < PointLabel::size()) return 0;
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  // The position of the character at p is base + (p - begin).
  const std::int64_t base = source.position();
  const char* at = begin;
  const char* lastBegin = at;
  recio::StatementInBlock group;
  std::size_t n = 0;
  while (n < most) {
    group.start(at, end);
    if (!readGroup(group, batch.latitude[n], batch.longitude[n], batch.height[n], batch.label[n])) {
      break;
    }
    lastBegin = at;
    at = group.end();
    batch.end[n] = base + (at - begin);
    record(group, n, base + (lastBegin - begin));
    ++n;
  }
  if (n == 0) return 0;
  const std::size_t last = n - 1;
  // What the last group leaves the reader, read again into the same
  // targets: cheaper than keeping it for every group in case it is the last.
  recio::StatementInBlock again(lastBegin, end);
  readGroup(again, batch.latitude[last], batch.longitude[last], batch.height[last],
            batch.label[last]);
  reader.takeInBlock(source, true, errorExit, again.leaves());
  state.point = GeodeticPoint{batch.latitude[last], batch.longitude[last], batch.height[last]};
  state.label = batch.label[last];
  batch.count = n;
  batch.assigned = everyItem;
  // Plain decimal numbers of at most 19 digits times a power of ten up to
  // 22: finite values.
  batch.finite = true;
  return n;
}

}  // namespace

[[gnu::flatten]] std::size_t scanGroups(recio::FreeFormReader& reader, recio::CharSource& source,
                                        bool errorExit, GroupBatch& batch, std::size_t most,
                                        PointState& state) noexcept {
  return scan(reader, source, errorExit, batch, most, state,
              [](const recio::StatementInBlock&, std::size_t, std::int64_t) {});
}

[[gnu::flatten]] std::size_t scanTracedGroups(recio::FreeFormReader& reader,
                                              recio::CharSource& source, bool errorExit,
                                              GroupBatch& batch, std::span<recio::ReadTrace> traces,
                                              PointState& state) noexcept {
  return scan(reader, source, errorExit, batch, traces.size(), state,
              [&](const recio::StatementInBlock& group, std::size_t i, std::int64_t start) {
                group.trace(traces[i], start);
              });
}

}  // namespace geocart
