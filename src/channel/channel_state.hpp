// Members of the model state owned by the channel and storm-drain networks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "core/token_stream.hpp"

namespace kesta {

struct time_series;
struct elev_series;
struct pump;

// The structure elements of one structure link: how many NUMSTRUCTS declares
// and the first and last of its elements in `struct_elements`.
struct struct_link_elems {
    int count = 0;
    int first = 0;
    int last = 0;
};

// Structure element types, in the order of the STRUCTTYPE names.
enum struct_type : int {
    struct_untyped = 0,
    struct_weir = 1,
    struct_sag_weir = 2,
    struct_round_culvert = 3,
    struct_oval_culvert = 4,
    struct_rect_culvert = 5,
    struct_rating_curve = 6,
    struct_scheduled_release = 7,
    struct_rule_curve = 8,
};

// One hydraulic-structure element, as its cards give it (m, m3/s).
struct struct_element {
    int type = struct_untyped;
    int line = 0;                // line of its STRUCTTYPE card
    double length = 0.0;         // LENGTH (culvert barrel) or CREST_LENGTH (weirs)
    double crest = 0.0;          // UPINVERT or CREST_LOW_ELEV
    double down_invert = 0.0;    // DOWNINVERT
    bool down_invert_given = false;  // else the barrel SLOPE places the outlet
    double slope = 0.0;          // SLOPE of a culvert barrel
    double coeff_forward = 0.0;  // INLET_DISCH_COEFF or DISCHARGE_COEFF_FORWARD
    double coeff_reverse = 0.0;  // REV_FLOW_DISCH_COEFF or DISCHARGE_COEFF_REVERSE
    double culvert_coeff = 0.0;  // inlet-control coefficient of a culvert, from its geometry
    double dim1 = 0.0;           // WIDTH, DIAMETER, A_VALUE or STEEP_SLOPE
    double dim2 = 0.0;           // HEIGHT, B_VALUE or SHALLOW_SLOPE
    double crest_low_loc = 0.0;  // CREST_LOW_LOC
    double roughness = 0.0;      // ROUGH_COEFF: a culvert's Manning's n
    elev_series* es = nullptr;   // rating_curve and rule_curve
    time_series* ts = nullptr;   // scheduled_release
};

// The channel point-source file (CHAN_POINT_INPUT), read by whole tokens
// as its changes fall due.
struct chan_point_file {
    file_ptr fp;
    std::string name;
    std::unique_ptr<token_stream> tokens;
    struct point {
        int node = 0, link = 0;
    };
    std::vector<point> points;  // in the order of the point cards
    int nchanges = 0;           // timed changes the file declares
    int changes_read = 0;
    double next_change = 0.0;  // Julian time of the next change; 0 when none is to come
};

struct channel_state {
    // Channel clock (Julian days; interval also in seconds).
    double chan_timestep = 0.0;  // as given (s); minutes once the clock is armed
    double chan_interval_sec = 0.0;
    double chan_interval = 0.0;
    double chan_last = 0.0;
    double chan_next = 0.0;
    int chan_active_in_event = 0;  // channel routing runs in the current event
    int chan_restart = 0;     // the channel clock counts from the current time, not the next event
    int chan_step_count = 0;  // channel steps since the clocks were armed

    // Storm-drain clock.
    double storm_drain_interval_sec = 0.0;
    double storm_drain_interval = 0.0;
    double storm_drain_last = 0.0;
    double storm_drain_next = 0.0;

    // Channel network, read from the channel input file. Links 1..nlinks
    // (link nlinks is the outlet), nodes 1..maxnodes per link; node tables
    // are read [node][link] and stored link by link (core/arrays.hpp).
    double alpha = 0.0, beta = 0.0, theta = 0.0;  // header values of the channel file

