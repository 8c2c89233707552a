// The mapping-table file: tables of parameters keyed by an integer ID, each
// tied to an index map (an integer ASCII grid) that gives every cell its ID.
// Spreading a table column through its index map yields one value per
// active cell.
//
// File layout, line by line:
//   KESTA_INDEX_MAP_TABLES ...            (the first 22 characters count)
//   INDEX_MAP <file> <map name>           (zero or more, directly after line 1)
//   <TABLE KEYWORD> <map name>            (the name exactly as on its INDEX_MAP line)
//   NUM_IDS n                             (NUM_CONTAM / NUM_SED for some tables)
//   [PRECIP_CONC v1 v2 ...]               (optional keyword lines)
//   <one header line>
//   n rows: ID in characters 1-6, free text in 7-86, values from character 87
//
// The file is read once into memory (mapping_table_file) and every table is
// served from there. Errors are stored in g_error_record; those the readers
// print a message for (code 4000) and codes 65-71 are reported at once, the
// others (64, 91) are left for the run driver to report.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/line_reader.hpp"
#include "input/ascii_grid.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Keyword ids (map_table_id) of the lines of the file; 0 is a header or data
// line.
enum map_table_id : int {
    table_none = 0,
    table_roughness = 1,
    table_interception = 2,
    table_retention = 3,
    table_green_ampt = 4,
    table_initial_moisture = 5,
    table_richards_havercamp = 6,
    table_richards_brooks = 7,
    table_evapotranspiration = 8,
    table_sediments = 9,
    table_soil_erosion = 10,
    table_contaminants = 11,
    table_wetlands = 12,
    table_material_index = 13,
    table_overland_boundary = 14,
    table_ts_index = 15,
    table_wells = 16,
    table_groundwater = 17,
    table_gw_boundary = 18,
    table_area_reduction = 19,
    table_zep_n = 20,
    table_zep_p = 21,
    table_zep_c = 22,
    table_zep_oth = 23,
    table_dispersion = 24,
    table_zep_soil_c = 25,
    table_zep_soil_n = 26,
    table_zep_soil_p = 27,
    table_zep_gw_n = 28,
    table_zep_gw_p = 29,
    table_zep_gw_oth = 30,
    table_zep_soil_km = 31,
    table_zep_soil_koc = 32,
    key_num_ids = 137,
    key_index_map = 138,
    key_num_contam = 139,
    key_num_sed = 140,
    key_precip_conc = 50000,
    key_partition = 60000,
};

// Keyword id of a line: the first keyword that the line begins with, tried
// in a fixed order (GROUNDWATER_BOUNDARY before GROUNDWATER); 0 when none.
int get_table_id(const std::string& line);
// The keyword text of an id; empty for an id that has none.
std::string get_table_keyword(int id);
// Value columns of a table (SOIL_EROSION_PROPS: 8, without its sediment
// classes); 0 for ids that are no table.
int table_ncols(int id);

// Which tables a mapping-table file holds, one flag (0/1) per table in the
// order of the start-up check.
struct mapping_table_info {
    int roughness = 0;
    int interception = 0;
    int retention = 0;
    int green_ampt = 0;            // GREEN_AMPT_INFILTRATION
    int initial_moisture = 0;      // GREEN_AMPT_INITIAL_SOIL_MOISTURE
    int richards_havercamp = 0;
    int richards_brooks = 0;
    int evapotranspiration = 0;
    int sediments = 0;
    int soil_erosion = 0;          // SOIL_EROSION_PROPS
    int contaminants = 0;
    int wetlands = 0;
    int overland_boundary = 0;
    int gw_wells = 0;              // WELL_TABLE
    int groundwater = 0;
    int gw_boundary = 0;
    int area_reduction = 0;
    int zep_n = 0;
    int zep_p = 0;
    int zep_oth = 0;
    int zep_c = 0;
    int dispersion = 0;
    int zep_soil_c = 0;
    int zep_soil_n = 0;
    int zep_soil_p = 0;
    int zep_gw_n = 0;
    int zep_gw_p = 0;
    int zep_gw_oth = 0;
    int zep_soil_km = 0;
    int zep_soil_koc = 0;
};

struct index_map_entry {
    std::string name;  // the rest of its INDEX_MAP line, quotes kept
    std::string file;  // quotes removed
};

// One mapping-table file held in memory. Lines are numbered from 1, with the
// line end removed and calibration replacement applied as read_line does.
class mapping_table_file {
public:
    // Reads `file_name` whole, unless it is the file already held. False when
    // it does not open (nothing is held then).
    bool open(const std::string& file_name);
    const std::string& name() const { return name_; }

    int line_count() const { return static_cast<int>(lines_.size()); }
    const std::string& line(int n) const { return lines_[static_cast<std::size_t>(n - 1)]; }
    int keyword(int n) const { return keywords_[static_cast<std::size_t>(n - 1)]; }
    // Line 1 begins with the file's header keyword.
    bool header_ok() const { return header_ok_; }
    const std::vector<index_map_entry>& index_maps() const { return maps_; }

