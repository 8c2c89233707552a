// Plants: the heat-unit curves of the database records, the sharing of the
// nitrogen taken up, the database's fallback, the checks and the clamps that
// keep the plant model real.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "nutrients/source/environment.hpp"
#include "nutrients/source/plant.hpp"
#include "nutrients/source/vegso_interface.hpp"
#include "warning_capture.hpp"

using namespace VEGSO;

namespace {

PlantDescriptor descriptor(const char* code, double share) {
    PlantDescriptor d;
    d.name = code;
    d.value = share;
    return d;
}

}  // namespace

TEST(Plant, CornCurvesPassThroughTheirDatabasePoints) {
    const PlantCommunity community({descriptor("CORN", 1.0)}, 1);
    const Plant& corn = community.plants()[0];
    EXPECT_NEAR(corn.canopy.shape1, 3.055135, 1e-6);
    EXPECT_NEAR(corn.canopy.shape2, 13.385443, 1e-6);
    EXPECT_NEAR(corn.nutrient.shape1, 2.687903, 1e-6);
    EXPECT_NEAR(corn.nutrient.shape2, 10.795321, 1e-6);
    // 0.05 of the maximum LAI at 0.15 of the heat units, 0.95 at 0.5.
    auto leaf = [&](double phi) { return phi / (phi + std::exp(corn.canopy.shape1 - corn.canopy.shape2 * phi)); };
    EXPECT_NEAR(leaf(0.15), 0.05, 1e-9);
    EXPECT_NEAR(leaf(0.5), 0.95, 1e-9);
}

TEST(Plant, NitrogenTakenUpIsSharedOnceByTheShares) {
    PlantCommunity community({descriptor("CORN", 0.5), descriptor("EGAM", 0.5)}, 1);
    community.distributeUptake(10.0);
    for (const Plant& p : community.plants()) {
        EXPECT_DOUBLE_EQ(p.nutrient.stepUptake, 5.0);
        EXPECT_DOUBLE_EQ(p.nutrient.massTakenUp, 5.0);
    }
    EXPECT_DOUBLE_EQ(community.totalNutrientMass(), 10.0);
}

TEST(Plant, UnknownCodesFallBackToTheDefaultRecordTableByTableWithAWarningEach) {
    vegso_test::warning_capture warnings;
    const PlantCommunity community({descriptor("SGHY", 1.0), descriptor("SGHY", 1.0), descriptor("GRSG", 1.0)}, 1);
    const Plant& sghy = community.plants()[0];
    const Plant& grsg = community.plants()[2];
    EXPECT_EQ(sghy.canopy.maxLAI, 4.0);              // its own leaf-area record
    EXPECT_EQ(sghy.development.baseTemperature, 10.0);  // DEFAULT temperature
    EXPECT_EQ(sghy.canopy.maxHeight, 2.0);              // DEFAULT canopy
    EXPECT_EQ(grsg.development.baseTemperature, 11.0);
    EXPECT_EQ(grsg.nutrient.emergenceFraction, 0.04);   // DEFAULT nutrients
    // SGHY misses four tables, GRSG one; each is told once.
    EXPECT_EQ(warnings.count("plant code \"SGHY\""), 4);
    EXPECT_EQ(warnings.count("no nutrient-parameter record for plant code \"GRSG\""), 1);
    EXPECT_EQ(warnings.texts().size(), 5u);
}

TEST(Plant, AFailedCheckIsToldOnceWithItsCellAndTheValueIsSetToZero) {
    vegso_test::warning_capture warnings;
    PlantCommunity community({descriptor("CORN", 1.0)}, 42);
    Plant& corn = community.plants()[0];
    corn.roots.rootDepth = 2.0;
    corn.waterDemand.transpirationRate = 0.004;
    SoilLayerDescriptor inverted;  // its bottom above its top
    inverted.bottomDepth = 0.1;
    inverted.thickness = -0.2;
    EXPECT_EQ(community.layerWaterUptake(inverted), 0.0);
    EXPECT_EQ(community.layerWaterUptake(inverted), 0.0);
    ASSERT_EQ(warnings.texts().size(), 1u);
    EXPECT_NE(warnings.texts()[0].find("\"dwdt_thisSoilLayer >= 0.0\" failed in cell 42"), std::string::npos);
    EXPECT_NE(warnings.texts()[0].find("[p.ps.plant]"), std::string::npos);
}

