// The files of a run: every file the run reads or writes at start-up is
// opened here, in one fixed order, the inputs into their slots of the input
// state and the outputs through the output registry; the outputs that other
// steps write later are claimed here, in the same order, so that none of
// them replaces an input or another output. The order, the conditions, the
// texts of the failure messages and the slots are one table.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "input/mapping_tables.hpp"
#include "input/project_file.hpp"
#include "model/model_state.hpp"
#include "output/final_files.hpp"
#include "output/grid_writers.hpp"
#include "output/output_registry.hpp"
#include "output/output_steps.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

// How a failure names its file in the error record.
enum class fail_text {
    item_and_name,    // item: the row's text; file name: the name that failed
    location_output,  // item: the name that failed; file name: the hydrograph-location file
    theta_output,     // item: the theta-location file; file name: "name (out_theta_location_file)"
};

using predicate = bool (*)(const model_state&);
using name_fn = std::string (*)(const model_state&);

// One row: an input read into its slot of the input state, an output
// written through the registry into its slot of the output state, an
// output claimed for a writer that opens it later (claim), or a check that
// opens nothing (prepare alone).
struct run_file {
    predicate wanted;  // the card flags and options that call for the file
    name_fn name = nullptr;
    const char* mode = "r";
    const char* item = "";
    const char* card = "";  // the project card (or cards) that names the file; "" for a fixed name
    int code = 4;  // catalogue code of a failure
    file_ptr input_state::*input = nullptr;
    output_slot output_state::*output = nullptr;
    output_group group = output_group::run_outputs;  // of an output
    // No error for a card that names no file when it holds: the mapping
    // table supplies the values. A named file must open.
    predicate tolerated = nullptr;
    fail_text text = fail_text::item_and_name;
    // Runs before the file is opened; false ends the opening (error stored).
    bool (*prepare)(model_state&) = nullptr;
    // Runs once the file is open.
    void (*opened)(model_state&) = nullptr;
    output_request (*claim)(const model_state&) = nullptr;
};

run_file input(predicate wanted, name_fn name, const char* item, const char* card, file_ptr input_state::*slot,
               predicate tolerated = nullptr, bool (*prepare)(model_state&) = nullptr) {
    run_file f;
    f.wanted = wanted;
    f.name = name;
    f.item = item;
    f.card = card;
    f.input = slot;
    f.tolerated = tolerated;
    f.prepare = prepare;
    return f;
}

run_file output(predicate wanted, name_fn name, const char* item, const char* card, output_slot output_state::*slot,
                output_group group, int code = 4, fail_text text = fail_text::item_and_name,
                void (*opened)(model_state&) = nullptr) {
    run_file f;
    f.wanted = wanted;
    f.name = name;
    f.mode = "w";
    f.item = item;
    f.card = card;
    f.code = code;
    f.output = slot;
    f.group = group;
    f.text = text;
    f.opened = opened;
    return f;
}

// A step of the opening that opens nothing; a name it gives counts among
// the run's inputs.
run_file check(predicate wanted, name_fn name, const char* item, const char* card, int code,
               bool (*prepare)(model_state&)) {
    run_file f;
    f.wanted = wanted;
    f.name = name;
    f.item = item;
    f.card = card;
    f.code = code;
    f.prepare = prepare;
    return f;
}

run_file claimed(predicate wanted, output_request (*request)(const model_state&)) {
    run_file f;
    f.wanted = wanted;
    f.mode = "w";
    f.claim = request;
    return f;
}

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

using I = input_state;
using O = output_state;
using P = project_options;
using G = output_group;

output_request mask_map_request(const model_state&) { return mask_map_output(); }
output_request time_record_request(const model_state&) { return run_time_record_output(); }

