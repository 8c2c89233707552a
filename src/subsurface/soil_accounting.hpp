// Soil-moisture accounting of the Green and Ampt methods with a soil column
// (with redistribution, and multi-layer): at its own interval a one- or
// two-layer water budget per cell takes up the water infiltrated since the
// last accounting, loses evapotranspiration and drains to the groundwater
// recharge. The loop step is step_soil_et_accounting (with the loop steps).
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// One layer of a soil column: its depth (cm) and soil.
struct soil_layer_props {
    double depth = 0.0;   // cm
    double phi = 0.0;     // porosity
    double thr = 0.0;     // residual moisture
    double fc = 0.0;      // field capacity
    double wp = 0.0;      // wilting point
    double ks = 0.0;      // saturated conductivity (m/s)
    double lambda = 1.0;  // Brooks-Corey pore distribution index
};

// A column of one or two layers. A column whose layer 1 is no deeper than
// 1e-16 cm has no soil: what enters passes straight through.
struct soil_column {
    int layers = 1;
    soil_layer_props layer[2];
    bool deardorff = false;  // evapotranspiration by Deardorff, else by Penman-Monteith
    // Multi-layer soils: layer 1 drains no faster than an unsaturated layer 2.
    bool drain_as_below = false;
};

// What one accounting step moved through a column (cm).
struct column_flows {
    double et = 0.0;         // evapotranspiration out of the layers
    double interflow = 0.0;  // from layer 1 into layer 2 (in one layer, the drainage)
    double drainage = 0.0;   // out of the bottom of the column
};

// One accounting step of dt seconds of a column whose layers hold ws1 and ws2
// (cm of water, updated): infiltrated water `infiltrated` (cm) enters layer 1,
// the soil meets the evapotranspiration demand `demand` (cm) by its moisture
// factors, and each layer drains by Brooks-Corey, Ks Se^(2/lambda + 3) dt,
// above its field capacity (a saturated layer passes on what enters it). A
// layer never holds more than its porosity nor less than its residual water:
// the excess drains, the shortfall is drawn from below. With `moves` false
// (the water table stands at the ground) only the evapotranspiration is
// formed and no water moves. The stores change by infiltrated - et -
// drainage.
column_flows soil_column_step(const soil_column& c, double& ws1, double& ws2, double infiltrated, double demand,
                              double dt, bool moves = true);

// The moistures of the two soil layers of cell c for the soil-moisture series
// of a long-term run with soil accounting (Green and Ampt with redistribution
// or multi-layer): the store of each layer over its depth. A column of one
// layer (layer 1 as deep as the soil or deeper) gives Ws1_L1 over the soil
// depth and kNoSecondLayer; a column with no unsaturated soil (the water
// table at the ground) gives the porosity of layer 1 and kNoSecondLayer.
struct layer_moistures {
    double top = 0.0;
    double lower = 0.0;
};
constexpr double kNoSecondLayer = 999.99;
layer_moistures soil_layer_moistures(const model_state& m, int c);

// The soil run totals (soil_totals) and the direct evaporation left in the
// cells, once after the time loop of a run with soil accounting or with
// Richards infiltration.
void finish_soil_run_totals(model_state& m);

}  // namespace kesta
