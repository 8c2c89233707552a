// The three run-parameter blocks: what the project file says, exactly as its
// cards give it. Only the project reader writes them; the run options turn
// them into the working members that the rest of the model reads.
//
// Every field is named after the card that fills it, in lower case. A field
// ending in `_given` is 1 when its card was read; a switch is 1 when its card
// was read. Texts hold a card's value whole, whatever its length.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kesta {

// Positions in `project_options::sorption_constants`, in card order.
enum sorption_index : int {
    sorption_no2_km, sorption_no3_km, sorption_nh4_km, sorption_on_km, sorption_op_km, sorption_dp_km,
    sorption_no2_koc, sorption_no3_koc, sorption_nh4_koc, sorption_on_koc, sorption_op_koc, sorption_dp_koc,
    kSorptionConstants
};

// Entries of the nutrient cards, in card order: the nine water species
// (NO2, NO3, NH4, ON, OP, DP, ALG, CBOD, DO), then for the overland initial
// values DOC, its organic-carbon fraction and the dispersion.
constexpr int kNutrientCardSpecies = 9;
constexpr int kOverlandInitialKinds = 12;

// Where the initial value of one nutrient entry comes from (OV_INIT_*,
// ST_INIT_* and the like).
struct zep_initial_source {
    int kind = 0;  // 1 map file, 2 mapping table, 3 uniform
    double value = 0.0;  // the uniform value (kind 3)
    std::string map_name;  // the map file (kind 1)
    std::string card;      // the card that chose the source, as the card table writes it
    int line = 0;          // its line in the project file; 0 when no card was given
};

// One species' output card (OUT_OV_*, OUT_ST_*, OUT_HYD_*): the file name
// its outputs are named from, flag 1 when the card was given.
struct zep_output_request {
    int flag = 0;
    std::string file_name;
};

// A line of the project file whose keyword names no card: the keyword as
// written and the cards of the table nearest to it (none when no card is
// close), so that an input the run then lacks can be traced to the line.
struct unknown_card {
    int line = 0;
    std::string keyword;
    std::vector<std::string> nearest;
};

