// The SCE and Monte Carlo modes and one calibration trial on whole model
// runs whose physics is a stand-in with a known answer: the values they put
// into the runs, how they number them, the scores and best result they
// report and what they return.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "calibration/monte_carlo.hpp"
#include "calibration/multi_run.hpp"
#include "calibration/objective.hpp"
#include "calibration/optim_record.hpp"
#include "calibration/replace_params.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/parallel_env.hpp"
#include "model/model_state.hpp"
#include "model/run_driver.hpp"
#include "model/run_model.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::has;
using kesta_test::read_file;

struct stand_in_script {
    int fail_from_run = 0;            // runs numbered from 1 at or after this one stop on an error
    int runs = 0;
    std::vector<std::string> lines;         // first project line of each run, replaced
    std::vector<std::string> output_paths;  // where each run would write "out.txt"
};

stand_in_script* g_script = nullptr;

// The stand-in, installed as the run driver's step observer: the run reads
// the first line of its project file through the line reader (so
// placeholders are replaced), takes "PEAK <value>" from it as the outlet
// peak of its one event, and skips every real step.
bool stand_in_step(kesta::model_state& m, const char* name) {
    stand_in_script& s = *g_script;
    const std::string step = name;
    if (step == "read_run_parameters") {
        ++s.runs;
        std::string file = m.project_file;
        kesta::file_ptr fp = kesta::open_file(file, "r", 0);
        kesta::line_cursor line;
        if (fp) kesta::read_line(line, fp.get());
        s.lines.push_back(line.text());
        s.output_paths.push_back(kesta::output_path("out.txt", "w", 1));
    } else if (step == "check_run_options" && s.fail_from_run > 0 && s.runs >= s.fail_from_run) {
        kesta::g_error_record.code = 4000;
    } else if (step == "alloc_optim_record" && m.run_result) {
        kesta::line_cursor line(s.lines.back());
        std::string card;
        double peak = -1.0;
        kesta::pop_string(line, card);
        kesta::pop_double(line, peak);
        m.run_result->num_events = 1;
        m.run_result->num_columns = 1;
        m.run_result->peak = {0.0, peak};
        m.run_result->volume = {0.0, 100.0};
    }
    return false;
}

// The stand-in in a scratch working folder that holds a one-parameter
// calibration: the run's peak is the trial value [X], the observed peak 10.
// The process-wide settings the drivers change are restored afterwards.
class MultiRun : public ::testing::Test {
protected:
    void SetUp() override {
        g_script = &script;
        kesta::set_step_observer(stand_in_step);
        dir.write("calib.prj", "PEAK [X]\n");
        dir.write("params.txt", "1\n[X] \"%.4f\"\n");
        dir.write("obs.txt", "1\n10 1 0 0\n");
    }
    void TearDown() override {
        kesta::set_step_observer(nullptr);
        g_script = nullptr;
        kesta::free_replace_list();
        kesta::set_replace_mode(false);
        kesta::set_replace_line(0);
        kesta::reset_file_opener_settings();
    }
    // What f returns; what it printed is kept in `out`.
    template <typename F>
    auto quietly(F f) {
        testing::internal::CaptureStdout();
        const auto result = f();
        out = testing::internal::GetCapturedStdout();
        return result;
    }
    int sce(const char* input) { return quietly([&] { return kesta::run_sce_calibration(env, input, run); }); }
    int monte_carlo(const char* input) { return quietly([&] { return kesta::run_monte_carlo(env, 3, input, run); }); }
    // One calibration trial of value x, scored by `obj`.
    double trial(double x) {
        return quietly([&] { return kesta::calib_objective_run("params.txt", "calib.prj", {0.0, x}, obj, 1, run); });
    }
    const kesta::model_runner run = kesta::run_model;
    kesta_test::temp_dir dir{true};
    stand_in_script script;
    kesta::parallel_env env;
    kesta::calib_objective obj;
    std::string out;
};

TEST_F(MultiRun, TrialRunsTheModelWithTheTrialValueAndScoresIt) {
    ASSERT_EQ(obj.read_observation_file("obs.txt"), 1);
    EXPECT_NEAR(trial(12.0), 0.2, 1e-12);
    EXPECT_EQ(script.lines, std::vector<std::string>{"PEAK 12.0000"});
    EXPECT_EQ(script.output_paths, std::vector<std::string>{"0000_out.txt"});
    // One HMLE block, the cost block twice, one observation block.
    const std::string block = "p:12.000000, 2.000000  Total Points: 1\ncost: 0.200000\n" + std::string(79, '-') + "\n";
    EXPECT_EQ(read_file("0_cost.out"), block + block);
    EXPECT_TRUE(has(read_file("0_hmle.out"), "hmle: 4.000000\n"));
    EXPECT_EQ(read_file("0_obs.log"), std::string(55, '-') +
                                          "\nEvent    weight     peak       weight      volume\n"
                                          "1       1.00    10.00       0.00     0.00      \n\n\n");

    // The next trial reads the parameters again: the list died with the run.
    EXPECT_NEAR(trial(7.5), 0.25, 1e-12);
    EXPECT_EQ(script.lines.back(), "PEAK 7.5000");
    EXPECT_EQ(obj.failed_runs(), 0);
}

TEST_F(MultiRun, TrialStoppedByAnErrorCostsTheUnscoredValue) {
    ASSERT_EQ(obj.read_observation_file("obs.txt"), 1);
    script.fail_from_run = 1;
    EXPECT_EQ(trial(10.0), kesta::kUnscoredCost);
    EXPECT_EQ(obj.failed_runs(), 1);
    dir.write("params.txt", "1\n[X] \"%q\"\n");
    EXPECT_EQ(trial(10.0), kesta::kUnscoredCost);
    EXPECT_EQ(obj.failed_runs(), 2);
    EXPECT_EQ(script.runs, 1);  // a parameter file that cannot be read runs nothing
}

