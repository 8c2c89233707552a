// Scores of simulated peaks and volumes against hand-worked observation sets,
// and one calibration trial made of a whole (stand-in) model run.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "calibration/objective.hpp"
#include "input/input_steps.hpp"
#include "model/model_state.hpp"
#include "model/optim_results.hpp"
#include "model/run_model.hpp"
#include "stand_in_run.hpp"

namespace {

using kesta::calib_objective;
using kesta_test::read_file;

const std::string kRule(79, '-');

class Objective : public ::testing::Test {
protected:
    calib_objective read(const std::string& text) {
        dir.write("obs.txt", text);
        calib_objective obj;
        EXPECT_EQ(obj.read_observation_file("obs.txt"), 1);
        return obj;
    }
    kesta_test::temp_dir dir{true};
};

// Slot 1 weighs the peak, slot 2 the volume, slot 3 both, with an observed
// volume of 0.
const char* const kThreeSlots = "3\n10 1 100 0\n0 0 50 2\n20 0.5 0 1\n";
const std::vector<double> kPeaks = {0.0, 12.0, 7.0, 30.0};
const std::vector<double> kVolumes = {0.0, 80.0, 60.0, 5.0};

TEST_F(Objective, CostSumsWeightedRelativeDifferences) {
    calib_objective obj = read(kThreeSlots);
    // 2/10 x 1 + 10/50 x 2 + 10/20 x 0.5 + 5 x 1 (observed volume 0: undivided)
    EXPECT_NEAR(obj.write_cost_file(kPeaks, kVolumes, 3), 5.85, 1e-12);
    EXPECT_EQ(read_file("3_cost.out"),
              "p:12.000000, 2.000000  v:60.000000, 10.000000  \np:30.000000, 10.000000  "
              "v:5.000000, 5.000000  \nTotal Points: 4\ncost: 5.850000\n" + kRule + "\n");
}

TEST_F(Objective, HmleUsesGeometricMeanOfWeightsAndSkipsZeroObservations) {
    calib_objective obj = read(kThreeSlots);
    // Ratio 20 / 100. Weights 100 (peak 1), (50 x 0.2)^2 = 100 (volume 2),
    // 400 (peak 3); the volume of slot 3 is observed as 0 and left out.
    const double top = (100.0 * 4.0 + 100.0 * 100.0 * 0.04 + 400.0 * 100.0) / 3.0;
    const double bottom = std::cbrt(100.0 * 100.0 * 400.0);
    EXPECT_NEAR(obj.write_hmle_file(kPeaks, kVolumes, 0), top / bottom, 1e-9);
    const std::string log = read_file("0_hmle.out");
    EXPECT_EQ(log.rfind("p:12.000000, 2.000000  v:60.000000, 10.000000  \np:30.000000, 10.000000  Total Points: 3\n"
                        "top: 13600.000000     bottom: ",
                        0),
              0u);
}

TEST_F(Objective, HmleStaysFiniteForManyLargeObservations) {
    std::string text = "400\n";
    std::vector<double> peaks{0.0}, volumes{0.0};
    for (int k = 1; k <= 400; ++k) {
        text += "1e6 1 1e9 1\n";
        peaks.push_back(1.1e6);
        volumes.push_back(1e9);
    }
    calib_objective obj = read(text);
    // Every term has the same weight, so the estimator is the mean squared
    // peak error of the peaks alone: 400 x (1e5)^2 / 800.
    EXPECT_NEAR(obj.write_hmle_file(peaks, volumes, 0), 400.0 * 1e10 / 800.0, 1.0);
}

TEST_F(Objective, UnweightedOrUnscorableRunsGetTheirSpecialCosts) {
    calib_objective none = read("2\n10 0 100 0\n5 0 50 1e-7\n");
    EXPECT_EQ(none.write_cost_file(kPeaks, kVolumes, 1), -1.0);
    EXPECT_EQ(none.write_hmle_file(kPeaks, kVolumes, 1), -1.0);
    EXPECT_EQ(read_file("1_cost.out"), "");

    calib_objective obj = read(kThreeSlots);
    // A weighted value the run never wrote.
    EXPECT_EQ(obj.write_cost_file({0.0, 12.0, 7.0, -1.0}, kVolumes, 2), kesta::kUnscoredCost);
    EXPECT_EQ(obj.write_hmle_file({0.0, 12.0, 7.0, -1.0}, kVolumes, 2), kesta::kUnscoredCost);
    // Fewer slots than observations, and no tables at all.
    EXPECT_EQ(obj.write_cost_file({0.0, 12.0}, {0.0, 80.0}, 2), kesta::kUnscoredCost);
    EXPECT_EQ(obj.write_hmle_file({}, {}, 2), kesta::kUnscoredCost);
}

TEST_F(Objective, RecordSlotsNoEventEndWroteAreUnscored) {
    calib_objective obj = read("2\n10 1 100 1\n10 1 100 1\n");
    auto m = std::make_unique<kesta::model_state>();
    m->optimize_given = 1;
    m->nevents = 2;
    kesta::alloc_optim_record(*m);
    const kesta::optim_record& r = *m->run_result;
    // The run ended before its first event closed.
    EXPECT_EQ(obj.write_cost_file(r.peak, r.volume, 4), kesta::kUnscoredCost);
    // Only the first of two events closed.
    kesta::optim_store(*m->run_result, 1, 0, 12.0, 100.0);
    EXPECT_EQ(obj.write_cost_file(r.peak, r.volume, 4), kesta::kUnscoredCost);
    kesta::optim_store(*m->run_result, 2, 0, 10.0, 80.0);
    EXPECT_NEAR(obj.write_cost_file(r.peak, r.volume, 4), 0.2 + 0.2, 1e-12);
}

TEST_F(Objective, ObservationFileMustHoldEverySlot) {
    calib_objective obj;
    dir.write("short.txt", "3\n1 1 1 1\n");
    dir.write("zero.txt", "0\n");
    dir.write("bad.txt", "1\n1 1 x 1\n");
    for (const char* name : {"absent.txt", "short.txt", "zero.txt"})
        EXPECT_EQ(obj.read_observation_file(name), -1) << name;
    testing::internal::CaptureStdout();
    EXPECT_EQ(obj.read_observation_file("bad.txt"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: line 2 of the observation file bad.txt needs four numbers: 1 1 x 1\n");
}

class CalibrationTrial : public kesta_test::StandInRun {
protected:
    void SetUp() override {
        StandInRun::SetUp();
        dir.write("calib.prj", "PEAK [X]\n");
        dir.write("params.txt", "1\n[X] \"%.4f\"\n");
        dir.write("obs.txt", "1\n10 1 0 0\n");
        ASSERT_EQ(obj.read_observation_file("obs.txt"), 1);
    }
    double trial(double x) {
        testing::internal::CaptureStdout();
        const double cost = kesta::calib_objective_run("params.txt", "calib.prj", {0.0, x}, obj, 1, kesta::run_model);
        out = testing::internal::GetCapturedStdout();
        return cost;
    }
    calib_objective obj;
    std::string out;
};

TEST_F(CalibrationTrial, RunsTheModelWithTheTrialValueAndScoresIt) {
    EXPECT_NEAR(trial(12.0), 0.2, 1e-12);
    EXPECT_EQ(script.lines, std::vector<std::string>{"PEAK 12.0000"});
    EXPECT_EQ(script.output_paths, std::vector<std::string>{"0000_out.txt"});
    // One HMLE block, the cost block twice, one observation block.
    const std::string block = "p:12.000000, 2.000000  Total Points: 1\ncost: 0.200000\n" + kRule + "\n";
    EXPECT_EQ(read_file("0_cost.out"), block + block);
    EXPECT_NE(read_file("0_hmle.out").find("hmle: 4.000000\n"), std::string::npos);
    EXPECT_EQ(read_file("0_obs.log"), std::string(55, '-') +
                                          "\nEvent    weight     peak       weight      volume\n"
                                          "1       1.00    10.00       0.00     0.00      \n\n\n");

    // The next trial reads the parameters again: the list died with the run.
    EXPECT_NEAR(trial(7.5), 0.25, 1e-12);
    EXPECT_EQ(script.lines.back(), "PEAK 7.5000");
    EXPECT_EQ(obj.failed_runs(), 0);
}

TEST_F(CalibrationTrial, RunStoppedByAnErrorCostsTheUnscoredValue) {
    script.fail_from_run = 1;
    EXPECT_EQ(trial(10.0), kesta::kUnscoredCost);
    EXPECT_EQ(obj.failed_runs(), 1);
    dir.write("params.txt", "1\n[X] \"%q\"\n");
    EXPECT_EQ(trial(10.0), kesta::kUnscoredCost);
    EXPECT_EQ(obj.failed_runs(), 2);
    EXPECT_EQ(script.runs, 1);  // a parameter file that cannot be read runs nothing
}

}  // namespace
