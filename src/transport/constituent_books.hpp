// The constituent mass-balance books: the bookings that depend on the run's
// options or cross from one slot to another, the masses the stores hold,
// and the books' opening and closing at the event boundaries and at the end
// of the run. Every other booking is one book() call of the ledger.
#pragma once

#include "model/model_state_fwd.hpp"
#include "transport/constituent_ledger.hpp"

namespace kesta {

// Overland water that entered the ground (into the soil with SOIL_CON_TRANS).
void book_ov_infil(model_state& m, int c, double grams);
// The same with SOIL_CON_TRANS where the mass goes into the soil pool of
// slot `into`: c itself, another nutrient slot (the pool the species
// feeds), or below 1 where no pool takes it and it leaves the model.
void book_ov_infil_into(model_state& m, int c, int into, double grams);
// Exchange with the land (the soil's mixing layer with SOIL_CON_TRANS):
// positive when the water gains.
void book_ov_exchange(model_state& m, int c, double grams);
// Up to the surface: from the soil of slot c into the overland water of
// slot `to` (c itself for a contaminant; the species a nutrient pool feeds).
void book_soil_exfil(model_state& m, int c, int to, double grams);

// The masses the stores hold now of slot c (g).
held_mass mass_held(const model_state& m, int c);

// The books of an event open: every event total zeroed, the masses the
// stores hold taken as the event's initial masses.
void open_constituent_event_books(model_state& m);
// At the close of an event (or of the run, `run`): the final masses, and
// the mass-balance errors of the event (or the run) in percent.
void close_constituent_books(model_state& m, bool run);

}  // namespace kesta
