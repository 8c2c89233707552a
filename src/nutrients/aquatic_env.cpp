#include "nutrients/aquatic_env.hpp"

#include <cstring>

#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "input/stream_mapping_tables.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {
namespace {

constexpr const char* kHeader = "AQUATIC_ENV_ZEP10";
constexpr std::size_t kHeaderLen = 17;
constexpr int kValueLines = 10;
// What a value line of a block holds: the rates or the thetas of `count`
// pairs from `first` on, or `count` of the unused values from `first` on.
enum class line_field { rate, theta, unused };
struct value_line {
    line_field field;
    int first;
    int count;
};
constexpr value_line kValueLayout[kValueLines] = {
    {line_field::rate, aq_chlorophyll_ratio, 7},  {line_field::theta, aq_chlorophyll_ratio, 7},
    {line_field::rate, aq_nh4_oxidation, 4},      {line_field::theta, aq_nh4_oxidation, 4},
    {line_field::rate, aq_cbod_deoxygenation, 4}, {line_field::theta, aq_cbod_deoxygenation, 4},
    {line_field::rate, aq_algal_growth_max, 7},   {line_field::theta, aq_algal_growth_max, 7},
    {line_field::unused, 0, 4},                   {line_field::unused, 4, 4}};

// Every rate, theta and unused value of a block stands on exactly one line.
constexpr bool layout_covers_block() {
    int rates[aq_rate_pair_count] = {}, thetas[aq_rate_pair_count] = {}, unused[aq_unused_rate_count] = {};
    for (const value_line& l : kValueLayout) {
        const int size = l.field == line_field::unused ? aq_unused_rate_count : aq_rate_pair_count;
        if (l.first < 0 || l.count < 1 || l.first + l.count > size) return false;
        int* seen = l.field == line_field::rate ? rates : l.field == line_field::theta ? thetas : unused;
        for (int i = l.first; i < l.first + l.count; ++i) ++seen[i];
    }
    for (int i = 0; i < aq_rate_pair_count; ++i)
        if (rates[i] != 1 || thetas[i] != 1) return false;
    for (int i = 0; i < aq_unused_rate_count; ++i)
        if (unused[i] != 1) return false;
    return true;
}
static_assert(layout_covers_block(), "the value lines hold each value of a rate block once");

// The value at position j of line `l` of `rates`.
double& value_at(aq_rate_block& rates, const value_line& l, int j) {
    const int i = l.first + j;
    switch (l.field) {
        case line_field::rate: return rates.pair[i].rate;
        case line_field::theta: return rates.pair[i].theta;
        case line_field::unused: break;
    }
    return rates.unused[i];
}

// What the value at position j of line `l` is, for the messages.
std::string value_name(const value_line& l, int j) {
    if (l.field == line_field::unused) return "";
    const char* name = aq_rate_rows[l.first + j].name;
    return l.field == line_field::theta ? std::string("theta of the ") + name : std::string(name);
}

// The reason a value cannot stand at position j of line `l`, or null when
// it can. Every theta is above 0 (a theta of 0 or less has no power
// theta^(T - 20)); the unused values may be anything.
const char* rate_breach(const value_line& l, int j, double v) {
    switch (l.field) {
        case line_field::theta: return v > 0.0 ? nullptr : "it must be above 0";
        case line_field::unused: return nullptr;
        case line_field::rate: break;
    }
    if (aq_rate_rows[l.first + j].rule == aq_rate_rule::not_negative && !(v >= 0.0)) return "it must be 0 or more";
    return nullptr;
}

bool begins_with(const std::string& line, const char* word) {
    return line.compare(0, std::strlen(word), word) == 0;
}

bool blank(const std::string& line) {
    for (char c : line)
        if (!is_separator(c) && c != '\r') return false;
    return true;
}

bool refuse_at(const aquatic_env& env, int line, const std::string& what) {
    return refuse(format_text("Error: aquatic environment file %s, line %d: %s\n", env.file_name.c_str(), line,
                              what.c_str()));
}

// The second token of line n into `value`.
std::string second_token(const std::string& line) {
    line_cursor c(line);
    std::string keyword, value;
    pop_string(c, keyword);
    pop_string(c, value);
    return value;
}

// One block's ten value lines from line n on into `rates`.
bool read_values(const aquatic_env& env, const std::vector<std::string>& lines, int n, aq_rate_block& rates) {
    for (int k = 0; k < kValueLines; ++k) {
        const int at = n + k;
        if (at > static_cast<int>(lines.size()))
            return refuse_at(env, at - 1, format_text("the file ends in the block, after %d of its ten value lines", k));
        line_cursor c(lines[static_cast<std::size_t>(at - 1)]);
        const value_line& layout = kValueLayout[k];
        for (int j = 0; j < layout.count; ++j) {
            double v = 0.0;  // a value missing at the end of the line
            if (!c.at_end() && !peek_token(c).empty() && !pop_double_strict(c, v))
                return refuse_at(env, at, "value \"" + peek_token(c) + "\" is not a number");
            if (const char* why = rate_breach(layout, j, v))
                return refuse_at(env, at,
                                 format_text("value %d, the %s, is %g; %s", j + 1, value_name(layout, j).c_str(), v,
                                             why));
            value_at(rates, layout, j) = v;
        }
        if (!peek_token(c).empty())
            return refuse_at(env, at,
                             format_text("value \"%s\" is one too many: value line %d of a block holds %d values",
                                         peek_token(c).c_str(), k + 1, layout.count));
    }
    return true;
}

// The id blocks from line n to the end of the file.
bool read_blocks(aquatic_env& env, const std::vector<std::string>& lines, int n) {
    const int count = static_cast<int>(lines.size());
    while (n <= count) {
        const std::string& text = lines[static_cast<std::size_t>(n - 1)];
        // The map and count lines may stand among the blocks.
        if (blank(text) || begins_with(text, "OV_MAP") || begins_with(text, "ST_MAP") ||
            begins_with(text, "NUM_IDS")) {
            ++n;
            continue;
        }
        line_cursor c(text);
        int id = 0;
        if (!pop_int_strict(c, id))
            return refuse_at(env, n, "\"" + peek_token(c) + "\" where the id of a block should stand");
        if (id > env.num_ids) {
            g_error_record.fail(78, "", env.file_name, id, env.num_ids);
            g_error_record.detail = format_text("(file %s, line %d)", env.file_name.c_str(), n);
            return false;
        }
        if (id < 1) return refuse_at(env, n, format_text("block id %d: ids count from 1", id));
        aq_rate_block& rates = env.rates[static_cast<std::size_t>(id)];
        rates = aq_rate_block();
        env.given[static_cast<std::size_t>(id)] = 1;
        if (n + 1 <= count && begins_with(lines[static_cast<std::size_t>(n)], "DEFAULT")) {
            n += 2;
            continue;
        }
        if (!read_values(env, lines, n + 1, rates)) return false;
        n += 1 + kValueLines;
    }
    return true;
}

// The overland ids, each checked to have a block.
bool read_overland_ids(aquatic_env& env, model_state& m) {
    std::string name = env.overland_map;
    strip_quotes(name);
    file_ptr fp = name.empty() ? nullptr : open_file(name, "r", 0);
    if (!fp) {
        g_error_record.fail(81, "", name);
        if (env.overland_map.empty())
            g_error_record.detail = "(the aquatic environment file " + env.file_name + " has no OV_MAP line)";
        else
            g_error_record.detail = "(file " + name + ")";
        return false;
    }
    env.overland_ids = vec1<int>(m.ncells);
    if (!read_id_map(m, fp.get(), name, env.overland_ids)) return false;
    for (int k = 1; k <= m.ncells; ++k) {
        const int id = env.overland_ids[k];
        if (env.has_block(id)) continue;
        int row = 0, col = 0;
        cell_row_col(m, k, row, col);
        return refuse(format_text("Error: overland aquatic environment map %s: the cell at row %d, column %d has id "
                                  "%d, which has no block in the aquatic environment file %s (NUM_IDS %d).\n",
                                  name.c_str(), row, col, id, env.file_name.c_str(), env.num_ids));
    }
    return true;
}

}  // namespace

