// Placeholders in input lines replaced by declared values, as the line reader
// returns them, and the declarations and values that are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/replace_params.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::has;

class Replacement : public ::testing::Test {
protected:
    void TearDown() override {
        kesta::free_replace_list();
        kesta::set_replace_mode(false);
        kesta::set_replace_line(0);
    }
    // What `f` prints, also kept in `out`.
    template <typename F>
    std::string printed(F f) {
        return out = kesta_test::printed_by(f);
    }
    // Declares the parameters (in place of any earlier list) and loads value
    // line `index` (0-based).
    int load(const std::string& params, const std::string& values, int index = 0) {
        kesta::free_replace_list();
        dir.write("params.txt", params);
        dir.write("values.txt", values);
        kesta::set_replace_line(index);
        int rc = -1;
        printed([&] {
            rc = kesta::read_replace_param_file("params.txt");
            if (rc == 0) rc = kesta::read_replace_value_file("values.txt");
        });
        return rc;
    }
    // The line as the line reader returns it.
    std::string read_back(const std::string& text) {
        dir.write("input.txt", text + "\n");
        std::string name = "input.txt";
        kesta::file_ptr fp = kesta::open_file(name, "r", 0);
        kesta::line_cursor line;
        printed([&] { kesta::read_line(line, fp.get()); });
        return line.text();
    }
    kesta_test::temp_dir dir{true};
    std::string out;
};

const char* const kTwoNames = "3\n[KS] \"%6.3lf\"\n[K] \"%d\"\n[NAME] \"%s\"\n";

TEST_F(Replacement, EachPlaceholderTakesItsValueFromTheChosenLine) {
    const struct {
        std::string params, values;
        int index;  // value line, 0-based
        std::string line, expected, says;
    } cases[] = {
        {kTwoNames, "0.25, 7 \"a b\"\n", 0, "KS [KS] K [K] [NAME]", "KS  0.250 K 7 a b", ""},
        // The shorter name declared first.
        {"2\n[K] \"%d\"\n[KS] \"%4.1f\"\n", "5 1.5\n", 0, "[KS][K]", " 1.55", ""},
        // The line of the index, or the last line past the end.
        {"1\n[N] \"%d\"\n", "1\n2\n3\n", 1, "[N]", "2", ""},
        {"1\n[N] \"%d\"\n", "1\n2\n3\n", 7, "[N]", "3", ""},
        // Inserted text is not scanned again.
        {"2\n[A] \"%s\"\n[B] \"%s\"\n", "[B] bee\n", 0, "x [A] y", "x [B] y", ""},
        // An unknown placeholder is reported and kept.
        {"1\n[A] \"%d\"\n", "4\n", 0, "[A] [Z] [A", "4 [Z] [A", "Error: unable to match replace pair: 4 [Z] [A\n"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(load(c.params, c.values, c.index), 0) << c.params;
        EXPECT_TRUE(kesta::replace_mode_on());
        EXPECT_EQ(read_back(c.line), c.expected);
        EXPECT_TRUE(c.says.empty() ? out.empty() : has(out, c.says)) << out;
    }
}

TEST_F(Replacement, ReportsWhichValuesWereUsed) {
    ASSERT_EQ(load(kTwoNames, "1.5 2 x\n"), 0);
    read_back("[K] and [K]");
    EXPECT_EQ(printed([] { kesta::print_replace_usage(nullptr); }),
              "\nTotal times a value was replaced: 2\n\n\nWas replacement value used?:\n"
              "  [KS]           = No\n  [K]            = Yes\n  [NAME]         = No\n\n");
    EXPECT_EQ(printed([] { kesta::print_replace_values(nullptr); }),
              "\nUsing replacement values:\n  [KS]           =  1.500\n  [K]            = 2\n"
              "  [NAME]         = x\n\n");
}

TEST_F(Replacement, TrialValuesGoIntoTheParametersInDeclarationOrderIntegersRounded) {
    ASSERT_EQ(load("4\n[X] \"%.2f\"\n[Y] \"%.1f\"\n[N] \"%d\"\n[M] \"%d\"\n", "0 0 0 0\n"), 0);
    kesta::set_replace_values({0.0, 1.234, -7.0, 6.5, -2.6});
    EXPECT_EQ(read_back("[Y] [X] [N] [M]"), "-7.0 1.23 7 -3");
    kesta::set_replace_values({0.0, 0.0, 0.0, 1e12, 3.49});
    EXPECT_EQ(read_back("[N] [M]"), "2147483647 3");
}

TEST_F(Replacement, RefusedDeclarationsAreEachReported) {
    const std::string params =
        "6\n]W[ \"%d\"\n[A] \"%d%d\"\n[B] \"%4.2le\"\n[C] \"%*d\"\n[D] \"%ld\"\n[OK] \"%5.1lf\"\n";
    dir.write("params.txt", params);
    printed([] { EXPECT_EQ(kesta::read_replace_param_file("params.txt"), -1); });
    EXPECT_TRUE(has(out, "Error: Improperly formatted line in the replacement parameter file\nline:]W[ \"%d\"\n"));
    const std::string hint = "---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n";
    std::size_t hints = 0;
    for (std::size_t p = out.find(hint); p != std::string::npos; p = out.find(hint, p + 1)) ++hints;
    EXPECT_EQ(hints, 4u);
    // The sound declaration is kept.
    kesta::set_replace_values({0.0, 2.0});
    EXPECT_EQ(read_back("[OK]"), "  2.0");
}

TEST_F(Replacement, ShortOrUnreadableFilesAreRefused) {
    EXPECT_EQ(load("3\n[A] \"%d\"\n", "1\n"), -1);
    EXPECT_TRUE(has(out, "Error: unexpected end of parameter list file after 1 parameters. Expecting 3\n"));
    EXPECT_EQ(load("many\n", "1\n"), -1);
    EXPECT_TRUE(has(out, "Error: unable to read the number of parameters in the parameter list file\n"));
    EXPECT_EQ(printed([] { EXPECT_EQ(kesta::read_replace_param_file("absent.txt"), -1); }),
              "Error: unable to open the replace parameter file.\n  (File: absent.txt)\n");
}

TEST_F(Replacement, BadValueLineKeepsThePreviousValues) {
    ASSERT_EQ(load("2\n[A] \"%d\"\n[B] \"%d\"\n", "1 2\n3\n4 x\n"), 0);
    kesta::set_replace_line(1);
    printed([] { EXPECT_EQ(kesta::read_replace_value_file("values.txt"), -1); });
    EXPECT_TRUE(has(out, "Error: line 2 of the value file values.txt holds no value for [B]\n"));
    kesta::set_replace_line(2);
    printed([] { EXPECT_EQ(kesta::read_replace_value_file("values.txt"), -1); });
    EXPECT_TRUE(has(out, "Error: line 3 of the value file values.txt: the value x for [B] is not valid\n"));
    EXPECT_EQ(read_back("[A][B]"), "12");
}

}  // namespace
