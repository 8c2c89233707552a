#include "input/mapping_tables.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "core/warnings.hpp"
#include "input/time_series.hpp"
#include "nutrients/nutrient_species.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "subsurface/soil_layer_table.hpp"
#include "subsurface/wells.hpp"
#include "transport/constituents.hpp"
#include "transport/sediment_tables.hpp"

namespace kesta {

namespace {

const char kFileHeader[] = "KESTA_INDEX_MAP_TABLES";
constexpr std::size_t kFileHeaderLen = sizeof(kFileHeader) - 1;

// Data rows: the ID in characters 1-6, the values from character 87.
constexpr std::size_t kIdWidth = 6;
constexpr std::size_t kValueColumn = 86;  // 0-based offset of character 87

// Check lines are padded with dots to this width after two blanks.
constexpr std::size_t kCheckWidth = 35;

// The densest solid there is (osmium) is 22.6 times as dense as water; no
// sediment grain is denser.
constexpr double kDensestGrain = 22.6;

struct keyword_def {
    const char* text;
    int id;
    int ncols;
};

// Tried in this order; the first keyword a line begins with wins, so
// GROUNDWATER_BOUNDARY must come before GROUNDWATER. The misspelt Havercamp
// keyword is the one stored files use.
constexpr keyword_def kKeywords[] = {
    {"ROUGHNESS", table_roughness, 1},
    {"INTERCEPTION", table_interception, 2},
    {"RETENTION", table_retention, 1},
    {"GREEN_AMPT_INFILTRATION", table_green_ampt, 7},
    {"GREEN_AMPT_INITIAL_SOIL_MOISTURE", table_initial_moisture, 1},
    {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP", table_richards_havercamp, 9},
    {"RICHARDS_EQN_INFILTRATION_BROOKS", table_richards_brooks, 11},
    {"EVAPOTRANSPIRATION", table_evapotranspiration, 4},
    {"SEDIMENTS", table_sediments, 0},
    {"SOIL_EROSION_PROPS", table_soil_erosion, 8},
    {"MATERIAL_INDEX", table_material_index, 0},
    {"NUM_IDS", key_num_ids, 0},
    {"NUM_CONTAM", key_num_contam, 0},
    {"NUM_SED", key_num_sed, 0},
    {"INDEX_MAP", key_index_map, 0},
    {"CONTAMINANT_TRANSPORT", table_contaminants, 8},
    {"WETLAND_PROPERTIES", table_wetlands, 7},
    {"OVERLAND_BOUNDARY", table_overland_boundary, 2},
    {"GROUNDWATER_BOUNDARY", table_gw_boundary, 1},
    {"TIME_SERIES_INDEX", table_ts_index, 1},
    {"WELL_TABLE", table_wells, 3},
    {"GROUNDWATER", table_groundwater, 2},
    {"AREA_REDUCTION", table_area_reduction, 1},
    {"ZEP_N", table_zep_n, 4},
    {"ZEP_P", table_zep_p, 3},
    {"ZEP_C", table_zep_c, 2},
    {"ZEP_OTH", table_zep_oth, 3},
    {"DISPERSION", table_dispersion, 1},
    {"PRECIP_CONC", key_precip_conc, 0},
    {"PARTITION", key_partition, 0},
    {"ZEP_SOIL_C", table_zep_soil_c, 2},
    {"ZEP_SOIL_N", table_zep_soil_n, 5},
    {"ZEP_SOIL_P", table_zep_soil_p, 6},
    {"ZEP_GW_N", table_zep_gw_n, 4},
    {"ZEP_GW_P", table_zep_gw_p, 4},
    {"ZEP_GW_OTH", table_zep_gw_oth, 2},
    {"ZEP_SOIL_KM", table_zep_soil_km, 6},
    {"ZEP_SOIL_KOC", table_zep_soil_koc, 6},
};

const keyword_def* find_keyword(int id) {
    for (const keyword_def& k : kKeywords) {
        if (k.id == id) return &k;
    }
    return nullptr;
}

struct check_entry {
    const char* label;
    int id;
    int mapping_table_info::*flag;
};

// The tables of the start-up check, in the order it lists them.
constexpr check_entry kChecks[] = {
    {"Roughness", table_roughness, &mapping_table_info::roughness},
    {"Interception", table_interception, &mapping_table_info::interception},
    {"Retention", table_retention, &mapping_table_info::retention},
    {"G&A Infiltration", table_green_ampt, &mapping_table_info::green_ampt},
    {"G&A Soil Moisture", table_initial_moisture, &mapping_table_info::initial_moisture},
    {"Richards Havercamp", table_richards_havercamp, &mapping_table_info::richards_havercamp},
    {"Richards Brooks", table_richards_brooks, &mapping_table_info::richards_brooks},
    {"Evapotranspiration", table_evapotranspiration, &mapping_table_info::evapotranspiration},
    {"Sediments", table_sediments, &mapping_table_info::sediments},
    {"Sediment Erosion Properties", table_soil_erosion, &mapping_table_info::soil_erosion},
    {"Contaminants", table_contaminants, &mapping_table_info::contaminants},
    {"Wetlands", table_wetlands, &mapping_table_info::wetlands},
    {"Overland Boundary", table_overland_boundary, &mapping_table_info::overland_boundary},
    {"Groundwater Wells", table_wells, &mapping_table_info::gw_wells},
    {"Groundwater", table_groundwater, &mapping_table_info::groundwater},
    {"Groundwater Boundary", table_gw_boundary, &mapping_table_info::gw_boundary},
    {"Area Reduction", table_area_reduction, &mapping_table_info::area_reduction},
    {"ZEP Nitrogen", table_zep_n, &mapping_table_info::zep_n},
    {"ZEP Phosphorus", table_zep_p, &mapping_table_info::zep_p},
    {"ZEP Other", table_zep_oth, &mapping_table_info::zep_oth},
    {"ZEP Carbon", table_zep_c, &mapping_table_info::zep_c},
    {"ZEP Dispersion", table_dispersion, &mapping_table_info::dispersion},
    {"ZEP Soil Carbon", table_zep_soil_c, &mapping_table_info::zep_soil_c},
    {"ZEP Soil Nitrogen", table_zep_soil_n, &mapping_table_info::zep_soil_n},
    {"ZEP Soil Phosphorus", table_zep_soil_p, &mapping_table_info::zep_soil_p},
    {"ZEP Groundwater Nitrogen", table_zep_gw_n, &mapping_table_info::zep_gw_n},
    {"ZEP Groundwater Phosphorus", table_zep_gw_p, &mapping_table_info::zep_gw_p},
    {"ZEP Groundwater Other", table_zep_gw_oth, &mapping_table_info::zep_gw_oth},
    {"ZEP Soil Km", table_zep_soil_km, &mapping_table_info::zep_soil_km},
    {"ZEP Soil Koc", table_zep_soil_koc, &mapping_table_info::zep_soil_koc},
};

std::string dotted(const std::string& text) {
    std::string out = text;
    if (out.size() < kCheckWidth) out.append(kCheckWidth - out.size(), '.');
    return out;
}

// Message naming the file, the table and the line; then `code` reported at
// once.
void table_error(const table_cursor& cur, int table_id, const std::string& detail, int code = 4000) {
    print_both(format_text("Error: mapping table file %s, table %s, line %d: %s\n", cur.file().name().c_str(),
                           get_table_keyword(table_id).c_str(), cur.line_number(), detail.c_str()));
    fail_and_report(code);
}

// The ID of a row: the first word of characters 1-6 (what follows it in
// those characters belongs to the description).
bool read_row_id(const table_cursor& cur, int table_id, const std::string& s, int& id) {
    const std::string field = s.substr(0, kIdWidth);
    std::size_t pos = 0;
    const std::string word = next_word(field, pos);
    if (parse_int(word, id)) return true;
    table_error(cur, table_id,
                format_text("the ID in characters 1-6 (\"%s\") is not an integer", field.c_str()));
    return false;
}

// The count after a NUM_* keyword; silent. -1 when it does not read.
int count_of(const std::string& text, int key_id) {
    if (get_table_id(text) != key_id) return 0;
    line_cursor line(text);
    std::string word;
    pop_string(line, word);
    int n = 0;
    if (!pop_int_strict(line, n) || n < 0) return -1;
    return n;
}

// A count of rows is checked against the lines that follow before anything
// is sized by it: a count no file could fill is refused, not allocated. A
// count of columns (`rows` false) is the caller's to check.
int read_count(table_cursor& cur, int table_id, int key_id, bool rows = true) {
    line_cursor line;
    if (!cur.next(line)) return 0;
    const int n = count_of(line.text(), key_id);
    if (n < 0) {
        table_error(cur, table_id,
                    format_text("the count of \"%s\" is not a number of rows", echoed(line.text()).c_str()));
        return n;
    }
    const int following = cur.file().line_count() - cur.line_number();
    if (rows && n > following) {
        table_error(cur, table_id,
                    format_text("%s gives %d entries, but only %d lines follow in the file",
                                get_table_keyword(key_id).c_str(), n, following));
        return -1;
    }
    return n;
}

// Lines of `file` after line `from` that begin with the keyword `key_id`.
int keyword_lines_after(const mapping_table_file& file, int from, int key_id) {
    int n = 0;
    for (int k = from + 1; k <= file.line_count(); ++k) n += file.keyword(k) == key_id;
    return n;
}

// Without the separators (and carriage returns) that end it.
std::string trim_end(std::string s) {
    while (!s.empty() && (is_separator(s.back()) || s.back() == '\r')) s.pop_back();
    return s;
}

// The rows of one table, in file order.
struct table_rows {
    int n = 0;
    int ncols = 0;
    std::vector<int> ids;  // row i (from 0) has ids[i]
    mat2<double> data;     // row i + 1, columns 1..ncols
    int max_id = 0;
};

// How far the shares of the sediment classes in a SOIL_EROSION_PROPS row
// may add up from 1: shares rounded to two decimals pass.
constexpr double kSoilShareTolerance = 0.02;

// A SOIL_EROSION_PROPS row: the capacity coefficient and the erodibility
// factor are not negative (a negative capacity would move sediment against
// the flow) and every class's share of the parent soil lies in [0, 1].
bool erosion_row_in_bounds(const table_cursor& cur, int id, const double* values, int ncols) {
    const struct {
        int column;
        const char* what;
    } kNotNegative[] = {{1, "transport capacity coefficient (column 1)"},
                        {8, "erodibility factor (column 8)"}};
    for (const auto& c : kNotNegative) {
        if (c.column > ncols || values[c.column] >= 0.0) continue;
        table_error(cur, table_soil_erosion,
                    format_text("the row of ID %d gives the %s %g; it must be 0 or more", id, c.what,
                                values[c.column]));
        return false;
    }
    const int base = table_ncols(table_soil_erosion);
    for (int j = base + 1; j <= ncols; ++j) {
        if (values[j] >= 0.0 && values[j] <= 1.0) continue;
        table_error(cur, table_soil_erosion,
                    format_text("the row of ID %d gives sediment class %d a share of %s of the parent soil; it "
                                "must lie from 0 to 1",
                                id, j - base, exact_number(values[j]).c_str()));
        return false;
    }
    // Each class erodes as the share of the soil it is given: shares that
    // add up to more than the whole erode more soil than there is.
    double sum = 0.0;
    for (int j = base + 1; j <= ncols; ++j) sum += values[j];
    if (sum > 1.0 + kSoilShareTolerance) {
        table_error(cur, table_soil_erosion,
                    format_text("the row of ID %d gives its sediment classes shares of the parent soil that add up "
                                "to %s; together they make up at most the whole soil, 1 (within %g)",
                                id, exact_number(sum).c_str(), kSoilShareTolerance));
        return false;
    }
    // Less may be meant (a share of the soil no class carries); none at all
    // is soil that does not erode.
    if (ncols > base && sum > 0.0 && sum < 1.0 - kSoilShareTolerance)
        warn(format_text("Warning: mapping table file %s, table SOIL_EROSION_PROPS, line %d: the row of ID %d gives "
                         "its sediment classes shares of the parent soil that add up to %g: a share %g of the soil "
                         "erodes as no class.\n",
                         cur.file().name().c_str(), cur.line_number(), id, sum, 1.0 - sum));
    return true;
}

// A CONTAMINANT_TRANSPORT row disperses no more than water over land can
// (its other columns are checked per cell once the table is read).
bool contaminant_row_in_bounds(const table_cursor& cur, int id, const double* values, int ncols) {
    if (ncols < 1 || values[1] <= kMostOverlandDispersion) return true;
    table_error(cur, table_contaminants,
                format_text("the row of ID %d gives the dispersion coefficient (column 1) %s m2/s; water over land "
                            "disperses no more than %g m2/s",
                            id, exact_number(values[1]).c_str(), kMostOverlandDispersion));
    return false;
}

// The concentrations of a nutrient table's row lie from 0 to what water
// weighs; a value outside is refused naming the row.
bool concentrations_in_bounds(const table_cursor& cur, int table_id, int id, const double* values, int ncols) {
    const std::string keyword = get_table_keyword(table_id);
    for (int j = 1; j <= ncols; ++j) {
        const char* what = concentration_in_column(keyword, j);
        if (!what || water_conc_holds(values[j])) continue;
        table_error(cur, table_id,
                    format_text("the row of ID %d gives the %s concentration (column %d) %s g/m3; it must be %s", id,
                                what, j, exact_number(values[j]).c_str(), water_conc_rule().c_str()));
        return false;
    }
    return true;
}

// The evapotranspiration parameters of a row lie within what any land can
// have; a value outside is refused naming the row.
bool row_in_bounds(const table_cursor& cur, int table_id, int id, const double* values, int ncols) {
    if (table_id == table_soil_erosion) return erosion_row_in_bounds(cur, id, values, ncols);
    if (table_id == table_contaminants) return contaminant_row_in_bounds(cur, id, values, ncols);
    if (!concentrations_in_bounds(cur, table_id, id, values, ncols)) return false;
    if (table_id != table_evapotranspiration) return true;
    for (int j = 1; j <= 4 && j <= ncols; ++j) {
        const et_parameter_bound& b = kEtParameterBounds[j - 1];
        if (et_parameter_holds(b, values[j])) continue;
        table_error(cur, table_id,
                    format_text("the row of ID %d gives the %s %s%s%s; it must lie from %g to %g%s%s", id, b.what,
                                exact_number(values[j]).c_str(), b.unit[0] ? " " : "", b.unit, b.low, b.high,
                                b.unit[0] ? " " : "", b.unit));
        return false;
    }
    return true;
}

bool read_rows(table_cursor& cur, int table_id, int n, int ncols, table_rows& out) {
    out.n = n;
    out.ncols = ncols;
    out.ids.assign(static_cast<std::size_t>(n), 0);
    out.data = mat2<double>(n, ncols);
    out.max_id = 0;
    for (int i = 1; i <= n; ++i) {
        if (cur.line_number() >= cur.file().line_count()) {
            table_error(cur, table_id,
                        format_text("the file ends after %d of the %d rows given by its count", i - 1, n));
            return false;
        }
        int id = 0;
        if (!read_table_row(cur, table_id, id, ncols, out.data[i])) return false;
        if (!row_in_bounds(cur, table_id, id, out.data[i], ncols)) return false;
        if (id < 1) {
            table_error(cur, table_id, format_text("row ID %d is below 1", id));
            return false;
        }
        out.ids[static_cast<std::size_t>(i - 1)] = id;
        out.max_id = std::max(out.max_id, id);
    }
    return true;
}

// Code 66 (a table without entries), reported at once with a second line
// that says where the file stops giving the table: it holds no such table,
// the table's index map is unknown, the file ends after the keyword line,
// the line after it is no count, or the count is 0. `keyword_line` is 0
// when the table was not found with its map.
void report_empty_table(const mapping_table_file& file, int table_id, int keyword_line) {
    const std::string keyword = get_table_keyword(table_id);
    g_error_record.fail(66, keyword);
    const std::string& name = file.name();
    const int found = keyword_line > 0 ? keyword_line : file.find_table(table_id);
    const int next = found + 1;
    if (!file.header_ok()) {
        g_error_record.detail = format_text("(File: %s: its first line does not begin with %s)", name.c_str(),
                                            kFileHeader);
    } else if (found <= 0) {
        g_error_record.detail = format_text("(File: %s holds no %s table)", name.c_str(), keyword.c_str());
    } else if (keyword_line <= 0) {
        g_error_record.detail = format_text("(File: %s, line %d: no INDEX_MAP line at the head of the file names "
                                            "the index map \"%s\")",
                                            name.c_str(), found, echoed(file.table_map_name(found)).c_str());
    } else if (next > file.line_count()) {
        g_error_record.detail = format_text("(File: %s ends at line %d, the %s line, without the count and rows "
                                            "of the table)",
                                            name.c_str(), keyword_line, keyword.c_str());
    } else if (file.keyword(next) != key_num_ids) {
        g_error_record.detail = format_text("(File: %s, line %d: \"%s\" stands where NUM_IDS was expected)",
                                            name.c_str(), next, echoed(file.line(next)).c_str());
    } else {
        g_error_record.detail = format_text("(File: %s, line %d)", name.c_str(), next);
    }
    report_error(g_error_record);
}

// Opens an index map and reads it into a new ID grid (code 65 when it does
// not open).
bool read_id_grid(const std::string& map_file, int max_id, const mat2<int>& mask, int rows,
                  int cols, std::FILE* summary, grid_header& header, mat2<int>& id_grid) {
    std::string path = map_file;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) {
        fail_and_report(65, std::string(), path);
        return false;
    }
    id_grid = mat2<int>(rows, cols);
    return read_index_map(fp.get(), path, header, mask, id_grid, max_id, rows, cols, summary);
}

// A table with its rows and the ID grid of its index map.
struct loaded_table {
    table_rows rows;
    mat2<int> id_grid;
    std::string map_file;  // the index map's file
};

bool open_table_file(mapping_table_file& file, const std::string& file_name) {
    if (file.open(file_name)) return true;
    g_error_record.fail(64, std::string(), file_name);
    return false;
}

// Open, find, count, header, rows, index map: the common path of the
// readers. With num_sed >= 0 a NUM_SED line must follow NUM_IDS and give it
// (code 91 otherwise), and the table has that many more columns.
bool load_table(mapping_table_file& file, const std::string& file_name, int table_id, int num_sed,
                int n_constituents, vec1<double>* precip_conc, const mat2<int>& mask, int rows,
                int cols, std::FILE* summary, grid_header& header, loaded_table& out) {
    if (!open_table_file(file, file_name)) return false;
    std::string map_file;
    int keyword_line = 0;
    int n = 0;
    table_cursor cur(file, 0);
    if (find_mapping_table(file, table_id, map_file, keyword_line)) {
        cur = table_cursor(file, keyword_line);
        n = read_num_ids(cur, table_id);
        if (n < 0) return false;
    } else {
        keyword_line = 0;  // no table with a known index map
    }
    if (n == 0) {
        report_empty_table(file, table_id, keyword_line);
        return false;
    }
    int ncols = table_ncols(table_id);
    if (num_sed >= 0) {
        // The classes are columns here, their count that of the SEDIMENTS table.
        const int m = read_count(cur, table_id, key_num_sed, false);
        if (m < 0) return false;
        if (m != num_sed) {
            g_error_record.fail(91, std::string(), std::string(), num_sed, m);
            return false;
        }
        ncols += m;
    }
    if (n_constituents > 0 && precip_conc) {
        if (!read_precip_conc(cur, table_id, n_constituents, *precip_conc)) return false;
    } else {
        skip_table_header(cur);
    }
    if (!read_rows(cur, table_id, n, ncols, out.rows)) return false;
    out.map_file = map_file;
    return read_id_grid(map_file, out.rows.max_id, mask, rows, cols, summary, header, out.id_grid);
}

bool spread_column(const table_rows& t, int column, const mat2<int>& id_grid, const mat2<int>& mask,
                   int rows, int cols, double* cells, int capacity) {
    std::vector<double> by_id;
    table_column_by_id(t.data, t.n, column, t.ids, t.max_id, by_id);
    return spread_by_id(cells, capacity, by_id, id_grid, mask, rows, cols);
}

// A grid must hold the model's rows x cols cells before any loop walks them.
bool grid_covers(const mat2<int>& g, const char* what, int rows, int cols) {
    if (rows <= 0 || cols <= 0 || (g.nrows() >= rows && g.ncols() >= cols)) return true;
    return refuse(format_text("Error: the %s grid holds %d rows and %d columns, fewer than the model's %d by %d\n",
                              what, std::max(g.nrows(), 0), std::max(g.ncols(), 0), rows, cols));
}

// Visits the watershed cells in cell order (row by row): visit(cell, row,
// column, id) with the cell's number and its ID in `id_grid`, until a visit
// returns false. False when a grid is smaller than the model's (refused) or
// a visit returned false.
template <class Visit>
bool visit_cell_ids(const mat2<int>& id_grid, const mat2<int>& mask, int rows, int cols, Visit visit) {
    if (!grid_covers(mask, "mask", rows, cols) || !grid_covers(id_grid, "ID", rows, cols)) return false;
    int k = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            if (mask[r][c] != 0 && !visit(++k, r, c, id_grid[r][c])) return false;
        }
    }
    return true;
}

