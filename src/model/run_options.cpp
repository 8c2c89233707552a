// The first two start-up steps: the project file read into the run-parameter
// blocks and translated into the working members the model reads, then the
// combinations of options the model cannot run refused.
#include "model/run_options.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/card_reference.hpp"
#include "input/mapping_tables.hpp"
#include "input/project_file.hpp"
#include "input/stream_mapping_tables.hpp"
#include "model/model_state.hpp"
#include "output/vq_inflow.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

const char* const kExchangeFolder = "exchange/";

// The water the sediment settles in and the nutrients react in is liquid:
// at most at the boiling point at sea level (degrees C). A colder value is
// taken as 0.
constexpr double kHottestWater = 100.0;
// The pH scale of water.
constexpr double kLowestPh = 0.0;
constexpr double kHighestPh = 14.0;

// WATER_TEMP and CHAN_PH where a process of the run takes them: the
// temperature scales every nutrient rate by theta^(T - 20) and the
// viscosity of the settling, the pH the share of un-ionised ammonia.
void check_water_cards(const model_state& m) {
    const project_options& po = m.project_options;
    const std::string& p = m.project_file;
    const bool water_temp_read = m.soil_erosion_given || m.nutrients;
    if (water_temp_read && !(po.water_temp <= kHottestWater))
        return store_refusal(format_text("Error: WATER_TEMP %s in project file %s: the water temperature is in "
                                         "degrees C and at most %g, the boiling point of water (a value below 0 "
                                         "counts as 0).\n",
                                         exact_number(po.water_temp).c_str(), p.c_str(), kHottestWater));
    if (water_temp_read && po.water_temp < 0.0)
        warn(format_text("Warning: WATER_TEMP %g in project file %s is below 0: the water counts as 0 degrees C "
                         "for %s.\n",
                         po.water_temp, p.c_str(),
                         !m.nutrients          ? "the settling"
                         : m.soil_erosion_given ? "the settling and the nutrient reactions"
                                                : "the nutrient reactions"));
    if (m.nutrients && !(po.chan_ph >= kLowestPh && po.chan_ph <= kHighestPh))
        return store_refusal(format_text("Error: CHAN_PH %g in project file %s: the pH of water lies from %g to "
                                         "%g.\n",
                                         po.chan_ph, p.c_str(), kLowestPh, kHighestPh));
}

void translate_channel(model_state& m) {
    const project_options& po = m.project_options;
    m.chan_routing = 0;
    m.chan_alt_routing = 0;
    m.chan_implicit_routing = 0;
    m.chan_drain_init = 0;

    m.chan_depth_given = po.chan_depth_given;
    m.chan_discharge_given = po.chan_discharge_given;
    m.chan_stage_given = po.chan_stage_given;
    m.chan_velocity_given = po.chan_velocity_given;
    m.chan_sed_flux_given = po.chan_sed_flux_given;
    m.max_courant_number = po.max_courant_number;

    switch (m.run_params.chan_routing) {
        case 3:  // CHAN_EXPLIC, DIFFUSIVE_WAVE
            m.chan_routing = 1;
            break;
        case 1:  // CHAN_PREISS
        case 5:  // CHAN_BACKWATER: the implicit scheme started by backwater
            m.chan_implicit_routing = 1;
            break;
        case 2:  // CHAN_DRAIN: the implicit scheme started by draining
            m.chan_implicit_routing = 1;
            m.chan_drain_init = 1;
            break;
        case 4:  // CHAN_MESH
            m.chan_alt_routing = 1;
            break;
        default:  // no channel routing
            break;
    }

    if (m.chan_routing != 1) return;
    m.overbank_flow = po.overbank_flow;
    m.overland_backwater = po.overland_backwater;
    m.head_bound = po.head_bound;
    m.bound_depth = po.bound_depth;
    m.bound_ts_given = po.bound_ts_given;
    m.bound_ts = po.bound_ts;
    m.k_river = po.k_river;
    m.m_river = po.m_river;
    m.m_lake = po.m_lake;
    m.hotstart_is_depth = po.hotstart_is_depth;
    m.stream_loss = po.stream_loss;
    m.first_order_chan_q = po.first_order_chan_q;
    m.chan_decay_coef = po.chan_decay_coef;
    m.chan_disp_coef = po.chan_disp_coef;
    m.init_chan_conc = po.init_chan_conc;
    m.out_con_location_given = po.out_con_location_given;
    m.out_con_location = po.out_con_location;
    m.out_mass_location_given = po.out_mass_location_given;
    m.out_mass_location = po.out_mass_location;
    m.chan_con_trans = po.chan_con_trans;
    m.stream_cell_given = 1;
    m.stream_cell = po.stream_cell;
    m.chan_hotstart_write = po.explic_backwater_given || po.write_chan_hotstart_given;
    m.chan_hotstart_read = po.explic_hotstart_given || po.read_chan_hotstart_given;
    if (po.chan_con_trans == 1) m.con_trans_any = 1;
}

void translate_infiltration(model_state& m) {
    const project_options& po = m.project_options;
    m.green_ampt_on = 0;
    m.inf_redist_on = 0;
    m.inf_layered_on = 0;
    m.inf_richards_on = 0;
    switch (m.run_params.infiltration) {
        case 1:
            m.green_ampt_on = 1;
            break;
        case 2:
            m.inf_redist_on = 1;
            m.soil_et_accounting = 1;
            m.inf_redist_continuous = po.no_cont_inf_redist ? 0 : 1;
            break;
        case 3:
            m.inf_layered_on = 1;
            m.soil_et_accounting = 1;
            break;
        case 4:
            m.inf_richards_on = 1;
            break;
        default:  // no infiltration
            break;
    }
    m.moisture_given = m.mapping_table_given ? 1 : po.moisture_given;
    m.uniform_moisture_on = 0;
}

