// FreeFormReader: the reading steps of values in free form, from one
// internal record, a unit or a source of the caller's own. They are the
// definition: each item is read here character by character, with the rules
// of free_form_rules.h. Before them, readReal and readText try their block
// entries (real_item_fast_path.h, text_item_fast_path.h), which take an
// item whole from the source's block when its common form lies there, and
// endRead looks for the line end among the characters already fetched;
// takeInBlock stores what whole statements read in the block leave
// (statement_in_block.h).
#include "free_form_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "char_source.h"
#include "double_bits.h"
#include "failure.h"
#include "free_form_rules.h"
#include "read_trace.h"
#include "reader_state.h"
#include "real_item_fast_path.h"
#include "statement_context.h"
#include "text_item_fast_path.h"
#include "units.h"

namespace recio {

namespace {

using namespace freeform;
using doublebits::exponentMask;
using doublebits::fractionMask;
using doublebits::signMask;

// The process's statement state, and the source of its internal records.
ReaderState processState;
CharSource recordSource;

inline int next(ReaderFields& state) noexcept {
  const int c = state.source->get();
  if (c == endOfInput) state.ended = true;
  return c;
}

inline void giveBack(ReaderFields& state, int c) noexcept { state.source->unget(c); }

// ---- the trace ----

// The item being read, when the statement is traced.
inline ItemTrace* tracedItem(const ReaderFields& state) noexcept {
  return state.trace != nullptr ? state.trace->current() : nullptr;
}

inline void traceOutcome(const ReaderFields& state, ItemOutcome outcome) noexcept {
  if (ItemTrace* item = tracedItem(state)) item->outcome = outcome;
}

// The item's own first character stands next in the source.
inline void traceStart(const ReaderFields& state) noexcept {
  if (ItemTrace* item = tracedItem(state)) item->start = state.source->position();
}

inline void traceValueEnd(const ReaderFields& state) noexcept {
  if (ItemTrace* item = tracedItem(state)) {
    item->outcome = ItemOutcome::value;
    item->end = state.source->position();
  }
}

void skipBlanks(ReaderFields& state) noexcept {
  int c;
  do c = next(state);
  while (isBlank(c));
  giveBack(state, c);
}

// The end of input ends a statement through its end-of-file exit only
// before its group has begun, while nothing but blanks has been taken since
// the statement before it ended. Met anywhere else, it cuts a group short,
// which is a failure like any other: dropping the group in silence would
// lose data and call the run a success.
std::int32_t fail(ReaderFields& state, std::int32_t code, const char* word) noexcept {
  const bool quietEnd = code == endOfFile && state.firstItem;
  const bool hasExit = quietEnd ? state.endOfFileExit : state.errorExit;
  if (state.trace != nullptr) {
    state.trace->failure = code;
    state.trace->failureWord = word;
    state.trace->failureAt = state.source->position();
  }
  if (hasExit) return code;
  state.source->updateContext(statementContext);
  reportFailure(code, word);
}

constexpr std::int32_t saturatedCount = 2147483647;

std::int32_t addDigit(std::int32_t count, int digit) noexcept {
  if (count > (saturatedCount - digit) / 10) return saturatedCount;
  return count * 10 + digit;
}

// ---- the number scanner ----

// Characters examined for one number, white space in front included. The
// give-back area holds them all, with the one read after them.
constexpr int fieldLimit = 512;
constexpr int noCharacter = -2;  // nothing looked at yet
constexpr int limitReached = -3;

struct Number {
  bool found = false;
  bool integerForm = false;
  std::int32_t count = 0;  // the integer form, saturated
  double value = 0.0;
};

class Scanner {
 public:
  explicit Scanner(ReaderFields& state) noexcept : state_(state) {}
  Number scan() noexcept;

 private:
  int look() noexcept {
    if (ahead_ == noCharacter) ahead_ = n_ < fieldLimit ? next(state_) : limitReached;
    return ahead_;
  }
  void take() noexcept {
    text_[n_++] = static_cast<char>(ahead_);
    ahead_ = noCharacter;
  }
  bool takeLetter(char lower) noexcept {
    const int c = look();
    if (c < 0 || (c | 0x20) != lower) return false;
    take();
    return true;
  }
  int takeDigits() noexcept {
    int digits = 0;
    while (isDigit(look())) {
      take();
      ++digits;
    }
    return digits;
  }
  // Gives back every character read after the first `accepted`.
  void giveBackFrom(int accepted) noexcept {
    if (ahead_ != noCharacter && ahead_ != limitReached) giveBack(state_, ahead_);
    for (int i = n_; i > accepted; --i) giveBack(state_, static_cast<unsigned char>(text_[i - 1]));
  }
  double convert(bool negative, int body, int significandEnd, int exponentStart,
                 bool exponentNegative) const noexcept;

