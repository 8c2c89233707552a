// Members of the model state owned by sediment and contaminant transport.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "input/time_series.hpp"
#include "transport/constituent_kind.hpp"
#include "transport/sediment_state.hpp"

namespace kesta {

// Work record of the soil constituent step: the water content of every
// cell's constituent soil layers in the step's interval ([cell][layer]), and
// for the cell in hand the water depths crossing its layer interfaces
// (`first`, m, positive downward; entry 0 the top of layer 1, entry l the
// bottom of layer l).
struct nutr_grid {
    mat2<double> table;
    int rows = -1;  // cells, -1 until the grid is sized
    int columns = 0;
    vec1<double> first;
    // Model time (days) at which `table` last took the layers' moisture of
    // every cell (-1: never); a second soil step at that time reuses it.
    double moisture_time = -1.0;
};

// One row of cell values per constituent slot: slots 1..ncontam (element 0
// of the outer vector unused), each row contiguous over cells 1..ncells.
using slot_rows = std::vector<vec1<double>>;
// One [cell][layer] table per slot, as slot_rows.
using slot_tables = std::vector<mat2<double>>;

// A face of the channel network across which a constituent disperses:
// between two nodes `dx` m apart (rows as in network_faces.hpp).
struct disp_face {
    int a = 0, b = 0;
    double dx = 0.0;
};

// What the sub-steps of a constituent routing came to over the run: the
// constituent intervals it routed, the sub-steps they took, those the flow
// set (the rest a limit of another process set), the most in one interval,
// and the intervals that took the most the routing allows.
struct substep_stats {
    long long intervals = 0, substeps = 0, set_by_flow = 0, at_most = 0;
    int most = 0;
};

// Largest number of constituent soil layers of a cell.
constexpr int kMaxContamLayers = 3;

// The water that crosses the constituent soil layers of one cell in a soil
// step, which the moves of every slot in the cell share.
struct soil_cell_water {
    int layers = 0;
    bool rising = false;  // the water rises (the water table stands at the ground) and some moves
    bool moving = false;  // some water crosses an interface
    double q[kMaxContamLayers + 1] = {};       // m across each interface, positive downward; 0: the top of layer 1
    // g to mg per kg of solids in each layer [1..layers]: 1000 / its solids
    // (kg), 0 for a layer without solids.
    double per_solids[kMaxContamLayers + 1] = {};
    // solids_factor(0, theta) of each layer [1..layers]: the factor of every
    // slot whose soil holds no partition coefficient, worked out once.
    double unsorbed[kMaxContamLayers + 1] = {};
};

// A cell point source of OV_POINT_SOURCE: its cell and the series of its
// discharge (m3/s) and of the concentration of each contaminant (g/m3,
// element 0 unused; an empty series carries none).
struct cell_point_source {
    int cell = 0;
    time_series discharge;
    std::vector<time_series> conc;
};

struct transport_state {
    transport_state();
    // Every per-constituent array of totals (and the precipitation
    // concentrations and partition coefficients) grows by k zero entries.
    void add_slot_totals(int k);

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
    array1d<constituent_kind> constituent_type;
    array1d<double> precip_conc;    // g/m3 per constituent
    // Linear partition coefficient between water and suspended sediment
    // (L/kg), per constituent.
    array1d<double> water_soil_partition_coef;

