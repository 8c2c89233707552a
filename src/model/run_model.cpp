// The run driver: one model run from its project file, with every start-up
// step, the time loop and the shut-down steps in their fixed order.
#include "model/run_model.hpp"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "calibration/replace_params.hpp"
#include "channel/channel_steps.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/input_steps.hpp"
#include "model/clock_steps.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "model/optim_results.hpp"
#include "model/run_driver.hpp"
#include "model/run_options.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

step_observer g_observer = nullptr;
// The step the driver last started, for the message of a step that ran out
// of memory.
const char* g_current_step = "";

using step_fn = void (*)(model_state&);

struct driver_step {
    const char* name;
    step_fn run;
    bool guarded;  // the error record is checked right after the step
};

// Start-up steps between the option checks and the analyzers. Each one that
// is not guarded leaves a stored code pending until the next check.
const driver_step kStartupSteps[] = {
    {"setup_nutrient_container", setup_nutrient_container, true},
    {"check_run_options", check_run_options, true},
    {"open_run_files", open_run_files, true},
    {"write_startup_info", [](model_state& m) { write_startup_info(m, m.project_file); }, false},
    {"setup_run_control", setup_run_control, true},
    {"read_model_inputs", read_model_inputs, true},
    {"open_all_map_outputs", open_all_map_outputs, true},
    {"write_linknode_headers", write_linknode_headers, true},
    {"open_nutrient_outputs", open_nutrient_outputs, true},
    {"build_cell_connectivity", build_cell_connectivity, true},
    {"init_overland_slopes", init_overland_slopes, true},
    {"setup_optim_and_precip_events", setup_optim_and_precip_events, true},
    {"init_cell_state", init_cell_state, true},
    {"setup_chan_point_sources", setup_chan_point_sources, true},
    {"alloc_optim_record", alloc_optim_record, false},
    {"read_exchange_files", read_exchange_files, true},
    {"shift_relative_series", shift_relative_series, true},
    {"init_surface_volume", init_surface_volume, false},
    {"init_contam_soil_state", init_contam_soil_state, false},
    {"init_run_times", init_run_times, true},
};

// One pass of the time loop, one model time step. Every step is guarded.
const driver_step kLoopSteps[] = {
    {"advance_clock", advance_clock, true},
    {"step_event_precip", step_event_precip, true},
    {"start_event", start_event, true},
    {"step_precip_period", step_precip_period, true},
    {"apply_precip", apply_precip, true},
    {"add_cell_point_sources", add_cell_point_sources, true},
    {"step_soil_et_accounting", step_soil_et_accounting, true},
    {"step_hydromet", step_hydromet, true},
    {"step_infiltration", step_infiltration, true},
    {"step_sacramento", step_sacramento, true},
    {"react_soil_nutrients", react_soil_nutrients, true},
    {"step_soil_nutrients", step_soil_nutrients, true},
    {"step_overland_flow", step_overland_flow, true},
    {"step_storm_drain", step_storm_drain, true},
    {"step_overland_contam_sediment", step_overland_contam_sediment, true},
    {"react_overland_nutrients", react_overland_nutrients, true},
    {"step_contam_processes", step_contam_processes, true},
    {"step_overland_contam_transport", step_overland_contam_transport, true},
    {"step_groundwater", step_groundwater, true},
    {"step_overland_lake_extent", step_overland_lake_extent, true},
    {"step_channel_routing", step_channel_routing, true},
    {"step_chan_point_input", step_chan_point_input, true},
    {"track_peak_flow", track_peak_flow, true},
    {"step_channel_contam_transport", step_channel_contam_transport, true},
    {"react_channel_nutrients", react_channel_nutrients, true},
    {"step_channel_wq_reactions", step_channel_wq_reactions, true},
    {"step_channel_lake_contam_mass", step_channel_lake_contam_mass, true},
    {"report_progress", report_progress, true},
    {"check_event_end", check_event_end, true},
    {"update_at_event_end", update_at_event_end, true},
    {"finish_event", finish_event, true},
    {"write_timeseries_output", write_timeseries_output, true},
    {"write_timeseries_maps", write_timeseries_maps, true},
};

// True when the step is to run.
bool observe(model_state& m, const char* name) {
    g_current_step = name;
    return g_observer ? g_observer(m, name) : true;
}

// The check after a guarded step: reports a pending code, then tells whether
// the run must stop.
bool guard_says_stop() {
    if (g_error_record.code > 0) report_error(g_error_record);
    return g_error_record.stop != 0;
}

// Runs the steps in order; false when a guarded step stopped the run.
template <std::size_t N>
bool run_steps(model_state& m, const driver_step (&steps)[N]) {
    for (const driver_step& s : steps) {
        if (observe(m, s.name)) s.run(m);
        if (s.guarded && guard_says_stop()) return false;
    }
    return true;
}

void stop_out_of_memory() {
    store_refusal(std::string("Error: KESTA ran out of memory in step ") + g_current_step + "; the run stops.\n");
    report_error(g_error_record);
}

using wall_clock = std::chrono::steady_clock;

// Elapsed wall time (s): what the user waits, whatever the number of threads
// (the process CPU time adds up every thread's).
double seconds_since(wall_clock::time_point start) {
    return std::chrono::duration<double>(wall_clock::now() - start).count();
}

