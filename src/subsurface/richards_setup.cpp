// Set-up of the Richards soil columns: the settings and the soil table,
// every cell's column with its water table, the column water the summaries
// read, the rebuild of a column when the groundwater moves its table, and
// the wetland set-up of the subsystem.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "input/mapping_tables.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerMetre = 100.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kNotGiven = -999.9;  // the project default of AQUIFER_DELTA_Z
// Nodes a column stores below the one that reaches the aquifer bottom.
constexpr int kNodesBelowAquiferBottom = 9;
// With groundwater simulated, the nodes below the soil layers at the bottom
// of a column: the deepest two at these conductivities (cm/h) and saturated
// moistures, the ten above them at a hundredth of their conductivity and a
// saturated moisture of 0.75.
constexpr double kDeepestKs = 1e-6, kDeepestThetas = 1.0;
constexpr double kSecondKs = 1e-5, kSecondThetas = 0.8;
constexpr double kDeepThetas = 0.75;
constexpr int kDeepDamped = 10;
constexpr double kDepthTolerance = 1e-9;  // cm
// AQUIFER_DELTA_Z (m): a millimetre up to 100 m; outside, the node
// thicknesses and heads below the soil layers lose all meaning.
constexpr double kLeastDeepSpacing = 1e-3, kMostDeepSpacing = 100.0;

// Layer of node k of a class: 0..2, or 3 below the soil layers.
int layer_of(const richards_class& cl, int k) {
    if (k <= cl.nodes[0]) return 0;
    if (k <= cl.nodes[0] + cl.nodes[1]) return 1;
    if (k <= cl.soil_nodes()) return 2;
    return 3;
}

// The first node of a class's column whose bottom reaches depth d (cm) when
// the nodes below the soil layers are dz_deep thick; 1 for d <= 0. A depth
// past kMostColumnNodes nodes gives kMostColumnNodes + 1.
int node_reaching(const richards_class& cl, double d, double dz_deep) {
    double bottom = 0.0;
    int k = 0;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < cl.nodes[j]; ++i) {
            ++k;
            bottom += cl.dz[j];
            if (bottom >= d - kDepthTolerance) return k;
        }
    }
    const double more = std::ceil((d - bottom) / dz_deep - kDepthTolerance);
    if (!(k + more <= kMostColumnNodes)) return kMostColumnNodes + 1;
    return k + (more < 1.0 ? 1 : static_cast<int>(more));
}

richards_soil layer_soil(const double* s, int j, retention_model model) {
    richards_soil soil;
    soil.thetas = s[7 + j];
    soil.thetar = s[19 + j];
    soil.thetawp = s[13 + j];
    soil.thetafc = s[16 + j];
    if (model == retention_model::havercamp) {
        soil.alpha = s[34 + j];
        soil.beta = s[37 + j];
        soil.a = s[40 + j];
        soil.b = s[43 + j];
    } else {
        soil.lambda = s[25 + j];
        soil.bubbling = s[28 + j];
        set_brooks_corey_cap(soil);
    }
    return soil;
}

int add_soil(richards_columns& r, const richards_soil& soil) {
    r.soils.push_back(soil);
    return static_cast<int>(r.soils.size()) - 1;
}

