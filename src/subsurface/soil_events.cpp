// The soil columns at the start and the end of an event: the wetting
// profile of Green and Ampt with redistribution and the layer moistures of
// layered soils as an event starts, and the soil's event volumes (recharge,
// evaporation, net infiltration, storage and the Richards balance) as it
// ends.
#include <cmath>
#include <cstdio>

#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "subsurface/soil_params.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

void move_cm_to_total(vec1<double>& v, int k, double area, double& total, double* carry) {
    if (k > v.n()) return;
    const double volume = v[k] / 100.0 * area;
    total += volume;
    if (carry) *carry += volume;
    v[k] = 0.0;
}

namespace {

constexpr double kTiny = 1e-16;

void check_initial_moisture(int k, double& thi, double thr, double phi) {
    if (!(thi < thr) && !(thi > phi)) return;
    std::printf("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", k, thi, thr, phi);
    if (thi < thr) {
        warn(format_text("Problem initializing inf_redist in main loop, thi<thr at grid cell %d, increasing it to %lf\n",
                         k, thr + 0.01));
        thi = thr + 0.01;
    }
    if (thi > phi) {
        warn(format_text("Problem initializing inf_redist in main loop, thi>phi at grid cell %d, decreasing it to %lf\n",
                         k, phi - 0.01));
        thi = phi - 0.01;
    }
}

}  // namespace

// Green and Ampt with redistribution starts each event with a fresh wetting
// profile; a long-term run takes the initial moisture from the upper soil
// store. Every run holds it within the residual and saturated moistures, so
// that the Brooks-Corey powers never meet a negative saturation. The wetted
// zone goes on redistributing between events unless the run says otherwise,
// so the soil then still has work when the surface is dry. With `carried`
// books the drainage and the surface's evaporation since the last event
// closed are this event's.
void start_redistribution(model_state& m, double area, bool carried) {
    double* drainage = carried ? &m.drainage_carried : nullptr;
    double* evaporation = carried ? &m.direct_evaporation_carried : nullptr;
    m.initial_basin_averaged_soil_water_content = 0.0;
    m.redist_event_init = 1;
    m.water_pending = m.inf_redist_continuous;
    double sum = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        zero_at(m.iter_pond_1, k);
        zero_at(m.iter_n, k);
        zero_at(m.no_wat_prof, k);
        zero_at(m.iter_i_less_k, k);
        zero_at(m.vinf_n, k);
        zero_at(m.infdep, k);
        zero_at(m.infdep_prev, k);
        if (k > m.thi.n()) continue;
        const double phi = soil_parameter(m, k, soil_param::porosity);
        const double thr = soil_parameter(m, k, soil_param::residual);
        double thi = m.thi[k];
        if (m.long_term) {
            const double depth = value_at(m.soil_depth, k);
            const double top = depth < m.top_layer_depth ? depth : m.top_layer_depth;
            thi = phi;
            if (depth > kTiny && top > 0.0) thi = value_at(m.Ws1_L1, k) / top;
        }
        check_initial_moisture(k, thi, thr, phi);
        m.thi[k] = thi;
        if (!m.long_term) continue;
        sum += thi / phi;
        if (!std::isfinite(sum)) warn(format_text("bad initial value of soil moisture cell %d\n", k));
        if (!m.gw_simulation) move_cm_to_total(m.bottomfav, k, area, m.total_percolation_volume, drainage);
        move_cm_to_total(m.DIRECT_EVAP, k, area, m.total_direct_evap_volume, evaporation);
    }
    if (m.long_term && m.ncells > 0) m.initial_basin_averaged_soil_water_content = sum / m.ncells;
}

