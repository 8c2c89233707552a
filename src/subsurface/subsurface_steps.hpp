// Loop steps of hydrometeorology, infiltration and groundwater.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void step_soil_et_accounting(model_state& m);
void step_hydromet(model_state& m);
void step_infiltration(model_state& m);
void step_sacramento(model_state& m);
void step_groundwater(model_state& m);

// Set-up calls of the model-input loading.
void setup_wetlands(model_state& m);
void open_sacramento_file(model_state& m);
void read_soil_table(model_state& m);

}  // namespace kesta
