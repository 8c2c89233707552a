// The overland schemes against kinematic-wave theory, and step by step: the
// explicit scheme's sub-step division and reuse, the alternating-direction
// scheme's face discharges, acceptance test and sub-step halving down to its
// 0.001 s floor, the sweep order of both, the faces at retention, wetland
// berms and dikes, lakes, and the outlet of every scheme.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "overland/overland_grid.hpp"
#include "overland/overland_route.hpp"

namespace {

using kesta::model_state;
using kesta_test::make_strip;

// Routes dt seconds with the scheme of m.overtype (the explicit one unless
// an ADE kind is set); returns what it printed.
std::string route(model_state& m, double dt, double* volume = nullptr) {
    double v = 0.0;
    const std::string out = kesta_test::printed_by(
        [&] { v = m.overtype >= 2 ? kesta::ade_overland_route(m, dt) : kesta::explicit_overland_route(m, dt); });
    if (volume) *volume = v;
    return out;
}

// Every scheme: rain on a uniform plane and the drainage of a single cell
// against theory, the outlet, and lakes.
struct scheme_case {
    const char* name;
    int overtype;
    // "ade-pc" drains the outlet inside the column sweep, which alternates
    // between going first and last: its outflow alternates around the
    // equilibrium from one step to the next, and only a two-step cycle
    // settles.
    bool steady_each_step;
};

class EveryScheme : public ::testing::TestWithParam<scheme_case> {};

// A 1 x 20 strip of 10 m cells falling 0.1 m per cell, n = 0.05, outlet
// slope 0.01, rain 36 mm/h (1e-5 m/s) for 60 min. Theory: equilibrium outflow
// i x A = 0.0200 m3/s at an outlet depth of 0.015849 m after 1584.9 s; on the
// rising limb Q(t) = (1/n) sqrt(S) (i t)^(5/3) x width, 3.96e-3 m3/s at 600 s.
TEST_P(EveryScheme, RainOnAPlaneReachesTheKinematicWaveEquilibriumAndConservesWater) {
    model_state m;
    const double dt = 5.0;
    kesta_test::make_plane(m, {1, 20, 10.0, 0.1}, dt);
    m.overtype = GetParam().overtype;
    m.outslope = 0.01;

    const double rain = 36.0;  // mm/h
    const int steps = static_cast<int>(3600.0 / dt);
    double volume_590 = 0.0, volume_600 = 0.0, volume_3590 = 0.0;
    for (int k = 1; k <= steps; ++k) {
        kesta_test::step_with_rain(m, rain);
        ASSERT_EQ(kesta::g_error_record.stop, 0);
        const double t = k * dt;
        if (t == 590.0) volume_590 = m.discharge_volume_run;
        if (t == 600.0) volume_600 = m.discharge_volume_run;
        if (t == 3590.0) volume_3590 = m.discharge_volume_run;
    }
    // Mean outflow over the last two steps (one cycle of sweep orders).
    const double q_end = (m.discharge_volume_run - volume_3590) / 10.0;
    EXPECT_NEAR(q_end, 0.0200, 0.0200 * 1e-3);
    if (GetParam().steady_each_step) {
        EXPECT_NEAR(m.q_out, 0.0200, 0.0200 * 1e-3);
        // The outflow of the step leaves from the depth before it drains.
        EXPECT_NEAR(m.h[20] + m.q_out * dt / 100.0, 0.015849, 0.015849 * 1e-3);
    }
    EXPECT_NEAR((volume_600 - volume_590) / 10.0, 3.96e-3, 3.96e-3 * 0.03);

    const double rained = 1e-5 * 3600.0 * 20 * 100.0;
    const double balance = kesta_test::stored_volume(m) + m.discharge_volume_run;
    EXPECT_NEAR(balance, rained, rained * 1e-9);
    EXPECT_DOUBLE_EQ(m.discharge_volume_sum, m.discharge_volume_run);
}

// One 10 m cell, n = 0.05, outlet slope 0.01, 0.1 m deep, no rain:
// dh/dt = -0.2 h^(5/3), so h(60 s) = (0.1^(-2/3) + 0.4 / 3 x 60)^(-3/2).
TEST_P(EveryScheme, SingleCellDrainsAsTheOutletLawPredicts) {
    model_state m;
    kesta_test::make_plane(m, {}, 0.1);
    m.overtype = GetParam().overtype;
    m.outslope = 0.01;
    m.h[1] = 0.1;
    const double expected = std::pow(std::pow(0.1, -2.0 / 3.0) + 0.4 / 3.0 * 60.0, -1.5);
    ASSERT_NEAR(expected, 0.02225, 1e-5);
    for (int k = 1; k <= 600; ++k) kesta_test::step_with_rain(m, 0.0);
    EXPECT_NEAR(m.h[1], expected, expected * 0.01);
    EXPECT_NEAR(m.discharge_volume_run, (0.1 - m.h[1]) * 100.0, 1e-12);
}

// The upper cell of a 1 x 2 strip drains 5 m down to the outlet cell: in a
// 15 s sub-step its face would take 0.061 m from its 0.03 m, in 5 s 0.020 m.
TEST(ExplicitSubSteps, FailingStepIsRedoneInThirdsWhichTheNextFourCallsReuse) {
    model_state m;
    make_strip(m, 2, 5.0);
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
    make_strip(next, 2, 5.0);
    next.h[1] = 0.001;
    route(next, 15.0);
    EXPECT_EQ(next.ov_substeps_last, 1);
}

// Strips of two cells whose steps are too long for the water they hold: the
// step is divided, or the division given up and counted though nothing is
// printed, and whatever is accepted, no cell gives more than it has.
TEST(SubSteps, NoSchemeOverdrawsADonor) {
    const struct {
        const char* what;
        int overtype;
        double drop, n;                // m per cell, Manning's n
        int wet;                       // the cell holding the water
        double depth, dt, tolerance;  // m, s, m
        int giveups;
    } cases[] = {
        // Ground rising 5 m to the right: a 100 s step would carry 0.021 m
        // back out of a 0.005 m deep cell, a small move by the celerity test
        // but more than the cell holds.
        {"explicit flow uphill", 1, -5.0, 0.05, 2, 0.005, 100.0, 1e-15, 0},
        // A 1 m deep cell 5 m above its neighbour, n = 0.01, still moves more
        // than 0.06 m in a sub-step of 100 s / 3^5: the call gives up dividing
        // and would leave the cell 2 m below empty.
        {"explicit give-up", 1, 5.0, 0.01, 1, 1.0, 100.0, 1e-15, 1},
        // In one 30 s predictor-corrector pass the prediction alone would
        // move 42 m of depth out of it: the step is made in shorter passes.
        {"ade-pc halving", 3, 5.0, 0.05, 1, 1.0, 30.0, 1e-14, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        model_state m;
        make_strip(m, 2, c.drop);
        m.overtype = c.overtype;
        m.dist_rough[1] = m.dist_rough[2] = c.n;
        m.h[c.wet] = c.depth;
        EXPECT_EQ(route(m, c.dt), "");
        EXPECT_GT(m.ov_substeps_last, 1);
        EXPECT_EQ(m.ov_substep_giveups, c.giveups);
        EXPECT_GE(m.h[1], 0.0);
        EXPECT_GE(m.h[2], 0.0);
        EXPECT_NEAR(m.h[1] + m.h[2], c.depth, c.tolerance);
    }
}

TEST(ExplicitFaces, FlatEqualDepthsPassATinyFluxWhileRetentionAndWetlandBermsHoldWater) {
    model_state m;
    make_strip(m, 2, 0.0);
    m.h[1] = m.h[2] = 0.05;
    route(m, 1.0);
    EXPECT_GT(m.qx[1], 0.0);
    EXPECT_LT(m.qx[1], 1e-9);

    model_state held;
    make_strip(held, 2, 0.0, 0.002);
    held.h[1] = 0.001;
    held.h[2] = 0.5;  // higher neighbour
    route(held, 1.0);
    EXPECT_EQ(held.qx[1], 0.0);
    EXPECT_EQ(held.h[1], 0.001);

    model_state wet;
    make_strip(wet, 2, 0.1);
    kesta_test::add_wetland(wet, 1, 0.1, 0.001, 0.0, 0.1);
    wet.h[1] = wet.h[2] = 0.05;
    route(wet, 1.0);
    // Below its berm it only seeps: depth x slope x seepage = 0.05 x 0.01 x 0.001 per m of face, 10 m wide.
    EXPECT_NEAR(wet.qx[1], 5e-6, 1e-18);
}

TEST(ExplicitFaces, BlockedDikeSideCarriesNothing) {
    model_state m;
    kesta_test::make_square(m, 2, 0.1, 1.0);
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
    kesta_test::make_square(m, 3, 1.0, 10.0);
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
    make_strip(m, 3, 0.0, 0.002);
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

TEST(AdeFaces, WaterMovesDownTheSurfaceFromAboveTheUpwindRetentionOrWetlandBerm) {
    model_state m;
    make_strip(m, 4, 0.5, 0.1);
    double q[5] = {0.0, 7.0, 7.0, 7.0, 7.0};
    m.h[1] = 0.25;
    m.h[2] = 0.75;  // same surface as cell 1: nothing moves
    m.h[3] = 0.1;   // at its retention: nothing leaves it, but it receives
    kesta::ade_flux_x(m, m.h.data(), q);
    EXPECT_EQ((std::vector<double>{q[1], q[3]}), (std::vector<double>{0.0, 0.0}));
    EXPECT_GT(q[2], 0.0);
    m.h[2] = 0.85;  // 0.1 m above cell 1's surface, 0.75 m above its retention
    kesta::ade_flux_x(m, m.h.data(), q);
    // -(1/0.05) 0.75^(5/3) sqrt(0.01) x 10 m
    EXPECT_NEAR(q[1], -20.0 * std::pow(0.75, 5.0 / 3.0), 1e-10);

    // A wetland spills over its berm with its own roughness.
    model_state w;
    make_strip(w, 2, 0.1);
    kesta_test::add_wetland(w, 1, 0.1, 0.0, 0.1, 0.1);
    w.h[1] = 0.09;  // below the berm
    kesta::ade_flux_x(w, w.h.data(), q);
    EXPECT_EQ(q[1], 0.0);
    w.h[1] = 0.3;  // 0.2 m over the berm, past the transition depth; S = 0.04
    kesta::ade_flux_x(w, w.h.data(), q);
    EXPECT_NEAR(q[1], 0.2 / 0.1 * std::pow(0.2, 5.0 / 3.0) * 10.0, 1e-12);
}

TEST(AdeAcceptance, NegativeAndLargeChangesRejectOnlyBeyondTheirLimits) {
    const int nb[3] = {0, 2, 0};
    const int up[3] = {0, 0, 1};
    double dh[3] = {};
    double q[3] = {0.0, 1.5e-5, 0.0};  // 1.5e-7 m out of cell 1 in 1 s
    double h[3] = {0.0, 1e-7, 0.0};
    EXPECT_EQ(kesta::ade_stability_check(2, h, dh, q, nb, up, 10.0, 1.0), 0);
    // Accepted as empty: cell 1 gives the 1e-7 m it has, and no more.
    EXPECT_EQ(h[1], 0.0);
    EXPECT_NEAR(h[2], 1e-7, 1e-20);
    EXPECT_NEAR(q[1], 1e-5, 1e-18);
    double deep_negative[3] = {0.0, 1e-7, 0.0};
    q[1] = 2e-4;
    EXPECT_EQ(kesta::ade_stability_check(2, deep_negative, dh, q, nb, up, 10.0, 1.0), 1);
    // 0.6 m out of a 1 m cell: rejected in a 1 s sub-step, not in 0.01 s.
    double deep[3] = {0.0, 1.0, 0.0};
    q[1] = 60.0;
    EXPECT_EQ(kesta::ade_stability_check(1, deep, dh, q, nb, up, 10.0, 1.0), 1);
    double quick[3] = {0.0, 1.0, 0.0};
    q[1] = 6000.0;
    EXPECT_EQ(kesta::ade_stability_check(1, quick, dh, q, nb, up, 10.0, 0.01), 0);
    EXPECT_NEAR(quick[1], 0.4, 1e-12);
}

// Cells a little overdrawn end empty alike whether "ade" sweeps the plain
// grid or, cell by cell, the grid with a dike map that closes nothing: the
// same numbers, bit for bit. Along a row, steps of 1550 s to 1560 s
// overdraw the middle cell in their first sub-step and in a later one; down
// a column, steps of 1e5 s overdraw it in their only sub-step, which the
// second sweep finishes with the discharges and counts.
TEST(AdeAcceptance, OverdrawnCellsEndAlikeInEitherSweep) {
    struct strip {
        int rows, cols;
        double top, from_dt;
    };
    for (const strip& c : {strip{1, 3, 2.6e-4, 1550.0}, strip{3, 1, 0.0, 1e5}}) {
        for (double dt = c.from_dt; dt <= c.from_dt + 10.0; dt += 1.0) {
            std::vector<double> first;
            for (const bool diked : {false, true}) {
                model_state m;
                kesta_test::make_plane(m, {c.rows, c.cols, 10.0, 1.0, 1.0}, 1.0);
                m.chan_routing = 1;
                m.overtype = 2;
                if (diked) {
                    m.dike_map_given = 1;
                    m.dike_mask = kesta::vec1<int>(3);
                }
                m.h[1] = c.top;
                m.h[2] = 1e-7;
                m.h[3] = 5e-7;
                EXPECT_GE(kesta::ade_overland_route(m, dt), 0.0);
                std::vector<double> got = {m.h[1], m.h[2], m.h[3], m.qx[1], m.qx[2], m.qy[1], m.qy[2], m.volx[1]};
                for (const int count : {m.ov_route_bad, m.ov_route_wet, m.ov_route_flowing, m.ov_substeps_last}) {
                    got.push_back(count);
                }
                if (first.empty()) first = got;
                else ASSERT_TRUE(got == first) << c.rows << " x " << c.cols << ", " << dt << " s";
            }
            if (c.rows > 1) {  // the only sub-step overdrew the middle cell
                EXPECT_EQ(first.back(), 1.0);
                EXPECT_EQ(first[1], 0.0);
            }
        }
    }
}

// The counts an "ade" or "ade-pc" step leaves stand for the cells as it
// ends: an outlet that its outflow empties in the step's one sub-step is
// counted dry, with the faces' discharges and in either sweep order.
TEST(AdeCounts, AnOutletItsOutflowEmptiesIsCountedDry) {
    for (const int overtype : {2, 3}) {
        for (const int order : {1, 2}) {
            SCOPED_TRACE(testing::Message() << "overtype " << overtype << ", order " << order);
            model_state m;
            kesta_test::make_plane(m, {3, 3, 10.0, 0.0, 0.0, 0.01}, 100.0);
            m.overtype = overtype;
            m.ade_sweep_order = order;
            m.outslope = 100.0;  // steep enough to empty it
            m.h[2] = 5e-4;  // spreads to its neighbours, the outlet's too far
            m.h[m.ncells] = 1e-4;
            EXPECT_GT(kesta::ade_overland_route(m, 100.0), 0.0);
            EXPECT_EQ(m.ov_substeps_last, 1);
            // "ade-pc" drains the outlet after its column pass, which order 2
            // makes the last.
            if (overtype == 2 || order == 2) {
                EXPECT_EQ(m.h[m.ncells], 0.0);
            }
            int wet = 0, flowing = 0;
            for (int k = 1; k <= m.ncells; ++k) {
                wet += m.h[k] > 1e-16;
                flowing += m.qx[k] != 0.0 || m.qy[k] != 0.0;
            }
            EXPECT_EQ(m.ov_route_counted, 1);
            EXPECT_EQ(m.ov_route_wet, wet) << "order " << order;
            EXPECT_EQ(m.ov_route_flowing, flowing) << "order " << order;
            EXPECT_GT(flowing, 0);
        }
    }
}

// The upper cell of a 1 x 2 strip stands 9 m above a 1 m deep outlet cell
// and loses 0.3 of its depth per 1.25 s: 10, 5 and 2.5 s sub-steps are
// rejected and the step is done in eight 1.25 s sub-steps.
TEST(AdeSubSteps, ThreeRejectionsFinishTheStepInEighthsFromTheSavedDepths) {
    model_state m;
    make_strip(m, 2, 10.0, 0.0, 10.0);
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

// The ADE sub-steps halve down to 0.001 s, however long the step. A 50 m
// deep cell 10 m above its neighbour: 7200 / 2^19 s sub-steps change it by
// more than half its depth, 7200 / 2^20 s (0.0069 s, below 7200 s / 1e6)
// sub-steps are accepted.
TEST(AdeSubSteps, ALongStepHalvesBelowAMillionthOfItself) {
    model_state m;
    make_strip(m, 2, 10.0, 0.0, 7200.0);
    m.overtype = 2;
    m.h[1] = 50.0;
    m.h[2] = 0.1;
    double volume = -1.0;
    const std::string out = route(m, 7200.0, &volume);
    EXPECT_GE(volume, 0.0);
    EXPECT_EQ(kesta::g_error_record.stop, 0) << out;
    EXPECT_EQ(m.ov_substeps_last, 1 << 20);
    EXPECT_NEAR(m.h[1] + m.h[2], 50.1, 1e-9);
}

// One 1 m deep cell 100 m above its 1 m neighbour with n = 0.001 would lose
// ten times its depth in 0.001 s, in "ade" and in "ade-pc" alike.
TEST(AdeSubSteps, AGridThatNeedsLessThanAMillisecondStopsTheRunWithAdvice) {
    for (int overtype : {2, 3}) {
        SCOPED_TRACE(overtype);
        model_state m;
        kesta_test::make_plane(m, {1, 2, 1.0, 100.0, 0.0, 0.001}, 1.0);
        m.chan_routing = 1;
        m.overtype = overtype;
        m.h[1] = 1.0;
        double volume = 0.0;
        const std::string out = route(m, 1.0, &volume);
        EXPECT_EQ(volume, -1.0);
        EXPECT_EQ(kesta::g_error_record.stop, 1);
        EXPECT_TRUE(kesta_test::has(out, "less than 1/1000 of a second\n")) << out;
        EXPECT_TRUE(kesta_test::has(out, "use OVERTYPE EXPLICIT, larger cells or a larger Manning's n")) << out;
        kesta::g_error_record = kesta::error_record();
    }
}

// 2 x 2 cells, water only in cell 1, whose lower side is diked: water
// reaches cell 4 in one step only when the rows (1 to 2) go before the
// columns (2 to 4).
TEST(AdeSweepOrder, ConsecutiveStepsSweepInOppositeOrders) {
    model_state m;
    kesta_test::make_square(m, 2, 0.01, 10.0);
    m.overtype = 2;
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

TEST_P(EveryScheme, OutletThatCannotSupplyItsOutflowIsEmptiedNotOverdrawn) {
    model_state m;
    kesta_test::make_plane(m, {1, 1, 10.0, 0.0, 0.0, 0.001}, 60.0);
    m.overtype = GetParam().overtype;
    m.outslope = 1.0;
    m.h[1] = 0.001;  // 0.1 m3 against 6 m3 of outflow in the step
    kesta_test::step_with_rain(m, 0.0);
    EXPECT_EQ(m.h[1], 0.0);
    EXPECT_NEAR(m.discharge_volume_run, 0.1, 1e-15);
}

// In every scheme a lake's exchange with the land is what one routing call
// moved: an overland lake gains what its land neighbour loses; a channel
// lake does not book again the volumes still pending from elsewhere, and
// gives the land no more than it holds.
TEST_P(EveryScheme, LakesCountItsOwnExchangeAndALakeGivesAtMostItsVolume) {
    model_state o;
    make_strip(o, 2, 0.5, 0.0, 5.0);
    o.overtype = GetParam().overtype;
    kesta_test::add_overland_lake(o, 2, 99.7);
    o.h[1] = 0.05;
    route(o, 5.0);
    const double lost = (0.05 - o.h[1]) * 100.0;
    EXPECT_GT(lost, 0.0);
    EXPECT_NEAR(o.oland_lakes[1].step_volume, lost, 1e-12);
    EXPECT_EQ(o.h[2], 0.0);

    model_state m;
    make_strip(m, 3, 0.0);
    m.overtype = GetParam().overtype;
    kesta_test::add_channel_lake(m, 3, 100.02);
    m.h[2] = 0.05;  // 2.5 cm above the lake: flows in
    m.lake_in_dv[1] = 50.0;
    m.lake_out_dv[1] = 20.0;
    const double before = m.h[1] + m.h[2];
    route(m, 1.0);
    const double into_lake = (before - m.h[1] - m.h[2]) * 100.0;
    EXPECT_GT(into_lake, 0.0);
    EXPECT_NEAR(m.lake_in_dv[1] - m.lake_out_dv[1], into_lake, 1e-12);
    EXPECT_NEAR(m.lake_volume[1], into_lake, 1e-12);

    // An empty lake standing 5 cm above a dry neighbour's ground gives nothing.
    m.h[1] = m.h[2] = 0.0;
    m.lake_elev[1] = 100.05;
    m.lake_volume[1] = 0.0;
    route(m, 1.0);
    EXPECT_EQ(m.h[2], 0.0);
    EXPECT_EQ(m.lake_out_dv[1], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Overland, EveryScheme,
                         ::testing::Values(scheme_case{"explicit", 1, true},
                                           scheme_case{"ade", 2, true},
                                           scheme_case{"ade_pc", 3, false}),
                         [](const ::testing::TestParamInfo<scheme_case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
