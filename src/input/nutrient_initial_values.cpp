// Initial values of the nutrient species over land and in the streams: by
// species, a uniform value (kind 3), the nutrient mapping tables (kind 2) or
// a map file (kind 1), as the OV_INIT_* and ST_INIT_* cards chose. Over
// land they are the concentrations of the species' constituent slots (the
// constituents' set-up gives each cell the mass of it in its water), with
// the rain's concentrations; in the streams they are the nodes' initial
// concentrations, which the channel constituents give the water the nodes
// hold at their first step.
#include <algorithm>
#include <array>
#include <string>

#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/input_steps.hpp"
#include "input/mapping_tables.hpp"
#include "input/project_file.hpp"
#include "input/stream_mapping_tables.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "nutrients/aquatic_env.hpp"
#include "nutrients/nutrient_species.hpp"
#include "transport/constituents.hpp"

namespace kesta {
namespace {

// Entries of the overland initial-value cards, in card order.
constexpr int kDocEntry = 9, kFocEntry = 10, kDispersionEntry = 11;

// The mapping table of an entry and the column (1-based) that holds it.
struct table_column {
    int table;
    int column;
};
// The overland, stream and groundwater tables of each group of species.
struct group_tables {
    nutrient_table_group group;
    int overland;
    int stream;
    int groundwater;
    int columns;  // of the overland table's rain line (PRECIP_CONC)
};
constexpr group_tables kGroupTables[] = {
    {nutrient_table_group::nitrogen, table_zep_n, stream_table_zep_n, table_zep_gw_n, 4},
    {nutrient_table_group::phosphorus, table_zep_p, stream_table_zep_p, table_zep_gw_p, 3},
    {nutrient_table_group::other, table_zep_oth, stream_table_zep_oth, table_zep_gw_oth, 3}};

constexpr const group_tables& tables_of(nutrient_table_group g) {
    return g == nutrient_table_group::nitrogen ? kGroupTables[0]
           : g == nutrient_table_group::phosphorus ? kGroupTables[1]
                                                   : kGroupTables[2];
}

struct entry_tables {
    table_column overland[kOverlandInitialKinds];
    table_column stream[kNutrientSpecies];
};
constexpr entry_tables make_entry_tables() {
    entry_tables t{};
    for (const water_species_row& r : kWaterSpecies) {
        t.overland[r.species] = {tables_of(r.group).overland, r.column};
        t.stream[r.species] = {tables_of(r.group).stream, r.column};
    }
    t.overland[kDocEntry] = {table_zep_c, 1};
    t.overland[kFocEntry] = {table_zep_c, 2};
    t.overland[kDispersionEntry] = {table_dispersion, 1};
    return t;
}
constexpr entry_tables kEntryTables = make_entry_tables();
static_assert(kDocEntry == kNutrientSpecies && kDispersionEntry + 1 == kOverlandInitialKinds,
              "the overland entries are the species, then DOC, its fraction and the dispersion");
// The mapping table of each overland entry and the column that holds it.
constexpr const table_column (&kTables)[kOverlandInitialKinds] = kEntryTables.overland;

// "Error: card ST_INIT_NO2 on line 47 of project file run.prj takes the
// initial Nitrite (NO2-) from ", the start of the refusal of a card that
// asked for a table value the run cannot have.
std::string table_card_words(const model_state& m, const zep_initial_source& src, const char* name) {
    return format_text("Error: card %s on line %d of project file %s takes the initial %s from ", src.card.c_str(),
                       src.line, m.project_file.c_str(), name);
}

// " (line 12 has the unknown card ...: write CARD there)" when a misspelt
// line of the project is why no card `card` was read; else nothing.
std::string misspelt_note(const model_state& m, const char* card) {
    const std::string note = misspelling_of(m.project_options, card);
    return note.empty() ? note : " (" + note + ")";
}

// The words of a kind of table file for a refusal of a card whose table
// the run cannot have.
struct table_file_kind {
    const char* card;        // the card that names the file
    const char* a_file;      // "a mapping-table file"
    const char* none_named;  // what no card names: "one"
    const char* file;        // before the file's name: "mapping-table file"
    const char* checked;     // "the mapping tables were checked"
};
constexpr table_file_kind kMappingTableFile{"MAPPING_TABLE", "a mapping-table file", "one", "mapping-table file",
                                            "the mapping tables were checked"};
constexpr table_file_kind kStreamTableFile{"ST_MAPPING_TABLE", "a stream mapping table", "a stream mapping table",
                                           "stream mapping table file", "the stream mapping table was checked"};

// The card of `src` chose the `keyword` table of a file of `kind`, which the
// run cannot have: the project names no such file (not `given`), or
// `problem` says what keeps the table from `file`.
bool refuse_missing_table(const model_state& m, const zep_initial_source& src, const char* name,
                          const table_file_kind& kind, const std::string& keyword, bool given,
                          const std::string& file, std::string problem) {
    std::string text = table_card_words(m, src, name);
    if (!given) {
        text += format_text("the %s table of %s, but no %s card names %s%s.\n", keyword.c_str(), kind.a_file,
                            kind.card, kind.none_named, misspelt_note(m, kind.card).c_str());
    } else {
        if (problem.empty()) problem = std::string("the table was not found when ") + kind.checked;
        text += format_text("the %s table of %s %s, but %s.\n", keyword.c_str(), kind.file, file.c_str(),
                            problem.c_str());
    }
    return refuse(text);
}

bool non_negative(double v) { return v >= 0.0; }
bool overland_dispersion(double v) { return v >= 0.0 && v <= kMostOverlandDispersion; }

// The values of entry e into `dest` from the source its card chose; false
// when the run stops. `what` is "the %s constituent" or, for the
// dispersion, "the overland constituent %s".
bool assign_entry(model_state& m, int e, vec1<double>& dest) {
    const zep_initial_source& src = m.project_options.ov_init[static_cast<std::size_t>(e)];
    const char* name = nutrient_display_name(e);
    const bool overland_words = e == kDispersionEntry;
    switch (src.kind) {
    case 3:
        say(m, overland_words
                   ? format_text("Assigning spatially uniform parameters for the overland constituent %s\n", name)
                   : format_text("Assigning spatially uniform parameters for the %s constituent\n", name));
        dest.fill(src.value);
        break;
    case 2: {
        const table_column t = kTables[e];
        const bool given = m.mapping_table_given != 0;
        if (!given || !mapping_table_present(m.mapping_tables, t.table))
            return refuse_missing_table(
                m, src, name, kMappingTableFile, get_table_keyword(t.table), given, m.mapping_table,
                given ? mapping_table_problem(m.mapping_tables, m.mapping_table, t.table) : std::string());
        say(m, overland_words
                   ? format_text("Assigning parameters for the overland constituent %s from the mapping table.\n", name)
                   : format_text("Assigning parameters for the %s constituent from the mapping table.\n", name));
        std::array<vec1<double>*, 7> columns{};
        columns[static_cast<std::size_t>(t.column - 1)] = &dest;
        if (!read_table_columns(m, t.table, columns)) return false;
        break;
    }
    case 1: {
        if (e == kFocEntry) say(m, format_text("Opening file: %s\n", src.map_name.c_str()));
        std::string path = src.map_name;
        strip_quotes(path);
        file_ptr fp = open_file(path, "r", 0);
        if (!fp) {
            print_both(overland_words ? format_text("Error opening initial condition continuous map file \nfor the "
                                                    "overland grid %s constituent. \nGiven filename: %s\n",
                                                    name, src.map_name.c_str())
                                      : format_text("Error opening initial condition continuous map file \nfor the "
                                                    "grid %s constituent. \nGiven filename: %s\n",
                                                    name, src.map_name.c_str()));
            g_error_record.fail(80, "", src.map_name);
            return false;
        }
        say(m, overland_words
                   ? format_text("Assigning parameters from a continuous map for the overland constituent %s\n", name)
                   : format_text("Assigning parameters from a continuous map for the constituent %s\n", name));
        if (!read_real_map(m, fp.get(), path, dest)) return false;
        break;
    }
    default: {
        // No card: the values of the entry's table, when the mapping-table
        // file holds it, stay in place.
        const table_column t = kTables[e];
        if (!m.mapping_table_given || !mapping_table_present(m.mapping_tables, t.table)) return true;
        std::array<vec1<double>*, 7> columns{};
        columns[static_cast<std::size_t>(t.column - 1)] = &dest;
        if (!read_table_columns(m, t.table, columns)) return false;
        break;
    }
    }
    // A negative value would stop the kinetics at the first reaction; a
    // dispersion beyond what water over land has, or a concentration beyond
    // what water weighs, is an error of input.
    const std::string most = format_text("it must be from 0 to %g m2/s", kMostOverlandDispersion);
    const std::string conc = "it must be " + water_conc_rule();
    const value_rule rule = e == kDispersionEntry ? value_rule{name, "m2/s", overland_dispersion, most.c_str()}
                            : e == kFocEntry      ? value_rule{name, "", non_negative, "it must be 0 or more"}
                                                  : value_rule{name, "g/m3", water_conc_holds, conc.c_str()};
    std::string detail;
    const std::string source = src.kind == 3   ? "the uniform value of its OV_* card"
                               : src.kind == 1 ? "map " + src.map_name
                                               : value_source(m, false, "", kTables[e].table);
    if (first_breach(m, dest, rule, source, detail) != 0)
        return refuse("Error: initial overland nutrient value: " + detail + "\n");
    return true;
}

// The stream table and column of each species.
constexpr const table_column (&kStreamTables)[kNutrientSpecies] = kEntryTables.stream;

bool stream_table_present(const model_state& m, int code) {
    const stream_table_info& t = m.st_mapping_table_info;
    if (!m.st_mapping_table_given) return false;
    switch (code) {
    case stream_table_zep_n: return t.zep_n != 0;
    case stream_table_zep_p: return t.zep_p != 0;
    case stream_table_zep_oth: return t.zep_oth != 0;
    case stream_table_zep_c: return t.zep_c != 0;
    case stream_table_dispersion: return t.dispersion != 0;
    default: return false;
    }
}

// Column t.column of stream table t.table per link into by_link (links with
// ID 0 in the table's index map keep their value).
bool stream_table_values(model_state& m, table_column t, vec1<double>& by_link) {
    vec1<int> ids;
    mat2<double> values;
    if (!read_stream_table_by_link(m.st_mapping_table, t.table, m.nlinks, ids, values)) return false;
    for (int l = 1; l <= m.nlinks; ++l)
        if (ids[l] != 0) by_link[l] = values[l][t.column];
    return true;
}

// The initial concentration of species e per link (links with ID 0 in a
// table's index map keep 0) into by_link; false when the run stops.
bool stream_values(model_state& m, int e, vec1<double>& by_link) {
    const zep_initial_source& src = m.project_options.st_init[static_cast<std::size_t>(e)];
    const char* name = nutrient_display_name(e);
    by_link = vec1<double>(m.nlinks);
    switch (src.kind) {
    case 3:
        say(m, format_text("Assigning spatially uniform parameters for the stream constituent %s\n", name));
        by_link.fill(src.value);
        return true;
    case 2: {
        const table_column t = kStreamTables[e];
        if (!stream_table_present(m, t.table))
            return refuse_missing_table(
                m, src, name, kStreamTableFile, stream_table_keyword(t.table), m.st_mapping_table_given != 0,
                m.st_mapping_table,
                m.st_mapping_table_given ? stream_table_problem(m.st_mapping_table, t.table) : std::string());
        say(m, format_text("Assigning parameters for the stream constituent %s from the mapping table.\n", name));
        return stream_table_values(m, t, by_link);
    }
    case 1: {
        std::string path = src.map_name;
        strip_quotes(path);
        if (!open_file(path, "r", 0)) {
            print_both(format_text("Error opening initial condition continuous map file \nfor the stream %s "
                                   "constituent. \nGiven filename: %s\n",
                                   name, src.map_name.c_str()));
            g_error_record.fail(80, "", src.map_name);
            return false;
        }
        say(m, format_text("Assigning parameters from a continuous map for the stream constituent %s\n", name));
        return read_stream_value_map(path, m.nlinks, by_link, name);
    }
    default: {
        // No card: the values of the species' table, when given, stay in
        // place.
        const table_column t = kStreamTables[e];
        return !stream_table_present(m, t.table) || stream_table_values(m, t, by_link);
    }
    }
}

// The precipitation concentrations (g/m3) of the species: the PRECIP_CONC
// line of each of the tables ZEP_N, ZEP_P and ZEP_OTH the mapping-table
// file holds, one value per table column; a species whose table gives
// none brings none with the rain.
bool read_precip_concs(model_state& m, int first) {
    for (int e = 0; e < kNutrientSpecies; ++e) m.precip_conc.at(first + e) = 0.0;
    for (const group_tables& t : kGroupTables) {
        if (!m.mapping_table_given || !mapping_table_present(m.mapping_tables, t.overland)) continue;
        vec1<double> precip(t.columns);
        grid_header header;
        if (!read_mapping_table(m.mapping_tables, m.mapping_table, t.overland, {}, header, m.mask, m.rows, m.cols,
                                m.summary_fp.get(), t.columns, &precip))
            return false;
        for (const water_species_row& r : kWaterSpecies) {
            if (r.group != t.group) continue;
            // The reader refused a value out of bounds on its line.
            m.precip_conc.at(first + r.species) = precip[r.column];
        }
    }
    return true;
}

}  // namespace

void assign_stream_constituents(model_state& m) {
    zep_streams& st = m.zep->streams;
    vec1<double> by_link;
    for (int e = 0; e < kNutrientSpecies; ++e) {
        if (m.project_options.st_init[static_cast<std::size_t>(e)].kind < 1 &&
            !stream_table_present(m, kStreamTables[e].table))
            continue;
        if (!stream_values(m, e, by_link)) return;
        vec1<double>& conc = st.init_conc[e];
        for (int l = 1; l <= m.nlinks; ++l) {
            if (!link_is_channel(m.ltype[l])) continue;
            if (!(by_link[l] >= 0.0))
                return void(refuse(format_text("Error: initial stream nutrient value: %s %g on link %d; it must be 0 "
                                               "or more.\n",
                                               nutrient_display_name(e), by_link[l], l)));
            for (int j = 1; j <= m.nx[l]; ++j) conc[st.index(l, j)] = by_link[l];
        }
    }
    // DOC, its organic-carbon fraction and the dispersion have no stream
    // cards: the stream ZEP_C and DISPERSION tables give them where read,
    // the links without an ID keep what they hold.
    struct stream_extra {
        table_column source;
        int entry;
        vec1<double>* dest;
    };
    const stream_extra extras[] = {{{stream_table_zep_c, 1}, kDocEntry, &st.doc},
                                   {{stream_table_zep_c, 2}, kFocEntry, &st.foc},
                                   {{stream_table_dispersion, 1}, kDispersionEntry, &st.dispersion}};
    for (const stream_extra& x : extras) {
        if (!stream_table_present(m, x.source.table)) continue;
        vec1<int> ids;
        mat2<double> values;
        if (!read_stream_table_by_link(m.st_mapping_table, x.source.table, m.nlinks, ids, values)) return;
        for (int l = 1; l <= m.nlinks; ++l) {
            if (!link_is_channel(m.ltype[l]) || ids[l] == 0) continue;
            const double v = values[l][x.source.column];
            if (!(v >= 0.0))
                return void(refuse(format_text("Error: stream mapping table %s: %s %g for link %d (ID %d); it "
                                               "must be 0 or more.\n",
                                               m.st_mapping_table.c_str(), nutrient_display_name(x.entry), v, l,
                                               ids[l])));
            if (x.entry == kDispersionEntry && v > kMostChannelDispersion)
                return void(refuse(format_text("Error: stream mapping table %s, table DISPERSION: %s m2/s for link "
                                               "%d (ID %d); it must be at most %g m2/s, the most a river has.\n",
                                               m.st_mapping_table.c_str(), exact_number(v).c_str(), l, ids[l],
                                               kMostChannelDispersion)));
            for (int j = 1; j <= m.nx[l]; ++j) (*x.dest)[st.index(l, j)] = v;
        }
    }
}

void assign_zep_gw_tables(model_state& m) {
    // The species of each table's columns (their rows' groundwater
    // columns); a table's further columns are read and not used. Every
    // column fills a species of its own kind: algae, which live only in
    // the light, have none.
    const int first = m.first_nutrient_constituent;
    if (first < 1 || !m.mapping_table_given) return;
    for (const group_tables& t : kGroupTables) {
        if (!mapping_table_present(m.mapping_tables, t.groundwater)) continue;
        if (!m.water_table_given) {
            warn(format_text("The %s table of mapping-table file %s has no effect without WATER_TABLE: no "
                             "groundwater reaches the surface or the soil.\n",
                             get_table_keyword(t.groundwater).c_str(), m.mapping_table.c_str()));
            continue;
        }
        std::array<vec1<double>*, 7> columns{};
        for (const water_species_row& r : kWaterSpecies) {
            if (r.group == t.group && r.gw_column > 0)
                columns[static_cast<std::size_t>(r.gw_column - 1)] =
                    &m.gw_conc[static_cast<std::size_t>(first + r.species)];
        }
        if (!read_table_columns(m, t.groundwater, columns)) return;
        for (const water_species_row& r : kWaterSpecies) {
            if (r.group != t.group || r.gw_column < 1) continue;
            const std::string conc = "it must be " + water_conc_rule();
            const value_rule rule{r.display, "g/m3", water_conc_holds, conc.c_str()};
            std::string detail;
            if (first_breach(m, *columns[static_cast<std::size_t>(r.gw_column - 1)], rule,
                             value_source(m, false, "", t.groundwater), detail) != 0)
                return void(refuse("Error: groundwater nutrient concentration: " + detail + "\n"));
        }
    }
}

void assign_grid_constituents(model_state& m) {
    zep_overland& o = m.zep->overland;
    const int first = m.first_nutrient_constituent;
    if (first < 1) return;
    if (!read_precip_concs(m, first)) return;
    for (int e = 0; e < kNutrientSpecies; ++e) {
        if (!assign_entry(m, e, m.contam_conc[static_cast<std::size_t>(first + e)])) return;
    }
    if (!assign_entry(m, kDocEntry, o.doc)) return;
    if (!assign_entry(m, kFocEntry, o.foc)) return;
    if (!assign_entry(m, kDispersionEntry, o.dispersion)) return;
    // One dispersion coefficient for all nine species.
    for (int e = 0; e < kNutrientSpecies; ++e) {
        vec1<double>& disp = m.contam_disp[static_cast<std::size_t>(first + e)];
        std::copy(o.dispersion.data() + 1, o.dispersion.data() + m.ncells + 1, disp.data() + 1);
    }
}

}  // namespace kesta
