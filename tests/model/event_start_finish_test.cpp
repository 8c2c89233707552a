// The start and close of an event: its clocks, totals and per-cell state;
// final storages, the mass balance and what it is built from (the grid-edge
// boundary, the overland cleanup, the water already on the ground) and the
// event line for calibration.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "calibration/optim_record.hpp"
#include "core/error_record.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_grid.hpp"
#include "overland/overland_route.hpp"
#include "support/one_based.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"
#include "support/test_outputs.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;
using kesta_test::printed_by;

// Events of each kind from the volumes (m3) given, all others 0: inputs and
// original water against outputs and final water, and the error over the
// kind's own divisor; exactly -1 marks an event without rain.
TEST(MassBalance, EachKindOfEventBalancesInputsAgainstOutputsAndStorage) {
    using M = model_state;
    const struct {
        const char* name;
        int channels, sacramento;
        std::vector<std::pair<double M::*, double>> volumes;
        double in, out, error;
        int drains = 0;
    } cases[] = {
        {"overland", 0, 0, {{&M::volume_rainfall_overland, 80}, {&M::initial_volume_overland_flow, 20},
                            {&M::volume_remaining_on_surface, 10}, {&M::volume_of_infiltrated_water, 50},
                            {&M::volume_of_discharge, 38}}, 100, 98, 0.02},
        // Lakes, channels and their exchanges count.
        {"channels", 1, 0, {{&M::volume_rainfall_overland, 60}, {&M::volume_precip_to_lake, 10},
                            {&M::initial_volume_in_channels, 20}, {&M::volume_gw_chan, 10},
                            {&M::final_volume_in_channels, 25}, {&M::volume_of_discharge, 40},
                            {&M::volume_remaining_in_lakes, 15}, {&M::volume_water_chan_gw, 5},
                            {&M::volume_of_lake_evaporation, 10}}, 100, 95, 0.05},
        // Something left, nothing put in; with channels the test is on the
        // rain alone: water already in the channels is no water input.
        {"overland without input", 0, 0, {{&M::volume_remaining_on_surface, 5}}, 0, 5, -1},
        {"channels without rain", 1, 0, {{&M::volume_remaining_on_surface, 5}, {&M::initial_volume_in_channels, 40}},
         40, 5, -1},
        {"Sacramento without rain", 1, 1,
         {{&M::volume_remaining_on_surface, 5}, {&M::initial_volume_in_channels, 40}}, 40, 5, -1},
        // All the rain on lakes, nothing else coming in: no division by 0.
        {"Sacramento, rain on lakes alone", 1, 1, {{&M::volume_precip_to_lake, 30}}, 30, 0, -1},
        // The opposite sign, over the inputs without the rain on lakes.
        {"Sacramento", 1, 1, {{&M::volume_rainfall_overland, 50}, {&M::volume_precip_to_lake, 30},
                              {&M::volume_subsurface_at_event_start, 50}, {&M::volume_subsurface_at_event_end, 60},
                              {&M::volume_of_discharge, 65}}, 130, 125, -(130.0 - 125.0) / 100.0},
        // Point sources delivered to streams and lakes, and a sink, balance.
        {"Sacramento, point sources", 1, 1,
         {{&M::volume_rainfall_overland, 50}, {&M::volume_precip_to_lake, 30},
          {&M::volume_subsurface_at_event_start, 50}, {&M::volume_subsurface_at_event_end, 60},
          {&M::volume_of_discharge, 82}, {&M::volume_stream_point_sources, 12}, {&M::volume_lake_point_sources, 8},
          {&M::volume_stream_point_sinks, 3}}, 150, 145, -(150.0 - 145.0) / 120.0},
        // The pipes' water at the start and end, and what their solver made:
        // its clean-up and the residual of its storage iteration.
        {"storm drains", 1, 0, {{&M::volume_rainfall_overland, 100}, {&M::initial_volume_sub_surface_drains, 5},
                                {&M::volume_drain_cleanup, 2}, {&M::volume_drain_residual, 3},
                                {&M::volume_of_discharge, 90}, {&M::volume_remaining_in_drains, 10}},
         110, 100, 10.0 / 110.0, 1},
    };
    for (const auto& c : cases) {
        model_state m;
        m.chan_routing = c.channels;
        m.sacramento_given = c.sacramento;
        m.storm_sewer_given = c.drains;
        for (const auto& [volume, value] : c.volumes) m.*volume = value;
        kesta::event_mass_balance(m);
        EXPECT_DOUBLE_EQ(m.mass_input_original_mass, c.in) << "case " << c.name;
        EXPECT_DOUBLE_EQ(m.mass_output_final_mass, c.out) << "case " << c.name;
        if (c.error == -1.0) {
            EXPECT_EQ(m.mass_conservation_error, -1.0) << "case " << c.name;
        } else {
            EXPECT_DOUBLE_EQ(m.mass_conservation_error, c.error) << "case " << c.name;
        }
    }
}

