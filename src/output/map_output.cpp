// The standard maps of a run: set up once the grids are read, then a frame
// of each at every map interval, as numbered ESRI-style grid files or as one
// time step of a gridded dataset per map.
//
// The maps are one table. A row names the map's card, its dataset name, the
// base name of its grid files, the vector it shows and, where the values are
// formed for the frame, how. A process that brings a new mapped quantity adds
// its row. The depth map shows `h`, and on the cells of a channel-network lake the
// lake's level above the cell's ground. The sediment maps show, per cell,
// the sediment leaving it in the last overland step (cm3/s), its net
// deposition over the run as a depth (mm; erosion negative), and the volume
// of sediment its water carries (m3). The contaminant map shows the
// overland concentration of the first contaminant (g/m3).
//
// Besides the standard maps, every contaminant that the CONTAMINANT_TRANSPORT
// table gives an output file has two map series of its own, its overland
// concentration ("conc_%02d", g/m3) and mass ("mass_%02d", g), named after
// that file with ".conc" and ".mass"; with channel constituent transport
// also two link/node datasets of its channel nodes, their concentration
// (g/m3) and dissolved mass (g), named after it with ".chan.conc" and
// ".chan.mass".
//
// With NUTRIENTS, TOTAL_OV_N and TOTAL_OV_P map each cell's total nitrogen
// (NO2 + NO3 + NH4 + ON) and phosphorus (OP + DP) of its water (g), their
// card naming the dataset file, or the folder of numbered grids named
// "Total_ov_N" and "Total_ov_P"; an OUT_OV_<species> card gives that
// species two map series named after its value, "<value>.mass" (g) and
// "<value>.conc" (g/m3). The totals are formed anew before each frame.
// Their channel counterparts, link/node datasets, take a block with each
// frame (nutrient_linknodes.cpp).
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/grid_writers.hpp"
#include "output/linknode_output.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/zep_container.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_steps.hpp"

