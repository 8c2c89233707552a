// Start-up steps of the nutrient module.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// The outputs of the nutrient module and of the constituents, once the map
// outputs are set up (defined with the map outputs).
void open_nutrient_outputs(model_state& m);

// Set-up of the module's overland part during the model-input loading.
void zep_overland_set_params(model_state& m);
void read_aquatic_env_file(model_state& m);
void zep_overland_allocate(model_state& m);
void zep_overland_init(model_state& m);
void zep_overland_bind(model_state& m);
// Set-up of the module's stream and lake part during the channel set-up.
void zep_streams_allocate(model_state& m);
void zep_lakes_allocate(model_state& m);
void zep_streams_init(model_state& m);
void zep_lakes_init(model_state& m);
void load_stream_index_map(model_state& m);
// The soil part of the module in the constituents' soil step: the layers'
// moisture handed over (`refresh`: formed anew first), then its soil pools
// stepped over the interval.
void zep_soils_set_moisture(model_state& m, int refresh);
void zep_soils_step(model_state& m);

}  // namespace kesta
