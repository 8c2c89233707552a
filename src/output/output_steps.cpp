#include "output/output_steps.hpp"

#include <cstdio>

#include "core/error_record.hpp"
#include "core/model_state.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void open_run_files(model_state&) {}
void open_all_map_outputs(model_state&) {}
void write_linknode_headers(model_state&) {}
void report_progress(model_state&) {}
void write_timeseries_output(model_state&) {}
void write_timeseries_maps(model_state&) {}
void write_event_summary(model_state&) {}
void write_final_summaries(model_state&) {}

void write_startup_info(model_state&, const std::string&) {}

void build_vq_data(model_state&) {}

void setup_analyzers(model_state&, const std::string&) {}

// No analyzer is set up in a run without an analyzer definition file.
void trigger_analyzers(model_state&, int) {}

void close_output_files(model_state& m) {
    if (g_error_record.summary_file == m.summary_fp.get()) g_error_record.summary_file = nullptr;
    close_file(m.summary_fp);
}

void flush_std_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace kesta
