// Named series read from their own files: time series of (Julian time, value)
// and elevation series of (x, y), looked up by name while input is read and
// evaluated during the run; and the lists of pumps whose rates come from them.
//
// The lists are process-wide because the card readers that fill them and the
// lookups that read them get no model state, but they belong to one run: the
// model state clears them when it is built and again when it is destroyed,
// so a run never sees the series of the run before it. A reference to a
// series stays valid until the lists are cleared.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/line_reader.hpp"

namespace kesta {

struct time_series {
    std::string name;
    int relative = 0;            // 1: times count from the run start until shifted
    std::vector<double> times;   // Julian days, strictly increasing
    std::vector<double> values;
    std::size_t cached = 0;      // lower index of the last bracket found
    int count() const { return static_cast<int>(times.size()); }
};

struct ts_index_entry {
    int id = 0;                       // TIME_SERIES_INDEX identifier
    time_series* series = nullptr;    // none when no series has the name
};

struct elev_series {
    std::string name;
    std::vector<double> x;  // strictly increasing
    std::vector<double> y;
    int count() const { return static_cast<int>(x.size()); }
};

enum pump_flow_type { pump_elev = 0, pump_ts = 1 };

struct pump {
    int index = 0;                // cell (overland pumps) or node
    int card_value1 = 0;          // the two integers of the pump card
    int card_value2 = 0;
    int flow_type = pump_elev;    // ELEV: rate by water depth; TS: rate by model time
    time_series* ts = nullptr;
    elev_series* es = nullptr;
};

struct series_lists {
    std::vector<std::unique_ptr<time_series>> series;  // in reading order
    std::vector<ts_index_entry> index;                  // newest last; found newest first
    std::vector<std::unique_ptr<elev_series>> elev;     // in reading order
    std::vector<std::unique_ptr<pump>> chan_pumps;      // newest last
    std::vector<std::unique_ptr<pump>> ov_pumps;
};

// The lists of the current run.
series_lists& series_store();

// A series file being read: the open stream, its name and the number of the
// last line read (from 1), for the messages that name a line.
struct series_file {
    std::FILE* fp = nullptr;
    std::string name;
    int line = 0;
};

// Reads every block of a time-series file ("KESTA_TS" ... "END_TS") into the
// list. A file that will not open is reported with code 4 (the run stops); a
// refused block stops the reading with code 4000 already reported.
void ts_read_file(const std::string& name);
// Reads the next block: 1 when a series was read, 0 at the end of the file,
// -1 when a record was refused (message printed, code 4000 reported). Records
// must scan as "year month day hour minute value" with strictly increasing
// times; blank lines are skipped.
int ts_read_one(series_file& file);

// First series in list order whose name begins with `name`; none for an
// empty name.
time_series* ts_find_by_name(const std::string& name);
// Value at model time `t`: linear between records, the end values held
// outside them. A missing or empty series reports code 4000 and gives 0.
double ts_value_at(double t, time_series* series);
void ts_add_index_entry(int id, const std::string& name);
double ts_value_by_index(int id, double t);
// Adds `t0` (Julian days) to every time of every relative series.
void ts_shift_relative(double t0);
// Empties every list of this module: time series, index entries, elevation
// series and both pump lists (they refer to each other).
void ts_free_all();

// Reads every block of an elevation-series file ("KESTA_ES" ... "END_ES");
// x values must increase strictly, and a file that will not open stops the
// run, as for time series.
void read_elev_series_file(const std::string& name);
int es_read_one(series_file& file);
elev_series* find_elev_series(const std::string& name);
// y of the lower end of the bracket around x.
double elev_series_value(double x, elev_series* series);
// Linear interpolation in x, the end values held outside the series.
double elev_series_interp(double x, elev_series* series);
double elev_series_lookup(double x, elev_series* series);

}  // namespace kesta
