// The global water balance of the end-of-run summaries: the storages at the
// start and end of the run, what entered and left the basin, and two
// errors, one over every store and one over the surface stores (the
// ground, the channels, the lakes and the snow).
#include "output/global_balance.hpp"

#include <cstdio>

#include "channel/superlink/storm_drain_steps.hpp"
#include "core/balance_sum.hpp"
#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/groundwater.hpp"

namespace kesta {

namespace {

constexpr double kCmPerMetre = 100.0;

bool lakes(const model_state& m) { return m.chan_lakes_on != 0; }

// The soil columns keep books of their own water: the accounting stores of
// the Green and Ampt methods, or the Richards columns.
bool soil_tracked(const model_state& m) {
    return m.inf_richards_on || (m.soil_et_accounting && (m.inf_redist_on || m.inf_layered_on));
}

// "over simple soil depth" names the soil lines when only the accounting
// stores hold the soil's water.
bool simple_soil(const model_state& m) { return m.soil_et_accounting && !m.gw_simulation; }

// Drainage out of the soil bottom that the groundwater step has not taken
// in yet (m3): with an aquifer it is water of neither store.
double drainage_pending(const model_state& m) {
    double v = 0.0;
    for (int k = 1; k <= m.ncells && k <= m.bottomfav.n(); ++k)
        v += m.bottomfav[k] / kCmPerMetre * m.gridsize * m.gridsize;
    return v;
}

// Exchange of the soil columns with the aquifer that the groundwater step
// has not taken in yet (m3, positive into the aquifer).
double unsaturated_exchange_pending(const model_state& m) {
    double v = 0.0;
    for (int k = 1; k <= m.ncells && k <= m.gw_unsat_exchange.n(); ++k)
        v += m.gw_unsat_exchange[k] / kCmPerMetre * m.gridsize * m.gridsize;
    return v;
}

void sacramento_terms(const model_state& m, global_water_totals& t) {
    const double factor = m.watershed_area / 1000.0;  // mm over the basin to m3
    const sacramento_params& p = m.sac.p;
    const sacramento_contents& c0 = m.sac.initial;  // uztwc, uzfwc, lztwc, lzfpc, lzfsc
    t.initial_soils = (c0.v[0] + c0.v[2]) * factor;
    t.initial_groundwater = (c0.v[1] + c0.v[3] + c0.v[4]) * factor;
    t.final_soils = (p.uztwc + p.lztwc) * factor;
    t.final_groundwater = (p.uzfwc + p.lzfsc + p.lzfpc) * factor;
    t.evaporation = m.sac.evaporation * factor;
    t.sacramento_outflow = m.sac.volume_base_flow_sacramento;
}

// What a line of the global table needs to be shown: every bit it holds.
enum global_needs : unsigned {
    overland_lakes = 1u << 0,  // OVERLAND_LAKE_MAP
    drains = 1u << 1,          // STORM_SEWER
    simple_soil_depth = 1u << 2,
    soils = 1u << 3,  // not the simple soil depth
    perennial_lakes = 1u << 4,
    sacramento = 1u << 5,
    no_sacramento = 1u << 6,
    groundwater = 1u << 7,  // GW_SIMULATION
    stream_loss = 1u << 8,
    water_table = 1u << 9,
    lake_seepage = 1u << 10,     // the lakes exchanged water with the ground
    drain_boundaries = 1u << 11,  // the drains gave water to fixed heads other than their outlets
    soil_accounting = 1u << 12,
    nonzero = 1u << 13,  // the value is not 0
    soil_stores = 1u << 14,     // the soil columns keep books of their own water
    no_soil_stores = 1u << 15,  // infiltrated water leaves the basin
    no_groundwater = 1u << 16,  // no GW_SIMULATION
};

bool shown(const model_state& m, const global_water_totals& t, unsigned needs) {
    const bool sac = m.sacramento_given != 0;
    const struct {
        unsigned bit;
        bool holds;
    } tests[] = {{overland_lakes, m.overland_lake_map_given != 0},
                 {drains, m.storm_sewer_given != 0},
                 {simple_soil_depth, simple_soil(m)},
                 {soils, !simple_soil(m)},
                 {perennial_lakes, lakes(m)},
                 {sacramento, sac},
                 {no_sacramento, !sac},
                 {groundwater, m.gw_simulation != 0},
                 {stream_loss, m.stream_loss != 0},
                 {water_table, m.water_table_given != 0},
                 {lake_seepage, t.lakes_to_gw != 0.0 || t.gw_to_lakes != 0.0},
                 {drain_boundaries, t.drains_to_boundaries != 0.0 || drains_have_other_fixed_heads(m)},
                 {soil_accounting, m.soil_et_accounting != 0},
                 {soil_stores, soil_tracked(m)},
                 {no_soil_stores, !soil_tracked(m)},
                 {no_groundwater, m.gw_simulation == 0}};
    for (const auto& test : tests)
        if ((needs & test.bit) && !test.holds) return false;
    return true;
}

// A line of the "SIMULATION TOTALS" table: when it is shown, its format,
// and the total it shows (or what `value` computes); a line without a value
// is text, written as it stands.
struct global_line {
    unsigned needs;
    const char* format;
    double global_water_totals::*total;
    double (*value)(const model_state& m, const global_water_totals& t);
};

double drain_cleanup(const model_state& m, const global_water_totals&) { return m.run_drain_cleanup; }
double drain_residual(const model_state& m, const global_water_totals&) { return m.run_drain_residual; }
double soil_balance(const model_state& m, const global_water_totals&) { return m.soil_totals.balance_error; }
double overland_lake_balance(const model_state&, const global_water_totals& t) {
    return t.initial_overland_lakes + t.overland_lake_inflow - t.final_overland_lakes - t.overland_lake_outflow;
}
double lake_balance(const model_state& m, const global_water_totals&) { return m.chan_run.lake_balance_error; }
double drain_balance(const model_state& m, const global_water_totals&) { return drain_run_balance_error(m); }

#define KESTA_TOTAL(name) &global_water_totals::name, nullptr
#define KESTA_TEXT nullptr, nullptr

const global_line kGlobalLines[] = {
    {0, "\n \nSIMULATION TOTALS\nGLOBAL MASS BALANCE CALCULATIONS \nAll volumes are in cubic meters \n \n", KESTA_TEXT},
    {0, "Initial volume on surface=                      %14.2lf \n", KESTA_TOTAL(initial_surface)},
    {overland_lakes, "Initial volume in overland lakes=               %14.2lf \n", KESTA_TOTAL(initial_overland_lakes)},
    {0, "Initial volume in channels=                     %14.2lf \n", KESTA_TOTAL(initial_channels)},
    {drains, "Initial volume in drains=                       %14.2lf \n", KESTA_TOTAL(initial_drains)},
    {simple_soil_depth, "Initial volume in soil over simple soil depth   %14.2lf \n", KESTA_TOTAL(initial_soils)},
    {soils, "Initial volume in soils=                        %14.2lf \n", KESTA_TOTAL(initial_soils)},
    {0, "Initial volume in groundwater=                  %14.2lf \n", KESTA_TOTAL(initial_groundwater)},
    {perennial_lakes, "Initial volume in perennial lakes               %14.2lf \n", KESTA_TOTAL(initial_lakes)},
    {0, "\n", KESTA_TEXT},
    {0, "Final volume on surface=                        %14.2lf\n", KESTA_TOTAL(final_surface)},
    {overland_lakes, "Final volume in overland lakes=                 %14.2lf\n", KESTA_TOTAL(final_overland_lakes)},
    {0, "Final volume in channels=                       %14.2lf\n", KESTA_TOTAL(final_channels)},
    {drains, "Final volume in drains=                         %14.2lf\n", KESTA_TOTAL(final_drains)},
    {simple_soil_depth, "Final volume in soil over simple soil depth     %14.2lf\n", KESTA_TOTAL(final_soils)},
    {soils, "Final volume in soils=                          %14.2lf\n", KESTA_TOTAL(final_soils)},
    {0, "Final volume in groundwater=                    %14.2lf\n", KESTA_TOTAL(final_groundwater)},
    {0, "Final volume of snow=                           %14.2lf\n", KESTA_TOTAL(final_snow)},
    {perennial_lakes, "Final volume in perennial lakes                 %14.2lf\n", KESTA_TOTAL(final_lakes)},
    {0, "\n", KESTA_TEXT},
    {0, "Total amount of precip=                         %14.2lf\n", KESTA_TOTAL(precipitation)},
    {0, "Total amount of interception=                   %14.2lf\n", KESTA_TOTAL(interception)},
    {0, "Total amount of infiltration=                   %14.2lf\n", KESTA_TOTAL(infiltration)},
    {0, "Total amount of evaporation=                    %14.2lf\n", KESTA_TOTAL(evaporation)},
    {0, "Total direct evaporation=                       %14.2lf\n", KESTA_TOTAL(direct_evaporation)},
    {no_sacramento, "Total amount of exfiltration=                   %14.2lf\n", KESTA_TOTAL(exfiltration)},
    {0, "\n", KESTA_TEXT},
    {no_sacramento | groundwater, "Total recharge inputs to groundwater=           %14.2lf\n", KESTA_TOTAL(recharge)},
    {no_sacramento | groundwater, "Total pumping from groundwater=                 %14.2lf\n", KESTA_TOTAL(pumping)},
    {no_sacramento | groundwater, "Total leakage to deep aquifer=                  %14.2lf\n", KESTA_TOTAL(leakage)},
    {no_sacramento | groundwater, "Total volume added by the aquifer floor=        %14.2lf\n",
     KESTA_TOTAL(groundwater_floor)},
    {no_sacramento, "Total downward flux from unsaturated zone=      %14.2lf\n", KESTA_TOTAL(downward_flux)},
    {no_sacramento, "Total flux of gw across bounds=                 %14.2lf\n", KESTA_TOTAL(head_boundary)},
    {sacramento, "Total recharge to deep g.w.=                    %14.2lf\n", KESTA_TOTAL(deep_recharge)},
    {sacramento, "Total outflow of the Sacramento stores=         %14.2lf\n", KESTA_TOTAL(sacramento_outflow)},
    {0, "Total overland point sources=                   %14.2lf\n", KESTA_TOTAL(overland_point_sources)},
    {0, "Total channel point sources=                    %14.2lf\n\n", KESTA_TOTAL(channel_point_sources)},
    {nonzero, "Total first-order channel inflow=               %14.2lf\n\n", KESTA_TOTAL(first_order_inflow)},
    {0, "Volume lost to specified slope boundary:        %14.2lf\n", KESTA_TOTAL(lost_to_slope)},
    {0, "Volume lost to specified head boundary:         %14.2lf\n", KESTA_TOTAL(lost_to_head)},
    {0, "Volume gained from specified head boundary:     %14.2lf\n", KESTA_TOTAL(gained_from_head)},
    {0, "\n", KESTA_TEXT},
    {0, "Total lateral inflow into channels=             %14.2lf\n", KESTA_TOTAL(lateral_inflow)},
    {0, "Total amount of discharge=                      %14.2lf\n", KESTA_TOTAL(discharge)},
    {stream_loss, "Total flux from river to gw=                    %14.2lf\n", KESTA_TOTAL(river_to_gw)},
    {stream_loss | water_table, "Total flux from gw to river=                    %14.2lf\n", KESTA_TOTAL(gw_to_river)},
    {perennial_lakes, "\n", KESTA_TEXT},
    {perennial_lakes, "Volume precip to lakes=                         %14.2lf\n", KESTA_TOTAL(precip_to_lakes)},
    {perennial_lakes, "Volume of flow into lakes=                      %14.2lf\n", KESTA_TOTAL(flow_into_lakes)},
    {perennial_lakes, "Volume of flow from lakes=                      %14.2lf\n", KESTA_TOTAL(flow_from_lakes)},
    {perennial_lakes, "Volume of lake evap=                            %14.2lf\n", KESTA_TOTAL(lake_evaporation)},
    {perennial_lakes | lake_seepage, "Total flux from lakes to gw=                    %14.2lf\n",
     KESTA_TOTAL(lakes_to_gw)},
    {perennial_lakes | lake_seepage, "Total flux from gw to lakes=                    %14.2lf\n",
     KESTA_TOTAL(gw_to_lakes)},
    {drains, "\n", KESTA_TEXT},
    {drains, "Total volume to subsurface drains               %14.2lf\n", KESTA_TOTAL(to_drains)},
    {drains, "Volume of subsurface drains to overland         %14.2lf\n", KESTA_TOTAL(drains_to_overland)},
    {drains, "Volume of subsurface drains to channels         %14.2lf\n", KESTA_TOTAL(drains_to_channels)},
    {drains, "Volume of groundwater to tile drains            %14.2lf\n", KESTA_TOTAL(gw_to_tile_drains)},
    {drains | drain_boundaries, "Volume of subsurface drains to boundaries       %14.2lf\n",
     KESTA_TOTAL(drains_to_boundaries)},
    {drains, "Volume of subsurface drain solver clean-up      %14.2lf\n", nullptr, drain_cleanup},
    {drains, "Volume of subsurface drain solver residual      %14.2lf\n", nullptr, drain_residual},
    {0, "\n", KESTA_TEXT},
    {0, "Mass balance error of surface components =              %10.6lf percent\n\n", KESTA_TOTAL(surface_error)},
    {sacramento, "Overall mass balance error =                    %10.6lf percent\n \n", KESTA_TOTAL(overall_error)},
    {sacramento,
     "*overall mass balance error will not be zero when using the Sacramento\n"
     "model because of errors associated with interpolating hourly outflows to\n"
     "the channel routing time step, which is generally much less than one\n"
     "hour.  However, this error should be less than one percent, except for\n"
     "simulations of very short events (only a few hours long).\n \n",
     KESTA_TEXT},
    {no_sacramento, "Overall mass balance error =                        %14.6lf percent\n \n",
     KESTA_TOTAL(overall_error)},
    {soil_accounting, "Simple soil moisture mass balance =             %19.6lf percent \n\n", nullptr, soil_balance},
    {overland_lakes, "Volume of flow into overland lakes:             %14.2lf\n", KESTA_TOTAL(overland_lake_inflow)},
    {overland_lakes, "Volume of flow from overland lakes:             %14.2lf\n", KESTA_TOTAL(overland_lake_outflow)},
    {overland_lakes, "Volume of evaporation from lakes:               %14.2lf\n",
     KESTA_TOTAL(overland_lake_evaporation)},
    {overland_lakes, "Overland lake mass bal error m^3:               %14.2lf\n\n", nullptr, overland_lake_balance},
    {perennial_lakes, "Perennial lake mass bal error m^3=              %14.2lf\n\n", nullptr, lake_balance},
    {drains, "Subsurface drain mass bal error m^3=            %14.2lf\n\n", nullptr, drain_balance},
};
#undef KESTA_TOTAL
#undef KESTA_TEXT

}  // namespace

double overall_balance_error(double s0, double in, double s1, double out) {
    const double d = s0 + in;
    return d > 0.0 ? 100.0 * (s0 + in - s1 - out) / d : 0.0;
}

double surface_balance_error(double ss0, double ins, double outs, double ss1) {
    const double d = ins + ss0;
    return d > 0.0 ? 100.0 * (ins + ss0 - outs - ss1) / d : 0.0;
}

namespace {

// The stores at the start and the end of the run, each subsystem's.
void run_stores(const model_state& m, global_water_totals& t) {
    const model_state::channel_run_totals& c = m.chan_run;
    const bool channels = m.chan_routing || m.chan_alt_routing;
    t.initial_surface = m.initial_surface_volume;
    t.initial_overland_lakes = m.overland_lake_map_given ? m.initial_oland_lake_volume : 0.0;
    if (channels) {
        t.initial_channels = c.initial_in_channels;
        t.initial_lakes = c.initial_in_lakes;
        t.final_channels = c.final_in_channels;
        t.final_lakes = c.final_in_lakes;
    }
    const surface_water surface = surface_storage(m);
    t.final_surface = surface.on_ground;
    t.final_overland_lakes = surface.in_overland_lakes;
    t.final_snow = surface.snow;
    if (m.storm_sewer_given) {
        t.initial_drains = m.run_initial_in_drains;
        t.drains_in_transit = drain_water_in_transit(m);
        t.final_drains = m.volume_remaining_in_drains + t.drains_in_transit;
    }
    if (soil_tracked(m)) {
        t.initial_soils =
            m.inf_richards_on ? m.initial_richards_volume : m.soil_water_at_start + m.initial_soil_volume_wt;
        t.final_soils = m.soil_totals.final_volume;
        t.evaporation = m.soil_totals.evaporation;
        t.downward_flux = m.soil_totals.downward_flux;
    }
    if (m.gw_simulation && !m.elevgw.empty()) {
        t.initial_groundwater = m.initial_gw_volume;
        // The heads' volume at the porosity, and what their changes hold
        // beyond it at the storage coefficients the solver stored them with.
        t.final_groundwater = groundwater_volume(m) + m.gw_totals.beyond_porosity;
        // The columns' drainage still on its way counts with the soils.
        const double pending = drainage_pending(m);
        t.final_soils += pending;
        t.downward_flux = m.soil_totals.downward_flux - pending;
        // What the soil columns gave up to (or took from) the rising or
        // falling water table since the last groundwater step counts with
        // the aquifer, which takes it at its next step.
        t.final_groundwater += unsaturated_exchange_pending(m);
    }
}

// What entered, left and moved within the basin over the run.
void run_volumes(const model_state& m, global_water_totals& t) {
    const model_state::channel_run_totals& c = m.chan_run;
    t.precipitation = m.total_rainfall_volume + c.precip_to_lakes;
    t.interception = m.run_sums.interception;
    t.infiltration = m.run_sums.infiltrated_volume;
    t.direct_evaporation = m.total_direct_evap_volume;
    t.evaporation += t.direct_evaporation;
    t.exfiltration = m.total_vol_water_exfiltrated_this_run;
    const gw_run_totals& g = m.gw_totals;
    if (m.gw_simulation) {
        t.recharge = g.recharge;
        t.pumping = g.pumping;
        t.head_boundary = g.head_boundary;
        t.leakage = g.leakage;
        t.groundwater_floor = g.floor_added;
    }
    t.overland_point_sources = m.run_sums.overland_point_sources;
    t.channel_point_sources = c.channel_point_sources;
    t.first_order_inflow = c.first_order_inflow;
    t.lost_to_slope = m.run_sums.ov_bdy_out_vol;
    t.lost_to_head = m.run_sums.ov_bdy_fixed_out_vol;
    t.gained_from_head = m.run_sums.ov_bdy_fixed_in_vol;
    t.net_boundary = t.lost_to_slope + t.lost_to_head - t.gained_from_head;
    t.lateral_inflow = c.lateral_inflow;
    t.discharge = m.discharge_volume_run;
    t.river_to_gw = c.river_to_gw;
    t.gw_to_river = c.gw_to_river;
    t.lakes_to_gw = c.lakes_to_gw;
    t.gw_to_lakes = c.gw_to_lakes;
    t.precip_to_lakes = c.precip_to_lakes;
    t.flow_into_lakes = c.flow_into_lakes;
    t.flow_from_lakes = c.flow_from_lakes;
    t.lake_evaporation = c.lake_evaporation;
    if (m.storm_sewer_given) {
        t.to_drains = m.run_inputs_to_superlink;
        t.drains_to_overland = m.run_superlink_to_overland;
        t.drains_to_channels = m.run_superlink_to_channels;
        t.gw_to_tile_drains = m.run_gw_to_tile_drains;
        t.drains_to_boundaries = m.run_superlink_to_boundary;
        t.drain_solver_made = m.run_drain_cleanup + m.run_drain_residual;
    }
    t.overland_lake_inflow = m.olake_added_volume;
    t.overland_lake_outflow = m.olake_drained_volume;
}

// The run's two balances, one table of their terms: a store at the start
// or the end, or a volume in or out, of the balance over every store or of
// the one over the surface stores (the ground, the channels, the lakes and
// the snow; the drains count as outside them); its sign, when it counts, and
// its group (a group is summed before it joins its side's total), in the
// order each side adds its terms.
enum class run_side { start, end, in, out };
constexpr int kRunSides = 4;

struct run_term {
    bool surface;
    run_side side;
    double sign;
    int group;
    unsigned needs;
    double global_water_totals::*total;
};

using S = run_side;
const run_term kRunBalance[] = {
    // Over every store.
    {false, S::start, 1.0, 0, 0, &global_water_totals::initial_surface},
    {false, S::start, 1.0, 0, 0, &global_water_totals::initial_overland_lakes},
    {false, S::start, 1.0, 0, 0, &global_water_totals::initial_channels},
    {false, S::start, 1.0, 0, 0, &global_water_totals::initial_soils},
    {false, S::start, 1.0, 0, 0, &global_water_totals::initial_groundwater},
    {false, S::start, 1.0, 0, 0, &global_water_totals::initial_lakes},
    {false, S::start, 1.0, 0, 0, &global_water_totals::initial_drains},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_surface},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_overland_lakes},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_channels},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_drains},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_soils},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_groundwater},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_snow},
    {false, S::end, 1.0, 0, 0, &global_water_totals::final_lakes},
    {false, S::in, 1.0, 0, 0, &global_water_totals::precipitation},
    {false, S::in, 1.0, 0, 0, &global_water_totals::head_boundary},
    {false, S::in, 1.0, 0, 0, &global_water_totals::overland_point_sources},
    {false, S::in, 1.0, 0, 0, &global_water_totals::channel_point_sources},
    {false, S::in, 1.0, 0, 0, &global_water_totals::first_order_inflow},
    {false, S::in, 1.0, 0, 0, &global_water_totals::drain_solver_made},
    {false, S::in, 1.0, 0, 0, &global_water_totals::groundwater_floor},
    // Without an aquifer what exfiltrates comes from outside the basin
    // (unless the soil stores gave it), the streams' and lakes' exchange
    // with the ground crosses its edge, and the tile drains take water that
    // no store held.
    {false, S::in, 1.0, 0, no_soil_stores | no_groundwater, &global_water_totals::exfiltration},
    {false, S::in, 1.0, 1, no_groundwater, &global_water_totals::gw_to_river},
    {false, S::in, 1.0, 1, no_groundwater, &global_water_totals::gw_to_lakes},
    {false, S::in, 1.0, 0, no_groundwater, &global_water_totals::gw_to_tile_drains},
    {false, S::out, 1.0, 0, 0, &global_water_totals::evaporation},
    {false, S::out, 1.0, 0, 0, &global_water_totals::discharge},
    {false, S::out, 1.0, 0, 0, &global_water_totals::net_boundary},
    {false, S::out, 1.0, 0, 0, &global_water_totals::lake_evaporation},
    {false, S::out, 1.0, 0, 0, &global_water_totals::drains_to_boundaries},
    // Infiltrated water that no soil store keeps has left the basin.
    {false, S::out, 1.0, 0, no_soil_stores, &global_water_totals::infiltration},
    {false, S::out, 1.0, 1, groundwater, &global_water_totals::leakage},
    {false, S::out, 1.0, 1, groundwater, &global_water_totals::pumping},
    // Without an aquifer the water that leaves the soil bottom has left the basin.
    {false, S::out, 1.0, 0, soil_stores | no_groundwater, &global_water_totals::downward_flux},
    {false, S::out, 1.0, 2, no_groundwater, &global_water_totals::river_to_gw},
    {false, S::out, 1.0, 2, no_groundwater, &global_water_totals::lakes_to_gw},

    // Over the surface stores.
    {true, S::start, 1.0, 0, 0, &global_water_totals::initial_surface},
    {true, S::start, 1.0, 0, 0, &global_water_totals::initial_overland_lakes},
    {true, S::start, 1.0, 0, 0, &global_water_totals::initial_channels},
    {true, S::start, 1.0, 0, 0, &global_water_totals::initial_lakes},
    {true, S::end, 1.0, 0, 0, &global_water_totals::final_channels},
    {true, S::end, 1.0, 0, 0, &global_water_totals::final_snow},
    {true, S::end, 1.0, 0, 0, &global_water_totals::final_surface},
    {true, S::end, 1.0, 0, 0, &global_water_totals::final_overland_lakes},
    {true, S::end, 1.0, 0, 0, &global_water_totals::final_lakes},
    {true, S::in, 1.0, 0, 0, &global_water_totals::precipitation},
    {true, S::in, 1.0, 0, 0, &global_water_totals::gw_to_river},
    {true, S::in, 1.0, 0, 0, &global_water_totals::gw_to_lakes},
    {true, S::in, 1.0, 0, 0, &global_water_totals::exfiltration},
    {true, S::in, 1.0, 0, 0, &global_water_totals::overland_point_sources},
    {true, S::in, 1.0, 0, 0, &global_water_totals::channel_point_sources},
    {true, S::in, 1.0, 0, 0, &global_water_totals::first_order_inflow},
    {true, S::in, 1.0, 0, 0, &global_water_totals::drains_to_channels},
    {true, S::in, -1.0, 0, 0, &global_water_totals::drains_in_transit},
    {true, S::in, 1.0, 0, 0, &global_water_totals::drains_to_overland},
    {true, S::in, 1.0, 0, 0, &global_water_totals::gained_from_head},
    {true, S::out, 1.0, 0, 0, &global_water_totals::river_to_gw},
    {true, S::out, 1.0, 0, 0, &global_water_totals::lakes_to_gw},
    {true, S::out, 1.0, 0, 0, &global_water_totals::direct_evaporation},
    {true, S::out, 1.0, 0, 0, &global_water_totals::discharge},
    {true, S::out, 1.0, 0, 0, &global_water_totals::infiltration},
    {true, S::out, 1.0, 0, 0, &global_water_totals::lost_to_slope},
    {true, S::out, 1.0, 0, 0, &global_water_totals::lost_to_head},
    {true, S::out, 1.0, 0, 0, &global_water_totals::lake_evaporation},
    {true, S::out, 1.0, 0, 0, &global_water_totals::to_drains},
    {true, S::out, -1.0, 0, 0, &global_water_totals::gw_to_tile_drains},
};

