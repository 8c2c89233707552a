// The constituent mass-balance books: one small function per kind of mass
// moved, each adding it (given in g, booked in kg) to the event and run
// totals of its constituent slot, and the books' opening and closing at the
// event boundaries and at the end of the run.
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Adds `grams` (booked in kg) to slot c of a run total and of its event
// total.
void book_grams(array1d<double>& run, array1d<double>& event, int c, double grams);

// Over land.
void book_ov_precip(model_state& m, int c, double grams);
void book_ov_point(model_state& m, int c, double grams);
// Groundwater that reached the surface (from the soil with SOIL_CON_TRANS).
void book_ov_exfil(model_state& m, int c, double grams);
// Overland water that entered the ground (into the soil with SOIL_CON_TRANS).
void book_ov_infil(model_state& m, int c, double grams);
// The same with SOIL_CON_TRANS where the mass goes into the soil pool of
// slot `into`: c itself, another nutrient slot (the pool the species
// feeds), or below 1 where no pool takes it and it leaves the model.
void book_ov_infil_into(model_state& m, int c, int into, double grams);
void book_ov_decay(model_state& m, int c, double grams);
void book_ov_outlet(model_state& m, int c, double grams);
// Exchange with the land (the soil's mixing layer with SOIL_CON_TRANS):
// positive when the water gains.
void book_ov_exchange(model_state& m, int c, double grams);
// What the nutrient reactions made (`made`) and used (`used`) of slot c in
// the overland water, both 0 or more.
void book_ov_reaction(model_state& m, int c, double made, double used);

// In the soil.
void book_soil_leached(model_state& m, int c, double grams);   // down to the water table
void book_soil_from_wt(model_state& m, int c, double grams);   // up from the water table
// Up to the surface: from the soil of slot c into the overland water of
// slot `to` (c itself for a contaminant; the species a nutrient pool feeds).
void book_soil_exfil(model_state& m, int c, int to, double grams);
void book_soil_decay(model_state& m, int c, double grams);
void book_soil_sediment(model_state& m, int c, double grams);  // deposited (positive) or eroded
// What the nutrient library made and used of the soil pool of slot c, both
// 0 or more.
void book_soil_reaction(model_state& m, int c, double made, double used);
// Mass that crossed between the overland water and the soil from slot
// `from` into slot `to`, two nutrient slots (a water species and the soil
// pool it feeds, or a pool and the species its rising pore water feeds):
// both sides' global books.
void book_species_crossing(model_state& m, int from, int to, double grams);

// Into a channel-network lake from the overland (negative: out to it),
// booked on both sides.
void book_lake_ov_inflow(model_state& m, int c, double grams);
// Rain on a channel-network lake.
void book_lake_precip(model_state& m, int c, double grams);
// What the nutrient reactions made and used of slot c in the channel
// nodes, or in the lakes (`lake`), both 0 or more.
void book_chan_reaction(model_state& m, int c, bool lake, double made, double used);

// Bound to suspended sediment (SEDIMENT_CONTAM).
void book_sed_exchange(model_state& m, int c, double grams);  // positive: the dissolved mass gained
void book_sed_outlet(model_state& m, int c, double grams);

// The masses the cells hold now of slot c (g): dissolved over land, held
// by the land (without SOIL_CON_TRANS), in the soil layers, attached to
// suspended sediment; and the channel nodes' and the lakes' (with what
// the nodes are yet to take in).
struct held_mass {
    double overland = 0.0, land = 0.0, soil = 0.0, attached = 0.0;
    double channels = 0.0, lakes = 0.0;  // dissolved, with CHAN_CON_TRANS
    double chan_attached = 0.0, lake_attached = 0.0;  // attached to the wash load
};
held_mass mass_held(const model_state& m, int c);

// The books of an event open: every event total zeroed, the masses the
// cells hold taken as the event's initial masses.
void open_constituent_event_books(model_state& m);
// At the close of an event (or of the run, `run`): the final masses, and
// the mass-balance errors of the event (or the run) in percent.
void close_constituent_books(model_state& m, bool run);

}  // namespace kesta
