// Start-up, loop and shut-down steps of the output subsystem.
#pragma once

#include <string>

#include "model/model_state_fwd.hpp"
#include "output/output_registry.hpp"

namespace kesta {

// Outputs every run writes under a fixed name: the numbered mask (written
// while the inputs load, opened "w" with the run number) and the run-time
// record (appended as the run ends, never numbered).
inline constexpr const char* kMaskMapFile = "maskmap";
inline constexpr const char* kRunTimeFile = "out_time.out";
output_request mask_map_output();
output_request run_time_record_output();

// Opens every file of the run in its fixed order, and claims the outputs
// written later (the fixed-name outputs and those written as the run
// ends). An output whose file is an input of the run, or another output, is
// refused (code 4000) before anything is written to it.
void open_run_files(model_state& m);
void write_startup_info(model_state& m, const std::string& project_file);
// Sets up the standard maps the cards ask for: the datasets are created
// with their headers; numbered grid files are written by the map step.
void open_all_map_outputs(model_state& m);
// Warns once about each output card whose file the run's other cards leave
// unwritten or without values (OUT_HYD_LOCATION without IN_HYD_LOCATION,
// PIPE_FLOW without STORM_SEWER ...), naming what the file needs. Called
// once every output is open.
void warn_unwritten_outputs(const model_state& m);
// The headers of the channel link/node datasets the cards ask for (depth,
// discharge, stage, velocity, and the flood stream depth), and of the
// pipe-network datasets (flow, head, tile flow).
void write_linknode_headers(model_state& m);
// One block of each channel link/node dataset: depth (water surface less
// bed), discharge, velocity (discharge over flow area) and stage.
void write_channel_datasets(model_state& m);
// One block of each pipe-network dataset.
void write_pipe_datasets(model_state& m);
// The flood stream depth dataset's one block at the end of a run: the
// highest water surface of every node less its bed.
void write_flood_stream(model_state& m);
// The progress of the pass: the per-step line of the routing, or the
// progress line of a terminal once start_progress_line began it.
void report_progress(model_state& m);
// Begins the progress line when standard output is a terminal and the run
// prints no line per step (QUIET, or SUPER_QUIET without STREAM_INFO);
// otherwise nothing changes. end_progress_line erases the line, on every
// way out of the time loop.
void start_progress_line(model_state& m);
void end_progress_line(model_state& m);
void write_timeseries_output(model_state& m);
// The map step: a frame of every standard map on each pass whose step index
// less 1 is a multiple of the map interval.
void write_timeseries_maps(model_state& m);
// The one frame of the maps written at the end of a run that ends normally
// (the largest flood depths).
void write_final_map_frames(model_state& m);
// The groundwater section of the end-of-run summaries (GW_SIMULATION).
void write_groundwater_run_summary(const model_state& m);
// The overland sediment section of the end-of-run summaries (SOIL_EROSION),
// from the totals by class as the run ends.
void write_sediment_run_summary(model_state& m);
// The ground elevations as the run leaves them, to the ADJUST_ELEV file (a
// file that cannot be written stops the run with code 4000).
void write_adjusted_elevation(model_state& m);
// With NUTRIENTS and a channel network, the link/node datasets of the
// TOTAL_CHAN_N, TOTAL_CHAN_KN and TOTAL_CHAN_P cards (types 28 to 30) and
// of each OUT_ST_<species> card (the species' mass and concentration, types
// 8 to 16 and 17 to 25), created with their headers. Without channel
// routing each such card is a warning. False when a file is refused (code
// 4000) or cannot be created (code 4): the run stops.
bool open_nutrient_linknodes(model_state& m);
// One block of each: the node and lake totals formed anew first.
void write_nutrient_linknodes(model_state& m);
void write_event_summary(model_state& m);
void write_final_summaries(model_state& m);
// The pipe network's end-of-run line in the summary file before the global
// table: the volume that left it. Its balance error (m3): the water at the
// first solve, the inflow and the solver's clean-up, less the outflows and
// the final water.
void write_drain_run_totals(const model_state& m);
double drain_run_balance_error(const model_state& m);
// The sediment balances the summary file reports (percent of what came in,
// 0 when nothing did): over land, by class (element 0 unused), of the
// totals as last formed (the event's end or the run's); in the channels
// (all 0 without channel sediment), of the event or of the run: the wash
// load, the sand and both together.
struct sediment_balance_errors {
    std::vector<double> overland;
    double wash = 0.0, sand = 0.0, overall = 0.0;
};
sediment_balance_errors sediment_balances(const model_state& m, bool event);
// Says in the summary file that the run stopped on the error reported above
// it, and when: the outputs end there.
void write_run_stopped(model_state& m);
// Says in the summary file that the run stopped on the error reported above
// it before the simulation began.
void write_setup_stopped(model_state& m);
// For a run that stopped before its files were opened, once the SUMMARY card
// has named the summary file: opens it (unless it is an input of the run or
// a fixed-name output, which is refused as at start-up), registers it with
// the error record and writes the start-up block and every message meant
// for it so far. Nothing when the summary is unnamed, or when the opening
// of the run's files came to it (it is open, or its refusal was said).
void open_summary_of_stopped_run(model_state& m);
// Lists in the summary file the warnings given since the last event summary
// (all of them when the run wrote none), so that every warning of a run
// reaches the summary: called once, before the files are closed.
void write_pending_warnings(model_state& m);
// Closes every output of the run (close_all_outputs), then the input files
// open_run_files opened. A written file whose writes or close failed is
// named in a message and leaves code 4000 pending, which the run driver
// returns: the run fails.
void close_output_files(model_state& m);
// The outlet hydrographs of the nutrient species that the OUT_HYD_* cards
// ask for, per species its concentration file (the card's name + ".conc")
// then its mass file (+ ".mass"). False when one was refused (an input or
// another output: code 4000) or cannot be opened (code 4, after a message
// naming the species and the file); what was opened before stays open.
// Without channel routing there is no outlet node to read: each card is
// said once among the warnings and its files are not opened.
bool open_nutrient_hydrographs(model_state& m);
// One line of each nutrient outlet hydrograph: the time and the outlet's
// concentration (g/m3) or mass (g) of the species.
void write_nutrient_hydrographs(const model_state& m, double time);
void flush_std_streams();
// With VQ_FLUXES, builds the reservoir-model coupling record at the end of
// the model-input loading: the segment map, the link/node-to-segment pairs
// and the segment flux output with its header. A map without segments
// (code 95) or no map and no pairs (96) are warnings and leave no record; a
// pair naming no node of the network or no segment of the map (97, with the
// file, line and value) and an output that cannot be created (98) stop the
// run.
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
// Reads the analyzer definition file and builds the analyzers. A file that
// cannot be opened is a warning (the run goes on without analyzers); a line
// that cannot be read, or whose array cannot be bound, is skipped with a
// warning naming the file and line. Prints "Set up %d analyzers...".
void setup_analyzers(model_state& m, const std::string& definition_file);
// Tells every analyzer of the notification, in the order they were defined.
void trigger_analyzers(model_state& m, int notice);

}  // namespace kesta
