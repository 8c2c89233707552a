// Start-up and loop steps of the channel network.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

void setup_chan_point_sources(model_state& m);
// Sets the downstream head boundary of the channel network from its series
// or BOUND_DEPTH.
void set_chan_point_value(model_state& m);
// Set-up of the channel network during the model-input loading.
void setup_channel(model_state& m);
void step_channel_routing(model_state& m);
void step_chan_point_input(model_state& m);

// Cross-sections: mode 2 turns water surfaces into flow areas, mode 1 flow
// areas into depths and water surfaces, for the whole network.
void ex_section(model_state& m, int mode);
// Rebuilds the sections of the erodible breakpoint links from the bed change.
void xsec_update(model_state& m);
// True for a link-type word of a lake, a hydraulic structure or a link
// overtaken by a lake: such nodes are not routed as a channel.
bool link_is_lake_struct_or_overtaken(int ltype);

}  // namespace kesta