namespace kesta {

namespace {

constexpr int kFirstObjectId = 1010;  // dataset object id of map type 0
constexpr double kNoDataValue = -999.99;
constexpr int kFirstConstituentId = 5000;  // dataset object id of the first contaminant's concentration

// Discharge of each cell (m3/s): the magnitude of its two face discharges,
// which are volumes per second already.
void fill_discharge(model_state& m) {
    const int n = std::min({m.ncells, m.qmap.n(), m.qx.n(), m.qy.n()});
    for (int k = 1; k <= n; ++k) m.qmap[k] = std::sqrt(m.qx[k] * m.qx[k] + m.qy[k] * m.qy[k]);
}

// With channel lakes the depth map has values of its own.
vec1<double>& depth_values(model_state& m) { return m.chan_lakes_on ? m.depth_map_values : m.h; }
void fill_depth(model_state& m) {
    if (m.chan_lakes_on) lake_depth_map(m, m.depth_map_values);
}

// The sediment record's map vectors; an empty one when the run has none.
template <vec1<double> sed_record::*Member>
vec1<double>& sediment_values(model_state& m) {
    static vec1<double> none;
    return m.ov_sed ? m.ov_sed.get()->*Member : none;
}

void fill_sediment_flux(model_state& m) {
    sed_record& s = *m.ov_sed;
    for (int k = 1; k <= m.ncells; ++k) s.flux_map[k] = s.ov_qsmax[k] * 1.0e6;
}

void fill_sediment_volume(model_state& m) {
    sed_record& s = *m.ov_sed;
    const double to_mm = 1000.0 / (m.gridsize * m.gridsize);
    for (int k = 1; k <= m.ncells; ++k) s.ov_net_sed[k] = s.ov_qsvol[k] * to_mm;
}

void fill_suspended_sediment(model_state& m) {
    sed_record& s = *m.ov_sed;
    for (int k = 1; k <= m.ncells; ++k) {
        double v = 0.0;
        for (int c = 1; c <= s.num_sed; ++c) v += s.vol_sed.suspended[k][c];
        s.ov_conc[k] = v;
    }
}

void fill_contaminant_conc(model_state& m) {
    const vec1<double>& conc = m.contam_conc[1];
    std::copy(conc.data() + 1, conc.data() + m.ncells + 1, m.contam_map_values.data() + 1);
}

struct standard_map {
    standard_map_type type;
    const char* card;
    const char* dataset_name;
    const char* base;  // base name of the numbered grid files
    const char* what;  // the map in its failure messages
    bool (*wanted)(const model_state&);
    const std::string& (*file)(const model_state&);  // dataset file, or the folder of the grid files
    vec1<double>& (*values)(model_state&);
    void (*fill)(model_state&) = nullptr;  // forms the values before a frame
    bool every_interval = true;  // false: one frame when the run ends normally, datasets only
};

template <auto Member>
const std::string& card_file(const model_state& m) {
    return m.project_options.*Member;
}

template <auto Member>
vec1<double>& vector_of(model_state& m) {
    return m.*Member;
}

using P = project_options;
using M = model_state;

const standard_map kStandardMaps[] = {
    {map_depth, "DEPTH", "depth", "depth", "depth map", [](const M& m) { return m.depth_given != 0; },
     card_file<&P::depth>, depth_values, fill_depth},
    {map_discharge, "DISCHARGE", "discharge", "discharge", "discharge map",
     [](const M& m) { return m.discharge_given != 0; }, card_file<&P::discharge>, vector_of<&M::qmap>,
     fill_discharge},
    {map_rain, "DIS_RAIN", "rain", "rain", "rainfall map", [](const M& m) { return m.dis_rain_given != 0; },
     card_file<&P::dis_rain>, vector_of<&M::ri>},
    {map_infiltrated_depth, "INF_DEPTH", "infiltrated_depth", "infdep", "Cum. infilt. depth map",
     [](const M& m) { return m.inf_depth_given != 0; }, card_file<&P::inf_depth>, vector_of<&M::infdep_all>},
    {map_infiltration_rate, "RATE_OF_INFIL", "infiltration_rate", "infrate", "infiltration rate map",
     [](const M& m) { return m.rate_of_infil_given != 0; }, card_file<&P::rate_of_infil>, vector_of<&M::fav>},
    {map_surface_moisture, "SURF_MOIST", "surface_moisture", "smoist", "surface moisture content map",
     [](const M& m) { return m.surf_moist_given != 0; }, card_file<&P::surf_moist>,
     vector_of<&M::theta_all>},
    {map_groundwater_head, "GW_OUTPUT", "groundwater_head", "gw_head", "groundwater head map",
     [](const M& m) { return m.gw_simulation && m.gw_output_given; }, card_file<&P::gw_output>,
     vector_of<&M::elevgw>},
    {map_sediment_flux, "MAX_SED_FLUX", "sediment_flux", "max_sed_flux", "sediment flux map",
     [](const M& m) { return m.soil_erosion_given && m.project_options.max_sed_flux_given; },
     card_file<&P::max_sed_flux>, sediment_values<&sed_record::flux_map>, fill_sediment_flux},
    {map_sediment_volume, "NET_SED_VOLUME", "sediment_volume", "net_sed_volume", "net sediment volume map",
     [](const M& m) { return m.soil_erosion_given && m.project_options.net_sed_volume_given; },
     card_file<&P::net_sed_volume>, sediment_values<&sed_record::ov_net_sed>, fill_sediment_volume},
    {map_suspended_sediment, "VOL_SED_SUSP", "suspended_sediment_conc", "vol_sed_susp", "suspended sediment map",
     [](const M& m) { return m.soil_erosion_given && m.project_options.vol_sed_susp_given; },
     card_file<&P::vol_sed_susp>, sediment_values<&sed_record::ov_conc>, fill_suspended_sediment},
    {map_contaminant_conc, "OV_CON_MAP", "contaminant_conc", "contaminant_conc", "contaminant concentration map",
     [](const M& m) { return m.ov_con_trans && m.ov_con_map_given && m.ncontam > 0; }, card_file<&P::ov_con_map>,
     vector_of<&M::contam_map_values>, fill_contaminant_conc},
    {map_flood_grid, "FLOOD_GRID", "flood_grid", "flood_grid", "flood grid",
     [](const M& m) { return m.flood_grid_given != 0; },
     [](const M& m) -> const std::string& { return m.flood_grid; }, vector_of<&M::h_max_flood>, nullptr,
     false},
};

bool is_dataset(int format) {
    return format == map_format_ascii_dataset || format == map_format_binary_dataset;
}

// Writes one frame of each map of the kind asked for; false when the run
// must stop.
bool write_frames(model_state& m, bool every_interval) {
    for (const standard_map& s : kStandardMaps) {
        map_series& out = m.map_outputs[s.type];
        if (s.every_interval != every_interval || !out.is_open()) continue;
        if (s.fill) s.fill(m);
        if (!out.write_frame(m.elapsed_min, m)) return false;
    }
    if (!every_interval) return true;
    if (!m.nutrient_maps.empty()) {
        zep_overland_totals(m);
        for (auto& out : m.nutrient_maps)
            if (!out->write_frame(m.elapsed_min, m)) return false;
    }
    write_nutrient_linknodes(m);
    for (auto& out : m.constituent_maps)
        if (!out->write_frame(m.elapsed_min, m)) return false;
    return true;
}

// The outputs of contaminant `number` (its output file in the
// CONTAMINANT_TRANSPORT table) in a refusal.
std::string contaminant_words(int number) {
    return format_text("the output file of contaminant %d (CONTAMINANT_TRANSPORT table)", number);
}

// One map series of a contaminant's overland values, on the standard maps'
// grid; false when its dataset cannot be created or is refused.
bool open_constituent_map(model_state& m, const vec1<double>& values, const std::string& file, const char* kind,
                          int number, int object_id) {
    auto out = std::make_unique<map_series>();
    out->set_grid(values, m.mask, m.north, m.east, m.south, m.west, m.rows, m.cols, kNoDataValue, 1.0, 0,
                  m.gridsize);
    out->what = format_text("contaminant %d %s map", number, kind);
    const std::string dataset = file + "." + kind;
    const std::string name = format_text("%s_%02d", kind, number);
    if (!out->open(map_output_format(m), "", dataset, ".asc", dataset, object_id, name, contaminant_words(number), m))
        return false;
    m.constituent_maps.push_back(std::move(out));
    return true;
}

// The channel datasets of every contaminant with an output name (with
// CHAN_CON_TRANS): "<name>.chan.conc" of its node and lake concentrations
// (g/m3) and "<name>.chan.mass" of their dissolved masses (g). A file that
// cannot be created is a warning; one that is refused stops the run. The
// channel constituents' own file (chan_contam_output_name) is opened first
// and left empty.
void open_constituent_linknodes(model_state& m) {
    if (!m.chan_con_trans || m.chan_conc.empty() || m.chan_mass.empty() || m.nlinks < 1) return;
    if (!m.chan_contam_output_name.empty()) {
        output_request request;
        request.words = "the channel constituent file";
        request.name = m.chan_contam_output_name;
        request.group = output_group::coupling;
        request.what = "channel constituent file";
        request.fixed = true;
        const opened_output o = open_output(m, request, &m.chan_contam_output);
        if (o.refused) return;
        if (!o.fp) {
            refuse(format_text("Can't open %s to write channel contam data \n", m.chan_contam_output_name.c_str()));
            return;
        }
    }
    linknode_output::network net;
    net.nlinks = m.nlinks;
    net.nlakes = m.chan_lakes_on ? m.nlakes : 0;
    net.stride = m.chan_stride;
    net.ltype = &m.ltype;
    net.nodes = &m.nx;
    net.dataset_nodes = m.chan_lakes_on ? &m.link_nodes : nullptr;
    net.lake_of_link = &m.ldex;
    int number = 0;
    for (int c = 1; c <= m.ncontam && c <= m.chan_conc.nrows(); ++c) {
        if (!is_contaminant(m, c)) continue;
        ++number;
        std::string file = m.contam_output_names[static_cast<std::size_t>(c)];
        if (file.empty()) continue;
        strip_quotes(file);
        const struct {
            const mat2<double>& table;
            int type;
            const char* extension;
        } kinds[] = {{m.chan_conc, linknode_concentration, ".conc"}, {m.chan_mass, linknode_mass, ".mass"}};
        for (const auto& k : kinds) {
            auto out = std::make_unique<linknode_output>();
            out->init_flat(net, k.table[c], net.nlakes > 0 ? k.table[c] + m.chan_lake_row0 : nullptr);
            out->header_type = k.type;
            const bool opened = out->open_mass_conc(m, contaminant_words(number), "constituent link/node dataset",
                                                    "", file, std::string(".chan") + k.extension, 1.0);
            m.constituent_linknodes.push_back(std::move(out));
            if (!opened && g_error_record.stop) return;
        }
    }
}

// One nutrient map series on the standard maps' grid: `folder` and `base`
// name its numbered grids, `dataset` its dataset file. False when the file
// cannot be created or is refused.
bool open_nutrient_map(model_state& m, const vec1<double>& values, double scale, const std::string& what,
                       const std::string& folder, const std::string& base, const std::string& dataset,
                       int object_id, const std::string& name, const std::string& words) {
    auto out = std::make_unique<map_series>();
    out->set_grid(values, m.mask, m.north, m.east, m.south, m.west, m.rows, m.cols, kNoDataValue, scale, 0,
                  m.gridsize);
    out->what = what;
    if (!out->open(map_output_format(m), folder, base, ".asc", dataset, object_id, name, words, m)) return false;
    m.nutrient_maps.push_back(std::move(out));
    return true;
}

bool open_nutrient_map_outputs(model_state& m) {
    zep_container& z = *m.zep;
    const project_options& p = m.project_options;
    const int first = m.first_nutrient_constituent;
    if (first < 1 || z.overland.total_n.n() < m.ncells) return true;
    const struct {
        int given;
        const std::string& file;
        const vec1<double>& values;
        const char* name;
        int id;
        const char* card;
    } totals[] = {{p.total_ov_n_given, p.total_ov_n, z.overland.total_n, "Total_ov_N", 1053, "TOTAL_OV_N"},
                  {p.total_ov_p_given, p.total_ov_p, z.overland.total_p, "Total_ov_P", 1054, "TOTAL_OV_P"}};
    for (const auto& t : totals) {
        if (!t.given) continue;
        zep_overland_totals(m);
        if (!open_nutrient_map(m, t.values, 1000.0, std::string(t.name) + " map", t.file, t.name, t.file, t.id,
                               t.name, std::string("card ") + t.card))
            return false;
    }
    for (int k = 0; k < kNutrientSpecies; ++k) {
        const zep_output_request& request = p.out_ov[static_cast<std::size_t>(k)];
        if (!request.flag) continue;
        const auto slot = static_cast<std::size_t>(first + k);
        const std::string words = std::string("card OUT_OV_") + kNutrientSpeciesCards[k];
        const std::string mass = request.file_name + ".mass";
        const std::string conc = request.file_name + ".conc";
        const water_species_row& names = kWaterSpecies[k];
        if (!open_nutrient_map(m, m.contam_mass[slot], 1000.0, std::string(names.map_mass) + " map", "", mass,
                               mass, names.map_mass_id, names.map_mass, words) ||
            !open_nutrient_map(m, m.contam_conc[slot], 1.0, std::string(names.map_conc) + " map", "", conc, conc,
                               names.map_conc_id, names.map_conc, words))
            return false;
    }
    return true;
}

}  // namespace

void open_all_map_outputs(model_state& m) {
    const int format = map_output_format(m);
    if (m.chan_lakes_on) m.depth_map_values = vec1<double>(m.ncells);
    for (const standard_map& s : kStandardMaps) {
        if (!s.wanted(m)) continue;
        // A quantity the run's options leave uncomputed (infiltration maps
        // without an infiltration method) has no map.
        vec1<double>& values = s.values(m);
        if (values.n() < m.ncells) continue;
        if (!s.every_interval && !is_dataset(format)) continue;
        map_series& out = m.map_outputs[s.type];
        out.set_grid(values, m.mask, m.north, m.east, m.south, m.west, m.rows, m.cols, kNoDataValue, 1.0, 0,
                     m.gridsize);
        out.what = s.what;
        const std::string file = s.file(m);
        if (!out.open(format, file, s.base, ".asc", file, kFirstObjectId + s.type, s.dataset_name,
                      std::string("card ") + s.card, m))
            return;
    }
    if (m.zep && open_nutrient_map_outputs(m)) open_nutrient_linknodes(m);
}

void open_nutrient_outputs(model_state& m) {
    // The contaminants' own overland maps and channel datasets; the
    // nutrient species' outputs come with the nutrient module, and there
    // are no soil constituent outputs. Every output is open now: the cards
    // whose files the run will not write are said first.
    warn_unwritten_outputs(m);
    if (!m.ov_con_trans) return;
    int number = 0;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        ++number;
        const std::string& file = m.contam_output_names[static_cast<std::size_t>(c)];
        if (file.empty()) continue;
        const int id = (number - 1) * m.ncontam + kFirstConstituentId;
        if (!open_constituent_map(m, m.contam_conc[static_cast<std::size_t>(c)], file, "conc", number, id)) return;
        if (!open_constituent_map(m, m.contam_mass[static_cast<std::size_t>(c)], file, "mass", number, id + 1))
            return;
    }
    open_constituent_linknodes(m);
}

void write_timeseries_maps(model_state& m) {
    // Only the first process of a group writes maps.
    if (g_parallel_env.group_rank() != 0) return;
    // An interval below one step would never divide the step index.
    const int every = m.map_freq > 0 ? m.map_freq : 1;
    if ((m.step - 1) % every != 0) return;
    write_frames(m, true);
}

void write_final_map_frames(model_state& m) {
    if (g_parallel_env.group_rank() != 0) return;
    write_frames(m, false);
}

}  // namespace kesta