// The classes of the soil table as columns are built from them; num1..num3
// by class, sized by the largest class the table gives.
void build_classes(model_state& m) {
    richards_columns& r = m.richards;
    int largest = 0;
    for (std::size_t id = 0; id < r.defined.size(); ++id)
        if (r.defined[id]) largest = static_cast<int>(id);
    r.classes.assign(static_cast<std::size_t>(largest) + 1, richards_class{});
    r.soils.clear();
    alloc_ivector(m.num1, largest, "num1");
    alloc_ivector(m.num2, largest, "num2");
    alloc_ivector(m.num3, largest, "num3");
    if (!blocks_made(g_error_record, "the class counts of the Richards soils", m.num1, m.num2, m.num3)) return;
    for (int id = 0; id <= largest; ++id) {
        if (!r.defined[static_cast<std::size_t>(id)]) continue;
        const double* s = m.soil_class[static_cast<std::size_t>(id)].v;
        richards_class& cl = r.classes[static_cast<std::size_t>(id)];
        for (int j = 0; j < 3; ++j) {
            cl.dz[j] = s[31 + j];
            cl.ks[j] = s[4 + j];
            // Whole nodes, as the soil table counted them.
            cl.nodes[j] = static_cast<int>(std::floor(s[22 + j] / cl.dz[j] + 1e-6));
            cl.soil[j] = add_soil(r, layer_soil(s, j, r.model));
        }
        if (m.gw_simulation) {
            const double thetas[3] = {kDeepThetas, kSecondThetas, kDeepestThetas};
            for (int i = 0; i < 3; ++i) {
                richards_soil deep = r.soils[static_cast<std::size_t>(cl.soil[2])];
                deep.thetas = thetas[i];
                if (r.model == retention_model::brooks_corey) set_brooks_corey_cap(deep);
                cl.deep_soil[i] = add_soil(r, deep);
            }
        }
        m.num1[id] = cl.nodes[0];
        m.num2[id] = cl.nodes[0] + cl.nodes[1];
        m.num3[id] = cl.soil_nodes() + (m.water_table_given ? 0 : 1);
    }
}

double deep_spacing(const model_state& m) { return m.aquifer_delta_z * kCmPerMetre; }

// Soil, thickness and face conductivity of the nodes of a cell's column.
void lay_out_column(const model_state& m, const richards_class& cl, richards_node* nd, int last) {
    const bool water_table = m.water_table_given != 0;
    for (int k = 1; k <= last; ++k) {
        const int layer = layer_of(cl, k);
        const int j = layer < 3 ? layer : 2;
        richards_node& node = nd[k];
        node.soil = cl.soil[j];
        node.dz = layer < 3 || !water_table ? cl.dz[j] : deep_spacing(m);
        node.ks = cl.ks[j];
        const int above = k > 1 ? layer_of(cl, k - 1) : layer;
        if (above != layer && layer < 3) {
            // The face between two layers: the spacing-weighted harmonic mean.
            const double s1 = nd[k - 1].dz, s2 = node.dz;
            node.ks = (s1 + s2) / (s1 / cl.ks[above] + s2 / cl.ks[j]);
        }
        if (m.gw_simulation && water_table && layer == 3) {
            const int from_bottom = last - k;
            if (from_bottom == 0) {
                node.ks = kDeepestKs;
                node.soil = cl.deep_soil[2];
            } else if (from_bottom == 1) {
                node.ks = kSecondKs;
                node.soil = cl.deep_soil[1];
            } else if (from_bottom <= 1 + kDeepDamped) {
                node.ks /= 100.0;
                node.soil = cl.deep_soil[0];
            }
        }
    }
}

void refresh_props(const richards_columns& r, richards_node& node) {
    const hydraulic_props p =
        hydraulic_properties(r.soils[static_cast<std::size_t>(node.soil)], r.model, node.head, node.theta);
    node.kr = p.kr;
    node.capacity = p.capacity;
}

// Hydrostatic heads and their moistures from node `from` down, the water
// table lying `table_depth` cm below the ground.
void hydrostatic_from(const richards_columns& r, richards_node* nd, int from, int last, double table_depth) {
    double top = 0.0;
    for (int k = 1; k <= last; ++k) {
        richards_node& node = nd[k];
        if (k >= from) {
            node.head = top + 0.5 * node.dz - table_depth;
            node.theta = theta_from_head(r.soils[static_cast<std::size_t>(node.soil)], r.model, node.head);
            refresh_props(r, node);
        }
        top += node.dz;
    }
}

// Nodes of a column whose water table lies `table_depth` cm below the
// ground: one saturated node for a table at or above the ground, else down
// to the node that reaches the table and at least two.
int column_nodes(const model_state& m, const richards_class& cl, double table_depth) {
    if (table_depth <= 0.0) return 1;
    return std::max(node_reaching(cl, table_depth, deep_spacing(m)), 2);
}

