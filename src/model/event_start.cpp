// The start of an event: its clocks, its totals and the per-cell state that
// every event starts from.
#include <cstdio>

#include "calibration/optim_record.hpp"
#include "channel/channel_steps.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/interval_clock.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/constituent_books.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kNoLocationPeak = -999.99;  // a location whose peak is not known yet

bool initial_depth_given(const model_state& m) {
    return m.project_options.ov_init_depth_given || m.project_options.init_elev_head_given;
}

bool between_event_processes(const model_state& m) {
    return m.inf_richards_on || m.gw_simulation || m.ov_point_source_given || m.inf_redist_on;
}

// Long-term Richards runs: the soil columns catch up with the time that has
// passed since their last update.
void catch_up_richards(model_state& m, double area) {
    const double seconds = (m.time - m.inf_last) * kSecondsPerDay;
    const double evaporated = richards_unsat_step(m, seconds > 0.0 ? seconds : 0.0);
    book_water(m, water_flow::richards_evaporation_between_events, evaporated * area);
    if (m.summary_fp)
        print_finite(m, m.summary_fp.get(), "", "Total evaporation at beginning of event %lf \n",
                     m.total_evaporation_volume);
    for (int k = 1; k <= m.ncells && k <= m.VOLCHANGE.n(); ++k)
        book_water(m, water_flow::richards_soil_gain_between_events, m.VOLCHANGE[k] * area);
    if (m.inf_next <= m.time + m.time_tol)
        advance_interval_clock(m.inf_last, m.inf_next, m.time, m.inf_interval);
}

void arm_event_clocks(model_state& m) {
    arm_clock(m.ov_last_time, m.ov_next_time, m.time, m.ov_interval);
    if (!m.ov_con_trans) return;
    m.wq_next = m.ov_next_time;
    m.wq_last = m.time;
    m.chan_con_next = m.ov_next_time;
    m.chan_con_last = m.time;
}

void start_subsurface_clocks(model_state& m) {
    if (m.gw_simulation) {
        m.gw_interval_sec = m.ov_interval_sec;
        m.gw_interval = m.ov_interval;
        const double latest = m.ov_next_time + m.gw_interval;
        if (m.gw_next > latest) m.gw_next = latest;
        // The Richards columns' balance runs from the event's start.
        m.vol_gw_unsat_this_event_w = 0.0;
        m.gw_recharge_this_event = 0.0;
        m.gw_floor_added_this_event = 0.0;
    }
    if (m.soil_et_accounting) {
        m.soil_et_interval_sec = m.ov_interval_sec;
        m.soil_et_interval = m.ov_interval;
        m.soil_et_next = m.inf_next;
    }
    if (m.inf_richards_on) {
        m.initial_basin_averaged_soil_water_content = 0.0;
        m.initial_volume_in_soils = 0.0;
        m.number_cells_at_start_event = 0;
        m.richards_evaporation_at_event_start = m.run_sums.soil_evaporation;
    }
    if (m.sacramento_given) sacramento_start_event(m);
}

// A wetland cell starts every event at its category's depth. Its ground is
// lowered by the category's height once in the run: lowering it again at
// every event would sink it further each time.
void set_wetland_cell(model_state& m, int k, bool lower_ground) {
    if (k > m.wetland_mask.n()) return;
    const int c = m.wetland_mask[k];
    if (c <= 0 || static_cast<std::size_t>(c) >= m.wetland_table.size()) return;
    const wetland_props& w = m.wetland_table[static_cast<std::size_t>(c)];
    if (k <= m.h.n()) m.h[k] = w.field[0];
    if (lower_ground && k <= m.elev.n()) m.elev[k] -= w.field[7];
}

bool is_wetland_cell(const model_state& m, int k) {
    return k <= m.wetland_mask.n() && m.wetland_mask[k] > 0;
}

