// The files of a run: every file slot of the model state is opened here at
// start-up, in one fixed order, and closed here at shut-down. The order, the
// conditions, the texts of the failure messages and the slots are one table.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "input/mapping_tables.hpp"
#include "input/project_file.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "nutrients/zep_container.hpp"
#include "output/grid_writers.hpp"
#include "output/output_steps.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

// Close order of the slots: the summary file goes among the last so that it
// still receives messages while the others close.
enum close_group : int {
    close_groundwater,
    close_soil,
    close_evaporation,
    close_parameter_maps,
    close_channel,
    close_hotstart,
    close_location,
    close_channel_output,
    close_flood,
    close_pipe,
    close_run_outputs,
    kCloseGroups
};

// How a failure names its file in the error record.
enum class fail_text {
    item_and_name,    // item: the row's text; file name: the name that failed
    location_output,  // item: the name that failed; file name: the hydrograph-location file
    theta_output,     // item: the theta-location file; file name: "name (out_theta_location_file)"
};

using predicate = bool (*)(const model_state&);

struct run_file {
    predicate wanted;  // the card flags and options that call for the file
    std::string (*name)(const model_state&);
    const char* mode;
    const char* item;
    const char* card;  // the project card (or cards) that names the file; "" for a fixed name
    int code;  // catalogue code of a failure
    file_ptr output_state::*slot;  // null: a check that opens nothing
    close_group group;
    predicate tolerated = nullptr;  // no error when it holds: the mapping table supplies the values
    fail_text text = fail_text::item_and_name;
    // Runs before the file is opened; false ends the opening (error stored).
    bool (*prepare)(model_state&) = nullptr;
    // Runs once the file is open.
    void (*opened)(model_state&) = nullptr;
};

template <auto Member>
std::string card(const model_state& m) {
    return m.*Member;
}

template <auto Member>
std::string card_value(const model_state& m) {
    return m.project_options.*Member;
}

std::string evap_out_name(const model_state&) { return "evap_out"; }

bool always(const model_state&) { return true; }

bool grids_not_from_pexlo(const model_state& m) { return !grids_from_pexlo(m); }

bool gw(const model_state& m) { return m.gw_simulation != 0; }

// Layered, Richards or redistribution infiltration: the soil-column methods.
bool soil_column(const model_state& m) {
    return m.inf_layered_on || m.inf_richards_on || m.inf_redist_on;
}

bool green_ampt_kind(const model_state& m) { return m.green_ampt_on || m.inf_redist_on; }

bool penman(const model_state& m) { return m.long_term && m.et_calc_penman; }

bool any_channel_routing(const model_state& m) { return m.chan_routing || m.chan_alt_routing; }

// Sediment series at listed channel nodes: channel sediment and IN_SED_LOC.
bool sediment_locations(const model_state& m) { return m.chan_sed_on && m.project_options.in_sed_loc_given; }

// The soil-type map and the layer table are needed only by a Richards run
// that is not layered and whose mapping table holds no Richards soil table.
bool soil_files_optional(const model_state& m) {
    const mapping_table_info& t = m.mapping_table_info;
    const bool tables = t.richards_brooks || t.richards_havercamp;
    return !(m.inf_richards_on && !m.inf_layered_on && !tables);
}

bool pexlo_grids_fail(model_state& m) {
    g_error_record.fail(47, m.project_options.pexlo_base_grid, m.watershed_mask);
    return false;
}

// An empty SOIL_TYPE_MAP takes the index map of the Richards table that
// RICHARDS_C_OPTION chooses.
bool find_soil_type_map(model_state& m) {
    if (!m.soil_type_map.empty() || !m.mapping_table_given) return true;
    std::string map_file;
    if (find_richards_map(m.mapping_tables, m.mapping_table, m.richards_c_option, map_file))
        m.soil_type_map = map_file;
    return g_error_record.stop == 0;
}

bool refuse_orthogonal_channels(model_state& m) {
    std::printf("Must Specify YES_NON_ORTHO in project file\n");
    g_error_record.fail(4, "grid-stream connectivity", m.stream_cell);
    return false;
}

void register_summary(model_state& m) { g_error_record.summary_file = m.summary_fp.get(); }

void write_evap_header(model_state& m) {
    std::FILE* fp = m.evap_out_fp.get();
    std::fputs("yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav"
               "  CFGI         temp(C)  ",
               fp);
    if (m.soil_et_accounting) std::fputs(" avg_theta_L1  avg_theta_L2", fp);
    std::fputs("\n", fp);
}

using O = output_state;
using P = project_options;