void translate_subsurface_water(model_state& m) {
    const project_options& po = m.project_options;
    m.richards_iter_max = po.richards_iter_max;
    m.richards_weight = po.richards_weight;
    m.richards_k_option = po.richards_k_option;
    m.richards_c_option = po.richards_c_option;
    m.richards_dtheta_max = po.richards_dtheta_max;
    m.richards_upper_option = po.richards_upper_option;
    m.water_table_given = po.water_table_given;
    if (po.water_table_given) {
        m.gw_assign_theta = po.gw_assign_theta;
        m.water_table = po.water_table;
        m.gw_simulation = po.gw_simulation;
        // The Richards columns reach down to the aquifer bottom in nodes of
        // this spacing, with or without the groundwater solve.
        m.aquifer_delta_z = po.aquifer_delta_z;
        if (m.gw_simulation) {
            m.stream_loss = 1;  // the aquifer and the channels always trade water
            m.gw_timestep = po.gw_timestep;
            m.single_unsat_sat = po.single_unsat_sat;
            m.gw_leakage_rate = po.gw_leakage_rate;
            m.gw_porosity_map_given = po.gw_porosity_map_given;
            m.gw_porosity_map = po.gw_porosity_map;
            m.gw_unif_porosity_given = po.gw_unif_porosity_given;
            m.gw_unif_porosity = po.gw_unif_porosity;
            m.gw_hycond_map_given = po.gw_hycond_map_given;
            m.gw_hycond_map = po.gw_hycond_map;
            m.gw_unif_hycond_given = po.gw_unif_hycond_given;
            m.gw_unif_hycond = po.gw_unif_hycond;
            m.gw_fluxboundtable = po.gw_fluxboundtable;
            m.gw_boundfile = po.gw_boundfile;
            m.gw_output = po.gw_output;
            m.gw_well_level_given = po.gw_well_level_given;
            m.gw_well_level = po.gw_well_level;
            m.gw_output_given = po.gw_output_given;
            m.out_well_location = po.out_well_location;
            m.aquifer_bottom = po.aquifer_bottom;
        }
    }

    m.sacramento_given = po.sacramento_given;
    if (m.sacramento_given) {
        m.sac_uniform = 1;
        m.topo_index = po.topo_index;
        if (m.topo_index) m.sac_uniform = 0;
        m.sacramento = po.sacramento;
    }

    // The Green and Ampt table stands in for the soil maps of the methods
    // that read it.
    const bool ga_table = (m.green_ampt_on || m.inf_redist_on || po.long_term) &&
                          m.mapping_table_info.green_ampt;
    m.conductivity_given = po.conductivity_given || ga_table;
    m.capillary_given = po.capillary_given || ga_table;
    m.porosity_given = po.porosity_given || ga_table;
    m.pore_index_given = po.pore_index_given || ga_table;
    m.residual_sat_given = po.residual_sat_given || ga_table;
}

void translate_rain(model_state& m) {
    const rain_params& rain = m.rain_params;
    const run_params& rp = m.run_params;
    m.uniform_rain = 0;
    m.rain_from_file = 0;
    m.rain_inv_distance = 0;
    m.rain_thiessen = 0;
    if (rain.precip_source == 0) {
        m.uniform_rain = 1;
        m.rain_intensity = rain.rain_intensity;
        m.rain_duration = static_cast<double>(rain.rain_duration);
        m.year = rp.start_year;
        m.month = rp.start_month;
        m.day = rp.start_day;
        m.hour = rp.start_hour;
        m.minute = rp.start_minute;
        m.second = 0;
        m.start_hhmm = m.hour * 100 + m.minute;
        m.start_yyyymmdd = m.year * 10000 + m.month * 100 + m.day;
        m.precip_year = m.year;
        m.precip_month = m.month;
        m.precip_day = m.day;
        m.precip_hour = m.hour;
        m.precip_minute = m.minute;
        m.raining = 1;
        m.time = julday(m.year, m.month, m.day, m.hour, m.minute, 0.0);
        m.precip_start_time = m.time;
        m.precip_next_period_time = m.time;
        m.precip_next_time = m.time;
    } else if (rain.precip_source == 1) {
        m.rain_from_file = 1;
        m.raining = 0;
        if (rain.rain_interp == 0) m.rain_inv_distance = 1;
        if (rain.rain_interp == 1) m.rain_thiessen = 1;
    }
}

