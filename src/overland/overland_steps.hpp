// Start-up and loop steps of rainfall and overland flow.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

void build_cell_connectivity(model_state& m);
void init_overland_slopes(model_state& m);
// Starts each precipitation event at its time; an event still running when
// the next begins is ended and closed first. An event whose start the clock
// has passed stops the run (code 4000).
// Uniform rain: starts at the first step of the run.
void start_uniform_rain(model_state& m);
// Starts the rain of the next event of the rain file: reads the event and
// sets the rates, the rain clocks and the event index. Called once the
// previous event is closed.
void begin_precip_event(model_state& m);
// Sets the rain rate (mm/h) of every cell for the step: the rain of the
// periods that fall within the step over its length, so an event gives the
// file's total whatever the time step; ends the rain at the last line.
void step_precip_period(model_state& m);
void apply_precip(model_state& m);
void step_overland_flow(model_state& m);
void step_overland_lake_extent(model_state& m);
// New levels and extents of the channel-network lakes from their volumes.
void update_lake_extent(model_state& m);

// Water over the banks between the stream cells and their channel nodes
// over a channel step of dt seconds: changes the cells' depths and adds the
// exchange rate per metre of channel to the nodes' `qlat`. Never takes more
// from a cell than it holds, nor gives a cell water that would stand above
// the channel. Returns the net volume moved into the channels (m3).
double overland_channel_exchange(model_state& m, double dt);

// Whether cell k lies in a channel-network lake or in an overland lake; with
// that kind of lake off, or k past its lake vector, it lies in none.
bool in_channel_lake(const model_state& m, int k);
bool in_overland_lake(const model_state& m, int k);

}  // namespace kesta