// With `carried` books the surface's evaporation since the last event
// closed is this event's.
void reset_cells(model_state& m, double area, bool carried) {
    double* evaporation = carried ? &m.direct_evaporation_carried : nullptr;
    const bool surface_reset = !between_event_processes(m);
    const bool init_depth = initial_depth_given(m);
    const bool lower_wetlands = m.wetlands_given && !m.wetland_elev_lowered;
    const double dtr_cap = m.ov_interval * 24.0;  // h
    for (int k = 1; k <= m.ncells; ++k) {
        if (surface_reset) {
            if (init_depth || m.wetlands_given) {
                if (init_depth) zero_at(m.dh, k);
                else if (!is_wetland_cell(m, k)) zero_at(m.h, k);
                if (m.wetlands_given) set_wetland_cell(m, k, lower_wetlands);
            } else {
                zero_at(m.dh, k);
            }
        }
        if (m.green_ampt_on || m.inf_layered_on) {
            zero_at(m.infdep, k);
            zero_at(m.infdep_prev, k);
        }
        if (m.inf_layered_on) {
            zero_at(m.wetdep, k);
            zero_at(m.fav, k);
        }
        if (m.inf_richards_on) {
            zero_at(m.fav, k);
            zero_at(m.infdep, k);
            zero_at(m.infdep_prev, k);
            zero_at(m.inf_rich, k);
            move_cm_to_total(m, m.DIRECT_EVAP, k, area, water_flow::direct_evaporation, evaporation);
            if (k <= m.bound_type.n()) m.bound_type[k] = 1;
            m.initial_volume_in_soils += richards_column_water(m, k) * area;
            if (value_at(m.yes_exfil, k) != 1) ++m.number_cells_at_start_event;
            if (m.long_term) m.initial_basin_averaged_soil_water_content += richards_top_saturation(m, k);
            if (k <= m.dtr.n() && m.dtr[k] > dtr_cap) m.dtr[k] = dtr_cap;
            if (!m.gw_simulation) move_cm_to_total(m, m.bottomfav, k, area, water_flow::percolation);
        }
        if (m.interception) zero_at(m.icep_dep, k);
    }
    if (lower_wetlands) m.wetland_elev_lowered = 1;
    if (m.inf_richards_on && m.long_term && m.ncells > 0)
        m.initial_basin_averaged_soil_water_content /= m.ncells;
}

// What the event reports of itself rather than of its water: its peak, and
// the volumes formed only at its end. The figures of the event before stay
// readable until this one starts.
void zero_event_figures(model_state& m) {
    m.peak_q = 0.0;
    m.volume_of_discharge = 0.0;
    m.event_peak_discharge = 0.0;
    m.volume_et_removed_water = 0.0;
    m.net_vol_infiltrated_soil = 0.0;
    m.volume_of_water_exfiltrated = 0.0;
    m.volume_gw_chan = 0.0;
    m.volume_water_chan_gw = 0.0;
    m.volume_gw_lakes = 0.0;
    m.volume_water_lakes_gw = 0.0;

    if (m.optimize_given && m.in_hyd_location_given && m.run_result) {
        // Peaks are raised from the marker by the first discharge seen; the
        // volumes are sums and start from nothing.
        for (double& p : m.run_result->location_peak) p = kNoLocationPeak;
        for (double& v : m.run_result->location_volume) v = 0.0;
    }
}

// The stores of the event balance (m3), as the event summary counts them.
struct balance_stores {
    double surface = 0.0;  // with the overland lakes
    double snow = 0.0;
    double channels = 0.0;
    double lakes = 0.0;  // channel-network lakes
};

balance_stores stores_now(const model_state& m) {
    balance_stores s;
    const surface_water w = surface_storage(m);
    s.surface = w.total;
    s.snow = w.snow;
    if (m.chan_routing) s.channels = channel_storage(m);
    if (m.chan_lakes_on) s.lakes = channel_lake_storage(m);
    return s;
}

