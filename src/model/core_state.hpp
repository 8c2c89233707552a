// Members of the model state owned by the model core: run control and clock.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "calibration/optim_record.hpp"
#include "core/calendar.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// What moves water into, out of or between the stores of the basin, one
// running total of the run each (m3): the processes book what they moved
// with book_water(), the books of an event copy the totals when they open,
// and the event's volume of each is its total less the copy (or, where the
// row says so, the event's own sum, added to by the same booking).
enum class water_flow : int {
    overland_cleanup,
    interception,
    infiltration,
    soil_evaporation,
    overland_point_sources,
    boundary_outflow,
    boundary_fixed_outflow,
    boundary_fixed_inflow,
    channel_lateral_inflow,
    first_order_inflow,
    stream_point_sources,
    stream_point_sinks,
    gw_to_channels,
    channels_to_gw,
    lake_point_sources,
    lake_point_sinks,
    lake_evaporation,
    gw_to_lakes,
    lakes_to_gw,
    count
};

// The running totals of the water flows (m3), named as the summaries and
// the balances read them.
struct water_run_sums {
    double mass_cleanup_error_overland = 0.0;  // water made by setting negative depths to 0
    double interception = 0.0;
    double lake_point_sources = 0.0;
    double lake_point_sinks = 0.0;
    double stream_point_sources = 0.0;
    double stream_point_sinks = 0.0;
    double lake_evaporation = 0.0;
    double infiltrated_volume = 0.0;  // water that entered the soil
    double soil_evaporation = 0.0;    // water the Richards columns lost to evapotranspiration
    double chan_lateral_inflow = 0.0;  // net bank exchange into the channels
    double first_order_chan_inflow = 0.0;  // FIRST_ORDER_CHAN_Q into the head links
    double gw_to_channels = 0.0;  // seepage from the aquifer into the streams
    double channels_to_gw = 0.0;  // seepage from the streams into the aquifer
    double gw_to_lakes = 0.0;     // leakage from the aquifer into the channel lakes
    double lakes_to_gw = 0.0;     // leakage from the channel lakes into the aquifer
    double overland_point_sources = 0.0;  // water the cell point sources put on the ground
    // At the grid's edge (OV_BOUNDARY): what left through normal-depth
    // cells, and what fixed-level cells removed and added.
    double ov_bdy_out_vol = 0.0;
    double ov_bdy_fixed_out_vol = 0.0;
    double ov_bdy_fixed_in_vol = 0.0;
};

struct core_state {
    int running = 0;  // the time loop repeats while set
    int step = 0;     // index of the current step, 0 before the first advance
    int clock_calls = 0;
    double q_out = 0.0;  // outlet discharge (m3/s)
    date_record peak_date;
    double peak_q = 0.0;     // m3/s
    double peak_time = 0.0;  // Julian days

    double cms_to_cfs = 35.314667;  // cubic feet per cubic metre
    int flush_buffer = 5000;        // progress lines between flushes of standard output
    int flush_buffer_given = 0;

    // Run-control copies of the project's values.
    double timestep_copy = 0.0;  // s
    int tot_time = 0;            // min
    int hyd_freq = 0;            // time-series interval (steps)
    int map_freq = 0;            // map interval (steps)
    int outrow = 0, outcol = 0;
    double outslope = 0.0;
    int outlet_cell = 0;
    double latitude = 0.0, longitude = 0.0;  // degrees
    double gmt = 0.0;                        // h
    int gmt_given = 0;
    int qout_cfs = 0;

    // Clock (Julian days unless stated).
    double timestep = 0.0;  // s
    double dt_days = 0.0;
    double time_tol = 0.0;
    double time = 0.0;
    double start_time = 0.0;
    double end_time = 0.0;    // long-term runs: the last hydrometeorological record
    double first_time = 0.0;  // run start, before the land-management adjustment
    double elapsed_min = 0.0;
    double seconds = 0.0;     // seconds of `time` with their fraction
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int day_of_year = 0;
    int long_term = 0;
    int start_hhmm = 0;      // hour * 100 + minute of the run start
    int start_yyyymmdd = 0;  // year * 10000 + month * 100 + day of the run start
    // Pass counters kept beside `step`; both are zeroed when the clocks are armed.
    int event_step = 0;  // passes of the current event
    int step_count = 0;

    // Event control.
    int event_index = 1;  // current event, from 1
    int nevents = 0;
    int event_active = 0;  // an event's precipitation has begun and the event has not ended
    int event_done = 0;    // the event has ended and is still to be closed
    int event_ended = 0;   // the event ended in this pass
    double event_end_time = 0.0;  // Julian end of a single-event run
    // Julian time of the last data line of the run's last precipitation
    // event (the end of its rain); 0 when the rain does not come from a file.
    double last_rain_time = 0.0;
    // The books of the next event's water balance were opened when the event
    // before it closed (open_event_books): the water that moves between the
    // two events is booked in the next one.
    int event_books_open = 0;