// A 1 x 2 strip of 10 m cells, no edge on the cells' right of cell 2, at the
// start of event 1 of 2 (at 2451545 and 2451546 days) of a 90-minute run with
// a one-minute overland step.
struct Event : ::testing::Test {
    void SetUp() override { strip(2); }
    void TearDown() override { g_error_record = kesta::error_record{}; }
    void strip(int cols) {
        kesta_test::plane p;
        p.cols = cols;
        kesta_test::make_plane(m, p, 60.0);
        m.event_index = 1;
        m.nevents = 2;
        m.event_start_times = kesta_test::one_based({2451545.0, 2451546.0});
        m.start_time = m.time;
        m.dt_days = 60.0 / 86400.0;
        m.run_params.tot_time = 90;
    }
    std::string start() { return printed_by([&] { kesta::start_event(m); }); }
    std::string finish() {
        m.event_done = 1;
        return printed_by([&] { kesta::finish_event(m); });
    }
    // Rain of `depth` m on every cell, booked as the rain step books it.
    void rain(double depth) {
        for (int k = 1; k <= m.ncells; ++k) m.h[k] += depth;
        m.volume_rainfall_overland += depth * 100.0 * m.ncells;
    }
    model_state m;
};
using StartEvent = Event;
using FinishEvent = Event;
using EventBalance = Event;

TEST_F(StartEvent, ActsOnlyAtTheStartOfTheEventJustRead) {
    m.super_quiet = 0;
    m.time = 2451545.5;
    m.peak_q = 3.0;
    EXPECT_EQ(start(), "");
    EXPECT_DOUBLE_EQ(m.peak_q, 3.0);

    m.time = 2451545.0;
    m.volume_rainfall_overland = 9.0;
    m.dh[1] = 0.2;
    m.total_vol_water_exfiltrated_this_run = 4.0;
    m.run_sums.lake_evaporation = 2.5;
    EXPECT_EQ(start(), "Initialized Arrays\nsimulation duration 90 minutes\n");
    // Event totals start from zero; run totals are remembered as at the start.
    EXPECT_EQ((std::vector<double>{m.peak_q, m.volume_rainfall_overland, m.dh[1]}), std::vector<double>(3, 0.0));
    EXPECT_EQ((std::vector<double>{m.beginning_vol_water_exfiltrated_this_event,
                                   m.run_sums_at_event_start.lake_evaporation}),
              (std::vector<double>{4.0, 2.5}));
    EXPECT_DOUBLE_EQ(m.event_end_time, 2451545.0 + 90.0 / 1440.0);
    EXPECT_DOUBLE_EQ(m.ov_last_time, m.time);
    EXPECT_DOUBLE_EQ(m.ov_next_time, m.time + m.ov_interval);
    EXPECT_EQ(m.precip_period, 1);
}

