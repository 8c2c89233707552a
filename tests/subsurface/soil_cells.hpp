// Hand-made Green and Ampt models for the infiltration tests: a plane of
// cells (see overland/overland_grid.hpp) with one soil on every cell and an
// infiltration clock stepped with the overland clock.
#pragma once

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_grid.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta_test {

// A loam: conductivity 0.34 cm/h, capillary head 8.89 cm, porosity 0.434,
// initial moisture 0.1302, so S = 2.7008 cm.
struct soil {
    double ks = 0.34 / 360000.0;  // m/s
    double hc = 0.0889;           // m
    double phi = 0.434;
    double theta = 0.1302;
};

// Flags the infiltration method `method` (1 Green and Ampt, 2 with
// redistribution, 3 multi-layer, 4 Richards) before the plane makes its
// arrays, gives every cell soil `s` and arms the infiltration clock with the
// overland one.
inline void make_soil_plane(kesta::model_state& m, const plane& p, double dt_seconds, int method = 1,
                            const soil& s = soil()) {
    m.green_ampt_on = method == 1;
    m.inf_redist_on = method == 2;
    m.inf_layered_on = method == 3;
    m.inf_richards_on = method == 4;
    m.conductivity_given = m.capillary_given = m.porosity_given = 1;
    make_plane(m, p, dt_seconds);
    for (int k = 1; k <= m.ncells; ++k) {
        m.ks_map[k] = s.ks;
        m.hc_map[k] = s.hc;
        m.phi_map[k] = s.phi;
        m.thi[k] = s.theta;
    }
    m.dt_days = m.ov_interval;
    kesta::set_clock_interval(m.inf_interval_sec, m.inf_interval, dt_seconds);
    kesta::arm_clock(m.inf_last, m.inf_next, m.time, m.inf_interval);
}

// One pass of the loop for the infiltration step alone: the clock moves on
// one step and the step runs.
inline void infiltration_pass(kesta::model_state& m) {
    ++m.step;
    m.time = kStartJulian + m.step * m.dt_days;
    kesta::step_infiltration(m);
}

}  // namespace kesta_test
