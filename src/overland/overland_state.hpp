// Members of the model state owned by rainfall and overland flow. Per-cell
// vectors have ncells + 1 elements, cell k at index k.
#pragma once

#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "input/mapping_tables.hpp"
#include "overland/precipitation.hpp"
#include "overland/radar.hpp"

namespace kesta {

// One overland lake; other code names the fields by number (0 to 8).
struct lake_record {
    double level = 0.0;          // 0: water-surface level (m)
    double initial_level = 0.0;  // 1: the lake never falls below it (m)
    double value2 = 0.0;         // 2
    double volume = 0.0;         // 3: m3
    double step_inflow = 0.0;    // 4: volume gained in the current step (m3)
    double value5 = 0.0;         // 5
    int value6 = 0;              // 6
    int ncells = 0;              // 7: cells the lake covers now
    int value8 = 0;              // 8
};

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
    std::vector<lake_record> oland_lakes;  // lake k at k, record 0 unused
    int n_oland_lakes = 0;
    int olake_update_due = 0;  // a lake's volume changed in this step
    double initial_oland_lake_volume = 0.0;  // m3, at the start of the run

    // Wetlands: the category of each cell (0 none) and each category's record.
    vec1<int> wetland_mask;
    std::vector<wetland_props> wetland_table;
    int wetland_elev_lowered = 0;  // the wetland cells' ground was lowered once

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
    double rain_next_time = 0.0;   // Julian time of the next application of rain
    // The precipitation file (opened by open_run_files) and its current event.
    file_ptr precip_file_fp;
    precip_cursor precip_in;
    precip_event precip_ev;
    precip_grid precip_radar;
    vec1<int> nearest;         // nearest gauge of each cell
    int precip_period = 0;     // period of the current event, from 1
    int precip_event_count = 0;  // events read by the event step
    int uniform_rain_count = 1;  // applications of uniform rain, plus 1
    int number_timesteps_rain = 0;  // steps with rain in the event
    double total_rainfall_volume = 0.0;  // rain on the land surface in the run (m3)
    // Outlet volumes (m3), added to by the overland step.
    double discharge_volume_sum = 0.0;  // of the event
    double discharge_volume_run = 0.0;  // of the run

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
    double precip_next_period_time = 0.0;  // Julian days
};

}  // namespace kesta
