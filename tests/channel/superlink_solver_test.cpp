// The superlink solver against independent results: grate inlet flows from
// their formulas, critical depths and free-fall ratings from their
// definitions, steady flow through one pipe, two parallel superlinks and
// pipes of four sections in a row, known heads of a varying flow, the
// network's water balance, a sub-step solved again in halves against the
// same halves taken as calls, and a singular junction system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "channel/superlink/superlink_solver.hpp"
#include "channel/superlink_network.hpp"
#include "core/error_record.hpp"

namespace {

using namespace kesta;
using kesta_test::build_pipe_network;
using kesta_test::pipe_network;
using kesta_test::pipe_network_layout;

TEST(SuperlinkSolver, GrateTakesWeirFlowWhenShallowAndOrificeFlowWhenDeep) {
    EXPECT_NEAR(grate_inflow(1, 0.6, 0.6, 0.12), 0.123864, 2e-6);
    EXPECT_NEAR(grate_inflow(1, 0.6, 0.6, 0.31), 0.467062, 2e-6);
    EXPECT_NEAR(grate_inflow(3, 0.6, 0.6, 0.31), 3 * 0.467062, 6e-6);
}

// The depth at which A sqrt(g A / T) = q, by halving the bracket 1 mm inside
// the invert and crown (its ends when the flow lies outside it).
double critical_by_halving(int type, double d, double w, double q) {
    auto critical_flow = [&](double y) {
        const pipe_section_values p = pipe_section_props(type, d, w, y);
        return p.area * std::sqrt(9.81 * p.area / p.top_width);
    };
    double lo = 0.001, hi = d - 0.001;
    if (critical_flow(hi) <= q) return hi;
    if (critical_flow(lo) >= q) return lo;
    while (hi - lo > 1e-13) {
        const double mid = 0.5 * (lo + hi);
        (critical_flow(mid) < q ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

TEST(SuperlinkSolver, CriticalDepthMeetsItsDefinitionInEverySection) {
    const int types[] = {pipe_circle, pipe_box, pipe_polynomial};
    for (int type : types) {
        // From a trickle to far past what a 1.2 m pipe carries at its crown
        // (circle and arch then give their bracket's ends); the box's
        // depths stay inside it up to 3 m3/s.
        for (double q = 1e-7; q < (type == pipe_box ? 3.0 : 100.0); q *= 1.3) {
            if (type == pipe_box && q < 1e-3) continue;
            EXPECT_NEAR(pipe_critical_depth(type, 1.2, 1.5, q), critical_by_halving(type, 1.2, 1.5, q), 1e-9)
                << "type " << type << " flow " << q;
        }
    }
}

// The slope of a free-falling end's rating is the change of its flow with
// depth: where critical flow governs (a mild pipe) and where normal flow
// does (a steep one), below 0.95 of the rise and above it.
TEST(SuperlinkSolver, FreeFallRatingSlopeIsTheChangeOfItsFlow) {
    const int types[] = {pipe_circle, pipe_box, pipe_polynomial};
    const double h = 1e-6;  // m
    for (int type : types) {
        for (double slope : {0.001, 0.1}) {
            for (double y : {0.05, 0.3, 0.6, 0.9, 0.97}) {
                const free_fall_rating r = pipe_free_fall(type, 1.0, 1.2, 0.013, slope, y);
                const double change = (pipe_free_fall(type, 1.0, 1.2, 0.013, slope, y + h).flow -
                                       pipe_free_fall(type, 1.0, 1.2, 0.013, slope, y - h).flow) / (2.0 * h);
                EXPECT_GT(r.slope, 0.0);
                EXPECT_NEAR(r.slope, change, 1e-6 * r.slope) << "type " << type << " slope " << slope << " depth " << y;
            }
        }
    }
}

// A superlink of a circular pipe and a box pipe, both 50 m, water 0.3 m
// deep at every node: each node holds half of each adjacent pipe with that
// pipe's own section.
TEST(SuperlinkSolver, WaterInPipesOfTwoShapesIsEachPipesSectionTimesItsLength) {
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 2}}, {10.0, 9.0});
    p.pipes = 2;
    build_pipe_network(s, p);
    s.sec_type[1][2] = pipe_box;
    s.diameter[1][2] = 0.8;
    s.width[1][2] = 1.2;
    for (int k = 1; k <= 3; ++k) s.slink_node_depth[1][k] = 0.3;
    for (int j = 1; j <= 2; ++j) s.sjunc_head[j] = s.junc_bottom[j];
    const double circle = 0.25 * std::acos(0.4) - 0.2 * std::sqrt(0.3 * 0.7);  // m2: r^2 t - (r - y) sqrt(y (D - y))
    EXPECT_NEAR(superlink_storage(s), 50.0 * (circle + 0.3 * 1.2), 1e-12);
}

// Runs `calls` solver calls of dt s with `inflow` m3/s into junction 1.
void run(storm_drain_state& s, int calls, double dt, double inflow) {
    vec1<double> h(1);
    for (int c = 0; c < calls; ++c) {
        s.superlink_tile_flow[1][1] = inflow;
        ASSERT_EQ(superlink_step(s, h, 10.0, dt), 0);
    }
}

// Through one superlink and through two in parallel: every pipe carries its
// share and the free outfall passes it all.
TEST(SuperlinkSolver, SteadyInflowPassesEveryPipeAndLeavesAtTheFreeOutfall) {
    g_error_record.clear_for_run();
    const struct {
        const char* name;
        int links;
        double inflow;  // m3/s
    } cases[] = {{"one superlink", 1, 0.5}, {"two in parallel", 2, 0.6}};
    for (const auto& c : cases) {
        storm_drain_state s;
        build_pipe_network(s, pipe_network(std::vector<std::pair<int, int>>(c.links, {1, 2}), {10.0, 9.0}));
        run(s, 240, 60.0, c.inflow);
        const double share = c.inflow / c.links;
        for (int l = 1; l <= c.links; ++l) {
            for (int k = 1; k <= 4; ++k)
                EXPECT_NEAR(superlink_pipe_flow(s, l, k), share, 1e-6) << "case " << c.name << " " << l << " " << k;
        }
        const double out_before = s.superlink_volume_out;
        run(s, 1, 60.0, c.inflow);
        EXPECT_NEAR((s.superlink_volume_out - out_before) / 60.0, c.inflow, 1e-6) << "case " << c.name;
        // The wave-travel time of a 50 m pipe is well under 60 s.
        EXPECT_GT(s.superlink_substeps, 1) << "case " << c.name;
    }
}

// Area, wetted perimeter and top width (m2, m, m) of a part-full circle of
// diameter d or a box of rise d and width w at depth y, from geometry.
struct part_full {
    double area, perimeter, top;
};
part_full part_full_section(int type, double d, double w, double y) {
    if (type == pipe_box) return {w * y, w + 2.0 * y, w};
    const double r = 0.5 * d, angle = std::acos((r - y) / r), half_chord = std::sqrt(y * (d - y));
    return {r * r * angle - (r - y) * half_chord, d * angle, 2.0 * half_chord};
}

// One superlink of eight 50 m pipes at 3 %: two circles of 1 m, two of
// 0.6 m, two boxes of 0.5 m by 0.9 m and two circles of 1.2 m, so that
// three of its nodes join pipes of different sections, under a constant
// inflow. Steady, every pipe carries the inflow, the outfall passes it and
// the water balances. The flow is supercritical throughout (checked from
// the sections), so each pipe's friction acts in its own section at its
// upstream node's depth, never in the section of the pipe above that node:
// its water surface falls by Manning's friction there plus the loss
// Q^2 / (g A Au), A its area at its mean depth, to 1 um in 1.5 m.
TEST(SuperlinkSolver, SteadySupercriticalFlowThroughPipesOfDifferentSectionsLosesEachPipesOwnHead) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 2}}, {20.0, 8.0});
    p.pipes = 8;
    p.slope = 0.03;
    build_pipe_network(s, p);
    const struct {
        int type;
        double d, w;
    } pipes[] = {{pipe_circle, 1.0, 0.0}, {pipe_circle, 1.0, 0.0}, {pipe_circle, 0.6, 0.0}, {pipe_circle, 0.6, 0.0},
                 {pipe_box, 0.5, 0.9},    {pipe_box, 0.5, 0.9},    {pipe_circle, 1.2, 0.0}, {pipe_circle, 1.2, 0.0}};
    for (int k = 1; k <= 8; ++k) {
        s.sec_type[1][k] = pipes[k - 1].type;
        s.diameter[1][k] = pipes[k - 1].d;
        s.width[1][k] = pipes[k - 1].w;
    }
    const double q = 0.3;  // m3/s
    run(s, 240, 60.0, q);
    for (int k = 1; k <= 8; ++k) EXPECT_NEAR(superlink_pipe_flow(s, 1, k), q, 1e-6) << "pipe " << k;
    const double out_before = s.superlink_volume_out;
    run(s, 1, 60.0, q);
    EXPECT_NEAR((s.superlink_volume_out - out_before) / 60.0, q, 1e-6);
    const double in = s.superlink_volume_in, stored = s.volume_remaining_in_drains - s.initial_volume_sub_surface_drains;
    EXPECT_NEAR(in - s.superlink_volume_out + s.drain_cleanup_volume + s.drain_linearisation_volume, stored, 1e-9 * in);
    const double* y = s.slink_node_depth[1];
    for (int k = 1; k <= 8; ++k) {
        const auto& c = pipes[k - 1];
        const part_full up = part_full_section(c.type, c.d, c.w, y[k]);
        const part_full mid = part_full_section(c.type, c.d, c.w, 0.5 * (y[k] + y[k + 1]));
        const double fr_up = q * q * up.top / (9.81 * up.area * up.area * up.area);
        const double fr_mid = q * q * mid.top / (9.81 * mid.area * mid.area * mid.area);
        const double radius = up.area / up.perimeter;
        const double friction = 50.0 * 0.013 * 0.013 * q * q / (up.area * up.area * std::pow(radius, 4.0 / 3.0));
        const double loss = q * q / (9.81 * mid.area * up.area);
        const double fall = 0.03 * 50.0 + y[k] - y[k + 1];
        ASSERT_GE(std::min(fr_up, fr_mid), 1.0) << "pipe " << k << " is not supercritical";
        EXPECT_NEAR(fall, friction + loss, 1e-6) << "pipe " << k;
    }
}

