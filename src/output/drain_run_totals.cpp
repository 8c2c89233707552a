// The pipe network's line of the end-of-run summaries before the global
// table, and its own run balance, which the table prints.
#include <cstdio>

#include "channel/superlink/storm_drain_state.hpp"
#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "output/output_steps.hpp"

namespace kesta {

double drain_run_balance_error(const model_state& m) {
    return m.run_initial_in_drains + m.run_inputs_to_superlink + m.run_drain_cleanup + m.run_drain_residual -
           m.run_superlink_to_overland - m.run_superlink_to_channels - m.run_superlink_to_boundary -
           m.volume_remaining_in_drains;
}

void write_drain_run_totals(const model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!fp || !m.storm_sewer_given) return;
    const double left = m.run_superlink_to_overland + m.run_superlink_to_channels + m.run_superlink_to_boundary;
    summary_line(m, fp, "Volume from superlink=     %10.2f\n", left);
}

}  // namespace kesta