// Every file of a run in opening order. Modes "r" and "w"; every open asks
// for the run-number prefix, which only files written in numbered mode get.
const run_file kRunFiles[] = {
    // Written under fixed names: the mask map while the inputs load, the
    // run-time record as the run ends.
    claimed(always, mask_map_request),
    claimed(always, time_record_request),

    check(grids_from_pexlo, card<&model_state::watershed_mask>, "", "WATERSHED_MASK", 47, pexlo_grids_fail),
    input(grids_not_from_pexlo, card<&model_state::watershed_mask>, "watershed mask", "WATERSHED_MASK",
          &I::watershed_mask_fp),
    input(grids_not_from_pexlo, card<&model_state::elevation>, "elevation data", "ELEVATION", &I::elevation_fp),
    output(always, card<&model_state::summary>, "output summary", "SUMMARY", &O::summary_fp, G::summary, 4,
           fail_text::item_and_name, register_summary),
    output(always, card<&model_state::outlet_hydro>, "output hydrograph", "OUTLET_HYDRO", &O::outlet_hydro_fp,
           G::run_outputs),

    // Groundwater.
    input(gw, card<&model_state::gw_boundfile>, "groundwater boundary", "GW_BOUNDFILE", &I::gw_boundfile_fp),
    input([](const model_state& m) { return gw(m) && m.gw_well_level_given; }, card<&model_state::out_well_location>,
          "well location", "OUT_WELL_LOCATION", &I::out_well_location_fp),
    output([](const model_state& m) { return gw(m) && m.gw_well_level_given; }, card<&model_state::gw_well_level>,
           "well level output", "GW_WELL_LEVEL", &O::gw_well_level_fp, G::groundwater),
    input([](const model_state& m) { return gw(m) && m.gw_hycond_map_given; }, card<&model_state::gw_hycond_map>,
          "groundwater hycond", "GW_HYCOND_MAP", &I::gw_hycond_map_fp),
    input([](const model_state& m) { return gw(m) && m.gw_porosity_map_given; }, card<&model_state::gw_porosity_map>,
          "groundwater porosity", "GW_POROSITY_MAP", &I::gw_porosity_map_fp),
    input([](const model_state& m) { return gw(m) && !m.inf_richards_on && m.water_table_given; },
          card<&model_state::water_table>, "water table", "WATER_TABLE", &I::water_table_fp),
    input([](const model_state& m) { return gw(m) && !m.inf_richards_on; }, card<&model_state::aquifer_bottom>,
          "aquifer bottom", "AQUIFER_BOTTOM", &I::aquifer_bottom_fp),

    // Soil columns.
    input(soil_column, card<&model_state::soil_type_map>, "soil type", "SOIL_TYPE_MAP", &I::soil_type_map_fp,
          soil_files_optional, find_soil_type_map),
    input(soil_column, card<&model_state::soil_layer_input_file>, "multi-layer soil table", "SOIL_LAYER_INPUT_FILE",
          &I::soil_layer_input_file_fp, soil_files_optional),
    input([](const model_state& m) { return soil_column(m) && m.water_table_given && !m.water_table_fp; },
          card<&model_state::water_table>, "water table", "WATER_TABLE", &I::water_table_fp),
    input([](const model_state& m) { return soil_column(m) && gw(m) && !m.aquifer_bottom_fp; },
          card<&model_state::aquifer_bottom>, "aquifer bottom", "AQUIFER_BOTTOM", &I::aquifer_bottom_fp),
    output([](const model_state& m) { return soil_column(m) && (m.inf_richards_on || m.soil_et_accounting); },
           evap_out_name, "evaporation output", "", &O::evap_out_fp, G::evaporation, 4, fail_text::item_and_name,
           write_evap_header),

    // Infiltration parameter maps.
    input([](const model_state& m) { return green_ampt_kind(m) && m.moisture_given; }, card<&model_state::moisture>,
          "soil moisture", "MOISTURE", &I::moisture_fp,
          [](const model_state& m) { return m.mapping_table_info.initial_moisture != 0; }),
    input([](const model_state& m) { return green_ampt_kind(m) && m.conductivity_given; },
          card<&model_state::conductivity>, "Ks", "CONDUCTIVITY", &I::conductivity_fp,
          [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }),
    input([](const model_state& m) { return green_ampt_kind(m) && m.capillary_given; }, card<&model_state::capillary>,
          "Hc", "CAPILLARY", &I::capillary_fp,
          [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }),
    input([](const model_state& m) { return green_ampt_kind(m) && m.porosity_given; }, card<&model_state::porosity>,
          "soil porosity", "POROSITY", &I::porosity_fp,
          [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }),
    input([](const model_state& m) { return m.inf_redist_on && m.pore_index_given; }, card<&model_state::pore_index>,
          "pore dist. index", "PORE_INDEX", &I::pore_index_fp,
          [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }),
    input([](const model_state& m) { return m.inf_redist_on && m.residual_sat_given; },
          card<&model_state::residual_sat>, "residual saturation", "RESIDUAL_SAT", &I::residual_sat_fp,
          [](const model_state& m) { return m.mapping_table_info.green_ampt != 0; }),

    // Long-term runs: hydrometeorology and evapotranspiration maps.
    input([](const model_state& m) { return m.long_term != 0; }, card<&model_state::hmet_file>, "hydromet data",
          "HMET_SURFAWAYS/HMET_SAMSON/HMET_KVL", &I::hmet_fp),
    input([](const model_state& m) { return m.long_term && m.albedo_given; }, card<&model_state::albedo>, "albedo",
          "ALBEDO", &I::albedo_fp, [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }),
    input([](const model_state& m) { return penman(m) && m.vheight_given; }, card<&model_state::vheight>, "veg. height",
          "VHEIGHT", &I::vheight_fp, [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }),
    input([](const model_state& m) { return penman(m) && m.tcoeff_given; }, card<&model_state::tcoeff>, "trans. coeff",
          "TCOEFF", &I::tcoeff_fp, [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }),
    input([](const model_state& m) { return penman(m) && m.canopy_given; }, card<&model_state::canopy>,
          "canopy resist.", "CANOPY", &I::canopy_fp,
          [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }),
    input([](const model_state& m) { return penman(m) && m.wilting_point_given; }, card<&model_state::wilting_point>,
          "wilting point", "WILTING_POINT", &I::wilting_point_fp,
          [](const model_state& m) { return m.mapping_table_info.evapotranspiration != 0; }),

    // Rain, channels and overland parameters.
    input([](const model_state& m) { return m.rain_from_file != 0; }, card<&model_state::precip_file>, "raingage data",
          "PRECIP_FILE", &I::precip_file_fp),
    check([](const model_state& m) { return m.chan_routing && !m.project_options.non_ortho_channels; },
          card<&model_state::stream_cell>, "grid-stream connectivity", "STREAM_CELL", 4, refuse_orthogonal_channels),
    input([](const model_state& m) { return any_channel_routing(m) && m.project_options.non_ortho_channels; },
          card_value<&P::stream_cell>, "grid-stream connectivity", "STREAM_CELL", &I::stream_cell_fp),
    input([](const model_state& m) { return m.interception != 0; }, card<&model_state::storage_capacity>,
          "interception storage", "STORAGE_CAPACITY", &I::storage_capacity_fp,
          [](const model_state& m) { return m.mapping_table_info.interception != 0; }),
    input([](const model_state& m) { return m.interception != 0; }, card<&model_state::interception_coeff>,
          "interception coeff.", "INTERCEPTION_COEFF", &I::interception_coeff_fp,
          [](const model_state& m) { return m.mapping_table_info.interception != 0; }),
    input([](const model_state& m) { return m.overland_lake_map_given != 0; }, card<&model_state::overland_lake_map>,
          "overland lake map", "OVERLAND_LAKE_MAP", &I::overland_lake_map_fp),
    input([](const model_state& m) { return m.overland_lake_map_given != 0; }, card<&model_state::overland_lake_file>,
          "overland lake data", "OVERLAND_LAKE_FILE", &I::overland_lake_file_fp),
    input([](const model_state& m) { return m.reten_depth_given != 0; }, card<&model_state::reten_depth>,
          "retention depth", "RETEN_DEPTH", &I::reten_depth_fp,
          [](const model_state& m) { return m.mapping_table_info.retention != 0; }),
    input([](const model_state& m) { return m.roughness_given != 0; }, card<&model_state::roughness>,
          "Manning roughness", "ROUGHNESS", &I::roughness_fp,
          [](const model_state& m) { return m.mapping_table_info.roughness != 0; }),
    input([](const model_state& m) { return m.area_reduction_given != 0; }, card<&model_state::area_reduction>,
          "area reduction", "AREA_REDUCTION", &I::area_reduction_fp,
          [](const model_state& m) { return m.mapping_table_info.area_reduction != 0; }),
    input([](const model_state& m) { return m.chan_routing != 0; }, card<&model_state::channel_input>, "channel input",
          "CHANNEL_INPUT", &I::channel_input_fp),

    // Hotstarts.
    output([](const model_state& m) { return m.chan_hotstart_write != 0; }, card<&model_state::chan_hotstart_depth_out>,
           "channel depth", "WRITE_CHAN_HOTSTART/EXPLIC_BACKWATER", &O::write_chan_hotstart_depth_fp, G::hotstart),
    output([](const model_state& m) { return m.chan_hotstart_write != 0; },
           card<&model_state::chan_hotstart_discharge_out>, "channel discharge", "WRITE_CHAN_HOTSTART/EXPLIC_BACKWATER",
           &O::write_chan_hotstart_discharge_fp, G::hotstart),
    input([](const model_state& m) { return m.project_options.ov_init_depth_given != 0; },
          card_value<&P::ov_init_depth>, "overland hotstart", "OV_INIT_DEPTH/READ_OV_HOTSTART",
          &I::read_ov_hotstart_fp),
    input([](const model_state& m) { return m.chan_hotstart_read != 0; }, card<&model_state::chan_hotstart_depth_in>,
          "channel depth", "READ_CHAN_HOTSTART/EXPLIC_HOTSTART", &I::read_chan_hotstart_depth_fp),
    input([](const model_state& m) { return m.chan_hotstart_read != 0; },
          card<&model_state::chan_hotstart_discharge_in>, "channel discharge", "READ_CHAN_HOTSTART/EXPLIC_HOTSTART",
          &I::read_chan_hotstart_discharge_fp),

    // Locations.
    input([](const model_state& m) { return m.in_hyd_location_given != 0; }, card<&model_state::in_hyd_location>,
          "hydrograph location", "IN_HYD_LOCATION", &I::in_hyd_location_fp),
    output([](const model_state& m) { return m.in_hyd_location_given != 0; }, card<&model_state::out_hyd_location>, "",
           "OUT_HYD_LOCATION", &O::out_hyd_location_fp, G::location, 51, fail_text::location_output),
    output([](const model_state& m) { return m.sig_outlet_hydro_given != 0; }, card<&model_state::sig_outlet_hydro>,
           "optional 6 digit hydrograph", "SIG_OUTLET_HYDRO", &O::sig_outlet_hydro_fp, G::run_outputs),
    output([](const model_state& m) { return m.lake_output_given != 0; }, card<&model_state::lake_output>,
           "lake output", "LAKE_OUTPUT", &O::lake_output_fp, G::location),
    output([](const model_state& m) { return m.out_dep_location_given != 0; }, card<&model_state::out_dep_location>, "",
           "OUT_DEP_LOCATION", &O::out_dep_location_fp, G::location, 50, fail_text::location_output),
    output([](const model_state& m) { return m.out_con_location_given != 0; }, card<&model_state::out_con_location>, "",
           "OUT_CON_LOCATION", &O::out_con_location_fp, G::location, 49, fail_text::location_output),
    output([](const model_state& m) { return m.out_mass_location_given != 0; }, card<&model_state::out_mass_location>,
           "", "OUT_MASS_LOCATION", &O::out_mass_location_fp, G::location, 49, fail_text::location_output),
    input([](const model_state& m) { return m.in_theta_location_given != 0; }, card<&model_state::in_theta_location>,
          "in_theta location", "IN_THETA_LOCATION", &I::in_theta_location_fp),
    output([](const model_state& m) { return m.in_theta_location_given != 0; }, card<&model_state::out_theta_location>,
           "", "OUT_THETA_LOCATION", &O::out_theta_location_fp, G::location, 48, fail_text::theta_output),

    // Channel datasets.
    output([](const model_state& m) { return m.chan_depth_given != 0; }, card_value<&P::chan_depth>,
           "output channel depth", "CHAN_DEPTH", &O::chan_depth_fp, G::channel_output),
    output([](const model_state& m) { return m.chan_discharge_given != 0; }, card_value<&P::chan_discharge>,
           "output channel discharge", "CHAN_DISCHARGE", &O::chan_discharge_fp, G::channel_output),
    output([](const model_state& m) { return m.chan_stage_given != 0; }, card_value<&P::chan_stage>,
           "output channel stage", "CHAN_STAGE", &O::chan_stage_fp, G::channel_output),
    output([](const model_state& m) { return m.chan_velocity_given != 0; }, card_value<&P::chan_velocity>,
           "output channel velocity", "CHAN_VELOCITY", &O::chan_velocity_fp, G::channel_output),
    output([](const model_state& m) { return m.flood_stream_given != 0; }, card<&model_state::flood_stream>,
           "output flood stream stage", "FLOOD_STREAM", &O::flood_stream_fp, G::flood),
    output([](const model_state& m) { return m.chan_sed_flux_given != 0; }, card_value<&P::chan_sed_flux>,
           "output stream_sed_flux", "CHAN_SED_FLUX", &O::chan_sed_flux_fp, G::channel_output),
    // The nutrient outlet hydrographs of the OUT_HYD_* cards.
    check([](const model_state& m) { return m.nutrients != 0; }, [](const model_state&) { return std::string(); }, "",
          "", 4, open_nutrient_hydrographs),

    // Sediment.
    // The sediment routines' outputs (none with the classes carried as constituents).
    output([](const model_state& m) { return sediment_routed(m); }, card_value<&P::outlet_sed_flux>,
           "outlet sediment hydrograph", "OUTLET_SED_FLUX", &O::outlet_sed_flux_fp, G::run_outputs),
    output([](const model_state& m) { return sediment_routed(m) && m.project_options.outlet_sed_tss_given; },
           card_value<&P::outlet_sed_tss>, "outlet sediment tss file", "OUTLET_SED_TSS", &O::outlet_sed_tss_fp,
           G::run_outputs),
    input(sediment_locations, card_value<&P::in_sed_loc>, "input sed. hydrograph locations", "IN_SED_LOC",
          &I::in_sed_loc_fp),
    output(sediment_locations, card_value<&P::out_sed_loc>, "output sed. hydrograph locations", "OUT_SED_LOC",
           &O::out_sed_loc_fp, G::location),
    output([](const model_state& m) { return sediment_locations(m) && m.project_options.out_tss_loc_given; },
           card_value<&P::out_tss_loc>, "output sediment tss hydrograph locations", "OUT_TSS_LOC", &O::out_tss_loc_fp,
           G::location),

    // Pipe networks.
    output([](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_head_given; },
           card_value<&P::pipe_head>, "superlink head", "PIPE_HEAD", &O::pipe_head_fp, G::pipe),
    output([](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_tile_given; },
           card_value<&P::pipe_tile>, "superlink tile", "PIPE_TILE", &O::pipe_tile_fp, G::pipe),
    output([](const model_state& m) { return m.storm_sewer_given && m.project_options.pipe_flow_given; },
           card_value<&P::pipe_flow>, "superlink flow", "PIPE_FLOW", &O::pipe_flow_fp, G::pipe),

    input([](const model_state& m) { return m.contam_map_given != 0; }, card<&model_state::contam_map>, "contam",
          "CONTAM_MAP", &I::contam_map_fp),

    // Written as the run ends.
    claimed([](const model_state& m) { return m.project_options.adjust_elev_given != 0; }, adjusted_elevation_output),
    claimed([](const model_state& m) { return m.chan_sed_on && m.project_options.fyssi_given; },
            channel_sediment_file_output),
    claimed([](const model_state& m) { return m.tvm_hydro_given != 0; }, tvm_hydro_output),
    claimed([](const model_state& m) { return m.project_options.write_ov_hotstart_given != 0; },
            overland_hotstart_output),
    claimed([](const model_state& m) { return m.gw_simulation != 0; }, groundwater_hotstart_output),
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
    file_ptr input_state::*slot;
    int table;
};

