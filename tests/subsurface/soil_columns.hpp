// Hand-made models of the soil-column methods for their tests: the loam of
// soil_cells.hpp with Green and Ampt with redistribution, or a three-layer
// soil class on every cell with multi-layer Green and Ampt.
#pragma once

#include "subsurface/soil_cells.hpp"
#include "subsurface/soil_params.hpp"

namespace kesta_test {

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
