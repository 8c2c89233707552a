#include "overland/overland_pumps.hpp"

namespace kesta {

void apply_overland_pumps(vec1<double>& depth, double dt, double t, double dx) {
    for (auto& p : series_store().ov_pumps) {
        const int cell = p->index;
        if (cell < 1 || cell > depth.n()) continue;
        const double rate = p->flow_type == pump_elev ? elev_series_interp(depth[cell], p->es)
                                                      : ts_value_at(t, p->ts);
        double removed = rate * dt / (dx * dx);
        if (removed > depth[cell]) removed = depth[cell];
        depth[cell] -= removed;
    }
}

}  // namespace kesta
