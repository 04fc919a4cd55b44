// FileChecker's findings: what the trace of one group says geocart does
// with it, where that is likely not what was meant. Each finding is decided
// from the reader's own record of the group (where each item stood and how
// it was settled) and from the values the group left, never from a second
// reading of the characters.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "failure.h"
#include "file_check.h"

namespace geocart::check {

namespace {

using recio::ItemOutcome;
using recio::ItemTrace;

constexpr int groupItems = 4;
constexpr int labelItem = 3;
constexpr const char* itemNames[groupItems] = {"latitude", "longitude", "height", "label"};
constexpr std::uint64_t byteOrderMark[3] = {0xEF, 0xBB, 0xBF};

// The names of the items whose bits are set in `items`, as "a, b and c".
void listItems(FindingWriter& out, unsigned items) noexcept {
  const int count = std::popcount(items);
  int written = 0;
  for (int i = 0; i < groupItems; ++i) {
    if ((items & (1u << i)) == 0) continue;
    if (written > 0) out << (written == count - 1 ? " and " : ", ");
    out << itemNames[i];
    ++written;
  }
}

bool isPlural(unsigned items) noexcept { return std::popcount(items) > 1; }

// Characters that may stand after a group's last value on its line without
// changing what geocart reads from it: blanks, the carriage return of a
// Windows line end, and the separators comma and slash.
bool isHarmlessRest(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == ',' || c == '/';
}

}  // namespace

void FileChecker::quoteInput(std::int64_t from, std::int64_t to) noexcept {
  findings_.quoted(window_.at(from), static_cast<std::size_t>(to - from));
}

void FileChecker::quoteWord(std::int64_t offset) noexcept {
  std::int64_t to = offset;
  while (to < window_.end() && to - offset < 40) {
    const char c = *window_.at(to);
    if (c == ' ' || c == '\t' || c == '\n' || c == ',' || c == '/') break;
    ++to;
  }
  quoteInput(offset, to);
}

void FileChecker::quoteLabel(const PointLabel& label) noexcept {
  std::size_t n = PointLabel::size();
  while (n > 0 && label.chars[n - 1] == ' ') --n;
  findings_.quoted(label.chars, n);
}

void FileChecker::valueOf(const PointState& state, int item) noexcept {
  switch (item) {
    case 0: findings_.number(state.point.latitude); break;
    case 1: findings_.number(state.point.longitude); break;
    case 2: findings_.number(state.point.height); break;
    default: quoteLabel(state.label); break;
  }
}

void FileChecker::usesEarlier(unsigned items) noexcept {
  // The values a group leaves untouched are those before it: the point's
  // now, as the group did not change them.
  findings_ << " geocart uses ";
  bool more = false;
  for (int i = 0; i < groupItems; ++i) {
    if ((items & (1u << i)) == 0) continue;
    if (more) findings_ << ((items >> (i + 1)) == 0 ? " and " : ", ");
    valueOf(point_, i);
    more = true;
  }
  if (!pointBefore_) {
    findings_ << ", as no point came before";
  } else {
    findings_ << (isPlural(items) ? ", those of the point before" : ", that of the point before");
  }
}

void FileChecker::reportByteOrderMark() noexcept {
  if (window_.end() < 3) return;
  for (int i = 0; i < 3; ++i) {
    if (static_cast<unsigned char>(*window_.at(i)) != byteOrderMark[i]) return;
  }
  begin({1, 1});
  findings_ << "the input begins with a UTF-8 byte-order mark, which geocart cannot read: "
               "remove it with sed '1s/^\\xEF\\xBB\\xBF//'";
  findings_.end();
}

void FileChecker::noteOldestLabel() noexcept {
  const PendingLabel& label = pending_[pendingFirst_];
  pendingFirst_ = (pendingFirst_ + 1) % pendingRoom;
  --pendingCount_;
  const LabelTable::Earlier earlier = labels_.note(label.printed, label.whole, label.place.line);
  if (!earlier.differs) return;
  // The oldest: every finding before it is written.
  findings_.begin(name_, label.place.line, label.place.column);
  PointLabel shown;
  std::memcpy(shown.chars, &label.printed, sizeof label.printed);
  findings_ << "geocart prints this label as ";
  quoteLabel(shown);
  findings_ << ", as it prints a different label on ";
  if (earlier.line == LabelTable::lastKeptLine) {
    findings_ << "an earlier line";
  } else {
    findings_ << "line " << earlier.line;
  }
  findings_.end();
}

std::uint64_t FileChecker::examine(const Group& group) noexcept {
  recio::ReadTrace& trace = *trace_;
  const std::int64_t first = firstOffset(group);
  const auto before = static_cast<std::uint64_t>(lineEndsIn(group.start, first));
  groupLine_ = line_ + before;
  blankLinesBefore_ = before > 0;
  if (group.status != recio::success) {
    groupSpans_ = true;  // lines are found one by one
    examineItems(group);
    reportFailure(group, groupLine_);
    return 0;
  }
  const std::int64_t last = offsetOf(group, trace.restStart);
  const auto inside = static_cast<std::uint64_t>(lineEndsIn(first, last));
  groupSpans_ = inside > 0;
  if (groupSpans_) {
    // The group goes on past the line where it began: say why.
    const Place start = placeOf(first);
    const std::uint64_t lastLine = placeOf(last).line;
    const int count = trace.itemCount < groupItems ? trace.itemCount : groupItems;
    int later = -1;
    for (int i = 1; i < count && later < 0; ++i) {
      const ItemTrace& item = trace.items[i];
      if (item.start >= 0 && lineEndsIn(first, offsetOf(group, item.start)) > 0) later = i;
    }
    const ItemTrace& label = trace.items[labelItem];
    if (later >= 0) {
      const ItemTrace& item = trace.items[later];
      const std::int64_t at = offsetOf(group, item.start);
      begin(start);
      findings_ << "the point goes on to line " << lastLine << ": its " << itemNames[later]
                << " is taken from line " << placeOf(at).line << ", ";
      if (item.end >= 0) {
        quoteInput(at, offsetOf(group, item.end));
      } else {
        quoteWord(at);
      }
      findings_.end();
    } else if (label.quote != 0 && label.start >= 0) {
      const std::int64_t at = offsetOf(group, label.start);
      beginAt(at);
      findings_ << "the quote opened here closes on line " << placeOf(offsetOf(group, label.end) - 1).line
                << ": geocart reads lines " << start.line << " to " << lastLine
                << " as one point, labelled ";
      quoteLabel(point_.label);
      findings_.end();
    } else {
      begin(start);
      findings_ << "the point goes on to line " << lastLine;
      if (label.continued) findings_ << ": a backslash at a line's end continues its label";
      findings_.end();
    }
  }
  examineItems(group);
  examineRest(group);
  // The rest of the line holds the statement's last line end.
  return before + inside + 1;
}

bool FileChecker::isPlain() const noexcept {
  recio::ReadTrace& trace = *trace_;
  if (trace.itemCount != groupItems) return false;
  for (int i = 0; i < groupItems; ++i) {
    const ItemTrace& item = trace.items[i];
    if (item.outcome != ItemOutcome::value || item.repeatCount >= 0) return false;
    if (i > 0 && item.start == trace.items[i - 1].end) return false;
  }
  const GeodeticPoint& p = point_.point;
  return std::fabs(p.latitude) <= 90.0 && p.longitude >= -180.0 && p.longitude <= 360.0 &&
         std::isfinite(p.height);
}

void FileChecker::examineItems(const Group& group) noexcept {
  recio::ReadTrace& trace = *trace_;
  if (isPlain()) {
    examineLabel(group, trace.items[labelItem]);
    return;
  }
  const int count = trace.itemCount < groupItems ? trace.itemCount : groupItems;
  unsigned nulls = 0;
  std::int64_t firstNull = -1;
  for (int i = 0; i < count; ++i) {
    const ItemTrace& item = trace.items[i];
    if (item.outcome == ItemOutcome::stopped && item.start >= 0) {
      const unsigned kept = (1u << groupItems) - (1u << i);
      beginAt(offsetOf(group, item.start));
      findings_ << "the '/' ends the point here: for its ";
      listItems(findings_, kept);
      usesEarlier(kept);
      findings_.end();
      break;
    }
    if (item.repeatCount >= 0) {
      unsigned served = 1u << i;
      for (int j = i + 1; j < count && trace.items[j].outcome == ItemOutcome::repeated; ++j) {
        served |= 1u << j;
      }
      const std::int64_t at = offsetOf(group, item.start);
      beginAt(at);
      if (item.outcome == ItemOutcome::value) {
        // A number repeated into the label leaves the label as it was.
        const unsigned untouched = i < labelItem ? served & (1u << labelItem) : 0;
        quoteInput(at, offsetOf(group, item.end));
        findings_ << " is a repeat count: geocart gives ";
        valueOf(point_, i);
        findings_ << " to the ";
        listItems(findings_, served & ~untouched);
        if (untouched != 0) {
          findings_ << ", and for the label";
          usesEarlier(untouched);
        }
      } else {
        quoteWord(at);
        findings_ << " is a repeat count of an empty value: for the ";
        listItems(findings_, served);
        usesEarlier(served);
      }
      findings_.end();
      continue;
    }
    if (item.outcome == ItemOutcome::null) {
      if (firstNull < 0) firstNull = offsetOf(group, item.start);
      nulls |= 1u << i;
      continue;
    }
    if (item.outcome != ItemOutcome::value) continue;
    const ItemTrace* before = i > 0 ? &trace.items[i - 1] : nullptr;
    if (before != nullptr && before->outcome == ItemOutcome::value && before->end == item.start) {
      const std::int64_t at = offsetOf(group, item.start);
      beginAt(at);
      findings_ << "no separator between ";
      quoteInput(offsetOf(group, before->start), at);
      findings_ << " and ";
      quoteInput(at, offsetOf(group, item.end));
      findings_ << ": geocart reads them as two values, the " << itemNames[i - 1] << " and the "
                << itemNames[i];
      findings_.end();
    }
    if (i == labelItem) {
      examineLabel(group, item);
      continue;
    }
    const double value =
        i == 0 ? point_.point.latitude : i == 1 ? point_.point.longitude : point_.point.height;
    if (!std::isfinite(value)) {
      const std::int64_t at = offsetOf(group, item.start);
      beginAt(at);
      findings_ << "the " << itemNames[i] << ' ';
      quoteInput(at, offsetOf(group, item.end));
      findings_ << (std::isnan(value) ? " is not a number" : " is infinite")
                << ": geocart prints Inf or NaN in the point's line";
      findings_.end();
    } else if (i == 0 && std::fabs(value) > 90.0) {
      beginAt(offsetOf(group, item.start));
      findings_ << "the latitude ";
      findings_.number(value);
      findings_ << " is outside -90 to 90: are the latitude and longitude swapped?";
      findings_.end();
    } else if (i == 1 && !(value >= -180.0 && value <= 360.0)) {
      // East longitudes are written from -180 to 180 or from 0 to 360.
      beginAt(offsetOf(group, item.start));
      findings_ << "the longitude ";
      findings_.number(value);
      findings_ << " is outside -180 to 360";
      findings_.end();
    }
  }
  if (nulls != 0) {
    beginAt(firstNull);
    findings_ << "empty ";
    listItems(findings_, nulls);
    findings_ << ':';
    usesEarlier(nulls);
    findings_.end();
  }
}

void FileChecker::examineLabel(const Group& group, const ItemTrace& label) noexcept {
  const std::int64_t at = offsetOf(group, label.start);
  const std::int64_t end = offsetOf(group, label.end);
  // The label as written, without its quotes.
  const std::int64_t from = label.quote != 0 ? at + 1 : at;
  const std::int64_t to = label.quote != 0 ? end - 1 : end;
  const PointLabel& printed = point_.label;
  // A quote closed on a later line has its finding, which shows the label.
  const bool quoteSpans = label.quote != 0 && groupSpans_ && lineEndsIn(at, end) > 0;
  if (label.textLength > PointLabel::size() && !quoteSpans) {
    beginAt(at);
    findings_ << "the label ";
    quoteInput(from, to);
    findings_ << " is cut to 8 characters: geocart prints ";
    quoteLabel(printed);
    findings_.end();
  }
  if (label.textLength >= PointLabel::size() && !printed.isBlank()) {
    if (pendingCount_ == pendingRoom) noteOldestLabel();
    PendingLabel& pending = pending_[(pendingFirst_ + pendingCount_++) % pendingRoom];
    std::memcpy(&pending.printed, printed.chars, sizeof pending.printed);
    pending.whole =
        label.textLength == PointLabel::size() ? 0 : (label.textHash == 0 ? 1 : label.textHash);
    pending.place = groupSpans_ || blankLinesBefore_
                        ? placeOf(at)
                        : Place{groupLine_, static_cast<std::uint64_t>(at - lineStart_) + 1};
    labels_.prefetch(pending.printed);
  }
  // At once for the eight: a byte below 32, the byte 127, a byte above 127.
  std::uint64_t word;
  std::memcpy(&word, printed.chars, sizeof word);
  constexpr std::uint64_t ones = 0x0101010101010101ull, tops = 0x8080808080808080ull;
  const std::uint64_t del = word ^ (ones * 127);
  if ((((word - ones * 32) | (del - ones)) & ~word & tops) == 0 && (word & tops) == 0) return;
  bool carriageReturn = false;
  int control = -1;
  bool high = false;
  for (char c : printed.chars) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\r') carriageReturn = true;
    if ((b < 32 || b == 127) && control < 0) control = b;
    if (b >= 128) high = true;
  }
  if (control < 0 && !high) return;
  beginAt(at);
  findings_ << "the label ";
  quoteLabel(printed);
  if (carriageReturn) {
    findings_ << " ends in a carriage return (Windows line ends?): geocart prints it; "
                 "tr -d '\\r' removes them";
  } else if (control >= 0) {
    const char shown[3] = {'^', static_cast<char>(control ^ 64), 0};
    findings_ << " holds the control character " << shown << ", which geocart prints";
  } else {
    findings_ << " holds bytes above 127 (not ASCII): geocart counts each byte as a character";
  }
  findings_.end();
}