    // The keyword line of the first table with this id after the INDEX_MAP
    // lines; 0 when the header is wrong or the table is absent.
    int find_table(int table_id) const;
    // The map name a keyword line refers to: the line from its second word;
    // empty when it has no second word.
    std::string table_map_name(int keyword_line) const;
    // The file of an index-map name (the last INDEX_MAP line of that name);
    // false when no entry has the name.
    bool resolve_index_map(const std::string& map_name, std::string& file) const;

    // The TIME_SERIES_INDEX table is read once per run, before the first
    // table that may refer to it.
    bool ts_index_read() const { return ts_index_read_; }
    void set_ts_index_read() { ts_index_read_ = true; }

private:
    bool open_ = false;
    bool header_ok_ = false;
    bool ts_index_read_ = false;
    int first_table_line_ = 0;  // first line after the INDEX_MAP lines
    std::string name_;
    std::vector<std::string> lines_;
    std::vector<int> keywords_;
    std::vector<index_map_entry> maps_;
};

// Reads the lines of one table in order, as a stream positioned after its
// keyword line would.
class table_cursor {
public:
    table_cursor(const mapping_table_file& file, int keyword_line)
        : file_(&file), last_(keyword_line) {}
    // The next line into `line`; false past the end of the file.
    bool next(line_cursor& line);
    // Line number of the last line read (of the keyword line before any).
    int line_number() const { return last_; }
    const mapping_table_file& file() const { return *file_; }

private:
    const mapping_table_file* file_;
    int last_;
};

// Finds a table: its keyword line and the file of its index map. For
// TIME_SERIES_INDEX and CONTAMINANT_TRANSPORT no map is resolved. False when
// the header is wrong, the table is absent or its map name matches no entry.
bool find_mapping_table(const mapping_table_file& file, int table_id, std::string& index_file,
                        int& keyword_line);

// The count of a NUM_IDS / NUM_CONTAM / NUM_SED line read from the cursor: n
// when the next line is that keyword with a count, 0 when it is another
// line or the end of the file, -1 when the count does not read or is
// negative (a message naming the table and line is printed and code 4000
// reported).
int read_num_ids(table_cursor& cur, int table_id);
int read_num_contam(table_cursor& cur, int table_id);
int read_num_sed(table_cursor& cur, int table_id);
// Reads one line; when it is a keyword line, further lines up to the first
// that is not one. That last line is the table's header and is consumed.
void skip_table_header(table_cursor& cur);
// With a PRECIP_CONC line next: its n values into precip[1..n], then the
// header is skipped; otherwise the line read is the header. False (reported,
// code 4000) when a value does not read.
bool read_precip_conc(table_cursor& cur, int table_id, int n, vec1<double>& precip);
// One data row: the ID from characters 1-6 and `ncols` values from character
// 87 into values[1..ncols]. False (reported, code 4000) when the file ends,
// the ID or a value does not read, or values are missing.
bool read_table_row(table_cursor& cur, int table_id, int& id, int ncols, double* values);

// value_by_id[1..max_id] = 0, then value_by_id[ids[i]] = data[i + 1][column]
// for every row i (IDs 1..max_id).
void table_column_by_id(const mat2<double>& data, int nrows, int column, const std::vector<int>& ids,
                        int max_id, std::vector<double>& value_by_id);
// Walks the grid in row-major order: the k-th mask cell is cells[k] and
// receives the value of its ID; a cell of ID 0 keeps what it held. False
// (reported, code 4000) when the grid has more mask cells than `capacity`.
bool spread_by_id(double* cells, int capacity, const std::vector<double>& value_by_id,
                  const mat2<int>& id_grid, const mat2<int>& mask, int rows, int cols);

// The generic reader: one table's first (up to seven) columns spread to the
// cells through its index map. A null or empty output vector skips its
// column. With n_constituents > 0 and `precip_conc` given, a PRECIP_CONC line
// after NUM_IDS fills precip_conc[1..n_constituents]. Reads the
// TIME_SERIES_INDEX table first when the run has not read it.
bool read_mapping_table(mapping_table_file& file, const std::string& file_name, int table_id,
                        const std::array<vec1<double>*, 7>& columns, grid_header& header,
                        const mat2<int>& mask, int rows, int cols, std::FILE* summary,
                        int n_constituents = 0, vec1<double>* precip_conc = nullptr);

// TIME_SERIES_INDEX: registers every (ID, series name) row with the
// time-series index. An absent table is no error.
bool read_ts_index_table(mapping_table_file& file, const std::string& file_name);

// One wetland category: field k of the table is field[k - 1]. Depths and
// heights are stored in m (table mm / 1000) and rates per second (per day
// / 86400).
struct wetland_props {
    std::array<double, 8> field{};
};

