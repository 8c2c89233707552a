// The time-series index: TIME_SERIES_INDEX table IDs tied to named series.
#pragma once

#include <string>

namespace kesta {

// Ties table ID `id` to the series named `name` (newest entry first).
void ts_add_index_entry(int id, const std::string& name);

}  // namespace kesta
