// Hand-made Richards columns for the solver tests: a plane of cells (see
// soil_cells.hpp) whose every cell takes soil class 1, three layers of one
// Brooks and Corey soil, set up as the soil table would leave it.
#pragma once

#include "subsurface/richards.hpp"
#include "subsurface/soil_cells.hpp"

namespace kesta_test {

// A Brooks and Corey soil: conductivity 1 cm/h, porosity 0.45, residual
// moisture 0.05, bubbling head -20 cm, lambda 0.5; layers of 20 cm with
// nodes every 5 cm.
struct bc_soil {
    double ks = 1.0;  // cm/h
    double thetas = 0.45, thetar = 0.05, theta = 0.30;
    double wilting = 0.10, capacity = 0.25;
    double depth = 20.0, dz = 5.0;  // cm, per layer
    double lambda = 0.5, bubbling = -20.0;
};

// The record slots of layer j as the soil table fills them.
inline void set_layer(kesta::model_state& m, int id, int j, const bc_soil& s) {
    double* v = m.soil_class[static_cast<std::size_t>(id)].v;
    v[4 + j] = s.ks;
    v[7 + j] = s.thetas;
    v[10 + j] = s.theta;
    v[13 + j] = s.wilting;
    v[16 + j] = s.capacity;
    v[19 + j] = s.thetar;
    v[22 + j] = s.depth;
    v[25 + j] = s.lambda;
    v[28 + j] = s.bubbling;
    v[31 + j] = s.dz;
}

// Cells of plane p on soil class 1 of soil s in its three layers; `prepare`
// sets what the run needs before the arrays are made (long_term, the water
// table) and after (ground and table), then the columns are built.
template <class Before, class After>
inline bool make_richards_plane(kesta::model_state& m, const plane& p, double dt, const bc_soil& s, Before before,
                                After after) {
    before(m);
    make_soil_plane(m, p, dt, 4);
    m.richards_c_option = 1;
    m.richards_k_option = 2;
    m.richards_weight = 1.0;
    m.richards_iter_max = 1;
    m.richards_dtheta_max = 0.0025;
    m.richards_upper_option = 1;
    m.timestep = dt;
    m.soil_moist_depth = 40.0;
    m.richards.model = kesta::retention_model::brooks_corey;
    m.richards.defined.assign(kesta::kSoilClasses, 0);
    m.richards.defined[1] = 1;
    for (int j = 0; j < 3; ++j) set_layer(m, 1, j, s);
    for (int k = 1; k <= m.ncells; ++k) {
        m.soiltype[k] = 1;
        if (k <= m.root_depth.n()) m.root_depth[k] = 0.4;
    }
    after(m);
    return kesta::init_richards_columns(m);
}

inline bool make_richards_plane(kesta::model_state& m, const plane& p, double dt, const bc_soil& s = bc_soil()) {
    return make_richards_plane(m, p, dt, s, [](kesta::model_state&) {}, [](kesta::model_state&) {});
}

}  // namespace kesta_test
