// What an event's water balance is built from: the grid-edge boundary and
// the overland cleanup of the event, the water already on the ground when it
// starts.
#include <gtest/gtest.h>

#include "model/event_steps.hpp"
#include "overland/overland_grid.hpp"
#include "overland/overland_route.hpp"

namespace {

using kesta::g_error_record;
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

}  // namespace