bool cells_fit(int needed, int capacity, const std::string& what) {
    if (needed <= capacity) return true;
    return refuse(format_text("Error: the mask has %d watershed cells but the %s holds %d\n", needed, what.c_str(),
                              capacity < 0 ? 0 : capacity));
}

// The Green and Ampt soil tables give a cell what it infiltrates by (its
// conductivity, porosity, initial moisture, ...): a cell whose ID has no row
// would take zeros from no input. Refuses (reported) the first such cell.
bool every_cell_has_a_row(const mapping_table_file& file, int table_id, const loaded_table& t,
                          const mat2<int>& mask, int rows, int cols) {
    if (table_id != table_green_ampt && table_id != table_initial_moisture) return true;
    std::vector<char> has_row(static_cast<std::size_t>(t.rows.max_id) + 1, 0);
    for (int id : t.rows.ids) has_row[static_cast<std::size_t>(id)] = 1;
    return visit_cell_ids(t.id_grid, mask, rows, cols, [&](int, int r, int c, int id) {
        if (id >= 1 && id <= t.rows.max_id && has_row[static_cast<std::size_t>(id)]) return true;
        return refuse(format_text("Error: index map %s, row %d, column %d: ID %d is not in the %s table of "
                                  "mapping-table file %s.\n",
                                  t.map_file.c_str(), r, c, id, get_table_keyword(table_id).c_str(),
                                  file.name().c_str()));
    });
}

