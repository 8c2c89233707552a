// Files written once as a run ends normally, after the summaries.
#pragma once

#include <cstdio>
#include <utility>
#include <vector>

#include "model/model_state_fwd.hpp"
#include "output/output_registry.hpp"

namespace kesta {

// The outputs written as the run ends, claimed as the run's files open and
// opened by their writers with the same request: ADJUST_ELEV, FYSSI (appended),
// TVM_HYDRO, WRITE_OV_HOTSTART and the groundwater hotstart.
output_request adjusted_elevation_output(const model_state& m);
output_request channel_sediment_file_output(const model_state& m);
output_request tvm_hydro_output(const model_state& m);
output_request overland_hotstart_output(const model_state& m);
output_request groundwater_hotstart_output(const model_state& m);

// Fixed name of the groundwater hotstart (numbered in a multi-run).
inline constexpr const char* kGroundwaterHotstartFile = "hotstart_file";

// The hydrograph file of the graphical product: its header, the count of
// `location_list` (0 without a location stream), the start date
// (yyyymmdd), the start time (hhmm), the output interval (steps) and the
// value count, one "link node" line per location, then the `count` outlet
// values of `outlet` and, with `locations`, a block of `count` values per
// location; each block ten "%11.4lf" values to a line. Both series are read
// as lines of a time followed by values; a series that ends early shortens
// its blocks.
void write_gui_hydrograph(std::FILE* outlet, std::FILE* out, std::FILE* locations,
                          const std::vector<std::pair<int, int>>& location_list, long start_date, long start_time,
                          long interval, long count);

// The line of the run's total discharge (m3, or cubic feet with QOUT_CFS)
// ending the optimisation output, which is then closed.
void write_optimisation_total(model_state& m);
// The groundwater heads to "hotstart_file", as a grid.
void write_groundwater_hotstart(model_state& m);
// TVM_HYDRO: the outlet and location hydrographs are closed and read back
// from where they were written; one whose writes failed stops the run
// (code 4000) and no hydrograph file is written.
void write_tvm_hydro_file(model_state& m);
// The reservoir model's inflow file is closed.
void close_vq_files(model_state& m);
// FYSSI (with channel sediment): appends the run's table of what the stream
// cells gave the channels, one line per sediment class of "%6.2lf " values
// (m3) by link and node, the lines closed by a dashed line, so that each run
// of a series adds its table. A file that cannot be opened stops the run
// (code 4000); without channel sediment the file is not touched, and the
// run says so among its warnings.
void write_channel_sediment_file(model_state& m);
// The overland hotstart input is closed; with WRITE_OV_HOTSTART the
// overland depths are written as a grid (a file that cannot be opened is a
// warning).
void write_overland_hotstart(model_state& m);

}  // namespace kesta
