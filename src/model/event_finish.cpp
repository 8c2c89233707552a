// The close of an ended event: final storages, event volumes, the mass
// balance, the event summary and the event line for calibration.
#include <cmath>
#include <cstdio>

#include "calibration/optim_record.hpp"
#include "channel/channel_steps.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/balance_sum.hpp"
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

void surface_at_event_end(model_state& m) {
    if (m.overland_lake_map_given && m.chan_lakes_on)
        warn("You are simulating overland lakes and perennial lakes, not recommended presently. "
             "Contact your KESTA developer for further advice\n\n");
    const surface_water w = surface_storage(m);
    m.volume_remaining_on_surface = w.total;
    m.volume_remaining_in_overland_lakes = w.in_overland_lakes;
}

// What the event leaves exfiltrated, in the channel-network lakes and as
// snow.
void stores_at_event_end(model_state& m) {
    m.volume_of_water_exfiltrated =
        m.total_vol_water_exfiltrated_this_run - m.beginning_vol_water_exfiltrated_this_event;
    if (m.chan_lakes_on) m.volume_remaining_in_lakes = channel_lake_storage(m);
    if (m.snowdepth.n() >= 1) m.final_volume_of_snow = surface_storage(m).snow;
}

void event_volumes(model_state& m) {
    const water_run_sums& now = m.run_sums;
    const water_run_sums& then = m.run_sums_at_event_start;
    m.volume_of_discharge = m.discharge_volume_sum;
    m.event_peak_discharge = m.peak_q;
    // The event's volume of each flow: its total less the total when the
    // event's books opened (the per-cell infiltration depths behind the
    // maps run on from event to event).
    for (const water_flow_row& row : kWaterFlows)
        if (row.event && !row.event_booked) m.*row.event = now.*row.run - then.*row.run;
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

// The event water balance, one table for its three forms: with channels,
// with channels and the Sacramento stores (which take the infiltrated water
// and give it to the channels, so they count as storage and their
// evapotranspiration leaves beside the direct evaporation), and over land
// only. Each row is a store or a volume of the event, the side it counts
// on, and the forms that count it, in the order each form adds its terms
// (a group is summed before it joins the side's total): rows that two
// forms add in a different order are rows of each.
constexpr unsigned kChannels = 1u << 0, kSacramento = 1u << 1, kOverlandOnly = 1u << 2;
// The Sacramento form divides by the inputs without the rain on the lakes.
constexpr unsigned kSacramentoDivisor = 1u << 3;
constexpr unsigned kAll = kChannels | kSacramento | kOverlandOnly;

enum class term_side { in, out };

struct event_term {
    unsigned variants;
    term_side side;
    int group;
    double model_state::*member;
    double (*value)(const model_state& m);  // where no member holds the term
};


// The pipe network's water at the start and end, what it made, and the
// tile water it took from the ground count like the surface's.
double drains_in(const model_state& m) {
    double in = 0.0, out = 0.0;
    drain_balance_terms(m, in, out);
    return in + m.volume_gw_tile_drains;
}
double drains_out(const model_state& m) {
    double in = 0.0, out = 0.0;
    drain_balance_terms(m, in, out);
    return out;
}

constexpr unsigned kWithChannels = kChannels | kSacramento;
constexpr unsigned kSacIn = kSacramento | kSacramentoDivisor;
using term_member = double model_state::*;
#define KESTA_TERM(name) static_cast<term_member>(&model_state::name), nullptr

const event_term kEventBalance[] = {
    // In: the rain (on the land and the lakes), the stores at the start, and what entered.
    {kWithChannels, term_side::in, 1, KESTA_TERM(volume_rainfall_overland)},
    {kWithChannels, term_side::in, 1, KESTA_TERM(volume_precip_to_lake)},
    {kOverlandOnly | kSacramentoDivisor, term_side::in, 0, KESTA_TERM(volume_rainfall_overland)},
    {kSacramento, term_side::in, 0, KESTA_TERM(volume_subsurface_at_event_start)},
    {kOverlandOnly, term_side::in, 0, KESTA_TERM(initial_volume_overland_flow)},
    {kAll | kSacramentoDivisor, term_side::in, 0, KESTA_TERM(volume_of_water_exfiltrated)},
    {kWithChannels | kSacramentoDivisor, term_side::in, 0, KESTA_TERM(initial_volume_in_channels)},
    {kWithChannels | kSacramentoDivisor, term_side::in, 0, KESTA_TERM(initial_volume_overland_flow)},
    {kWithChannels, term_side::in, 0, KESTA_TERM(volume_gw_chan)},
    {kWithChannels, term_side::in, 0, KESTA_TERM(volume_gw_lakes)},
    {kWithChannels, term_side::in, 0, KESTA_TERM(initial_volume_in_lakes)},
    {kAll | kSacramentoDivisor, term_side::in, 0, KESTA_TERM(initial_liquid_equiv_volume_snow)},
    {kAll | kSacramentoDivisor, term_side::in, 0, KESTA_TERM(volume_overland_point_sources)},
    {kSacramentoDivisor, term_side::in, 0, KESTA_TERM(initial_volume_in_lakes)},
    {kSacramentoDivisor, term_side::in, 0, KESTA_TERM(volume_subsurface_at_event_start)},
    {kAll | kSacramentoDivisor, term_side::in, 0, KESTA_TERM(volume_ov_boundary_inflow)},
    {kChannels, term_side::in, 0, KESTA_TERM(volume_lake_point_sources)},
    {kChannels, term_side::in, 0, KESTA_TERM(volume_stream_point_sources)},
    {kChannels, term_side::in, 0, KESTA_TERM(volume_first_order_chan)},
    {kSacIn, term_side::in, 0, KESTA_TERM(volume_first_order_chan)},
    {kSacIn, term_side::in, 2, KESTA_TERM(volume_lake_point_sources)},
    {kSacIn, term_side::in, 2, KESTA_TERM(volume_stream_point_sources)},
    {kAll | kSacramentoDivisor, term_side::in, 0, nullptr, drains_in},
    // Out: the stores at the end, and what left.
    {kSacramento, term_side::out, 0, KESTA_TERM(volume_water_chan_gw)},
    {kSacramento, term_side::out, 0, KESTA_TERM(volume_water_lakes_gw)},
    {kAll, term_side::out, 0, KESTA_TERM(volume_remaining_on_surface)},
    {kChannels | kOverlandOnly, term_side::out, 0, KESTA_TERM(volume_of_infiltrated_water)},
    {kWithChannels, term_side::out, 0, KESTA_TERM(final_volume_in_channels)},
    {kAll, term_side::out, 0, KESTA_TERM(volume_of_discharge)},
    {kSacramento, term_side::out, 0, KESTA_TERM(volume_subsurface_at_event_end)},
    {kAll, term_side::out, 0, KESTA_TERM(volume_et_removed_water)},
    {kSacramento, term_side::out, 0, nullptr, sacramento_et_volume},
    {kAll, term_side::out, 0, KESTA_TERM(final_volume_of_snow)},
    {kWithChannels, term_side::out, 0, KESTA_TERM(volume_remaining_in_lakes)},
    {kChannels, term_side::out, 0, KESTA_TERM(volume_water_chan_gw)},
    {kChannels, term_side::out, 0, KESTA_TERM(volume_water_lakes_gw)},
    {kAll, term_side::out, 0, KESTA_TERM(volume_ov_boundary_outflow_1)},
    {kAll, term_side::out, 0, KESTA_TERM(volume_ov_boundary_outflow_2)},
    {kWithChannels, term_side::out, 0, KESTA_TERM(volume_lake_point_sinks)},
    {kWithChannels, term_side::out, 0, KESTA_TERM(volume_stream_point_sinks)},
    {kWithChannels, term_side::out, 0, KESTA_TERM(volume_of_lake_evaporation)},
    {kAll, term_side::out, 0, nullptr, drains_out},
};
#undef KESTA_TERM

}  // namespace