bool ensure_ts_index(mapping_table_file& file, const std::string& file_name) {
    return file.ts_index_read() || read_ts_index_table(file, file_name);
}

// The three double-quoted texts of a constituent line; the index-map name
// keeps its quotes.
bool quoted_texts(const std::string& s, std::string& first, std::string& second, std::string& third) {
    std::size_t q[6];
    std::size_t from = 0;
    for (std::size_t& pos : q) {
        pos = s.find('"', from);
        if (pos == std::string::npos) return false;
        from = pos + 1;
    }
    first = s.substr(q[0] + 1, q[1] - q[0] - 1);
    second = s.substr(q[2], q[3] - q[2] + 1);
    third = s.substr(q[4] + 1, q[5] - q[4] - 1);
    return true;
}

int richards_table_id(int kind) {
    if (kind == 1) return table_richards_brooks;
    if (kind == 2) return table_richards_havercamp;
    return table_none;
}

}  // namespace

// ------------------------------------------------------------ keywords

int get_table_id(const std::string& line) {
    for (const keyword_def& k : kKeywords) {
        const std::size_t len = std::strlen(k.text);
        if (line.compare(0, len, k.text) == 0) return k.id;
    }
    return table_none;
}

std::string get_table_keyword(int id) {
    const keyword_def* k = find_keyword(id);
    return k ? k->text : std::string();
}