// Every file of a run in opening order. Modes "r" and "w"; every open asks
// for the run-number prefix, which only files written in numbered mode get.
const run_file kRunFiles[] = {
    {grids_from_pexlo, card<&model_state::watershed_mask>, "r", "", "WATERSHED_MASK", 47, nullptr,
     close_run_outputs, nullptr, fail_text::item_and_name, pexlo_grids_fail},
    {grids_not_from_pexlo, card<&model_state::watershed_mask>, "r", "watershed mask", "WATERSHED_MASK", 4,
     &O::watershed_mask_fp, close_run_outputs},
    {grids_not_from_pexlo, card<&model_state::elevation>, "r", "elevation data", "ELEVATION", 4,
     &O::elevation_fp, close_run_outputs},
    {always, card<&model_state::summary>, "w", "output summary", "SUMMARY", 4, &O::summary_fp,
     close_run_outputs, nullptr, fail_text::item_and_name, nullptr, register_summary},
    {always, card<&model_state::outlet_hydro>, "w", "output hydrograph", "OUTLET_HYDRO", 4,
     &O::outlet_hydro_fp, close_run_outputs},

    // Groundwater.
    {gw, card<&model_state::gw_boundfile>, "r", "groundwater boundary", "GW_BOUNDFILE", 4,
     &O::gw_boundfile_fp, close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_well_level_given; },
     card<&model_state::out_well_location>, "r", "well location", "OUT_WELL_LOCATION", 4,
     &O::out_well_location_fp, close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_well_level_given; },
     card<&model_state::gw_well_level>, "w", "well level output", "GW_WELL_LEVEL", 4,
     &O::gw_well_level_fp, close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_hycond_map_given; },
     card<&model_state::gw_hycond_map>, "r", "groundwater hycond", "GW_HYCOND_MAP", 4,
     &O::gw_hycond_map_fp, close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_porosity_map_given; },
     card<&model_state::gw_porosity_map>, "r", "groundwater porosity", "GW_POROSITY_MAP", 4,
     &O::gw_porosity_map_fp, close_groundwater},
    {[](const model_state& m) { return gw(m) && !m.inf_richards_on && m.water_table_given; },
     card<&model_state::water_table>, "r", "water table", "WATER_TABLE", 4, &O::water_table_fp,
     close_groundwater},
    {[](const model_state& m) { return gw(m) && !m.inf_richards_on; }, card<&model_state::aquifer_bottom>,
     "r", "aquifer bottom", "AQUIFER_BOTTOM", 4, &O::aquifer_bottom_fp, close_groundwater},

    // Soil columns.
    {soil_column, card<&model_state::soil_type_map>, "r", "soil type", "SOIL_TYPE_MAP", 4,
     &O::soil_type_map_fp, close_soil, soil_files_optional, fail_text::item_and_name, find_soil_type_map},
    {soil_column, card<&model_state::soil_layer_input_file>, "r", "multi-layer soil table",
     "SOIL_LAYER_INPUT_FILE", 4, &O::soil_layer_input_file_fp, close_soil, soil_files_optional},
    {[](const model_state& m) { return soil_column(m) && m.water_table_given && !m.water_table_fp; },
     card<&model_state::water_table>, "r", "water table", "WATER_TABLE", 4, &O::water_table_fp,
     close_groundwater},
    {[](const model_state& m) { return soil_column(m) && gw(m) && !m.aquifer_bottom_fp; },
     card<&model_state::aquifer_bottom>, "r", "aquifer bottom", "AQUIFER_BOTTOM", 4,
     &O::aquifer_bottom_fp, close_groundwater},
    {[](const model_state& m) { return soil_column(m) && (m.inf_richards_on || m.soil_et_accounting); },
     evap_out_name, "w", "evaporation output", "", 4, &O::evap_out_fp, close_evaporation, nullptr,
     fail_text::item_and_name, nullptr, write_evap_header},

    // Infiltration parameter maps.
    {[](const model_state& m) { return green_ampt_kind(m) && m.moisture_given; },
     card<&model_state::moisture>, "r", "soil moisture", "MOISTURE", 4, &O::moisture_fp,
     close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.initial_moisture != 0; }},
    {[](const model_state& m) { return green_ampt_kind(m) && m.conductivity_given; },
     card<&model_state::conductivity>, "r", "Ks", "CONDUCTIVITY", 4, &O::conductivity_fp,
     close_parameter_maps, [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return green_ampt_kind(m) && m.capillary_given; },
     card<&model_state::capillary>, "r", "Hc", "CAPILLARY", 4, &O::capillary_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return green_ampt_kind(m) && m.porosity_given; },
     card<&model_state::porosity>, "r", "soil porosity", "POROSITY", 4, &O::porosity_fp,
     close_parameter_maps, [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return m.inf_redist_on && m.pore_index_given; },
     card<&model_state::pore_index>, "r", "pore dist. index", "PORE_INDEX", 4, &O::pore_index_fp,
     close_parameter_maps, [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return m.inf_redist_on && m.residual_sat_given; },
     card<&model_state::residual_sat>, "r", "residual saturation", "RESIDUAL_SAT", 4, &O::residual_sat_fp,
     close_parameter_maps, [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},

    // Long-term runs: hydrometeorology and evapotranspiration maps.
    {[](const model_state& m) { return m.long_term != 0; }, card<&model_state::hmet_file>, "r",
     "hydromet data", "HMET_SURFAWAYS/HMET_SAMSON/HMET_KVL", 4, &O::hmet_fp, close_parameter_maps},
    {[](const model_state& m) { return m.long_term && m.albedo_given; }, card<&model_state::albedo>, "r",
     "albedo", "ALBEDO", 4, &O::albedo_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.vheight_given; }, card<&model_state::vheight>, "r",
     "veg. height", "VHEIGHT", 4, &O::vheight_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.tcoeff_given; }, card<&model_state::tcoeff>, "r",
     "trans. coeff", "TCOEFF", 4, &O::tcoeff_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.canopy_given; }, card<&model_state::canopy>, "r",
     "canopy resist.", "CANOPY", 4, &O::canopy_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.wilting_point_given; },
     card<&model_state::wilting_point>, "r", "wilting point", "WILTING_POINT", 4, &O::wilting_point_fp,
     close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},

    // Rain, channels and overland parameters.
    {[](const model_state& m) { return m.rain_from_file != 0; }, card<&model_state::precip_file>, "r",
     "raingage data", "PRECIP_FILE", 4, &O::precip_file_fp, close_parameter_maps},
    {[](const model_state& m) { return m.chan_routing && !m.project_options.non_ortho_channels; },
     card<&model_state::stream_cell>, "r", "grid-stream connectivity", "STREAM_CELL", 4, nullptr,
     close_channel, nullptr, fail_text::item_and_name, refuse_orthogonal_channels},
    {[](const model_state& m) { return any_channel_routing(m) && m.project_options.non_ortho_channels; },
     card_value<&P::stream_cell>, "r", "grid-stream connectivity", "STREAM_CELL", 4, &O::stream_cell_fp,
     close_channel},
    {[](const model_state& m) { return m.interception != 0; }, card<&model_state::storage_capacity>, "r",
     "interception storage", "STORAGE_CAPACITY", 4, &O::storage_capacity_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.interception != 0; }},
    {[](const model_state& m) { return m.interception != 0; }, card<&model_state::interception_coeff>,
     "r", "interception coeff.", "INTERCEPTION_COEFF", 4, &O::interception_coeff_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.interception != 0; }},
    {[](const model_state& m) { return m.overland_lake_map_given != 0; },
     card<&model_state::overland_lake_map>, "r", "overland lake map", "OVERLAND_LAKE_MAP", 4,
     &O::overland_lake_map_fp, close_parameter_maps},
    {[](const model_state& m) { return m.overland_lake_map_given != 0; },
     card<&model_state::overland_lake_file>, "r", "overland lake data", "OVERLAND_LAKE_FILE", 4,
     &O::overland_lake_file_fp, close_parameter_maps},
    {[](const model_state& m) { return m.reten_depth_given != 0; }, card<&model_state::reten_depth>, "r",
     "retention depth", "RETEN_DEPTH", 4, &O::reten_depth_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.retention != 0; }},
    {[](const model_state& m) { return m.roughness_given != 0; }, card<&model_state::roughness>, "r",
     "Manning roughness", "ROUGHNESS", 4, &O::roughness_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.roughness != 0; }},
    {[](const model_state& m) { return m.area_reduction_given != 0; }, card<&model_state::area_reduction>,
     "r", "area reduction", "AREA_REDUCTION", 4, &O::area_reduction_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.area_reduction != 0; }},
    {[](const model_state& m) { return m.chan_routing != 0; }, card<&model_state::channel_input>, "r",
     "channel input", "CHANNEL_INPUT", 4, &O::channel_input_fp, close_channel},

    // Hotstarts.
    {[](const model_state& m) { return m.chan_hotstart_write != 0; },
     card<&model_state::chan_hotstart_depth_out>, "w", "channel depth",
     "WRITE_CHAN_HOTSTART/EXPLIC_BACKWATER", 4, &O::write_chan_hotstart_depth_fp, close_hotstart},
    {[](const model_state& m) { return m.chan_hotstart_write != 0; },
     card<&model_state::chan_hotstart_discharge_out>, "w", "channel discharge",
     "WRITE_CHAN_HOTSTART/EXPLIC_BACKWATER", 4, &O::write_chan_hotstart_discharge_fp, close_hotstart},
    {[](const model_state& m) { return m.project_options.ov_init_depth_given != 0; },
     card_value<&P::ov_init_depth>, "r", "overland hotstart", "OV_INIT_DEPTH/READ_OV_HOTSTART", 4,
     &O::read_ov_hotstart_fp, close_hotstart},
    {[](const model_state& m) { return m.chan_hotstart_read != 0; },
     card<&model_state::chan_hotstart_depth_in>, "r", "channel depth",
     "READ_CHAN_HOTSTART/EXPLIC_HOTSTART", 4, &O::read_chan_hotstart_depth_fp, close_hotstart},
    {[](const model_state& m) { return m.chan_hotstart_read != 0; },
     card<&model_state::chan_hotstart_discharge_in>, "r", "channel discharge",
     "READ_CHAN_HOTSTART/EXPLIC_HOTSTART", 4, &O::read_chan_hotstart_discharge_fp, close_hotstart},

    // Locations.
    {[](const model_state& m) { return m.in_hyd_location_given != 0; },
     card<&model_state::in_hyd_location>, "r", "hydrograph location", "IN_HYD_LOCATION", 4,
     &O::in_hyd_location_fp, close_location},
    {[](const model_state& m) { return m.in_hyd_location_given != 0; },
     card<&model_state::out_hyd_location>, "w", "", "OUT_HYD_LOCATION", 51, &O::out_hyd_location_fp,
     close_location, nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.sig_outlet_hydro_given != 0; },
     card<&model_state::sig_outlet_hydro>, "w", "optional 6 digit hydrograph", "SIG_OUTLET_HYDRO", 4,
     &O::sig_outlet_hydro_fp, close_run_outputs},
    {[](const model_state& m) { return m.lake_output_given != 0; }, card<&model_state::lake_output>, "w",
     "lake output", "LAKE_OUTPUT", 4, &O::lake_output_fp, close_location},
    {[](const model_state& m) { return m.out_dep_location_given != 0; },
     card<&model_state::out_dep_location>, "w", "", "OUT_DEP_LOCATION", 50, &O::out_dep_location_fp,
     close_location, nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.out_con_location_given != 0; },
     card<&model_state::out_con_location>, "w", "", "OUT_CON_LOCATION", 49, &O::out_con_location_fp,
     close_location, nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.out_mass_location_given != 0; },
     card<&model_state::out_mass_location>, "w", "", "OUT_MASS_LOCATION", 49, &O::out_mass_location_fp,
     close_location, nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.in_theta_location_given != 0; },
     card<&model_state::in_theta_location>, "r", "in_theta location", "IN_THETA_LOCATION", 4,
     &O::in_theta_location_fp, close_location},
    {[](const model_state& m) { return m.in_theta_location_given != 0; },
     card<&model_state::out_theta_location>, "w", "", "OUT_THETA_LOCATION", 48, &O::out_theta_location_fp,
     close_location, nullptr, fail_text::theta_output},

    // Channel datasets.
    {[](const model_state& m) { return m.chan_depth_given != 0; }, card_value<&P::chan_depth>, "w",
     "output channel depth", "CHAN_DEPTH", 4, &O::chan_depth_fp, close_channel_output},
    {[](const model_state& m) { return m.chan_discharge_given != 0; }, card_value<&P::chan_discharge>,
     "w", "output channel discharge", "CHAN_DISCHARGE", 4, &O::chan_discharge_fp, close_channel_output},
    {[](const model_state& m) { return m.chan_stage_given != 0; }, card_value<&P::chan_stage>, "w",
     "output channel stage", "CHAN_STAGE", 4, &O::chan_stage_fp, close_channel_output},
    {[](const model_state& m) { return m.chan_velocity_given != 0; }, card_value<&P::chan_velocity>, "w",
     "output channel velocity", "CHAN_VELOCITY", 4, &O::chan_velocity_fp, close_channel_output},
    {[](const model_state& m) { return m.flood_stream_given != 0; }, card<&model_state::flood_stream>,
     "w", "output flood stream stage", "FLOOD_STREAM", 4, &O::flood_stream_fp, close_flood},
    {[](const model_state& m) { return m.chan_sed_flux_given != 0; }, card_value<&P::chan_sed_flux>, "w",
     "output stream_sed_flux", "CHAN_SED_FLUX", 4, &O::chan_sed_flux_fp, close_channel_output},
    // The nutrient outlet hydrographs, in files of the nutrient container.
    {[](const model_state& m) { return m.nutrients != 0; }, [](const model_state&) { return std::string(); }, "w",
     "", "", 4, nullptr, close_run_outputs, nullptr, fail_text::item_and_name, open_nutrient_hydrographs},

    // Sediment.
    // The sediment routines' outputs (none with the classes carried as constituents).
    {[](const model_state& m) { return sediment_routed(m); }, card_value<&P::outlet_sed_flux>, "w",
     "outlet sediment hydrograph", "OUTLET_SED_FLUX", 4, &O::outlet_sed_flux_fp, close_run_outputs},
    {[](const model_state& m) { return sediment_routed(m) && m.project_options.outlet_sed_tss_given; },
     card_value<&P::outlet_sed_tss>, "w", "outlet sediment tss file", "OUTLET_SED_TSS", 4, &O::outlet_sed_tss_fp,
     close_run_outputs},
    {sediment_locations, card_value<&P::in_sed_loc>, "r", "input sed. hydrograph locations", "IN_SED_LOC", 4,
     &O::in_sed_loc_fp, close_location},
    {sediment_locations, card_value<&P::out_sed_loc>, "w", "output sed. hydrograph locations", "OUT_SED_LOC", 4,
     &O::out_sed_loc_fp, close_location},
    {[](const model_state& m) { return sediment_locations(m) && m.project_options.out_tss_loc_given; },
     card_value<&P::out_tss_loc>, "w", "output sediment tss hydrograph locations", "OUT_TSS_LOC", 4,
     &O::out_tss_loc_fp, close_location},

    // Pipe networks.
    {[](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_head_given; },
     card_value<&P::pipe_head>, "w", "superlink head", "PIPE_HEAD", 4, &O::pipe_head_fp, close_pipe},
    {[](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_tile_given; },
     card_value<&P::pipe_tile>, "w", "superlink tile", "PIPE_TILE", 4, &O::pipe_tile_fp, close_pipe},
    {[](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_flow_given; },
     card_value<&P::pipe_flow>, "w", "superlink flow", "PIPE_FLOW", 4, &O::pipe_flow_fp, close_pipe},

    {[](const model_state& m) { return m.contam_map_given != 0; }, card<&model_state::contam_map>, "r",
     "contam", "CONTAM_MAP", 4, &O::contam_map_fp, close_parameter_maps},
};

