// Reading the run parameters and checking option combinations.
#pragma once

#include <string>

#include "model/model_state_fwd.hpp"

namespace kesta {

void read_run_parameters(const std::string& project_file, model_state& m);
void check_run_options(model_state& m);

}  // namespace kesta
