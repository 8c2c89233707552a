// Event control: start, end decision, event-end updates and totals.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void start_event(model_state& m);
void check_event_end(model_state& m);
void update_at_event_end(model_state& m);
void finish_event(model_state& m);
// The event's mass balance from its totals: mass_input_original_mass,
// mass_output_final_mass and mass_conservation_error (exactly -1.0 when the
// event had no water input). Part of finish_event.
void event_mass_balance(model_state& m);
void init_cell_state(model_state& m);
void read_exchange_files(model_state& m);
// Sets the downstream head boundary of the channel network.
void set_chan_point_value(model_state& m);
// Day number of `julian` for the land-management framework: whole days since
// 1:00 on 31 December of the year before `year`.
int olma_day_number(double julian, int year);

}  // namespace kesta
