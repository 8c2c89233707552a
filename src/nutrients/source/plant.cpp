#include "nutrients/source/plant.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "nutrients/source/environment.hpp"
#include "nutrients/source/vegso_warnings.hpp"

namespace VEGSO {

namespace {

constexpr double kWaterUptakeBeta = 10.0;    // depth distribution of the water uptake
constexpr double kNitrogenUptakeBeta = 0.05;  // depth distribution of the nitrogen uptake
constexpr double kMinRootDepth = 0.01;       // m
constexpr double kLightExtinction = 0.65;
constexpr double kKarmanSquared = 0.1681;    // von Karman's constant squared
// Below this wind speed the aerodynamic resistance of the method is not
// valid (calm air still mixes by buoyancy).
constexpr double kMinWindSpeed = 0.5;        // m/s
// A canopy lower than this is as rough as bare soil of that height.
constexpr double kMinRoughCanopy = 1.0;      // cm
const double kE = std::exp(1.0);
// 1 - exp(-beta) of the uptakes' depth distributions: the denominator of
// a layer's share, the same for every layer.
const double kWaterUptakeSpread = 1.0 - std::exp(-kWaterUptakeBeta);
const double kNitrogenUptakeSpread = 1.0 - std::exp(-kNitrogenUptakeBeta);
// exp(-beta): the lower bound of a layer's share at or below the roots'
// depth.
const double kWaterUptakeFloor = std::exp(-kWaterUptakeBeta);
const double kNitrogenUptakeFloor = std::exp(-kNitrogenUptakeBeta);

// Logistic curve of the heat-unit fraction through two points, with its
// exp from `exp`.
double curve(double phi, double shape1, double shape2, KeptExp& exp) {
    return phi / (phi + exp(shape1 - shape2 * phi));
}

}  // namespace

namespace FLORA {

void Nutrient::computeDemandRate(double phi, double deltaBiomass, double dt) {
    optimalFraction =
        (1.0 - curve(phi, shape1, shape2, curveExp_)) * (emergenceFraction - maturityFraction) + maturityFraction;
    optimalMass = optimalFraction * deltaBiomass;
    demandRate = optimalMass / dt;
}

void Nutrient::computeStressFactor() {
    const double denominator = previousMassTakenUp + optimalMass;
    if (denominator == 0.0) {
        stressFactor = 0.0;
        return;
    }
    const double phi = ((previousMassTakenUp + stepUptake) / denominator - 0.5) * 200.0;
    stressFactor = 1.0 - phi / (phi + std::exp(3.535 - 0.02597 * phi));
}

Nitrogen::Nitrogen(const PLANT_DATABASE::NutrientParameterRecord& record) {
    emergenceFraction = record.nEmergence;
    maturityFraction = record.nMaturity;
    // The curve passes through half of the emergence-to-maturity drop at
    // half of the heat units and leaves 1e-5 of it at maturity.
    const double a = 1.0 - (record.nHalf - record.nMaturity) / (record.nEmergence - record.nMaturity);
    const double b = 1.0 - 1e-5 / (record.nEmergence - record.nMaturity);
    const double l1 = std::log(0.5 / a - 0.5);
    const double l2 = std::log(1.0 / b - 1.0);
    shape2 = (l1 - l2) / (1.0 - 0.5);
    shape1 = l1 + shape2 * 0.5;
}

}  // namespace FLORA

const char* plantCheckText(PlantCheck check) {
    static const char* const kTexts[kPlantCheckCount] = {
        "this->LAI >= 0.0",
        "this->rootDepth >= 0.0",
        "plant->waterDemand->transpirationRate >= 0.0",
        "dwdt_thisSoilLayer >= 0.0",
        "this->fractionPotentialHeatUnits >= 0.0",
        "this->H_phosyn >= 0.0",
        "stress >= 0.0",
        "this->plantGrowthConstraintFactor >= 0.0",
        "this->deltaBiomass >= 0.0",
        "this->biomass >= 0.0",
        "this->demandRate >= 0.0",
        "dndt_thisSoilLayer >= 0.0",
        "this->stressFactor >= 0.0",
    };
    return kTexts[check];
}

Plant::Plant(const PlantDescriptor& d) : descriptor(&d) {
    const PLANT_DATABASE::PlantDatabase& db = PLANT_DATABASE::PlantDatabase::get();
    const auto& temperature = db.lookupTemperature(d.name);
    const auto& production = db.lookupBiomassProduction(d.name);
    const auto& canopyRoot = db.lookupCanopyRoot(d.name);
    const auto& leaf = db.lookupLeafAreaIndex(d.name);
    nutrient = FLORA::Nitrogen(db.lookupNutrientParameter(d.name));

    development.baseTemperature = temperature.baseTemperature;
    development.optimumTemperature = temperature.optimumTemperature;
    development.radiationUseEfficiency = production.radiationUseEfficiency;
    canopy.maxHeight = canopyRoot.maxCanopyHeight;
    canopy.conductance = canopyRoot.canopyConductance;
    roots.maxRootDepth = canopyRoot.maxRootDepth;
    canopy.maxLAI = leaf.maxLAI;
    // The leaf-area curve passes through both points of the record.
    const double l1 = std::log(leaf.fraction1 / leaf.laiFraction1 - leaf.fraction1);
    const double l2 = std::log(leaf.fraction2 / leaf.laiFraction2 - leaf.fraction2);
    canopy.shape2 = (l1 - l2) / (leaf.fraction2 - leaf.fraction1);
    canopy.shape1 = canopy.shape2 * leaf.fraction1 + l1;
}

void Plant::fail(double& value, PlantCheck which, int cellNumber) {
    const unsigned bit = 1u << which;
    if ((reported_ & bit) == 0) {
        reported_ |= bit;
        char text[300];
        std::snprintf(text, sizeof text,
                      "Warning: plant check \"%s\" failed in cell %d (plant %s, value %g); the value is set to 0 "
                      "[p.ps.plant]\n",
                      plantCheckText(which), cellNumber, descriptor->name.c_str(), value);
        warn(text);
    }
    value = 0.0;
}

void Plant::update(const Environment& e, int cellNumber) {
    const double dt = e.period;
    const double t = e.airTemperature;

    // Heat units: the period's share of a day's degrees above the base,
    // spread over the daylight hours.
    if (e.sunUp && e.daylightHours > 0.0) {
        const double above_base = t - development.baseTemperature;
        if (above_base > 0.0) heatUnits += above_base * dt * 24.0 / e.daylightHours;
    }
    fractionPotentialHeatUnits = heatUnits / potentialHeatUnits;
    check(fractionPotentialHeatUnits, kCheckHeatUnits, cellNumber);
    const double phi = fractionPotentialHeatUnits;

    // Leaf area and canopy height.
    canopy.fraction = curve(phi, canopy.shape1, canopy.shape2, canopyExp_);
    canopy.height = canopy.maxHeight * std::sqrt(canopy.fraction);
    const double delta_lai = (canopy.fraction - canopy.previousFraction) * canopy.maxLAI *
                             (1.0 - leafExp_(5.0 * (canopy.previousLAI - canopy.maxLAI))) *
                             plantGrowthConstraintFactor;
    canopy.previousLAI = canopy.LAI;
    canopy.LAI += delta_lai;
    check(canopy.LAI, kCheckLAI, cellNumber);
    canopy.previousFraction = canopy.fraction;

    // Roots reach their maximum depth at 0.4 of the heat units.
    roots.rootFraction = 0.4 - 0.2 * phi;
    roots.rootDepth = phi <= 0.4 ? 2.5 * phi * roots.maxRootDepth : roots.maxRootDepth;
    if (roots.rootDepth < kMinRootDepth) roots.rootDepth = kMinRootDepth;
    check(roots.rootDepth, kCheckRootDepth, cellNumber);

    // Intercepted radiation and new biomass.
    H_phosyn = e.sunUp ? 0.5 * (e.netRadiation * dt * 24.0) * (1.0 - std::exp(-kLightExtinction * canopy.LAI)) : 0.0;
    check(H_phosyn, kCheckPhotosynthesis, cellNumber);
    deltaBiomass = development.radiationUseEfficiency * H_phosyn * share() * plantGrowthConstraintFactor;
    check(deltaBiomass, kCheckDeltaBiomass, cellNumber);

    nutrient.computeDemandRate(phi, deltaBiomass, dt);
    check(nutrient.demandRate, kCheckDemandRate, cellNumber);

    biomass += deltaBiomass;
    check(biomass, kCheckBiomass, cellNumber);

    if (e.sunUp) {
        transpiration(e);
    } else {
        waterDemand.transpirationRate = 0.0;
    }
    check(waterDemand.transpirationRate, kCheckTranspiration, cellNumber);
}

void Plant::transpiration(const Environment& e) {
    // Aerodynamic resistance of the canopy (s/m), lengths in cm: roughness
    // lengths for momentum and vapour and the displacement height from the
    // canopy height; each measurement height taken at least at the
    // displacement height plus e roughness lengths, so that neither
    // logarithm falls below 1.
    const double h = std::max(canopy.height * 100.0, kMinRoughCanopy);
    const double z_om = h > 200.0 ? 0.058 * std::pow(h, 1.19) : 0.123 * h;
    const double z_ov = 0.1 * z_om;
    const double d = 2.0 * h / 3.0;
    const double z_wind = std::max(e.windHeight * 100.0, d + kE * z_om);
    const double z_humidity = std::max(e.humidityHeight * 100.0, d + kE * z_ov);
    const double r_a = std::log((z_wind - d) / z_om) * std::log((z_humidity - d) / z_ov) /
                       (kKarmanSquared * std::max(e.windSpeed, kMinWindSpeed));

    const double g = 0.5 * canopy.conductance * canopy.LAI;
    const double gamma = e.psychrometricConstant;
    const double radiative = (e.netRadiation - e.soilHeatFlux) * e.vapourPressureSlope;
    const double aerodynamic = gamma * 86400.0 * 0.622 * 2.45 * e.airDensity / e.airPressure *
                               (e.saturationVapourPressure - e.actualVapourPressure) / r_a;
    waterDemand.transpirationRate = (radiative + aerodynamic) /
                                    (2.45 * ((1.0 + g / r_a) * gamma + e.vapourPressureSlope)) / 1000.0 * share();
}

double Plant::layerShare(const SoilLayerDescriptor& layer, double beta, double spread) const {
    const double top = layer.bottomDepth - layer.thickness;
    const double depth = roots.rootDepth;
    if (depth <= top) return 0.0;
    const double a = top / depth;
    const double b = std::min(layer.bottomDepth / depth, 1.0);
    // The top of the top layer: exp(-0) is 1 exactly.
    const double upper = a == 0.0 ? 1.0 : std::exp(-beta * a);
    return (upper - std::exp(-beta * b)) / spread;
}

double Plant::layerWaterUptake(const SoilLayerDescriptor& layer, int cellNumber) {
    double uptake = layerShare(layer, kWaterUptakeBeta, kWaterUptakeSpread) * waterDemand.transpirationRate;
    check(uptake, kCheckWaterUptake, cellNumber);
    return uptake;
}

double Plant::layerNitrogenUptake(const SoilLayerDescriptor& layer, int cellNumber) {
    double uptake = layerShare(layer, kNitrogenUptakeBeta, kNitrogenUptakeSpread) * nutrient.demandRate;
    check(uptake, kCheckNitrogenUptake, cellNumber);
    return uptake;
}

bool Plant::layerUptakes(const SoilLayerDescriptor& layer, double& water, double& nitrogen) const {
    return uptakes(layer, water, nitrogen);
}

inline bool Plant::uptakes(const SoilLayerDescriptor& layer, double& water, double& nitrogen) const {
    // The shares of layerShare for both distributions, from one look at the
    // layer and the roots.
    const double top = layer.bottomDepth - layer.thickness;
    const double depth = roots.rootDepth;
    double waterShare = 0.0;
    double nitrogenShare = 0.0;
    if (!(depth <= top)) {
        const double a = top / depth;
        const double b = std::min(layer.bottomDepth / depth, 1.0);
        const double waterUpper = a == 0.0 ? 1.0 : std::exp(-kWaterUptakeBeta * a);
        const double nitrogenUpper = a == 0.0 ? 1.0 : std::exp(-kNitrogenUptakeBeta * a);
        const double waterLower = b == 1.0 ? kWaterUptakeFloor : std::exp(-kWaterUptakeBeta * b);
        const double nitrogenLower = b == 1.0 ? kNitrogenUptakeFloor : std::exp(-kNitrogenUptakeBeta * b);
        waterShare = (waterUpper - waterLower) / kWaterUptakeSpread;
        nitrogenShare = (nitrogenUpper - nitrogenLower) / kNitrogenUptakeSpread;
    }
    water = waterShare * waterDemand.transpirationRate;
    nitrogen = nitrogenShare * nutrient.demandRate;
    return std::isfinite(water) && water >= 0.0 && std::isfinite(nitrogen) && nitrogen >= 0.0;
}

double Plant::temperatureStress(double t) const {
    const double tb = development.baseTemperature;
    const double to = development.optimumTemperature;
    if (t <= tb || t > 2.0 * to - tb) return 1.0;
    if (t <= to) return 1.0 - stressExp_(-0.1054 * (to - t) * (to - t) / ((t - tb) * (t - tb)));
    const double span = 2.0 * to - t - tb;
    return 1.0 - stressExp_(-0.1054 * (to - t) * (to - t) / (span * span));
}

void Plant::growthConstraint(const Environment& e, int cellNumber) {
    double stress = temperatureStress(e.airTemperature);
    check(stress, kCheckStress, cellNumber);
    stress = std::min(stress, 1.0);
    nutrient.computeStressFactor();
    check(nutrient.stressFactor, kCheckStressFactor, cellNumber);
    nutrient.stressFactor = std::min(nutrient.stressFactor, 1.0);
    plantGrowthConstraintFactor = 1.0 - std::max({0.0, stress, nutrient.stressFactor});
    check(plantGrowthConstraintFactor, kCheckConstraint, cellNumber);
}

PlantCommunity::PlantCommunity(const std::vector<PlantDescriptor>& descriptors, int cellNumber)
    : descriptors_(descriptors), cellNumber_(cellNumber) {
    plants_.reserve(descriptors_.size());
    for (const PlantDescriptor& d : descriptors_) plants_.emplace_back(d);
}

void PlantCommunity::update(const Environment& e) {
    for (Plant& p : plants_) p.update(e, cellNumber_);
}

double PlantCommunity::totalBiomass() const {
    double sum = 0.0;
    for (const Plant& p : plants_) sum += p.biomass;
    return sum;
}

double PlantCommunity::layerWaterUptake(const SoilLayerDescriptor& layer) {
    double sum = 0.0;
    for (Plant& p : plants_) sum += p.layerWaterUptake(layer, cellNumber_);
    return sum;
}

double PlantCommunity::layerNitrogenUptake(const SoilLayerDescriptor& layer) {
    double sum = 0.0;
    for (Plant& p : plants_) sum += p.layerNitrogenUptake(layer, cellNumber_);
    return sum;
}

bool PlantCommunity::layerUptakes(const SoilLayerDescriptor& layer, double& water, double& nitrogen) const {
    double waterSum = 0.0;
    double nitrogenSum = 0.0;
    bool sound = true;
    for (const Plant& p : plants_) {
        double w;
        double n;
        sound = p.uptakes(layer, w, n) && sound;
        waterSum += w;
        nitrogenSum += n;
    }
    water = waterSum;
    nitrogen = nitrogenSum;
    return sound;
}

double PlantCommunity::totalNutrientMass() const {
    double sum = 0.0;
    for (const Plant& p : plants_) sum += p.nutrient.massTakenUp;
    return sum;
}

void PlantCommunity::distributeUptake(double total) {
    for (Plant& p : plants_) {
        FLORA::Nutrient& n = p.nutrient;
        n.stepUptake = p.descriptor->value * total;
        n.previousMassTakenUp = n.massTakenUp;
        n.massTakenUp += n.stepUptake;
    }
}

void PlantCommunity::updateConstraints(const Environment& e) {
    for (Plant& p : plants_) p.growthConstraint(e, cellNumber_);
}

}  // namespace VEGSO