// WETLAND_PROPERTIES (7 columns). The IDs found in the index map are
// renumbered 1, 2, ... in row-major order of first occurrence; their count
// must equal NUM_IDS (code 67) and the largest must not exceed 300 (68).
// `props` gets largest ID + 1 records, filled by category; wetland_mask[k] is
// the category of active cell k (0 for ID 0).
bool read_wetland_table(mapping_table_file& file, const std::string& file_name,
                        std::vector<wetland_props>& props, int& categories, vec1<int>& wetland_mask,
                        grid_header& header, const mat2<int>& mask, int rows, int cols,
                        std::FILE* summary);

// WELL_TABLE (3 columns): every row becomes a well record (column 1 non-zero:
// the well follows the time series of index column 2; else its rate is
// column 2), then every cell of the index map gets its well.
bool read_well_table(model_state& m, mapping_table_file& file, const std::string& file_name,
                     grid_header& header, const mat2<int>& mask, int rows, int cols,
                     std::FILE* summary);

// SOIL_EROSION_PROPS: NUM_IDS, then NUM_SED that must equal `num_sed`
// (code 91, left for the run driver). Its first 8 columns go to `columns`
// (null skips); column 8 + k is the parent-soil fraction of sediment class k
// of every mask cell with a non-zero ID. A row whose capacity coefficient
// (column 1) or erodibility factor (column 8) is negative, or whose
// fraction of a class lies outside [0, 1], is refused naming its line.
bool read_erosion_table(model_state& m, mapping_table_file& file, const std::string& file_name,
                        int num_sed, const std::array<vec1<double>*, 8>& columns,
                        grid_header& header, const mat2<int>& mask, int rows, int cols,
                        std::FILE* summary);

// SEDIMENTS: the particle classes.
struct sediment_classes {
    int count = 0;
    vec1<double> spec_grav;  // specific gravity, classes 1..count
    vec1<double> part_diam;  // particle diameter (mm)
    vec1<double> f_bind;     // binding fraction
    std::vector<std::string> output_filename;  // classes 1..count, element 0 unused
};
// Count 0 when the file holds no SEDIMENTS table; false when the file does
// not open (64), or a row does not read or gives a particle diameter not
// above 0 or a specific gravity not above 1 (4000, naming the line).
bool read_sediment_table(mapping_table_file& file, const std::string& file_name,
                         sediment_classes& out);

// CONTAMINANT_TRANSPORT: per constituent a line of three quoted texts
// (description, index-map name, output file), PRECIP_CONC and optionally
// PARTITION, then a table of 8 columns with its own NUM_IDS and header.
struct contaminant_tables {
    int count = 0;
    std::vector<std::string> descriptions;       // constituents 1..count, element 0 unused
    std::vector<std::string> index_map_names;
    std::vector<std::string> output_file_names;
};
// Each non-null array of `columns` becomes count rows by ncells cells, row i
// holding column j of constituent i at every cell. PRECIP_CONC and PARTITION
// values are appended to `precip_conc` and `partition` (a constituent without
// PARTITION appends 0). Failures: 64, 65, 69.
bool read_contaminant_table(mapping_table_file& file, const std::string& file_name,
                            const std::array<mat2<double>*, 8>& columns, contaminant_tables& out,
                            array1d<double>& precip_conc, array1d<double>& partition,
                            grid_header& header, const mat2<int>& mask, int ncells, int rows,
                            int cols, std::FILE* summary);

// Richards soil tables: kind 1 Brooks and Corey, kind 2 Havercamp.
// The index-map file of the table; false when absent.
bool find_richards_map(mapping_table_file& file, const std::string& file_name, int kind,
                       std::string& map_file);
// Hands the table, positioned after its keyword line, to the soil-layer
// reader and returns what it returns (the number of classes read); -1 when the
// table is missing (code 66, reported).
int read_richards_table(model_state& m, mapping_table_file& file, const std::string& file_name,
                        int kind);

// Whether the file holds a table: for CONTAMINANT_TRANSPORT its keyword line
// and NUM_CONTAM of at least 1; for SEDIMENTS NUM_SED of at least 1 after the
// keyword line; for the others a resolved index map that opens.
bool mapping_table_present(const mapping_table_file& file, int table_id);

// Why `file` (opened from `file_name` when not already held) cannot supply
// the table `table_id` through an index map: the file does not open, is
// empty or has the wrong header, holds no such table, the table's map name
// matches no INDEX_MAP line, or the index-map file does not open. Empty when
// nothing stands in the way. Prints nothing.
std::string mapping_table_problem(mapping_table_file& file, const std::string& file_name, int table_id);

// The start-up check: prints "\nChecking 2D grid mapping tables...\n" and
// one line per table ("  label....Y"), recording each flag in `info`. False
// (code 64, left for the run driver) when the file does not open.
bool check_mapping_tables(const std::string& file_name, mapping_table_info& info);

}  // namespace kesta
