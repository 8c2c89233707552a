// The run-control copy: time step, output intervals, outlet and the checks.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "core/error_record.hpp"
#include "input/input_steps.hpp"
#include "model/model_state.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;

// Sets up the run control of a 4 x 5 grid (10 s steps, hydrograph every
// minute, maps every hour, outlet at row 3, column 2), applies `change` and
// runs the copy; the code it stopped with (0 when it did not) and what it printed.
template <class F>
std::pair<int, std::string> set_up(model_state& m, F change) {
    g_error_record = kesta::error_record{};
    kesta::run_params& rp = m.run_params;
    rp.timestep = 10.0;
    rp.hyd_freq = 1.0;
    rp.map_freq = 60;
    rp.outslope = 0.01;
    rp.rows = 4;
    rp.cols = 5;
    rp.outrow = 3;
    rp.outcol = 2;
    change(m);
    testing::internal::CaptureStdout();
    kesta::setup_run_control(m);
    const std::string out = testing::internal::GetCapturedStdout();
    const int code = g_error_record.stop ? g_error_record.code : 0;
    g_error_record = kesta::error_record{};
    return {code, out};
}

TEST(RunSetup, CopiesTheRunControlAndCountsIntervalsInSteps) {
    model_state m;
    EXPECT_EQ(set_up(m, [](model_state&) {}).first, 0);
    EXPECT_EQ(std::make_tuple(m.timestep, m.hyd_freq, m.map_freq, m.outlet_cell), std::make_tuple(10.0, 6, 360, 12));

    // The shorter secondary time step wins; none given takes the primary one.
    model_state shorter, none;
    set_up(shorter, [](model_state& s) { s.run_params.st_time_step = 4.0; });
    EXPECT_EQ(shorter.timestep, 4.0);
    set_up(none, [](model_state& s) { s.run_params.st_time_step = 0.0; });
    EXPECT_EQ(std::make_tuple(none.timestep, none.run_params.st_time_step), std::make_tuple(10.0, 10.0));
}

TEST(RunSetup, MissingOrTooShortIntervalsAreMendedWithAWarning) {
    model_state m;
    // No hydrograph interval: an hour.
    auto [code, out] = set_up(m, [](model_state& s) { s.run_params.hyd_freq = 0.0; });
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("defaulting to 1 hour"), std::string::npos) << out;
    EXPECT_EQ(m.hyd_freq, 360);

    // Half a step becomes one step; a negative map interval counts as missing (6 hours).
    model_state wide;
    std::tie(code, out) = set_up(wide, [](model_state& s) {
        s.run_params.timestep = 120.0;
        s.run_params.map_freq = -5;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(std::make_tuple(wide.hyd_freq, wide.map_freq), std::make_tuple(1, 180));
    EXPECT_NE(out.find("hydrograph interval is shorter than the time step"), std::string::npos) << out;
}

TEST(RunSetup, RefusesTinyStepFlatOutletAndIncompleteLongTermRuns) {
    const std::pair<int, void (*)(model_state&)> cases[] = {
        {52, [](model_state& s) { s.run_params.timestep = 0.001; }},
        {56, [](model_state& s) { s.run_params.outslope = 0.0; }},
        {57, [](model_state& s) { s.long_term = 1; s.run_params.latitude = 45.0; }},  // no longitude
        {58, [](model_state& s) { s.long_term = 1; s.run_params.latitude = 45.0; s.run_params.longitude = 90.0; }},
    };
    for (const auto& [code, change] : cases) {
        model_state m;
        EXPECT_EQ(set_up(m, change).first, code);
    }
}

}  // namespace