    // Further per-constituent totals (kg): over land, the exchange with the
    // soil's mixing layer (to and from it) and the run's rain; in the soil,
    // per event and over the run, the mass at the start and the end, what
    // infiltration brought, what leached down to the water table or rose
    // from it, what rose to the surface with exfiltration, what decayed and
    // what erosion (negative) and deposition moved; with SEDIMENT_CONTAM the
    // mass attached to suspended sediment: its exchange with the dissolved
    // mass (positive: dissolved gained), what left at the outlet attached,
    // and at the end of an event the attached and the total final mass.
    array1d<double> event_ov_to_soil_mass, event_ov_from_soil_mass, OV_TO_SOIL_MASS, OV_FROM_SOIL_MASS,
        GLOBAL_PRECIP_MASS;
    array1d<double> event_soil_mass_init, event_soil_mass_final, event_soil_infil_mass, event_soil_to_wt_mass,
        event_soil_from_wt_mass, event_soil_exfil_mass, event_soil_decay_mass, event_soil_sed_mass;
    array1d<double> SOIL_MASS_INIT, SOIL_MASS_FINAL, SOIL_INFIL_MASS, SOIL_TO_WT_MASS, SOIL_FROM_WT_MASS,
        SOIL_EXFIL_MASS, SOIL_DECAY_MASS, SOIL_SED_MASS;
    array1d<double> event_ov_sed_source_mass, event_ov_sed_outlet_mass, OV_SED_SOURCE_MASS, OV_SED_OUTLET_MASS,
        ov_sed_contam_final_mass, ov_total_contam_final_mass, OV_SED_CONTAM_FINAL;
    // Mass-balance errors (percent) the summaries form: the soil's of the
    // event and of the run, and the overland run's beside OV_MASS_ERROR.
    array1d<double> soil_mass_balance_error, SOIL_MASS_ERROR, OV_RUN_MASS_ERROR;
    // Nutrient species (kg), run and event: what the reactions made and
    // what they used over land, in the channel nodes and in the lakes.
    array1d<double> OV_ZEP_MASS_IN, OV_ZEP_MASS_OUT, event_ov_zep_mass_in, event_ov_zep_mass_out;
    array1d<double> CHAN_ZEP_MASS_IN, CHAN_ZEP_MASS_OUT, event_chan_zep_mass_in, event_chan_zep_mass_out;
    array1d<double> LAKE_ZEP_MASS_IN, LAKE_ZEP_MASS_OUT, event_lake_zep_mass_in, event_lake_zep_mass_out;
    // In the soil (SOIL_CON_TRANS): what the library made and used of each
    // soil pool.
    array1d<double> SOIL_ZEP_MASS_IN, SOIL_ZEP_MASS_OUT, event_soil_zep_mass_in, event_soil_zep_mass_out;
    // Over the run: what a slot's soil pool took from the water of another
    // nutrient species (the pool the infiltrating species feeds, the species
    // the rising pore water feeds), and what the slot gave to another.
    array1d<double> ZEP_SPECIES_IN, ZEP_SPECIES_OUT;

    // ------------------------------------------------ constituent slots
    int n_contaminants = 0;                // slots of type 1
    int first_nutrient_constituent = -1;   // first slot of type 2, -1 while none
    // With sed_as_constituents 2: the first of the num_sed slots (of type 1,
    // after the contaminants) that carry the sediment classes; -1 while none.
    int first_sed_constituent = -1;
    int contam_table_read = 0;             // the CONTAMINANT_TRANSPORT table gave the contaminants
    // By slot (element 0 unused): the name the summaries give it and the
    // base name of its map outputs (empty: none).
    std::vector<std::string> contam_names, contam_output_names;
    // Overland, per slot and cell: concentration (g/m3) and mass (g) of the
    // dissolved constituent; dispersion coefficient (m2/s); the rate of
    // exchange with the soil's mixing layer (m/s once the run starts; m/day
    // as read); the load the land holds (read in kg per cell, held in g;
    // with SOIL_CON_TRANS read as the mixing layer's soil concentration in
    // mg/kg, and then the sum of the soil layers' masses).
    slot_rows contam_conc, contam_mass, contam_disp, contam_uptake, contam_land_mass;
    // First-order decay per slot and cell (1/s), given per day by the cards
    // and tables and turned per second as they are read.
    slot_rows contam_decay_per_s;
    // With SOIL_CON_TRANS the soil's partition coefficient (L/kg); with a
    // water table the groundwater's concentration (g/m3).
    slot_rows soil_partition_coef, gw_conc;
    // The overland concentration of slot 1 for the OV_CON_MAP map.
    vec1<double> contam_map_values;
    // Per cell: water the overland mass of the cell is dissolved in (m of
    // depth), the depth when the transport last ran plus the rain, melt and
    // point-source water since, less what infiltrated; the overland water
    // infiltrated since the constituents last followed it (m3); the
    // groundwater that rose through the soil since the soil step last ran
    // (m3, with SOIL_CON_TRANS).
    vec1<double> contam_water, ov_infil_vol, ov_exfil_vol;
    std::vector<cell_point_source> cell_points;
    // Work vectors of the transport: per cell the water volume at the start
    // and the end of the interval (m3), the concentration and the predicted
    // mass of a pass, and the factor that keeps a cell from giving more
    // than it holds; per face the predictor's and the averaged amounts.
    vec1<double> tr_vol0, tr_vol1, tr_conc, tr_mstar, tr_limit, tr_face_pred, tr_face;
    // The overland transport's sub-steps, set by the flow or the dispersion.
    substep_stats ov_route_stats;
    // With channel-network lakes and channel constituents: the cells'
    // dispersion coefficients of the call (lake cells 0), and by lake the
    // share of it each covered cell holds.
    vec1<double> tr_disp, tr_lake_share;
    // The exchange and the decay run every kinetics_interval_steps
    // constituent steps (KINETICS_TIMESTEP_FACTOR) over the seconds of
    // those steps.
    int kinetics_interval_steps = 1;
    int kinetics_steps = 0;
    double kinetics_seconds = 0.0;

