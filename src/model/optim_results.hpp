// Peak discharge and volume per event and output location, kept for the
// calibration driver in the run's result record.
#pragma once

#include "calibration/optim_record.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Sizes the run's result record for its events and output locations: the
// caller's when one was handed in, else the run's own.
void alloc_optim_record(model_state& m);

// Slot of (event, column) in the record's tables: -1 for event 0 (or
// below), else (event - 1) x columns + column + 1. Column 0 is the outlet.
int optim_index(const optim_record& r, int event, int column);
// Writes the peak (m3/s) and volume (m3) of an event at one output location.
// A slot outside the tables is not written.
void optim_store(optim_record& r, int event, int column, double peak, double volume);

}  // namespace kesta
