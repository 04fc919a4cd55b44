// The record group's fast path against the general steps: random lines in
// every form of the numbers, separators and labels, each read in one pass
// from a chunk in memory and item by item from a source that is fed in
// pieces too short for any number to be read from the block (so that the
// number scanner and the standard library's conversion read every number).
// Where the fast path reads a group, values, label, assignments, position
// and statement state must be the general steps' own; where it does not,
// nothing may have changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "char_source.h"
#include "free_form_reader.h"
#include "reader_state.h"

namespace {

using recio::CharSource;
using recio::FreeFormReader;
using recio::ReaderState;

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// Gives the bytes in pieces of 1 to 29.
class ShortPieces final : public recio::ByteFeed {
 public:
  ShortPieces(const std::string& bytes, std::uint32_t seed) : bytes_(bytes), random_(seed) {}
  long fill(std::int64_t offset, char* into, std::size_t room) noexcept override {
    const auto at = static_cast<std::size_t>(offset);
    if (at >= bytes_.size()) return 0;
    const std::size_t n = std::min({room, bytes_.size() - at, std::size_t{1} + random_() % 29});
    std::memcpy(into, bytes_.data() + at, n);
    return static_cast<long>(n);
  }

 private:
  const std::string& bytes_;
  std::mt19937 random_;
};

struct Outcome {
  double values[3] = {0x1.5p+4, -0x1.8p+1, 0x1p-3};  // what the targets held
  char label[8] = {'o', 'l', 'd', ' ', ' ', ' ', ' ', ' '};
  std::int64_t position = 0;
};

// Everything a statement leaves behind, as one text to compare.
std::string leftBehind(const ReaderState& s, const Outcome& o) {
  std::string text = std::to_string(s.firstItem) + std::to_string(s.repeat) +
                     std::to_string(s.stop) + std::to_string(s.ended) +
                     std::to_string(s.endOfFileExit) + std::to_string(s.errorExit) + " " +
                     std::to_string(s.assigned) + " " + std::to_string(static_cast<int>(s.kind)) +
                     " " + std::to_string(bits(s.real)) + " [" + std::string(s.text, s.textKept);
  for (const double v : o.values) text += "] " + std::to_string(bits(v));
  return text + " [" + std::string(o.label, 8) + "] " + std::to_string(o.position);
}

// A text buffer of some room, as any statement that read a text leaves it.
void giveTextRoom(ReaderState& state, std::size_t room) {
  state.text = static_cast<char*>(std::realloc(state.text, room));
  state.textCapacity = room;
  std::memcpy(state.text, "previous", std::min<std::size_t>(room, 8));
  state.textKept = std::min<std::size_t>(room, 8);
  state.kind = recio::ValueKind::real;
  state.real = 0x1.8p-7;
}

// The general steps over `text`, fed in short pieces: returns the
// statement's status.
std::int32_t readInGeneral(const std::string& text, std::uint32_t seed, ReaderState& state,
                           Outcome& out) {
  ShortPieces feed(text, seed);
  CharSource source;
  source.openDescriptor(-1, 5, false);
  source.readThrough(&feed);
  FreeFormReader reader(state);
  std::int32_t status = reader.beginRead(source, true, false);
  for (double& value : out.values) {
    if (status == 0) status = reader.readReal(value);
  }
  if (status == 0) status = reader.readText(out.label, 8);
  if (status == 0) status = reader.endRead();
  out.position = source.position();
  return status;
}

// Checks one text both ways; returns whether the fast path read it.
bool checkBothWays(const std::string& text, std::uint32_t seed) {
  ReaderState fastState, generalState;
  giveTextRoom(fastState, 128);
  giveTextRoom(generalState, 128);
  CharSource chunk;
  chunk.openChunk(text.data(), text.size());
  Outcome fast;
  FreeFormReader fastReader(fastState);
  const bool taken = fastReader.readGroupInBlock(chunk, true, false, fast.values[0],
                                                 fast.values[1], fast.values[2], fast.label, 8);
  fast.position = chunk.position();
  if (!taken) {
    // Nothing taken, nothing stored.
    ReaderState untouched;
    giveTextRoom(untouched, 128);
    EXPECT_EQ(leftBehind(fastState, fast), leftBehind(untouched, Outcome{}));
    return false;
  }
  Outcome general;
  EXPECT_EQ(readInGeneral(text, seed, generalState, general), 0);
  EXPECT_EQ(leftBehind(fastState, fast), leftBehind(generalState, general));
  return true;
}

// ---- random lines ----

class LineMaker {
 public:
  explicit LineMaker(std::uint64_t seed) : random_(seed) {}

