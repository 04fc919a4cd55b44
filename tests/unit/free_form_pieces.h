// What the differential tests of the reader's block entries share: feeds
// that give a source its bytes in pieces, random numbers, texts and
// separators in the forms users write and in those the entries must leave
// to the general steps, and a reader state that a statement has used
// before.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <string_view>

#include "char_source.h"
#include "free_form_reader.h"
#include "read_trace.h"
#include "reader_state.h"
#include "units.h"

namespace readertest {

// Gives the bytes in pieces: each of 1 to `longest` bytes at random, or,
// with `longest` 0, the bytes before `cut` and then the rest.
class Pieces final : public recio::ByteFeed {
 public:
  Pieces(std::string_view bytes, std::uint32_t seed, std::size_t longest, std::size_t cut = 0)
      : bytes_(bytes), random_(seed), longest_(longest), cut_(cut) {}
  long fill(std::int64_t offset, char* into, std::size_t room) noexcept override {
    const auto at = static_cast<std::size_t>(offset);
    if (at >= bytes_.size()) return 0;
    std::size_t n = bytes_.size() - at;
    if (longest_ != 0) n = std::min(n, std::size_t{1} + random_() % longest_);
    if (longest_ == 0 && at < cut_) n = std::min(n, cut_ - at);
    n = std::min(n, room);
    std::memcpy(into, bytes_.data() + at, n);
    return static_cast<long>(n);
  }

 private:
  std::string_view bytes_;
  std::mt19937 random_;
  std::size_t longest_;
  std::size_t cut_;
};

// A source that reads its bytes through `feed`, as standard input is read.
inline void openFed(recio::CharSource& source, Pieces& feed) {
  source.openDescriptor(-1, recio::inputUnit, false);
  source.readThrough(&feed);
}

// Pieces this short leave no block entry enough characters: the general
// steps read everything.
constexpr std::size_t generalPieces = 8;

// A statement that a state has read before: its text buffer has room, and
// the current values are a real and a text.
constexpr std::string_view prelude = "0.0078125 previous\n";

inline void readPrelude(recio::FreeFormReader& reader, recio::CharSource& source) {
  double real = 0.0;
  char text[8];
  reader.beginDetachedRead(source);
  reader.readReal(real);
  reader.readText(text, 8);
  reader.endRead();
}

inline void readPrelude(recio::ReaderState& state) {
  recio::CharSource source;
  source.openChunk(prelude.data(), prelude.size());
  recio::FreeFormReader reader(state);
  readPrelude(reader, source);
}

// Random values and separators, in the common forms and around them.
class RandomInput {
 public:
  explicit RandomInput(std::uint64_t seed) : random_(seed) {}

  std::uint64_t next() { return random_(); }

  std::string pick(std::initializer_list<const char*> choices) {
    return *(choices.begin() + random_() % choices.size());
  }

  std::string digits(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('0' + random_() % 10);
    return s;
  }

  std::string number() {
    switch (random_() % 16) {
      case 0:  // near the limits of the exact rule, and what no rule takes
        return pick({"9007199254740992", "9007199254740993", "-9007199254740993.0",
                     "1234567890123456789", "12345678901234567890", "0.1234567890123456789",
                     "1e22", "1e23", "9.007199254740993e15", "-0", "-0.0", "+0e5", "4.9e-324",
                     "2.2250738585072014e-308", "1e-22", "1.7976931348623157e308",
                     "0000000000000000000001.5", "nan", "inf", "-Infinity", "1.5.5", "1-2-3",
                     "5.", ".5", ".", "+", "-.5e-3", "3*5", "0*1", "2*", "1e", "1.5x"});
      case 1:  // an exponent, complete or not
        return pick({"", "-", "+"}) + digits(1 + random_() % 8) + pick({"", ".", "."}) +
               digits(random_() % 10) +
               pick({"e", "E", "d", "D", "q", "Q", "+", "-", "e+", "e-", "D-"}) +
               digits(random_() % 5);
      default: {  // plain decimals of every length, ties and all
        std::string s = pick({"", "", "-", "+"}) + digits(random_() % 9);
        if (random_() % 4 != 0) s.append(".").append(digits(random_() % 16));
        if (s.find_first_of("0123456789") == std::string::npos) s += digits(1);
        return s;
      }
    }
  }