int table_ncols(int id) {
    const keyword_def* k = find_keyword(id);
    return k ? k->ncols : 0;
}

// ------------------------------------------------------------ the file

bool mapping_table_file::open(const std::string& file_name) {
    if (open_ && file_name == name_) return true;
    open_ = false;
    header_ok_ = false;
    first_table_line_ = 0;
    name_ = file_name;
    lines_.clear();
    keywords_.clear();
    maps_.clear();

    std::string path = file_name;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) return false;
    line_cursor text;
    while (read_line(text, fp.get())) {
        keywords_.push_back(get_table_id(text.text()));
        lines_.push_back(std::move(text.text()));
    }
    open_ = true;

    header_ok_ = !lines_.empty() && lines_[0].compare(0, kFileHeaderLen, kFileHeader) == 0;
    if (!header_ok_) return true;
    int n = 2;
    for (; n <= line_count() && keyword(n) == key_index_map; ++n) {
        line_cursor entry(line(n));
        std::string word;
        index_map_entry e;
        pop_string(entry, word);  // the keyword
        pop_string(entry, e.file);
        e.name = trim_end(entry.rest());
        maps_.push_back(std::move(e));
    }
    first_table_line_ = n;
    return true;
}

int mapping_table_file::find_table(int table_id) const {
    if (!header_ok_ || table_id == table_none) return 0;
    for (int n = first_table_line_; n <= line_count(); ++n) {
        if (keyword(n) == table_id) return n;
    }
    return 0;
}