// A tree of seven junctions, each joined to junction j / 2, the first a free
// outfall; superlinks of three 50 m circular pipes.
void build_tree_of_seven(storm_drain_state& s) {
    pipe_network_layout p = pipe_network({}, {10.0, 10.75, 10.75, 11.5, 11.5, 11.5, 11.5});
    p.pipes = 3;
    p.fixed_head = {1};
    for (int j = 2; j <= 7; ++j) p.links.emplace_back(j, j / 2);
    build_pipe_network(s, p);
}

// A tree of seven junctions (each joined to junction j / 2, the first a free
// outfall), superlinks of three 50 m pipes, circular and box, under inflows
// that rise and fall at the four heads, over 200 sub-steps of 1 s: the heads
// are known to 1 mm, far above the tolerances of the solver's inner
// iterations (critical depths, free-fall ratings, node storage), so they
// hold however those are solved.
TEST(SuperlinkSolver, VaryingFlowThroughATreeKeepsItsKnownHeads) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    build_tree_of_seven(s);
    for (int l = 1; l <= 6; l += 2) {  // the superlinks from junctions 2, 4 and 6: box pipes
        for (int k = 1; k <= 3; ++k) {
            s.sec_type[l][k] = pipe_box;
            s.diameter[l][k] = 0.8;
            s.width[l][k] = 1.2;
        }
    }
    vec1<double> h(1);
    for (int c = 0; c < 200; ++c) {
        for (int l = 3; l <= 6; ++l) s.superlink_tile_flow[l][1] = 0.05 * (1.0 + std::sin(0.05 * c + l));
        ASSERT_EQ(superlink_step(s, h, 10.0, 1.0), 0);
        ASSERT_EQ(s.superlink_substeps, 1);
    }
    const double known[] = {10.0, 10.784781, 10.847221, 11.545373, 11.654032, 11.586779, 11.649598};
    for (int j = 1; j <= 7; ++j) EXPECT_NEAR(s.sjunc_head[j], known[j - 1], 1e-3) << "junction " << j;
}

