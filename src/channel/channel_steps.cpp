#include "channel/channel_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void setup_channel(model_state&) {}
void step_channel_routing(model_state&) {}
void step_chan_point_input(model_state&) {}
void ex_section(model_state&, int) {}
void xsec_update(model_state&) {}
// No channel network is read by this build, so no link exists to ask about.
bool link_is_lake_struct_or_overtaken(int) { return false; }

}  // namespace kesta
