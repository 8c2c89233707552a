// The overland step: its clock, edge boundary, depth checks, lake
// bookkeeping and the end-of-rain and long-term dry decisions.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>

#include "input/time_series.hpp"
#include "overland/overland_grid.hpp"
#include "overland/overland_route.hpp"

namespace {

using kesta_test::kStartJulian;

// 2 x 2 flat cells of 10 m, 60 s steps: every cell lies on two grid edges.
struct Step : ::testing::Test {
    void SetUp() override {
        kesta_test::make_plane(m, {2, 2}, 60.0);
        m.overtype = 1;
        m.outslope = 0.01;
        m.ov_boundary = 1;
        m.boundary_type = kesta::vec1<int>(4);
        m.boundary_val = kesta::vec1<double>(4);
        m.boundary_temp = kesta::vec1<double>(4);
    }
    void TearDown() override { kesta::g_error_record.clear_for_run(); }
    void set_boundary(int cell, int type, double value) {
        m.boundary_type[cell] = type;
        m.boundary_val[cell] = value;
    }
    std::string step() {
        return kesta_test::printed_by([&] { kesta_test::step_with_rain(m, 0.0); });
    }
    kesta::model_state m;
};

TEST_F(Step, StepThatIsNotDueDoesNothingAndADryOneOnlyMovesTheClock) {
    set_boundary(1, 2, 200.0);
    m.time = m.ov_next_time - 1.0;
    kesta::step_overland_flow(m);
    EXPECT_EQ(m.h[1], 0.0);
    set_boundary(1, 0, 0.0);
    m.q_out = 3.0;
    step();
    EXPECT_EQ(m.q_out, 0.0);
    EXPECT_EQ(m.ade_sweep_order, 1);  // no routing call
    EXPECT_NEAR(m.ov_next_time, m.time + 60.0 / 86400.0, 1e-12);
}

// Cells 1 and 2 let water out at normal depth, cells 3 and 4 stand at a
// fixed level below and above their ground of 100 m.
TEST_F(Step, NormalDepthEdgeTakesOneShareOrEmptiesAShallowCellAndFixedLevelsSetTheDepth) {
    set_boundary(1, 1, 0.04);
    set_boundary(2, 1, 1e-6);
    set_boundary(3, 2, 99.0);
    set_boundary(4, 2, 100.3);
    // (1/n) h^1.666667 sqrt(S) dx dt / dx^2 with n = 0.05, dx = 10 m, dt = 60 s.
    auto share = [](double h, double s) { return 20.0 * std::pow(h, 1.666667) * std::sqrt(s) * 6.0; };
    m.h[1] = 0.02;  // two open sides: two shares exceed the depth
    m.h[2] = 1.0;   // two shares fit: one leaves
    m.h[3] = 0.2;
    m.h[4] = 0.1;
    ASSERT_GT(2.0 * share(0.02, 0.04), 0.02);
    ASSERT_LT(2.0 * share(1.0, 1e-6), 1.0);
    kesta::ov_boundary_outflow(m, 60.0);
    EXPECT_EQ(m.h[1], 0.0);
    EXPECT_NEAR(m.h[2], 1.0 - share(1.0, 1e-6), 1e-12);
    EXPECT_NEAR(m.run_sums.ov_bdy_out_vol, (0.02 + share(1.0, 1e-6)) * 100.0, 1e-9);
    EXPECT_EQ(m.h[3], 0.0);
    EXPECT_NEAR(m.h[4], 0.3, 1e-12);
    EXPECT_NEAR(m.run_sums.ov_bdy_fixed_out_vol, 20.0, 1e-12);
    EXPECT_NEAR(m.run_sums.ov_bdy_fixed_in_vol, 20.0, 1e-9);
}

TEST_F(Step, SeriesLevelIsTakenAtTheCurrentTimeOnEveryDueStep) {
    kesta::ts_free_all();
    auto tide = std::make_unique<kesta::time_series>();
    tide->name = "tide";
    tide->times = {kStartJulian, kStartJulian + 1.0};
    tide->values = {100.0, 101.0};
    kesta::series_store().series.push_back(std::move(tide));
    kesta_test::printed_by([] { kesta::ts_add_index_entry(7, "tide"); });
    set_boundary(3, 3, 7.0);
    step();
    EXPECT_NEAR(m.boundary_temp[3], 100.0 + 60.0 / 86400.0, 1e-9);
    step();
    EXPECT_NEAR(m.boundary_temp[3], 100.0 + 120.0 / 86400.0, 1e-9);
    kesta::ts_free_all();
}

TEST_F(Step, NoNumberDepthOrRoughlessWetlandStopsTheRunBeforeWaterOrClockMove) {
    const std::pair<void (*)(kesta::model_state&), const char*> cases[] = {
        {[](kesta::model_state& m) { m.h[3] = std::nan(""); },
         "A non-real overland flow water depth has been detected in cell 3 after "
         "applying overland boundary conditions and overland pumping.\n"},
        {[](kesta::model_state& m) { kesta_test::add_wetland(m, 2, 0.1, 0.0, 0.0, 0.0); },
         "wetland category 1 has a Manning's n of 0.000000"},
    };
    for (const auto& [change, message] : cases) {
        SCOPED_TRACE(message);
        TearDown();
        SetUp();
        m.ov_inputs_checked = 0;  // as in a new run, which checks its inputs again
        change(m);
        m.h[1] = 0.1;
        const double next = m.ov_next_time;
        EXPECT_TRUE(kesta_test::has(step(), message));
        EXPECT_EQ(kesta::g_error_record.stop, 1);
        EXPECT_EQ(m.ov_next_time, next);
        EXPECT_EQ(m.h[1], 0.1);
    }
}

// A roughness that is no number makes the routing's depths no numbers: the
// step stops the run at once, rain or not, and books no outflow.
TEST_F(Step, RoutingThatLeavesANonNumberStopsTheRunEvenWhileItRains) {
    m.raining = 1;
    m.dist_rough[1] = std::nan("");
    m.h[1] = 0.1;
    EXPECT_TRUE(kesta_test::has(step(), "A non-real overland flow water depth has been detected in cell 1 after "
                                        "overland flow routing.\nCheck the inputs of that cell and its "
                                        "neighbours, or use a shorter time step (TIMESTEP).\n"));
    EXPECT_EQ(kesta::g_error_record.stop, 1);
    EXPECT_EQ(m.discharge_volume_run, 0.0);
}

TEST_F(Step, ChannelLakeExchangeIsBookedToTheEventAndCleared) {
    m.chan_routing = 1;
    kesta_test::add_channel_lake(m, 4, 99.0);
    m.h[2] = 0.05;  // above the lake cell
    step();
    const double into_lake = m.lake_volume[1];
    EXPECT_GT(into_lake, 0.0);
    EXPECT_NEAR(m.volume_overland_to_lake, into_lake, 1e-12);
    EXPECT_NEAR(m.lake_total_in_from_overland, into_lake, 1e-12);
    EXPECT_EQ(m.lake_in_dv[1], 0.0);
    EXPECT_NEAR(kesta_test::stored_volume(m) + into_lake, 5.0, 1e-12);
}

// An event run with a channel network ends in the first due step after the
// rain in which no cell is wet and the channels hold less than 1/10000 of
// the event's rain.
TEST_F(Step, EventEndsOnceTheGridIsDryAndTheChannelsNearlyEmpty) {
    m.chan_routing = 1;
    m.running = m.event_active = 1;
    m.volume_rainfall_overland = 100.0;
    m.nlinks = 1;
    m.ltype = kesta::vec1<int>(1);
    m.nx = kesta::vec1<int>(1);
    m.chan_dx = kesta::vec1<double>(1);
    m.nx[1] = 2;
    m.chan_dx[1] = 10.0;
    m.area = kesta::node_table<double>(2, 1);
    m.area[1][1] = m.area[2][1] = 0.0006;  // 0.012 m3 against a limit of 0.01 m3
    m.raining = 1;
    step();
    EXPECT_EQ(m.running, 1);
    m.raining = 0;
    step();
    EXPECT_EQ(m.running, 1);
    EXPECT_NEAR(m.final_volume_in_channels, 0.012, 1e-15);
    m.area[2][1] = 0.0;
    m.super_quiet = 0;
    EXPECT_EQ(step(), "Rainfall for this event has ended.\n");
    EXPECT_EQ(m.running, 0);
    EXPECT_EQ(m.event_active, 0);
    EXPECT_EQ(m.event_done, 1);
}

TEST_F(Step, DryLongTermRunWaitsForTheNextEventWithTheSoilOnItsOwnClock) {
    m.long_term = 1;
    m.overland_active = 1;
    m.nevents = 2;
    m.event_start_times = kesta::vec1<double>(2);
    m.event_start_times[2] = kStartJulian + 3.0;
    m.h[1] = 0.05;  // flowing: the overland keeps its clock
    step();
    EXPECT_EQ(m.overland_active, 1);
    EXPECT_NEAR(m.ov_next_time, m.time + m.ov_interval, 1e-12);

    m.h[1] = m.h[2] = m.h[3] = m.h[4] = 0.0;
    m.inf_richards_on = m.gw_simulation = 1;
    m.gw_timestep = 7200.0;
    kesta::set_clock_interval(m.hmet_interval_sec, m.hmet_interval, 3600.0);
    m.hmet_next = kStartJulian + 0.5;
    step();
    EXPECT_EQ(m.overland_active, 0);
    EXPECT_EQ(m.ov_next_time, kStartJulian + 3.0);
    EXPECT_EQ(m.ov_last_time, kStartJulian + 3.0 - m.ov_interval);
    EXPECT_EQ(m.soil_et_next, kStartJulian + 0.5);
    EXPECT_EQ(m.soil_et_interval_sec, 3600.0);
    EXPECT_EQ(m.gw_interval_sec, 7200.0);
    EXPECT_EQ(m.gw_next, m.time);
    EXPECT_EQ(m.inf_interval_sec, 7200.0);
    EXPECT_NEAR(m.inf_next, m.time + 7200.0 / 86400.0, 1e-12);
}

}  // namespace