    // Node tables, t[node][link].
    node_table<double> qp;          // discharge (m3/s)
    node_table<double> qlat;        // lateral inflow per metre of channel (m2/s), gathered between channel steps
    node_table<double> yp;          // water-surface elevation (m)
    node_table<double> bel;         // bed elevation (m); segment midpoints on open channels
    node_table<double> chan_depth;  // m
    node_table<double> area;        // flow area (m2)
    node_table<double> area_old;    // flow area at the start of the channel interval (m2)
    node_table<double> conv;        // conveyance K, Q = K sqrt(S) (m3/s)
    node_table<double> dconv;       // dK/dy (m2/s)
    node_table<double> topw;        // top width (m)
    node_table<double> yp_max_flood;  // highest water surface of the run (m)
    node_table<double> Fr, qp_vol, pct_flooded;
    // With channel sediment: the water that crossed each node's downstream
    // face since the last channel step (m3, the sign of the discharge); on
    // a structure link, node 1 holds what the structure passed.
    node_table<double> qp_vol_sed;
    node_table<double> bottom;        // bottom width (m)
    node_table<double> bankfull_dep;  // m
    node_table<double> sslope, sslope2;  // side slopes (horizontal per vertical)
    node_table<double> max_eros;      // m
    node_table<int> got_xsec;         // the link's ltype at a node with an XSEC card
    node_table<int> table_num;        // breakpoint table of the node
    node_table<double> Krb, Mrb;      // river-bed conductivity (m/h) and thickness (m)
    node_table<time_series*> stream_pointsource;  // with POINTSOURCE cards; not owned
    node_table<pump*> stream_pumps;               // with PUMPTO cards; not owned
    node_table<double> qriv;          // stream-aquifer flow per metre of channel (m2/s, positive into the channel)
    node_table<double> qriv_old;      // qriv as computed for the sub-step, before losses were cut to the water held
    // The point-source file's discharge (m3/s) and concentrations (g/m3, by
    // constituent from 1) at each node that has a point.
    node_table<double> chan_point_Q;
    std::vector<node_table<double>> chan_point_conc;
    chan_point_file chan_points;
    // Per erodible breakpoint link b (bplink) and node: the running maximum
    // of yp (m) and the station and elevation pairs of the node's section.
    mat2<double> max_yp;
    cube3<double> xbp_lnn, ybp_lnn;
    mat2<double> ch_sand_vol0;  // [b][node]: bed sand volume the section was last fitted to (m3)

    // Per link.
    vec1<int> ltype;        // link-type word (channel/link_types.hpp)
    vec1<int> ldex;         // the link itself; the lake number of a lake link
    vec1<int> ndep;         // number of upstream links
    vec1<int> dslink;       // downstream link, 0 at the outlet
    mat2<int> uslinks;      // [link][k], k = 1..ndep
    vec1<int> nx1;          // nodes as read (NODES)
    vec1<int> nx;           // computational nodes: nx1 - 1 on an open channel; fewer while a lake holds some
    vec1<int> link_nodes;   // computational nodes as read (og_nx1)
    vec1<double> chan_roughness;  // Manning's n (MANNINGS_N or the stream ROUGHNESS table)
    vec1<double> strick;    // 1 / Manning's n
    vec1<double> chan_dx;   // node spacing (m)
    vec1<double> maxeros;   // m
    vec1<double> ksat, kthick;  // river-bed conductivity (m/h) and thickness (m)
    vec1<double> disp_coeff;    // with DISPERSION_COEFF cards
    vec1<int> num_xsec_per_bp_link;
    vec1<int> bplink;       // ordinal among the erodible breakpoint links, else 0
    vec1<int> interp_list;  // 1: a breakpoint link with several tables
    vec1<int> first, last;  // first and last node of a breakpoint link with a table of its own
    // Copies as read, kept while lakes overtake links (with lakes only).
    vec1<int> og_ndep, og_dslink, og_ltype;
    mat2<int> og_uslinks;
    int max_ndep = 0;          // most upstream links of one link (at most 20)
    int nsource_links = 0;     // links with no upstream link
    int xsec_update_flag = 0;  // erodible breakpoint links whose sections follow the bed
    int chan_lake_flag = 0;    // a channel-network lake keeps the channel routing going

