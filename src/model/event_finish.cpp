// The close of an ended event: final storages, event volumes, the mass
// balance, the event summary and the event line for calibration.
#include <cmath>
#include <cstdio>

#include "calibration/optim_record.hpp"
#include "channel/channel_steps.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "model/optim_results.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kTiny = 1e-16;
constexpr double kCubicFeetPerCubicMetre = 35.32;
constexpr double kNoWaterInput = -1.0;

void surface_at_event_end(model_state& m, double area) {
    if (m.overland_lake_map_given && m.chan_lakes_on)
        warn("You are simulating overland lakes and perennial lakes, not recommended presently. "
             "Contact your KESTA developer for further advice\n\n");
    m.volume_remaining_on_surface = surface_storage(m, area, m.volume_remaining_in_overland_lakes);
}

// What the event leaves exfiltrated, in the channel-network lakes and as
// snow.
void stores_at_event_end(model_state& m, double area) {
    m.volume_of_water_exfiltrated =
        m.total_vol_water_exfiltrated_this_run - m.beginning_vol_water_exfiltrated_this_event;
    if (m.chan_lakes_on) m.volume_remaining_in_lakes = channel_lake_storage(m);
    if (m.snowdepth.n() >= 1) m.final_volume_of_snow = snow_storage(m, area);
}


void event_volumes(model_state& m) {
    const water_run_sums& now = m.run_sums;
    const water_run_sums& then = m.run_sums_at_event_start;
    m.volume_of_discharge = m.discharge_volume_sum;
    m.event_peak_discharge = m.peak_q;
    m.mass_cleanup_error_overland = now.mass_cleanup_error_overland - then.mass_cleanup_error_overland;
    m.volume_of_interception = now.interception - then.interception;
    m.volume_ov_boundary_inflow = m.ov_bdy_fixed_in_vol - m.ov_bdy_fixed_in_vol_at_event_start;
    m.volume_ov_boundary_outflow_1 = m.ov_bdy_out_vol - m.ov_bdy_out_vol_at_event_start;
    m.volume_ov_boundary_outflow_2 = m.ov_bdy_fixed_out_vol - m.ov_bdy_fixed_out_vol_at_event_start;
    m.volume_lake_point_sources = now.lake_point_sources - then.lake_point_sources;
    m.volume_lake_point_sinks = now.lake_point_sinks - then.lake_point_sinks;
    m.volume_stream_point_sources = now.stream_point_sources - then.stream_point_sources;
    m.volume_stream_point_sinks = now.stream_point_sinks - then.stream_point_sinks;
    m.volume_of_lake_evaporation = now.lake_evaporation - then.lake_evaporation;
    m.volume_of_lateral_inflow = now.chan_lateral_inflow - then.chan_lateral_inflow;
    m.volume_first_order_chan = now.first_order_chan_inflow - then.first_order_chan_inflow;
    m.volume_gw_chan = now.gw_to_channels - then.gw_to_channels;
    m.volume_water_chan_gw = now.channels_to_gw - then.channels_to_gw;
    m.volume_gw_lakes = now.gw_to_lakes - then.gw_to_lakes;
    m.volume_water_lakes_gw = now.lakes_to_gw - then.lakes_to_gw;
    // The event's own infiltration: the per-cell depths behind the maps run
    // on from event to event.
    if (any_infiltration(m))
        m.volume_of_infiltrated_water = now.infiltrated_volume - then.infiltrated_volume;
}

double ratio_or_no_input(double numerator, double denominator) {
    return denominator != 0.0 ? numerator / denominator : kNoWaterInput;
}

double final_soil_saturation(model_state& m) {
    if (m.ncells <= 0) return 0.0;
    double sum = 0.0;
    if (m.inf_redist_on) {
        for (int k = 1; k <= m.ncells; ++k) {
            sum += value_at(m.teta_n, k) / value_at(m.phi_map, k);
            if (!std::isfinite(sum)) warn(format_text("problem with final soil moisture in cell: %d\n", k));
        }
    } else if (m.inf_layered_on) {
        for (int k = 1; k <= m.ncells; ++k) {
            const double* s = soil_class_of(m, k);
            if (!s) continue;
            const double depth = value_at(m.soil_depth, k);
            if (depth <= kTiny) {
                // No unsaturated soil above the water table: the cell is full.
                sum += 1.0;
                continue;
            }
            const double top = s[22] < depth ? s[22] : depth;
            if (top > 0.0 && s[7] > 0.0) sum += value_at(m.Ws1_L1, k) / top / s[7];
        }
    } else if (m.inf_richards_on) {
        for (int k = 1; k <= m.ncells; ++k) sum += richards_top_saturation(m, k);
    } else {
        return 0.0;
    }
    return sum / m.ncells;
}

