// Single-layer Green and Ampt: the ponded solution, the Newton depth and the
// per-cell limits of the kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "subsurface/green_ampt.hpp"
#include "subsurface/soil_cells.hpp"

namespace {

using kesta_test::plane;

// Infiltrated depth (m) of one loam cell kept ponded for `hours` in steps of
// dt seconds.
double ponded_depth(double hours, double dt) {
    kesta::model_state m;
    kesta_test::make_soil_plane(m, plane(), dt);
    for (long i = std::lround(hours * 3600.0 / dt); i > 0; --i) {
        m.h[1] = 10.0;
        kesta::green_ampt_infil(m, dt);
    }
    return m.infdep[1];
}

TEST(GreenAmpt, PondedLoamConvergesToTheExactCumulativeInfiltration) {
    // F - S ln(1 + F/S) = K t with K = 0.34 cm/h and S = 2.7008 cm gives
    // 1.5907 cm after 1 h and 3.6835 cm after 4 h.
    for (auto [hours, exact] : {std::pair{1.0, 0.015907}, std::pair{4.0, 0.036835}}) {
        const double fine = std::fabs(ponded_depth(hours, 10.0) - exact);
        EXPECT_LT(fine, 0.01 * exact) << hours << " h";
        EXPECT_LT(fine, std::fabs(ponded_depth(hours, 60.0) - exact) / 3.0) << hours << " h";
    }
}

TEST(GreenAmpt, NewtonSolvesTheStepEquationOrFallsBackToConductivity) {
    // From a gravel to a clay under a metre of suction, over a second to a day.
    for (double K : {1e-9, 1e-7, 1e-5, 1e-3})
        for (double S : {1e-6, 1e-3, 0.027, 1.0})
            for (double F0 : {0.0, 0.5})
                for (double dt : {1.0, 600.0, 86400.0}) {
                    const double F = kesta::green_ampt_depth(K, S, F0, dt);
                    ASSERT_GE(F, F0) << K << " " << S << " " << F0 << " " << dt;
                    EXPECT_LE(std::fabs(S * std::log((F + S) / (F0 + S)) + K * dt - F + F0), 1e-6);
                }
    const double K = 1e-6, nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(kesta::green_ampt_rate(K, 0.0, 0.0, 60.0), K);    // no capillary drive
    EXPECT_EQ(kesta::green_ampt_rate(K, -0.01, 0.0, 60.0), K);  // wetter than its porosity
    EXPECT_EQ(kesta::green_ampt_rate(K, 0.02, nan, 60.0), K);   // no settled depth
    EXPECT_EQ(kesta::green_ampt_rate(nan, 0.02, 0.0, 60.0), 0.0);
}

TEST(GreenAmpt, CellsGiveNoMoreThanTheyHoldAtTheirReducedCapacity) {
    kesta::model_state m;
    plane p;
    p.cols = 4;
    m.area_reduction_given = 1;
    kesta_test::make_soil_plane(m, p, 60.0);
    const double h[] = {0.0, 5e-17, 1e-5, 1.0, 1.0};  // dry, wet, ponded, ponded on a quarter
    for (int k = 1; k <= 4; ++k) {
        m.h[k] = h[k];
        m.fav[k] = 3.0;
        m.area_redux[k] = k == 4 ? 0.25 : 1.0;
    }
    kesta::green_ampt_infil(m, 60.0);
    // The dry cell takes nothing; the wet one gives all its water.
    EXPECT_EQ((std::vector<double>{m.h[1], m.fav[1], m.infdep[1], m.h[2]}), std::vector<double>(4, 0.0));
    EXPECT_DOUBLE_EQ(m.infdep[2], 1e-5);
    EXPECT_DOUBLE_EQ(m.fav[2], 1e-5 / 60.0 * 360000.0);
    const double f = kesta::green_ampt_rate(0.34 / 360000.0, 0.0889 * (0.434 - 0.1302), 0.0, 60.0);
    EXPECT_DOUBLE_EQ(m.infdep[3], f * 60.0);
    EXPECT_DOUBLE_EQ(m.h[3], 1.0 - f * 60.0);
    EXPECT_DOUBLE_EQ(m.fav[3], f * 360000.0);
    EXPECT_DOUBLE_EQ(m.fav[4], 0.25 * m.fav[3]);
}

TEST(GreenAmpt, EachRunFormsItsSuctionFromItsOwnInitialMoisture) {
    kesta::model_state first, second;
    kesta_test::soil wet;
    wet.theta = 0.4;
    kesta_test::make_soil_plane(first, plane(), 60.0);
    kesta_test::make_soil_plane(second, plane(), 60.0, 1, wet);
    for (kesta::model_state* m : {&first, &second}) {
        m->h[1] = 1.0;
        kesta::green_ampt_infil(*m, 60.0);
        m->thi[1] = 0.0;  // later moisture does not move the suction of the run
        kesta::green_ampt_infil(*m, 60.0);
    }
    EXPECT_DOUBLE_EQ(first.SFM[1], 0.0889 * (0.434 - 0.1302));
    EXPECT_DOUBLE_EQ(second.SFM[1], 0.0889 * (0.434 - 0.4));
}

}  // namespace
