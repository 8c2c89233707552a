#include "nutrients/source/soil_graph.hpp"

#include <utility>

#include "nutrients/source/soil_graph_step.hpp"
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
    if (outcome.clean()) return;
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

namespace graph_step {

bool wideLanes() {
    static const bool wide = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return wide;
}

GraphTopology fixedTopology(std::vector<std::string> poolNames, const FixedPathway* rows, int pathways) {
    std::vector<Pathway> list;
    list.reserve(static_cast<std::size_t>(pathways));
    for (int w = 0; w < pathways; ++w)
        list.push_back({rows[w].name, rows[w].link.source, rows[w].link.target, rows[w].link.order, rows[w].rate});
    return GraphTopology(std::move(poolNames), std::move(list));
}

}  // namespace graph_step

StepOutcome integrateStep(const GraphTopology& topology, const GraphArrays& graph, double dt) {
    return graph_step::integrate(graph_step::RuntimeShape(topology), graph, dt);
}

}  // namespace VEGSO
