#include "calibration/multi_run.hpp"

namespace kesta {

int run_sce_calibration(parallel_env&, const std::string&) { return 0; }

int run_monte_carlo(parallel_env&, int, const std::string&) { return 0; }

}  // namespace kesta
