#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "core/line_reader.hpp"

using namespace kesta;

namespace {
// One pop, shown as "<returned>:<value>|<rest of the line>".
template <typename T, typename Pop>
std::string step(line_cursor& line, Pop pop) {
    T v{};
    int r = pop(line, v);
    std::ostringstream out;
    out << r << ':' << v << '|' << line.rest();
    return out.str();
}
std::string int_step(line_cursor& l) { return step<int>(l, pop_int); }
std::string dbl_step(line_cursor& l) { return step<double>(l, pop_double); }
std::string str_step(line_cursor& l) { return step<std::string>(l, pop_string); }
}  // namespace

TEST(LineReader, PopsNumbersAndLeavesTheRest) {
    line_cursor line("  12, 7");
    EXPECT_EQ(int_step(line), "1:12|7");
    EXPECT_EQ(int_step(line), "1:7|");
    EXPECT_EQ(int_step(line), "0:0|");
    line.assign("3.5e-2\tx");
    EXPECT_EQ(dbl_step(line), "1:0.035|x");
    // A token that is not a number is still consumed; its leading digits count.
    line.assign("abc 5 12abc 99999999999 -99999999999");
    EXPECT_EQ(int_step(line), "1:0|5 12abc 99999999999 -99999999999");
    EXPECT_EQ(step<int>(line, pop_int2), "1:5|12abc 99999999999 -99999999999");
    EXPECT_EQ(int_step(line), "1:12|99999999999 -99999999999");
    EXPECT_EQ(int_step(line), "1:2147483647|-99999999999");
    EXPECT_EQ(int_step(line), "1:-2147483648|");
    line.assign(" \r");  // a lone carriage return does not scan: nothing consumed
    EXPECT_EQ(step<double>(line, pop_double2), "0:0| \r");
}

TEST(LineReader, QuotedStringsHoldSeparators) {
    line_cursor line("\"my file.txt\", next");
    EXPECT_EQ(str_step(line), "1:my file.txt|next");
    line.assign("a,b");
    EXPECT_EQ(str_step(line), "1:a|b");
    line.assign("\"\" 5");  // empty quoted token: 0, but the next pop starts past it
    EXPECT_EQ(str_step(line).substr(0, 2), "0:");
    EXPECT_EQ(int_step(line), "1:5|");
    line.assign("\"a,\tb");  // no closing quote: runs to the end
    EXPECT_EQ(str_step(line), "1:a,\tb|");
    const std::string long_token(300, 'k');
    line.assign(long_token + " z");
    EXPECT_EQ(str_step(line), "1:" + long_token + "|z");
}

TEST(LineReader, StrictPopsRefuseMalformedTokensWithoutConsuming) {
    line_cursor line("abc 1O 12x 1.5 nan 99999999999");
    int i = 42;
    double d = 4.2;
    for (int k = 0; k < 3; ++k) {  // abc, 1O, 12x
        EXPECT_FALSE(pop_int_strict(line, i));
        EXPECT_FALSE(pop_double_strict(line, d));
        EXPECT_EQ(i, 42);
        int_step(line);  // step over the refused token
    }
    EXPECT_FALSE(pop_int_strict(line, i));
    EXPECT_TRUE(pop_double_strict(line, d));
    EXPECT_DOUBLE_EQ(d, 1.5);
    EXPECT_FALSE(pop_double_strict(line, d));  // not finite
    int_step(line);
    EXPECT_FALSE(pop_int_strict(line, i));  // beyond int
    EXPECT_EQ(line.rest(), "99999999999");

    line.assign(" -12,+3.25e1 ");
    EXPECT_TRUE(pop_int_strict(line, i));
    EXPECT_TRUE(pop_double_strict(line, d));
    EXPECT_EQ(i, -12);
    EXPECT_DOUBLE_EQ(d, 32.5);
    EXPECT_FALSE(pop_int_strict(line, i));
}

TEST(LineReader, ReadsEveryLineWholeEmptyLinesAndNulBytesIncludedAndStripsCrlf) {
    std::FILE* fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    std::string row;
    for (int k = 1; k <= 2000; ++k) row += (k % 3 ? " " : ",\t") + std::to_string(k);
    const std::string wide(1000000, '7');
    const std::string text = std::string("\n\r\na\0b\n", 7) + wide + "\n" + row + "\r\n" + "last";
    std::fwrite(text.data(), 1, text.size(), fp);
    std::rewind(fp);

    line_cursor line;
    for (const std::string& expected : {std::string(), std::string(), std::string("a\0b", 3), wide}) {
        ASSERT_EQ(read_line(line, fp), 1);
        EXPECT_EQ(line.text(), expected);
    }
    ASSERT_EQ(read_line(line, fp), 1);
    long sum = 0;
    int count = 0, v = 0;
    while (pop_int_strict(line, v)) { sum += v; ++count; }
    EXPECT_EQ(count, 2000);  // a CR left on "2000" would refuse it
    EXPECT_EQ(sum, 2000L * 2001 / 2);
    EXPECT_TRUE(line.at_end());
    ASSERT_EQ(read_line(line, fp), 1);
    EXPECT_EQ(line.text(), "last");
    EXPECT_EQ(read_line(line, fp), 0);
    EXPECT_EQ(line.text(), "");
    std::fclose(fp);
}

TEST(LineReader, TextHelpers) {
    std::string a = "\"a", b = "b\"", c = "x\n\n";
    strip_quotes(a);
    strip_quotes(b);
    strip_newline(c);
    EXPECT_EQ(a + b + c, "abx\n");

    std::string s = "abcdef";
    EXPECT_EQ(delete_chars(s, 1, 2), 0);
    EXPECT_EQ(s, "adef");
    EXPECT_EQ(delete_chars(s, 2, 50), 0);
    EXPECT_EQ(s, "ad");
    EXPECT_EQ(delete_chars(s, 2, 1), -1);

    EXPECT_EQ(nth_word(2, "alpha beta gamma"), 6u);
    EXPECT_EQ(nth_word(2, " alpha,x\tgamma"), 9u);  // a comma joins words
    EXPECT_EQ(nth_word(5, "alpha beta"), 9u);       // too few words: last character
    EXPECT_EQ(nth_word(0, " alpha"), 0u);
    EXPECT_EQ(nth_word(1, ""), 0u);
}
