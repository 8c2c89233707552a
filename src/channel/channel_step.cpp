// The channel step of the time loop: at the channel interval, the water
// over the banks, the lakes' new extents, the routing of the network and
// the bookings of what the step moved.
//
// Water bookkeeping of the network, each volume booked once:
//   - bank exchange and Sacramento outflow: their net volume into
//     `run_sums.chan_lateral_inflow`;
//   - FIRST_ORDER_CHAN_Q, point sources (those that feed a lake as lake
//     point sources) and the seepage to and from the aquifer: by the
//     routing, into `run_sums`, as the nodes and lakes received them;
//   - the seepage's side in the aquifer: by the routing, per cell into
//     `river_source`, which the groundwater step takes as a source and
//     clears; without a simulated aquifer nothing takes it, and it is
//     cleared here;
//   - the outlet: into the overland step's outlet totals
//     (`discharge_volume_sum`, `discharge_volume_run`), as the overland
//     outlet is when there are no channels;
//   - pipe outflow: booked by the storm-drain step, taken in here as
//     lateral inflow;
//   - what the lakes exchange with the channels: gathered by the routing in
//     `lake_in_dv` / `lake_out_dv` and moved into the run totals here;
//   - the leakage through the lake beds: by the routing, as the lakes gain
//     or lose it, into `run_sums`; its side in the aquifer goes per cell
//     into `lake_source`, handled as `river_source` is.
// The network's storage then changes by exactly what these bring in and
// take out, together with the lakes' rain, evaporation and exchange with
// the overland flow, which their own steps book.
#include <cmath>

#include "channel/channel_routing.hpp"
#include "channel/channel_steps.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kFirstStepDays = 1e-6;  // a shorter time since the last channel step routes one interval

// Moves what the lakes gained from and lost to the channels since the last
// booking into the run totals.
void book_lake_exchange(model_state& m) {
    for (int k = 1; k <= m.nlakes; ++k) {
        m.lake_in_from_channels += m.lake_in_dv[k];
        m.lake_out_to_channels += m.lake_out_dv[k];
        m.lake_in_dv[k] = 0.0;
        m.lake_out_dv[k] = 0.0;
    }
}

}  // namespace

void step_channel_routing(model_state& m) {
    if (!(m.chan_routing == 1 || m.chan_alt_routing == 1)) return;
    if (!clock_due(m.chan_next, m.time, m.time_tol)) return;
    const double since = m.time - m.chan_last;
    const double dt = since >= kFirstStepDays ? since * kSecondsPerDay : m.chan_interval_sec;

    for (int l = 1; l <= m.nlinks; ++l) {
        for (int j = 1; j <= m.nx[l]; ++j) m.area_old[j][l] = m.area[j][l];
    }
    book_water(m, water_flow::channel_lateral_inflow, overland_channel_exchange(m, dt));
    book_water(m, water_flow::channel_lateral_inflow, sacramento_channel_inflow(m, dt));
    if (g_error_record.stop) return;
    take_pipe_outflow_into_channels(m, dt);

    if (m.chan_lakes_on) {
        book_lake_exchange(m);
        update_lake_extent(m);
        if (g_error_record.stop) return;
    }

    // Without the explicit routing no network is routed here, and the
    // overland step keeps the outlet.
    double outlet_volume = 0.0;
    if (m.chan_routing == 1) {
        if (ex_flow_route(m, dt, m.max_courant_number, outlet_volume) < 0) return;
        m.q_out = m.qp[m.nx[m.nlinks]][m.nlinks];
        book_chan_point_masses(m);
    }

    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_erodible_breakpoint(m.ltype[l])) continue;
        const int b = m.bplink[l];
        for (int j = 1; j <= m.nx[l]; ++j) m.max_yp[b][j] = std::fmax(m.max_yp[b][j], m.yp[j][l]);
    }
    if (m.chan_lakes_on) book_lake_exchange(m);
    if (!m.gw_simulation) {
        for (int k = 1; k <= m.river_source.n(); ++k) m.river_source[k] = 0.0;
        for (int k = 1; k <= m.lake_source.n(); ++k) m.lake_source[k] = 0.0;
    }
    if (m.flood_stream_given) track_max_2d(m.yp, m.yp_max_flood, m.nx, m.nlinks);
    m.discharge_volume_sum += outlet_volume;
    m.discharge_volume_run += outlet_volume;
    if (m.ov_con_trans) m.discharge_volume_contam += outlet_volume;
    if (m.chan_sed_on && m.chan_routing == 1) {
        step_channel_sediment(m, dt);
        if (g_error_record.stop) return;
    }

    for (int l = 1; l <= m.nlinks; ++l) {
        for (int j = 1; j <= m.link_nodes[l]; ++j) m.qlat[j][l] = 0.0;
    }
    advance_interval_clock(m.chan_last, m.chan_next, m.time, m.chan_interval);
    ++m.chan_step_count;
}

double channel_storage(const model_state& m) {
    double v = 0.0;
    for (int l = 1; l <= m.nlinks && l <= m.nx.n(); ++l) {
        if (link_is_lake_struct_or_overtaken(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l] && j <= m.area.nrows(); ++j) v += m.area[j][l] * m.chan_dx[l];
    }
    return v;
}

void finish_channel_run_totals(model_state& m) {
    if (!m.chan_routing && !m.chan_alt_routing) return;
    model_state::channel_run_totals& t = m.chan_run;
    t.final_in_channels = channel_storage(m);
    t.final_in_lakes = 0.0;
    t.precip_to_lakes = 0.0;
    for (int k = 1; k <= m.nlakes; ++k) {
        t.final_in_lakes += m.lake_volume[k];
        t.precip_to_lakes += m.lake_precip_total[k] + m.lake_precip_vol[k];
    }
    t.lateral_inflow = m.run_sums.chan_lateral_inflow;
    t.first_order_inflow = m.run_sums.first_order_chan_inflow;
    t.lake_point_sources = m.run_sums.lake_point_sources - m.run_sums.lake_point_sinks;
    t.channel_point_sources =
        m.run_sums.stream_point_sources - m.run_sums.stream_point_sinks + t.lake_point_sources;
    t.river_to_gw = m.run_sums.channels_to_gw;
    t.gw_to_river = m.run_sums.gw_to_channels;
    t.flow_into_lakes = m.lake_in_from_channels + m.lake_total_in_from_overland + m.lake_taken_from_cells;
    t.flow_from_lakes = m.lake_out_to_channels + m.lake_total_out_to_overland;
    t.lake_evaporation = m.run_sums.lake_evaporation;
    t.lakes_to_gw = m.run_sums.lakes_to_gw;
    t.gw_to_lakes = m.run_sums.gw_to_lakes;
    // The rain on the lakes counts with the flows: without it every rain-fed
    // lake would show its rain as an error.
    t.lake_balance_error = t.flow_into_lakes + t.precip_to_lakes + t.lake_point_sources + t.gw_to_lakes -
                           t.flow_from_lakes - t.lakes_to_gw - t.final_in_lakes + t.initial_in_lakes -
                           t.lake_evaporation;
}

}  // namespace kesta
