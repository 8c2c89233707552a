#include "subsurface/green_ampt_layered.hpp"

#include <cmath>

#include "model/model_state.hpp"
#include "subsurface/green_ampt.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kDry = 1e-16;                 // m; a shallower cell holds no water
constexpr double kSecondsPerHour = 3600.0;
constexpr double kCmPerHourToMetresPerSecond = 360000.0;  // divide by it
constexpr double kCmPerMetre = 100.0;
constexpr double kSaturatedDeficit = 0.01;     // share of the porosity a saturated layer still takes

// The wetting front of one cell: the layer it stands in (0 to 2), the soil
// conductivity above it (cm/h) and the capillary drive there (cm).
struct front_state {
    int layer;
    double keff;
    double suction;
};

front_state locate_front(const double* s, const double deficit[3], double wet_depth, double F) {
    const double l1 = s[22], l2 = s[23], l12 = l1 + l2;
    const double k[3] = {s[4], s[5], s[6]};
    int layer = 0;
    double crossed[3] = {0.0, 0.0, 0.0};
    if (wet_depth > l12) {
        layer = 2;
        crossed[0] = l1;
        crossed[1] = l2;
        crossed[2] = (F - (l1 * deficit[0] + l2 * deficit[1])) / deficit[2];
    } else if (wet_depth > l1) {
        layer = 1;
        crossed[0] = l1;
        crossed[1] = (F - l1 * deficit[0]) / deficit[1];
    }
    const double keff = layer == 0 ? k[0] : layered_conductivity(crossed, k);
    return {layer, keff, s[layer] * deficit[layer]};
}

// Depth of a front that has taken in Fn (cm): layer by layer, each filling
// its deficit.
double front_depth(const double* s, const double deficit[3], double Fn) {
    const double l1 = s[22], l2 = s[23], l12 = l1 + l2;
    double z = Fn / deficit[0];
    if (l1 < z) z = (Fn - deficit[0] * l1) / deficit[1] + l1;
    if (l12 < z) z = l12 + (Fn - (deficit[0] * l1 + deficit[1] * l2)) / deficit[2];
    return z;
}

}  // namespace

double layered_conductivity(const double thickness[3], const double k[3]) {
    double total = 0.0, resistance = 0.0;
    for (int j = 0; j < 3; ++j) {
        if (!(thickness[j] > 0.0)) continue;
        if (!(k[j] > 0.0)) return 0.0;
        total += thickness[j];
        resistance += thickness[j] / k[j];
    }
    return total > 0.0 ? total / resistance : k[0];
}

void green_ampt_multilayer(model_state& m, double dt) {
    const int n = m.ncells;
    // The loading makes every vector below for a multi-layer run, and the
    // set-up gives every cell a soil class and its layer moistures.
    if (n < 1 || !(dt > 0.0) || !holds(m.h, n) || !holds(m.infdep, n) || !holds(m.fav, n) ||
        !holds(m.wetdep, n) || !holds(m.layer_theta, n) || !holds(m.soiltype, n)) {
        return;
    }
    const double hours = dt / kSecondsPerHour;
    const bool reduce = m.area_reduction_given && holds(m.area_redux, n);
    for (int k = 1; k <= n; ++k) {
        double& h = m.h[k];
        if (h <= kDry) {
            m.fav[k] = 0.0;
            continue;
        }
        const double* s = soil_class_of(m, k);
        if (!s) continue;
        double deficit[3];
        for (int j = 0; j < 3; ++j) {
            deficit[j] = s[7 + j] - m.layer_theta[k].theta[j];
            // A saturated layer still takes a little, so the front moves on.
            if (!(deficit[j] > 0.0)) deficit[j] = kSaturatedDeficit * s[7 + j];
        }
        const double F = m.infdep[k] * kCmPerMetre;
        const front_state front = locate_front(s, deficit, m.wetdep[k], F);

        // The single-layer Newton, in its own units: a front that settles on
        // no depth moves at the conductivity.
        const double K = front.keff / kCmPerHourToMetresPerSecond;  // m/s
        const double S = front.suction / kCmPerMetre;                // m
        double Fn = green_ampt_depth(K, S, m.infdep[k], dt);
        double f = K;  // m/s
        if (std::isnan(Fn)) Fn = m.infdep[k] + K * dt;
        else if (S > 0.0 && Fn > kDry) f = K * (S / Fn + 1.0);
        if (!(K > 0.0)) f = 0.0;
        f *= kCmPerHourToMetresPerSecond;  // cm/h
        if (reduce && m.area_redux[k] <= 1.0) f *= m.area_redux[k];

        const double taken = f * hours / kCmPerMetre;  // m
        if (taken < h) {
            m.fav[k] = f;
            h -= taken;
            m.infdep[k] += taken;
            m.wetdep[k] = front_depth(s, deficit, Fn * kCmPerMetre);
        } else {
            // All the water enters: the front moves by it over the deficit
            // of the layer it stands in.
            m.fav[k] = h * kCmPerMetre / hours;
            m.infdep[k] += h;
            m.wetdep[k] += h * kCmPerMetre / deficit[front.layer];
            h = 0.0;
        }
    }
}

}  // namespace kesta
