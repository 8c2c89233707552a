// The groundwater section of the end-of-run summaries: the aquifer's
// volumes, what entered and left it over the run, and its balance.
#include <cstdio>

#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "subsurface/groundwater.hpp"

namespace kesta {

void write_groundwater_run_summary(const model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!m.gw_simulation || !fp || m.elevgw_iter1.empty()) return;
    const gw_run_totals& t = m.gw_totals;
    std::fputs("\n \n", fp);
    std::fputs("GROUNDWATER CALCULATIONS \n\n", fp);
    std::fprintf(fp, "GW volume start =                %14.2lf \n", m.initial_gw_volume);
    std::fprintf(fp, "GW volume end =                  %14.2lf \n", groundwater_volume(m));
    std::fprintf(fp, "Held beyond the aquifer porosity=%14.2lf \n", t.beyond_porosity);
    std::fprintf(fp, "Sat/unsat. trickery (into gw) =  %14.2lf \n", t.unsat_into_gw);
    std::fprintf(fp, "Exfiltration back on overland =  %14.2lf \n", m.total_vol_water_exfiltrated_this_run);
    std::fprintf(fp, "Recharge to groundwater =        %14.2lf \n", t.recharge);
    std::fprintf(fp, "Total inputs to groundwater=     %14.2lf \n", t.sources);
    std::fprintf(fp, "Flux across head boundaries=     %14.2lf \n", t.head_boundary);
    std::fprintf(fp, "Leakage to deep aquifer+         %14.2lf \n", t.leakage);
    std::fprintf(fp, "Pumping                          %14.2lf \n", t.pumping);
    std::fprintf(fp, "To tile drains                   %14.2lf \n", t.tile_drains);
    std::fprintf(fp, "volume added by the aquifer floor%14.2lf \n", t.floor_added);
    std::fprintf(fp, "Mass Balance error =             %14.2lf %%  \n", groundwater_balance_error(m));
    std::fputs("\n", fp);
    std::fputs("If you have any head boundaries \n", fp);
    std::fputs("Mass balance errors are likely due to flux across boundary \n", fp);
    std::fputs("Which is not exactly calculated \n", fp);
}

}  // namespace kesta