// The path open_file tries for the row's name: quotes stripped and, for a
// file written in numbered mode, the sub-folder and run number added.
std::string tried_path(const run_file& f, std::string name) {
    strip_quotes(name);
    return output_path(name, f.mode, 1);
}

void store_failure(const model_state& m, const run_file& f, const std::string& name) {
    const std::string path = tried_path(f, name);
    switch (f.text) {
        case fail_text::item_and_name:
            g_error_record.fail(f.code, f.item, path);
            break;
        case fail_text::location_output:
            g_error_record.fail(f.code, path, m.in_hyd_location);
            break;
        case fail_text::theta_output:
            g_error_record.fail(f.code, m.in_theta_location, path + " (out_theta_location_file)");
            break;
    }
}

// The mapping table that can stand in for a map the cards do not name.
struct table_source {
    file_ptr output_state::*slot;
    int table;
};

const table_source kTableSources[] = {
    {&O::moisture_fp, table_initial_moisture},   {&O::conductivity_fp, table_green_ampt},
    {&O::capillary_fp, table_green_ampt},        {&O::porosity_fp, table_green_ampt},
    {&O::pore_index_fp, table_green_ampt},       {&O::residual_sat_fp, table_green_ampt},
    {&O::albedo_fp, table_evapotranspiration},   {&O::vheight_fp, table_evapotranspiration},
    {&O::tcoeff_fp, table_evapotranspiration},   {&O::canopy_fp, table_evapotranspiration},
    {&O::wilting_point_fp, table_evapotranspiration},
    {&O::storage_capacity_fp, table_interception}, {&O::interception_coeff_fp, table_interception},
    {&O::reten_depth_fp, table_retention},       {&O::roughness_fp, table_roughness},
    {&O::area_reduction_fp, table_area_reduction},
};

