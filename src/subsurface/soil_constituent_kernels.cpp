#include "subsurface/soil_constituent_kernels.hpp"

#include <cmath>

namespace kesta {

double scale_by_ratio(double a, double tolerance, double b, double value) {
    const double d = a - b;
    return d < 0.0 && std::fabs(d) > tolerance ? value * (a / b) : value;
}

double soil_contam_cell_budget(budget_term* terms, int count, double mass) {
    double m = mass;
    for (int i = 0; i < count; ++i) {
        budget_term& t = terms[i];
        t.moved = 0.0;
        if (!t.on) continue;
        double g = 0.0;
        if (t.kind == budget_kind::amount) {
            g = t.value < -m ? -m : t.value;
        } else if (m > 0.0) {
            const double lost = m * t.value;
            g = lost > m ? -m : -lost;
        }
        m += g;
        t.moved = g;
    }
    return m;
}

}  // namespace kesta