std::string mapping_table_file::table_map_name(int keyword_line) const {
    const std::string& s = line(keyword_line);
    std::size_t p = 0;
    while (p < s.size() && !is_blank(s[p])) ++p;
    while (p < s.size() && is_blank(s[p])) ++p;
    return trim_end(s.substr(p));
}

bool mapping_table_file::resolve_index_map(const std::string& map_name, std::string& file) const {
    if (map_name.empty()) return false;
    for (auto it = maps_.rbegin(); it != maps_.rend(); ++it) {
        if (it->name == map_name) {
            file = it->file;
            return true;
        }
    }
    return false;
}

bool table_cursor::next(line_cursor& line) {
    if (last_ >= file_->line_count()) {
        line.assign(std::string());
        return false;
    }
    ++last_;
    line.assign(file_->line(last_));
    return true;
}

bool find_mapping_table(const mapping_table_file& file, int table_id, std::string& index_file,
                        int& keyword_line) {
    const int k = file.find_table(table_id);
    if (k == 0) return false;
    keyword_line = k;
    if (table_id == table_ts_index || table_id == table_contaminants) return true;
    return file.resolve_index_map(file.table_map_name(k), index_file);
}

// ------------------------------------------------------------ table pieces

int read_num_ids(table_cursor& cur, int table_id) { return read_count(cur, table_id, key_num_ids); }
int read_num_contam(table_cursor& cur, int table_id) {
    return read_count(cur, table_id, key_num_contam);
}
int read_num_sed(table_cursor& cur, int table_id) { return read_count(cur, table_id, key_num_sed); }

void skip_table_header(table_cursor& cur) {
    line_cursor line;
    if (!cur.next(line)) return;
    while (get_table_id(line.text()) != table_none && cur.next(line)) {
    }
}

bool read_precip_conc(table_cursor& cur, int table_id, int n, vec1<double>& precip) {
    // Keyword lines up to the header; PRECIP_CONC among them gives the values.
    line_cursor line;
    while (cur.next(line)) {
        const int key = get_table_id(line.text());
        if (key == table_none) return true;  // the header
        if (key != key_precip_conc) continue;
        if (precip.n() < n) {
            table_error(cur, table_id, format_text("PRECIP_CONC needs room for %d values", n));
            return false;
        }
        std::string word;
        pop_string(line, word);
        for (int i = 1; i <= n; ++i) {
            double v = 0.0;
            if (!pop_double_strict(line, v)) {
                std::string text;
                pop_string(line, text);
                table_error(cur, table_id,
                            format_text("PRECIP_CONC value %d of %d (\"%s\") is missing or not a number",
                                        i, n, echoed(text).c_str()));
                return false;
            }
            if (!water_conc_holds(v)) {
                const char* what = concentration_in_column(get_table_keyword(table_id), i);
                table_error(cur, table_id,
                            format_text("PRECIP_CONC value %d of %d%s%s, the concentration in rain, is %s g/m3; it "
                                        "must be %s",
                                        i, n, what ? ", of " : "", what ? what : "", exact_number(v).c_str(),
                                        water_conc_rule().c_str()));
                return false;
            }
            precip[i] = v;
        }
    }
    return true;
}

bool read_table_row(table_cursor& cur, int table_id, int& id, int ncols, double* values) {
    line_cursor line;
    if (!cur.next(line)) {
        table_error(cur, table_id, "the file ends where a row was expected");
        return false;
    }
    const std::string& s = line.text();
    if (!read_row_id(cur, table_id, s, id)) return false;
    if (ncols <= 0) return true;
    if (s.size() <= kValueColumn) {
        table_error(cur, table_id, "the row ends before character 87, where its values begin");
        return false;
    }
    std::size_t pos = kValueColumn;
    for (int j = 1; j <= ncols; ++j) {
        const std::string word = next_word(s, pos);
        if (word.empty()) {
            table_error(cur, table_id, format_text("the row has %d of its %d values", j - 1, ncols));
            return false;
        }
        if (!parse_double(word, values[j])) {
            table_error(cur, table_id,
                        format_text("value %d (\"%s\") is not a number", j, echoed(word).c_str()));
            return false;
        }
    }
    return true;
}

void table_column_by_id(const mat2<double>& data, int nrows, int column, const std::vector<int>& ids,
                        int max_id, std::vector<double>& value_by_id) {
    value_by_id.assign(static_cast<std::size_t>(std::max(max_id, 0)) + 1, 0.0);
    for (int i = 0; i < nrows && i < static_cast<int>(ids.size()); ++i) {
        const int id = ids[static_cast<std::size_t>(i)];
        if (id >= 1 && id <= max_id) value_by_id[static_cast<std::size_t>(id)] = data[i + 1][column];
    }
}

bool spread_by_id(double* cells, int capacity, const std::vector<double>& value_by_id,
                  const mat2<int>& id_grid, const mat2<int>& mask, int rows, int cols) {
    if (!grid_covers(mask, "mask", rows, cols) || !grid_covers(id_grid, "ID", rows, cols)) return false;
    if (!cells_fit(count_mask_cells(mask, rows, cols), capacity, "cell vector")) return false;
    return visit_cell_ids(id_grid, mask, rows, cols, [&](int k, int, int, int id) {
        if (id > 0 && static_cast<std::size_t>(id) < value_by_id.size())
            cells[k] = value_by_id[static_cast<std::size_t>(id)];
        return true;
    });
}

