// Start-up, loop and shut-down steps of the output subsystem.
#pragma once

#include <string>

#include "model/model_state_fwd.hpp"

namespace kesta {

// Opens every file of the run in its fixed order. An output whose file is an
// input of the run, or an output opened before it, is refused (code 4000)
// before anything is written to it.
void open_run_files(model_state& m);
void write_startup_info(model_state& m, const std::string& project_file);
void open_all_map_outputs(model_state& m);
void write_linknode_headers(model_state& m);
void report_progress(model_state& m);
void write_timeseries_output(model_state& m);
void write_timeseries_maps(model_state& m);
void write_event_summary(model_state& m);
void write_final_summaries(model_state& m);
// Says in the summary file that the run stopped on the error reported above
// it, and when: the outputs end there.
void write_run_stopped(model_state& m);
// Closes every file of the run. A written file whose writes or close failed
// is named in a message and leaves code 4000 pending, which the run driver
// returns: the run fails.
void close_output_files(model_state& m);
void flush_std_streams();
// Builds the reservoir-model coupling record (its cell map) at the end of
// the model-input loading.
void build_vq_data(model_state& m);

// Analyzer notification codes.
enum analyzer_notice : int {
    notice_step_done = 1,
    notice_event_start = 2,
    notice_event_end = 4,
    notice_init_done = 8,
    notice_normal_end = 16,
    notice_error_end = 32,
};
void setup_analyzers(model_state& m, const std::string& definition_file);
void trigger_analyzers(model_state& m, int notice);

}  // namespace kesta
