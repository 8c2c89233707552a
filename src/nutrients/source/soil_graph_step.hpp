// The body of the soil-graph integration step (integrateStep in
// soil_graph.hpp), written once for two kinds of graph shape: a topology
// read at run time, and a shape whose pathways are a constant table known
// when the program is built (the nitrogen and phosphorus graphs). For the
// latter every loop unrolls and every pool index is a constant, so the
// stages run without branches and the masses stay in registers. Both do
// the same operations in the same order and give the same numbers.
//
// Internal to the library: included by the files that step a graph.
#pragma once

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "nutrients/source/soil_graph.hpp"
#include "nutrients/source/soil_schema.hpp"

namespace VEGSO {
namespace graph_step {

// A pool whose new mass lies this close below 0, relative to the masses
// that made it, is empty but for rounding: the repair counts it as sound and
// its mass is committed as 0.
constexpr double kRoundoff = 64.0 * DBL_EPSILON;
// Each scan of the repair cuts the outflows of one pool; a graph of n pools
// settles in far fewer than 64 n scans unless rounding keeps it moving.
constexpr int kScansPerPool = 64;

// A topology read at run time.
class RuntimeShape {
public:
    explicit RuntimeShape(const GraphTopology& topology) : topology_(&topology), links_(topology.links()) {}
    int pools() const { return topology_->poolCount(); }
    int pathways() const { return topology_->pathwayCount(); }
    const GraphTopology::Link& link(int w) const { return links_[w]; }
    static constexpr bool live(int) { return true; }
    template <class F>
    void forOutPathways(int pool, F f) const {
        for (int w : topology_->outPathways(pool)) f(w);
    }

private:
    const GraphTopology* topology_;
    const GraphTopology::Link* links_;
};

// A pathway of a graph whose shape is known when the program is built: a
// row of a constant table.
struct FixedPathway {
    int index;  // the pathway's own index: row i holds pathway i
    const char* name;
    GraphTopology::Link link;
    double rate;  // at construction
};

template <std::size_t N>
constexpr bool pathwaysInOrder(const FixedPathway (&rows)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (rows[i].index != static_cast<int>(i)) return false;
    return true;
}

// A pool of such a graph: its name and the pool of the cycle descriptor
// it is loaded from and copied back to (null for a pool the descriptor
// does not hold: it starts empty and keeps what the steps put there).
template <class Cycle>
struct FixedPool {
    int index;  // row i holds pool i
    const char* name;
    PoolRecord Cycle::*record;
};

template <class Cycle, std::size_t N>
constexpr bool poolsInOrder(const FixedPool<Cycle> (&rows)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (rows[i].index != static_cast<int>(i)) return false;
    return true;
}

// The names of the first `pools` rows.
template <class Cycle, std::size_t N>
std::vector<std::string> poolNames(const FixedPool<Cycle> (&rows)[N], int pools) {
    std::vector<std::string> names;
    for (int p = 0; p < pools; ++p) names.emplace_back(rows[p].name);
    return names;
}

// The descriptor's pools into the graph's masses.
template <class Cycle, std::size_t N, class State>
void loadPools(const FixedPool<Cycle> (&rows)[N], const Cycle& cycle, State& state) {
    for (const FixedPool<Cycle>& r : rows)
        if (r.record) state.setMass(r.index, (cycle.*r.record).mass);
}

// The graph's masses back into the descriptor's pools.
template <class Cycle, std::size_t N, class State>
void copyPools(const FixedPool<Cycle> (&rows)[N], const State& state, Cycle& cycle) {
    for (const FixedPool<Cycle>& r : rows)
        if (r.record) (cycle.*r.record).mass = state.mass(r.index);
}

// The graph's masses with the rates and amounts of a workspace in place of
// its own, and no running totals: what a step over the workspace works on.
template <class State, class Workspace>
GraphArrays overWorkspace(State& state, Workspace& work) {
    GraphArrays g = state.arrays();
    g.rate = work.rate;
    g.lastFlux = work.lastFlux;
    g.cumulativeFlux = nullptr;
    return g;
}

// The topology of the first `pathways` rows of a table over these pools.
GraphTopology fixedTopology(std::vector<std::string> poolNames, const FixedPathway* rows, int pathways);

// A shape of Pools pools whose pathways are the first Pathways rows of the
// constant table Rows (in the order of evaluation).
//
// Pathway w is left out of the step unless bit w of Live is set: its amount
// is 0 and it adds nothing to any pool. That is the step's own result for a
// pathway whose every stage flux is 0 (a zero-order pathway of rate 0, or a
// first-order one of finite rate out of an empty pool that nothing feeds):
// adding a zero changes no sum, since a sum that starts at +0 is never -0.
// The caller checks that before it takes such a shape.
template <int Pools, int Pathways, const FixedPathway* Rows, unsigned Live = ~0u>
struct FixedShape {
    static_assert(Pools <= kMaxGraphPools && Pathways <= kMaxGraphPathways, "graph too large");
    static constexpr int pools() { return Pools; }
    static constexpr int pathways() { return Pathways; }
    static constexpr const GraphTopology::Link& link(int w) { return Rows[w].link; }
    static constexpr bool live(int w) { return ((Live >> w) & 1u) != 0; }
    // The pathways that take mass out of `pool`, in construction order.
    template <class F>
    static void forOutPathways(int pool, F f) {
#pragma GCC unroll 16
        for (int w = 0; w < Pathways; ++w)
            if (Rows[w].link.source == pool && Rows[w].link.order != PathwayOrder::External) f(w);
    }
};

// The amounts of a step's stages, for one graph (T = double) or several
// side by side (T a vector of lanes): the same operations in the same order
// either way. A pathway left out of the step moves 0.
//
// The classical fourth-order Runge-Kutta step with rates that hold over
// the step. Stage k evaluates every pathway at the masses
// M + c_k dt D_(k-1) (c = 0, 1/2, 1/2, 1; D_k the pools' summed
// derivative of stage k), and a pathway moves dt (f1 + 2 f2 + 2 f3 + f4) / 6.
// For a first-order pathway of rate r out of pool s that is
// r dt (M_s + dt (D1 + D2 + D3)_s / 6): the fourth stage is not needed,
// and the pathways out of one pool share the bracket. A zero-order (or
// external) pathway moves r dt.
template <class Shape, class T>
__attribute__((always_inline)) inline void stageAmounts(const Shape& shape, const T* mass, const T* rate, double dt,
                                                        T* amount) {
    const int pools = shape.pools();
    const int pathways = shape.pathways();
    const T zero{};
    T derivative[kMaxGraphPools];
    T stageSum[kMaxGraphPools];  // D1 + D2 + D3
    T stageMass[kMaxGraphPools];
#pragma GCC unroll 16
    for (int p = 0; p < pools; ++p) {
        derivative[p] = zero;
        stageSum[p] = zero;
    }
    const double half = 0.5 * dt;
#pragma GCC unroll 3
    for (int s = 0; s < 3; ++s) {
#pragma GCC unroll 16
        for (int p = 0; p < pools; ++p) {
            stageMass[p] = s == 0 ? mass[p] : mass[p] + half * derivative[p];
            derivative[p] = zero;
        }
#pragma GCC unroll 16
        for (int w = 0; w < pathways; ++w) {
            if (!shape.live(w)) continue;
            const GraphTopology::Link& p = shape.link(w);
            const T flux = p.order == PathwayOrder::First ? rate[w] * stageMass[p.source] : rate[w];
            derivative[p.target] += flux;
            if (p.order == PathwayOrder::External) {
                derivative[p.source] += flux;
            } else {
                derivative[p.source] -= flux;
            }
        }
#pragma GCC unroll 16
        for (int p = 0; p < pools; ++p) stageSum[p] += derivative[p];
    }
    const double sixth = dt / 6.0;
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w) {
        if (!shape.live(w)) {
            amount[w] = zero;
            continue;
        }
        const GraphTopology::Link& p = shape.link(w);
        amount[w] = p.order == PathwayOrder::First ? rate[w] * (dt * (mass[p.source] + sixth * stageSum[p.source]))
                                                   : rate[w] * dt;
    }
}

// Every pool's inflow, outflow and new mass from the amounts, each pool's
// sums taken in pathway order; for one graph or several side by side, as
// stageAmounts.
template <class Shape, class T>
__attribute__((always_inline)) inline void poolFlows(const Shape& shape, const T* mass, const T* amount, T* inflow,
                                                     T* outflow, T* newMass) {
    const int pools = shape.pools();
    const int pathways = shape.pathways();
    const T zero{};
#pragma GCC unroll 16
    for (int p = 0; p < pools; ++p) {
        inflow[p] = zero;
        outflow[p] = zero;
    }
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w) {
        if (!shape.live(w)) continue;
        const GraphTopology::Link& p = shape.link(w);
        if (p.order == PathwayOrder::External) {
            inflow[p.source] += amount[w];
        } else {
            outflow[p.source] += amount[w];
        }
        inflow[p.target] += amount[w];
    }
#pragma GCC unroll 16
    for (int p = 0; p < pools; ++p) newMass[p] = mass[p] + inflow[p] - outflow[p];
}

