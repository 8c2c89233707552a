#include "nutrients/source/nitrogen_graph.hpp"

#include <algorithm>
#include <cmath>

#include "nutrients/source/environment.hpp"
#include "nutrients/source/soil_graph_step.hpp"
#include "nutrients/source/soil_layer.hpp"
#include "nutrients/source/soil_schema.hpp"

namespace VEGSO {
namespace NITROGEN {

namespace {

constexpr PathwayOrder kFirst = PathwayOrder::First;
constexpr PathwayOrder kZero = PathwayOrder::Zero;

// Every pathway of the top layer's graph, in the order of evaluation; the
// lower layers' graphs have all but the last (the rain).
constexpr graph_step::FixedPathway kPathways[kPathwayCount] = {
    {kFreshToActive, "Fresh_to_Active", {kFreshPool, kActivePool, kFirst}, 0.1},
    {kFreshToStable, "Fresh_to_Stable", {kFreshPool, kStablePool, kFirst}, 0.1},
    {kStableToActive, "Stable_to_Active", {kStablePool, kActivePool, kFirst}, 0.1},
    {kMineralNH4ToFlora, "MineralNH4_to_Flora", {kMineralNH4Pool, kFloraNH4Pool, kZero}, 0.0},
    {kMineralNO3ToFlora, "MineralNO3_to_Flora", {kMineralNO3Pool, kFloraNO3Pool, kZero}, 0.0},
    {kAppliedToActive, "Applied_to_Active", {kAppliedOrganicPool, kActivePool, kFirst}, 0.1},
    {kAppliedNH4ToMineralNH4, "AppliedNH4_to_MineralNH4", {kAppliedNH4Pool, kMineralNH4Pool, kFirst}, 0.1},
    {kAppliedNO3ToMineralNO3, "AppliedNO3_to_MineralNO3", {kAppliedNO3Pool, kMineralNO3Pool, kFirst}, 0.1},
    {kMineralNO3ToDenitrified, "MineralNO3_to_Denitrified", {kMineralNO3Pool, kDenitrifiedPool, kFirst}, 0.0},
    {kMineralNH4ToVolatilized, "MineralNH4_to_Volatilized", {kMineralNH4Pool, kVolatilizedPool, kFirst}, 0.0},
    {kOrganicActiveToMineralNO3, "OrganicActive_to_MineralNO3", {kActivePool, kMineralNO3Pool, kFirst}, 0.0},
    {kOrganicFreshToMineralNO3, "OrganicFresh_to_MineralNO3", {kFreshPool, kMineralNO3Pool, kFirst}, 0.0},
    {kMineralNH4ToMineralNO3, "MineralNH4_to_MineralNO3", {kMineralNH4Pool, kMineralNO3Pool, kFirst}, 0.0},
    {kRainfallNO3ToMineralNO3, "RainfallNO3_to_MineralNO3", {kRainfallNO3Pool, kMineralNO3Pool, PathwayOrder::External}, 0.0},
};

static_assert(graph_step::pathwaysInOrder(kPathways), "pathway row i holds pathway i");

// Every pool, in the order of the step's scans; the lower layers' graphs
// have all but the last (the rain).
using Pool = graph_step::FixedPool<NitrogenCycleDescriptor>;
constexpr Pool kPools[kPoolCount] = {
    {kFreshPool, "FreshPool", &NitrogenCycleDescriptor::fresh},
    {kActivePool, "ActivePool", &NitrogenCycleDescriptor::active},
    {kStablePool, "StablePool", &NitrogenCycleDescriptor::stable},
    {kAppliedOrganicPool, "AppliedOrganicPool", nullptr},
    {kMineralNH4Pool, "MineralNH4Pool", &NitrogenCycleDescriptor::ammonium},
    {kMineralNO3Pool, "MineralNO3Pool", &NitrogenCycleDescriptor::nitrate},
    {kAppliedNH4Pool, "AppliedNH4Pool", nullptr},
    {kAppliedNO3Pool, "AppliedNO3Pool", nullptr},
    {kFloraNH4Pool, "FloraNH4Pool", nullptr},
    {kFloraNO3Pool, "FloraNO3Pool", nullptr},
    {kDenitrifiedPool, "DenitrifiedPool", nullptr},
    {kVolatilizedPool, "VolatilizedPool", nullptr},
    {kRainfallNO3Pool, "RainfallNO3Pool", nullptr},
};
static_assert(graph_step::poolsInOrder(kPools), "pool row i holds pool i");

using TopShape = graph_step::FixedShape<kPoolCount, kPathwayCount, kPathways>;
using LowerShape = graph_step::FixedShape<kPoolCount - 1, kPathwayCount - 1, kPathways>;

// The pathways that carry nothing in a layer without plants, applied
// nitrogen or rain: the plants' uptake, the applied pools' pathways, the
// rain.
constexpr unsigned kQuiet = 1u << kMineralNH4ToFlora | 1u << kMineralNO3ToFlora | 1u << kAppliedToActive |
                            1u << kAppliedNH4ToMineralNH4 | 1u << kAppliedNO3ToMineralNO3 |
                            1u << kRainfallNO3ToMineralNO3;
using QuietTopShape = graph_step::FixedShape<kPoolCount, kPathwayCount, kPathways, ~kQuiet>;
using QuietLowerShape = graph_step::FixedShape<kPoolCount - 1, kPathwayCount - 1, kPathways, ~kQuiet>;

// Without plants, applied nitrogen or rain those pathways move nothing
// (the applied pools are fed by none): the quiet shape leaves them out.
bool quiet_layer(bool topLayer, const double* rate, const double* mass) {
    return rate[kMineralNH4ToFlora] == 0.0 && rate[kMineralNO3ToFlora] == 0.0 && mass[kAppliedOrganicPool] == 0.0 &&
           std::isfinite(rate[kAppliedToActive]) && mass[kAppliedNH4Pool] == 0.0 &&
           std::isfinite(rate[kAppliedNH4ToMineralNH4]) && mass[kAppliedNO3Pool] == 0.0 &&
           std::isfinite(rate[kAppliedNO3ToMineralNO3]) && (!topLayer || rate[kRainfallNO3ToMineralNO3] == 0.0);
}

// A lower layer's graph steps as the top layer's when its rain moves
// nothing: its pathways are the top layer's but the rain, and the rain's
// pool is fed by none. A pathway that moves nothing adds zeros, which
// change no sum (a sum that starts at +0 is never -0).
static_assert(TopShape::pathways() == LowerShape::pathways() + 1 && TopShape::pools() == LowerShape::pools() + 1 &&
                  QuietTopShape::pathways() == QuietLowerShape::pathways() + 1 &&
                  !QuietTopShape::live(kRainfallNO3ToMineralNO3),
              "the shapes of the top and lower layers differ by the rain alone");

GraphTopology make_topology(bool topLayer) {
    const int pools = topLayer ? kPoolCount : kPoolCount - 1;
    return graph_step::fixedTopology(graph_step::poolNames(kPools, pools), kPathways,
                                     topLayer ? kPathwayCount : kPathwayCount - 1);
}

// Temperature factor of nitrification and volatilisation.
double mineral_temperature_factor(double t) { return t > 5.0 ? 0.41 * (t - 5.0) / 10.0 : 0.0; }

constexpr double kDenitrificationWaterFactor = 0.9;  // wetter layers denitrify
constexpr double kFloraAmmoniumShare = 0.1;

}  // namespace

double residueMineralizationRate(double residue, double freshMass, double mineralMass, double combinedFactor) {
    const double pools = freshMass + mineralMass;
    // Two empty pools leave no ratio to judge by: full speed (the fresh
    // pool then holds nothing to move).
    double gamma = 1.0;
    if (pools > 0.0) {
        // At a ratio of 25 and below the exponential is 1 or more: full
        // speed without it.
        const double ratio = 0.58 * residue / pools;
        if (ratio > 25.0) gamma = std::min(1.0, std::exp(-0.693 * (ratio - 25.0) / 25.0));
    }
    return 0.003 * gamma * combinedFactor;
}

NitrogenDiGraph::Workspace::Workspace() : GraphWorkspace(kPathways) {}

NitrogenDiGraph::NitrogenDiGraph(bool topLayer) : state_(topology(topLayer), 0.0) {
    const GraphTopology* t = &state_.topology();
    shape_ = t == &topology(true) ? Shape::top : t == &topology(false) ? Shape::lower : Shape::other;
}

const GraphTopology& NitrogenDiGraph::topology(bool topLayer) {
    static const GraphTopology top = make_topology(true);
    static const GraphTopology lower = make_topology(false);
    return topLayer ? top : lower;
}

void NitrogenDiGraph::setFloraDemand(double demand) {
    state_.setRate(kMineralNH4ToFlora, kFloraAmmoniumShare * demand);
    state_.setRate(kMineralNO3ToFlora, (1.0 - kFloraAmmoniumShare) * demand);
}

void NitrogenDiGraph::setFloraDemand(double demand, Workspace& work) { setFloraDemand(demand, work.rate); }

void NitrogenDiGraph::setFloraDemand(double demand, double* rate) {
    rate[kMineralNH4ToFlora] = kFloraAmmoniumShare * demand;
    rate[kMineralNO3ToFlora] = (1.0 - kFloraAmmoniumShare) * demand;
}

double NitrogenDiGraph::floraUptake() const {
    return state_.lastFlux(kMineralNH4ToFlora) + state_.lastFlux(kMineralNO3ToFlora);
}

double NitrogenDiGraph::floraUptake(const Workspace& work) {
    return work.lastFlux[kMineralNH4ToFlora] + work.lastFlux[kMineralNO3ToFlora];
}

void NitrogenDiGraph::loadPools(const NitrogenCycleDescriptor& cycle) { graph_step::loadPools(kPools, cycle, state_); }

void NitrogenDiGraph::storePools(NitrogenCycleDescriptor& cycle) const { graph_step::copyPools(kPools, state_, cycle); }

StepOutcome NitrogenDiGraph::integrate(double dt, const GraphArrays& g) {
    // The graphs of the library's own shapes take the unrolled step.
    if (shape_ == Shape::other) return integrateStep(state_.topology(), g, dt);
    return integrateOwn(shape_ == Shape::top, dt, g);
}

StepOutcome NitrogenDiGraph::integrateOwn(bool topLayer, double dt, const GraphArrays& g) {
    const bool quiet = quiet_layer(topLayer, g.rate, g.mass);
    if (topLayer)
        return quiet ? graph_step::integrate(QuietTopShape(), g, dt) : graph_step::integrate(TopShape(), g, dt);
    return quiet ? graph_step::integrate(QuietLowerShape(), g, dt) : graph_step::integrate(LowerShape(), g, dt);
}

StepOutcome NitrogenDiGraph::step(const ProcessContext& context, NitrogenCycleDescriptor& cycle) {
    const StepOutcome outcome = step(context, state_.arrays());
    graph_step::copyPools(kPools, state_, cycle);
    return outcome;
}

StepOutcome NitrogenDiGraph::step(const ProcessContext& context, Workspace& work) {
    return step(context, graph_step::overWorkspace(state_, work));
}

namespace {

// integrateLayers, giving in `pending` the graphs not stepped whose amounts
// are all finite (null: none); with `scans`, the graphs whose repair the
// lanes make count as stepped, their scans at scans[j].
template <unsigned Amounts = graph_step::kAllAmounts>
unsigned together(int count, const bool* topLayer, double* const* mass, double* const* rate, double* const* lastFlux,
                  double dt, unsigned* pending, int* scans = nullptr) {
    if (pending != nullptr) *pending = 0;
    if (count > graph_step::kLanes) return 0;
    bool quiet = true;
    for (int j = 0; j < count; ++j) {
        if (!topLayer[j] && !(rate[j][kRainfallNO3ToMineralNO3] == 0.0 && mass[j][kRainfallNO3Pool] == 0.0))
            return 0;
        quiet = quiet && quiet_layer(topLayer[j], rate[j], mass[j]);
    }
    return graph_step::stepLanesOf<QuietTopShape, TopShape, Amounts>(quiet, count, mass, rate, lastFlux, dt, pending,
                                                                      scans);
}

}  // namespace

unsigned NitrogenDiGraph::integrateLayers(int count, const bool* topLayer, double* const* mass,
                                          double* const* rate, double* const* lastFlux, double dt, bool amounts) {
    return amounts ? together(count, topLayer, mass, rate, lastFlux, dt, nullptr)
                   : together<0u>(count, topLayer, mass, rate, lastFlux, dt, nullptr);
}

unsigned NitrogenDiGraph::stepLayers(int count, const bool* topLayer, double* const* mass, double* const* rate,
                                 double* const* lastFlux, double dt, StepOutcome* outcome, bool allAmounts) {
    unsigned pending = 0;
    int scans[graph_step::kLanes] = {};
    constexpr unsigned kFlora = (1u << kMineralNH4ToFlora) | (1u << kMineralNO3ToFlora);
    const unsigned stepped = allAmounts ? together(count, topLayer, mass, rate, lastFlux, dt, &pending, scans)
                                        : together<kFlora>(count, topLayer, mass, rate, lastFlux, dt, &pending, scans);
    unsigned unclean = 0;
    for (int j = 0; j < count; ++j) {
        const GraphArrays g = {mass[j], rate[j], lastFlux[j], nullptr};
        if (((stepped >> j) & 1u) != 0) {
            outcome[j] = StepOutcome();
            outcome[j].repairScans = scans[j];
        } else if (((pending >> j) & 1u) != 0) {
            // The repair from the lanes' amounts, with the shape the layer's
            // own step takes.
            const bool quiet = quiet_layer(topLayer[j], g.rate, g.mass);
            if (topLayer[j]) {
                outcome[j] = quiet ? graph_step::settle(QuietTopShape(), g, g.lastFlux)
                                   : graph_step::settle(TopShape(), g, g.lastFlux);
            } else {
                outcome[j] = quiet ? graph_step::settle(QuietLowerShape(), g, g.lastFlux)
                                   : graph_step::settle(LowerShape(), g, g.lastFlux);
            }
        } else {
            outcome[j] = integrateOwn(topLayer[j], dt, g);
        }
        if (((stepped >> j) & 1u) == 0 && !outcome[j].clean()) unclean |= 1u << j;
    }
    return unclean;
}

SteadyLayer NitrogenDiGraph::steady(const SoilLayer& layer) { return steadyOf(layer); }

inline SteadyLayer NitrogenDiGraph::steadyOf(const SoilLayer& layer) {
    const SoilLayerDescriptor& d = *layer.descriptor;
    SteadyLayer s;
    s.fieldCapacityWater = d.fieldCapacityWater;
    s.wiltingPointWater = d.wiltingPointWater;
    s.residue = d.residue;
    s.temperatureFactor = layer.temperatureFactor;
    const double tau = mineral_temperature_factor(d.temperature);
    s.nitrification = tau;
    s.denitrification = 1.4 * layer.temperatureFactor * layer.carbonFactor;
    if (s.denitrification > 1.0) s.denitrification = 0.95;
    // The share of the layer's middle depth is kept with the depth it was
    // computed for.
    const double z = (d.bottomDepth - 0.5 * d.thickness) * 1000.0;  // mm, the layer's middle
    if (!(z == volatilizationDepth_)) {
        volatilizationShare_ = 1.0 - z / (std::exp(4.706 - 0.305 * z) + z);
        volatilizationDepth_ = z;
    }
    s.volatilization = tau * volatilizationShare_;
    return s;
}

void NitrogenDiGraph::setLayerRates(const SteadyLayer& s, double water, double waterFactor, double combinedFactor,
                                    const double* mass, double* rate) {
    layerRates(s, water, waterFactor, combinedFactor, mass, rate);
}

inline void NitrogenDiGraph::layerRates(const SteadyLayer& s, double water, double waterFactor, double combinedFactor,
                                        const double* mass, double* rate) {
    rate[kMineralNO3ToDenitrified] = waterFactor >= kDenitrificationWaterFactor ? s.denitrification : 0.0;
    rate[kMineralNH4ToVolatilized] = s.volatilization;
    rate[kOrganicActiveToMineralNO3] = combinedFactor * 1e-5;
    rate[kOrganicFreshToMineralNO3] =
        residueMineralizationRate(s.residue, mass[kFreshPool], mass[kMineralNO3Pool], combinedFactor);

    // Nitrification slows as the layer dries from a quarter of its
    // available water down to the wilting point.
    const double available = s.fieldCapacityWater - s.wiltingPointWater;
    const double above_wilting = water - s.wiltingPointWater;
    double eta;
    if (available > 0.0) {
        eta = std::clamp(above_wilting / (0.25 * available), 0.0, 1.0);
    } else {
        eta = above_wilting > 0.0 ? 1.0 : 0.0;
    }
    rate[kMineralNH4ToMineralNO3] = s.nitrification * eta;
}

void NitrogenDiGraph::setRates(const ProcessContext& context, double* rate) {
    const SoilLayer& layer = *context.soilLayer;
    const SoilLayerDescriptor& d = *layer.descriptor;
    const Environment& e = *context.environment;
    layerRates(steadyOf(layer), d.water, layer.waterFactor, layer.combinedFactor, state_.masses(), rate);
    if (state_.topology().pathwayCount() > kRainfallNO3ToMineralNO3)
        rate[kRainfallNO3ToMineralNO3] = 0.01 * e.rainfall * e.rainNitrate;
}

StepOutcome NitrogenDiGraph::step(const ProcessContext& context, const GraphArrays& g) {
    setRates(context, g.rate);
    const StepOutcome outcome = integrate(context.environment->period, g);
    if (!outcome.clean())
        reportStep(outcome, state_.topology(), "nitrogen", context.cellNumber,
                   context.soilLayer->descriptor->layerNumber);
    return outcome;
}

}  // namespace NITROGEN
}  // namespace VEGSO
