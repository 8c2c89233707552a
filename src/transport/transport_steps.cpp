#include "transport/transport_steps.hpp"

#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"

// Steps of channel constituent transport, which this version does not
// simulate: a run that would need them is refused at set-up (constituents
// with channel routing), so they have no work in any pass. The nutrient
// species of the streams and lakes react in place.

namespace kesta {

void step_channel_contam_transport(model_state&) {}
void step_channel_wq_reactions(model_state& m) {
    if (m.zep) react_channel_nutrients(m);
}
void step_channel_lake_contam_mass(model_state&) {}
void alloc_chan_contam_arrays(model_state&) {}
void chan_cell_mass_exchange(model_state&, int) {}

}  // namespace kesta