// The end of a step: from the amounts of its stages (every one finite;
// those of pathways left out of the step taken as 0), every pool's new mass,
// repaired where a pool is overdrawn, into graph.mass, and the final amounts
// into graph.lastFlux (which may be `amount` itself).
template <class Shape>
StepOutcome settle(const Shape& shape, const GraphArrays& graph, double* amount);

template <class Shape>
StepOutcome integrate(const Shape& shape, const GraphArrays& graph, double dt) {
    const int pathways = shape.pathways();
    double amount[kMaxGraphPathways];
    stageAmounts(shape, static_cast<const double*>(graph.mass), static_cast<const double*>(graph.rate), dt, amount);
    int nonFinitePathway = -1;
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w) {
        if (!std::isfinite(amount[w])) {
            if (nonFinitePathway < 0) nonFinitePathway = w;
            amount[w] = 0.0;
        }
    }
    StepOutcome outcome = settle(shape, graph, amount);
    outcome.nonFinitePathway = nonFinitePathway;
    return outcome;
}

template <class Shape>
inline StepOutcome settle(const Shape& shape, const GraphArrays& graph, double* amount) {
    const int pools = shape.pools();
    const int pathways = shape.pathways();
    double newMass[kMaxGraphPools] = {};  // set by recompute before it is read
    double inflow[kMaxGraphPools];
    double outflow[kMaxGraphPools];
    bool givenUp[kMaxGraphPools];
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w)
        if (!shape.live(w)) amount[w] = 0.0;
    StepOutcome outcome;

    auto recompute = [&]() {
        poolFlows(shape, static_cast<const double*>(graph.mass), static_cast<const double*>(amount), inflow, outflow,
                  newMass);
    };
    // A new mass of 0 or more is sound whatever the scale (its parts are then
    // finite, or it is infinite with them): the scale is only wanted below 0.
    auto sound = [&](int p) {
        if (newMass[p] >= 0.0) return true;
        const double scale = std::fabs(graph.mass[p]) + std::fabs(inflow[p]) + std::fabs(outflow[p]);
        return newMass[p] >= -kRoundoff * scale;
    };

    // A step whose new masses are all finite and 0 or more (the common one)
    // needs no repair and commits them as they are.
    auto plain = [&]() {
        bool all = true;
#pragma GCC unroll 16
        for (int p = 0; p < pools; ++p) all &= newMass[p] >= 0.0 && newMass[p] <= DBL_MAX;
        return all;
    };

    recompute();
    if (plain()) {
#pragma GCC unroll 16
        for (int p = 0; p < pools; ++p) graph.mass[p] = newMass[p];
    } else {
        for (int p = 0; p < pools; ++p) givenUp[p] = false;
        const int scanLimit = kScansPerPool * pools;
        for (;;) {
            int overdrawn = -1;
            for (int p = 0; p < pools; ++p) {
                if (!givenUp[p] && !sound(p)) {
                    overdrawn = p;
                    break;
                }
            }
            if (overdrawn < 0) break;
            if (outcome.repairScans == scanLimit) {
                outcome.scanLimitReached = true;
                break;
            }
            ++outcome.repairScans;
            const double available = graph.mass[overdrawn] + inflow[overdrawn];
            const double out = outflow[overdrawn];
            if (std::isfinite(available) && available >= 0.0 && out > 0.0) {
                // Cuts the outflows to what the pool holds; each cut also
                // lowers the inflow of the pool at the other end, which the
                // next scan sees.
                const double r = available / out;
                shape.forOutPathways(overdrawn, [&](int w) { amount[w] *= r; });
            } else {
                // The pool holds less than nothing even before anything
                // leaves it (a negative or not-a-number mass, or inflow):
                // nothing it gives can mend that, so it gives nothing.
                shape.forOutPathways(overdrawn, [&](int w) { amount[w] = 0.0; });
                givenUp[overdrawn] = true;
                if (outcome.unrepairedPool < 0) outcome.unrepairedPool = overdrawn;
            }
            recompute();
        }
        // The flows of the last scan are those of the final amounts.
        for (int p = 0; p < pools; ++p) {
            double m = newMass[p];
            if (!std::isfinite(m)) {
                if (outcome.nonFinitePool < 0) outcome.nonFinitePool = p;
                m = 0.0;
            } else if (m < 0.0 && !givenUp[p] && sound(p)) {
                m = 0.0;  // rounding below an emptied pool
            }
            graph.mass[p] = m;
        }
    }
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w) graph.lastFlux[w] = amount[w];
    if (graph.cumulativeFlux != nullptr) {
#pragma GCC unroll 16
        for (int w = 0; w < pathways; ++w) graph.cumulativeFlux[w] += amount[w];
    }
    return outcome;
}

