// The record group `lat lon h label` of standard input: how it is read, how
// the point it leaves is converted, and how its result line is written. Every
// path of the tool goes through here: the point of the command line, the
// groups of one thread and the chunks of the workers.
#pragma once

#include <cstdint>

#include "conversion.h"
#include "fixed_string.h"

namespace recio {
class CharSource;
class OutputStream;
class ReaderState;
struct ReadTrace;
}  // namespace recio

namespace geocart {

// The label printed after the coordinates; blank means none.
using PointLabel = recio::FixedString<8>;

// The current point: what the command line gave, overwritten by each record
// group with the values it supplies; nothing is reset between groups.
struct PointState {
  double factor = 0.0;  // degree-to-radian factor
  GeodeticPoint point;
  PointLabel label;
};

// Bits of the items of a group that took a value.
inline constexpr unsigned latitudeItem = 1, longitudeItem = 2, heightItem = 4, labelItem = 8;
inline constexpr unsigned everyItem = 15;

// How the groups that the block path does not take are read.
enum class GeneralSteps {
  // A statement on unit 5: the end of input between groups is returned,
  // every other failure (the end of input inside a group too) is reported
  // and ends the run.
  unitStatement,
  // A statement on the reader's own state over a source of the caller's,
  // touching nothing process-wide: every status is returned.
  detached,
};

// Which groups' lines a reader that does not know the values before its
// start may write: those from the first after which all four items have
// been assigned. Records where they lie in the source.
struct KeptGroups {
  unsigned known = 0;        // items assigned so far
  std::int64_t start = -1;   // position of the first kept group; -1: none yet
  std::int64_t end = 0;      // position after the last kept group
};

// Reads groups from `source` into `state`, converts each and writes its
// line on `output`: each group whole from the characters in hand where it
// can be, else by the general steps `steps`, with the reader of
// `readerState` (detached) or of the process (a unit statement, when
// `readerState` is nullptr). A unit's stream takes every line, in its
// buffer's room or handed to it apart; a memory stream takes lines while it
// has room for the longest, and the reading stops when it has not.
// Detached, only the groups that `kept` allows are written, and `kept`
// records them; otherwise `kept` is not used. Returns false at the first
// group that ends in the end of input or a failure (returned by the
// statement, as `steps` says), having written the lines before it; true
// when a memory stream's room ran out.
template <GeneralSteps steps>
bool convertGroups(recio::ReaderState* readerState, recio::CharSource& source,
                   recio::OutputStream& output, PointState& state, KeptGroups* kept) noexcept;

// One group of `source` read into `state` exactly as `geocart -stdin` reads
// it, with the reader of `readerState` detached (every status returned,
// nothing process-wide touched), and recorded in `trace`: where each item
// stood, how it was settled and what the statement's end dropped. Returns
// the statement's status; on a failure the items before it keep what they
// were given.
std::int32_t readTracedGroup(recio::ReaderState& readerState, recio::CharSource& source,
                             PointState& state, recio::ReadTrace& trace) noexcept;

// One group read from standard input (unit 5) into `state`, converted and
// its line written on standard output (unit 6), each as a statement on its
// unit; false, writing nothing, at the end of input between two groups. The
// end of input inside a group, and every other failure, end the run.
bool convertNextGroup(PointState& state) noexcept;

// The current point converted and its line written on standard output.
void writeResultLine(const PointState& state) noexcept;

}  // namespace geocart