int table_for(const run_file& f) {
    for (const table_source& t : kTableSources) {
        if (t.slot == f.slot) return t.table;
    }
    return table_none;
}

// A map that no card names and no mapping table supplies: says which card
// asked for it and, when a mapping table is given, why its table could not
// stand in. The run stops (code 4000).
// " (line N has the unknown card X: write CARD there)" when a misspelt line
// of the project is why no card `card` was read; else nothing.
std::string misspelt_card_note(const model_state& m, const char* card) {
    const std::string note = misspelling_of(m.project_options, card);
    return note.empty() ? note : " (" + note + ")";
}

// A file the run's options call for, which no card names.
void refuse_unnamed_file(const model_state& m, const run_file& f) {
    store_refusal(format_text("Error: the run needs the %s file, but no card %s in project file %s names it%s.\n",
                              f.item[0] != '\0' ? f.item : f.card, f.card, m.project_file.c_str(),
                              misspelt_card_note(m, f.card).c_str()));
}

void refuse_unnamed_map(model_state& m, const run_file& f) {
    const int table = table_for(f);
    std::string text = format_text("Error: the run needs the %s map, but card %s of project file %s names "
                                   "no file",
                                   f.item, f.card, m.project_file.c_str());
    if (!m.mapping_table_given) {
        text += ", and no MAPPING_TABLE is given to supply it" + misspelt_card_note(m, "MAPPING_TABLE") + ".\n";
    } else {
        std::string problem = mapping_table_problem(m.mapping_tables, m.mapping_table, table);
        if (problem.empty()) problem = "its table was not found when the mapping tables were checked";
        text += format_text(", and the %s table of mapping table file %s cannot supply it: %s.\n",
                            get_table_keyword(table).c_str(), m.mapping_table.c_str(), problem.c_str());
    }
    store_refusal(text);
}

