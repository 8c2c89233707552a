// Plant growth and nutrient demand of a library cell: heat units, leaf area
// and canopy height, roots, intercepted radiation, biomass, nitrogen demand
// and transpiration of each plant per environment step, the water and
// nitrogen the plants draw from each soil layer, and the growth constraint
// from temperature and nitrogen stress. Step length in days, temperatures °C,
// depths m; uptake rates per day.
//
// After each computation a plant checks that its state is not negative (and
// is a number). A failed check warns once per plant and check, naming the
// condition, the cell and the value, sets the value to 0 and goes on.
#pragma once

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "nutrients/source/plant_database.hpp"
#include "nutrients/source/soil_schema.hpp"

namespace VEGSO {

class Environment;

// exp of the argument last given, kept with it: an argument equal to the
// last one gives the same value without a call (exp(-0) is exp(0)).
class KeptExp {
public:
    double operator()(double x) {
        if (!(x == argument_)) {
            argument_ = x;
            value_ = std::exp(x);
        }
        return value_;
    }

private:
    double argument_ = std::numeric_limits<double>::quiet_NaN();
    double value_ = std::numeric_limits<double>::quiet_NaN();
};

namespace FLORA {

// A nutrient's demand, uptake and stress. The optimal fraction of the
// nutrient in the biomass falls from emergence to maturity along a logistic
// curve of the fraction of potential heat units.
class Nutrient {
public:
    double emergenceFraction = 0.0;  // N_e
    double maturityFraction = 0.0;   // N_m
    double shape1 = 0.0;
    double shape2 = 0.0;
    double stressFactor = 0.0;       // 0 none, 1 full
    double optimalFraction = 0.0;
    double optimalMass = 0.0;        // of the step's new biomass
    double demandRate = 0.0;         // per day
    double stepUptake = 0.0;         // taken up in the last step
    double massTakenUp = 0.0;
    double previousMassTakenUp = 0.0;

    // demandRate for the step's new biomass at heat-unit fraction `phi`.
    void computeDemandRate(double phi, double deltaBiomass, double dt);
    // stressFactor from the uptake against the optimal mass (not clamped).
    void computeStressFactor();

private:
    // The curve's exp: the heat units stand still at night.
    KeptExp curveExp_;
};

class Nitrogen : public Nutrient {
public:
    Nitrogen() = default;
    explicit Nitrogen(const PLANT_DATABASE::NutrientParameterRecord& record);
};

}  // namespace FLORA

// The indices of the plant checks, in the order of their condition texts.
enum PlantCheck : int {
    kCheckLAI,
    kCheckRootDepth,
    kCheckTranspiration,
    kCheckWaterUptake,
    kCheckHeatUnits,
    kCheckPhotosynthesis,
    kCheckStress,
    kCheckConstraint,
    kCheckDeltaBiomass,
    kCheckBiomass,
    kCheckDemandRate,
    kCheckNitrogenUptake,
    kCheckStressFactor,
    kPlantCheckCount
};

// The condition text of a check.
const char* plantCheckText(PlantCheck check);

class Plant {
public:
    // Parameters from the plant database by the descriptor's code; does not
    // own the descriptor, whose value is the plant's share of the cell.
    explicit Plant(const PlantDescriptor& descriptor);

    // One environment step: heat units, leaf area, roots, intercepted
    // radiation, new biomass, nitrogen demand and transpiration.
    void update(const Environment& e, int cellNumber);
    // Water (transpiration) and nitrogen (demand) drawn from a layer, per day.
    double layerWaterUptake(const SoilLayerDescriptor& layer, int cellNumber);
    double layerNitrogenUptake(const SoilLayerDescriptor& layer, int cellNumber);
    // Both of them at once, as those give them where both pass their checks;
    // returns whether they do (a failed check is neither reported nor set to
    // 0 here: the two above do that).
    bool layerUptakes(const SoilLayerDescriptor& layer, double& water, double& nitrogen) const;
    // Temperature stress at air temperature `t`: 0 none, 1 full.
    double temperatureStress(double t) const;
    // The growth constraint of the next step from temperature and nitrogen
    // stress.
    void growthConstraint(const Environment& e, int cellNumber);

