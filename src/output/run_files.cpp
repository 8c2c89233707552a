// The files of a run: every file slot of the model state is opened here at
// start-up, in one fixed order, and closed here at shut-down. The order, the
// conditions, the texts of the failure messages and the slots are one table.
#include <cstdio>
#include <string>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/model_state.hpp"
#include "input/mapping_tables.hpp"
#include "output/grid_writers.hpp"
#include "output/output_steps.hpp"

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
    {grids_from_pexlo, card<&model_state::watershed_mask>, "r", "", 47, nullptr, close_run_outputs,
     nullptr, fail_text::item_and_name, pexlo_grids_fail},
    {grids_not_from_pexlo, card<&model_state::watershed_mask>, "r", "watershed mask", 4,
     &O::watershed_mask_fp, close_run_outputs},
    {grids_not_from_pexlo, card<&model_state::elevation>, "r", "elevation data", 4, &O::elevation_fp,
     close_run_outputs},
    {always, card<&model_state::summary>, "w", "output summary", 4, &O::summary_fp, close_run_outputs,
     nullptr, fail_text::item_and_name, nullptr, register_summary},
    {always, card<&model_state::outlet_hydro>, "w", "output hydrograph", 4, &O::outlet_hydro_fp,
     close_run_outputs},

    // Groundwater.
    {gw, card<&model_state::gw_boundfile>, "r", "groundwater boundary", 4, &O::gw_boundfile_fp,
     close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_well_level_given; },
     card<&model_state::out_well_location>, "r", "well location", 4, &O::out_well_location_fp,
     close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_well_level_given; },
     card<&model_state::gw_well_level>, "w", "well level output", 4, &O::gw_well_level_fp,
     close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_hycond_map_given; },
     card<&model_state::gw_hycond_map>, "r", "groundwater hycond", 4, &O::gw_hycond_map_fp,
     close_groundwater},
    {[](const model_state& m) { return gw(m) && m.gw_porosity_map_given; },
     card<&model_state::gw_porosity_map>, "r", "groundwater porosity", 4, &O::gw_porosity_map_fp,
     close_groundwater},
    {[](const model_state& m) { return gw(m) && !m.inf_richards_on && m.water_table_given; },
     card<&model_state::water_table>, "r", "water table", 4, &O::water_table_fp, close_groundwater},
    {[](const model_state& m) { return gw(m) && !m.inf_richards_on; },
     card<&model_state::aquifer_bottom>, "r", "aquifer bottom", 4, &O::aquifer_bottom_fp,
     close_groundwater},

    // Soil columns.
    {soil_column, card<&model_state::soil_type_map>, "r", "soil type", 4, &O::soil_type_map_fp,
     close_soil, soil_files_optional, fail_text::item_and_name, find_soil_type_map},
    {soil_column, card<&model_state::soil_layer_input_file>, "r", "multi-layer soil table", 4,
     &O::soil_layer_input_file_fp, close_soil, soil_files_optional},
    {[](const model_state& m) { return soil_column(m) && m.water_table_given && !m.water_table_fp; },
     card<&model_state::water_table>, "r", "water table", 4, &O::water_table_fp, close_groundwater},
    {[](const model_state& m) { return soil_column(m) && gw(m) && !m.aquifer_bottom_fp; },
     card<&model_state::aquifer_bottom>, "r", "aquifer bottom", 4, &O::aquifer_bottom_fp,
     close_groundwater},
    {[](const model_state& m) {
         return soil_column(m) && (m.inf_richards_on || m.soil_et_accounting);
     },
     evap_out_name, "w", "evaporation output", 4, &O::evap_out_fp, close_evaporation, nullptr,
     fail_text::item_and_name, nullptr, write_evap_header},

    // Infiltration parameter maps.
    {[](const model_state& m) { return green_ampt_kind(m) && m.moisture_given; },
     card<&model_state::moisture>, "r", "soil moisture", 4, &O::moisture_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.initial_moisture != 0; }},
    {[](const model_state& m) { return green_ampt_kind(m) && m.conductivity_given; },
     card<&model_state::conductivity>, "r", "Ks", 4, &O::conductivity_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return green_ampt_kind(m) && m.capillary_given; },
     card<&model_state::capillary>, "r", "Hc", 4, &O::capillary_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return green_ampt_kind(m) && m.porosity_given; },
     card<&model_state::porosity>, "r", "soil porosity", 4, &O::porosity_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return m.inf_redist_on && m.pore_index_given; },
     card<&model_state::pore_index>, "r", "pore dist. index", 4, &O::pore_index_fp,
     close_parameter_maps, [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},
    {[](const model_state& m) { return m.inf_redist_on && m.residual_sat_given; },
     card<&model_state::residual_sat>, "r", "residual saturation", 4, &O::residual_sat_fp,
     close_parameter_maps, [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }},

    // Long-term runs: hydrometeorology and evapotranspiration maps.
    {[](const model_state& m) { return m.long_term != 0; }, card<&model_state::hmet_file>, "r",
     "hydromet data", 4, &O::hmet_fp, close_parameter_maps},
    {[](const model_state& m) { return m.long_term && m.albedo_given; }, card<&model_state::albedo>,
     "r", "albedo", 4, &O::albedo_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.vheight_given; }, card<&model_state::vheight>,
     "r", "veg. height", 4, &O::vheight_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.tcoeff_given; }, card<&model_state::tcoeff>,
     "r", "trans. coeff", 4, &O::tcoeff_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.canopy_given; }, card<&model_state::canopy>,
     "r", "canopy resist.", 4, &O::canopy_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},
    {[](const model_state& m) { return penman(m) && m.wilting_point_given; },
     card<&model_state::wilting_point>, "r", "wilting point", 4, &O::wilting_point_fp,
     close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }},

    // Rain, channels and overland parameters.
    {[](const model_state& m) { return m.rain_from_file != 0; }, card<&model_state::precip_file>,
     "r", "raingage data", 4, &O::precip_file_fp, close_parameter_maps},
    {[](const model_state& m) { return m.chan_routing && !m.project_options.non_ortho_channels; },
     card<&model_state::stream_cell>, "r", "grid-stream connectivity", 4, nullptr, close_channel,
     nullptr, fail_text::item_and_name, refuse_orthogonal_channels},
    {[](const model_state& m) {
         return any_channel_routing(m) && m.project_options.non_ortho_channels;
     },
     card_value<&P::stream_cell>, "r", "grid-stream connectivity", 4, &O::stream_cell_fp,
     close_channel},
    {[](const model_state& m) { return m.interception != 0; }, card<&model_state::storage_capacity>,
     "r", "interception storage", 4, &O::storage_capacity_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.interception != 0; }},
    {[](const model_state& m) { return m.interception != 0; },
     card<&model_state::interception_coeff>, "r", "interception coeff.", 4,
     &O::interception_coeff_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.interception != 0; }},
    {[](const model_state& m) { return m.overland_lake_map_given != 0; },
     card<&model_state::overland_lake_map>, "r", "overland lake map", 4, &O::overland_lake_map_fp,
     close_parameter_maps},
    {[](const model_state& m) { return m.overland_lake_map_given != 0; },
     card<&model_state::overland_lake_file>, "r", "overland lake data", 4, &O::overland_lake_file_fp,
     close_parameter_maps},
    {[](const model_state& m) { return m.reten_depth_given != 0; }, card<&model_state::reten_depth>,
     "r", "retention depth", 4, &O::reten_depth_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.retention != 0; }},
    {[](const model_state& m) { return m.roughness_given != 0; }, card<&model_state::roughness>, "r",
     "Manning roughness", 4, &O::roughness_fp, close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.roughness != 0; }},
    {[](const model_state& m) { return m.area_reduction_given != 0; },
     card<&model_state::area_reduction>, "r", "area reduction", 4, &O::area_reduction_fp,
     close_parameter_maps,
     [](const model_state& m) { return m.mapping_table_info.area_reduction != 0; }},
    {[](const model_state& m) { return m.chan_routing != 0; }, card<&model_state::channel_input>,
     "r", "channel input", 4, &O::channel_input_fp, close_channel},

    // Hotstarts.
    {[](const model_state& m) { return m.chan_hotstart_write != 0; },
     card<&model_state::chan_hotstart_depth_out>, "w", "channel depth", 4,
     &O::write_chan_hotstart_depth_fp, close_hotstart},
    {[](const model_state& m) { return m.chan_hotstart_write != 0; },
     card<&model_state::chan_hotstart_discharge_out>, "w", "channel discharge", 4,
     &O::write_chan_hotstart_discharge_fp, close_hotstart},
    {[](const model_state& m) { return m.project_options.ov_init_depth_given != 0; },
     card_value<&P::ov_init_depth>, "r", "overland hotstart", 4, &O::read_ov_hotstart_fp,
     close_hotstart},
    {[](const model_state& m) { return m.chan_hotstart_read != 0; },
     card<&model_state::chan_hotstart_depth_in>, "r", "channel depth", 4,
     &O::read_chan_hotstart_depth_fp, close_hotstart},
    {[](const model_state& m) { return m.chan_hotstart_read != 0; },
     card<&model_state::chan_hotstart_discharge_in>, "r", "channel discharge", 4,
     &O::read_chan_hotstart_discharge_fp, close_hotstart},

    // Locations.
    {[](const model_state& m) { return m.in_hyd_location_given != 0; },
     card<&model_state::in_hyd_location>, "r", "hydrograph location", 4, &O::in_hyd_location_fp,
     close_location},
    {[](const model_state& m) { return m.in_hyd_location_given != 0; },
     card<&model_state::out_hyd_location>, "w", "", 51, &O::out_hyd_location_fp, close_location,
     nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.sig_outlet_hydro_given != 0; },
     card<&model_state::sig_outlet_hydro>, "w", "optional 6 digit hydrograph", 4,
     &O::sig_outlet_hydro_fp, close_run_outputs},
    {[](const model_state& m) { return m.lake_output_given != 0; }, card<&model_state::lake_output>,
     "w", "lake output", 4, &O::lake_output_fp, close_location},
    {[](const model_state& m) { return m.out_dep_location_given != 0; },
     card<&model_state::out_dep_location>, "w", "", 50, &O::out_dep_location_fp, close_location,
     nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.out_con_location_given != 0; },
     card<&model_state::out_con_location>, "w", "", 49, &O::out_con_location_fp, close_location,
     nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.out_mass_location_given != 0; },
     card<&model_state::out_mass_location>, "w", "", 49, &O::out_mass_location_fp, close_location,
     nullptr, fail_text::location_output},
    {[](const model_state& m) { return m.in_theta_location_given != 0; },
     card<&model_state::in_theta_location>, "r", "in_theta location", 4, &O::in_theta_location_fp,
     close_location},
    {[](const model_state& m) { return m.in_theta_location_given != 0; },
     card<&model_state::out_theta_location>, "w", "", 48, &O::out_theta_location_fp, close_location,
     nullptr, fail_text::theta_output},

    // Channel datasets.
    {[](const model_state& m) { return m.chan_depth_given != 0; }, card_value<&P::chan_depth>, "w",
     "output channel depth", 4, &O::chan_depth_fp, close_channel_output},
    {[](const model_state& m) { return m.chan_discharge_given != 0; },
     card_value<&P::chan_discharge>, "w", "output channel discharge", 4, &O::chan_discharge_fp,
     close_channel_output},
    {[](const model_state& m) { return m.chan_stage_given != 0; }, card_value<&P::chan_stage>, "w",
     "output channel stage", 4, &O::chan_stage_fp, close_channel_output},
    {[](const model_state& m) { return m.chan_velocity_given != 0; }, card_value<&P::chan_velocity>,
     "w", "output channel velocity", 4, &O::chan_velocity_fp, close_channel_output},
    {[](const model_state& m) { return m.flood_stream_given != 0; }, card<&model_state::flood_stream>,
     "w", "output flood stream stage", 4, &O::flood_stream_fp, close_flood},
    {[](const model_state& m) { return m.chan_sed_flux_given != 0; }, card_value<&P::chan_sed_flux>,
     "w", "output stream_sed_flux", 4, &O::chan_sed_flux_fp, close_channel_output},

    // Pipe networks.
    {[](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_head_given; },
     card_value<&P::pipe_head>, "w", "superlink head", 4, &O::pipe_head_fp, close_pipe},
    {[](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_tile_given; },
     card_value<&P::pipe_tile>, "w", "superlink tile", 4, &O::pipe_tile_fp, close_pipe},
    {[](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_flow_given; },
     card_value<&P::pipe_flow>, "w", "superlink flow", 4, &O::pipe_flow_fp, close_pipe},

    {[](const model_state& m) { return m.contam_map_given != 0; }, card<&model_state::contam_map>,
     "r", "contam", 4, &O::contam_map_fp, close_parameter_maps},
};

