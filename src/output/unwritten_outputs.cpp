// The output cards whose files the run's other cards leave unwritten or
// empty. Each row names an output card, what the card's file needs and the
// condition under which the writer writes it; a card that is given while its
// condition fails is said once among the warnings:
//   "<CARD> has no effect without <needs>: <file> is not written."
// A card may have several rows, side by side and tried in order; the first
// whose condition fails speaks for the card. The first row's needs name all
// that the file needs, a later row's leave out what the rows before it found
// met. When the file was opened all the same (its slot shows a stream), the
// row says what it holds instead of "is not written".
//
// The conditions are those under which the outputs' openers and writers
// write, read once every output is open. Cards that are warned about where
// their files would be written are not here: the sediment outputs of
// SOIL_EROSION 10 and above, FYSSI, OUT_ST_* and OUT_HYD_*.
#include <cstring>
#include <string>

#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "nutrients/zep_container.hpp"
#include "output/output_steps.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

using M = model_state;
using P = project_options;

struct output_need {
    const char* card;
    bool (*given)(const M&);
    std::string (*file)(const M&);  // the file (or files) the card names
    const char* needs;
    bool (*met)(const M&);
    // The slot the file opens in whatever the condition, and what it then
    // holds; null when the file is opened only when the condition holds.
    // Both texts take the file for their %s.
    output_slot output_state::*slot = nullptr;
    const char* opened = "%s stays empty";
    const char* unwritten = "%s is not written";
};

template <auto Flag>
bool given_flag(const M& m) {
    return m.project_options.*Flag != 0;
}

template <auto Name>
bool given_name(const M& m) {
    return !(m.project_options.*Name).empty();
}

template <auto Name>
std::string name_of(const M& m) {
    return m.project_options.*Name;
}

// A file the run would write where the model state says (the exchange
// files go to the exchange folder).
template <auto Path>
std::string path_of(const M& m) {
    return m.*Path;
}

// The sediment outputs SOIL_EROSION 10 and above has said are unused.
template <auto Name>
bool given_sediment_name(const M& m) {
    return given_name<Name>(m) && m.sed_as_constituents != 2;
}

std::string hotstart_names(const M& m) {
    const std::string& base = m.project_options.explic_backwater;
    return base + ".dht and " + base + ".qht";
}

bool channel_routing(const M& m) { return m.chan_routing != 0 && m.nlinks >= 1; }
bool hyd_locations(const M& m) { return m.in_hyd_location_given != 0; }
bool channel_constituents(const M& m) {
    return m.in_hyd_location_given && m.chan_con_trans && m.ov_con_trans;
}
bool infiltration(const M& m) { return any_infiltration(m); }
bool theta_locations(const M& m) { return m.in_theta_location_given != 0; }
bool groundwater(const M& m) { return m.gw_simulation != 0; }
bool soil_erosion(const M& m) { return m.soil_erosion_given != 0; }
bool channel_sediment(const M& m) { return m.chan_sed_on != 0; }
bool sediment_locations(const M& m) { return m.project_options.in_sed_loc_given != 0; }
bool channel_lakes(const M& m) { return m.chan_lakes_on != 0; }
bool storm_sewer(const M& m) { return m.storm_sewer_given != 0; }
bool tile_pipes(const M& m) { return m.tile_drains_present != 0; }
bool map_datasets(const M& m) { return m.map_tvm_ascii != 0; }
bool constituents(const M& m) { return m.ov_con_trans && m.ncontam > 0; }
bool nutrients(const M& m) { return m.zep != nullptr; }
bool nutrient_channels(const M& m) {
    return m.zep && m.first_nutrient_constituent >= 1 && m.nlinks >= 1 && !m.chan_mass.empty() &&
           !m.zep->streams.total_n.empty();
}
bool exchange(const M& m) { return m.htp && m.olma_given; }
bool reservoir_fluxes(const M& m) { return m.project_options.vq_fluxes != 0; }

constexpr const char* kRouting = "channel routing (CHAN_EXPLIC)";
constexpr const char* kInfiltration =
    "an infiltration method (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS)";
