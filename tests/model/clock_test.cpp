// The calendar against dates whose Julian days and weekdays are known from
// outside the model, and the model clock over long runs of passes.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "calibration/optim_record.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "input/time_series.hpp"
#include "model/clock_steps.hpp"
#include "model/model_state.hpp"
#include "support/one_based.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;
using kesta_test::one_based;

int gregorian_days(int y, int m) {
    static const int days[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return (m == 2 && leap) ? 29 : days[m];
}

TEST(Calendar, JulianDatesOfKnownEpochsAndWeekdaysOfKnownDates) {
    EXPECT_EQ(julday(2000, 1, 1, 12, 0, 0.0), 2451545.0);  // J2000
    EXPECT_EQ(julday(2000, 1, 1, 0, 0, 0.0), 2451544.5);
    EXPECT_EQ(julday(1970, 1, 1, 0, 0, 0.0), 2440587.5);   // Unix epoch
    EXPECT_EQ(julday(1858, 11, 17, 0, 0, 0.0), 2400000.5); // modified Julian day 0
    EXPECT_DOUBLE_EQ(julday(2000, 1, 1, 18, 0, 0.0), 2451545.25);
    EXPECT_EQ(caldat(julday(2000, 1, 1, 12, 0, 0.0)).day_of_week, 6);   // Saturday
    EXPECT_EQ(caldat(julday(1969, 7, 20, 20, 17, 0.0)).day_of_week, 0); // Sunday
    EXPECT_EQ(caldat(julday(1970, 1, 1, 0, 0, 0.0)).day_of_week, 4);   // Thursday
    EXPECT_EQ(caldat(julday(1776, 7, 4, 9, 0, 0.0)).day_of_week, 4);   // Thursday
    EXPECT_EQ(caldat(julday(2024, 2, 29, 23, 59, 0.0)).day_of_week, 4);
}

TEST(Calendar, EveryGregorianDateSurvivesTheRoundTrip) {
    int failures = 0;
    for (int y = 1600; y <= 2400; ++y) {
        for (int mo = 1; mo <= 12; ++mo) {
            for (int d = 1; d <= gregorian_days(y, mo); ++d) {
                const int h = (d * 5) % 24;
                const int mi = (d * 7 + mo) % 60;
                const calendar_time c = caldat(julday(y, mo, d, h, mi, 30.0));
                if (c.year != y || c.month != mo || c.day != d || c.hour != h || c.minute != mi ||
                    std::fabs(c.seconds - 30.01) > 1e-3) {
                    ++failures;
                }
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(Calendar, CaldatNudgesATimeJustBelowTheSecond) {
    const calendar_time c = caldat(2451544.9999999);  // 8.6 ms before noon
    EXPECT_EQ((std::vector<int>{c.year, c.month, c.day, c.hour, c.minute}),
              (std::vector<int>{2000, 1, 1, 12, 0}));
    EXPECT_GE(c.seconds, 0.0);
    EXPECT_LT(c.seconds, 0.01);
    // Without the nudge a whole second computed in floating point could
    // print as the second before.
    EXPECT_EQ(static_cast<int>(caldat(julday(2013, 6, 30, 23, 59, 59.0)).seconds), 59);
}

TEST(Calendar, DayOfYearCountsEveryFourthYearFromNineteenHundredAsLeap) {
    EXPECT_EQ(day_of_year(2001, 1, 17), 17);
    EXPECT_EQ(day_of_year(2001, 3, 1), 60);
    EXPECT_EQ(day_of_year(2004, 3, 1), 61);
    EXPECT_EQ(day_of_year(2000, 12, 31), 366);
    EXPECT_EQ(day_of_year(2001, 12, 31), 365);
    // No century rule: 1900 and 2100 count as leap years.
    EXPECT_EQ(day_of_year(1900, 3, 1), 61);
    EXPECT_EQ(day_of_year(2100, 12, 31), 366);
    // No year's February leaks into another; months outside 1..12 have no days.
    EXPECT_EQ(month_days(2004, 2), 29);
    EXPECT_EQ(day_of_year(2003, 3, 1), 60);
    EXPECT_EQ((std::vector<int>{month_days(2003, 2), month_days(2003, 13), month_days(2003, 0)}),
              (std::vector<int>{28, 0, 0}));
}

TEST(Calendar, DatesOfAnyIntYearKeepTheirOrderWithoutOverflow) {
    const double lowest_jan = julday(INT_MIN, 1, 1, 0, 0, 0.0);
    const double lowest_mar = julday(INT_MIN, 3, 1, 0, 0, 0.0);
    EXPECT_LT(lowest_jan, lowest_mar);
    EXPECT_LT(lowest_mar, julday(1, 1, 1, 0, 0, 0.0));
    EXPECT_GT(julday(INT_MAX, 12, 31, 23, 0, 0.0), julday(9999, 12, 31, 23, 0, 0.0));
    EXPECT_EQ((std::vector<int>{month_days(INT_MIN, 2), month_days(INT_MIN + 1, 2), month_days(INT_MAX, 2)}),
              (std::vector<int>{29, 28, 28}));
}

// An event run with uniform rain starting at the given time.
void uniform_run(model_state& m, double timestep, int y, int mo, int d, int h, int mi) {
    m.uniform_rain = 1;
    m.rain_duration = 45.0;
    m.timestep = timestep;
    m.year = y;
    m.time = julday(y, mo, d, h, mi, 0.0);
}

class ClockTest : public testing::Test {
protected:
    void SetUp() override { g_error_record.clear_for_run(); }
    void TearDown() override { g_error_record.clear_for_run(); }
    model_state m;
};

TEST_F(ClockTest, FirstPassKeepsTheStartAndTheTenthIsNineStepsOn) {
    uniform_run(m, 60.0, 2000, 2, 28, 23, 58);
    init_run_times(m);
    const double start = julday(2000, 2, 28, 23, 58, 0.0);
    ASSERT_EQ(m.running, 1);
    ASSERT_EQ(m.start_time, start);

    advance_clock(m);
    EXPECT_EQ(m.time, start);
    EXPECT_EQ((std::vector<int>{m.step, m.minute, m.day_of_year}), (std::vector<int>{0, 58, 59}));
    for (int pass = 2; pass <= 10; ++pass) advance_clock(m);
    EXPECT_EQ(m.step, 9);
    EXPECT_EQ(m.time, start + 9 * (60.0 / 86400.0));
    EXPECT_DOUBLE_EQ(m.elapsed_min, 9.0);
    EXPECT_EQ((std::vector<int>{m.year, m.month, m.day, m.hour, m.minute, m.second, m.day_of_year}),
              (std::vector<int>{2000, 2, 29, 0, 7, 0, 60}));
    EXPECT_EQ(m.event_step, 9);
}

TEST_F(ClockTest, IntervalClocksStayDueOverAMillionPasses) {
    uniform_run(m, 10.0, 2001, 7, 14, 6, 0);
    m.gw_simulation = 1;
    m.gw_timestep = 3600.0;
    init_run_times(m);

    int overland_missed = 0;
    int groundwater_runs = 0;
    for (int pass = 0; pass < 1000000; ++pass) {
        advance_clock(m);
        if (clock_due(m.ov_next_time, m.time, m.time_tol)) {
            advance_interval_clock(m.ov_last_time, m.ov_next_time, m.time, m.ov_interval);
        } else {
            ++overland_missed;
        }
        if (clock_due(m.gw_next, m.time, m.time_tol)) {
            advance_interval_clock(m.gw_last, m.gw_next, m.time, m.gw_interval);
            ++groundwater_runs;
        }
    }
    EXPECT_EQ(overland_missed, 0);
    EXPECT_EQ(groundwater_runs, 999999 / 360);  // every 360th pass after the first
    EXPECT_EQ(m.time, m.start_time + 999999 * m.dt_days);
}

TEST_F(ClockTest, UniformRainWithoutStartDateStopsTheRun) {
    uniform_run(m, 60.0, 0, 0, 0, 0, 0);
    EXPECT_EQ(kesta_test::printed_by([&] { init_run_times(m); }),
              "You did not specify the starting date and time in the\n"
              "project file.  You must do this for simulations with\n"
              "uniform precipitation using the START_DATE and START_TIME\n"
              "cards.  Edit the project file.   Program terminated.\n"
              "\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(m.running, 0);
}

TEST_F(ClockTest, EventRunArmsEveryClockFromTheStartAndALowLakeTheChannelsEveryMinute) {
    uniform_run(m, 30.0, 1999, 6, 15, 12, 30);
    m.green_ampt_on = 1;
    m.gw_simulation = 1;
    m.gw_timestep = 900.0;
    m.chan_routing = 1;
    m.chan_timestep = 5.0;
    m.storm_sewer_given = 1;
    m.q_out = 3.0;
    init_run_times(m);

    const double t0 = julday(1999, 6, 15, 12, 30, 0.0);
    const double dt = 30.0 / 86400.0;
    EXPECT_EQ(m.time_tol, 1.1574074074074074e-7);
    // time, then the last and next times of overland flow and infiltration
    EXPECT_EQ((std::vector<double>{m.time, m.ov_last_time, m.ov_next_time, m.inf_last, m.inf_next}),
              (std::vector<double>{t0, t0 - dt, t0, t0, t0 + dt}));
    // The next groundwater, channel, storm drain and precipitation times.
    EXPECT_EQ((std::vector<double>{m.gw_next, m.chan_next, m.storm_drain_next, m.precip_next_time}),
              (std::vector<double>{t0 + 900.0 / 86400.0, t0 + dt, t0 + dt, t0}));
    // The shorter infiltration interval becomes the groundwater interval;
    // the channel step is kept in minutes.
    EXPECT_EQ((std::vector<double>{m.gw_interval_sec, m.chan_interval_sec, m.chan_timestep}),
              (std::vector<double>{30.0, 30.0, 0.5}));
    EXPECT_EQ(m.rain_steps, 90);
    EXPECT_EQ(m.q_out, 0.0);

    // A channel lake below its lowest level steps the channel every minute.
    m.chan_lakes_on = 1;
    m.nlakes = 2;
    m.lake_elev = one_based({10.0, 4.0});
    m.minwse = one_based({5.0, 5.0});
    init_run_times(m);
    EXPECT_EQ(m.chan_interval_sec, 60.0);
    EXPECT_EQ(m.chan_next, m.time + 60.0 / 86400.0);
    EXPECT_EQ(m.chan_restart, 1);
}

// A long-term run whose hydrometeorological data begin two days before its
// first precipitation event.
double long_term_run(model_state& m) {
    m.long_term = 1;
    m.rain_from_file = 1;
    m.timestep = 60.0;
    m.hmet_first_record = date_record{2001, 5, 1, 6, 0, 0};
    m.hmet_last_record = date_record{2001, 9, 30, 18, 0, 0};
    m.event_start_times = one_based({julday(2001, 5, 3, 14, 0, 0.0)});
    m.inf_redist_on = 1;
    m.soil_et_accounting = 1;
    m.chan_routing = 1;
    return m.event_start_times[1];
}

TEST_F(ClockTest, DryLongTermRunLetsItsClocksWaitForTheFirstEvent) {
    const double event1 = long_term_run(m);
    init_run_times(m);
    const double start = julday(2001, 5, 1, 6, 0, 0.0);
    const double dt = 60.0 / 86400.0;
    EXPECT_EQ(m.start_hhmm, 600);
    EXPECT_EQ(m.start_yyyymmdd, 20010501);
    EXPECT_EQ((std::vector<double>{m.time, m.end_time, m.hmet_next}),
              (std::vector<double>{start, julday(2001, 9, 30, 18, 0, 0.0), start}));
    // Overland flow, infiltration, channel and precipitation wait; soil
    // evapotranspiration keeps its hourly clock.
    EXPECT_EQ((std::vector<double>{m.ov_next_time, m.inf_next, m.chan_next, m.precip_next_time, m.soil_et_next}),
              (std::vector<double>{event1, event1 + dt, event1 + dt, event1, start + 1.0 / 24.0}));

    // Water on the ground at the start: the clocks run at once.
    model_state wet;
    long_term_run(wet);
    wet.ov_water_at_start = 1;
    init_run_times(wet);
    EXPECT_EQ((std::vector<double>{wet.ov_next_time, wet.inf_next, wet.soil_et_next}),
              (std::vector<double>{start, start + dt, start + dt}));
}

TEST_F(ClockTest, RelativeSeriesAreShiftedToTheRunStartBeforeTheClocksAreArmed) {
    kesta_test::temp_dir dir;
    const std::string path =
        dir.write("rel.ts", "KESTA_TS\nrelease\nRELATIVE\n0 0 1 6 0 2.0\n0 0 2 0 0 4.0\nEND_TS\n");
    kesta_test::printed_by([&] { ts_read_file(path); });

    m.rain_from_file = 1;
    m.event_start_times = one_based({2451545.0});
    shift_relative_series(m);
    time_series* s = ts_find_by_name("release");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->times[0], 2451546.25);
    EXPECT_EQ(s->times[1], 2451547.0);
}

TEST_F(ClockTest, InitialSurfaceVolumeLeavesOutLakeCells) {
    m.ncells = 4;
    m.gridsize = 10.0;
    m.h = one_based({0.1, 0.2, 0.3, 0.4});
    m.lake_num = one_based({0, 0, 0, 1});
    m.chan_lakes_on = 1;
    init_surface_volume(m);
    EXPECT_DOUBLE_EQ(m.initial_surface_volume, 60.0);

    // Overland lakes take precedence: the channel-lake cell counts again.
    m.overland_lake_map_given = 1;
    m.oland_lake_new = one_based({0, 1, 0, 0});
    init_surface_volume(m);
    EXPECT_DOUBLE_EQ(m.initial_surface_volume, 80.0);
}

TEST_F(ClockTest, PeakFlowKeepsTheFirstOfEqualPeaks) {
    const auto pass = [&](double q, int hour) {
        m.q_out = q;
        m.hour = hour;
        m.time = 96.0 + hour;
        track_peak_flow(m);
    };
    pass(5.0, 4);
    pass(5.0, 5);
    EXPECT_EQ(std::make_pair(m.peak_date.hour, m.peak_time), std::make_pair(4, 100.0));
    pass(5.5, 6);
    EXPECT_EQ(std::make_pair(m.peak_date.hour, m.peak_time), std::make_pair(6, 102.0));
    EXPECT_EQ(m.peak_q, 5.5);
}

TEST_F(ClockTest, PeakFlowFillsTheResultRecordAtHydrographLocations) {
    optim_record r;
    r.location_peak.assign(3, 0.0);
    r.location_volume.assign(3, 0.0);
    m.run_result = &r;
    m.optimize_given = 1;
    m.in_hyd_location_given = 1;
    m.chan_routing = 1;
    m.chan_interval_sec = 30.0;
    m.hyd_loc_count = 2;
    m.hlink = one_based({1, 2});
    m.hnode = one_based({3, 1});
    m.qp = node_table<double>(3, 2);
    m.qp[3][1] = 2.0;
    m.qp[1][2] = 0.5;
    track_peak_flow(m);
    m.qp[3][1] = 1.0;
    track_peak_flow(m);
    // Volumes are the flows times 30 s, summed over both passes.
    EXPECT_EQ(r.location_volume, (std::vector<double>{0.0, 90.0, 30.0}));
    EXPECT_EQ(r.location_peak, (std::vector<double>{0.0, 2.0, 0.5}));
}

}  // namespace
