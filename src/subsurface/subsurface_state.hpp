// Members of the model state owned by hydrometeorology, infiltration and
// groundwater. Per-cell vectors have ncells + 1 elements, cell k at index k.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/calendar.hpp"
#include "input/mapping_tables.hpp"
#include "subsurface/hmet_record.hpp"
#include "subsurface/richards_state.hpp"
#include "subsurface/sacramento.hpp"

namespace kesta {

// 50 values per soil class; the soil-layer code gives each slot its meaning.
struct soil_class_record {
    double v[50] = {};
};

// Moistures of layers 1 to 3 of a multi-layer Green and Ampt cell at the
// start of its event.
struct soil_layer_moisture {
    double theta[3] = {};
};

// Run totals of the soil-moisture accounting (m3), formed once after the time
// loop for the run's global mass balance.
struct soil_run_totals {
    // Water in the accounting stores at the end, with the water infiltrated
    // since the last accounting that no store holds yet.
    double final_water = 0.0;
    // final_water plus, with a water table, the unsaturated soil between the
    // stores and the table.
    double final_volume = 0.0;
    double evaporation = 0.0;     // evapotranspiration of the soil columns
    double downward_flux = 0.0;   // drainage out of the bottom of the columns
    double balance_error = 0.0;   // percent of the starting water plus infiltration
};

// One well of the WELL_TABLE, or the copy a cell holds: a constant rate
// (m3/s, positive out of the aquifer) or the time series of an index entry.
struct well_record {
    int key = 0;          // well ID in the table; active cell number in the cell list
    int uses_series = 0;  // non-zero: the rate comes from time series `series`
    double rate = 0.0;    // m3/s
    int series = 0;       // TIME_SERIES_INDEX number
};

// What the groundwater steps moved into (positive) or out of the aquifer
// over the run (m3). `sources` is the net of every source and sink the
// solver applied; the others break it down for the summaries, except
// `head_boundary` and `floor_added`, which stand beside it in the balance,
// and `beyond_porosity`, which stands beside the aquifer's volume.
struct gw_run_totals {
    double sources = 0.0;
    double unsat_into_gw = 0.0;   // exchange with the soil columns (positive into the aquifer)
    double recharge = 0.0;        // drainage out of the soil bottom
    double head_boundary = 0.0;   // through the faces of fixed-head cells (positive into the aquifer)
    double leakage = 0.0;         // to the deep aquifer (out)
    double pumping = 0.0;         // by the wells (out; injection counts negative)
    double tile_drains = 0.0;     // taken by the tile drains (out)
    double river_to_gw = 0.0, gw_to_river = 0.0;
    double lakes_to_gw = 0.0, gw_to_lakes = 0.0;
    double floor_added = 0.0;     // added by lifting heads back to the floor (in)
    // Held by the solved head changes beyond the aquifer's porosity: the
    // solve stores a change at the storage coefficient STOR (open water
    // above the ground, the soil's porosity in the soil stores, the
    // Richards nodes' saturated moisture), the volume counts it at the
    // porosity. Negative where STOR is the smaller.
    double beyond_porosity = 0.0;
};

// The head system of the groundwater solver and its factorisations
// (subsurface/groundwater_system.cpp).
struct gw_system;
struct gw_system_deleter {
    void operator()(gw_system* s) const;
};

// Preconditioner of the head system's conjugate gradient: chosen per pass
// by the step's stiffness, or held to one kind.
enum class gw_preconditioner { by_stiffness, diagonal, direct };

// Work of the groundwater solves of the run.
struct gw_solver_counts {
    long long picard_tries = 0;    // head systems solved, over the Picard passes
    long long iterations = 0;      // conjugate-gradient iterations, over the head systems
    long long factorisations = 0;  // complete factorisations made
};

constexpr int kSoilClasses = 10000;
// hmet_next once the weather data ran out during the last event: never due.
constexpr double kHmetDataEnded = -10.0;
constexpr int kRichardsTableLength = 151;

struct subsurface_state {
    subsurface_state() : soil_class(kSoilClasses) {}