void read_aquatic_env(aquatic_env& env, model_state& m) {
    say(m, format_text("Reading the aquatic environment file %s.\n", env.file_name.c_str()));
    std::string path = env.file_name;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) {
        g_error_record.fail(76, "", env.file_name);
        if (env.file_name.empty()) g_error_record.detail = "(NUTRIENTS needs an AQ_ENV card naming the file)";
        return;
    }
    std::vector<std::string> lines;
    line_cursor text;
    while (read_line(text, fp.get())) lines.push_back(text.text());
    fp.reset();
    if (lines.empty() || lines[0].compare(0, kHeaderLen, kHeader) != 0) {
        g_error_record.fail(77, kHeader, env.file_name);
        return;
    }
    const int count = static_cast<int>(lines.size());
    int num_ids_line = 0;
    for (int n = 1; n <= count; ++n) {
        const std::string& l = lines[static_cast<std::size_t>(n - 1)];
        if (begins_with(l, "OV_MAP") && env.overland_map.empty()) env.overland_map = second_token(l);
        if (begins_with(l, "ST_MAP") && env.stream_map.empty()) env.stream_map = second_token(l);
        if (begins_with(l, "NUM_IDS") && num_ids_line == 0) num_ids_line = n;
    }
    if (num_ids_line == 0) {
        refuse(format_text("Error: aquatic environment file %s has no NUM_IDS line: it must give the number of "
                           "environment ids.\n",
                           env.file_name.c_str()));
        return;
    }
    line_cursor c(lines[static_cast<std::size_t>(num_ids_line - 1)]);
    std::string keyword;
    pop_string(c, keyword);
    const std::string value = peek_token(c);
    if (!pop_int_strict(c, env.num_ids) || env.num_ids < 1 || env.num_ids > kMaxAquaticIds) {
        refuse_at(env, num_ids_line,
                  format_text("NUM_IDS \"%s\": give a whole number of ids from 1 to %d", value.c_str(), kMaxAquaticIds));
        env.num_ids = 0;
        return;
    }
    env.rates.assign(static_cast<std::size_t>(env.num_ids) + 1, aq_rate_block());
    env.given.assign(static_cast<std::size_t>(env.num_ids) + 1, 0);
    if (!read_blocks(env, lines, num_ids_line + 2)) return;
    read_overland_ids(env, m);
}

void read_aquatic_stream_ids(aquatic_env& env, model_state& m) {
    std::string name = env.stream_map;
    strip_quotes(name);
    if (name.empty()) {
        refuse(format_text("Error: aquatic environment file %s has no ST_MAP line: the channel network's nodes "
                           "need their environment ids from a stream map.\n",
                           env.file_name.c_str()));
        return;
    }
    vec1<int> by_link;
    auto check = [&](int link, int id) -> std::string {
        if (!link_is_channel(m.ltype[link]) && !link_is_lake(m.ltype[link])) return "";
        if (env.has_block(id)) return "";
        return format_text("link %d has id %d, which has no block in the aquatic environment file %s (NUM_IDS %d)",
                           link, id, env.file_name.c_str(), env.num_ids);
    };
    if (!read_stream_index_map(name, m.nlinks, check, by_link)) return;
    env.stream_ids = mat2<int>(m.maxnodes, m.nlinks);
    for (int link = 1; link <= m.nlinks; ++link)
        for (int node = 1; node <= m.maxnodes; ++node) env.stream_ids[node][link] = by_link[link];
}

}  // namespace kesta
