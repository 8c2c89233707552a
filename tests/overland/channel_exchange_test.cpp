// The overland flow and the channel network: water over the banks, where a
// cell empties into the channel but gives no more than it holds, a channel
// above its bank top spills at most 1 % of the water above it per step and
// never raises a cell above itself, and every volume that leaves one side
// reaches the other; and the network's lakes over the grid, their levels
// from volumes, cells taken in the order of the search list and given back
// in reverse, the water and the suspended sediment on a cell taken, and an
// hour of evaporation.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

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
        std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS 4\n";
        for (const char* c : {"1", "2", "3", "4"})
            gst += std::string("CELLIJ 1 ") + c + "\nNUMNODES 1\nLINKNODE 1 " + c + " 1.0\n";
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
    EXPECT_EQ((std::vector<double>{m->h[2], m->h[3], m->h[4]}), (std::vector<double>{0.0, 0.0, 0.0}));
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

// Four cells (3600 m2) at 101 m over ground 100 m; the next two listed
// cells have ground 101.5 m.
class ChannelLakes : public RoutedNetwork {
protected:
    void SetUp() override {
        RoutedNetwork::SetUp();
        set_up_lake_weir();
    }
    void add(double volume) {
        m->lake_volume[1] += volume;
        update_lake_extent(*m);
    }
};

TEST_F(ChannelLakes, LevelRisesByVolumeOverAreaUntilTheNextGroundIsPassed) {
    add(1440.0);
    EXPECT_NEAR(m->lake_elev[1], 101.4, 1e-9);
    add(360.0);  // exactly to the next cells' ground: they stay out
    EXPECT_NEAR(m->lake_elev[1], 101.5, 1e-9);
    EXPECT_EQ(m->lake_cells[1], 4);
    m->h[8] = 0.2;  // cell (3, 2), listed last, holds 180 m3
    add(6 * 900.0 * 0.1);
    EXPECT_EQ(m->lake_cells[1], 6);
    EXPECT_EQ(m->lake_num[7], 1);
    EXPECT_EQ(m->lake_num[8], 1);
    EXPECT_EQ(m->h[8], 0.0);
    EXPECT_NEAR(m->lake_taken_from_cells, 180.0, 1e-9);
    EXPECT_NEAR(m->lake_elev[1], 101.6 + 180.0 / (6 * 900.0), 1e-9);
}

// A cell the lake takes holds sediment of a fine class and a sand class:
// the suspended fines join the lake's books, the suspended sand settles on
// the cell, now lake bed; nothing is lost.
TEST_F(ChannelLakes, ACellTakenGivesItsSuspendedFinesToTheLakeAndItsSandToItsBed) {
    auto s = std::make_unique<sed_record>();
    s->num_sed = 2;
    s->sand = vec1<int>(2);
    s->sand[2] = 1;
    s->vol_sed.suspended = mat2<double>(m->ncells, 2);
    s->vol_sed.deposited = mat2<double>(m->ncells, 2);
    s->sed_vol_overland_to_lake = mat2<double>(1, 2);
    s->vol_sed.suspended[8][1] = 0.3;
    s->vol_sed.suspended[8][2] = 0.2;
    s->vol_sed.deposited[8][2] = 0.1;
    m->ov_sed = std::move(s);
    add(1800.0 + 6 * 900.0 * 0.1);
    ASSERT_EQ(m->lake_num[8], 1);
    const sed_record& r = *m->ov_sed;
    EXPECT_EQ(std::make_tuple(r.vol_sed.suspended[8][1], r.vol_sed.suspended[8][2], r.vol_sed.deposited[8][2]),
              std::make_tuple(0.0, 0.0, 0.1 + 0.2));
    EXPECT_EQ(std::make_tuple(r.sed_vol_overland_to_lake[1][1], r.sed_vol_overland_to_lake[0][1],
                              r.sed_vol_overland_to_lake[1][2]),
              std::make_tuple(0.3, 0.3, 0.0));
}

TEST_F(ChannelLakes, AFallingLakeGivesItsCellsBackInReverseOrderAndNeverItsLast) {
    add(1800.0 + 6 * 900.0 * 0.1);  // 101.6 m over six cells
    ASSERT_EQ(m->lake_cells[1], 6);
    add(-6 * 900.0 * 0.1 - 4 * 900.0 * 0.2);
    EXPECT_EQ(m->lake_cells[1], 4);
    EXPECT_EQ(m->lake_num[7], 0);
    EXPECT_EQ(m->lake_num[8], 0);
    EXPECT_NEAR(m->lake_elev[1], 101.3, 1e-9);
    add(-1e7);  // far more than it holds: every cell goes, the level stops at the first one's ground
    EXPECT_EQ(m->lake_cells[1], 0);
    EXPECT_NEAR(m->lake_elev[1], 100.0, 1e-9);
}

// Tetens: 6.11 exp(17.3 T / (T + 237.3)) mb, 23.445 mb at 20 C. Over 3600
// m2 (0.0036 km2) with wind 5 m/s and 50 % humidity an hour takes
// 0.000169 x 0.0036^-0.05 x 432 x 0.5 x 23.445 / 24 = 0.047246 cm.
TEST_F(ChannelLakes, AnHourOfEvaporationTakesTheMassTransferDepthAndNoMoreThanTheLake) {
    EXPECT_NEAR(sat_vapor_pressure_mb(20.0), 23.44508, 1e-5);
    m->hmet_wind_speed = 5.0;
    m->hmet_rel_humidity = 50.0;
    m->hmet_air_temp = 20.0;
    const double before = m->lake_volume[1];
    lake_evaporation(*m);
    EXPECT_NEAR(before - m->lake_volume[1], 1.700859, 1e-6);
    EXPECT_NEAR(m->run_sums.lake_evaporation, 1.700859, 1e-6);
    m->lake_volume[1] = m->prevlake_volume[1] = 0.5;
    lake_evaporation(*m);
    EXPECT_EQ(m->lake_volume[1], 0.0);
    EXPECT_NEAR(m->run_sums.lake_evaporation, 1.700859 + 0.5, 1e-6);
}

}  // namespace