// A balance whose volumes are not all finite numbers is never reported: the
// run stops with a message instead. True when it may be written.
bool balance_is_real(model_state& m) {
    const struct {
        double value;
        const char* name;
    } terms[] = {{m.mass_input_original_mass, "input and original water"},
                 {m.mass_output_final_mass, "output and final water"},
                 {m.mass_conservation_error, "mass conservation error"}};
    for (const auto& t : terms) {
        if (std::isfinite(t.value)) continue;
        refuse(format_text("A non-real volume has been detected in the water balance of event %d (%s).\n"
                           "Check the inputs, or use a shorter time step (TIMESTEP).\n",
                           m.event_index, t.name));
        return false;
    }
    return true;
}

void write_optim_line(model_state& m) {
    if (!(m.optimize_given || m.run_result)) return;
    const double f = m.qout_cfs ? kCubicFeetPerCubicMetre : 1.0;
    const double peak = m.event_peak_discharge * f;
    const double volume = m.volume_of_discharge * f;
    optim_record* r = m.run_result;
    const int locations = m.in_hyd_location_given ? m.hyd_loc_count : 0;
    std::FILE* fp = m.optim_fp.get();
    // The line is written whole or, with a value that is not finite, not
    // at all: the run stops.
    value_line line;
    if (fp) {
        line.text(format_text("%d", m.event_index).c_str());
        line.put(m.qout_cfs ? " %8.2lf" : " %9.3lf", peak);
        line.put(" %13.1lf", volume);
    }
    if (r) optim_store(*r, m.event_index, 0, peak, volume);
    for (int k = 1; k <= locations; ++k) {
        const std::size_t slot = static_cast<std::size_t>(k);
        const double lp = r && slot < r->location_peak.size() ? r->location_peak[slot] * f : 0.0;
        const double lv = r && slot < r->location_volume.size() ? r->location_volume[slot] * f : 0.0;
        if (fp) {
            line.at(k);
            line.put(m.qout_cfs ? " %8.2lf" : " %9.3lf", lp);
            line.put(" %13.1lf", lv);
        }
        if (r) optim_store(*r, m.event_index, k, lp, lv);
    }
    if (fp) {
        line.text("\n");
        line.write(m, fp, "the peak or volume of the event", [&m](int k) {
            return k == 0 ? std::string("the outlet") : format_text("hydrograph location %d", k);
        });
        std::fflush(fp);
    }
}

}  // namespace

double surface_storage(const model_state& m, double cell_area, double& in_overland_lakes) {
    double surface = 0.0;
    in_overland_lakes = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        if (in_channel_lake(m, k)) continue;
        const int lake = m.overland_lake_map_given && k <= m.oland_lake_new.n() ? m.oland_lake_new[k] : 0;
        if (lake > 0 && static_cast<std::size_t>(lake) < m.oland_lakes.size()) {
            const double v =
                (m.oland_lakes[static_cast<std::size_t>(lake)].level - value_at(m.elev, k)) * cell_area;
            surface += v;
            in_overland_lakes += v;
        } else {
            surface += value_at(m.h, k) * cell_area;
        }
    }
    return surface;
}

double snow_storage(const model_state& m, double cell_area) {
    double snow = 0.0;
    for (int k = 1; k <= m.ncells && k <= m.snowdepth.n(); ++k)
        if (!in_channel_lake(m, k)) snow += m.snowdepth[k] * cell_area;
    return snow;
}

