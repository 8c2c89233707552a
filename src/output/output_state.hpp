// Members of the model state owned by the output subsystem: the run's file
// slots and its output objects.
#pragma once

#include <memory>
#include <string>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "output/output_objects.hpp"

namespace kesta {

struct output_state {
    file_ptr summary_fp;  // the run's summary file; messages are copied here

    map_series map_outputs[3];
    std::unique_ptr<vq_data> vq;  // present when the reservoir coupling is configured

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