// Whether the processor runs the four-lane instructions of integrateLanes
// in one go (checked once).
bool wideLanes();

// Four graphs of one shape side by side: value [p][lane] of pool or pathway
// p of graph `lane`.
typedef double Lanes __attribute__((vector_size(4 * sizeof(double))));
typedef long long LaneMask __attribute__((vector_size(4 * sizeof(long long))));  // -1 true, 0 false
constexpr int kLanes = 4;

// |x| lane by lane (x without its sign bit) into `out`.
__attribute__((always_inline)) inline void laneAbs(const Lanes& x, Lanes& out) {
    const LaneMask magnitude = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL,
                                0x7fffffffffffffffLL};
    out = __builtin_bit_cast(Lanes, __builtin_bit_cast(LaneMask, x) & magnitude);
}

// Scans of the repair that repairLanes makes before it leaves a lane to
// `settle`, which then repairs it from its first scan.
constexpr int kLaneScans = 8;

// The repair of `settle` for the lanes in `lanes` (bit j for lane j), side
// by side with the same operations in the same order: each scan cuts the
// outflows of a lane's first overdrawn pool to what it holds and takes the
// flows again. `mass` holds the masses before the step, `amount` the
// step's amounts (every one finite), `inflow`, `outflow` and `newMass`
// the pools' flows and new masses from them. Returns the
// lanes repaired as `settle` would without a warning: their new masses
// (an emptied pool's rounding below 0 set to 0) are in `newMass`, their
// amounts in `amount` and their scans in `scans`. The other lanes of
// `lanes` (a pool that holds less than nothing, a mass not finite, more
// scans than kLaneScans) are left with amounts partly cut.
template <class Shape>
__attribute__((always_inline)) inline unsigned repairLanes(const Shape& shape, const Lanes* mass, Lanes* amount,
                                                           Lanes* inflow, Lanes* outflow, Lanes* newMass,
                                                           unsigned lanes, int* scans) {
    const int pools = shape.pools();
    const int pathways = shape.pathways();
    const Lanes zero = {0.0, 0.0, 0.0, 0.0};
    const Lanes most = {DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX};
    const Lanes none = {-1.0, -1.0, -1.0, -1.0};
    LaneMask active = {0, 0, 0, 0};
    for (int l = 0; l < kLanes; ++l) active[l] = ((lanes >> l) & 1u) != 0 ? -1 : 0;
    LaneMask failed = {0, 0, 0, 0};
    for (int l = 0; l < kLanes; ++l) scans[l] = 0;
    for (int scan = 0;; ++scan) {
        // Each lane's first pool that is not sound, as `settle` judges it.
        Lanes over = none;
        LaneMask finiteMasses = active;
#pragma GCC unroll 16
        for (int p = pools - 1; p >= 0; --p) {
            Lanes m, in, out, size;
            laneAbs(mass[p], m);
            laneAbs(inflow[p], in);
            laneAbs(outflow[p], out);
            laneAbs(newMass[p], size);
            const Lanes scale = m + in + out;
            const LaneMask sound = (newMass[p] >= zero) | (newMass[p] >= -kRoundoff * scale);
            over = sound ? over : Lanes{} + static_cast<double>(p);
            finiteMasses &= size <= most;
        }
        failed |= active & ~finiteMasses;
        active &= finiteMasses & (over != none);
        bool any = false;
        for (int l = 0; l < kLanes; ++l) any = any || active[l] != 0;
        if (!any) break;
        if (scan == kLaneScans) {
            failed |= active;
            break;
        }
        Lanes available = zero;
        Lanes out = zero;
#pragma GCC unroll 16
        for (int p = 0; p < pools; ++p) {
            const LaneMask at = over == (Lanes{} + static_cast<double>(p));
            available = at ? mass[p] + inflow[p] : available;
            out = at ? outflow[p] : out;
        }
        const Lanes r = available / out;
        // A pool that holds less than nothing gives nothing in `settle`: its
        // lane is left to it, as is one whose cut is not finite.
        const LaneMask cuttable = (available <= most) & (available >= zero) & (out > zero) & (r <= most);
        failed |= active & ~cuttable;
        active &= cuttable;
        for (int l = 0; l < kLanes; ++l) scans[l] += active[l] != 0 ? 1 : 0;
#pragma GCC unroll 16
        for (int w = 0; w < pathways; ++w) {
            const GraphTopology::Link& link = shape.link(w);
            if (link.order == PathwayOrder::External) continue;
            const LaneMask cut = active & (over == (Lanes{} + static_cast<double>(link.source)));
            amount[w] = cut ? amount[w] * r : amount[w];
        }
        poolFlows(shape, mass, static_cast<const Lanes*>(amount), inflow, outflow, newMass);
    }
    unsigned repaired = 0;
    for (int l = 0; l < kLanes; ++l)
        if (((lanes >> l) & 1u) != 0 && failed[l] == 0) repaired |= 1u << l;
#pragma GCC unroll 16
    for (int p = 0; p < pools; ++p) newMass[p] = newMass[p] < zero ? zero : newMass[p];
    return repaired;
}

