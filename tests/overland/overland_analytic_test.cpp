// Both overland schemes against kinematic-wave theory: rain on a uniform
// plane and the drainage of a single cell through the outlet.
#include <gtest/gtest.h>

#include <cmath>

#include "overland/overland_grid.hpp"

namespace {

using kesta::model_state;
using kesta_test::plane;

struct scheme_case {
    const char* name;
    int overtype;
    // "ade-pc" drains the outlet inside the column sweep, which alternates
    // between going first and last: its outflow alternates around the
    // equilibrium from one step to the next, and only a two-step cycle
    // settles.
    bool steady_each_step;
};

class EveryScheme : public ::testing::TestWithParam<scheme_case> {};

// A 1 x 20 strip of 10 m cells falling 0.1 m per cell, n = 0.05, outlet
// slope 0.01, rain 36 mm/h (1e-5 m/s) for 60 min. Theory: equilibrium outflow
// i x A = 0.0200 m3/s at an outlet depth of 0.015849 m after 1584.9 s; on the
// rising limb Q(t) = (1/n) sqrt(S) (i t)^(5/3) x width, 3.96e-3 m3/s at 600 s.
TEST_P(EveryScheme, RainOnAPlaneReachesTheKinematicWaveEquilibriumAndConservesWater) {
    model_state m;
    plane p;
    p.cols = 20;
    p.drop_x = 0.1;
    const double dt = 5.0;
    kesta_test::make_plane(m, p, dt);
    m.overtype = GetParam().overtype;
    m.outslope = 0.01;

    const double rain = 36.0;  // mm/h
    const int steps = static_cast<int>(3600.0 / dt);
    double volume_590 = 0.0, volume_600 = 0.0, volume_3590 = 0.0;
    for (int k = 1; k <= steps; ++k) {
        kesta_test::step_with_rain(m, rain);
        ASSERT_EQ(kesta::g_error_record.stop, 0);
        const double t = k * dt;
        if (t == 590.0) volume_590 = m.discharge_volume_run;
        if (t == 600.0) volume_600 = m.discharge_volume_run;
        if (t == 3590.0) volume_3590 = m.discharge_volume_run;
    }
    // Mean outflow over the last two steps (one cycle of sweep orders).
    const double q_end = (m.discharge_volume_run - volume_3590) / 10.0;
    EXPECT_NEAR(q_end, 0.0200, 0.0200 * 1e-3);
    if (GetParam().steady_each_step) {
        EXPECT_NEAR(m.q_out, 0.0200, 0.0200 * 1e-3);
        // The outflow of the step leaves from the depth before it drains.
        EXPECT_NEAR(m.h[20] + m.q_out * dt / 100.0, 0.015849, 0.015849 * 1e-3);
    }
    EXPECT_NEAR((volume_600 - volume_590) / 10.0, 3.96e-3, 3.96e-3 * 0.03);

    const double rained = 1e-5 * 3600.0 * 20 * 100.0;
    const double balance = kesta_test::stored_volume(m) + m.discharge_volume_run;
    EXPECT_NEAR(balance, rained, rained * 1e-9);
    EXPECT_DOUBLE_EQ(m.discharge_volume_sum, m.discharge_volume_run);
}

// One 10 m cell, n = 0.05, outlet slope 0.01, 0.1 m deep, no rain:
// dh/dt = -0.2 h^(5/3), so h(60 s) = (0.1^(-2/3) + 0.4 / 3 x 60)^(-3/2).
TEST_P(EveryScheme, SingleCellDrainsAsTheOutletLawPredicts) {
    model_state m;
    plane p;
    kesta_test::make_plane(m, p, 0.1);
    m.overtype = GetParam().overtype;
    m.outslope = 0.01;
    m.h[1] = 0.1;
    const double expected = std::pow(std::pow(0.1, -2.0 / 3.0) + 0.4 / 3.0 * 60.0, -1.5);
    ASSERT_NEAR(expected, 0.02225, 1e-5);
    for (int k = 1; k <= 600; ++k) kesta_test::step_with_rain(m, 0.0);
    EXPECT_NEAR(m.h[1], expected, expected * 0.01);
    EXPECT_NEAR(m.discharge_volume_run, (0.1 - m.h[1]) * 100.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Overland, EveryScheme,
                         ::testing::Values(scheme_case{"explicit", 1, true},
                                           scheme_case{"ade", 2, true},
                                           scheme_case{"ade_pc", 3, false}),
                         [](const ::testing::TestParamInfo<scheme_case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
