// The lakes of the channel network over the grid: levels from volumes,
// cells taken in the order of the search list and given back in reverse,
// the water on a cell taken, and an hour of evaporation.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_network.hpp"
#include "overland/overland_steps.hpp"

namespace {

using namespace kesta;
using kesta_test::RoutedNetwork;

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
