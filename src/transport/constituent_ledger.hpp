// The constituent ledger: every book of the constituent mass balances,
// described once as a row of one table (constituent_ledger.cpp).
//
// A row is one term of one compartment's balance: the compartment (the
// soil, the water over land, the channel nodes, the channel-network lakes,
// the whole basin), the part it plays (a store at the start or the end, a
// mass that came in or went out, or an exchange whose sign says which), when
// it counts, the flow that books it, and the members that hold it per slot
// (kg): the run's total, the event's, and the basin total a booking adds to
// besides. A flow that crosses from one compartment to another is a row in
// each; a row whose flow is `none` counts a book another row keeps.
//
//   - book(m, flow, c, grams) adds grams / 1000 to every member the flow's
//     rows name; the rows are resolved when the program is compiled, so a
//     booking in a cell loop costs a few additions;
//   - closing a compartment forms its error from its rows in table order:
//     100 (in - out) / in, in and out the signed sums of its rows;
//   - the per-slot arrays of the ledger are named and sized by walking it.
//
// A new process is a flow, its row (or a row in each compartment it joins),
// its member in transport_state.hpp, its book() call and its summary lines
// (output/constituent_summary.cpp).
#pragma once

#include "transport/transport_state.hpp"

namespace kesta {

// What moves: one booking per kind of mass moved.
enum class con_flow : int {
    none = -1,  // the row counts a book that another row keeps
    // The dissolved mass over land.
    ov_point,            // in from the cell point sources
    ov_precip,           // in with rain and melt
    ov_exfil,            // in with groundwater that reached the surface
    ov_made,             // made by the nutrient reactions
    ov_infil,            // out with infiltrated water
    ov_outlet,           // out through the grid's outlet
    ov_decay,            // decayed
    ov_used,             // used by the nutrient reactions
    ov_uptake,           // exchanged with the land (positive: the water gained)
    ov_sorption,         // exchanged with the attached mass (positive: the dissolved mass gained)
    ov_attached_outlet,  // attached mass out through the grid's outlet
    // The soil layers (SOIL_CON_TRANS).
    soil_infil,       // in with infiltrated water
    soil_from_wt,     // up from the water table
    water_to_soil,    // from the water over land into the mixing layer
    soil_made,        // made by the nutrient library
    soil_leached,     // down to the water table
    soil_exfil,       // up to the surface with exfiltration
    water_from_soil,  // from the mixing layer into the water over land
    soil_decay,       // decayed
    soil_used,        // used by the nutrient library
    soil_sediment,    // deposited (positive) or eroded with sediment
    // The channel nodes (CHAN_CON_TRANS).
    chan_initial,            // the nodes' water at the first channel constituent step
    chan_point,              // from the point sources (net of their outflows)
    chan_gw,                 // seepage from the aquifer (net)
    chan_lateral,            // from the stream cells (net), out of the water over land
    chan_attached_lateral,   // attached mass from the stream cells
    chan_made,               // made by the nutrient reactions
    chan_decay,              // decayed
    chan_used,               // used by the nutrient reactions
    chan_outlet,             // out through the outlet
    chan_attached_outlet,    // attached mass out through the outlet
    chan_attached_to_lakes,  // attached mass from the links into the lakes (net)
    chan_sorption,           // exchanged with the attached mass (positive: the dissolved mass gained)
    // The channel-network lakes.
    lake_initial,           // the lakes' water at the start of the run
    lake_precip,            // rain on the lakes
    lake_from_channels,     // carried in by the links
    lake_from_overland,     // from the cells (net of what the lakes gave them)
    lake_gw,                // seepage from the aquifer (net)
    lake_node_exchange,     // a node the lake took (positive) or gave back
    lake_point,             // from the point sources (net)
    ov_attached_to_lakes,   // attached mass from the cells (net of the lakes' spills)
    lake_made,              // made by the nutrient reactions
    lake_to_channels,       // carried out by the links
    lake_decay,             // decayed
    lake_used,              // used by the nutrient reactions
    lake_attached_settled,  // attached mass settled onto the lakes' cells
    lake_sorption,          // exchanged with the attached mass (positive: the dissolved mass gained)
    // The whole basin only.
    leaves_basin,    // out of the basin, not through a compartment's own outflow book
    network_decay,   // decayed in the channel nodes and the lakes together
    species_taken,   // taken by a nutrient slot from another nutrient slot
    species_given,   // given by a nutrient slot to another nutrient slot
    count
};

// Adds `grams` of slot c (kg in the books) to every member of the flow's
// rows.
void book(transport_state& t, con_flow flow, int c, double grams);

// The compartments of the balances, closed in this order.
enum class con_part : int { soil, overland, channels, lakes, basin, count };

// The part a row plays in its compartment's balance.
enum class con_role : int {
    initial,  // the store at the start (in); an event's is taken from the stores when its books open
    final,    // the store at the end (out), taken from the stores when the compartment closes
    in,
    out,
    net,  // in when positive, out (negated) when negative
};

// When a row counts in its balance (a row that never counts is kept for the
// summaries only).
enum class con_when : int { always, soil, no_soil, sediment, channels, lakes, never };

// The masses the stores hold now of one slot (g): dissolved over land, held
// by the land (without SOIL_CON_TRANS), in the soil layers, attached to
// suspended sediment; and the channel nodes' and the lakes' (with what
// the nodes are yet to take in).
struct held_mass {
    double overland = 0.0, land = 0.0, soil = 0.0, attached = 0.0;
    double channels = 0.0, lakes = 0.0;  // dissolved, with CHAN_CON_TRANS
    double chan_attached = 0.0, lake_attached = 0.0;  // attached to the wash load
};

// A per-slot array of the ledger and the name its messages give it.
using con_array = array1d<double> transport_state::*;
struct con_member {
    con_array array = nullptr;
    const char* name = nullptr;
};

struct con_row {
    con_part part;
    con_role role;
    con_when when;
    // Rows of one group on one side are summed before they join the side's
    // total (the order of the additions sets the last digits of an error).
    int group;
    con_flow flow;
    con_member run, event, basin;
    // An initial or final row: the store's mass now (kg).
    double (*held)(const held_mass&);
};

// A compartment's balance: when it is kept, the input at or below which
// its error is 0 (kg), and where its errors go (percent; no event member:
// closed with the run only).
struct con_compartment {
    con_part part;
    con_when when;
    double no_input;
    con_member run_error, event_error;
};

// The ledger's rows, in the order of the balances' sums, and its
// compartments.
struct con_rows {
    const con_row* begin_;
    const con_row* end_;
    const con_row* begin() const { return begin_; }
    const con_row* end() const { return end_; }
};
con_rows constituent_ledger();
const con_compartment* constituent_compartment(con_part part);

// Every per-slot array of the ledger (the rows' and the compartments'),
// each once: named after its member, or grown by k zero entries.
void name_ledger_arrays(transport_state& t);
void grow_ledger_arrays(transport_state& t, int k);

}  // namespace kesta