// ---------------------------------------------------------------------------
// No output may be written over an input of the run or over another output.

// What makes two names one file: the device and inode of a file that exists,
// else the absolute path with "." and ".." resolved.
struct file_identity {
    bool exists = false;
    bool shared = false;  // a device, pipe or socket (/dev/null): outputs may share it
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;
};

file_identity identify(const std::string& path) {
    file_identity id;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.shared = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode) ||
                    S_ISSOCK(st.st_mode);
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    id.path = (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
    return id;
}

bool same_file(const file_identity& a, const file_identity& b) {
    if (a.exists != b.exists) return false;
    if (a.exists) return !a.shared && !b.shared && a.device == b.device && a.inode == b.inode;
    return a.path == b.path;
}

// A file of the run and the words that say where it comes from.
struct named_file {
    std::string what;  // e.g. "named by card ELEVATION", "the project file"
    std::string path;
};

void add_input(std::vector<named_file>& list, const std::string& what, std::string name) {
    strip_quotes(name);
    if (!name.empty()) list.push_back({what, name});
}

std::string card_words(const char* card) { return std::string("card ") + card; }

// Every input file the project names: the project file, the maps and tables
// of the opening table, the mapping table with its index maps, the files
// read at their card, and the inputs other steps open later. A name is
// listed whether or not this run reads it: the project calls it an input.
std::vector<named_file> run_inputs(model_state& m) {
    const project_options& po = m.project_options;
    std::vector<named_file> list;
    add_input(list, "the project file", m.project_file);
    for (const run_file& f : kRunFiles) {
        if (f.mode[0] == 'r') add_input(list, std::string("named by card ") + f.card, f.name(m));
    }
    if (m.mapping_table_given) {
        add_input(list, "named by card MAPPING_TABLE", m.mapping_table);
        std::string table_file = m.mapping_table;
        strip_quotes(table_file);
        if (m.mapping_tables.open(table_file)) {
            for (const index_map_entry& e : m.mapping_tables.index_maps())
                add_input(list, "named by an INDEX_MAP line of mapping table file " + table_file, e.file);
        }
    }
    if (po.st_mapping_table_given) add_input(list, "named by card ST_MAPPING_TABLE", po.st_mapping_table);
    for (const std::string& f : po.time_series_file) add_input(list, "named by card TIME_SERIES_FILE", f);
    for (const std::string& f : po.elev_series_file) add_input(list, "named by card ELEV_SERIES_FILE", f);
    add_input(list, "named by card REPLACE_PARAMS", po.replace_params);
    add_input(list, "named by card REPLACE_VALS", po.replace_vals);
    const struct {
        const char* card;
        const std::string project_options::*name;
    } kOtherInputs[] = {
        {"MATERIALS", &P::materials},
        {"INITIAL_DEPTH", &P::initial_depth},
        {"DIKE_MAP/EMBANKMENT", &P::dike_map},
        {"LOWSPOT_FILE", &P::lowspot_file},
        {"STORM_SEWER", &P::storm_sewer},
        {"GRID_PIPE", &P::grid_pipe},
        {"LINKS", &P::links},
        {"NODES", &P::nodes},
        {"SECTION_TABLE", &P::section_table},
        {"CHAN_POINT_INPUT", &P::chan_point_input},
        {"LAKE_PUMP", &P::lake_pump},
        {"OV_PUMP", &P::ov_pump},
        {"GW_FLUXBOUNDTABLE", &P::gw_fluxboundtable},
        {"SACRAMENTO", &P::sacramento},
        {"OV_POINT_SOURCE", &P::ov_point_source},
        {"SOIL_ERODABILITY", &P::soil_erodability},
        {"CROP_MANAGEMENT", &P::crop_management},
        {"CONSERVATION_PRACTICE", &P::conservation_practice},
        {"SAND_MAP", &P::sand_map},
        {"SILT_MAP", &P::silt_map},
        {"IN_SED_LOC", &P::in_sed_loc},
        {"ANALYZERS", &P::analyzers},
        {"SOURCEFILE", &P::sourcefile},
        {"CALIB_OBS_DATA", &P::calib_obs_data},
        {"VQ_NODES_TO_SEGS", &P::vq_nodes_to_segs},
        {"VQ_SEGMENT_MAP", &P::vq_segment_map},
    };
    for (const auto& c : kOtherInputs) add_input(list, std::string("named by card ") + c.card, po.*c.name);
    if (po.zep_container) add_input(list, "named by card AQ_ENV", po.zep_container->aquatic_env_file);
    return list;
}

