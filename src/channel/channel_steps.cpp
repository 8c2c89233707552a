#include "channel/channel_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_chan_point_input(model_state&) {}

}  // namespace kesta
