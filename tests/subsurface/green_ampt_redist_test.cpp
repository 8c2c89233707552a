// Green and Ampt with redistribution: the ponded capacity against the exact
// solution, the bounds of the wetted zone, and water kept through rain and
// dry spells.
#include <gtest/gtest.h>

#include <cmath>

#include "subsurface/green_ampt_redist.hpp"
#include "subsurface/soil_columns.hpp"

namespace {

using kesta_test::plane;

TEST(GreenAmptRedist, PondedCapacityTracksTheImplicitSolution) {
    kesta::model_state m;
    kesta_test::make_redist_plane(m, plane(), 300.0);
    for (int i = 0; i < 12; ++i) {
        m.h[1] = 1.0;
        kesta_test::infiltration_pass(m);
    }
    // Exact ponded Green and Ampt after 1 h: 1.5907 cm; the two-point
    // capacity formula in 300 s steps gives 1.5888 cm.
    EXPECT_NEAR(m.infdep[1], 0.015888, 1e-7);
    EXPECT_LT(std::fabs(m.infdep[1] - 0.015907), 0.002 * 0.015907);
    EXPECT_EQ(m.teta_n[1], 0.434);  // the ponded surface is saturated
}

TEST(GreenAmptRedist, WettedZoneStaysBetweenInitialMoistureAndPorosity) {
    const double thi = 0.13, thr = 0.027, phi = 0.434, ks = 1e-6, hc = 0.09, lambda = 0.252;
    // Supply (m/s), infiltrated depth (m), step (s): the zone drains, fills
    // past saturation, or has nothing to redistribute.
    struct row {
        double r, I, dt, low, high;
    } rows[] = {{0.0, 0.01, 60.0, thi, 0.3}, {0.0, 1e-6, 86400.0, thi, thi},  {1e-3, 0.01, 3600.0, phi, phi},
                {0.0, 0.0, 60.0, 0.3, 0.3},  {0.0, -0.01, 60.0, 0.3, 0.3}};
    for (const row& c : rows) {
        const double t = kesta::redistributed_moisture(0.3, thi, thr, phi, ks, hc, lambda, c.r, c.I, c.dt);
        EXPECT_GE(t, c.low) << c.r << " " << c.I;
        EXPECT_LE(t, c.high) << c.r << " " << c.I;
    }
    // An initial moisture below the residual one gives no power of a
    // negative saturation.
    EXPECT_TRUE(std::isfinite(kesta::redistributed_moisture(0.3, 0.01, thr, phi, ks, hc, lambda, 0.0, 0.01, 60.0)));
    EXPECT_EQ(kesta::relative_saturation(0.01, thr, phi), 0.0);
    EXPECT_EQ(kesta::redistribution_capacity(ks, -0.5, 0.0, 60.0), ks);  // no suction: the soil takes Ks
}

// Showers below and above the conductivity with dry spells between them, on
// a strip of cells with different rain: every drop lost from the surface is
// in the soil, the wetted zone stays within its bounds, and a later event
// that starts dry finds nothing to redistribute.
TEST(GreenAmptRedist, RainAndDrySpellsKeepTheWaterAndTheBounds) {
    kesta::model_state m;
    plane p;
    p.cols = 3;
    kesta_test::make_redist_plane(m, p, 600.0);
    const double rain[] = {0.0, 2e-5, 2e-4, 2e-3};  // m per step: light, heavy, very heavy
    double given = 0.0;
    for (int i = 0; i < 72; ++i) {
        const bool raining = i % 24 < 6;
        for (int k = 1; k <= 3; ++k) {
            if (raining) m.h[k] += rain[k];
            if (raining) given += rain[k];
        }
        kesta_test::infiltration_pass(m);
        for (int k = 1; k <= 3; ++k) {
            ASSERT_GE(m.teta_n[k], m.thi[k]) << i << " " << k;
            ASSERT_LE(m.teta_n[k], 0.434) << i << " " << k;
        }
    }
    double held = 0.0;
    for (int k = 1; k <= 3; ++k) held += m.h[k] + m.infdep[k];
    EXPECT_NEAR(held, given, 1e-15);
    EXPECT_GT(m.teta_n[3], m.thi[3]);

    for (int k = 1; k <= 3; ++k) m.infdep[k] = m.infdep_prev[k] = m.vinf_n[k] = m.h[k] = 0.0;
    kesta_test::infiltration_pass(m);
    for (int k = 1; k <= 3; ++k) EXPECT_TRUE(std::isfinite(m.teta_n[k])) << k;
}

}  // namespace
