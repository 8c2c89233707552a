// Readers of the groundwater inputs and of the location lists: boundary
// types, static fluxes and wells, conductivity and porosity, well-level
// output cells and soil-moisture output cells.
#include <cstdio>
#include <vector>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "input/mapping_tables.hpp"
#include "input/model_inputs.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "subsurface/groundwater.hpp"
#include "subsurface/richards.hpp"

namespace kesta {

namespace {

constexpr int kStaticFluxCell = 6;   // groundwater boundary type of a static-flux cell
constexpr int kDynamicWellCell = 3;  // groundwater boundary type of a well cell

// Numbers read one after another from a free-format file; every failure
// names the file, the line and the text.
class number_reader {
public:
    number_reader(std::FILE* fp, const std::string& name) : ts_(fp), name_(name) {}

    // False at the end of the file (`at_end` set) or on a malformed value
    // (refused with a message).
    bool next_int(int& v, const char* what) { return next(what, [&](const std::string& t) { return parse_int(t, v); }); }
    bool next_double(double& v, const char* what) {
        return next(what, [&](const std::string& t) { return parse_double(t, v); });
    }
    bool at_end() const { return at_end_; }
    const std::string& name() const { return name_; }
    int line() const { return ts_.token_line(); }

private:
    template <class Parse>
    bool next(const char* what, Parse parse) {
        std::string token;
        if (!ts_.next(token)) {
            at_end_ = true;
            return false;
        }
        if (parse(token)) return true;
        return refuse(format_text("Error: file %s, line %d: the %s \"%s\" is not a number of the kind expected\n",
                                  name_.c_str(), ts_.token_line(), what, echoed(token).c_str()));
    }