// Both uptakes of a layer at once are those of each alone, bit for bit:
// for the top layer, layers within, across and below the roots of two
// plants, and a layer whose bottom is the roots' depth; a layer that fails
// a check is only said to fail, for the checks of each alone to report.
TEST(Plant, BothUptakesOfALayerAtOnceAreThoseOfEachAlone) {
    PlantCommunity community({descriptor("CORN", 0.6), descriptor("EGAM", 0.4)}, 7);
    vegso_test::warning_capture warnings;
    community.plants()[0].roots.rootDepth = 0.55;
    community.plants()[1].roots.rootDepth = 0.3;
    community.plants()[0].waterDemand.transpirationRate = 0.004;
    community.plants()[1].waterDemand.transpirationRate = 0.003;
    community.plants()[0].nutrient.demandRate = 2.5;
    community.plants()[1].nutrient.demandRate = 1.5;
    const double layers[][2] = {{0.1, 0.1}, {0.25, 0.15}, {0.4, 0.15}, {0.55, 0.15}, {0.9, 0.35}, {1.5, 0.6}};
    for (const auto& bottomAndThickness : layers) {
        SoilLayerDescriptor layer;
        layer.bottomDepth = bottomAndThickness[0];
        layer.thickness = bottomAndThickness[1];
        SCOPED_TRACE(layer.bottomDepth);
        double water = -1.0;
        double nitrogen = -1.0;
        EXPECT_TRUE(community.layerUptakes(layer, water, nitrogen));
        EXPECT_EQ(water, community.layerWaterUptake(layer));
        EXPECT_EQ(nitrogen, community.layerNitrogenUptake(layer));
    }
    SoilLayerDescriptor inverted;
    inverted.bottomDepth = 0.1;
    inverted.thickness = -0.2;
    double water = 0.0;
    double nitrogen = 0.0;
    EXPECT_FALSE(community.layerUptakes(inverted, water, nitrogen));
    EXPECT_TRUE(warnings.texts().empty());
    // No plants: nothing drawn.
    const PlantCommunity bare({}, 8);
    EXPECT_TRUE(bare.layerUptakes(inverted, water, nitrogen));
    EXPECT_EQ(water, 0.0);
    EXPECT_EQ(nitrogen, 0.0);
}

// An exp kept with its argument gives what exp gives, whether the argument
// comes again or not: after 0 (exp 1), -0, a number and not a number.
TEST(Plant, AKeptExpGivesExpOfEachArgument) {
    KeptExp kept;
    const double nan = std::nan("");
    const double arguments[] = {0.0, 0.0, -0.0, 1.5, 1.5, -700.0, nan, nan, 0.25, 0.0};
    for (const double x : arguments) {
        const double got = kept(x);
        const double want = std::exp(x);
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(got));
        } else {
            EXPECT_EQ(got, want) << x;
        }
    }
}

// A plant stepped through an evening, a night and a morning: its leaf-area
// and nitrogen curves are those of its heat units at every step, whether
// they stood still or not.
TEST(Plant, TheCurvesFollowTheHeatUnitsThroughTheNight) {
    vegso_env_record* record = vegso_env_create();
    record->period = 1.0 / 24.0;
    record->air_temperature = {1, 24.0};
    PlantCommunity community({descriptor("CORN", 1.0)}, 2);
    const Plant& corn = community.plants()[0];
    bool night = false;
    bool day = false;
    for (int hour = 15; hour < 15 + 20; ++hour) {
        record->day_of_year = 180.0 + hour / 24.0;
        vegso_env_update(record);
        const Environment& e = *record->environment;
        (e.sunUp ? day : night) = true;
        community.update(e);
        const double phi = corn.fractionPotentialHeatUnits;
        SCOPED_TRACE(hour);
        EXPECT_EQ(corn.canopy.fraction, phi / (phi + std::exp(corn.canopy.shape1 - corn.canopy.shape2 * phi)));
        const double n = phi / (phi + std::exp(corn.nutrient.shape1 - corn.nutrient.shape2 * phi));
        EXPECT_EQ(corn.nutrient.optimalFraction,
                  (1.0 - n) * (corn.nutrient.emergenceFraction - corn.nutrient.maturityFraction) +
                      corn.nutrient.maturityFraction);
        community.updateConstraints(e);
    }
    EXPECT_TRUE(night && day);
    EXPECT_GT(corn.fractionPotentialHeatUnits, 0.0);
    vegso_free_record(record);
}

TEST(Plant, StressesWindAndHeightsKeepTheGrowthAndTranspirationReal) {
    vegso_test::warning_capture warnings;
    vegso_env_record* record = vegso_env_create();
    record->period = 1.0 / 24.0;
    record->day_of_year = 180.5;
    record->wind_speed = {1, 0.0};        // calm
    record->wind_height = {1, 0.5};       // both below a grown canopy
    record->humidity_height = {1, 0.5};
    record->air_temperature = {1, 28.0};
    vegso_env_update(record);
    const Environment& e = *record->environment;
    ASSERT_TRUE(e.sunUp);
    EXPECT_DOUBLE_EQ(e.aerodynamicResistance, 208.0 / 0.5);

    PlantCommunity community({descriptor("CORN", 1.0)}, 3);
    Plant& corn = community.plants()[0];
    corn.heatUnits = 1400.0;  // grown: the canopy is 2.5 m tall
    community.update(e);
    EXPECT_NEAR(corn.canopy.height, 2.5, 0.01);
    EXPECT_GT(corn.waterDemand.transpirationRate, 0.0);
    EXPECT_TRUE(std::isfinite(corn.waterDemand.transpirationRate));
    // Calm air mixes as a wind of 0.5 m/s does.
    record->wind_speed = {1, 0.5};
    vegso_env_update(record);
    PlantCommunity breezy({descriptor("CORN", 1.0)}, 3);
    breezy.plants()[0].heatUnits = 1400.0;
    breezy.update(e);
    EXPECT_DOUBLE_EQ(breezy.plants()[0].waterDemand.transpirationRate, corn.waterDemand.transpirationRate);

    // No nitrogen for a step that wanted much: the stress formula passes 1,
    // the constraint stops at 0.
    corn.nutrient.optimalMass = 10.0;
    community.distributeUptake(0.0);
    community.updateConstraints(e);
    EXPECT_EQ(corn.nutrient.stressFactor, 1.0);
    EXPECT_EQ(corn.plantGrowthConstraintFactor, 0.0);
    EXPECT_TRUE(warnings.texts().empty());
    vegso_free_record(record);
}