void store_failure(const model_state& m, const run_file& f, const std::string& name) {
    switch (f.text) {
        case fail_text::item_and_name:
            g_error_record.fail(f.code, f.item, name);
            break;
        case fail_text::location_output:
            g_error_record.fail(f.code, name, m.in_hyd_location);
            break;
        case fail_text::theta_output:
            g_error_record.fail(f.code, m.in_theta_location, name + " (out_theta_location_file)");
            break;
    }
}

}  // namespace

void open_run_files(model_state& m) {
    for (const run_file& f : kRunFiles) {
        if (!f.wanted(m)) continue;
        if (f.prepare && !f.prepare(m)) return;
        if (!f.slot) continue;
        std::string name = f.name(m);
        file_ptr fp = open_file(name, f.mode, 1);
        if (!fp) {
            if (f.tolerated && f.tolerated(m)) continue;
            store_failure(m, f, name);
            return;
        }
        m.*f.slot = std::move(fp);
        if (f.opened) f.opened(m);
    }
}

void close_output_files(model_state& m) {
    // Opened with the run parameters, before the run's other files.
    close_file(m.vq_qin_fp);
    for (int group = 0; group < kCloseGroups; ++group) {
        for (const run_file& f : kRunFiles) {
            if (f.group != group || !f.slot) continue;
            file_ptr& fp = m.*f.slot;
            if (fp && g_error_record.summary_file == fp.get()) g_error_record.summary_file = nullptr;
            close_file(fp);
        }
    }
}

}  // namespace kesta
