#include "nutrients/source/soil_graph.hpp"

#include <cfloat>
#include <cmath>
#include <utility>

#include "nutrients/source/vegso_warnings.hpp"

namespace VEGSO {

GraphTopology::GraphTopology(std::vector<std::string> poolNames, std::vector<Pathway> pathways) {
    const int pools = static_cast<int>(poolNames.size());
    if (pools > kMaxGraphPools || static_cast<int>(pathways.size()) > kMaxGraphPathways) {
        error_ = "a soil graph holds at most " + std::to_string(kMaxGraphPools) + " pools and " +
                 std::to_string(kMaxGraphPathways) + " pathways";
        return;
    }
    for (const Pathway& w : pathways) {
        if (w.source < 0 || w.source >= pools || w.target < 0 || w.target >= pools) {
            error_ = "pathway \"" + w.name + "\" joins a pool that the graph does not have";
            return;
        }
    }
    poolNames_ = std::move(poolNames);
    pathways_ = std::move(pathways);
    out_.assign(poolNames_.size(), {});
    for (int w = 0; w < pathwayCount(); ++w) {
        const Pathway& p = pathways_[w];
        links_[w] = Link{p.source, p.target, p.order};
        if (p.order != PathwayOrder::External) out_[p.source].push_back(w);
    }
}

int GraphTopology::poolIndex(const std::string& name) const {
    for (int p = 0; p < poolCount(); ++p)
        if (poolNames_[p] == name) return p;
    return -1;
}

int GraphTopology::pathwayIndex(const std::string& name) const {
    for (int w = 0; w < pathwayCount(); ++w)
        if (pathways_[w].name == name) return w;
    return -1;
}

const GraphTopology& fittingTopology(const GraphTopology& topology, int maxPools, int maxPathways) {
    static const GraphTopology empty({}, {});
    if (topology.poolCount() <= maxPools && topology.pathwayCount() <= maxPathways) return topology;
    warn("Warning: a soil graph of " + std::to_string(topology.poolCount()) + " pools and " +
         std::to_string(topology.pathwayCount()) + " pathways does not fit its state; it is left empty\n");
    return empty;
}

void reportStep(const StepOutcome& outcome, const GraphTopology& topology, const char* cycle, int cellNumber,
                int layerNumber) {
    if (outcome.unrepairedPool < 0 && outcome.nonFinitePool < 0 && outcome.nonFinitePathway < 0 &&
        !outcome.scanLimitReached)
        return;
    const std::string where = std::string(cycle) + " graph of layer " + std::to_string(layerNumber) + " of cell " +
                              std::to_string(cellNumber);
    std::string text;
    if (outcome.nonFinitePathway >= 0)
        text += "Warning: in the " + where + " the amount of pathway \"" +
                topology.pathway(outcome.nonFinitePathway).name + "\" is not a number; it moves nothing\n";
    if (outcome.nonFinitePool >= 0)
        text += "Warning: in the " + where + " the mass of pool \"" + topology.poolName(outcome.nonFinitePool) +
                "\" is not a number; it is set to 0\n";
    if (outcome.unrepairedPool >= 0)
        text += "Warning: in the " + where + " pool \"" + topology.poolName(outcome.unrepairedPool) +
                "\" holds less than nothing; its outflows are stopped\n";
    if (outcome.scanLimitReached)
        text += "Warning: the repair of the " + where + " stopped after " + std::to_string(outcome.repairScans) +
                " scans; a pool may stay below 0\n";
    warnOnce("graph step / " + where, text);
}

namespace {

// A pool whose new mass lies this close below 0, relative to the masses
// that made it, is empty but for rounding: the repair counts it as sound and
// its mass is committed as 0.
constexpr double kRoundoff = 64.0 * DBL_EPSILON;
// Each scan of the repair cuts the outflows of one pool; a graph of n pools
// settles in far fewer than 64 n scans unless rounding keeps it moving.
constexpr int kScansPerPool = 64;

}  // namespace

StepOutcome integrateStep(const GraphTopology& topology, const GraphArrays& graph, double dt) {
    const int pools = topology.poolCount();
    const int pathways = topology.pathwayCount();
    const GraphTopology::Link* links = topology.links();
    double derivative[kMaxGraphPools];
    double stageMass[kMaxGraphPools];
    double newMass[kMaxGraphPools];
    double inflow[kMaxGraphPools];
    double outflow[kMaxGraphPools];
    bool givenUp[kMaxGraphPools];
    double amount[kMaxGraphPathways];

    static const double kStageOffset[4] = {0.0, 0.5, 0.5, 1.0};
    static const double kStageWeight[4] = {1.0, 2.0, 2.0, 1.0};
    for (int w = 0; w < pathways; ++w) amount[w] = 0.0;
    for (int p = 0; p < pools; ++p) derivative[p] = 0.0;
    for (int s = 0; s < 4; ++s) {
        for (int p = 0; p < pools; ++p) {
            stageMass[p] = graph.mass[p] + kStageOffset[s] * dt * derivative[p];
            derivative[p] = 0.0;
        }
        for (int w = 0; w < pathways; ++w) {
            const GraphTopology::Link& p = links[w];
            const double flux =
                p.order == PathwayOrder::First ? graph.rate[w] * stageMass[p.source] : graph.rate[w];
            amount[w] += kStageWeight[s] * flux;
            derivative[p.target] += flux;
            if (p.order == PathwayOrder::External) {
                derivative[p.source] += flux;
            } else {
                derivative[p.source] -= flux;
            }
        }
    }
    StepOutcome outcome;
    for (int w = 0; w < pathways; ++w) {
        amount[w] = (1.0 / 6.0) * amount[w] * dt;
        if (!std::isfinite(amount[w])) {
            if (outcome.nonFinitePathway < 0) outcome.nonFinitePathway = w;
            amount[w] = 0.0;
        }
    }

    // Every pool's inflow, outflow and new mass from the amounts, each
    // pool's sums taken in pathway order.
    auto recompute = [&]() {
        for (int p = 0; p < pools; ++p) {
            inflow[p] = 0.0;
            outflow[p] = 0.0;
        }
        for (int w = 0; w < pathways; ++w) {
            const GraphTopology::Link& p = links[w];
            if (p.order == PathwayOrder::External) {
                inflow[p.source] += amount[w];
            } else {
                outflow[p.source] += amount[w];
            }
            inflow[p.target] += amount[w];
        }
        for (int p = 0; p < pools; ++p) newMass[p] = graph.mass[p] + inflow[p] - outflow[p];
    };
    auto sound = [&](int p) {
        const double scale = std::fabs(graph.mass[p]) + std::fabs(inflow[p]) + std::fabs(outflow[p]);
        return newMass[p] >= -kRoundoff * scale;
    };

    for (int p = 0; p < pools; ++p) givenUp[p] = false;
    const int scanLimit = kScansPerPool * pools;
    for (;;) {
        recompute();
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
            // Cuts the outflows to what the pool holds; each cut also lowers
            // the inflow of the pool at the other end, which the next scan
            // sees.
            const double r = available / out;
            for (int w : topology.outPathways(overdrawn)) amount[w] *= r;
        } else {
            // The pool holds less than nothing even before anything leaves
            // it (a negative or not-a-number mass, or inflow): nothing it
            // gives can mend that, so it gives nothing.
            for (int w : topology.outPathways(overdrawn)) amount[w] = 0.0;
            givenUp[overdrawn] = true;
            if (outcome.unrepairedPool < 0) outcome.unrepairedPool = overdrawn;
        }
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
    for (int w = 0; w < pathways; ++w) {
        graph.lastFlux[w] = amount[w];
        graph.cumulativeFlux[w] += amount[w];
    }
    return outcome;
}

}  // namespace VEGSO