bool table_below_storage(const model_state& m, int cell, int nodes, int last) {
    if (nodes <= last) return false;
    int row = 0, col = 0;
    cell_row_col(m, cell, row, col);
    refuse(format_text("Error: the water table of cell %d (row %d, column %d) at %g m lies below the %d nodes its "
                       "Richards column stores, which reach the aquifer bottom at %g m.\n",
                       cell, row, col, value_at(m.elevgw, cell), last, value_at(m.bottom_elev, cell)));
    return true;
}

// Refuses (false) the column of cell c that would pass kMostColumnNodes on
// its way to the aquifer bottom, `depth` cm below its ground.
bool too_many_nodes(model_state& m, int c, double depth) {
    m.richards.first.clear();
    int row = 0, col = 0;
    cell_row_col(m, c, row, col);
    return refuse(format_text("Error: AQUIFER_DELTA_Z %g m in the project file %s: the Richards column of cell %d (row "
                              "%d, column %d) would reach its aquifer bottom, %.10g m below the ground, only past the "
                              "%d nodes a column may hold.\n",
                              m.aquifer_delta_z, m.project_file.c_str(), c, row, col, depth / kCmPerMetre,
                              kMostColumnNodes));
}

// Sets the initial state of a cell's column; false when refused.
bool fill_column(model_state& m, int c, const richards_class& cl, const double* s) {
    richards_columns& r = m.richards;
    richards_node* nd = r.column(c);
    const int last = r.last_node(c);
    lay_out_column(m, cl, nd, last);
    int n = last;
    if (m.water_table_given) {
        const double table_depth = (m.elev[c] - m.elevgw[c]) * kCmPerMetre;
        n = column_nodes(m, cl, table_depth);
        if (table_below_storage(m, c, n, last)) return false;
        hydrostatic_from(r, nd, 1, last, table_depth);
        if (table_depth <= 0.0) {
            m.yes_exfil[c] = 1;
            m.any_exfil = 1;
            m.exfil_present = 1;
            m.gw_exfiltration = 1;
        }
    } else {
        for (int k = 1; k <= last; ++k) {
            const int layer = std::min(layer_of(cl, k), 2);
            richards_node& node = nd[k];
            node.theta = s[10 + layer];
            node.head = 0.0;
            head_from_theta(r.soils[static_cast<std::size_t>(node.soil)], r.model, node.theta, node.head);
            refresh_props(r, node);
        }
    }
    nd[0] = nd[1];
    m.numcells[c] = n;
    return true;
}

// Water (cm) of the nodes of a column within `depth` cm of the ground.
double water_above(const richards_node* nd, int n, double depth) {
    double top = 0.0, water = 0.0;
    for (int k = 1; k < n && top < depth; ++k) {
        const double inside = std::min(top + nd[k].dz, depth) - top;
        water += nd[k].theta * inside;
        top += nd[k].dz;
    }
    return water;
}

double column_water_cm(const richards_node* nd, int n) {
    double water = 0.0;
    for (int k = 1; k < n; ++k) water += nd[k].theta * nd[k].dz;
    return water;
}

// The settings the solver divides by or loops on.
bool settings_hold(model_state& m) {
    auto bad = [&m](const char* card, double value, const char* rule) {
        return refuse(format_text("Error: %s %s in the project file %s: %s.\n", card, exact_number(value).c_str(),
                                  m.project_file.c_str(), rule));
    };
    if (m.richards_c_option != 1 && m.richards_c_option != 2)
        return bad("RICHARDS_C_OPTION", m.richards_c_option,
                   "Richards infiltration needs the retention model, BROOKS or HAVERCAMP");
    if (!(m.richards_dtheta_max > 0.0))
        return bad("RICHARDS_DTHETA_MAX", m.richards_dtheta_max, "the moisture change of a sub-step must be above 0");
    if (m.richards_iter_max < 1)
        return bad("RICHARDS_ITER_MAX", m.richards_iter_max, "at least one Picard pass is needed");
    if (!(m.richards_weight >= 0.0 && m.richards_weight <= 1.0))
        return bad("RICHARDS_WEIGHT", m.richards_weight, "the weight of the upper node must lie from 0 to 1");
    if (m.water_table_given && m.aquifer_delta_z == kNotGiven) {
        fail_and_report(32);
        return false;
    }
    if (m.water_table_given && !(m.aquifer_delta_z >= kLeastDeepSpacing && m.aquifer_delta_z <= kMostDeepSpacing))
        return bad("AQUIFER_DELTA_Z", m.aquifer_delta_z,
                   format_text("the spacing of the Richards nodes below the soil layers must lie from %g to %g m",
                               kLeastDeepSpacing, kMostDeepSpacing)
                       .c_str());
    return true;
}

