// The Richards soil columns of a run: the soils of the soil classes, every
// cell's column of nodes, packed one after another, and the solver's work
// vectors. A column holds the nodes down to the aquifer bottom, the deepest
// its water table may fall, so no column ever grows past its own storage.
#pragma once

#include <cstddef>
#include <vector>

#include "subsurface/richards_retention.hpp"

namespace kesta {

// One node of a column, numbered from the ground down. Node 0 stands above
// the ground and carries node 1's soil; nodes 1..n-1 hold the soil water;
// node n is the bottom boundary: a copy of node n-1 under a free-draining
// column, or a fixed head at the water table. Nodes past n lie below the
// water table, saturated.
struct richards_node {
    double head = 0.0;      // pressure head (cm)
    double kr = 0.0;        // relative conductivity
    double theta = 0.0;     // moisture
    double capacity = 0.0;  // dtheta/dh (1/cm)
    double dz = 0.0;        // thickness (cm)
    double ks = 0.0;        // saturated conductivity of the face above the node (cm/h)
    int soil = 0;           // index into richards_columns::soils
};

// The three layers of a soil class, as its columns are built.
struct richards_class {
    int nodes[3] = {};     // whole nodes of each layer (depth over spacing)
    int soil[3] = {};      // soils index of each layer
    int deep_soil[3] = {};  // with groundwater: layer 3 at saturated moistures 0.75, 0.8 and 1.0
    double dz[3] = {};     // node spacing (cm)
    double ks[3] = {};     // cm/h
    int soil_nodes() const { return nodes[0] + nodes[1] + nodes[2]; }
};

// Work vectors of one column's solve, each as long as the longest column.
struct richards_work {
    std::vector<double> upper, diag, lower, rhs;  // the tridiagonal system
    std::vector<double> krinter;                  // face conductivity above each node (cm/h)
    std::vector<double> flux;                     // downward flux through each face (cm/h)
    std::vector<double> source;                   // root extraction (1/h, negative)
    std::vector<double> start_theta, start_head, start_kr, start_capacity;  // at the sub-step's start
    std::vector<double> pass_head;                // heads of the last Picard pass
    void size(std::size_t nodes);
};

struct richards_columns {
    retention_model model = retention_model::brooks_corey;
    std::vector<richards_soil> soils;
    std::vector<char> defined;              // by class id: the soil table gave the class
    std::vector<richards_class> classes;    // by class id
    std::vector<richards_node> nodes;       // every column, packed
    std::vector<std::size_t> first;         // cell c's node 0 is nodes[first[c]]; first[ncells + 1] ends
    richards_work work;
    std::vector<int> floor_steps;           // by cell: sub-steps in a row taken at the solver's floor
    unsigned long long node_updates = 0;    // node heads solved over the run

    bool built() const { return !first.empty(); }
    richards_node* column(int cell) { return nodes.data() + first[static_cast<std::size_t>(cell)]; }
    const richards_node* column(int cell) const { return nodes.data() + first[static_cast<std::size_t>(cell)]; }
    // The deepest node a cell's column stores.
    int last_node(int cell) const {
        const std::size_t c = static_cast<std::size_t>(cell);
        return static_cast<int>(first[c + 1] - first[c]) - 1;
    }
};

}  // namespace kesta