// The files of the run's outputs opened so far.
struct opened_output {
    std::string what;
    std::string path;
    file_identity id;
};

std::string output_words(const run_file& f) {
    return f.card[0] != '\0' ? card_words(f.card) : std::string("the ") + f.item;
}

// False after the refusal (code 4000, stop) when `path`, about to be opened
// for writing by the output `what`, is an input of the run or an output
// opened before it. A `fixed` output has a name the user cannot change.
bool output_is_its_own(const std::string& what, bool fixed, const std::string& path,
                       const std::vector<named_file>& inputs, const std::vector<opened_output>& outputs) {
    const file_identity target = identify(path);
    std::string text;
    for (const named_file& in : inputs) {
        if (!same_file(target, identify(in.path))) continue;
        text = fixed ? format_text("Error: %s is always written to %s, but that file is an input of the run "
                                   "(%s, %s).\nWriting it would destroy that input; give the input another name "
                                   "or run the project from another folder.\n",
                                   what.c_str(), path.c_str(), in.path.c_str(), in.what.c_str())
                     : format_text("Error: %s names %s as its output file, but that file is an input of the run "
                                   "(%s, %s).\nWriting the output would destroy that input; give the output a "
                                   "name of its own.\n",
                                   what.c_str(), path.c_str(), in.path.c_str(), in.what.c_str());
        break;
    }
    if (text.empty()) {
        for (const opened_output& out : outputs) {
            if (!same_file(target, out.id)) continue;
            const std::string file =
                out.path == path ? path : format_text("%s (also written %s)", path.c_str(), out.path.c_str());
            text = format_text("Error: %s and %s both name the output file %s.\nTwo outputs written to one "
                               "file would garble each other; give each its own name.\n",
                               out.what.c_str(), what.c_str(), file.c_str());
            break;
        }
    }
    if (text.empty()) return true;
    store_refusal(text);
    return false;
}

