// The end of an event: the decision that ends it or the run, and the updates
// after it: the exchange files of the land-management coupling, the jump to
// the next event, which keeps the outputs of the step that ended the event;
// and the initial per-cell state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/allocators.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/interval_clock.hpp"
#include "model/clock_steps.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "output/grid_writers.hpp"
#include "output/output_steps.hpp"
#include "support/one_based.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"
#include "support/test_outputs.hpp"

namespace {

using kesta::g_error_record;
using kesta::julday;
using kesta::model_state;
using kesta_test::one_based;
using kesta_test::printed_by;

// Event 1 of 2 (starting at 99 and 101 days) is under way at day 100.
struct EventEnd : ::testing::Test {
    void SetUp() override {
        m.running = m.event_active = m.event_index = 1;
        m.nevents = 2;
        m.event_min_q = 0.05;
        m.time = 100.0;
        m.ov_interval = 10.0 / 86400.0;
        m.event_start_times = one_based({99.0, 101.0});
    }
    // A long-term run in event `index` whose outlet peaked at `peak`.
    void long_term(int index, double peak) {
        m.long_term = 1;
        m.event_index = index;
        m.peak_q = peak;
    }
    void decide() { out = printed_by([&] { kesta::check_event_end(m); }); }
    model_state m;
    std::string out;
};

TEST_F(EventEnd, SingleEventRunEndsAtItsDurationWithoutADischargeTest) {
    m.event_end_time = 100.5;
    m.q_out = 10.0;
    decide();
    EXPECT_EQ(m.running, 1);
    m.time = 100.5;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_EQ(m.event_done, 1);
}

TEST_F(EventEnd, EndTimeStopsTheRunMidEvent) {
    long_term(1, 0.0);
    m.end_time_given = 1;
    m.end_time_julian = 99.9;
    m.q_out = 10.0;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_EQ(m.event_active, 0);
    EXPECT_EQ(m.event_done, 1);
}

TEST_F(EventEnd, LongTermEventEndsBelowTheCutOffAfterItsPeakAndTheClocksWaitForTheNext) {
    long_term(1, 1.0);
    m.q_out = 0.01;
    decide();
    EXPECT_EQ(m.event_active, 0);
    EXPECT_EQ(m.event_done, 1);
    EXPECT_EQ(m.running, 1);  // another event follows
    EXPECT_DOUBLE_EQ(m.ov_next_time, 101.0);
    EXPECT_DOUBLE_EQ(m.ov_last_time, 101.0 - m.ov_interval);
}

TEST_F(EventEnd, LastEventEndsTheRunAndParksTheClocks) {
    long_term(2, 1.0);
    m.q_out = 0.0;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_NE(out.find("simulation ended normally; end of data for last event reached\n"), std::string::npos);
    EXPECT_GT(m.ov_next_time, 1e300);  // never due again; no read past the event table
}

TEST_F(EventEnd, SurfaceHoldingFivePercentOfTheRainKeepsTheLastEventGoing) {
    long_term(2, 1.0);
    m.ncells = 1;
    m.gridsize = 10.0;
    m.h = one_based({0.01});  // 1 m3 on the surface
    m.volume_rainfall_overland = 10.0;
    decide();
    EXPECT_EQ(m.running, 1);
    EXPECT_EQ(m.event_done, 0);
    m.h[1] = 0.004;  // 0.4 m3: below 5 % of the rain
    decide();
    EXPECT_EQ(m.running, 0);
}

TEST_F(EventEnd, ChannelStillCarryingTheEventKeepsItGoing) {
    long_term(1, 0.0);  // the outlet never rose above the cut-off
    m.chan_routing = 1;
    kesta::alloc_dmatrix(3, 2, m.qp, "qp");
    m.qp[2][1] = 0.2;
    decide();
    EXPECT_EQ(m.event_done, 0);
    m.qp[2][1] = 0.01;
    decide();
    EXPECT_EQ(m.event_done, 1);
}

TEST_F(EventEnd, WaterTableRunEndsWhenWeatherDataRunOut) {
    long_term(2, 0.0);
    m.water_table_given = 1;
    m.q_out = 5.0;
    decide();
    EXPECT_EQ(m.running, 1);
    m.hmet_next = -10.0;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_EQ(m.event_ended, 1);
}

// One row of two cells; event 1 of 2 ends at step 72 of 10 minutes (noon on
// 1 March 2001), event 2 begins on 5 March.
struct EventEndUpdates : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        m.ncells = 2;
        m.rows = m.grid_rows = 1;
        m.cols = m.grid_cols = 2;
        m.gridsize = 10.0;
        m.north = 10.0;
        m.east = 20.0;
        m.mask = kesta::mat2<int>(2, 3);
        m.mask[1][1] = 1;
        m.mask[1][2] = 2;
        m.htp = 1;
        m.olma_given = 1;
        m.olma = dir.file("olma.txt");
        m.nevents = 2;
        m.event_index = 1;
        m.event_start_times = one_based({julday(2001, 2, 27, 0, 0, 0.0), julday(2001, 3, 5, 0, 0, 0.0)});
        m.timestep = 600.0;
        m.dt_days = 600.0 / 86400.0;
        m.time_tol = kesta::kTimeTolerance;
        m.start_time = julday(2001, 3, 1, 0, 0, 0.0);
        m.step = 72;
        m.clock_calls = 73;
        m.time = m.start_time + m.step * m.dt_days;
        m.year = 2001;
        m.event_ended = 1;
        m.running = 1;
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }
    std::string update() {
        testing::internal::CaptureStderr();
        const std::string out = printed_by([&] { kesta::update_at_event_end(m); });
        testing::internal::GetCapturedStderr();
        return out;
    }
    // Writes a grid of the two cells and returns its path.
    std::string write_grid(const std::string& name, double a, double b) {
        std::string path = dir.file(name);
        kesta::file_ptr fp = kesta::open_file(path, "w", 0);
        kesta::write_grass_ascii_grid(fp.get(), m.mask, 10.0, 0.0, 20.0, 0.0, 1, 2, one_based({a, b}));
        return path;
    }

    kesta_test::temp_dir dir;
    model_state m;
};