    // Breakpoint sections: tables 1..ntables over heights 1..numhts[t], spaced
    // ht_spc[t] (m) above the section's lowest point; [height][table].
    int ntables = 0;
    mat2<double> xarea, xtw, xk, xp;  // m2, m, m3/s, m
    mat2<double> xi1, xdkda;          // with chan_alt_routing: first moment of area (m3), dK/dA (m/s)
    vec1<int> numpairs, numhts;
    vec1<double> ht_spc;
    int xsec_above_table = 0;  // a depth above its table's highest level was met

    // Hydraulic structures: one record per link, elements 1..n in file order.
    std::vector<struct_link_elems> struct_links;
    std::vector<struct_element> struct_elements;
    int nstruct_links = 0;

    // Grid-stream table: per stream cell s, its entries k = 1..gst_ncellsingrid[s].
    int nstreamcells = 0;
    vec1<int> gst_ncellsingrid;
    mat2<int> gst_link, gst_node, gst_gnum;  // [s][k]; gst_gnum the grid cell
    mat2<double> gst_pct;                    // share of the cell's exchange
    mat2<double> gst_sac_weight, gst_Vlat, gst_qriv, gst_qriv_vol;
    vec1<int> gst_row, gst_col;              // [s]: grid row and column of the cell
    // Sacramento channel weights: per cell, the number of channel cells, the
    // sum of their topographic indices and the weighted channel length (m).
    vec1<double> sac_chan_weight;
    int sac_chan_cells = 0;
    double sac_topo_sum = 0.0;
    double sac_chan_length = 0.0;

    // Channel lakes, 1-based by lake.
    vec1<double> lake_elev;  // water-surface level (m)
    vec1<double> minwse;     // lowest water-surface level (m)
    vec1<double> initwse, maxwse;  // initial and highest water-surface level (m)
    vec1<double> lake_volume;         // m3
    vec1<double> prevlake_volume, lake_volume_last_chan;  // m3
    vec1<double> lake_area;           // m2
    vec1<int> lake2link;              // the lake link of each lake
    vec1<int> numpts;                 // cells of the search list
    vec1<int> lake_cells;             // cells covered now: the first of the list
    mat2<int> lake_search_row, lake_search_col;  // [lake][k] in flooding order
    vec1<int> calc_loss;              // 1: the lake loses water through its bed
    // Bed thickness (m) of the MLAKE card. Metres, as the reader echoes it
    // ("Bed Thickness: %.1lf m") and as the stream beds' M_RIVER is: a value
    // read as metres and then taken for centimetres in the leakage would
    // make every lake bed 100 times thinner than the user was told.
    vec1<double> Mlake;
    // Per cell: what the lake above it gave the aquifer since the
    // groundwater step last took it (m3, positive into the aquifer; made
    // with the MLAKE cards). The lake side is booked when it is moved.
    vec1<double> lake_source;
    vec1<int> og_gwbound_type;        // per cell: the groundwater boundary kinds as read
    vec1<double> lake_precip_vol;     // rain on the lake in the event (m3)
    vec1<double> lake_precip_total;   // rain on the lake in the run (m3)
    // Volume the overland flow moved into and out of each lake since the
    // overland step last booked it (m3, both positive).
    vec1<double> lake_in_dv, lake_out_dv;
    double lake_total_in_from_overland = 0.0;  // run totals (m3)
    double lake_total_out_to_overland = 0.0;
    // Run totals of the lakes' exchange with the channels (link flows,
    // structures, nodes captured and released) and of the water standing on
    // cells a rising lake took (m3).
    double lake_in_from_channels = 0.0;
    double lake_out_to_channels = 0.0;
    double lake_taken_from_cells = 0.0;
    int lake_list_exhausted_warned = 0;  // a lake outgrew its cell list (said once in the run)

