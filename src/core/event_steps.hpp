// Event control: start, end decision, event-end updates and totals.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void start_event(model_state& m);
void check_event_end(model_state& m);
void update_at_event_end(model_state& m);
void finish_event(model_state& m);
void init_cell_state(model_state& m);
void read_exchange_files(model_state& m);
// Sets the downstream head boundary of the channel network.
void set_chan_point_value(model_state& m);

}  // namespace kesta
