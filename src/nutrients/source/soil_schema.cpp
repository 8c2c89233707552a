#include "nutrients/source/soil_schema.hpp"

#include <cmath>
#include <cstring>

namespace VEGSO {

PlantDescriptor::PlantDescriptor(const vegso_plant_desc_record& record) : value(record.value) {
    const void* end = std::memchr(record.name, '\0', sizeof record.name);
    const std::size_t length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - record.name) : sizeof record.name;
    name.assign(record.name, length);
}

void SoilLayerDescriptor::readFrom(const vegso_layer_record& record) {
    const double* v = record.v;
    layerNumber = static_cast<int>(v[vegso_layer_number]);
    thickness = v[vegso_thickness];
    bottomDepth = v[vegso_bottom_depth];
    massFactor = v[vegso_mass_factor];
    solidDensity = v[vegso_solid_density];
    porosity = v[vegso_porosity];
    organicCarbonPercent = v[vegso_organic_carbon_percent];
    auxiliaryValue = v[vegso_auxiliary];
    waterContent = v[vegso_water_content];
    fieldCapacity = v[vegso_field_capacity];
    wiltingPoint = v[vegso_wilting_point];
    water = waterContent * thickness;
    fieldCapacityWater = fieldCapacity * thickness;
    wiltingPointWater = wiltingPoint * thickness;
    pH = v[vegso_ph];
    temperature = v[vegso_temperature];
    residue = v[vegso_residue];
}

void PoolRecord::partition(const SoilLayerDescriptor& layer) {
    if (partitionKind == 2) {
        dissolvedFraction = 1.0;
        sorbedFraction = 0.0;
    } else if (partitionKind == 1 || partitionKind == 3) {
        dissolvedFraction = 0.0;
        sorbedFraction = 1.0;
    } else {
        // Linear sorption: K is the sorbed part per unit of pore water.
        const double k = (1.0 - layer.porosity) * (0.01 * layer.organicCarbonPercent * partitionCoefficient) *
                         layer.solidDensity;
        const double pores_and_solids = k + layer.porosity;
        // Without pores and without sorption nothing holds the pool but the
        // water: all of it counts as dissolved.
        sorbedFraction = pores_and_solids > 0.0 ? k / pores_and_solids : 0.0;
        dissolvedFraction = 1.0 - sorbedFraction;
    }
    totalFraction = dissolvedFraction + sorbedFraction;
}

void PoolRecord::readFrom(const vegso_layer_record& record, int at) {
    mass = record.v[at];
    dissolvedFraction = record.v[at + 1];
    sorbedFraction = record.v[at + 2];
    totalFraction = record.v[at + 3];
}

void PoolRecord::writeTo(vegso_layer_record& record, int at) const {
    record.v[at] = mass;
    record.v[at + 1] = dissolvedFraction;
    record.v[at + 2] = sorbedFraction;
    record.v[at + 3] = totalFraction;
}

namespace {

// Each cycle's pools with the place of each in a layer record: the one list
// that reading, writing and partitioning go through.
template <class Cycle, class Visit>
void nitrogenPools(Cycle& c, Visit visit) {
    visit(c.ammonium, vegso_ammonium);
    visit(c.nitrate, vegso_nitrate);
    visit(c.fresh, vegso_fresh_n);
    visit(c.active, vegso_active_n);
    visit(c.stable, vegso_stable_n);
}

template <class Cycle, class Visit>
void phosphorusPools(Cycle& c, Visit visit) {
    visit(c.fresh, vegso_fresh_p);
    visit(c.active, vegso_active_p);
    visit(c.stable, vegso_stable_p);
    visit(c.mineralActive, vegso_mineral_active_p);
    visit(c.mineralStable, vegso_mineral_stable_p);
    visit(c.mineralSolution, vegso_solution_p);
}

}  // namespace

void NitrogenCycleDescriptor::readFrom(const vegso_layer_record& record) {
    nitrogenPools(*this, [&](PoolRecord& p, int at) { p.readFrom(record, at); });
}

void NitrogenCycleDescriptor::writeTo(vegso_layer_record& record) const {
    nitrogenPools(*this, [&](const PoolRecord& p, int at) { p.writeTo(record, at); });
}

