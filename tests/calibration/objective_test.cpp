// Scores of simulated peaks and volumes against hand-worked observation sets.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "calibration/objective.hpp"
#include "input/input_steps.hpp"
#include "model/model_state.hpp"
#include "model/optim_results.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::calib_objective;
using kesta_test::read_file;

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
              "v:5.000000, 5.000000  \nTotal Points: 4\ncost: 5.850000\n" + std::string(79, '-') + "\n");
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
    for (int k = 1; k <= 400; ++k) text += "1e6 1 1e9 1\n";
    const std::vector<double> peaks(401, 1.1e6), volumes(401, 1e9);
    // Every term has the same weight, so the estimator is the mean squared
    // peak error of the peaks alone: 400 x (1e5)^2 / 800.
    EXPECT_NEAR(read(text).write_hmle_file(peaks, volumes, 0), 400.0 * 1e10 / 800.0, 1.0);
}

TEST_F(Objective, UnweightedOrUnscorableRunsGetTheirSpecialCosts) {
    calib_objective none = read("2\n10 0 100 0\n5 0 50 1e-7\n");
    EXPECT_EQ(none.write_cost_file(kPeaks, kVolumes, 1), -1.0);
    EXPECT_EQ(none.write_hmle_file(kPeaks, kVolumes, 1), -1.0);
    EXPECT_EQ(read_file("1_cost.out"), "");

    calib_objective obj = read(kThreeSlots);
    // A weighted value the run never wrote, fewer slots than observations, no tables at all.
    const std::pair<std::vector<double>, std::vector<double>> unscorable[] = {
        {{0.0, 12.0, 7.0, -1.0}, kVolumes}, {{0.0, 12.0}, {0.0, 80.0}}, {{}, {}}};
    for (const auto& [peaks, volumes] : unscorable) {
        EXPECT_EQ(obj.write_cost_file(peaks, volumes, 2), kesta::kUnscoredCost) << peaks.size();
        EXPECT_EQ(obj.write_hmle_file(peaks, volumes, 2), kesta::kUnscoredCost) << peaks.size();
    }
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
    EXPECT_EQ(kesta_test::printed_by([&obj] { EXPECT_EQ(obj.read_observation_file("bad.txt"), -1); }),
              "Error: line 2 of the observation file bad.txt needs four numbers: 1 1 x 1\n");
}

}  // namespace