// The tree above under inflows that rise steadily at its four heads, 1 s
// sub-steps: once the flow is established, each sub-step's storage
// iteration starts where the nodes' trends carry their depths and finishes
// in its first pass, and the water still balances.
TEST(SuperlinkSolver, SmoothlyRisingInflowIsFollowedInOnePassPerSubstep) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    build_tree_of_seven(s);
    vec1<double> h(1);
    double in = 0.0, out = 0.0, made = 0.0;
    int single = 0;
    for (int c = 0; c < 900; ++c) {
        for (int l = 3; l <= 6; ++l) s.superlink_tile_flow[l][1] = 0.02 + 0.0003 * c;
        s.superlink_volume_in = s.superlink_volume_out = s.drain_cleanup_volume = s.drain_linearisation_volume = 0.0;
        ASSERT_EQ(superlink_step(s, h, 10.0, 1.0), 0);
        ASSERT_EQ(s.superlink_substeps, 1);
        in += s.superlink_volume_in;
        out += s.superlink_volume_out;
        made += s.drain_cleanup_volume + s.drain_linearisation_volume;
        if (c >= 300 && s.superlink_passes == 1) ++single;
    }
    EXPECT_GE(single, 570) << "of 600 sub-steps";
    const double stored = s.volume_remaining_in_drains - s.initial_volume_sub_surface_drains;
    EXPECT_NEAR(in - out + made, stored, 1e-9 * in);
    EXPECT_LT(std::fabs(made), 1e-9 * in);
}

