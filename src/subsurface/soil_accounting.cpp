#include "subsurface/soil_accounting.hpp"

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/green_ampt_redist.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/soil_params.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kNoDepth = 1e-16;      // cm; a shallower column has no soil
constexpr double kNoDemand = 1e-16;     // cm
constexpr double kNoRain = 1e-16;       // mm/h
constexpr double kDrySurface = 1e-14;   // cm of surface water
constexpr double kCmPerMetre = 100.0;

// Share of the demand a layer holding ws (cm) meets: Deardorff, the store
// over its field-capacity store once above the residual store; Penman, full
// at field capacity and falling to nothing at the wilting point. A column
// with no soil meets it whole.
double moisture_factor(const soil_column& c, const soil_layer_props& l, double ws, bool soil) {
    if (!soil) return 1.0;
    const double fc = l.fc * l.depth, wp = l.wp * l.depth, residual = l.thr * l.depth;
    double f = 0.0;
    if (c.deardorff) f = ws > residual ? ws / fc : 0.0;
    else if (ws >= fc) f = 1.0;
    else if (ws > wp) f = (ws - wp) / (fc - wp);
    return f < 1.0 ? f : 1.0;
}

// Drainage (cm) over dt seconds of a layer that is not saturated: none at or
// below field capacity, Brooks-Corey above it.
double free_drainage(const soil_layer_props& l, double theta, double dt) {
    if (theta <= l.fc) return 0.0;
    const double se = relative_saturation(theta, l.thr, l.phi);
    return brooks_corey_conductivity(l.ks, se, l.lambda) * dt * kCmPerMetre;
}

// Holds a layer's store within its residual and saturated stores: the excess
// joins its drainage, the shortfall is drawn from it.
void keep_within_limits(const soil_layer_props& l, double& ws, double& drained) {
    const double full = l.phi * l.depth, residual = l.thr * l.depth;
    if (ws > full) {
        drained += ws - full;
        ws = full;
    } else if (ws <= residual) {
        drained -= residual - ws;
        ws = residual;
    }
}

// The cell's column: with redistribution both layers have the cell's soil and
// layer 1 the run's top-layer depth; multi-layer soils take both from the
// cell's soil class. Two layers when layer 1 ends above the bottom of the soil.
soil_column column_of(const model_state& m, int k) {
    const double depth = value_at(m.soil_depth, k);
    double top = m.top_layer_depth;
    if (m.inf_layered_on) {
        const double* s = soil_class_of(m, k);
        top = s ? s[22] : 0.0;
    }
    soil_column c;
    c.deardorff = m.et_calc_deardorff != 0;
    c.drain_as_below = m.inf_layered_on != 0;
    c.layers = top > 0.0 && top < depth ? 2 : 1;
    for (int j = 0; j < c.layers; ++j) {
        soil_layer_props& l = c.layer[j];
        l.depth = c.layers == 1 ? depth : (j == 0 ? top : depth - top);
        l.phi = soil_parameter(m, k, soil_param::porosity, j + 1);
        l.thr = soil_parameter(m, k, soil_param::residual, j + 1);
        l.fc = soil_parameter(m, k, soil_param::field_capacity, j + 1);
        l.wp = soil_parameter(m, k, soil_param::wilting_point, j + 1);
        l.ks = soil_parameter(m, k, soil_param::conductivity, j + 1);
        l.lambda = soil_parameter(m, k, soil_param::pore_index, j + 1);
    }
    return c;
}

// Evapotranspiration demand (cm) on cell k's soil over dt seconds of a
// long-term run, after the surface water has met what it can (which leaves
// the surface as direct evaporation). None while it rains or under snow.
double soil_demand(model_state& m, int k, double dt) {
    if (!m.long_term || value_at(m.ri, k) > kNoRain || value_at(m.snowdepth, k) > 0.0) return 0.0;
    if (k > m.h.n() || k > m.DIRECT_EVAP.n()) return 0.0;
    double& h = m.h[k];  // m
    const double potential = value_at(m.pot_et, k) * dt;
    if (h * kCmPerMetre > kDrySurface) {
        if (potential <= kCmPerMetre * h) {
            m.DIRECT_EVAP[k] += potential;
            h -= potential / kCmPerMetre;
            return 0.0;
        }
        const double surface = kCmPerMetre * h;
        m.DIRECT_EVAP[k] += surface;
        h = 0.0;
        return potential - surface;
    }
    return value_at(m.pot_aet, k) * dt;
}

