// The alternating-direction overland scheme: face discharges, acceptance
// test, sub-step halving, sweep order, lakes, and the outlet of every scheme.
#include <gtest/gtest.h>

#include <cmath>

#include "overland/overland_grid.hpp"
#include "overland/overland_route.hpp"

namespace {

using kesta::model_state;
using kesta_test::plane;

void strip(model_state& m, int cols, double drop_x, double retention = 0.0, double dt = 1.0) {
    plane p;
    p.cols = cols;
    p.drop_x = drop_x;
    p.retention = retention;
    kesta_test::make_plane(m, p, dt);
    m.chan_routing = 1;
}

TEST(AdeFaces, WaterMovesDownTheSurfaceFromAboveTheUpwindRetention) {
    model_state m;
    strip(m, 4, 0.5, 0.1);
    double q[5] = {0.0, 7.0, 7.0, 7.0, 7.0};
    m.h[1] = 0.25;
    m.h[2] = 0.75;  // same surface as cell 1: nothing moves
    m.h[3] = 0.1;   // at its retention: nothing leaves it, but it receives
    kesta::ade_flux_x(m, m.h.data(), q);
    EXPECT_EQ(q[1], 0.0);
    EXPECT_GT(q[2], 0.0);
    EXPECT_EQ(q[3], 0.0);
    m.h[2] = 0.85;  // 0.1 m above cell 1's surface, 0.75 m above its retention
    kesta::ade_flux_x(m, m.h.data(), q);
    // -(1/0.05) 0.75^(5/3) sqrt(0.01) x 10 m
    EXPECT_NEAR(q[1], -20.0 * std::pow(0.75, 5.0 / 3.0), 1e-10);
}

TEST(AdeFaces, WetlandSpillsOverItsBermWithItsOwnRoughness) {
    model_state m;
    strip(m, 2, 0.1);
    kesta_test::add_wetland(m, 1, 0.1, 0.0, 0.1, 0.1);
    double q[3] = {};
    m.h[1] = 0.09;  // below the berm
    kesta::ade_flux_x(m, m.h.data(), q);
    EXPECT_EQ(q[1], 0.0);
    m.h[1] = 0.3;  // 0.2 m over the berm, past the transition depth; S = 0.04
    kesta::ade_flux_x(m, m.h.data(), q);
    EXPECT_NEAR(q[1], 0.2 / 0.1 * std::pow(0.2, 5.0 / 3.0) * 10.0, 1e-12);
}

TEST(AdeAcceptance, NegativeAndLargeChangesRejectOnlyBeyondTheirLimits) {
    const int up[3] = {0, 0, 1};
    double dh[3] = {};
    double q[3] = {0.0, 1.5e-5, 0.0};  // 1.5e-7 m out of cell 1 in 1 s
    double h[3] = {0.0, 1e-7, 0.0};
    EXPECT_EQ(kesta::ade_stability_check(2, h, dh, q, up, 10.0, 1.0), 0);
    EXPECT_EQ(h[1], 0.0);
    EXPECT_NEAR(h[2], 1.5e-7, 1e-20);
    double deep_negative[3] = {0.0, 1e-7, 0.0};
    q[1] = 2e-4;
    EXPECT_EQ(kesta::ade_stability_check(2, deep_negative, dh, q, up, 10.0, 1.0), 1);
    // 0.6 m out of a 1 m cell: rejected in a 1 s sub-step, not in 0.01 s.
    double deep[3] = {0.0, 1.0, 0.0};
    q[1] = 60.0;
    EXPECT_EQ(kesta::ade_stability_check(1, deep, dh, q, up, 10.0, 1.0), 1);
    double quick[3] = {0.0, 1.0, 0.0};
    q[1] = 6000.0;
    EXPECT_EQ(kesta::ade_stability_check(1, quick, dh, q, up, 10.0, 0.01), 0);
    EXPECT_NEAR(quick[1], 0.4, 1e-12);
}

// The upper cell of a 1 x 2 strip stands 9 m above a 1 m deep outlet cell
// and loses 0.3 of its depth per 1.25 s: 10, 5 and 2.5 s sub-steps are
// rejected and the step is done in eight 1.25 s sub-steps.
TEST(AdeSubSteps, ThreeRejectionsFinishTheStepInEighthsFromTheSavedDepths) {
    model_state m;
    strip(m, 2, 10.0, 0.0, 10.0);
    m.chan_routing = 0;
    m.overtype = 2;
    m.outslope = 1e-4;
    m.h[2] = 1.0;
    double h1 = 0.06;  // solves h^(2/3) sqrt((9 + h) / 10) = 0.15
    for (int k = 0; k < 50; ++k) h1 = std::pow(0.15 / std::sqrt((9.0 + h1) / 10.0), 1.5);
    m.h[1] = h1;
    const double start = (m.h[1] + m.h[2]) * 100.0;
    const double outflow = kesta::ade_overland_route(m, 10.0);
    EXPECT_EQ(m.ov_substeps_last, 8);
    EXPECT_NEAR((m.h[1] + m.h[2]) * 100.0 + outflow, start, 1e-12);
    // Face volumes of the final attempt alone.
    EXPECT_NEAR(m.volx[1], (h1 - m.h[1]) * 100.0, 1e-12);

    m.overtype = 7;  // no ADE kind: nothing moves
    const double h2 = m.h[2];
    EXPECT_EQ(kesta::ade_overland_route(m, 10.0), 0.0);
    EXPECT_EQ(m.h[2], h2);
}

// 2 x 2 cells, water only in cell 1, whose lower side is diked: water
// reaches cell 4 in one step only when the rows (1 to 2) go before the
// columns (2 to 4).
TEST(AdeSweepOrder, ConsecutiveStepsSweepInOppositeOrders) {
    model_state m;
    plane p;
    p.rows = p.cols = 2;
    p.drop_x = p.drop_y = 0.01;
    kesta_test::make_plane(m, p, 10.0);
    m.overtype = 2;
    m.chan_routing = 1;
    m.dike_map_given = 1;
    m.dike_mask = kesta::vec1<int>(4);
    m.dike_mask[1] = 4;
    m.h[1] = 0.01;
    kesta_test::step_with_rain(m, 0.0);
    EXPECT_GT(m.h[4], 0.0);
    EXPECT_EQ(m.ade_sweep_order, 2);
    for (int k = 1; k <= 4; ++k) m.h[k] = k == 1 ? 0.01 : 0.0;
    kesta_test::step_with_rain(m, 0.0);
    EXPECT_EQ(m.h[4], 0.0);
    EXPECT_GT(m.h[2], 0.0);
}

TEST(AdeLakes, OverlandLakeGainsWhatItsLandNeighbourLoses) {
    for (int overtype : {2, 3}) {
        model_state m;
        strip(m, 2, 0.5, 0.0, 5.0);
        m.overtype = overtype;
        kesta_test::add_overland_lake(m, 2, 99.7);
        m.h[1] = 0.05;
        kesta::ade_overland_route(m, 5.0);
        const double lost = (0.05 - m.h[1]) * 100.0;
        EXPECT_GT(lost, 0.0) << overtype;
        EXPECT_NEAR(m.oland_lakes[1].step_volume, lost, 1e-12) << overtype;
        EXPECT_EQ(m.h[2], 0.0) << overtype;
    }
}

TEST(Outlet, OutletThatCannotSupplyItsOutflowIsEmptiedNotOverdrawn) {
    for (int overtype : {1, 2, 3}) {
        model_state m;
        plane p;
        p.n = 0.001;
        kesta_test::make_plane(m, p, 60.0);
        m.overtype = overtype;
        m.outslope = 1.0;
        m.h[1] = 0.001;  // 0.1 m3 against 6 m3 of outflow in the step
        kesta_test::step_with_rain(m, 0.0);
        EXPECT_EQ(m.h[1], 0.0) << overtype;
        EXPECT_NEAR(m.discharge_volume_run, 0.1, 1e-15) << overtype;
    }
}

}  // namespace
