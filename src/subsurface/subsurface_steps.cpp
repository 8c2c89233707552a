#include "subsurface/subsurface_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_sacramento(model_state&) {}
void open_sacramento_file(model_state&) {}

double sacramento_storage_volume(const model_state&) { return 0.0; }
double sacramento_et_volume(const model_state&) { return 0.0; }
void sacramento_start_event(model_state&) {}

}  // namespace kesta
