// The program's command line, checked by running the built program.
#include <gtest/gtest.h>

#include <string>

#include "support/run_program.hpp"

namespace {

using kesta_test::run_kesta;

const std::string kStartLine = "Serial version of KESTA (5.0 ) with SCE starting...\n";
const std::string kUsageHead = "\nUsage: kesta [-option] [inputfile]\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CommandLine, NoArgumentsPrintsStartLineThenUsageAndExitsZero) {
    const auto r = run_kesta("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind(kStartLine, 0), 0u) << r.output;
    EXPECT_TRUE(contains(r.output, kUsageHead));
    EXPECT_TRUE(contains(r.output, "mc_intputfile is\n  the Monte Carlo input file"));
}

TEST(CommandLine, VersionOptionWithSecondArgumentPrintsBanner) {
    const auto r = run_kesta("-v anything");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, "\n    -- KESTA version 5.00  --\n \n")) << r.output;
    EXPECT_FALSE(contains(r.output, kUsageHead));
}

TEST(CommandLine, UnknownFirstOptionWithSecondArgumentPrintsUsage) {
    const auto r = run_kesta("project.prj other");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, kUsageHead));
}

TEST(CommandLine, QuietModesPrintOnlyTheStartLine) {
    for (const char* opt : {"-h", "-s", "-d", "-sensible", "-dx"}) {
        const auto r = run_kesta(std::string(opt) + " some_file");
        EXPECT_EQ(r.status, 0) << opt;
        EXPECT_EQ(r.output, kStartLine) << opt;
    }
}

TEST(CommandLine, BatchRunCountFollowsTheOption) {
    EXPECT_TRUE(contains(run_kesta("-b3 x").output, "running 3 runs...\n"));
    EXPECT_TRUE(contains(run_kesta("-b x").output, "running 1 runs...\n"));
    EXPECT_TRUE(contains(run_kesta("-bq x").output, "running 1 runs...\n"));
    EXPECT_TRUE(contains(run_kesta("-b12 x").output, "running 12 runs...\n"));
    // Any argument that merely begins with -b is the batch option.
    EXPECT_TRUE(contains(run_kesta("-bogus x").output, "running 1 runs...\n"));
}

TEST(CommandLine, RunCountBelowOneIsRefusedWithUsage) {
    for (const char* opt : {"-b0", "-b-2", "-m0", "-m-1"}) {
        const auto r = run_kesta(std::string(opt) + " x");
        EXPECT_NE(r.status, 0) << opt;
        EXPECT_TRUE(contains(r.output, kUsageHead)) << opt;
        EXPECT_FALSE(contains(r.output, "is running in batch mode")) << opt;
    }
}

TEST(CommandLine, OverlongInputFileNameIsRefusedWithUsage) {
    const std::string longest(1023, 'a');
    const std::string too_long(1024, 'a');
    const auto refused = run_kesta("-b2 " + too_long);
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(contains(refused.output, kUsageHead));
    EXPECT_FALSE(contains(refused.output, "is running in batch mode"));

    const auto accepted = run_kesta("-b2 " + longest);
    EXPECT_TRUE(contains(accepted.output, "running 2 runs...\n"));
    EXPECT_FALSE(contains(accepted.output, kUsageHead));
}
}  // namespace
