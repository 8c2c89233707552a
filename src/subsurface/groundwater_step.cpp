// The groundwater step of the time loop: at its interval it books the
// stream and lake exchanges the channel step left for the aquifer, sets the
// storage coefficients, solves the heads, lets the soil columns of the
// accounting method follow the water table, and books what moved.
#include <algorithm>
#include <cstdio>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/groundwater.hpp"
#include "subsurface/soil_params.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerMetre = 100.0;
constexpr double kTiny = 1e-16;

// The soil store of cell k over its layers: depth of the first layer (cm),
// and per layer a moisture limit or fill moisture.
struct soil_layers {
    double top = 0.0;        // cm
    double stores = 0.0;     // cm, depth the accounting stores reach
    double value[2] = {};    // per layer
};

soil_layers layers_of(model_state& m, int k, soil_param p) {
    soil_layers l;
    l.top = m.top_layer_depth;
    l.stores = m.soil_moist_depth;
    if (m.inf_layered_on) {
        const double* s = soil_class_of(m, k);
        l.top = s ? s[22] : 0.0;
        l.stores = s ? s[22] + s[23] : 0.0;
    }
    const bool maps = p == soil_param::porosity ? !m.inf_layered_on && !m.phi_map.empty()
                      : p == soil_param::residual ? !m.inf_layered_on && !m.thr_map.empty()
                                                  : !m.inf_layered_on && !m.field_capacity.empty();
    for (int j = 0; j < 2; ++j) {
        if (maps) {
            const vec1<double>& v = p == soil_param::porosity  ? m.phi_map
                                    : p == soil_param::residual ? m.thr_map
                                                                : m.field_capacity;
            l.value[j] = value_at(v, k);
        } else {
            l.value[j] = soil_parameter(m, k, p, j + 1);
        }
    }
    return l;
}

// Water (cm) of the unsaturated soil between the bottom of the stores
// (`stores`, cm down) and a water table `w` cm down: the accounting counts
// it at gw_inf_redist_theta beside the stores, none once the table stands
// within them.
double held_below_stores(const model_state& m, int k, double stores, double w) {
    return w > stores ? (w - stores) * m.gw_inf_redist_theta[k] : 0.0;
}

// Storage coefficient of a cell under the soil accounting: open water at or
// above the ground, the aquifer's porosity below the soil stores, else the
// porosity of the soil the water table stands in.
void accounting_storage(model_state& m) {
    for (int k = 1; k <= m.ncells; ++k) {
        double s = 0.0;
        const double below = m.elev[k] - m.elevgw[k];
        const soil_layers l = layers_of(m, k, soil_param::porosity);
        if (below <= 0.0)
            s = 1.0;
        else if (l.stores / kCmPerMetre < below)
            s = m.gw_array_porosity[k];
        else
            s = l.top < value_at(m.soil_depth, k) ? l.value[1] : l.value[0];
        if (!(s > 0.0)) {
            warn("there is a problem with groundwater storage term\n");
            s = m.gw_array_porosity[k];
        }
        m.STOR[k] = s;
    }
}

// Adds the band of the soil column from depth `from` to `to` (cm) at the
// layers' moistures; returns the water added (cm).
double fill_band(model_state& m, int k, const soil_layers& fc, double from, double to) {
    const double upper = std::max(std::min(to, fc.top) - from, 0.0);
    const double lower = std::max(to - std::max(from, fc.top), 0.0);
    const double a = upper * fc.value[0], b = lower * fc.value[1];
    m.Ws1_L1[k] += a;
    m.Ws1_L2[k] += b;
    m.Ws1[k] += a + b;
    return a + b;
}

// The soil store of cell k keeps its moisture within the layers' limits;
// what passes a limit goes to (or comes from) the drainage.
void keep_within_limits(model_state& m, int k) {
    const double depth = m.soil_depth[k];
    if (!(depth > kTiny)) return;
    const double theta = m.Ws1[k] / depth;
    for (soil_param p : {soil_param::porosity, soil_param::residual}) {
        const soil_layers l = layers_of(m, k, p);
        double limit = 0.0;
        if (l.stores <= depth && m.inf_layered_on) {
            const double* s = soil_class_of(m, k);
            const double d1 = s ? s[22] : 0.0, d2 = s ? s[23] : 0.0;
            limit = d1 + d2 > 0.0 ? (l.value[0] * d1 + l.value[1] * d2) / (d1 + d2) : l.value[0];
        } else if (l.top >= depth) {
            limit = l.value[0];
        } else {
            limit = (l.value[0] * l.top + l.value[1] * (depth - l.top)) / depth;
        }
        const bool above = p == soil_param::porosity ? theta > limit : theta < limit;
        if (!above) continue;
        const double before = m.Ws1[k];
        if (l.top < depth) {
            m.Ws1_L1[k] = l.top * l.value[0];
            m.Ws1_L2[k] = (depth - l.top) * l.value[1];
        } else {
            m.Ws1_L1[k] = depth * l.value[0];
            m.Ws1_L2[k] = 0.0;
        }
        m.Ws1[k] = m.Ws1_L1[k] + m.Ws1_L2[k];
        m.bottomfav[k] += before - m.Ws1[k];
        return;
    }
}

