// Start-up and loop steps of sediment and contaminant transport.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Before the time loop, with OV_CON_TRANS: each cell's constituent soil
// layers (SOIL_CON_TRANS), the decay and exchange rates turned per second,
// the initial overland mass (the initial concentration times the depth)
// and the land's load (in the soil's mixing layer with SOIL_CON_TRANS).
void init_contam_soil_state(model_state& m);

// Why the options of a run whose water carries constituents (contaminants
// or nutrient species) cannot be simulated: the reason, naming the cards,
// when some water would move without its constituents; null when none would.
const char* carried_water_refusal(const model_state& m);
// At the constituent interval: the water of the cell point sources
// (OV_POINT_SOURCE) and the contaminants it carries.
void add_cell_point_sources(model_state& m);
// The constituents' soil step (SOIL_CON_TRANS), at the soil water's
// interval: decay in each soil layer and leaching between the layers with
// the water that crossed them.
void step_soil_nutrients(model_state& m);
// SEDIMENT_CONTAM, at the constituent interval: the mass attached to the
// suspended fine sediment follows its erosion, transport, deposition and
// outflow, and shares out anew with the dissolved mass.
void step_overland_contam_sediment(model_state& m);
// At the constituent interval: the overland mass follows the water that
// infiltrated; every KINETICS_TIMESTEP_FACTOR intervals it exchanges with
// the mixing layer and decays.
void step_contam_processes(model_state& m);
// At the constituent interval: every constituent moves over the grid with
// the water (and out at the outlet); the mass of cells that ran dry goes to
// the soil or the land.
void step_overland_contam_transport(model_state& m);
// After a channel step whose wash load moved (SEDIMENT_CONTAM with channel
// sediment and CHAN_CON_TRANS): the mass attached to the wash load follows
// its volumes across the faces (through the outlet into its book), the
// attached mass the overland brought onto lake cells joins the lakes, and
// what settled in the lakes lays its share onto their cells. It shares out
// anew with the dissolved mass after step_channel_lake_contam_mass routes
// that.
void step_channel_contam_transport(model_state& m);
// At the channel constituent interval: first-order decay (CHAN_DECAY_COEF)
// of the dissolved mass on the nodes wet over the interval and in the
// lakes.
void step_channel_wq_reactions(model_state& m);
// At the channel constituent interval: every constituent moves through the
// channel network and its lakes with the water the routing moved, after
// the stream cells, the point sources and the aquifer gave or took theirs;
// with SEDIMENT_CONTAM every wet node and lake then shares out its
// dissolved and attached mass anew.
void step_channel_lake_contam_mass(model_state& m);
// The constituents the stream cells exchanged with the channels over the
// bank since the last call, booked on both sides.
void chan_cell_mass_exchange(model_state& m);
// The point sources' water of the channel step (vol_chan_point) brings or
// takes its constituents.
void book_chan_point_masses(model_state& m);

// Set-up calls of the model-input loading. With soil erosion, the sediment
// cards are checked (SOIL_EROSION a capacity formula 1 to 6, SED_POROSITY
// in [0, 1)), the sediment classes and the soil's erosion properties read
// from the mapping-table file (codes 92 and 93 when a table is missing;
// classes carried as constituents need no erosion properties), and the
// sediment record made.
void read_sediment_tables(model_state& m);
// With OV_CON_TRANS: the options checked (a combination the constituents
// cannot follow is refused), the contaminants made from the OV_* cards (one)
// or the CONTAMINANT_TRANSPORT table of the mapping-table file, the land
// load of the first contaminant read from CONTAM_MAP, and the cell point
// sources from OV_POINT_SOURCE. Without it, SOIL_CON_TRANS and
// SEDIMENT_CONTAM only warn that they have no effect.
void read_contam_tables(model_state& m);
// With SOIL_CON_TRANS: the soil layers that carry `what` ("the
// contaminants") can be formed from the infiltration method and the layer
// depths of the cards; false when refused, naming them.
bool soil_layers_hold(model_state& m, const char* what);
// Channel sediment and channel constituent arrays, made by the channel set-up
// once the network is read. With channel sediment (SOIL_EROSION with channel
// routing): the sediment of the nodes and lakes, the work space of the
// channel step and the bed sand every erodible link starts with.
void alloc_chan_sed_arrays(model_state& m);
// With CHAN_CON_TRANS (and OV_CON_TRANS, which makes the constituents):
// the channel and lake constituent arrays.
void alloc_chan_contam_arrays(model_state& m);
// The nutrient species' dispersion coefficient of every node row from the
// stream nutrients' per-node values; after their initial values are read.
void set_chan_nutrient_dispersion(model_state& m);
// The lakes' initial masses (INIT_CHAN_CONC in their initial water).
void init_lake_contam_state(model_state& m);
// Adds `count` contaminant slots (nutrient_call 0), or the nine nutrient
// species carried in water (nutrient_call not 0; `count` not read), to the
// constituent arrays of `cells` cells: every per-slot row and total grows
// by zeros. The nutrient species follow the slots there are, the first of
// them at first_nutrient_constituent, in the species order.
void alloc_overland_contam_arrays(model_state& m, int count, int cells, int nutrient_call, int skip_types);
// The sediment totals by class and, with OV_CON_TRANS, the constituents'
// final masses and balance errors at an event end.
void finish_event_sediment_contam(model_state& m);
// With channel sediment: the channel sediment books of the next event open
// (the event totals zeroed, the sand and wash load in the channels and the
// lakes taken as the event's initial volumes), as the water's do.
void open_sediment_event_books(model_state& m);
// Overland erosion, transport and deposition by size class over one overland
// step of dt seconds, after the water of the step was routed; books what
// each cell gave up and took on into its net volume over the run (ov_qsvol
// of the sediment record; with ADJUST_ELEV, into its ground; with
// SEDIMENT_CONTAM, into eroded_step and deposited_step), and leaves what
// left the grid in its sed_out_vol. A volume that is not a number stops the
// run (code 4000).
void overland_sediment_transport(model_state& m, double dt);
// Wakes the threads the overland erosion step of dt will take, when it
// takes more than one, before the water's routing of a grid small enough
// that they are then still awake when the erosion step begins.
void wake_erosion_team(model_state& m, double dt);
// Channel sediment over one channel step of dt seconds, after the routing:
// the stream cells under water give the channels their suspended and
// deposited sediment, the sand moves by Yang's formula on the erodible
// links, the wash load moves with the water that crossed each face of the
// network (qp_vol_sed, which it then clears), and the lakes settle theirs.
// A volume that is not a number stops the run (code 4000).
void step_channel_sediment(model_state& m, double dt);
// Constituent side of the water the infiltration step moves in `cell`,
// called with overland constituent transport on: infiltrated water (m3
// since the last step) that the cell's overland mass follows at the next
// constituent step.
void book_infiltrated_water(model_state& m, int cell, double volume);
// Water exfiltrated to the surface of `cell` (m3; negative when the surface
// loses it, which the overland mass then follows as it follows
// infiltration), called with overland or soil transport on (`richards`:
// the Richards solver's exfiltration). Risen groundwater brings its
// concentration to the surface, or with SOIL_CON_TRANS rises through the
// soil layers at the soil step.
void book_exfiltrated_water(model_state& m, int cell, double volume, bool richards);

}  // namespace kesta