void translate_exchange(model_state& m) {
    const project_options& po = m.project_options;
    const std::string folder = kExchangeFolder;
    m.htp = po.htp;
    m.olma_given = po.olma_given;
    m.olma = folder + po.olma;
    m.htp_event_num = po.htp_event_num;
    m.htp_event_num_given = po.htp_event_num_given;
    m.olma_first = po.olma_first;

    struct exchange_file {
        int model_state::*given;
        std::string model_state::*path;
        int project_options::*card_given;
        std::string project_options::*card_name;
    };
    static const exchange_file kFiles[] = {
        {&model_state::moist_to_olma_given, &model_state::moist_to_olma,
         &project_options::moist_to_olma_given, &project_options::moist_to_olma},
        {&model_state::ksat_to_olma_given, &model_state::ksat_to_olma,
         &project_options::ksat_to_olma_given, &project_options::ksat_to_olma},
        {&model_state::rough_to_olma_given, &model_state::rough_to_olma,
         &project_options::rough_to_olma_given, &project_options::rough_to_olma},
        {&model_state::poros_to_olma_given, &model_state::poros_to_olma,
         &project_options::poros_to_olma_given, &project_options::poros_to_olma},
        {&model_state::erosivity_to_olma_given, &model_state::erosivity_to_olma,
         &project_options::erosivity_to_olma_given, &project_options::erosivity_to_olma},
        {&model_state::crop_fact_to_olma_given, &model_state::crop_fact_to_olma,
         &project_options::crop_fact_to_olma_given, &project_options::crop_fact_to_olma},
        {&model_state::net_erosion_to_olma_given, &model_state::net_erosion_to_olma,
         &project_options::net_erosion_to_olma_given, &project_options::net_erosion_to_olma},
        {&model_state::moist_from_olma_given, &model_state::moist_from_olma,
         &project_options::moist_from_olma_given, &project_options::moist_from_olma},
        {&model_state::ksat_from_olma_given, &model_state::ksat_from_olma,
         &project_options::ksat_from_olma_given, &project_options::ksat_from_olma},
        {&model_state::rough_from_olma_given, &model_state::rough_from_olma,
         &project_options::rough_from_olma_given, &project_options::rough_from_olma},
        {&model_state::erosivity_from_olma_given, &model_state::erosivity_from_olma,
         &project_options::erosivity_from_olma_given, &project_options::erosivity_from_olma},
        {&model_state::crop_fact_from_olma_given, &model_state::crop_fact_from_olma,
         &project_options::crop_fact_from_olma_given, &project_options::crop_fact_from_olma},
        {&model_state::et_demand_from_olma_given, &model_state::et_demand_from_olma,
         &project_options::et_demand_from_olma_given, &project_options::et_demand_from_olma},
    };
    for (const exchange_file& f : kFiles) {
        m.*f.given = po.*f.card_given;
        m.*f.path = folder + po.*f.card_name;
    }
}

void translate_outputs(model_state& m) {
    const project_options& po = m.project_options;
    m.map_grass = 0;
    m.map_tvm_ascii = 0;
    m.map_tvm_binary = 0;
    switch (m.run_params.map_type) {
        case 0:
            m.map_grass = 1;
            break;
        case 1:
            m.map_tvm_ascii = 1;
            break;
        case 2:
            m.map_tvm_ascii = 1;
            m.map_tvm_binary = 1;
            break;
        default:
            break;
    }

    m.depth_given = po.depth_given;
    m.include_channel_depth = po.include_channel_depth;
    m.dis_rain_given = po.dis_rain_given;
    m.inf_depth_given = po.inf_depth_given;
    m.surf_moist_given = po.surf_moist_given;
    m.chan_depth_given_2 = po.chan_depth_given;
    m.discharge_given = po.discharge_given;
    m.chan_discharge_given_2 = po.chan_discharge_given;
    m.chan_sed_flux_given_2 = po.chan_sed_flux_given;
    // No infiltration, no infiltration-rate maps.
    m.rate_of_infil_given = m.run_params.infiltration != 0 ? po.rate_of_infil_given : 0;

    m.in_hyd_location_given = po.in_hyd_location_given;
    m.out_dep_location_given = po.out_dep_location_given;
    m.in_theta_location_given = po.in_theta_location_given;
    m.ov_con_map_given = po.ov_con_map_given;
    m.ov_point_source_given = po.ov_point_source_given;
    m.sig_outlet_hydro_given = po.sig_outlet_hydro_given;
    m.lake_output_given = po.lake_output_given;
    m.sourcefile_given = po.sourcefile_given;
    m.gw_flux_boundary = m.run_params.gw_flux_boundary;

    m.chan_hotstart_depth_in = po.explic_hotstart;
    m.chan_hotstart_discharge_in = po.explic_hotstart;
    m.chan_hotstart_depth_out = po.explic_backwater + ".dht";
    m.chan_hotstart_discharge_out = po.explic_backwater + ".qht";

    m.uniform_theta = 0.15;
    m.retention_depth = po.retention_given ? po.retention : 0.0;
}

