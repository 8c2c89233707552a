#include "subsurface/soil_params.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerHourToMetresPerSecond = 360000.0;  // divide by it
constexpr double kCmPerMetre = 100.0;

// What each parameter is called in messages, the cards that give its map,
// and its soil-class slot of layer 1 (layer j adds j - 1).
struct param_row {
    soil_param p;
    const char* what;
    const char* source;
    int slot;
};

constexpr param_row kParams[] = {
    {soil_param::conductivity, "saturated hydraulic conductivity",
     "the CONDUCTIVITY card with its map or the GREEN_AMPT_INFILTRATION table of the mapping-table file", 4},
    {soil_param::capillary_head, "capillary head",
     "the CAPILLARY card with its map or the GREEN_AMPT_INFILTRATION table of the mapping-table file", 0},
    {soil_param::porosity, "porosity",
     "the POROSITY card with its map or the GREEN_AMPT_INFILTRATION table of the mapping-table file", 7},
    {soil_param::pore_index, "pore distribution index",
     "the PORE_INDEX card with its map or the GREEN_AMPT_INFILTRATION table of the mapping-table file", 25},
    {soil_param::residual, "residual saturation",
     "the RESIDUAL_SAT card with its map or the GREEN_AMPT_INFILTRATION table of the mapping-table file", 19},
    {soil_param::field_capacity, "field capacity", "the GREEN_AMPT_INFILTRATION table of the mapping-table file",
     16},
    {soil_param::wilting_point, "wilting point",
     "the WILTING_POINT card with its map or the GREEN_AMPT_INFILTRATION table of the mapping-table file", 13},
};

constexpr bool rows_in_order() {
    for (int i = 0; i < static_cast<int>(sizeof(kParams) / sizeof(kParams[0])); ++i)
        if (static_cast<int>(kParams[i].p) != i) return false;
    return true;
}
static_assert(rows_in_order(), "one row per soil_param, in its order");

const param_row& row_of(soil_param p) { return kParams[static_cast<int>(p)]; }

const vec1<double>& map_of(const model_state& m, soil_param p) {
    switch (p) {
    case soil_param::conductivity: return m.ks_map;
    case soil_param::capillary_head: return m.hc_map;
    case soil_param::porosity: return m.phi_map;
    case soil_param::pore_index: return m.lam_map;
    case soil_param::residual: return m.thr_map;
    case soil_param::field_capacity: return m.field_capacity;
    case soil_param::wilting_point: break;
    }
    return m.Wp;
}

// The run read a map (or the Green and Ampt table) for p.
bool map_given(const model_state& m, soil_param p) {
    const bool table = m.mapping_table_info.green_ampt != 0;
    switch (p) {
    case soil_param::conductivity: return m.conductivity_given != 0;
    case soil_param::capillary_head: return m.capillary_given != 0;
    case soil_param::porosity: return m.porosity_given != 0;
    case soil_param::pore_index: return m.pore_index_given != 0;
    case soil_param::residual: return m.residual_sat_given != 0;
    case soil_param::field_capacity: return table;
    case soil_param::wilting_point: break;
    }
    return m.wilting_point_given || table;
}

bool classes_given(const model_state& m) { return holds(m.soiltype, m.ncells); }

bool refuse_missing(const model_state& m, const char* method, soil_param p) {
    const param_row& r = row_of(p);
    return refuse(format_text("Error: %s needs the %s of every cell: give %s in the project file %s.\n"
                              "Program terminated.\n",
                              method, r.what, r.source, m.project_file.c_str()));
}

// The limits every soil column needs: the moisture range is not empty, the
// Brooks-Corey exponents are finite, and the evapotranspiration factors,
// which divide by the field capacity and by its distance from the wilting
// point, stay finite. `where` names the cell or class.
bool column_values_sound(const std::string& where, double phi, double thr, double lambda, double fc, double wp) {
    if (!(phi > thr))
        return refuse(format_text("Error: %s: porosity %g must exceed the residual saturation %g.\n", where.c_str(),
                                  phi, thr));
    if (!(lambda > 0.0))
        return refuse(format_text("Error: %s: pore distribution index %g must be above 0.\n", where.c_str(), lambda));
    if (!(fc > wp && fc > 0.0))
        return refuse(format_text("Error: %s: field capacity %g must exceed the wilting point %g and 0.\n",
                                  where.c_str(), fc, wp));
    return true;
}