constexpr const char* kOnlyTimes = "%s holds only its times";
// A map card names the folder of the grid files or the dataset file.
constexpr const char* kNoMaps = "no maps are written to %s";

using O = output_state;

const output_need kNeeds[] = {
    // Series at listed places.
    {"OUT_HYD_LOCATION", given_name<&P::out_hyd_location>, name_of<&P::out_hyd_location>,
     "channel routing (CHAN_EXPLIC) and IN_HYD_LOCATION", channel_routing, &O::out_hyd_location_fp, kOnlyTimes},
    {"OUT_HYD_LOCATION", given_name<&P::out_hyd_location>, name_of<&P::out_hyd_location>, "IN_HYD_LOCATION",
     hyd_locations, &O::out_hyd_location_fp, kOnlyTimes},
    {"OUT_DEP_LOCATION", given_flag<&P::out_dep_location_given>, name_of<&P::out_dep_location>,
     "channel routing (CHAN_EXPLIC) and IN_HYD_LOCATION", channel_routing, &O::out_dep_location_fp, kOnlyTimes},
    {"OUT_DEP_LOCATION", given_flag<&P::out_dep_location_given>, name_of<&P::out_dep_location>, "IN_HYD_LOCATION",
     hyd_locations, &O::out_dep_location_fp, kOnlyTimes},
    {"OUT_CON_LOCATION", given_flag<&P::out_con_location_given>, name_of<&P::out_con_location>,
     "channel routing (CHAN_EXPLIC), IN_HYD_LOCATION, OV_CON_TRANS and CHAN_CON_TRANS", channel_routing,
     &O::out_con_location_fp},
    {"OUT_CON_LOCATION", given_flag<&P::out_con_location_given>, name_of<&P::out_con_location>,
     "IN_HYD_LOCATION, OV_CON_TRANS and CHAN_CON_TRANS", channel_constituents, &O::out_con_location_fp},
    {"OUT_MASS_LOCATION", given_flag<&P::out_mass_location_given>, name_of<&P::out_mass_location>,
     "channel routing (CHAN_EXPLIC), IN_HYD_LOCATION, OV_CON_TRANS and CHAN_CON_TRANS", channel_routing,
     &O::out_mass_location_fp},
    {"OUT_MASS_LOCATION", given_flag<&P::out_mass_location_given>, name_of<&P::out_mass_location>,
     "IN_HYD_LOCATION, OV_CON_TRANS and CHAN_CON_TRANS", channel_constituents, &O::out_mass_location_fp},
    {"OUT_THETA_LOCATION", given_name<&P::out_theta_location>, name_of<&P::out_theta_location>,
     "an infiltration method (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS) and IN_THETA_LOCATION",
     infiltration, &O::out_theta_location_fp},
    {"OUT_THETA_LOCATION", given_name<&P::out_theta_location>, name_of<&P::out_theta_location>,
     "IN_THETA_LOCATION", theta_locations, &O::out_theta_location_fp},
    {"GW_WELL_LEVEL", given_flag<&P::gw_well_level_given>, name_of<&P::gw_well_level>,
     "GW_SIMULATION and WATER_TABLE", groundwater},
    {"LAKE_OUTPUT", given_flag<&P::lake_output_given>, name_of<&P::lake_output>,
     "lakes in the channel network (CHAN_EXPLIC)", channel_lakes, &O::lake_output_fp},

    // Sediment.
    {"OUTLET_SED_FLUX", given_sediment_name<&P::outlet_sed_flux>, name_of<&P::outlet_sed_flux>, "SOIL_EROSION",
     soil_erosion},
    {"OUTLET_SED_TSS", given_flag<&P::outlet_sed_tss_given>, name_of<&P::outlet_sed_tss>,
     "SOIL_EROSION and channel routing (CHAN_EXPLIC)", soil_erosion, &O::outlet_sed_tss_fp},
    {"OUTLET_SED_TSS", given_flag<&P::outlet_sed_tss_given>, name_of<&P::outlet_sed_tss>, kRouting,
     channel_sediment, &O::outlet_sed_tss_fp},
    {"OUT_SED_LOC", given_sediment_name<&P::out_sed_loc>, name_of<&P::out_sed_loc>,
     "SOIL_EROSION, channel routing (CHAN_EXPLIC) and IN_SED_LOC", channel_sediment},
    {"OUT_SED_LOC", given_sediment_name<&P::out_sed_loc>, name_of<&P::out_sed_loc>, "IN_SED_LOC",
     sediment_locations},
    {"OUT_TSS_LOC", given_flag<&P::out_tss_loc_given>, name_of<&P::out_tss_loc>,
     "SOIL_EROSION, channel routing (CHAN_EXPLIC) and IN_SED_LOC", channel_sediment},
    {"OUT_TSS_LOC", given_flag<&P::out_tss_loc_given>, name_of<&P::out_tss_loc>, "IN_SED_LOC", sediment_locations},
    {"CHAN_SED_FLUX", given_flag<&P::chan_sed_flux_given>, name_of<&P::chan_sed_flux>,
     "channel routing (CHAN_EXPLIC) and SOIL_EROSION", channel_routing, &O::chan_sed_flux_fp},
    {"CHAN_SED_FLUX", given_flag<&P::chan_sed_flux_given>, name_of<&P::chan_sed_flux>, "SOIL_EROSION",
     channel_sediment, &O::chan_sed_flux_fp, "%s holds only its header"},
    {"VOL_SED_SUSP", given_flag<&P::vol_sed_susp_given>, name_of<&P::vol_sed_susp>, "SOIL_EROSION", soil_erosion,
     nullptr, nullptr, kNoMaps},
    {"MAX_SED_FLUX", given_flag<&P::max_sed_flux_given>, name_of<&P::max_sed_flux>, "SOIL_EROSION", soil_erosion,
     nullptr, nullptr, kNoMaps},
    {"NET_SED_VOLUME", given_flag<&P::net_sed_volume_given>, name_of<&P::net_sed_volume>, "SOIL_EROSION",
     soil_erosion, nullptr, nullptr, kNoMaps},

    // Channel link/node datasets.
    {"CHAN_DEPTH", given_flag<&P::chan_depth_given>, name_of<&P::chan_depth>, kRouting, channel_routing,
     &O::chan_depth_fp},
    {"CHAN_DISCHARGE", given_flag<&P::chan_discharge_given>, name_of<&P::chan_discharge>, kRouting, channel_routing,
     &O::chan_discharge_fp},
    {"CHAN_STAGE", given_flag<&P::chan_stage_given>, name_of<&P::chan_stage>, kRouting, channel_routing,
     &O::chan_stage_fp},
    {"CHAN_VELOCITY", given_flag<&P::chan_velocity_given>, name_of<&P::chan_velocity>, kRouting, channel_routing,
     &O::chan_velocity_fp},
    {"FLOOD_STREAM", given_flag<&P::flood_stream_given>, name_of<&P::flood_stream>, kRouting, channel_routing,
     &O::flood_stream_fp},
    {"WRITE_CHAN_HOTSTART", given_flag<&P::write_chan_hotstart_given>, hotstart_names, kRouting, channel_routing,
     nullptr, nullptr, "%s are not written"},
    {"EXPLIC_BACKWATER", given_flag<&P::explic_backwater_given>, hotstart_names, kRouting, channel_routing, nullptr,
     nullptr, "%s are not written"},

    // Pipe-network datasets.
    {"PIPE_FLOW", given_flag<&P::pipe_flow_given>, name_of<&P::pipe_flow>, "STORM_SEWER", storm_sewer},
    {"PIPE_HEAD", given_flag<&P::pipe_head_given>, name_of<&P::pipe_head>, "STORM_SEWER", storm_sewer},
    {"PIPE_TILE", given_flag<&P::pipe_tile_given>, name_of<&P::pipe_tile>,
     "STORM_SEWER and tile pipes (pipes with a conductivity above 0)", storm_sewer},
    {"PIPE_TILE", given_flag<&P::pipe_tile_given>, name_of<&P::pipe_tile>,
     "tile pipes (pipes with a conductivity above 0)", tile_pipes, &O::pipe_tile_fp},

    // Maps.
    {"INF_DEPTH", given_flag<&P::inf_depth_given>, name_of<&P::inf_depth>, kInfiltration, infiltration, nullptr,
     nullptr, kNoMaps},
    {"RATE_OF_INFIL", given_flag<&P::rate_of_infil_given>, name_of<&P::rate_of_infil>, kInfiltration,
     infiltration, nullptr, nullptr, kNoMaps},
    {"SURF_MOIST", given_flag<&P::surf_moist_given>, name_of<&P::surf_moist>, kInfiltration, infiltration,
     nullptr, nullptr, kNoMaps},
    {"GW_OUTPUT", given_flag<&P::gw_output_given>, name_of<&P::gw_output>, "GW_SIMULATION and WATER_TABLE",
     groundwater, nullptr, nullptr, kNoMaps},
    // The one frame of the largest depths is written to datasets only.
    {"FLOOD_GRID", given_flag<&P::flood_grid_given>, name_of<&P::flood_grid>, "MAP_TYPE 1 or 2", map_datasets},
    {"OV_CON_MAP", given_flag<&P::ov_con_map_given>, name_of<&P::ov_con_map>, "OV_CON_TRANS or NUTRIENTS",
     constituents, nullptr, nullptr, kNoMaps},

    // Nutrient totals.
    {"TOTAL_OV_N", given_flag<&P::total_ov_n_given>, name_of<&P::total_ov_n>, "NUTRIENTS", nutrients, nullptr,
     nullptr, kNoMaps},
    {"TOTAL_OV_P", given_flag<&P::total_ov_p_given>, name_of<&P::total_ov_p>, "NUTRIENTS", nutrients, nullptr,
     nullptr, kNoMaps},
    {"TOTAL_CHAN_N", given_flag<&P::total_chan_n_given>, name_of<&P::total_chan_n>,
     "NUTRIENTS and channel routing (CHAN_EXPLIC)", nutrients},
    {"TOTAL_CHAN_N", given_flag<&P::total_chan_n_given>, name_of<&P::total_chan_n>, kRouting, nutrient_channels},
    {"TOTAL_CHAN_KN", given_flag<&P::total_chan_kn_given>, name_of<&P::total_chan_kn>,
     "NUTRIENTS and channel routing (CHAN_EXPLIC)", nutrients},
    {"TOTAL_CHAN_KN", given_flag<&P::total_chan_kn_given>, name_of<&P::total_chan_kn>, kRouting, nutrient_channels},
    {"TOTAL_CHAN_P", given_flag<&P::total_chan_p_given>, name_of<&P::total_chan_p>,
     "NUTRIENTS and channel routing (CHAN_EXPLIC)", nutrients},
    {"TOTAL_CHAN_P", given_flag<&P::total_chan_p_given>, name_of<&P::total_chan_p>, kRouting, nutrient_channels},

    // Files for coupled models.
    {"MOIST_TO_OLMA", given_flag<&P::moist_to_olma_given>, path_of<&M::moist_to_olma>, "HTP and OLMA", exchange},
    {"KSAT_TO_OLMA", given_flag<&P::ksat_to_olma_given>, path_of<&M::ksat_to_olma>, "HTP and OLMA", exchange},
    {"ROUGH_TO_OLMA", given_flag<&P::rough_to_olma_given>, path_of<&M::rough_to_olma>, "HTP and OLMA", exchange},
    {"POROS_TO_OLMA", given_flag<&P::poros_to_olma_given>, path_of<&M::poros_to_olma>, "HTP and OLMA", exchange},
    {"VQ_SEGMENT_FLUXES", given_name<&P::vq_segment_fluxes>, name_of<&P::vq_segment_fluxes>, "VQ_FLUXES",
     reservoir_fluxes},
};

}  // namespace

void warn_unwritten_outputs(const model_state& m) {
    const char* said = "";  // the card of the last row that warned
    for (const output_need& n : kNeeds) {
        if (std::strcmp(n.card, said) == 0 || !n.given(m) || n.met(m)) continue;
        const bool opened = n.slot && (m.*n.slot);
        const std::string outcome = format_text(opened ? n.opened : n.unwritten, n.file(m).c_str());
        warn(format_text("%s has no effect without %s: %s.\n", n.card, n.needs, outcome.c_str()));
        said = n.card;
    }
}

}  // namespace kesta