// The errors over every store and over the surface stores, each side the
// signed sum of its terms.
void run_errors(const model_state& m, global_water_totals& t) {
    balance_sum sums[2][kRunSides];
    for (const run_term& r : kRunBalance)
        if (shown(m, t, r.needs)) sums[r.surface][static_cast<int>(r.side)].add(r.sign * t.*r.total, r.group);
    const auto total = [&sums](bool surface, run_side side) {
        return sums[surface][static_cast<int>(side)].total();
    };
    t.overall_error =
        overall_balance_error(total(false, S::start), total(false, S::in), total(false, S::end), total(false, S::out));
    t.surface_error =
        surface_balance_error(total(true, S::start), total(true, S::in), total(true, S::out), total(true, S::end));
}

// With the Sacramento accounting both errors are formed anew.
void sacramento_errors(const model_state& m, global_water_totals& t) {
    // The accounting's stores stand for the soil and the aquifer, and
    // its evapotranspiration for the soil's evaporation, beside the
    // evaporation of water standing on the ground. Their outflow feeds
    // the channels (what the channels have not taken yet is stored on
    // its way); without channels it leaves the basin.
    sacramento_terms(m, t);
    const bool to_channels = m.chan_routing == 1 || m.chan_alt_routing == 1;
    const double in_transit = to_channels ? m.sac.in_transit : 0.0;
    const double delivered = to_channels ? t.sacramento_outflow - in_transit : 0.0;
    const double left = to_channels ? 0.0 : t.sacramento_outflow;
    const double s0s = t.initial_surface + t.initial_channels + t.initial_soils + t.initial_groundwater +
                       t.initial_lakes;
    const double s1s = t.final_surface + t.final_channels + t.final_soils + t.final_groundwater + t.final_snow +
                       t.final_lakes + in_transit;
    const double d = s0s + t.precipitation;
    t.overall_error = d > 0.0 ? 100.0 *
                                    (s1s - s0s - t.precipitation + t.evaporation + t.direct_evaporation +
                                     t.discharge + left - t.head_boundary - t.overland_point_sources) /
                                    d
                              : 0.0;
    const double surface = t.precipitation + t.initial_surface + t.initial_channels + t.gw_to_river -
                           t.river_to_gw + t.overland_point_sources + delivered - t.direct_evaporation -
                           t.discharge - t.infiltration - t.final_channels - t.final_snow - t.final_surface;
    t.surface_error = t.precipitation > 0.0 ? 100.0 * surface / t.precipitation : 0.0;
}

}  // namespace

global_water_totals global_water_balance(const model_state& m) {
    global_water_totals t;
    run_stores(m, t);
    run_volumes(m, t);
    run_errors(m, t);
    if (m.sacramento_given) sacramento_errors(m, t);
    return t;
}

void write_global_balance(const model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!fp) return;
    const global_water_totals t = global_water_balance(m);
    for (const global_line& line : kGlobalLines) {
        if (!shown(m, t, line.needs)) continue;
        if (!line.total && !line.value) {
            std::fputs(line.format, fp);
            continue;
        }
        const double v = line.total ? t.*line.total : line.value(m, t);
        if ((line.needs & nonzero) && v == 0.0) continue;
        summary_line(m, fp, line.format, v);
    }
}

}  // namespace kesta
