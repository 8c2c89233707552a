// The soil part of the nutrient module (NUTRIENTS with SOIL_CON_TRANS): one
// library cell per active cell over the cell's constituent soil layers, its
// thirteen soil pools the soil tables of the nutrient constituent slots,
// which the soil constituent step moves with the water and the library
// steps at the soil interval.
//
// Units: the model's pool tables (soil_mass of slot first + pool) hold g per
// cell and layer; the library's layer records hold kg per cell and layer.
// Water contents are volumetric, thicknesses and depths m.
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Builds the library cells from the cells' constituent soil layers (count,
// thickness, porosity), the moisture table (nutrient_grid) and the soil's
// field capacity and wilting point; each layer's record starts with the
// library's initial pools for its depth, which become the pool tables of
// every layer; each cell is bound to the tables, where its steps find and
// leave its pools. Needs the nutrient slots and the soil layers, whose
// tables must stay where they are while the cells live.
void zep_soils_allocate(model_state& m);
// Gives every layer record its thickness (m) from the cells' soil layers and
// its bottom depth, the sum of the thicknesses down to it, and every cell
// these layer values.
void zep_soils_set_param(model_state& m);
// One parameter record per cell with the library's defaults, when none is
// made yet.
void zep_soils_params_record(model_state& m);
// Per-cell values (six arrays, 1-based over the cells) into entries 0 to 5
// (b) or 6 to 11 (a) of the cells' parameter records.
void zep_soils_set_uniform_b(model_state& m, const double* const* values);
void zep_soils_set_uniform_a(model_state& m, const double* const* values);
// The cells' parameter records into their library cells.
void zep_soils_apply(model_state& m);
// The moisture table and the pool tables into the layer records (g to kg).
// The steps do not read them there: the cells are bound to the tables.
void zep_soils_push_state(model_state& m);
// The layer records' pools back into the pool tables (kg to g), with the
// pools' dissolved shares; what changed is booked per slot as made or used
// by the library. The records hold what the last push wrote: the steps do
// not write them.
void zep_soils_pull_state(model_state& m);
// One library step of every cell over `days` (the weather of the hour and
// the environment's period set first). Each cell reads its moisture and
// pools from the tables and leaves its pools there, as a push, a step and a
// pull would, without the records between; what each pool gained and lost
// is booked per slot as made or used by the library. Nothing with static
// soil concentrations or no time. The cells step in fixed parts of
// consecutive cells on a team of threads (one thread for a grid of fewer
// than about 1,100 cells, or where OpenMP may use one thread): the pools
// do not depend on the team, nor the books, which add the parts' tallies
// part after part, nor the library's warnings, which reach the run's log
// after the step in the order of one thread's steps.
void zep_soils_step(model_state& m, double days);

// The shares of slot c's soil mass that the pore water holds, [cell][layer]
// (the cells the table has): the pool's dissolved shares for a nutrient
// pool; null for any other slot, whose pore water holds all of it.
const mat2<double>* zep_soil_dissolved(const model_state& m, int c);

// Water content of the layers of a cell whose soil class record is `soil`
// (porosities at 7 and 8, layer depths in cm at 22 and 23), over layers of
// t[1..n] m (n 1 to 3: the class's first layer whole or as the mixing
// layer and the rest, then its second layer when it has one) holding
// `upper` and `lower` cm of water in the soil water's upper and lower
// stores. The water table lies `wt_depth` cm below the ground (with
// `groundwater`; otherwise below both class layers). Layers wholly below
// the water table take the porosity of their class layer; above it they
// share the water of their store by thickness; a layer the table crosses
// holds both. Writes result[1..n].
void zep_soil_layer_moisture(double upper, double lower, double wt_depth, const double* t, bool groundwater,
                             const double* soil, int n, double* result);

}  // namespace kesta
