#include "nutrients/source/soil_layer.hpp"

#include <cmath>

#include "nutrients/source/soil_schema.hpp"

namespace VEGSO {

namespace {

constexpr double kMinTemperatureFactor = 0.1;

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

    waterFactor = waterFactorOf(descriptor->water, descriptor->fieldCapacityWater);
    combinedFactor = std::sqrt(waterFactor * temperatureFactor);
}

}  // namespace VEGSO
