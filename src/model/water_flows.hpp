// The water flows of the model, one row each: the totals a booking adds to.
// Included at the end of model_state.hpp, once the state is whole.
#pragma once

#include <cstddef>

namespace kesta {

// A flow's run total is kept in the run sums (copied whole when an event's
// books open) or, for a flow whose total has a member of its own, in that
// member (null: none), with, where the event's volume is formed from it,
// its copy when the event's books opened. The event's volume of the flow
// (null: none) is either added to by the booking itself (`event_booked`:
// zeroed when the event's books open) or formed as the event closes, as the
// run total less its copy.
struct water_flow_row {
    water_flow flow;
    double water_run_sums::*run;
    double model_state::*total;
    double model_state::*total_at_event_start;
    double model_state::*event;
    bool event_booked;
};

// Rows of flows kept in the run sums name none of the three own members.
#define KESTA_IN_SUMS(flow, run, event, booked) \
    {water_flow::flow, &water_run_sums::run, nullptr, nullptr, event, booked}

inline constexpr water_flow_row kWaterFlows[] = {
    KESTA_IN_SUMS(overland_cleanup, mass_cleanup_error_overland, &core_state::mass_cleanup_error_overland, false),
    KESTA_IN_SUMS(interception, interception, &core_state::volume_of_interception, false),
    KESTA_IN_SUMS(infiltration, infiltrated_volume, &core_state::volume_of_infiltrated_water, false),
    KESTA_IN_SUMS(soil_evaporation, soil_evaporation, nullptr, false),
    KESTA_IN_SUMS(overland_point_sources, overland_point_sources, &core_state::volume_overland_point_sources, true),
    KESTA_IN_SUMS(boundary_outflow, ov_bdy_out_vol, &core_state::volume_ov_boundary_outflow_1, false),
    KESTA_IN_SUMS(boundary_fixed_outflow, ov_bdy_fixed_out_vol, &core_state::volume_ov_boundary_outflow_2, false),
    KESTA_IN_SUMS(boundary_fixed_inflow, ov_bdy_fixed_in_vol, &core_state::volume_ov_boundary_inflow, false),
    KESTA_IN_SUMS(channel_lateral_inflow, chan_lateral_inflow, &core_state::volume_of_lateral_inflow, false),
    KESTA_IN_SUMS(first_order_inflow, first_order_chan_inflow, &core_state::volume_first_order_chan, false),
    KESTA_IN_SUMS(stream_point_sources, stream_point_sources, &core_state::volume_stream_point_sources, false),
    KESTA_IN_SUMS(stream_point_sinks, stream_point_sinks, &core_state::volume_stream_point_sinks, false),
    KESTA_IN_SUMS(gw_to_channels, gw_to_channels, &core_state::volume_gw_chan, false),
    KESTA_IN_SUMS(channels_to_gw, channels_to_gw, &core_state::volume_water_chan_gw, false),
    KESTA_IN_SUMS(lake_point_sources, lake_point_sources, &core_state::volume_lake_point_sources, false),
    KESTA_IN_SUMS(lake_point_sinks, lake_point_sinks, &core_state::volume_lake_point_sinks, false),
    KESTA_IN_SUMS(lake_evaporation, lake_evaporation, &core_state::volume_of_lake_evaporation, false),
    KESTA_IN_SUMS(gw_to_lakes, gw_to_lakes, &core_state::volume_gw_lakes, false),
    KESTA_IN_SUMS(lakes_to_gw, lakes_to_gw, &core_state::volume_water_lakes_gw, false),
    // Drainage out of the soil bottom that leaves the soil columns, and the
    // direct evaporation of water standing on the soil: the event's share
    // of each is kept by the event's soils.
    {water_flow::percolation, nullptr, &core_state::total_percolation_volume, nullptr, nullptr, false},
    {water_flow::direct_evaporation, nullptr, &core_state::total_direct_evap_volume, nullptr, nullptr, false},
    {water_flow::exfiltration, nullptr, &subsurface_state::total_vol_water_exfiltrated_this_run,
     &subsurface_state::beginning_vol_water_exfiltrated_this_event, &subsurface_state::volume_of_water_exfiltrated,
     false},
    {water_flow::gw_to_tile_drains, nullptr, &storm_drain_state::run_gw_to_tile_drains, nullptr,
     &core_state::volume_gw_tile_drains, true},
    // What the soil columns took from the aquifer as the water table moved
    // (negative: gave it), kept for the event only.
    {water_flow::gw_to_soil_columns, nullptr, nullptr, nullptr, &core_state::vol_gw_unsat_this_event_w, true},
    // What the Richards columns evaporated and gained between events.
    {water_flow::richards_evaporation_between_events, nullptr, &core_state::total_evaporation_volume, nullptr,
     nullptr, false},
    {water_flow::richards_soil_gain_between_events, nullptr, &core_state::richards_soil_water_change, nullptr,
     nullptr, false},
};
#undef KESTA_IN_SUMS

constexpr bool water_flows_in_order() {
    for (int i = 0; i < static_cast<int>(water_flow::count); ++i)
        if (static_cast<int>(kWaterFlows[i].flow) != i) return false;
    return sizeof(kWaterFlows) / sizeof(kWaterFlows[0]) == static_cast<std::size_t>(water_flow::count);
}
static_assert(water_flows_in_order(), "row i of kWaterFlows holds water flow i");

// Books `volume` m3 of a water flow: to the run's total and, for a row that
// keeps it so, to the event's volume.
inline void book_water(model_state& s, water_flow flow, double volume) {
    const water_flow_row& row = kWaterFlows[static_cast<int>(flow)];
    if (row.run) s.run_sums.*row.run += volume;
    if (row.total) s.*row.total += volume;
    if (row.event_booked) s.*row.event += volume;
}

// A flow's run total so far (m3): 0 for a flow kept by the event only.
inline double water_run_total(const model_state& s, water_flow flow) {
    const water_flow_row& row = kWaterFlows[static_cast<int>(flow)];
    if (row.run) return s.run_sums.*row.run;
    return row.total ? s.*row.total : 0.0;
}

}  // namespace kesta
