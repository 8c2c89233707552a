#include "output/output_steps.hpp"

#include <cstdio>

#include "channel/channel_steps.hpp"
#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "subsurface/soil_accounting.hpp"
#include "subsurface/subsurface_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

// Of the end-of-run summaries and final files: the aquifer takes the
// exchanges left since its last step, the groundwater section is written,
// the soil, channel and lake run totals that the global table will print
// are formed, the map frames, the flood stream depths and the channel
// hotstart written.
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
    write_final_map_frames(m);
    write_flood_stream(m);
    write_chan_hotstart(m);
}


void build_vq_data(model_state&) {}

void setup_analyzers(model_state&, const std::string&) {}

// No analyzer is set up in a run without an analyzer definition file.
void trigger_analyzers(model_state&, int) {}

void flush_std_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace kesta