// Cards whose working copies are the card values unchanged.
void copy_unchanged(model_state& m) {
    const project_options& po = m.project_options;
    m.interception = po.interception_coeff_given;
    m.storage_capacity_given = po.storage_capacity_given;
    m.interception_coeff_given = po.interception_coeff_given;
    m.dike_map_given = po.dike_map_given;
    m.dike_map = po.dike_map;
    m.lowspot_file_given = po.lowspot_file_given;
    m.lowspot_file = po.lowspot_file;
    m.ov_con_trans = po.ov_con_trans;
    m.all_contam_output = po.all_contam_output;
    m.contam_map_given = po.contam_map_given;
    m.contam_map = po.contam_map;
    m.soil_contam = po.soil_contam;
    m.soil_static_conc = po.soil_static_conc;
    m.sediment_contam = po.sediment_contam;
    m.ov_decay_coef = po.ov_decay_coef;
    m.ov_disp_coef = po.ov_disp_coef;
    m.ov_mass_load = po.ov_mass_load;
    m.ov_uptake_rate = po.ov_uptake_rate;
    m.kinetics_timestep_factor = po.kinetics_timestep_factor;
    m.units = m.run_params.units;
    m.retention_given = po.retention_given;
    m.retention = po.retention;
    m.reten_depth_given = po.reten_depth_given;
    m.overtype = po.overtype;
    m.overland_lake_map_given = po.overland_lake_map_given;
    m.overland_lake_map = po.overland_lake_map;
    m.overland_lake_file = po.overland_lake_file;
    m.storm_sewer_given = po.storm_sewer_given;
    m.storm_sewer = po.storm_sewer;
    m.grid_pipe = po.grid_pipe;
    m.superlink_c_opt = po.superlink_c_opt;
    m.long_term = po.long_term;
    m.strict_julian_date = po.strict_julian_date;
    m.hmet_surfaways_given = po.hmet_surfaways;
    m.hmet_samson_given = po.hmet_samson;
    m.hmet_kvl_given = po.hmet_kvl;
    m.et_calc_penman = po.et_calc_penman;
    m.et_calc_deardorff = po.et_calc_deardorff;
    m.seasonal_rs = po.seasonal_rs;
    m.soil_erosion_given = po.soil_erosion_given;
    m.soil_erosion = po.soil_erosion;
    m.area_reduction_given = po.area_reduction_given;
    m.area_reduction = po.area_reduction;
    m.tvm_hydro_given = po.tvm_hydro_given;
    m.tvm_hydro = po.tvm_hydro;
    m.xwindows = po.xwindows;
    m.xdepth = po.xdepth;
    m.xrain = po.xrain;
    m.xinfdep = po.xinfdep;
    m.xsurf = po.xsurf;
    m.x_freq = po.x_freq;
    m.xchan = po.xchan;
    m.xwin_width = po.xwin_width;
    m.xwin_height = po.xwin_height;
    m.xbig = po.xbig;
    m.daily_output_given = po.daily_output_given;
    m.daily_output = po.daily_output;

    m.elevation = po.elevation;
    m.watershed_mask = po.watershed_mask;
    m.moisture = po.moisture;
    m.conductivity = po.conductivity;
    m.capillary = po.capillary;
    m.porosity = po.porosity;
    m.pore_index = po.pore_index;
    m.residual_sat = po.residual_sat;
    m.roughness = po.roughness;
    m.precip_file = m.rain_params.precip_file;
    m.links = po.links;
    m.nodes = po.nodes;
    m.channel_input = po.channel_input;
    m.section_table = po.section_table;
    m.summary = po.summary;
    m.outlet_hydro = po.outlet_hydro;
    m.sig_outlet_hydro = po.sig_outlet_hydro;
    m.lake_output = po.lake_output;
    m.storage_capacity = po.storage_capacity;
    m.interception_coeff = po.interception_coeff;
    m.reten_depth = po.reten_depth;
    m.out_hyd_location = po.out_hyd_location;
    m.out_dep_location = po.out_dep_location;
    m.chan_point_input = po.chan_point_input;
    m.out_con_location = po.out_con_location;
    m.out_mass_location = po.out_mass_location;
    m.ov_point_source = po.ov_point_source;
    m.in_theta_location = po.in_theta_location;
    m.out_theta_location = po.out_theta_location;
    m.contam_map = po.contam_map;
    m.in_hyd_location = po.in_hyd_location;
    m.albedo = po.albedo;
    m.vheight = po.vheight;
    m.tcoeff = po.tcoeff;
    m.canopy = po.canopy;
    m.wilting_point = po.wilting_point;
    m.materials = po.materials;
    m.soil_type_map = po.soil_type_map;
    m.soil_layer_input_file = po.soil_layer_input_file;
}

// A SOIL_EROSION value from here carries the sediment classes as
// constituents; less it, the value names the transport-capacity formula.
constexpr int kClassesAsConstituents = 10;

// With the classes carried as constituents the overland constituent
// transport carries them, and no sediment routine runs: the outputs of
// those routines are not written, each card that asks for one said once
// among the warnings.
void translate_soil_erosion(model_state& m) {
    project_options& po = m.project_options;
    m.sed_as_constituents = 0;
    if (!m.soil_erosion_given) return;
    m.sed_as_constituents = 1;
    if (m.soil_erosion < kClassesAsConstituents) return;
    m.sed_as_constituents = 2;
    m.soil_erosion -= kClassesAsConstituents;
    m.ov_con_trans = 1;
    const struct {
        const char* card;
        bool given;
    } outputs[] = {{"VOL_SED_SUSP", po.vol_sed_susp_given != 0},   {"MAX_SED_FLUX", po.max_sed_flux_given != 0},
                   {"NET_SED_VOLUME", po.net_sed_volume_given != 0}, {"OUTLET_SED_FLUX", !po.outlet_sed_flux.empty()},
                   {"OUTLET_SED_TSS", po.outlet_sed_tss_given != 0}, {"IN_SED_LOC", po.in_sed_loc_given != 0},
                   {"OUT_SED_LOC", !po.out_sed_loc.empty()},         {"OUT_TSS_LOC", po.out_tss_loc_given != 0},
                   {"CHAN_SED_FLUX", po.chan_sed_flux_given != 0},   {"ADJUST_ELEV", po.adjust_elev_given != 0},
                   {"FYSSI", po.fyssi_given != 0}};
    for (const auto& o : outputs) {
        if (!o.given) continue;
        warn(format_text("%s has no effect with SOIL_EROSION %d, which carries the sediment classes as "
                         "constituents: no sediment routine runs, and the classes are reported with the "
                         "constituents.\n",
                         o.card, po.soil_erosion));
    }
    po.vol_sed_susp_given = po.max_sed_flux_given = po.net_sed_volume_given = 0;
    po.outlet_sed_tss_given = po.in_sed_loc_given = po.out_tss_loc_given = 0;
    po.chan_sed_flux_given = po.adjust_elev_given = po.fyssi_given = 0;
    m.chan_sed_flux_given = m.chan_sed_flux_given_2 = 0;
}

