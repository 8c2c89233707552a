// Members of the model state owned by the storm-drain (superlink) network:
// superjunctions joined by superlinks, each a chain of n pipes and n + 1
// nodes. Node and pipe tables are [superlink][node or pipe] so that the
// solver walks one superlink's pipes contiguously.
#pragma once

#include <memory>
#include <vector>

#include "core/arrays.hpp"

namespace kesta {

// The solver's work arrays and its sparse junction factorisation, made on the
// first solve of a network (channel/superlink/superlink_solver.cpp).
struct superlink_work;
struct superlink_work_deleter {
    void operator()(superlink_work* w) const;
};

// Inlet codes of superjunctions and nodes.
constexpr int kInletNone = 0;
constexpr int kMaxGrates = 9;            // 1..9: identical grate inlets from the cell
constexpr int kFirstBoundaryCode = 11;   // 11 and above: a junction of fixed head
constexpr int kOutletToCell = 888;       // outflow put on the surface of the cell
constexpr int kOutletToChannel = 999;    // outflow into channel node j of link i

// Pipe section types.
enum pipe_section : int { pipe_circle = 1, pipe_polynomial = 2, pipe_box = 3 };

struct storm_drain_state {
    int n_sjunc = 0;
    int n_superlinks = 0;
    int max_nodes_per_link = 0;  // most computational pipes of one superlink
    int tile_drains_present = 0;
    int n_pipecells = 0;
    int max_pipes_per_cell = 0;

    // Superjunctions 1..n_sjunc.
    vec1<double> ground_elev, junc_bottom;  // m
    vec1<double> As_sjunc;                  // plan area (m2)
    vec1<int> sjunc_inlet_type;             // inlet code
    vec1<int> superjunct_i, superjunct_j;   // cell column and row; link and node of a 999 outlet
    vec1<double> grate_sidelength_sjunc, grate_dia_sjunc;  // m
    vec1<int> bound;                        // 1: fixed head (codes 11 and above)
    vec1<double> sjunc_head;                // water-surface elevation (m)
    vec1<double> Q_junc;                    // inflow over the sub-step (m3/s)
    vec1<int> superlink_junc_gnum;          // active cell of the inlet, 0 for none

    // Superlinks 1..n_superlinks.
    vec1<int> us_sjunc, ds_sjunc;
    vec1<int> nnodes;            // input pipes n
    vec1<int> superlink_cnodes;  // computational pipes (n without SUPERLINK_C_OPT)
    vec1<double> us_Zinv, ds_Zinv;  // invert at the two ends (m)

    // Input nodes [superlink][1..n+1].
    mat2<double> node_ground_elev, slink_node_Zinv;  // m
    mat2<double> As;                                 // plan area (m2)
    mat2<int> inlet_type, superlink_node_i, superlink_node_j;
    mat2<double> grate_sidelength_node, grate_dia_node;  // m
    mat2<double> Q_node;           // grate inflow of the sub-step (m3/s)
    mat2<int> superlink_node_gnum;  // active cell, 0 for none
    mat2<double> flow_to_superlink;  // overland flow at the node's cell, gathered by the step (m3/s)

    // Input pipes [superlink][1..n].
    mat2<double> dx;  // length (m)
    // Computational pipes [superlink][1..cnodes], equal to the input pipes
    // without SUPERLINK_C_OPT.
    mat2<int> sec_type;
    mat2<double> diameter, width;  // diameter or rise, and box width (m)
    mat2<double> S0, M_n;
    mat2<double> superlink_pipe_conductivity, drain_spacing;
    mat2<double> dxc;  // length (m)
    // Computational nodes [superlink][1..cnodes+1].
    mat2<double> slink_node_depth;  // depth above the invert (m)
    mat2<double> Asc;               // plan area (m2): the input nodes' areas spread along the superlink
    // [superlink][input node]: the computational node that takes the input
    // node's grate inflow (the node itself without SUPERLINK_C_OPT).
    mat2<int> inflow_cnode;
    // [superlink][input pipe]: the computational pipe that holds the middle
    // of the input pipe (the pipe itself without SUPERLINK_C_OPT).
    mat2<int> input_cpipe;
    mat2<double> superlink_tile_flow;  // tile-drain inflow per node (m3/s)

