// The global water balance of the end-of-run summaries: the storages at the
// start and end of the run, what entered and left the basin, and two
// errors, one over every store and one over the surface stores (the
// ground, the channels, the lakes and the snow).
#include "output/global_balance.hpp"

#include <cstdio>

#include "channel/superlink/storm_drain_steps.hpp"
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

void surface_storages(const model_state& m, global_water_totals& t) {
    const double area = m.gridsize * m.gridsize;
    for (int k = 1; k <= m.ncells; ++k) {
        if (in_channel_lake(m, k)) continue;
        const int lake = m.overland_lake_map_given && k <= m.oland_lake_new.n() ? m.oland_lake_new[k] : 0;
        if (lake > 0 && static_cast<std::size_t>(lake) < m.oland_lakes.size())
            t.final_overland_lakes +=
                (m.oland_lakes[static_cast<std::size_t>(lake)].level - value_at(m.elev, k)) * area;
        else
            t.final_surface += value_at(m.h, k) * area;
        if (k <= m.snowdepth.n()) t.final_snow += m.snowdepth[k] * area;
    }
}

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

}  // namespace

double overall_balance_error(double s0, double in, double s1, double out) {
    const double d = s0 + in;
    return d > 0.0 ? 100.0 * (s0 + in - s1 - out) / d : 0.0;
}

double surface_balance_error(double ss0, double ins, double outs, double ss1) {
    const double d = ins + ss0;
    return d > 0.0 ? 100.0 * (ins + ss0 - outs - ss1) / d : 0.0;
}

