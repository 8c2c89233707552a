// The program's command line, checked by running the built program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.hpp"

namespace {

const std::string kStartLine = "Serial version of KESTA (5.0 ) with SCE starting...\n";
const std::string kUsage = "\nUsage: kesta [-option] [inputfile]\n";
const std::string kBatch = "is running in batch mode";

TEST(CommandLine, EachOptionPrintsWhatItIsForAndRefusalsExitNonZeroWithUsage) {
    enum exit_kind { any, zero, failure };
    const std::string too_long(1024, 'a');
    const struct {
        std::string args;
        exit_kind exit;
        std::vector<std::string> shown, absent;
    } cases[] = {
        {"", zero, {kUsage, "mc_intputfile is\n  the Monte Carlo input file"}, {}},
        {"-v anything", zero, {"\n    -- KESTA version 5.00  --\n \n"}, {kUsage}},
        {"project.prj other", zero, {kUsage}, {}},  // an unknown first option
        {"-b3 x", any, {"running 3 runs...\n"}, {}},
        {"-b x", any, {"running 1 runs...\n"}, {}},
        {"-b12 x", any, {"running 12 runs...\n"}, {}},
        // Anything beginning with -b is the batch option, and what follows must be the whole count.
        {"-bogus x", failure, {"Error: the run count \"ogus\" of option -b is not a whole number from 1 to",
                               kUsage}, {kBatch}},
        {"-bq x", failure, {kUsage}, {kBatch}},
        {"-b3x x", failure, {kUsage}, {kBatch}},
        {"-b99999999999 x", failure, {kUsage}, {kBatch}},
        {"-mxyz x", failure, {"run count \"xyz\" of option -m", kUsage}, {kBatch}},
        {"-b0 x", failure, {kUsage}, {kBatch}},
        {"-b-2 x", failure, {kUsage}, {kBatch}},
        {"-m0 x", failure, {kUsage}, {kBatch}},
        {"-m-1 x", failure, {kUsage}, {kBatch}},
        {"-b2 " + too_long, failure, {kUsage}, {kBatch}},
        {"-b2 " + too_long.substr(1), any, {"running 2 runs...\n"}, {kUsage}},  // the longest name taken
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("args: " + c.args.substr(0, 40));
        const auto r = kesta_test::run_kesta(c.args);
        if (c.exit != any) {
            EXPECT_EQ(r.status == 0, c.exit == zero);
        }
        EXPECT_EQ(r.output.rfind(kStartLine, 0), 0u) << r.output;
        for (const std::string& part : c.shown) EXPECT_NE(r.output.find(part), std::string::npos) << part;
        for (const std::string& part : c.absent) EXPECT_EQ(r.output.find(part), std::string::npos) << part;
    }
}

TEST(CommandLine, QuietModesPrintOnlyTheStartLine) {
    for (const char* opt : {"-h", "-s", "-d", "-sensible", "-dx"}) {
        const auto r = kesta_test::run_kesta(std::string(opt) + " some_file");
        EXPECT_EQ(r.status, 0) << opt;
        EXPECT_EQ(r.output, kStartLine) << opt;
    }
}

}  // namespace
