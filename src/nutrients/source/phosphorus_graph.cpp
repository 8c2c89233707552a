#include "nutrients/source/phosphorus_graph.hpp"

#include <cmath>

#include "nutrients/source/environment.hpp"
#include "nutrients/source/nitrogen_graph.hpp"
#include "nutrients/source/soil_graph_step.hpp"
#include "nutrients/source/soil_layer.hpp"
#include "nutrients/source/soil_schema.hpp"

namespace VEGSO {
namespace PHOSPHORUS {

namespace {

constexpr PathwayOrder kFirst = PathwayOrder::First;
constexpr PathwayOrder kZero = PathwayOrder::Zero;

// Every pathway, in the order of evaluation.
constexpr graph_step::FixedPathway kPathways[kPathwayCount] = {
    {kFreshToActive, "Fresh_to_Active", {kFreshPool, kActivePool, kFirst}, 0.1},
    {kFreshToStable, "Fresh_to_Stable", {kFreshPool, kStablePool, kFirst}, 0.1},
    {kStableToActive, "Stable_to_Active", {kStablePool, kActivePool, kZero}, 0.0},
    {kActiveToStable, "Active_to_Stable", {kActivePool, kStablePool, kZero}, 0.0},
    {kAppliedToActive, "Applied_to_Active", {kAppliedOrganicPool, kActivePool, kFirst}, 0.1},
    {kOrganicActiveToMineralSolution, "OrganicActive_to_MineralSolution", {kActivePool, kMineralSolutionPool, kFirst}, 0.0},
    {kOrganicFreshToMineralSolution, "OrganicFresh_to_MineralSolution", {kFreshPool, kMineralSolutionPool, kFirst}, 0.0},
    {kMineralStableToMineralActive, "MineralStable_to_MineralActive", {kMineralStablePool, kMineralActivePool, kFirst}, 0.1},
    {kMineralActiveToMineralSolution, "MineralStable_to_MineralSolution", {kMineralActivePool, kMineralSolutionPool, kFirst}, 0.1},
    {kAppliedMineralToMineralSolution, "AppliedMineral_to_MineralSolution", {kAppliedMineralPool, kMineralSolutionPool, kFirst}, 0.1},
    {kMineralSolutionToFlora, "MineralSolution_to_Flora", {kMineralSolutionPool, kFloraMineralPool, kZero}, 0.0},
};

static_assert(graph_step::pathwaysInOrder(kPathways), "pathway row i holds pathway i");

// Every pool, in the order of the step's scans.
using Pool = graph_step::FixedPool<PhosphorusCycleDescriptor>;
constexpr Pool kPools[kPoolCount] = {
    {kFreshPool, "FreshPool", &PhosphorusCycleDescriptor::fresh},
    {kActivePool, "ActivePool", &PhosphorusCycleDescriptor::active},
    {kStablePool, "StablePool", &PhosphorusCycleDescriptor::stable},
    {kAppliedOrganicPool, "AppliedOrganicPool", nullptr},
    {kMineralActivePool, "MineralActivePool", &PhosphorusCycleDescriptor::mineralActive},
    {kMineralStablePool, "MineralStablePool", &PhosphorusCycleDescriptor::mineralStable},
    {kMineralSolutionPool, "MineralSolutionPool", &PhosphorusCycleDescriptor::mineralSolution},
    {kAppliedMineralPool, "AppliedMineralPool", nullptr},
    {kFloraMineralPool, "FloraMineralPool", nullptr},
};
static_assert(graph_step::poolsInOrder(kPools), "pool row i holds pool i");

using Shape = graph_step::FixedShape<kPoolCount, kPathwayCount, kPathways>;

// The pathways that carry nothing in a layer without applied phosphorus:
// the applied pools' pathways and the plants' uptake.
constexpr unsigned kQuiet =
    1u << kAppliedToActive | 1u << kAppliedMineralToMineralSolution | 1u << kMineralSolutionToFlora;
using QuietShape = graph_step::FixedShape<kPoolCount, kPathwayCount, kPathways, ~kQuiet>;

// Without applied phosphorus or uptake the quiet shape leaves out the
// pathways that move nothing (the applied pools are fed by none).
bool quiet_layer(const double* rate, const double* mass) {
    return mass[kAppliedOrganicPool] == 0.0 && std::isfinite(rate[kAppliedToActive]) &&
           mass[kAppliedMineralPool] == 0.0 && std::isfinite(rate[kAppliedMineralToMineralSolution]) &&
           rate[kMineralSolutionToFlora] == 0.0;
}

GraphTopology make_topology() {
    return graph_step::fixedTopology(graph_step::poolNames(kPools, kPoolCount), kPathways, kPathwayCount);
}

constexpr double kOrganicRelaxation = 0.2;  // per day: share of the split's difference moved

}  // namespace

PhosphorusDiGraph::Workspace::Workspace() : GraphWorkspace(kPathways) {}

PhosphorusDiGraph::PhosphorusDiGraph() : state_(topology(), 0.0) {}

const GraphTopology& PhosphorusDiGraph::topology() {
    static const GraphTopology t = make_topology();
    return t;
}

void PhosphorusDiGraph::balanceOrganic(const ProcessContext& context) {
    GraphArrays g = state_.arrays();
    balanceOrganic(context.nitrogenCycle->active.mass, context.nitrogenCycle->stable.mass, g.mass, g.rate);
}

void PhosphorusDiGraph::balanceOrganic(double na, double ns, Workspace& work) const {
    balanceOrganic(na, ns, state_.masses(), work.rate);
}

void PhosphorusDiGraph::balanceOrganic(double na, double ns, const double* mass, double* rate) {
    double share_active = 0.5;
    double share_stable = 0.5;
    if (na + ns > 0.0) {
        share_active = na / (na + ns);
        share_stable = ns / (na + ns);
    }
    const double total = mass[kActivePool] + mass[kStablePool];
    const double to_active = share_active * total - mass[kActivePool];
    const double to_stable = share_stable * total - mass[kStablePool];
    rate[kStableToActive] = to_active > 0.0 ? kOrganicRelaxation * to_active : 0.0;
    rate[kActiveToStable] = to_stable > 0.0 ? kOrganicRelaxation * to_stable : 0.0;
}

void PhosphorusDiGraph::loadPools(const PhosphorusCycleDescriptor& cycle) {
    graph_step::loadPools(kPools, cycle, state_);
}

void PhosphorusDiGraph::storePools(PhosphorusCycleDescriptor& cycle) const {
    graph_step::copyPools(kPools, state_, cycle);
}

StepOutcome PhosphorusDiGraph::step(const ProcessContext& context, PhosphorusCycleDescriptor& cycle) {
    const StepOutcome outcome = step(context, state_.arrays());
    graph_step::copyPools(kPools, state_, cycle);
    return outcome;
}

StepOutcome PhosphorusDiGraph::step(const ProcessContext& context, Workspace& work) {
    return step(context, graph_step::overWorkspace(state_, work));
}

void PhosphorusDiGraph::setLayerRates(double residue, double combinedFactor, const double* mass, double* rate) {
    layerRates(residue, combinedFactor, mass, rate);
}

inline void PhosphorusDiGraph::layerRates(double residue, double combinedFactor, const double* mass, double* rate) {
    rate[kOrganicActiveToMineralSolution] = 1.4 * combinedFactor * 1e-5;
    rate[kOrganicFreshToMineralSolution] =
        NITROGEN::residueMineralizationRate(residue, mass[kFreshPool], mass[kMineralSolutionPool], combinedFactor);
}

StepOutcome PhosphorusDiGraph::integrateOwn(double dt, const GraphArrays& g) {
    if (quiet_layer(g.rate, g.mass)) return graph_step::integrate(QuietShape(), g, dt);
    return graph_step::integrate(Shape(), g, dt);
}

namespace {

// integrateLayers, giving in `pending` the graphs not stepped whose amounts
// are all finite (null: none); with `scans`, the graphs whose repair the
// lanes make count as stepped, their scans at scans[j].
template <unsigned Amounts = graph_step::kAllAmounts>
unsigned together(int count, double* const* mass, double* const* rate, double* const* lastFlux, double dt,
                  unsigned* pending, int* scans = nullptr) {
    if (pending != nullptr) *pending = 0;
    if (count > graph_step::kLanes) return 0;
    bool quiet = true;
    for (int j = 0; j < count; ++j) quiet = quiet && quiet_layer(rate[j], mass[j]);
    return graph_step::stepLanesOf<QuietShape, Shape, Amounts>(quiet, count, mass, rate, lastFlux, dt, pending, scans);
}

}  // namespace

unsigned PhosphorusDiGraph::integrateLayers(int count, double* const* mass, double* const* rate,
                                            double* const* lastFlux, double dt, bool amounts) {
    return amounts ? together(count, mass, rate, lastFlux, dt, nullptr)
                   : together<0u>(count, mass, rate, lastFlux, dt, nullptr);
}

unsigned PhosphorusDiGraph::stepLayers(int count, double* const* mass, double* const* rate, double* const* lastFlux,
                                   double dt, StepOutcome* outcome, bool amounts) {
    unsigned pending = 0;
    int scans[graph_step::kLanes] = {};
    const unsigned stepped = amounts ? together(count, mass, rate, lastFlux, dt, &pending, scans)
                                     : together<0u>(count, mass, rate, lastFlux, dt, &pending, scans);
    unsigned unclean = 0;
    for (int j = 0; j < count; ++j) {
        const GraphArrays g = {mass[j], rate[j], lastFlux[j], nullptr};
        if (((stepped >> j) & 1u) != 0) {
            outcome[j] = StepOutcome();
            outcome[j].repairScans = scans[j];
        } else if (((pending >> j) & 1u) != 0) {
            // The repair from the lanes' amounts, with the shape the
            // graph's own step takes.
            outcome[j] = quiet_layer(g.rate, g.mass) ? graph_step::settle(QuietShape(), g, g.lastFlux)
                                                     : graph_step::settle(Shape(), g, g.lastFlux);
        } else {
            outcome[j] = integrateOwn(dt, g);
        }
        if (((stepped >> j) & 1u) == 0 && !outcome[j].clean()) unclean |= 1u << j;
    }
    return unclean;
}

void PhosphorusDiGraph::setRates(const ProcessContext& context, double* rate) const {
    const SoilLayer& layer = *context.soilLayer;
    layerRates(layer.descriptor->residue, layer.combinedFactor, state_.masses(), rate);
}

StepOutcome PhosphorusDiGraph::step(const ProcessContext& context, const GraphArrays& g) {
    const SoilLayer& layer = *context.soilLayer;
    setRates(context, g.rate);

    // The graph of the library's own shape takes the unrolled step.
    const double dt = context.environment->period;
    const StepOutcome outcome =
        &state_.topology() != &topology() ? integrateStep(state_.topology(), g, dt) : integrateOwn(dt, g);
    if (!outcome.clean())
        reportStep(outcome, state_.topology(), "phosphorus", context.cellNumber, layer.descriptor->layerNumber);
    return outcome;
}

}  // namespace PHOSPHORUS
}  // namespace VEGSO