    // Soil (SOIL_CON_TRANS): per cell its number of constituent layers and,
    // by [cell][layer], their thickness (m) and porosity; per slot the
    // layers' mass (g) and concentration (mg per kg of soil).
    vec1<int> soil_layer_count;
    mat2<double> soil_thickness, soil_porosity;
    slot_tables soil_mass, soil_conc;
    // Per cell, since the soil step last ran: the soil water accounting's
    // flow from its upper to its lower layer and out of its bottom (cm),
    // and the infiltrated depth (m).
    vec1<double> soil_interflow, soil_drainage, soil_infil_depth;

    // SEDIMENT_CONTAM: per slot, the mass attached to each fine class of the
    // suspended sediment of each cell ([cell][fine position], position 0
    // the sum; g).
    slot_tables attached_mass;
    // Per fine position: the suspended concentration (g/m3), the partition
    // coefficient and the attached share of the cell in hand.
    vec1<double> sorption_conc, sorption_kd, sorption_share;

    // ------------------------------------------------ channels and lakes
    // With CHAN_CON_TRANS. The stores of the channel network by row (see
    // network_faces.hpp): node j of link l at row l * chan_stride + j, lake k
    // at row chan_lake_row0 + k; chan_rows rows in all.
    int chan_stride = 0, chan_lake_row0 = 0, chan_rows = 0;
    // Per slot and row: the dissolved mass (g) and concentration (g/m3) of
    // every node and lake. A node without water keeps its mass (with
    // concentration 0) until water comes to carry it.
    mat2<double> chan_mass, chan_conc;
    // Per slot and node row: mass that reached a node since the channel
    // constituents last ran and enters it over their next interval (g): the
    // point sources' and the lateral and groundwater inflow's.
    mat2<double> chan_source;
    // Per slot and node row: the mass passed through the node's downstream
    // face over the last interval (g/s, negative upstream).
    mat2<double> dissolved_chan_flux;
    // Per slot and node row, over the last interval of the channel
    // constituents: the mass the node took from its stream cells (g;
    // negative: gave them) and from the aquifer (g; negative: lost to it),
    // and the concentration of the water its stream cells gave it (g/m3; 0
    // when they gave none). Per node row, that water (m3).
    mat2<double> chan_qlat_mass, chan_gw_mass, chan_qlat_conc;
    vec1<double> chan_qlat_water;
    // Per row: the water the masses were dissolved in when the channel
    // constituents last ran (m3), the water now, and the nodes' spacing (m).
    vec1<double> chan_water, chan_water_now, chan_row_length;
    // Per node row: the stream cell with the largest share of the node,
    // whose groundwater seeps into it (0: none).
    vec1<int> chan_row_cell;
    // The channel constituents have set their initial masses.
    int chan_con_started = 0;
    // Work space of the routing, by row, by face and by dispersive face.
    vec1<double> cw_conc, cw_mstar, cw_mnew, cw_m0, cw_asked, cw_rate, cw_out, cw_disp;
    vec1<double> cw_pred, cw_amount, cw_total, cw_dpred, cw_damount;
    std::vector<wash_face> chan_faces;
    std::vector<disp_face> chan_disp_faces;
    // Per node row: the dispersion coefficient of the nutrient species
    // (m2/s), the stream nutrients' own (CHAN_DISP_COEF unless the stream
    // DISPERSION table gives the node's link one); empty without nutrients.
    // chan_nutrient_disp_on: some node has one above 0.
    vec1<double> cw_nutrient_disp;
    int chan_nutrient_disp_on = 0;
    // Run statistics of the routing: calls, sub-steps, corrector passes.
    long long chan_route_calls = 0, chan_route_substeps = 0, chan_route_passes = 0;
    // The routing's sub-steps by what set them, for the summary.
    substep_stats chan_route_stats;

