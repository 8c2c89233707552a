#include "input/ascii_grid.hpp"

#include <algorithm>
#include <vector>

#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/thread_team.hpp"
#include "core/token_stream.hpp"
#include "core/warnings.hpp"

namespace kesta {

namespace {

int count_mask_cells_in_row(const int* row, int cols) {
    int n = 0;
    for (int c = 1; c <= cols; ++c) n += row[c] != 0;
    return n;
}

// Reports a catalogue code that names the map (70 to 74) at once, with the
// detail a user needs to find the fault as the record's detail line.
void fail_with_code(int code, const std::string& map_name, int v1 = 0, int v2 = 0,
                    const std::string& detail = std::string()) {
    g_error_record.fail(code, std::string(), map_name, v1, v2);
    // The record's detail line carries its own line end.
    g_error_record.detail = detail.empty() || detail.back() != '\n' ? detail : detail.substr(0, detail.size() - 1);
    report_error(g_error_record);
}

void fail_end_of_file(const std::string& map_name, bool index_map, const std::string& where) {
    if (index_map) {
        fail_with_code(70, map_name, 0, 0, where);
    } else {
        refuse(format_text("Unexpected end of file in file: %s\n", map_name.c_str()) + where);
    }
}

std::string end_before_cell(int row, int col, const grid_header& h) {
    return format_text("The file ends before the value of row %d, column %d of the map's %d rows and %d "
                       "columns.\n",
                       row, col, h.rows, h.cols);
}

void fail_bad_value(const std::string& map_name, int row, int col, const std::string& text) {
    const std::string comma = decimal_comma_word(text);
    if (!comma.empty()) {
        refuse(format_text("Error: map %s, row %d, column %d holds the value %s.\n", map_name.c_str(), row, col,
                           decimal_comma_advice(comma).c_str()));
        return;
    }
    refuse(format_text("Error: unreadable value \"%s\" in map %s at row %d, column %d\n", echoed(text).c_str(),
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

// A grid whose edges do not enclose it has no cells to place: north must lie
// above south and east beyond west (non-finite edges never parse).
bool edges_enclose(const std::string& map_name, const grid_header& h, const std::string (&texts)[6],
                   const int (&lines)[6]) {
    const struct {
        double high, low;
        int i_high, i_low;
    } pairs[2] = {{h.north, h.south, 0, 1}, {h.east, h.west, 2, 3}};
    for (const auto& p : pairs) {
        if (p.high > p.low) continue;
        return refuse(format_text("Error: the header of map %s gives %s %s (line %d) and %s %s (line %d); %s must "
                                  "exceed %s.\n",
                                  map_name.c_str(), kHeaderFields[p.i_high].what, texts[p.i_high].c_str(),
                                  lines[p.i_high], kHeaderFields[p.i_low].what, texts[p.i_low].c_str(),
                                  lines[p.i_low], kHeaderFields[p.i_high].what, kHeaderFields[p.i_low].what));
    }
    return true;
}

// The header words of an ESRI ASCII grid, which the map writers produce but
// the readers do not take: its lower-left corner and cell size do not give
// the edges and the size in the order an input grid must.
bool is_esri_label(const std::string& label) {
    static const char* const kEsriWords[] = {"ncols", "nrows", "xllcorner", "xllcenter",
                                             "yllcorner", "yllcenter", "cellsize", "nodata_value"};
    const std::string word = to_lower(label);
    if (word.size() < 4) return false;
    for (const char* w : kEsriWords)
        if (std::string(w).compare(0, word.size(), word) == 0) return true;
    return false;
}

// On end_of_file, `missing` is the header field the file ends before.
header_read read_header(token_stream& ts, const std::string& map_name, grid_header& h, const char*& missing) {
    double* edges[4] = {&h.north, &h.south, &h.east, &h.west};
    int* sizes[2] = {&h.rows, &h.cols};
    std::string label;
    std::string texts[6];
    int lines[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 6; ++i) {
        std::string& value = texts[i];
        if (!ts.next_limited(label, kHeaderFields[i].label_len) || !ts.next(value)) {
            missing = kHeaderFields[i].what;
            return header_read::end_of_file;
        }
        lines[i] = ts.token_line();
        if (is_esri_label(label)) {
            refuse(format_text(
                "Error: map %s has an ESRI ASCII grid header (\"%s\" on line %d). An input grid needs the header\n"
                "  north: <north edge>\n  south: <south edge>\n  east: <east edge>\n  west: <west edge>\n"
                "  rows: <rows>\n  cols: <columns>\n"
                "then one line of values per grid row, from north to south (see docs/inputs.md).\n",
                map_name.c_str(), echoed(label).c_str(), ts.token_line()));
            return header_read::bad;
        }
        const bool ok = i < 4 ? parse_double(value, *edges[i]) : parse_int(value, *sizes[i - 4]);
        if (!ok) {
            refuse(format_text(
                "Error: unreadable header of map %s: %s value \"%s\" (label \"%s\") on line %d\n",
                map_name.c_str(), kHeaderFields[i].what, echoed(value).c_str(), echoed(label).c_str(),
                ts.token_line()));
            return header_read::bad;
        }
    }
    return edges_enclose(map_name, h, texts, lines) ? header_read::ok : header_read::bad;
}

// Reads the header; false when refused (reported).
bool header_read_ok(token_stream& ts, const std::string& map_name, grid_header& h, bool index_map) {
    const char* missing = "";
    switch (read_header(ts, map_name, h, missing)) {
        case header_read::ok: return true;
        case header_read::end_of_file:
            fail_end_of_file(map_name, index_map,
                             format_text("The file ends inside the map's header, before its %s value.\n",
                                         missing));
            return false;
        case header_read::bad: return false;
    }
    return false;
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

// The second line of a size refusal: what the model grid needs and what the
// header gives.
std::string size_detail(int mismatch, const grid_header& h, int expected_rows, int expected_cols) {
    if (mismatch == 2) {
        return format_text("Expected %d rows (ROWS of the project file); the map's header gives %d.\n",
                           expected_rows, h.rows);
    }
    if (mismatch == 3) {
        return format_text("Expected %d columns (COLS of the project file); the map's header gives %d.\n",
                           expected_cols, h.cols);
    }
    return format_text("Expected %d rows and %d columns (ROWS and COLS of the project file); the map's header "
                       "gives %d rows and %d columns.\n",
                       expected_rows, expected_cols, h.rows, h.cols);
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

// What reading one row of a real map found: nothing wrong, a value that is
// missing or unreadable at column `col`, or a value after the last column.
struct row_outcome {
    enum { ok, missing, bad, extra } kind = ok;
    int col = 0;
    std::string text;  // the unreadable or surplus value
    bool non_zero = false;
    int zero_cells = 0;
};

// Reads the cols values of one row from `line` into out (mask cells only).
void read_real_row(line_cursor& line, const int* mask_row, int cols, double* out, row_outcome& o) {
    o = row_outcome();
    for (int c = 1; c <= cols; ++c) {
        double v = 0.0;
        if (!pop_double_strict(line, v)) {
            o.text = peek_token(line);
            o.kind = o.text.empty() ? row_outcome::missing : row_outcome::bad;
            o.col = c;
            return;
        }
        if (v != 0.0) o.non_zero = true;
        if (mask_row[c] != 0) {
            *out++ = v;
            if (v == 0.0) ++o.zero_cells;
        }
    }
    o.text = peek_token(line);
    if (!o.text.empty()) o.kind = row_outcome::extra;
}

// Rows read and converted together: the lines are read in order, the rows
// converted over threads (a team of thread_team of the block's values), and
// the first fault in file order refused.
constexpr int kRowBlock = 256;

// Modes 1 and 3: one grid row per line, separators blank, tab and comma.
// `line_no` is the file line of the first row. A value beyond the last
// column of a row, or on a line after the last row, is refused: it would
// belong to no cell.
bool read_real_rows(std::FILE* fp, const std::string& map_name, const grid_header& h, int line_no,
                    const mat2<int>& mask, vec1<double>& dest, read_totals& totals) {
    std::vector<line_cursor> lines(static_cast<std::size_t>(std::max(0, std::min(h.rows, kRowBlock))));
    std::vector<row_outcome> outcomes(lines.size());
    std::vector<int> first_cell(lines.size());  // dest index of each row's first mask cell
    int next = 1;
    for (int r0 = 1; r0 <= h.rows; r0 += kRowBlock) {
        const int count = std::min(kRowBlock, h.rows - r0 + 1);
        int have = 0;  // rows of the block whose line was read
        while (have < count && read_line(lines[static_cast<std::size_t>(have)], fp)) ++have;
        for (int k = 0; k < have; ++k) {
            first_cell[static_cast<std::size_t>(k)] = next;
            next += count_mask_cells_in_row(mask[r0 + k], h.cols);
        }
#pragma omp parallel for schedule(dynamic, 8) num_threads(thread_team(static_cast<long long>(have) * h.cols))
        for (int k = 0; k < have; ++k) {
            const auto i = static_cast<std::size_t>(k);
            read_real_row(lines[i], mask[r0 + k], h.cols, dest.data() + first_cell[i], outcomes[i]);
        }
        for (int k = 0; k < have; ++k, ++line_no) {
            const int r = r0 + k;
            const row_outcome& o = outcomes[static_cast<std::size_t>(k)];
            switch (o.kind) {
                case row_outcome::ok: break;
                case row_outcome::missing:
                    return refuse(format_text("Error: map %s, row %d ends after %d values; column %d is missing\n",
                                              map_name.c_str(), r, o.col - 1, o.col));
                case row_outcome::bad: fail_bad_value(map_name, r, o.col, o.text); return false;
                case row_outcome::extra: {
                    const std::string comma = decimal_comma_word(lines[static_cast<std::size_t>(k)].text());
                    if (!comma.empty()) {
                        return refuse(format_text("Error: map %s, row %d on line %d holds the value %s.\n",
                                                  map_name.c_str(), r, line_no, decimal_comma_advice(comma).c_str()));
                    }
                    return refuse(format_text("Error: map %s, row %d on line %d holds more than its %d values: "
                                              "\"%s\" follows column %d\n",
                                              map_name.c_str(), r, line_no, h.cols, echoed(o.text).c_str(),
                                              h.cols));
                }
            }
            totals.non_zero = totals.non_zero || o.non_zero;
            totals.zero_cells += o.zero_cells;
        }
        if (have < count) {
            fail_end_of_file(map_name, false, end_before_cell(r0 + have, 1, h));
            return false;
        }
    }
    line_cursor line;
    for (; read_line(line, fp); ++line_no) {
        const std::string extra = peek_token(line);
        if (!extra.empty()) {
            return refuse(format_text("Error: map %s holds more than its %d rows: line %d holds \"%s\" after "
                                      "the last row\n",
                                      map_name.c_str(), h.rows, line_no, echoed(extra).c_str()));
        }
    }
    return true;
}

// Free-format integers in row-major order; `store` takes (row, col, value)
// and returns false to refuse the map (it has reported why). Values are not
// tied to lines, so a surplus value shifts every later cell: any value after
// the last cell refuses the map, naming the first line that holds more
// values than a row has, where the surplus most likely lies.
template <class Store>
bool read_int_cells(token_stream& ts, const std::string& map_name, const grid_header& h,
                    bool index_map, read_totals& totals, Store store) {
    std::string token;
    int line = 0;             // line of the last value
    int on_line = 0;          // values on that line
    int first_long_line = 0;  // first line with more values than a row
    auto count = [&] {
        if (ts.token_line() != line) {
            line = ts.token_line();
            on_line = 0;
        }
        if (++on_line > h.cols && first_long_line == 0) first_long_line = line;
    };
    for (int r = 1; r <= h.rows; ++r) {
        for (int c = 1; c <= h.cols; ++c) {
            if (!ts.next(token)) {
                fail_end_of_file(map_name, index_map, end_before_cell(r, c, h));
                return false;
            }
            count();
            int v = 0;
            if (!parse_int(token, v)) {
                fail_bad_value(map_name, r, c, token);
                return false;
            }
            if (v != 0) totals.non_zero = true;
            if (!store(r, c, v)) return false;
        }
    }
    if (!ts.next(token)) return true;
    count();
    std::string text = format_text("Error: map %s holds more values than its %d rows by %d columns: \"%s\" on "
                                   "line %d lies beyond the last cell\n",
                                   map_name.c_str(), h.rows, h.cols, echoed(token).c_str(), ts.token_line());
    if (first_long_line != 0) {
        text += format_text("Line %d is the first that holds more than a row's %d values.\n", first_long_line,
                            h.cols);
    }
    return refuse(text);
}

}  // namespace

int count_mask_cells(const mat2<int>& mask, int rows, int cols) {
    int n = 0;
    for (int r = 1; r <= rows; ++r) n += count_mask_cells_in_row(mask[r], cols);
    return n;
}

bool read_ascii_map(std::FILE* fp, const std::string& map_name, int mode, grid_header& header,
                    mat2<int>& grid, vec1<double>& a, vec1<double>& b, vec1<int>& cells,
                    int expected_rows, int expected_cols) {
    if (mode < kMapRealA || mode > kMapCategory) {
        return refuse(format_text("Error: map %s asked for in unknown mode %d\n", map_name.c_str(), mode));
    }
    token_stream ts(fp);
    if (!header_read_ok(ts, map_name, header, false)) return false;
    // What follows the header up to the first value (the rest of the cols
    // line, blank lines) is not a grid row.
    ts.skip_space();

    const int mismatch = size_mismatch(header, expected_rows, expected_cols);
    if (mismatch != 0) {
        const char* what = mismatch == 1 ? "rows and columns" : mismatch == 2 ? "rows" : "columns";
        return refuse(format_text("Incorrect number of %s in map: %s\n", what, map_name.c_str()) +
                      size_detail(mismatch, header, expected_rows, expected_cols));
    }
    if (!check_grid(grid, mode == kMapIntGrid ? "destination" : "mask", map_name, header)) return false;
    const int rows = header.rows;
    const int cols = header.cols;

    read_totals totals;
    bool ok = false;
    if (mode == kMapRealA || mode == kMapRealB) {
        vec1<double>& dest = mode == kMapRealA ? a : b;
        if (!check_vector(count_mask_cells(grid, rows, cols), dest.n(), map_name)) return false;
        ok = read_real_rows(fp, map_name, header, ts.line(), grid, dest, totals);
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

    if (!totals.non_zero) warn(format_text("Warning: Map contains only zero values. Map: %s\n", map_name.c_str()));
    if (totals.zero_cells >= 1) {
        warn(format_text("Warning: Map contains %d cells with zero values. Map: %s\n", totals.zero_cells,
                         map_name.c_str()));
    }
    return true;
}

bool read_index_map(std::FILE* fp, const std::string& map_name, grid_header& header,
                    const mat2<int>& mask, mat2<int>& id_grid, int max_table_id,
                    int expected_rows, int expected_cols, std::FILE* summary) {
    token_stream ts(fp);
    if (!header_read_ok(ts, map_name, header, true)) return false;
    const int mismatch = size_mismatch(header, expected_rows, expected_cols);
    if (mismatch != 0) {
        const int code = mismatch == 1 ? 72 : mismatch == 2 ? 73 : 74;
        fail_with_code(code, map_name, 0, 0, size_detail(mismatch, header, expected_rows, expected_cols));
        return false;
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
