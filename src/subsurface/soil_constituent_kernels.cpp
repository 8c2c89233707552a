#include "subsurface/soil_constituent_kernels.hpp"

#include <cmath>

namespace kesta {

namespace {

constexpr double kNothingPending = 1e-16;   // a store this small has nothing to apply
constexpr double kParticleDensity = 2650.0;  // kg/m3 of soil solids
constexpr double kGramsPerKilogram = 1000.0;

}  // namespace

double scale_by_ratio(double a, double tolerance, double b, double value) {
    const double d = a - b;
    return d < 0.0 && std::fabs(d) > tolerance ? value * a / b : value;
}

double soil_contam_cell_budget(std::vector<budget_term>& terms, double dts, double tolerance, double mass,
                               bool in_lake) {
    if (in_lake) return 0.0;
    double m = mass;
    double net = 0.0;
    for (budget_term& t : terms) {
        if (!t.on || !t.store || !(std::fabs(*t.store) > kNothingPending)) continue;
        double share = scale_by_ratio(dts, tolerance, t.interval, *t.store);
        const double sign = t.kind == budget_kind::gain ? 1.0 : (t.kind == budget_kind::loss ? -1.0 : 0.0);
        m += sign * share;
        // A share that takes mass out of a cell it empties is cut to what the
        // cell holds; the store is spent.
        if (!(m > 0.0) && sign * share < 0.0 && (t.kind == budget_kind::loss || t.limited)) {
            share -= sign * m;
            m = 0.0;
            *t.store = share;
        }
        *t.store -= share;
        if (t.accumulator) {
            if (t.set_accumulator) *t.accumulator = share;
            else *t.accumulator += share;
        }
        if (t.record) *t.record += share;
        if (t.gained_total && share > 0.0) *t.gained_total += share;
        if (t.lost_total && share < 0.0) *t.lost_total -= share;
        if (t.in_rate) net += sign * share;
    }
    return net / dts;
}

void soil_layer_constituent_loss(int k, int cell, int layer, const soil_layer_arrays& a, double dt,
                                 bool count_only, double dx, int porosity_from_class, int soil_layers) {
    double& layer_mass = (*a.mass)[cell][layer];
    const double dissolved = (*a.dissolved)[cell][layer] * layer_mass;
    double lost = (*a.rate)[k][cell] * dissolved * dt;
    if (lost > dissolved) lost = dissolved;
    if (count_only && layer != 0) {
        (*a.accumulator)[k] += lost;
        return;
    }
    double porosity = (*a.porosity)[cell];
    if (porosity_from_class != 0) {
        const int c = (*a.soiltype)[cell];
        if (c >= 0 && static_cast<std::size_t>(c) < a.soil_class->size()) {
            const double* s = (*a.soil_class)[static_cast<std::size_t>(c)].v;
            const bool second_slot = layer > 2 || (layer == 2 && soil_layers == 2);
            porosity = second_slot ? s[8] : s[7];
        }
    }
    layer_mass -= lost;
    const double soil_mass = (1.0 - porosity) * (*a.thickness)[layer] * kParticleDensity * dx * dx;  // kg
    (*a.concentration)[cell][layer] = soil_mass > 0.0 ? layer_mass / soil_mass * kGramsPerKilogram : 0.0;
    (*a.accumulator)[k] += lost;
}

}  // namespace kesta