// The step of `integrate` for four graphs at once, lane by lane with the
// same operations in the same order, where it commits its new masses as
// they are: every amount finite and every new mass finite and 0 or more.
// Returns the lanes where it does (bit j for lane j): their new masses and
// amounts moved (0 for a pathway left out of the step) are in `mass` and
// `lastFlux`; each other lane's graph takes `integrate` on its own from
// its masses and rates as they were. Unused lanes hold masses and rates of
// 0. The lanes whose amounts are all finite go into `finiteLanes` (bit j
// for lane j): `lastFlux` holds their amounts, for `settle`. With `scans`,
// the lanes whose amounts are all finite but whose new masses are not all
// sound take repairLanes, and those it repairs count as committed, with
// their scans at `scans` (0 for the other lanes).
template <class Shape>
__attribute__((always_inline)) inline unsigned integrateLanes(const Shape& shape, Lanes* mass, const Lanes* rate,
                                                              double dt, Lanes* lastFlux, unsigned& finiteLanes,
                                                              int* scans = nullptr) {
    const int pools = shape.pools();
    const int pathways = shape.pathways();
    Lanes amount[kMaxGraphPathways];
    const Lanes zero = {0.0, 0.0, 0.0, 0.0};
    stageAmounts(shape, static_cast<const Lanes*>(mass), rate, dt, amount);
    // A finite amount less itself is 0; an infinite or not-a-number one is
    // not a number.
    Lanes finite = zero;
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w) finite += amount[w] - amount[w];
    Lanes inflow[kMaxGraphPools];
    Lanes outflow[kMaxGraphPools];
    Lanes newMass[kMaxGraphPools];
    poolFlows(shape, static_cast<const Lanes*>(mass), static_cast<const Lanes*>(amount), inflow, outflow, newMass);
    const Lanes most = {DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX};
    LaneMask sound = finite == zero;
