// The storm-drain step and the network's couplings with the grid, the
// channels and the ground.
//
// Water bookkeeping, each volume booked once (m3):
//   - into the network: what the grates took from the cells and the tile
//     drains from the ground, summed by the solver over its sub-steps;
//   - tile water: the aquifer gives up exactly what enters the pipes, in the
//     step the pipes take it in (`vol_tile_grid`, `volume_gw_tile_drains`);
//   - 888 outlets: the solver puts the water on the cell; booked here and
//     cleared;
//   - 999 outlets: the solver gathers the volume in `superlink_q_to_channel`;
//     booked here when it leaves the pipes, then spread by the channel step
//     over its sub-steps as lateral inflow and cleared. Until then it is
//     water in transit, which the event balance counts with the drains;
//   - other fixed heads: booked as outflow at a boundary;
//   - the solver's clean-up (what its depth and head floors added) and the
//     residual it left (water found in the network beyond what its flows
//     moved), each as water the network made.
#include <cmath>

#include "channel/link_types.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "channel/superlink/superlink_solver.hpp"
#include "channel/superlink/tile_drains.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

bool grate_inlet(int code) { return code >= 1 && code <= kMaxGrates; }

// The solver's running totals are restarted before each call, so that
// they hold the call's own volumes: a difference of two large running
// totals would lose their last digits, call after call.
void restart_solver_totals(model_state& m) {
    m.superlink_volume_in = m.superlink_volume_out = m.superlink_volume_boundary = m.superlink_volume_drawn_in = 0.0;
    m.drain_cleanup_volume = m.drain_linearisation_volume = 0.0;
}

// The overland flow at the cell of every node's grate, which the solver
// is given: a node's grate takes water only while the cell's water flows.
void gather_surface(model_state& m) {
    for (int l = 1; l <= m.n_superlinks; ++l) {
        for (int k = 1; k <= m.nnodes[l]; ++k) {
            const int g = m.superlink_node_gnum[l][k];
            if (grate_inlet(m.inlet_type[l][k]) && g > 0) m.flow_to_superlink[l][k] = std::hypot(m.qx[g], m.qy[g]);
        }
    }
}

// The tile water computed at the end of the last storm-drain step enters the
// pipes over this one: the aquifer gives up the same volume now.
void book_tile_water(model_state& m, double dt) {
    if (m.Q_tile_grid.empty()) return;
    for (int c = 1; c <= m.n_pipecells; ++c) {
        for (int e = 1; e <= m.gpi_ncellsingrid[c]; ++e) {
            const int g = m.gpi_gnum[c][e];
            const double v = m.Q_tile_grid[g] * dt;
            if (v == 0.0) continue;
            m.vol_tile_grid[g] += v;
            book_water(m, water_flow::gw_to_tile_drains, v);
            m.Q_tile_grid[g] = 0.0;
        }
    }
}

// Books the volumes of the call just made; `in_transit_before` is what the
// 999 outlets had passed before it.
void book_solve(model_state& m, double in_transit_before) {
    const double in = m.superlink_volume_in;
    m.total_inputs_to_superlink += in;
    m.run_inputs_to_superlink += in;
    const double boundary = m.superlink_volume_boundary;
    m.volume_superlink_boundary += boundary;
    m.run_superlink_to_boundary += boundary;
    m.volume_superlink_drawn_in += m.superlink_volume_drawn_in;
    const double made = m.drain_cleanup_volume;
    m.volume_drain_cleanup += made;
    m.run_drain_cleanup += made;
    const double residual = m.drain_linearisation_volume;
    m.volume_drain_residual += residual;
    m.run_drain_residual += residual;
    const double to_channels = drain_water_in_transit(m) - in_transit_before;
    m.volume_superlink_channels += to_channels;
    m.run_superlink_to_channels += to_channels;
    for (int j = 1; j <= m.n_sjunc; ++j) {
        if (m.sjunc_inlet_type[j] != kOutletToCell) continue;
        m.volume_superlink_overland += m.superlink_q_to_cell[j];
        m.run_superlink_to_overland += m.superlink_q_to_cell[j];
        m.superlink_q_to_cell[j] = 0.0;
    }
}

// The lake that holds channel node n of link l, when one does: the link's
// own lake, or for a node a lake has taken, the lake below it; else 0.
int lake_holding(const model_state& m, int l, int n) {
    if (!m.chan_lakes_on) return 0;
    int lake = 0;
    if (link_is_lake_or_overtaken(m.ltype[l])) lake = m.ldex[l];
    else if (n > m.nx[l] && m.dslink[l] > 0) lake = m.ldex[m.dslink[l]];
    return lake >= 1 && lake <= m.nlakes ? lake : 0;
}

}  // namespace

bool drains_have_other_fixed_heads(const model_state& m) {
    for (int j = 1; j <= m.n_sjunc; ++j) {
        const int code = m.sjunc_inlet_type[j];
        if (m.bound[j] && code != kOutletToCell && code != kOutletToChannel) return true;
    }
    return false;
}

double drain_water_in_transit(const model_state& m) {
    double v = 0.0;
    for (int j = 1; j <= m.n_sjunc; ++j)
        if (m.sjunc_inlet_type[j] == kOutletToChannel) v += m.superlink_q_to_channel[j];
    return v;
}

