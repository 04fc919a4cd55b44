// The end-to-end cases: one row per behaviour of the command line, standard
// input, result lines, failure reports and the ways a run ends.
//
// Result lines are three fields of 15 columns with 4 decimals; the values
// below were worked out from the WGS84 formula (a = 6378137, 1/f =
// 298.257223563) with their margins to the next rounding boundary checked in
// higher precision, and each field right-justified by hand.
#include "golden_cases.h"

#include <csignal>
#include <string>

// Each row names only the fields it sets; the others keep their defaults on
// purpose, which GCC would otherwise flag for every designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace golden {
namespace {

using namespace std::string_literals;

// Result lines without their newline, named by latitude, longitude, height.
const std::string at_0_0_0 = "   6378137.0000         0.0000         0.0000";
const std::string at_90_0_0 = "         0.0000         0.0000   6356752.3142";
const std::string at_0_90_0 = "         0.0000   6378137.0000         0.0000";
// Y is about +7.8e-10 for 180 and -7.8e-10 for -180: both print as zero.
const std::string at_0_180_0 = "  -6378137.0000         0.0000         0.0000";
const std::string at_45_45_100 = "   3194469.1451   3194469.1451   4487419.1195";
const std::string at_m33_5_151_25_50 = "  -4667790.8016   2560837.7258  -3500361.8849";
const std::string at_1_2_3 = "   6373290.2772    222560.2007    110568.8272";
const std::string at_1_2_0 = "   6373287.2795    222560.0960    110568.7748";
const std::string at_1_0_3 = "   6377175.0800         0.0000    110568.8272";
const std::string at_0_0_3 = "   6378140.0000         0.0000         0.0000";
const std::string at_5_5_5 = "   6329853.7884    553790.4483    552184.3958";
const std::string at_10_20_30 = "   5903057.3052   2148537.1503   1100253.7572";
const std::string at_40_50_60 = "   3145001.3674   3748066.6783   4078024.1395";
const std::string at_45_100_0_5 = "   -784471.4850   4448958.8706   4487348.7624";
const std::string at_45_10_100 = "   4449028.1589    784483.7023   4487419.1195";
const std::string at_0_01_m3_4 = "   6369399.8831   -333806.1032      1105.7435";
// cos 100 deg is negative, so t < 0 and Y = t * sin 0 is a negative zero,
// which prints unsigned.
const std::string at_100_0_0 = "  -1111164.8708         0.0000   6259542.9610";
// X = 6378137 + 1e10 needs 11 integer digits: 15 asterisks.
const std::string at_0_0_1e10 = "***************         0.0000         0.0000";
// X = 6378137 - 1e9 = -993621863 exactly: minus sign and 9 digits fill 15
// columns; Y and Z are negative zeros.
const std::string at_0_0_m1e9 = "-993621863.0000         0.0000         0.0000";

const std::string usage =
    " usage: geocart [-stdin] lat lon h [label]\n"
    "        lat, lon in degrees, h in meters\n"
    "        label is optional\n"
    "  \n"
    "        -stdin to read lat, lon, h and label from standard input.\n"
    "               In this case, label is *not* optional.\n";

// The report lines that follow the first line of a failed command-line number.
const std::string internalTail =
    "lately: reading sequential list internal IO\n"
    "part of last format: int list io\n";

// The report lines that follow the first line of a failed standard-input read.
const std::string stdinTail =
    "logical unit 5, named 'stdin'\n"
    "lately: reading sequential list external IO\n"
    "part of last format: ext list io\n";

const std::string eofReport = "list read: [-1] end of file\n" + internalTail +
                              "part of last string: |\n";

const std::string report1009 = "list io: [1009] no * after repeat count\n" + stdinTail;
const std::string report1012 = "list io: [1012] incomprehensible list input\n" + stdinTail;
const std::string report1022 = "list io: [1022] negative repeat count\n" + stdinTail;
// The input ends inside a group: in the separator step or a text value.
const std::string reportEndInGroup = "list io: [-1] end of file\n" + stdinTail;

const std::string refusedStdout =
    "write: [28] No space left on device\n"
    "logical unit 6, named 'stdout'\n";

std::vector<GoldenCase> makeCases() {
  return {
      // ---- The command line ----
      {.name = "no_arguments_usage", .args = {},
       .stderrBytes = usage, .end = exitedWith(1)},
      {.name = "one_number_usage", .args = {"5"},
       .stderrBytes = usage, .end = exitedWith(1)},
      {.name = "two_numbers_usage", .args = {"1", "2"},
       .stderrBytes = usage, .end = exitedWith(1)},
      {.name = "three_numbers_one_line", .args = {"1", "2", "3"},
       .stdoutBytes = at_1_2_3 + "\n"},
      {.name = "empty_label_argument_prints_no_label", .args = {"1", "2", "3", ""},
       .stdoutBytes = at_1_2_3 + "\n"},
      {.name = "label_argument_cut_to_eight", .args = {"1", "2", "3", "ABCDEFGHIJ"},
       .stdoutBytes = at_1_2_3 + "     ABCDEFGH\n"},
      {.name = "label_argument_taken_as_it_stands", .args = {"1", "2", "3", "a,b/'x"},
       .stdoutBytes = at_1_2_3 + "     a,b/'x  \n"},
      {.name = "label_argument_leading_blank_kept", .args = {"0", "0", "0", " P1"},
       .stdoutBytes = at_0_0_0 + "      P1     \n"},
      {.name = "five_arguments_too_many", .args = {"1", "2", "3", "4", "5"},
       .stderrBytes = " Too many arguments  5\n" + usage, .end = exitedWith(1)},
      // The count is nargs, not the position where the examination stopped.
      {.name = "too_many_arguments_counts_all",
       .args = {"1", "2", "3", "4", "5", "6", "7"},
       .stderrBytes = " Too many arguments  7\n" + usage, .end = exitedWith(1)},
      {.name = "too_many_arguments_five_digit_count",
       .args = std::vector<std::string>(12345, "1"),
       .stderrBytes = " Too many arguments  12345\n" + usage, .end = exitedWith(1)},
      {.name = "stdin_first_ignores_later_arguments",
       .args = {"-stdin", "1", "2", "3", "4", "5", "6"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "45 45 100 P1\n",
       .stdoutBytes = at_45_45_100 + "     P1      \n"},
      // A line holding only a slash leaves all four starting values.
      {.name = "stdin_last_keeps_command_line_values",
       .args = {"1", "2", "3", "LBL", "-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "/\n",
       .stdoutBytes = at_1_2_3 + "     LBL     \n"},
      {.name = "stdin_last_with_empty_input", .args = {"1", "2", "3", "LBL", "-stdin"}},
      {.name = "stdin_as_fifth_argument", .args = {"1", "2", "3", "4", "-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "/\n",
       .stdoutBytes = at_1_2_3 + "     4       \n"},
      {.name = "stdin_prefix_selects_mode", .args = {"-stdinfoo"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "45 45 100 P1\n",
       .stdoutBytes = at_45_45_100 + "     P1      \n"},
      {.name = "unreadable_first_argument_reports", .args = {"abc", "2", "3"},
       .stderrBytes = eofReport, .end = killedBy(SIGABRT)},
      {.name = "single_unreadable_argument_reports_not_usage", .args = {"abc"},
       .stderrBytes = eofReport, .end = killedBy(SIGABRT)},
      {.name = "number_forms_on_command_line", .args = {"4.5d1", "1+2", "5q-1"},
       .stdoutBytes = at_45_100_0_5 + "\n"},
      {.name = "repeat_counts_on_command_line", .args = {"2*45", "+2*45", "1+2"},
       .stdoutBytes = at_45_45_100 + "\n"},
      {.name = "plain_number_forms_on_command_line", .args = {"45.", "+45", "1e2"},
       .stdoutBytes = at_45_45_100 + "\n"},
      {.name = "separators_after_numbers_ignored", .args = {"45,", "45/", "1+2abc"},
       .stdoutBytes = at_45_45_100 + "\n"},
      {.name = "number_followed_by_more_text", .args = {"0abc", "0,6", "0 6"},
       .stdoutBytes = at_0_0_0 + "\n"},
      {.name = "null_arguments_keep_zero", .args = {",5", "/", "2*"},
       .stdoutBytes = at_0_0_0 + "\n"},
      // 80 zeros, then a 1 that is never examined.
      {.name = "argument_cut_at_eighty", .args = {std::string(80, '0') + "1", "0", "0"},
       .stdoutBytes = at_0_0_0 + "\n"},

      // ---- Conversion ----
      {.name = "point_equator_prime_meridian", .args = {"0", "0", "0"},
       .stdoutBytes = "   6378137.0000         0.0000         0.0000\n"},
      {.name = "point_north_pole", .args = {"90", "0", "0"},
       .stdoutBytes = at_90_0_0 + "\n"},
      {.name = "point_equator_90_east", .args = {"0", "90", "0"},
       .stdoutBytes = at_0_90_0 + "\n"},
      {.name = "point_equator_180", .args = {"0", "180", "0"},
       .stdoutBytes = at_0_180_0 + "\n"},
      {.name = "point_minus_180_prints_unsigned_zero", .args = {"0", "-180", "0"},
       .stdoutBytes = "  -6378137.0000         0.0000         0.0000\n"},
      {.name = "point_45_45_100", .args = {"45", "45", "100"},
       .stdoutBytes = at_45_45_100 + "\n"},
      {.name = "point_southern_eastern", .args = {"-33.5", "151.25", "50"},
       .stdoutBytes = at_m33_5_151_25_50 + "\n"},
      {.name = "latitude_100_not_rejected", .args = {"100", "0", "0"},
       .stdoutBytes = at_100_0_0 + "\n"},

      // ---- Result records ----
      {.name = "label_p1_written_with_trailing_blanks", .args = {"0", "0", "0", "P1"},
       .stdoutBytes = "   6378137.0000         0.0000         0.0000     P1      \n"},
      {.name = "eight_character_label_fills_columns", .args = {"0", "0", "0", "ABCDEFGH"},
       .stdoutBytes = at_0_0_0 + "     ABCDEFGH\n"},
      {.name = "overflowing_x_gives_asterisks", .args = {"0", "0", "1e10"},
       .stdoutBytes = at_0_0_1e10 + "\n"},
      {.name = "widest_negative_x_fits", .args = {"0", "0", "-1e9"},
       .stdoutBytes = at_0_0_m1e9 + "\n"},
      {.name = "stdout_to_regular_file_written_at_end", .args = {"45", "45", "100"},
       .stdoutBytes = at_45_45_100 + "\n", .stdoutKind = StdoutKind::regularFile},

      // ---- The point loop on standard input ----
      {.name = "stdin_one_group_with_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "45 45 100 P1\n",
       .stdoutBytes = "   3194469.1451   3194469.1451   4487419.1195     P1      \n"},
      {.name = "stdin_from_regular_file", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "45 45 100 P1\n",
       .stdoutBytes = at_45_45_100 + "     P1      \n"},
      {.name = "stdin_empty_input_no_output", .args = {"-stdin"}},
      {.name = "stdin_dev_null_no_output", .args = {"-stdin"},
       .stdinKind = StdinKind::devNull},
      {.name = "stdin_two_groups_two_lines", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n40 50 60 B\n",
       .stdoutBytes = at_10_20_30 + "     A       \n" + at_40_50_60 + "     B       \n"},
      // A last line without its line end is read all the same.
      {.name = "stdin_unterminated_last_group_read", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n40 50 60 B",
       .stdoutBytes = at_10_20_30 + "     A       \n" + at_40_50_60 + "     B       \n"},
      {.name = "stdin_unterminated_only_group_read", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 abc",
       .stdoutBytes = at_1_2_3 + "     abc     \n"},
      {.name = "stdin_unterminated_group_without_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3",
       .stderrBytes = reportEndInGroup + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_three_numbers_then_end", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3\n",
       .stderrBytes = reportEndInGroup + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_label_searched_on_next_line_1009", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30\n40 50 60 B\n",
       .stderrBytes = report1009 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_label_alone_on_next_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30\nP7\n40 50 60 B\n",
       .stdoutBytes = at_10_20_30 + "     P7      \n" + at_40_50_60 + "     B       \n"},
      {.name = "stdin_four_commas_repeat_the_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n,,,,\n",
       .stdoutBytes = at_10_20_30 + "     A       \n" + at_10_20_30 + "     A       \n"},
      {.name = "stdin_slash_line_repeats_the_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n/\n",
       .stdoutBytes = at_10_20_30 + "     A       \n" + at_10_20_30 + "     A       \n"},
      {.name = "stdin_three_commas_then_end", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n,,,\n",
       .stdoutBytes = at_10_20_30 + "     A       \n", .stderrBytes = reportEndInGroup + "\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_three_commas_label_next_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n,,,\nZ\n",
       .stdoutBytes = at_10_20_30 + "     A       \n" + at_10_20_30 + "     Z       \n"},
      {.name = "stdin_last_group_without_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n40 50 60\n",
       .stdoutBytes = at_10_20_30 + "     A       \n", .stderrBytes = reportEndInGroup + "\n",
       .end = killedBy(SIGABRT)},
      // A quote that is never closed: the label would take the rest of the
      // input; from a file the data line shows where it ended.
      {.name = "stdin_unclosed_quote_from_file", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "10 20 30 A\n45 45 100 'N12\n1 2 3 B\n",
       .stdoutBytes = at_10_20_30 + "     A       \n",
       .stderrBytes = reportEndInGroup + "part of last data: 1 2 3 B^J|\n",
       .end = killedBy(SIGABRT)},
      // Blank lines after the last group end nothing.
      {.name = "stdin_blank_lines_after_last_group", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 A\n\n \t\n",
       .stdoutBytes = at_10_20_30 + "     A       \n"},
      {.name = "stdin_empty_quoted_label_prints_no_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "10 20 30 ''\n",
       .stdoutBytes = at_10_20_30 + "\n"},
      // A repeat count on a real that reaches the label leaves the label as
      // it was.
      {.name = "stdin_repeat_reaching_label_leaves_it", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 A\n4*5\n",
       .stdoutBytes = at_1_2_3 + "     A       \n" + at_5_5_5 + "     A       \n"},
      {.name = "stdin_repeat_reaching_blank_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "4*5\n",
       .stdoutBytes = at_5_5_5 + "\n"},

      // ---- Free-form values on standard input ----
      {.name = "stdin_commas_separate_values", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1,2,3,abc\n",
       .stdoutBytes = at_1_2_3 + "     abc     \n"},
      {.name = "stdin_each_value_on_its_own_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1\n2\n3\nabc\n",
       .stdoutBytes = at_1_2_3 + "     abc     \n"},
      {.name = "stdin_blank_lines_before_group", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "\n\n1 2 3 abc\n",
       .stdoutBytes = at_1_2_3 + "     abc     \n"},
      {.name = "stdin_rest_of_line_ignored", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 x extra words\n10 20 30 A\n",
       .stdoutBytes = at_1_2_3 + "     x       \n" + at_10_20_30 + "     A       \n"},
      {.name = "stdin_quoted_label_with_blank", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 'ab c'\n",
       .stdoutBytes = at_1_2_3 + "     ab c    \n"},
      {.name = "stdin_doubled_apostrophe", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 'it''s'\n",
       .stdoutBytes = at_1_2_3 + "     it's    \n"},
      {.name = "stdin_doubled_double_quote", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 \"a\"\"b\"\n",
       .stdoutBytes = at_1_2_3 + "     a\"b     \n"},
      {.name = "stdin_text_after_closing_quote_ignored", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 'abc'def\n",
       .stdoutBytes = at_1_2_3 + "     abc     \n"},
      {.name = "stdin_long_label_cut", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 abcdefghijk\n",
       .stdoutBytes = at_1_2_3 + "     abcdefgh\n"},
      {.name = "stdin_inner_apostrophe_ordinary", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 ab'cd\n",
       .stdoutBytes = at_1_2_3 + "     ab'cd   \n"},
      {.name = "stdin_label_ends_at_comma", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 a,b\n",
       .stdoutBytes = at_1_2_3 + "     a       \n"},
      {.name = "stdin_label_ends_at_blank", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 a b\n",
       .stdoutBytes = at_1_2_3 + "     a       \n"},
      {.name = "stdin_label_ends_at_slash", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 a/b\n",
       .stdoutBytes = at_1_2_3 + "     a       \n"},
      {.name = "stdin_label_ends_at_tab", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 a\tb\n",
       .stdoutBytes = at_1_2_3 + "     a       \n"},
      {.name = "stdin_quoted_label_over_two_lines", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 'abc\ndef'\n",
       .stdoutBytes = at_1_2_3 + "     abcdef  \n"},
      // The backslash becomes a line end inside the label, written as stored.
      {.name = "stdin_backslash_continues_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 ab\\\ncd\n",
       .stdoutBytes = at_1_2_3 + "     ab\ncd   \n"},
      {.name = "stdin_digit_label_1009", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 1001\n",
       .stderrBytes = report1009 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_quoted_digit_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 '1001'\n",
       .stdoutBytes = at_1_2_3 + "     1001    \n"},
      {.name = "stdin_repeated_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 2*x\n",
       .stdoutBytes = at_1_2_3 + "     x       \n"},
      {.name = "stdin_zero_repeat_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 0*x\n",
       .stdoutBytes = at_1_2_3 + "     x       \n"},
      {.name = "stdin_null_repeat_keeps_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 A\n1 2 3 2*\n",
       .stdoutBytes = at_1_2_3 + "     A       \n" + at_1_2_3 + "     A       \n"},
      {.name = "stdin_sign_point_star_labels", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe,
       .stdinBytes = "1 2 3 -5\n1 2 3 +5\n1 2 3 .5\n1 2 3 *a\n",
       .stdoutBytes = at_1_2_3 + "     -5      \n" + at_1_2_3 + "     +5      \n" +
                      at_1_2_3 + "     .5      \n" + at_1_2_3 + "     *a      \n"},
      {.name = "stdin_double_comma_keeps_longitude", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1,,3 abc\n",
       .stdoutBytes = at_1_0_3 + "     abc     \n"},
      {.name = "stdin_repeated_null_keeps_two", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "2*,3 abc\n",
       .stdoutBytes = at_0_0_3 + "     abc     \n"},
      {.name = "stdin_repeated_value", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "3*5 abc\n",
       .stdoutBytes = at_5_5_5 + "     abc     \n"},
      {.name = "stdin_slash_keeps_height_and_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 /\n",
       .stdoutBytes = at_1_2_0 + "\n"},
      {.name = "stdin_trailing_commas_keep_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 ,,\n",
       .stdoutBytes = at_1_2_3 + "\n"},
      {.name = "stdin_comma_then_label_on_next_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 ,\nabc\n",
       .stdoutBytes = at_1_2_3 + "     abc     \n"},
      // 1.5 and .5, then 2, then 3 taken for the label's repeat count.
      {.name = "stdin_two_points_in_a_number_1009", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1.5.5 2 3 a\n",
       .stderrBytes = report1009 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_exponent_without_letter", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1-2-3 4 a\n",
       .stdoutBytes = at_0_01_m3_4 + "     a       \n"},
      {.name = "stdin_letter_after_number_1012", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1e 2 3 a\n",
       .stderrBytes = report1012 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_letters_after_point_1012", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1.5x 2 3 a\n",
       .stderrBytes = report1012 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_semicolons_1012", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1;2;3;a\n",
       .stderrBytes = report1012 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_carriage_return_not_a_separator_1012", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "5\r,6,7,a\n",
       .stderrBytes = report1012 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_label_keeps_carriage_return", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "45.0,10.0,100.0,ABC\r\n",
       .stdoutBytes = at_45_10_100 + "     ABC\r    \n"},
      {.name = "stdin_carriage_return_is_the_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3\r\n",
       .stdoutBytes = at_1_2_3 + "     \r       \n"},
      {.name = "stdin_nul_ends_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "1 2 3 a\0b\n"s,
       .stdoutBytes = at_1_2_3 + "     a       \n"},
      {.name = "stdin_300_character_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe,
       .stdinBytes = "1 2 3 " + std::string(300, 'q').replace(0, 8, "abcdefgh") + "\n",
       .stdoutBytes = at_1_2_3 + "     abcdefgh\n"},
      {.name = "stdin_300_character_quoted_label", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe,
       .stdinBytes = "1 2 3 '" + std::string(300, 'q').replace(0, 8, "ab cdefg") + "'\n",
       .stdoutBytes = at_1_2_3 + "     ab cdefg\n"},
      {.name = "stdin_negative_repeat_1022", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "0*7 2 3 a\n",
       .stderrBytes = report1022 + "\n", .end = killedBy(SIGABRT)},

      // ---- Failure reports of a command-line number ----
      {.name = "empty_first_argument_end_of_file", .args = {"", "2", "3"},
       .stderrBytes = "list read: [-1] end of file\n"
                      "lately: reading sequential list internal IO\n"
                      "part of last format: int list io\n"
                      "part of last string: |\n",
       .end = killedBy(SIGABRT)},
      {.name = "blank_first_argument_end_of_file", .args = {"   ", "2", "3"},
       .stderrBytes = eofReport, .end = killedBy(SIGABRT)},
      {.name = "letters_then_slash_1012", .args = {"abc/", "2", "3"},
       .stderrBytes = "list io: [1012] incomprehensible list input\n" + internalTail +
                      "part of last string: abc/|     \n",
       .end = killedBy(SIGABRT)},
      {.name = "zero_repeat_count_1022", .args = {"0*7", "2", "3"},
       .stderrBytes = "list io: [1022] negative repeat count\n" + internalTail +
                      "part of last string: 0*|7    \n",
       .end = killedBy(SIGABRT)},
      {.name = "minus_one_repeat_count_1022", .args = {"-1*7", "2", "3"},
       .stderrBytes = "list io: [1022] negative repeat count\n" + internalTail +
                      "part of last string: -1*|7    \n",
       .end = killedBy(SIGABRT)},
      {.name = "report_shows_last_twelve_taken", .args = {"abcdefghijklmnopqrstuvwxyz/", "2", "3"},
       .stderrBytes = "list io: [1012] incomprehensible list input\n" + internalTail +
                      "part of last string: pqrstuvwxyz/|     \n",
       .end = killedBy(SIGABRT)},
      {.name = "third_argument_failure_shows_its_record", .args = {"1", "2", "abc/"},
       .stderrBytes = "list io: [1012] incomprehensible list input\n" + internalTail +
                      "part of last string: abc/|     \n",
       .end = killedBy(SIGABRT)},
      {.name = "incomplete_infinity_end_of_file", .args = {"in", "2", "3"},
       .stderrBytes = eofReport, .end = killedBy(SIGABRT)},

      // ---- Failure reports of standard input: pipe and regular file ----
      {.name = "stdin_pipe_report_has_empty_data_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "abc 2 3 x\n",
       .stderrBytes = "list io: [1012] incomprehensible list input\n"
                      "logical unit 5, named 'stdin'\n"
                      "lately: reading sequential list external IO\n"
                      "part of last format: ext list io\n"
                      "\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_file_report_after_a_result_line", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile,
       .stdinBytes = "1 2 3 a\nabc 2 3 x\n1 2 3 b\n",
       .stdoutBytes = at_1_2_3 + "     a       \n",
       .stderrBytes = report1012 + "part of last data: abc 2 3 x^J|1 2 3\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_pipe_report_after_a_result_line", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe,
       .stdinBytes = "1 2 3 a\nabc 2 3 x\n1 2 3 b\n",
       .stdoutBytes = at_1_2_3 + "     a       \n",
       .stderrBytes = report1012 + "\n", .end = killedBy(SIGABRT)},
      {.name = "stdin_file_report_nothing_after_bar", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "abc 2 3 x\n",
       .stderrBytes = report1012 + "part of last data: abc 2 3 x^J|\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_file_report_last_twelve_bytes", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "abcdefghijklmnop 2 3 x\n",
       .stderrBytes = report1012 + "part of last data: lmnop 2 3 x^J|\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_file_report_shows_tab", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "a\tc 2 3 x\n",
       .stderrBytes = report1012 + "part of last data: a^Ic 2 3 x^J|\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_file_report_shows_byte_233_by_low_bits", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "\xE9" "bc 2 3 x\n",
       .stderrBytes = report1012 + "part of last data: ibc 2 3 x^J|\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_file_report_shows_carriage_return", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "5\r,6,7,a\n",
       .stderrBytes = report1012 + "part of last data: 5^M,6,7,a^J|\n",
       .end = killedBy(SIGABRT)},
      {.name = "stdin_file_report_negative_repeat", .args = {"-stdin"},
       .stdinKind = StdinKind::regularFile, .stdinBytes = "0*7 2 3 a\n",
       .stderrBytes = report1022 + "part of last data: 0*|7 2 3\n",
       .end = killedBy(SIGABRT)},

      // ---- Refused and closed standard descriptors ----
      // Refused bytes on standard output end the run with a report.
      {.name = "stdout_full_device_reports", .args = {"0", "0", "0"},
       .stderrBytes = refusedStdout, .end = killedBy(SIGABRT),
       .stdoutKind = StdoutKind::devFull},
      {.name = "stdout_full_device_reports_in_stdin_mode", .args = {"-stdin"},
       .stdinKind = StdinKind::pipe, .stdinBytes = "45 45 100 P1\n",
       .stderrBytes = refusedStdout, .end = killedBy(SIGABRT),
       .stdoutKind = StdoutKind::devFull},
      {.name = "usage_with_stdout_full_device", .args = {},
       .stderrBytes = usage, .end = exitedWith(1),
       .stdoutKind = StdoutKind::devFull},
      {.name = "closed_stdout_writes_fort_6", .args = {"0", "0", "0"},
       .end = exitedWith(0), .stdoutKind = StdoutKind::closed, .inTempDir = true,
       .filesAfter = {{"fort.6", at_0_0_0 + "\n"}}},
      {.name = "closed_stderr_usage_in_fort_0", .args = {},
       .end = exitedWith(1), .closeStderr = true, .inTempDir = true,
       .filesAfter = {{"fort.0", usage}}},
      {.name = "closed_stderr_too_many_in_fort_0", .args = {"1", "2", "3", "4", "5"},
       .end = exitedWith(1), .closeStderr = true, .inTempDir = true,
       .filesAfter = {{"fort.0", " Too many arguments  5\n" + usage}}},
      // The report goes to descriptor 2 itself: lost, and no file is made.
      {.name = "closed_stderr_report_lost", .args = {"abc", "2", "3"},
       .end = killedBy(SIGABRT), .closeStderr = true, .inTempDir = true},
      {.name = "closed_stdin_reads_empty_fort_5", .args = {"-stdin"},
       .stdinKind = StdinKind::closed, .end = exitedWith(0), .inTempDir = true,
       .filesAfter = {{"fort.5", ""}}},
      // A longer fort.N from an earlier run holds only this run's bytes
      // afterwards: a unit first written to starts its file afresh.
      {.name = "closed_stdout_truncates_longer_fort_6", .args = {"45", "45", "100", "P1"},
       .end = exitedWith(0), .stdoutKind = StdoutKind::closed, .inTempDir = true,
       .filesBefore = {{"fort.6", std::string(200, 'o') + "\n" + std::string(100, 'p')}},
       .filesAfter = {{"fort.6", at_45_45_100 + "     P1      \n"}}},
      {.name = "closed_stderr_truncates_longer_fort_0", .args = {},
       .end = exitedWith(1), .closeStderr = true, .inTempDir = true,
       .filesBefore = {{"fort.0", std::string(500, 'e') + "\n"}},
       .filesAfter = {{"fort.0", usage}}},
      // A unit first read from takes the file as it stands.
      {.name = "closed_stdin_reads_existing_fort_5", .args = {"-stdin"},
       .stdinKind = StdinKind::closed, .stdoutBytes = at_45_45_100 + "     P1      \n",
       .end = exitedWith(0), .inTempDir = true,
       .filesBefore = {{"fort.5", "45 45 100 P1\n"}},
       .filesAfter = {{"fort.5", "45 45 100 P1\n"}}},
      {.name = "closed_stdout_fort_6_cannot_be_opened", .args = {"0", "0", "0"},
       .stderrBytes = "open: [21] Is a directory\n"
                      "logical unit 6, named 'fort.6'\n",
       .end = killedBy(SIGABRT), .stdoutKind = StdoutKind::closed, .inTempDir = true,
       .dirsBefore = {"fort.6"}},
      {.name = "closed_stdin_fort_5_cannot_be_opened", .args = {"-stdin"},
       .stdinKind = StdinKind::closed,
       .stderrBytes = "open: [21] Is a directory\n"
                      "logical unit 5, named 'fort.5'\n",
       .end = killedBy(SIGABRT), .inTempDir = true, .dirsBefore = {"fort.5"}},
  };
}

}  // namespace

const std::vector<GoldenCase>& goldenCases() {
  static const std::vector<GoldenCase> cases = makeCases();
  return cases;
}

}  // namespace golden