    // Soil parameter maps.
    vec1<double> ks_map;      // saturated conductivity (m/s)
    vec1<double> hc_map;      // capillary head (m)
    vec1<double> phi_map;     // porosity
    vec1<double> lam_map;     // pore distribution index
    vec1<double> thr_map;     // residual moisture
    vec1<double> area_redux;  // infiltration rate factor

    // Infiltration (two distinct vectors share each of two names).
    vec1<double> thi, surf, infdep, infdep_prev, fav, theta_all, bottomfav, bottomfav_prev, infdep_all;
    // Green and Ampt with redistribution.
    vec1<double> teta_n;
    vec1<int> iter_pond_1, iter_n, no_wat_prof, iter_i_less_k;
    vec1<double> vinf_n, field_capacity, Wp;
    // Soil-moisture accounting.
    vec1<double> L1L2_Flux, soil_depth, Ws1, Ws1_L1, Ws1_L2, sm_inf_depth;
    vec1<double> gw_inf_redist_theta, sm_bottom_loss;
    vec1<double> bottomfav_2;  // drainage out of the bottom of the column over the run (cm)
    // Infiltrated depth the accounting has placed in the stores, and the
    // evapotranspiration it drew from the drainage of saturated cells (m,
    // summed over the cells).
    double infil_accounted_sum = 0.0;
    double gw_et_depth_sum = 0.0;
    soil_run_totals soil_totals;
    vec1<double> topo_dex;
    // Layered soils and the Richards column.
    vec1<int> soiltype;
    vec1<double> wetdep;
    // Multi-layer: each cell's own layer moistures, which the cells of one
    // soil class do not share.
    vec1<soil_layer_moisture> layer_theta;
    vec1<double> VOLCHANGE, MASSERROR, dtr, avgks, totaldz;
    vec1<int> num1, num2, num3;  // kRichardsTableLength + 1 elements
    vec1<int> numcells, numtot, bound_type;
    vec1<double> inf_rich;
    int richards_table_length = 0;
    richards_columns richards;  // the soils and node columns of the Richards method

    // Water table and groundwater.
    vec1<int> gwbound;  // 4 river boundary, 7 lake boundary
    vec1<double> river_source;
    vec1<double> elevgw;       // water-table elevation (m)
    vec1<double> gw_flux;
    vec1<double> bottom_elev;  // aquifer-bottom elevation (m)
    vec1<double> Adummy, Bdummy, Ddummy, Edummy, Fdummy, Hdummy, Qdummy;  // solver scratch
    vec1<double> gw_unsat_exchange;
    vec1<int> num_unsat_cells;
    vec1<double> qwell, qwell_static, source, elevgw_old, TXX, TYY, DELX, DELY, STOR,
        gw_array_porosity, gw_Kx_hycond, gw_Ky_hycond;
    vec1<double> exfiltrate;  // with a water table
    vec1<double> PHEADOLD;    // previous heads of the Richards, groundwater or channel solution
    int richards_max_nodes = 0;  // largest node count of a Richards soil column
    int num_static_cells = 0;    // static-flux groundwater cells
    // Well locations of the well-level output, entries 1..well_count.
    int well_count = 0;
    vec1<int> well_row, well_column;
    // The WELL_TABLE rows while the well index map is read, newest last (an
    // ID given twice: the later row counts), and every cell's well.
    std::vector<well_record> well_table, cell_wells;
    int well_table_given = 0;

    // Groundwater solver work, allocated at set-up: the heads at the start
    // of the sub-step and of the last Picard iterate; the head system, made
    // on the first solve.
    vec1<double> elevgw_substep, elevgw_iter1;
    std::unique_ptr<gw_system, gw_system_deleter> gw_linear;
    gw_preconditioner gw_preconditioner_choice = gw_preconditioner::by_stiffness;
    gw_solver_counts gw_counts;
    gw_run_totals gw_totals;
    double gw_recharge_this_event = 0.0;  // m3, drainage the aquifer took in the event
    double gw_floor_added_this_event = 0.0;  // m3, added by the floor in the event

