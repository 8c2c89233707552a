// The pipe network's lines of the end-of-run summaries: the volume that
// left it, and its run totals as the global mass-balance table prints them,
// closed by the network's own balance.
#include <cstdio>

#include "channel/superlink/storm_drain_state.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "model/model_state.hpp"
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
    std::fprintf(fp, "Volume from superlink=     %10.2f\n", left);
    std::fprintf(fp, "Final volume in drains=                         %14.2lf\n", m.volume_remaining_in_drains);
    std::fputs("\n", fp);
    std::fprintf(fp, "Total volume to subsurface drains               %14.2lf\n", m.run_inputs_to_superlink);
    std::fprintf(fp, "Volume of subsurface drains to overland         %14.2lf\n", m.run_superlink_to_overland);
    std::fprintf(fp, "Volume of subsurface drains to channels         %14.2lf\n", m.run_superlink_to_channels);
    std::fprintf(fp, "Volume of groundwater to tile drains            %14.2lf\n", m.run_gw_to_tile_drains);
    if (m.run_superlink_to_boundary != 0.0 || drains_have_other_fixed_heads(m))
        std::fprintf(fp, "Volume of subsurface drains to boundaries       %14.2lf\n", m.run_superlink_to_boundary);
    std::fprintf(fp, "Volume of subsurface drain solver clean-up      %14.2lf\n", m.run_drain_cleanup);
    std::fprintf(fp, "Volume of subsurface drain solver residual      %14.2lf\n", m.run_drain_residual);
    std::fputs("\n", fp);
    // The water in the drains at the first solve and what the solver made
    // (its clean-up and residual) count with the inflow.
    std::fprintf(fp, "Subsurface drain mass bal error m^3=            %14.2lf\n\n", drain_run_balance_error(m));
}

}  // namespace kesta