TEST_F(EventEndUpdates, EventFileHoldsTheDayNumbersAndTheDrySpellIsSkippedKeepingTheEndingStepsLine) {
    std::string hydrograph = dir.file("hyd.out");
    kesta_test::open_output(m, m.outlet_hydro_fp, hydrograph);
    m.elapsed_min = 720.0;
    m.q_out = 0.25;
    m.hyd_freq = 8;  // step 72 writes a line, the step before event 2 (575) does not
    update();
    // 1 March 12:00 is 60.46 days after 31 December 2000 1:00; 5 March 0:00 is 63.96.
    EXPECT_EQ(kesta_test::read_file(m.olma), " 60  63\n");
    EXPECT_EQ((std::vector<int>{m.event_ended, m.event_done, m.running, m.step}), (std::vector<int>{0, 1, 1, 575}));
    EXPECT_NEAR(m.time, m.event_start_times[2] - m.dt_days, 1e-9);
    EXPECT_TRUE(kesta::clock_due(m.ov_next_time, m.time + m.dt_days, m.time_tol));
    kesta::write_timeseries_output(m);  // the pass's own output call writes nothing more
    kesta::advance_clock(m);            // 5 March 0:00, step 576: the clock does not undo the jump
    EXPECT_TRUE(kesta::clock_due(m.event_start_times[2], m.time, m.time_tol));
    EXPECT_EQ(m.day, 5);
    kesta::write_timeseries_output(m);
    kesta::close_output(m, m.outlet_hydro_fp);
    EXPECT_EQ(kesta_test::read_file(hydrograph), "  720.00     0.250\n 5760.00     0.250\n");
}

TEST_F(EventEndUpdates, NextEventBetweenTwoStepsStopsTheRunInsteadOfJumping) {
    m.event_start_times[2] = julday(2001, 3, 5, 0, 5, 0.0);
    const std::string out = update();
    EXPECT_EQ(g_error_record.code, 4000);
    EXPECT_EQ(m.step, 72);
    EXPECT_TRUE(kesta_test::has(out, "HTP event 2 begins at 3/5/2001 0:05, which is not a whole number of time "
                                     "steps (600.00 s) after the start of the run."))
        << out;
}

TEST_F(EventEndUpdates, AfterTheLastEventTheFileSaysSoAndNothingIsRead) {
    m.event_index = 2;
    m.rough_from_olma_given = 1;
    m.rough_from_olma = dir.file("missing.asc");
    update();
    EXPECT_EQ(kesta_test::read_file(m.olma), "999 999\n");
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_EQ(m.running, 0);
}

