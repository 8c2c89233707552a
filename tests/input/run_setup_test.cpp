// The run-control copy: time step, output intervals, outlet and the checks.
#include <gtest/gtest.h>

#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "input/input_steps.hpp"

namespace {

using kesta::g_error_record;

struct RunSetup : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        m.run_params.timestep = 10.0;
        m.run_params.hyd_freq = 1.0;
        m.run_params.map_freq = 60;
        m.run_params.outslope = 0.01;
        m.run_params.rows = 4;
        m.run_params.cols = 5;
        m.run_params.outrow = 3;
        m.run_params.outcol = 2;
    }
    int run() {
        testing::internal::CaptureStdout();
        kesta::setup_run_control(m);
        out = testing::internal::GetCapturedStdout();
        const int code = g_error_record.stop ? g_error_record.code : 0;
        g_error_record = kesta::error_record{};
        return code;
    }
    kesta::model_state m;
    std::string out;
};

TEST_F(RunSetup, CopiesTheRunControlAndCountsIntervalsInSteps) {
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(m.timestep, 10.0);
    EXPECT_EQ(m.hyd_freq, 6);
    EXPECT_EQ(m.map_freq, 360);
    EXPECT_EQ(m.outlet_cell, 2 * 5 + 2);
}

TEST_F(RunSetup, ShorterSecondaryTimeStepWins) {
    m.run_params.st_time_step = 4.0;
    run();
    EXPECT_EQ(m.timestep, 4.0);
    m.run_params.st_time_step = 0.0;
    run();
    EXPECT_EQ(m.timestep, 10.0);
    EXPECT_EQ(m.run_params.st_time_step, 10.0);
}

TEST_F(RunSetup, MissingHydrographIntervalWarnsAndDefaultsToAnHour) {
    m.run_params.hyd_freq = 0.0;
    EXPECT_EQ(run(), 0);
    EXPECT_NE(out.find("defaulting to 1 hour"), std::string::npos);
    EXPECT_EQ(m.hyd_freq, 360);
}

TEST_F(RunSetup, IntervalsShorterThanAStepBecomeOneStep) {
    m.run_params.timestep = 120.0;
    m.run_params.hyd_freq = 1.0;  // 0.5 step
    m.run_params.map_freq = -5;   // treated as missing
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(m.hyd_freq, 1);
    EXPECT_EQ(m.map_freq, 180);
    EXPECT_NE(out.find("hydrograph interval is shorter than the time step"), std::string::npos);
}

TEST_F(RunSetup, RefusesTinyStepFlatOutletAndIncompleteLongTermRuns) {
    m.run_params.timestep = 0.001;
    EXPECT_EQ(run(), 52);

    SetUp();
    m.run_params.outslope = 0.0;
    EXPECT_EQ(run(), 56);

    SetUp();
    m.long_term = 1;
    m.run_params.latitude = 45.0;
    m.run_params.longitude = 0.0;
    EXPECT_EQ(run(), 57);

    SetUp();
    m.long_term = 1;
    m.run_params.latitude = 45.0;
    m.run_params.longitude = 90.0;
    EXPECT_EQ(run(), 58);
}

}  // namespace
