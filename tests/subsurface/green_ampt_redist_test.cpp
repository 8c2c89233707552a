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
    const double thi = 0.13, thr = 0.027, phi = 0.434, ks = 1e-6, hc = 0.09, lam = 0.252;
    const auto after = [&](double r, double I, double dt, double th_i) {
        return kesta::redistributed_moisture(0.3, th_i, thr, phi, ks, hc, lam, r, I, dt);
    };
    EXPECT_LT(after(0.0, 0.01, 60.0, thi), 0.3);  // drains a little
    EXPECT_EQ(after(0.0, 1e-6, 86400.0, thi), thi);  // a thin zone drains to the soil below
    EXPECT_EQ(after(1e-3, 0.01, 3600.0, thi), phi);  // a strong supply fills it
    EXPECT_EQ(after(0.0, 0.0, 60.0, thi), 0.3);   // no zone, nothing to redistribute
    EXPECT_TRUE(std::isfinite(after(0.0, 0.01, 60.0, 0.01)));  // below the residual moisture
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