void setup_redistribution(model_state& m) {
    const char* method = "Green and Ampt infiltration with redistribution";
    std::vector<soil_param> needed = {soil_param::conductivity, soil_param::capillary_head, soil_param::porosity,
                                      soil_param::pore_index,   soil_param::residual,       soil_param::field_capacity};
    if (m.long_term && m.et_calc_penman) needed.push_back(soil_param::wilting_point);
    for (soil_param p : needed) {
        const bool in_map = map_given(m, p) && holds(map_of(m, p), m.ncells);
        if (!in_map && !classes_given(m)) {
            refuse_missing(m, method, p);
            return;
        }
    }
    for (int k = 1; k <= m.ncells; ++k) {
        const double wp = soil_parameter(m, k, soil_param::wilting_point);
        if (!column_values_sound(format_text("cell %d", k), soil_parameter(m, k, soil_param::porosity),
                                 soil_parameter(m, k, soil_param::residual),
                                 soil_parameter(m, k, soil_param::pore_index),
                                 soil_parameter(m, k, soil_param::field_capacity), std::isnan(wp) ? 0.0 : wp)) {
            return;
        }
    }
}

// Every class a cell uses, checked once for the layers that have a depth;
// the cells take their starting layer moistures from it.
void setup_layered(model_state& m) {
    if (!classes_given(m)) {
        refuse(format_text("Error: G&A infiltration through layered soils needs the soil class of every cell: give "
                           "the SOIL_TYPE_MAP and SOIL_LAYER_INPUT_FILE cards in the project file %s.\n"
                           "Program terminated.\n",
                           m.project_file.c_str()));
        return;
    }
    m.layer_theta = vec1<soil_layer_moisture>(m.ncells);
    std::vector<char> checked(m.soil_class.size(), 0);
    for (int k = 1; k <= m.ncells; ++k) {
        const double* s = soil_class_of(m, k);
        if (!s) {
            refuse(format_text("Error: cell %d: soil class %d is not in the soil table %s.\n", k, m.soiltype[k],
                               m.soil_layer_input_file.c_str()));
            return;
        }
        for (int j = 0; j < 3; ++j) m.layer_theta[k].theta[j] = s[10 + j];
        const auto c = static_cast<std::size_t>(m.soiltype[k]);
        if (checked[c]) continue;
        checked[c] = 1;
        for (int j = 0; j < 2; ++j) {
            if (!(s[22 + j] > 0.0)) continue;
            const std::string where = format_text("soil table %s, class %d, layer %d",
                                                  m.soil_layer_input_file.c_str(), m.soiltype[k], j + 1);
            if (!column_values_sound(where, s[7 + j], s[19 + j], s[25 + j], s[16 + j], s[13 + j])) return;
        }
    }
}

}  // namespace

double soil_parameter(const model_state& m, int k, soil_param p, int layer) {
    const vec1<double>& map = map_of(m, p);
    if (k >= 1 && k <= map.n()) return map[k];
    const double* s = k >= 1 && k <= m.soiltype.n() ? soil_class_of(m, k) : nullptr;
    if (!s || layer < 1 || layer > 3) return std::numeric_limits<double>::quiet_NaN();
    const double v = s[row_of(p).slot + layer - 1];
    if (p == soil_param::conductivity) return v / kCmPerHourToMetresPerSecond;
    if (p == soil_param::capillary_head) return v / kCmPerMetre;
    return v;
}

void setup_soil_columns(model_state& m) {
    if (m.inf_redist_on) setup_redistribution(m);
    else if (m.inf_layered_on) setup_layered(m);
}

}  // namespace kesta
