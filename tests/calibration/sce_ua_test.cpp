// The optimiser on functions with known minima, its generator against the
// published check value, and the corrections of its control values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "calibration/sce_ua.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::sce_ua;

double goldstein_price(const std::vector<double>& p) {
    const double x = p[1], y = p[2];
    const double a = 1.0 + (x + y + 1.0) * (x + y + 1.0) *
                               (19.0 - 14.0 * x + 3.0 * x * x - 14.0 * y + 6.0 * x * y + 3.0 * y * y);
    const double b = 30.0 + (2.0 * x - 3.0 * y) * (2.0 * x - 3.0 * y) *
                                (18.0 - 32.0 * x + 12.0 * x * x + 48.0 * y - 36.0 * x * y + 27.0 * y * y);
    return a * b;
}

double rosenbrock(const std::vector<double>& p) {
    const double x = p[1], y = p[2];
    return 100.0 * (y - x * x) * (y - x * x) + (1.0 - x) * (1.0 - x);
}

class SceUa : public ::testing::Test {
protected:
    // Sets up from a control file without the three file names (the
    // objective is a plain function); the console output is kept in `out`.
    bool setup(const std::string& control, int log_flag = 0) {
        const std::string path = dir.write("sce.in", control);
        testing::internal::CaptureStdout();
        const bool ok = sce.setup(path, "sce_output.out", log_flag, 0);
        out = testing::internal::GetCapturedStdout();
        return ok;
    }
    int search(kesta::objective_fn fn) {
        sce.set_objective(std::move(fn));
        testing::internal::CaptureStdout();
        const int trials = sce.sceua();
        out += testing::internal::GetCapturedStdout();
        return trials;
    }
    kesta_test::temp_dir dir{true};
    sce_ua sce;
    std::string out;
};

// Two parameters in the same box, four complexes of default size; the best
// criterion must change within 10 loops.
std::string box_control(int maxn, int seed, const std::string& bounds_line) {
    return std::to_string(maxn) + " 10 0.000001 4 " + std::to_string(seed) + " 0 2\n0 0 0 0 0 0\n" +
           bounds_line + bounds_line;
}

TEST(SceRandom, MinimalStandardStepReachesThePublishedCheckValue) {
    std::int32_t x = 1;
    for (int i = 0; i < 10000; ++i) x = kesta::minstd_step(x);
    EXPECT_EQ(x, 1043618065);
}

TEST(SceRandom, SeedSignDoesNotMatterAndDeviatesHaveTheirMoments) {
    kesta::sce_random a(-5), b(5);
    double sum_u = 0.0, sum_g2 = 0.0;
    for (int i = 0; i < 4000; ++i) {
        const double u = a.uniform();
        ASSERT_EQ(u, b.uniform());
        ASSERT_TRUE(u >= 0.0 && u < 1.0);
        const double g = a.gaussian();
        ASSERT_EQ(g, b.gaussian());
        sum_u += u;
        sum_g2 += g * g;
    }
    EXPECT_NEAR(sum_u / 4000.0, 0.5, 0.02);
    EXPECT_NEAR(sum_g2 / 4000.0, 1.0, 0.1);
}

TEST_F(SceUa, FindsTheGoldsteinPriceMinimumForNearlyEverySeed) {
    int found = 0;
    for (int seed = 1; seed <= 10; ++seed) {
        ASSERT_TRUE(setup(box_control(20000, seed, "0 -2 2\n")));
        ASSERT_GT(search(goldstein_price), 0);
        std::vector<double> best;
        sce.get_best(best);
        if (std::fabs(sce.best_criterion() - 3.0) < 1e-3 && std::fabs(best[1]) < 1e-3 &&
            std::fabs(best[2] + 1.0) < 1e-3)
            ++found;
    }
    EXPECT_GE(found, 9);
}

TEST_F(SceUa, FollowsTheRosenbrockValleyToItsEnd) {
    for (int seed = 1; seed <= 3; ++seed) {
        ASSERT_TRUE(setup(box_control(20000, seed, "0 -5 5\n")));
        ASSERT_GT(search(rosenbrock), 0);
        std::vector<double> best;
        sce.get_best(best);
        EXPECT_NEAR(best[1], 1.0, 1e-2) << "seed " << seed;
        EXPECT_NEAR(best[2], 1.0, 1e-2) << "seed " << seed;
    }
}

std::string bounds(int n) {
    std::string text;
    for (int j = 0; j < n; ++j) text += "0.5 0 1\n";
    return text;
}

// kstop, ngs, npg, nps, nspl, mings, iniflg, iseed
std::vector<int> key_settings(const sce_ua& sce) {
    const kesta::sce_settings& c = sce.settings();
    return {c.kstop, c.ngs, c.npg, c.nps, c.nspl, c.mings, c.iniflg, c.iseed};
}

