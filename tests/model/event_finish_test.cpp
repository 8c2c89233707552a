// The start and close of an event: totals, final storages, mass balance and
// the event line for calibration.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "calibration/optim_record.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::model_state;

TEST(MassBalance, OverlandAndChannelEventsBalanceInputsAgainstOutputsAndStorage) {
    model_state m;
    m.volume_rainfall_overland = 80.0;
    m.initial_volume_overland_flow = 20.0;  // input + original mass = 100
    m.volume_remaining_on_surface = 10.0;
    m.volume_of_infiltrated_water = 50.0;
    m.volume_of_discharge = 38.0;  // output + final mass = 98
    kesta::event_mass_balance(m);
    EXPECT_DOUBLE_EQ(m.mass_input_original_mass, 100.0);
    EXPECT_DOUBLE_EQ(m.mass_output_final_mass, 98.0);
    EXPECT_DOUBLE_EQ(m.mass_conservation_error, 0.02);

    // With channels: lakes, channels and exchanges count.
    model_state c;
    c.chan_routing = 1;
    c.volume_rainfall_overland = 60.0;
    c.volume_precip_to_lake = 10.0;
    c.initial_volume_in_channels = 20.0;
    c.volume_gw_chan = 10.0;  // inputs 100
    c.final_volume_in_channels = 25.0;
    c.volume_of_discharge = 40.0;
    c.volume_remaining_in_lakes = 15.0;
    c.volume_water_chan_gw = 5.0;
    c.volume_of_lake_evaporation = 10.0;  // outputs 95
    kesta::event_mass_balance(c);
    EXPECT_DOUBLE_EQ(c.mass_input_original_mass, 100.0);
    EXPECT_DOUBLE_EQ(c.mass_output_final_mass, 95.0);
    EXPECT_DOUBLE_EQ(c.mass_conservation_error, 0.05);
}

TEST(MassBalance, EventWithoutWaterInputIsMarkedExactlyMinusOne) {
    model_state m;
    m.volume_remaining_on_surface = 5.0;  // something left, nothing put in
    kesta::event_mass_balance(m);
    EXPECT_EQ(m.mass_conservation_error, -1.0);

    // With channels the test is on the rain alone: water already in the
    // channels is no water input.
    m.chan_routing = 1;
    m.initial_volume_in_channels = 40.0;
    kesta::event_mass_balance(m);
    EXPECT_EQ(m.mass_conservation_error, -1.0);
    m.sacramento_given = 1;
    kesta::event_mass_balance(m);
    EXPECT_EQ(m.mass_conservation_error, -1.0);
}

TEST(MassBalance, SacramentoEventTakesTheOppositeSignOverItsOwnDivisor) {
    model_state m;
    m.chan_routing = 1;
    m.sacramento_given = 1;
    m.volume_rainfall_overland = 50.0;
    m.volume_precip_to_lake = 30.0;  // counted as input, not in the divisor
    m.volume_subsurface_at_event_start = 50.0;
    m.volume_subsurface_at_event_end = 60.0;
    m.volume_of_discharge = 65.0;  // output 125 against input 130
    kesta::event_mass_balance(m);
    EXPECT_DOUBLE_EQ(m.mass_conservation_error, -(130.0 - 125.0) / 100.0);
    // Point sources delivered to streams and lakes, and a sink, balance.
    m.volume_stream_point_sources = 12.0;
    m.volume_lake_point_sources = 8.0;
    m.volume_stream_point_sinks = 3.0;
    m.volume_of_discharge += 17.0;
    kesta::event_mass_balance(m);
    EXPECT_DOUBLE_EQ(m.mass_conservation_error, -(150.0 - 145.0) / 120.0);

    // All the rain fell on lakes and nothing else came in: no division by 0.
    model_state n;
    n.chan_routing = 1;
    n.sacramento_given = 1;
    n.volume_precip_to_lake = 30.0;
    kesta::event_mass_balance(n);
    EXPECT_EQ(n.mass_conservation_error, -1.0);
}

