#include "nutrients/nutrient_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void zep_overland_set_params(model_state&) {}
void read_aquatic_env_file(model_state&) {}
void zep_overland_allocate(model_state&) {}
void zep_overland_init(model_state&) {}
void zep_overland_bind(model_state&) {}
void zep_streams_allocate(model_state&) {}
void zep_lakes_allocate(model_state&) {}
void zep_streams_init(model_state&) {}
void zep_lakes_init(model_state&) {}
void load_stream_index_map(model_state&) {}
void zep_soils_set_moisture(model_state&, int) {}
void zep_soils_step(model_state&) {}

}  // namespace kesta