TEST_F(EventEndUpdates, GridsReadBackAreKeptWithinTheirLimits) {
    m.phi_map = one_based({0.4, 0.4});
    m.moist_from_olma_given = m.rough_from_olma_given = 1;
    m.moist_from_olma = write_grid("moist.asc", 0.6, 0.05);
    m.rough_from_olma = write_grid("rough.asc", 0.0, 0.1);
    // Conductivity leaves in cm/h and comes back in m/s.
    m.ks_map = one_based({1e-5, 2e-6});
    m.ksat_to_olma_given = m.ksat_from_olma_given = 1;
    m.ksat_to_olma = m.ksat_from_olma = dir.file("ksat.asc");
    update();
    ASSERT_EQ(g_error_record.code, 0);
    EXPECT_NE(kesta_test::read_file(m.ksat_to_olma).find("3.600000 0.720000 \n"), std::string::npos);
    // Moisture at most 0.99 of the porosity, roughness at least 0.04.
    EXPECT_DOUBLE_EQ(m.thi[1], 0.99 * 0.4);
    EXPECT_DOUBLE_EQ(m.thi[2], 0.1);
    EXPECT_DOUBLE_EQ(m.dist_rough[1], 0.04);
    EXPECT_DOUBLE_EQ(m.dist_rough[2], 0.1);
    EXPECT_DOUBLE_EQ(m.ks_map[1], 1e-5);
    EXPECT_DOUBLE_EQ(m.ks_map[2], 2e-6);
}

TEST_F(EventEndUpdates, AnExchangeFileThatCannotBeOpenedStopsTheRun) {
    m.rough_to_olma_given = 1;
    m.rough_to_olma = dir.file("no/such/folder/rough.asc");
    const std::string out = update();
    EXPECT_EQ(g_error_record.code, 4000);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("Can't open roughness exchange file " + m.rough_to_olma + " for writing"),
              std::string::npos);
}

TEST_F(EventEndUpdates, OneEventAskedForEndsTheRunAfterIt) {
    m.htp_event_num_given = 1;
    m.htp_event_num = 1;
    const double before = m.time;
    EXPECT_NE(update().find("End of HTP event 1\n"), std::string::npos);
    EXPECT_EQ(m.running, 0);
    EXPECT_DOUBLE_EQ(m.time, before);
}

TEST(OlmaDayNumber, CountsWholeDaysFromTheLastHourOfTheYearBefore) {
    EXPECT_EQ(kesta::olma_day_number(julday(2001, 1, 1, 0, 59, 0.0), 2001), 0);
    EXPECT_EQ(kesta::olma_day_number(julday(2001, 1, 1, 1, 0, 0.0), 2001), 1);
    EXPECT_EQ(kesta::olma_day_number(julday(2001, 12, 31, 12, 0, 0.0), 2001), 365);
}

TEST(InitCellState, SoilStoresStartFromTheInitialMoisture) {
    model_state m;
    m.ncells = 1;
    m.gridsize = 10.0;
    m.inf_redist_on = 1;
    m.soil_et_accounting = 1;
    m.soil_moist_depth = 50.0;  // cm
    m.top_layer_depth = 0.0;    // takes the soil depth
    m.thi = one_based({0.3});
    m.infdep = one_based({2.0});
    for (auto* v : {&m.soil_depth, &m.Ws1, &m.Ws1_L1, &m.Ws1_L2}) *v = kesta::vec1<double>(1);
    kesta::init_cell_state(m);
    EXPECT_DOUBLE_EQ(m.top_layer_depth, 50.0);
    // Depths and stores in cm; 15 cm of water on 100 m2 at the start.
    EXPECT_EQ((std::vector<double>{m.infdep[1], m.soil_depth[1], m.Ws1[1], m.Ws1_L1[1], m.Ws1_L2[1]}),
              (std::vector<double>{0.0, 50.0, 15.0, 15.0, 0.0}));
    EXPECT_DOUBLE_EQ(m.soil_water_at_start, 15.0);
}

TEST(InitCellState, LakeCellAboveItsLakesLevelStopsTheRun) {
    g_error_record = kesta::error_record{};
    model_state m;
    m.ncells = 2;
    m.gridsize = 10.0;
    m.elev = one_based({99.0, 101.0});
    m.overland_lake_map_given = 1;
    m.oland_lake_new = one_based({1, 1});
    m.oland_lakes.resize(2);
    m.oland_lakes[1].level = 100.0;
    const std::string out = printed_by([&] { kesta::init_cell_state(m); });
    EXPECT_EQ(g_error_record.code, 4000);
    EXPECT_NE(out.find("less than the land surface elevation in grid cell 2, 101.000000."),
              std::string::npos);
    g_error_record = kesta::error_record{};
    m.elev[2] = 100.0;  // level with the lake: accepted, no water
    kesta::init_cell_state(m);
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_DOUBLE_EQ(m.initial_oland_lake_volume, 100.0);
}

}  // namespace