    // With SEDIMENT_CONTAM and channel sediment, per slot by [row][fine
    // position] (position 0 the total): the mass attached to the wash load
    // of every node and lake (g). Work space of the channel sediment step
    // by [row][fine position]: the wash load each row held at its start
    // (m3), and a slot's attached mass per m3 of it (g/m3).
    slot_tables chan_sed_contam;
    mat2<double> chan_wash_start, chan_attached_ratio;
    // Work space of the overland attached step by lake: the wash load of a
    // fine position that the lake's outflow carried onto the land over the
    // interval (m3), and the attached mass it gives per m3 of it (g/m3).
    vec1<double> lake_wash_out, lake_attached_out;
    // Set by a channel sediment step whose wash load moved: its attached
    // mass is yet to follow (step_channel_contam_transport); by [lake][fine
    // position], the share of the lake's suspension that settled in it.
    bool chan_attached_due = false;
    mat2<double> lake_settled_share;
    // Per slot and node row: the attached mass the wash load carried
    // through the node's downstream face since the channel constituents
    // last ran (g), and over their last interval (g/s); both negative
    // upstream.
    mat2<double> attached_chan_moved, attached_chan_flux;
    // By fine position: the class's density (g/m3).
    vec1<double> chan_sed_density;
    // Their books per slot (kg), run and event: attached mass the stream
    // cells gave the nodes (with the suspended and the deposited sediment
    // they gave), that left through the outlet, that the channels gave the
    // lakes (net), that the overland gave the lakes (net: less what their
    // spills over land carried back), that settled onto the lakes' cells;
    // and what the sorption split gave the dissolved mass of the nodes and
    // of the lakes (negative: took).
    array1d<double> CHAN_QLAT_SED_MASS, CHAN_OUTLET_SED_MASS, CHAN_LAKE_SED_CONTAM_MASS, OV_LAKE_SED_CONTAM_MASS,
        LAKE_SETTLED_SED_MASS, CHAN_SED_SOURCE_MASS, LAKE_SED_CONTAM_SOURCE_MASS;
    array1d<double> event_chan_qlat_sed_mass, event_chan_outlet_sed_mass, event_chan_lake_sed_contam_mass,
        event_ov_lake_sed_contam_mass, event_lake_settled_sed_mass, event_chan_sed_source_mass,
        event_lake_sed_contam_source_mass;
    // The attached mass the channels and the lakes held at the start of the
    // event (kg; a run starts with none).
    array1d<double> event_chan_attached_init, event_lake_attached_init;

    // Channel and lake books per slot (kg): run totals, the event's, and
    // the balance errors (percent).
    array1d<double> CHAN_MASS_INIT, CHAN_MASS_FINAL, CHAN_POINT_MASS, CHAN_GW_MASS, CHAN_LAT_MASS, CHAN_MASS_OUT,
        CHAN_MASS_DECAY, CHAN_MASS_BALANCE, CHAN_RUN_MASS_ERROR;
    array1d<double> event_chan_mass_init, event_chan_lat_mass, event_chan_point_mass, event_chan_gw_mass,
        event_chan_decay_mass, event_chan_mass_out;
    array1d<double> LAKE_MASS_INIT, LAKE_MASS_FINAL, LAKE_MASS_BALANCE, LAKE_DECAY_MASS, LAKE_POINT_MASS,
        LAKE_GW_MASS, LAKE_PRECIP_MASS, LAKE_CHAN_OUTFLOW_MASS, LAKE_CHAN_INFLOW_MASS, LAKE_OV_INFLOW_MASS,
        LAKE_CHAN_EXCHANGE_MASS;
    array1d<double> event_lake_mass_init, event_lake_mass_final, event_lake_mass_balance, event_lake_decay_mass,
        event_lake_precip_mass, event_lake_gw_mass, event_lake_point_mass, event_lake_chan_inflow_mass,
        event_lake_chan_outflow_mass, event_lake_ov_inflow_mass, event_lake_chan_exchange_mass;

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
    int soil_erosion = 0;        // its value, less 10 when it carries the classes as constituents
    // 1: the sediment routines move the classes; 2 (a SOIL_EROSION value of
    // 10 or more): the classes are carried as constituents instead, and no
    // sediment routine runs; 0 without soil erosion.
    int sed_as_constituents = 0;

    // The channel constituents' file, opened and left empty (its slot
    // chan_contam_output is the output state's).
    std::string chan_contam_output_name = "con_output";

    // Made by the sediment set-up when soil erosion is given.
    std::unique_ptr<sed_record> ov_sed;
    // Channel bed sand by [link][node][sand class position] (m3); position 0
    // holds the node's total. Empty while channel sediment is not simulated.
    cube3<double> ch_sand_vol;
    nutr_grid nutrient_grid;
    vec1<soil_cell_water> soil_water;  // [cell]: the soil step's water, made with the soil layers
};

// The kind of slot c (none outside the slots), and its questions asked of
// slot c.
inline constituent_kind kind_of(const transport_state& t, int c) { return t.constituent_type.value(c); }
inline bool carried_by_water(const transport_state& t, int c) { return carried_by_water(kind_of(t, c)); }
inline bool is_contaminant(const transport_state& t, int c) { return is_contaminant(kind_of(t, c)); }
inline bool reacts_in_water(const transport_state& t, int c) { return reacts_in_water(kind_of(t, c)); }

}  // namespace kesta
