// Set-up of the dissolved constituents of a run with OV_CON_TRANS: the
// options checked, the contaminants' parameters read (uniform from the
// OV_* cards, or per cell from the CONTAMINANT_TRANSPORT table of the
// mapping-table file), the load map and the cell point sources read, every
// constituent array made; then, before the time loop, the soil layers of
// each cell and the initial overland and soil masses.
//
// The uniform path carries one contaminant. The table's eight columns per
// index are: 1 dispersion coefficient (m2/s), 2 overland decay (1/day),
// 3 exchange rate with the mixing layer (m/day), 4 load of the land (kg per
// cell; with SOIL_CON_TRANS the mixing layer's soil concentration, mg/kg),
// 5 initial overland concentration (g/m3), 6 partition coefficient of the
// soil (L/kg), 7 groundwater concentration (g/m3); column 8 is read and not
// used.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "core/alloc_check.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/ascii_grid.hpp"
#include "input/mapping_tables.hpp"
#include "input/time_series.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/zep_soils.hpp"
#include "subsurface/soil_accounting.hpp"
#include "subsurface/soil_params.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerMetre = 100.0;
constexpr double kGramsPerKilogram = 1000.0;
constexpr double kThin = 1e-16;  // cm; a thinner layer is no layer
// Table columns of the contaminant parameters.
enum contam_column { col_disp, col_decay, col_uptake, col_land, col_init_conc, col_soil_kd, col_gw_conc };

// The constituent soil layers of a Green and Ampt run with redistribution
// or of one layer, from the cards (cm): mixing, top-layer and soil-moisture
// depths, a missing top layer taken as the whole soil, a missing mixing
// layer as the top layer.
struct card_layers {
    double mix = 0.0, top = 0.0, soil = 0.0;
};

card_layers layers_from_cards(const model_state& m) {
    card_layers c{m.mixing_layer_depth, m.top_layer_depth, m.soil_moist_depth};
    if (c.top <= kThin) c.top = c.soil;
    if (c.mix <= kThin) c.mix = c.top;
    return c;
}

}  // namespace

const char* carried_water_refusal(const model_state& m) {
    if (m.chan_alt_routing || m.chan_implicit_routing)
        return "a channel routing other than CHAN_EXPLIC (CHAN_PREISS, CHAN_DRAIN, CHAN_BACKWATER or "
               "CHAN_MESH): the channel constituents follow the water that the explicit routing moves between "
               "the channel nodes";
    if (m.chan_routing && !m.chan_con_trans)
        return "channel routing but without CHAN_CON_TRANS: the stream cells give the channels their water "
               "and the constituents it carries, which only channel constituent transport can take; give "
               "CHAN_CON_TRANS";
    if (m.overland_lake_map_given)
        return "overland lakes (OVERLAND_LAKE_MAP): the water that flows into an overland lake joins the "
               "lake's level, and the constituents have no store in the lakes, so the mass that water carries "
               "would be left behind on the land cells; run without overland lakes";
    if (m.ov_boundary)
        return "an overland boundary (OV_BOUNDARY): the water that leaves or enters the boundary cells carries "
               "no constituent, so the mass of the water that leaves would stay in the cells and never be "
               "booked as leaving the basin; run without OV_BOUNDARY";
    // No input fills the overland pump list in this build: while it is
    // empty the pumps move no water.
    if (m.project_options.ov_pump_given && !series_store().ov_pumps.empty())
        return "overland pumps (OV_PUMP): the pumps would take water from their cells without its constituents";
    if (m.storm_sewer_given)
        return "storm drains (STORM_SEWER): the water that the inlets take into the drains and that the drains "
               "give back to the cells and channels carries no constituent, so the mass of the drained water "
               "would stay in the cells; run without STORM_SEWER";
    return nullptr;
}

namespace {

// The options a contaminant run cannot simulate, each refused naming the
// cards and values.
bool options_hold(model_state& m) {
    const std::string& p = m.project_file;
    const char* refused = carried_water_refusal(m);
    if (refused)
        return refuse(format_text("Error: project file %s asks for overland constituent transport (%s) "
                                  "together with %s.\n",
                                  p.c_str(),
                                  m.sed_as_constituents == 2 ? "SOIL_EROSION carries the sediment classes as "
                                                               "constituents"
                                                             : "OV_CON_TRANS",
                                  refused));
    const double factor = m.kinetics_timestep_factor;
    if (!(factor >= 1.0) || factor != std::floor(factor) || factor > 1e6)
        return refuse(format_text("Error: KINETICS_TIMESTEP_FACTOR %g in project file %s: the exchange with the soil "
                                  "and the decay run every that many constituent steps; give a whole number of "
                                  "at least 1.\n",
                                  factor, p.c_str()));
    if (m.sediment_contam && !m.soil_erosion_given)
        return refuse(format_text("Error: SEDIMENT_CONTAM in project file %s binds the contaminants to the eroded "
                                  "sediment, but the project has no SOIL_EROSION.\n",
                                  p.c_str()));
    if (m.sediment_contam && !m.soil_con_trans && !(m.mixing_layer_depth > kThin))
        return refuse(format_text("Error: SEDIMENT_CONTAM in project file %s: the eroded sediment takes the land's "
                                  "load held in the mixing layer, and MIXING_LAYER_DEPTH is %g m; give it above 0.\n",
                                  p.c_str(), m.mixing_layer_depth / kCmPerMetre));
    return !m.soil_con_trans || soil_layers_hold(m, "the contaminants");
}

}  // namespace

