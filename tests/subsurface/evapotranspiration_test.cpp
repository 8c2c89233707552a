// The hydrometeorology of the cells against published and hand-worked
// values: the vapour pressure and the psychrometer, the sun's path, the beam
// on sloping ground, the frozen-ground index, the rates of both
// evapotranspiration formulations over a few cells, the canopy's share of
// the rain, and snow melting onto the ground.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "subsurface/snow_interception.hpp"
#include "subsurface/soil_cells.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"
#include "support/test_outputs.hpp"

namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;

TEST(Evapotranspiration, AirSunAndTheBeamOnSlopesMatchPublishedValues) {
    EXPECT_NEAR(kesta::sat_vapor_pressure_kpa(293.15), 2.3383, 1e-4);
    EXPECT_NEAR(kesta::sat_vapor_slope_kpa(293.15), 0.14474, 1e-5);
    EXPECT_NEAR(kesta::psychrometric_constant_kpa(101.3), 0.06598, 1e-5);
    EXPECT_NEAR(kesta::solar_declination(172) / kDegree, 23.45, 1e-9);
    EXPECT_NEAR(kesta::eccentricity_factor(1), 1.03505, 1e-5);

    // Hour 12 is solar noon: at 40 deg N on day 172 the sun stands at
    // 90 - (40 - 23.45) deg, due south; at hour 0 it is as far below.
    const kesta::sun_position noon = kesta::sun_at(40.0, 172, 12);
    EXPECT_NEAR(noon.altitude / kDegree, 73.45, 1e-9);
    EXPECT_NEAR(noon.azimuth, 0.0, 1e-12);
    EXPECT_NEAR(kesta::sun_at(40.0, 172, 0).altitude / kDegree, -(90.0 - 63.45), 1e-9);
    // 30 deg above the horizon (hour angle 60 deg on the equator at the
    // equinox) the air mass is 1.993, with the altitude in degrees.
    EXPECT_NEAR(kesta::sun_at(0.0, 81, 16).air_mass, 1.993, 2e-3);

    // Slopes facing the sun take more of the beam.
    const kesta::sun_position morning = kesta::sun_at(40.0, 172, 9);
    ASSERT_LT(morning.azimuth, 0.0);  // east of south
    const double east = kesta::direct_shortwave(morning, 0.3, 0.0, 0.0);
    const double west = kesta::direct_shortwave(morning, -0.3, 0.0, 0.0);
    EXPECT_GT(east, 1.2 * west);
    EXPECT_LT(kesta::direct_shortwave(noon, 0.0, -0.3, 0.0), kesta::direct_shortwave(noon, 0.0, 0.0, 0.0));
    EXPECT_GT(kesta::direct_shortwave(noon, 0.0, 0.3, 0.0), kesta::direct_shortwave(noon, 0.0, 0.0, 0.0));
    // Overcast sky passes 0.2142 of the clear beam; the night none.
    EXPECT_NEAR(kesta::direct_shortwave(noon, 0.0, 0.0, 1.0) / kesta::direct_shortwave(noon, 0.0, 0.0, 0.0),
                0.18 + 0.0853 * 0.4, 1e-12);
    EXPECT_EQ(kesta::direct_shortwave(kesta::sun_at(40.0, 172, 0), 0.0, 0.0, 0.0), 0.0);
}

TEST(Evapotranspiration, FrozenGroundIndexBuildsInTheColdUnlessSnowCoversIt) {
    double bare = 0.0, snowy = 0.0;
    for (int h = 0; h < 24; ++h) {
        bare = kesta::frozen_ground_index(bare, -10.0, 0.0);
        snowy = kesta::frozen_ground_index(snowy, -10.0, 0.3);
    }
    EXPECT_NEAR(bare, 9.858, 5e-4);
    EXPECT_NEAR(snowy, bare * std::exp(-0.4 * 0.08 * 30.0), 1e-9);
    EXPECT_EQ(kesta::frozen_ground_index(0.2, 5.0, 0.0), 0.0);  // thawed, never below 0
}

// Three cells on a summer noon: the second evaporates over half its area,
// the third has no vegetation height.
TEST(EtCells, BothFormulationsGiveRatesThatFollowTheCellsAndTheSky) {
    kesta::model_state m;
    kesta_test::make_plane(m, kesta_test::row(3), 60.0);
    for (auto* v : {&m.alb, &m.Ts, &m.fTs, &m.snowdepth, &m.pot_et, &m.pot_aet, &m.veg, &m.Kt, &m.Rs, &m.area_redux})
        *v = kesta::vec1<double>(3);
    m.alb.fill(0.2);
    m.veg.fill(0.3);
    m.Rs.fill(100.0);
    m.area_redux.fill(1.0);
    m.area_redux[2] = 0.5;
    m.area_reduction_given = 1;
    m.latitude = 40.0;
    m.hmet_record_date = kesta::date_record{2020, 6, 21, 12, 0, 0};
    m.hmet_air_temp = 25.0, m.hmet_rel_humidity = 40.0, m.hmet_pressure = 1000.0;
    m.hmet_wind_speed = 0.3, m.hmet_global_rad = 200.0;
    const auto run = [&m] { return kesta_test::printed_by([&] { kesta::evapo_trans(m); }); };
    for (int penman : {0, 1}) {
        SCOPED_TRACE(penman);
        m.et_calc_penman = penman;
        m.veg[3] = 0.0;
        m.hmet_sky_cover = 12.0;
        const std::string out = run();
        // 12 tenths is read as overcast, with one warning.
        EXPECT_EQ(out, "WARNING: Cloud cover > 1.0 in evapo_trans.c - possible problem with hmet file \n");
        EXPECT_GT(m.pot_et[1], 0.0);
        EXPECT_LT(m.pot_et[1], 1.5 / 3600.0);  // cm/s: well below 15 mm/h
        EXPECT_EQ(m.pot_aet[1], m.pot_et[1]);
        EXPECT_NEAR(m.pot_et[2], 0.5 * m.pot_et[1], 1e-15);
        EXPECT_EQ(m.veg[3], penman ? 0.001 : 0.0);
        const double overcast = m.pot_et[1];
        m.hmet_sky_cover = 0.0;
        EXPECT_EQ(run(), "");
        EXPECT_GT(m.pot_et[1], overcast);
        EXPECT_GT(m.Ts[1], 273.15 + 25.0);  // sunlit ground is warmer than the air
    }
}

