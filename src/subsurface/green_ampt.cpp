#include "subsurface/green_ampt.hpp"

#include <cmath>
#include <limits>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kDry = 1e-16;               // m; a shallower cell holds no water
constexpr double kFirstGuess = 0.001;        // m beyond F0
constexpr double kResidual = 1e-6;           // m
constexpr int kMaxPasses = 100;              // Newton settles in a dozen passes over any real soil
constexpr double kMetresPerSecondToCmPerHour = 360000.0;

// S = Hc (phi - theta_i) per cell, from the moisture the loading left in thi.
void fill_suction(model_state& m) {
    alloc_dvector(m.SFM, m.ncells, "SFM");
    if (!blocks_made(g_error_record, "the suction heads of the cells", m.SFM)) return;
    for (int k = 1; k <= m.ncells; ++k) m.SFM[k] = m.hc_map[k] * (m.phi_map[k] - m.thi[k]);
}

}  // namespace

double green_ampt_depth(double K, double S, double F0, double dt) {
    if (!(S > 0.0)) return F0 + K * dt;
    double F = F0 + kFirstGuess;
    double g = 6.0;
    // g is concave and falls for F > 0: after the first pass every iterate
    // lies at or beyond the root and walks down to it, so the limit only
    // stops inputs that are not numbers.
    for (int pass = 0; pass < kMaxPasses && std::fabs(g) > kResidual; ++pass) {
        g = S * std::log((F + S) / (F0 + S)) + K * dt - F + F0;
        F -= g / (S / (F + S) - 1.0);
    }
    if (!(std::fabs(g) <= kResidual) || !std::isfinite(F)) return std::numeric_limits<double>::quiet_NaN();
    return F;
}

double green_ampt_rate(double K, double S, double F0, double dt) {
    if (!(K > 0.0)) return 0.0;
    if (!(S > 0.0)) return K;
    const double F = green_ampt_depth(K, S, F0, dt);
    return F > kDry ? K * (S / F + 1.0) : K;
}

void green_ampt_infil(model_state& m, double dt) {
    const int n = m.ncells;
    // The loading makes every vector below for a Green and Ampt run and
    // refuses a run that lacks one of the soil maps.
    if (n < 1 || !(dt > 0.0) || !holds(m.h, n) || !holds(m.thi, n) || !holds(m.infdep, n) ||
        !holds(m.fav, n) || !holds(m.ks_map, n) || !holds(m.hc_map, n) || !holds(m.phi_map, n)) {
        return;
    }
    if (m.SFM.n() != n) fill_suction(m);
    if (m.SFM.n() != n) return;
    const bool reduce = m.area_reduction_given && holds(m.area_redux, n);

    for (int k = 1; k <= n; ++k) {
        double& h = m.h[k];
        if (h < kDry) {
            m.fav[k] = 0.0;
            h = 0.0;
            continue;
        }
        double f = green_ampt_rate(m.ks_map[k], m.SFM[k], m.infdep[k], dt);
        if (reduce) f *= m.area_redux[k];
        if (f * dt >= h) {
            f = h / dt;
            h = 0.0;
        } else {
            h -= f * dt;
        }
        // The Newton depth only sets the rate; the rate sets the depth.
        m.infdep[k] += f * dt;
        m.fav[k] = f * kMetresPerSecondToCmPerHour;
    }
}

}  // namespace kesta