const table_source kTableSources[] = {
    {&I::moisture_fp, table_initial_moisture},   {&I::conductivity_fp, table_green_ampt},
    {&I::capillary_fp, table_green_ampt},        {&I::porosity_fp, table_green_ampt},
    {&I::pore_index_fp, table_green_ampt},       {&I::residual_sat_fp, table_green_ampt},
    {&I::albedo_fp, table_evapotranspiration},   {&I::vheight_fp, table_evapotranspiration},
    {&I::tcoeff_fp, table_evapotranspiration},   {&I::canopy_fp, table_evapotranspiration},
    {&I::wilting_point_fp, table_evapotranspiration},
    {&I::storage_capacity_fp, table_interception}, {&I::interception_coeff_fp, table_interception},
    {&I::reten_depth_fp, table_retention},       {&I::roughness_fp, table_roughness},
    {&I::area_reduction_fp, table_area_reduction},
};

int table_for(const run_file& f) {
    for (const table_source& t : kTableSources) {
        if (t.slot == f.input) return t.table;
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

// The request of an output row: the card names it in a refusal ("the " and
// the item for a fixed name); a failed close names the item's file.
output_request request_of(const model_state& m, const run_file& f) {
    output_request s;
    s.words = f.card[0] != '\0' ? std::string("card ") + f.card : std::string("the ") + f.item;
    s.name = f.name(m);
    s.mode = f.mode;
    s.group = f.group;
    s.what = std::string(f.item[0] != '\0' ? f.item : f.card) + " file";
    return s;
}

void add_input(std::vector<run_input>& list, const std::string& what, std::string name) {
    strip_quotes(name);
    if (!name.empty()) list.push_back({what, name});
}

}  // namespace

// Every input file the project names: the project file, the maps and tables
// of the opening table, the mapping table with its index maps, the files
// read at their card, and the inputs other steps open later.
std::vector<run_input> run_inputs(model_state& m) {
    const project_options& po = m.project_options;
    std::vector<run_input> list;
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
        {"AQ_ENV", &P::aq_env},
    };
    for (const auto& c : kOtherInputs) add_input(list, std::string("named by card ") + c.card, po.*c.name);
    return list;
}