// One accounting step over every cell outside the lakes; returns the
// evapotranspiration summed over the cells (m).
double account_soils(model_state& m, double dt) {
    const int n = m.ncells;
    if (!holds(m.soil_depth, n) || !holds(m.Ws1, n) || !holds(m.Ws1_L1, n) || !holds(m.Ws1_L2, n) ||
        !holds(m.sm_inf_depth, n) || !holds(m.bottomfav, n) || !holds(m.L1L2_Flux, n) || !holds(m.yes_exfil, n)) {
        return 0.0;
    }
    const bool run_total = holds(m.bottomfav_2, n);
    // The soil constituents move with the water of the accounting.
    const bool constituents = m.soil_con_trans && m.ncontam > 0 && holds(m.soil_interflow, n);
    double evaporated = 0.0;
    for (int k = 1; k <= n; ++k) {
        if (in_overland_lake(m, k) || in_channel_lake(m, k)) continue;
        const double infiltrated = m.sm_inf_depth[k] * kCmPerMetre;
        const double demand = soil_demand(m, k, dt);
        const soil_column c = column_of(m, k);
        const bool moves = m.yes_exfil[k] != 1;
        const column_flows f = soil_column_step(c, m.Ws1_L1[k], m.Ws1_L2[k], infiltrated, demand, dt, moves);
        const bool soil = c.layer[0].depth > kNoDepth;
        if (moves) {
            if (soil) m.Ws1[k] = m.Ws1_L1[k] + (c.layers == 2 ? m.Ws1_L2[k] : 0.0);
            else m.yes_exfil[k] = 1;  // no unsaturated soil: the water table stands at the ground
            m.L1L2_Flux[k] += f.interflow;
            if (constituents) {
                m.soil_interflow[k] += f.interflow;
                m.soil_drainage[k] += f.drainage;
            }
            m.infil_accounted_sum += infiltrated / kCmPerMetre;
            m.sm_inf_depth[k] = 0.0;
        }
        // A saturated column's evapotranspiration comes out of its drainage.
        if (!moves || !soil) m.gw_et_depth_sum += f.et / kCmPerMetre;
        m.bottomfav[k] += f.drainage;
        if (run_total) m.bottomfav_2[k] += f.drainage;
        evaporated += f.et / kCmPerMetre;
    }
    return evaporated;
}

}  // namespace

column_flows soil_column_step(const soil_column& c, double& ws1, double& ws2, double infiltrated, double demand,
                              double dt, bool moves) {
    const soil_layer_props& a = c.layer[0];
    const soil_layer_props& b = c.layer[1];
    const bool two = c.layers == 2;
    const bool soil = a.depth > kNoDepth;
    double et1 = 0.0, et2 = 0.0;
    if (demand > kNoDemand) {
        const double total = a.depth + (two ? b.depth : 0.0);
        const double f1 = moisture_factor(c, a, ws1, soil);
        et1 = demand * (two ? a.depth / total * f1 : f1);
        if (two) et2 = demand * b.depth / total * moisture_factor(c, b, ws2, soil);
        // No layer is dried below its residual water (layer 1 may use what
        // enters it in the step).
        const double short1 = a.thr * a.depth - (ws1 - et1);
        if (short1 > 0.0 && short1 >= infiltrated) et1 -= short1 - infiltrated;
        if (two) {
            const double short2 = b.thr * b.depth - (ws2 - et2);
            if (short2 > 0.0) et2 -= short2;
        }
    }
    column_flows out;
    out.et = et1 + et2;
    if (!moves) {
        out.drainage = -out.et;
        return out;
    }
    if (!soil) {
        out.interflow = infiltrated;
        out.drainage = infiltrated - out.et;
        return out;
    }
    const double theta1 = ws1 / a.depth;
    double d1 = theta1 >= a.phi ? infiltrated : free_drainage(a, theta1, dt);
    const bool lower_saturated = two && ws2 / b.depth >= b.phi;
    const double d2_free = two && !lower_saturated ? free_drainage(b, ws2 / b.depth, dt) : 0.0;
    if (two && c.drain_as_below && !lower_saturated && d1 >= d2_free) d1 = d2_free;
    ws1 += infiltrated - d1 - et1;
    keep_within_limits(a, ws1, d1);
    out.interflow = d1;
    out.drainage = d1;
    if (two) {
        double d2 = lower_saturated ? d1 : d2_free;
        ws2 += d1 - d2 - et2;
        keep_within_limits(b, ws2, d2);
        out.drainage = d2;
    }
    return out;
}

