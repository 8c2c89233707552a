// Time-series and elevation-series files, read into the run's series lists
// as soon as the project file names them.
#pragma once

#include <string>

namespace kesta {

// Reads every time series of the file into the series list.
void ts_read_file(const std::string& name);
// Reads every elevation series of the file.
void read_elev_series_file(const std::string& name);

}  // namespace kesta
