// What the run offers every subsystem besides its state: progress lines,
// the stop flag, opening the input files the project cards name, and reading
// a map or a mapping table into per-cell vectors with their physical bounds.
// The refusal reported at once, `refuse`, is the error record's
// (core/error_record.hpp).
#pragma once

#include <array>
#include <cstdio>
#include <string>

#include "core/arrays.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// True when the run may print progress to the console: not super-quiet and
// process rank 0.
bool chatty(const model_state& m);
// A progress line: on the console when chatty, always in the summary file.
void say(const model_state& m, const std::string& text);
// A line for the console only, when chatty.
void say_console(const model_state& m, const std::string& text);

// As refuse, with the message on standard error instead of the console.
void refuse_on_stderr(const std::string& text);

// True when the error record asks the run to stop.
bool run_stopped();

// Opens the input file a card names, for reading. An empty name gives no
// file and no error. A file that does not open gives no file and stores
// code 4 naming `item` and the file, with the stop flag: a file the user
// named is never replaced by another source of its values.
file_ptr open_input(const std::string& name, const char* item);
// Opens `name` for reading (its quotes stripped in place); a file that does
// not open is refused at once with `message`, a format given the name.
file_ptr open_or_refuse(std::string& name, const char* message);
// As open_input for a file the run cannot do without: an empty name stores
// code 4 as well (unless the run has already stopped).
file_ptr open_required_input(const std::string& name, const char* item);

// Reads a map of reals (mode 1 or 3 of the grid reader) of the model's grid
// into `dest`, one value per active cell. False when refused (reported).
bool read_real_map(model_state& m, std::FILE* fp, const std::string& name, vec1<double>& dest,
                   int mode = 1);
// Reads a map of integer IDs 0..10000 (mode 4) into `dest`, one per active
// cell. False when refused (reported).
bool read_id_map(model_state& m, std::FILE* fp, const std::string& name, vec1<int>& dest);

// Spreads up to seven columns of a mapping table to the cells; an empty or
// null vector skips its column. False when refused (reported or pending in
// the error record).
bool read_table_columns(model_state& m, int table_id, const std::array<vec1<double>*, 7>& columns);

// One map of reals into `dest` from the file `name`, or, when no file is
// named, from the mapping table: with `table_present` (the table is in the
// mapping-table file) and a `table_id` other than table_none (0), the
// table's first column is spread into `dest`. A named file that does not
// open stops the run (code 4), table or no table.
// Says `from_file` (a format taking the name) or `from_table`. False when
// the run stopped. `read_file`, when given, is set to whether the values came
// from the file.
bool read_map_or_table(model_state& m, const std::string& name, const char* item, bool table_present,
                       int table_id, vec1<double>& dest, const char* from_file, const char* from_table,
                       bool* read_file = nullptr);

// Where a parameter's values came from, for messages: "map <file>" or "the
// <TABLE> table of mapping-table file <file>".
std::string value_source(const model_state& m, bool from_file, const std::string& map_name, int table_id);

// A physical bound of a parameter: `holds` is false for a value no cell can
// have; `rule` says what the value must be ("it must be 0 or more").
struct value_rule {
    const char* what;  // "porosity"
    const char* unit;  // as read, e.g. "cm/h"; "" for none
    bool (*holds)(double);
    const char* rule;
};

// The first active cell (in cell order) whose value breaks `rule`, 0 when
// none; `detail` then names the parameter, its value, the cell with its grid
// row and column, and `source`.
int first_breach(const model_state& m, const vec1<double>& values, const value_rule& rule,
                 const std::string& source, std::string& detail);
// The farthest any elevation of the inputs lies from the datum (m): ground,
// water table, aquifer bottom, channel bed. No ground lies above 9 km or
// below -500 m, and in feet or over an offset datum it stays far within
// this; a value beyond is a slip of the keyboard or of the unit, which would
// run without a word, its slopes slowing the routing a thousandfold.
constexpr double kMostElevation = 1e5;
inline bool elevation_holds(double v) { return v >= -kMostElevation && v <= kMostElevation; }
// Refuses (reported) the first active cell whose elevation `what` ("ground
// elevation"), read from the map `map_name`, lies beyond kMostElevation
// either side of the datum, naming the map, the cell's row and column and
// the value; false when refused.
bool map_elevations_hold(const model_state& m, const vec1<double>& values, const char* what,
                         const std::string& map_name);
// The most mass of one constituent (or nutrient pool) the land of a cell can
// hold, per m2 of the cell (kg/m2): ten tonnes, what some 6 m of soil weigh.
// A load or initial pool beyond it is refused: its mass, in g over a cell,
// would not stay a finite number through the run's sums.
constexpr double kMostLandMassPerArea = 1e4;
// The first active cell whose value does not lie from 0 to `most`, 0 when
// none; `detail` then names `what`, its value and unit, the cell with its
// grid row and column, `source`, and the bound with `why` (the bound's
// reason, "" for none).
int first_beyond(const model_state& m, const vec1<double>& values, double most, const char* what, const char* unit,
                 const std::string& why, const std::string& source, std::string& detail);
// Grid row and column of active cell k (0, 0 when no cell has that number).
void cell_row_col(const model_state& m, int k, int& row, int& col);

}  // namespace kesta