struct project_options {
    std::string watershed_mask;
    std::string mapping_table;
    int mapping_table_given = 0;
    std::string materials;
    std::string elevation;
    std::string overland_lake_map;
    std::string overland_lake_file;
    int overland_lake_map_given = 0;
    std::string storm_sewer;
    std::string grid_pipe;
    int storm_sewer_given = 0;
    int superlink_c_opt = 0;
    std::string lake_output;
    int lake_output_given = 0;
    std::string dike_map;  // DIKE_MAP or EMBANKMENT
    std::string lowspot_file;
    std::string stream_cell;
    int initial_depth_given = 0;
    std::string initial_depth;
    std::string sacramento;  // SACRAMENTO or SACRAMENTO_PARS
    int sacramento_given = 0;
    int topo_index = 0;
    int long_term = 0;
    int strict_julian_date = 0;
    int overbank_flow = 0;
    int overland_backwater = 0;
    int non_ortho_channels = 0;  // also set by CHAN_EXPLIC and DIFFUSIVE_WAVE
    int dike_map_given = 0;
    int lowspot_file_given = 0;
    int head_bound = 0;
    double bound_depth = 0.0;  // m
    int bound_ts_given = 0;
    std::string bound_ts;
    double max_courant_number = 0.0;
    int explic_backwater_given = 0;
    int explic_hotstart_given = 0;
    int write_chan_hotstart_given = 0;
    int hotstart_is_depth = 0;
    std::string explic_backwater;  // EXPLIC_BACKWATER or WRITE_CHAN_HOTSTART
    std::string explic_hotstart;   // EXPLIC_HOTSTART or READ_CHAN_HOTSTART
    int read_chan_hotstart_given = 0;
    int stream_loss = 0;
    double k_river = 0.0;
    double m_river = 0.0;
    double first_order_chan_q = 0.0;
    double event_min_q = 0.0;       // m3/s
    double manning_n = 0.0;
    double soil_moist_depth = 0.0;  // m
    double top_layer_depth = 0.0;   // m
    double mixing_layer_depth = 0.0;  // m
    std::string hmet_file;  // named by whichever HMET_* card came last
    int hmet_surfaways = 0;
    int hmet_samson = 0;
    int hmet_kvl = 0;
    int storage_capacity_given = 0;
    std::string storage_capacity;
    int interception_coeff_given = 0;
    std::string interception_coeff;
    int roughness_given = 0;
    int manning_n_given = 0;
    std::string roughness;
    std::string soil_layer_input_file;
    std::string soil_type_map;
    int soil_erosion_given = 0;
    std::string soil_erodability;
    std::string crop_management;
    std::string conservation_practice;
    std::string sand_map;
    std::string silt_map;
    int in_sed_loc_given = 0;
    int outlet_sed_tss_given = 0;
    int out_tss_loc_given = 0;
    std::string in_sed_loc;
    std::string vol_sed_susp;
    std::string max_sed_flux;
    std::string net_sed_volume;
    std::string outlet_sed_flux;
    std::string outlet_sed_tss;
    std::string out_tss_loc;
    std::string out_sed_loc;
    int include_channel_depth = 0;
    int net_sed_volume_given = 0;
    int max_sed_flux_given = 0;
    int vol_sed_susp_given = 0;
    int adjust_elev_given = 0;
    std::string adjust_elev;
    double sand_size = 0.0;
    double silt_size = 0.0;
    double clay_size = 0.0;
    double water_temp = 0.0;
    double sed_porosity = 0.0;
    int soil_erosion = 0;
    double richards_weight = 0.0;
    double richards_dtheta_max = 0.0;
    int richards_k_option = 0;  // 1 arithmetic, 2 geometric
    int richards_c_option = 0;  // 1 Brooks, 2 Havercamp
    int richards_iter_max = 0;
    int overtype = 0;  // 1 explicit, 2 ADE, 3 ADE with predictor-corrector
    std::string water_table;
    std::string aquifer_bottom;
    double aquifer_delta_z = 0.0;  // m
    int water_table_given = 0;
    int richards_upper_option = 0;  // 0 none, 2 Green and Ampt, 3 average
    int seasonal_rs = 0;
    int conductivity_given = 0;
    std::string conductivity;
    int contam_map_given = 0;
    std::string contam_map;
    int capillary_given = 0;
    std::string capillary;
    int porosity_given = 0;
    std::string porosity;
    int moisture_given = 0;
    std::string moisture;
    int pore_index_given = 0;
    std::string pore_index;
    int albedo_given = 0;
    std::string albedo;
    int vheight_given = 0;
    std::string vheight;
    int tcoeff_given = 0;
    std::string tcoeff;
    int canopy_given = 0;
    std::string canopy;
    int wilting_point_given = 0;
    std::string wilting_point;
    int et_calc_penman = 0;
    int et_calc_deardorff = 0;
    int residual_sat_given = 0;
    std::string residual_sat;
    int retention_given = 0;  // a uniform retention depth is in `retention`
    double retention = 0.0;   // m
    int reten_depth_given = 0;  // a retention map is named
    std::string reten_depth;
    int area_reduction_given = 0;
    std::string area_reduction;
    int unif_area_reduction_given = 0;
    double unif_area_reduction = 0.0;
    int depth_given = 0;
    std::string depth;
    int inf_depth_given = 0;
    std::string inf_depth;
    int surf_moist_given = 0;
    std::string surf_moist;
    int rate_of_infil_given = 0;
    std::string rate_of_infil;
    int dis_rain_given = 0;
    std::string dis_rain;
    int chan_depth_given = 0;
    std::string chan_depth;
    int chan_sed_flux_given = 0;
    std::string chan_sed_flux;
    int discharge_given = 0;
    std::string discharge;
    int chan_discharge_given = 0;
    std::string chan_discharge;
    int chan_stage_given = 0;
    std::string chan_stage;
    int chan_velocity_given = 0;
    std::string chan_velocity;
    std::string channel_input;
    std::string optimize;
    int optimize_given = 0;
    std::string section_table;
    std::string links;
    std::string nodes;
    std::string dis_profile;
    std::string wat_surf_profile;
    std::string dis_profile_out;
    std::string wat_surf_profile_out;
    std::string summary;
    std::string outlet_hydro;
    std::string sig_outlet_hydro;
    int sig_outlet_hydro_given = 0;
    std::string tvm_hydro;
    int tvm_hydro_given = 0;
    std::string cell_hydro;
    int suppress_printing = 0;
    std::string in_hyd_location;
    std::string in_theta_location;
    std::string out_theta_location;
    std::string out_hyd_location;
    std::string out_dep_location;
    int in_hyd_location_given = 0;
    int out_dep_location_given = 0;
    int in_theta_location_given = 0;
    int no_cont_inf_redist = 0;
    std::string out_con_location;
    int out_con_location_given = 0;
    int out_mass_location_given = 0;
    std::string out_mass_location;
    int chan_con_trans = 0;
    std::string chan_point_input;
    double chan_decay_coef = 0.0;
    double chan_disp_coef = 0.0;
    double init_chan_conc = 0.0;
    int ov_con_trans = 0;
    int all_contam_output = 0;
    int soil_contam = 0;  // SOIL_CONTAM or SOIL_CON_TRANS
    int soil_static_conc = 0;
    int sediment_contam = 0;
    std::string ov_point_source;
    int ov_con_map_given = 0;
    std::string ov_con_map;
    int ov_point_source_given = 0;
    double ov_decay_coef = 0.0;
    double ov_disp_coef = 0.0;
    double ov_mass_load = 0.0;
    double ov_uptake_rate = 0.0;
    double kinetics_timestep_factor = 0.0;
    int gw_simulation = 0;
    int gw_assign_theta = 0;
    // GW_LSOR_DIR, GW_LSOR_CON and GW_RELAX_COEFF: read, as older project
    // files give them, and otherwise unused (the groundwater solve converges
    // on each step's balance).
    int gw_lsor_dir = 0;
    int gw_lsor_dir_given = 0;
    double gw_lsor_con = 0.0;
    int gw_lsor_con_given = 0;
    double gw_relax_coeff = 0.0;
    int gw_relax_coeff_given = 0;
    double gw_timestep = 0.0;  // s
    double single_unsat_sat = 0.0;
    double gw_leakage_rate = 0.0;
    std::string gw_fluxboundtable;  // GW_FLUXBOUNDTABLE or GW_FLUX_BOUNDTABLE
    std::string gw_boundfile;
    std::string gw_output;
    int gw_output_given = 0;
    int gw_boundfile_given = 0;
    double gw_unif_porosity = 0.0;
    int gw_unif_porosity_given = 0;
    int gw_porosity_map_given = 0;
    std::string gw_porosity_map;
    double gw_unif_hycond = 0.0;
    int gw_unif_hycond_given = 0;
    int gw_hycond_map_given = 0;
    std::string gw_hycond_map;
    int gw_well_level_given = 0;
    std::string gw_well_level;
    std::string out_well_location;
    int htp = 0;
    int olma_given = 0;
    int htp_event_num = 0;  // -1 when the card gives no number
    int htp_event_num_given = 0;
    std::string olma;
    int olma_first = 0;
    int moist_to_olma_given = 0;
    int ksat_to_olma_given = 0;
    int rough_to_olma_given = 0;
    int poros_to_olma_given = 0;
    int erosivity_to_olma_given = 0;
    int crop_fact_to_olma_given = 0;
    int net_erosion_to_olma_given = 0;
    std::string moist_to_olma;
    std::string ksat_to_olma;
    std::string rough_to_olma;
    std::string poros_to_olma;
    std::string erosivity_to_olma;
    std::string crop_fact_to_olma;
    std::string net_erosion_to_olma;
    int moist_from_olma_given = 0;
    int ksat_from_olma_given = 0;
    int rough_from_olma_given = 0;
    int erosivity_from_olma_given = 0;
    int crop_fact_from_olma_given = 0;
    int et_demand_from_olma_given = 0;
    std::string moist_from_olma;
    std::string ksat_from_olma;
    std::string rough_from_olma;
    std::string erosivity_from_olma;
    std::string crop_fact_from_olma;
    std::string et_demand_from_olma;
    int flush_buffer_given = 0;
    int flush_buffer = 0;
    int xwindows = 0;
    int xrain = 0;
    int xdepth = 0;
    int xinfdep = 0;
    int xsurf = 0;
    int x_freq = 0;
    int xchan = 0;
    int xwin_width = 0;
    int xwin_height = 0;
    int xbig = 0;
    int pause = 0;
    double m_lake = 0.0;
    int flood_grid_given = 0;
    std::string flood_grid;
    int flood_stream_given = 0;
    std::string flood_stream;
    int ov_boundary = 0;
    int use_wells = 0;
    int lake_pump_given = 0;
    std::string lake_pump;
    std::string pexlo_file;
    std::string pexlo_base_grid;
    std::string pexlo_base_stream;
    std::string pexlo_datasetgroup;
    int pexlo_compression = 0;
    int stream_info = 0;
    int nutrients = 0;
    // The nutrient cards, which need NUTRIENTS before them. AQ_ENV: the
    // aquatic environment file.
    std::string aq_env;
    // OV_INIT_NO2 ... OV_INIT_DO, OV_DOC_INIT, OV_DOC_FOC, OV_DISPERSION and
    // ST_INIT_NO2 ... ST_INIT_DO, indexed from 0 in card order.
    std::array<zep_initial_source, kOverlandInitialKinds> ov_init;
    std::array<zep_initial_source, kNutrientCardSpecies> st_init;
    // OUT_OV_*, OUT_ST_* and OUT_HYD_* (at the outlet), indexed from 0 in
    // species order.
    std::array<zep_output_request, kNutrientCardSpecies> out_ov;
    std::array<zep_output_request, kNutrientCardSpecies> out_st;
    std::array<zep_output_request, kNutrientCardSpecies> out_hyd;
    int ov_init_depth_given = 0;
    int write_ov_hotstart_given = 0;
    std::string write_ov_hotstart;
    std::string ov_init_depth;  // OV_INIT_DEPTH or READ_OV_HOTSTART
    int ov_pump_given = 0;
    std::string ov_pump;
    double init_elev_head = 0.0;
    int init_elev_head_given = 0;
    int fyssi_given = 0;
    std::string fyssi;
    int daily_output_given = 0;
    std::string daily_output;
    int super_quiet = 0;
    int vq_input_given = 0;
    std::string vq_input;
    int vq_fluxes = 0;
    std::string vq_nodes_to_segs;
    std::string vq_segment_map;
    std::string vq_segment_fluxes;
    int calib_comp_data = 1;  // 0 daily, 1 event, 2 unset
    std::string calib_obs_data;
    int calib_obj_func = 1;   // 0 RMSE, 1 HMLE, 2 unset
    int pipe_head_given = 0;
    int pipe_tile_given = 0;
    int pipe_flow_given = 0;
    std::string pipe_head;
    std::string pipe_tile;
    std::string pipe_flow;
    int st_mapping_table_given = 0;
    std::string st_mapping_table;
    int analyzers_given = 0;
    std::string analyzers;
    double chan_ph = 0.0;
    int total_ov_n_given = 0;
    int total_ov_p_given = 0;
    int total_chan_n_given = 0;
    int total_chan_kn_given = 0;
    int total_chan_p_given = 0;
    std::string total_ov_n;
    std::string total_ov_p;
    std::string total_chan_n;
    std::string total_chan_kn;
    std::string total_chan_p;
    int soils_zep_p = 0;  // 2 when the card is given
    int soils_zep_n = 0;
    int soils_zep_c = 0;
    // Empty until the first sorption card; then kSorptionConstants values.
    std::vector<double> sorption_constants;
    std::string sourcefile;
    int sourcefile_given = 0;
    // Files read as soon as their card is met, kept so that no output of the
    // run is opened over them: one entry per card, in file order.
    std::vector<std::string> time_series_file;
    std::vector<std::string> elev_series_file;
    std::string replace_params;
    std::string replace_vals;
    // The keyword of every card acted on, as the card table spells it, in
    // file order (a card given twice is listed twice).
    std::vector<std::string> cards_read;
    std::vector<unknown_card> unknown_cards;  // in file order
};