bool soil_layers_hold(model_state& m, const char* what) {
    const std::string& p = m.project_file;
    if (!m.green_ampt_on && !m.inf_redist_on && !m.inf_layered_on)
        return refuse(format_text("Error: SOIL_CON_TRANS in project file %s moves %s with the soil "
                                  "water of Green and Ampt infiltration (GREEN_AMPT, INF_REDIST or "
                                  "INF_LAYERED_SOIL); the project %s.\n",
                                  p.c_str(), what, m.inf_richards_on ? "uses the Richards equation" : "has none"));
    if (m.inf_layered_on) return true;
    const card_layers c = layers_from_cards(m);
    const bool redist = m.inf_redist_on != 0;
    if (!(c.mix > kThin) || (redist && !(c.mix <= c.top + kThin && c.top <= c.soil + kThin)))
        return refuse(format_text("Error: SOIL_CON_TRANS in project file %s: the soil layers of %s "
                                  "are the mixing layer (MIXING_LAYER_DEPTH %g m)%s; give a mixing layer above 0%s.\n",
                                  p.c_str(), what, m.mixing_layer_depth / kCmPerMetre,
                                  redist ? format_text(", the rest of the top layer (TOP_LAYER_DEPTH %g m) and the "
                                                       "rest of the soil (SOIL_MOIST_DEPTH %g m)",
                                                       m.top_layer_depth / kCmPerMetre,
                                                       m.soil_moist_depth / kCmPerMetre)
                                             .c_str()
                                         : "",
                                  redist ? ", no deeper than the top layer, itself no deeper than the soil" : ""));
    return true;
}

