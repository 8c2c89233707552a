// Start-up and loop steps of sediment and contaminant transport.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

void init_contam_soil_state(model_state& m);
void add_cell_point_sources(model_state& m);
void step_soil_nutrients(model_state& m);
void step_overland_contam_sediment(model_state& m);
void step_contam_processes(model_state& m);
void step_overland_contam_transport(model_state& m);
void step_channel_contam_transport(model_state& m);
void step_channel_wq_reactions(model_state& m);
void step_channel_lake_contam_mass(model_state& m);

// Set-up calls of the model-input loading. With soil erosion, the sediment
// cards are checked (SOIL_EROSION a capacity formula 1 to 6, SED_POROSITY
// in [0, 1)), the sediment classes and the soil's erosion properties read
// from the mapping-table file (codes 92 and 93 when a table is missing),
// and the sediment record made.
void read_sediment_tables(model_state& m);
void read_contam_tables(model_state& m);
// Channel sediment and channel constituent arrays, made by the channel set-up
// once the network is read. With channel sediment (SOIL_EROSION with channel
// routing): the sediment of the nodes and lakes, the work space of the
// channel step and the bed sand every erodible link starts with (a negative
// MAX_EROSION of an erodible link's node is refused).
void alloc_chan_sed_arrays(model_state& m);
void alloc_chan_contam_arrays(model_state& m);
// Adds `count` contaminant slots (nutrient_call 0) or the nutrient species
// (nutrient_call not 0) to the overland constituent arrays of `cells` cells.
void alloc_overland_contam_arrays(model_state& m, int count, int cells, int nutrient_call, int skip_types);
// Event bookkeeping of the constituents: the event totals zeroed and the
// initial masses of the cells added at an event start; the per-cell sediment
// and contaminant stores of the event reset; the sediment totals by class and
// the end masses at an event end.
void start_event_constituent_totals(model_state& m);
void reset_event_sediment_contam(model_state& m);
void finish_event_sediment_contam(model_state& m);
// With channel sediment: the channel sediment books of the next event open
// (the event totals zeroed, the sand and wash load in the channels and the
// lakes taken as the event's initial volumes), as the water's do.
void open_sediment_event_books(model_state& m);
// Overland erosion, transport and deposition by size class over one overland
// step of dt seconds, after the water of the step was routed; leaves what
// each cell gave up and took on in ov_sed_vol_eroded and
// ov_sed_vol_deposited of the sediment record, and what left the grid in
// its sed_out_vol. A volume that is not a number stops the run (code 4000).
void overland_sediment_transport(model_state& m, double dt);
// Channel sediment over one channel step of dt seconds, after the routing:
// the stream cells under water give the channels their suspended and
// deposited sediment, the sand moves by Yang's formula on the erodible
// links, the wash load moves with the water that crossed each face of the
// network (qp_vol_sed, which it then clears), and the lakes settle theirs.
// A volume that is not a number stops the run (code 4000).
void step_channel_sediment(model_state& m, double dt);
// Constituent side of the water the infiltration step moves in `cell`.
// Infiltrated water (m3 since the last step) joins the cell's infiltrated
// volume of the overland transport; the infiltration step calls it with
// overland transport on.
void book_infiltrated_water(model_state& m, int cell, double volume);
// Water exfiltrated to the surface of `cell` (m3; negative when the surface
// loses it), called with overland or soil transport on. Without `richards`
// (redistribution, multi-layer): with overland transport and no soil
// transport the cell's exfiltrated volume grows, and each constituent's
// overland mass by the volume times the groundwater concentration (a gain)
// or the overland concentration (a loss); with soil transport the cell's
// soil-water volume takes the volume instead. With `richards`, only with
// overland transport: the exfiltrated volume always, the soil-water volume
// with soil transport, the masses without it.
void book_exfiltrated_water(model_state& m, int cell, double volume, bool richards);

}  // namespace kesta
