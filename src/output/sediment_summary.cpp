// The overland sediment section of the summary file, in each event summary
// and at the end of the run: per class the running totals eroded from the
// surface, deposited on it, still in suspension, and gone to the outlet, the
// channels or the lakes, with the class's balance.
#include <cstdio>

#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

// The section from the totals by class as they were last formed; `event`
// chooses the event summary's wording.
void write_overland_sediment(const model_state& m, std::FILE* fp, bool event) {
    if (!fp || !m.soil_erosion_given || !m.ov_sed) return;
    const sed_record& s = *m.ov_sed;
    const bool lakes = m.chan_lakes_on && !s.sed_vol_overland_to_lake.empty();
    std::fputs("Overland Sediment Summary\n", fp);
    if (event) std::fputs("Quantities are running totals for simulation - NOT EVENT \n", fp);
    for (int k = 1; k <= s.num_sed; ++k) {
        const sed_class_totals& t = s.tot_sed[static_cast<std::size_t>(k)];
        const long c = k;
        double out = t.deposited + t.suspended;
        std::fprintf(fp, "Total sediment %ld eroded from surface:        %10.2lf m3\n", c, t.eroded);
        std::fprintf(fp, "Total sediment %ld deposited on surface:       %10.2lf m3\n", c, t.deposited);
        std::fprintf(fp, "Total sediment %ld remaining in suspension:    %10.2lf m3\n", c, t.suspended);
        if (m.chan_sed_on) {
            const double to_channels = k <= s.tot_sed_to_chan.n() ? s.tot_sed_to_chan[k] : 0.0;
            std::fprintf(fp, "Total sediment %ld transported into channels:  %10.2lf m3\n", c, to_channels);
            out += to_channels;
            if (lakes) {
                const double to_lakes = s.sed_vol_overland_to_lake[0][k];
                std::fprintf(fp, "Net sediment %ld from overland to lakes:       %10.2lf m3\n", c, to_lakes);
                // Sand reaching a lake lies in the deposit of its edge cells.
                if (!s.sand[k]) out += to_lakes;
            }
        } else {
            std::fprintf(fp, "Total sediment %ld routed through outlet       %10.2lf m3\n", c, t.outlet);
            out += t.outlet;
        }
        const double error = sediment_balance_error(t.eroded, out);
        if (event)
            std::fprintf(fp, "Mass balance error for sediment %ld %10.4lf percent \n", c, error);
        else
            std::fprintf(fp, "Mass balance error for sediment %ld %10.4lf \n", c, error);
        if (lakes && !s.sand[k]) {
            std::fprintf(fp,
                         "NOTE:  Interactions between sediment %ld and lakes in the watershed prevent an exact "
                         "mass balance calculation \n",
                         c);
            std::fputs("       Reported errors are likely accounting errors only \n", fp);
        }
        std::fputs("\n", fp);
    }
    std::fputs("\n", fp);
}

}  // namespace

void write_event_sediment_summary(const model_state& m, std::FILE* fp) { write_overland_sediment(m, fp, true); }

void write_sediment_run_summary(model_state& m) {
    total_sediment_by_class(m);
    write_overland_sediment(m, m.summary_fp.get(), false);
}

}  // namespace kesta
