#include "channel/superlink/storm_drain_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_storm_drain(model_state&) {}
void setup_superlink_chan_coupling(model_state&) {}

}  // namespace kesta
