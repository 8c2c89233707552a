// Single-layer Green and Ampt infiltration under ponding or rain.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Cumulative infiltrated depth (m) at the end of a step of dt seconds that
// starts from F0 (m) under ponding, for conductivity K (m/s) and suction
// S = capillary head x moisture deficit (m): the root F of
// S ln((F + S)/(F0 + S)) + K dt - F + F0 = 0, by Newton from F0 + 1 mm to a
// residual of at most 1e-6 m. Returns F0 + K dt when S is not positive (no
// suction: the soil takes water at K) and a value that is not a number when
// the iteration does not settle within its pass limit.
double green_ampt_depth(double K, double S, double F0, double dt);

// Infiltration capacity (m/s) at the end of that step, K (S/F + 1) with F
// from green_ampt_depth; K when S is not positive, when F is not above
// 1e-16 m or when the iteration did not settle; 0 when K is not positive.
double green_ampt_rate(double K, double S, double F0, double dt);

// One step of dt seconds of single-layer Green and Ampt over every cell:
// lowers the overland depth h by the infiltrated depth, raises infdep by it
// and sets fav (cm/h). Conductivity, capillary head and porosity come from
// ks_map, hc_map and phi_map; thi is the initial moisture. The suction
// vector SFM is formed at the first call of the run. Lake cells infiltrate
// like any other cell.
void green_ampt_infil(model_state& m, double dt);

}  // namespace kesta
