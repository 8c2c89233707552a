// Placeholders in input lines replaced by declared values, as the line reader
// returns them, and the declarations and values that are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/replace_params.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "support/temp_dir.hpp"

namespace {

class Replacement : public ::testing::Test {
protected:
    void TearDown() override {
        kesta::free_replace_list();
        kesta::set_replace_mode(false);
        kesta::set_replace_line(0);
    }
    // Declares the parameters (in place of any earlier list) and loads value
    // line `index` (0-based); the console output is kept in `out`.
    int load(const std::string& params, const std::string& values, int index = 0) {
        kesta::free_replace_list();
        dir.write("params.txt", params);
        dir.write("values.txt", values);
        kesta::set_replace_line(index);
        testing::internal::CaptureStdout();
        int rc = kesta::read_replace_param_file("params.txt");
        if (rc == 0) rc = kesta::read_replace_value_file("values.txt");
        out = testing::internal::GetCapturedStdout();
        return rc;
    }
    // The line as the line reader returns it.
    std::string read_back(const std::string& text) {
        dir.write("input.txt", text + "\n");
        std::string name = "input.txt";
        kesta::file_ptr fp = kesta::open_file(name, "r", 0);
        kesta::line_cursor line;
        testing::internal::CaptureStdout();
        kesta::read_line(line, fp.get());
        out = testing::internal::GetCapturedStdout();
        return line.text();
    }
    std::string usage() {
        testing::internal::CaptureStdout();
        kesta::print_replace_usage(nullptr);
        return testing::internal::GetCapturedStdout();
    }
    kesta_test::temp_dir dir{true};
    std::string out;
};

const char* const kTwoNames = "3\n[KS] \"%6.3lf\"\n[K] \"%d\"\n[NAME] \"%s\"\n";

TEST_F(Replacement, EachPlaceholderTakesItsOwnValue) {
    ASSERT_EQ(load(kTwoNames, "0.25, 7 \"a b\"\n"), 0);
    EXPECT_TRUE(kesta::replace_mode_on());
    EXPECT_EQ(read_back("KS [KS] K [K] [NAME]"), "KS  0.250 K 7 a b");
    EXPECT_NE(usage().find("Total times a value was replaced: 3\n"), std::string::npos);

    // The same with the shorter name declared first.
    ASSERT_EQ(load("2\n[K] \"%d\"\n[KS] \"%4.1f\"\n", "5 1.5\n"), 0);
    EXPECT_EQ(read_back("[KS][K]"), " 1.55");
}

TEST_F(Replacement, ReportsWhichValuesWereUsed) {
    ASSERT_EQ(load(kTwoNames, "1.5 2 x\n"), 0);
    read_back("[K] and [K]");
    EXPECT_EQ(usage(),
              "\nTotal times a value was replaced: 2\n\n\nWas replacement value used?:\n"
              "  [KS]           = No\n  [K]            = Yes\n  [NAME]         = No\n\n");
    testing::internal::CaptureStdout();
    kesta::print_replace_values(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nUsing replacement values:\n  [KS]           =  1.500\n  [K]            = 2\n"
              "  [NAME]         = x\n\n");
}

TEST_F(Replacement, ValueLineFollowsTheIndexOrTheLastLine) {
    const std::string values = "1\n2\n3\n";
    const std::string params = "1\n[N] \"%d\"\n";
    ASSERT_EQ(load(params, values, 1), 0);
    EXPECT_EQ(read_back("[N]"), "2");
    ASSERT_EQ(load(params, values, 7), 0);
    EXPECT_EQ(read_back("[N]"), "3");
}

TEST_F(Replacement, InsertedTextIsNotScannedAgain) {
    ASSERT_EQ(load("2\n[A] \"%s\"\n[B] \"%s\"\n", "[B] bee\n"), 0);
    EXPECT_EQ(read_back("x [A] y"), "x [B] y");
}

TEST_F(Replacement, UnknownPlaceholderIsReportedAndKept) {
    ASSERT_EQ(load("1\n[A] \"%d\"\n", "4\n"), 0);
    EXPECT_EQ(read_back("[A] [Z] [A"), "4 [Z] [A");
    EXPECT_NE(out.find("Error: unable to match replace pair: 4 [Z] [A\n"), std::string::npos);
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
    testing::internal::CaptureStdout();
    EXPECT_EQ(kesta::read_replace_param_file("params.txt"), -1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: Improperly formatted line in the replacement parameter file\nline:]W[ \"%d\"\n"),
              std::string::npos);
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
    EXPECT_NE(out.find("Error: unexpected end of parameter list file after 1 parameters. Expecting 3\n"),
              std::string::npos);
    EXPECT_EQ(load("many\n", "1\n"), -1);
    EXPECT_NE(out.find("Error: unable to read the number of parameters in the parameter list file\n"),
              std::string::npos);
    testing::internal::CaptureStdout();
    EXPECT_EQ(kesta::read_replace_param_file("absent.txt"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: unable to open the replace parameter file.\n  (File: absent.txt)\n");
}

TEST_F(Replacement, BadValueLineKeepsThePreviousValues) {
    ASSERT_EQ(load("2\n[A] \"%d\"\n[B] \"%d\"\n", "1 2\n3\n4 x\n"), 0);
    kesta::set_replace_line(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(kesta::read_replace_value_file("values.txt"), -1);
    kesta::set_replace_line(2);
    EXPECT_EQ(kesta::read_replace_value_file("values.txt"), -1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: line 2 of the value file values.txt holds no value for [B]\n"), std::string::npos);
    EXPECT_NE(out.find("Error: line 3 of the value file values.txt: the value x for [B] is not valid\n"),
              std::string::npos);
    EXPECT_EQ(read_back("[A][B]"), "12");
}

}  // namespace