void open_run_files(model_state& m) {
    for (const run_file& f : kRunFiles) {
        if (!f.wanted(m)) continue;
        if (f.claim) {
            const output_request request = f.claim(m);
            if (claim_output(m, request)) continue;
            if (request.name == kRunTimeFile) m.time_record_is_input = 1;
            return;
        }
        if (f.prepare && !f.prepare(m)) return;
        if (!f.input && !f.output) continue;
        if (f.output == &O::summary_fp) m.summary_tried = true;
        std::string name = f.name(m);
        file_ptr read;
        std::FILE* fp = nullptr;
        if (f.output) {
            const opened_output o = open_output(m, request_of(m, f), &(m.*f.output));
            if (o.refused) return;
            fp = o.fp;
        } else {
            read = open_file(name, f.mode, 1);
            fp = read.get();
        }
        if (!fp) {
            // In numbered mode an unnamed file still gets a run-number path.
            std::string given = name;
            strip_quotes(given);
            if (given.empty() && f.tolerated && f.tolerated(m)) continue;
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
        if (f.input) m.*f.input = std::move(read);
        if (f.opened) f.opened(m);
    }
}

output_request mask_map_output() {
    output_request s;
    s.words = "the run's mask map";
    s.name = kMaskMapFile;
    s.group = output_group::written_whole;
    s.what = "mask map file";
    s.fixed = true;
    return s;
}

output_request run_time_record_output() {
    output_request s;
    s.words = "the run's time record";
    s.name = kRunTimeFile;
    s.mode = "a";
    s.group = output_group::written_whole;
    s.what = "run time record file";
    s.fixed = true;
    return s;
}

void open_summary_of_stopped_run(model_state& m) {
    if (m.summary_fp || m.summary_tried) return;
    std::string name = m.project_options.summary;
    strip_quotes(name);
    if (name.empty()) return;
    // The run stopped on its own error, which stays the one said last. The
    // run-time record is written for it all the same: claimed first, as at
    // start-up.
    const std::string stop_message = g_error_record.stop_message;
    if (!m.time_record_is_input && !claim_output(m, run_time_record_output())) m.time_record_is_input = 1;
    output_request request;
    request.words = "card SUMMARY";
    request.name = m.project_options.summary;
    request.group = output_group::summary;
    request.what = "output summary file";
    const opened_output o = open_output(m, request, &m.summary_fp);
    g_error_record.stop_message = stop_message;
    if (o.refused) return;
    if (!o.fp) {
        print_both(format_text("The summary file %s could not be opened: the messages above are on the console "
                               "only.\n",
                               output_path(name, "w", 1).c_str()));
        return;
    }
    register_summary(m);
    write_startup_info(m, m.project_file);
    put_text(m.summary_fp.get(), g_error_record.held_for_summary);
}

void close_output_files(model_state& m) {
    // Every way out of a run comes here. The files are all closed and
    // nothing reports after them: a failed write leaves the code pending,
    // and the run driver returns it, so the run counts as failed.
    const bool written = close_all_outputs(m);
    for (const run_file& f : kRunFiles)
        if (f.input) close_file(m.*f.input);
    if (!written) g_error_record.fail(4000);
}

}  // namespace kesta