// The card values turned into the working members, in an order where each
// rule sees the members the rules before it have set. `check_tables` false
// leaves the mapping tables unchecked (and so unused): a run that stops on
// its project file only needs the names its cards gave.
void translate_cards(model_state& m, bool check_tables) {
    const project_options& po = m.project_options;
    const mapping_table_info& tables = m.mapping_table_info;

    m.mapping_table_given = po.mapping_table_given;
    if (m.mapping_table_given) {
        m.mapping_table = po.mapping_table;
        if (check_tables) check_mapping_tables(m.mapping_table, m.mapping_table_info);
    }
    m.st_mapping_table_given = po.st_mapping_table_given;
    if (m.st_mapping_table_given) {
        m.st_mapping_table = po.st_mapping_table;
        if (check_tables) check_stream_mapping_table(m.st_mapping_table, m.st_mapping_table_info);
    }

    if (po.ov_con_trans == 1) {
        m.ov_con_trans_on = 1;
        m.con_trans_any = 1;
    }
    // A uniform roughness overrules the Roughness table, not a roughness map.
    m.roughness_given = po.manning_n_given ? po.roughness_given
                                           : (po.roughness_given || tables.roughness);
    m.manning_n_given = po.manning_n_given;
    m.manning_n = po.manning_n;
    m.chan_lakes_on = 0;
    m.wetlands_given = tables.wetlands;
    if (po.hmet_surfaways || po.hmet_samson || po.hmet_kvl) m.hmet_file = po.hmet_file;

    const int et_table = tables.evapotranspiration;
    m.albedo_given = po.albedo_given || et_table;
    m.vheight_given = po.vheight_given || et_table;
    m.tcoeff_given = po.tcoeff_given || et_table;
    m.canopy_given = po.canopy_given || et_table;
    m.wilting_point_given = po.wilting_point_given || et_table;

    // An event never ends on a discharge this small.
    m.event_min_q = po.event_min_q < 1e-5 ? 0.05 : po.event_min_q;
    // Metres to centimetres.
    m.soil_moist_depth = po.soil_moist_depth * 100.0;
    m.top_layer_depth = po.top_layer_depth * 100.0;
    m.mixing_layer_depth = po.mixing_layer_depth * 100.0;

    m.optimize_given = po.optimize_given;
    if (m.optimize_given) m.optimize = po.optimize;

    translate_channel(m);
    translate_infiltration(m);
    translate_subsurface_water(m);
    translate_rain(m);
    translate_exchange(m);
    translate_outputs(m);
    copy_unchanged(m);
    translate_soil_erosion(m);
}

// A project file that exists but cannot be read is not "not found": a folder
// given in its place, or a file the user may not read, is said as such.
void refuse_project_file(const std::string& name, int open_errno) {
    std::string file = name;
    strip_quotes(file);
    if (open_errno == EISDIR) {
        store_refusal(format_text("\nError: The specified project file is a folder, not a file.\n  (Folder: %s)\n",
                                  file.c_str()));
    } else if (open_errno != 0 && open_errno != ENOENT && open_errno != ENOTDIR) {
        store_refusal(format_text("\nError: The specified project file could not be read: %s.\n  (File: %s)\n",
                                  std::strerror(open_errno), file.c_str()));
    } else {
        g_error_record.fail(3);
        g_error_record.detail = "(File: " + file + ")";
    }
}

// The card that chose a channel routing other than CHAN_EXPLIC (the last
// channel routing card of the project decides).
const char* unbuilt_routing_card(const model_state& m) {
    switch (m.run_params.chan_routing) {
        case 1: return "CHAN_PREISS";
        case 2: return "CHAN_DRAIN";
        case 4: return "CHAN_MESH";
        case 5: return "CHAN_BACKWATER";
        default: return m.chan_alt_routing ? "CHAN_MESH" : "CHAN_PREISS";
    }
}

// A card the project gives that changes nothing is said once, so that a
// user who expects its file or its effect learns why there is none.
void warn_cards_without_effect(const project_options& po) {
    if (g_error_record.stop || g_parallel_env.world_rank() != 0) return;
    for (const std::string& card : cards_without_effect(po.cards_read)) {
        // NUM_THREADS says itself, as it is read, how the threads are chosen.
        if (card == "NUM_THREADS") continue;
        warn(format_text("Warning: card %s is read but has no effect in this program.\n", card.c_str()));
    }
}

// Process cards that another card's absence (or presence) leaves without
// effect. Each row names the card, whether it is idle without or with the
// other card(s), the condition under which it acts, and what then goes
// unsimulated; a card the project gives while its condition fails is said
// once among the warnings:
//   "<CARD> has no effect without <CARD>: <what is not simulated>."
// The output cards are in the table of output warnings, and cards that
// have no effect in this build are said with those.
struct idle_card {
    const char* card;
    const char* relation;  // "without" or "with"
    const char* other;
    bool (*acts)(const model_state&);
    const char* lost;
};

bool channel_routing(const model_state& m) { return m.chan_routing == 1; }
bool water_table(const model_state& m) { return m.water_table_given != 0; }
// The cards below GW_SIMULATION say nothing more when GW_SIMULATION itself
// is given and idle: its own warning covers them.
bool groundwater_card(const model_state& m) { return m.project_options.gw_simulation != 0; }
bool sacramento(const model_state& m) { return m.sacramento_given != 0; }
bool redistribution(const model_state& m) { return m.inf_redist_on != 0; }
bool not_layered(const model_state& m) { return !m.inf_layered_on; }
bool not_richards(const model_state& m) { return !m.inf_richards_on; }
bool storm_drains(const model_state& m) { return m.storm_sewer_given != 0; }
// The cards below a channel card say nothing more without channel routing:
// their warning without CHAN_EXPLIC covers them.
bool stream_seepage(const model_state& m) { return m.chan_routing != 1 || m.stream_loss; }
bool held_outlet(const model_state& m) { return m.chan_routing != 1 || m.head_bound; }
bool channel_constituents(const model_state& m) { return m.chan_routing != 1 || m.chan_con_trans; }
bool richards(const model_state& m) { return m.inf_richards_on != 0; }
// A layered run that names no SOIL_TYPE_MAP takes the index map of the
// Richards table RICHARDS_C_OPTION chooses.
bool richards_table_chosen(const model_state& m) {
    return m.inf_richards_on || (m.inf_layered_on && m.soil_type_map.empty() && m.mapping_table_given);
}
bool long_term(const model_state& m) { return m.long_term != 0; }