namespace {

// A soil concentration is at most the soil itself (mg/kg).
constexpr double kMostSoilConc = 1e6;

// The most land load a cell can hold, in the unit of the load: kg over the
// cell, or with SOIL_CON_TRANS the mixing layer's soil concentration (mg/kg);
// `why` says where the bound comes from.
double most_land_load(const model_state& m, const char*& unit, std::string& why) {
    if (m.soil_con_trans) {
        unit = "mg/kg";
        why = ", the soil itself";
        return kMostSoilConc;
    }
    const double area = m.gridsize * m.gridsize;
    unit = "kg";
    why = format_text(", %g kg per m2 of the cell's %g m2", kMostLandMassPerArea, area);
    return kMostLandMassPerArea * area;
}

// A card value below 0 is refused.
bool card_not_negative(const model_state& m, const char* card, double value) {
    if (value >= 0.0) return true;
    return refuse(format_text("Error: %s %g in project file %s: it must be 0 or more.\n", card, value,
                              m.project_file.c_str()));
}

// Grows a family of rows by `count` zero rows of `cells` cells.
void add_rows(slot_rows& rows, int count, int cells) {
    if (rows.empty()) rows.emplace_back();
    for (int i = 0; i < count; ++i) rows.emplace_back(cells);
}

void add_tables(slot_tables& tables, int count, int cells, int columns) {
    if (tables.empty()) tables.emplace_back();
    for (int i = 0; i < count; ++i) tables.emplace_back(cells, columns);
}

bool made(const slot_rows& rows) {
    for (std::size_t s = 1; s < rows.size(); ++s)
        if (rows[s].empty()) return false;
    return true;
}

bool made(const slot_tables& tables) {
    for (std::size_t s = 1; s < tables.size(); ++s)
        if (tables[s].empty()) return false;
    return true;
}

// The per-cell vectors every constituent shares, made with the first slots.
bool alloc_cell_vectors(model_state& m, int cells) {
    for (vec1<double>* v : {&m.contam_water, &m.ov_infil_vol, &m.ov_exfil_vol, &m.tr_vol0, &m.tr_vol1, &m.tr_conc,
                            &m.tr_mstar, &m.tr_limit, &m.tr_face_pred, &m.tr_face})
        *v = vec1<double>(cells);
    if (m.ov_con_map_given) m.contam_map_values = vec1<double>(cells);
    if (!blocks_made(g_error_record, "the overland constituent arrays", m.contam_water, m.ov_infil_vol,
                     m.ov_exfil_vol, m.tr_vol0, m.tr_vol1, m.tr_conc, m.tr_mstar, m.tr_limit, m.tr_face_pred,
                     m.tr_face))
        return false;
    if (!m.soil_con_trans) return true;
    m.soil_layer_count = vec1<int>(cells);
    m.soil_thickness = mat2<double>(cells, kMaxContamLayers);
    m.soil_porosity = mat2<double>(cells, kMaxContamLayers);
    for (vec1<double>* v : {&m.soil_interflow, &m.soil_drainage, &m.soil_infil_depth}) *v = vec1<double>(cells);
    m.nutrient_grid.table = mat2<double>(cells, kMaxContamLayers);
    m.nutrient_grid.rows = cells;
    m.nutrient_grid.columns = kMaxContamLayers;
    m.nutrient_grid.first = vec1<double>(kMaxContamLayers);
    m.soil_water = vec1<soil_cell_water>(cells);
    return blocks_made(g_error_record, "the soil constituent arrays", m.soil_layer_count, m.soil_thickness,
                       m.soil_porosity, m.soil_interflow, m.soil_drainage, m.soil_infil_depth,
                       m.nutrient_grid.table, m.soil_water);
}

// Copies row i of every column table into the slot rows of the contaminant
// that begins at slot `first`, the decay turned per second; each table is
// freed once copied.
void take_table_rows(model_state& m, std::array<mat2<double>, 7>& cols, int first, int count) {
    slot_rows* rows[7] = {&m.contam_disp, &m.contam_decay_per_s, &m.contam_uptake, &m.contam_land_mass,
                          &m.contam_conc,  &m.soil_partition_coef, &m.gw_conc};
    for (int j = 0; j < 7; ++j) {
        mat2<double>& t = cols[static_cast<std::size_t>(j)];
        if (t.empty() || rows[j]->empty()) continue;
        for (int i = 1; i <= count; ++i) {
            vec1<double>& row = (*rows[j])[static_cast<std::size_t>(first + i - 1)];
            std::copy(t[i] + 1, t[i] + m.ncells + 1, row.data() + 1);
            if (rows[j] == &m.contam_decay_per_s)
                for (int k = 1; k <= m.ncells; ++k) row[k] /= kSecondsPerDay;
        }
        t.reset();
    }
}

// The first cell whose value of a table column, as read, is below 0, or
// above the most a load or a concentration can be, naming it. The columns
// are those of the contaminant that begins at slot `first`.
bool table_values_hold(const model_state& m, const std::array<mat2<double>, 7>& cols, int first, int count) {
    const char* load_unit = "";
    std::string load_why;
    const double most_load = most_land_load(m, load_unit, load_why);
    const double any = std::numeric_limits<double>::infinity();
    // In the order of the columns.
    const struct {
        const slot_rows* rows;
        const char* what;
        double most;
        std::string bound;  // the bound with its unit and reason
        bool water;         // a concentration in water, bounded by water_conc_holds
    } kColumns[] = {{&m.contam_disp, "dispersion coefficient (column 1)", any, "", false},
                    {&m.contam_decay_per_s, "decay coefficient (column 2)", any, "", false},
                    {&m.contam_uptake, "exchange rate (column 3)", any, "", false},
                    {&m.contam_land_mass, "land load (column 4)", most_load,
                     format_text(" %s%s", load_unit, load_why.c_str()), false},
                    {&m.contam_conc, "initial concentration (column 5)", kMostWaterConc, "", true},
                    {&m.soil_partition_coef, "soil partition coefficient (column 6)", any, "", false},
                    {&m.gw_conc, "groundwater concentration (column 7)", kMostWaterConc, "", true}};
    static_assert(sizeof kColumns / sizeof kColumns[0] == 7, "one check per column of the table");
    for (int c = first; c < first + count; ++c) {
        const std::size_t s = static_cast<std::size_t>(c);
        // The reader refused a PRECIP_CONC out of bounds on its line.
        if (m.water_soil_partition_coef.value(c) < 0.0)
            return refuse(format_text("Error: the CONTAMINANT_TRANSPORT table of mapping-table file %s gives "
                                      "contaminant %d (%s) the PARTITION %g; it must be 0 or more.\n",
                                      m.mapping_table.c_str(), c - first + 1, m.contam_names[s].c_str(),
                                      m.water_soil_partition_coef.value(c)));
        for (std::size_t j = 0; j < cols.size(); ++j) {
            const auto& col = kColumns[j];
            if (col.rows->size() <= s || cols[j].empty()) continue;
            const double* v = cols[j][c - first + 1];
            for (int k = 1; k <= m.ncells; ++k) {
                if (col.water ? water_conc_holds(v[k]) : v[k] >= 0.0 && v[k] <= col.most) continue;
                int row = 0, column = 0;
                cell_row_col(m, k, row, column);
                const std::string rule = col.water    ? water_conc_rule()
                                         : v[k] >= 0.0 ? format_text("from 0 to %g%s", col.most, col.bound.c_str())
                                                       : std::string("0 or more");
                return refuse(format_text("Error: the CONTAMINANT_TRANSPORT table of mapping-table file %s gives "
                                          "contaminant %d (%s) the %s %s at cell %d (row %d, column %d); it must "
                                          "be %s.\n",
                                          m.mapping_table.c_str(), c - first + 1, m.contam_names[s].c_str(),
                                          col.what, exact_number(v[k]).c_str(), k, row, column, rule.c_str()));
            }
        }
    }
    return true;
}

// The contaminants of the table: their count, or -1 when refused.
int read_table(model_state& m) {
    say(m, "reading contaminant transport table and map from master table file\n");
    std::array<mat2<double>, 7> cols;
    std::array<mat2<double>*, 8> wanted{};
    for (std::size_t j = 0; j < cols.size(); ++j) wanted[j] = &cols[j];
    if (!m.soil_con_trans) wanted[col_soil_kd] = nullptr;
    if (!m.water_table_given) wanted[col_gw_conc] = nullptr;
    contaminant_tables info;
    array1d<double> precip, partition;
    grid_header header;
    if (!read_contaminant_table(m.mapping_tables, m.mapping_table, wanted, info, precip, partition, header, m.mask,
                                m.ncells, m.rows, m.cols, m.summary_fp.get()))
        return -1;
    m.contam_table_read = 1;
    const int n = info.count;
    if (n <= 0) return n;
    const int first = m.ncontam + 1;
    alloc_overland_contam_arrays(m, n, m.ncells, 0, 0);
    if (run_stopped()) return -1;
    for (int i = 1; i <= n; ++i) {
        const std::size_t s = static_cast<std::size_t>(first + i - 1);
        m.contam_names[s] = info.descriptions[static_cast<std::size_t>(i)];
        m.contam_output_names[s] = info.output_file_names[static_cast<std::size_t>(i)];
        m.precip_conc.at(first + i - 1) = precip.at(i);
        m.water_soil_partition_coef.at(first + i - 1) = partition.at(i);
    }
    if (!table_values_hold(m, cols, first, n)) return -1;
    take_table_rows(m, cols, first, n);
    return n;
}

// The uniform contaminant of the OV_* cards.
bool set_uniform(model_state& m) {
    if (m.ov_disp_coef > kMostOverlandDispersion)
        return refuse(format_text("Error: OV_DISP_COEF %g in project file %s: water over land disperses no more "
                                  "than %g m2/s.\n",
                                  m.ov_disp_coef, m.project_file.c_str(), kMostOverlandDispersion));
    if (!card_not_negative(m, "OV_DISP_COEF", m.ov_disp_coef) ||
        !card_not_negative(m, "OV_DECAY_COEF", m.ov_decay_coef) ||
        !card_not_negative(m, "OV_UPTAKE_RATE", m.ov_uptake_rate) ||
        !card_not_negative(m, "OV_MASS_LOAD", m.ov_mass_load))
        return false;
    const char* unit = "";
    std::string why;
    const double most = most_land_load(m, unit, why);
    if (!(m.ov_mass_load <= most))
        return refuse(format_text("Error: OV_MASS_LOAD %s %s in project file %s: the load of a cell's land must be "
                                  "from 0 to %g %s%s.\n",
                                  exact_number(m.ov_mass_load).c_str(), unit, m.project_file.c_str(), most, unit,
                                  why.c_str()));
    say(m, "using uniform contaminant transport values\n");
    const int c = m.ncontam + 1;
    alloc_overland_contam_arrays(m, 1, m.ncells, 0, 0);
    if (run_stopped()) return false;
    const std::size_t s = static_cast<std::size_t>(c);
    m.contam_names[s] = "uniform contaminant";
    m.contam_disp[s].fill(m.ov_disp_coef);
    m.contam_decay_per_s[s].fill(m.ov_decay_coef / kSecondsPerDay);
    m.contam_uptake[s].fill(m.ov_uptake_rate);
    m.contam_land_mass[s].fill(m.ov_mass_load);
    return true;
}

// CONTAM_MAP gives the land load of the first contaminant.
bool read_load_map(model_state& m) {
    if (!m.contam_map_given) return true;
    if (m.first_sed_constituent == 1)
        return refuse(format_text("Error: CONTAM_MAP %s in project file %s gives the land load of the first "
                                  "contaminant, and the project carries none: its constituents are the sediment "
                                  "classes of SOIL_EROSION %d, which the land does not hold.\n",
                                  m.contam_map.c_str(), m.project_file.c_str(), m.project_options.soil_erosion));
    if (!m.contam_map_fp) return refuse(format_text("Error: CONTAM_MAP file %s is not open.\n", m.contam_map.c_str()));
    if (chatty(m)) std::printf("reading contamimant load map from file: %s\n", m.contam_map.c_str());
    if (m.summary_fp)
        std::fprintf(m.summary_fp.get(), "reading contaminant load map from file: %s\n", m.contam_map.c_str());
    vec1<double> load(m.ncells);
    if (!read_real_map(m, m.contam_map_fp.get(), m.contam_map, load)) return false;
    close_file(m.contam_map_fp);
    m.contam_map_fp.reset();
    std::string detail, why;
    const char* unit = "";
    const double most = most_land_load(m, unit, why);
    if (first_beyond(m, load, most, "contaminant load", unit, why, "map " + m.contam_map, detail) != 0)
        return refuse("Error: " + detail);
    std::copy(load.data() + 1, load.data() + m.ncells + 1, m.contam_land_mass[1].data() + 1);
    return true;
}

// The exchange with the mixing layer needs a mixing layer with water.
bool exchange_has_water(const model_state& m) {
    if (m.soil_con_trans) return true;
    double fastest = 0.0;
    for (int c = 1; c <= m.ncontam; ++c) {
        const vec1<double>& rate = m.contam_uptake[static_cast<std::size_t>(c)];
        for (int k = 1; k <= m.ncells; ++k) fastest = std::max(fastest, rate[k]);
    }
    if (!(fastest > 0.0) || (m.mixing_layer_depth > kThin && m.theta_all.n() >= m.ncells)) return true;
    return refuse(format_text("Error: project file %s gives the contaminants an exchange rate with the land "
                              "(OV_UPTAKE_RATE or column 3 of the CONTAMINANT_TRANSPORT table) of up to %g m/day: "
                              "the exchange takes place with the water of the mixing layer, which needs "
                              "MIXING_LAYER_DEPTH above 0 and an infiltration method that keeps the soil "
                              "moisture.\n",
                              m.project_file.c_str(), fastest));
}

// The constituent layers of cell k: their count, thickness (m) and
// porosity.
int cell_layers(model_state& m, int k, double* t, double* phi) {
    if (m.inf_layered_on) {
        const double* s = soil_class_of(m, k);
        if (!s) return 0;
        const double mix = m.mixing_layer_depth, d1 = s[22], d2 = s[23];
        int n = 0;
        if (mix > kThin && d1 > mix) {
            t[++n] = mix / kCmPerMetre;
            phi[n] = s[7];
            t[++n] = (d1 - mix) / kCmPerMetre;
            phi[n] = s[7];
        } else {
            t[++n] = d1 / kCmPerMetre;
            phi[n] = s[7];
        }
        if (d2 > kThin) {
            t[++n] = d2 / kCmPerMetre;
            phi[n] = s[8];
        }
        return d1 > kThin ? n : 0;
    }
    const card_layers c = layers_from_cards(m);
    if (m.green_ampt_on) {
        t[1] = c.mix / kCmPerMetre;
        phi[1] = value_at(m.phi_map, k);
        return 1;
    }
    int n = 0;
    t[++n] = c.mix / kCmPerMetre;
    phi[n] = soil_parameter(m, k, soil_param::porosity, 1);
    if (c.top - c.mix > kThin) {
        t[++n] = (c.top - c.mix) / kCmPerMetre;
        phi[n] = soil_parameter(m, k, soil_param::porosity, 1);
    }
    if (c.soil - c.top > kThin) {
        t[++n] = (c.soil - c.top) / kCmPerMetre;
        phi[n] = soil_parameter(m, k, soil_param::porosity, 2);
    }
    return n;
}

bool set_soil_layers(model_state& m) {
    for (int k = 1; k <= m.ncells; ++k) {
        double t[kMaxContamLayers + 1] = {}, phi[kMaxContamLayers + 1] = {};
        const int n = cell_layers(m, k, t, phi);
        bool sound = n >= 1;
        for (int l = 1; l <= n; ++l) sound = sound && t[l] > 0.0 && phi[l] >= 0.0 && phi[l] < 1.0;
        if (!sound) {
            int row = 0, col = 0;
            cell_row_col(m, k, row, col);
            return refuse(format_text("Error: cell %d (row %d, column %d) has no soil layer of a thickness above 0 "
                                      "and a porosity from 0 to below 1 for its contaminants (layer 1: %g m, "
                                      "porosity %g); check the soil depths and porosities of project file %s.\n",
                                      k, row, col, t[1], phi[1], m.project_file.c_str()));
        }
        m.soil_layer_count[k] = n;
        for (int l = 1; l <= n; ++l) {
            m.soil_thickness[k][l] = t[l];
            m.soil_porosity[k][l] = phi[l];
        }
    }
    return true;
}

// Soil mass (kg) of layer l of cell k: its solids over the cell.
double soil_solids(const model_state& m, int k, int l) {
    return (1.0 - m.soil_porosity[k][l]) * m.soil_thickness[k][l] * kSolidSpecificGravity * kGramsPerKilogram *
           m.gridsize * m.gridsize;
}

// The rows of `count` more slots over `cells` cells that every carried
// constituent has: over land, with soil transport in the soil layers, with
// a water table in the groundwater. False when the cell vectors could not
// be made.
bool add_slot_rows(model_state& m, int count, int cells) {
    if (m.ncontam == 0 && !alloc_cell_vectors(m, cells)) return false;
    for (slot_rows* rows : {&m.contam_conc, &m.contam_mass, &m.contam_disp, &m.contam_decay_per_s, &m.contam_uptake,
                            &m.contam_land_mass})
        add_rows(*rows, count, cells);
    if (m.soil_con_trans) {
        add_rows(m.soil_partition_coef, count, cells);
        add_tables(m.soil_mass, count, cells, kMaxContamLayers);
        add_tables(m.soil_conc, count, cells, kMaxContamLayers);
    }
    if (m.water_table_given) add_rows(m.gw_conc, count, cells);
    return true;
}

// The nine nutrient species carried in water, after the slots there are,
// and with SOIL_CON_TRANS four more held in the soil only: rows as a
// contaminant's, no decay or exchange of their own. With SOIL_CON_TRANS
// the soil of slot first + p holds soil pool p of the nutrient module
// (thirteen), which starts with the module's initial pools.
void add_nutrient_slots(model_state& m, int cells) {
    constexpr int kSoilOnly = kSoilPools - kNutrientSpecies;
    const int soil_only = m.soil_con_trans ? kSoilOnly : 0;
    const int count = kNutrientSpecies + soil_only;
    if (!add_slot_rows(m, count, cells)) return;
    for (slot_rows* rows : {&m.contam_conc, &m.contam_mass, &m.contam_disp, &m.contam_decay_per_s, &m.contam_uptake,
                            &m.contam_land_mass, &m.soil_partition_coef, &m.gw_conc}) {
        if (made(*rows)) continue;
        refuse(format_text("Error: not enough memory for the nutrient species on %d cells.\n", cells));
        return;
    }
    if (!made(m.soil_mass) || !made(m.soil_conc)) {
        refuse(format_text("Error: not enough memory for the nutrient species on %d cells.\n", cells));
        return;
    }
    m.add_slot_totals(count);
    m.constituent_type.append_fill(kNutrientSpecies, constituent_kind::water_nutrient);
    if (soil_only > 0) m.constituent_type.append_fill(soil_only, constituent_kind::soil_nutrient);
    if (m.contam_names.empty()) {
        m.contam_names.emplace_back();
        m.contam_output_names.emplace_back();
    }
    for (int k = 0; k < count; ++k) {
        std::string name = zep_species_name(k);
        if (k >= kNutrientSpecies) nutrient_constituent_name(k, true, name);
        m.contam_names.push_back(name);
        m.contam_output_names.emplace_back();
    }
    m.first_nutrient_constituent = m.ncontam + 1;
    m.ncontam += count;
    if (!m.soil_con_trans || !set_soil_layers(m)) return;
    zep_soils_allocate(m);
}

// The sediment classes carried as constituents (SOIL_EROSION of 10 or
// more), one slot each after the contaminants. Nothing erodes them: their
// mass comes with the cell point sources (OV_POINT_SOURCE) and the channel
// point sources, whose concentrations they take as the constituents after
// the contaminants. They disperse over land at OV_DISP_COEF; they neither
// decay nor exchange with the land, rain brings none, and the channels
// start without them. What infiltration or a drying cell leaves behind
// settles on the land. Each is named for its class, and its maps and
// channel datasets take the class's output name of the SEDIMENTS table.
bool add_sediment_slots(model_state& m) {
    if (!card_not_negative(m, "OV_DISP_COEF", m.ov_disp_coef)) return false;
    const sed_record& sed = *m.ov_sed;
    const int first = m.ncontam + 1;
    alloc_overland_contam_arrays(m, sed.num_sed, m.ncells, 0, 0);
    if (run_stopped()) return false;
    m.first_sed_constituent = first;
    for (int k = 1; k <= sed.num_sed; ++k) {
        const std::size_t s = static_cast<std::size_t>(first + k - 1);
        m.contam_names[s] = format_text("sediment class %d", k);
        m.contam_output_names[s] = sed.output_filename[static_cast<std::size_t>(k)];
        m.contam_disp[s].fill(m.ov_disp_coef);
    }
    return true;
}

}  // namespace