TEST(SuperlinkSolver, ConservesWaterThroughAFillingAndDrainingTree) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 3}, {2, 3}, {3, 4}}, {11.0, 11.0, 10.0, 9.0});
    p.junction_area = 4.0;
    build_pipe_network(s, p);
    vec1<double> h(1);
    double deepest = 0.0;
    for (int c = 0; c < 120; ++c) {
        // A storm on junction 1 that rises, falls and stops.
        s.superlink_tile_flow[1][1] = c < 60 ? 0.02 * c : 0.0;
        s.superlink_tile_flow[2][1] = c < 30 ? 0.3 : 0.0;
        ASSERT_EQ(superlink_step(s, h, 10.0, 30.0), 0);
        for (int l = 1; l <= 3; ++l)
            for (int k = 1; k <= 5; ++k) deepest = std::max(deepest, s.slink_node_depth[l][k]);
    }
    EXPECT_GT(deepest, 1.0);  // pipes surcharge
    const double stored = s.volume_remaining_in_drains - s.initial_volume_sub_surface_drains;
    const double error = s.superlink_volume_in - s.superlink_volume_out - stored + s.drain_cleanup_volume;
    EXPECT_GT(s.superlink_volume_in, 1000.0);
    // Every node's continuity and every junction's balance hold with the
    // water the nodes really hold at their new depths: the pipes fill to
    // their crowns and drain again, and no water is created or lost beyond
    // what the floors add and book.
    EXPECT_LT(std::fabs(error), 1e-9 * s.superlink_volume_in) << error;
    EXPECT_LT(std::fabs(s.drain_linearisation_volume), 1e-9 * s.superlink_volume_in);
    EXPECT_LT(s.drain_cleanup_volume, 0.03 * s.superlink_volume_in);
}

// Circular pipes of two diameters in turn and a box, so that most nodes
// stand between two different sections, under an inflow that fills them
// past their crowns and lets them drain: after every call the water the
// solver keeps for its nodes (each node's sections at its depth, kept from
// an earlier pass or carried on by its width) is the water of the nodes'
// sections at their depths worked out afresh.
TEST(SuperlinkSolver, KeptWaterIsTheNodesSectionsAtTheirDepths) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 2}}, {10.0, 9.0});
    p.pipes = 5;
    p.slope = 0.004;
    build_pipe_network(s, p);
    for (int k : {2, 4}) s.diameter[1][k] = 0.6;
    s.sec_type[1][5] = pipe_box;
    s.diameter[1][5] = 0.8;
    s.width[1][5] = 0.9;
    double full = 0.0;  // m3: the pipes' water when full
    for (int k = 1; k <= 5; ++k)
        full += s.dxc[1][k] * pipe_section_props(s.sec_type[1][k], s.diameter[1][k], s.width[1][k], 10.0).area;
    vec1<double> h(1);
    double deepest = 0.0, worst = 0.0;
    for (int c = 0; c < 150; ++c) {
        s.superlink_tile_flow[1][1] = c < 80 ? 0.02 * c : 0.0;
        ASSERT_EQ(superlink_step(s, h, 10.0, 20.0), 0);
        worst = std::max(worst, std::fabs(s.volume_remaining_in_drains - superlink_storage(s)));
        for (int k = 1; k <= 6; ++k) deepest = std::max(deepest, s.slink_node_depth[1][k]);
    }
    EXPECT_GT(deepest, 1.0);  // every pipe surcharges
    EXPECT_LT(worst, 1e-14 * full) << worst;
}