void event_mass_balance(model_state& m) {
    const bool channels = m.chan_routing || m.chan_alt_routing;
    const unsigned variant = !channels ? kOverlandOnly : m.sacramento_given ? kSacramento : kChannels;
    balance_sum in, out, divisor;
    for (const event_term& t : kEventBalance) {
        const double v = t.member ? m.*t.member : t.value(m);
        if (t.variants & variant) (t.side == term_side::in ? in : out).add(v, t.group);
        if ((t.variants & kSacramentoDivisor) && variant == kSacramento) divisor.add(v, t.group);
    }
    m.mass_input_original_mass = in.total();
    m.mass_output_final_mass = out.total();
    const double input = m.mass_input_original_mass, output = m.mass_output_final_mass;
    const double rain = m.volume_rainfall_overland + m.volume_precip_to_lake;
    if (variant == kChannels) {
        m.mass_conservation_error = rain > 0.0 ? ratio_or_no_input(input - output, input) : kNoWaterInput;
    } else if (variant == kSacramento) {
        // The error is formed as (output - input) over the inputs without
        // the rain on the lakes.
        m.mass_conservation_error =
            rain > 0.0 ? ratio_or_no_input(-(input - output), divisor.total()) : kNoWaterInput;
    } else {
        m.mass_conservation_error = input > 0.0 ? (input - output) / input : kNoWaterInput;
    }
}

void finish_event(model_state& m) {
    if (!m.event_done) return;
    m.event_done = 0;
    const double area = m.gridsize * m.gridsize;

    if (m.chan_lakes_on) channel_lakes_at_event_end(m);
    surface_at_event_end(m);
    soils_at_event_end(m, area);
    stores_at_event_end(m);
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
