// One complete model run from a project file.
#pragma once

#include <string>

namespace kesta {

struct optim_record;

// Runs the project once. `result`, when given, belongs to the caller and
// receives the peak discharge and volume per event. Returns 0 when the run
// ended normally and non-zero when it was stopped by an error or an output
// could not be written whole.
int run_model(const std::string& project_file, optim_record* result);

}  // namespace kesta