constexpr const char* kChannel = "CHAN_EXPLIC";
constexpr const char* kNoChannels = "no channel network is routed";
constexpr const char* kNoChannelConstituents = "no constituent is carried in the channels";
constexpr const char* kNoSeepage = "no water seeps through the stream beds";
constexpr const char* kNoOutletDepth = "no depth is held at the outlet node";
constexpr const char* kNoGroundwater = "no groundwater flow is simulated";
constexpr const char* kLayerTable =
    "the soil classes of SOIL_LAYER_INPUT_FILE give the soil's properties and initial water content";
constexpr const char* kRichardsTables =
    "the Richards columns take the soil's properties and initial water content from their soil tables";
constexpr const char* kNoRichards = "no soil water moves by the Richards equation";
constexpr const char* kNoEvapotranspiration = "no evapotranspiration is simulated";
constexpr const char* kInfiltrationMethod = "an infiltration method (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or "
                                            "INF_RICHARDS)";
constexpr const char* kNoInfiltration = "no water infiltrates the soil";

const idle_card kIdleCards[] = {
    {"CHANNEL_INPUT", "without", kChannel, channel_routing, kNoChannels},
    {"STREAM_CELL", "without", kChannel, channel_routing, "no stream cell trades water with a channel"},
    {"ST_MAPPING_TABLE", "without", kChannel, channel_routing, "no channel takes parameters from it"},
    {"CHAN_POINT_INPUT", "without", kChannel, channel_routing, "no point source or sink reaches the channels"},
    {"MAX_COURANT_NUMBER", "without", kChannel, channel_routing, kNoChannels},
    {"FIRST_ORDER_CHAN_Q", "without", kChannel, channel_routing, "no inflow enters the top nodes of the links"},
    {"OVERBANK_FLOW", "without", kChannel, channel_routing, "no channel water spills onto the cells"},
    {"OVERLAND_BACKWATER", "without", kChannel, channel_routing, "no channel holds back the water of its cells"},
    {"HEAD_BOUND", "without", kChannel, channel_routing, kNoOutletDepth},
    {"BOUND_DEPTH", "without", kChannel, channel_routing, kNoOutletDepth},
    {"BOUND_TS", "without", kChannel, channel_routing, kNoOutletDepth},
    {"STREAM_LOSS", "without", kChannel, channel_routing, kNoSeepage},
    {"K_RIVER", "without", kChannel, channel_routing, kNoSeepage},
    {"M_RIVER", "without", kChannel, channel_routing, kNoSeepage},
    {"EXPLIC_HOTSTART", "without", kChannel, channel_routing, "no channel hotstart is read"},
    {"READ_CHAN_HOTSTART", "without", kChannel, channel_routing, "no channel hotstart is read"},
    {"CHAN_CON_TRANS", "without", kChannel, channel_routing, kNoChannelConstituents},
    {"CHAN_DECAY_COEF", "without", kChannel, channel_routing, kNoChannelConstituents},
    {"CHAN_DISP_COEF", "without", kChannel, channel_routing, kNoChannelConstituents},
    {"INIT_CHAN_CONC", "without", kChannel, channel_routing, kNoChannelConstituents},
    {"K_RIVER", "without", "STREAM_LOSS", stream_seepage, kNoSeepage},
    {"M_RIVER", "without", "STREAM_LOSS", stream_seepage, kNoSeepage},
    {"BOUND_DEPTH", "without", "HEAD_BOUND", held_outlet, kNoOutletDepth},
    {"BOUND_TS", "without", "HEAD_BOUND", held_outlet, kNoOutletDepth},
    {"CHAN_DECAY_COEF", "without", "CHAN_CON_TRANS", channel_constituents, kNoChannelConstituents},
    {"CHAN_DISP_COEF", "without", "CHAN_CON_TRANS", channel_constituents, kNoChannelConstituents},
    {"INIT_CHAN_CONC", "without", "CHAN_CON_TRANS", channel_constituents, kNoChannelConstituents},
    {"GRID_PIPE", "without", "STORM_SEWER", storm_drains, "no cell exchanges water with the drains"},

    {"GW_SIMULATION", "without", "WATER_TABLE", water_table, kNoGroundwater},
    {"AQUIFER_BOTTOM", "without", "WATER_TABLE", water_table, "no aquifer lies below the soil"},
    {"AQUIFER_DELTA_Z", "without", "WATER_TABLE", water_table, "no Richards column reaches below its soil layers"},
    {"GW_TIMESTEP", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_LEAKAGE_RATE", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_POROSITY_MAP", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_UNIF_POROSITY", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_HYCOND_MAP", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_UNIF_HYCOND", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_FLUXBOUNDTABLE", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_FLUX_BOUNDTABLE", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"GW_BOUNDFILE", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"SINGLE_UNSAT_SAT", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},
    {"OUT_WELL_LOCATION", "without", "GW_SIMULATION", groundwater_card, kNoGroundwater},

    {"TOPO_INDEX", "without", "SACRAMENTO", sacramento, "no Sacramento soil-moisture accounting runs"},
    {"NO_CONT_INF_REDIST", "without", "INF_REDIST", redistribution, "no soil water redistributes between rains"},
    {"RICHARDS_K_OPTION", "without", "INF_RICHARDS", richards, kNoRichards},
    {"RICHARDS_C_OPTION", "without", "INF_RICHARDS", richards_table_chosen, kNoRichards},
    {"RICHARDS_UPPER_OPTION", "without", "INF_RICHARDS", richards, kNoRichards},
    {"RICHARDS_WEIGHT", "without", "INF_RICHARDS", richards, kNoRichards},
    {"RICHARDS_DTHETA_MAX", "without", "INF_RICHARDS", richards, kNoRichards},
    {"RICHARDS_ITER_MAX", "without", "INF_RICHARDS", richards, kNoRichards},
    {"ALBEDO", "without", "LONG_TERM", long_term, kNoEvapotranspiration},
    {"VHEIGHT", "without", "LONG_TERM", long_term, kNoEvapotranspiration},
    {"TCOEFF", "without", "LONG_TERM", long_term, kNoEvapotranspiration},
    {"CANOPY", "without", "LONG_TERM", long_term, kNoEvapotranspiration},
    {"WILTING_POINT", "without", "LONG_TERM", long_term, kNoEvapotranspiration},

    {"MOISTURE", "without", kInfiltrationMethod, any_infiltration, kNoInfiltration},
    {"CONDUCTIVITY", "without", kInfiltrationMethod, any_infiltration, kNoInfiltration},
    {"CAPILLARY", "without", kInfiltrationMethod, any_infiltration, kNoInfiltration},
    {"POROSITY", "without", kInfiltrationMethod, any_infiltration, kNoInfiltration},
    {"PORE_INDEX", "without", kInfiltrationMethod, any_infiltration, kNoInfiltration},
    {"RESIDUAL_SAT", "without", kInfiltrationMethod, any_infiltration, kNoInfiltration},

    {"MOISTURE", "with", "INF_LAYERED_SOIL", not_layered, kLayerTable},
    {"CONDUCTIVITY", "with", "INF_LAYERED_SOIL", not_layered, kLayerTable},
    {"CAPILLARY", "with", "INF_LAYERED_SOIL", not_layered, kLayerTable},
    {"POROSITY", "with", "INF_LAYERED_SOIL", not_layered, kLayerTable},
    {"PORE_INDEX", "with", "INF_LAYERED_SOIL", not_layered, kLayerTable},
    {"RESIDUAL_SAT", "with", "INF_LAYERED_SOIL", not_layered, kLayerTable},
    {"MOISTURE", "with", "INF_RICHARDS", not_richards, kRichardsTables},
    {"CONDUCTIVITY", "with", "INF_RICHARDS", not_richards, kRichardsTables},
    {"CAPILLARY", "with", "INF_RICHARDS", not_richards, kRichardsTables},
    {"POROSITY", "with", "INF_RICHARDS", not_richards, kRichardsTables},
    {"PORE_INDEX", "with", "INF_RICHARDS", not_richards, kRichardsTables},
    {"RESIDUAL_SAT", "with", "INF_RICHARDS", not_richards, kRichardsTables},
};

void warn_idle_cards(const model_state& m) {
    if (g_parallel_env.world_rank() != 0) return;
    const std::vector<std::string>& read = m.project_options.cards_read;
    for (const idle_card& c : kIdleCards) {
        if (c.acts(m) || std::find(read.begin(), read.end(), c.card) == read.end()) continue;
        warn(format_text("%s has no effect %s %s: %s.\n", c.card, c.relation, c.other, c.lost));
    }
}

// Uniform rain without a rate or a duration, when a misspelt card is why:
// the input that is missing is named, with the line that meant to give it,
// in place of the catalogue's list of possible causes. False when no
// unknown card of the project explains it.
bool refuse_misspelt_rain(const model_state& m) {
    const struct {
        const char* card;
        const char* gives;
        bool missing;
    } kCauses[] = {
        {"PRECIP_FILE", "the precipitation file", true},
        {"RAIN_INTENSITY", "the rate of the uniform rain (mm/h)", !(m.rain_intensity > 0.0)},
        {"RAIN_DURATION", "the duration of the uniform rain (min)", !(m.rain_duration > 0.0)},
    };
    for (const auto& cause : kCauses) {
        if (!cause.missing) continue;
        const std::string misspelt = misspelling_of(m.project_options, cause.card);
        if (misspelt.empty()) continue;
        store_refusal(format_text("Error: the run has uniform rain of %g mm/h for %g min, but no card %s of "
                                  "project file %s gives %s (%s).\n",
                                  m.rain_intensity, m.rain_duration, cause.card, m.project_file.c_str(),
                                  cause.gives, misspelt.c_str()));
        return true;
    }
    return false;
}

}  // namespace

