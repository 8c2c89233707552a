// The Richards solver against independent results: a hydrostatic column
// stays still, free drainage reaches unit gradient at the rain rate, the
// evaporation of a bare column is the water it lost, and every column's
// water is what entered less what left, to round-off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "subsurface/richards_columns.hpp"

namespace {

using kesta_test::bc_soil;
using kesta_test::make_richards_plane;
using kesta_test::plane;

constexpr double kHour = 3600.0;


// Ground at 100 m, the water table 1 m below, the aquifer bottom 2 m below.
void water_table(kesta::model_state& m) { m.water_table_given = 1; }
void table_one_metre_down(kesta::model_state& m) {
    m.aquifer_delta_z = 0.1;
    for (int k = 1; k <= m.ncells; ++k) {
        m.elev[k] = 100.0;
        m.elevgw[k] = 99.0;
        m.bottom_elev[k] = 98.0;
    }
}

TEST(RichardsSolver, HydrostaticColumnStaysStill) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(m, plane{}, kHour, bc_soil(), water_table, table_one_metre_down));
    const int n = m.numcells[1];
    for (int i = 0; i < 24; ++i) kesta::richards_unsat_step(m, kHour);
    const kesta::richards_node* nd = m.richards.column(1);
    double top = 0.0;
    for (int k = 1; k <= n; ++k) {
        EXPECT_NEAR(nd[k].head, top + 0.5 * nd[k].dz - 100.0, 1e-9) << k;
        top += nd[k].dz;
    }
    EXPECT_NEAR(m.bottomfav[1], 0.0, 1e-9);
}

// Rain of 0.1 cm/h on a soil of Ks 1 cm/h: the column wets to the moisture
// whose conductivity is the rain, K(h) = (h / -20)^-3.5 = 0.1 at h =
// -38.614 cm, uniform with depth, and drains at the rain rate.
TEST(RichardsSolver, FreeDrainageReachesUnitGradientAtTheRainRate) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(m, plane{}, 60.0));
    double last_hour = 0.0;
    for (int hour = 1; hour <= 200; ++hour) {
        m.h[1] += 0.001;
        const double before = m.bottomfav[1];
        kesta::richards_unsat_step(m, kHour);
        last_hour = m.bottomfav[1] - before;
    }
    EXPECT_NEAR(last_hour, 0.1, 1e-5);
    const kesta::richards_node* nd = m.richards.column(1);
    const double steady = -20.0 * std::pow(0.1, -1.0 / 3.5);
    for (int k = 1; k < m.numcells[1]; ++k) EXPECT_NEAR(nd[k].head, steady, 1e-3) << k;
    EXPECT_EQ(m.h[1], 0.0);
}

// A bare column under a constant demand of 0.02 cm/h: what it evaporates is
// the water it lost less what drained from its bottom.
TEST(RichardsSolver, BareColumnEvaporatesTheWaterItLost) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(
        m, plane{}, kHour, bc_soil(), [](kesta::model_state& mm) { mm.long_term = 1; },
        [](kesta::model_state& mm) { mm.pot_et[1] = mm.pot_aet[1] = 0.02 / kHour; }));
    const double start = kesta::richards_column_water(m, 1);
    double evaporated = 0.0;
    for (int i = 0; i < 48; ++i) evaporated += kesta::richards_unsat_step(m, kHour);
    const double lost = start - kesta::richards_column_water(m, 1);
    EXPECT_NEAR(evaporated, lost - m.bottomfav[1] / 100.0, 1e-14);
    EXPECT_GT(evaporated, 0.5 * 0.02 * 48 / 100.0);
    EXPECT_LE(evaporated, 0.02 * 48 / 100.0 + 1e-15);
    EXPECT_EQ(m.DIRECT_EVAP[1], 0.0);
    EXPECT_NEAR(m.run_sums.soil_evaporation, evaporated * 100.0, 1e-10);  // 10 m cells
}