    // Working tables of the explicit routing, t[node][link], made with the
    // node tables: the trial areas of the predictor, and the discharges at
    // the start of a sub-step, of the predictor and of the corrector.
    node_table<double> area_iter, qp_old, qp_last, qp_iter;
    node_table<int> status_node;  // with lakes: 1 while a lake holds the node
    int route_calls = 0;     // routing calls of the run
    int route_substeps = 0;  // sub-steps of the last routing call

    // Channel and lake storages and flows of the run for the end-of-run
    // water balance (m3), named by the lines that print them.
    struct channel_run_totals {
        int initial_taken = 0;  // the initial storages are those of the first event
        double initial_in_channels = 0.0, final_in_channels = 0.0;
        double initial_in_lakes = 0.0, final_in_lakes = 0.0;
        double lateral_inflow = 0.0;      // "Total lateral inflow into channels"
        double first_order_inflow = 0.0;  // FIRST_ORDER_CHAN_Q: an input of the run like the rain
        double channel_point_sources = 0.0;  // into channels and lakes, less the sinks
        double lake_point_sources = 0.0;     // into lakes, less the sinks
        double river_to_gw = 0.0;            // "Total flux from river to gw"
        double gw_to_river = 0.0;            // "Total flux from gw to river"
        double precip_to_lakes = 0.0;
        double flow_into_lakes = 0.0;     // from channels, from overland and from cells taken
        double flow_from_lakes = 0.0;     // to channels and to overland
        double lake_evaporation = 0.0;
        double lakes_to_gw = 0.0;  // "Total flux from lakes to gw"
        double gw_to_lakes = 0.0;  // "Total flux from gw to lakes"
        double lake_balance_error = 0.0;  // in - out (flows, leakage) - final + initial - evaporation
    } chan_run;


    // Hydrograph locations (IN_HYD_LOCATION), 1-based.
    int hyd_loc_count = 0;
    vec1<int> hlink, hnode;
    // Sediment locations (IN_SED_LOC), 1-based: nodes of open channels.
    int sed_loc_count = 0;
    vec1<int> slink, snode;

    int nlinks = 0;
    int maxnodes = 0;  // most nodes of a link
    int nlakes = 0;
    int chan_routing = 0;   // 1: explicit diffusive-wave routing
    int chan_alt_routing = 0;       // mesh routing
    int chan_implicit_routing = 0;  // the Preissmann implicit scheme
    int chan_drain_init = 0;        // initialise the implicit scheme by draining
    int chan_lakes_on = 0;  // the network has lakes
    int chan_discharge_given = 0;
    int chan_depth_given = 0;
    int chan_stage_given = 0;
    int chan_velocity_given = 0;
    int chan_sed_flux_given = 0;
    double max_courant_number = 0.2;  // MAX_COURANT_NUMBER
    int stream_loss = 0;
    int chan_first_pass = 1;  // the routing step does its first-pass work once
    int storm_sewer_given = 0;
    std::string storm_sewer;
    std::string grid_pipe;
    int superlink_c_opt = 0;

    // Explicit routing options.
    int overbank_flow = 0;
    int overland_backwater = 0;
    int head_bound = 0;
    double bound_depth = 0.0;  // m
    int bound_ts_given = 0;
    std::string bound_ts;
    double k_river = 0.0;
    double m_river = 0.0;
    double m_lake = 0.0;
    int hotstart_is_depth = 0;
    double first_order_chan_q = 0.0;
    int stream_cell_given = 0;
    std::string stream_cell;
    int chan_hotstart_write = 0;
    int chan_hotstart_read = 0;
    std::string chan_hotstart_depth_in;      // the two hotstart inputs
    std::string chan_hotstart_discharge_in;
    std::string chan_hotstart_depth_out;     // the WRITE_CHAN_HOTSTART name + ".dht"
    std::string chan_hotstart_discharge_out;  // the WRITE_CHAN_HOTSTART name + ".qht"
    int flood_stream_given = 0;
    std::string flood_stream;

    // Channel input files.
    std::string channel_input, links, nodes, section_table, chan_point_input;
};

}  // namespace kesta