    // Grid-pipe tables: pipe cell c, entries 1..gpi_ncellsingrid[c].
    vec1<int> gpi_ncellsingrid;
    mat2<int> gpi_link, gpi_node, gpi_gnum;
    mat2<double> gpi_pct;

    // Per active cell: tile-drain flow, volume and recharge.
    vec1<double> Q_tile_grid, vol_tile_grid, tilerecharge_to_gw;

    // Outlets, per superjunction (m3): the volume a 999 outlet passed over
    // the solver's sub-steps, held until the channel step takes it in, and
    // the volume an 888 outlet put on its cell since the last booking.
    vec1<double> superlink_q_to_channel, superlink_q_to_cell;

    // Solver results (m3): the water in the network when the event started
    // (set by the first solve of the run) and now; the volumes taken in, let
    // out, let out at other fixed heads, and the water the solver's depth
    // and head floors added, which the storm-drain step restarts before each
    // call and books after it.
    double initial_volume_sub_surface_drains = 0.0;
    double volume_remaining_in_drains = 0.0;
    double superlink_volume_in = 0.0;
    double superlink_volume_out = 0.0;
    double superlink_volume_boundary = 0.0;  // of the out: at fixed heads other than 888 and 999,
                                             // and what outlets drew in
    double superlink_volume_drawn_in = 0.0;  // of the boundary, what 888 and 999 outlets drew in (>= 0)
    double drain_cleanup_volume = 0.0;
    // Water (m3) the network holds after each sub-step beyond what it held
    // before and the flows moved in and out, summed over the nodes and the
    // junctions of free head: what the solve made (lost, when negative) by
    // its storage iteration's residual and its round-off, booked like the
    // clean-up.
    double drain_linearisation_volume = 0.0;
    // Event totals (m3), zeroed when an event starts: into the network
    // (grates and tiles), out to channels, onto cells and at other fixed
    // heads (of which drawn in at outlets), and the water the solver made
    // (its clean-up and its storage residual).
    double total_inputs_to_superlink = 0.0;
    double volume_superlink_channels = 0.0;
    double volume_superlink_overland = 0.0;
    double volume_superlink_boundary = 0.0;
    double volume_superlink_drawn_in = 0.0;
    double volume_drain_cleanup = 0.0;
    double volume_drain_residual = 0.0;
    // The same over the run, with the tile water from the ground, the water
    // in the network at the first solve, and the volume that left it.
    double run_inputs_to_superlink = 0.0;
    double run_superlink_to_channels = 0.0;
    double run_superlink_to_overland = 0.0;
    double run_superlink_to_boundary = 0.0;
    double run_gw_to_tile_drains = 0.0;
    double run_drain_cleanup = 0.0;
    double run_drain_residual = 0.0;
    double run_initial_in_drains = 0.0;
    // Water that 999 outlets had passed and the channels not yet taken in
    // when the event started (m3).
    double drain_in_transit_at_event_start = 0.0;
    std::vector<int> sjunc_card_line;  // [superjunction]: its SJUNC line in the storm-sewer file
    int superlink_calls = 0;
    int superlink_substeps = 0;  // sub-steps of the last solve, each halved piece counted
    int superlink_passes = 0;    // storage-iteration passes of the last solve, over all its sub-steps

    std::unique_ptr<superlink_work, superlink_work_deleter> superlink_solver;
};

// Computational node at input node k of superlink l, and the computational
// pipe that holds the middle of input pipe k (both k itself without
// SUPERLINK_C_OPT).
inline int input_node_cnode(const storm_drain_state& s, int l, int k) {
    if (k == 1) return 1;
    if (k > s.nnodes[l]) return s.superlink_cnodes[l] + 1;
    return s.inflow_cnode[l][k];
}
inline int input_pipe_cpipe(const storm_drain_state& s, int l, int k) { return s.input_cpipe[l][k]; }

}  // namespace kesta
