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

// One low spot of an overland dike, from a SPOT card of the low-spot file.
struct lowspot_record {
    int row = 0, col = 0;
    int side = 0;            // side of the cell it crosses: 1 top, 2 right, 4 bottom, 8 left
    double fraction = 0.0;   // share of the cell size that the crest spans (0.0 to 1.5)
    double elevation = 0.0;  // crest elevation (m)
    double flow = 0.0;       // flow through it in the last step (m3/s), positive out of its cell
};

// One overland lake; the lake number is its index in the table.
struct lake_record {
    double level = 0.0;          // current water-surface level (m)
    double initial_level = 0.0;  // level from the lake file (m); a step aiming below it puts the level back
    double volume = 0.0;         // lake volume (m3)
    double step_volume = 0.0;    // volume gained in the current step (m3), negative for a loss
    int ncells = 0;              // cells the lake covers now
};

// Cells per block of the step's rain volume sums: a block adds its cells'
// volumes in cell order and the blocks' sums are added in block order,
// whatever the number of threads.
constexpr int kRainBlockCells = 8192;

// The interior marks of cells 0..n (overland_state::ov_interior) take one
// bit a cell, cell i at bit i % 8 of byte i / 8, with one byte beyond the
// last so that two bytes may be read from the byte of any cell: the
// highest byte index.
inline int interior_marks_top(int n) { return n / 8 + 1; }

struct overland_state {
    vec1<double> h;            // overland water depth (m)
    vec1<double> h_max_flood;  // largest depth of the run (m), with FLOOD_GRID
    vec1<double> h_old;
    vec1<double> ri;  // rain intensity (mm/h)
    // The rain volume of each block of kRainBlockCells cells in a step (m3),
    // index = block from 0: the step's rain volume is their sum in order.
    vec1<double> rain_block_volume;
    vec1<double> dh, sox, soy;
    vec1<double> qx, qy;  // face discharge to the right and lower neighbour (m3/s)
    vec1<double> volx, voly;
    vec1<double> qmap;  // with DISCHARGE or CHAN_DISCHARGE maps
    // Scratch of the ADE schemes: the predicted depths and faces, or spare
    // face volumes of each direction that may trade places with volx, voly.
    vec1<double> hdummy, qdummy;
    // Scratch of the fused ADE schemes: per cell, 1 when the face its first
    // direction's last pass of a step made passes water, else 0, for the
    // other direction's pass to count the flowing cells by.
    vec1<unsigned char> ov_flow_marks;
    // Per thread of a fused "ade-pc" pass, the window of predicted depths
    // and faces the corrector has still to read (from index 0).
    vec1<double> ov_pc_windows;

    // Cell numbers of the neighbours, 0 where there is none.
    vec1<int> belowcon, rightcon, abovecon, leftcon;
    vec1<int> yes_exfil;

    vec1<double> retent_dep;  // retention depth (m)
    vec1<double> dist_rough;  // Manning roughness
    // 1 / dist_rough, for the flux laws, which multiply by it; remade at the
    // next routing call whenever ov_inv_rough_ready is cleared (as it must
    // be by whatever changes dist_rough after routing has begun).
    vec1<double> ov_inv_rough;
    int ov_inv_rough_ready = 0;
    // The surface classes of the cells, made with ov_inv_rough when the grid
    // holds at most 256 distinct pairs of retention depth and reciprocal
    // roughness: the class of each cell, and per class c the pair (the same
    // bits as retent_dep and ov_inv_rough) at 2c and 2c + 1 of the table. The
    // plain flux loops then read one byte per cell for both. Empty when the
    // grid holds more pairs; whatever changes retent_dep after routing has
    // begun clears ov_inv_rough_ready too.
    vec1<unsigned char> ov_surface_class;
    std::vector<double> ov_class_table;

    vec1<int> lake_num;  // channel-network lake of each cell
    vec1<int> oland_lake_mask, oland_lake_new;  // overland lake of each cell at the start and now

    // Dikes: per cell the sides carrying a dike (1 top, 2 right, 4 bottom, 8 left).
    vec1<int> dike_mask;
    // Low spots through the dikes, records 1..nlowspots (record 0 unused).
    int nlowspots = 0;
    std::vector<lowspot_record> lowspots;

    // Overland lakes, records 1..n_oland_lakes (record 0 unused).
    int n_oland_lakes = 0;
    std::vector<lake_record> oland_lakes;
    int olake_update_due = 0;           // a lake volume changed since the last extent update
    double olake_water_total = 0.0;     // water standing in the lakes before the last update (m3)
    double olake_added_volume = 0.0;    // run total of water that entered the lakes (m3)
    double olake_drained_volume = 0.0;  // run total of water that left the lakes (m3)
    double olake_balance_error = 0.0;   // run total of the extent updates' volume error (m3)
    // Per lake, the water above its initial level at the start of the
    // current routing call (m3; see olake_water_above_initial).
    vec1<double> olake_above_initial;

    double initial_oland_lake_volume = 0.0;  // m3, at the start of the run

