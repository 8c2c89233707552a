// The result record a calibration caller hands to a run: peak discharge and
// volume per event and output location. It belongs to the caller.
#pragma once

#include <string>
#include <vector>

namespace kesta {

// A table slot that no event end has written holds this. It lies below the
// objective's missing-value threshold, so a run that never stored a slot
// (it ended before the event closed) scores as unscored, not as a run with
// no flow.
constexpr double kOptimNotWritten = -999.99;

struct optim_record;

// One model run from a project file: 0 when it ended normally. `result`,
// when given, belongs to the caller and receives the run's peaks and volumes.
// The calibration modes are handed the model's run entry as one of these.
using model_runner = int (*)(const std::string& project_file, optim_record* result);

struct optim_record {
    int num_events = 0;
    int num_columns = 0;  // hydrograph locations + 1; location 0 is the outlet
    // Flat, 1-based: slot (event - 1) * num_columns + location + 1. Slots
    // start as kOptimNotWritten.
    std::vector<double> peak;    // m3/s (x 35.32 with QOUT_CFS)
    std::vector<double> volume;  // m3
    // Running per-location totals of the current event, 1-based.
    std::vector<double> location_peak;
    std::vector<double> location_volume;
};

}  // namespace kesta
