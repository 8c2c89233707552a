// The phosphorus cycle of one soil layer: nine pools joined by eleven
// pathways. Before each step the exchange between active and stable organic
// phosphorus is set to relax their split towards the split of organic
// nitrogen. Rates are per day; the step's length is the environment's period.
#pragma once

#include <cstddef>

#include "nutrients/source/soil_graph.hpp"

namespace VEGSO {

struct PhosphorusCycleDescriptor;
struct ProcessContext;

namespace PHOSPHORUS {

// Pools, in the order of the step's scans.
enum PoolIndex : int {
    kFreshPool,            // fresh organic P (residue)
    kActivePool,           // active organic P
    kStablePool,           // stable organic P
    kAppliedOrganicPool,
    kMineralActivePool,
    kMineralStablePool,
    kMineralSolutionPool,
    kAppliedMineralPool,
    kFloraMineralPool,     // P taken up by plants: no pathway feeds it
    kPoolCount
};

// Pathways, in the order of evaluation.
enum PathwayIndex : int {
    kFreshToActive,
    kFreshToStable,
    kStableToActive,  // zero order, set by balanceOrganic
    kActiveToStable,  // zero order, set by balanceOrganic
    kAppliedToActive,
    kOrganicActiveToMineralSolution,
    kOrganicFreshToMineralSolution,
    kMineralStableToMineralActive,
    kMineralActiveToMineralSolution,  // named "MineralStable_to_MineralSolution"
    kAppliedMineralToMineralSolution,
    kMineralSolutionToFlora,  // zero order at rate 0: plants take up no phosphorus
    kPathwayCount
};

class PhosphorusDiGraph {
public:
    // Masses, rates and the amounts of the last step; no running totals,
    // which a cell's step would write for every layer and nothing reads.
    using State = GraphState<kPoolCount, kPathwayCount, false>;

    // The pools that the cycle descriptor does not hold (applied and flora
    // pools) start empty.
    PhosphorusDiGraph();

    static const GraphTopology& topology();

    // The rates and amounts of a step kept apart from any graph, at the
    // topology's construction rates.
    struct Workspace : GraphWorkspace<kPathwayCount> {
        Workspace();
    };

    // Sets the exchange between active and stable organic P from the
    // context's organic nitrogen split, or from the split of these active
    // and stable organic nitrogen masses into the workspace.
    void balanceOrganic(const ProcessContext& context);
    void balanceOrganic(double nitrogenActive, double nitrogenStable, Workspace& work) const;
    // Takes the masses of the descriptor's pools; gives them back.
    void loadPools(const PhosphorusCycleDescriptor& cycle);
    void storePools(PhosphorusCycleDescriptor& cycle) const;
    // Computes the rates from the context and steps over the environment's
    // period; the first form then copies the descriptor's pools into
    // `cycle`, the second takes and leaves the rates and amounts in `work`.
    StepOutcome step(const ProcessContext& context, PhosphorusCycleDescriptor& cycle);
    StepOutcome step(const ProcessContext& context, Workspace& work);

    // The exchange between active and stable organic P of a graph of these
    // masses into `rate`, from the nitrogen split.
    static void balanceOrganic(double nitrogenActive, double nitrogenStable, const double* mass, double* rate);
    // The rates of a step that depend on the layer (its organic
    // mineralisation) into `rate`, for a layer of this residue and combined
    // factor and a graph of these masses.
    static void setLayerRates(double residue, double combinedFactor, const double* mass, double* rate);
    // One integration step of dt days of a graph of the library's shape.
    static StepOutcome integrateOwn(double dt, const GraphArrays& graph);
    // The step of integrateOwn of `count` (at most four) graphs at once,
    // graph j's masses, rates and amounts at mass[j], rate[j] and
    // lastFlux[j]. Returns the graphs stepped (bit j for graph j), with the
    // same masses and amounts as integrateOwn: those whose step needs no
    // repair. The others are as they were, for integrateOwn. Without
    // `amounts`, lastFlux is left as it was.
    static unsigned integrateLayers(int count, double* const* mass, double* const* rate, double* const* lastFlux,
                                double dt, bool amounts = true);
    // Steps `count` (at most four) graphs as integrateOwn steps each,
    // giving the outcome of graph j in outcome[j]: those of integrateLayers
    // as it steps them, the others repaired from the amounts of its lanes
    // (or stepped on their own where an amount is not finite). Without
    // `amounts`, a graph that its lanes step gives none of its amounts.
    // Returns the graphs whose outcome is not clean (bit j for graph j).
    static unsigned stepLayers(int count, double* const* mass, double* const* rate, double* const* lastFlux, double dt,
                           StepOutcome* outcome, bool amounts = true);
    // The rates of a step of the graph's layer from the context (all but
    // the organic exchange of balanceOrganic) into `rate`.
    void setRates(const ProcessContext& context, double* rate) const;
    // Whether the graph has the library's shape.
    bool ownShape() const { return &state_.topology() == &topology(); }

    const State& state() const { return state_; }
    State& state() { return state_; }
    // The bytes from the graph's start through its pools' masses: all that a
    // step over a workspace reads and writes of it.
    std::size_t massBytes() const { return bytesThroughMasses(*this, state_); }

private:
    // setLayerRates, inlined into setRates.
    static void layerRates(double residue, double combinedFactor, const double* mass, double* rate);
    // A step over the masses of the graph and these rates and amounts.
    StepOutcome step(const ProcessContext& context, const GraphArrays& graph);

    State state_;
};

}  // namespace PHOSPHORUS
}  // namespace VEGSO
