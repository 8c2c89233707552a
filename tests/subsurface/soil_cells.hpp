// Hand-made soil models for the infiltration and soil-column tests: a plane
// of cells (see overland/overland_grid.hpp) with one soil on every cell and
// an infiltration clock stepped with the overland clock; that loam with
// Green and Ampt with redistribution, or a three-layer soil class on every
// cell with multi-layer Green and Ampt.
#pragma once

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_grid.hpp"
#include "subsurface/soil_params.hpp"
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

// A row of `cols` cells of the plane.
inline plane row(int cols) {
    plane p;
    p.cols = cols;
    return p;
}

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

// The loam with its Brooks-Corey residual moisture (0.027), pore index
// (0.252), field capacity (0.27) and wilting point (0.12).
inline void make_redist_plane(kesta::model_state& m, const plane& p, double dt) {
    m.pore_index_given = m.residual_sat_given = 1;
    make_soil_plane(m, p, dt, 2);
    for (int k = 1; k <= m.ncells; ++k) {
        m.lam_map[k] = 0.252;
        m.thr_map[k] = 0.027;
        m.field_capacity[k] = 0.27;
        m.Wp[k] = 0.12;
    }
}

// Soil class 1 on every cell: layers of 10 and 20 cm over a third, of
// conductivity k (cm/h), capillary head hc (cm), porosity phi and initial
// moisture theta, field capacity 0.25, wilting point 0.1, residual moisture
// 0.03 and pore index 0.3, as the layered soil table fills its record.
inline void make_layered_plane(kesta::model_state& m, const plane& p, double dt, const double k[3],
                               const double hc[3], double phi, double theta) {
    make_soil_plane(m, p, dt, 3);
    m.conductivity_given = m.capillary_given = m.porosity_given = 0;
    m.ks_map.reset();
    m.hc_map.reset();
    m.phi_map.reset();
    double* s = m.soil_class[1].v;
    for (int j = 0; j < 3; ++j) {
        s[4 + j] = k[j];
        s[0 + j] = hc[j];
        s[7 + j] = phi;
        s[10 + j] = theta;
        s[13 + j] = 0.1, s[16 + j] = 0.25, s[19 + j] = 0.03, s[25 + j] = 0.3;
    }
    s[22] = 10.0;
    s[23] = 20.0;
    for (int c = 1; c <= m.ncells; ++c) m.soiltype[c] = 1;
    kesta::setup_soil_columns(m);
}

}  // namespace kesta_test