  ReaderFields& state_;
  char text_[fieldLimit];
  int n_ = 0;
  int ahead_ = noCharacter;
};

inline bool isScannerSpace(int c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

Number Scanner::scan() noexcept {
  Number result;
  while (isScannerSpace(look())) take();
  bool negative = false;
  if (look() == '+' || look() == '-') {
    negative = look() == '-';
    take();
  }
  const int body = n_;
  const int c = look();
  if (c >= 0 && (c | 0x20) == 'i') {
    take();
    if (takeLetter('n') && takeLetter('f')) {
      int accepted = n_;
      if (takeLetter('i') && takeLetter('n') && takeLetter('i') && takeLetter('t') &&
          takeLetter('y')) {
        accepted = n_;
      }
      giveBackFrom(accepted);
      result.found = true;
      result.value = std::bit_cast<double>(exponentMask | (negative ? signMask : 0));
      return result;
    }
    giveBackFrom(0);
    return result;
  }
  if (c >= 0 && (c | 0x20) == 'n') {
    take();
    if (takeLetter('a') && takeLetter('n')) {
      int accepted = n_;
      if (look() == '(') {
        take();
        while (look() >= 0 && look() != ')') take();
        if (look() == ')') {
          take();
          accepted = n_;
        }
      }
      giveBackFrom(accepted);
      result.found = true;
      result.value = std::bit_cast<double>(exponentMask | fractionMask | (negative ? signMask : 0));
      return result;
    }
    giveBackFrom(0);
    return result;
  }
  int digits = takeDigits();
  bool point = false;
  if (look() == '.') {
    take();
    point = true;
    digits += takeDigits();
  }
  if (digits == 0) {
    giveBackFrom(0);
    return result;
  }
  const int significandEnd = n_;
  int accepted = n_;
  int exponentStart = -1;
  bool exponentNegative = false;
  const int e = look();
  if (isExponentLetter(e)) {
    take();
    if (look() == '+' || look() == '-') {
      exponentNegative = look() == '-';
      take();
    }
  } else if (e == '+' || e == '-') {
    exponentNegative = e == '-';
    take();
  }
  if (n_ > significandEnd && isDigit(look())) {
    exponentStart = n_;
    takeDigits();
    accepted = n_;
  }
  giveBackFrom(accepted);
  result.found = true;
  result.integerForm = !point && exponentStart < 0;
  if (result.integerForm) {
    std::int32_t count = 0;
    for (int i = body; i < significandEnd; ++i) count = addDigit(count, text_[i] - '0');
    result.count = negative ? -count : count;
  }
  result.value = convert(negative, body, significandEnd, exponentStart, exponentNegative);
  return result;
}

double Scanner::convert(bool negative, int body, int significandEnd, int exponentStart,
                        bool exponentNegative) const noexcept {
  // An exponent beyond 99999 cannot change the outcome of 512 digits at most:
  // it overflows or underflows either way, so it is held at that bound.
  constexpr std::int32_t exponentBound = 99999;
  std::int32_t exponent = 0;
  if (exponentStart >= 0) {
    for (int i = exponentStart; i < n_ && isDigit(static_cast<unsigned char>(text_[i])); ++i) {
      exponent = exponent * 10 + (text_[i] - '0');
      if (exponent > exponentBound) {
        exponent = exponentBound;
        break;
      }
    }
    if (exponentNegative) exponent = -exponent;
  }
  // from_chars takes no '+' and no exponent letter but e; it rounds exactly.
  char normal[fieldLimit + 16];
  std::size_t m = 0;
  if (negative) normal[m++] = '-';
  std::memcpy(normal + m, text_ + body, static_cast<std::size_t>(significandEnd - body));
  m += static_cast<std::size_t>(significandEnd - body);
  if (exponent != 0) {
    normal[m++] = 'e';
    const auto r = std::to_chars(normal + m, normal + sizeof normal, exponent);
    m = static_cast<std::size_t>(r.ptr - normal);
  }
  double value = 0.0;
  const auto r = std::from_chars(normal, normal + m, value);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond the doubles: the decimal exponent of the leading digit tells an
    // overflow from an underflow.
    int integerDigits = 0;
    int leadingZeros = 0;
    bool seenPoint = false;
    bool seenNonZero = false;
    for (int i = body; i < significandEnd; ++i) {
      const char ch = text_[i];
      if (ch == '.') {
        seenPoint = true;
        continue;
      }
      if (!seenPoint) ++integerDigits;
      if (!seenNonZero) {
        if (ch == '0') {
          ++leadingZeros;
        } else {
          seenNonZero = true;
        }
      }
    }
    const std::int64_t leading =
        static_cast<std::int64_t>(exponent) + integerDigits - 1 - leadingZeros;
    const std::uint64_t sign = negative ? signMask : 0;
    value = std::bit_cast<double>(sign | (leading >= 0 ? exponentMask : 0));
  }
  return value;
}

// ---- statement steps ----

// A real item that found no number: the rest up to a line end or slash is
// dropped.
std::int32_t recover(ReaderFields& state) noexcept {
  int c;
  do c = next(state);
  while (c != '\n' && c != '/' && c != endOfInput);
  if (c == endOfInput) return fail(state, endOfFile, listReadWord);
  return fail(state, incomprehensibleListInput, listIoWord);
}

std::int32_t separatorStep(ReaderFields& state) noexcept {
  skipBlanks(state);
  if (state.ended) return fail(state, endOfFile, listIoWord);
  const int c = next(state);
  if (c == '/') {
    giveBack(state, c);
    state.stop = true;
    return success;
  }
  if (c == ',') {
    skipBlanks(state);
    if (state.ended) return fail(state, endOfFile, listIoWord);
    return success;
  }
  giveBack(state, c);
  return success;
}

// Steps shared by both kinds before a value is read. Returns true when the
// item is settled with `status` and no value is to be read.
bool beginItem(ReaderFields& state, std::int32_t& status, const char* endWord) noexcept {
  if (state.ended) {
    status = fail(state, endOfFile, listReadWord);
    return true;
  }
  status = success;
  if (state.stop) {
    traceOutcome(state, ItemOutcome::stopped);
    return true;
  }
  if (state.repeat > 0) {
    traceOutcome(state, ItemOutcome::repeated);
    return true;
  }
  if (!state.firstItem) {
    status = separatorStep(state);
    if (status == success && state.stop) {
      traceStart(state);  // the slash, which stays in the input
      traceOutcome(state, ItemOutcome::stopped);
    }
    if (status != success || state.stop) return true;
  }
  state.kind = ValueKind::null;
  skipBlanks(state);
  if (state.ended) {
    status = fail(state, endOfFile, endWord);
    return true;
  }
  // A character other than a blank: the group has begun.
  startValue(state);
  traceStart(state);
  const int c = next(state);
  giveBack(state, c);
  if (c == ',') {
    traceOutcome(state, ItemOutcome::null);
    return true;
  }
  if (c == '/') {
    state.stop = true;
    traceOutcome(state, ItemOutcome::stopped);
    return true;
  }
  return false;
}

// ---- text values ----

class TextCollector {
 public:
  TextCollector(ReaderFields& state, std::int32_t length) noexcept
      : state_(state), limit_(length > 0 ? static_cast<std::size_t>(length) : 0),
        hashing_(state.trace != nullptr) {
    state_.textKept = 0;
  }
  void append(int c) noexcept {
    last_ = c;
    lastKept_ = false;
    ++length_;
    if (hashing_) {
      rehashLast_ = textHashStep(hash_, '\n');
      hash_ = textHashStep(hash_, static_cast<unsigned char>(c));
    }
    if (nulSeen_ || state_.textKept >= limit_) return;
    if (c == 0) {
      nulSeen_ = true;
      return;
    }
    if (state_.textKept == state_.textCapacity && !grow()) return;
    state_.text[state_.textKept++] = static_cast<char>(c);
    lastKept_ = true;
  }
  // A line end: true when it continues the value after a backslash.
  bool continuesAfterBackslash() noexcept {
    if (last_ != '\\') return false;
    if (lastKept_) state_.text[state_.textKept - 1] = '\n';
    last_ = '\n';
    continued_ = true;
    // The backslash counted in the hash stands for a line end now.
    if (hashing_) hash_ = rehashLast_;
    return true;
  }
  bool outOfSpace() const noexcept { return outOfSpace_; }
  // Characters of the value, those the target does not keep included.
  std::size_t length() const noexcept { return length_; }
  bool continued() const noexcept { return continued_; }
  std::uint64_t hash() const noexcept { return hash_; }

