#include "input/stream_mapping_tables.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "nutrients/nutrient_species.hpp"
#include "transport/constituents.hpp"

namespace kesta {

namespace {

constexpr const char* kFileHeader = "KESTA_STREAM_INDEX_MAP_TABLES";
constexpr std::size_t kFileHeaderLen = 29;
constexpr const char* kMapHeader = "STREAM_MAP";
constexpr std::size_t kMapHeaderLen = 10;
constexpr std::size_t kIdWidth = 6;        // the ID stands in characters 1-6
constexpr std::size_t kValueColumn = 86;   // 0-based offset of character 87
constexpr std::size_t kCheckWidth = 35;    // the check's labels are dotted to this column

struct code_row {
    const char* keyword;
    std::size_t compared;  // leading characters compared
    int code;
    const char* label;     // item text of code 66
    int ncols;
};

// Tried in this order; the first whose leading characters match wins.
const code_row kCodes[] = {
    {"ROUGHNESS", 9, stream_table_roughness, "ROUGHNESS (Stream)", 1},
    {"ZEP_N", 5, stream_table_zep_n, "ZEP_N (Stream)", 4},
    {"ZEP_P", 5, stream_table_zep_p, "ZEP_P (Stream)", 3},
    {"ZEP_OTH", 6, stream_table_zep_oth, "ZEP_OTH (Stream)", 3},
    {"ZEP_C", 5, stream_table_zep_c, "ZEP_C (Stream)", 2},
    {"NUM_IDS", 7, stream_key_num_ids, "NUM_IDS (Stream)", 0},
    {"ST_INDEX_MAP", 9, stream_key_index_map, "ST_INDEX_MAP (Stream)", 0},
    {"DISPERSION", 5, stream_table_dispersion, "DISPERSION (Stream)", 1},
};

const code_row* row_of(int code) {
    for (const code_row& r : kCodes) {
        if (r.code == code) return &r;
    }
    return nullptr;
}

struct check_entry {
    const char* label;
    int code;
    int stream_table_info::*flag;
};

const check_entry kChecks[] = {
    {"Roughness", stream_table_roughness, &stream_table_info::roughness},
    {"ZEP Nitrogen", stream_table_zep_n, &stream_table_info::zep_n},
    {"ZEP Phosphorus", stream_table_zep_p, &stream_table_info::zep_p},
    {"ZEP Carbon", stream_table_zep_c, &stream_table_info::zep_c},
    {"ZEP Other", stream_table_zep_oth, &stream_table_info::zep_oth},
    {"Dispersion", stream_table_dispersion, &stream_table_info::dispersion},
};

struct index_map {
    std::string name;
    std::string file;
    int line = 0;  // its ST_INDEX_MAP line
};

// The file held in memory, its lines numbered from 1.
struct table_file {
    std::string name;
    std::vector<std::string> lines;
    std::vector<index_map> maps;

