// Readers of the soil inputs: area reduction, the infiltration parameters,
// the evapotranspiration maps and the water table.
#include <cstdio>
#include <vector>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/mapping_tables.hpp"
#include "input/model_inputs.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "subsurface/soil_params.hpp"
#include "subsurface/soil_table.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerHourToMetresPerSecond = 360000.0;  // divide by it
constexpr double kRichardsAquiferDepth = 0.1;              // m below the water table

void divide_all(model_state& m, vec1<double>& v, double by) {
    for (int k = 1; k <= m.ncells; ++k) v[k] /= by;
}

// Bounds of the Green and Ampt parameters as read, before any unit is
// converted: a value no soil can have would run without a word.
constexpr value_rule kConductivityRule{"saturated hydraulic conductivity", "cm/h",
                                       [](double v) { return v >= 0.0; }, "it must be 0 or more"};
constexpr value_rule kCapillaryRule{"capillary head", "cm", [](double v) { return v >= 0.0; },
                                    "it must be 0 or more"};
constexpr value_rule kPorosityRule{"porosity", "", [](double v) { return v > 0.0 && v < 1.0; },
                                   "it must lie between 0 and 1 (both excluded)"};

// Refuses (reported) the first cell whose value breaks `rule`. The values
// came from the map `map_name` (`from_file`) or else from the table
// `table_id`; with neither they are not known, which the caller refuses on
// its own.
bool values_hold(model_state& m, const vec1<double>& values, const value_rule& rule, bool from_file,
                 const std::string& map_name, int table_id) {
    if (!from_file && table_id == table_none) return true;
    std::string detail;
    if (first_breach(m, values, rule, value_source(m, from_file, map_name, table_id), detail) == 0) return true;
    return refuse("Error: " + detail);
}

bool green_ampt_maps(model_state& m) {
    const bool table = m.mapping_table_info.green_ampt != 0;
    const int source_table = table ? table_green_ampt : table_none;
    if (table &&
        !read_table_columns(m, table_green_ampt, {&m.ks_map, &m.hc_map, &m.phi_map, &m.lam_map, &m.thr_map,
                                                  &m.field_capacity, &m.Wp})) {
        return false;
    }
    bool from_file = false;
    if (m.conductivity_given) {
        if (!read_map_or_table(m, m.conductivity, "Ks", table, table_none, m.ks_map,
                               "reading saturated hydraulic conductivity map from file: %s\n",
                               "reading saturated hydraulic conductivity table and map from the master table file\n",
                               &from_file) ||
            !values_hold(m, m.ks_map, kConductivityRule, from_file, m.conductivity, source_table)) {
            return false;
        }
        divide_all(m, m.ks_map, kCmPerHourToMetresPerSecond);
    }
    if (m.capillary_given) {
        if (!read_map_or_table(m, m.capillary, "Hc", table, table_none, m.hc_map,
                               "reading capillary drive map from file: %s\n",
                               "reading capillary drive map from the master table file\n", &from_file) ||
            !values_hold(m, m.hc_map, kCapillaryRule, from_file, m.capillary, source_table)) {
            return false;
        }
        divide_all(m, m.hc_map, 100.0);
    }
    if (m.porosity_given &&
        (!read_map_or_table(m, m.porosity, "soil porosity", table, table_none, m.phi_map,
                            "reading porosity map from file: %s\n",
                            "reading porosity table and map from the master table file\n", &from_file) ||
         !values_hold(m, m.phi_map, kPorosityRule, from_file, m.porosity, source_table))) {
        return false;
    }
    return true;
}

// A soil parameter of every Green and Ampt cell comes only from its card's
// map or from the Green and Ampt table (whose column reaches the cells only
// when the card is given): no soil type supplies it. `values` exists when the
// card is given; `file` is the map the card names.
bool soil_parameter_known(model_state& m, const vec1<double>& values, const std::string& file,
                          const char* card, const char* what, const char* why) {
    const bool table = m.mapping_table_info.green_ampt != 0;
    if (!values.empty() && (!file.empty() || table)) return true;
    return refuse(format_text("Error: %s needs the %s of every cell: give the %s card with its map, or with\n"
                              "the GREEN_AMPT_INFILTRATION table of the mapping-table file, in the project file %s.\n"
                              "Program terminated.\n",
                              why, what, card, m.project_file.c_str()));
}

bool porosity_known(model_state& m, const char* why) {
    return soil_parameter_known(m, m.phi_map, m.porosity, "POROSITY", "porosity", why);
}