// Steep pipes (5 %), nearly empty most of the time, from a small junction
// down to an outfall into a channel, under a storm that rises and stops: the
// water the solver makes (its depth and head clean-up, its storage residual
// and what the outfall draws in) stays far below 1 % of the inflow, and the
// network's balance closes with it.
TEST(SuperlinkSolver, SteepNearlyEmptyPipesMakeNoWater) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 2}, {2, 3}, {3, 4}}, {25.0, 20.0, 15.0, 10.0});
    p.pipes = 2;
    p.slope = 0.05;
    build_pipe_network(s, p);
    s.sjunc_inlet_type[4] = kOutletToChannel;
    vec1<double> h(1);
    for (int c = 0; c < 240; ++c) {
        s.superlink_tile_flow[1][1] = c < 60 ? 0.002 * c : 0.0;
        s.superlink_tile_flow[2][1] = c < 30 ? 0.01 : 0.0;
        ASSERT_EQ(superlink_step(s, h, 10.0, 30.0), 0);
    }
    const double in = s.superlink_volume_in, drawn_in = -s.superlink_volume_boundary;  // the outfall's only
    EXPECT_GT(in, 100.0);
    const double made = s.drain_cleanup_volume + std::fabs(s.drain_linearisation_volume) + drawn_in;
    EXPECT_LT(made, 1e-3 * in) << s.drain_cleanup_volume << " " << s.drain_linearisation_volume << " " << drawn_in;
    const double stored = s.volume_remaining_in_drains - s.initial_volume_sub_surface_drains;
    EXPECT_NEAR(in - s.superlink_volume_out + s.drain_cleanup_volume + s.drain_linearisation_volume, stored,
                1e-9 * in);
}

// Eight short pipes (2 m at 0.2 %), empty, below an outfall whose fixed
// head stands 5 cm over their lowest invert: the water the outfall pushes
// back fills them to its level, and the depths of the nearly dry pipes ahead
// of it, whose momentum hardly depends on their depths, come from the nodes'
// continuity without growing errors.
TEST(SuperlinkSolver, BackwaterFillsDryPipesToTheOutfallLevelWithoutMakingWater) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    const double level = 10.018;  // m: 10 - 8 x 2 m x 0.002 + 0.05
    pipe_network_layout p = pipe_network({{1, 2}}, {10.0, level});
    p.pipes = 8;
    p.length = 2.0;
    p.slope = 0.002;
    p.diameter = 0.3;
    build_pipe_network(s, p);
    run(s, 360, 5.0, 0.0);  // 30 minutes: the sloshing has died down
    // Still water at the outfall's level: the junction above holds 1.8 cm,
    // each node half of each adjacent pipe's section at its depth.
    double still = p.junction_area * (level - 10.0);
    for (int k = 1; k <= 9; ++k) {
        const double depth = level - s.slink_node_Zinv[1][k];
        still += ((k > 1) + (k < 9)) * 0.5 * p.length * pipe_section_props(pipe_circle, 0.3, 0.0, depth).area;
    }
    EXPECT_NEAR(s.sjunc_head[1], level, 1e-5);
    EXPECT_NEAR(s.volume_remaining_in_drains, still, 1e-4 * still);
    const double drawn_in = -s.superlink_volume_out;
    const double stored = s.volume_remaining_in_drains - s.initial_volume_sub_surface_drains;
    EXPECT_NEAR(drawn_in + s.drain_cleanup_volume + s.drain_linearisation_volume, stored, 1e-12);
    EXPECT_LT(std::fabs(s.drain_linearisation_volume) + s.drain_cleanup_volume, 1e-9 * stored);
}

// Two wide, flat box pipes (19.4 m, 1.34 m by 0.154 m, at 2.27 %) below a
// small junction, fed 0.1 l/s for half an hour and then nothing: once the
// junction and the pipes' first node run dry, the pipes stop drawing water
// from them, and the floors that keep depths at or above 0 make almost
// none.
TEST(SuperlinkSolver, PipesBelowADryNodeStopDrawingWater) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 2}}, {10.0, 8.0});
    p.pipes = 2;
    p.length = 19.4;
    p.slope = 0.0227;
    p.diameter = 0.154;
    p.junction_area = 2.2;
    build_pipe_network(s, p);
    for (int k = 1; k <= 2; ++k) {
        s.sec_type[1][k] = pipe_box;
        s.width[1][k] = 1.34;
    }
    run(s, 60, 30.0, 1e-4);
    run(s, 180, 30.0, 0.0);
    const double in = s.superlink_volume_in;  // 0.18 m3
    EXPECT_LT(s.drain_cleanup_volume, 1e-4 * in);
    EXPECT_NEAR(s.superlink_volume_out, in + s.initial_volume_sub_surface_drains, 0.01 * in);
}