    const std::string& line(int n) const { return lines[static_cast<std::size_t>(n - 1)]; }
    int count() const { return static_cast<int>(lines.size()); }
};

bool load(const std::string& file_name, table_file& f) {
    f.name = file_name;
    std::string path = file_name;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) return false;
    line_cursor text;
    while (read_line(text, fp.get())) f.lines.push_back(text.text());
    for (int n = 2; n <= f.count(); ++n) {
        if (get_stream_table_code(f.line(n)) != stream_key_index_map) continue;
        line_cursor entry(f.line(n));
        std::string keyword;
        index_map e;
        e.line = n;
        pop_string(entry, keyword);
        pop_string(entry, e.file);
        pop_string(entry, e.name);
        f.maps.push_back(e);
    }
    return true;
}

bool header_ok(const table_file& f) {
    return f.count() >= 1 && f.line(1).compare(0, kFileHeaderLen, kFileHeader) == 0;
}

// The keyword line of the table and the file of its index map; 0 when the
// header is wrong, the table is absent or its map name has no entry.
int find_table(const table_file& f, int code, std::string& map_file) {
    if (!header_ok(f)) return 0;
    for (int n = 2; n <= f.count(); ++n) {
        if (get_stream_table_code(f.line(n)) != code) continue;
        line_cursor line(f.line(n));
        std::string keyword, map_name;
        pop_string(line, keyword);
        pop_string(line, map_name);
        // The last entry of the name counts, as a later line overrides.
        bool found = false;
        for (const index_map& e : f.maps) {
            if (e.name == map_name) {
                map_file = e.file;
                found = true;
            }
        }
        return found ? n : 0;
    }
    return 0;
}

void refuse_at(const std::string& kind, const std::string& file, int line, const std::string& detail) {
    refuse(format_text("Error: %s %s, line %d: %s\n", kind.c_str(), file.c_str(), line, detail.c_str()));
}

// The rows of a table by ID: row values 1..ncols.
using rows_by_id = std::map<int, std::vector<double>>;

bool read_rows(const table_file& f, int keyword_line, const code_row& table, rows_by_id& rows) {
    const std::string kind = "stream mapping table file";
    int n = keyword_line + 1;
    int count = 0;
    bool count_read = false;
    if (n <= f.count() && get_stream_table_code(f.line(n)) == stream_key_num_ids) {
        line_cursor line(f.line(n));
        std::string keyword;
        pop_string(line, keyword);
        count_read = pop_int_strict(line, count);
    }
    if (!count_read || count <= 0) {
        fail_and_report(66, table.label);
        return false;
    }
    n += 2;  // past NUM_IDS and the header line
    for (int i = 1; i <= count; ++i, ++n) {
        if (n > f.count()) {
            refuse_at(kind, f.name, n - 1,
                      format_text("table %s ends after %d of its %d rows", table.keyword, i - 1, count));
            return false;
        }
        const std::string& s = f.line(n);
        std::size_t pos = 0;
        const std::string id_field = s.substr(0, kIdWidth);
        const std::string id_word = next_word(id_field, pos);
        int id = 0;
        if (!parse_int(id_word, id)) {
            refuse_at(kind, f.name, n,
                      format_text("the ID in characters 1-6 (\"%s\") of table %s is not an integer",
                                  id_field.c_str(), table.keyword));
            return false;
        }
        std::vector<double> values(static_cast<std::size_t>(table.ncols) + 1, 0.0);
        pos = kValueColumn;
        for (int c = 1; c <= table.ncols; ++c) {
            const std::string word = s.size() > kValueColumn ? next_word(s, pos) : std::string();
            if (word.empty()) {
                refuse_at(kind, f.name, n,
                          format_text("the row of ID %d in table %s has %d of its %d values from character 87",
                                      id, table.keyword, c - 1, table.ncols));
                return false;
            }
            if (!parse_double(word, values[static_cast<std::size_t>(c)])) {
                refuse_at(kind, f.name, n,
                          format_text("value %d (\"%s\") of table %s is not a number", c, word.c_str(),
                                      table.keyword));
                return false;
            }
            const char* conc = concentration_in_column(table.keyword, c);
            if (conc && !water_conc_holds(values[static_cast<std::size_t>(c)])) {
                refuse_at(kind, f.name, n,
                          format_text("the row of ID %d in table %s gives the %s concentration (column %d) %s g/m3; "
                                      "it must be %s",
                                      id, table.keyword, conc, c,
                                      exact_number(values[static_cast<std::size_t>(c)]).c_str(),
                                      water_conc_rule().c_str()));
                return false;
            }
        }
        rows[id] = values;
    }
    return true;
}

// The rows' check of a stream index map: an ID below 0 or with no row.
bool read_stream_map(const std::string& map_file, int nlinks, const rows_by_id& rows, vec1<int>& ids) {
    auto check = [&rows](int link, int id) -> std::string {
        if (id >= 0 && (id == 0 || rows.find(id) != rows.end())) return "";
        return format_text("link %d has ID %d, %s", link, id, id < 0 ? "below 0" : "which no row of its table holds");
    };
    return read_stream_index_map(map_file, nlinks, check, ids);
}

// The STREAM_MAP file `map_file` for `nlinks` links: `take(link, word,
// line, file)` receives each link's value as written, the line it stands
// on and the file's name as opened, and returns false when it refused it
// (reported). Codes 115 to 117 are reported here.
bool read_stream_map_values(
    const std::string& map_file, int nlinks,
    const std::function<bool(int, const std::string&, int, const std::string&)>& take) {
    std::string path = map_file;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) {
        fail_and_report(115, "", path);
        return false;
    }
    token_stream in(fp.get());
    std::string word;
    if (!in.next(word) || word.compare(0, kMapHeaderLen, kMapHeader) != 0) {
        fail_and_report(116, "", path);
        return false;
    }
    int count = 0;
    if (!in.next_limited(word, 6) || !in.next(word) || !parse_int(word, count) || count != nlinks) {
        fail_and_report(117, "", path);
        return false;
    }
    for (int link = 1; link <= nlinks; ++link) {
        if (!in.next(word)) word.clear();
        if (!take(link, word, in.token_line(), path)) return false;
    }
    return true;
}

}  // namespace

bool read_stream_index_map(const std::string& map_file, int nlinks,
                           const std::function<std::string(int link, int id)>& check, vec1<int>& ids) {
    ids = vec1<int>(nlinks);
    auto take = [&](int link, const std::string& word, int line, const std::string& path) {
        if (!parse_int(word, ids[link])) {
            fail_and_report(118, "", path);
            return false;
        }
        const std::string why = check(link, ids[link]);
        if (why.empty()) return true;
        refuse_at("stream index map", path, line, why);
        return false;
    };
    return read_stream_map_values(map_file, nlinks, take);
}

