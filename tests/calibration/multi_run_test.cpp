// The SCE, Monte Carlo and batch modes driving whole (stand-in) model runs:
// the values they put into the runs, how they number them, the best result
// they report and what they return.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "calibration/monte_carlo.hpp"
#include "calibration/multi_run.hpp"
#include "core/parallel_env.hpp"
#include "model/run_model.hpp"
#include "stand_in_run.hpp"

namespace {

using kesta_test::read_file;

class MultiRun : public kesta_test::StandInRun {
protected:
    void SetUp() override {
        StandInRun::SetUp();
        // The run's peak is the trial value; the observed peak is 10.
        dir.write("calib.prj", "PEAK [X]\n");
        dir.write("params.txt", "1\n[X] \"%.4f\"\n");
        dir.write("obs.txt", "1\n10 1 0 0\n");
    }
    // Each mode run quietly; the console output is kept in `out`.
    int sce(const char* input) { return quietly([&] { return kesta::run_sce_calibration(env, input, kesta::run_model); }); }
    int monte_carlo(const char* input) { return quietly([&] { return kesta::run_monte_carlo(env, 3, input, kesta::run_model); }); }
    int batch(const char* project) { return quietly([&] { return kesta::run_batch(env, 3, project, kesta::run_model); }); }
    template <typename F>
    int quietly(F f) {
        testing::internal::CaptureStdout();
        const int rc = f();
        out = testing::internal::GetCapturedStdout();
        return rc;
    }
    kesta::parallel_env env;
    std::string out;
};

const char* const kFiles = "calib.prj\nparams.txt\nobs.txt\n";

TEST_F(MultiRun, SceCalibrationFindsTheValueThatMatchesTheObservation) {
    dir.write("sce.in", std::string(kFiles) + "300 5 0.0001 2 7 0 1\n0 0 0 0 0 0\n5 0 20\n");
    EXPECT_EQ(sce("sce.in"), 0);
    const std::string best = read_file("best.out");
    const std::string head = "The best results of the SCE calibration " + std::to_string(script.runs + 1) + " runs:\n";
    ASSERT_EQ(best.rfind(head, 0), 0u);
    EXPECT_NEAR(std::stod(best.substr(head.size())), 10.0, 0.05);
    EXPECT_NE(out.find("The best results of the SCE calibration after "), std::string::npos);
    EXPECT_NE(read_file("sce_output.out").find("ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n"),
              std::string::npos);
    // Every trial ran under the rank's prefix.
    EXPECT_EQ(script.output_paths.back(), "0000_out.txt");
}

TEST_F(MultiRun, SceCalibrationWithoutASucceededRunReportsNoBestResult) {
    script.fail_from_run = 1;
    dir.write("sce.in", std::string(kFiles) + "20 5 0.0001 2 7 0 1\n0 0 0 0 0 0\n5 0 20\n");
    const int failed = sce("sce.in");
    EXPECT_EQ(failed, script.runs);
    EXPECT_GE(failed, 10);
    const std::string none = "No best results: none of the " + std::to_string(script.runs) +
                             " runs of the SCE calibration ended normally with results to score against the "
                             "observations.\n";
    EXPECT_EQ(read_file("best.out"), none);
    EXPECT_NE(out.find(none), std::string::npos);
    EXPECT_EQ(out.find("The best results"), std::string::npos);
}

TEST_F(MultiRun, IntegerParametersReceiveTheRoundedTrialValue) {
    // The only value the search may draw rounds to 8.
    dir.write("params.txt", "1\n[X] \"%d\"\n");
    dir.write("mc.in", std::string(kFiles) + "1\n7.6 7.6\n");
    EXPECT_EQ(monte_carlo("mc.in"), 0);
    EXPECT_EQ(script.lines, std::vector<std::string>(3, "PEAK 8"));
    EXPECT_EQ(read_file("best.out"), "0.200000:  7.600000 \n");
}

TEST_F(MultiRun, MonteCarloPrefersAScoredRunAndReportsNoBestWhenNoneWasScored) {
    dir.write("mc.in", std::string(kFiles) + "1\n0 1\n");
    kesta::montecarlo mc(3, env, "mc.in", kesta::run_model);
    // A stopped first run costs less than the scored ones that follow.
    const double costs[] = {kesta::kUnscoredCost, 2e6, 3e6};
    int call = 0;
    mc.set_objective([&](const std::vector<double>&) { return costs[call++]; });
    quietly([&] { return mc.run(); });
    EXPECT_EQ(mc.best_cost(), 2e6);

    script.fail_from_run = 1;
    EXPECT_EQ(monte_carlo("mc.in"), 3);
    const std::string none = "No best objective function value: none of the 3 Monte Carlo runs ended normally "
                             "with results to score against the observations.\n";
    EXPECT_EQ(read_file("best.out"), none);
    EXPECT_NE(out.find("\n\n" + none), std::string::npos);
}

TEST_F(MultiRun, MonteCarloDrawsWithinBoundsAndKeepsTheSmallestAbsoluteCost) {
    dir.write("mc.in", std::string(kFiles) + "2\n3 3\n0 1\n");
    kesta::montecarlo mc(200, env, "mc.in", kesta::run_model);
    ASSERT_TRUE(mc.input_ok());
    std::vector<std::vector<double>> drawn;
    const double costs[] = {2.0, -2.0, -3.0, -1.5, 1.5};
    mc.set_objective([&](const std::vector<double>& p) {
        drawn.push_back(p);
        return costs[std::min<std::size_t>(drawn.size() - 1, 4)];
    });
    EXPECT_EQ(mc.run(), 1);
    ASSERT_EQ(drawn.size(), 200u);
    for (const std::vector<double>& p : drawn) {
        EXPECT_EQ(p[1], 3.0);
        EXPECT_GE(p[2], 0.0);
        EXPECT_LT(p[2], 1.0);
    }
    // Ties keep the earlier run: 2 against -2, and -1.5 against every later 1.5.
    EXPECT_EQ(mc.best_cost(), -1.5);
    EXPECT_EQ(mc.best(), drawn[3]);
}

TEST_F(MultiRun, MonteCarloModeScoresEveryRunAndWritesTheBest) {
    dir.write("mc.in", std::string(kFiles) + "1\n10 10\n");
    EXPECT_EQ(monte_carlo("mc.in"), 0);
    EXPECT_EQ(script.lines, std::vector<std::string>(3, "PEAK 10.0000"));
    EXPECT_EQ(read_file("log_file_p0.log"), "0.000000:  10.000000 \n0.000000:  10.000000 \n0.000000:  10.000000 \n");
    EXPECT_EQ(read_file("best.out"), "0.000000:  10.000000 \n");
    EXPECT_NE(out.find("\n\nBest objective function value: 0.000000\nParameters:\n 10.000000 \n"), std::string::npos);

    script.fail_from_run = 5;
    EXPECT_EQ(monte_carlo("mc.in"), 2);
}

TEST_F(MultiRun, ModesThatCannotStartReturnOneAndRunNothing) {
    const std::string no_obs = "Error: unable to open the observation file for reading or problem while reading it.\n";
    EXPECT_EQ(sce("absent.in"), 1);
    EXPECT_NE(out.find("Can't open SCE input file absent.in\n"), std::string::npos);
    EXPECT_NE(out.find("Error: unable to successfully run the SCE method\n"), std::string::npos);
    dir.write("sce.in", "calib.prj\nparams.txt\nno_obs.txt\n300 5 0.0001 2 7 0 1\n0 0 0 0 0 0\n5 0 20\n");
    EXPECT_EQ(sce("sce.in"), 1);
    EXPECT_NE(out.find(no_obs), std::string::npos);

    EXPECT_EQ(monte_carlo("absent.in"), 1);
    EXPECT_NE(out.find("Can't open Monte Carlo input file absent.in\n"), std::string::npos);
    dir.write("mc.in", "calib.prj\nparams.txt\nno_obs.txt\n1\n10 10\n");
    EXPECT_EQ(monte_carlo("mc.in"), 1);
    EXPECT_NE(out.find(no_obs), std::string::npos);
    dir.write("mc.in", std::string(kFiles) + "1\n2 1\n");
    EXPECT_EQ(monte_carlo("mc.in"), 1);
    EXPECT_NE(out.find("the minimum 2.000000 of parameter 1 is above its maximum 1.000000"), std::string::npos);
    EXPECT_EQ(script.runs, 0);
}

TEST_F(MultiRun, BatchRunsTakeTheirValueLinesAndNumberTheirOutputs) {
    script.read_replace_cards = true;
    dir.write("batch.prj", "RUN [N]\n");
    dir.write("params.txt", "1\n[N] \"%d\"\n");
    dir.write("values.txt", "11\n12\n13\n");
    EXPECT_EQ(batch("batch.prj"), 0);
    EXPECT_EQ(out.rfind("KESTA is running in batch mode, and is running 3 runs...\n", 0), 0u);
    EXPECT_EQ(script.lines, (std::vector<std::string>{"RUN 11", "RUN 12", "RUN 13"}));
    EXPECT_EQ(script.output_paths, (std::vector<std::string>{"0000_out.txt", "0001_out.txt", "0002_out.txt"}));

    script.fail_from_run = 6;
    EXPECT_EQ(batch("batch.prj"), 1);
}

}  // namespace
