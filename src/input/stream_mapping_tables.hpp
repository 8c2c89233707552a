// Channel parameters given by ID: a stream mapping-table file holds tables of
// values by ID, and a stream index map (a STREAM_MAP file) gives every link
// its ID. A link of ID 0 keeps the values it has.
//
// Stream mapping-table file, line by line:
//   KESTA_STREAM_INDEX_MAP_TABLES ...      (the first 29 characters count)
//   ST_INDEX_MAP <file> <map name>          (one or more)
//   <TABLE KEYWORD> <map name>
//   NUM_IDS n
//   <one header line>
//   n rows: ID in characters 1-6, free text in 7-86, values from character 87
//
// Stream index map:
//   STREAM_MAP
//   <keyword> <link count>
//   one ID per link, in link order
#pragma once

#include <functional>
#include <string>

#include "core/arrays.hpp"

namespace kesta {

// Codes of the lines of a stream mapping-table file; 0 is any other line.
enum stream_table_code : int {
    stream_table_none = 0,
    stream_table_roughness = 1,
    stream_table_zep_n = 2,
    stream_table_zep_p = 3,
    stream_table_zep_c = 4,
    stream_table_zep_oth = 5,
    stream_table_dispersion = 6,
    stream_key_num_ids = 37,
    stream_key_index_map = 38,
};

// Which tables the file holds with an index map that opens (0/1 each).
struct stream_table_info {
    int roughness = 0;
    int zep_n = 0;
    int zep_p = 0;
    int zep_oth = 0;
    int zep_c = 0;
    int dispersion = 0;
};

// Code of a line: the first keyword, in the order of the table of codes,
// whose leading characters the line begins with.
int get_stream_table_code(const std::string& line);
// Value columns of a table; 0 for a code that is no table.
int stream_table_ncols(int code);
// Keyword of a code ("ZEP_N"); empty for a code that is no keyword.
const char* stream_table_keyword(int code);

// The start-up check: prints "\nChecking stream mapping table file...\n"
// and one "  <label>....Y" / "N" line per table. False, with code 64
// reported, when the file does not open.
bool check_stream_mapping_table(const std::string& file_name, stream_table_info& info);

// One table read by link: ids[link] is the link's ID in the table's stream
// index map (0: none) and values[link][c], c = 1..ncols, the table's values
// for that ID. `nlinks` is the network's link count, which the map must
// give. False when refused: code 64 or 66 (the file or the table), 115 to
// 118 (the map), or 4000 with a message naming the file, the line and the
// value (a row that does not read, an ID below 0 or with no row); reported.
// A stream index map alone: one ID per link into ids[1..nlinks]. Codes 115
// to 118 as the catalogue gives them (reported); an ID for which
// `check(link, id)` returns a text is refused with it, naming the file and
// the line.
bool read_stream_index_map(const std::string& map_file, int nlinks,
                           const std::function<std::string(int link, int id)>& check, vec1<int>& ids);

// A STREAM_MAP file of one real value per link into values[1..nlinks]
// (codes 115 to 117 as above; a value that is not a number is refused naming
// the file, the line and the value). With `conc_of` the values are the
// concentrations in water (g/m3) of what it names, and one below 0 or beyond
// what water weighs is refused the same way.
bool read_stream_value_map(const std::string& map_file, int nlinks, vec1<double>& values,
                           const char* conc_of = nullptr);

bool read_stream_table_by_link(const std::string& file_name, int code, int nlinks, vec1<int>& ids,
                               mat2<double>& values);

// Why table `code` of the file cannot be read, as the end of a sentence
// naming the file, the line and what is missing or wrong ("st.tab has no
// ZEP_N table", "its index map reaches.map (st.tab, line 2) cannot be
// opened (...)"); empty when the table and its index map can be had.
std::string stream_table_problem(const std::string& file_name, int code);

}  // namespace kesta
