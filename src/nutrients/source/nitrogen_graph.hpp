// The nitrogen cycle of one soil layer: thirteen pools (twelve below the top
// layer, which alone receives nitrate from rain) joined by fourteen pathways
// (thirteen), each with its rate law. Rates are per day; the step's length is
// the environment's period.
#pragma once

#include <cstddef>
#include <limits>

#include "nutrients/source/soil_graph.hpp"

namespace VEGSO {

struct NitrogenCycleDescriptor;
struct ProcessContext;
class SoilLayer;

namespace NITROGEN {

// Pools, in the order of the step's scans.
enum PoolIndex : int {
    kFreshPool,           // fresh organic N (residue)
    kActivePool,          // active organic N
    kStablePool,          // stable organic N
    kAppliedOrganicPool,  // applied organic N
    kMineralNH4Pool,
    kMineralNO3Pool,
    kAppliedNH4Pool,
    kAppliedNO3Pool,
    kFloraNH4Pool,        // ammonium taken up by plants (accumulates)
    kFloraNO3Pool,        // nitrate taken up by plants (accumulates)
    kDenitrifiedPool,     // lost by denitrification (accumulates)
    kVolatilizedPool,     // lost by volatilisation (accumulates)
    kRainfallNO3Pool,     // nitrate delivered by rain (accumulates); top layer only
    kPoolCount
};

// Pathways, in the order of evaluation.
enum PathwayIndex : int {
    kFreshToActive,
    kFreshToStable,
    kStableToActive,
    kMineralNH4ToFlora,  // zero order: the plants' ammonium demand
    kMineralNO3ToFlora,  // zero order: the plants' nitrate demand
    kAppliedToActive,
    kAppliedNH4ToMineralNH4,
    kAppliedNO3ToMineralNO3,
    kMineralNO3ToDenitrified,
    kMineralNH4ToVolatilized,
    kOrganicActiveToMineralNO3,
    kOrganicFreshToMineralNO3,
    kMineralNH4ToMineralNO3,    // nitrification
    kRainfallNO3ToMineralNO3,   // top layer only
    kPathwayCount
};

// Residue mineralisation per day from the fresh organic pool: faster the
// narrower the carbon-to-nutrient ratio of the residue over the two pools'
// masses (full speed at 25 and below).
double residueMineralizationRate(double residue, double freshMass, double mineralMass, double combinedFactor);

// What the rate laws read of a layer whose values stay as they are from one
// step to the next (a bound cell's, until it is bound anew): its water
// bounds and residue, and the rates that depend on its temperature and
// depth alone.
struct SteadyLayer {
    double fieldCapacityWater;  // m
    double wiltingPointWater;   // m
    double residue;
    double temperatureFactor;   // of the layer's factors
    double nitrification;       // per day, at full water
    double volatilization;      // per day
    double denitrification;     // per day, in a layer wet enough
};

class NitrogenDiGraph {
public:
    // Masses, rates and the amounts of the last step; no running totals,
    // which a cell's step would write for every layer and nothing reads.
    using State = GraphState<kPoolCount, kPathwayCount, false>;

    // The pools that the cycle descriptor does not hold (applied, flora,
    // lost and rain pools) start empty.
    explicit NitrogenDiGraph(bool topLayer);

    static const GraphTopology& topology(bool topLayer);

    // The rates and amounts of a step kept apart from any graph, at the
    // topology's construction rates.
    struct Workspace : GraphWorkspace<kPathwayCount> {
        Workspace();
    };

    // The plants' demand (mass per day): a tenth from ammonium, the rest from
    // nitrate; into the graph's rates or the workspace's.
    void setFloraDemand(double demand);
    static void setFloraDemand(double demand, Workspace& work);
    // The same into the rates `rate` of a step.
    static void setFloraDemand(double demand, double* rate);
    // Nitrogen taken up by the plants in the last step (of the workspace).
    double floraUptake() const;
    static double floraUptake(const Workspace& work);
    // Takes the masses of the descriptor's pools; gives them back.
    void loadPools(const NitrogenCycleDescriptor& cycle);
    void storePools(NitrogenCycleDescriptor& cycle) const;
    // Computes the rates from the context and steps over the environment's
    // period; the first form then copies the descriptor's pools into
    // `cycle`, the second takes and leaves the rates and amounts in `work`.
    StepOutcome step(const ProcessContext& context, NitrogenCycleDescriptor& cycle);
    StepOutcome step(const ProcessContext& context, Workspace& work);