 private:
  bool grow() noexcept {
    const std::size_t capacity = state_.textCapacity == 0 ? 128 : state_.textCapacity * 2;
    char* grown = static_cast<char*>(std::realloc(state_.text, capacity));
    if (grown == nullptr) {
      outOfSpace_ = true;
      nulSeen_ = true;  // keep nothing more
      return false;
    }
    state_.text = grown;
    state_.textCapacity = capacity;
    return true;
  }

  ReaderFields& state_;
  std::size_t limit_;
  int last_ = -1;
  std::size_t length_ = 0;
  bool hashing_;
  std::uint64_t hash_ = textHashStart;
  std::uint64_t rehashLast_ = textHashStart;  // the hash with a line end for the last character
  bool continued_ = false;
  bool lastKept_ = false;
  bool nulSeen_ = false;
  bool outOfSpace_ = false;
};

void readQuoted(ReaderFields& state, int quote, TextCollector& value) noexcept {
  for (;;) {
    const int c = next(state);
    if (c == endOfInput) return;
    if (c == quote) {
      const int after = next(state);
      if (after != quote) {
        giveBack(state, after);
        return;
      }
      value.append(quote);
    } else if (c == '\n') {
      value.continuesAfterBackslash();  // otherwise the line end is dropped
    } else {
      value.append(c);
    }
  }
}

void readUnquoted(ReaderFields& state, int c, TextCollector& value) noexcept {
  for (;;) {
    if (c == '\n') {
      if (!value.continuesAfterBackslash()) break;
    } else if (endsValue(c)) {
      break;
    } else {
      value.append(c);
    }
    c = next(state);
  }
  giveBack(state, c);
}

// A real item, character by character.
[[gnu::noinline]] std::int32_t readRealItem(ReaderFields& state, double& target) noexcept {
  std::int32_t status;
  if (beginItem(state, status, listReadWord)) {
    if (status == success && !state.stop && state.repeat > 0) {
      // A repeated value that is not a real leaves the item unchanged.
      if (state.kind == ValueKind::real) commitReal(state, target, state.real.value);
      finishRepeat(state);
    }
    return status;
  }
  Scanner scanner(state);
  Number number = scanner.scan();
  if (number.found && number.integerForm) {
    const int c = next(state);
    if (c == '*') {
      if (number.count < 1) return fail(state, negativeRepeatCount, listIoWord);
      state.repeat = number.count;
      if (ItemTrace* item = tracedItem(state)) item->repeatCount = number.count;
      const int after = next(state);
      giveBack(state, after);
      if (endsValue(after)) {
        number.found = false;
      } else {
        Scanner valueScanner(state);
        number = valueScanner.scan();
        if (!number.found) return recover(state);
      }
      if (state.ended) return fail(state, endOfFile, listReadWord);
      if (number.found) {
        commitReal(state, target, number.value);
        traceValueEnd(state);
      } else {
        traceOutcome(state, ItemOutcome::null);
      }
      finishRepeat(state);
      return success;
    }
    giveBack(state, c);
  }
  if (!number.found) return recover(state);
  // A number ended by the end of input is not assigned.
  if (state.ended) return fail(state, endOfFile, listReadWord);
  commitReal(state, target, number.value);
  traceValueEnd(state);
  return success;
}

// A text item, character by character.
[[gnu::noinline]] std::int32_t readTextItem(ReaderFields& state, char* target,
                                            std::int32_t length) noexcept {
  std::int32_t status;
  if (beginItem(state, status, listIoWord)) {
    if (status == success && !state.stop && state.repeat > 0) {
      // A repeated real reaching a text item leaves it unchanged.
      if (state.kind == ValueKind::text) commitText(state, target, length);
      finishRepeat(state);
    }
    return status;
  }
  int c = next(state);
  if (isDigit(c)) {
    std::int32_t count = 0;
    do {
      count = addDigit(count, c - '0');
      c = next(state);
    } while (isDigit(c));
    if (c != '*') {
      if (c == endOfInput) return fail(state, endOfFile, listIoWord);
      giveBack(state, c);
      return fail(state, noStarAfterRepeatCount, listIoWord);
    }
    state.repeat = count;
    if (ItemTrace* item = tracedItem(state)) item->repeatCount = count;
    c = next(state);
    if (endsValue(c)) {
      giveBack(state, c);
      if (state.ended) return fail(state, endOfFile, listIoWord);
      traceOutcome(state, ItemOutcome::null);
      finishRepeat(state);
      return success;
    }
  }
  TextCollector value(state, length);
  const bool quoted = isQuote(c);
  if (quoted) {
    readQuoted(state, c, value);
  } else {
    readUnquoted(state, c, value);
  }
  if (ItemTrace* item = tracedItem(state)) {
    item->quote = quoted ? c : 0;
    item->textLength = value.length();
    item->continued = value.continued();
    item->textHash = value.hash();
  }
  if (state.ended) return fail(state, endOfFile, listIoWord);
  if (value.outOfSpace()) return fail(state, outOfFreeSpace, listReadWord);
  commitText(state, target, length);
  traceValueEnd(state);
  finishRepeat(state);
  return success;
}

// The rest of the line up to and including its line end, when that is
// among the characters the source has fetched: found at once there, and
// taken as the steps of endRead take it.
inline bool skipLineInBlock(CharSource& source) noexcept {
  const char* const begin = source.buffered();
  const char* const end = source.bufferedEnd();
  if (begin != end && *begin == '\n') {
    source.skip(1);
    return true;
  }
  const void* lineEnd = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
  if (lineEnd == nullptr) return false;
  source.skip(static_cast<std::size_t>(static_cast<const char*>(lineEnd) - begin) + 1);
  return true;
}

}  // namespace

FreeFormReader::FreeFormReader() noexcept : state_(&processState.fields_) {}

std::int32_t FreeFormReader::beginRead(const char* record, std::int32_t length,
                                       bool endOfFileExit, bool errorExit) noexcept {
  beginInternalListRead(record, length);
  statementContext.endOfFileExit = endOfFileExit;
  statementContext.errorExit = errorExit;
  recordSource.openRecord(record, length);
  startStatement(*state_, recordSource, endOfFileExit, errorExit);
  return success;
}

std::int32_t FreeFormReader::beginRead(std::int32_t unit, bool endOfFileExit,
                                       bool errorExit) noexcept {
  beginExternalStatement(true, Form::freeForm, unit, "ext list io", endOfFileExit, errorExit);
  // obtainUnit does not return without a source to read from.
  Unit& u = obtainUnit(unit, false);
  startStatement(*state_, *u.input, endOfFileExit, errorExit);
  return success;
}

std::int32_t FreeFormReader::beginDetachedRead(CharSource& source) noexcept {
  // With both exits nothing reaches the failure report or the context.
  startStatement(*state_, source, true, true);
  if (state_->trace != nullptr) *state_->trace = ReadTrace{};
  return success;
}

namespace {

// A traced item: counted, read by the general steps, and whether the group
// has begun noted after it.
template <typename Read>
std::int32_t readTraced(ReaderFields& state, Read read) noexcept {
  ReadTrace& trace = *state.trace;
  ++trace.itemCount;
  const std::int32_t status = read();
  trace.begun = !state.firstItem;
  return status;
}

}  // namespace

std::int32_t FreeFormReader::readReal(double& target) noexcept {
  if (state_->trace != nullptr) [[unlikely]] {
    return readTraced(*state_, [&] { return readRealItem(*state_, target); });
  }
  if (readRealInBlock(*state_, target)) [[likely]] return success;
  return readRealItem(*state_, target);
}

std::int32_t FreeFormReader::readText(char* target, std::int32_t length) noexcept {
  if (state_->trace != nullptr) [[unlikely]] {
    return readTraced(*state_, [&] { return readTextItem(*state_, target, length); });
  }
  if (readTextInBlock(*state_, target, length)) [[likely]] return success;
  return readTextItem(*state_, target, length);
}

void FreeFormReader::takeInBlock(CharSource& source, bool endOfFileExit, bool errorExit,
                                 const StatementLeaves& last) noexcept {
  commitStatement(*state_, source, endOfFileExit, errorExit, last);
  source.skip(static_cast<std::size_t>(last.end - source.buffered()));
}

std::int32_t FreeFormReader::endRead() noexcept {
  ReaderFields& state = *state_;
  state.repeat = 0;
  if (state.source->isInternal()) return success;
  if (state.ended) return fail(state, endOfFile, listReadWord);
  if (state.trace != nullptr) state.trace->restStart = state.source->position();
  if (skipLineInBlock(*state.source)) {
    if (state.trace != nullptr) state.trace->restEnd = state.source->position();
    return success;
  }
  int c;
  do c = next(state);
  while (c != '\n' && c != endOfInput);
  if (c == endOfInput) return fail(state, endOfFile, listReadWord);
  if (state.trace != nullptr) state.trace->restEnd = state.source->position();
  return success;
}

}  // namespace recio
