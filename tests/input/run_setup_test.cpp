// The run-control copy: time step, output intervals, outlet, and the steps,
// intervals, grids and outlets the run cannot take.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <utility>

#include "core/error_record.hpp"
#include "input/input_steps.hpp"
#include "model/model_state.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;
using kesta::run_params;
using std::make_tuple;

// Sets up the run control of project file p.prj, a 4 x 5 grid (10 s steps,
// a 60 min run, hydrograph every minute, maps every hour, outlet at row 3,
// column 2), applies `change` and runs the copy; the code it stopped with
// (0 when it did not) and what it printed.
template <class F>
std::pair<int, std::string> set_up(model_state& m, F change) {
    g_error_record = kesta::error_record{};
    m.project_file = "p.prj";
    run_params& rp = m.run_params;
    rp.timestep = 10.0;
    rp.tot_time = 60;
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

// A long-term run with the latitude, longitude and GMT offset it needs.
run_params& long_term(model_state& s) {
    s.long_term = 1;
    s.run_params.latitude = s.run_params.longitude = 45.0;
    s.run_params.gmt_given = 1;
    return s.run_params;
}

TEST(RunSetup, CopiesTheRunControlAndCountsIntervalsInSteps) {
    model_state m;
    EXPECT_EQ(set_up(m, [](model_state&) {}).first, 0);
    EXPECT_EQ(make_tuple(m.timestep, m.tot_time, m.hyd_freq, m.map_freq, m.outlet_cell),
              make_tuple(10.0, 60, 6, 360, 12));

    // The shorter secondary time step wins; none given takes the primary one.
    model_state shorter, none;
    set_up(shorter, [](model_state& s) { s.run_params.st_time_step = 4.0; });
    EXPECT_EQ(shorter.timestep, 4.0);
    set_up(none, [](model_state& s) { s.run_params.st_time_step = 0.0; });
    EXPECT_EQ(make_tuple(none.timestep, none.run_params.st_time_step), make_tuple(10.0, 10.0));

    // Intervals longer than an int can count never come due; long ones that
    // fit are counted exactly.
    model_state huge, fits;
    set_up(huge, [](model_state& s) {
        s.run_params.hyd_freq = 1e10;
        s.run_params.map_freq = 2000000000;
    });
    EXPECT_EQ(make_tuple(huge.hyd_freq, huge.map_freq), make_tuple(INT_MAX, INT_MAX));
    set_up(fits, [](model_state& s) { s.run_params.hyd_freq = 40000000.0; });
    EXPECT_EQ(fits.hyd_freq, 240000000);
}

TEST(RunSetup, MissingOrTooShortIntervalsAreMendedWithAWarning) {
    model_state m;
    // No hydrograph interval: an hour.
    auto [code, out] = set_up(m, [](model_state& s) { s.run_params.hyd_freq = 0.0; });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(kesta_test::has(out, "defaulting to 1 hour")) << out;
    EXPECT_EQ(m.hyd_freq, 360);

    // Half a step becomes one step; a negative map interval counts as missing (6 hours).
    model_state wide;
    std::tie(code, out) = set_up(wide, [](model_state& s) {
        s.run_params.timestep = 120.0;
        s.run_params.map_freq = -5;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(make_tuple(wide.hyd_freq, wide.map_freq), make_tuple(1, 180));
    EXPECT_TRUE(kesta_test::has(out, "hydrograph interval is shorter than the time step")) << out;
}

// Each case stops the copy with its code and says why (code 4000: a message
// of its own), or is taken (code 0).
TEST(RunSetup, RefusesStepsGridsOutletsAndLongTermRunsTheRunCannotTake) {
    const struct {
        const char* name;
        void (*change)(model_state&);
        int code;
        const char* says;
    } cases[] = {
        {"tiny step", [](model_state& s) { s.run_params.timestep = 0.001; }, 52, ""},
        {"flat outlet", [](model_state& s) { s.run_params.outslope = 0.0; }, 56, ""},
        {"no longitude", [](model_state& s) { s.long_term = 1; s.run_params.latitude = 45.0; }, 57, ""},
        {"no GMT", [](model_state& s) { long_term(s).gmt_given = 0; }, 58, ""},
        {"step over a day", [](model_state& s) { s.run_params.timestep = 86400.5; }, 4000,
         "time step of 86400.5 s given by card TIMESTEP of project file p.prj is longer than one day"},
        {"huge step", [](model_state& s) { s.run_params.timestep = 1e308; }, 4000, "is longer than one day (86400 s)"},
        {"step over the run", [](model_state& s) { s.run_params.tot_time = 1; s.run_params.timestep = 3000.0; }, 4000,
         "time step of 3000 s given by card TIMESTEP of project file p.prj is longer than the run of 1 min given "
         "by card TOT_TIME"},
        {"too many steps", [](model_state& s) { s.run_params.tot_time = INT_MAX; s.run_params.timestep = 0.002; },
         4000, "a run of 2147483647 min (card TOT_TIME) in time steps of 0.002 s (card TIMESTEP)"},
        {"too many cells", [](model_state& s) { s.run_params.rows = s.run_params.cols = 100000; }, 4000,
         "the grid of 100000 rows (card ROWS) and 100000 columns (card COLS) of project file p.prj has "
         "10000000000 cells; at most 100000000 are accepted."},
        {"outlet row INT_MAX", [](model_state& s) { s.run_params.outrow = INT_MAX; }, 4000,
         "The outlet row 2147483647 and column 2 given by the OUTROW and OUTCOL cards"},
        {"outlet row INT_MIN", [](model_state& s) { s.run_params.outrow = INT_MIN; }, 4000,
         "The outlet row -2147483648 and column 2"},
        {"outlet column 6", [](model_state& s) { s.run_params.outcol = 6; }, 4000,
         "lie outside the grid of 4 rows and 5 columns"},
        // A long-term run keeps to TOT_TIME as well, and its step must divide
        // the hour of its weather and soil clocks.
        {"long-term step over the run", [](model_state& s) { long_term(s).tot_time = 1; s.run_params.timestep = 3600.0; },
         4000, "is longer than the run of 1 min"},
        {"long-term step of 50 min", [](model_state& s) { long_term(s).timestep = 3000.0; }, 4000,
         "time step of 3000 s given by card TIMESTEP of project file p.prj does not divide the hour"},
        {"long-term step of 15 min", [](model_state& s) { long_term(s).timestep = 900.0; }, 0, ""},
        // A step as long as the run, and the longest step, are taken.
        {"step of the run", [](model_state& s) { s.run_params.timestep = 3600.0; }, 0, ""},
        {"step of a day", [](model_state& s) { s.run_params.tot_time = 0; s.run_params.timestep = 86400.0; }, 0, ""},
    };
    for (const auto& c : cases) {
        model_state m;
        const auto [code, out] = set_up(m, c.change);
        EXPECT_EQ(code, c.code) << "case " << c.name << "\n" << out;
        EXPECT_TRUE(kesta_test::has(out, c.says)) << "case " << c.name << "\n" << out;
    }
}

}  // namespace
