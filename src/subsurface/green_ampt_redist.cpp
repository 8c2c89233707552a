#include "subsurface/green_ampt_redist.hpp"

#include <cmath>

#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/soil_params.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kMetresPerSecondToCmPerHour = 360000.0;
constexpr double kFrozen = 83.0;                 // frozen-ground index above which the ground takes no water
constexpr double kThinProfile = 1e-20;           // smallest deficit above the wetted zone
constexpr double kNoPondingDrive = 1e-6;         // m/s; supply this close to Ks never ponds
constexpr double kLongTimeToPonding = 100000.0;  // s, taken when it does not

// The wetting-profile states of no_wat_prof.
constexpr int kOneProfile = 0;
constexpr int kNewProfile = 1;     // a new profile forming at saturation
constexpr int kMergedProfile = 2;  // a second profile merged into the first

// Per-cell soil of the method.
struct redist_soil {
    double ks, hc, phi, thr, lambda;
};

redist_soil soil_of(const model_state& m, int k) {
    return {soil_parameter(m, k, soil_param::conductivity), soil_parameter(m, k, soil_param::capillary_head),
            soil_parameter(m, k, soil_param::porosity), soil_parameter(m, k, soil_param::residual),
            soil_parameter(m, k, soil_param::pore_index)};
}

bool skipped(const model_state& m, int k) {
    if (in_overland_lake(m, k) || in_channel_lake(m, k)) return true;
    return m.long_term && k <= m.CFGI.n() && m.CFGI[k] > kFrozen;
}

// Supply below the conductivity: all of it enters, and the wetted zone
// redistributes under it.
void take_all_supply(model_state& m, int k, const redist_soil& s, double r, double dt, int n) {
    double& h = m.h[k];
    double& F = m.infdep[k];
    double& theta0 = m.teta_n[k];
    const double thi = m.thi[k];
    if (m.no_wat_prof[k] == kNewProfile) {
        theta0 = s.phi;
        m.no_wat_prof[k] = kOneProfile;
    } else if (m.no_wat_prof[k] == kMergedProfile) {
        // The second profile joins the first: one zone holding both waters.
        if (F > 0.0) {
            const double I = m.vinf_n[k];
            theta0 = ((theta0 - thi) * I + (F - I) * (s.phi + theta0 - 2.0 * thi)) / F + thi;
        }
        m.no_wat_prof[k] = kOneProfile;
        if (theta0 > s.phi) theta0 = s.phi;
    }
    if (h > 0.0) m.fav[k] = r * kMetresPerSecondToCmPerHour;
    if (F + h < 0.0) {
        F = 0.0;
        m.vinf_n[k] = 0.0;
        h = 0.0;
        m.surf[k] = thi;
        return;
    }
    F += h;
    m.vinf_n[k] = F;
    m.fav[k] = r * kMetresPerSecondToCmPerHour;
    if (theta0 != thi)
        theta0 = redistributed_moisture(theta0, thi, s.thr, s.phi, s.ks, s.hc, s.lambda, r, m.vinf_n[k], dt);
    m.iter_n[k] = n;
    m.surf[k] = theta0;
    h = 0.0;
}

// Supply at or above the conductivity: the soil takes its capacity, and ponds
// when the supply exceeds it.
void take_capacity(model_state& m, int k, const redist_soil& s, double r, double dt, int n, double reduction) {
    double& h = m.h[k];
    double& F = m.infdep[k];
    double& theta0 = m.teta_n[k];
    const double thi = m.thi[k];
    double deficit = s.phi - thi;
    double front = F;  // depth taken in by the profile the capacity is for (m)
    if (m.iter_n[k] > 0 && m.no_wat_prof[k] != kNewProfile) {
        // Rain after a dry spell: a new profile starts at saturation, and when
        // the old zone holds more than the new one can it redistributes alone.
        double room = s.phi - theta0;
        if (!(room > kThinProfile)) room = kThinProfile;
        m.no_wat_prof[k] = kNewProfile;
        const double I = m.vinf_n[k];
        if (I > 0.0 && I / theta0 > (F - I) / room) {
            m.no_wat_prof[k] = kMergedProfile;
            theta0 = redistributed_moisture(theta0, thi, s.thr, s.phi, s.ks, s.hc, s.lambda, 0.0, I, dt);
            deficit = s.phi - theta0;
            front = F - I;
        }
    }
    double f = redistribution_capacity(s.ks, s.hc * deficit, front, dt) * reduction;
    m.fav[k] = f * kMetresPerSecondToCmPerHour;
    if (r <= f) {
        f = r;
        m.fav[k] = r * kMetresPerSecondToCmPerHour;
        if (m.iter_pond_1[k] == 0 && m.iter_n[k] == 0) {
            // The surface wets toward saturation over the time to ponding.
            const double drive = f - s.ks;
            const double t =
                drive < kNoPondingDrive ? kLongTimeToPonding : s.ks * s.hc * (s.phi - theta0) / (drive * f);
            if (!std::isnan(t) && t != 0.0) theta0 += (s.phi - theta0) * dt / t;
            else theta0 = s.phi;
            if (theta0 > s.phi) {
                theta0 = s.phi;
                m.iter_pond_1[k] = n;
            }
        }
        h = 0.0;
    } else {
        h -= f * dt;
        if (m.iter_pond_1[k] == 0) {
            m.iter_pond_1[k] = n;
            if (m.iter_n[k] == 0) theta0 = s.phi;
        }
    }
    F += f * dt;
    if (m.no_wat_prof[k] == kNewProfile) theta0 = s.phi;
    m.surf[k] = m.no_wat_prof[k] == kMergedProfile ? s.phi : theta0;
}

}  // namespace