#pragma GCC unroll 16
    for (int p = 0; p < pools; ++p) sound &= (newMass[p] >= zero) & (newMass[p] <= most);
    const LaneMask allFinite = finite == zero;
    unsigned lanes = 0;
    finiteLanes = 0;
    for (int l = 0; l < kLanes; ++l) {
        lanes |= sound[l] != 0 ? 1u << l : 0u;
        finiteLanes |= allFinite[l] != 0 ? 1u << l : 0u;
    }
    if (scans != nullptr) {
        for (int l = 0; l < kLanes; ++l) scans[l] = 0;
        const unsigned overdrawn = finiteLanes & ~lanes;
        if (overdrawn != 0) {
            const unsigned repaired =
                repairLanes(shape, static_cast<const Lanes*>(mass), amount, inflow, outflow, newMass, overdrawn, scans);
            // The lanes the repair leaves have lost their amounts: their
            // graphs take their own steps.
            finiteLanes &= ~(overdrawn & ~repaired);
            lanes |= repaired;
        }
    }
#pragma GCC unroll 16
    for (int p = 0; p < pools; ++p) mass[p] = newMass[p];
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w) lastFlux[w] = shape.live(w) ? amount[w] : zero;
    return lanes;
}

// The pathways (bit w for pathway w) whose amounts a caller of stepLanes
// reads of the graphs it steps: all of them.
constexpr unsigned kAllAmounts = (1u << kMaxGraphPathways) - 1u;

