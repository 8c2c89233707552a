// The channel network as stores joined by faces, shared by the wash load
// and the dissolved constituents: the computational nodes of the open
// channels and the channel-network lakes are the stores; a face joins two
// stores (or a store and the outside, beyond the outlet) and carries the
// water that crossed it in a channel step, as the routing moved it.
//
// Faces: between the nodes of a link; from a link's last node to the first
// node of the link below it, or into the lake below it, or out of the
// network at the outlet; through a structure, from the store above it to
// the store below it; from a lake to the first node of the link it feeds
// (that node passes the same water on to its next node). Nodes a lake
// holds are on no face.
#pragma once

#include <vector>

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"
#include "transport/sediment_state.hpp"

namespace kesta {

// Where the stores lie in a table of rows: node j of link l at row
// l * stride + j, lake k at row lake_row0 + k; row 0 is the outside.
struct network_rows {
    int stride = 0;
    int lake_row0 = 0;
    int node(int j, int l) const { return l * stride + j; }
    int lake(int k) const { return lake_row0 + k; }
    bool is_lake(int row) const { return row > lake_row0; }
    int link_of(int row) const { return (row - 1) / stride; }
    int node_of(int row) const { return row - link_of(row) * stride; }
};

// The lake that holds link l: its own for a lake link, the one that
// overtook it for an overtaken link; 0 for any other link (or none).
int lake_holding_link(const model_state& m, int l);

// The faces of the network as the routing left it, each with the water it
// passed (`volumes`, [node][link], m3, positive downstream; on a structure
// link node 1 holds what the structure passed), into `faces` (cleared
// first; its capacity is kept).
void build_network_faces(const model_state& m, const network_rows& rows, const mat2<double>& volumes,
                         std::vector<wash_face>& faces);

// The most faces a network can have: one below every node, one per lake
// and structure link.
int most_network_faces(const model_state& m);

}  // namespace kesta