// Two cells of 10 m with one event that has ended.
struct FinishEvent : ::testing::Test {
    void SetUp() override {
        m.ncells = 2;
        m.gridsize = 10.0;
        m.h = kesta::vec1<double>(2);
        m.elev = kesta::vec1<double>(2);
        m.event_done = 1;
        m.event_index = 1;
        m.super_quiet = 1;
    }
    model_state m;
};

TEST_F(FinishEvent, ClosesTheEventOnceWithItsFinalStorages) {
    m.h[1] = 0.01;
    m.h[2] = 0.02;
    m.volume_rainfall_overland = 10.0;
    m.discharge_volume_sum = 4.0;
    m.peak_q = 0.3;
    m.run_sums.mass_cleanup_error_overland = 1.5;
    m.run_sums_at_event_start.mass_cleanup_error_overland = 0.5;
    kesta::finish_event(m);
    EXPECT_EQ(m.event_done, 0);
    EXPECT_EQ(m.finished_events, 1);
    EXPECT_DOUBLE_EQ(m.volume_remaining_on_surface, 3.0);
    EXPECT_DOUBLE_EQ(m.volume_of_discharge, 4.0);
    EXPECT_DOUBLE_EQ(m.event_peak_discharge, 0.3);
    EXPECT_DOUBLE_EQ(m.mass_cleanup_error_overland, 1.0);
    EXPECT_DOUBLE_EQ(m.mass_conservation_error, (10.0 - 7.0) / 10.0);
    kesta::finish_event(m);  // nothing more to close
    EXPECT_EQ(m.finished_events, 1);
}

TEST_F(FinishEvent, BalanceThatIsNoNumberStopsTheRunInsteadOfBeingWritten) {
    kesta_test::temp_dir dir;
    std::string name = dir.file("summary.txt");
    m.summary_fp = kesta::open_file(name, "w", 0);
    m.volume_rainfall_overland = 10.0;
    m.discharge_volume_sum = std::numeric_limits<double>::infinity();
    const std::string out = kesta_test::printed_by([&] { kesta::finish_event(m); });
    kesta::close_file(m.summary_fp);
    EXPECT_EQ(kesta::g_error_record.stop, 1);
    kesta::g_error_record.clear_for_run();
    EXPECT_NE(out.find("A non-real volume has been detected in the water balance of event 1 (output and final "
                       "water).\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(kesta_test::read_file(name).find("mass conservation error"), std::string::npos);
}

TEST_F(FinishEvent, OverlandLakeCellsCountTheirLakeLevel) {
    m.overland_lake_map_given = 1;
    m.oland_lake_new = kesta::vec1<int>(2);
    m.oland_lake_new[2] = 1;
    m.oland_lakes.resize(2);
    m.oland_lakes[1].level = 101.0;
    m.elev[2] = 100.5;
    m.h[1] = 0.01;
    m.h[2] = 7.0;  // a lake cell's depth is not its water
    kesta::finish_event(m);
    EXPECT_DOUBLE_EQ(m.volume_remaining_in_overland_lakes, 50.0);
    EXPECT_DOUBLE_EQ(m.volume_remaining_on_surface, 51.0);
}

TEST_F(FinishEvent, WritesTheEventLineForCalibration) {
    kesta_test::temp_dir dir;
    std::string name = dir.file("optim.out");
    m.optim_fp = kesta::open_file(name, "w", 0);
    m.optimize_given = 1;
    m.peak_q = 1.23456;
    m.discharge_volume_sum = 1000.0;
    kesta::finish_event(m);
    m.event_done = 1;
    m.event_index = 2;
    m.qout_cfs = 1;
    m.peak_q = 1.0;
    kesta::finish_event(m);
    kesta::close_file(m.optim_fp);
    EXPECT_EQ(kesta_test::read_file(name), "1     1.235        1000.0\n2    35.32       35320.0\n");
}

}  // namespace