double relative_saturation(double theta, double thr, double phi) {
    if (!(phi > thr)) return 0.0;
    const double se = (theta - thr) / (phi - thr);
    if (!(se > 0.0)) return 0.0;
    return se < 1.0 ? se : 1.0;
}

double brooks_corey_conductivity(double ks, double se, double lambda) {
    return ks * std::pow(se, 2.0 / lambda + 3.0);
}

double redistribution_capacity(double ks, double suction, double F, double dt) {
    const double s = suction > 0.0 ? suction : 0.0;
    const double a = ks * dt - 2.0 * F;
    return (a + std::sqrt(a * a + 8.0 * (s + F) * ks * dt)) / (2.0 * dt);
}

double redistributed_moisture(double theta0, double thi, double thr, double phi, double ks, double hc,
                              double lambda, double r, double I, double dt) {
    if (!(I > 0.0)) return theta0;
    const double se_i = relative_saturation(thi, thr, phi);
    const double se_0 = relative_saturation(theta0, thr, phi);
    const double k_i = brooks_corey_conductivity(ks, se_i, lambda);
    const double k_0 = brooks_corey_conductivity(ks, se_0, lambda);
    const double b = 1.0 / lambda + 3.0;
    const double g =
        se_i < 1.0 ? hc * (std::pow(se_0, b) - std::pow(se_i, b)) / (1.0 - std::pow(se_i, b)) : hc;
    const double excess = theta0 - thi;
    double theta = theta0 + (r - k_i - k_0 - ks * g * excess / I) * excess * dt / I;
    if (theta <= thi) theta = thi;
    if (theta > phi) theta = phi;
    return theta;
}

void green_ampt_redist(model_state& m, double dt) {
    const int n = m.ncells;
    // The loading makes every vector below for a redistribution run, and the
    // set-up refuses a run without the soil parameters.
    if (n < 1 || !(dt > 0.0) || !holds(m.h, n) || !holds(m.thi, n) || !holds(m.infdep, n) ||
        !holds(m.fav, n) || !holds(m.teta_n, n) || !holds(m.surf, n) || !holds(m.vinf_n, n) ||
        !holds(m.iter_pond_1, n) || !holds(m.iter_n, n) || !holds(m.iter_i_less_k, n) ||
        !holds(m.no_wat_prof, n)) {
        return;
    }
    const int step = m.gar_step_count;
    const bool reduce = m.area_reduction_given && holds(m.area_redux, n);
    for (int k = 1; k <= n; ++k) {
        if (skipped(m, k)) continue;
        const double thi = m.thi[k];
        if (step <= 1) m.teta_n[k] = m.surf[k] = thi;
        const redist_soil s = soil_of(m, k);
        if (value_at(m.yes_exfil, k) == 1) {
            m.teta_n[k] = s.phi;
            continue;
        }
        const double reduction = reduce ? m.area_redux[k] : 1.0;
        const double ke = s.ks * reduction;
        const double r = m.h[k] / dt;  // supply (m/s)
        if (m.iter_i_less_k[k] == step - 1 && r <= ke) {
            // The supply has entered whole since the last step: it does again.
            m.fav[k] = r * kMetresPerSecondToCmPerHour;
            m.infdep[k] += m.h[k];
            m.h[k] = 0.0;
            m.iter_i_less_k[k] = step;
            m.surf[k] = thi;
            continue;
        }
        if (r < ke) take_all_supply(m, k, s, r, dt, step);
        else take_capacity(m, k, s, r, dt, step, reduction);
    }
}

}  // namespace kesta