TEST_F(StartEvent, WetlandGroundIsLoweredOnceInTheRun) {
    m.long_term = 1;
    m.wetlands_given = 1;
    m.wetland_mask = kesta::vec1<int>(2);
    m.wetland_mask[2] = 1;
    m.wetland_table.resize(2);
    m.wetland_table[1].field[0] = 0.3;  // depth (m)
    m.wetland_table[1].field[7] = 0.5;  // height (m)
    m.h[1] = 0.1;
    start();
    EXPECT_EQ((std::vector<double>{m.h[1], m.h[2], m.elev[2]}), (std::vector<double>{0.0, 0.3, 99.5}));
    EXPECT_DOUBLE_EQ(m.initial_volume_overland_flow, 30.0);
    m.event_index = 2;
    m.time = 2451546.0;
    m.h[2] = 0.0;
    start();
    EXPECT_EQ((std::vector<double>{m.h[2], m.elev[2]}), (std::vector<double>{0.3, 99.5}));
}

TEST_F(StartEvent, CalibrationLocationsStartWithoutAPeakAndWithNoVolume) {
    kesta::optim_record r;
    r.location_peak = {0.0, 5.0, 6.0};
    r.location_volume = {0.0, 50.0, 60.0};
    m.run_result = &r;
    m.optimize_given = 1;
    m.in_hyd_location_given = 1;
    start();
    EXPECT_DOUBLE_EQ(r.location_peak[2], -999.99);
    EXPECT_DOUBLE_EQ(r.location_volume[2], 0.0);
}

TEST_F(StartEvent, RedistributionHoldsTheInitialMoistureWithinItsRangeInEventRunsToo) {
    m.inf_redist_on = 1;
    m.inf_redist_continuous = 1;
    m.thi = kesta_test::one_based({0.02, 0.2});
    m.thr_map = kesta_test::one_based({0.05, 0.05});
    m.phi_map = kesta_test::one_based({0.45, 0.45});
    const std::string out = start();
    EXPECT_NE(out.find("thi<thr at grid cell 1, increasing it to 0.060000"), std::string::npos);
    EXPECT_DOUBLE_EQ(m.thi[1], 0.06);
    EXPECT_EQ(m.thi[2], 0.2);
    EXPECT_EQ(m.water_pending, 1);  // the wetted zone redistributes between events
}

// Two cells of one soil class with different stores, a column no deeper
// than layer 1 and one cut short by the water table.
TEST_F(StartEvent, LayeredSoilsTakeEachCellsOwnLayerMoisturesFromItsStores) {
    strip(3);  // a third cell
    m.inf_layered_on = m.long_term = 1;
    m.soiltype = kesta_test::one_based({1, 1, 1});
    m.layer_theta = kesta::vec1<kesta::soil_layer_moisture>(3);
    m.soil_depth = kesta_test::one_based({30.0, 30.0, 25.0});
    m.Ws1_L1 = kesta_test::one_based({2.0, 3.0, 2.0});
    m.Ws1_L2 = kesta_test::one_based({6.0, 3.0, 3.0});
    double* s = m.soil_class[1].v;
    for (int j = 0; j < 3; ++j) {
        s[7 + j] = 0.4;
        s[19 + j] = 0.05;
    }
    s[22] = 10.0;
    s[23] = 20.0;
    start();
    const auto theta = [&](int k, int j) { return m.layer_theta[k].theta[j]; };
    EXPECT_EQ((std::vector<double>{theta(1, 0), theta(1, 1), theta(1, 2)}), (std::vector<double>{0.2, 0.3, 0.3}));
    EXPECT_EQ((std::vector<double>{theta(2, 0), theta(2, 1)}), (std::vector<double>{0.3, 0.15}));
    // Layer 2 of the stores spans 10 to 25 cm; the table fills layer 3.
    EXPECT_EQ((std::vector<double>{theta(3, 1), theta(3, 2)}), (std::vector<double>{0.2, 0.4}));
    EXPECT_EQ(s[10], 0.0);  // the shared class record is left alone
    EXPECT_DOUBLE_EQ(m.initial_basin_averaged_soil_water_content, (0.5 + 0.75 + 0.5) / 3.0);

    m.soil_depth[1] = 10.0;  // no deeper than layer 1: saturated below it
    m.event_index = 2;
    m.time = 2451546.0;
    start();
    EXPECT_EQ((std::vector<double>{theta(1, 0), theta(1, 1), theta(1, 2)}), (std::vector<double>{0.2, 0.4, 0.4}));
}

