// Run-time descriptors of a library cell's soil layers and plants, built from
// the layer and plant descriptor records; the partition of a pool between
// dissolved and sorbed parts; the copy of a layer's state back into its
// record; and the initial carbon, nitrogen and phosphorus pools of a layer.
#pragma once

#include <string>

#include "nutrients/source/vegso_interface.hpp"

namespace VEGSO {

struct PlantDescriptor {
    std::string name = "Unknown";  // plant code of the plant database
    double value = 0.0;            // the plant's share of the cell

    PlantDescriptor() = default;
    explicit PlantDescriptor(const vegso_plant_desc_record& record);
};

// The values of one soil layer (record positions 0 to 14). The water
// amounts are volumetric contents times the thickness (m).
struct SoilLayerDescriptor {
    int layerNumber = 0;  // 0 marks the top layer
    double bottomDepth = 0.0;         // m
    double thickness = 0.0;           // m
    double massFactor = 0.0;
    double solidDensity = 0.0;
    double porosity = 0.0;
    double organicCarbonPercent = 0.0;
    double auxiliaryValue = 0.0;      // copied, not read
    double water = 0.0;               // SW, m
    double fieldCapacityWater = 0.0;  // FC, m
    double wiltingPointWater = 0.0;   // WP, m
    double waterContent = 0.0;        // volumetric
    double fieldCapacity = 0.0;       // volumetric
    double wiltingPoint = 0.0;        // volumetric
    double plantWaterUptake = 0.0;    // m taken by the plants in the last step
    double plantWaterUptakeCopy = 0.0;
    double pH = 0.0;                  // copied, not read
    double temperature = 0.0;         // °C
    double residue = 0.0;

    // Sets every value from the record's layer positions; the water taken
    // up stays as it is.
    void readFrom(const vegso_layer_record& record);
};

// One pool of a cycle descriptor.
struct PoolRecord {
    double mass = 0.0;
    double partitionCoefficient = 100.0;
    double dissolvedFraction = 0.0;
    double sorbedFraction = 1.0;
    double totalFraction = 1.0;
    int partitionKind = 0;  // 2 all dissolved, 1 or 3 all sorbed, else by the layer's soil

    PoolRecord() = default;
    PoolRecord(double coefficient, int kind) : partitionCoefficient(coefficient), partitionKind(kind) {}

    // Splits the pool between dissolved and sorbed parts for layer `layer`.
    void partition(const SoilLayerDescriptor& layer);
    // Mass, dissolved, sorbed and total fraction from/to four record
    // positions starting at `at`.
    void readFrom(const vegso_layer_record& record, int at);
    void writeTo(vegso_layer_record& record, int at) const;
};

struct NitrogenCycleDescriptor {
    PoolRecord fresh{50.0, 3};
    PoolRecord active{3.0, 3};
    PoolRecord stable{200.0, 3};
    PoolRecord ammonium{0.05, 0};
    PoolRecord nitrate{0.05, 0};

    void readFrom(const vegso_layer_record& record);
    // The pools' masses alone, their partition as it is.
    void readMassesFrom(const vegso_layer_record& record);
    void writeTo(vegso_layer_record& record) const;
    void partition(const SoilLayerDescriptor& layer);
};

struct PhosphorusCycleDescriptor {
    PoolRecord fresh{50.0, 3};
    PoolRecord active{4.0, 3};
    PoolRecord stable{100.0, 3};
    PoolRecord mineralActive{7.0, 3};
    PoolRecord mineralStable{10.0, 3};
    PoolRecord mineralSolution{4.0, 0};

    void readFrom(const vegso_layer_record& record);
    // The pools' masses alone, their partition as it is.
    void readMassesFrom(const vegso_layer_record& record);
    void writeTo(vegso_layer_record& record) const;
    void partition(const SoilLayerDescriptor& layer);
};

// Fills the carbon, nitrogen and phosphorus parts of `record` from its
// thickness, bottom depth, mass factor, solid density and residue.
void initialPools(vegso_layer_record& record);

}  // namespace VEGSO