bool read_stream_value_map(const std::string& map_file, int nlinks, vec1<double>& values, const char* conc_of) {
    values = vec1<double>(nlinks);
    auto take = [&](int link, const std::string& word, int line, const std::string& path) {
        if (!parse_double(word, values[link])) {
            refuse_at("stream map", path, line,
                      format_text("the value of link %d, \"%s\", is not a number", link, word.c_str()));
            return false;
        }
        if (!conc_of || water_conc_holds(values[link])) return true;
        refuse_at("stream map", path, line,
                  format_text("the %s concentration of link %d is %s g/m3; it must be %s", conc_of, link,
                              exact_number(values[link]).c_str(), water_conc_rule().c_str()));
        return false;
    };
    return read_stream_map_values(map_file, nlinks, take);
}

int get_stream_table_code(const std::string& line) {
    std::size_t p = 0;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    for (const code_row& r : kCodes) {
        if (line.compare(p, r.compared, r.keyword, r.compared) == 0) return r.code;
    }
    return stream_table_none;
}

int stream_table_ncols(int code) {
    const code_row* r = row_of(code);
    return r ? r->ncols : 0;
}

const char* stream_table_keyword(int code) {
    const code_row* r = row_of(code);
    return r ? r->keyword : "";
}

bool check_stream_mapping_table(const std::string& file_name, stream_table_info& info) {
    table_file f;
    if (!load(file_name, f)) {
        fail_and_report(64, "", file_name);
        return false;
    }
    std::printf("\nChecking stream mapping table file...\n");
    for (const check_entry& e : kChecks) {
        std::string map_file;
        bool present = find_table(f, e.code, map_file) != 0;
        if (present) {
            file_ptr map = open_file(map_file, "r", 0);
            present = map != nullptr;
        }
        info.*e.flag = present ? 1 : 0;
        std::string label = e.label;
        if (label.size() < kCheckWidth) label.append(kCheckWidth - label.size(), '.');
        std::printf("  %s%s\n", label.c_str(), present ? "Y" : "N");
    }
    return true;
}

std::string stream_table_problem(const std::string& file_name, int code) {
    const code_row* table = row_of(code);
    if (!table) return std::string();
    const char* file = file_name.c_str();
    table_file f;
    errno = 0;
    if (!load(file_name, f)) return format_text("%s cannot be opened (%s)", file, std::strerror(errno));
    if (f.count() == 0) return format_text("%s is empty", file);
    if (!header_ok(f)) {
        return format_text("line 1 of %s reads \"%s\" where %s must begin it", file, echoed(f.line(1)).c_str(),
                           kFileHeader);
    }
    int n = 2;
    while (n <= f.count() && get_stream_table_code(f.line(n)) != code) ++n;
    if (n > f.count()) return format_text("%s has no %s table", file, table->keyword);
    line_cursor line(f.line(n));
    std::string keyword, map_name;
    pop_string(line, keyword);
    if (!pop_string(line, map_name))
        return format_text("its %s line (%s, line %d) names no index map", table->keyword, file, n);
    const index_map* entry = nullptr;
    for (const index_map& e : f.maps) {
        if (e.name == map_name) entry = &e;  // a later line overrides
    }
    if (!entry) {
        return format_text("its %s line (%s, line %d) names the index map %s, which no ST_INDEX_MAP line of %s "
                           "names",
                           table->keyword, file, n, echoed(map_name).c_str(), file);
    }
    std::string path = entry->file;
    errno = 0;
    if (!open_file(path, "r", 0)) {
        return format_text("its index map %s (%s, line %d) cannot be opened (%s)", entry->file.c_str(), file,
                           entry->line, std::strerror(errno));
    }
    return std::string();
}

bool read_stream_table_by_link(const std::string& file_name, int code, int nlinks, vec1<int>& ids,
                               mat2<double>& values) {
    const code_row* table = row_of(code);
    table_file f;
    if (!load(file_name, f)) {
        fail_and_report(64, "", file_name);
        return false;
    }
    std::string map_file;
    const int keyword_line = table ? find_table(f, code, map_file) : 0;
    if (keyword_line == 0) {
        fail_and_report(66, table ? table->label : "");
        return false;
    }
    rows_by_id rows;
    if (!read_rows(f, keyword_line, *table, rows)) return false;
    if (!read_stream_map(map_file, nlinks, rows, ids)) return false;
    values = mat2<double>(nlinks, table->ncols);
    for (int link = 1; link <= nlinks; ++link) {
        if (ids[link] == 0) continue;
        const std::vector<double>& v = rows.at(ids[link]);
        for (int c = 1; c <= table->ncols; ++c) values[link][c] = v[static_cast<std::size_t>(c)];
    }
    return true;
}

}  // namespace kesta