struct run_params {
    int units = 0;
    int rows = 0;
    int cols = 0;
    double gridsize = 0.0;  // m
    int tot_time = 0;
    double timestep = 0.0;  // s
    int start_day = 0, start_month = 0, start_year = 0, start_hour = 0, start_minute = 0;
    int outrow = 0;
    int outcol = 0;
    double latitude = 32.0;    // degrees
    double longitude = -90.0;  // degrees
    double gmt = 0.0;
    int gmt_given = 0;
    int qout_cfs = 0;
    int quiet = 0;
    double outslope = 0.0;
    double hyd_freq = 0.0;  // min
    int map_freq = 0;       // min
    int map_type = 0;       // 0 GRASS ASCII, 1 ASCII datasets, 2 binary datasets, 4 PEXLO
    int open_failed = 0;    // the project file could not be opened
    int open_errno = 0;     // why: the errno of the failed open
    int infiltration = 0;   // 0 none, 1 Green and Ampt, 2 with redistribution, 3 layered, 4 Richards
    int chan_routing = 0;   // 0 none, 1 Preissmann, 2 drain, 3 explicit, 4 mesh, 5 backwater
    int end_day = 0, end_month = 0, end_year = 0, end_hour = 0, end_minute = 0;
    double st_time_step = 0.0;
    int gw_flux_boundary = 0;
};

struct rain_params {
    int precip_source = 0;  // 0 uniform, 1 the precipitation file
    int rain_interp = 1;    // 0 inverse distance, 1 Thiessen
    double rain_intensity = 0.0;  // mm/h
    int rain_duration = 0;        // min
    std::string precip_file;
};

}  // namespace kesta
