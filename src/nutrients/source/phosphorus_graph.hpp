// The phosphorus cycle of one soil layer: nine pools joined by eleven
// pathways. Before each step the exchange between active and stable organic
// phosphorus is set to relax their split towards the split of organic
// nitrogen. Rates are per day; the step's length is the environment's period.
#pragma once

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
    // The pools that the cycle descriptor does not hold (applied and flora
    // pools) start empty.
    PhosphorusDiGraph();

    static const GraphTopology& topology();

    // Sets the exchange between active and stable organic P from the
    // context's organic nitrogen split.
    void balanceOrganic(const ProcessContext& context);
    // Takes the masses of the descriptor's pools.
    void loadPools(const PhosphorusCycleDescriptor& cycle);
    // Computes the rates from the context, steps over the environment's
    // period and copies the descriptor's pools into `cycle`.
    StepOutcome step(const ProcessContext& context, PhosphorusCycleDescriptor& cycle);

    const GraphState<kPoolCount, kPathwayCount>& state() const { return state_; }
    GraphState<kPoolCount, kPathwayCount>& state() { return state_; }

private:
    GraphState<kPoolCount, kPathwayCount> state_;
};

}  // namespace PHOSPHORUS
}  // namespace VEGSO
