// Members of the model state owned by rainfall and overland flow. Per-cell
// vectors have ncells + 1 elements, cell k at index k.
#pragma once

#include <string>

#include "core/arrays.hpp"

namespace kesta {

struct overland_state {
    vec1<double> h;            // overland water depth (m)
    vec1<double> h_max_flood;  // largest depth of the run (m), with FLOOD_GRID
    vec1<double> h_old, h_dep;
    vec1<double> ri;  // rain intensity (mm/h)
    vec1<double> dh, sox, soy;
    vec1<double> qx, qy;  // face discharge to the right and lower neighbour (m3/s)
    vec1<double> volx, voly;
    vec1<double> qmap;  // with DISCHARGE or CHAN_DISCHARGE maps
    vec1<double> hdummy, qdummy;

    // Cell numbers of the neighbours, 0 where there is none.
    vec1<int> belowcon, rightcon, abovecon, leftcon;
    vec1<int> yes_exfil;

    vec1<double> retent_dep;  // retention depth (m)
    vec1<double> dist_rough;  // Manning roughness

    vec1<int> lake_num;  // channel-network lake of each cell
    vec1<int> oland_lake_mask, oland_lake_new;

    // Overland clock, the main clock of the run (Julian days; interval also in s).
    double ov_interval_sec = 0.0;
    double ov_interval = 0.0;
    double ov_last_time = 0.0;
    double ov_next_time = 0.0;
    int ov_water_at_start = 0;            // the initial depth map put water on a cell
    double initial_surface_volume = 0.0;  // overland water at the start of the run (m3)

    // Precipitation.
    int uniform_rain = 0;
    int rain_from_file = 0;
    double rain_intensity = 0.0;  // uniform rain (mm/h)
    double rain_duration = 0.0;   // uniform rain (minutes)
    int rain_steps = 0;           // time steps of uniform rain
    int raining = 0;
    int precip_state = 0;          // 1 raining, 2 no event found, 0 or 3 ended
    int precip_event_started = 0;  // the current event's rain is in place
    int precip_event_read = 0;     // the precipitation steps have read the current event
    double precip_next_time = 0.0; // Julian time of the next precipitation period

    // Working switches copied from the cards.
    int flood_grid_given = 0;
    std::string flood_grid;
    int discharge_given = 0;
    int overland_lake_map_given = 0;
    std::string overland_lake_map;
    std::string overland_lake_file;
    int ov_boundary = 0;
    int overtype = 0;  // 1 explicit, 2 ADE, 3 ADE with predictor-corrector
    int roughness_given = 0;  // a roughness map, or the Roughness table without MANNING_N
    std::string roughness;
    int manning_n_given = 0;
    double manning_n = 0.0;  // uniform roughness
    int wetlands_given = 0;
    int dike_map_given = 0;
    std::string dike_map;
    int lowspot_file_given = 0;
    std::string lowspot_file;
    int retention_given = 0;  // uniform retention depth
    double retention = 0.0;   // m
    int reten_depth_given = 0;  // retention map
    std::string reten_depth;
    double retention_depth = 0.0;  // m; the uniform depth when one is given, else 0

    // Rainfall source.
    int rain_inv_distance = 0;
    int rain_thiessen = 0;
    std::string precip_file;
    // Start of uniform rain as the precipitation steps keep it.
    int precip_year = 0, precip_month = 0, precip_day = 0, precip_hour = 0, precip_minute = 0;
    double precip_start_time = 0.0;        // Julian days
    int number_timesteps_rain = 0;         // time steps of the event with rain
    double elapsed_min_rain_began = 0.0;   // elapsed minutes at the event's first step with rain
    double precip_next_period_time = 0.0;  // Julian days
};

}  // namespace kesta
