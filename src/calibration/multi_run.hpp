// The command-line modes that run the model more than once.
#pragma once

#include <string>

#include "calibration/optim_record.hpp"

namespace kesta {

class parallel_env;

// Each returns the number of runs that stopped on an error (0 when all ended
// normally). The calibration and Monte Carlo modes return 1 when the mode
// itself cannot run (control or observation file missing or unreadable), and
// at least 1 when no run could be scored (there is no best result).
// `run` makes each model run.
int run_sce_calibration(parallel_env& env, const std::string& control_file, model_runner run);
int run_monte_carlo(parallel_env& env, int num_runs, const std::string& control_file, model_runner run);
int run_batch(parallel_env& env, int num_runs, const std::string& project_file, model_runner run);

}  // namespace kesta
