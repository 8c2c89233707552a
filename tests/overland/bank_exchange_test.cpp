// Water over the banks: a cell empties into the channel but gives no more
// than it holds; a channel above its bank top spills at most 1 % of the
// water above it per step and never raises a cell above itself; every
// volume that leaves one side reaches the other.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_network.hpp"
#include "overland/overland_steps.hpp"

namespace {

using namespace kesta;
using kesta_test::RoutedNetwork;
using kesta_test::trapezoid_link;

// One link of 4 computational nodes under a row of four 30 m cells, one
// node per cell. Bed about 100 m, bank top 0.5 m above it.
class BankExchange : public RoutedNetwork {
protected:
    void set_up_row(double ground, int overbank) {
        trapezoid_link link;
        link.nodes = 5;
        link.dx = 30.0;
        link.bankfull = 0.5;
        const std::string gst =
            "GRIDSTREAMFILE\nSTREAMCELLS 4\n"
            "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
            "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 1 3 1.0\nCELLIJ 1 4\nNUMNODES 1\nLINKNODE 1 4 1.0\n";
        set_up(kesta_test::trapezoid_network_text({link}), 1, 4, 30.0, [&](int, int) { return ground; }, gst);
        m->overbank_flow = overbank;
    }
    // Volume the exchange put into the node's lateral inflow over dt (m3).
    double lateral_volume(int node, double dt) const { return m->qlat[node][1] * m->chan_dx[1] * dt; }
};

TEST_F(BankExchange, ACellThatCannotFeedTheWeirEmptiesExactly) {
    set_up_row(101.0, 0);
    m->h[2] = 0.001;  // 0.9 m3; the weir would take 30 x 3.41 x 0.001^1.5 x 600 = 1.94 m3
    m->h[3] = 0.05;   // 45 m3; the weir takes 30 x 3.41 x 0.05^1.5 x 60 = 68.6 m3: all of it too
    m->h[4] = 0.2;    // 180 m3; 30 x 3.41 x 0.2^1.5 x 60 = 548.9 m3 over 600 s: all
    const double moved = overland_channel_exchange(*m, 600.0);
    EXPECT_EQ(m->h[2], 0.0);
    EXPECT_EQ(m->h[3], 0.0);
    EXPECT_EQ(m->h[4], 0.0);
    EXPECT_NEAR(moved, 0.9 + 45.0 + 180.0, 1e-9);
    EXPECT_NEAR(lateral_volume(2, 600.0), 0.9, 1e-12);
    EXPECT_NEAR(lateral_volume(4, 600.0), 180.0, 1e-9);
}

TEST_F(BankExchange, AChannelAboveItsBankSpillsAtMostOnePercentAndStaysAboveTheCell) {
    set_up_row(100.3, 1);  // ground between the bed and the bank top
    for (int j = 1; j <= 4; ++j) m->yp[j][1] = m->bel[j][1] + 1.0;
    ex_section(*m, 2);
    const double a_full = m->area[2][1];
    level_section at_bank;
    ASSERT_TRUE(node_section_at_depth(*m, 2, 1, 0.5, at_bank));
    const double above = (a_full - at_bank.area) * 30.0;  // channel water above the bank top (m3)
    const double moved = overland_channel_exchange(*m, 60.0);
    EXPECT_NEAR(m->h[2] * 900.0, 0.01 * above, 1e-9);   // a weir of 0.5 m head asks for more
    EXPECT_NEAR(-lateral_volume(2, 60.0), m->h[2] * 900.0, 1e-9);
    double gained = 0.0;
    for (int k = 1; k <= 4; ++k) gained += m->h[k] * 900.0;
    EXPECT_NEAR(moved, -gained, 1e-9);
}

TEST_F(BankExchange, SpilledWaterThatWouldStandAboveTheChannelGoesBack) {
    set_up_row(100.3, 1);
    // A shallow spill into a cell whose surface is already near the channel's.
    for (int j = 1; j <= 4; ++j) m->yp[j][1] = m->bel[j][1] + 0.9;
    ex_section(*m, 2);
    m->yp[3][1] = m->bel[3][1] + 0.9;
    const double channel_surface = m->yp[3][1];
    // 1 mm below the channel: 0.9 m3 fill it, and 1 % of the channel water
    // above the cell's ground is 1.14 m3.
    m->h[3] = channel_surface - 0.001 - 100.3;
    const double before = m->h[3];
    const double moved = overland_channel_exchange(*m, 60.0);
    const double cell_gain = (m->h[3] - before) * 900.0;
    EXPECT_GE(cell_gain, 0.0);
    // The cell ends level with the channel once that has taken back what stood above it.
    EXPECT_NEAR(100.3 + m->h[3], channel_surface, 0.0005);
    EXPECT_LE(100.3 + m->h[3], channel_surface);
    EXPECT_NEAR(-lateral_volume(3, 60.0), cell_gain, 1e-9);
    double gained = cell_gain;
    for (int k : {1, 2, 4}) gained += m->h[k] * 900.0;
    EXPECT_NEAR(moved, -gained, 1e-9);
}

}  // namespace