// Start-up, loop and shut-down decision. Returns false when the run stopped
// on an error and must go straight to the closing steps; `simulating` is set
// once the time loop has begun.
bool run_to_shutdown(model_state& m, optim_record* result, wall_clock::time_point entry, bool& simulating) {
    if (observe(m, "read_run_parameters")) read_run_parameters(m.project_file, m);
    if (guard_says_stop()) return false;
    // Reading the project file sets the flag from its own card; a calibration
    // run needs it whatever the file says.
    if (result) m.optimize_given = 1;
    if (!run_steps(m, kStartupSteps)) return false;

    if (m.project_options.analyzers_given) {
        if (observe(m, "setup_analyzers")) setup_analyzers(m, m.project_options.analyzers);
    }
    if (observe(m, "trigger_analyzers(init)")) trigger_analyzers(m, notice_init_done);

    const double init_seconds = seconds_since(entry);
    if (replace_mode_on()) print_replace_usage(m.summary_fp.get());
    if (!m.super_quiet) std::printf("total time to init(s): %8.1lf\n", init_seconds);

    if (g_error_record.code == 0) {
        if (!m.super_quiet) std::printf("Running....\n");
        if (m.summary_fp) std::fputs("Running.... \n\n", m.summary_fp.get());
        simulating = true;
        // The progress line of a terminal lives as long as the loop, and is
        // erased on every way out of it.
        struct progress_line_guard {
            model_state& m;
            ~progress_line_guard() { end_progress_line(m); }
        } progress{m};
        start_progress_line(m);
        do {
            if (!run_steps(m, kLoopSteps)) return false;
            if (observe(m, "trigger_analyzers(step)")) trigger_analyzers(m, notice_step_done);
        } while (m.running && g_error_record.code == 0);
    }

    if (g_error_record.code == 0) {
        if (observe(m, "write_final_summaries")) write_final_summaries(m);
        if (guard_says_stop()) return false;
        if (observe(m, "trigger_analyzers(normal)")) trigger_analyzers(m, notice_normal_end);
        return true;
    }
    // A code left by a step that is not followed by a check (the analyzer
    // set-up, the step-done notice) is said before the error notice.
    if (g_error_record.code > 0) report_error(g_error_record);
    if (observe(m, "trigger_analyzers(error)")) trigger_analyzers(m, notice_error_end);
    return false;
}

}  // namespace

void set_step_observer(step_observer observer) { g_observer = observer; }

int run_model(const std::string& project_file, optim_record* result) {
    const wall_clock::time_point entry = wall_clock::now();
    auto m = std::make_unique<model_state>();
    g_error_record.clear_for_run();
    forget_warnings();
    if (result) {
        m->optimize_given = 1;
        m->run_result = result;
    }
    m->project_file = project_file;

    bool simulating = false;
    bool ended_normally = false;
    // Every step tests the blocks it makes; this catches what a step grew or
    // sized without such a test, and stops the run as any error does.
    try {
        ended_normally = run_to_shutdown(*m, result, entry, simulating);
    } catch (const std::bad_alloc&) {
        stop_out_of_memory();
    } catch (const std::length_error&) {
        stop_out_of_memory();
    }
    // The summary says that its results end early, after the error itself. A
    // run that stopped before its summary file was opened writes one all the
    // same once the file is named: what was read, the errors, the warnings.
    if (!ended_normally) {
        open_summary_of_stopped_run(*m);
        if (simulating) {
            write_run_stopped(*m);
        } else {
            write_setup_stopped(*m);
        }
    }
    write_pending_warnings(*m);

    if (observe(*m, "close_output_files")) close_output_files(*m);
    flush_std_streams();
    const bool keep_time_record = m->time_record_is_input == 0;
    m.reset();

    const double run_seconds = seconds_since(entry);
    const output_request time_record = run_time_record_output();
    std::string time_file = time_record.name;
    file_ptr time_fp = keep_time_record ? open_file(time_file, time_record.mode, 1) : file_ptr();
    if (time_fp) std::fprintf(time_fp.get(), "total time (s): %8.2lf\n", run_seconds);
    // The summary is closed: a failed write of the record is said on the
    // console (and on standard error), and fails the run as any incomplete
    // output does.
    const bool time_recorded = close_file_checked(time_fp) == 0;
    std::printf("Run time: %6.2lf(s) \n", run_seconds);
    if (!time_recorded)
        print_closing_error(format_text("Error writing %s %s: the output is incomplete.\n",
                                        time_record.what.c_str(), output_path(time_file, time_record.mode, 1).c_str()));
    // The error that stopped the run is said again last, so that it is what
    // the user sees at the end of the output, whatever was printed after it.
    const std::string closing = closing_error_text(g_error_record);
    const bool failed = !ended_normally || g_error_record.code != 0;
    if (failed) print_closing_error(closing);
    std::fflush(stdout);

    // A run stopped by an error has had its code reported and cleared; its
    // caller must still learn that it failed. An output found incomplete
    // while the files were closed leaves its code pending, so that run fails
    // too.
    if ((!ended_normally || !time_recorded) && g_error_record.code == 0) return 1;
    return g_error_record.code;
}

}  // namespace kesta