    // Long-term simulation.
    vec1<double> alb, Ts, fTs, snowdepth, CFGI, root_depth, DIRECT_EVAP, pot_et, pot_aet;
    vec1<double> veg, Kt, Rs;
    // Interception.
    vec1<double> icep_stor, icep_coef, icep_dep, ri_eff;

    double snow_latent_heat = 80.0;    // heat to melt one unit of snow depth (cal/cm3)
    double snow_longwave_loss = 27.0;  // cal/cm2 per hour
    int gw_buffer = 1;                 // the groundwater step alternates 1 and 2
    int satsource_output = 1;          // write "satsource_file" at the end of the run

    std::vector<soil_class_record> soil_class;  // indexed by soil class number

    // Interval clocks (Julian days; each interval also in seconds).
    double hmet_interval_sec = 0.0, hmet_interval = 0.0, hmet_last = 0.0;
    double hmet_next = 0.0;  // kHmetDataEnded when the data ran out during the last event
    double gw_interval_sec = 0.0, gw_interval = 0.0, gw_last = 0.0, gw_next = 0.0;
    double gw_timestep = 0.0;  // GW_TIMESTEP (s)
    double sacramento_interval_sec = 0.0, sacramento_interval = 0.0, sacramento_next = 0.0;
    double inf_interval_sec = 0.0, inf_interval = 0.0, inf_last = 0.0, inf_next = 0.0;
    double soil_et_interval_sec = 0.0, soil_et_interval = 0.0, soil_et_last = 0.0;
    double soil_et_next = 0.0;

    // Dates of the first and last hydrometeorological records (hour 24 already
    // rolled to hour 0 of the next day).
    date_record hmet_first_record;
    date_record hmet_last_record;

    int richards_water_table = 0;  // the Richards soil set-up found a water table
    int gw_exfiltration = 0;       // some cell starts below the water table and exfiltrates
    int redist_event_init = 0;     // redistribution is to initialise its event state

    // Hydrometeorological record: the scan counts its calls and records.
    int hmet_call_count = 0;
    int hmet_record_count = 0;
    int hmet_points_repaired = 0;  // missing values replaced by an earlier one
    // The record of the current hour.
    double hmet_direct_rad = 0.0;    // unit of the file (Surface Airways: tenths of it)
    double hmet_global_rad = 0.0;    // unit of the file (Surface Airways: tenths of it)
    double hmet_sky_cover = 0.0;     // tenths
    double hmet_air_temp = 0.0;      // deg C
    double hmet_rel_humidity = 0.0;  // percent
    double hmet_pressure = 0.0;      // mbar
    double hmet_wind_speed = 0.0;    // m/s
    date_record hmet_record_date;    // date and hour of the record just read
    // SAMSON files: the station of the file header (decimal degrees).
    std::string hmet_station_name;
    double hmet_station_lat = 0.0, hmet_station_lon = 0.0;
    hmet_reader hmet_reader_state;  // kept between reads
    int snow_present = 0;           // some cell holds snow
    // Basin averages of the last hydrometeorology step over the cells outside
    // the lakes: infiltration rate (cm/h), drainage out of the soil bottom
    // (cm), soil moisture, and the soil evapotranspiration of the hour (cm).
    double basin_avg_infil = 0.0, basin_avg_bottom_flux = 0.0, basin_avg_theta = 0.0;
    double basin_aet_depth = 0.0;
    double soil_et_volume_last = 0.0;  // soil_et_volume at the last hydrometeorology step (m3)

    int exfil_present = 0;    // some cell starts saturated and exfiltrates
    int any_exfil = 0;        // some cell's water table stands at or above the ground now
    // Water remains on the surface, or exfiltration began, between events:
    // the infiltration clock keeps its short interval while it is set.
    int water_pending = 0;

    // Green and Ampt: per cell the capillary head times the moisture deficit
    // (m), formed from the run's initial moisture at the first infiltration
    // call of the run.
    vec1<double> SFM;
    int gar_step_count = 1;  // infiltration steps of redistribution, from 1