bool read_class_table(model_state& m) {
    if (!m.soil_layer_input_file.empty()) {
        file_ptr fp = open_required_input(m.soil_layer_input_file, "multi-layer soil table");
        return fp && read_richards_soil_file(m, fp.get(), m.soil_layer_input_file) >= 0;
    }
    if (!m.mapping_table_given)
        return refuse(format_text("Error: Richards infiltration needs a soil table: give SOIL_LAYER_INPUT_FILE or a "
                                  "MAPPING_TABLE with its Richards table in the project file %s.\n",
                                  m.project_file.c_str()));
    return read_richards_table(m, m.mapping_tables, m.mapping_table, m.richards_c_option) >= 0;
}

bool read_soil_types(model_state& m) {
    file_ptr fp = open_required_input(m.soil_type_map, "soil type");
    if (!fp) return false;
    say(m, format_text("reading soil map from file: %s\n", m.soil_type_map.c_str()));
    return read_id_map(m, fp.get(), m.soil_type_map, m.soiltype);
}

void set_root_depths(model_state& m) {
    if (m.root_depth.empty()) alloc_dvector(m.root_depth, m.ncells, "root_depth");
    if (!blocks_made(g_error_record, "the root depths of the cells", m.root_depth)) return;
    const double depth = m.soil_moist_depth / kCmPerMetre;  // m
    for (int k = 1; k <= m.ncells; ++k) {
        double d = depth;
        if (m.long_term && m.et_calc_penman && k <= m.veg.n()) d = std::min(m.veg[k], depth);
        m.root_depth[k] = d;
    }
}

// In long-term runs the class's albedo, vegetation height, transmission
// coefficient and canopy resistance reach the cells for which neither a map
// nor the evapotranspiration table gave them.
void class_weather_values(model_state& m) {
    if (!m.long_term || m.soil_layer_input_file.empty() || m.mapping_table_info.evapotranspiration) return;
    struct slot {
        int given;
        vec1<double>& dest;
        int field;
    };
    const slot slots[] = {{m.albedo_given, m.alb, 46}, {m.vheight_given, m.veg, 47},
                          {m.tcoeff_given, m.Kt, 48}, {m.canopy_given, m.Rs, 49}};
    for (const slot& s : slots) {
        if (s.given || !holds(s.dest, m.ncells)) continue;
        for (int k = 1; k <= m.ncells; ++k)
            s.dest[k] = m.soil_class[static_cast<std::size_t>(m.soiltype[k])].v[s.field];
    }
}

// Every cell's soil class is one the table gave; false after the refusal
// naming the first cell that has none.
bool cells_have_classes(model_state& m) {
    const richards_columns& r = m.richards;
    for (int c = 1; c <= m.ncells; ++c) {
        const int id = m.soiltype[c];
        if (id >= 0 && static_cast<std::size_t>(id) < r.defined.size() && r.defined[static_cast<std::size_t>(id)])
            continue;
        int row = 0, col = 0;
        cell_row_col(m, c, row, col);
        return refuse(format_text("Error: soil map %s, row %d, column %d: soil class %d is not in the Richards soil "
                                  "table.\n",
                                  m.soil_type_map.c_str(), row, col, id));
    }
    return true;
}

}  // namespace

void richards_work::size(std::size_t nodes) {
    for (std::vector<double>* v : {&upper, &diag, &lower, &rhs, &krinter, &flux, &source, &start_theta, &start_head,
                                   &start_kr, &start_capacity, &pass_head})
        v->assign(nodes, 0.0);
}