// ------------------------------------------------------------ readers

bool read_mapping_table(mapping_table_file& file, const std::string& file_name, int table_id,
                        const std::array<vec1<double>*, 7>& columns, grid_header& header,
                        const mat2<int>& mask, int rows, int cols, std::FILE* summary,
                        int n_constituents, vec1<double>* precip_conc) {
    if (!ensure_ts_index(file, file_name)) return false;
    loaded_table t;
    if (!load_table(file, file_name, table_id, -1, n_constituents, precip_conc, mask, rows, cols,
                    summary, header, t) ||
        !every_cell_has_a_row(file, table_id, t, mask, rows, cols)) {
        return false;
    }
    const int ncols = std::min(t.rows.ncols, static_cast<int>(columns.size()));
    for (int j = 1; j <= ncols; ++j) {
        vec1<double>* out = columns[static_cast<std::size_t>(j - 1)];
        if (!out || out->empty()) continue;
        if (!spread_column(t.rows, j, t.id_grid, mask, rows, cols, out->data(), out->n())) return false;
    }
    return true;
}

bool read_ts_index_table(mapping_table_file& file, const std::string& file_name) {
    file.set_ts_index_read();
    if (!open_table_file(file, file_name)) return false;
    std::string unused;
    int keyword_line = 0;
    if (!find_mapping_table(file, table_ts_index, unused, keyword_line)) return true;
    table_cursor cur(file, keyword_line);
    const int n = read_num_ids(cur, table_ts_index);
    if (n < 0) return false;
    skip_table_header(cur);
    line_cursor line;
    for (int i = 1; i <= n; ++i) {
        if (!cur.next(line)) {
            table_error(cur, table_ts_index,
                        format_text("the file ends after %d of the %d rows given by its count", i - 1, n));
            return false;
        }
        const std::string& s = line.text();
        int id = 0;
        if (!read_row_id(cur, table_ts_index, s, id)) return false;
        line_cursor rest(s.size() > kIdWidth ? s.substr(kIdWidth) : std::string());
        std::string name;
        if (!pop_string(rest, name)) {
            table_error(cur, table_ts_index, "the row names no time series after its ID");
            return false;
        }
        ts_add_index_entry(id, name);
    }
    return true;
}

bool read_wetland_table(mapping_table_file& file, const std::string& file_name,
                        std::vector<wetland_props>& props, int& categories, vec1<int>& wetland_mask,
                        grid_header& header, const mat2<int>& mask, int rows, int cols,
                        std::FILE* summary) {
    loaded_table t;
    if (!load_table(file, file_name, table_wetlands, -1, 0, nullptr, mask, rows, cols, summary,
                    header, t)) {
        return false;
    }
    const table_rows& tr = t.rows;
    // Renumber the IDs of the map in row-major order of first occurrence.
    int largest = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) largest = std::max(largest, t.id_grid[r][c]);
    }
    std::vector<int> category(static_cast<std::size_t>(largest) + 1, 0);
    int distinct = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int id = t.id_grid[r][c];
            if (id > 0 && category[static_cast<std::size_t>(id)] == 0) {
                category[static_cast<std::size_t>(id)] = ++distinct;
            }
        }
    }
    if (distinct != tr.n) {
        fail_and_report(67, std::string(), std::string(), distinct, tr.n);
        return false;
    }
    if (largest > 300) {
        fail_and_report(68);
        return false;
    }
    if (!cells_fit(count_mask_cells(mask, rows, cols), wetland_mask.n(), "wetland cell vector")) {
        return false;
    }

    // Every row must name an ID of the map, once, so that each category
    // gets exactly one row.
    std::vector<wetland_props> records(static_cast<std::size_t>(largest) + 1);
    std::vector<char> filled(records.size(), 0);
    for (int i = 1; i <= tr.n; ++i) {
        const int id = tr.ids[static_cast<std::size_t>(i - 1)];
        const int cat = id <= largest ? category[static_cast<std::size_t>(id)] : 0;
        const std::string problem =
            cat == 0 ? format_text("wetland ID %d does not occur in its index map", id)
                     : (filled[static_cast<std::size_t>(cat)]
                            ? format_text("wetland ID %d is given twice", id)
                            : std::string());
        if (!problem.empty()) {
            return refuse(format_text("Error: mapping table file %s, table %s, row %d: %s\n", file.name().c_str(),
                                      get_table_keyword(table_wetlands).c_str(), i, problem.c_str()));
        }
        filled[static_cast<std::size_t>(cat)] = 1;
        const double* v = tr.data[i];
        std::array<double, 8>& f = records[static_cast<std::size_t>(cat)].field;
        f[0] = v[1] / 1000.0;
        f[1] = v[2] / 1000.0;
        f[2] = v[3] / 86400.0;
        f[3] = v[4] / 1000.0;
        f[4] = v[5] / 86400.0;
        f[6] = v[6];
        f[7] = v[7] / 1000.0;
    }
    if (!visit_cell_ids(t.id_grid, mask, rows, cols, [&](int k, int, int, int id) {
            wetland_mask[k] = id > 0 ? category[static_cast<std::size_t>(id)] : 0;
            return true;
        }))
        return false;
    props = std::move(records);
    categories = tr.n;
    return true;
}

bool read_well_table(model_state& m, mapping_table_file& file, const std::string& file_name,
                     grid_header& header, const mat2<int>& mask, int rows, int cols,
                     std::FILE* summary) {
    if (!ensure_ts_index(file, file_name)) return false;
    loaded_table t;
    if (!load_table(file, file_name, table_wells, -1, 0, nullptr, mask, rows, cols, summary, header,
                    t)) {
        return false;
    }
    for (int i = 1; i <= t.rows.n; ++i) {
        const double* v = t.rows.data[i];
        const int id = t.rows.ids[static_cast<std::size_t>(i - 1)];
        if (v[1] != 0.0) {
            add_well_record(m, id, 1, 0.0, static_cast<int>(v[2]));
        } else {
            add_well_record(m, id, 0, v[2], 0);
        }
    }
    assign_wells_to_cells(m, t.id_grid, mask, rows, cols);
    if (g_error_record.stop) {
        print_both(format_text("(the WELL_TABLE of %s)\n", file_name.c_str()));
        return false;
    }
    return true;
}