TEST_F(SceUa, DefaultsReplaceTheSecondLineUnlessAskedToUseIt) {
    // Four parameters: 2n + 1 points per complex, n + 1 per sub-complex; seed 0 is 3737.
    ASSERT_TRUE(setup("500 5 0.01 3 0 0 4\n9 9 9 9 1 1\n" + bounds(4)));
    EXPECT_EQ(key_settings(sce), (std::vector<int>{5, 3, 9, 5, 9, 3, 0, 3737}));
    ASSERT_TRUE(setup("500 15 0.01 3 7 1 4\n6 4 3 2 1 0\n" + bounds(4)));
    EXPECT_EQ(key_settings(sce), (std::vector<int>{15, 3, 6, 4, 3, 2, 1, 7}));
    EXPECT_EQ(out.find("WARNING"), std::string::npos);
}

TEST_F(SceUa, InvalidSettingsAreCorrectedWithAWarningEach) {
    ASSERT_TRUE(setup("500 25 0.01 2 1 1 5\n4 1 0 3 0 0\n" + bounds(5), 1));
    // The default sub-complex would be larger than its complex of 4 points.
    EXPECT_EQ(key_settings(sce), (std::vector<int>{5, 2, 4, 4, 4, 2, 0, 1}));
    EXPECT_NE(out.find(" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = 25 WAS\n"),
              std::string::npos);
    EXPECT_NE(out.find(" *** TOTAL NUMBER OF WARNING MESSAGES IS 4\n"), std::string::npos);

    // A kstop of 0 would stop every search after its first loop.
    ASSERT_TRUE(setup("500 0 0.01 2 1 0 2\n0 0 0 0 0 0\n" + bounds(2)));
    EXPECT_EQ(sce.settings().kstop, 5);
}

TEST_F(SceUa, PopulationLimitFallsBackToTwoComplexes) {
    ASSERT_TRUE(setup("5000 5 0.01 30 1 0 21\n0 0 0 0 0 0\n" + bounds(21)));
    EXPECT_EQ(sce.settings().ngs * sce.settings().npg, 1290);
    ASSERT_TRUE(setup("5000 5 0.01 40 1 1 21\n43 22 43 40 0 0\n" + bounds(21)));
    EXPECT_EQ(sce.settings().ngs, 2);
    EXPECT_EQ(sce.settings().npg, 43);
    EXPECT_NE(out.find(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX 43 IS NOT\n"), std::string::npos);
}

TEST_F(SceUa, RefusesControlValuesThatLeaveNothingToSearch) {
    EXPECT_FALSE(setup("500 5 0.01 2 1 0 2\n0 0 0 0 0 0\n0 1 1\n0 0 1\n"));
    EXPECT_NE(out.find("The lower bound 1.000000 of parameter 1 is not below its upper bound 1.000000"),
              std::string::npos);
    EXPECT_FALSE(setup("500 5 0.01 2 1 0\n0 0 0 0 0 0\n" + bounds(2)));
    EXPECT_NE(out.find("Error in your input file. The first line must have 7 parameters.\n"), std::string::npos);
    EXPECT_FALSE(setup("500 5 0.01 0 1 0 2\n0 0 0 0 0 0\n" + bounds(2)));
    EXPECT_NE(out.find(" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION 0 IS NOT A VALID CHOICE\n"),
              std::string::npos);
    EXPECT_EQ(search(rosenbrock), -1);
    EXPECT_NE(out.find("Error: unable to successufully setup SCE-UA. Unable to run.\n"), std::string::npos);

    ASSERT_TRUE(setup("9 5 0.01 2 1 0 2\n0 0 0 0 0 0\n" + bounds(2)));
    EXPECT_EQ(search(rosenbrock), -1);
    EXPECT_NE(out.find("maximum number of function calls less than the number of points"), std::string::npos);
}

TEST_F(SceUa, StopsAtTheTrialBudgetAndLogsEveryTrial) {
    // A cost of -1 (no weighted observation) counts as 1.
    ASSERT_TRUE(setup("40 5 0.01 2 1 0 2\n0 0 0 0 0 0\n" + bounds(2), 1));
    int calls = 0;
    const int trials = search([&calls](const std::vector<double>&) {
        ++calls;
        return -1.0;
    });
    EXPECT_EQ(trials, calls + 1);
    EXPECT_GE(trials, 40);
    EXPECT_EQ(sce.best_criterion(), 1.0);
    EXPECT_NE(out.find(" MAXIMUM NUMBER OF TRIALS 40 EXCEEDED.  SEARCH WAS STOPPED AT\n"), std::string::npos);

    const std::string log = kesta_test::read_file("log_file.txt");
    EXPECT_EQ(log.rfind("Sim No.   Cost     Minimum Cost:  Parameter Values\n1      ", 0), 0u);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), calls + 1);
    EXPECT_NE(log.find("\n10        1.000    1.000  :  0."), std::string::npos);
    const std::string report = kesta_test::read_file("sce_output.out");
    EXPECT_NE(report.find(" *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n1.000000 0."),
              std::string::npos);
}

}  // namespace