bool sediment_class_slot(const model_state& m, int c) {
    return m.first_sed_constituent >= 1 && m.ov_sed && c >= m.first_sed_constituent &&
           c < m.first_sed_constituent + m.ov_sed->num_sed;
}

std::string water_conc_rule() {
    return format_text("from 0 to %g g/m3, what a cubic metre of water weighs", kMostWaterConc);
}

double dissolved_share(int classes, const double* conc, const double* kd, double* attached) {
    double sum = 0.0;
    for (int k = 1; k <= classes; ++k) sum += kd[k] / 1e6 * conc[k];
    const double share = 1.0 / (1.0 + sum);
    if (attached)
        for (int k = 1; k <= classes; ++k) attached[k] = kd[k] / 1e6 * conc[k] * share;
    return share;
}

void constituent_layer_moistures(const model_state& m, int k, int last, double* theta) {
    if (m.green_ampt_on || !m.soil_et_accounting) {
        for (int l = 1; l <= last; ++l) theta[l] = value_at(m.theta_all, k);
        return;
    }
    const bool groundwater = m.water_table_given && m.elevgw.n() >= k && m.elev.n() >= k;
    const double table = groundwater ? m.elev[k] - m.elevgw[k] : 0.0;  // m below the ground
    if (m.inf_layered_on) {
        const double* s = soil_class_of(m, k);
        const int n = m.soil_layer_count[k];
        if (s && n >= 1) {
            double all[kMaxContamLayers + 1] = {};
            zep_soil_layer_moisture(value_at(m.Ws1_L1, k), value_at(m.Ws1_L2, k), table * kCmPerMetre,
                                    m.soil_thickness[k], groundwater, s, n, all);
            for (int l = 1; l <= last; ++l) theta[l] = all[l];
            return;
        }
    }
    // Redistribution: a layer that begins at or below the bottom of the
    // accounting's upper store takes the lower store's moisture. The
    // stores hold the water above the water table (the accounting's soil
    // depth ends there); below it the soil is saturated.
    const layer_moistures w = soil_layer_moistures(m, k);
    double upper = layers_from_cards(m).top / kCmPerMetre;
    if (m.inf_layered_on) {
        const double* s = soil_class_of(m, k);
        upper = s ? s[22] / kCmPerMetre : 0.0;
    }
    const double* t = m.soil_thickness[k];
    double top = 0.0;
    for (int l = 1; l <= last; ++l) {
        const double bottom = top + t[l];
        const bool lower = w.lower != kNoSecondLayer && top >= upper - kThin / kCmPerMetre;
        const double held = lower ? w.lower : w.top;
        const double phi = m.soil_porosity[k][l];
        const double unsaturated = held < phi ? held : phi;
        if (!groundwater || bottom <= table)
            theta[l] = unsaturated;
        else if (top >= table)
            theta[l] = phi;
        else  // the water table crosses the layer
            theta[l] = (unsaturated * (table - top) + phi * (bottom - table)) / t[l];
        top = bottom;
    }
}

