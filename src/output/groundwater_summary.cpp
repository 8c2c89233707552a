// The groundwater section of the end-of-run summaries: the aquifer's
// volumes, what entered and left it over the run, and its balance.
#include <cstdio>

#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "output/output_steps.hpp"
#include "subsurface/groundwater.hpp"

namespace kesta {

void write_groundwater_run_summary(const model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!m.gw_simulation || !fp || m.elevgw_iter1.empty()) return;
    const gw_run_totals& t = m.gw_totals;
    std::fputs("\n \n", fp);
    std::fputs("GROUNDWATER CALCULATIONS \n\n", fp);
    summary_line(m, fp, "GW volume start =                %14.2lf \n", m.initial_gw_volume);
    summary_line(m, fp, "GW volume end =                  %14.2lf \n", groundwater_volume(m));
    summary_line(m, fp, "Held beyond the aquifer porosity=%14.2lf \n", t.beyond_porosity);
    summary_line(m, fp, "Sat/unsat. trickery (into gw) =  %14.2lf \n", t.unsat_into_gw);
    summary_line(m, fp, "Exfiltration back on overland =  %14.2lf \n", m.total_vol_water_exfiltrated_this_run);
    summary_line(m, fp, "Recharge to groundwater =        %14.2lf \n", t.recharge);
    summary_line(m, fp, "Total inputs to groundwater=     %14.2lf \n", t.sources);
    summary_line(m, fp, "Flux across head boundaries=     %14.2lf \n", t.head_boundary);
    summary_line(m, fp, "Leakage to deep aquifer+         %14.2lf \n", t.leakage);
    summary_line(m, fp, "Pumping                          %14.2lf \n", t.pumping);
    summary_line(m, fp, "To tile drains                   %14.2lf \n", t.tile_drains);
    summary_line(m, fp, "volume added by the aquifer floor%14.2lf \n", t.floor_added);
    summary_line(m, fp, "Mass Balance error =             %14.2lf %%  \n", groundwater_balance_error(m));
    std::fputs("\n", fp);
    std::fputs("If you have any head boundaries \n", fp);
    std::fputs("Mass balance errors are likely due to flux across boundary \n", fp);
    std::fputs("Which is not exactly calculated \n", fp);
}

}  // namespace kesta