const char* const kFiles = "calib.prj\nparams.txt\nobs.txt\n";

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
    EXPECT_TRUE(has(out, none)) << out;
    EXPECT_FALSE(has(out, "The best results")) << out;
}

TEST_F(MultiRun, SceCalibrationReportsTheValuesItsRunsReceived) {
    // An integer parameter: every run receives a whole number, and best.out
    // and the trial log show that number, not the optimiser's point.
    dir.write("params.txt", "1\n[X] \"%d\"\n");
    dir.write("sce.in", std::string(kFiles) + "40 5 0.0001 2 7 0 1\n0 0 0 0 0 0\n5 0 20\n");
    EXPECT_EQ(sce("sce.in"), 0);
    const std::vector<std::string> best = kesta_test::lines_of(read_file("best.out"));
    ASSERT_EQ(best.size(), 2u);
    EXPECT_EQ(best[1], "10.000000");
    const std::vector<std::string> log = kesta_test::lines_of(read_file("log_file.txt"));
    ASSERT_EQ(log.size(), static_cast<std::size_t>(script.runs) + 1);
    for (std::size_t k = 1; k < log.size(); ++k) {
        const double x = std::stod(log[k].substr(log[k].find(':') + 1));
        EXPECT_EQ(x, std::round(x)) << log[k];
        EXPECT_EQ(script.lines[k - 1], "PEAK " + std::to_string(static_cast<int>(x))) << log[k];
    }
}

TEST_F(MultiRun, MonteCarloModeScoresEveryRunAndWritesTheBest) {
    dir.write("mc.in", std::string(kFiles) + "1\n10 10\n");
    EXPECT_EQ(monte_carlo("mc.in"), 0);
    EXPECT_EQ(script.lines, std::vector<std::string>(3, "PEAK 10.0000"));
    EXPECT_EQ(read_file("log_file_p0.log"), "0.000000:  10.000000 \n0.000000:  10.000000 \n0.000000:  10.000000 \n");
    EXPECT_EQ(read_file("best.out"), "0.000000:  10.000000 \n");
    EXPECT_TRUE(has(out, "\n\nBest objective function value: 0.000000\nParameters:\n 10.000000 \n")) << out;

    // An integer parameter receives the rounded trial value, and the log and
    // the best result show the value the runs received.
    dir.write("params.txt", "1\n[X] \"%d\"\n");
    dir.write("mc.in", std::string(kFiles) + "1\n7.6 7.6\n");
    script.lines.clear();
    EXPECT_EQ(monte_carlo("mc.in"), 0);
    EXPECT_EQ(script.lines, std::vector<std::string>(3, "PEAK 8"));
    EXPECT_EQ(read_file("log_file_p0.log"), "0.200000:  8.000000 \n0.200000:  8.000000 \n0.200000:  8.000000 \n");
    EXPECT_EQ(read_file("best.out"), "0.200000:  8.000000 \n");

    // Runs 7 to 9 of the process; the last two stop on an error.
    script.fail_from_run = 8;
    EXPECT_EQ(monte_carlo("mc.in"), 2);
}

TEST_F(MultiRun, MonteCarloPrefersAScoredRunAndReportsNoBestWhenNoneWasScored) {
    dir.write("mc.in", std::string(kFiles) + "1\n0 1\n");
    kesta::montecarlo mc(3, env, "mc.in", run);
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
    EXPECT_TRUE(has(out, "\n\n" + none)) << out;
}

TEST_F(MultiRun, MonteCarloDrawsWithinBoundsAndKeepsTheSmallestAbsoluteCost) {
    dir.write("mc.in", std::string(kFiles) + "2\n3 3\n0 1\n");
    kesta::montecarlo mc(200, env, "mc.in", run);
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

TEST_F(MultiRun, ModesThatCannotStartReturnOneAndRunNothing) {
    const std::string no_obs =
        "Error: unable to open the observation file no_obs.txt for reading or problem while reading it.\n";
    EXPECT_EQ(sce("absent.in"), 1);
    EXPECT_TRUE(has(out, "Can't open SCE input file absent.in\n")) << out;
    EXPECT_TRUE(has(out, "Error: unable to successfully run the SCE method\n")) << out;
    dir.write("sce.in", "calib.prj\nparams.txt\nno_obs.txt\n300 5 0.0001 2 7 0 1\n0 0 0 0 0 0\n5 0 20\n");
    EXPECT_EQ(sce("sce.in"), 1);
    EXPECT_TRUE(has(out, no_obs)) << out;

    EXPECT_EQ(monte_carlo("absent.in"), 1);
    EXPECT_TRUE(has(out, "Can't open Monte Carlo input file absent.in\n")) << out;
    dir.write("mc.in", "calib.prj\nparams.txt\nno_obs.txt\n1\n10 10\n");
    EXPECT_EQ(monte_carlo("mc.in"), 1);
    EXPECT_TRUE(has(out, no_obs)) << out;
    dir.write("mc.in", std::string(kFiles) + "1\n2 1\n");
    EXPECT_EQ(monte_carlo("mc.in"), 1);
    EXPECT_TRUE(has(out, "the minimum 2.000000 of parameter 1 is above its maximum 1.000000")) << out;
    EXPECT_EQ(script.runs, 0);
}

}  // namespace