// Layered soils of a long-term run take their layer moistures from the soil
// stores, cell by cell (cells of one soil class keep their own moistures).
// Layer 2 of the stores spans from the bottom of layer 1 to the bottom of the
// soil; a column no deeper than layer 1 is saturated below it, as is a
// column with no unsaturated soil. With `carried` books, as for
// redistribution.
void start_layered_soils(model_state& m, double area, bool carried) {
    double* drainage = carried ? &m.drainage_carried : nullptr;
    double* evaporation = carried ? &m.direct_evaporation_carried : nullptr;
    double sum = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        const double* s = soil_class_of(m, k);
        if (!s || k > m.layer_theta.n()) continue;
        double* theta = m.layer_theta[k].theta;
        const double depth = value_at(m.soil_depth, k);
        const double l1 = value_at(m.Ws1_L1, k);
        const double l2 = value_at(m.Ws1_L2, k);
        for (int j = 0; j < 3; ++j) theta[j] = s[7 + j];
        if (depth > kTiny && s[22] > 0.0 && s[22] < depth) {
            theta[0] = l1 / s[22];
            if (s[22] + s[23] > depth) {
                theta[1] = l2 / (depth - s[22]);
            } else if (s[23] > 0.0) {
                theta[1] = l2 / s[23];
                theta[2] = theta[1];
            }
        } else if (depth > kTiny) {
            theta[0] = l1 / depth;
        }
        for (int j = 0; j < 3; ++j) {
            if (theta[j] < s[19 + j]) theta[j] = s[19 + j];
            if (theta[j] > s[7 + j]) theta[j] = s[7 + j];
        }
        sum += theta[0] / s[7];
        if (!std::isfinite(sum)) warn(format_text("bad initial value of soil moisture cell %d\n", k));
        if (!m.gw_simulation) move_cm_to_total(m.bottomfav, k, area, m.total_percolation_volume, drainage);
        move_cm_to_total(m.DIRECT_EVAP, k, area, m.total_direct_evap_volume, evaporation);
    }
    m.initial_basin_averaged_soil_water_content = m.ncells > 0 ? sum / m.ncells : 0.0;
}


void soils_at_event_end(model_state& m, double area) {
    if (!m.soil_et_accounting && !m.inf_richards_on) return;
    double recharge = 0.0, evaporated = 0.0, infiltrated = 0.0, soil = 0.0;
    int unsaturated = 0;
    for (int k = 1; k <= m.ncells; ++k) {
        if (k <= m.bottomfav.n()) {
            recharge += m.bottomfav[k];
            if (!m.gw_simulation) {
                m.total_percolation_volume += m.bottomfav[k] / 100.0 * area;
                m.bottomfav[k] = 0.0;
            }
        }
        if (m.long_term && k <= m.DIRECT_EVAP.n()) {
            evaporated += m.DIRECT_EVAP[k] / 100.0 * area;
            m.DIRECT_EVAP[k] = 0.0;
        }
        if (m.inf_richards_on) {
            infiltrated += value_at(m.inf_rich, k) * area;
            soil += richards_column_water(m, k) * area;
            if (value_at(m.yes_exfil, k) != 1) ++unsaturated;
        } else {
            soil += value_at(m.Ws1, k) / 100.0 * area;
        }
    }
    m.volume_ground_water_recharge = recharge / 100.0 * area + m.drainage_carried;
    // The groundwater step has taken in (and cleared) the drainage of its steps.
    if (m.gw_simulation) m.volume_ground_water_recharge += m.gw_recharge_this_event;
    if (m.long_term) m.volume_et_removed_water = evaporated + m.direct_evaporation_carried;
    if (m.inf_richards_on) {
        // Net: what entered the columns less what their soil evaporated.
        m.net_vol_infiltrated_soil =
            infiltrated - (m.run_sums.soil_evaporation - m.richards_evaporation_at_event_start);
        m.number_cells_at_end_event = unsaturated;
    }
    m.final_volume_in_soils = soil;
    // What the event's start carried is in the run total already.
    if (m.long_term) m.total_direct_evap_volume += evaporated;
    if (m.inf_richards_on) {
        if (m.initial_volume_in_soils > 0.0) {
            m.richard_equation_mass_balance_error =
                (m.final_volume_in_soils - m.initial_volume_in_soils - m.net_vol_infiltrated_soil +
                 m.volume_ground_water_recharge - m.vol_gw_unsat_this_event_w) /
                m.initial_volume_in_soils * 100.0;
        } else {
            m.richard_equation_mass_balance_error = 0.0;
            if (m.summary_fp)
                std::fputs("\n No Unsaturated Cells in Grid, No infiltration \n", m.summary_fp.get());
        }
    }
}

}  // namespace kesta