double constituent_layer_theta(const model_state& m, int k, int l) {
    double theta[kMaxContamLayers + 1] = {};
    constituent_layer_moistures(m, k, l, theta);
    return theta[l];
}

void alloc_overland_contam_arrays(model_state& m, int count, int cells, int nutrient_call, int) {
    if (nutrient_call != 0) {
        add_nutrient_slots(m, cells);
        return;
    }
    if (count <= 0) return;
    if (!add_slot_rows(m, count, cells)) return;
    if (m.sediment_contam && m.ov_sed) add_tables(m.attached_mass, count, cells, m.ov_sed->n_fine_classes);
    for (slot_rows* rows : {&m.contam_conc, &m.contam_mass, &m.contam_disp, &m.contam_decay_per_s, &m.contam_uptake,
                            &m.contam_land_mass, &m.soil_partition_coef, &m.gw_conc}) {
        if (made(*rows)) continue;
        refuse(format_text("Error: not enough memory for %d contaminants on %d cells.\n", m.ncontam + count, cells));
        return;
    }
    for (slot_tables* t : {&m.soil_mass, &m.soil_conc, &m.attached_mass}) {
        if (made(*t)) continue;
        refuse(format_text("Error: not enough memory for %d contaminants on %d cells.\n", m.ncontam + count, cells));
        return;
    }
    m.add_slot_totals(count);
    m.constituent_type.append_fill(count, constituent_kind::contaminant);
    if (m.contam_names.empty()) {
        m.contam_names.emplace_back();
        m.contam_output_names.emplace_back();
    }
    for (int i = 1; i <= count; ++i) {
        m.contam_names.push_back(format_text("contaminant %d", m.ncontam + i));
        m.contam_output_names.emplace_back();
    }
    m.ncontam += count;
    m.n_contaminants += count;
}