// Conductivity, capillary head and porosity: what the Green and Ampt kernels
// read for every cell.
bool green_ampt_parameters_known(model_state& m) {
    const char* why = m.inf_redist_on ? "Green and Ampt infiltration with redistribution"
                                      : "Green and Ampt infiltration";
    return soil_parameter_known(m, m.ks_map, m.conductivity, "CONDUCTIVITY",
                                "saturated hydraulic conductivity", why) &&
           soil_parameter_known(m, m.hc_map, m.capillary, "CAPILLARY", "capillary head", why) &&
           porosity_known(m, why);
}

bool redistribution_maps(model_state& m) {
    const bool table = m.mapping_table_info.green_ampt != 0;
    if (!m.pore_index_given) {
        refuse_on_stderr("For infiltration redistribution, pore index map must be specified\nProgram stopped.\n");
        return false;
    }
    if (!read_map_or_table(m, m.pore_index, "pore dist. index", table, table_none, m.lam_map,
                           "reading pore distribution index map from file: %s\n",
                           "reading pore distribution index map from master table file\n")) {
        return false;
    }
    if (!m.residual_sat_given) {
        refuse_on_stderr("Program stopped.\n");
        return false;
    }
    if (!read_map_or_table(m, m.residual_sat, "residual saturation", table, table_none, m.thr_map,
                           "reading residual saturation map from file: %s\n",
                           "reading residual saturation map from the master table file\n")) {
        return false;
    }
    for (int k = 1; k <= m.ncells; ++k) {
        m.theta_all[k] = m.thi[k];
        m.teta_n[k] = m.thi[k];
    }
    return true;
}

bool layered_soils(model_state& m) {
    say(m, format_text("reading soil map from file: %s\n", m.soil_type_map.c_str()));
    file_ptr fp = open_required_input(m.soil_type_map, "soil type");
    if (!fp) return false;
    grid_header header;
    vec1<double> no_a, no_b;
    vec1<int> no_cells;
    if (!read_ascii_map(fp.get(), m.soil_type_map, kMapIntGrid, header, m.data, no_a, no_b, no_cells, m.rows,
                        m.cols)) {
        return false;
    }
    close_file(fp);
    for (int r = 1; r <= m.rows; ++r) {
        for (int c = 1; c <= m.cols; ++c) {
            const int k = m.mask[r][c];
            if (k == 0) continue;
            const int type = m.data[r][c];
            if (type < 0 || type >= kSoilClasses) {
                return refuse(format_text("Error: soil map %s, row %d, column %d: soil class %d lies outside 0 "
                                          "to %d\n",
                                          m.soil_type_map.c_str(), r, c, type, kSoilClasses - 1));
            }
            m.soiltype[k] = type;
        }
    }
    file_ptr table = open_required_input(m.soil_layer_input_file, "multi-layer soil table");
    if (!table) return false;
    std::vector<char> defined;
    if (read_soil_class_table(table.get(), m.soil_layer_input_file, m.soil_class, &defined) < 0) return false;
    // A class the table does not give has a record of zeros: layers of no
    // thickness and no porosity. Slot 10 is the initial water content of a
    // class's first layer.
    for (int k = 1; k <= m.ncells; ++k) {
        const int type = m.soiltype[k];
        if (!defined[static_cast<std::size_t>(type)]) {
            int row = 0, col = 0;
            cell_row_col(m, k, row, col);
            return refuse(format_text("Error: soil map %s, row %d, column %d: soil class %d is not in the soil table "
                                      "%s.\n",
                                      m.soil_type_map.c_str(), row, col, type, m.soil_layer_input_file.c_str()));
        }
        m.theta_all[k] = m.soil_class[static_cast<std::size_t>(type)].v[10];
    }
    return true;
}

bool uniform_moisture(model_state& m) {
    if (!porosity_known(m, "A uniform initial soil moisture")) return false;
    if (m.thr_map.empty()) {
        return refuse(format_text("Error: A uniform initial soil moisture needs the residual saturation of every "
                                  "cell: give the\nRESIDUAL_SAT card or the GREEN_AMPT_INFILTRATION table of the "
                                  "mapping-table file in the project file %s.\nProgram terminated.\n",
                                  m.project_file.c_str()));
    }
    say(m, "initializing uniform initial soil water content\n");
    const double theta = m.uniform_theta;
    for (int k = 1; k <= m.ncells; ++k) {
        double t = theta;
        if (t < m.thr_map[k]) t = m.thr_map[k] + 0.01;
        if (t > m.phi_map[k]) t = m.phi_map[k] - 0.01;
        m.thi[k] = t;
        m.theta_all[k] = theta;
    }
    return true;
}

