// The lumped soil-moisture accounting of the whole basin (Sacramento
// option): its parameters and stores, its run totals, the accounting of one
// interval and the topographic index that weights its outflow into the
// channels.
#pragma once

#include "core/arrays.hpp"

namespace kesta {

// Capacities and contents in mm of water over the basin; rates per
// accounting interval (one hour).
struct sacramento_params {
    double uztwm = 0.0;  // upper-zone tension water capacity
    double uzfwm = 0.0;  // upper-zone free water capacity
    double uzk = 0.0;    // upper-zone free water drainage rate
    double zperc = 0.0;  // maximum percolation multiplier
    double rexp = 0.0;   // percolation exponent
    double lztwm = 0.0;  // lower-zone tension water capacity
    double lzfsm = 0.0;  // lower-zone supplementary free water capacity
    double lzfpm = 0.0;  // lower-zone primary free water capacity
    double lzsk = 0.0;   // supplementary drainage rate
    double lzpk = 0.0;   // primary drainage rate
    double pfree = 0.0;  // share of percolation going straight to free water
    double saved = 0.0;  // lower-zone free water held back from the tension stores
    double uztwc = 0.0, uzfwc = 0.0, lztwc = 0.0, lzfsc = 0.0, lzfpc = 0.0;  // contents
    double residual = 0.0;  // running mass-balance residual (mm)

    // Water in the five stores (mm).
    double storage() const { return uztwc + uzfwc + lztwc + lzfsc + lzfpc; }
};

// What one accounting interval moved (mm).
struct sacramento_fluxes {
    double evaporation = 0.0;  // taken from the upper zone
    double percolation = 0.0;  // upper-zone free water into the lower zone
    double surface = 0.0;      // input the full upper free store could not take
    double interflow = 0.0;    // upper-zone free water drained sideways
    double baseflow = 0.0;     // lower-zone free water drained

    double outflow() const { return surface + interflow + baseflow; }
};

// The five contents as read from the file, for the end-of-run summary (mm),
// in the order uztwc, uzfwc, lztwc, lzfpc, lzfsc.
struct sacramento_contents {
    double v[5] = {};
};

// The accounting's state beside its parameters. Volumes in m3, depths in mm
// over the basin unless said.
struct sacramento_state {
    sacramento_params p;
    sacramento_contents initial;
    double baseflow_q = 0.0;   // m3/s handed to the channels until the next interval
    // Outflow not yet handed to the channels (m3): the channel steps take it
    // at baseflow_q, and it counts as stored water until they have.
    double in_transit = 0.0;
    // A channel step has run since the last interval. Outflow of an interval
    // in which no channel step ran (between the events of a long-term run)
    // leaves the basin unrouted rather than reaching the channels all at
    // once when they next run.
    bool channels_ran = false;
    double last_time = 0.0;    // Julian day of the last interval
    double infil_depth_taken = 0.0;  // sac_infil_depth at the last interval (m summed over cells)

    // Run totals (mm).
    double initial_storage = 0.0;
    double input = 0.0;
    double demand = 0.0;  // evapotranspiration asked of the stores
    double evaporation = 0.0;
    double outflow = 0.0;
    // Run totals (m3).
    double volume_infil_water_sac_recieves = 0.0;
    double volume_base_flow_sacramento = 0.0;
    double volume_evaporation = 0.0;
    // The run totals at the start of the current event (m3).
    double infil_at_event_start = 0.0, base_flow_at_event_start = 0.0, evaporation_at_event_start = 0.0;
};

// One accounting interval of the stores in `p` under an evapotranspiration
// demand and an input depth (mm). Every store stays within [0, capacity];
// p.residual gathers what the stores failed to account for.
sacramento_fluxes sacramento_step(sacramento_params& p, double demand, double input);

// Topographic index ln(a / tan b) of every active cell, by mask number: each
// cell passes its upslope area to its lower neighbours in proportion to their
// drop (side neighbours weigh 0.5 drop, diagonal ones 0.25 drop); a cell
// without a lower neighbour takes the mean slope of its higher ones (0.333
// when it has none). Cells are taken from the highest down, so every cell has
// its whole upslope area when it passes it on. `elev` is per active cell,
// dx the cell size (m); `index` gets ncells + 1 elements.
void topographic_index(const mat2<int>& mask, const vec1<double>& elev, int rows, int cols, double dx,
                       vec1<double>& index);

}  // namespace kesta
