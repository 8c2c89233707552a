// The infiltration step: its clock, the totals it keeps, exfiltration and
// the wait between events.
#include <gtest/gtest.h>

#include "model/event_steps.hpp"
#include "subsurface/soil_cells.hpp"

namespace {

using kesta::model_state;
using kesta_test::kStartJulian;
using kesta_test::plane;

TEST(InfiltrationStep, DueStepMovesItsDepthIntoTheMapsTheTotalsAndTheSoilAccounts) {
    model_state m;
    m.sacramento_given = m.soil_et_accounting = 1;
    kesta_test::make_soil_plane(m, kesta_test::row(2), 60.0);
    m.event_active = 1;
    m.h[1] = 1.0;
    m.h[2] = 1e-4;  // runs dry in the first step
    m.time = m.inf_next + m.inf_interval / 2.0;
    kesta::step_infiltration(m);
    EXPECT_EQ(m.infdep[2], 0.0);  // not due

    m.inf_next = kStartJulian + 2.0 * m.dt_days;  // the last run two steps before
    m.step = 1;
    kesta_test::infiltration_pass(m);
    kesta_test::infiltration_pass(m);
    EXPECT_DOUBLE_EQ(m.inf_next, m.time + m.inf_interval);
    EXPECT_DOUBLE_EQ(m.infdep[2], 1e-4);
    for (int k = 1; k <= 2; ++k) {
        EXPECT_EQ(m.infdep_all[k], m.infdep[k]);
        EXPECT_EQ(m.sm_inf_depth[k], m.infdep[k]);
    }
    EXPECT_NEAR(m.sac_infil_depth, m.infdep[1] + m.infdep[2], 1e-15);
    EXPECT_NEAR(m.run_sums.infiltrated_volume, (m.infdep[1] + m.infdep[2]) * 100.0, 1e-12);
}

TEST(InfiltrationStep, EventVolumeCountsOnlyTheEventsOwnInfiltration) {
    model_state m;
    kesta_test::make_soil_plane(m, plane(), 60.0);
    m.event_start_times = kesta::vec1<double>(2);
    m.event_start_times[2] = kStartJulian + 3.0 * m.dt_days;
    m.nevents = 2;
    m.h[1] = 1.0;
    for (int i = 0; i < 3; ++i) kesta_test::infiltration_pass(m);
    const double first = m.infdep[1];
    m.event_index = 2;
    kesta::start_event(m);
    for (int i = 0; i < 2; ++i) kesta_test::infiltration_pass(m);
    m.event_done = 1;
    kesta::finish_event(m);
    EXPECT_NEAR(m.volume_of_infiltrated_water, m.infdep[1] * 100.0, 1e-12);
    EXPECT_NEAR(m.infdep_all[1], first + m.infdep[1], 1e-15);  // the map keeps the run's depth
}

// A strip of four exfiltrating cells at 100 m, 1 cm of water on each, with
// redistribution and 60 s steps; cell 3 is not exfiltrating and its soil
// takes no water.
TEST(InfiltrationStep, ExfiltrationRisesThroughTheSoilAndLeaksNoMoreThanTheSurfaceHolds) {
    model_state m;
    kesta_test::make_soil_plane(m, kesta_test::row(4), 60.0, 2);
    for (auto* v : {&m.elevgw, &m.exfiltrate}) *v = kesta::vec1<double>(4);
    m.any_exfil = 1;
    m.soil_moist_depth = 50.0;  // cm
    const double table[] = {0.0, 100.51, 99.0, 100.51, 100.51};
    for (int k = 1; k <= 4; ++k) {
        m.yes_exfil[k] = k != 3;
        m.h[k] = 0.01;
        m.elevgw[k] = table[k];
    }
    m.ks_map[3] = 0.0;
    kesta_test::add_overland_lake(m, 4, 100.5);
    kesta_test::infiltration_pass(m);
    const double rise = 0.5 * 0.34 / 360000.0 / 0.5 * 60.0;  // Julian time holds dt to ~1e-5 s
    EXPECT_NEAR(m.exfiltrate[1], rise, rise * 1e-6);
    EXPECT_DOUBLE_EQ(m.h[1], 0.01 + m.exfiltrate[1]);
    EXPECT_EQ(m.h[2], 0.01);  // table below the ground, no groundwater model: nothing
    EXPECT_EQ(m.h[3], 0.01);  // not exfiltrating
    EXPECT_EQ(m.h[4], 0.01);  // in a lake
    EXPECT_DOUBLE_EQ(m.total_vol_water_exfiltrated_this_run, m.exfiltrate[1] * 100.0);

    // With the groundwater model a cell above its table leaks to it.
    m.gw_simulation = 1;
    m.gw_leakage_rate = 36.0;  // cm/h: 6 mm a minute
    m.h[2] = 0.002;
    m.yes_exfil[3] = 1;
    m.elevgw[3] = 99.0;
    kesta_test::infiltration_pass(m);
    EXPECT_EQ(m.h[2], 0.0);
    EXPECT_EQ(m.exfiltrate[2], -0.002);
    EXPECT_NEAR(m.h[3], 0.004, 1e-8);
    EXPECT_NEAR(m.total_vol_water_exfiltrated_this_run,
                (m.exfiltrate[1] + m.exfiltrate[2] + m.exfiltrate[3]) * 100.0, 1e-15);
}

TEST(InfiltrationStep, DrySoilWaitsBetweenEventsForOneStepIntoTheNext) {
    model_state m;
    m.soil_et_accounting = 1;
    kesta_test::make_soil_plane(m, plane(), 60.0, 2);
    m.event_start_times = kesta::vec1<double>(3);
    for (int e = 1; e <= 3; ++e) m.event_start_times[e] = kStartJulian + e;
    m.nevents = 3;
    m.h[1] = 0.01;  // water on the surface keeps the soil stepping
    kesta_test::infiltration_pass(m);
    EXPECT_DOUBLE_EQ(m.inf_next, m.time + m.inf_interval);

    m.h[1] = 0.0;
    m.redist_event_init = 1;
    kesta_test::infiltration_pass(m);
    EXPECT_DOUBLE_EQ(m.inf_next, kStartJulian + 2.0 + m.dt_days);
    EXPECT_EQ(m.redist_event_init, 0);

    m.event_index = 3;  // after the last event the soil waits for good
    m.inf_next = kStartJulian + 3.0 * m.dt_days;
    kesta_test::infiltration_pass(m);
    EXPECT_EQ(m.inf_next, kesta::kParkedTime);
}

}  // namespace
