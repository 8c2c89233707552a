#include "output/output_steps.hpp"

#include <cstdio>

#include "channel/channel_steps.hpp"
#include "model/model_state.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void open_all_map_outputs(model_state&) {}
void write_linknode_headers(model_state&) {}
void write_timeseries_maps(model_state&) {}
// Of the end-of-run summaries and final files, this build writes the
// channel hotstart.
void write_final_summaries(model_state& m) { write_chan_hotstart(m); }


void build_vq_data(model_state&) {}

void setup_analyzers(model_state&, const std::string&) {}

// No analyzer is set up in a run without an analyzer definition file.
void trigger_analyzers(model_state&, int) {}

void flush_std_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace kesta