bool read_erosion_table(model_state& m, mapping_table_file& file, const std::string& file_name,
                        int num_sed, const std::array<vec1<double>*, 8>& columns,
                        grid_header& header, const mat2<int>& mask, int rows, int cols,
                        std::FILE* summary) {
    if (!ensure_ts_index(file, file_name)) return false;
    loaded_table t;
    if (!load_table(file, file_name, table_soil_erosion, std::max(num_sed, 0), 0, nullptr, mask, rows,
                    cols, summary, header, t)) {
        return false;
    }
    const int base = table_ncols(table_soil_erosion);
    for (int j = 1; j <= base; ++j) {
        vec1<double>* out = columns[static_cast<std::size_t>(j - 1)];
        if (!out || out->empty()) continue;
        if (!spread_column(t.rows, j, t.id_grid, mask, rows, cols, out->data(), out->n())) return false;
    }
    std::vector<double> by_id;
    for (int k = 1; k <= t.rows.ncols - base; ++k) {
        table_column_by_id(t.rows.data, t.rows.n, base + k, t.rows.ids, t.rows.max_id, by_id);
        const bool spread = visit_cell_ids(t.id_grid, mask, rows, cols, [&](int cell, int, int, int id) {
            if (id > 0) set_sed_parent_fraction(m, cell, k, by_id[static_cast<std::size_t>(id)]);
            return true;
        });
        if (!spread) return false;
    }
    return true;
}

bool read_sediment_table(mapping_table_file& file, const std::string& file_name,
                         sediment_classes& out) {
    out = sediment_classes();
    if (!open_table_file(file, file_name)) return false;
    const int k = file.find_table(table_sediments);
    if (k == 0) return true;
    table_cursor cur(file, k);
    const int n = read_num_sed(cur, table_sediments);
    if (n <= 0) return n == 0;
    sediment_classes s;
    s.spec_grav = vec1<double>(n);
    s.part_diam = vec1<double>(n);
    s.f_bind = vec1<double>(n);
    s.output_filename.assign(static_cast<std::size_t>(n) + 1, std::string());
    line_cursor line;
    cur.next(line);  // the header
    constexpr std::size_t kDescriptionWidth = 40;
    for (int i = 1; i <= n; ++i) {
        if (!cur.next(line)) {
            table_error(cur, table_sediments,
                        format_text("the file ends after %d of the %d classes given by NUM_SED", i - 1, n));
            return false;
        }
        if (line.text().size() <= kDescriptionWidth) {
            table_error(cur, table_sediments, "the row ends before character 41, where its values begin");
            return false;
        }
        line.set_position(kDescriptionWidth);
        double* fields[3] = {&s.spec_grav[i], &s.part_diam[i], &s.f_bind[i]};
        static const char* const names[3] = {"specific gravity", "particle diameter", "binding fraction"};
        for (int j = 0; j < 3; ++j) {
            if (!pop_double_strict(line, *fields[j])) {
                std::string text;
                pop_string(line, text);
                table_error(cur, table_sediments,
                            format_text("the %s (\"%s\") is missing or not a number", names[j], echoed(text).c_str()));
                return false;
            }
        }
        // Settling and the transport formulas divide by the diameter and
        // by the specific gravity less 1.
        if (!(s.part_diam[i] > 0.0)) {
            table_error(cur, table_sediments,
                        format_text("class %d has the particle diameter %g mm; it must be above 0", i, s.part_diam[i]));
            return false;
        }
        if (!(s.spec_grav[i] > 1.0 && s.spec_grav[i] <= kDensestGrain)) {
            table_error(cur, table_sediments,
                        format_text("class %d has the specific gravity %s; it must be above 1 (water) and at most "
                                    "%g (no solid is denser)",
                                    i, exact_number(s.spec_grav[i]).c_str(), kDensestGrain));
            return false;
        }
        pop_string(line, s.output_filename[static_cast<std::size_t>(i)]);
    }
    s.count = n;
    out = std::move(s);
    return true;
}

