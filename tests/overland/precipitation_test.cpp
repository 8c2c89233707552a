// The rainfall steps: events read at their time, rates changed at every
// period, and the step's rain put on the cells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "core/clock_steps.hpp"
#include "core/error_record.hpp"
#include "core/event_steps.hpp"
#include "core/file_opener.hpp"
#include "core/interval_clock.hpp"
#include "core/model_state.hpp"
#include "input/input_steps.hpp"
#include "overland/overland_steps.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;

// A watershed of two cells, 10 m square, stepped every 10 minutes.
struct RainSteps : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        m.ncells = 2;
        m.rows = m.grid_rows = 1;
        m.cols = m.grid_cols = 2;
        m.gridsize = 10.0;
        m.mask = kesta::mat2<int>(2, 3);
        m.mask[1][1] = 1;
        m.mask[1][2] = 2;
        m.north = 1000.0;
        m.west = 0.0;
        m.ri = kesta::vec1<double>(2);
        m.h = kesta::vec1<double>(2);
        m.dh = kesta::vec1<double>(2);
        m.timestep = 600.0;
        m.dt_days = 600.0 / 86400.0;
        m.time_tol = kesta::kTimeTolerance;
        kesta::set_clock_interval(m.ov_interval_sec, m.ov_interval, 600.0);
        m.rain_from_file = 1;
        m.rain_thiessen = 1;
        m.super_quiet = 1;
        m.run_params.tot_time = 120;
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Scans the precipitation file and starts the clock at its first event.
    void load(const std::string& text) {
        m.precip_file = dir.write("rain.dat", text);
        std::string name = m.precip_file;
        m.precip_file_fp = kesta::open_file(name, "r", 0);
        testing::internal::CaptureStdout();
        kesta::setup_optim_and_precip_events(m);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(g_error_record.code, 0);
        m.start_time = m.time = m.event_start_times[1];
    }
    // One pass of the rain steps; returns the rate of cell 1 after it.
    double pass() {
        testing::internal::CaptureStdout();
        kesta::advance_clock(m);
        kesta::step_event_precip(m);
        kesta::start_event(m);
        kesta::step_precip_period(m);
        kesta::apply_precip(m);
        testing::internal::GetCapturedStdout();
        return m.ri[1];
    }
    std::vector<double> rates(int passes) {
        std::vector<double> r;
        for (int i = 0; i < passes; ++i) r.push_back(pass());
        return r;
    }

    kesta_test::temp_dir dir;
    model_state m;
};

TEST_F(RainSteps, GaugeEventRainsEachIntervalAndStopsAtItsLastLine) {
    load("EVENT g\nNRGAG 1\nNRPDS 3\nCOORD 5 995\n"
         "GAGES 2001 5 10 10 0 0.0\nGAGES 2001 5 10 10 30 5.0\nGAGES 2001 5 10 11 0 2.5\n");
    const std::vector<double> expected = {10, 10, 10, 5, 5, 5, 0, 0};
    EXPECT_EQ(rates(8), expected);
    EXPECT_EQ(m.raining, 0);
    EXPECT_EQ(m.precip_state, 0);
    // Six steps of rain on two cells of 100 m2: 3 steps at 10 mm/h, 3 at 5.
    EXPECT_NEAR(m.volume_rainfall_overland, 2 * 100.0 * (3 * 10.0 + 3 * 5.0) / 6.0 / 1000.0, 1e-12);
    EXPECT_NEAR(m.h[1], (3 * 10.0 + 3 * 5.0) / 6.0 / 1000.0, 1e-15);
}

TEST_F(RainSteps, RateEventIgnoresTheRateOfItsLastLine) {
    load("EVENT r\nNRGAG 1\nNRPDS 3\nCOORD 5 995\n"
         "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 30 2.0\nRATES 2001 5 10 11 0 6.0\n");
    const std::vector<double> expected = {4, 4, 4, 2, 2, 2, 0};
    EXPECT_EQ(rates(7), expected);
}

TEST_F(RainSteps, LinesWithTheSameTimeOrBetweenStepsDoNotStallTheEvent) {
    load("EVENT r\nNRGAG 1\nNRPDS 4\nCOORD 5 995\n"
         "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 0 3.0\n"
         "RATES 2001 5 10 10 15 2.0\nRATES 2001 5 10 10 40 0.0\n");
    // The later of two equal lines holds; the step from 10:10 takes 3 and 2 for 5 minutes each.
    const std::vector<double> expected = {3, 2.5, 2, 2, 0, 0};
    EXPECT_EQ(rates(6), expected);
}

TEST_F(RainSteps, SingleLineEventGivesNoRain) {
    load("EVENT one\nNRGAG 1\nNRPDS 1\nCOORD 5 995\nRATES 2001 5 10 10 0 4.0\n");
    EXPECT_EQ(pass(), 0.0);
    EXPECT_EQ(m.raining, 0);
    EXPECT_DOUBLE_EQ(m.h[1], 0.0);
}

