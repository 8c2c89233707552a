// The water and temperature factors of a soil layer that the nitrogen and
// phosphorus rate laws read, and the per-layer context handed to the graph
// steps.
#pragma once

#include <limits>

namespace VEGSO {

class Environment;
struct SoilLayerDescriptor;
struct NitrogenCycleDescriptor;
struct PhosphorusCycleDescriptor;

class SoilLayer {
public:
    // Does not own `descriptor`; computes the factors.
    explicit SoilLayer(const SoilLayerDescriptor& descriptor);
    // Recomputes the factors from the descriptor's water and temperature.
    void updateFactors();
    // The water factor of a layer holding `water` (m) of this field
    // capacity (m).
    static double waterFactorOf(double water, double fieldCapacityWater) {
        // A layer without field capacity (or without thickness) is wet when
        // it holds any water.
        double f;
        if (fieldCapacityWater > 0.0) {
            f = water / fieldCapacityWater;
        } else {
            f = water > 0.0 ? 1.0 : kMinWaterFactor;
        }
        return f >= kMinWaterFactor ? f : kMinWaterFactor;
    }
    static constexpr double kMinWaterFactor = 0.05;

    const SoilLayerDescriptor* descriptor;
    double waterFactor = 0.0;        // soil water over field capacity, at least 0.05
    double temperatureFactor = 0.0;  // 0.1 to 1
    double combinedFactor = 0.0;     // geometric mean of the two
    double carbonFactor = 0.3;       // of the denitrification rate

private:
    double factorTemperature_ = std::numeric_limits<double>::quiet_NaN();  // °C of temperatureFactor
};

// What a graph step reads besides its own pools. Does not own what it
// points to.
struct ProcessContext {
    const Environment* environment = nullptr;
    const NitrogenCycleDescriptor* nitrogenCycle = nullptr;
    const PhosphorusCycleDescriptor* phosphorusCycle = nullptr;
    const SoilLayer* soilLayer = nullptr;
    int cellNumber = 0;  // names the cell in warnings
};

}  // namespace VEGSO
