// Green and Ampt: the single-layer ponded solution, Newton depth and per-cell
// limits; multi-layer conductivity and agreement with the single layer; the
// redistribution's ponded capacity, wetted-zone bounds and water kept through
// rain and dry spells; and the soil parameters the column set-up refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "subsurface/green_ampt.hpp"
#include "subsurface/green_ampt_layered.hpp"
#include "subsurface/green_ampt_redist.hpp"
#include "subsurface/soil_cells.hpp"

namespace {

using kesta::g_error_record;
using kesta::soil_param;
using kesta_test::has;
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
    m.area_reduction_given = 1;
    kesta_test::make_soil_plane(m, kesta_test::row(4), 60.0);
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

TEST(GreenAmptLayered, CrossedLayersConductAsTheirHarmonicMean) {
    const double k[3] = {1.0, 0.1, 0.5};
    const double front_in_2[3] = {10.0, 5.0, 0.0};  // cm into each layer
    EXPECT_DOUBLE_EQ(kesta::layered_conductivity(front_in_2, k), 0.25);
    const double nothing[3] = {0.0, 0.0, 0.0};
    EXPECT_EQ(kesta::layered_conductivity(nothing, k), 1.0);
    const double tight[3] = {1.0, 0.0, 2.0}, blocked[3] = {10.0, 5.0, 1.0};
    const double k_blocked[3] = {1.0, 0.2, 0.0};
    EXPECT_DOUBLE_EQ(kesta::layered_conductivity(tight, k), 3.0 / (1.0 + 4.0));
    EXPECT_EQ(kesta::layered_conductivity(blocked, k_blocked), 0.0);
}

TEST(GreenAmptLayered, ThreeIdenticalLayersReproduceSingleLayerGreenAmpt) {
    // The loam of soil_cells.hpp in cm and cm/h, ponded for 4 h in 60 s steps
    // (the front passes 10 and 30 cm), and under a rain that runs dry.
    for (double rain : {1.0, 2e-5}) {
        kesta::model_state single, layered;
        kesta_test::make_soil_plane(single, plane(), 60.0);
        const double k[3] = {0.34, 0.34, 0.34}, hc[3] = {8.89, 8.89, 8.89};
        kesta_test::make_layered_plane(layered, plane(), 60.0, k, hc, 0.434, 0.1302);
        for (int i = 0; i < 240; ++i) {
            single.h[1] = layered.h[1] = rain;
            kesta::green_ampt_infil(single, 60.0);
            kesta::green_ampt_multilayer(layered, 60.0);
            ASSERT_NEAR(layered.infdep[1], single.infdep[1], 1e-13 + 1e-11 * single.infdep[1]) << rain << " " << i;
            ASSERT_NEAR(layered.fav[1], single.fav[1], 1e-9 * single.fav[1]) << rain << " " << i;
        }
        // The front stands where the water fills the deficit, at most one
        // step of infiltration ahead (it follows the step's implicit depth).
        const double d = 0.434 - 0.1302;
        EXPECT_NEAR(layered.wetdep[1], layered.infdep[1] * 100.0 / d, layered.fav[1] / 60.0 / d + 1e-9);
    }
}

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
    kesta_test::make_redist_plane(m, kesta_test::row(3), 600.0);
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

// Runs the set-up; returns what it printed, empty when it accepted the soil.
std::string refusal(kesta::model_state& m) {
    g_error_record.clear_for_run();
    const std::string out = kesta_test::printed_by([&] { kesta::setup_soil_columns(m); });
    EXPECT_EQ(out.empty(), g_error_record.stop == 0) << out;
    return out;
}

TEST(SoilParams, SetUpRefusesMissingOrUnusableSoilNamingIt) {
    kesta::model_state m;
    kesta_test::make_redist_plane(m, kesta_test::row(2), 60.0);
    EXPECT_TRUE(has(refusal(m), "needs the field capacity of every cell"));
    m.mapping_table_info.green_ampt = 1;  // the Green and Ampt table gives it
    EXPECT_EQ(refusal(m), "");
    m.field_capacity[2] = 0.12;
    EXPECT_TRUE(has(refusal(m), "cell 2: field capacity 0.12 must exceed the wilting point 0.12 and 0"));
    m.field_capacity[2] = 0.27;
    m.thr_map[1] = 0.434;
    EXPECT_TRUE(has(refusal(m), "cell 1: porosity 0.434 must exceed the residual saturation 0.434"));

    kesta::model_state l;
    const double k[3] = {1.0, 1.0, 1.0}, hc[3] = {5.0, 5.0, 5.0};
    kesta_test::make_layered_plane(l, plane(), 60.0, k, hc, 0.4, 0.2);
    l.soil_layer_input_file = "soils.txt";
    // The class holds cm/h and cm; the accessor gives m/s and m.
    EXPECT_DOUBLE_EQ(kesta::soil_parameter(l, 1, soil_param::conductivity, 2), 1.0 / 360000.0);
    EXPECT_DOUBLE_EQ(kesta::soil_parameter(l, 1, soil_param::capillary_head, 3), 0.05);
    l.soil_class[1].v[17] = 0.0;  // field capacity of layer 2
    EXPECT_TRUE(has(refusal(l), "soil table soils.txt, class 1, layer 2: field capacity 0 must exceed"));
    l.soil_class[1].v[23] = 0.0;  // no layer 2: nothing to check
    EXPECT_EQ(refusal(l), "");
    l.soil_class[1].v[25] = 0.0;
    EXPECT_TRUE(has(refusal(l), "layer 1: pore distribution index 0 must be above 0"));
    g_error_record.clear_for_run();
}

}  // namespace