// A rate no number stops the run before it reaches the soil, naming the cell.
TEST(EtCells, ARateThatIsNoNumberStopsTheRunNamingTheCell) {
    kesta::model_state m;
    kesta_test::make_plane(m, kesta_test::row(3), 60.0);
    for (auto* v : {&m.alb, &m.Ts, &m.fTs, &m.snowdepth, &m.pot_et, &m.pot_aet, &m.veg, &m.Kt, &m.Rs})
        *v = kesta::vec1<double>(3);
    m.alb.fill(0.2);
    m.veg.fill(0.3);
    m.Rs.fill(100.0);
    m.et_calc_penman = 1;
    m.latitude = 40.0;
    m.hmet_record_date = kesta::date_record{2020, 6, 21, 12, 0, 0};
    m.hmet_air_temp = 25.0, m.hmet_rel_humidity = 40.0, m.hmet_pressure = 1000.0, m.hmet_wind_speed = 2.0;
    m.alb[2] = -1e308;
    kesta::g_error_record = kesta::error_record{};
    const std::string out = kesta_test::printed_by([&] { kesta::evapo_trans(m); });
    EXPECT_EQ(kesta::g_error_record.code, 4000);
    EXPECT_EQ(kesta::g_error_record.stop, 1);
    EXPECT_NE(out.find("Error: the potential evapotranspiration of cell 2 (row 1, column 2) at the weather record of "
                       "6/21/2020 12:00 is no number"),
              std::string::npos)
        << out;
    kesta::g_error_record = kesta::error_record{};
}

// The hourly soil log holds numbers only: a cell whose moisture is no number
// stops the run, named, and its hour is not written.
TEST(EtCells, AHourlyLogLineWithNoNumberIsNotWrittenAndStopsTheRun) {
    kesta::model_state m;
    m.long_term = m.soil_et_accounting = 1;
    kesta_test::make_soil_plane(m, kesta_test::row(2), 3600.0, 2);
    kesta_test::temp_dir dir;
    kesta_test::use_kvl_weather(m, dir, kesta_test::kvl_hours(2020, 6, 1, 5, 3));
    m.hmet_call_count = 1;
    kesta_test::printed_by([&] { kesta::read_hmet_record(m); });
    m.hmet_call_count = 2;
    m.hmet_next = m.hmet_last = m.time;
    kesta_test::open_output(m, m.evap_out_fp, dir.file("evap_out"));
    m.soil_depth.fill(50.0);
    m.Ws1.fill(10.0);
    m.Ws1[2] = std::nan("");
    kesta::g_error_record = kesta::error_record{};
    const std::string out = kesta_test::printed_by([&] { kesta::step_hydromet(m); });
    EXPECT_EQ(kesta::g_error_record.stop, 1);
    EXPECT_NE(out.find("Error: at the weather record of 6/1/2020 5:00 the soil moisture of cell 2 (row 1, column 2) "
                       "is no number"),
              std::string::npos)
        << out;
    EXPECT_EQ(std::ftell(m.evap_out_fp.get()), 0L);
    kesta::g_error_record = kesta::error_record{};
}

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
    kesta_test::make_plane(m, kesta_test::row(1), 60.0);
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
    kesta_test::make_plane(m, kesta_test::row(2), 60.0);
    m.snowdepth = kesta::vec1<double>(2);
    m.snowdepth[1] = 0.05;
    m.snowdepth[2] = 0.5;
    m.hmet_air_temp = -10.0, m.hmet_rel_humidity = 20.0, m.hmet_wind_speed = 2.0, m.hmet_pressure = 1000.0;
    EXPECT_EQ(kesta::snowmelt_energy_balance(m, 3600.0), 1);
    EXPECT_EQ(m.snowdepth[1], 0.05);
    EXPECT_EQ(m.h[1], 0.0);

    // 15 C, humid and windy, for 12 hours: 7 cm of melt.
    m.hmet_air_temp = 15.0, m.hmet_rel_humidity = 90.0, m.hmet_wind_speed = 5.0;
    EXPECT_EQ(kesta::snowmelt_energy_balance(m, 12 * 3600.0), 1);
    EXPECT_EQ(m.snowdepth[1], 0.0);
    EXPECT_DOUBLE_EQ(m.h[1], 0.05);
    EXPECT_NEAR(0.5 - m.snowdepth[2], 0.07, 0.005);
    EXPECT_DOUBLE_EQ(m.h[2] + m.snowdepth[2], 0.5);
}

}  // namespace
