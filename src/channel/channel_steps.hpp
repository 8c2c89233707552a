// Start-up and loop steps of the channel network.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void setup_chan_point_sources(model_state& m);
void step_channel_routing(model_state& m);
void step_chan_point_input(model_state& m);

// True for a link-type word of a lake, a hydraulic structure or a link
// overtaken by a lake: such nodes are not routed as a channel.
bool link_is_lake_struct_or_overtaken(int ltype);

}  // namespace kesta
