// The explicit overland scheme: sub-step division and reuse, sweep order,
// face rules, lakes.
#include <gtest/gtest.h>

#include <string>

#include "overland/overland_grid.hpp"
#include "overland/overland_route.hpp"

namespace {

using kesta::model_state;
using kesta_test::plane;

std::string route(model_state& m, double dt, double* volume = nullptr) {
    testing::internal::CaptureStdout();
    const double v = kesta::explicit_overland_route(m, dt);
    if (volume) *volume = v;
    return testing::internal::GetCapturedStdout();
}

// A 1 x `cols` strip with no outlet outflow (a channel network takes it).
void strip(model_state& m, int cols, double drop_x, double retention = 0.0) {
    plane p;
    p.cols = cols;
    p.drop_x = drop_x;
    p.retention = retention;
    kesta_test::make_plane(m, p, 1.0);
    m.chan_routing = 1;
}

// The upper cell of a 1 x 2 strip drains 5 m down to the outlet cell: in a
// 15 s sub-step its face would take 0.061 m from its 0.03 m, in 5 s 0.020 m.
TEST(ExplicitSubSteps, FailingStepIsRedoneInThirdsWhichTheNextFourCallsReuse) {
    model_state m;
    strip(m, 2, 5.0);
    m.chan_routing = 0;
    m.outslope = 0.01;
    m.quiet = 0;
    m.h[1] = 0.03;
    double outflow = 0.0;
    EXPECT_EQ(route(m, 15.0, &outflow), " *Changing overland time step to 5.00 seconds...\n");
    EXPECT_EQ(m.ov_substeps_last, 3);
    // The thrown-away sub-step leaves no trace.
    EXPECT_NEAR((m.h[1] + m.h[2]) * 100.0 + outflow, 3.0, 1e-12);
    for (int call = 2; call <= 5; ++call) {
        EXPECT_EQ(route(m, 15.0), "") << call;
        EXPECT_EQ(m.ov_substeps_last, 3) << call;
    }
    EXPECT_EQ(route(m, 15.0), "Resetting time step to 15.00 for overland flow...\n");
    EXPECT_EQ(m.ov_substeps_last, 1);

    // A new run of a series keeps no memory of this one.
    model_state next;
    strip(next, 2, 5.0);
    next.h[1] = 0.001;
    route(next, 15.0);
    EXPECT_EQ(next.ov_substeps_last, 1);
}

// Ground rising 5 m to the right: a 100 s step would carry 0.021 m back out
// of a 0.005 m deep cell, a small move by the celerity test but more than
// the cell holds.
TEST(ExplicitSubSteps, BackwardFlowNeverOverdrawsItsDonor) {
    model_state m;
    strip(m, 2, -5.0);
    m.h[2] = 0.005;
    route(m, 100.0);
    EXPECT_GT(m.ov_substeps_last, 1);
    EXPECT_GE(m.h[2], -0.0001);
    EXPECT_NEAR(m.h[1] + m.h[2], 0.005, 1e-15);
}

TEST(ExplicitFaces, FlatEqualDepthsPassATinyFluxAndRetentionHoldsWater) {
    model_state m;
    strip(m, 2, 0.0);
    m.h[1] = m.h[2] = 0.05;
    route(m, 1.0);
    EXPECT_GT(m.qx[1], 0.0);
    EXPECT_LT(m.qx[1], 1e-9);

    model_state held;
    strip(held, 2, 0.0, 0.002);
    held.h[1] = 0.001;
    held.h[2] = 0.5;  // higher neighbour
    route(held, 1.0);
    EXPECT_EQ(held.qx[1], 0.0);
    EXPECT_EQ(held.h[1], 0.001);
}

TEST(ExplicitFaces, WetlandBelowItsBermOnlySeeps) {
    model_state m;
    strip(m, 2, 0.1);
    kesta_test::add_wetland(m, 1, 0.1, 0.001, 0.0, 0.1);
    m.h[1] = m.h[2] = 0.05;
    route(m, 1.0);
    // depth x slope x seepage = 0.05 x 0.01 x 0.001 per m of face, 10 m wide.
    EXPECT_NEAR(m.qx[1], 5e-6, 1e-18);
}

TEST(ExplicitFaces, BlockedDikeSideCarriesNothing) {
    model_state m;
    plane p;
    p.rows = p.cols = 2;
    p.drop_x = p.drop_y = 0.1;
    kesta_test::make_plane(m, p, 1.0);
    m.chan_routing = 1;
    m.dike_map_given = 1;
    m.dike_mask = kesta::vec1<int>(4);
    m.dike_mask[1] = 2;  // right side of cell 1
    m.dike_mask[2] = 4;  // lower side of cell 2
    for (int k = 1; k <= 4; ++k) m.h[k] = 0.05;
    route(m, 1.0);
    EXPECT_EQ(m.qx[1], 0.0);
    EXPECT_EQ(m.qy[2], 0.0);
    EXPECT_GT(m.qy[1], 0.0);
    EXPECT_GT(m.qx[3], 0.0);
}

// 3 x 3 cells with a channel-network lake in the last: cell 1 holds far too
// much water for any sub-step, and the first failing face printed tells
// which direction was swept first.
TEST(ExplicitChannelLake, ConsecutiveCallsSweepInOppositeOrders) {
    model_state m;
    plane p;
    p.rows = p.cols = 3;
    p.drop_x = p.drop_y = 1.0;
    kesta_test::make_plane(m, p, 10.0);
    m.chan_routing = 1;
    m.quiet = 0;
    kesta_test::add_channel_lake(m, 9, 90.0);
    auto first_tag = [](const std::string& out) { return out.substr(out.find(']') + 1, 1); };
    m.h[1] = 5.0;
    const std::string first = route(m, 10.0);
    for (int k = 1; k <= 9; ++k) m.h[k] = k == 1 ? 5.0 : 0.0;
    m.ov_reduced_reuse = 0;  // same start, so only the order differs
    const std::string second = route(m, 10.0);
    EXPECT_EQ(first_tag(first), "y");
    EXPECT_EQ(first_tag(second), "x");
    EXPECT_NE(first.find("    -> Cell Exceded Celerity Check\n"), std::string::npos);
}

TEST(ExplicitOverlandLake, HigherNeighbourFillsACellBelowItsRetention) {
    model_state m;
    strip(m, 3, 0.0, 0.002);
    kesta_test::add_overland_lake(m, 3, 100.0);
    m.h[1] = 0.001;
    m.h[2] = 0.05;
    route(m, 1.0);
    EXPECT_LT(m.qx[1], 0.0);
    EXPECT_GT(m.h[1], 0.001);
    // What left cell 2 towards the lake in the 1 s step is the lake's gain.
    EXPECT_GT(m.qx[2], 0.0);
    EXPECT_NEAR(m.oland_lakes[1].step_volume, m.qx[2] * 1.0, 1e-12);
    EXPECT_EQ(m.h[3], 0.0);
}

}  // namespace
