// Event control: start, end decision, event-end updates and totals.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// At the start of each rainfall event: closes the event before it, then
// starts the new one's rain.
void step_event_precip(model_state& m);
void start_event(model_state& m);
// Opens the books of an event's water balance: its flux totals start from
// nothing, the running sums they are read against are copied, and the stores
// it starts from are taken as they stand. The close of an event opens the
// next one's (finish_event), so that the water that moves between two events
// (outflow, infiltration, melt, evaporation and drainage) is booked in the
// later one; the first event opens its own at its start.
void open_event_books(model_state& m);
void check_event_end(model_state& m);
void update_at_event_end(model_state& m);
void finish_event(model_state& m);
// The event's mass balance from its totals: mass_input_original_mass,
// mass_output_final_mass and mass_conservation_error (exactly -1.0 when the
// event had no water input). Part of finish_event.
void event_mass_balance(model_state& m);
void init_cell_state(model_state& m);
void read_exchange_files(model_state& m);
// Day number of `julian` for the land-management framework: whole days since
// 1:00 on 31 December of the year before `year`.
int olma_day_number(double julian, int year);

}  // namespace kesta
