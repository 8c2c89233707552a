// The water content of the nutrient soil layers of a layered soil.
#include <gtest/gtest.h>

#include "nutrients/zep_soils.hpp"

// Layers of 0.05, 0.25 and 0.7 m (the soil class's layers 30 cm and 70 cm
// deep, porosities 0.45 and 0.40). Over a water table 1.5 m deep the two
// layers of the upper store share its 6 cm of water by thickness; with the
// water table at the ground every layer is saturated at its class layer's
// porosity, whatever water the stores hold.
TEST(ZepSoilLayerMoisture, StoresShareTheirWaterAboveTheWaterTableAndSaturateBelow) {
    double soil[24] = {};
    soil[7] = 0.45;
    soil[8] = 0.40;
    soil[22] = 30.0;
    soil[23] = 70.0;
    const double t[4] = {0.0, 0.05, 0.25, 0.7};
    double theta[4] = {};
    kesta::zep_soil_layer_moisture(6.0, 14.0, 150.0, t, true, soil, 3, theta);
    EXPECT_NEAR(theta[1], 0.2, 1e-12);
    EXPECT_NEAR(theta[2], 0.2, 1e-12);
    EXPECT_NEAR(theta[3], 0.2, 1e-12);  // the lower store's 14 cm over 70 cm

    kesta::zep_soil_layer_moisture(6.0, 14.0, 0.0, t, true, soil, 3, theta);
    EXPECT_EQ(theta[1], 0.45);
    EXPECT_EQ(theta[2], 0.45);
    EXPECT_EQ(theta[3], 0.40);
}

// A class with one layer 30 cm deep (porosity 0.45) split into a 5 cm
// mixing layer and the rest: both layers lie in the class's first layer
// and its upper store, whatever the second layer's porosity and store;
// unsplit, the one layer holds the upper store's water.
TEST(ZepSoilLayerMoisture, LayersOfAClassWithoutASecondLayerKeepToTheFirst) {
    double soil[24] = {};
    soil[7] = 0.45;
    soil[8] = 0.40;
    soil[22] = 30.0;
    const double t[3] = {0.0, 0.05, 0.25};
    double theta[3] = {};
    kesta::zep_soil_layer_moisture(6.0, 14.0, 150.0, t, true, soil, 2, theta);
    EXPECT_NEAR(theta[1], 0.2, 1e-12);
    EXPECT_NEAR(theta[2], 0.2, 1e-12);
    kesta::zep_soil_layer_moisture(6.0, 14.0, 0.0, t, true, soil, 2, theta);
    EXPECT_EQ(theta[1], 0.45);
    EXPECT_EQ(theta[2], 0.45);
    const double whole[2] = {0.0, 0.3};
    kesta::zep_soil_layer_moisture(6.0, 0.0, 150.0, whole, true, soil, 1, theta);
    EXPECT_NEAR(theta[1], 0.2, 1e-12);
}