bool init_richards_columns(model_state& m) {
    richards_columns& r = m.richards;
    r.first.clear();
    if (!cells_have_classes(m)) return false;
    build_classes(m);
    if (run_stopped()) return false;
    const bool water_table = m.water_table_given != 0;

    // Storage of each column: down to the aquifer bottom with a water table.
    r.first.assign(static_cast<std::size_t>(m.ncells) + 2, 0);
    int longest = 0;
    for (int c = 1; c <= m.ncells; ++c) {
        const richards_class& cl = r.classes[static_cast<std::size_t>(m.soiltype[c])];
        int last = cl.soil_nodes() + 1;
        if (water_table) {
            const double bottom = (m.elev[c] - m.bottom_elev[c]) * kCmPerMetre;
            const int reaching = node_reaching(cl, bottom, deep_spacing(m));
            if (reaching > kMostColumnNodes) return too_many_nodes(m, c, bottom);
            m.numtot[c] = reaching;
            last = reaching + kNodesBelowAquiferBottom;
        } else {
            m.numtot[c] = last;
        }
        longest = std::max(longest, last);
        const std::size_t cc = static_cast<std::size_t>(c);
        r.first[cc + 1] = r.first[cc] + static_cast<std::size_t>(last) + 1;
    }
    const std::size_t total = r.first[static_cast<std::size_t>(m.ncells) + 1];
    try {
        r.nodes.assign(total, richards_node{});
    } catch (const std::exception&) {  // bad_alloc or length_error
        r.first.clear();
        return refuse(format_text("Error: the Richards columns of the %d cells need %zu nodes, more memory than the "
                                  "machine gives.\n",
                                  m.ncells, total));
    }
    r.work.size(static_cast<std::size_t>(longest) + 2);
    r.floor_steps.assign(static_cast<std::size_t>(m.ncells) + 1, 0);
    m.richards_max_nodes = longest + 2;

    const double area = m.gridsize * m.gridsize;
    double root_water = 0.0, column_water = 0.0;
    for (int c = 1; c <= m.ncells; ++c) {
        const double* s = m.soil_class[static_cast<std::size_t>(m.soiltype[c])].v;
        const richards_class& cl = r.classes[static_cast<std::size_t>(m.soiltype[c])];
        if (!fill_column(m, c, cl, s)) {
            r.first.clear();
            return false;
        }
        const double depth = s[22] + s[23] + s[24];
        m.totaldz[c] = depth;
        m.avgks[c] = depth > 0.0 ? (s[22] * s[4] + s[23] * s[5] + s[24] * s[6]) / depth : s[4];
        m.dtr[c] = m.timestep / kSecondsPerHour;
        const richards_node* nd = r.column(c);
        m.theta_all[c] = nd[1].theta;
        const double root = value_at(m.root_depth, c) * kCmPerMetre;
        const double in_roots = water_above(nd, m.numcells[c], root);
        root_water += in_roots;
        column_water += column_water_cm(nd, m.numcells[c]);
        if (m.long_term) m.thi[c] = root > 0.0 && in_roots > 0.0 ? in_roots / root : 0.0;
    }
    if (m.summary_fp) {
        std::fprintf(m.summary_fp.get(), "Inital volume of water in root zone= %lf \n \n", root_water * area / 100.0);
        std::fprintf(m.summary_fp.get(), "Inital volume of water in soil column= %lf \n \n",
                     column_water * area / 100.0);
    }
    return true;
}

void read_soil_table(model_state& m) {
    if (!m.inf_richards_on) return;
    if (!settings_hold(m)) return;
    m.richards.model = m.richards_c_option == 2 ? retention_model::havercamp : retention_model::brooks_corey;
    if (!read_soil_types(m)) return;
    if (!read_class_table(m) || run_stopped() || !cells_have_classes(m)) return;
    say_console(m, "Reading Soil Table   Done\n");
    class_weather_values(m);
    set_root_depths(m);
    if (run_stopped()) return;
    m.richards_water_table = m.water_table_given;
    if (!init_richards_columns(m)) return;
    say_console(m, "Initialize Richards Params   Done\n");
}

double richards_column_water(const model_state& m, int cell) {
    if (!m.richards.built() || cell < 1 || cell > m.ncells) return 0.0;
    return column_water_cm(m.richards.column(cell), m.numcells[cell]) / kCmPerMetre;
}