    token_stream ts_;
    std::string name_;
    bool at_end_ = false;
};

// A count at the head of a list: false (refused) when missing or negative.
bool read_count(number_reader& in, int& n) {
    if (!in.next_int(n, "count")) {
        if (in.at_end()) refuse(format_text("End of file reached in file %s, exiting\n", in.name().c_str()));
        return false;
    }
    if (n < 0) {
        return refuse(
            format_text("Error: file %s, line %d: the count %d is negative\n", in.name().c_str(), in.line(), n));
    }
    return true;
}

// The active cell at (row, col); 0 (refused) when off the grid or outside
// the watershed.
int cell_at(const model_state& m, const number_reader& in, int row, int col) {
    if (row < 1 || row > m.rows || col < 1 || col > m.cols) {
        refuse(format_text("Error: file %s, line %d: row %d, column %d lies outside the grid of %d rows and %d "
                           "columns\n",
                           in.name().c_str(), in.line(), row, col, m.rows, m.cols));
        return 0;
    }
    const int k = m.mask[row][col];
    if (k == 0) {
        refuse(format_text("Error: file %s, line %d: row %d, column %d lies outside the watershed\n",
                           in.name().c_str(), in.line(), row, col));
    }
    return k;
}

// Reads one value of an entry; at the end of the file the list is short.
template <class T, class Read>
bool entry_value(number_reader& in, T& v, Read read) {
    if (read(v)) return true;
    if (in.at_end()) refuse(format_text("End of file reached in file %s, exiting\n", in.name().c_str()));
    return false;
}

bool read_row_col(number_reader& in, int& row, int& col) {
    return entry_value(in, row, [&](int& v) { return in.next_int(v, "row"); }) &&
           entry_value(in, col, [&](int& v) { return in.next_int(v, "column"); });
}

bool read_boundary_types(model_state& m) {
    if (m.gwbound.empty()) alloc_ivector(m.gwbound, m.ncells, "gwbound");
    if (!blocks_made(g_error_record, "the groundwater boundary types of the cells", m.gwbound)) return false;
    if (m.mapping_table_info.gw_boundary && m.gw_boundfile.empty()) {
        say(m, "reading the groundwater boundary file from the mapping table\n");
        vec1<double> types(m.ncells);
        if (!read_table_columns(m, table_gw_boundary, {&types})) return false;
        for (int k = 1; k <= m.ncells; ++k) m.gwbound[k] = static_cast<int>(types[k]);
        return true;
    }
    say(m, format_text("reading the groundwater boundary file: %s\n", m.gw_boundfile.c_str()));
    file_ptr fp = open_required_input(m.gw_boundfile, "groundwater boundary");
    if (!fp) return false;
    return read_id_map(m, fp.get(), m.gw_boundfile, m.gwbound);
}

bool read_static_fluxes(model_state& m) {
    int static_cells = 0;
    int well_cells = 0;
    for (int k = 1; k <= m.ncells; ++k) {
        static_cells += m.gwbound[k] == kStaticFluxCell;
        well_cells += m.gwbound[k] == kDynamicWellCell;
    }
    if (well_cells > 0) {
        std::printf("You can't have a dynamic wells in the groundwater boundary map. You must use the\n"
                    "WELL_TABLE table in the mapping table file\n");
    }
    m.num_static_cells = static_cells;
    if (static_cells == 0 && !m.gw_flux_boundary) return true;

    std::string name = m.gw_fluxboundtable;
    file_ptr fp = open_or_refuse(name, "Can't open static flux table file: %s\n");
    if (!fp) return false;
    number_reader in(fp.get(), name);
    int n = 0;
    if (!read_count(in, n)) return false;
    m.num_static_cells = n;
    const double per_cell = kSecondsPerDay * m.gridsize * m.gridsize;
    for (int i = 1; i <= n; ++i) {
        int row = 0;
        int col = 0;
        double flux = 0.0;  // m3/day
        if (!read_row_col(in, row, col)) return false;
        if (!entry_value(in, flux, [&](double& v) { return in.next_double(v, "flux"); })) return false;
        const int k = cell_at(m, in, row, col);
        if (k == 0) return false;
        m.qwell_static[k] = flux / per_cell;
    }
    return true;
}

// A map of the groundwater conductivity or porosity from its file (mode 3).
bool gw_map(model_state& m, const std::string& name, const char* item, const char* line, vec1<double>& dest) {
    say(m, format_text(line, name.c_str()));
    file_ptr fp = open_required_input(name, item);
    if (!fp) return false;
    return read_real_map(m, fp.get(), name, dest, 3);
}

// A list read whole is copied into its model vectors only now, sized by the
// entries actually read; false (refused) when the memory is not there.
bool allocated(const vec1<int>& v, const number_reader& in, const char* what) {
    if (!v.empty()) return true;
    return refuse(format_text("Error: no memory for the %s of file %s\n", what, in.name().c_str()));
}

// The count at the head of the file sizes nothing: the entries are gathered
// as they are read, so a count larger than the file holds ends at the end of
// the file with a message instead of an allocation.
bool read_well_locations(model_state& m) {
    file_ptr fp = open_required_input(m.out_well_location, "well location");
    if (!fp) return false;
    number_reader in(fp.get(), m.out_well_location);
    int n = 0;
    if (!read_count(in, n)) return false;
    std::vector<int> rows, cols;
    for (int i = 1; i <= n; ++i) {
        int row = 0;
        int col = 0;
        if (!read_row_col(in, row, col) || cell_at(m, in, row, col) == 0) return false;
        rows.push_back(row);
        cols.push_back(col);
    }
    alloc_ivector(m.well_row, n, "well_row");
    alloc_ivector(m.well_column, n, "well_column");
    if (!allocated(m.well_row, in, "well rows") || !allocated(m.well_column, in, "well columns")) return false;
    for (int i = 1; i <= n; ++i) {
        m.well_row[i] = rows[static_cast<std::size_t>(i - 1)];
        m.well_column[i] = cols[static_cast<std::size_t>(i - 1)];
    }
    m.well_count = n;
    return true;
}

// Slots of the soil class record read for the aquifer below the soil.
constexpr int kLastLayerKs = 6;        // saturated conductivity of layer 3 (cm/h)
constexpr int kLastLayerPorosity = 9;  // porosity of layer 3

// A soil table (multi-layer or Richards) gave every cell a soil class.
bool soil_table_read(const model_state& m) {
    return (m.inf_layered_on || m.inf_richards_on) && holds(m.soiltype, m.ncells);
}

double last_layer(const model_state& m, int k, int slot) {
    const int id = m.soiltype[k];
    if (id < 0 || static_cast<std::size_t>(id) >= m.soil_class.size()) return 0.0;
    return m.soil_class[static_cast<std::size_t>(id)].v[slot];
}

}  // namespace

void read_groundwater_inputs(model_state& m) {
    if (!m.gw_simulation) return;
    if (!groundwater_options_hold(m)) return;
    if (!read_boundary_types(m)) return;

    if (!m.mapping_table_info.gw_wells) {
        if (!read_static_fluxes(m)) return;
    } else {
        say(m, "reading well map from the master table file\n");
        grid_header header;
        if (!read_well_table(m, m.mapping_tables, m.mapping_table, header, m.mask, m.rows, m.cols,
                             m.summary_fp.get())) {
            return;
        }
    }

    const bool table = m.mapping_table_info.groundwater != 0;
    const std::string table_source = "the GROUNDWATER table of " + m.mapping_table;
    std::string conductivity_source, porosity_source;
    if (m.gw_hycond_map_given && !m.gw_hycond_map.empty()) {
        conductivity_source = m.gw_hycond_map;
        if (!gw_map(m, m.gw_hycond_map, "groundwater hycond",
                    "reading ground water hydraulic conductivity map from file: %s\n", m.gw_Kx_hycond)) {
            return;
        }
    } else if (table) {
        conductivity_source = table_source;
        say(m, "reading ground water hydraulic conductivity map from the master table file\n");
        if (!read_table_columns(m, table_groundwater, {&m.gw_Kx_hycond, &m.gw_array_porosity})) return;
    } else if (m.gw_unif_hycond_given) {
        conductivity_source = "GW_UNIF_HYCOND";
        for (int k = 1; k <= m.ncells; ++k) m.gw_Kx_hycond[k] = m.gw_unif_hycond;
    } else if (soil_table_read(m)) {
        // As warning 41 says: the conductivity of the soil table's last layer.
        conductivity_source = "layer 3 of the soil table";
        for (int k = 1; k <= m.ncells; ++k) m.gw_Kx_hycond[k] = last_layer(m, k, kLastLayerKs);
    } else {
        g_error_record.fail(126);
        return;
    }

    if (m.gw_porosity_map_given && !m.gw_porosity_map.empty()) {
        porosity_source = m.gw_porosity_map;
        if (!gw_map(m, m.gw_porosity_map, "groundwater porosity", "reading ground water porosity map from file: %s\n",
                    m.gw_array_porosity)) {
            return;
        }
    } else if (table) {
        porosity_source = table_source;
        say(m, "reading ground water porosity map from the master table file\n");
    } else if (m.gw_unif_porosity_given) {
        porosity_source = "GW_UNIF_POROSITY";
        for (int k = 1; k <= m.ncells; ++k) m.gw_array_porosity[k] = m.gw_unif_porosity;
    } else if (soil_table_read(m)) {
        // As warning 39 says: the porosity of the soil table's last layer.
        porosity_source = "layer 3 of the soil table";
        for (int k = 1; k <= m.ncells; ++k) m.gw_array_porosity[k] = last_layer(m, k, kLastLayerPorosity);
    } else {
        g_error_record.fail(126);
        return;
    }

    for (int k = 1; k <= m.ncells; ++k) {
        m.gw_Kx_hycond[k] = m.gw_Kx_hycond[k] / 100.0 / 3600.0;  // cm/h to m/s
        m.gw_Ky_hycond[k] = m.gw_Kx_hycond[k];
        m.DELX[k] = m.gridsize;
        m.DELY[k] = m.gridsize;
        m.STOR[k] = m.gw_array_porosity[k];
    }

    if (!setup_groundwater(m, porosity_source, conductivity_source)) return;
    if (m.gw_well_level_given) read_well_locations(m);
}

void read_cell_list(model_state& m) {
    if (!m.in_theta_location_given) return;
    file_ptr fp = open_required_input(m.in_theta_location, "in_theta location");
    if (!fp) return;
    number_reader in(fp.get(), m.in_theta_location);
    int n = 0;
    if (!read_count(in, n)) return;
    int most_nodes = 0;
    if (m.inf_richards_on && !read_count(in, most_nodes)) return;

    // The counts at the head of the file size nothing: the entries are
    // gathered as they are read, and the model's tables made from what was
    // read, so counts larger than the file holds end at its end.
    std::vector<int> cells;
    std::vector<std::vector<int>> nodes;  // Richards runs: the soil nodes of each entry
    int widest = 1;                       // most nodes of any entry (at least one column)
    for (int i = 1; i <= n; ++i) {
        int row = 0;
        int col = 0;
        if (!read_row_col(in, row, col)) return;
        const int k = cell_at(m, in, row, col);
        if (k == 0) return;
        cells.push_back(k);
        if (!m.inf_richards_on) continue;
        int count = 0;
        if (!entry_value(in, count, [&](int& v) { return in.next_int(v, "node count"); })) return;
        if (count < 0 || count > most_nodes) {
            refuse(format_text("Error: file %s, line %d: %d soil nodes listed where 0 to %d are allowed\n",
                               in.name().c_str(), in.line(), count, most_nodes));
            return;
        }
        std::vector<int> listed;
        for (int j = 1; j <= count; ++j) {
            int node = 0;
            if (!entry_value(in, node, [&](int& v) { return in.next_int(v, "soil node"); })) return;
            if (node < 1) {
                refuse(format_text("Error: file %s, line %d: soil node %d is below 1\n", in.name().c_str(),
                                   in.line(), node));
                return;
            }
            const int deepest = richards_node_limit(m, k);  // 0 when no column is built
            if (deepest > 0 && node > deepest) {
                refuse(format_text("Error: file %s, line %d: soil node %d lies below the %d nodes of the Richards "
                                   "column of cell %d (row %d, column %d)\n",
                                   in.name().c_str(), in.line(), node, deepest, k, row, col));
                return;
            }
            listed.push_back(node);
        }
        if (count > widest) widest = count;
        nodes.push_back(std::move(listed));
    }

    alloc_ivector(m.cell_loc, n, "cell_loc");
    if (!allocated(m.cell_loc, in, "output cells")) return;
    for (int i = 1; i <= n; ++i) m.cell_loc[i] = cells[static_cast<std::size_t>(i - 1)];
    if (m.inf_richards_on) {
        alloc_ivector(m.cell_num, n, "cell_num");
        if (!allocated(m.cell_num, in, "soil node counts")) return;
        if (n >= 1) {
            alloc_imatrix(m.cell_nodes, n, widest, "cell_num");
            if (m.cell_nodes.empty()) {
                refuse(format_text("Error: no memory for the soil nodes of file %s\n", in.name().c_str()));
                return;
            }
        }
        for (int i = 1; i <= n; ++i) {
            const std::vector<int>& listed = nodes[static_cast<std::size_t>(i - 1)];
            m.cell_num[i] = static_cast<int>(listed.size());
            for (std::size_t j = 0; j < listed.size(); ++j) m.cell_nodes[i][static_cast<int>(j) + 1] = listed[j];
        }
    }
    m.cell_loc_count = n;
}

}  // namespace kesta