void read_contam_tables(model_state& m) {
    if (!m.ov_con_trans) {
        // The nutrient species are carried in the channels without it.
        if (m.chan_con_trans && !m.nutrients) {
            warn("CHAN_CON_TRANS has no effect without OV_CON_TRANS: no contaminant is carried.\n");
            m.chan_con_trans = 0;
        }
        if (m.soil_contam && !m.nutrients)
            warn("SOIL_CON_TRANS has no effect without OV_CON_TRANS: no contaminant is carried.\n");
        if (m.sediment_contam) warn("SEDIMENT_CONTAM has no effect without OV_CON_TRANS: no contaminant is carried.\n");
        return;
    }
    m.soil_con_trans = m.soil_contam;
    if (!options_hold(m)) return;
    m.kinetics_interval_steps = static_cast<int>(m.kinetics_timestep_factor);
    const bool table = m.mapping_table_given && mapping_table_present(m.mapping_tables, table_contaminants);
    const bool classes = m.sed_as_constituents == 2 && m.ov_sed;
    int count = 0;
    if (!table && !m.soil_erosion_given) {
        if (!set_uniform(m)) return;
        count = 1;
    } else if (!table && !classes) {
        refuse(format_text("Error: project file %s carries contaminants (OV_CON_TRANS) with soil erosion: they "
                           "come from the CONTAMINANT_TRANSPORT table of the mapping-table file, and %s holds "
                           "none.\n",
                           m.project_file.c_str(), m.mapping_table_given ? m.mapping_table.c_str() : "the project "
                                                                                                       "names no such file"));
        return;
    } else if (table) {
        count = read_table(m);
        if (count < 0) return;
    }
    if (classes && !add_sediment_slots(m)) return;
    if (count <= 0 && !classes) {
        m.uniform_contam_count = 0;
        g_error_record.fail(125);
        return;
    }
    if (!read_load_map(m)) return;
    if (!exchange_has_water(m)) return;
    if (m.sediment_contam && m.ov_sed && m.ov_sed->n_fine_classes == 0)
        warn(format_text("Warning: SEDIMENT_CONTAM has nothing to bind the contaminants to: every class of the "
                         "SEDIMENTS table of %s is sand (its diameter at least SAND_SIZE %g mm), and only the fine "
                         "classes carry attached mass.\n",
                         m.mapping_table.c_str(), m.project_options.sand_size));
    if (m.sediment_contam && m.ov_sed) {
        sed_record& s = *m.ov_sed;
        for (mat2<double>* t : {&s.ov_sed_vol_qsx, &s.ov_sed_vol_qsy, &s.eroded_step, &s.deposited_step})
            *t = mat2<double>(m.ncells, s.num_sed);
        s.ov_vol_sed_susp = mat2<double>(m.ncells, s.n_fine_classes);
        s.outlet_vol_step = vec1<double>(s.num_sed);
        for (vec1<double>* v : {&m.sorption_conc, &m.sorption_kd, &m.sorption_share})
            *v = vec1<double>(s.n_fine_classes);
        if (!blocks_made(g_error_record, "the sediment volumes of the sediment-bound contaminants", s.ov_sed_vol_qsx,
                         s.ov_sed_vol_qsy, s.eroded_step, s.deposited_step, s.ov_vol_sed_susp, s.outlet_vol_step))
            return;
    }
    if (m.ov_point_source_given) read_cell_point_sources(m);
}