// The initial water content of a cell lies from 0 to its porosity (when the
// porosity is known; it has been checked by then).
bool initial_moisture_holds(model_state& m, bool from_file) {
    for (int k = 1; k <= m.ncells && k <= m.thi.n(); ++k) {
        const double theta = m.thi[k];
        const bool has_porosity = k <= m.phi_map.n();
        if (theta >= 0.0 && (!has_porosity || theta <= m.phi_map[k])) continue;
        int row = 0, col = 0;
        cell_row_col(m, k, row, col);
        const std::string bound =
            has_porosity ? format_text("from 0 to the cell's porosity %g", m.phi_map[k]) : std::string("0 or more");
        return refuse(format_text("Error: initial soil moisture %g at cell %d (row %d, column %d), from %s: it must "
                                  "lie %s.\n",
                                  theta, k, row, col,
                                  value_source(m, from_file, m.moisture, table_initial_moisture).c_str(),
                                  bound.c_str()));
    }
    return true;
}

// The map of evapotranspiration parameter `i` (in the order of
// kEtParameterBounds) holds what any land can have; the first cell that
// does not is refused.
bool et_map_holds(model_state& m, const vec1<double>& values, int i, const std::string& map_name) {
    const et_parameter_bound& b = kEtParameterBounds[i];
    const char* gap = b.unit[0] ? " " : "";
    for (int k = 1; k <= m.ncells && k <= values.n(); ++k) {
        if (et_parameter_holds(b, values[k])) continue;
        int row = 0, col = 0;
        cell_row_col(m, k, row, col);
        return refuse(format_text("Error: %s %s%s%s at cell %d (row %d, column %d), from map %s: it must lie from %g "
                                  "to %g%s%s.\n",
                                  b.what, exact_number(values[k]).c_str(), gap, b.unit, k, row, col,
                                  map_name.c_str(), b.low, b.high, gap, b.unit));
    }
    return true;
}

}  // namespace

void read_area_reduction(model_state& m) {
    if (!m.area_reduction_given) return;
    if (!m.area_reduction.empty()) {
        std::string name = m.area_reduction;
        file_ptr fp = open_or_refuse(name, "Can't open area reduction file named: %s\n");
        if (!fp) return;
        say(m, format_text("reading area reduction map from file: %s\n", name.c_str()));
        if (!read_real_map(m, fp.get(), name, m.area_redux, 3)) return;
    } else if (m.mapping_table_info.area_reduction) {
        say(m, "reading area reduction map from the mapping table file.\n");
        if (!read_table_columns(m, table_area_reduction, {&m.area_redux})) return;
    }
    // Stored as the share of the cell that takes infiltration.
    for (int k = 1; k <= m.ncells; ++k) m.area_redux[k] = 1.0 - m.area_redux[k];
}

void read_infiltration_params(model_state& m) {
    const bool green_ampt = m.green_ampt_on || m.inf_redist_on;
    const bool any_green_ampt = green_ampt || m.inf_layered_on;
    if (any_green_ampt) {
        read_area_reduction(m);
        if (run_stopped()) return;
        if (green_ampt && (!green_ampt_maps(m) || !green_ampt_parameters_known(m))) return;
        if (m.green_ampt_on && !m.inf_redist_on) {
            for (int k = 1; k <= m.ncells; ++k) {
                m.theta_all[k] = m.thi[k];
                m.thi[k] = m.phi_map[k] - m.thi[k];
                if (m.thi[k] < 0.0) {
                    warn(format_text("Warning: initial water content > phi at grid %d\n", k));
                    m.thi[k] = 0.0;
                }
            }
        }
        if (m.inf_redist_on && !redistribution_maps(m)) return;
        if (m.inf_layered_on && !layered_soils(m)) return;
    }

    // Every run that has evapotranspiration, a water table or a soil table
    // reads them, whatever its infiltration method.
    read_et_maps(m);
    if (run_stopped()) return;
    read_water_table_maps(m);
    if (run_stopped()) return;
    read_soil_table(m);
    if (run_stopped()) return;

    if (green_ampt && m.uniform_moisture_on && !m.inf_layered_on) uniform_moisture(m);
    if (run_stopped()) return;
    // The moisture single-layer Green and Ampt reports for a cell is its
    // initial moisture, known only now that the moisture input is read.
    if (m.green_ampt_on && !m.inf_redist_on && !m.inf_layered_on) {
        for (int k = 1; k <= m.ncells && k <= m.thi.n() && k <= m.theta_all.n(); ++k) m.theta_all[k] = m.thi[k];
    }
    setup_soil_columns(m);
}

