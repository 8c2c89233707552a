#include "output/output_steps.hpp"

#include <cstdio>

#include "channel/channel_steps.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "output/final_files.hpp"
#include "output/global_balance.hpp"
#include "output/grid_writers.hpp"
#include "output/summary_file.hpp"
#include "subsurface/soil_accounting.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

// The end-of-run summaries and final files: the aquifer takes the
// exchanges left since its last step; the groundwater section, the soil,
// channel and lake run totals, the Sacramento and drain sections, the global
// table, the sediment and constituent sections; then the optimisation total,
// the map frames, the flood stream depths and the final files.
void write_final_summaries(model_state& m) {
    // Every close opens the next event's books, so what they hold now is
    // the outlet water no event summary booked.
    m.discharge_after_last_event = m.discharge_volume_sum;
    settle_groundwater_exchanges(m);
    write_groundwater_run_summary(m);
    finish_soil_run_totals(m);
    finish_channel_run_totals(m);
    write_sacramento_run_summary(m);
    write_drain_run_totals(m);
    write_global_balance(m);
    write_sediment_run_summary(m);
    write_constituent_run_summary(m);
    write_optimisation_total(m);
    write_final_map_frames(m);
    write_flood_stream(m);
    write_chan_hotstart(m);
    write_groundwater_hotstart(m);
    write_adjusted_elevation(m);
    write_tvm_hydro_file(m);
    close_vq_files(m);
    write_overland_hotstart(m);
    write_channel_sediment_file(m);
}

void write_adjusted_elevation(model_state& m) {
    if (!m.project_options.adjust_elev_given) return;
    std::string name = m.project_options.adjust_elev;
    if (!grid_finite(m, m.elev, "the adjusted ground elevation", name + " (card ADJUST_ELEV)")) return;
    const opened_output o = open_output(m, adjusted_elevation_output(m));
    if (o.refused) return;
    if (!o.fp) {
        strip_quotes(name);
        refuse(format_text("Can't open adjusted elevation map for writing: %s\n", output_path(name, "w", 1).c_str()));
        return;
    }
    write_grass_ascii_grid(o.fp, m.mask, m.north, m.south, m.east, m.west, m.grid_rows, m.grid_cols, m.elev);
    close_output(m, o.fp);
}


void flush_std_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace kesta
