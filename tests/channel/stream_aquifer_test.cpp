// Seepage through the stream bed of one trapezoidal link (bottom 5 m, side
// slope 2, bed conductivity 3.6 m/h = 0.001 m/s, bed thickness 0.5 m) over
// two 100 m cells, one node each, against hand computations.
#include <gtest/gtest.h>

#include "channel/channel_network.hpp"
#include "channel/stream_aquifer.hpp"
#include "core/allocators.hpp"

namespace {

using kesta_test::RoutedNetwork;

class StreamAquifer : public RoutedNetwork {
protected:
    void SetUp() override {
        RoutedNetwork::SetUp();
        kesta_test::trapezoid_link l;
        l.nodes = 3;
        std::string link = kesta_test::trapezoid_link_block(1, l);
        link.insert(link.find("NODE 1"), "K_RIVER 3.6\nM_RIVER 0.5\n");
        set_up(kesta_test::network_header(1, 3) + "CONNECT 1 0 0\n" + link, 1, 2, 100.0,
               [](int, int) { return 103.0; },
               "GRIDSTREAMFILE\nSTREAMCELLS 2\nCELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
               "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n");
        if (HasFatalFailure()) return;
        kesta::model_state& s = *m;
        s.stream_loss = 1;
        s.water_table_given = 1;
        kesta::alloc_dmatrix(s.maxnodes, s.nlinks, s.qriv, "qriv");
        kesta::alloc_dmatrix(s.maxnodes, s.nlinks, s.qriv_old, "qriv_old");
        kesta::alloc_dmatrix(s.nstreamcells, 1, s.gst_qriv, "gst_qriv");
        for (auto* v : {&s.elevgw, &s.bottom_elev, &s.river_source}) kesta::alloc_dvector(*v, s.ncells, "cells");
        for (int k = 1; k <= 2; ++k) s.bottom_elev[k] = 90.0;
        for (int j = 1; j <= 2; ++j) s.chan_depth[j][1] = 0.5;
    }

    // Water table of the node's cell `above_bed` metres above its bed.
    void table_at(int node, double above_bed) { m->elevgw[node] = m->bel[node][1] + above_bed; }
};

TEST_F(StreamAquifer, GainAndLossFollowTheHeadAcrossTheBed) {
    ASSERT_TRUE(kesta::stream_exchange_on(*m));
    table_at(1, 2.0);   // 1.5 m above the stream: top width at 2 m is 5 + 2 x 2 x 2 = 13 m
    table_at(2, -1.0);  // below the bed: the stream loses at its depth, top width 5 + 2 x 2 x 0.5 = 7 m
    EXPECT_EQ(kesta::chan_gw_exchange(*m), kesta::stream_exchange_gain);
    EXPECT_NEAR(m->qriv[1][1], 0.001 / 0.5 * 1.5 * 13.0, 1e-15);
    EXPECT_NEAR(m->qriv[2][1], -0.5 * 0.001 / 0.5 * 7.0, 1e-15);

    // A loss cut to half in the routing takes half as much from the cell.
    for (int j = 1; j <= 2; ++j) m->qriv_old[j][1] = m->qriv[j][1];
    m->qriv[2][1] *= 0.5;
    kesta::book_stream_exchange(*m, 10.0);
    EXPECT_NEAR(m->river_source[1], -0.039 * 100.0 * 10.0, 1e-9);
    EXPECT_NEAR(m->river_source[2], 0.0035 * 100.0 * 10.0, 1e-9);
}

TEST_F(StreamAquifer, NoBedThicknessNoExchange) {
    table_at(1, 2.0);
    table_at(2, 2.0);
    m->Mrb[2][1] = 0.0;
    EXPECT_EQ(kesta::chan_gw_exchange(*m), kesta::stream_exchange_gain);
    EXPECT_GT(m->qriv[1][1], 0.0);
    EXPECT_EQ(m->qriv[2][1], 0.0);
    m->Mrb[1][1] = -0.1;
    EXPECT_EQ(kesta::chan_gw_exchange(*m), kesta::stream_exchange_none);
    EXPECT_EQ(m->qriv[1][1], 0.0);
}

TEST_F(StreamAquifer, AnEmptyAquiferGivesNothingAndADryStreamLosesNothing) {
    table_at(1, 2.0);
    m->bottom_elev[1] = m->elevgw[1] - 0.005;
    table_at(2, -1.0);
    m->chan_depth[2][1] = 1e-6;
    EXPECT_EQ(kesta::chan_gw_exchange(*m), kesta::stream_exchange_none);
    EXPECT_EQ(m->qriv[1][1], 0.0);
    EXPECT_EQ(m->qriv[2][1], 0.0);
}

}  // namespace