    // Wetlands: per cell its category (0 none) and one record per category
    // (field[1] berm height m, [2] berm seepage coefficient, [3] transition
    // depth m, [4] linear flow coefficient, [6] Manning's n).
    vec1<int> wetland_mask;
    std::vector<wetland_props> wetland_table;
    int wetland_categories = 0;
    int wetland_elev_lowered = 0;  // the wetland cells' ground was lowered once
    // Grid-edge boundary (OV_BOUNDARY, from the OVERLAND_BOUNDARY table): per cell the type (0 none, 1 normal
    // depth, 2 fixed level, 3 level from a time series), the value column
    // (friction slope, level in m, or series index) and, for type 3, the
    // series level at the current time (m).
    vec1<int> boundary_type;
    vec1<double> boundary_val;
    vec1<double> boundary_temp;
    // Their run totals (m3) are water flows of the run's books
    // (run_sums.ov_bdy_*).

    // Overland step state.
    int ov_wet = 0;           // some counted cell holds water
    int ov_flowing = 0;       // some counted cell passes water across a face
    int ade_sweep_order = 1;  // 1 or 2; alternates between routing calls
    int overland_active = 0;  // cleared when a long-term run goes dry between events
    double discharge_volume_sum = 0.0;     // outlet volume since the event's books opened (m3)
    double discharge_volume_run = 0.0;     // outlet volume of the run (m3)
    // Outlet volume that no event summary books: what left after the last
    // event closed (or in an event the run ended before closing). Set at the
    // end of the run, for the run's global balance (m3).
    double discharge_after_last_event = 0.0;
    double discharge_volume_contam = 0.0;  // outlet volume seen by overland transport (m3)
    int ov_inputs_checked = 0;  // neighbours and wetland records were found fit for routing
    // Whether every neighbour is numbered after its cell and names it back
    // (-1: not yet looked at); found once in the run, as the neighbours are
    // checked once.
    int ov_faces_regular = -1;
    // The largest gap between the numbers of a cell and of a neighbour,
    // found with ov_faces_regular.
    int ov_face_reach = 0;
    // The cells of a regular grid whose right, left, lower and upper
    // neighbours are the cells 1, -1, ov_row_stride and -ov_row_stride on
    // (bit set; see interior_marks_top), found with ov_faces_regular.
    vec1<unsigned char> ov_interior;
    int ov_row_stride = 0;
    // What the last routing of the overland step counted, on its way, of
    // the depths and discharges it left on every cell (only with
    // ov_route_counted): depths that are not numbers, wet cells and cells
    // passing water. Each routing call clears ov_route_counted first. Only
    // the routing writes qx and qy, so their count holds until it runs again.
    int ov_route_counted = 0;
    int ov_route_bad = 0, ov_route_wet = 0, ov_route_flowing = 0;
    // Set by the overland step for a routing call that is to find the
    // depths at the start of the step that are not numbers (ov_start_bad,
    // their count), before it changes any depth: its first pass reads them
    // all anyway. The call clears it.
    int ov_check_start = 0;
    int ov_start_bad = 0;

    // Sub-step memory of the routing schemes, kept per run. The explicit
    // scheme alternates its sweep order by a call counter and reuses a
    // reduced sub-step (s) for the next four calls after a division.
    int ov_explicit_calls = 0;
    double ov_reduced_substep = 0.0;
    int ov_reduced_reuse = 0;
    int ov_reduced_in_use = 0;
    int ov_substeps_last = 0;  // sub-steps of the last routing call
    // Routing calls of the run that gave up shortening the sub-step and
    // accepted faces that failed its tests, and their number when the
    // current event started.
    int ov_substep_giveups = 0;
    int ov_substep_giveups_at_event_start = 0;
    // Channel-lake state at the start of an explicit routing call, restored
    // whenever the call starts its step again.
    vec1<double> lakeelev_old, lakevol_old, lakeindv_old, lakeoutdv_old;
    vec1<double> lake_scratch;  // per channel lake: what it gives the land in a sub-step

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
    int rain_steps = 0;           // whole time steps of uniform rain
    // Share of one more step over which uniform rain still falls when its
    // duration is not a whole number of steps (0 to below 1).
    double rain_last_step_fraction = 0.0;
    int raining = 0;
    int precip_state = 0;          // 1 raining, 2 no event found, 0 or 3 ended
    int precip_event_started = 0;  // the current event's rain is in place
    int precip_event_read = 0;     // the precipitation steps have read the current event
    double precip_next_time = 0.0; // Julian time of the next precipitation period
    double rain_next_time = 0.0;   // Julian time of the next application of rain
    // The current event of the precipitation file (precip_file_fp).
    precip_cursor precip_in;
    precip_event precip_ev;
    precip_grid precip_radar;
    vec1<int> nearest;         // nearest gauge of each cell
    int precip_period = 0;     // period of the current event, from 1
    // Rate (mm/h) of every cell in period `period_ri_of` of the current
    // event (0: no period spread yet); a step takes from it the rain of the
    // part of the period it covers.
    vec1<double> period_ri;
    int period_ri_of = 0;
    int precip_event_count = 0;  // events read by the event step
    int uniform_rain_count = 1;  // applications of uniform rain, plus 1
    int number_timesteps_rain = 0;  // steps with rain in the event
    double total_rainfall_volume = 0.0;  // rain on the land surface in the run (m3)

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
    // Start of the current event (uniform rain: of the run), for the summary.
    int precip_year = 0, precip_month = 0, precip_day = 0, precip_hour = 0, precip_minute = 0;
    double precip_start_time = 0.0;        // Julian days
    double elapsed_min_rain_began = 0.0;   // elapsed minutes at the event's first step with rain
    double precip_next_period_time = 0.0;  // Julian days
};

}  // namespace kesta