// The unsaturated soil below the stores of cell k after the ground or the
// water table moved, from `ground` and `table` (m) to elev[k] and
// elevgw[k]: it gives what it no longer holds to the aquifer, or takes what
// it now holds from it, at the aquifer's next step (gw_unsat_exchange, cm
// into the aquifer). A table rising from below the stores into them takes
// all of that soil's water.
void band_follows(model_state& m, int k, double ground, double table) {
    if (!m.gw_simulation || !m.soil_et_accounting || k > m.gw_unsat_exchange.n() ||
        k > m.gw_inf_redist_theta.n() || k > m.elevgw.n())
        return;
    const double stores = soil_stores_depth(m, k);
    m.gw_unsat_exchange[k] += held_below_stores(m, k, stores, (ground - table) * kCmPerMetre) -
                              held_below_stores(m, k, stores, (m.elev[k] - m.elevgw[k]) * kCmPerMetre);
}

// A column no deeper than its first layer is one layer: the accounting
// moves only the first store, so the second's water joins it.
void fold_second_layer(model_state& m, int k, double top) {
    if (top > 0.0 && top < m.soil_depth[k]) return;
    m.Ws1_L1[k] += m.Ws1_L2[k];
    m.Ws1_L2[k] = 0.0;
}

// The soil column of cell k after its water table moved by dh (m).
void follow_soil_column(model_state& m, int k, double dh) {
    const double w = (m.elev[k] - m.elevgw[k]) * kCmPerMetre;  // cm to the water table
    band_follows(m, k, m.elev[k], m.elevgw[k] - dh);
    const soil_layers fc = layers_of(m, k, soil_param::field_capacity);
    if (w <= kTiny) {
        const bool lake = in_channel_lake(m, k) || in_overland_lake(m, k);
        if (!lake) {
            m.yes_exfil[k] = 1;
            m.any_exfil = 1;
        }
        m.bottomfav[k] += m.Ws1[k];
        m.soil_depth[k] = m.Ws1[k] = m.Ws1_L1[k] = m.Ws1_L2[k] = 0.0;
    }
    if (m.soil_depth[k] > w) {
        m.soil_depth[k] = std::max(w, 0.0);
        fold_second_layer(m, k, fc.top);
    } else if (m.soil_depth[k] < w) {
        const double d0 = m.soil_depth[k];
        m.soil_depth[k] = w;
        if (m.inf_layered_on) {
            m.soil_moist_depth = fc.stores;
            m.top_layer_depth = fc.top;
        }
        if (fc.stores >= w && dh < kTiny) {
            m.bottomfav[k] -= fill_band(m, k, fc, d0, w);
        } else if (fc.stores < w) {
            m.soil_depth[k] = fc.stores;
            if (fc.stores > d0) m.bottomfav[k] -= fill_band(m, k, fc, d0, fc.stores);
        }
    }
    keep_within_limits(m, k);
}

// Drainage out of the soil bottom the solver took in moves into the run
// totals: downward flux, and recharge. A held cell takes its column's
// drainage as any other (and passes it on to its boundary), so the soil
// columns' balance counts it as gone from them.
void book_drainage(model_state& m) {
    for (int k = 1; k <= m.ncells && k <= m.bottomfav.n(); ++k) {
        const double v = m.bottomfav[k] / kCmPerMetre * m.DELX[k] * m.DELY[k];
        m.bottomfav[k] = 0.0;
        book_water(m, water_flow::percolation, v);
        m.gw_totals.recharge += v;
        m.gw_recharge_this_event += v;
    }
}

