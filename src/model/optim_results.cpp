#include "model/optim_results.hpp"

#include <memory>

#include "input/input_steps.hpp"
#include "model/model_state.hpp"

namespace kesta {

int optim_index(const optim_record& r, int event, int column) {
    if (event < 1) return -1;
    return (event - 1) * r.num_columns + column + 1;
}

void optim_store(optim_record& r, int event, int column, double peak, double volume) {
    const int slot = optim_index(r, event, column);
    if (column < 0 || column >= r.num_columns || slot < 1) return;
    const std::size_t s = static_cast<std::size_t>(slot);
    if (s >= r.peak.size() || s >= r.volume.size()) return;
    r.peak[s] = peak;
    r.volume[s] = volume;
}

void alloc_optim_record(model_state& m) {
    if (!m.optimize_given) return;
    if (!m.run_result) {
        m.own_run_result = std::make_unique<optim_record>();
        m.run_result = m.own_run_result.get();
    }
    optim_record& r = *m.run_result;
    r.num_events = m.nevents;
    r.num_columns = m.hyd_loc_count + 1;
    const std::size_t columns = static_cast<std::size_t>(r.num_columns) + 1;
    const std::size_t slots = static_cast<std::size_t>(r.num_events > 0 ? r.num_events : 0) *
                                  static_cast<std::size_t>(r.num_columns) + 1;
    r.location_peak.assign(columns, 0.0);
    r.location_volume.assign(columns, 0.0);
    r.peak.assign(slots, kOptimNotWritten);
    r.volume.assign(slots, kOptimNotWritten);
}

}  // namespace kesta
