// A storm-drain network built in memory for the solver's tests and its
// benchmark: superlinks of equal circular pipes on a steady slope between
// superjunctions whose bottoms follow the pipes.
#pragma once

#include <utility>
#include <vector>

#include "channel/superlink/storm_drain_state.hpp"

namespace kesta_test {

struct pipe_network_layout {
    int junctions = 2;
    std::vector<std::pair<int, int>> links;  // (upstream, downstream) junctions
    std::vector<int> fixed_head;             // junctions of fixed head (code 11)
    std::vector<double> bottom;              // [junction - 1] bottom elevation (m)
    int pipes = 4;                           // per superlink
    double length = 50.0, diameter = 1.0, roughness = 0.013, slope = 0.005;  // per pipe
    double junction_area = 1.0;              // m2
};

// The network of `links` between junctions of the given bottom elevations (m),
// the last junction of fixed head, the rest as above.
inline pipe_network_layout pipe_network(std::vector<std::pair<int, int>> links, std::vector<double> bottom) {
    pipe_network_layout p;
    p.junctions = static_cast<int>(bottom.size());
    p.links = std::move(links);
    p.fixed_head = {p.junctions};
    p.bottom = std::move(bottom);
    return p;
}

inline void build_pipe_network(kesta::storm_drain_state& s, const pipe_network_layout& p) {
    using namespace kesta;
    const int nj = p.junctions, nl = static_cast<int>(p.links.size()), rows = p.pipes + 1;
    s = storm_drain_state();
    s.n_sjunc = nj;
    s.n_superlinks = nl;
    s.max_nodes_per_link = p.pipes;
    s.tile_drains_present = 1;  // the tests feed the network through the tile inflow
    for (vec1<double>* v : {&s.ground_elev, &s.junc_bottom, &s.As_sjunc, &s.grate_sidelength_sjunc, &s.grate_dia_sjunc,
                            &s.sjunc_head, &s.Q_junc, &s.superlink_q_to_channel, &s.superlink_q_to_cell})
        *v = vec1<double>(nj);
    for (vec1<int>* v : {&s.sjunc_inlet_type, &s.superjunct_i, &s.superjunct_j, &s.bound, &s.superlink_junc_gnum})
        *v = vec1<int>(nj);
    for (vec1<int>* v : {&s.us_sjunc, &s.ds_sjunc, &s.nnodes, &s.superlink_cnodes}) *v = vec1<int>(nl);
    s.us_Zinv = vec1<double>(nl);
    s.ds_Zinv = vec1<double>(nl);
    for (mat2<double>* t : {&s.node_ground_elev, &s.slink_node_Zinv, &s.As, &s.grate_sidelength_node, &s.grate_dia_node,
                            &s.Q_node, &s.flow_to_superlink, &s.dx, &s.diameter, &s.width, &s.S0, &s.M_n,
                            &s.superlink_pipe_conductivity, &s.drain_spacing, &s.dxc, &s.slink_node_depth, &s.Asc,
                            &s.superlink_tile_flow})
        *t = mat2<double>(nl, rows);
    for (mat2<int>* t : {&s.inlet_type, &s.superlink_node_i, &s.superlink_node_j, &s.superlink_node_gnum, &s.sec_type,
                         &s.inflow_cnode, &s.input_cpipe})
        *t = mat2<int>(nl, rows);
    for (int j = 1; j <= nj; ++j) {
        s.junc_bottom[j] = p.bottom[static_cast<std::size_t>(j - 1)];
        s.ground_elev[j] = s.junc_bottom[j] + 3.0;
        s.As_sjunc[j] = p.junction_area;
    }
    for (int j : p.fixed_head) {
        s.bound[j] = 1;
        s.sjunc_inlet_type[j] = kFirstBoundaryCode;
    }
    for (int l = 1; l <= nl; ++l) {
        s.us_sjunc[l] = p.links[static_cast<std::size_t>(l - 1)].first;
        s.ds_sjunc[l] = p.links[static_cast<std::size_t>(l - 1)].second;
        s.nnodes[l] = s.superlink_cnodes[l] = p.pipes;
        const double top = s.junc_bottom[s.us_sjunc[l]];
        for (int k = 1; k <= p.pipes + 1; ++k) {
            s.slink_node_Zinv[l][k] = top - p.slope * p.length * (k - 1);
            s.node_ground_elev[l][k] = s.slink_node_Zinv[l][k] + 3.0;
            s.inflow_cnode[l][k] = k;
        }
        for (int k = 1; k <= p.pipes; ++k) {
            s.sec_type[l][k] = pipe_circle;
            s.diameter[l][k] = p.diameter;
            s.S0[l][k] = p.slope;
            s.M_n[l][k] = p.roughness;
            s.dx[l][k] = s.dxc[l][k] = p.length;
            s.input_cpipe[l][k] = k;
        }
    }
}

}  // namespace kesta_test