// Steps `count` (at most kLanes) graphs of the shape at once by
// integrateLanes: graph j holds its masses at mass[j] and rates at rate[j],
// and takes the amounts moved at lastFlux[j] (of the pathways in `Amounts`
// only, bit w for pathway w: the others are left as they were). Returns the graphs stepped
// (bit j for graph j); the others are as they were. The graphs go into the
// lanes and back within the caller's instructions. With `pending`, the
// graphs not stepped whose amounts are all finite go there (bit j for
// graph j), their amounts at lastFlux[j] for `settle`; and with `scans` as
// well, the graphs that repairLanes repairs count as stepped, their scans
// of the repair at scans[j].
template <unsigned Amounts = kAllAmounts, class Shape>
__attribute__((always_inline)) inline unsigned stepLanes(const Shape& shape, int count, double* const* mass,
                                                         const double* const* rate, double* const* lastFlux,
                                                         double dt, unsigned* pending = nullptr,
                                                         int* scans = nullptr) {
    static const double kNone[kMaxGraphPathways] = {};
    const double* m[kLanes];
    const double* r[kLanes];
    for (int j = 0; j < kLanes; ++j) {
        m[j] = j < count ? mass[j] : kNone;
        r[j] = j < count ? rate[j] : kNone;
    }
    const int pools = shape.pools();
    const int pathways = shape.pathways();
    Lanes laneMass[kMaxGraphPools];
    Lanes laneRate[kMaxGraphPathways];
    Lanes laneFlux[kMaxGraphPathways];
#pragma GCC unroll 16
    for (int p = 0; p < pools; ++p) laneMass[p] = Lanes{m[0][p], m[1][p], m[2][p], m[3][p]};
#pragma GCC unroll 16
    for (int w = 0; w < pathways; ++w)
        if (shape.live(w)) laneRate[w] = Lanes{r[0][w], r[1][w], r[2][w], r[3][w]};
    unsigned finite = 0;
    const unsigned used = (1u << count) - 1u;
    const unsigned stepped =
        integrateLanes(shape, laneMass, laneRate, dt, laneFlux, finite, pending != nullptr ? scans : nullptr) & used;
    if (pending != nullptr) *pending = finite & used & ~stepped;
    for (int j = 0; j < count; ++j) {
        if (((stepped >> j) & 1u) == 0) {
            if (pending == nullptr || ((*pending >> j) & 1u) == 0) continue;
#pragma GCC unroll 16
            for (int w = 0; w < pathways; ++w) lastFlux[j][w] = laneFlux[w][j];
            continue;
        }
#pragma GCC unroll 16
        for (int p = 0; p < pools; ++p) mass[j][p] = laneMass[p][j];
#pragma GCC unroll 16
        for (int w = 0; w < pathways; ++w)
            if (((Amounts >> w) & 1u) != 0) lastFlux[j][w] = laneFlux[w][j];
    }
    return stepped;
}

