// Start-up and loop steps of the nutrient module.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// The outputs of the nutrient module and of the constituents, once the map
// outputs are set up (defined with the map outputs).
void open_nutrient_outputs(model_state& m);

// The module's container, empty, when the project file has the NUTRIENTS
// card (m.zep; the cards' values stay in the project options). A start-up
// step of its own, before any other reads m.zep.
void setup_nutrient_container(model_state& m);

// Display name of an aquatic species (0 NO2 to 8 DO; "" for another).
const char* zep_species_name(int species);

// The options whose water the nutrient species cannot follow, refused
// naming the card: a channel routing other than the explicit one, channel
// routing without CHAN_CON_TRANS, overland lakes, boundary cells, pumps and
// storm drains. False when refused.
bool zep_transport_holds(model_state& m);
// Set-up of the module's overland part during the model-input loading: the
// library's environment (at the grid's mean elevation, latitude and
// longitude), the aquatic environment file (read_aquatic_env), the overland
// arrays (water temperature WATER_TEMP) and, after the initial values, the
// pH of CHAN_PH.
void zep_overland_set_params(model_state& m);
void read_aquatic_env_file(model_state& m);
void zep_overland_allocate(model_state& m);
void zep_overland_init(model_state& m);

// The library's weather for a reaction over dt days, from the hour's
// hydrometeorological record when the run reads one: air temperature,
// pressure, global radiation, sky cover, wind and the dew point of the air's
// vapour pressure. Without one only the day and the period are given.
void zep_set_weather(model_state& m, double dt);
// Reacts the nine species (the constituent slots from
// first_nutrient_constituent on) of every cell deeper than 1e-5 m over dt
// days: the kinetics' rates at the concentrations of the cell's mass in
// the water it is dissolved in (contam_water) change the mass (a loss at
// most what the cell holds) and concentration; what they made and used is
// booked per slot. A concentration negative beyond round-off stops the run
// (code 4000).
void zep_overland_step(model_state& m, double dt);
// Loop steps of the nutrient reactions. Each runs just before the
// constituent step whose clock it shares, on the state that step starts
// from.
//
// With OV_CON_TRANS, at the constituent interval: the weather, then the
// overland reactions over the interval since the constituents last ran.
void react_overland_nutrients(model_state& m);
// With SOIL_CON_TRANS, at the soil constituent interval: the layers'
// moisture into the moisture table (nutrient_grid), then one library step
// of every cell over the interval since the soil step last ran.
void react_soil_nutrients(model_state& m);
// After a pass whose channel routing ran: the weather, then the reactions
// of the stream nodes and the lakes over the time since they last reacted
// (the channel interval the first time). The species are the nodes' and
// lakes' rows of the nutrient slots of chan_mass; each reacts in the water
// the channel constituents last left it with (chan_water), a lake as deep
// as that over its surface; a node or lake without water keeps its masses.
// A loss takes at most the mass present; what the reactions made and used
// is booked per slot; a negative concentration stops the run.
void react_channel_nutrients(model_state& m);
void zep_streams_step(model_state& m, double dt);
void zep_lakes_step(model_state& m, double dt);
// Per node and per lake: total nitrogen, total Kjeldahl nitrogen (NH4 +
// ON) and total phosphorus of the carried species, and the un-ionised
// ammonia.
void zep_streams_totals(model_state& m);
void zep_lakes_totals(model_state& m);
// Per cell: total nitrogen (NO2 + NO3 + NH4 + ON) and phosphorus (OP + DP)
// of the carried species, and the un-ionised ammonia (g of NH3).
void zep_overland_totals(model_state& m);
// The container's outlet concentration and mass of every species from the
// channel outlet's store now.
void zep_outlet_values(model_state& m);

// Set-up of the module's stream and lake part between the two parts of the
// channel set-up: the node and lake arrays (water temperature WATER_TEMP, the pH of
// CHAN_PH) and the stream id map of the aquatic environment file.
void zep_streams_allocate(model_state& m);
void zep_lakes_allocate(model_state& m);
void zep_streams_init(model_state& m);
void zep_lakes_init(model_state& m);
void load_stream_index_map(model_state& m);

}  // namespace kesta