balance_stores opening_stores(const model_state& m) {
    return {m.initial_volume_overland_flow, m.initial_liquid_equiv_volume_snow, m.initial_volume_in_channels,
            m.initial_volume_in_lakes};
}

// Books opened at the last event's close start from the stores as they stood
// then. What this event's start itself changes in them (cells reset, the
// channels emptied) is no water moved between stores or out of the basin, so
// the opening stores take it over, as when the books open at the start.
void carry_opening_stores(model_state& m, const balance_stores& opened, const balance_stores& before,
                          const balance_stores& after) {
    m.initial_volume_overland_flow = opened.surface + (after.surface - before.surface);
    m.initial_liquid_equiv_volume_snow = opened.snow + (after.snow - before.snow);
    if (m.chan_routing) m.initial_volume_in_channels = opened.channels + (after.channels - before.channels);
    if (m.chan_lakes_on) m.initial_volume_in_lakes = opened.lakes + (after.lakes - before.lakes);
}

}  // namespace

void open_event_books(model_state& m) {
    m.volume_rainfall_overland = 0.0;
    m.volume_precip_to_lake = 0.0;
    m.volume_overland_to_lake = 0.0;
    m.volume_overland_from_lake = 0.0;
    m.run_sums_at_event_start = m.run_sums;
    m.ov_substep_giveups_at_event_start = m.ov_substep_giveups;
    for (const water_flow_row& row : kWaterFlows) {
        if (row.total_at_event_start) m.*row.total_at_event_start = m.*row.total;
        // Exchanges that the processes add up over the event.
        if (row.event_booked) m.*row.event = 0.0;
    }
    m.discharge_volume_sum = 0.0;
    m.drainage_carried = 0.0;
    m.direct_evaporation_carried = 0.0;

    // The stores the balance starts from, counted as at the end of an event.
    // Water an earlier event left counts like any other starting water.
    const balance_stores now = stores_now(m);
    m.initial_volume_overland_flow = now.surface;
    m.initial_liquid_equiv_volume_snow = now.snow;
    if (m.chan_routing) m.initial_volume_in_channels = now.channels;
    if (m.chan_lakes_on) m.initial_volume_in_lakes = now.lakes;
    if (m.sacramento_given) {
        sacramento_open_event_books(m);
        m.volume_subsurface_at_event_start = sacramento_storage_volume(m);
    }
    open_drain_event_books(m);
    open_sediment_event_books(m);
    if (m.ov_con_trans) open_constituent_event_books(m);
}

void start_event(model_state& m) {
    if (!clock_due(event_start_time(m, m.event_index, m.start_time), m.time, m.time_tol)) return;
    const double area = m.gridsize * m.gridsize;
    // Books the last event's close opened keep what has moved since.
    const bool carried = m.event_books_open != 0;
    m.event_books_open = 0;
    const balance_stores opened = opening_stores(m);
    const balance_stores before = carried ? stores_now(m) : balance_stores{};

    if (m.long_term && m.inf_richards_on && m.clock_calls > 1) catch_up_richards(m, area);
    arm_event_clocks(m);
    m.precip_period = 1;

    start_subsurface_clocks(m);
    reset_cells(m, area, carried);
    zero_event_figures(m);
    if (!carried) open_event_books(m);
    m.volume_of_infiltrated_water = 0.0;
    m.number_timesteps_rain = 0;
    m.elapsed_min_rain_began = 0.0;
    if (!m.super_quiet) std::printf("Initialized Arrays\n");

    if (!m.long_term && !m.htp) {
        if (!m.super_quiet) std::printf("simulation duration %d minutes\n", m.run_params.tot_time);
        m.event_end_time = m.start_time + m.run_params.tot_time / 1440.0;
    }
    if (m.inf_redist_on) start_redistribution(m, area, carried);
    if (m.inf_layered_on && m.long_term) start_layered_soils(m, area, carried);
    start_channel(m);
    start_event_drains(m);
    if (carried) carry_opening_stores(m, opened, before, stores_now(m));
}

}  // namespace kesta
