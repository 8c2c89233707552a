// Start-up and loop steps of rainfall and overland flow.
#pragma once

#include "core/arrays.hpp"
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
// New levels and extents of the channel-network lakes from the change of
// their volumes since the last update: a rising lake takes the next cells
// of its search list whose ground it reaches, with the water standing on
// them (booked in `lake_taken_from_cells`); a falling one gives back its
// last cells. A lake reaching a cell of another lake stops the run (code
// 4000 reported). A lake past the end of its list rises over the last
// listed cell (warned once in the run).
void update_lake_extent(model_state& m);
// As an event ends: the lakes' extents, and each lake's precipitation of the
// event moved into its run total.
void channel_lakes_at_event_end(model_state& m);
// One hour of evaporation from every channel-network lake, from the
// hydrometeorological record of the hour (wind m/s, air temperature C,
// relative humidity percent), at most the lake's volume; then the extents.
void lake_evaporation(model_state& m);
// Saturation vapour pressure (mb) at `celsius` (Tetens).
double sat_vapor_pressure_mb(double celsius);
// The depth map: `h` of every cell, and on the cells of a channel-network
// lake the lake's level above the cell's ground. `out` holds ncells cells.
void lake_depth_map(const model_state& m, vec1<double>& out);

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

// The water the land surface holds now (m3). The cells of the
// channel-network lakes hold theirs in the lakes, which count on their own.
struct surface_water {
    // Every other cell's depth, an overland lake cell counting as its
    // lake's level above its ground; that summed apart for the cells outside
    // the overland lakes and for those inside them.
    double total = 0.0, on_ground = 0.0, in_overland_lakes = 0.0;
    double snow = 0.0;  // liquid equivalent, on the same cells
};
surface_water surface_storage(const model_state& m);

}  // namespace kesta
