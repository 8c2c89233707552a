#include "core/event_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void update_at_event_end(model_state&) {}
void finish_event(model_state&) {}
void init_cell_state(model_state&) {}
void read_exchange_files(model_state&) {}
void set_chan_point_value(model_state&) {}

}  // namespace kesta