TEST_F(FinishEvent, ClosesTheEventOnceWithItsFinalStorages) {
    m.h[1] = 0.01;
    m.h[2] = 0.02;
    m.volume_rainfall_overland = 10.0;
    m.discharge_volume_sum = 4.0;
    m.peak_q = 0.3;
    m.run_sums.mass_cleanup_error_overland = 1.5;
    m.run_sums_at_event_start.mass_cleanup_error_overland = 0.5;
    finish();
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
    kesta_test::open_output(m, m.summary_fp, name);
    m.volume_rainfall_overland = 10.0;
    m.discharge_volume_sum = std::numeric_limits<double>::infinity();
    const std::string out = finish();
    kesta::close_output(m, m.summary_fp);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("A non-real volume has been detected in the water balance of event 1 (output and final "
                       "water).\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(kesta_test::read_file(name).find("mass conservation error"), std::string::npos);
}

TEST_F(FinishEvent, OverlandLakeCellsCountTheirLakeLevel) {
    kesta_test::add_overland_lake(m, 2, 101.0);
    m.elev[2] = 100.5;
    m.h[1] = 0.01;
    m.h[2] = 7.0;  // a lake cell's depth is not its water
    finish();
    EXPECT_DOUBLE_EQ(m.volume_remaining_in_overland_lakes, 50.0);
    EXPECT_DOUBLE_EQ(m.volume_remaining_on_surface, 51.0);
}

TEST_F(FinishEvent, WritesTheEventLineForCalibration) {
    kesta_test::temp_dir dir;
    std::string name = dir.file("optim.out");
    kesta_test::open_output(m, m.optim_fp, name);
    m.optimize_given = 1;
    m.peak_q = 1.23456;
    m.discharge_volume_sum = 1000.0;
    finish();
    m.event_index = 2;
    m.qout_cfs = 1;
    m.peak_q = 1.0;
    m.discharge_volume_sum = 1000.0;  // its own outflow: the close opened new books
    finish();
    kesta::close_output(m, m.optim_fp);
    EXPECT_EQ(kesta_test::read_file(name), "1     1.235        1000.0\n2    35.32       35320.0\n");
}

TEST_F(EventBalance, GridEdgeWaterAndWaterAlreadyOnTheGroundAreInTheEventBalance) {
    m.ov_boundary = 1;
    m.boundary_type = kesta::vec1<int>(2);
    m.boundary_val = kesta::vec1<double>(2);
    m.boundary_temp = kesta::vec1<double>(2);
    m.boundary_type[2] = 1;  // normal depth, slope 0.01
    m.boundary_val[2] = 0.01;
    m.run_sums.ov_bdy_out_vol = 7.0;  // from earlier events of the run
    m.run_sums.ov_bdy_fixed_in_vol = 3.0;
    m.h[1] = 0.02;  // left by an earlier event: 2 m3
    start();
    EXPECT_NEAR(m.initial_volume_overland_flow, 2.0, 1e-12);
    rain(0.01);
    kesta::ov_boundary_outflow(m, 60.0);
    const double out = m.run_sums.ov_bdy_out_vol - 7.0;
    ASSERT_GT(out, 0.0);
    // A fixed level raises cell 1 by 2 cm over its depth of 3 cm.
    m.boundary_type[1] = 2;
    m.boundary_val[1] = m.elev[1] + 0.05;
    kesta::ov_boundary_outflow(m, 60.0);
    EXPECT_NEAR(m.run_sums.ov_bdy_fixed_in_vol - 3.0, 2.0, 1e-9);
    finish();
    EXPECT_NEAR(m.volume_ov_boundary_outflow_1, out, 1e-12);
    EXPECT_NEAR(m.volume_ov_boundary_inflow, 2.0, 1e-9);
    EXPECT_NEAR(m.mass_input_original_mass, 2.0 + 2.0 + 2.0, 1e-9);  // rain, edge, ground
    EXPECT_NEAR(m.mass_conservation_error, 0.0, 1e-12);
}

// Every water flow booked before an event, during it and during the next:
// each event's volume of a flow is what that event booked of it, whether
// the event forms it from the run's totals or the booking adds to it; and
// no two flows share an event volume (each books a different amount).
TEST_F(EventBalance, EachEventsVolumeOfAWaterFlowIsWhatItBooked) {
    const int n = static_cast<int>(kesta::water_flow::count);
    const auto book_all = [&](double base) {
        for (int f = 0; f < n; ++f) kesta::book_water(m, static_cast<kesta::water_flow>(f), base + f);
    };
    // The volumes the bookings add to stand until the close opens the next
    // event's books; those formed as the event closes, after it.
    const auto check = [&](double base, bool booked, const char* event) {
        for (const kesta::water_flow_row& row : kesta::kWaterFlows) {
            if (!row.event || row.event_booked != booked) continue;
            EXPECT_DOUBLE_EQ(m.*row.event, base + static_cast<int>(row.flow))
                << event << ", flow " << static_cast<int>(row.flow);
        }
    };
    book_all(1000.0);  // earlier in the run
    start();
    book_all(10.0);
    check(10.0, true, "event 1");
    finish();
    check(10.0, false, "event 1");
    book_all(20.0);  // the close opened the books of event 2
    check(20.0, true, "event 2");
    finish();
    check(20.0, false, "event 2");
}

// Event 1 leaves 2 m3 on the ground and 3 m3 of snow. Before event 2
// starts, 1 m3 of snow melts, 0.5 m3 leaves at the outlet and 0.2 m3
// soaks in: event 2 starts from what event 1 left and books the outflow
// and the infiltration; what leaves after the last event is kept for the
// run's balance.
TEST_F(EventBalance, WaterThatMovesBetweenEventsIsBookedInTheNextEvent) {
    m.green_ampt_on = 1;
    m.snowdepth = kesta_test::one_based({0.0, 0.03});
    start();
    rain(0.01);
    finish();
    EXPECT_DOUBLE_EQ(m.volume_remaining_on_surface, 2.0);
    EXPECT_DOUBLE_EQ(m.final_volume_of_snow, 3.0);

    m.snowdepth[2] -= 0.01;
    m.h[2] += 0.01;
    m.h[1] -= 0.005;
    m.discharge_volume_sum += 0.5;
    m.discharge_volume_run += 0.5;
    m.h[2] -= 0.002;
    m.run_sums.infiltrated_volume += 0.2;

    m.event_index = 2;
    m.time = 2451546.0;
    start();
    EXPECT_NEAR(m.initial_volume_overland_flow, 2.0, 1e-12);
    EXPECT_NEAR(m.initial_liquid_equiv_volume_snow, 3.0, 1e-12);
    rain(0.01);
    finish();
    EXPECT_NEAR(m.volume_of_discharge, 0.5, 1e-12);
    EXPECT_NEAR(m.volume_of_infiltrated_water, 0.2, 1e-12);
    EXPECT_NEAR(m.mass_input_original_mass, 2.0 + 3.0 + 2.0, 1e-12);
    EXPECT_NEAR(m.mass_conservation_error, 0.0, 1e-12);

    m.h[1] -= 0.0025;
    m.discharge_volume_sum += 0.25;
    m.discharge_volume_run += 0.25;
    kesta::write_final_summaries(m);
    EXPECT_NEAR(m.discharge_after_last_event, 0.25, 1e-12);
}

TEST_F(EventBalance, NegativeDepthsSetToZeroAreTheEventsCleanup) {
    m.chan_routing = 1;
    kesta_test::add_channel_lake(m, 2, 90.0);
    start();
    m.h[1] = -0.001;
    printed_by([&] { kesta::explicit_overland_route(m, 1.0); });
    EXPECT_NEAR(m.run_sums.mass_cleanup_error_overland, 0.1, 1e-12);
    m.chan_lakes_on = 0;  // the event's close needs no lake of its own here
    finish();
    EXPECT_NEAR(m.mass_cleanup_error_overland, 0.1, 1e-12);
}

}  // namespace