// The mean of moisture over saturated moisture of the nodes within
// soil_moist_depth of the ground (node 1 for a column with no soil node
// above its water table, or no such depth).
double richards_top_saturation(const model_state& m, int cell) {
    if (!m.richards.built() || cell < 1 || cell > m.ncells) return 0.0;
    const richards_columns& r = m.richards;
    const richards_node* nd = r.column(cell);
    const int n = m.numcells[cell];
    double top = 0.0, sum = 0.0, depth = 0.0;
    for (int k = 1; k < n && top < m.soil_moist_depth; ++k) {
        const double inside = std::min(top + nd[k].dz, m.soil_moist_depth) - top;
        sum += nd[k].theta / r.soils[static_cast<std::size_t>(nd[k].soil)].thetas * inside;
        depth += inside;
        top += nd[k].dz;
    }
    if (depth > 0.0) return sum / depth;
    return nd[1].theta / r.soils[static_cast<std::size_t>(nd[1].soil)].thetas;
}

void richards_surface_moisture(model_state& m) {
    if (!m.richards.built()) return;
    for (int k = 1; k <= m.ncells && k <= m.theta_all.n(); ++k)
        if (!in_channel_lake(m, k)) m.theta_all[k] = m.richards.column(k)[1].theta;
}

double richards_node_theta(const model_state& m, int cell, int node) {
    if (!m.richards.built() || cell < 1 || cell > m.ncells) return 0.0;
    const int k = std::min(std::max(node, 0), m.richards.last_node(cell));
    return m.richards.column(cell)[k].theta;
}

int richards_node_limit(const model_state& m, int cell) {
    if (!m.richards.built() || cell < 1 || cell > m.ncells) return 0;
    return m.richards.last_node(cell);
}

int unsat_update_in_gw(model_state& m, int cell, vec1<double>& column_water) {
    const int type = value_at(m.gwbound, cell);
    if (type == 2 || type == 5) return 0;
    richards_columns& r = m.richards;
    richards_node* nd = r.column(cell);
    const int last = r.last_node(cell);
    const richards_class& cl = r.classes[static_cast<std::size_t>(m.soiltype[cell])];
    const double table_depth = (m.elev[cell] - m.elevgw[cell]) * kCmPerMetre;
    const int n = column_nodes(m, cl, table_depth);
    if (table_below_storage(m, cell, n, last)) return -1;
    const int old_n = m.numcells[cell];
    hydrostatic_from(r, nd, std::min(old_n, n), last, table_depth);
    nd[0] = nd[1];
    m.numcells[cell] = n;
    m.yes_exfil[cell] = table_depth <= 0.0 ? 1 : 0;
    if (m.yes_exfil[cell]) m.any_exfil = 1;
    if (cell <= column_water.n()) column_water[cell] = column_water_cm(nd, n);
    return 0;
}

void finish_richards_run_totals(model_state& m) {
    const double area = m.gridsize * m.gridsize;
    soil_run_totals& t = m.soil_totals;
    t = soil_run_totals{};
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.long_term && k <= m.DIRECT_EVAP.n()) {
            book_water(m, water_flow::direct_evaporation, m.DIRECT_EVAP[k] / kCmPerMetre * area);
            m.DIRECT_EVAP[k] = 0.0;
        }
        t.final_water += richards_column_water(m, k) * area;
        t.downward_flux += value_at(m.bottomfav, k) / kCmPerMetre * area;
    }
    t.final_volume = t.final_water;
    t.evaporation = m.soil_et_volume;
    t.downward_flux += m.total_percolation_volume;
}

void setup_wetlands(model_state& m) {
    if (!m.wetlands_given) return;
    alloc_ivector(m.wetland_mask, m.ncells, "wetland_mask");
    if (!blocks_made(g_error_record, "the wetland categories of the cells", m.wetland_mask)) return;
    grid_header header;
    if (!read_wetland_table(m.mapping_tables, m.mapping_table, m.wetland_table, m.wetland_categories,
                            m.wetland_mask, header, m.mask, m.rows, m.cols, m.summary_fp.get()))
        return;
    say(m, "Simulating wetlands\n");
}

}  // namespace kesta