void FileChecker::examineRest(const Group& group) noexcept {
  recio::ReadTrace& trace = *trace_;
  if (trace.restEnd - trace.restStart <= 1) return;
  std::int64_t from = offsetOf(group, trace.restStart);
  const std::int64_t end = offsetOf(group, trace.restEnd) - 1;  // before the line end
  while (from < end && isHarmlessRest(*window_.at(from))) ++from;
  // A comment after the values is the way to annotate a line.
  if (from == end || *window_.at(from) == '#') return;
  std::int64_t to = end;
  while (to > from && isHarmlessRest(*window_.at(to - 1))) --to;
  beginAt(from);
  quoteInput(from, to);
  const ItemTrace& label = trace.items[labelItem];
  if (trace.itemCount > labelItem && label.outcome == ItemOutcome::value) {
    findings_ << " after the label ";
    quoteLabel(point_.label);
    findings_ << " is ignored";
  } else {
    findings_ << " after the point's values is ignored";
  }
  findings_.end();
}

void FileChecker::reportFailure(const Group& group, std::uint64_t groupLine) noexcept {
  recio::ReadTrace& trace = *trace_;
  const std::int32_t code = group.status;
  const ItemTrace* item = trace.current();
  const int index = trace.itemCount - 1;
  const char* word = trace.failureWord != nullptr ? trace.failureWord : recio::listIoWord;
  const auto reportLine = [&] {
    findings_ << "'" << word << ": [";
    if (code < 0) {
      findings_ << "-" << static_cast<std::uint64_t>(-static_cast<std::int64_t>(code))
                << "] end of file'";
    } else {
      const char* text = recio::runtimeErrorText(code);
      findings_ << static_cast<std::uint64_t>(code) << "] "
                << (text != nullptr ? text : "unknown error number") << "'";
    }
  };
  if (code == recio::endOfFile) {
    if (item != nullptr && item->quote != 0 && item->start >= 0) {
      beginAt(offsetOf(group, item->start));
      findings_ << "the quote opened here is never closed: geocart reads on to the end of the "
                   "input and stops with ";
      reportLine();
    } else {
      beginAt(firstOffset(group));
      findings_ << "the input ends inside the point that begins here";
      if (index >= 0 && index < groupItems) findings_ << ", before its " << itemNames[index];
      findings_ << ": geocart stops with ";
      reportLine();
    }
    findings_.end();
    return;
  }
  const std::int64_t at = item != nullptr && item->start >= 0 ? offsetOf(group, item->start)
                                                              : offsetOf(group, trace.failureAt);
  const Place place = placeOf(at);
  begin(place);
  findings_ << "geocart stops here with ";
  reportLine();
  findings_ << ": ";
  const bool later = place.line > groupLine;
  switch (code) {
    case recio::noStarAfterRepeatCount:
      if (later) {
        findings_ << "the point that began on line " << groupLine
                  << " has no label there, so geocart takes ";
        quoteWord(at);
        findings_ << " for it, which begins with a digit";
      } else {
        findings_ << "a label that begins with a digit is read as a repeat count; quote it: ";
        quoteWord(at);
      }
      break;
    case recio::negativeRepeatCount:
      quoteWord(at);
      findings_ << " is a repeat count below 1";
      break;
    case recio::outOfFreeSpace:
      findings_ << "the label is longer than the memory geocart can have";
      break;
    default: {
      quoteWord(at);
      findings_ << " is not a number";
      if (index >= 0 && index < groupItems) {
        findings_ << ", where the " << itemNames[index] << " was due";
        if (later) findings_ << " for the point that began on line " << groupLine;
      }
      const char* p = window_.at(at);
      const char* const lineEnd = static_cast<const char*>(
          std::memchr(p, '\n', static_cast<std::size_t>(window_.end() - at)));
      if (lineEnd != nullptr && std::memchr(p, '\r', static_cast<std::size_t>(lineEnd - p))) {
        findings_ << "; the line holds a carriage return (Windows line ends?): "
                     "tr -d '\\r' removes them";
      }
      break;
    }
  }
  findings_.end();
}

void FileChecker::reportUnending(const Group& group) noexcept {
  recio::ReadTrace& trace = *trace_;
  const ItemTrace* item = trace.current();
  if (item != nullptr && item->quote != 0 && item->start >= 0) {
    beginAt(offsetOf(group, item->start));
    findings_ << "the quote opened here is not closed within "
              << static_cast<std::uint64_t>(InputWindow::mostBytes >> 20)
              << " MiB: geocart reads all of it as one label";
  } else {
    beginAt(firstOffset(group));
    findings_ << "the point that begins here goes on for more than "
              << static_cast<std::uint64_t>(InputWindow::mostBytes >> 20) << " MiB";
  }
  findings_.end();
}

}  // namespace geocart::check
