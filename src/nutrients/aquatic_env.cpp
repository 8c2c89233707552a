#include "nutrients/aquatic_env.hpp"

#include <cstring>

#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "input/reader_support.hpp"
#include "input/stream_mapping_tables.hpp"
#include "model/model_state.hpp"

namespace kesta {
namespace {

constexpr const char* kHeader = "AQUATIC_ENV_ZEP10";
constexpr std::size_t kHeaderLen = 17;
constexpr int kValueLines = 10;
// Entries of the rate block that value lines 1 to 10 fill, -1 ending a line.
constexpr int kLineEntries[kValueLines][8] = {
    {0, 2, 4, 6, 8, 10, 12, -1},      {1, 3, 5, 7, 9, 11, 13, -1},      {14, 16, 18, 20, -1},
    {15, 17, 19, 21, -1},             {22, 24, 26, 28, -1},             {23, 25, 27, 29, -1},
    {30, 32, 34, 36, 38, 40, 42, -1}, {31, 33, 35, 37, 39, 41, 43, -1}, {44, 45, 46, 47, -1},
    {48, 49, 50, 51, -1}};

// What the entries of a rate block are, for the messages, and which values
// the kinetics can take: the ratios, the rates of the losses, the growth
// and the reaeration are 0 or more, every theta is above 0 (a theta of 0
// or less has no power theta^(T - 20)); the benthic sources may be sinks,
// and lines 9 and 10 are not used.
enum class rate_rule { any, not_negative, positive };

struct rate_entry {
    const char* what;
    rate_rule rule;
};

constexpr rate_entry kRateEntries[aq_rate_count] = {
    {"algae to chlorophyll ratio", rate_rule::not_negative},
    {"theta of the algae to chlorophyll ratio", rate_rule::positive},
    {"nitrogen fraction of algae", rate_rule::not_negative},
    {"theta of the nitrogen fraction of algae", rate_rule::positive},
    {"phosphorus fraction of algae", rate_rule::not_negative},
    {"theta of the phosphorus fraction of algae", rate_rule::positive},
    {"oxygen per algal growth", rate_rule::not_negative},
    {"theta of the oxygen per algal growth", rate_rule::positive},
    {"oxygen per algal respiration", rate_rule::not_negative},
    {"theta of the oxygen per algal respiration", rate_rule::positive},
    {"oxygen per ammonium oxidised", rate_rule::not_negative},
    {"theta of the oxygen per ammonium oxidised", rate_rule::positive},
    {"oxygen per nitrite oxidised", rate_rule::not_negative},
    {"theta of the oxygen per nitrite oxidised", rate_rule::positive},
    {"ammonium oxidation rate", rate_rule::not_negative},
    {"theta of the ammonium oxidation rate", rate_rule::positive},
    {"nitrite oxidation rate", rate_rule::not_negative},
    {"theta of the nitrite oxidation rate", rate_rule::positive},
    {"organic nitrogen hydrolysis rate", rate_rule::not_negative},
    {"theta of the organic nitrogen hydrolysis rate", rate_rule::positive},
    {"organic phosphorus decay rate", rate_rule::not_negative},
    {"theta of the organic phosphorus decay rate", rate_rule::positive},
    {"CBOD decay rate", rate_rule::not_negative},
    {"theta of the CBOD decay rate", rate_rule::positive},
    {"reaeration rate", rate_rule::not_negative},
    {"theta of the reaeration rate", rate_rule::positive},
    {"CBOD settling rate", rate_rule::not_negative},
    {"theta of the CBOD settling rate", rate_rule::positive},
    {"sediment oxygen demand", rate_rule::not_negative},
    {"theta of the sediment oxygen demand", rate_rule::positive},
    {"maximum algal growth rate", rate_rule::not_negative},
    {"theta of the maximum algal growth rate", rate_rule::positive},
    {"algal respiration rate", rate_rule::not_negative},
    {"theta of the algal respiration rate", rate_rule::positive},
    {"algal settling rate", rate_rule::not_negative},
    {"theta of the algal settling rate", rate_rule::positive},
    {"benthic dissolved phosphorus source", rate_rule::any},
    {"theta of the benthic dissolved phosphorus source", rate_rule::positive},
    {"benthic ammonium source", rate_rule::any},
    {"theta of the benthic ammonium source", rate_rule::positive},
    {"organic nitrogen settling rate", rate_rule::not_negative},
    {"theta of the organic nitrogen settling rate", rate_rule::positive},
    {"organic phosphorus settling rate", rate_rule::not_negative},
    {"theta of the organic phosphorus settling rate", rate_rule::positive},
    {"", rate_rule::any}, {"", rate_rule::any}, {"", rate_rule::any}, {"", rate_rule::any},
    {"", rate_rule::any}, {"", rate_rule::any}, {"", rate_rule::any}, {"", rate_rule::any},
};

// The reason a value cannot stand at `entry`, or null when it can.
const char* rate_breach(int entry, double v) {
    switch (kRateEntries[entry].rule) {
        case rate_rule::not_negative: return v >= 0.0 ? nullptr : "it must be 0 or more";
        case rate_rule::positive: return v > 0.0 ? nullptr : "it must be above 0";
        case rate_rule::any: return nullptr;
    }
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
        for (int j = 0; kLineEntries[k][j] >= 0; ++j) {
            double v = 0.0;  // a value missing at the end of the line
            if (!c.at_end() && !peek_token(c).empty() && !pop_double_strict(c, v))
                return refuse_at(env, at, "value \"" + peek_token(c) + "\" is not a number");
            const int entry = kLineEntries[k][j];
            if (const char* why = rate_breach(entry, v))
                return refuse_at(env, at,
                                 format_text("value %d, the %s, is %g; %s", j + 1, kRateEntries[entry].what, v, why));
            rates.v[entry] = v;
        }
        if (!peek_token(c).empty())
            return refuse_at(env, at,
                             format_text("value \"%s\" is one too many: value line %d of a block holds %d values",
                                         peek_token(c).c_str(), k + 1,
                                         k == 0 || k == 1 || k == 6 || k == 7 ? 7 : 4));
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