// Outputs that no card names: written by other steps under a fixed name.
// They are claimed before any file of the table is opened.
struct fixed_output {
    const char* name;
    const char* mode;
    const char* what;
};

const fixed_output kFixedOutputs[] = {
    {kMaskMapFile, "w", "the run's mask map"},
    {kRunTimeFile, "a", "the run's time record"},
};

// Outputs a card names that are written only when the run ends: claimed
// with the others, so that no input or other output shares their file.
struct final_output {
    const char* card;
    predicate wanted;
    std::string (*name)(const model_state&);
    const char* mode = "w";  // "a": each run of a series adds to the one file
};

const final_output kFinalOutputs[] = {
    {"ADJUST_ELEV", [](const model_state& m) { return m.project_options.adjust_elev_given != 0; },
     card_value<&P::adjust_elev>},
    {"FYSSI", [](const model_state& m) { return m.chan_sed_on && m.project_options.fyssi_given; },
     card_value<&P::fyssi>, "a"},
};

std::string final_path(const model_state& m, const final_output& f) {
    std::string name = f.name(m);
    strip_quotes(name);
    return output_path(name, f.mode, 1);
}

// Closes a slot; a written one is checked for write errors, which are said
// at once. False when a write failed.
bool close_slot(const model_state& m, const run_file& f, file_ptr& fp) {
    if (!fp) return true;
    if (f.mode[0] != 'w') {
        close_file(fp);
        return true;
    }
    if (close_file_checked(fp) == 0) return true;
    print_both(format_text("Error writing %s file %s: the output is incomplete.\n", f.item,
                           tried_path(f, f.name(m)).c_str()));
    return false;
}

}  // namespace

void open_run_files(model_state& m) {
    const std::vector<named_file> inputs = run_inputs(m);
    std::vector<opened_output> outputs;
    for (const fixed_output& f : kFixedOutputs) {
        const std::string path = output_path(f.name, f.mode, 1);
        if (!output_is_its_own(f.what, true, path, inputs, outputs)) {
            if (std::string(f.name) == kRunTimeFile) m.time_record_is_input = 1;
            return;
        }
        outputs.push_back({f.what, path, identify(path)});
    }
    for (const run_file& f : kRunFiles) {
        if (!f.wanted(m)) continue;
        if (f.prepare && !f.prepare(m)) return;
        if (!f.slot) continue;
        if (f.slot == &O::summary_fp) m.summary_tried = true;
        std::string name = f.name(m);
        const bool writes = f.mode[0] == 'w';
        std::string path = tried_path(f, name);
        if (writes && !path.empty() && !output_is_its_own(output_words(f), false, path, inputs, outputs)) return;
        file_ptr fp = open_file(name, f.mode, 1);
        if (!fp) {
            if (f.tolerated && f.tolerated(m)) continue;
            // In numbered mode an unnamed file still gets a run-number path.
            std::string given = name;
            strip_quotes(given);
            if (given.empty() && table_for(f) != table_none) {
                refuse_unnamed_map(m, f);
                return;
            }
            if (given.empty() && f.card[0] != '\0') {
                refuse_unnamed_file(m, f);
                return;
            }
            store_failure(m, f, name);
            return;
        }
        m.*f.slot = std::move(fp);
        if (writes) outputs.push_back({output_words(f), path, identify(path)});
        if (f.opened) f.opened(m);
    }
    for (const final_output& f : kFinalOutputs) {
        if (!f.wanted(m)) continue;
        const std::string path = final_path(m, f);
        if (path.empty()) continue;
        if (!output_is_its_own(card_words(f.card), false, path, inputs, outputs)) return;
        outputs.push_back({card_words(f.card), path, identify(path)});
    }
}

