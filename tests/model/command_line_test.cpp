// The program's command line, checked by running the built program.
#include <gtest/gtest.h>

#include <string>
#include <utility>
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

// The number of times `part` occurs in `text`, and the value quoted after
// its last occurrence.
int occurrences(const std::string& text, const std::string& part, std::string* last_quoted = nullptr) {
    int count = 0;
    std::size_t at = text.find(part);
    for (; at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
        const std::size_t from = at + part.size();
        if (last_quoted) *last_quoted = text.substr(from, text.find('\'', from) - from);
    }
    return count;
}

// Unless the user chose how idle threads wait, the program runs itself again
// with OMP_WAIT_POLICY=passive, with the same arguments and the same exit
// status. Asked to (OMP_DISPLAY_ENV), the OpenMP runtime shows the policy it
// took as it loads: each start shows it once, and a passive policy spins 0
// times before a thread sleeps.
TEST(CommandLine, ThreadsSleepAtBarriersUnlessTheUserChoseHowTheyWait) {
    const std::string shown = "OPENMP DISPLAY ENVIRONMENT BEGIN", spins = "GOMP_SPINCOUNT = '";
    const std::string unset = "env -u OMP_WAIT_POLICY -u GOMP_SPINCOUNT OMP_DISPLAY_ENV=verbose";
    const auto failed = kesta_test::run_kesta("'no such project.prj'", ".", "", unset);
    if (occurrences(failed.output, shown) == 0) GTEST_SKIP() << "the OpenMP runtime does not show its settings";
    std::string spin_count;
    EXPECT_EQ(occurrences(failed.output, shown), 2) << failed.output;
    EXPECT_EQ(occurrences(failed.output, spins, &spin_count), 2);
    EXPECT_EQ(spin_count, "0");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(occurrences(failed.output, kStartLine), 1);
    EXPECT_EQ(occurrences(failed.output, "Error opening project file named: no such project.prj\n"), 1)
        << failed.output;
    const auto batch = kesta_test::run_kesta("-b3 x", ".", "", unset);
    EXPECT_EQ(occurrences(batch.output, "running 3 runs...\n"), 1) << batch.output;
    const auto version = kesta_test::run_kesta("-v anything", ".", "", unset);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(occurrences(version.output, shown), 2);

    // The user's own choice holds: the program starts once.
    for (const auto& [setting, count] : {std::pair{"OMP_WAIT_POLICY=active", "30000000000"},
                                         std::pair{"GOMP_SPINCOUNT=1234", "1234"}}) {
        const auto r = kesta_test::run_kesta("-v anything", ".", "", unset + " " + setting);
        EXPECT_EQ(occurrences(r.output, shown), 1) << setting;
        occurrences(r.output, spins, &spin_count);
        EXPECT_EQ(spin_count, count) << setting;
    }
}

}  // namespace