layer_moistures soil_layer_moistures(const model_state& m, int c) {
    const double depth = value_at(m.soil_depth, c);
    double top = m.top_layer_depth;
    if (m.inf_layered_on) {
        const double* s = soil_class_of(m, c);
        top = s ? s[22] : 0.0;
    }
    if (!(depth > kNoDepth)) return {soil_parameter(m, c, soil_param::porosity), kNoSecondLayer};
    if (top > 0.0 && top < depth) return {value_at(m.Ws1_L1, c) / top, value_at(m.Ws1_L2, c) / (depth - top)};
    return {value_at(m.Ws1_L1, c) / depth, kNoSecondLayer};
}

void step_soil_et_accounting(model_state& m) {
    if (!m.soil_et_accounting || !clock_due(m.soil_et_next, m.time, m.time_tol)) return;
    const double dt = (m.time - m.soil_et_last) * kSecondsPerDay;
    if (m.inf_redist_on || m.inf_layered_on) m.soil_et_step_depth = account_soils(m, dt);
    m.soil_et_volume += m.soil_et_step_depth * m.gridsize * m.gridsize;
    advance_interval_clock(m.soil_et_last, m.soil_et_next, m.time, m.soil_et_interval);
}

void finish_soil_run_totals(model_state& m) {
    if (m.inf_richards_on) return finish_richards_run_totals(m);
    if (!m.soil_et_accounting || !(m.inf_redist_on || m.inf_layered_on)) return;
    const double area = m.gridsize * m.gridsize;
    soil_run_totals& t = m.soil_totals;
    t = soil_run_totals{};
    double below = 0.0;  // unsaturated soil between the stores and the water table
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.long_term && k <= m.DIRECT_EVAP.n()) {
            book_water(m, water_flow::direct_evaporation, m.DIRECT_EVAP[k] / kCmPerMetre * area);
            m.DIRECT_EVAP[k] = 0.0;
        }
        t.final_water += (value_at(m.Ws1, k) / kCmPerMetre + value_at(m.sm_inf_depth, k)) * area;
        t.downward_flux += value_at(m.bottomfav, k) / kCmPerMetre * area;
        if (!m.water_table_given) continue;
        const double stores = soil_stores_depth(m, k) / kCmPerMetre;  // m
        const double unsaturated = value_at(m.elev, k) - value_at(m.elevgw, k);
        if (unsaturated > stores) below += (unsaturated - stores) * value_at(m.gw_inf_redist_theta, k) * area;
    }
    t.final_volume = t.final_water + below;
    t.evaporation = m.soil_et_volume;
    t.downward_flux += m.total_percolation_volume;
    const double infiltrated = m.run_sums.infiltrated_volume;
    const double initial = m.soil_water_at_start + m.initial_soil_volume_wt;
    if (initial > 0.0)
        t.balance_error = 100.0 * (m.soil_water_at_start + infiltrated - t.final_water - t.evaporation - t.downward_flux) /
                          (initial + infiltrated);
}

}  // namespace kesta