// The redistribution kernel's moisture below the wetting front keeps 0.01
// clear of the residual and saturated moistures, where its Brooks-Corey
// powers fail. thi only shapes the kernel's rates: the soil water of the
// accounting is Ws1, so moving thi moves no water in any balance.
void hold_initial_moisture(model_state& m) {
    constexpr double kMargin = 0.01;
    for (int k = 1; k <= m.ncells && k <= m.thi.n(); ++k) {
        double& thi = m.thi[k];
        const double thr = soil_parameter(m, k, soil_param::residual);
        const double phi = soil_parameter(m, k, soil_param::porosity);
        if (thi < thr + kMargin) {
            std::printf("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", k, thi, thr, phi);
            warn(format_text("Problem initializing inf_redist in main loop, thi<thr at grid cell %d, increasing it to "
                             "%lf\n",
                             k, thr + kMargin));
            thi = thr + kMargin;
        }
        if (thi > phi - kMargin) {
            warn(format_text("Problem initializing inf_redist in main loop, thi>phi at grid cell %d, decreasing it to "
                             "%lf\n",
                             k, phi - kMargin));
            thi = phi - kMargin;
        }
    }
}

}  // namespace

void soil_follows_ground(model_state& m, int k, double before) {
    band_follows(m, k, before, value_at(m.elevgw, k));
}

void settle_groundwater_exchanges(model_state& m) {
    if (!m.gw_simulation || m.elevgw.empty()) return;
    gw_run_totals& t = m.gw_totals;
    for (int k = 1; k <= m.ncells; ++k) {
        const surface_exchange x = take_surface_exchange(m, k);
        const double in = x.lake + x.stream - x.tile;  // m3
        t.sources += in;
        if (in == 0.0) continue;
        // A held head passes the water on to its boundary; any other cell
        // holds it at the porosity its volume is counted with.
        if (gw_fixed_head(m.gwbound[k])) {
            t.head_boundary -= in;
            continue;
        }
        const double held = m.DELX[k] * m.DELY[k] * m.gw_array_porosity[k];  // m3 per m of head
        const double before = m.elevgw[k];
        m.elevgw[k] += in / held;
        // Tile drains may have taken more than the cell held: the floor puts
        // the difference back, booked as its own volume, as after a solve.
        const double floor_head = m.bottom_elev[k] + kGwFloor;
        if (m.elevgw[k] < floor_head) {
            t.floor_added += (floor_head - m.elevgw[k]) * held;
            m.elevgw[k] = floor_head;
        }
        band_follows(m, k, m.elev[k], before);
    }
}

void step_groundwater(model_state& m) {
    if (!m.gw_simulation || !clock_due(m.gw_next, m.time, kTimeTolerance)) return;
    const double dt = (m.gw_next - m.gw_last) * kSecondsPerDay;
    advance_interval_clock(m.gw_last, m.gw_next, m.time, m.gw_interval);
    if (!(dt > 0.0)) return;
    m.any_exfil = 0;

    const bool richards = m.inf_richards_on && m.richards.built();
    const bool accounting = !richards && m.soil_et_accounting && holds(m.Ws1, m.ncells);
    if (accounting) accounting_storage(m);
    for (int k = 1; k <= m.ncells; ++k) m.elevgw_old[k] = m.elevgw[k];

    const gw_solve solve = gw_head_iterate(m, dt);
    if (g_error_record.stop) return;
    m.gw_totals.sources += solve.added;
    book_drainage(m);

    if (accounting) {
        for (int k = 1; k <= m.ncells; ++k) {
            if (gw_fixed_head(m.gwbound[k])) continue;
            m.yes_exfil[k] = 0;
            follow_soil_column(m, k, m.elevgw[k] - m.elevgw_old[k]);
            const double v = m.gw_unsat_exchange[k] / kCmPerMetre * m.DELX[k] * m.DELY[k];
            book_water(m, water_flow::gw_to_soil_columns, -v);
        }
    }
    if (richards) {
        constexpr double kLongestRichardsStep = 0.002777777777777778;  // h, 10 s
        for (int k = 1; k <= m.ncells && k <= m.dtr.n(); ++k) m.dtr[k] = std::min(m.dtr[k], kLongestRichardsStep);
        book_water(m, water_flow::gw_to_soil_columns, -(solve.unsat_exchange / kCmPerMetre * m.gridsize * m.gridsize));
    }

    for (int k = 1; k <= m.ncells; ++k) {
        if (gw_fixed_head(m.gwbound[k])) m.gw_totals.head_boundary += m.gw_flux[k];
        m.gw_flux[k] = 0.0;
        if (value_at(m.yes_exfil, k)) m.any_exfil = 1;
    }
    if (m.any_exfil && !m.event_active && !m.water_pending) m.water_pending = 1;
    if (m.inf_redist_on && m.soil_et_accounting) hold_initial_moisture(m);
}

}  // namespace kesta
