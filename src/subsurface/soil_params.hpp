// Soil parameters of a cell for the soil-column methods (Green and Ampt with
// redistribution, multi-layer Green and Ampt and their soil-moisture
// accounting): one accessor over the per-cell maps and the soil-class table,
// and the set-up that checks that every cell has what its method reads.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

enum class soil_param {
    conductivity,    // saturated conductivity (m/s)
    capillary_head,  // capillary drive (m)
    porosity,        // upper moisture limit
    pore_index,      // Brooks-Corey pore distribution index lambda
    residual,        // lower moisture limit
    field_capacity,  // moisture below which the soil does not drain
    wilting_point,   // moisture below which plants take no water
};

// Parameter p of layer `layer` (1 to 3) of cell k, in the units above: from
// its per-cell map when the run has that map (a map holds one value for all
// layers), else from the record of the cell's soil class (which holds the
// conductivity in cm/h and the capillary head in cm). Not a number when the
// run has neither; set-up refuses such a run.
double soil_parameter(const model_state& m, int k, soil_param p, int layer = 1);

// Set-up of the soil-column methods, once the soil maps and the soil-class
// table are read. The multi-layer method takes each cell's starting layer
// moistures from its class (kept per cell from here on). Every parameter the
// method reads is checked for every cell: a parameter with neither a map nor
// a soil class, a porosity not above the residual moisture, a pore index not
// above 0, or a field capacity not above both the wilting point and 0 stops
// the run (code 4000 reported at once) with a message naming the parameter,
// the cell or class, and the values. Does nothing for the other methods.
void setup_soil_columns(model_state& m);

}  // namespace kesta
