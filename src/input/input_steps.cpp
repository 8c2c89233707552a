#include "input/input_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void read_model_inputs(model_state&) {}
void alloc_optim_record(model_state&) {}
void optim_store(optim_record&, int, int, double, double) {}

}  // namespace kesta
