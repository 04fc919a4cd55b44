// MessageWriter: the exact bytes of free-form records on unit 0, the fit test
// against the 80-column line limit, and the statement-start failures.
#include "message_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "abort_report.h"
#include "units.h"

namespace recio {
namespace {

struct Item {
  bool isText;
  std::string text;       // character item, bytes as passed
  std::int32_t value = 0; // integer item
};

Item text(std::string t) { return {true, std::move(t), 0}; }
Item integer(std::int32_t v) { return {false, {}, v}; }
std::string repeat(char c, std::size_t n) { return std::string(n, c); }

using Statement = std::vector<Item>;

struct WriterCase {
  std::string name;
  std::vector<Statement> statements;  // each one record statement on unit 0
  std::string stderrBytes;
};

// Unit 0 is unbuffered, so every byte has reached descriptor 2 when a
// statement ends; leaving by _Exit shows that nothing waits for a flush.
[[noreturn]] void writeAndExit(const std::vector<Statement>& statements) {
  MessageWriter writer;
  for (const auto& statement : statements) {
    writer.beginRecord(errorUnit);
    for (const auto& item : statement) {
      if (item.isText) {
        writer.putText(item.text.data(), static_cast<std::int32_t>(item.text.size()));
      } else {
        writer.putInteger(item.value);
      }
    }
    writer.endRecord();
  }
  std::_Exit(0);
}

std::vector<WriterCase> writerCases() {
  return {
      {"no items", {{}}, " \n"},
      {"single blank", {{text(" ")}}, "  \n"},
      {"too many arguments 5",
       {{text("Too many arguments"), integer(5)}},
       " Too many arguments  5\n"},
      {"too many arguments 12345",
       {{text("Too many arguments"), integer(12345)}},
       " Too many arguments  12345\n"},
      {"usage line of 64 bytes",
       {{text("       -stdin to read lat, lon, h and label from standard input.")}},
       "        -stdin to read lat, lon, h and label from standard input.\n"},
      // Column 77 after the text, 77 + 3 = 80: the integer ends at column 80.
      {"76 bytes then integer stays",
       {{text(repeat('a', 76)), integer(5)}},
       " " + repeat('a', 76) + "  5\n"},
      // Column 78, 78 + 3 = 81: the integer moves to a new line.
      {"77 bytes then integer moves",
       {{text(repeat('a', 77)), integer(5)}},
       " " + repeat('a', 77) + "\n   5\n"},
      {"79 bytes on a fresh line",
       {{text(repeat('a', 79))}},
       " " + repeat('a', 79) + "\n"},
      {"two texts of 50",
       {{text(repeat('a', 50)), text(repeat('b', 50))}},
       " " + repeat('a', 50) + "\n " + repeat('b', 50) + "\n"},
      {"two texts of 40 abut",
       {{text(repeat('a', 40)), text(repeat('b', 39))}},
       " " + repeat('a', 40) + repeat('b', 39) + "\n"},
      {"100 bytes whole, next item on a new line",
       {{text(repeat('a', 100)), text("b")}},
       " " + repeat('a', 100) + "\n b\n"},
      // Column 101 already exceeds the limit: even an empty item breaks.
      {"100 bytes then empty text",
       {{text(repeat('a', 100)), text("")}},
       " " + repeat('a', 100) + "\n \n"},
      {"empty text on a full line stays",
       {{text(repeat('a', 79)), text("")}},
       " " + repeat('a', 79) + "\n"},
      {"minus seven", {{integer(-7)}}, "   -7\n"},
      {"zero", {{integer(0)}}, "   0\n"},
      {"most negative", {{integer(-2147483647 - 1)}}, "   -2147483648\n"},
      {"most positive", {{integer(2147483647)}}, "   2147483647\n"},
      {"two integers", {{integer(5), integer(-6)}}, "   5  -6\n"},
      // 71 + 9 = 80 fits; then 80 + 13 does not.
      {"integers against the limit",
       {{text(repeat('a', 70)), integer(1234567), integer(-2147483647 - 1)}},
       " " + repeat('a', 70) + "  1234567\n   -2147483648\n"},
      // Column 68, width 13: 81 breaks.
      {"widest integer breaks at 81",
       {{text(repeat('a', 67)), integer(-2147483647 - 1)}},
       " " + repeat('a', 67) + "\n   -2147483648\n"},
      {"widest integer ends at 80",
       {{text(repeat('a', 66)), integer(-2147483647 - 1)}},
       " " + repeat('a', 66) + "  -2147483648\n"},
      {"trailing blanks kept", {{text("ab  ")}}, " ab  \n"},
      {"leading blanks kept", {{text("  ab")}}, "   ab\n"},
      {"embedded newline adds no blank", {{text("abc\ndef")}}, " abc\ndef\n"},
      // After the embedded newline the column is 70: 70 + 3 fits.
      {"embedded newline resets the column",
       {{text(repeat('a', 40) + "\n" + repeat('b', 70)), integer(5)}},
       " " + repeat('a', 40) + "\n" + repeat('b', 70) + "  5\n"},
      // Column 79 after the newline counts only the bytes after it.
      {"embedded newline then a long tail breaks",
       {{text("x\n" + repeat('c', 79)), integer(5)}},
       " x\n" + repeat('c', 79) + "\n   5\n"},
      {"text ending in newline",
       {{text(repeat('a', 77) + "\n"), integer(5)}},
       " " + repeat('a', 77) + "\n  5\n"},
      {"bytes as passed",
       {{text(std::string("q'\"\t\x01\xe9", 6))}},
       std::string(" q'\"\t\x01\xe9\n", 8)},
      // Each statement starts its column count at 0.
      {"column count starts afresh per statement",
       {{text(repeat('a', 77))}, {integer(5)}},
       " " + repeat('a', 77) + "\n   5\n"},
  };
}

TEST(MessageWriter, WritesRecordsExactly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const auto& c : writerCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(writeAndExit(c.statements), testing::ExitedWithCode(0),
                testing::Eq(c.stderrBytes));
  }
}

void noCoreImage() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
}

void writeOnNegativeUnit() {
  noCoreImage();
  MessageWriter writer;
  writer.beginRecord(-1);
}

// The unit is connected, so the report names it and shows the statement.
void writeOnUnit0Marked(bool formatted, bool sequential) {
  noCoreImage();
  createUnitTable();
  Unit* u = connectedUnit(errorUnit);
  if (u == nullptr) std::_Exit(3);
  u->formatted = formatted;
  u->sequential = sequential;
  MessageWriter writer;
  writer.beginRecord(errorUnit);
  std::_Exit(4);
}

TEST(MessageWriter, NegativeUnitIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(writeOnNegativeUnit(), testing::KilledBySignal(SIGABRT),
              abortReportIs("ext list io: [1001] illegal unit number\n"));
}

TEST(MessageWriter, UnformattedUnitIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(writeOnUnit0Marked(false, true), testing::KilledBySignal(SIGABRT),
              abortReportIs("ext list io: [1002] formatted io not allowed\n"
                          "logical unit 0, named 'stderr'\n"
                          "lately: writing sequential list external IO\n"
                          "part of last format: ext list io\n"));
}

TEST(MessageWriter, DirectAccessUnitIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(writeOnUnit0Marked(true, false), testing::KilledBySignal(SIGABRT),
              abortReportIs("ext list io: [1005] sequential io not allowed\n"
                          "logical unit 0, named 'stderr'\n"
                          "lately: writing sequential list external IO\n"
                          "part of last format: ext list io\n"));
}

}  // namespace
}  // namespace recio