  std::string line() {
    std::string s = pick({"", "", "", " ", "\n", "  \t\n "});
    for (int i = 0; i < 3; ++i) {
      s += number();
      s += separator();
    }
    s += label();
    s += pick({"\n", "\n", "\n", " rest of the line\n", "/more\n", "\r\n", ""});
    return s;
  }

 private:
  std::string pick(std::initializer_list<const char*> choices) {
    return *(choices.begin() + random_() % choices.size());
  }
  std::string digits(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + random_() % 10);
    return s;
  }

  std::string number() {
    switch (random_() % 16) {
      case 0: {  // near the limits of the exact rule: 2^53, 19 and 20 digits, 10^22
        return pick({"9007199254740992", "9007199254740993", "-9007199254740993.0",
                     "1234567890123456789", "12345678901234567890", "0.1234567890123456789",
                     "1e22", "1e23", "9.007199254740993e15", "-0", "-0.0", "+0e5", "4.9e-324",
                     "2.2250738585072014e-308", "1e-22", "1.7976931348623157e308",
                     "0000000000000000000001.5", "nan", "inf", "-Infinity", "1.5.5", "1-2-3",
                     "5.", ".5", ".", "+", "-.5e-3", "3*5", "0*1"});
      }
      case 1:  // an exponent, complete or not
        return pick({"", "-", "+"}) + digits(1 + random_() % 8) +
               pick({"", ".", "."}) + digits(random_() % 10) +
               pick({"e", "E", "d", "D", "q", "Q", "+", "-", "e+", "e-", "D-"}) +
               digits(random_() % 5);
      default: {  // plain decimals of every length, ties and all
        std::string s = pick({"", "", "-", "+"}) + digits(random_() % 9);
        if (random_() % 4 != 0) {
          s += '.';
          s += digits(random_() % 16);
        }
        if (s.find_first_of("0123456789") == std::string::npos) s += digits(1);
        return s;
      }
    }
  }

  std::string separator() {
    if (random_() % 8 != 0) return pick({" ", " ", " ", "\t", ",", ", ", " , ", "  \t "});
    return pick({",,", " \n ", "/", "", "*", "\r", " ,\t, "});
  }

  std::string label() {
    std::string body = pick({"P", "STATION-", "a", "x", "-", ".", "*", "#", "Z"});
    body += digits(random_() % 12);
    std::string s;
    switch (random_() % 16) {
      case 0: s.append("'").append(body).append(" ").append(digits(2)).append("'"); break;
      case 1: s.append("\"").append(body).append("\"\"x\""); break;
      case 2: s.append(1, '\x02').append(body).append(1, '\x02'); break;
      case 3: s.append("'").append(body).append("\ncont'"); break;
      case 4: s.append(digits(1 + random_() % 3)).append(pick({"", "*", "*x"})).append(body); break;
      case 5: s.append(body).append("\\"); break;
      case 6: s.append(body).append(1, '\0').append("z"); break;
      case 7: s.append("''"); break;
      default: s = body; break;
    }
    return s;
  }

  std::mt19937_64 random_;
};

TEST(RecordGroupFastPath, ReadsAsTheGeneralStepsDo) {
#ifdef NDEBUG
  constexpr int lines = 300000;
#else
  constexpr int lines = 30000;
#endif
  LineMaker maker(20261209);
  std::mt19937 cut(5);
  int taken = 0;
  for (int i = 0; i < lines && !HasFailure(); ++i) {
    std::string text = maker.line();
    // What follows the line: another one, blanks, or nothing (the block or
    // chunk ends right there, or anywhere inside the line).
    const unsigned follow = cut() % 10;
    if (follow < 4) {
      text.append("1 2 3 next\n").append(40, ' ');
    } else if (follow < 7) {
      text.append(cut() % 64, ' ');
    } else if (follow < 9) {
      text.resize(cut() % (text.size() + 1));
    }
    SCOPED_TRACE(testing::PrintToString(text));
    if (checkBothWays(text, static_cast<std::uint32_t>(i))) ++taken;
  }
  // Most lines are in a form the fast path takes: it is exercised, and
  // so is the hand-over.
  EXPECT_GT(taken, lines / 20);
  EXPECT_LT(taken, lines - lines / 20);
}

}  // namespace
