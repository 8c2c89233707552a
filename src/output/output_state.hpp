// Members of the model state owned by the output subsystem: the registry of
// the run's outputs, their slots and the output objects.
#pragma once

#include <chrono>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "nutrients/nutrient_species.hpp"
#include "output/analyzers.hpp"
#include "output/output_objects.hpp"
#include "output/output_registry.hpp"

namespace kesta {

// The extreme channel depths and discharges of the last progress line, each
// with its node and link (-1 when no node qualified).
struct channel_extremes {
    double max_depth = -5000.0, min_depth = 5000.0;  // m
    double max_q = -5000.0, min_q = 5000.0;          // m3/s
    int max_depth_node = -1, max_depth_link = -1, min_depth_node = -1, min_depth_link = -1;
    int max_q_node = -1, max_q_link = -1, min_q_node = -1, min_q_link = -1;
};

// The line that shows a run's progress on a terminal when the run prints no
// line per step.
struct progress_line_state {
    bool on = false;
    std::chrono::steady_clock::time_point began;     // when the time loop began
    std::chrono::steady_clock::time_point next_due;  // the line's next rewrite
};

struct output_state {
    // Every output of the run, with its stream (output_registry.hpp).
    output_registry outputs;
    // Slots of the run's outputs, one per project card (suffix _fp), empty
    // when not open: open_run_files opens them through the registry, which
    // closes them as the run ends.
    output_slot summary_fp;  // the run's summary file; messages are copied here
    bool summary_tried = false;  // open_run_files has come to the summary file (opened or refused it)
    output_slot outlet_hydro_fp, sig_outlet_hydro_fp;
    output_slot gw_well_level_fp;
    output_slot evap_out_fp;  // the fixed-name soil evaporation table
    // WRITE_CHAN_HOTSTART with ".dht" and ".qht".
    output_slot write_chan_hotstart_depth_fp, write_chan_hotstart_discharge_fp;
    output_slot out_hyd_location_fp, lake_output_fp, out_dep_location_fp, out_con_location_fp,
        out_mass_location_fp, out_theta_location_fp;
    output_slot chan_depth_fp, chan_discharge_fp, chan_stage_fp, chan_velocity_fp, flood_stream_fp,
        chan_sed_flux_fp;
    output_slot outlet_sed_flux_fp;  // the sediment discharge at the outlet
    output_slot outlet_sed_tss_fp;   // the wash-load concentration at the outlet
    // The sediment locations' flux and concentration series (OUT_SED_LOC, OUT_TSS_LOC).
    output_slot out_sed_loc_fp, out_tss_loc_fp;
    output_slot pipe_head_fp, pipe_tile_fp, pipe_flow_fp;
    output_slot optim_fp;            // the optimisation output (OPTIMIZE), one line per event
    output_slot chan_contam_output;  // the channel constituents' file, opened and left empty
    // The outlet hydrographs of the OUT_HYD_* cards, per species in the
    // species order: its concentration file and its mass file.
    output_slot nutrient_hyd_conc_fp[std::size(kNutrientSpeciesCards)],
        nutrient_hyd_mass_fp[std::size(kNutrientSpeciesCards)];

    int outlet_hydro_lines = 0;  // lines written to the outlet hydrograph
    int outlet_sed_lines = 0;    // lines written to the outlet sediment series
    int event_summaries_written = 0;
    // Set when a writer stopped the run on a value that is not finite
    // (output/finite_output.hpp); writers take the state const.
    mutable int value_unwritten = 0;
    // Blocks written to each channel link/node dataset.
    int linknode_depth_steps = 0, linknode_discharge_steps = 0, linknode_velocity_steps = 0,
        linknode_stage_steps = 0;
    // Blocks written to the channel sediment flux dataset; they are numbered
    // by the depth dataset's counter, which both advance.
    int linknode_sed_flux_steps = 0;
    // Blocks written to each pipe-network dataset, and the values of one
    // block [superlink][node], made with the headers.
    int linknode_pipe_flow_steps = 0, linknode_pipe_head_steps = 0, linknode_pipe_tile_steps = 0;
    mat2<double> pipe_dataset_block;
    // The series line of the current pass was written before the clock
    // jumped over a dry spell to the next event; the pass writes no other.
    int series_written_early = 0;
    int flush_count = 0;         // progress lines since standard output was last flushed
    progress_line_state progress_line;
    // The run-time record is an input of the run: the run refuses it and
    // appends nothing to it.
    int time_record_is_input = 0;
    channel_extremes chan_extremes;

    map_series map_outputs[kStandardMapCount];  // by standard_map_type
    // The contaminants' own concentration and mass maps, in contaminant order.
    std::vector<std::unique_ptr<map_series>> constituent_maps;
    // The nutrient maps (NUTRIENTS): the overland totals of nitrogen and
    // phosphorus, then per species its mass and concentration maps.
    std::vector<std::unique_ptr<map_series>> nutrient_maps;
    // The contaminants' channel link/node datasets, in contaminant order:
    // the concentration's, then the mass's.
    std::vector<std::unique_ptr<linknode_output>> constituent_linknodes;
    // The nutrient channel datasets (NUTRIENTS): the totals, then per
    // species its mass and concentration datasets.
    std::vector<std::unique_ptr<linknode_output>> nutrient_linknodes;
    vec1<double> depth_map_values;  // the depth map with channel lakes: lake level above ground on their cells
    std::unique_ptr<vq_data> vq;  // present when the reservoir coupling is configured
    output_slot vq_qin_fp;        // the reservoir model's inflow file (VQ_INPUT)
    // The run's analyzers (ANALYZERS); destroyed with the run, their files closed.
    std::unique_ptr<analyzer_set> analyzers;

    // Map output format.
    int map_grass = 0;       // floating-point GRASS ASCII maps
    int map_tvm_ascii = 0;   // ASCII map datasets for the graphical product
    int map_tvm_binary = 0;  // binary map datasets
    // Map outputs (the channel ones named _2 beside the channel subsystem's own).
    int depth_given = 0, include_channel_depth = 0, dis_rain_given = 0, inf_depth_given = 0,
        surf_moist_given = 0, rate_of_infil_given = 0;
    int chan_depth_given_2 = 0, chan_discharge_given_2 = 0, chan_sed_flux_given_2 = 0;
    // Point and run outputs.
    int in_hyd_location_given = 0, out_dep_location_given = 0, in_theta_location_given = 0,
        sig_outlet_hydro_given = 0, lake_output_given = 0, sourcefile_given = 0;
    std::string summary, outlet_hydro, sig_outlet_hydro, lake_output;
    std::string in_hyd_location, out_hyd_location, out_dep_location, in_theta_location,
        out_theta_location;
    int tvm_hydro_given = 0;
    std::string tvm_hydro;
    int daily_output_given = 0;
    std::string daily_output;
    int xwindows = 0, xdepth = 0, xrain = 0, xinfdep = 0, xsurf = 0, x_freq = 0, xchan = 0,
        xwin_width = 0, xwin_height = 0, xbig = 0;
};

// The nutrient map and link/node output tables stand at the tail of the state.
struct output_tail_state {
    array2d<map_series> nutr_map_outputs;
    array2d<linknode_output> nutr_linknode_outputs;
};

}  // namespace kesta