    // Starting totals of the run (m3).
    double soil_water_total = 0.0;    // soil water of the accounting stores
    double soil_water_at_start = 0.0;
    double initial_gw_volume = 0.0;
    double initial_soil_volume_wt = 0.0;  // unsaturated soil above the water table
    double initial_richards_volume = 0.0;

    // Volumes (m3).
    double volume_of_water_exfiltrated = 0.0;
    double beginning_vol_water_exfiltrated_this_event = 0.0;
    double total_vol_water_exfiltrated_this_run = 0.0;
    // Depth infiltrated since the Sacramento accounting started, summed over
    // the cells (m).
    double sac_infil_depth = 0.0;
    // Soil evapotranspiration: the depth of the last accounting or Richards
    // step summed over the cells (m), and running volumes (m3).
    double soil_et_step_depth = 0.0;
    double soil_et_volume = 0.0;
    double volume_of_total_evaporation = 0.0;

    // Working switches copied from the cards.
    int green_ampt_on = 0;
    int inf_redist_on = 0;
    int inf_layered_on = 0;
    int inf_richards_on = 0;
    int soil_et_accounting = 0;
    int soil_et_event_end = 0;  // the soil accounting is told the event ended
    int conductivity_given = 0;
    int capillary_given = 0;
    int porosity_given = 0;
    int pore_index_given = 0;
    int residual_sat_given = 0;
    int area_reduction_given = 0;
    int sacramento_given = 0;
    int topo_index = 0;
    int water_table_given = 0;
    int gw_simulation = 0;
    int et_calc_penman = 0;
    int et_calc_deardorff = 0;
    int seasonal_rs = 0;
    int interception = 0;
    int storage_capacity_given = 0;
    std::string storage_capacity;
    int interception_coeff_given = 0;
    std::string interception_coeff;

    // Soil parameter maps and infiltration options.
    std::string conductivity, capillary, porosity, pore_index, residual_sat;
    int moisture_given = 0;
    std::string moisture;
    int uniform_moisture_on = 0;
    double uniform_theta = 0.0;  // uniform initial soil water content
    std::string area_reduction;
    std::string soil_type_map;
    std::string soil_layer_input_file;
    int inf_redist_continuous = 0;  // redistribution carries on between events
    double soil_moist_depth = 0.0;    // cm
    double top_layer_depth = 0.0;     // cm
    double mixing_layer_depth = 0.0;  // cm

    // Hydrometeorology and evapotranspiration.
    std::string hmet_file;
    int hmet_surfaways_given = 0, hmet_samson_given = 0, hmet_kvl_given = 0;
    int albedo_given = 0, vheight_given = 0, tcoeff_given = 0, canopy_given = 0, wilting_point_given = 0;
    std::string albedo, vheight, tcoeff, canopy, wilting_point;

    // Richards solver.
    int richards_iter_max = 0;
    double richards_weight = 0.0;
    int richards_k_option = 0;  // 1 arithmetic, 2 geometric
    int richards_c_option = 0;  // 1 Brooks, 2 Havercamp
    double richards_dtheta_max = 0.0;
    int richards_upper_option = 0;

    // Water table and groundwater.
    std::string water_table;
    int gw_assign_theta = 0;
    double single_unsat_sat = 0.0;
    double gw_leakage_rate = 0.0;
    int gw_porosity_map_given = 0;
    std::string gw_porosity_map;
    int gw_unif_porosity_given = 0;
    double gw_unif_porosity = 0.0;
    int gw_hycond_map_given = 0;
    std::string gw_hycond_map;
    int gw_unif_hycond_given = 0;
    double gw_unif_hycond = 0.0;  // m/s
    std::string gw_fluxboundtable, gw_boundfile;
    int gw_output_given = 0;
    std::string gw_output;
    int gw_well_level_given = 0;
    std::string gw_well_level;
    std::string out_well_location;
    std::string aquifer_bottom;
    double aquifer_delta_z = 0.0;  // m
    int gw_flux_boundary = 0;

    // Sacramento soil-moisture accounting.
    int sac_uniform = 0;  // one parameter set for every cell
    std::string sacramento;
    sacramento_state sac;
};

}  // namespace kesta
