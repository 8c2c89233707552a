// The reservoir water-quality model's inflow file: the outlet discharge at
// every time-series output.
#pragma once

#include <string>

#include "model/model_state_fwd.hpp"

namespace kesta {

// Creates the file through the file opener (numbered in a multi-run series)
// and writes its header. False when it cannot be created.
bool vq_qin_open(model_state& m, const std::string& file_name);

// One line: the day of year with its fraction, and the outlet discharge
// (m3/s) in single precision. Nothing when the file is not open.
void vq_qin_write(model_state& m);

// Closes the inflow file (a failed write is refused, code 4000).
void vq_qin_close(model_state& m);

// The coupling's end routine of a run whose grids come from a PEXLO file:
// it has no work.
void vq_end(model_state& m);

}  // namespace kesta
