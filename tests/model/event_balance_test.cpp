// What an event's water balance is built from: the grid-edge boundary and
// the overland cleanup of the event, the water already on the ground when it
// starts; and the land-management jump to the next event, which keeps the
// outputs of the step that ended the event.
#include <gtest/gtest.h>

#include <string>

#include "core/calendar.hpp"
#include "core/file_opener.hpp"
#include "model/clock_steps.hpp"
#include "model/event_steps.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_grid.hpp"
#include "overland/overland_route.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::julday;
using kesta_test::printed_by;

// A 1 x 2 strip of 10 m cells, no edge on the cells' right of cell 2, whose
// event starts now.
struct EventBalance : ::testing::Test {
    void SetUp() override {
        kesta_test::plane p;
        p.cols = 2;
        kesta_test::make_plane(m, p, 60.0);
        m.event_index = m.nevents = 1;
        m.start_time = m.time;
        m.dt_days = 60.0 / 86400.0;
        m.run_params.tot_time = 60;
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    void start() { printed_by([&] { kesta::start_event(m); }); }
    void finish() {
        m.event_done = 1;
        printed_by([&] { kesta::finish_event(m); });
    }
    // Rain of `depth` m on every cell, booked as the rain step books it.
    void rain(double depth) {
        for (int k = 1; k <= m.ncells; ++k) m.h[k] += depth;
        m.volume_rainfall_overland += depth * 100.0 * m.ncells;
    }

    kesta::model_state m;
};

TEST_F(EventBalance, GridEdgeWaterAndWaterAlreadyOnTheGroundAreInTheEventBalance) {
    m.ov_boundary = 1;
    m.boundary_type = kesta::vec1<int>(2);
    m.boundary_val = kesta::vec1<double>(2);
    m.boundary_temp = kesta::vec1<double>(2);
    m.boundary_type[2] = 1;  // normal depth, slope 0.01
    m.boundary_val[2] = 0.01;
    m.ov_bdy_out_vol = 7.0;  // from earlier events of the run
    m.ov_bdy_fixed_in_vol = 3.0;
    m.h[1] = 0.02;  // left by an earlier event: 2 m3
    start();
    EXPECT_NEAR(m.initial_volume_overland_flow, 2.0, 1e-12);
    rain(0.01);
    kesta::ov_boundary_outflow(m, 60.0);
    const double out = m.ov_bdy_out_vol - 7.0;
    ASSERT_GT(out, 0.0);
    // A fixed level raises cell 1 by 2 cm over its depth of 3 cm.
    m.boundary_type[1] = 2;
    m.boundary_val[1] = m.elev[1] + 0.05;
    kesta::ov_boundary_outflow(m, 60.0);
    EXPECT_NEAR(m.ov_bdy_fixed_in_vol - 3.0, 2.0, 1e-9);
    finish();
    EXPECT_NEAR(m.volume_ov_boundary_outflow_1, out, 1e-12);
    EXPECT_NEAR(m.volume_ov_boundary_inflow, 2.0, 1e-9);
    EXPECT_NEAR(m.mass_input_original_mass, 2.0 + 2.0 + 2.0, 1e-9);  // rain, edge, ground
    EXPECT_NEAR(m.mass_conservation_error, 0.0, 1e-12);

    // A dry grid starts from nothing.
    m.h[1] = m.h[2] = 0.0;
    start();
    EXPECT_EQ(m.initial_volume_overland_flow, 0.0);
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

// A land-management run with the exchange model: event 1 ends at step 72 of
// 10 minutes (1 March 12:00), event 2 begins on 5 March.
struct HtpJump : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        m.htp = m.olma_given = 1;
        m.olma = dir.file("olma.txt");
        m.nevents = 2;
        m.event_index = 1;
        m.event_start_times = kesta::vec1<double>(2);
        m.start_time = m.event_start_times[1] = julday(2001, 3, 1, 0, 0, 0.0);
        m.event_start_times[2] = julday(2001, 3, 5, 0, 0, 0.0);
        m.timestep = 600.0;
        m.dt_days = 600.0 / 86400.0;
        m.time_tol = kesta::kTimeTolerance;
        m.step = 72;
        m.clock_calls = 73;
        m.time = m.start_time + m.step * m.dt_days;
        m.elapsed_min = 720.0;
        m.year = 2001;
        m.q_out = 0.25;
        m.hyd_freq = 8;  // step 72 writes a line, the step before event 2 (575) does not
        m.event_ended = m.running = 1;
        m.outlet_hydro_fp = kesta::open_file(hydrograph, "w", 0);
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    std::string update() {
        testing::internal::CaptureStderr();
        const std::string out = printed_by([&] { kesta::update_at_event_end(m); });
        testing::internal::GetCapturedStderr();
        return out;
    }

    kesta_test::temp_dir dir;
    std::string hydrograph = dir.file("hyd.out");
    kesta::model_state m;
};

TEST_F(HtpJump, TheStepThatEndedTheEventKeepsItsHydrographLine) {
    update();
    EXPECT_EQ(m.step, 575);
    kesta::write_timeseries_output(m);  // the pass's own output call writes nothing more
    kesta::advance_clock(m);            // 5 March 0:00, step 576
    kesta::write_timeseries_output(m);
    kesta::close_file(m.outlet_hydro_fp);
    EXPECT_EQ(kesta_test::read_file(hydrograph), "  720.00     0.250\n 5760.00     0.250\n");
}

TEST_F(HtpJump, NextEventBetweenTwoStepsStopsTheRunInsteadOfJumping) {
    m.event_start_times[2] = julday(2001, 3, 5, 0, 5, 0.0);
    const std::string out = update();
    EXPECT_EQ(g_error_record.code, 4000);
    EXPECT_EQ(m.step, 72);
    EXPECT_TRUE(kesta_test::has(out, "HTP event 2 begins at 3/5/2001 0:05, which is not a whole number of time "
                                     "steps (600.00 s) after the start of the run."))
        << out;
}

}  // namespace