void read_et_maps(model_state& m) {
    const bool table = m.mapping_table_info.evapotranspiration != 0;
    if (table && !read_table_columns(m, table_evapotranspiration, {&m.alb, &m.veg, &m.Kt, &m.Rs})) return;

    struct et_map {
        int given;
        const std::string& name;
        const char* item;
        vec1<double>& dest;
        const char* from_file;
        const char* from_table;
        const char* summary_from_table;  // the summary file's line, when it differs
    };
    // The first four in the order of kEtParameterBounds.
    const et_map maps[] = {
        {m.albedo_given, m.albedo, "albedo", m.alb, "reading albedo map from file: %s\n",
         "reading albedo table and map from the master table file\n", nullptr},
        {m.vheight_given, m.vheight, "veg. height", m.veg, "reading vegetation-height map from file: %s\n",
         "reading vegetation-height table and map from the master table file\n", nullptr},
        {m.tcoeff_given, m.tcoeff, "trans. coeff", m.Kt, "reading transmission-coefficient map from file: %s\n",
         "reading transmission-coefficient table and map from the master table file\n", nullptr},
        {m.canopy_given, m.canopy, "canopy resist.", m.Rs, "reading canopy resistance map from file: %s\n",
         "reading canopy resistance table and map from the master table file\n",
         "reading canopy resistance map from file\n"},
        {m.wilting_point_given, m.wilting_point, "wilting point", m.Wp,
         "reading wilting point map from file: %s\n",
         "reading wilting point table and map from the master table file\n", nullptr},
    };
    if (m.long_term) {
        for (std::size_t i = 0; i < sizeof(maps) / sizeof(maps[0]); ++i) {
            const et_map& e = maps[i];
            if (!e.given || (i > 0 && !m.et_calc_penman) || e.dest.empty()) continue;
            file_ptr fp = open_input(e.name, e.item);
            if (run_stopped()) return;
            if (fp) {
                say(m, format_text(e.from_file, e.name.c_str()));
                if (!read_real_map(m, fp.get(), e.name, e.dest)) return;
                if (i < 4 && !et_map_holds(m, e.dest, static_cast<int>(i), e.name)) return;
            } else if (e.summary_from_table) {
                say_console(m, e.from_table);
                if (m.summary_fp) std::fputs(e.summary_from_table, m.summary_fp.get());
            } else {
                say(m, e.from_table);
            }
        }
    }

    if (!m.moisture_given || m.thi.empty()) return;
    const bool moisture_table = m.mapping_table_info.initial_moisture != 0;
    bool from_file = false;
    if (!read_map_or_table(m, m.moisture, "soil moisture", moisture_table, table_initial_moisture, m.thi,
                           "reading soil moisture map from file: %s\n",
                           "reading soil moisture table and map from the master table file\n", &from_file)) {
        return;
    }
    if (from_file || moisture_table) initial_moisture_holds(m, from_file);
}

void read_water_table_maps(model_state& m) {
    if (!m.water_table_given) return;
    say(m, format_text("reading water table map from file: %s\n", m.water_table.c_str()));
    file_ptr fp = open_required_input(m.water_table, "water table");
    if (!fp) return;
    if (m.elevgw.empty()) alloc_dvector(m.elevgw, m.ncells, "elevgw");
    if (!blocks_made(g_error_record, "the water table of the cells", m.elevgw)) return;
    if (!read_real_map(m, fp.get(), m.water_table, m.elevgw)) return;
    close_file(fp);
    if (!map_elevations_hold(m, m.elevgw, "water-table elevation", m.water_table)) return;
    alloc_dvector(m.exfiltrate, m.ncells, "exfiltrate");
    // The aquifer bottom exists whenever the water table does.
    if (m.bottom_elev.empty()) alloc_dvector(m.bottom_elev, m.ncells, "bottom_elev");
    if (!blocks_made(g_error_record, "the aquifer of the cells", m.exfiltrate, m.bottom_elev)) return;

    const std::string& bottom = m.project_options.aquifer_bottom;
    if (!bottom.empty()) {
        say(m, format_text("reading aquifer bottom map from file: %s\n", bottom.c_str()));
        file_ptr bfp = open_required_input(bottom, "aquifer bottom");
        if (!bfp) return;
        if (!read_real_map(m, bfp.get(), bottom, m.bottom_elev) ||
            !map_elevations_hold(m, m.bottom_elev, "aquifer-bottom elevation", bottom))
            return;
    } else if (m.inf_richards_on) {
        m.aquifer_delta_z = kRichardsAquiferDepth;
        for (int k = 1; k <= m.ncells; ++k) m.bottom_elev[k] = m.elevgw[k] - kRichardsAquiferDepth;
    }
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.bottom_elev[k] >= m.elev[k]) {
            warn(format_text("Aquifer bottom elevation %lf for cell %d is at or above ground surface elevation %lf \n"
                             "Aquifer bottom elevation set to ground elevation \n",
                             m.bottom_elev[k], k, m.elev[k]));
            m.bottom_elev[k] = m.elev[k];
        }
    }
}

}  // namespace kesta
