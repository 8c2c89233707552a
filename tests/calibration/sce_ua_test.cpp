// The optimiser on functions with known minima, its generator against the
// published check value, and the corrections of its control values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "calibration/sce_ua.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::sce_ua;
using kesta_test::has;

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

TEST_F(SceUa, FindsKnownMinimaForNearlyEverySeed) {
    struct known_minimum {
        double (*fn)(const std::vector<double>&);
        const char* box;  // start, lower and upper bound of both parameters
        int seeds, need;  // searches made, and how many must end within tol
        double x, y, f, tol;
    };
    const known_minimum minima[] = {
        {goldstein_price, "0 -2 2\n", 10, 9, 0.0, -1.0, 3.0, 1e-3},
        // The search must follow the curved valley to its end.
        {rosenbrock, "0 -5 5\n", 3, 3, 1.0, 1.0, 0.0, 1e-2},
    };
    for (const known_minimum& m : minima) {
        int found = 0;
        for (int seed = 1; seed <= m.seeds; ++seed) {
            // Four complexes of default size; the best criterion must change within 10 loops.
            ASSERT_TRUE(setup("20000 10 0.000001 4 " + std::to_string(seed) + " 0 2\n0 0 0 0 0 0\n" + m.box + m.box));
            ASSERT_GT(search(m.fn), 0);
            std::vector<double> best;
            sce.get_best(best);
            if (std::fabs(sce.best_criterion() - m.f) < m.tol && std::fabs(best[1] - m.x) < m.tol &&
                std::fabs(best[2] - m.y) < m.tol)
                ++found;
        }
        EXPECT_GE(found, m.need) << m.box;
    }
}

std::string bounds(int n) {
    std::string text;
    for (int j = 0; j < n; ++j) text += "0.5 0 1\n";
    return text;
}

TEST_F(SceUa, ControlValuesAreTakenOrCorrectedWithAWarningEach) {
    struct settings_case {
        std::string control;
        int log_flag;
        std::vector<int> settings;       // kstop, ngs, npg, nps, nspl, mings, iniflg, iseed; -1 is not checked
        std::vector<std::string> says;  // among the warnings; none: no warning at all
    };
    const settings_case cases[] = {
        // Four parameters: 2n + 1 points per complex, n + 1 per sub-complex,
        // the second line ignored unless asked for; seed 0 is 3737.
        {"500 5 0.01 3 0 0 4\n9 9 9 9 1 1\n" + bounds(4), 0, {5, 3, 9, 5, 9, 3, 0, 3737}, {}},
        {"500 15 0.01 3 7 1 4\n6 4 3 2 1 0\n" + bounds(4), 0, {15, 3, 6, 4, 3, 2, 1, 7}, {}},
        // The default sub-complex would be larger than its complex of 4 points.
        {"500 25 0.01 2 1 1 5\n4 1 0 3 0 0\n" + bounds(5), 1, {5, 2, 4, 4, 4, 2, 0, 1},
         {" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = 25 WAS\n",
          " *** TOTAL NUMBER OF WARNING MESSAGES IS 4\n"}},
        // A kstop of 0 would stop every search after its first loop.
        {"500 0 0.01 2 1 0 2\n0 0 0 0 0 0\n" + bounds(2), 0, {5, 2, 5, 3, 5, 2, 0, 1}, {" kstop = 0 WAS\n"}},
        // 30 complexes of 43 points fit the population limit; 40 fall back to two.
        {"5000 5 0.01 30 1 0 21\n0 0 0 0 0 0\n" + bounds(21), 0, {5, 30, 43, 22, 43, 30, 0, 1}, {}},
        {"5000 5 0.01 40 1 1 21\n43 22 43 40 0 0\n" + bounds(21), 0, {5, 2, 43, 22, 43, -1, 0, 1},
         {" **WARNING** THE NUMBER OF POINTS IN A COMPLEX 43 IS NOT\n"}},
    };
    for (const settings_case& c : cases) {
        ASSERT_TRUE(setup(c.control, c.log_flag)) << c.control;
        const kesta::sce_settings& s = sce.settings();
        const int got[] = {s.kstop, s.ngs, s.npg, s.nps, s.nspl, s.mings, s.iniflg, s.iseed};
        for (std::size_t k = 0; k < c.settings.size(); ++k)
            EXPECT_EQ(got[k], c.settings[k] < 0 ? got[k] : c.settings[k]) << "setting " << k << " of " << c.control;
        for (const std::string& part : c.says) EXPECT_TRUE(has(out, part)) << out;
        EXPECT_EQ(has(out, "WARNING"), !c.says.empty()) << out;
    }
}

