// geocart-check against a table of inputs: for each, the findings it must
// write (their lines and columns, and what they say geocart does) and how
// it must end. Every expectation follows from how geocart reads the input.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "run_process.h"

namespace {

using golden::exitedWith;

struct FindingsCase {
  std::string name;
  std::string input;
  std::string findings;  // on standard output
  int status = 1;
};

void PrintTo(const FindingsCase& c, std::ostream* os) { *os << c.name; }

const std::vector<FindingsCase>& findingsCases() {
  static const std::vector<FindingsCase> cases = {
      {.name = "clean_groups_give_nothing",
       .input = "45 45 100 P1\n-33.5,151.25,50,SYDNEY\n10\t20\t30\t'it''s'\n"
                "46.52 6.63 372.4 '1001'\n1 2 3 x\n",
       .findings = "",
       .status = 0},
      {.name = "comment_after_the_label_is_quiet",
       .input = "45 45 100 P1  # benchmark\n45 45 100 P1,\n",
       .findings = "",
       .status = 0},
      {.name = "last_line_without_line_end_is_read",
       .input = "1 2 3 a\n1 2 3 b",
       .findings = "",
       .status = 0},
      {.name = "value_directly_after_value",
       .input = "45 7 100.1.2 P1\n",
       .findings = "<stdin>:1:11: no separator between '100.1' and '.2': geocart reads them as "
                   "two values, the height and the label\n"
                   "<stdin>:1:14: 'P1' after the label '.2' is ignored\n"},
      {.name = "text_after_the_label",
       .input = "1 2 3 x extra words\n1 2 3 'abc'def\n",
       .findings = "<stdin>:1:9: 'extra words' after the label 'x' is ignored\n"
                   "<stdin>:2:12: 'def' after the label 'abc' is ignored\n"},
      {.name = "stray_quote_closed_on_a_later_line",
       .input = "46.52 6.63 372.4 '1001'\n46.53 6.64 373.1 '1002\n46.54 6.65 374.0 '1003'\n"
                "46.55 6.66 375.2 '1004'\n",
       .findings = "<stdin>:2:18: the quote opened here closes on line 3: geocart reads lines 2 "
                   "to 3 as one point, labelled '100246.5'\n"
                   "<stdin>:3:19: \"1003'\" after the label '100246.5' is ignored\n"},
      {.name = "stray_quote_never_closed_and_the_check_goes_on",
       .input = "1 2 3 'abc\n4 5 6 x\n7 8 1e 9 y\nabc 2 3 x\n",
       .findings = "<stdin>:1:7: the quote opened here is never closed: geocart reads on to the "
                   "end of the input and stops with 'list io: [-1] end of file'\n"
                   "<stdin>:3:6: no separator between '1' and 'e': geocart reads them as two "
                   "values, the height and the label\n"
                   "<stdin>:3:8: '9 y' after the label 'e' is ignored\n"
                   "<stdin>:4:1: geocart stops here with 'list io: [1012] incomprehensible list "
                   "input': 'abc' is not a number, where the latitude was due\n"},
      {.name = "missing_label_taken_from_the_next_line",
       .input = "10 20 30\nP7\n",
       .findings = "<stdin>:1:1: the point goes on to line 2: its label is taken from line 2, "
                   "'P7'\n"},
      {.name = "missing_label_before_a_line_of_numbers",
       .input = "10 20 30\n40 50 60 B\n1 2 3 C\n",
       .findings = "<stdin>:2:1: geocart stops here with 'list io: [1009] no * after repeat "
                   "count': the point that began on line 1 has no label there, so geocart takes "
                   "'40' for it, which begins with a digit\n"},
      {.name = "backslash_continues_a_label",
       .input = "1 2 3 ab\\\ncd\n",
       .findings = "<stdin>:1:1: the point goes on to line 2: a backslash at a line's end "
                   "continues its label\n"
                   "<stdin>:1:7: the label 'ab^Jcd' holds the control character ^J, which "
                   "geocart prints\n"},
      {.name = "empty_field_of_a_first_point",
       .input = "45,45,,P1\n",
       .findings = "<stdin>:1:7: empty height: geocart uses 0, as no point came before\n"},
      {.name = "empty_fields_keep_the_point_before",
       .input = "45,45,100,P1\n46,7,,P2\n,,,,\n1 2 3 ,,\n",
       .findings = "<stdin>:2:6: empty height: geocart uses 100, that of the point before\n"
                   "<stdin>:3:1: empty latitude, longitude, height and label: geocart uses 46, "
                   "7, 100 and 'P2', those of the point before\n"
                   "<stdin>:4:8: empty label: geocart uses 'P2', that of the point before\n"},
      {.name = "repeat_counts",
       .input = "1 2 3 P3\n3*5 abc\n2* 5 x\n4*7\n",
       .findings = "<stdin>:2:1: '3*5' is a repeat count: geocart gives 5 to the latitude, "
                   "longitude and height\n"
                   "<stdin>:3:1: '2*' is a repeat count of an empty value: for the latitude and "
                   "longitude geocart uses 5 and 5, those of the point before\n"
                   "<stdin>:4:1: '4*7' is a repeat count: geocart gives 7 to the latitude, "
                   "longitude and height, and for the label geocart uses 'x', that of the point "
                   "before\n"},
      {.name = "slash_ends_a_point",
       .input = "1 2 /\n",
       .findings = "<stdin>:1:5: the '/' ends the point here: for its height and label geocart "
                   "uses 0 and '', as no point came before\n"},
      {.name = "labels_cut_and_printed_alike",
       .input = "1 2 3 BM-10001\n1 2 3 BM-100010\n1 2 3 BM-100011\n1 2 3 BM-10001\n",
       .findings = "<stdin>:2:7: the label 'BM-100010' is cut to 8 characters: geocart prints "
                   "'BM-10001'\n"
                   "<stdin>:2:7: geocart prints this label as 'BM-10001', as it prints a "
                   "different label on line 1\n"
                   "<stdin>:3:7: the label 'BM-100011' is cut to 8 characters: geocart prints "
                   "'BM-10001'\n"
                   "<stdin>:3:7: geocart prints this label as 'BM-10001', as it prints a "
                   "different label on line 1\n"},
      {.name = "the_same_long_label_twice_is_one_label",
       .input = "1 2 3 STATION01\n1 2 3 'STATION01'\n",
       .findings = "<stdin>:1:7: the label 'STATION01' is cut to 8 characters: geocart prints "
                   "'STATION0'\n"
                   "<stdin>:2:7: the label 'STATION01' is cut to 8 characters: geocart prints "
                   "'STATION0'\n"},
      {.name = "windows_line_ends",
       .input = "45 45 100 P1\r\n",
       .findings = "<stdin>:1:11: the label 'P1^M' ends in a carriage return (Windows line "
                   "ends?): geocart prints it; tr -d '\\r' removes them\n"},
      {.name = "carriage_return_before_a_quoted_label",
       .input = "46.52 6.63 372.4\r '1001'\n",
       .findings = "<stdin>:1:17: no separator between '372.4' and '^M': geocart reads them as "
                   "two values, the height and the label\n"
                   "<stdin>:1:17: the label '^M' ends in a carriage return (Windows line "
                   "ends?): geocart prints it; tr -d '\\r' removes them\n"
                   "<stdin>:1:19: \"'1001'\" after the label '^M' is ignored\n"},
      {.name = "bytes_above_127_in_a_label",
       .input = "1 2 3 Z\xC3\xBCrich\n",
       .findings = "<stdin>:1:7: the label 'Z\xC3\xBCrich' holds bytes above 127 (not ASCII): "
                   "geocart counts each byte as a character\n"},
      {.name = "byte_order_mark",
       .input = "\xEF\xBB\xBF" "0 0 0 A\n",
       .findings = "<stdin>:1:1: the input begins with a UTF-8 byte-order mark, which geocart "
                   "cannot read: remove it with sed '1s/^\\xEF\\xBB\\xBF//'\n"
                   "<stdin>:1:1: geocart stops here with 'list io: [1012] incomprehensible list "
                   "input': '\xEF\xBB\xBF" "0' is not a number, where the latitude was due\n"},
      {.name = "latitude_beyond_90_degrees",
       .input = "151.25 -33.5 50 SYD\n-90.5 0 0 S\n90 360 0 N\n-90 -180 0 S\n46 6d38 0 X\n"
                "0 -180.5 0 W\n",
       .findings = "<stdin>:1:1: the latitude 151.25 is outside -90 to 90: are the latitude and "
                   "longitude swapped?\n"
                   "<stdin>:2:1: the latitude -90.5 is outside -90 to 90: are the latitude and "
                   "longitude swapped?\n"
                   "<stdin>:5:4: the longitude 6e+38 is outside -180 to 360\n"
                   "<stdin>:6:3: the longitude -180.5 is outside -180 to 360\n"},
      {.name = "values_that_are_not_finite",
       .input = "1 2 inf x\nnan 2 3 y\n",
       .findings = "<stdin>:1:5: the height 'inf' is infinite: geocart prints Inf or NaN in the "
                   "point's line\n"
                   "<stdin>:2:1: the latitude 'nan' is not a number: geocart prints Inf or NaN "
                   "in the point's line\n"},
      {.name = "every_failure_and_the_check_goes_on",
       .input = "id,lat,lon,h\n1 2 3 1001\n0*7 2 3 x\n45 45 100 P1\n45 45 100\n",
       .findings = "<stdin>:1:1: geocart stops here with 'list io: [1012] incomprehensible list "
                   "input': 'id' is not a number, where the latitude was due\n"
                   "<stdin>:2:7: geocart stops here with 'list io: [1009] no * after repeat "
                   "count': a label that begins with a digit is read as a repeat count; quote "
                   "it: '1001'\n"
                   "<stdin>:3:1: geocart stops here with 'list io: [1022] negative repeat "
                   "count': '0*7' is a repeat count below 1\n"
                   "<stdin>:5:1: the input ends inside the point that begins here, before its "
                   "label: geocart stops with 'list io: [-1] end of file'\n"},
  };
  return cases;
}

class Findings : public testing::TestWithParam<FindingsCase> {};

TEST_P(Findings, Run) {
  const FindingsCase& c = GetParam();
  golden::RunRequest request;
  request.program = CHECK_BINARY;
  request.stdinBytes = c.input;
  const golden::RunResult r = golden::runProcess(request);
  ASSERT_EQ(r.failure, "");
  const std::string out = golden::compareBytes(c.findings, r.stdoutBytes);
  EXPECT_TRUE(out.empty()) << "findings differ: " << out;
  EXPECT_EQ(r.stderrBytes, "");
  EXPECT_TRUE(r.end == exitedWith(c.status)) << golden::describe(r.end);
}

INSTANTIATE_TEST_SUITE_P(Table, Findings, testing::ValuesIn(findingsCases()),
                         [](const testing::TestParamInfo<FindingsCase>& param) {
                           return param.param.name;
                         });

}  // namespace
