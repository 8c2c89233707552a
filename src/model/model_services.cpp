#include "model/model_services.hpp"

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"
#include "input/ascii_grid.hpp"
#include "input/mapping_tables.hpp"
#include "model/model_state.hpp"

namespace kesta {

bool chatty(const model_state& m) { return !m.super_quiet && g_parallel_env.world_rank() == 0; }

void say(const model_state& m, const std::string& text) {
    if (chatty(m)) std::fputs(text.c_str(), stdout);
    if (m.summary_fp) std::fputs(text.c_str(), m.summary_fp.get());
}

void say_console(const model_state& m, const std::string& text) {
    if (chatty(m)) std::fputs(text.c_str(), stdout);
}

void refuse_on_stderr(const std::string& text) {
    const std::string said = text + card_file_notes(text);
    std::fputs(said.c_str(), stderr);
    if (g_error_record.summary_file) std::fputs(said.c_str(), g_error_record.summary_file);
    fail_and_report();
}

bool run_stopped() { return g_error_record.stop != 0; }

file_ptr open_input(const std::string& name, const char* item) {
    if (name.empty()) return file_ptr();
    std::string path = name;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) g_error_record.fail(4, item, path);
    return fp;
}

file_ptr open_or_refuse(std::string& name, const char* message) {
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) refuse(format_text(message, name.c_str()));
    return fp;
}

file_ptr open_required_input(const std::string& name, const char* item) {
    file_ptr fp = open_input(name, item);
    if (!fp && !run_stopped()) g_error_record.fail(4, item, name);
    return fp;
}

bool read_real_map(model_state& m, std::FILE* fp, const std::string& name, vec1<double>& dest,
                   int mode) {
    grid_header header;
    vec1<double> unused;
    vec1<int> no_cells;
    return mode == kMapRealB
               ? read_ascii_map(fp, name, kMapRealB, header, m.mask, unused, dest, no_cells, m.rows, m.cols)
               : read_ascii_map(fp, name, kMapRealA, header, m.mask, dest, unused, no_cells, m.rows, m.cols);
}

bool read_id_map(model_state& m, std::FILE* fp, const std::string& name, vec1<int>& dest) {
    grid_header header;
    vec1<double> unused_a, unused_b;
    return read_ascii_map(fp, name, kMapCategory, header, m.mask, unused_a, unused_b, dest, m.rows, m.cols);
}

bool read_table_columns(model_state& m, int table_id, const std::array<vec1<double>*, 7>& columns) {
    grid_header header;
    return read_mapping_table(m.mapping_tables, m.mapping_table, table_id, columns, header, m.mask,
                              m.rows, m.cols, m.summary_fp.get());
}

bool read_map_or_table(model_state& m, const std::string& name, const char* item, bool table_present,
                       int table_id, vec1<double>& dest, const char* from_file, const char* from_table,
                       bool* read_file) {
    file_ptr fp = open_input(name, item);
    if (run_stopped()) return false;
    if (read_file) *read_file = fp != nullptr;
    if (fp) {
        say(m, format_text(from_file, name.c_str()));
        return read_real_map(m, fp.get(), name, dest);
    }
    say(m, from_table);
    return table_id == table_none || !table_present || read_table_columns(m, table_id, {&dest});
}

std::string value_source(const model_state& m, bool from_file, const std::string& map_name, int table_id) {
    if (from_file) return "map " + map_name;
    return format_text("the %s table of mapping-table file %s", get_table_keyword(table_id).c_str(),
                       m.mapping_table.c_str());
}

void cell_row_col(const model_state& m, int k, int& row, int& col) {
    for (row = 1; row <= m.rows; ++row) {
        for (col = 1; col <= m.cols; ++col) {
            if (m.mask[row][col] == k) return;
        }
    }
    row = 0;
    col = 0;
}

int first_breach(const model_state& m, const vec1<double>& values, const value_rule& rule,
                 const std::string& source, std::string& detail) {
    for (int k = 1; k <= m.ncells && k <= values.n(); ++k) {
        if (rule.holds(values[k])) continue;
        int row = 0, col = 0;
        cell_row_col(m, k, row, col);
        detail = format_text("%s %s%s%s at cell %d (row %d, column %d), from %s: %s.\n", rule.what,
                             exact_number(values[k]).c_str(), rule.unit[0] ? " " : "", rule.unit, k, row, col,
                             source.c_str(), rule.rule);
        return k;
    }
    return 0;
}

bool map_elevations_hold(const model_state& m, const vec1<double>& values, const char* what,
                         const std::string& map_name) {
    const std::string bound = format_text("it must lie from %g to %g m", -kMostElevation, kMostElevation);
    const value_rule rule{what, "m", elevation_holds, bound.c_str()};
    std::string detail;
    if (first_breach(m, values, rule, "map " + map_name, detail) == 0) return true;
    return refuse("Error: " + detail);
}

int first_beyond(const model_state& m, const vec1<double>& values, double most, const char* what, const char* unit,
                 const std::string& why, const std::string& source, std::string& detail) {
    for (int k = 1; k <= m.ncells && k <= values.n(); ++k) {
        if (values[k] >= 0.0 && values[k] <= most) continue;
        int row = 0, col = 0;
        cell_row_col(m, k, row, col);
        detail = format_text("%s %s %s at cell %d (row %d, column %d), from %s: it must be from 0 to %g %s%s.\n", what,
                             exact_number(values[k]).c_str(), unit, k, row, col, source.c_str(), most, unit,
                             why.c_str());
        return k;
    }
    return 0;
}

}  // namespace kesta