// 5 cm/h for two hours on a dry soil that takes less: the cell ponds, the
// surface never goes below 0 and every drop is on the surface, in the soil
// or below it, step by step to round-off.
TEST(RichardsSolver, PondedRainIsAccountedToRoundOff) {
    kesta::model_state m;
    bc_soil s;
    s.theta = 0.15;
    ASSERT_TRUE(make_richards_plane(m, plane{}, 60.0, s));
    m.richards_k_option = 1;
    m.richards_upper_option = 3;
    m.richards_iter_max = 3;
    const double start = kesta::richards_column_water(m, 1);
    double rain = 0.0;
    bool ponded = false;
    for (int step = 1; step <= 360; ++step) {
        if (step <= 120) {
            m.h[1] += 0.05 / 60.0;
            rain += 0.05 / 60.0;
        }
        kesta::richards_unsat_step(m, 60.0);
        ponded = ponded || m.bound_type[1] == 2;
        ASSERT_GE(m.h[1], 0.0) << step;
        ASSERT_LT(std::fabs(m.MASSERROR[1]), 1e-15) << step;
    }
    EXPECT_TRUE(ponded);
    EXPECT_NEAR(rain, m.h[1] + m.infdep[1], 1e-14);
    EXPECT_NEAR(kesta::richards_column_water(m, 1) - start, m.infdep[1] - m.bottomfav[1] / 100.0, 1e-14);
    EXPECT_GT(m.infdep[1], 0.09);
    const kesta::richards_node* nd = m.richards.column(1);
    for (int k = 1; k < m.numcells[1]; ++k) EXPECT_LE(nd[k].theta, 0.45 + 1e-3) << k;
}

// A frozen cell keeps its column and its water; an exfiltrating one only
// loses surface water to evaporation.
TEST(RichardsSolver, FrozenAndExfiltratingCellsOnlyLoseSurfaceWater) {
    kesta::model_state m;
    plane p;
    p.cols = 2;
    ASSERT_TRUE(make_richards_plane(
        m, p, kHour, bc_soil(),
        [](kesta::model_state& mm) {
            mm.long_term = 1;
            mm.water_table_given = 1;
        },
        [](kesta::model_state& mm) {
            table_one_metre_down(mm);
            mm.elevgw[2] = 100.5;  // above the ground
            mm.CFGI[1] = 90.0;
            for (int k = 1; k <= 2; ++k) {
                mm.h[k] = 0.01;
                mm.pot_et[k] = mm.pot_aet[k] = 0.3 / kHour;
            }
        }));
    const double before = kesta::richards_column_water(m, 1);
    const double evaporated = kesta::richards_unsat_step(m, kHour);
    EXPECT_EQ(m.h[1], 0.01);
    EXPECT_EQ(kesta::richards_column_water(m, 1), before);
    EXPECT_NEAR(m.h[2], 0.007, 1e-15);
    EXPECT_NEAR(evaporated, 0.003, 1e-15);
    EXPECT_NEAR(m.DIRECT_EVAP[2], 0.3, 1e-13);
}

// The groundwater moves the table: down, the column grows with hydrostatic
// nodes and keeps the water above; up to the ground, one saturated node is
// left; below the storage it is refused.
TEST(RichardsSolver, ColumnFollowsAWaterTableTheGroundwaterMoves) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(m, plane{}, kHour, bc_soil(), water_table, table_one_metre_down));
    m.richards.column(1)[3].theta = 0.33;
    kesta::vec1<double> water(1);
    m.elevgw[1] = 98.5;
    ASSERT_EQ(kesta::unsat_update_in_gw(m, 1, water), 0);
    EXPECT_EQ(m.numcells[1], 12 + 9);
    const kesta::richards_node* nd = m.richards.column(1);
    EXPECT_EQ(nd[3].theta, 0.33);
    EXPECT_NEAR(nd[21].head, 145.0 - 150.0, 1e-12);
    EXPECT_NEAR(water[1], kesta::richards_column_water(m, 1) * 100.0, 1e-12);

    m.elevgw[1] = 100.0;
    ASSERT_EQ(kesta::unsat_update_in_gw(m, 1, water), 0);
    EXPECT_EQ(std::make_pair(m.numcells[1], m.yes_exfil[1]), std::make_pair(1, 1));
    EXPECT_EQ(water[1], 0.0);

    m.elevgw[1] = 90.0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(kesta::unsat_update_in_gw(m, 1, water), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("water table of cell 1"), std::string::npos);
    kesta::g_error_record = kesta::error_record();
}

}  // namespace
