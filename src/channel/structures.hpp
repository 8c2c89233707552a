// Hydraulic structures: the discharge of a structure link between the
// water level above it and the level below it, summed over its elements
// (weirs, sag weirs, culverts, rating curves, scheduled releases and rule
// curves).
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

struct struct_element;

// Broad-crested weir of crest length L at crest level z (m3/s, positive
// downstream): free flow while the lower level stands less than 2/3 of the
// higher head above the crest, submerged flow from there on.
double weir_flow(const struct_element& e, double h_up, double h_down);
// Weir whose crest is a parabola with its low point at the crest level,
// between a steep and a shallow slope over the crest length; only the
// higher level enters. Needs the shallow slope above the steep one and a
// length above 0 (checked when read).
double sag_weir_flow(const struct_element& e, double h_up, double h_down);

// Discharge of structure link `link` (m3/s, positive downstream) at the
// upstream level h_up and the downstream level h_down (m), at the model
// time: the sum over its elements. A culvert evaluation that fails leaves
// its code pending with the stop flag, and the sum so far is returned.
double structure_flow(const model_state& m, int link, double h_up, double h_down);

}  // namespace kesta