TEST_F(SceUa, RefusesControlValuesThatLeaveNothingToSearch) {
    const std::pair<std::string, std::string> refused[] = {
        {"500 5 0.01 2 1 0 2\n0 0 0 0 0 0\n0 1 1\n0 0 1\n",
         "The lower bound 1.000000 of parameter 1 is not below its upper bound 1.000000"},
        {"500 5 0.01 2 1 0\n0 0 0 0 0 0\n" + bounds(2),
         "Error in your input file. The first line must have 7 parameters.\n"},
        {"500 5 0.01 0 1 0 2\n0 0 0 0 0 0\n" + bounds(2),
         " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION 0 IS NOT A VALID CHOICE\n"},
    };
    for (const auto& [control, says] : refused) {
        EXPECT_FALSE(setup(control)) << control;
        EXPECT_TRUE(has(out, says)) << out;
    }
    EXPECT_EQ(search(rosenbrock), -1);
    EXPECT_TRUE(has(out, "Error: unable to successufully setup SCE-UA. Unable to run.\n")) << out;

    ASSERT_TRUE(setup("9 5 0.01 2 1 0 2\n0 0 0 0 0 0\n" + bounds(2)));
    EXPECT_EQ(search(rosenbrock), -1);
    EXPECT_TRUE(has(out, "maximum number of function calls less than the number of points")) << out;
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
    EXPECT_TRUE(has(out, " MAXIMUM NUMBER OF TRIALS 40 EXCEEDED.  SEARCH WAS STOPPED AT\n")) << out;

    const std::string log = kesta_test::read_file("log_file.txt");
    EXPECT_EQ(log.rfind("Sim No.   Cost     Minimum Cost:  Parameter Values\n1      ", 0), 0u);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), calls + 1);
    EXPECT_TRUE(has(log, "\n10        1.000    1.000  :  0.")) << log;
    EXPECT_TRUE(has(kesta_test::read_file("sce_output.out"),
                    " *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n1.000000 0."));
}

TEST_F(SceUa, AFailedTrialRanksBelowEveryScoredOneHoweverLarge) {
    // Points below 0.5 fail; every scored cost lies far above the value a
    // failure is logged with.
    ASSERT_TRUE(setup("60 5 0.01 2 3 0 1\n0 0 0 0 0 0\n0.5 0 1\n", 1));
    const int trials = search([](const std::vector<double>& p) {
        return p[1] < 0.5 ? kesta::kUnscoredCost : 2e6 + p[1];
    });
    ASSERT_GT(trials, 0);
    ASSERT_GT(sce.scored_trials(), 0);
    std::vector<double> best;
    sce.get_best(best);
    EXPECT_GE(best[1], 0.5);
    EXPECT_NEAR(sce.best_criterion(), 2e6 + best[1], 1e-6);
    // The lowest cost so far of the log's last row is the best scored one.
    const std::vector<std::string> log = kesta_test::lines_of(kesta_test::read_file("log_file.txt"));
    double f = 0.0, lowest = 0.0;
    ASSERT_EQ(std::sscanf(log.back().c_str(), "%*d %lf %lf", &f, &lowest), 2) << log.back();
    EXPECT_NEAR(lowest, sce.best_criterion(), 1e-3);
}

}  // namespace
