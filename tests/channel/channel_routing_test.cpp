// Explicit channel routing against closed-form results: uniform flow at the
// normal depth, discharges adding up at a confluence, the sub-steps of the
// Courant limit, and the volume of the network against what entered and left.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_network.hpp"
#include "channel/channel_routing.hpp"
#include "support/stream_capture.hpp"

namespace {

using namespace kesta;
using kesta_test::RoutedNetwork;
using kesta_test::trapezoid_link;

double flat_ground(int, int) { return 200.0; }

// Routes `steps` channel steps of dt seconds, keeping count of the outlet
// volume; false when the routing stopped.
bool route(model_state& m, int steps, double dt, double& outlet) {
    for (int k = 0; k < steps; ++k) {
        double v = 0.0;
        if (ex_flow_route(m, dt, m.max_courant_number, v) != 0) return false;
        outlet += v;
    }
    return true;
}

// A trapezoid b = 5 m, z = 2, n = 0.025 on a slope of 0.001 carries
// 15.43009 m3/s at the normal depth 1.5 m (Manning: A = 12 m2,
// P = 5 + 6 sqrt(5) / 2 m).
TEST_F(RoutedNetwork, UniformInflowSettlesAtTheNormalDepthAndLeavesWhole) {
    trapezoid_link link;
    link.nodes = 20;
    set_up(kesta_test::trapezoid_network_text({link}), 2, 2, 100.0, flat_ground);
    m->first_order_chan_q = 15.43009;
    double outlet = 0.0;
    ASSERT_TRUE(route(*m, 720, 30.0, outlet));  // six hours
    for (int j = 2; j < m->nx[1]; ++j) EXPECT_NEAR(m->chan_depth[j][1], 1.500, 0.001) << "node " << j;
    EXPECT_NEAR(m->qp[m->nx[1]][1], 15.43009, 1e-4);
    // The last hour's outlet volume is the last hour's inflow.
    const double before = outlet;
    ASSERT_TRUE(route(*m, 120, 30.0, outlet));
    EXPECT_NEAR((outlet - before) / 3600.0, 15.43009, 1e-4);
}

TEST_F(RoutedNetwork, TwoHeadLinksOfTwoCubicMetresGiveFourAtTheOutlet) {
    trapezoid_link a, b, out;
    a.downstream = b.downstream = 3;
    a.nodes = b.nodes = 8;
    a.top_bed = b.top_bed = 100.7;
    out.upstream = {1, 2};
    out.nodes = 10;
    out.top_bed = 100.0;
    b.bottom = 2.0;  // a narrower branch
    set_up(kesta_test::trapezoid_network_text({a, b, out}), 2, 2, 100.0, flat_ground);
    m->first_order_chan_q = 2.0;
    double outlet = 0.0;
    ASSERT_TRUE(route(*m, 720, 30.0, outlet));
    EXPECT_NEAR(m->qp[m->nx[3]][3], 4.0, 1e-3);
    EXPECT_NEAR(m->qp[m->nx[1]][1], 2.0, 1e-3);
    EXPECT_NEAR(m->qp[m->nx[2]][2], 2.0, 1e-3);
}

// dt = 10 s at a Courant number of 2.5 (limit 1): three sub-steps of 10/3 s,
// here in uniform flow.
TEST_F(RoutedNetwork, CourantLimitSplitsTheStepIntoEqualSubsteps) {
    trapezoid_link link;
    link.nodes = 5;
    link.dx = 10.0;
    set_up(kesta_test::trapezoid_network_text({link}), 2, 2, 10.0, flat_ground);
    const double depth = 2.5 * 2.5 / 9.81;  // sqrt(g y) dt / dx = 2.5
    for (int j = 1; j <= m->nx[1]; ++j) m->yp[j][1] = m->bel[j][1] + depth;
    ex_section(*m, 2);
    m->first_order_chan_q = m->conv[1][1] * std::sqrt(0.001);
    double outlet = 0.0;
    ASSERT_EQ(ex_flow_route(*m, 10.0, 1.0, outlet), 0);
    EXPECT_EQ(m->route_substeps, 3);
}

struct refused_setup {
    const char* what;
    double courant;
    double outlet_slope;
    const char* message;
};

TEST_F(RoutedNetwork, SetUpRefusesACourantLimitOfZeroAndAnOutletBedRisingToItsEnd) {
    const refused_setup cases[] = {
        {"Courant limit 0", 0.0, 0.001, "MAX_COURANT_NUMBER 0; the channel routing needs a Courant limit above 0"},
        {"rising outlet", 0.2, -0.001, "The outlet slope is negative."},
    };
    for (const refused_setup& c : cases) {
        trapezoid_link link;
        link.nodes = 4;
        link.slope = c.outlet_slope;
        m = std::make_unique<model_state>();
        g_error_record.clear_for_run();
        m->max_courant_number = c.courant;
        m->chan_routing = 1;
        m->nlinks = 0;
        m->channel_input = dir.write("bad.chan", kesta_test::trapezoid_network_text({link}));
        m->channel_input_fp = open_file(m->channel_input, "r", 0);
        const std::string out = kesta_test::printed_by([&] { setup_channel(*m); });
        EXPECT_EQ(g_error_record.stop, 1) << c.what;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.what << "\n" << out;
        g_error_record.clear_for_run();
    }
}

TEST_F(RoutedNetwork, ALakeLosesThroughItsWeirWhatTheChannelReceives) {
    set_up_lake_weir();
    ASSERT_EQ(m->nlakes, 1);
    ASSERT_EQ(m->lake_cells[1], 4);
    const double lake_before = m->lake_volume[1];
    EXPECT_NEAR(lake_before, 4 * 900.0, 1e-9);
    double outlet = 0.0;
    ASSERT_TRUE(route(*m, 30, 60.0, outlet));
    const double lost = lake_before - m->lake_volume[1];
    // 30 minutes over a 3 m crest 0.5 m below the lake: some hundred m3.
    EXPECT_GT(lost, 300.0);
    EXPECT_NEAR(lost, m->lake_out_dv[1] - m->lake_in_dv[1], 1e-9);
    EXPECT_NEAR(lost, channel_volume() + outlet, 1e-9 * lost);
    // No more than the weir passes at the lake's level.
    EXPECT_LE(lost, 2.0 / 3.0 * 3.0 * std::sqrt(19.62 * 0.125 / 3.0) * 1800.0 + 1e-9);
}

// A head link of 3 nodes into a lake (link 2) with a weir (link 3) to an
// outlet link of 5 nodes, on a 4 x 3 grid of 30 m cells at lake_ground.
double lake_ground(int r, int) { return r <= 2 ? 100.0 : 101.5; }

std::string head_link_into_lake() {
    trapezoid_link in, out;
    in.nodes = 3;
    in.dx = out.dx = 30.0;
    in.top_bed = 100.6;
    out.nodes = 5;
    out.top_bed = 100.0;
    in.slope = out.slope = 0.002;
    return kesta_test::network_header(4, 5) + "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 4 1 2\nCONNECT 4 0 1 3\n" +
           kesta_test::trapezoid_link_block(1, in) +
           "LINK 2\nNODES 1\nLAKE\nMINWSE 99.0\nINITWSE 101.0\nMAXWSE 103.0\nNUMPTS 6\n1 1 1 2 2 1 2 2 3 1 3 2\n"
           "LINK 3\nSTRUCTURE\nNUMSTRUCTS 1\nNODE 1\nELEV 100.4\nNODE 2\nELEV 100.3\n"
           "STRUCTTYPE weir\nCREST_LENGTH 3.0\nCREST_LOW_ELEV 100.5\nDISCHARGE_COEFF_FORWARD 1.0\n"
           "DISCHARGE_COEFF_REVERSE 1.0\n" +
           kesta_test::trapezoid_link_block(4, out);
}

// A head link whose last node lies under the lake: the lake takes the node
// at the start of the step, and the lateral inflow the node was given for
// the step (bank exchange, pipe outflow) goes with it into the lake.
TEST_F(RoutedNetwork, ANodeTheLakeTakesBringsItsLateralInflowIntoTheLake) {
    set_up(head_link_into_lake(), 4, 3, 30.0, lake_ground,
           "GRIDSTREAMFILE\nSTREAMCELLS 1\nCELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 2 1.0\n");
    ASSERT_EQ(m->nx[1], 2);
    const double dt = 60.0, q = 0.01;  // m2/s: 18 m3 over the step
    m->qlat[2][1] = q;
    const double before = channel_volume() + m->lake_volume[1];
    double outlet = 0.0;
    ASSERT_EQ(ex_flow_route(*m, dt, m->max_courant_number, outlet), 0);
    ASSERT_EQ(m->nx[1], 1);  // taken
    EXPECT_NEAR(channel_volume() + m->lake_volume[1] + outlet - before, q * 30.0 * dt, 1e-6);
}

// A link the lake has overtaken is not routed: a point source on any of its
// nodes delivers into the lake.
TEST_F(RoutedNetwork, APointSourceOnAnOvertakenLinkFeedsTheLake) {
    set_up(head_link_into_lake(), 4, 3, 30.0, lake_ground);
    link_set_overtaken(m->ltype[1]);
    m->ldex[1] = 1;
    alloc_dmatrix(m->maxnodes, m->nlinks, m->chan_point_Q, "chan_point_Q");
    m->chan_point_Q[1][1] = 0.5;  // m3/s at the link's first node
    double outlet = 0.0;
    ASSERT_TRUE(route(*m, 1, 60.0, outlet));
    EXPECT_NEAR(m->run_sums.lake_point_sources, 30.0, 1e-9);
    EXPECT_NEAR(m->run_sums.stream_point_sources, 0.0, 1e-12);
}

}  // namespace