    const PlantDescriptor* descriptor;
    double heatUnits = 0.0;
    double potentialHeatUnits = 1400.0;
    double fractionPotentialHeatUnits = 0.0;
    double H_phosyn = 0.0;  // radiation intercepted in the step
    double biomass = 0.0;
    double deltaBiomass = 0.0;
    double plantGrowthConstraintFactor = 1.0;  // 0 no growth, 1 unconstrained

    struct Canopy {
        double height = 0.0;        // m
        double maxHeight = 0.0;     // m
        double LAI = 0.0;
        double previousLAI = 0.0;
        double maxLAI = 0.0;
        double conductance = 0.0;
        double shape1 = 0.0;        // of the leaf-area curve
        double shape2 = 0.0;
        double fraction = 0.0;      // of the maximum LAI
        double previousFraction = 0.0;
    } canopy;
    struct Roots {
        double rootDepth = 0.01;    // m
        double rootFraction = 0.0;
        double maxRootDepth = 0.0;  // m
    } roots;
    struct Development {
        double baseTemperature = 0.0;
        double optimumTemperature = 0.0;
        double radiationUseEfficiency = 0.0;
    } development;
    struct WaterDemand {
        double transpirationRate = 0.0;  // m per day
    } waterDemand;
    FLORA::Nitrogen nutrient;

private:
    double share() const { return descriptor->value; }
    // The share of the uptake that the layer gives, by a depth distribution
    // of parameter beta whose spread is 1 - exp(-beta).
    double layerShare(const SoilLayerDescriptor& layer, double beta, double spread) const;
    // layerUptakes, inlined into the community's.
    friend class PlantCommunity;
    bool uptakes(const SoilLayerDescriptor& layer, double& water, double& nitrogen) const;
    void transpiration(const Environment& e);
    // A value that fails `check` (negative or not a number) is reported once
    // and set to 0.
    void check(double& value, PlantCheck check, int cellNumber) {
        if (!(std::isfinite(value) && value >= 0.0)) fail(value, check, cellNumber);
    }
    // The report and the 0 of a failed check.
    void fail(double& value, PlantCheck check, int cellNumber);

    unsigned reported_ = 0;  // bit per check already reported
    // The exps of a step whose arguments often come again: the leaf-area
    // curve's and the leaf growth's stand still at night, the temperature
    // stress's with the air temperature.
    KeptExp canopyExp_;
    KeptExp leafExp_;
    mutable KeptExp stressExp_;
};

class PlantCommunity {
public:
    // One plant per descriptor, in order.
    PlantCommunity(const std::vector<PlantDescriptor>& descriptors, int cellNumber);
    PlantCommunity(const PlantCommunity&) = delete;
    PlantCommunity& operator=(const PlantCommunity&) = delete;

    void update(const Environment& e);
    double totalBiomass() const;
    double layerWaterUptake(const SoilLayerDescriptor& layer);
    double layerNitrogenUptake(const SoilLayerDescriptor& layer);
    // Both sums at once, as the two above give them where every plant's
    // uptakes pass their checks; returns whether they do (where not, the
    // two above report the failures and give the sums).
    bool layerUptakes(const SoilLayerDescriptor& layer, double& water, double& nitrogen) const;
    double totalNutrientMass() const;
    // Shares nitrogen taken up from the soil among the plants by their
    // shares of the cell.
    void distributeUptake(double total);
    void updateConstraints(const Environment& e);

    const std::vector<Plant>& plants() const { return plants_; }
    std::vector<Plant>& plants() { return plants_; }
    double nutrientMass = 0.0;  // nitrogen taken up by all plants so far

private:
    std::vector<PlantDescriptor> descriptors_;  // the plants refer to these
    std::vector<Plant> plants_;
    int cellNumber_;
};

}  // namespace VEGSO