    // Event water totals (m3), reset when the event's books open (at the
    // close of the event before it, or at the first event's start) and formed
    // at its end for the event summary.
    double volume_rainfall_overland = 0.0;
    double initial_volume_overland_flow = 0.0;
    double volume_remaining_on_surface = 0.0;
    double volume_remaining_in_overland_lakes = 0.0;
    double volume_precip_to_lake = 0.0;  // rain on channel-network lakes
    double volume_overland_to_lake = 0.0;
    double volume_overland_from_lake = 0.0;
    double volume_of_discharge = 0.0;   // outlet volume of the event
    double event_peak_discharge = 0.0;  // m3/s
    double volume_et_removed_water = 0.0;
    double volume_of_infiltrated_water = 0.0;
    double net_vol_infiltrated_soil = 0.0;
    double volume_ground_water_recharge = 0.0;
    // Drainage below the soil stores and evaporation of water standing on
    // the surface since the event's books opened, which the event's start
    // took from the cells into the run totals; the event reports them with
    // its own.
    double drainage_carried = 0.0;
    double direct_evaporation_carried = 0.0;
    double initial_volume_in_soils = 0.0;
    double final_volume_in_soils = 0.0;
    double richard_equation_mass_balance_error = 0.0;  // percent
    double initial_volume_in_lakes = 0.0;
    double volume_remaining_in_lakes = 0.0;
    double initial_liquid_equiv_volume_snow = 0.0;
    double final_volume_of_snow = 0.0;
    double initial_volume_in_channels = 0.0;
    double final_volume_in_channels = 0.0;
    double volume_subsurface_at_event_start = 0.0;  // Sacramento storages
    double volume_subsurface_at_event_end = 0.0;
    // The streams' and channel lakes' exchange with the aquifer over the
    // event (run sums less their copies at the event start).
    double volume_gw_chan = 0.0, volume_water_chan_gw = 0.0;
    double volume_gw_lakes = 0.0, volume_water_lakes_gw = 0.0;
    // Exchanges of the event, added to by the processes that move the water
    // and zeroed when an event starts.
    double volume_gw_tile_drains = 0.0;
    double volume_overland_point_sources = 0.0;
    double vol_gw_unsat_this_event_w = 0.0;
    // Event volumes formed as a running sum less its copy at the event start.
    double mass_cleanup_error_overland = 0.0;
    double volume_of_interception = 0.0;
    double volume_ov_boundary_inflow = 0.0;
    double volume_ov_boundary_outflow_1 = 0.0, volume_ov_boundary_outflow_2 = 0.0;
    double volume_lake_point_sources = 0.0, volume_lake_point_sinks = 0.0;
    double volume_stream_point_sources = 0.0, volume_stream_point_sinks = 0.0;
    double volume_of_lake_evaporation = 0.0;
    double volume_of_lateral_inflow = 0.0;
    double volume_first_order_chan = 0.0;
    water_run_sums run_sums;
    water_run_sums run_sums_at_event_start;  // when the event's books opened
    // The Richards columns' evapotranspiration total when the event started:
    // their own balance runs from the event's start (m3).
    double richards_evaporation_at_event_start = 0.0;
    // Mass balance of the event: (input - output) / input, a fraction; exactly
    // -1.0 when the event had no water input.
    double mass_input_original_mass = 0.0;
    double mass_output_final_mass = 0.0;
    double mass_conservation_error = 0.0;
    // Basin-averaged relative soil saturation at the start and end of the event.
    double initial_basin_averaged_soil_water_content = 0.0;
    double final_basin_averaged_soil_water_content = 0.0;
    // Richards cells with unsaturated soil (not exfiltrating).
    int number_cells_at_start_event = 0;
    int number_cells_at_end_event = 0;
    int finished_events = 0;  // events closed by finish_event
    // Run totals (m3).
    double total_percolation_volume = 0.0;   // deep percolation below the soil
    double total_direct_evap_volume = 0.0;   // direct evaporation from the soil
    double total_evaporation_volume = 0.0;   // Richards evaporation between events
    double richards_soil_water_change = 0.0;  // Richards soil water gained between events

    int optimize_given = 0;
    std::string optimize;  // the optimisation output file (its slot optim_fp is the output state's)
    optim_record* run_result = nullptr;  // the caller's, in a calibration run
    std::unique_ptr<optim_record> own_run_result;  // the run's own when no caller gave one
    int quiet = 0;
    int super_quiet = 0;

    // Working copies of the run cards.
    int units = 0;
    int strict_julian_date = 0;
    double event_min_q = 0.0;     // m3/s; an event ends below it
    int end_time_given = 0;       // END_TIME
    double end_time_julian = 0.0;  // Julian days

