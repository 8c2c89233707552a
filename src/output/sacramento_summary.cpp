// The Sacramento section of the end-of-run summaries: the stores at the
// start and the end of the run, the accounting's run totals and its own
// mass check, in mm over the basin and as volumes.
#include <cstdio>

#include "model/model_state.hpp"
#include "output/summary_file.hpp"

namespace kesta {

namespace {

struct store_line {
    const char* format;
    double sacramento_params::*capacity;
};

// In the order of the contents kept at set-up (sacramento_contents).
const store_line kStores[] = {
    {"uztwc:  %10.3lf mm, %8.2lf%%\n", &sacramento_params::uztwm},
    {"uzfwc:  %10.3lf mm, %8.2lf%%\n", &sacramento_params::uzfwm},
    {"lztwc:  %10.3lf mm, %8.2lf%%\n", &sacramento_params::lztwm},
    {"lzfpc:  %10.3lf mm, %8.2lf%%\n", &sacramento_params::lzfpm},
    {"lzfsc:  %10.3lf mm, %8.2lf%%\n", &sacramento_params::lzfsm},
};

void write_stores(const model_state& m, std::FILE* fp, const sacramento_params& p, const sacramento_contents& c) {
    for (int i = 0; i < 5; ++i)
        summary_line(m, fp, kStores[i].format, c.v[i], 100.0 * c.v[i] / (p.*(kStores[i].capacity)));
}

}  // namespace

void write_sacramento_run_summary(const model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!fp || !m.sacramento_given) return;
    const sacramento_state& s = m.sac;
    const sacramento_params& p = s.p;
    const sacramento_contents final_contents{{p.uztwc, p.uzfwc, p.lztwc, p.lzfpc, p.lzfsc}};
    const double final_storage = p.storage();
    const double residual = s.initial_storage + s.input - s.evaporation - s.outflow - final_storage;

    std::fputs("\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n", fp);
    std::fputs("as incorporated in the distributed watershed simulation\n", fp);
    std::fputs("(KESTA) Model.  Internal SAC-SMA mass conservation check.\n\n", fp);
    std::fputs("Initial state variable values:\n", fp);
    write_stores(m, fp, p, s.initial);
    std::fputs("Final state variable values:\n", fp);
    write_stores(m, fp, p, final_contents);
    std::fputs("\n", fp);
    std::fputs("\nMass Balance Information:\n\n", fp);
    summary_line(m, fp, "Initial subsurface storage(mm):        %10.3lf\n", s.initial_storage);
    summary_line(m, fp, "Input rainfall (mm):                   %10.3lf\n", s.input);
    summary_line(m, fp, "PET calculated by KESTA (mm):          %10.3lf\n", s.demand);
    summary_line(m, fp, "AET calculated by Sacramento (mm):     %10.3lf\n", s.evaporation);
    summary_line(m, fp, "Subsurface runoff (mm):                %10.3lf\n", s.outflow);
    summary_line(m, fp, "Recharge to deep g.w. (mm):            %10.3lf\n", 0.0);
    summary_line(m, fp, "Final volume of subsurface water (mm): %10.3lf\n", final_storage);
    summary_line(m, fp, "Residual (neg. means mass created (mm):%10.3lf\n", residual);
    std::fputs("\n", fp);
    summary_line(m, fp, "Sacramento simulation total residual water balance: %18.16f mm\n", p.residual);

    // mm over the basin to m3.
    const double factor = m.watershed_area / 1000.0;
    std::fputs("\nSacramento storages and fluxes expressed as volumes (m^3):\n", fp);
    summary_line(m, fp, "Initial volume=   %10.1lf\n", s.initial_storage * factor);
    summary_line(m, fp, "Volume of ET=     %10.1lf\n", s.evaporation * factor);
    summary_line(m, fp, "Volume of precip= %10.1lf\n", s.input * factor);
    summary_line(m, fp, "Volume of outflow=%10.1lf\n", s.outflow * factor);
    summary_line(m, fp, "Final volume=     %10.1lf\n", final_storage * factor);
    summary_line(m, fp, "Residual=         %10.1lf\n", residual * factor);
}

}  // namespace kesta
