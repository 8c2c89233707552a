#include "transport/transport_steps.hpp"

// Steps of channel constituent transport, which this version does not
// simulate: a run that would need them is refused at set-up (constituents
// with channel routing), so they have no work in any pass.

namespace kesta {

void step_channel_contam_transport(model_state&) {}
void step_channel_wq_reactions(model_state&) {}
void step_channel_lake_contam_mass(model_state&) {}
void alloc_chan_contam_arrays(model_state&) {}
void chan_cell_mass_exchange(model_state&, int) {}

}  // namespace kesta