bool output_file_is_free(model_state& m, const std::string& words, const std::string& path,
                         const std::vector<std::pair<std::string, std::string>>& also_written) {
    std::vector<opened_output> outputs;
    for (const fixed_output& f : kFixedOutputs) {
        const std::string p = output_path(f.name, f.mode, 1);
        outputs.push_back({f.what, p, identify(p)});
    }
    for (const run_file& f : kRunFiles) {
        if (!f.slot || f.mode[0] != 'w' || !(m.*f.slot)) continue;
        const std::string p = tried_path(f, f.name(m));
        outputs.push_back({output_words(f), p, identify(p)});
    }
    for (const final_output& f : kFinalOutputs) {
        if (!f.wanted(m)) continue;
        const std::string p = final_path(m, f);
        if (!p.empty()) outputs.push_back({card_words(f.card), p, identify(p)});
    }
    for (const auto& w : nutrient_hydrograph_files(m)) outputs.push_back({w.first, w.second, identify(w.second)});
    for (const auto& w : also_written) outputs.push_back({w.first, w.second, identify(w.second)});
    return output_is_its_own(words, false, path, run_inputs(m), outputs);
}

void open_summary_of_stopped_run(model_state& m) {
    if (m.summary_fp || m.summary_tried) return;
    std::string name = m.project_options.summary;
    strip_quotes(name);
    if (name.empty()) return;
    const std::string path = output_path(name, "w", 1);
    std::vector<opened_output> outputs;
    for (const fixed_output& f : kFixedOutputs) {
        const std::string p = output_path(f.name, f.mode, 1);
        outputs.push_back({f.what, p, identify(p)});
    }
    // The run stopped on its own error, which stays the one said last.
    const std::string stop_message = g_error_record.stop_message;
    const bool free = output_is_its_own(card_words("SUMMARY"), false, path, run_inputs(m), outputs);
    g_error_record.stop_message = stop_message;
    if (!free) return;
    file_ptr fp = open_file(name, "w", 1);
    if (!fp) {
        print_both(format_text("The summary file %s could not be opened: the messages above are on the console "
                               "only.\n",
                               path.c_str()));
        return;
    }
    m.summary_fp = std::move(fp);
    register_summary(m);
    write_startup_info(m, m.project_file);
    put_text(m.summary_fp.get(), g_error_record.held_for_summary);
}

void close_output_files(model_state& m) {
    // Every way out of a run comes here: the map datasets get their end marks.
    bool written = end_map_outputs(m);
    // Opened with the run parameters, before the run's other files.
    if (close_file_checked(m.vq_qin_fp) != 0) {
        std::string name = m.project_options.vq_input;
        strip_quotes(name);
        print_both(format_text("Error writing reservoir model inflow file %s: the output is incomplete.\n",
                               output_path(name, "w", 1).c_str()));
        written = false;
    }
    for (int group = 0; group < kCloseGroups; ++group) {
        if (group == close_run_outputs && !close_nutrient_hydrographs(m)) written = false;
        for (const run_file& f : kRunFiles) {
            if (f.group != group || !f.slot) continue;
            file_ptr& fp = m.*f.slot;
            if (fp && g_error_record.summary_file == fp.get()) g_error_record.summary_file = nullptr;
            if (!close_slot(m, f, fp)) written = false;
        }
    }
    // The files are all closed and nothing reports after them: the code stays
    // pending, and the run driver returns it, so the run counts as failed.
    if (!written) g_error_record.fail(4000);
}

std::string written_file_words(const model_state& m, const std::FILE* fp) {
    for (const run_file& f : kRunFiles) {
        if (!f.slot || (m.*f.slot).get() != fp || !fp) continue;
        return f.card[0] ? f.name(m) + " (card " + f.card + ")" : f.name(m);
    }
    return "its output file";
}

}  // namespace kesta
