// The global water balance of a run: every storage at its start and end and
// every volume that entered or left the basin over the run (m3), and the
// errors formed from them.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Run totals of the global table (m3), formed once after the time loop.
struct global_water_totals {
    // Storages at the start of the run.
    double initial_surface = 0.0, initial_overland_lakes = 0.0, initial_channels = 0.0, initial_soils = 0.0,
           initial_groundwater = 0.0, initial_lakes = 0.0, initial_drains = 0.0;
    // Storages at the end: the surface without the lakes on it; the drains
    // with the water their outlets passed and the channels did not take in yet.
    double final_surface = 0.0, final_overland_lakes = 0.0, final_channels = 0.0, final_drains = 0.0,
           final_soils = 0.0, final_groundwater = 0.0, final_snow = 0.0, final_lakes = 0.0;
    // Rain that reached the ground, the snow or the channel lakes; the
    // canopy's share (interception) never enters the balance.
    double precipitation = 0.0, interception = 0.0;
    double infiltration = 0.0;
    double evaporation = 0.0;         // of the soil columns and of water standing on the ground
    double direct_evaporation = 0.0;  // of water standing on the ground
    double exfiltration = 0.0;
    double recharge = 0.0, pumping = 0.0, downward_flux = 0.0, head_boundary = 0.0, leakage = 0.0;
    double deep_recharge = 0.0;       // Sacramento
    double sacramento_outflow = 0.0;  // out of the Sacramento stores, to the channels
    double overland_point_sources = 0.0, channel_point_sources = 0.0, first_order_inflow = 0.0;
    double lost_to_slope = 0.0, lost_to_head = 0.0, gained_from_head = 0.0;
    double net_boundary = 0.0;  // lost to slope and head less gained from head
    double lateral_inflow = 0.0, discharge = 0.0;
    double river_to_gw = 0.0, gw_to_river = 0.0, lakes_to_gw = 0.0, gw_to_lakes = 0.0;
    double precip_to_lakes = 0.0, flow_into_lakes = 0.0, flow_from_lakes = 0.0, lake_evaporation = 0.0;
    double to_drains = 0.0, drains_to_overland = 0.0, drains_to_channels = 0.0, gw_to_tile_drains = 0.0,
           drains_to_boundaries = 0.0, drain_solver_made = 0.0;
    // Water the drains' outlets passed that the channels have not taken in
    // yet: in the drains' final storage, outside the surface stores.
    double drains_in_transit = 0.0;
    double overland_lake_inflow = 0.0, overland_lake_outflow = 0.0;
    // No process of this program evaporates the overland lakes: their line
    // of the table stays 0.
    double overland_lake_evaporation = 0.0;
    // Water the aquifer's floor added when it lifted heads back to it.
    double groundwater_floor = 0.0;
    double surface_error = 0.0, overall_error = 0.0;  // percent
};

// 100 (S0 + In - S1 - Out) / (S0 + In): percent of the water at the start
// and what entered; 0 when that is not positive.
double overall_balance_error(double s0, double in, double s1, double out);
// 100 (Ins + Ss0 - Outs - Ss1) / (Ins + Ss0) over the surface components;
// 0 when the denominator is not positive.
double surface_balance_error(double ss0, double ins, double outs, double ss1);

// Forms the run totals from the model's books as the run ends.
global_water_totals global_water_balance(const model_state& m);

// The "SIMULATION TOTALS" table of the summary file, always written.
void write_global_balance(const model_state& m);

}  // namespace kesta