void event_mass_balance(model_state& m) {
    const bool channels = m.chan_routing || m.chan_alt_routing;
    const double rain = m.volume_rainfall_overland + m.volume_precip_to_lake;
    // The pipe network's water at the start and end, what it made, and the
    // tile water it took from the ground count like the surface's.
    double drains_in = 0.0, drains_out = 0.0;
    drain_balance_terms(m, drains_in, drains_out);
    drains_in += m.volume_gw_tile_drains;
    if (channels && !m.sacramento_given) {
        m.mass_input_original_mass =
            rain + m.volume_of_water_exfiltrated + m.initial_volume_in_channels +
            m.initial_volume_overland_flow + m.volume_gw_chan + m.volume_gw_lakes +
            m.initial_volume_in_lakes + m.initial_liquid_equiv_volume_snow +
            m.volume_overland_point_sources + m.volume_ov_boundary_inflow +
            m.volume_lake_point_sources + m.volume_stream_point_sources + m.volume_first_order_chan + drains_in;
        m.mass_output_final_mass =
            m.volume_remaining_on_surface + m.volume_of_infiltrated_water +
            m.final_volume_in_channels + m.volume_of_discharge + m.volume_et_removed_water +
            m.final_volume_of_snow + m.volume_remaining_in_lakes + m.volume_water_chan_gw +
            m.volume_water_lakes_gw + m.volume_ov_boundary_outflow_1 +
            m.volume_ov_boundary_outflow_2 + m.volume_lake_point_sinks +
            m.volume_stream_point_sinks + m.volume_of_lake_evaporation + drains_out;
        m.mass_conservation_error =
            rain > 0.0 ? ratio_or_no_input(m.mass_input_original_mass - m.mass_output_final_mass,
                                           m.mass_input_original_mass)
                       : kNoWaterInput;
    } else if (channels) {
        // The Sacramento stores take the infiltrated water and give it to the
        // channels: they count as storage, and their evapotranspiration
        // leaves beside the direct evaporation. The error is formed as
        // (output - input) over the inputs without the rain on the lakes.
        const double point_sources = m.volume_lake_point_sources + m.volume_stream_point_sources;
        m.mass_input_original_mass =
            rain + m.volume_subsurface_at_event_start + m.volume_of_water_exfiltrated +
            m.initial_volume_in_channels + m.initial_volume_overland_flow + m.volume_gw_chan +
            m.volume_gw_lakes + m.initial_volume_in_lakes + m.initial_liquid_equiv_volume_snow +
            m.volume_overland_point_sources + m.volume_ov_boundary_inflow + m.volume_first_order_chan +
            point_sources + drains_in;
        m.mass_output_final_mass =
            m.volume_water_chan_gw + m.volume_water_lakes_gw + m.volume_remaining_on_surface +
            m.final_volume_in_channels + m.volume_of_discharge + m.volume_subsurface_at_event_end +
            m.volume_et_removed_water + sacramento_et_volume(m) + m.final_volume_of_snow +
            m.volume_remaining_in_lakes + m.volume_ov_boundary_outflow_1 + m.volume_ov_boundary_outflow_2 +
            m.volume_lake_point_sinks + m.volume_stream_point_sinks + m.volume_of_lake_evaporation + drains_out;
        const double divisor = m.volume_rainfall_overland + m.volume_of_water_exfiltrated +
                               m.initial_volume_in_channels + m.initial_volume_overland_flow +
                               m.initial_liquid_equiv_volume_snow + m.volume_overland_point_sources +
                               m.initial_volume_in_lakes + m.volume_subsurface_at_event_start +
                               m.volume_ov_boundary_inflow + m.volume_first_order_chan + point_sources + drains_in;
        m.mass_conservation_error =
            rain > 0.0 ? ratio_or_no_input(-(m.mass_input_original_mass - m.mass_output_final_mass), divisor)
                       : kNoWaterInput;
    } else {
        m.mass_input_original_mass = m.volume_rainfall_overland + m.initial_volume_overland_flow +
                                     m.volume_of_water_exfiltrated +
                                     m.initial_liquid_equiv_volume_snow +
                                     m.volume_overland_point_sources + m.volume_ov_boundary_inflow + drains_in;
        m.mass_output_final_mass = m.volume_remaining_on_surface + m.volume_of_infiltrated_water +
                                   m.volume_of_discharge + m.volume_et_removed_water +
                                   m.final_volume_of_snow + m.volume_ov_boundary_outflow_1 +
                                   m.volume_ov_boundary_outflow_2 + drains_out;
        m.mass_conservation_error =
            m.mass_input_original_mass > 0.0
                ? (m.mass_input_original_mass - m.mass_output_final_mass) / m.mass_input_original_mass
                : kNoWaterInput;
    }
}

void finish_event(model_state& m) {
    if (!m.event_done) return;
    m.event_done = 0;
    const double area = m.gridsize * m.gridsize;

    if (m.chan_lakes_on) channel_lakes_at_event_end(m);
    surface_at_event_end(m, area);
    soils_at_event_end(m, area);
    stores_at_event_end(m, area);
    event_volumes(m);
    if (m.chan_routing || m.chan_alt_routing) channels_at_event_end(m);
    if (m.sacramento_given) m.volume_subsurface_at_event_end = sacramento_storage_volume(m);
    event_mass_balance(m);
    if (!balance_is_real(m)) return;
    finish_event_sediment_contam(m);
    m.final_basin_averaged_soil_water_content = final_soil_saturation(m);

    write_event_summary(m);
    if (!m.super_quiet) std::printf("finished event \n");
    if (m.summary_fp) std::fflush(m.summary_fp.get());
    ++m.finished_events;
    write_optim_line(m);
    // What moves from here on is the next event's.
    open_event_books(m);
    m.event_books_open = 1;
}

}  // namespace kesta
