#include "input/ascii_grid.hpp"

#include <vector>

#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"

namespace kesta {

namespace {

// Reports a catalogue code that names the map (70 to 74) at once.
void fail_with_code(int code, const std::string& map_name, int v1 = 0, int v2 = 0) {
    fail_and_report(code, std::string(), map_name, v1, v2);
}

void fail_end_of_file(const std::string& map_name, bool index_map) {
    if (index_map) {
        fail_with_code(70, map_name);
    } else {
        refuse(format_text("Unexpected end of file in file: %s\n", map_name.c_str()));
    }
}

void fail_bad_value(const std::string& map_name, int row, int col, const std::string& text) {
    refuse(format_text("Error: unreadable value \"%s\" in map %s at row %d, column %d\n", text.c_str(),
                       map_name.c_str(), row, col));
}

// Label and value of one header line. The label is a scratch word that is
// never compared: at most `label_len` characters of it are taken, so a longer
// label leaves its tail to be read as the value, which then fails.
enum class header_read { ok, end_of_file, bad };

struct header_field {
    const char* what;
    std::size_t label_len;
};

constexpr header_field kHeaderFields[6] = {{"north", 6}, {"south", 6}, {"east", 5},
                                           {"west", 5},  {"rows", 5},  {"cols", 5}};

header_read read_header(token_stream& ts, const std::string& map_name, grid_header& h) {
    double* edges[4] = {&h.north, &h.south, &h.east, &h.west};
    int* sizes[2] = {&h.rows, &h.cols};
    std::string label;
    std::string value;
    for (int i = 0; i < 6; ++i) {
        if (!ts.next_limited(label, kHeaderFields[i].label_len) || !ts.next(value)) {
            return header_read::end_of_file;
        }
        const bool ok = i < 4 ? parse_double(value, *edges[i]) : parse_int(value, *sizes[i - 4]);
        if (!ok) {
            refuse(format_text(
                "Error: unreadable header of map %s: %s value \"%s\" (label \"%s\") on line %d\n",
                map_name.c_str(), kHeaderFields[i].what, value.c_str(), label.c_str(),
                ts.token_line()));
            return header_read::bad;
        }
    }
    return header_read::ok;
}

// 0 when the sizes agree, else 1 both differ, 2 rows differ, 3 cols differ.
int size_mismatch(const grid_header& h, int expected_rows, int expected_cols) {
    const bool rows_differ = h.rows != expected_rows;
    const bool cols_differ = h.cols != expected_cols;
    if (rows_differ && cols_differ) return 1;
    if (rows_differ) return 2;
    if (cols_differ) return 3;
    return 0;
}

// A grid given for rows x cols cells must hold them.
template <class T>
bool grid_holds(const mat2<T>& g, int rows, int cols) {
    return rows <= 0 || cols <= 0 || (g.nrows() >= rows && g.ncols() >= cols);
}

bool check_grid(const mat2<int>& g, const char* what, const std::string& map_name,
                const grid_header& h) {
    if (grid_holds(g, h.rows, h.cols)) return true;
    return refuse(format_text(
        "Error: the %s grid given for map %s holds %d rows and %d columns, fewer than its %d by %d\n",
        what, map_name.c_str(), g.nrows() < 0 ? 0 : g.nrows(), g.ncols() < 0 ? 0 : g.ncols(),
        h.rows, h.cols));
}

bool check_vector(int needed, int held, const std::string& map_name) {
    if (needed <= held) return true;
    return refuse(format_text(
        "Error: map %s covers %d watershed cells but its cell vector holds %d\n",
        map_name.c_str(), needed, held < 0 ? 0 : held));
}

struct read_totals {
    bool non_zero = false;  // some value of the grid is not 0
    int zero_cells = 0;     // mask cells holding 0.0 (real maps only)
};

// Modes 1 and 3: one grid row per line, separators blank, tab and comma.
bool read_real_rows(std::FILE* fp, const std::string& map_name, const grid_header& h,
                    const mat2<int>& mask, vec1<double>& dest, read_totals& totals) {
    line_cursor line;
    int next = 1;
    for (int r = 1; r <= h.rows; ++r) {
        if (!read_line(line, fp)) {
            fail_end_of_file(map_name, false);
            return false;
        }
        const int* mask_row = mask[r];
        for (int c = 1; c <= h.cols; ++c) {
            double v = 0.0;
            if (!pop_double_strict(line, v)) {
                const std::string text = peek_token(line);
                if (text.empty()) {
                    refuse(format_text(
                        "Error: map %s, row %d ends after %d values; column %d is missing\n",
                        map_name.c_str(), r, c - 1, c));
                } else {
                    fail_bad_value(map_name, r, c, text);
                }
                return false;
            }
            if (v != 0.0) totals.non_zero = true;
            if (mask_row[c] != 0) {
                dest[next++] = v;
                if (v == 0.0) ++totals.zero_cells;
            }
        }
    }
    return true;
}

// Free-format integers in row-major order; `store` takes (row, col, value)
// and returns false to refuse the map (it has reported why).
template <class Store>
bool read_int_cells(token_stream& ts, const std::string& map_name, const grid_header& h,
                    bool index_map, read_totals& totals, Store store) {
    std::string token;
    for (int r = 1; r <= h.rows; ++r) {
        for (int c = 1; c <= h.cols; ++c) {
            if (!ts.next(token)) {
                fail_end_of_file(map_name, index_map);
                return false;
            }
            int v = 0;
            if (!parse_int(token, v)) {
                fail_bad_value(map_name, r, c, token);
                return false;
            }
            if (v != 0) totals.non_zero = true;
            if (!store(r, c, v)) return false;
        }
    }
    return true;
}

}  // namespace

int count_mask_cells(const mat2<int>& mask, int rows, int cols) {
    int n = 0;
    for (int r = 1; r <= rows; ++r) {
        const int* row = mask[r];
        for (int c = 1; c <= cols; ++c) n += row[c] != 0;
    }
    return n;
}

bool read_ascii_map(std::FILE* fp, const std::string& map_name, int mode, grid_header& header,
                    mat2<int>& grid, vec1<double>& a, vec1<double>& b, vec1<int>& cells,
                    int expected_rows, int expected_cols) {
    if (mode < kMapRealA || mode > kMapCategory) {
        return refuse(format_text("Error: map %s asked for in unknown mode %d\n", map_name.c_str(), mode));
    }
    token_stream ts(fp);
    switch (read_header(ts, map_name, header)) {
        case header_read::ok: break;
        case header_read::end_of_file: fail_end_of_file(map_name, false); return false;
        case header_read::bad: return false;
    }
    // What follows the header up to the first value (the rest of the cols
    // line, blank lines) is not a grid row.
    ts.skip_space();

    switch (size_mismatch(header, expected_rows, expected_cols)) {
        case 1:
            return refuse(format_text("Incorrect number of rows and columns in map: %s\n", map_name.c_str()));
        case 2:
            return refuse(format_text("Incorrect number of rows in map: %s\n", map_name.c_str()));
        case 3:
            return refuse(format_text("Incorrect number of columns in map: %s\n", map_name.c_str()));
        default: break;
    }
    if (!check_grid(grid, mode == kMapIntGrid ? "destination" : "mask", map_name, header)) return false;
    const int rows = header.rows;
    const int cols = header.cols;

    read_totals totals;
    bool ok = false;
    if (mode == kMapRealA || mode == kMapRealB) {
        vec1<double>& dest = mode == kMapRealA ? a : b;
        if (!check_vector(count_mask_cells(grid, rows, cols), dest.n(), map_name)) return false;
        ok = read_real_rows(fp, map_name, header, grid, dest, totals);
    } else if (mode == kMapIntGrid) {
        ok = read_int_cells(ts, map_name, header, false, totals, [&](int r, int c, int v) {
            grid[r][c] = v;
            return true;
        });
    } else {
        if (!check_vector(count_mask_cells(grid, rows, cols), cells.n(), map_name)) return false;
        std::vector<int> counts(kMaxMapCategory + 1, 0);  // by ID, for this read only
        int next = 1;
        ok = read_int_cells(ts, map_name, header, false, totals, [&](int r, int c, int v) {
            if (grid[r][c] == 0) return true;
            if (v < 0 || v > kMaxMapCategory) {
                return refuse(format_text(
                    "Error: category %d outside 0 to %d in map %s at row %d, column %d\n", v,
                    kMaxMapCategory, map_name.c_str(), r, c));
            }
            cells[next++] = v;
            ++counts[static_cast<std::size_t>(v)];
            return true;
        });
        if (ok) {
            for (int id = 1; id <= kMaxMapCategory; ++id) {
                if (counts[static_cast<std::size_t>(id)] > 0) {
                    std::printf("In map %s category %d has %d values\n", map_name.c_str(), id,
                                counts[static_cast<std::size_t>(id)]);
                }
            }
        }
    }
    if (!ok) return false;

    if (!totals.non_zero) std::printf("Warning: Map contains only zero values. Map: %s\n", map_name.c_str());
    if (totals.zero_cells >= 1) {
        std::printf("Warning: Map contains %d cells with zero values. Map: %s\n", totals.zero_cells,
                    map_name.c_str());
    }
    return true;
}

bool read_index_map(std::FILE* fp, const std::string& map_name, grid_header& header,
                    const mat2<int>& mask, mat2<int>& id_grid, int max_table_id,
                    int expected_rows, int expected_cols, std::FILE* summary) {
    token_stream ts(fp);
    switch (read_header(ts, map_name, header)) {
        case header_read::ok: break;
        case header_read::end_of_file: fail_end_of_file(map_name, true); return false;
        case header_read::bad: return false;
    }
    switch (size_mismatch(header, expected_rows, expected_cols)) {
        case 1: fail_with_code(72, map_name); return false;
        case 2: fail_with_code(73, map_name); return false;
        case 3: fail_with_code(74, map_name); return false;
        default: break;
    }
    if (!check_grid(mask, "mask", map_name, header) || !check_grid(id_grid, "ID", map_name, header)) {
        return false;
    }
    const int max_id = max_table_id < 0 ? 0 : max_table_id;
    std::vector<int> num(static_cast<std::size_t>(max_id) + 1, 0);  // cells by ID, this read only
    read_totals totals;
    const bool ok = read_int_cells(ts, map_name, header, true, totals, [&](int r, int c, int v) {
        if (mask[r][c] == 0) return true;
        if (v < 0 || v > max_id) {
            fail_with_code(71, map_name, r, c);
            return false;
        }
        id_grid[r][c] = v;
        ++num[static_cast<std::size_t>(v)];
        return true;
    });
    if (!ok) return false;
    for (int id = 1; id <= max_id; ++id) {
        const int n = num[static_cast<std::size_t>(id)];
        if (n > 0) {
            print_both(summary,
                       format_text("In map %s category %d has %d values\n", map_name.c_str(), id, n));
        }
    }
    return true;
}

}  // namespace kesta