// Up to kLanes graphs at once by stepLanes, of shape Quiet when `quiet`
// and Full otherwise: with the processor's wide lanes where it has them,
// with any processor's elsewhere.
template <class Quiet, class Full, unsigned Amounts = kAllAmounts>
__attribute__((target("avx2"))) unsigned stepLanesWide(bool quiet, int count, double* const* mass,
                                                       const double* const* rate, double* const* lastFlux, double dt,
                                                       unsigned* pending, int* scans) {
    return quiet ? stepLanes<Amounts>(Quiet(), count, mass, rate, lastFlux, dt, pending, scans)
                 : stepLanes<Amounts>(Full(), count, mass, rate, lastFlux, dt, pending, scans);
}
template <class Quiet, class Full, unsigned Amounts = kAllAmounts>
unsigned stepLanesNarrow(bool quiet, int count, double* const* mass, const double* const* rate,
                         double* const* lastFlux, double dt, unsigned* pending, int* scans) {
    return quiet ? stepLanes<Amounts>(Quiet(), count, mass, rate, lastFlux, dt, pending, scans)
                 : stepLanes<Amounts>(Full(), count, mass, rate, lastFlux, dt, pending, scans);
}
template <class Quiet, class Full, unsigned Amounts = kAllAmounts>
unsigned stepLanesOf(bool quiet, int count, double* const* mass, const double* const* rate, double* const* lastFlux,
                     double dt, unsigned* pending, int* scans = nullptr) {
    return wideLanes()
               ? stepLanesWide<Quiet, Full, Amounts>(quiet, count, mass, rate, lastFlux, dt, pending, scans)
               : stepLanesNarrow<Quiet, Full, Amounts>(quiet, count, mass, rate, lastFlux, dt, pending, scans);
}

}  // namespace graph_step
}  // namespace VEGSO
