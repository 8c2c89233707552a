// Pools and pathways of a soil-layer graph and the step that moves mass
// along the pathways.
//
// A graph's topology (pool names, pathways with source, target, order and
// rate at construction, and each pool's lists of incoming and outgoing
// pathways) is built once and shared by every layer of every cell; the masses
// of a graph instance and the rates and fluxes of its pathways are kept in
// small contiguous arrays (GraphState), so that a library cell costs no heap
// object per pool or pathway.
//
// The step is the classical fourth-order Runge-Kutta scheme over the masses:
// stage s evaluates every pathway at the pool masses M + c_s dt D_(s-1)
// (c = 0, 1/2, 1/2, 1; D the summed derivative of the previous stage); a
// pathway's step amount is dt (f1 + 2 f2 + 2 f3 + f4) / 6 and a pool's new
// mass its committed mass plus the amounts in minus the amounts out. A repair
// then keeps every new mass non-negative by scaling the outgoing amounts of
// the first overdrawn pool down to what it holds, scanning again from the
// first pool until all are sound. A pool that holds less than nothing before
// anything leaves it (a negative mass given to the graph) gives nothing and
// keeps its mass; the scans are bounded. Every amount that leaves one pool
// enters another, so the graph's total is conserved to rounding, repair
// included.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

namespace VEGSO {

enum class PathwayOrder : unsigned char {
    Zero,      // the flux is the rate
    First,     // the flux is the rate times the source's mass
    External,  // the flux is the rate, brought from outside the graph: it
               // enters both the target and the source, which counts it
};

// A pathway of a topology: its name, the indices of its source and target
// pools, its order and its rate at construction (per day, or mass per day
// for zero order).
struct Pathway {
    std::string name;
    int source;
    int target;
    PathwayOrder order;
    double rate;
};

// The largest graph a GraphState holds.
constexpr int kMaxGraphPools = 16;
constexpr int kMaxGraphPathways = 16;

class GraphTopology {
public:
    // A topology of these pools and pathways (in the order of the step's
    // scans and evaluations). Counts above the largest graph or pool indices
    // out of range give an empty topology with an error text.
    GraphTopology(std::vector<std::string> poolNames, std::vector<Pathway> pathways);

    const std::string& error() const { return error_; }
    int poolCount() const { return static_cast<int>(poolNames_.size()); }
    int pathwayCount() const { return static_cast<int>(pathways_.size()); }
    const std::string& poolName(int pool) const { return poolNames_[pool]; }
    const Pathway& pathway(int index) const { return pathways_[index]; }
    // Index of the pool or pathway of that name, -1 when there is none.
    int poolIndex(const std::string& name) const;
    int pathwayIndex(const std::string& name) const;
    // The pathways that take mass out of `pool`, in construction order. An
    // external pathway takes from neither of its pools.
    const std::vector<int>& outPathways(int pool) const { return out_[pool]; }

    // The pools and order of every pathway, side by side for the step.
    struct Link {
        int source;
        int target;
        PathwayOrder order;
    };
    const Link* links() const { return links_; }

private:
    std::string error_;
    Link links_[kMaxGraphPathways] = {};
    std::vector<std::string> poolNames_;
    std::vector<Pathway> pathways_;
    std::vector<std::vector<int>> out_;
};

// What the repair of a step did.
struct StepOutcome {
    int repairScans = 0;         // scans that found an overdrawn pool
    int unrepairedPool = -1;     // a pool that held less than nothing with its inflows: its outflows were stopped
    int nonFinitePool = -1;      // a pool whose new mass was not a number: set to 0
    int nonFinitePathway = -1;   // a pathway whose amount was not a number: set to 0
    bool scanLimitReached = false;  // the repair stopped at its bound; a pool may stay below 0