void read_run_parameters(const std::string& project_file, model_state& m) {
    if (m.optimize_given == 0 && g_parallel_env.world_rank() == 0)
        std::printf("reading run parameters from project file: %s\n", project_file.c_str());

    read_project_file(project_file, m.project_options, m.run_params, m.rain_params);
    if (m.run_params.open_failed) {
        refuse_project_file(project_file, m.run_params.open_errno);
        return;
    }
    if (g_error_record.stop) {
        // The file's errors are the last thing the reading says; the names
        // its cards gave are still wanted by the summary the run writes.
        translate_cards(m, false);
        return;
    }

    const project_options& po = m.project_options;
    const run_params& rp = m.run_params;
    warn_cards_without_effect(po);
    if (po.pause) set_pause_at_exit();
    if (rp.end_year != 0) {
        m.end_time_given = 1;
        m.end_time_julian = julday(rp.end_year, rp.end_month, rp.end_day, rp.end_hour, rp.end_minute, 0.0);
    }
    m.nutrients = po.nutrients;

    m.ov_boundary = po.ov_boundary;
    if (po.flood_grid_given) {
        m.flood_grid_given = 1;
        m.flood_grid = po.flood_grid;
    }
    if (po.flood_stream_given) {
        m.flood_stream_given = 1;
        m.flood_stream = po.flood_stream;
    }
    if (po.flush_buffer_given) {
        m.flush_buffer_given = 1;
        m.flush_buffer = po.flush_buffer;
    }

    if (rp.map_type == 4) {
        g_error_record.code = 5;
        g_error_record.stop = 1;
        return;
    }

    translate_cards(m, true);
    // Opened with the run parameters, once the cards name the run's inputs
    // that it must not replace.
    if (!g_error_record.stop && po.vq_input_given && !vq_qin_open(m, po.vq_input)) {
        if (!g_error_record.stop) g_error_record.fail(4, "reservoir model inflow", po.vq_input);
        return;
    }

    m.super_quiet = po.super_quiet;
    if (!m.super_quiet && g_parallel_env.world_rank() == 0) std::printf("\nfinished reading project file\n");
}

