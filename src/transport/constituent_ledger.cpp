#include "transport/constituent_ledger.hpp"

#include <array>
#include <cstddef>

namespace kesta {

namespace {

constexpr double kGramsPerKilogram = 1000.0;
// Inputs at or below this give a balance error of 0: nothing came in (kg).
constexpr double kNoInput = 1e-16;

// What the stores hold now (kg).
double soil_now(const held_mass& h) { return h.soil / kGramsPerKilogram; }
double overland_now(const held_mass& h) { return h.overland / kGramsPerKilogram; }
double land_now(const held_mass& h) { return h.land / kGramsPerKilogram; }
// The land's load, or the soil layers' with SOIL_CON_TRANS (the other is 0).
double ground_now(const held_mass& h) { return (h.soil + h.land) / kGramsPerKilogram; }
double attached_now(const held_mass& h) { return h.attached / kGramsPerKilogram; }
double overland_with_attached_now(const held_mass& h) { return overland_now(h) + attached_now(h); }
double channels_now(const held_mass& h) { return h.channels / kGramsPerKilogram; }
double chan_attached_now(const held_mass& h) { return h.chan_attached / kGramsPerKilogram; }
double lakes_now(const held_mass& h) { return h.lakes / kGramsPerKilogram; }
double lake_attached_now(const held_mass& h) { return h.lake_attached / kGramsPerKilogram; }
double basin_now(const held_mass& h) {
    return (h.overland + h.land + h.soil + h.attached + h.channels + h.lakes + h.chan_attached + h.lake_attached) /
           kGramsPerKilogram;
}

#define KESTA_BOOK(name) con_member{&transport_state::name, #name}
constexpr con_member kNone{};

using P = con_part;
using R = con_role;
using W = con_when;
using F = con_flow;

// The rows of every compartment, in the order their balance sums them.
constexpr con_row kLedger[] = {
    // The soil: initial + infiltration + from the water table + from the water over land + made =
    // final + leached + exfiltrated + to the water over land + decayed + used, and the sediment's exchange.
    {P::soil, R::initial, W::always, 0, F::none, KESTA_BOOK(SOIL_MASS_INIT), KESTA_BOOK(event_soil_mass_init), kNone,
     soil_now},
    {P::soil, R::final, W::always, 0, F::none, KESTA_BOOK(SOIL_MASS_FINAL), KESTA_BOOK(event_soil_mass_final), kNone,
     soil_now},
    {P::soil, R::in, W::always, 0, F::soil_infil, KESTA_BOOK(SOIL_INFIL_MASS), KESTA_BOOK(event_soil_infil_mass),
     kNone, nullptr},
    {P::soil, R::in, W::always, 0, F::soil_from_wt, KESTA_BOOK(SOIL_FROM_WT_MASS),
     KESTA_BOOK(event_soil_from_wt_mass), kNone, nullptr},
    {P::soil, R::in, W::always, 0, F::water_to_soil, KESTA_BOOK(OV_TO_SOIL_MASS), KESTA_BOOK(event_ov_to_soil_mass),
     kNone, nullptr},
    {P::soil, R::in, W::always, 0, F::soil_made, KESTA_BOOK(SOIL_ZEP_MASS_IN), KESTA_BOOK(event_soil_zep_mass_in),
     kNone, nullptr},
    {P::soil, R::out, W::always, 0, F::soil_leached, KESTA_BOOK(SOIL_TO_WT_MASS), KESTA_BOOK(event_soil_to_wt_mass),
     KESTA_BOOK(GLOBAL_MASS_OUT), nullptr},
    {P::soil, R::out, W::always, 0, F::soil_exfil, KESTA_BOOK(SOIL_EXFIL_MASS), KESTA_BOOK(event_soil_exfil_mass),
     kNone, nullptr},
    {P::soil, R::out, W::always, 0, F::water_from_soil, KESTA_BOOK(OV_FROM_SOIL_MASS),
     KESTA_BOOK(event_ov_from_soil_mass), kNone, nullptr},
    {P::soil, R::out, W::always, 0, F::soil_decay, KESTA_BOOK(SOIL_DECAY_MASS), KESTA_BOOK(event_soil_decay_mass),
     KESTA_BOOK(GLOBAL_MASS_DECAY), nullptr},
    {P::soil, R::out, W::always, 0, F::soil_used, KESTA_BOOK(SOIL_ZEP_MASS_OUT), KESTA_BOOK(event_soil_zep_mass_out),
     kNone, nullptr},
    {P::soil, R::net, W::sediment, 0, F::soil_sediment, KESTA_BOOK(SOIL_SED_MASS), KESTA_BOOK(event_soil_sed_mass),
     kNone, nullptr},

    // The dissolved mass over land: initial + point sources + rain + exfiltration + made = final +
    // infiltration + outlet + decay + used, the exchange with the soil (or the land), the sorption, and
    // what the channel network took.
    {P::overland, R::initial, W::always, 0, F::none, KESTA_BOOK(OV_MASS_INIT), KESTA_BOOK(event_ov_mass_init), kNone,
     overland_now},
    {P::overland, R::final, W::always, 0, F::none, KESTA_BOOK(OV_MASS_FINAL), KESTA_BOOK(OV_MASS_FINAL), kNone,
     overland_now},
    {P::overland, R::in, W::always, 0, F::ov_point, KESTA_BOOK(OV_POINT_MASS), KESTA_BOOK(event_ov_point_mass),
     KESTA_BOOK(GLOBAL_POINT_SOURCE), nullptr},
    {P::overland, R::in, W::always, 0, F::ov_precip, KESTA_BOOK(OV_PRECIP_MASS), KESTA_BOOK(event_ov_precip_mass),
     KESTA_BOOK(GLOBAL_PRECIP_MASS), nullptr},
    {P::overland, R::in, W::always, 0, F::ov_exfil, KESTA_BOOK(OV_EXFIL_MASS), KESTA_BOOK(event_ov_exfil_mass), kNone,
     nullptr},
    {P::overland, R::in, W::always, 0, F::ov_made, KESTA_BOOK(OV_ZEP_MASS_IN), KESTA_BOOK(event_ov_zep_mass_in), kNone,
     nullptr},
    {P::overland, R::out, W::always, 0, F::ov_infil, KESTA_BOOK(OV_INFIL_MASS), KESTA_BOOK(event_ov_infil_mass), kNone,
     nullptr},
    {P::overland, R::out, W::always, 0, F::ov_outlet, KESTA_BOOK(OV_MASS_OUT), KESTA_BOOK(event_ov_mass_out),
     KESTA_BOOK(GLOBAL_MASS_OUT), nullptr},
    {P::overland, R::out, W::always, 0, F::ov_decay, KESTA_BOOK(OV_MASS_DECAY), KESTA_BOOK(event_ov_decay_mass),
     KESTA_BOOK(GLOBAL_MASS_DECAY), nullptr},
    {P::overland, R::out, W::always, 0, F::ov_used, KESTA_BOOK(OV_ZEP_MASS_OUT), KESTA_BOOK(event_ov_zep_mass_out),
     kNone, nullptr},
    {P::overland, R::out, W::soil, 0, F::none, KESTA_BOOK(OV_TO_SOIL_MASS), KESTA_BOOK(event_ov_to_soil_mass), kNone,
     nullptr},
    {P::overland, R::in, W::soil, 0, F::none, KESTA_BOOK(OV_FROM_SOIL_MASS), KESTA_BOOK(event_ov_from_soil_mass),
     kNone, nullptr},
    {P::overland, R::net, W::no_soil, 0, F::ov_uptake, KESTA_BOOK(OV_UPTAKE_MASS), KESTA_BOOK(event_ov_uptake_mass),
     kNone, nullptr},
    {P::overland, R::net, W::sediment, 0, F::ov_sorption, KESTA_BOOK(OV_SED_SOURCE_MASS),
     KESTA_BOOK(event_ov_sed_source_mass), kNone, nullptr},
    {P::overland, R::out, W::channels, 1, F::chan_lateral, KESTA_BOOK(OV_QLAT_MASS), KESTA_BOOK(event_ov_qlat_mass),
     kNone, nullptr},
    {P::overland, R::out, W::channels, 1, F::none, KESTA_BOOK(LAKE_OV_INFLOW_MASS),
     KESTA_BOOK(event_lake_ov_inflow_mass), kNone, nullptr},
    // Over land, for the summaries: the land's load, the attached mass and the negative mass cleared.
    {P::overland, R::initial, W::never, 0, F::none, KESTA_BOOK(OV_LAND_MASS_INIT), KESTA_BOOK(event_ov_land_mass),
     kNone, land_now},
    {P::overland, R::final, W::never, 0, F::none, KESTA_BOOK(OV_LAND_MASS_FINAL), KESTA_BOOK(OV_LAND_MASS_FINAL),
     kNone, ground_now},
    {P::overland, R::final, W::never, 0, F::none, KESTA_BOOK(ov_sed_contam_final_mass),
     KESTA_BOOK(ov_sed_contam_final_mass), kNone, attached_now},
    {P::overland, R::final, W::never, 0, F::none, KESTA_BOOK(ov_total_contam_final_mass),
     KESTA_BOOK(ov_total_contam_final_mass), kNone, overland_with_attached_now},
    {P::overland, R::final, W::never, 0, F::none, KESTA_BOOK(OV_SED_CONTAM_FINAL), kNone, kNone, attached_now},
    {P::overland, R::out, W::never, 0, F::ov_attached_outlet, KESTA_BOOK(OV_SED_OUTLET_MASS),
     KESTA_BOOK(event_ov_sed_outlet_mass), KESTA_BOOK(GLOBAL_MASS_OUT), nullptr},
    {P::overland, R::out, W::never, 0, F::none, kNone, KESTA_BOOK(event_ov_neg_mass), kNone, nullptr},

    // The channel nodes, dissolved and attached: initial + point sources + seepage + lateral inflow +
    // from the lakes + attached lateral inflow + made = final + decay + used + outlet + to the lakes
    // (taken nodes and links) + attached outlet + attached to the lakes. The sorption moves mass
    // within the nodes.
    {P::channels, R::initial, W::always, 0, F::chan_initial, KESTA_BOOK(CHAN_MASS_INIT),
     KESTA_BOOK(event_chan_mass_init), KESTA_BOOK(GLOBAL_MASS_INIT), channels_now},
    {P::channels, R::initial, W::always, 0, F::none, kNone, KESTA_BOOK(event_chan_attached_init), kNone,
     chan_attached_now},
    {P::channels, R::final, W::always, 0, F::none, KESTA_BOOK(CHAN_MASS_FINAL), KESTA_BOOK(CHAN_MASS_FINAL), kNone,
     channels_now},
    {P::channels, R::final, W::always, 0, F::none, kNone, kNone, kNone, chan_attached_now},
    {P::channels, R::in, W::always, 0, F::chan_point, KESTA_BOOK(CHAN_POINT_MASS), KESTA_BOOK(event_chan_point_mass),
     KESTA_BOOK(GLOBAL_POINT_SOURCE), nullptr},
    {P::channels, R::in, W::always, 0, F::chan_gw, KESTA_BOOK(CHAN_GW_MASS), KESTA_BOOK(event_chan_gw_mass),
     KESTA_BOOK(GLOBAL_GW_MASS), nullptr},
    {P::channels, R::in, W::always, 0, F::chan_lateral, KESTA_BOOK(CHAN_LAT_MASS), KESTA_BOOK(event_chan_lat_mass),
     kNone, nullptr},
    {P::channels, R::in, W::always, 0, F::none, KESTA_BOOK(LAKE_CHAN_OUTFLOW_MASS),
     KESTA_BOOK(event_lake_chan_outflow_mass), kNone, nullptr},
    {P::channels, R::in, W::always, 0, F::chan_attached_lateral, KESTA_BOOK(CHAN_QLAT_SED_MASS),
     KESTA_BOOK(event_chan_qlat_sed_mass), kNone, nullptr},
    {P::channels, R::in, W::always, 0, F::chan_made, KESTA_BOOK(CHAN_ZEP_MASS_IN), KESTA_BOOK(event_chan_zep_mass_in),
     kNone, nullptr},
    {P::channels, R::out, W::always, 0, F::chan_decay, KESTA_BOOK(CHAN_MASS_DECAY), KESTA_BOOK(event_chan_decay_mass),
     kNone, nullptr},
    {P::channels, R::out, W::always, 0, F::chan_used, KESTA_BOOK(CHAN_ZEP_MASS_OUT),
     KESTA_BOOK(event_chan_zep_mass_out), kNone, nullptr},
    {P::channels, R::out, W::always, 0, F::chan_outlet, KESTA_BOOK(CHAN_MASS_OUT), KESTA_BOOK(event_chan_mass_out),
     KESTA_BOOK(GLOBAL_MASS_OUT), nullptr},
    {P::channels, R::out, W::always, 0, F::none, KESTA_BOOK(LAKE_CHAN_EXCHANGE_MASS),
     KESTA_BOOK(event_lake_chan_exchange_mass), kNone, nullptr},
    {P::channels, R::out, W::always, 0, F::none, KESTA_BOOK(LAKE_CHAN_INFLOW_MASS),
     KESTA_BOOK(event_lake_chan_inflow_mass), kNone, nullptr},
    {P::channels, R::out, W::always, 0, F::chan_attached_outlet, KESTA_BOOK(CHAN_OUTLET_SED_MASS),
     KESTA_BOOK(event_chan_outlet_sed_mass), KESTA_BOOK(GLOBAL_MASS_OUT), nullptr},
    {P::channels, R::out, W::always, 0, F::chan_attached_to_lakes, KESTA_BOOK(CHAN_LAKE_SED_CONTAM_MASS),
     KESTA_BOOK(event_chan_lake_sed_contam_mass), kNone, nullptr},
    {P::channels, R::net, W::never, 0, F::chan_sorption, KESTA_BOOK(CHAN_SED_SOURCE_MASS),
     KESTA_BOOK(event_chan_sed_source_mass), kNone, nullptr},

    // The lakes, dissolved and attached: initial + rain + from the links + from the cells + seepage +
    // taken nodes + point sources + attached from the links and the cells + made = final + to the
    // links + decay + used + attached settled. The sorption moves mass within the lakes.
    {P::lakes, R::initial, W::always, 0, F::lake_initial, KESTA_BOOK(LAKE_MASS_INIT), KESTA_BOOK(event_lake_mass_init),
     KESTA_BOOK(GLOBAL_MASS_INIT), lakes_now},
    {P::lakes, R::initial, W::always, 0, F::none, kNone, KESTA_BOOK(event_lake_attached_init), kNone,
     lake_attached_now},
    {P::lakes, R::final, W::always, 0, F::none, KESTA_BOOK(LAKE_MASS_FINAL), KESTA_BOOK(event_lake_mass_final), kNone,
     lakes_now},
    {P::lakes, R::final, W::always, 0, F::none, kNone, kNone, kNone, lake_attached_now},
    {P::lakes, R::in, W::always, 0, F::lake_precip, KESTA_BOOK(LAKE_PRECIP_MASS), KESTA_BOOK(event_lake_precip_mass),
     KESTA_BOOK(GLOBAL_PRECIP_MASS), nullptr},
    {P::lakes, R::in, W::always, 0, F::lake_from_channels, KESTA_BOOK(LAKE_CHAN_INFLOW_MASS),
     KESTA_BOOK(event_lake_chan_inflow_mass), kNone, nullptr},
    {P::lakes, R::in, W::always, 0, F::lake_from_overland, KESTA_BOOK(LAKE_OV_INFLOW_MASS),
     KESTA_BOOK(event_lake_ov_inflow_mass), kNone, nullptr},
    {P::lakes, R::in, W::always, 0, F::lake_gw, KESTA_BOOK(LAKE_GW_MASS), KESTA_BOOK(event_lake_gw_mass),
     KESTA_BOOK(GLOBAL_GW_MASS), nullptr},
    {P::lakes, R::in, W::always, 0, F::lake_node_exchange, KESTA_BOOK(LAKE_CHAN_EXCHANGE_MASS),
     KESTA_BOOK(event_lake_chan_exchange_mass), kNone, nullptr},
    {P::lakes, R::in, W::always, 0, F::lake_point, KESTA_BOOK(LAKE_POINT_MASS), KESTA_BOOK(event_lake_point_mass),
     KESTA_BOOK(GLOBAL_POINT_SOURCE), nullptr},
    {P::lakes, R::in, W::always, 0, F::none, KESTA_BOOK(CHAN_LAKE_SED_CONTAM_MASS),
     KESTA_BOOK(event_chan_lake_sed_contam_mass), kNone, nullptr},
    {P::lakes, R::in, W::always, 0, F::ov_attached_to_lakes, KESTA_BOOK(OV_LAKE_SED_CONTAM_MASS),
     KESTA_BOOK(event_ov_lake_sed_contam_mass), kNone, nullptr},
    {P::lakes, R::in, W::always, 0, F::lake_made, KESTA_BOOK(LAKE_ZEP_MASS_IN), KESTA_BOOK(event_lake_zep_mass_in),
     kNone, nullptr},
    {P::lakes, R::out, W::always, 0, F::lake_to_channels, KESTA_BOOK(LAKE_CHAN_OUTFLOW_MASS),
     KESTA_BOOK(event_lake_chan_outflow_mass), kNone, nullptr},
    {P::lakes, R::out, W::always, 0, F::lake_decay, KESTA_BOOK(LAKE_DECAY_MASS), KESTA_BOOK(event_lake_decay_mass),
     kNone, nullptr},
    {P::lakes, R::out, W::always, 0, F::lake_used, KESTA_BOOK(LAKE_ZEP_MASS_OUT), KESTA_BOOK(event_lake_zep_mass_out),
     kNone, nullptr},
    {P::lakes, R::out, W::always, 0, F::lake_attached_settled, KESTA_BOOK(LAKE_SETTLED_SED_MASS),
     KESTA_BOOK(event_lake_settled_sed_mass), kNone, nullptr},
    {P::lakes, R::net, W::never, 0, F::lake_sorption, KESTA_BOOK(LAKE_SED_CONTAM_SOURCE_MASS),
     KESTA_BOOK(event_lake_sed_contam_source_mass), kNone, nullptr},

    // The whole basin over the run: initial + point sources + rain + seepage and reactions into the
    // water (+ the soil's inputs, or exfiltration) = final + out + decay + reactions (+ the soil's, or
    // infiltration).
    {P::basin, R::initial, W::always, 0, F::none, KESTA_BOOK(GLOBAL_MASS_INIT), kNone, kNone, nullptr},
    {P::basin, R::final, W::always, 0, F::none, KESTA_BOOK(GLOBAL_MASS_FINAL), kNone, kNone, basin_now},
    {P::basin, R::in, W::always, 0, F::none, KESTA_BOOK(GLOBAL_POINT_SOURCE), kNone, kNone, nullptr},
    {P::basin, R::in, W::always, 0, F::none, KESTA_BOOK(GLOBAL_PRECIP_MASS), kNone, kNone, nullptr},
    {P::basin, R::out, W::always, 0, F::leaves_basin, KESTA_BOOK(GLOBAL_MASS_OUT), kNone, kNone, nullptr},
    {P::basin, R::out, W::always, 0, F::network_decay, KESTA_BOOK(GLOBAL_MASS_DECAY), kNone, kNone, nullptr},
    {P::basin, R::in, W::always, 1, F::none, KESTA_BOOK(GLOBAL_GW_MASS), kNone, kNone, nullptr},
    {P::basin, R::in, W::always, 1, F::none, KESTA_BOOK(OV_ZEP_MASS_IN), kNone, kNone, nullptr},
    {P::basin, R::in, W::always, 1, F::none, KESTA_BOOK(CHAN_ZEP_MASS_IN), kNone, kNone, nullptr},
    {P::basin, R::in, W::always, 1, F::none, KESTA_BOOK(LAKE_ZEP_MASS_IN), kNone, kNone, nullptr},
    {P::basin, R::out, W::always, 2, F::none, KESTA_BOOK(OV_ZEP_MASS_OUT), kNone, kNone, nullptr},
    {P::basin, R::out, W::always, 2, F::none, KESTA_BOOK(CHAN_ZEP_MASS_OUT), kNone, kNone, nullptr},
    {P::basin, R::out, W::always, 2, F::none, KESTA_BOOK(LAKE_ZEP_MASS_OUT), kNone, kNone, nullptr},
    {P::basin, R::in, W::soil, 3, F::none, KESTA_BOOK(SOIL_FROM_WT_MASS), kNone, kNone, nullptr},
    {P::basin, R::in, W::soil, 3, F::none, KESTA_BOOK(SOIL_ZEP_MASS_IN), kNone, kNone, nullptr},
    {P::basin, R::in, W::soil, 3, F::species_taken, KESTA_BOOK(ZEP_SPECIES_IN), kNone, kNone, nullptr},
    {P::basin, R::out, W::soil, 4, F::none, KESTA_BOOK(SOIL_ZEP_MASS_OUT), kNone, kNone, nullptr},
    {P::basin, R::out, W::soil, 4, F::species_given, KESTA_BOOK(ZEP_SPECIES_OUT), kNone, kNone, nullptr},
    {P::basin, R::in, W::no_soil, 0, F::none, KESTA_BOOK(OV_EXFIL_MASS), kNone, kNone, nullptr},
    {P::basin, R::out, W::no_soil, 0, F::none, KESTA_BOOK(OV_INFIL_MASS), kNone, kNone, nullptr},
};

constexpr con_compartment kCompartments[] = {
    {P::soil, W::soil, kNoInput, KESTA_BOOK(SOIL_MASS_ERROR), KESTA_BOOK(soil_mass_balance_error)},
    {P::overland, W::always, kNoInput, KESTA_BOOK(OV_RUN_MASS_ERROR), KESTA_BOOK(OV_MASS_ERROR)},
    {P::channels, W::channels, 0.0, KESTA_BOOK(CHAN_RUN_MASS_ERROR), KESTA_BOOK(CHAN_MASS_BALANCE)},
    {P::lakes, W::lakes, 0.0, KESTA_BOOK(LAKE_MASS_BALANCE), KESTA_BOOK(event_lake_mass_balance)},
    {P::basin, W::always, 0.0, KESTA_BOOK(GLOBAL_MASS_CON_ERROR), kNone},
};
#undef KESTA_BOOK

constexpr std::size_t kRows = sizeof(kLedger) / sizeof(kLedger[0]);
constexpr std::size_t kParts = static_cast<std::size_t>(con_part::count);
constexpr std::size_t kFlows = static_cast<std::size_t>(con_flow::count);

constexpr bool compartments_in_order() {
    for (std::size_t i = 0; i < kParts; ++i)
        if (static_cast<std::size_t>(kCompartments[i].part) != i) return false;
    return sizeof(kCompartments) / sizeof(kCompartments[0]) == kParts;
}
static_assert(compartments_in_order(), "compartment i of the table is compartment i of con_part");

// The distinct arrays a flow adds to.
constexpr int kMostTargets = 4;
struct flow_targets {
    int n = 0;
    con_array array[kMostTargets] = {};
};

constexpr bool add_target(flow_targets& t, con_array a) {
    if (a == nullptr) return true;
    for (int i = 0; i < t.n; ++i)
        if (t.array[i] == a) return true;
    if (t.n == kMostTargets) return false;
    t.array[t.n++] = a;
    return true;
}

struct resolved_flows {
    flow_targets of[kFlows] = {};
    bool fits = true;
};

constexpr resolved_flows resolve_flows() {
    resolved_flows r;
    for (const con_row& row : kLedger) {
        if (row.flow == con_flow::none) continue;
        flow_targets& t = r.of[static_cast<std::size_t>(row.flow)];
        r.fits = add_target(t, row.run.array) && add_target(t, row.event.array) &&
                 add_target(t, row.basin.array) && r.fits;
    }
    return r;
}

constexpr resolved_flows kResolved = resolve_flows();
static_assert(kResolved.fits, "a flow adds to at most kMostTargets arrays");

constexpr bool every_flow_books() {
    for (std::size_t f = 0; f < kFlows; ++f)
        if (kResolved.of[f].n == 0) return false;
    return true;
}
static_assert(every_flow_books(), "every flow has a row that books it");

// Every per-slot array of the ledger once, with its name.
template <class Visit>
void for_each_array(Visit visit) {
    con_member seen[3 * kRows + 2 * kParts] = {};
    std::size_t n = 0;
    const auto once = [&](const con_member& a) {
        if (a.array == nullptr) return;
        for (std::size_t i = 0; i < n; ++i)
            if (seen[i].array == a.array) return;
        seen[n++] = a;
        visit(a);
    };
    for (const con_row& row : kLedger) {
        once(row.run);
        once(row.event);
        once(row.basin);
    }
    for (const con_compartment& k : kCompartments) {
        once(k.run_error);
        once(k.event_error);
    }
}

}  // namespace

void book(transport_state& t, con_flow flow, int c, double grams) {
    const flow_targets& to = kResolved.of[static_cast<std::size_t>(flow)];
    const double kg = grams / kGramsPerKilogram;
    for (int i = 0; i < to.n; ++i) (t.*to.array[i]).at(c) += kg;
}

con_rows constituent_ledger() { return {kLedger, kLedger + kRows}; }

const con_compartment* constituent_compartment(con_part part) {
    return &kCompartments[static_cast<std::size_t>(part)];
}

void name_ledger_arrays(transport_state& t) {
    for_each_array([&t](const con_member& a) { (t.*a.array).set_name(a.name); });
}

void grow_ledger_arrays(transport_state& t, int k) {
    for_each_array([&t, k](const con_member& a) { (t.*a.array).append_fill(k, 0.0); });
}

}  // namespace kesta