    // Nothing to warn of.
    bool clean() const {
        return unrepairedPool < 0 && nonFinitePool < 0 && nonFinitePathway < 0 && !scanLimitReached;
    }
};

// The masses, rates and fluxes of one graph instance (arrays of the
// topology's sizes, owned by the caller).
struct GraphArrays {
    double* mass;
    double* rate;
    double* lastFlux;        // amount moved in the last step
    double* cumulativeFlux;  // amount moved in all steps (null: not kept)
};

// One step of `dt` (the unit of the rates' time) over the graph.
StepOutcome integrateStep(const GraphTopology& topology, const GraphArrays& graph, double dt);

// Warns (once per cell, layer and cycle) when the repair of a step could not
// keep every pool non-negative or met a value that is not a number.
void reportStep(const StepOutcome& outcome, const GraphTopology& topology, const char* cycle, int cellNumber,
                int layerNumber);

// `topology` when it fits in the given room; otherwise an empty topology,
// with a warning.
const GraphTopology& fittingTopology(const GraphTopology& topology, int maxPools, int maxPathways);

// The rates and amounts of a graph's step kept apart from any graph: a
// step over a workspace leaves the graph's own rates and amounts as they
// were and changes only its pools. The rates that a step does not set stay
// at their construction rates. One workspace serves any number of graphs
// stepped one after another.
template <int Pathways>
struct GraphWorkspace {
    // The rates at rows[w].rate, no amounts.
    template <class Rows>
    explicit GraphWorkspace(const Rows& rows) {
        for (int w = 0; w < Pathways; ++w) {
            rate[w] = rows[w].rate;
            lastFlux[w] = 0.0;
        }
    }
    double rate[Pathways];
    double lastFlux[Pathways];
};

// The bytes from `graph`'s start through the masses of `state`, the last of
// its members that a step over a workspace reads and writes.
template <class Graph, class State>
std::size_t bytesThroughMasses(const Graph& graph, const State& state) {
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&state) - reinterpret_cast<const char*>(&graph)) +
           state.massBytes();
}

// One graph instance with room for MaxPools pools and MaxPathways pathways.
// Without KeepsTotals it keeps no amounts moved in all steps: a step then
// writes one array less, which matters where a state is kept for every
// layer of every cell.
template <int MaxPools, int MaxPathways, bool KeepsTotals = true>
class GraphState {
    static_assert(MaxPools <= kMaxGraphPools && MaxPathways <= kMaxGraphPathways, "graph too large");

public:
    // Every pool at `initialMass`, every pathway at its construction rate.
    // A topology larger than the state is used as an empty graph.
    GraphState(const GraphTopology& topology, double initialMass)
        : topology_(&fittingTopology(topology, MaxPools, MaxPathways)) {
        for (int p = 0; p < MaxPools; ++p) mass_[p] = initialMass;
        for (int w = 0; w < MaxPathways; ++w) {
            rate_[w] = w < topology_->pathwayCount() ? topology_->pathway(w).rate : 0.0;
            lastFlux_[w] = 0.0;
            if constexpr (KeepsTotals) totals_.flux[w] = 0.0;
        }
    }

    const GraphTopology& topology() const { return *topology_; }
    StepOutcome step(double dt) { return integrateStep(*topology_, arrays(), dt); }
    // The state's arrays, for a step of the caller's own.
    GraphArrays arrays() {
        if constexpr (KeepsTotals) {
            return GraphArrays{mass_, rate_, lastFlux_, totals_.flux};
        } else {
            return GraphArrays{mass_, rate_, lastFlux_, nullptr};
        }
    }
    double mass(int pool) const { return mass_[pool]; }
    const double* masses() const { return mass_; }
    void setMass(int pool, double mass) { mass_[pool] = mass; }
    double rate(int pathway) const { return rate_[pathway]; }
    void setRate(int pathway, double rate) { rate_[pathway] = rate; }
    double lastFlux(int pathway) const { return lastFlux_[pathway]; }
    double cumulativeFlux(int pathway) const {
        static_assert(KeepsTotals, "this state keeps no amounts moved in all steps");
        return totals_.flux[pathway];
    }
    // The bytes from the state's start through its masses: all that a step
    // over rates and amounts kept elsewhere reads and writes of it.
    std::size_t massBytes() const {
        return static_cast<std::size_t>(reinterpret_cast<const char*>(rate_) - reinterpret_cast<const char*>(this));
    }
    double totalMass() const {
        double sum = 0.0;
        for (int p = 0; p < topology_->poolCount(); ++p) sum += mass_[p];
        return sum;
    }

private:
    const GraphTopology* topology_;
    double mass_[MaxPools];
    double rate_[MaxPathways];
    double lastFlux_[MaxPathways];
    struct Totals {
        double flux[MaxPathways];
    };
    struct NoTotals {};
    std::conditional_t<KeepsTotals, Totals, NoTotals> totals_;
};

}  // namespace VEGSO