void check_run_options(model_state& m) {
    auto fail = [](int code) { g_error_record.code = code; };
    const mapping_table_info& tables = m.mapping_table_info;

    if (m.manning_n_given && m.roughness_given) return fail(6);
    if (m.long_term && m.et_calc_penman && m.et_calc_deardorff) return fail(7);
    if (m.hmet_surfaways_given && (m.hmet_samson_given || m.hmet_kvl_given)) return fail(8);
    if (m.hmet_kvl_given && m.hmet_samson_given) return fail(8);
    if (m.long_term && !m.et_calc_penman && !m.et_calc_deardorff) return fail(9);
    // A negative rate or duration would take water away: refused as a zero one
    // is, with the values said first since the message speaks of zero ones.
    if (m.uniform_rain && !(m.rain_intensity > 0.0 && m.rain_duration > 0.0)) {
        if (refuse_misspelt_rain(m)) return;
        if (m.rain_intensity < 0.0 || m.rain_duration < 0.0)
            std::printf("Error: uniform rain of %g mm/h for %g min: RAIN_INTENSITY and RAIN_DURATION must both "
                        "be greater than zero.\n",
                        m.rain_intensity, m.rain_duration);
        return fail(11);
    }

    if (m.long_term) {
        if (!m.inf_redist_on && !m.inf_richards_on && !m.inf_layered_on) return fail(20);
        const bool et_table = tables.evapotranspiration != 0;
        if (!m.albedo_given && !m.inf_richards_on && !et_table) return fail(21);
        if (m.et_calc_penman) {
            if (!m.vheight_given && !m.inf_richards_on && !et_table) return fail(22);
            if (!m.tcoeff_given && !m.inf_richards_on && !et_table) return fail(23);
            if (!m.canopy_given && !m.inf_richards_on && !et_table) return fail(24);
            if (!m.wilting_point_given && !m.inf_richards_on && !et_table) return fail(25);
        }
    }

    // Layered soils and the Richards solver read their own soil tables.
    auto clear_soil_maps = [&m] {
        m.moisture_given = 0;
        m.conductivity_given = 0;
        m.capillary_given = 0;
        m.porosity_given = 0;
        m.pore_index_given = 0;
        m.residual_sat_given = 0;
    };
    if (m.inf_layered_on) clear_soil_maps();
    // -999.9, the project default, stands for a missing AQUIFER_DELTA_Z.
    if (m.inf_richards_on && m.gw_simulation && m.aquifer_delta_z < 0.0) return fail(32);
    if (m.inf_richards_on) clear_soil_maps();

    if (m.chan_implicit_routing || m.chan_alt_routing) {
        g_error_record.fail(35, unbuilt_routing_card(m), m.project_file);
        return;
    }
    if (m.chan_routing && m.soil_erosion_given && m.sed_as_constituents != 2) m.chan_sed_on = 1;
    if (m.chan_discharge_given_2 && !m.chan_routing) m.chan_discharge_given_2 = 0;

    if (m.gw_simulation) {
        const bool gw_table = tables.groundwater != 0;
        if (m.gw_porosity_map_given && m.gw_unif_porosity_given) return fail(38);
        if (!m.gw_porosity_map_given && !m.gw_unif_porosity_given && !gw_table) fail_and_report(39);
        if (m.gw_hycond_map_given && m.gw_unif_hycond_given) return fail(40);
        // A warning: said at once, and the checks after it still run.
        if (!m.gw_hycond_map_given && !m.gw_unif_hycond_given && !gw_table) fail_and_report(41);
        if (m.sacramento_given) return fail(42);
    }

    if (m.htp) {
        std::printf("Running KESTA in HTP environment\n");
        if (m.olma_given) std::printf("KESTA will share data with OLMA through file: %s\n", m.olma.c_str());
        if (m.htp_event_num_given)
            std::printf("This is an event call of KESTA by HTP, htp_event_num=%d\n", m.htp_event_num);
        if (!m.olma_given) return fail(43);
        if (m.htp_event_num < 0 && m.htp_event_num_given) return fail(44);
        if (m.gw_simulation) return fail(45);
    }
    if (m.olma_given && !m.htp) return fail(46);
    check_water_cards(m);
    if (!g_error_record.stop) warn_idle_cards(m);
}

}  // namespace kesta