TEST_F(RainSteps, LongTermRunStartsEachEventAtItsTime) {
    m.long_term = 1;
    load("EVENT a\nNRGAG 1\nNRPDS 2\nCOORD 5 995\n"
         "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 10 0.0\n"
         "EVENT b\nNRGAG 1\nNRPDS 2\nCOORD 5 995\n"
         "RATES 2001 5 10 10 20 9.0\nRATES 2001 5 10 10 30 0.0\n");
    EXPECT_EQ(m.nevents, 2);
    const std::vector<double> expected = {4, 0, 9, 0};
    EXPECT_EQ(rates(4), expected);
    EXPECT_EQ(m.event_index, 2);
    EXPECT_EQ(m.precip_state, 0);
}

TEST_F(RainSteps, EachEventKeepsTheElapsedMinutesOfItsFirstRainStep) {
    m.long_term = 1;
    load("EVENT a\nNRGAG 1\nNRPDS 2\nCOORD 5 995\n"
         "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 20 0.0\n"
         "EVENT b\nNRGAG 1\nNRPDS 2\nCOORD 5 995\n"
         "RATES 2001 5 10 10 30 9.0\nRATES 2001 5 10 10 50 0.0\n");
    rates(2);
    EXPECT_EQ(m.number_timesteps_rain, 2);
    EXPECT_DOUBLE_EQ(m.elapsed_min_rain_began, 0.0);  // rain from the run's first step
    rates(2);
    EXPECT_EQ(m.event_index, 2);
    EXPECT_EQ(m.number_timesteps_rain, 1);
    EXPECT_DOUBLE_EQ(m.elapsed_min_rain_began, 30.0);  // the step that starts at 10:30
    pass();
    EXPECT_DOUBLE_EQ(m.elapsed_min_rain_began, 30.0);
}

struct ApplyRain : ::testing::Test {
    void SetUp() override {
        m.ncells = 3;
        m.gridsize = 10.0;
        m.ri = kesta::vec1<double>(3);
        m.h = kesta::vec1<double>(3);
        for (int k = 1; k <= 3; ++k) m.ri[k] = 36.0;  // 36 mm/h: 0.01 mm/s
        m.timestep = 100.0;  // 1 mm a step
        m.dt_days = 100.0 / 86400.0;
        m.time_tol = kesta::kTimeTolerance;
        m.precip_state = 1;
    }
    model_state m;
};

TEST_F(ApplyRain, RainRaisesTheDepthOfOrdinaryCells) {
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.001);
    EXPECT_NEAR(m.volume_rainfall_overland, 3 * 0.1, 1e-12);
    m.precip_state = 0;  // between events nothing falls
    m.time += m.dt_days;
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.001);
}

TEST_F(ApplyRain, LakeCellsTakeTheRainIntoTheirLake) {
    m.chan_lakes_on = 1;
    m.lake_num = kesta::vec1<int>(3);
    m.lake_num[1] = 1;
    m.lake_precip_vol = kesta::vec1<double>(1);
    m.overland_lake_map_given = 1;
    m.oland_lake_new = kesta::vec1<int>(3);
    m.oland_lake_new[2] = 1;
    m.oland_lakes.resize(2);
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.0);
    EXPECT_DOUBLE_EQ(m.h[2], 0.0);
    EXPECT_DOUBLE_EQ(m.h[3], 0.001);
    EXPECT_NEAR(m.lake_precip_vol[1], 0.1, 1e-12);
    EXPECT_NEAR(m.volume_precip_to_lake, 0.1, 1e-12);
    EXPECT_NEAR(m.oland_lakes[1].step_volume, 0.1, 1e-12);
    EXPECT_EQ(m.olake_update_due, 1);
    EXPECT_NEAR(m.volume_rainfall_overland, 0.2, 1e-12);  // the overland lake is land surface
}

TEST_F(ApplyRain, BelowFreezingTheRainBecomesSnowOnlyInLongTermRuns) {
    m.long_term = 1;
    m.snowdepth = kesta::vec1<double>(3);
    m.hmet_air_temp = -0.5;
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.snowdepth[1], 0.001);
    EXPECT_DOUBLE_EQ(m.h[1], 0.0);
    EXPECT_EQ(m.snow_present, 1);
    m.hmet_air_temp = 0.0;  // at 0 deg C it rains
    m.time += m.dt_days;
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.001);
    EXPECT_DOUBLE_EQ(m.snowdepth[1], 0.001);
}

TEST_F(ApplyRain, UniformRainStopsAfterItsSteps) {
    m.uniform_rain = 1;
    m.rain_intensity = 36.0;
    m.rain_steps = 2;
    m.time = m.start_time = 2451545.0;
    for (int k = 1; k <= 3; ++k) m.ri[k] = 0.0;
    for (int i = 0; i < 4; ++i) {
        kesta::advance_clock(m);
        kesta::step_event_precip(m);
        kesta::step_precip_period(m);
        kesta::apply_precip(m);
    }
    EXPECT_DOUBLE_EQ(m.h[2], 0.002);
    EXPECT_EQ(m.precip_state, 3);
    EXPECT_EQ(m.event_active, 0);
    EXPECT_DOUBLE_EQ(m.ri[2], 0.0);
}

}  // namespace
