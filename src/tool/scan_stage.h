// The scan stage: whole record groups `lat lon h label` in their common
// form, read from the characters a source has in hand into a batch, with
// the reader's state left as the general steps would have left it.
#pragma once

#include <cstddef>
#include <span>

#include "record_group.h"

namespace recio {
class CharSource;
class FreeFormReader;
struct ReadTrace;
}  // namespace recio

namespace geocart {

// Groups from the characters `source` has in hand, each a statement of
// `reader` with the end-of-file exit and, when `errorExit`, the error exit,
// as many as lie there one after another (recio::StatementInBlock), `most`
// at the most (at least 1): their values into `batch`, in order, with all
// four items assigned; `state`, the reader and `source` as the general
// steps would have left them after the last. Returns how many; 0, having
// changed nothing, when the first is not such a group: the general steps
// read that one.
std::size_t scanGroups(recio::FreeFormReader& reader, recio::CharSource& source, bool errorExit,
                       GroupBatch& batch, std::size_t most, PointState& state) noexcept;

// The same, at most traces.size() groups, each recorded in its trace as
// the general steps would record it.
std::size_t scanTracedGroups(recio::FreeFormReader& reader, recio::CharSource& source,
                             bool errorExit, GroupBatch& batch, std::span<recio::ReadTrace> traces,
                             PointState& state) noexcept;

}  // namespace geocart
