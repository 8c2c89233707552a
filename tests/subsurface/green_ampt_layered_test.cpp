// Multi-layer Green and Ampt: the conductivity of crossed layers and agreement
// with the single-layer kernel in a uniform soil.
#include <gtest/gtest.h>

#include <cmath>

#include "subsurface/green_ampt.hpp"
#include "subsurface/green_ampt_layered.hpp"
#include "subsurface/soil_columns.hpp"

namespace {

using kesta_test::plane;

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

}  // namespace
