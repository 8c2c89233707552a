#include "nutrients/source/soil_layer.hpp"

#include <cmath>

#include "nutrients/source/soil_schema.hpp"

namespace VEGSO {

namespace {

constexpr double kMinTemperatureFactor = 0.1;
constexpr double kMinWaterFactor = 0.05;

}  // namespace

SoilLayer::SoilLayer(const SoilLayerDescriptor& d) : descriptor(&d) { updateFactors(); }

void SoilLayer::updateFactors() {
    // The soil's temperature seldom changes between steps: its factor is
    // kept with the temperature it was computed for.
    const double t = descriptor->temperature;
    if (!(t == factorTemperature_)) {
        temperatureFactor = t / (t + std::exp(9.93 - 0.312 * t)) * 0.9 + 0.1;
        if (!(temperatureFactor >= kMinTemperatureFactor)) temperatureFactor = kMinTemperatureFactor;
        factorTemperature_ = t;
    }

    const double w = descriptor->water;
    const double fc = descriptor->fieldCapacityWater;
    // A layer without field capacity (or without thickness) is wet when it
    // holds any water.
    if (fc > 0.0) {
        waterFactor = w / fc;
    } else {
        waterFactor = w > 0.0 ? 1.0 : kMinWaterFactor;
    }
    if (!(waterFactor >= kMinWaterFactor)) waterFactor = kMinWaterFactor;
    combinedFactor = std::sqrt(waterFactor * temperatureFactor);
}

}  // namespace VEGSO
