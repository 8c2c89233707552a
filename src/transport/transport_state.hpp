// Members of the model state owned by sediment and contaminant transport.
#pragma once

#include <memory>
#include <string>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "transport/sediment_state.hpp"

namespace kesta {

// Work record of the soil nutrient step.
struct nutr_grid {
    array2d<double> table;
    int index = -1;
    array1d<double> first;
    array1d<double> second;
};

struct transport_state {
    transport_state();

    // Overland constituent totals, per constituent (kg).
    array1d<double> OV_MASS_INIT, OV_MASS_FINAL, OV_MASS_OUT, OV_QLAT_MASS, OV_MASS_DECAY,
        OV_POINT_MASS, OV_EXFIL_MASS, OV_PRECIP_MASS, OV_INFIL_MASS, OV_MASS_ERROR, OV_LAND_MASS,
        OV_LAND_MASS_INIT, OV_LAND_MASS_FINAL, OV_UPTAKE_MASS;
    // Per-event overland constituent masses (kg).
    array1d<double> event_ov_mass_init, event_ov_decay_mass, event_ov_uptake_mass,
        event_ov_infil_mass, event_ov_exfil_mass, event_ov_qlat_mass, event_ov_mass_out,
        event_ov_point_mass, event_ov_precip_mass, event_ov_land_mass, event_ov_neg_mass;
    // Per-step overland mass rates (g/s).
    array1d<double> ov_out_dmt, ov_point_dmt, ov_decay_dmt, ov_infil_dmt, ov_qlat_dmt,
        ov_uptake_dmt, ov_precip_dmt, ov_zep_dmt, ov_zep_dmt_in, ov_zep_dmt_out;
    // Run totals per constituent (kg).
    array1d<double> GLOBAL_MASS_CON_ERROR, GLOBAL_MASS_DECAY, GLOBAL_MASS_INIT, GLOBAL_MASS_FINAL,
        GLOBAL_POINT_SOURCE, GLOBAL_MASS_OUT, GLOBAL_GW_MASS;
    array1d<double> ov_exit_mass;
    array1d<int> constituent_type;  // 1 contaminant, 2 water nutrient, 3 soil-only nutrient
    array1d<double> precip_conc;    // g/m3 per constituent
    array1d<double> water_soil_partition_coef;
    array3d<double> soil_mass{0, 0};  // g, [constituent][layer][cell]
    array3d<double> soil_conc{0, 0};  // g/m3

    // Constituent clocks (Julian days): overland transport, channel and soil.
    double wq_next = 0.0, wq_last = 0.0;
    double chan_con_next = 0.0, chan_con_last = 0.0;
    double soil_con_next = 0.0, soil_con_last = 0.0;
    int ov_point_source_given = 0;

    int ncontam = 0;
    int ov_con_trans = 0;
    int soil_con_trans = 0;
    int chan_con_trans = 0;
    int chan_sed_on = 0;  // soil erosion together with channel routing
    int uniform_contam_count = -1;  // not given
    int ov_con_buffer = 1;          // the transport step alternates 1 and 2
    double kinetics_timestep_factor = 1.0;

    // Working copies of the constituent cards.
    int ov_con_trans_on = 0;
    int con_trans_any = 0;  // constituents move over land or in channels
    int all_contam_output = 0;
    int contam_map_given = 0;
    std::string contam_map;
    int soil_contam = 0;
    int soil_static_conc = 0;
    int sediment_contam = 0;
    double ov_decay_coef = 0.0, ov_disp_coef = 0.0, ov_mass_load = 0.0, ov_uptake_rate = 0.0;
    double chan_decay_coef = 0.0, chan_disp_coef = 0.0, init_chan_conc = 0.0;
    int out_con_location_given = 0;
    std::string out_con_location;
    int out_mass_location_given = 0;
    std::string out_mass_location;
    int ov_con_map_given = 0;
    std::string ov_point_source;
    int soil_erosion_given = 0;  // SOIL_EROSION
    int soil_erosion = 0;        // its value

    std::string chan_contam_output_name = "con_output";
    file_ptr chan_contam_output;

    // Made by the sediment set-up when soil erosion is given.
    std::unique_ptr<sed_record> ov_sed;
    // Channel bed sand by [node][link][sand class position] (m3); position 0
    // holds the node's total. Empty while channel sediment is not simulated.
    cube3<double> ch_sand_vol;
    nutr_grid nutrient_grid;
};

}  // namespace kesta
