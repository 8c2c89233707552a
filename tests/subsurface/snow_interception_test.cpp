// The canopy's share of the rain, and snow melting onto the ground.
#include <gtest/gtest.h>

#include "model/model_state.hpp"
#include "overland/overland_grid.hpp"
#include "subsurface/snow_interception.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace {

TEST(Interception, TheCanopyFillsThenHoldsItsShareAndTheRestReachesTheGround) {
    const struct {
        double free_storage, coefficient;
        double intercepted, net_rate;  // mm, mm/h
    } cases[] = {
        {0.5, 0.2, 0.6, 0.8},  // 1 mm of rain: 0.5 mm fills the canopy, then 0.2 of the rest
        {0.5, 0.0, 0.5, 1.0},
        {0.0, 0.2, 0.2, 1.6},
        {2.0, 0.2, 1.0, 0.0},  // the canopy holds all of it
    };
    for (const auto& c : cases) {
        const kesta::canopy_share s = kesta::intercept_rain(2.0, 1800.0, c.free_storage, c.coefficient);
        EXPECT_NEAR(s.intercepted, c.intercepted, 1e-12);
        EXPECT_NEAR(s.net_rate, c.net_rate, 1e-12);
    }
}

TEST(Interception, WinterDividesTheCanopyAndTheHeldRainIsBooked) {
    kesta::model_state m;
    kesta_test::plane p;
    kesta_test::make_plane(m, p, 60.0);
    for (auto* v : {&m.ri_eff, &m.icep_stor, &m.icep_coef, &m.icep_dep}) *v = kesta::vec1<double>(1);
    m.month = 1;
    m.latitude = 40.0;
    m.icep_stor[1] = 4.0;  // mm; January at 40 deg holds a quarter of it
    m.ri[1] = 2.0;
    kesta::apply_interception(m, 3600.0);
    EXPECT_DOUBLE_EQ(m.icep_dep[1], 1.0);
    EXPECT_DOUBLE_EQ(m.ri_eff[1], 1.0);
    EXPECT_DOUBLE_EQ(m.run_sums.interception, 1.0 / 1000.0 * 100.0);  // 1 mm on 100 m2
    kesta::apply_interception(m, 3600.0);  // full: all of it reaches the ground
    EXPECT_DOUBLE_EQ(m.ri_eff[1], 2.0);
}

TEST(Snowmelt, WarmAirMeltsThePackOntoTheGroundAndColdDryAirNothing) {
    kesta::model_state m;
    kesta_test::plane p;
    p.cols = 2;
    kesta_test::make_plane(m, p, 60.0);
    m.snowdepth = kesta::vec1<double>(2);
    m.snowdepth[1] = 0.05;
    m.snowdepth[2] = 0.5;
    m.hmet_air_temp = -10.0;
    m.hmet_rel_humidity = 20.0;
    m.hmet_wind_speed = 2.0;
    m.hmet_pressure = 1000.0;
    EXPECT_EQ(kesta::snowmelt_energy_balance(m, 3600.0), 1);
    EXPECT_EQ(m.snowdepth[1], 0.05);
    EXPECT_EQ(m.h[1], 0.0);

    // 15 C, humid and windy, for 12 hours: 7 cm of melt.
    m.hmet_air_temp = 15.0;
    m.hmet_rel_humidity = 90.0;
    m.hmet_wind_speed = 5.0;
    EXPECT_EQ(kesta::snowmelt_energy_balance(m, 12 * 3600.0), 1);
    EXPECT_EQ(m.snowdepth[1], 0.0);
    EXPECT_DOUBLE_EQ(m.h[1], 0.05);
    EXPECT_NEAR(0.5 - m.snowdepth[2], 0.07, 0.005);
    EXPECT_DOUBLE_EQ(m.h[2] + m.snowdepth[2], 0.5);
}

}  // namespace
