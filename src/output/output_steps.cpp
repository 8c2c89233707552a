#include "output/output_steps.hpp"

#include <cstdio>

#include "model/model_state.hpp"
#include "subsurface/soil_accounting.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void open_all_map_outputs(model_state&) {}
void write_linknode_headers(model_state&) {}
void write_timeseries_maps(model_state&) {}
// The end-of-run summaries are not written yet; the soil run totals they
// will print are formed.
void write_final_summaries(model_state& m) { finish_soil_run_totals(m); }


void build_vq_data(model_state&) {}

void setup_analyzers(model_state&, const std::string&) {}

// No analyzer is set up in a run without an analyzer definition file.
void trigger_analyzers(model_state&, int) {}

void flush_std_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace kesta