    // Run inside the land-management framework, with grids traded with the
    // ecological model. Every path is "exchange/" followed by the card's name.
    int htp = 0;
    int htp_event_num = -1;  // the one event to run; -1 none
    int htp_event_num_given = 0;
    int olma_given = 0;
    std::string olma;  // the event file
    int olma_first = 0;
    int moist_to_olma_given = 0, ksat_to_olma_given = 0, rough_to_olma_given = 0,
        poros_to_olma_given = 0, erosivity_to_olma_given = 0, crop_fact_to_olma_given = 0,
        net_erosion_to_olma_given = 0;
    std::string moist_to_olma, ksat_to_olma, rough_to_olma, poros_to_olma, erosivity_to_olma,
        crop_fact_to_olma, net_erosion_to_olma;
    int moist_from_olma_given = 0, ksat_from_olma_given = 0, rough_from_olma_given = 0,
        erosivity_from_olma_given = 0, crop_fact_from_olma_given = 0, et_demand_from_olma_given = 0;
    std::string moist_from_olma, ksat_from_olma, rough_from_olma, erosivity_from_olma,
        crop_fact_from_olma, et_demand_from_olma;
};

// The water flows, one row each: the running total of the run and the
// event's volume of it (null: none), and whether the booking adds to the
// event's volume itself (zeroed when the event's books open) instead of the
// event forming it from the totals as it closes.
struct water_flow_row {
    water_flow flow;
    double water_run_sums::*run;
    double core_state::*event;
    bool event_booked;
};

inline constexpr water_flow_row kWaterFlows[] = {
    {water_flow::overland_cleanup, &water_run_sums::mass_cleanup_error_overland,
     &core_state::mass_cleanup_error_overland, false},
    {water_flow::interception, &water_run_sums::interception, &core_state::volume_of_interception, false},
    {water_flow::infiltration, &water_run_sums::infiltrated_volume, &core_state::volume_of_infiltrated_water, false},
    {water_flow::soil_evaporation, &water_run_sums::soil_evaporation, nullptr, false},
    {water_flow::overland_point_sources, &water_run_sums::overland_point_sources,
     &core_state::volume_overland_point_sources, true},
    {water_flow::boundary_outflow, &water_run_sums::ov_bdy_out_vol, &core_state::volume_ov_boundary_outflow_1, false},
    {water_flow::boundary_fixed_outflow, &water_run_sums::ov_bdy_fixed_out_vol,
     &core_state::volume_ov_boundary_outflow_2, false},
    {water_flow::boundary_fixed_inflow, &water_run_sums::ov_bdy_fixed_in_vol, &core_state::volume_ov_boundary_inflow,
     false},
    {water_flow::channel_lateral_inflow, &water_run_sums::chan_lateral_inflow, &core_state::volume_of_lateral_inflow,
     false},
    {water_flow::first_order_inflow, &water_run_sums::first_order_chan_inflow, &core_state::volume_first_order_chan,
     false},
    {water_flow::stream_point_sources, &water_run_sums::stream_point_sources, &core_state::volume_stream_point_sources,
     false},
    {water_flow::stream_point_sinks, &water_run_sums::stream_point_sinks, &core_state::volume_stream_point_sinks,
     false},
    {water_flow::gw_to_channels, &water_run_sums::gw_to_channels, &core_state::volume_gw_chan, false},
    {water_flow::channels_to_gw, &water_run_sums::channels_to_gw, &core_state::volume_water_chan_gw, false},
    {water_flow::lake_point_sources, &water_run_sums::lake_point_sources, &core_state::volume_lake_point_sources,
     false},
    {water_flow::lake_point_sinks, &water_run_sums::lake_point_sinks, &core_state::volume_lake_point_sinks, false},
    {water_flow::lake_evaporation, &water_run_sums::lake_evaporation, &core_state::volume_of_lake_evaporation, false},
    {water_flow::gw_to_lakes, &water_run_sums::gw_to_lakes, &core_state::volume_gw_lakes, false},
    {water_flow::lakes_to_gw, &water_run_sums::lakes_to_gw, &core_state::volume_water_lakes_gw, false},
};

constexpr bool water_flows_in_order() {
    for (int i = 0; i < static_cast<int>(water_flow::count); ++i)
        if (static_cast<int>(kWaterFlows[i].flow) != i) return false;
    return sizeof(kWaterFlows) / sizeof(kWaterFlows[0]) == static_cast<std::size_t>(water_flow::count);
}
static_assert(water_flows_in_order(), "row i of kWaterFlows holds water flow i");

// Books `volume` m3 of a water flow: to the run's total and, for a row that
// keeps it so, to the event's volume.
inline void book_water(core_state& s, water_flow flow, double volume) {
    const water_flow_row& row = kWaterFlows[static_cast<int>(flow)];
    s.run_sums.*row.run += volume;
    if (row.event_booked) s.*row.event += volume;
}

// Tail members of the core.
struct core_tail_state {
    std::string project_file;
};

}  // namespace kesta