    // The rates of a step of the graph's layer from the context (all but
    // the plants' uptake) into `rate`.
    void setRates(const ProcessContext& context, double* rate);
    // The steady values of this graph's layer (its depth share computed
    // anew when the depth changed).
    SteadyLayer steady(const SoilLayer& layer);
    // The rates of a step (all but the plants' uptake and the rain) into
    // `rate`, for a layer holding `water` (m) with these water and combined
    // factors and the graph's masses `mass`.
    static void setLayerRates(const SteadyLayer& layer, double water, double waterFactor, double combinedFactor,
                              const double* mass, double* rate);
    // One integration step of dt days of a graph of the library's shape of
    // the top or a lower layer.
    static StepOutcome integrateOwn(bool topLayer, double dt, const GraphArrays& graph);
    // The step of integrateOwn of `count` (at most four) layers' graphs at
    // once, graph j's masses, rates and amounts at mass[j], rate[j] and
    // lastFlux[j] (13, 14 and 14 values; a lower layer's last pool holds 0
    // and its last rate, the rain's, is 0). Returns the graphs stepped (bit
    // j for graph j), with the same masses and amounts as integrateOwn:
    // those whose step needs no repair. The others are as they were, for
    // integrateOwn. Without `amounts`, lastFlux is left as it was.
    static unsigned integrateLayers(int count, const bool* topLayer, double* const* mass, double* const* rate,
                                double* const* lastFlux, double dt, bool amounts = true);
    // Steps `count` (at most four) layers' graphs as integrateOwn steps
    // each, giving the outcome of graph j in outcome[j]: those of
    // integrateLayers as it steps them, the others repaired from the
    // amounts of its lanes (or stepped on their own where an amount is not
    // finite or the lanes do not take them). Without `allAmounts`, a graph
    // that its lanes step gives of its amounts only the plants' uptake
    // (kMineralNH4ToFlora and kMineralNO3ToFlora). Returns the graphs whose
    // outcome is not clean (bit j for graph j).
    static unsigned stepLayers(int count, const bool* topLayer, double* const* mass, double* const* rate,
                           double* const* lastFlux, double dt, StepOutcome* outcome, bool allAmounts = true);
    // Whether the graph has the library's shape of its layer, and that of
    // the top layer.
    bool ownShape() const { return shape_ != Shape::other; }
    bool topShape() const { return shape_ == Shape::top; }

    const State& state() const { return state_; }
    State& state() { return state_; }
    // The bytes from the graph's start through its pools' masses: all that a
    // step over a workspace reads and writes of it.
    std::size_t massBytes() const { return bytesThroughMasses(*this, state_); }

private:
    // A step over the masses of the graph and these rates and amounts.
    StepOutcome step(const ProcessContext& context, const GraphArrays& graph);
    // One integration step of the pools over dt days.
    StepOutcome integrate(double dt, const GraphArrays& graph);
    // steady and setLayerRates, inlined into setRates.
    SteadyLayer steadyOf(const SoilLayer& layer);
    static void layerRates(const SteadyLayer& layer, double water, double waterFactor, double combinedFactor,
                           const double* mass, double* rate);

    // Which of the library's shapes the graph has (other: the empty graph
    // of a topology that did not fit).
    enum class Shape : unsigned char { top, lower, other } shape_;
    // The volatilisation's depth share and the layer's middle depth (mm) it
    // was computed for.
    double volatilizationDepth_ = std::numeric_limits<double>::quiet_NaN();
    double volatilizationShare_ = 0.0;
    State state_;
};

}  // namespace NITROGEN
}  // namespace VEGSO