  std::string separator() {
    if (random_() % 8 != 0) return pick({" ", " ", " ", "\t", ",", ", ", " , ", "  \t ", "\n"});
    return pick({",,", " \n ", "/", "", "*", "\r", " ,\t, ", ", /"});
  }

  std::string text() {
    std::string body = pick({"P", "STATION-", "a", "x", "-", ".", "*", "#", "Z", "\xe9"});
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
      case 7: s.append(pick({"''", "'a''b'", "'x'y", "\"q r\""})); break;
      case 8: s.append(body).append(20 + random_() % 30, 'w'); break;
      default: s = body; break;
    }
    return s;
  }

 private:
  std::mt19937_64 random_;
};

// What a statement's trace recorded, as one text.
inline std::string describe(const recio::ReadTrace& trace) {
  std::string text = std::to_string(trace.itemCount) + (trace.begun ? " begun" : " not begun");
  for (int i = 0; i < trace.itemCount && i < recio::ReadTrace::maxItems; ++i) {
    const recio::ItemTrace& item = trace.items[i];
    text += " [" + std::to_string(static_cast<int>(item.outcome)) + " " +
            std::to_string(item.start) + "-" + std::to_string(item.end) + " r" +
            std::to_string(item.repeatCount) + " q" + std::to_string(item.quote) + " n" +
            std::to_string(item.textLength) + (item.continued ? " continued" : "");
    // The whole text's hash, given for a text longer than its target keeps.
    if (item.textHash != 0) text += " h" + std::to_string(item.textHash);
    text += "]";
  }
  return text + " rest " + std::to_string(trace.restStart) + "-" +
         std::to_string(trace.restEnd) + " failure " + std::to_string(trace.failure);
}

// A text's hash is given only where the text is longer than its target of
// `length` characters keeps: elsewhere it is made 0, for comparing.
inline void dropHashWithin(recio::ReadTrace& trace, int item, std::int32_t length) {
  recio::ItemTrace& text = trace.items[item];
  if (text.textLength <= static_cast<std::size_t>(length)) text.textHash = 0;
}

// One item of a statement: a real, or a text of `length` characters.
struct Item {
  bool real;
  std::int32_t length = 0;
};

// One reader over the prelude and `body`, fed in pieces (`longest` and
// `cut` as Pieces takes them, the cut counted in `body`), with its own
// state and targets, after the prelude's statement.
struct Side {
  Side(std::string_view body, std::uint32_t seed, std::size_t longest, std::size_t cut)
      : input(std::string(prelude).append(body)),
        feed(input, seed, longest, prelude.size() + cut),
        reader(state) {
    openFed(source, feed);
    readPrelude(reader, source);
  }
  std::string input;
  Pieces feed;
  recio::CharSource source;
  recio::ReaderState state;
  recio::FreeFormReader reader;
  double real = 0x1.5p+4;
  char text[32] = "old text of the target";

  std::int32_t read(const Item& item) {
    return item.real ? reader.readReal(real) : reader.readText(text, item.length);
  }
  // The targets and the position, as one text to compare.
  std::string describe() const {
    return std::to_string(std::bit_cast<std::uint64_t>(real)) + " [" +
           std::string(text, sizeof text) + "] " + std::to_string(source.position());
  }
};

// Reads `items` and ends the statement on two readers of `body`: one that
// finds the block entries enough characters (all of the input in one block,
// or the block cut at `cut`), one fed in pieces too short for any. After
// each step the statuses, the targets, the positions and the whole reader
// states must be the same.
inline void compareItems(std::string_view body, std::span<const Item> items, std::size_t cut,
                         std::uint32_t seed) {
  Side fast(body, seed, 0, cut);
  Side general(body, seed, generalPieces, 0);
  std::int32_t status = fast.reader.beginDetachedRead(fast.source);
  EXPECT_EQ(status, general.reader.beginDetachedRead(general.source));
  for (const Item& item : items) {
    if (status != 0) break;
    status = fast.read(item);
    EXPECT_EQ(status, general.read(item));
    EXPECT_EQ(fast.describe(), general.describe());
    EXPECT_EQ(fast.state, general.state);
  }
  if (status == 0) {
    EXPECT_EQ(fast.reader.endRead(), general.reader.endRead());
    EXPECT_EQ(fast.describe(), general.describe());
    EXPECT_EQ(fast.state, general.state);
  }
}

}  // namespace readertest