void check_pipe_outlets_on_channels(model_state& m) {
    if (!m.storm_sewer_given) return;
    for (int j = 1; j <= m.n_sjunc; ++j) {
        if (m.sjunc_inlet_type[j] != kOutletToChannel) continue;
        const int l = m.superjunct_i[j], n = m.superjunct_j[j];
        const int line = static_cast<std::size_t>(j) < m.sjunc_card_line.size()
                             ? m.sjunc_card_line[static_cast<std::size_t>(j)]
                             : 0;
        const char* why = nullptr;
        if (l < 1 || l > m.nlinks) why = "names no link of the channel network";
        else if (!link_is_open_channel(m.ltype[l])) why = "names a lake or structure link, which takes no pipe outflow";
        else if (n < 1 || n > m.link_nodes[l]) why = "names no node of that link";
        if (!why) continue;
        refuse(format_text("Error: storm-sewer file %s, line %d: card SJUNC makes superjunction %d an outlet into "
                           "channel link %d, node %d, which %s.\nCheck your superlink input file to insure that "
                           "superlink outlets\nterminate on stream arcs.\n",
                           m.storm_sewer.c_str(), line, j, l, n, why));
        return;
    }
}

void start_event_drains(model_state& m) {
    if (!m.storm_sewer_given) return;
    arm_clock(m.storm_drain_last, m.storm_drain_next, m.time, m.storm_drain_interval);
}

void open_drain_event_books(model_state& m) {
    if (!m.storm_sewer_given) return;
    m.total_inputs_to_superlink = m.volume_superlink_channels = m.volume_superlink_overland = 0.0;
    m.volume_superlink_boundary = m.volume_superlink_drawn_in = 0.0;
    m.volume_drain_cleanup = m.volume_drain_residual = 0.0;
    // Before the first solve the network is empty; the first solve sets
    // its starting water.
    m.initial_volume_sub_surface_drains = m.superlink_calls > 0 ? m.volume_remaining_in_drains : 0.0;
    m.drain_in_transit_at_event_start = m.superlink_calls > 0 ? drain_water_in_transit(m) : 0.0;
}

void drain_balance_terms(const model_state& m, double& in, double& out) {
    in = out = 0.0;
    if (!m.storm_sewer_given) return;
    in = m.initial_volume_sub_surface_drains + m.drain_in_transit_at_event_start + m.volume_drain_cleanup +
         m.volume_drain_residual;
    out = m.volume_remaining_in_drains + drain_water_in_transit(m) + m.volume_superlink_boundary;
}

void take_pipe_outflow_into_channels(model_state& m, double dt) {
    // A 999 outlet is read only with the explicit channel routing, whose
    // set-up stopped the run unless the outlet's link and node (superjunct_i
    // and superjunct_j) are a node of an open channel.
    if (!m.storm_sewer_given || dt <= 0.0) return;
    for (int j = 1; j <= m.n_sjunc; ++j) {
        const double v = m.superlink_q_to_channel[j];
        if (m.sjunc_inlet_type[j] != kOutletToChannel || v == 0.0) continue;
        const int l = m.superjunct_i[j], n = m.superjunct_j[j];
        const int lake = lake_holding(m, l, n);
        if (lake) {
            m.lake_volume[lake] += v;
            (v > 0.0 ? m.lake_in_dv[lake] : m.lake_out_dv[lake]) += std::fabs(v);
        } else {
            m.qlat[n][l] += v / (dt * m.chan_dx[l]);
        }
        m.superlink_q_to_channel[j] = 0.0;
    }
}

void pipe_dataset_values(const model_state& m, pipe_dataset kind, mat2<double>& out) {
    for (int l = 1; l <= m.n_superlinks; ++l) {
        const int n = m.nnodes[l];
        for (int k = 1; k <= n + 1; ++k) {
            double v = 0.0;
            if (kind == pipe_head_values) v = m.slink_node_depth[l][input_node_cnode(m, l, k)] + m.slink_node_Zinv[l][k];
            else if (k > n) v = 0.0;
            else if (kind == pipe_flow_values) v = superlink_pipe_flow(m, l, input_pipe_cpipe(m, l, k));
            else v = m.superlink_tile_flow[l][k];
            out[l][k] = v;
        }
    }
}

void step_storm_drain(model_state& m) {
    if (!m.storm_sewer_given || !clock_due(m.storm_drain_next, m.time, m.time_tol)) return;
    const double dt = (m.time - m.storm_drain_last) * kSecondsPerDay;
    advance_interval_clock(m.storm_drain_last, m.storm_drain_next, m.time, m.storm_drain_interval);
    if (dt <= 0.0) return;
    gather_surface(m);
    book_tile_water(m, dt);
    const bool first = m.superlink_calls == 0;
    const double in_transit = drain_water_in_transit(m);
    restart_solver_totals(m);
    if (superlink_step(m, m.h, m.gridsize, dt) != 0) return;
    if (first) {
        m.run_initial_in_drains = m.initial_volume_sub_surface_drains;
        m.drain_in_transit_at_event_start = 0.0;
    }
    book_solve(m, in_transit);
    if (!m.tile_drains_present) return;
    for (int l = 1; l <= m.n_superlinks; ++l)
        for (int k = 1; k <= m.nnodes[l]; ++k) m.superlink_tile_flow[l][k] = 0.0;
    if (m.water_table_given) tile_drain_inflow(m, m.elevgw, m.bottom_elev);
}

}  // namespace kesta