bool read_contaminant_table(mapping_table_file& file, const std::string& file_name,
                            const std::array<mat2<double>*, 8>& columns, contaminant_tables& out,
                            array1d<double>& precip_conc, array1d<double>& partition,
                            grid_header& header, const mat2<int>& mask, int ncells, int rows,
                            int cols, std::FILE* summary) {
    out = contaminant_tables();
    if (!open_table_file(file, file_name)) return false;
    if (!file.header_ok()) {
        fail_and_report(69);
        return false;
    }
    std::printf("\nReading contaminant table...  ");
    const int keyword_line = file.find_table(table_contaminants);
    if (keyword_line == 0) {
        fail_and_report(69);
        return false;
    }
    table_cursor cur(file, keyword_line);
    const int n = read_num_contam(cur, table_contaminants);
    if (n < 0) return false;
    // Every constituent has its PRECIP_CONC line; the tables below are sized
    // by the count, so it may not promise more constituents than there are.
    const int present = keyword_lines_after(file, cur.line_number(), key_precip_conc);
    if (n > present) {
        table_error(cur, table_contaminants,
                    format_text("NUM_CONTAM gives %d constituents, but only %d PRECIP_CONC lines follow", n,
                                present));
        return false;
    }
    std::printf("%d contaminants found\n", n);
    if (n == 0) return true;
    if (!grid_covers(mask, "mask", rows, cols) ||
        !cells_fit(count_mask_cells(mask, rows, cols), ncells, "contaminant cell rows")) {
        return false;
    }

    for (mat2<double>* a : columns) {
        if (a) *a = mat2<double>(n, ncells);
    }
    out.descriptions.assign(static_cast<std::size_t>(n) + 1, std::string());
    out.index_map_names.assign(static_cast<std::size_t>(n) + 1, std::string());
    out.output_file_names.assign(static_cast<std::size_t>(n) + 1, std::string());

    auto append = [](array1d<double>& a, double v) {
        a.grow(1);
        a.at(a.size()) = v;
    };
    bool all_matched = true;
    line_cursor line;
    for (int i = 1; i <= n; ++i) {
        const std::size_t si = static_cast<std::size_t>(i);
        if (!cur.next(line) ||
            !quoted_texts(line.text(), out.descriptions[si], out.index_map_names[si],
                          out.output_file_names[si])) {
            table_error(cur, table_contaminants,
                        format_text("constituent %d needs a line of three quoted texts: description, "
                                    "index map name, output file",
                                    i),
                        69);
            return false;
        }
        double v = 0.0;
        if (!cur.next(line) || get_table_id(line.text()) != key_precip_conc) {
            std::printf("Error in reading the precip concentration of constituent #%d\n", i);
            table_error(cur, table_contaminants, "PRECIP_CONC expected", 69);
            return false;
        }
        std::string word;
        pop_string(line, word);
        if (!pop_double_strict(line, v)) {
            table_error(cur, table_contaminants, "the PRECIP_CONC value is missing or not a number", 69);
            return false;
        }
        if (!water_conc_holds(v)) {
            table_error(cur, table_contaminants,
                        format_text("the PRECIP_CONC of contaminant %d (%s), its concentration in rain, is %s g/m3; "
                                    "it must be %s",
                                    i, out.descriptions[si].c_str(), exact_number(v).c_str(),
                                    water_conc_rule().c_str()));
            return false;
        }
        append(precip_conc, v);
        // PARTITION is optional; without it the coefficient is 0 and the line
        // stays for the table that follows.
        double kd = 0.0;
        const int next = cur.line_number() + 1;
        if (next <= file.line_count() && file.keyword(next) == key_partition) {
            cur.next(line);
            pop_string(line, word);
            if (!pop_double_strict(line, kd)) {
                table_error(cur, table_contaminants, "the PARTITION value is missing or not a number", 69);
                return false;
            }
        }
        append(partition, kd);

        std::printf("  Checking %s", dotted(out.descriptions[si]).c_str());
        std::string map_file;
        const bool matched = file.resolve_index_map(out.index_map_names[si], map_file);
        const int rows_i = read_num_ids(cur, table_contaminants);
        if (rows_i < 0) return false;
        if (rows_i == 0) {
            std::printf("\n");
            table_error(cur, table_contaminants,
                        format_text("constituent %d has no NUM_IDS line or no rows", i), 69);
            return false;
        }
        skip_table_header(cur);
        table_rows t;
        if (!read_rows(cur, table_contaminants, rows_i, table_ncols(table_contaminants), t)) return false;
        if (!matched) {
            std::printf("unable to match index map\n");
            all_matched = false;
            continue;
        }
        std::string path = map_file;
        file_ptr fp = open_file(path, "r", 0);
        if (!fp) {
            std::printf("unable to open index map file.\n");
            fail_and_report(65, std::string(), path);
            return false;
        }
        mat2<int> id_grid(rows, cols);
        if (!read_index_map(fp.get(), path, header, mask, id_grid, t.max_id, rows, cols, summary)) {
            return false;
        }
        for (std::size_t j = 0; j < columns.size(); ++j) {
            if (!columns[j]) continue;
            if (!spread_column(t, static_cast<int>(j) + 1, id_grid, mask, rows, cols,
                               (*columns[j])[i], ncells)) {
                return false;
            }
        }
        std::printf("found and read index map\n");
    }
    if (!all_matched) {
        fail_and_report(69);
        return false;
    }
    out.count = n;
    return true;
}

bool find_richards_map(mapping_table_file& file, const std::string& file_name, int kind,
                       std::string& map_file) {
    if (!open_table_file(file, file_name)) return false;
    int keyword_line = 0;
    return find_mapping_table(file, richards_table_id(kind), map_file, keyword_line);
}

int read_richards_table(model_state& m, mapping_table_file& file, const std::string& file_name,
                        int kind) {
    if (!open_table_file(file, file_name)) return -1;
    const int id = richards_table_id(kind);
    const int keyword_line = file.find_table(id);
    if (keyword_line == 0) {
        if (id) {
            report_empty_table(file, id, 0);
        } else {
            fail_and_report(66, format_text("of Richards kind %d", kind), std::string());
        }
        return -1;
    }
    table_cursor cur(file, keyword_line);
    return read_soil_layer_table(m, cur);
}

bool mapping_table_present(const mapping_table_file& file, int table_id) {
    if (table_id == table_contaminants || table_id == table_sediments) {
        const int k = file.find_table(table_id);
        if (k == 0 || k >= file.line_count()) return false;
        const int key = table_id == table_contaminants ? key_num_contam : key_num_sed;
        return count_of(file.line(k + 1), key) >= 1;
    }
    std::string map_file;
    int keyword_line = 0;
    if (!find_mapping_table(file, table_id, map_file, keyword_line)) return false;
    file_ptr fp = open_file(map_file, "r", 0);
    return static_cast<bool>(fp);
}

std::string mapping_table_problem(mapping_table_file& file, const std::string& file_name, int table_id) {
    if (!file.open(file_name)) return format_text("the file could not be opened (%s)", std::strerror(errno));
    const std::string keyword = get_table_keyword(table_id);
    if (file.line_count() == 0) return "the file is empty";
    if (!file.header_ok()) return format_text("its first line does not begin with %s", kFileHeader);
    const int k = file.find_table(table_id);
    if (k == 0) return format_text("the file holds no %s table", keyword.c_str());
    const std::string map_name = file.table_map_name(k);
    if (map_name.empty()) return format_text("the %s line (line %d) names no index map", keyword.c_str(), k);
    std::string map_file;
    if (!file.resolve_index_map(map_name, map_file)) {
        return format_text("the %s line (line %d) names the index map %s, which no INDEX_MAP line at the head "
                           "of the file names",
                           keyword.c_str(), k, map_name.c_str());
    }
    std::string path = map_file;
    if (!open_file(path, "r", 0)) {
        return format_text("the index map file %s of its %s table (line %d) could not be opened (%s)",
                           path.c_str(), keyword.c_str(), k, std::strerror(errno));
    }
    return std::string();
}

bool check_mapping_tables(const std::string& file_name, mapping_table_info& info) {
    mapping_table_file file;
    if (!open_table_file(file, file_name)) return false;
    std::printf("\nChecking 2D grid mapping tables...\n");
    for (const check_entry& e : kChecks) {
        const bool present = mapping_table_present(file, e.id);
        info.*e.flag = present ? 1 : 0;
        std::printf("  %s%s\n", dotted(e.label).c_str(), present ? "Y" : "N");
    }
    return true;
}

}  // namespace kesta
