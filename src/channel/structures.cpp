// Weirs and the series-driven structure elements, and the sum over the
// elements of a structure link. Culverts have their own file.
#include "channel/structures.hpp"

#include <algorithm>
#include <cmath>

#include "channel/culverts.hpp"
#include "core/error_record.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kTwoG = 19.62;          // 2 g (m/s2)
constexpr double kLinearDrop = 0.01;     // m: below this level difference a drowned weir is linear in it

// The coefficient of the flow direction and its sign.
double coefficient(const struct_element& e, double h_up, double h_down) {
    return h_down < h_up ? e.coeff_forward : e.coeff_reverse;
}
double direction(double h_up, double h_down) { return h_down < h_up ? 1.0 : -1.0; }

}  // namespace

double weir_flow(const struct_element& e, double h_up, double h_down) {
    const double z = e.crest;
    if (h_up < z && h_down < z) return 0.0;
    const double c = coefficient(e, h_up, h_down);
    const double h1 = std::max(h_up, h_down) - z, h2 = std::min(h_up, h_down) - z;
    double q;
    if (2.0 / 3.0 * h1 > h2) {
        q = 2.0 / 3.0 * c * e.length * std::sqrt(kTwoG * h1 * h1 * h1 / 3.0);
    } else {
        // Drowned: linear in the level difference near zero, where the
        // square root would give an infinite slope.
        const double drop = h1 - h2;
        q = drop < kLinearDrop ? c * e.length * h2 * std::sqrt(kTwoG / kLinearDrop) * drop
                               : c * e.length * h2 * std::sqrt(kTwoG * drop);
    }
    return direction(h_up, h_down) * q;
}

double sag_weir_flow(const struct_element& e, double h_up, double h_down) {
    const double z0 = e.crest;
    const double h = std::max(h_up, h_down);
    if (h <= z0) return 0.0;
    // Crest z0 + a (x - x0)^2 with a = (s2 - s1) / (2 L): over the wetted
    // crest the flow integrates to C sqrt(2 g) (H - z0)^2 / sqrt(a).
    const double a = (e.dim2 - e.dim1) / (2.0 * e.length);
    const double c = coefficient(e, h_up, h_down);
    return direction(h_up, h_down) * c * std::sqrt(kTwoG) * (h - z0) * (h - z0) / std::sqrt(a);
}

double structure_flow(const model_state& m, int link, double h_up, double h_down) {
    const struct_link_elems& rec = m.struct_links[static_cast<std::size_t>(link)];
    double q = 0.0;
    for (int k = rec.first; k <= rec.last; ++k) {
        const struct_element& e = m.struct_elements[static_cast<std::size_t>(k)];
        switch (e.type) {
            case struct_weir: q += weir_flow(e, h_up, h_down); break;
            case struct_sag_weir: q += sag_weir_flow(e, h_up, h_down); break;
            case struct_round_culvert:
            case struct_oval_culvert:
            case struct_rect_culvert: {
                const culvert_flow c = culv_flow(e, h_up, h_down);
                if (!c.ok) return q;
                q += c.q;
                break;
            }
            case struct_rating_curve: q += elev_series_lookup(h_up, e.es); break;
            case struct_scheduled_release: q += ts_value_at(m.time, e.ts); break;
            case struct_rule_curve: q += elev_series_value(h_up, e.es); break;
            default: break;
        }
    }
    return q;
}

}  // namespace kesta