void NitrogenCycleDescriptor::readMassesFrom(const vegso_layer_record& record) {
    nitrogenPools(*this, [&](PoolRecord& p, int at) { p.mass = record.v[at]; });
}

void NitrogenCycleDescriptor::partition(const SoilLayerDescriptor& layer) {
    nitrogenPools(*this, [&](PoolRecord& p, int) { p.partition(layer); });
}

void PhosphorusCycleDescriptor::readFrom(const vegso_layer_record& record) {
    phosphorusPools(*this, [&](PoolRecord& p, int at) { p.readFrom(record, at); });
}

void PhosphorusCycleDescriptor::writeTo(vegso_layer_record& record) const {
    phosphorusPools(*this, [&](const PoolRecord& p, int at) { p.writeTo(record, at); });
}

void PhosphorusCycleDescriptor::readMassesFrom(const vegso_layer_record& record) {
    phosphorusPools(*this, [&](PoolRecord& p, int at) { p.mass = record.v[at]; });
}

void PhosphorusCycleDescriptor::partition(const SoilLayerDescriptor& layer) {
    phosphorusPools(*this, [&](PoolRecord& p, int) { p.partition(layer); });
}

namespace {

constexpr double kSurfaceCarbon = 0.17;       // carbon fraction of the soil at the surface
constexpr double kCarbonDecayDepth = 0.5782;  // 1/m: the carbon profile's exponential decay
constexpr double kCarbonToNitrogen = 14.0;
constexpr double kActiveShare = 0.8;          // active part of the organic N and P
constexpr double kPAvailability = 0.7;        // solution P share of the labile mineral P

void setPool(double* v, int at, double mass, double dissolved, double sorbed) {
    v[at] = mass;
    v[at + 1] = dissolved;
    v[at + 2] = sorbed;
}

}  // namespace

void initialPools(vegso_layer_record& record) {
    double* v = record.v;
    const double t = v[vegso_thickness];
    const double z = v[vegso_bottom_depth];
    const double f = v[vegso_mass_factor];
    const double rho = v[vegso_solid_density];
    // Mean carbon fraction over the layer of the exponential profile; a
    // layer of no thickness takes the profile's value at its depth.
    const double c = t > 0.0 ? (kSurfaceCarbon / kCarbonDecayDepth) *
                                   (std::exp(-kCarbonDecayDepth * (z - t)) - std::exp(-kCarbonDecayDepth * z)) / t
                             : kSurfaceCarbon * std::exp(-kCarbonDecayDepth * z);
    v[vegso_carbon_part] = c;
    const double carbon = 0.5 * c * rho * (f * t);
    setPool(v, vegso_active_carbon, carbon, 0.0, 1.0);
    setPool(v, vegso_stable_carbon, carbon, 0.0, 1.0);

    const double n = (carbon + carbon) / kCarbonToNitrogen;
    setPool(v, vegso_fresh_n, 0.0, 0.0, 1.0);
    const double active_n = kActiveShare * n;
    setPool(v, vegso_active_n, active_n, 0.0, 1.0);
    setPool(v, vegso_stable_n, n - active_n, 0.0, 1.0);
    setPool(v, vegso_nitrate, 7.0 * std::exp(-z / 1000.0), 0.95, 0.05);
    setPool(v, vegso_ammonium, 0.0, 0.95, 0.05);

    v[vegso_p_availability] = kPAvailability;
    const double solution = 5e-6 * rho * (f * t);
    setPool(v, vegso_solution_p, solution, 0.95, 0.05);
    const double mineral_active = solution * (1.0 - kPAvailability) / kPAvailability;
    setPool(v, vegso_mineral_active_p, mineral_active, 0.95, 0.05);
    setPool(v, vegso_mineral_stable_p, 4.0 * mineral_active, 0.95, 0.05);
    const double organic_p = n / 8.0;
    setPool(v, vegso_fresh_p, 0.0003 * v[vegso_residue], 0.0, 1.0);
    const double active_p = kActiveShare * organic_p;
    setPool(v, vegso_active_p, active_p, 0.0, 1.0);
    setPool(v, vegso_stable_p, organic_p - active_p, 0.0, 1.0);
}

}  // namespace VEGSO
