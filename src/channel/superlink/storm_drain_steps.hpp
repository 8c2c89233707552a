// Loop step of the storm-drain and tile-drain network.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

void step_storm_drain(model_state& m);
// Set-up of the storm-drain network during the model-input loading.
void setup_superlink_network(model_state& m);
// Ties the pipe outlets to their channel nodes, once the channel arrays exist.
void setup_superlink_chan_coupling(model_state& m);

}  // namespace kesta