// Tiny flows 1000 m above the datum: the heads carry their elevation, and
// the round-off of the junction solve and of the end flows, which the
// storage residual alone does not see, is measured and booked with it; the
// balance closes to round-off of the volumes.
TEST(SuperlinkSolver, BalanceClosesToRoundOffForTinyFlowsFarAboveTheDatum) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 3}, {2, 3}, {3, 4}}, {1001.0, 1001.0, 1000.0, 999.0});
    p.junction_area = 4.0;
    p.length = 5.0;
    p.diameter = 0.3;
    build_pipe_network(s, p);
    vec1<double> h(1);
    for (int c = 0; c < 200; ++c) {
        s.superlink_tile_flow[1][1] = c < 100 ? 1e-5 : 0.0;
        s.superlink_tile_flow[2][1] = c < 50 ? 0.5e-5 : 0.0;
        ASSERT_EQ(superlink_step(s, h, 10.0, 30.0), 0);
    }
    const double in = s.superlink_volume_in;  // 0.0375 m3
    const double stored = s.volume_remaining_in_drains - s.initial_volume_sub_surface_drains;
    EXPECT_NEAR(in - s.superlink_volume_out + s.drain_cleanup_volume + s.drain_linearisation_volume, stored,
                1e-12 * in);
}

// A storm of 2 m3/s that reaches empty pipes at once makes water in the
// first 5 s sub-step, which is solved again in two halves: they start from
// the state the rejected sub-step started from, so that a twin network that
// takes the two halves as calls of their own (shorter than any pipe's
// wave-travel time, one sub-step each) reaches the same depths, flows and
// heads.
TEST(SuperlinkSolver, SubstepSolvedAgainInHalvesStartsWhereTheRejectedOneStarted) {
    g_error_record.clear_for_run();
    pipe_network_layout p = pipe_network({{1, 2}, {2, 3}, {3, 4}}, {25.0, 20.0, 15.0, 10.0});
    p.pipes = 2;
    storm_drain_state whole, halves;
    build_pipe_network(whole, p);
    build_pipe_network(halves, p);
    whole.superlink_tile_flow[1][1] = halves.superlink_tile_flow[1][1] = 2.0;
    vec1<double> h(1);
    ASSERT_EQ(superlink_step(whole, h, 10.0, 5.0), 0);
    ASSERT_EQ(whole.superlink_substeps, 2);
    for (int half = 0; half < 2; ++half) {
        ASSERT_EQ(superlink_step(halves, h, 10.0, 2.5), 0);
        ASSERT_EQ(halves.superlink_substeps, 1);
    }
    for (int l = 1; l <= 3; ++l) {
        for (int k = 1; k <= 3; ++k)
            EXPECT_NEAR(whole.slink_node_depth[l][k], halves.slink_node_depth[l][k], 1e-12) << l << " " << k;
        for (int k = 1; k <= 2; ++k)
            EXPECT_NEAR(superlink_pipe_flow(whole, l, k), superlink_pipe_flow(halves, l, k), 1e-12) << l << " " << k;
    }
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(whole.sjunc_head[j], halves.sjunc_head[j], 1e-12) << j;
    EXPECT_GT(whole.slink_node_depth[1][2], 0.005);  // the storm has entered the first superlink
}

TEST(SuperlinkSolver, ReportsASingularJunctionSystem) {
    g_error_record.clear_for_run();
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{2, 3}}, {10.0, 10.0, 9.0});
    p.junction_area = 0.0;  // junction 1 joins nothing and stores nothing: its row is empty
    build_pipe_network(s, p);
    vec1<double> h(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(superlink_step(s, h, 10.0, 60.0), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    // The junction that nothing sets is named, with what to change.
    EXPECT_NE(out.find("singular: superjunction 1 has no plan area"), std::string::npos) << out;
    EXPECT_NE(out.find("Give it a plan area above 0"), std::string::npos) << out;
    EXPECT_EQ(g_error_record.stop, 1);
    g_error_record.clear_for_run();
}

}  // namespace