global_water_totals global_water_balance(const model_state& m) {
    global_water_totals t;
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
    surface_storages(m, t);
    if (m.storm_sewer_given) {
        t.initial_drains = m.run_initial_in_drains;
        t.final_drains = m.volume_remaining_in_drains + drain_water_in_transit(m);
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
    t.lost_to_slope = m.ov_bdy_out_vol;
    t.lost_to_head = m.ov_bdy_fixed_out_vol;
    t.gained_from_head = m.ov_bdy_fixed_in_vol;
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

    const double s0 = t.initial_surface + t.initial_overland_lakes + t.initial_channels + t.initial_soils +
                      t.initial_groundwater + t.initial_lakes + t.initial_drains;
    const double s1 = t.final_surface + t.final_overland_lakes + t.final_channels + t.final_drains + t.final_soils +
                      t.final_groundwater + t.final_snow + t.final_lakes;
    double in = t.precipitation + t.head_boundary + t.overland_point_sources + t.channel_point_sources +
                t.first_order_inflow + t.drain_solver_made + t.groundwater_floor;
    double out = t.evaporation + t.discharge + t.net_boundary + t.lake_evaporation + t.drains_to_boundaries;
    // Infiltrated water that no soil store keeps has left the basin.
    if (!soil_tracked(m)) out += t.infiltration;
    if (m.gw_simulation) {
        out += t.leakage + t.pumping;
    } else {
        // Without an aquifer the water that leaves the soil bottom has left
        // the basin, what exfiltrates comes from outside it, and the streams'
        // and lakes' exchange with the ground crosses its edge.
        if (soil_tracked(m)) out += t.downward_flux;
        if (!soil_tracked(m)) in += t.exfiltration;
        out += t.river_to_gw + t.lakes_to_gw;
        in += t.gw_to_river + t.gw_to_lakes;
        // Tile drains without an aquifer take water that no store held.
        in += t.gw_to_tile_drains;
    }
    // Surface stores: the drains count as outside them.
    const double in_transit = m.storm_sewer_given ? drain_water_in_transit(m) : 0.0;
    const double ss0 = t.initial_surface + t.initial_overland_lakes + t.initial_channels + t.initial_lakes;
    const double ss1 = t.final_channels + t.final_snow + t.final_surface + t.final_overland_lakes + t.final_lakes;
    const double ins = t.precipitation + t.gw_to_river + t.gw_to_lakes + t.exfiltration + t.overland_point_sources +
                       t.channel_point_sources + t.first_order_inflow + t.drains_to_channels - in_transit +
                       t.drains_to_overland + t.gained_from_head;
    const double outs = t.river_to_gw + t.lakes_to_gw + t.direct_evaporation + t.discharge + t.infiltration +
                        t.lost_to_slope + t.lost_to_head + t.lake_evaporation + t.to_drains - t.gw_to_tile_drains;
    t.surface_error = surface_balance_error(ss0, ins, outs, ss1);
    t.overall_error = overall_balance_error(s0, in, s1, out);

    if (m.sacramento_given) {
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
                                        (s1s - s0s - t.precipitation + t.evaporation + t.direct_evaporation + t.discharge + left -
                                         t.head_boundary - t.overland_point_sources) /
                                        d
                                  : 0.0;
        const double surface = t.precipitation + t.initial_surface + t.initial_channels + t.gw_to_river -
                               t.river_to_gw + t.overland_point_sources + delivered - t.direct_evaporation -
                               t.discharge - t.infiltration - t.final_channels - t.final_snow - t.final_surface;
        t.surface_error = t.precipitation > 0.0 ? 100.0 * surface / t.precipitation : 0.0;
    }
    return t;
}

void write_global_balance(const model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!fp) return;
    const global_water_totals t = global_water_balance(m);
    const bool sac = m.sacramento_given != 0;
    const bool drains = m.storm_sewer_given != 0;
    const bool olakes = m.overland_lake_map_given != 0;
    std::fputs("\n \n", fp);
    std::fputs("SIMULATION TOTALS", fp);
    std::fputs("\n", fp);
    std::fputs("GLOBAL MASS BALANCE CALCULATIONS \n", fp);
    std::fputs("All volumes are in cubic meters \n \n", fp);
    summary_line(m, fp, "Initial volume on surface=                      %14.2lf \n", t.initial_surface);
    if (olakes) summary_line(m, fp, "Initial volume in overland lakes=               %14.2lf \n", t.initial_overland_lakes);
    summary_line(m, fp, "Initial volume in channels=                     %14.2lf \n", t.initial_channels);
    if (drains) summary_line(m, fp, "Initial volume in drains=                       %14.2lf \n", t.initial_drains);
    summary_line(m, fp,
                 simple_soil(m) ? "Initial volume in soil over simple soil depth   %14.2lf \n"
                                : "Initial volume in soils=                        %14.2lf \n",
                 t.initial_soils);
    summary_line(m, fp, "Initial volume in groundwater=                  %14.2lf \n", t.initial_groundwater);
    if (lakes(m)) summary_line(m, fp, "Initial volume in perennial lakes               %14.2lf \n", t.initial_lakes);
    std::fputs("\n", fp);
    summary_line(m, fp, "Final volume on surface=                        %14.2lf\n", t.final_surface);
    if (olakes) summary_line(m, fp, "Final volume in overland lakes=                 %14.2lf\n", t.final_overland_lakes);
    summary_line(m, fp, "Final volume in channels=                       %14.2lf\n", t.final_channels);
    if (drains) summary_line(m, fp, "Final volume in drains=                         %14.2lf\n", t.final_drains);
    summary_line(m, fp,
                 simple_soil(m) ? "Final volume in soil over simple soil depth     %14.2lf\n"
                                : "Final volume in soils=                          %14.2lf\n",
                 t.final_soils);
    summary_line(m, fp, "Final volume in groundwater=                    %14.2lf\n", t.final_groundwater);
    summary_line(m, fp, "Final volume of snow=                           %14.2lf\n", t.final_snow);
    if (lakes(m)) summary_line(m, fp, "Final volume in perennial lakes                 %14.2lf\n", t.final_lakes);
    std::fputs("\n", fp);
    summary_line(m, fp, "Total amount of precip=                         %14.2lf\n", t.precipitation);
    summary_line(m, fp, "Total amount of interception=                   %14.2lf\n", t.interception);
    summary_line(m, fp, "Total amount of infiltration=                   %14.2lf\n", t.infiltration);
    summary_line(m, fp, "Total amount of evaporation=                    %14.2lf\n", t.evaporation);
    summary_line(m, fp, "Total direct evaporation=                       %14.2lf\n", t.direct_evaporation);
    if (!sac) summary_line(m, fp, "Total amount of exfiltration=                   %14.2lf\n", t.exfiltration);
    std::fputs("\n", fp);
    if (!sac && m.gw_simulation) {
        summary_line(m, fp, "Total recharge inputs to groundwater=           %14.2lf\n", t.recharge);
        summary_line(m, fp, "Total pumping from groundwater=                 %14.2lf\n", t.pumping);
        summary_line(m, fp, "Total leakage to deep aquifer=                  %14.2lf\n", t.leakage);
        summary_line(m, fp, "Total volume added by the aquifer floor=        %14.2lf\n", t.groundwater_floor);
    }
    if (!sac) {
        summary_line(m, fp, "Total downward flux from unsaturated zone=      %14.2lf\n", t.downward_flux);
        summary_line(m, fp, "Total flux of gw across bounds=                 %14.2lf\n", t.head_boundary);
    } else {
        summary_line(m, fp, "Total recharge to deep g.w.=                    %14.2lf\n", t.deep_recharge);
        summary_line(m, fp, "Total outflow of the Sacramento stores=         %14.2lf\n", t.sacramento_outflow);
    }
    summary_line(m, fp, "Total overland point sources=                   %14.2lf\n", t.overland_point_sources);
    summary_line(m, fp, "Total channel point sources=                    %14.2lf\n\n", t.channel_point_sources);
    if (t.first_order_inflow != 0.0)
        summary_line(m, fp, "Total first-order channel inflow=               %14.2lf\n\n", t.first_order_inflow);
    summary_line(m, fp, "Volume lost to specified slope boundary:        %14.2lf\n", t.lost_to_slope);
    summary_line(m, fp, "Volume lost to specified head boundary:         %14.2lf\n", t.lost_to_head);
    summary_line(m, fp, "Volume gained from specified head boundary:     %14.2lf\n", t.gained_from_head);
    std::fputs("\n", fp);
    summary_line(m, fp, "Total lateral inflow into channels=             %14.2lf\n", t.lateral_inflow);
    summary_line(m, fp, "Total amount of discharge=                      %14.2lf\n", t.discharge);
    if (m.stream_loss) {
        summary_line(m, fp, "Total flux from river to gw=                    %14.2lf\n", t.river_to_gw);
        if (m.water_table_given)
            summary_line(m, fp, "Total flux from gw to river=                    %14.2lf\n", t.gw_to_river);
    }
    if (lakes(m)) {
        std::fputs("\n", fp);
        summary_line(m, fp, "Volume precip to lakes=                         %14.2lf\n", t.precip_to_lakes);
        summary_line(m, fp, "Volume of flow into lakes=                      %14.2lf\n", t.flow_into_lakes);
        summary_line(m, fp, "Volume of flow from lakes=                      %14.2lf\n", t.flow_from_lakes);
        summary_line(m, fp, "Volume of lake evap=                            %14.2lf\n", t.lake_evaporation);
        if (t.lakes_to_gw != 0.0 || t.gw_to_lakes != 0.0) {
            summary_line(m, fp, "Total flux from lakes to gw=                    %14.2lf\n", t.lakes_to_gw);
            summary_line(m, fp, "Total flux from gw to lakes=                    %14.2lf\n", t.gw_to_lakes);
        }
    }
    if (drains) {
        std::fputs("\n", fp);
        summary_line(m, fp, "Total volume to subsurface drains               %14.2lf\n", t.to_drains);
        summary_line(m, fp, "Volume of subsurface drains to overland         %14.2lf\n", t.drains_to_overland);
        summary_line(m, fp, "Volume of subsurface drains to channels         %14.2lf\n", t.drains_to_channels);
        summary_line(m, fp, "Volume of groundwater to tile drains            %14.2lf\n", t.gw_to_tile_drains);
        if (t.drains_to_boundaries != 0.0 || drains_have_other_fixed_heads(m))
            summary_line(m, fp, "Volume of subsurface drains to boundaries       %14.2lf\n", t.drains_to_boundaries);
        summary_line(m, fp, "Volume of subsurface drain solver clean-up      %14.2lf\n", m.run_drain_cleanup);
        summary_line(m, fp, "Volume of subsurface drain solver residual      %14.2lf\n", m.run_drain_residual);
    }
    std::fputs("\n", fp);
    summary_line(m, fp, "Mass balance error of surface components =              %10.6lf percent\n\n", t.surface_error);
    if (sac) {
        summary_line(m, fp, "Overall mass balance error =                    %10.6lf percent\n \n", t.overall_error);
        std::fputs("*overall mass balance error will not be zero when using the Sacramento\n", fp);
        std::fputs("model because of errors associated with interpolating hourly outflows to\n", fp);
        std::fputs("the channel routing time step, which is generally much less than one\n", fp);
        std::fputs("hour.  However, this error should be less than one percent, except for\n", fp);
        std::fputs("simulations of very short events (only a few hours long).\n \n", fp);
    } else {
        summary_line(m, fp, "Overall mass balance error =                        %14.6lf percent\n \n", t.overall_error);
    }
    if (m.soil_et_accounting)
        summary_line(m, fp, "Simple soil moisture mass balance =             %19.6lf percent \n\n",
                     m.soil_totals.balance_error);
    if (olakes) {
        summary_line(m, fp, "Volume of flow into overland lakes:             %14.2lf\n", t.overland_lake_inflow);
        summary_line(m, fp, "Volume of flow from overland lakes:             %14.2lf\n", t.overland_lake_outflow);
        summary_line(m, fp, "Volume of evaporation from lakes:               %14.2lf\n", t.overland_lake_evaporation);
        summary_line(m, fp, "Overland lake mass bal error m^3:               %14.2lf\n\n",
                     t.initial_overland_lakes + t.overland_lake_inflow - t.final_overland_lakes -
                         t.overland_lake_outflow);
    }
    if (lakes(m))
        summary_line(m, fp, "Perennial lake mass bal error m^3=              %14.2lf\n\n", m.chan_run.lake_balance_error);
    if (drains)
        summary_line(m, fp, "Subsurface drain mass bal error m^3=            %14.2lf\n\n", drain_run_balance_error(m));
}

}  // namespace kesta