void init_contam_soil_state(model_state& m) {
    if (!m.ov_con_trans || m.ncontam <= 0) return;
    if (m.soil_con_trans && !set_soil_layers(m)) return;
    zep_soils_set_param(m);
    shift_cell_point_sources(m);
    const double area = m.gridsize * m.gridsize;
    for (int c = 1; c <= m.ncontam; ++c) {
        const std::size_t s = static_cast<std::size_t>(c);
        m.OV_MASS_INIT.at(c) = 0.0;
        m.OV_LAND_MASS_INIT.at(c) = 0.0;
        vec1<double>& conc = m.contam_conc[s];
        vec1<double>& mass = m.contam_mass[s];
        vec1<double>& land = m.contam_land_mass[s];
        double overland = 0.0, held = 0.0;
        for (int k = 1; k <= m.ncells; ++k) {
            m.contam_uptake[s][k] /= kSecondsPerDay;
            const double h = m.h[k];
            // A cell under a channel-network lake holds its water in the lake.
            if (h > kDryDepth && !(m.chan_lakes_on && value_at(m.lake_num, k) >= 1)) {
                mass[k] = conc[k] * h * area;
            } else {
                mass[k] = 0.0;
                conc[k] = 0.0;
            }
            overland += mass[k];
            if (m.soil_con_trans && !is_contaminant(m, c)) {
                // A nutrient pool holds what the nutrient set-up gave its
                // layers (g).
                land[k] = 0.0;
                for (int l = 1; l <= m.soil_layer_count[k]; ++l) {
                    m.soil_conc[s][k][l] = m.soil_mass[s][k][l] / soil_solids(m, k, l) * kGramsPerKilogram;
                    land[k] += m.soil_mass[s][k][l];
                }
            } else if (m.soil_con_trans) {
                // The load is the mixing layer's soil concentration (mg/kg).
                mat2<double>& soil = m.soil_mass[s];
                m.soil_conc[s][k][1] = land[k];
                soil[k][1] = land[k] * soil_solids(m, k, 1) / kGramsPerKilogram;
                land[k] = soil[k][1];
            } else {
                land[k] *= kGramsPerKilogram;  // kg to g
            }
            held += land[k];
        }
        m.OV_MASS_INIT.at(c) = overland / kGramsPerKilogram;
        m.OV_LAND_MASS_INIT.at(c) = held / kGramsPerKilogram;
        if (m.soil_con_trans) m.SOIL_MASS_INIT.at(c) = held / kGramsPerKilogram;
        m.GLOBAL_MASS_INIT.at(c) = (overland + held) / kGramsPerKilogram;
    }
    for (int k = 1; k <= m.ncells; ++k) m.contam_water[k] = m.h[k];
    init_lake_contam_state(m);
}

}  // namespace kesta
