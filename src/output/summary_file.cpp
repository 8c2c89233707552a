// The summary file: the start-up block and the water summary of each event.
//
// The event summary is a list of sections, and each section a list of lines
// with the switch that shows them, so a process that adds its lines adds
// rows where they belong.
#include "output/summary_file.hpp"

#include <algorithm>
#include <cmath>

#include "calibration/replace_params.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/calendar.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "output/grid_writers.hpp"
#include "output/output_steps.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

using predicate = bool (*)(const model_state&);

// A fixed line shown when its switch holds.
struct flagged_line {
    predicate shown;
    const char* text;
};

// A line of one volume (m3); a line without a value is printed as it stands.
struct volume_line {
    predicate shown;
    const char* format;
    double (*value)(const model_state&);
};

template <auto Member>
double value_of(const model_state& m) {
    return m.*Member;
}

bool always(const model_state&) { return true; }
bool ch(const model_state& m) { return m.chan_routing != 0; }
bool ch1(const model_state& m) { return m.chan_routing == 1; }

// The event's mass conservation error in percent.
double error_percent(const model_state& m) { return m.mass_conservation_error * 100.0; }

// Exactly -1.0: the event had no water input.
bool no_water_input(const model_state& m) { return m.mass_conservation_error == -1.0; }

void write_lines(std::FILE* fp, const model_state& m, const flagged_line* begin,
                 const flagged_line* end) {
    for (const flagged_line* l = begin; l != end; ++l)
        if (l->shown(m)) std::fputs(l->text, fp);
}

template <std::size_t N>
void write_lines(std::FILE* fp, const model_state& m, const flagged_line (&lines)[N]) {
    write_lines(fp, m, lines, lines + N);
}

void write_title(const model_state& m, std::FILE* fp) {
    if (m.long_term && m.event_index > 1) {
        std::fputs("\n\n", fp);
        std::fputs((std::string(78, '-') + "\n").c_str(), fp);
    }
    if (!m.long_term) {
        std::fputs("         KESTA EVENT RUNOFF SIMULATION SUMMARY\n", fp);
        summary_line(m, fp, "            Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d\n", m.precip_month,
                     m.precip_day, m.precip_year, m.precip_hour, m.precip_minute);
        return;
    }
    summary_line(m, fp, "       KESTA LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT %ld\n",
                 static_cast<long>(m.event_index));
    summary_line(m, fp, "Event began on strict Julian date:                    %16.8lf\n", m.precip_start_time);
    summary_line(m, fp, "Event ended on strict Julian date:                    %16.8lf\n", m.time);
    summary_line(m, fp, "Event began on %2.2ld/%2.2ld/%4.4ld at %2.2ld:%2.2ld  GMT %3.1f hours.\n\n",
                 static_cast<long>(m.precip_month), static_cast<long>(m.precip_day),
                 static_cast<long>(m.precip_year), static_cast<long>(m.precip_hour),
                 static_cast<long>(m.precip_minute), m.gmt);
    if (m.hmet_samson_given)
        summary_line(m, fp, "KESTA used NCDC/SAMSON hydrometeorological data from the %s station\n",
                     m.hmet_station_name.c_str());
    if (m.hmet_surfaways_given)
        std::fputs("KESTA used NCDC/Surface Airways hydrometeorological data.\n", fp);
    const date_record& first = m.hmet_first_record;
    const date_record& last = m.hmet_last_record;
    summary_line(m, fp, "Hydrometeorology data began on: %2.2d/%2.2d/%4d at %2d:00\n", first.month, first.day,
                 first.year, first.hour);
    summary_line(m, fp, "and ended on:                   %2.2d/%2.2d/%4d at %2d:00\n", last.month, last.day,
                 last.year, last.hour);
    summary_line(m, fp, "The following number of hydromet. data points were repaired:%d\n", m.hmet_points_repaired);
    static const flagged_line kMethods[] = {
        {[](const model_state& s) { return s.et_calc_penman != 0; },
         "Penman-Montieth evapotranspiration was calculated.\n"},
        {[](const model_state& s) { return s.et_calc_deardorff != 0; },
         "Deardorff bare-soil evaporation was calculated.\n"},
        {[](const model_state& s) { return s.sacramento_given != 0; },
         "Sacramento soil moisture accounting was used.\n"},
        {always, "\n"},
    };
    write_lines(fp, m, kMethods);
}

void write_rainfall(const model_state& m, std::FILE* fp) {
    if (m.uniform_rain)
        summary_line(m, fp, "   With uniform rainfall of %6.1lf mm/h for %6.1lf minutes.\n\n", m.rain_intensity,
                     m.rain_duration);
    static const flagged_line kSources[] = {
        // The event's own data lines say whether gauges or radar measured it.
        {[](const model_state& s) { return s.rain_from_file != 0 && s.precip_ev.radar == 0; },
         "With raingage data "},
        {[](const model_state& s) { return s.rain_from_file != 0 && s.precip_ev.radar != 0; },
         "With radar-rainfall estimates "},
        {[](const model_state& s) { return s.rain_inv_distance != 0; },
         "using inverse-distance squared interpolation.\n\n"},
        {[](const model_state& s) { return s.rain_inv_distance == 0 && s.rain_thiessen != 0; },
         "using Thiessen polygon interpolation.\n\n"},
    };
    write_lines(fp, m, kSources);
}

void write_setting(const model_state& m, std::FILE* fp) {
    std::fputs(m.units == 0 ? "elevation and gridsize are in meters\n"
                            : "elevation and gridsize were converted from feet to meters\n",
               fp);
    summary_line(m, fp, "timestep                                   %5.1lf seconds\n", m.timestep);
    if (m.long_term)
        summary_line(m, fp, "initial basin-averaged soil water content: %5.2lf percent\n",
                     m.initial_basin_averaged_soil_water_content * 100.0);
    summary_line(m, fp, "number of timesteps with rain:             %d\n", m.number_timesteps_rain);
    // Minutes from the start of the run to the start of the event's first
    // step with rain (0 for rain that falls from the first step on).
    summary_line(m, fp, "elapsed time when rain began:              %5.2lf\n \n", m.elapsed_min_rain_began);
}

void write_peak(const model_state& m, std::FILE* fp) {
    if (m.event_peak_discharge > 0.0) {
        summary_line(m, fp, "peak occured on strict Julian date:       %16.8lf\n", m.peak_time);
        const date_record& d = m.peak_date;
        summary_line(m, fp, "date/time of peak discharge:              %d/%d/%d  %d:%2.2d:%2.2d\n", d.month,
                     d.day, d.year, d.hour, d.minute, d.second);
    }
    summary_line(m, fp, "Event peak discharge (cubic meters per second):  %12.4lf\n\n", m.event_peak_discharge);
    std::fputs("Note: all volumes in cubic meters.\n", fp);
}

bool gw_chan_exchange(const model_state& m) {
    return ch1(m) && m.stream_loss && !m.sacramento_given;
}

bool lakes(const model_state& m) { return m.chan_lakes_on != 0; }
bool sacramento(const model_state& m) { return m.sacramento_given != 0; }
bool drains(const model_state& m) { return m.storm_sewer_given != 0; }
bool drains_to_channels(const model_state& m) { return drains(m) && ch(m); }
bool tile_drains(const model_state& m) { return drains(m) && m.tile_drains_present; }
// A fixed-head superjunction other than the outlets onto cells and into
// channels, or water an outlet drew in from its fixed head.
bool drain_boundaries(const model_state& m) {
    return drains(m) && (m.volume_superlink_boundary != 0.0 || drains_have_other_fixed_heads(m));
}
bool ch1_lakes(const model_state& m) { return ch1(m) && lakes(m); }

const volume_line kVolumeLines[] = {
    {lakes, "initial volume in lakes               %9.1lf\n", value_of<&model_state::initial_volume_in_lakes>},
    {always, "initial volume of overland flow:      %9.1lf\n", value_of<&model_state::initial_volume_overland_flow>},
    {ch1, "initial volume in channels:           %9.1lf\n", value_of<&model_state::initial_volume_in_channels>},
    {[](const model_state& m) { return m.storm_sewer_given == 1; }, "initial volume in sub-surface drains: %9.1lf\n \n",
     value_of<&model_state::initial_volume_sub_surface_drains>},
    {always, "initial liquid-equiv. volume of snow: %9.1lf\n \n",
     value_of<&model_state::initial_liquid_equiv_volume_snow>},
    // Gross rain: what reached the ground and what the canopy kept.
    {always, "volume of rainfall to overland:      %9.1lf\n",
     [](const model_state& m) { return m.volume_rainfall_overland + m.volume_of_interception; }},
    {always, "volume of interception:              %9.1lf\n", value_of<&model_state::volume_of_interception>},
    {sacramento, "volume of base flow from Sacramento:   %9.1lf\n", sacramento_event_base_flow},
    {sacramento, "volume of subsurface at event start:   %11.1lf\n",
     value_of<&model_state::volume_subsurface_at_event_start>},
    {sacramento, "volume of subsurface at event end:     %11.1lf\n",
     value_of<&model_state::volume_subsurface_at_event_end>},
    {sacramento, "volume of et removed water:            %9.1lf\n", sacramento_et_volume},
    {sacramento, "volume of infil water SAC recieves:    %9.1lf\n", sacramento_event_infiltration},
    {always, "volume of direct evaporation:        %9.1lf\n", value_of<&model_state::volume_et_removed_water>},
    {always, "volume of infiltrated water:         %9.1lf\n", value_of<&model_state::volume_of_infiltrated_water>},
    {always, "volume of water exfiltrated:         %9.1lf\n", value_of<&model_state::volume_of_water_exfiltrated>},
    {always, "volume of discharge:                 %9.1lf\n", value_of<&model_state::volume_of_discharge>},
    {[](const model_state& m) { return m.soil_et_accounting != 0; },
     "volume ground water recharge:        %9.1lf\n", value_of<&model_state::volume_ground_water_recharge>},
    {ch1, "volume of lateral inflow:            %9.1lf\n", value_of<&model_state::volume_of_lateral_inflow>},
    {gw_chan_exchange, "volume of gw to chan:                %9.1lf\n", value_of<&model_state::volume_gw_chan>},
    {gw_chan_exchange, "volume of water from chan to gw:     %9.1lf\n", value_of<&model_state::volume_water_chan_gw>},
    {ch1_lakes, "volume precip to lake:               %9.1lf\n", value_of<&model_state::volume_precip_to_lake>},
    {ch1_lakes, "volume overland to lake:             %9.1lf\n", value_of<&model_state::volume_overland_to_lake>},
    {ch1_lakes, "volume overland from lake:           %9.1lf\n", value_of<&model_state::volume_overland_from_lake>},
    {ch1, "volume of stream point sources:      %9.1lf\n", value_of<&model_state::volume_stream_point_sources>},
    {ch1, "volume of stream point sinks:        %9.1lf\n", value_of<&model_state::volume_stream_point_sinks>},
    {ch1, "volume of lake point sources:        %9.1lf\n", value_of<&model_state::volume_lake_point_sources>},
    {ch1, "volume of lake point sinks:          %9.1lf\n", value_of<&model_state::volume_lake_point_sinks>},
    {ch1, "volume of lake evaporation:          %9.1lf\n", value_of<&model_state::volume_of_lake_evaporation>},
    {[](const model_state& m) { return m.long_term && m.inf_richards_on; },
     "volume of total evaporation:         %9.1lf\n", value_of<&model_state::volume_of_total_evaporation>},
    {always, "volume from overland point sources:  %9.1lf\n",
     value_of<&model_state::volume_overland_point_sources>},
    {drains, "total inputs to superlink:           %9.1lf\n", value_of<&model_state::total_inputs_to_superlink>},
    {drains, "volume of superlink to overland:     %9.1lf\n", value_of<&model_state::volume_superlink_overland>},
    {drains_to_channels, "volume of superlink to channels:     %9.1lf\n",
     value_of<&model_state::volume_superlink_channels>},
    {drain_boundaries, "volume of superlink to boundaries:   %9.1lf\n",
     value_of<&model_state::volume_superlink_boundary>},
    {tile_drains, "volume of gw to tile drains:         %9.1lf\n", value_of<&model_state::volume_gw_tile_drains>},
    // Water the pipe solver made: what its depth and head floors added, and
    // the residual its storage iteration left.
    {drains, "volume of drain solver clean-up:     %9.1lf\n", value_of<&model_state::volume_drain_cleanup>},
    {drains, "volume of drain solver residual:     %9.1lf\n", value_of<&model_state::volume_drain_residual>},
    {always, "\n", nullptr},
    {lakes, "volume remaining in lakes            %9.1lf\n", value_of<&model_state::volume_remaining_in_lakes>},
    {always, "volume remaining on surface:         %9.1lf\n", value_of<&model_state::volume_remaining_on_surface>},
    {ch1, "final volume in channels (cu. m):    %9.1lf\n", value_of<&model_state::final_volume_in_channels>},
    {drains, "volume remaining in drains:          %9.1lf\n", value_of<&model_state::volume_remaining_in_drains>},
    {always, "final volume of snow (cu. m):        %9.1lf\n \n", value_of<&model_state::final_volume_of_snow>},
    {[](const model_state& m) { return m.final_volume_of_snow > 0.0; },
     "********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n", nullptr},
};

template <std::size_t N>
void write_volume_lines(const model_state& m, std::FILE* fp, const volume_line (&lines)[N]) {
    for (const volume_line& l : lines) {
        if (!l.shown(m)) continue;
        if (l.value)
            summary_line(m, fp, l.format, l.value(m));
        else
            std::fputs(l.format, fp);
    }
}

void write_volumes(const model_state& m, std::FILE* fp) { write_volume_lines(m, fp, kVolumeLines); }

// The event error is (inputs + start - outputs - end) / (inputs + start), so
// that a positive error is water lost; with Sacramento accounting under
// channel routing it is formed the other way round, and a positive error is
// water made.
bool positive_error_is_gain(const model_state& m) {
    return m.sacramento_given && (m.chan_routing || m.chan_alt_routing);
}

void write_mass_conservation(const model_state& m, std::FILE* fp) {
    summary_line(m, fp, "mass conservation error:             %9.6lf percent\n", error_percent(m));
    const bool positive = m.mass_conservation_error >= 0.0 || no_water_input(m);
    const bool gain = positive == positive_error_is_gain(m);
    std::fprintf(fp, "Note: %s mass conservation error indicates mass was %s.\n", positive ? "positive" : "negative",
                 !gain ? "lost" : positive ? "created" : "gained");
    summary_line(m, fp, "Mass input + original mass:           %9.6lf m3\n", m.mass_input_original_mass);
    summary_line(m, fp, "Mass output + final mass:             %9.6lf m3\n", m.mass_output_final_mass);
    summary_line(m, fp, "mass cleanup error from overland:     %9.6lf m3\n", m.mass_cleanup_error_overland);
    std::fputs("\n", fp);
    if (m.long_term)
        summary_line(m, fp, "final basin-averaged soil water content: %5.2lf percent\n",
                     m.final_basin_averaged_soil_water_content * 100.0);
    if (no_water_input(m)) std::fputs("Note: no rainfall was input.\n", fp);
}

// The soil columns of the Richards method over the event.
void write_richards(const model_state& m, std::FILE* fp) {
    if (!m.inf_richards_on) return;
    std::fputs("\n \n Richard's EQ. Computations \n \n", fp);
    summary_line(m, fp, "volume lost due to dir. evap (cu. m):  %9.1lf\n", m.volume_et_removed_water);
    summary_line(m, fp, "net vol infiltrated to soil (cu. m.):  %9.1lf\n", m.net_vol_infiltrated_soil);
    summary_line(m, fp, "vol groundwater recharge (cu. m):      %9.1lf\n", m.volume_ground_water_recharge);
    summary_line(m, fp, "Initial volume in soils (cu. m.):      %9.1lf\n", m.initial_volume_in_soils);
    summary_line(m, fp, "Final volume in soils (cu. m.):        %9.1lf\n", m.final_volume_in_soils);
    summary_line(m, fp, "Richard equation mass balance error         %5.4lf percent\n",
                 m.richard_equation_mass_balance_error);
    summary_line(m, fp, "Number of cells at start of event   %12d\n", m.number_cells_at_start_event);
    summary_line(m, fp, "Number of cells at end of event     %12d\n", m.number_cells_at_end_event);
    std::fputs("net volume of infiltration is infiltration minus evaporation\n", fp);
}

bool gw_on(const model_state& m) { return m.gw_simulation != 0; }
bool gw_and_channels(const model_state& m) { return gw_on(m) && ch(m); }
bool gw_channels_and_lakes(const model_state& m) { return gw_and_channels(m) && m.chan_lakes_on; }

// The exchanges of the aquifer with the surface, the soil, the channels,
// the lakes and the drains over the event.
const volume_line kGroundwaterLines[] = {
    {gw_on, "\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n", nullptr},
    {gw_on, "volume of water directly to surface from groundwater (cu. m): %9.1lf\n",
     value_of<&model_state::volume_of_water_exfiltrated>},
    {gw_on, "beginning vol of water exfiltrated this event (cu. m):        %9.1lf\n",
     value_of<&model_state::beginning_vol_water_exfiltrated_this_event>},
    {gw_on, "total vol of water exfiltrated this run (cu. m):              %9.1lf\n",
     value_of<&model_state::total_vol_water_exfiltrated_this_run>},
    {gw_on, "vol from gw to unsat this event, w/o recharge (cu. m):        %9.1lf\n",
     value_of<&model_state::vol_gw_unsat_this_event_w>},
    {gw_on, "vol groundwater recharge (cu. m):                             %9.1lf\n",
     value_of<&model_state::volume_ground_water_recharge>},
    {gw_on, "volume added by the aquifer floor (cu. m):                    %9.1lf\n",
     value_of<&model_state::gw_floor_added_this_event>},
    {gw_and_channels, "vol from gw to chan  this event (cu. m):                      %9.1lf\n",
     value_of<&model_state::volume_gw_chan>},
    {gw_and_channels, "vol from chan to gw  this event (cu. m):                      %9.1lf\n",
     value_of<&model_state::volume_water_chan_gw>},
    {gw_channels_and_lakes, "vol from gw to lakes this event (cu. m):                      %9.1lf\n",
     value_of<&model_state::volume_gw_lakes>},
    {gw_channels_and_lakes, "vol from lakes to gw this event (cu. m):                      %9.1lf\n",
     value_of<&model_state::volume_water_lakes_gw>},
    {[](const model_state& m) { return gw_on(m) && m.storm_sewer_given; },
     "vol gw to tile dtrains (cu. m):                               %9.1lf\n",
     value_of<&model_state::volume_gw_tile_drains>},
};

void write_groundwater(const model_state& m, std::FILE* fp) { write_volume_lines(m, fp, kGroundwaterLines); }

// The constituent and sediment summaries of the event follow this line.
void write_section_break(const model_state&, std::FILE* fp) { std::fputs("\n", fp); }

// Water the pipe solver made in the event (m3): its clean-up, the size of
// its storage residual and what outlets drew in.
double drain_water_made(const model_state& m) {
    return m.volume_drain_cleanup + std::fabs(m.volume_drain_residual) + m.volume_superlink_drawn_in;
}
// Above 1 percent of the water that entered the pipes (and large enough to
// be shown).
bool drain_solver_made_too_much(const model_state& m) {
    const double made = drain_water_made(m);
    return drains(m) && made > 0.01 * m.total_inputs_to_superlink && made >= 0.005;
}

// Each warning that holds is counted; one with no text only keeps "No
// Warnings." from being written.
const flagged_line kWarnings[] = {
    {[](const model_state& m) { return std::fabs(error_percent(m)) > 2.0; },
     "-Mass conservation error (absolute) is larger than typical values (<2 percent).\n"
     " This indicates a problem with your data set, or that you are using the model\n"
     " to simulate an extreme event which violates one or more assumptions made\n"
     " in the development of KESTA.  You should first check for errors in the\n"
     " channel inputs, including cross-sectional data.  A decrease in the model\n"
     " time step may also help alleviate this problem.\n\n"},
    // A depth above the highest level of a surveyed section's table was
    // extrapolated in the run.
    {[](const model_state& m) { return m.xsec_above_table != 0; },
     "-Depths exceeded the range of look-up table X-section data.\n"
     " This is usually a source of error, particularly near hydrograph peaks.\n"},
    {[](const model_state& m) { return m.volume_remaining_on_surface > 0.05 * m.volume_rainfall_overland; },
     ""},
};

// Each warning given: "-" before its first line and a blank before the
// others, then the number of times it was given.
void write_given_warnings(std::FILE* fp, const warning_list& w) {
    for (const given_warning& g : w.listed) {
        std::string text = "-";
        for (const char ch : g.text) {
            text += ch;
            if (ch == '\n') text += ' ';
        }
        text += g.times == 1 ? std::string(" (given 1 time)\n") : format_text(" (given %ld times)\n", g.times);
        put_text(fp, text);
    }
    if (w.unlisted_kinds > 0) {
        std::fprintf(fp, "-%ld more warning(s) of %ld other kind(s) were given; the console shows each.\n",
                     w.unlisted_times, w.unlisted_kinds);
    }
}

// The conditions of the event that call for a warning, then every warning
// given since the previous summary (for the first event, since the run
// began: the project file's and the set-up's included).
void write_warnings(const model_state& m, std::FILE* fp) {
    std::fputs("THE FOLLOWING WARNINGS ARE GIVEN:\n", fp);
    auto count = std::count_if(std::begin(kWarnings), std::end(kWarnings),
                               [&m](const flagged_line& w) { return w.shown(m); });
    write_lines(fp, m, kWarnings);
    const int giveups = m.ov_substep_giveups - m.ov_substep_giveups_at_event_start;
    if (giveups > 0) {
        ++count;
        summary_line(m, fp,
                     "-The overland routing could not shorten its sub-step enough in %d time step(s)\n"
                     " of this event and accepted flows that failed its stability tests: the depths\n"
                     " and discharges of those steps may be inaccurate. A shorter time step\n"
                     " (TIMESTEP) avoids this.\n\n",
                     giveups);
    }
    if (drain_solver_made_too_much(m)) {
        ++count;
        summary_line(m, fp,
                     "-The storm-drain solver made %.2lf m3 of water in this event, more than 1 percent\n"
                     " of the %.2lf m3 that entered the pipes: %.2lf m3 of depth and head clean-up,\n"
                     " %.2lf m3 of storage residual and %.2lf m3 drawn in at outlets. The pipe\n"
                     " flows and depths of this event may be inaccurate. A shorter time step\n"
                     " (TIMESTEP) may help.\n\n",
                     drain_water_made(m), m.total_inputs_to_superlink, m.volume_drain_cleanup,
                     m.volume_drain_residual, m.volume_superlink_drawn_in);
    }
    const warning_list given = take_warnings();
    if (!given.empty()) ++count;
    write_given_warnings(fp, given);
    if (count == 0) std::fputs("No Warnings.\n", fp);
}

const flagged_line kInputs[] = {
    {always, "\n THE FOLLOWING INPUTS WERE READ:\n"},
    {always, "A TVM Project File was used.\n"},
    {always, "Floating point GRASS maps were read.\n"},
    {[](const model_state& m) { return m.in_hyd_location_given != 0; },
     "Locations where discharge hydrographs are to be written.\n"},
};

const flagged_line kProcesses[] = {
    {always, "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n"},
    {ch, "Explicit diffusive-wave channel routing.\n"},
    {[](const model_state& m) { return m.chan_drain_init != 0; },
     "This was a channel initialation run using the DRAIN method.\n"},
    {[](const model_state& m) { return m.interception != 0; }, "Interception losses.\n"},
    {[](const model_state& m) { return m.roughness_given != 0; }, "Distributed overland roughness.\n"},
    {[](const model_state& m) { return m.manning_n_given != 0; }, "Uniform overland roughness.\n"},
    // The map or table of initial moisture is read only by the Green and Ampt
    // methods.
    {[](const model_state& m) { return m.moisture_given != 0 && (m.green_ampt_on || m.inf_redist_on); },
     "Distributed initial soil moisture.\n"},
    {[](const model_state& m) { return m.chan_lakes_on != 0; }, "Lakes were simulated.\n"},
    {[](const model_state& m) { return m.reten_depth_given != 0; }, "Spatially varied retention.\n"},
    {[](const model_state& m) { return m.retention_given != 0; }, "Uniform retention depth.\n"},
    {[](const model_state& m) { return m.inf_redist_on != 0; }, "Infiltration with redistribution.\n"},
    {[](const model_state& m) { return m.green_ampt_on != 0; }, "Green & Ampt infiltration.\n"},
    {[](const model_state& m) { return m.inf_richards_on != 0; }, "Infiltration by Richards Eq.\n"},
    {[](const model_state& m) { return m.inf_layered_on != 0; }, "G&A Infiltration through layered soils.\n"},
    {[](const model_state& m) { return sediment_routed(m); }, "Overland soil erosion.\n"},
    {[](const model_state& m) { return m.sed_as_constituents == 2; },
     "Sediment classes carried as constituents.\n"},
    {[](const model_state& m) { return m.chan_sed_on != 0; },
     "Sediment transport in channels using Yang's eqn. for sand.\n"},
    {[](const model_state& m) { return m.sacramento_given != 0; },
     "Base flow using the Sacramento Soil Moisture Accounting Model.\n"},
};

void write_inputs_and_processes(const model_state& m, std::FILE* fp) {
    write_lines(fp, m, kInputs);
    write_lines(fp, m, kProcesses);
}

// Where an output file named on a card was written: its quotes stripped
// and, in a numbered multi-run, the sub-folder and run number added.
std::string written_path(std::string name) {
    strip_quotes(name);
    return output_path(name, "w", 1);
}

// The standard maps as the summary names them.
const struct {
    standard_map_type type;
    const char* what;
} kMapNames[] = {
    {map_depth, "overland flow depth"},
    {map_discharge, "discharge"},
    {map_rain, "distributed rainfall rate"},
    {map_infiltrated_depth, "distributed infiltration depth"},
    {map_infiltration_rate, "distributed infiltration rate"},
    {map_surface_moisture, "distributed surface moisture"},
    {map_groundwater_head, "groundwater head"},
    {map_sediment_volume, "net volume of erosion/deposition"},
    {map_suspended_sediment, "suspended sediment volume"},
    {map_sediment_flux, "sediment flux"},
    {map_contaminant_conc, "contaminant concentration"},
    {map_flood_grid, "largest flood depth"},
};

// The files of one map written so far: its grid files, or its dataset.
std::string map_files(const map_series& s) {
    const int grids = s.grids_written();
    if (grids == 1) return s.grid_path(1);
    if (grids > 1) return s.grid_path(1) + " to " + s.grid_path(grids);
    return s.dataset_path();
}

// Only the maps that were written, in the format they were written in:
// numbered grid files (one per map time) or one dataset per map.
void write_map_list(const model_state& m, std::FILE* fp) {
    bool any = false;
    for (const map_series& s : m.map_outputs) any = any || s.written();
    for (const auto& s : m.constituent_maps) any = any || s->written();
    if (!any) return;
    switch (map_output_format(m)) {
        case map_format_grids: std::fputs("ESRI ASCII grids, one file per map time:\n", fp); break;
        case map_format_ascii_dataset: std::fputs("ASCII TVM map datasets, one file per map:\n", fp); break;
        case map_format_binary_dataset: std::fputs("Binary TVM map datasets, one file per map:\n", fp); break;
        default: break;
    }
    for (const auto& map : kMapNames) {
        const map_series& s = m.map_outputs[map.type];
        if (s.written()) summary_line(m, fp, "     %s (%s).\n", map.what, map_files(s).c_str());
    }
    for (const auto& s : m.constituent_maps)
        if (s->written()) summary_line(m, fp, "     %s (%s).\n", s->what.c_str(), map_files(*s).c_str());
}

// A link/node dataset is listed once a time step of it was written to its
// file.
struct dataset_line {
    const char* what;
    std::string project_options::*card;
    output_slot output_state::*slot;
    int output_state::*steps;
};

const dataset_line kDatasetLines[] = {
    {"channel depth", &project_options::chan_depth, &output_state::chan_depth_fp,
     &output_state::linknode_depth_steps},
    {"channel sediment flux", &project_options::chan_sed_flux, &output_state::chan_sed_flux_fp,
     &output_state::linknode_sed_flux_steps},
    {"channel discharge", &project_options::chan_discharge, &output_state::chan_discharge_fp,
     &output_state::linknode_discharge_steps},
    {"channel velocity", &project_options::chan_velocity, &output_state::chan_velocity_fp,
     &output_state::linknode_velocity_steps},
    {"channel stage", &project_options::chan_stage, &output_state::chan_stage_fp,
     &output_state::linknode_stage_steps},
    {"pipe flow", &project_options::pipe_flow, &output_state::pipe_flow_fp, &output_state::linknode_pipe_flow_steps},
    {"pipe node head", &project_options::pipe_head, &output_state::pipe_head_fp,
     &output_state::linknode_pipe_head_steps},
    {"tile drain flow", &project_options::pipe_tile, &output_state::pipe_tile_fp,
     &output_state::linknode_pipe_tile_steps},
};

void write_ascii_file_list(const model_state& m, std::FILE* fp) {
    summary_line(m, fp, "     hydrograph at the catchment outlet (%s).\n", written_path(m.outlet_hydro).c_str());
    if (m.in_hyd_location_given)
        summary_line(m, fp, "     hydrographs at selected locations (%s).\n", written_path(m.out_hyd_location).c_str());
    if (m.outlet_sed_lines > 0)
        summary_line(m, fp, "     sediment outflow at the catchment outlet (%s).\n",
                     written_path(m.project_options.outlet_sed_flux).c_str());
    if (m.out_sed_loc_fp && m.sed_loc_count > 0 && m.outlet_sed_lines > 0)
        summary_line(m, fp, "     sediment hydrographs at selected locations (%s).\n",
                     written_path(m.project_options.out_sed_loc).c_str());
    for (const dataset_line& d : kDatasetLines) {
        if (m.*d.slot && m.*d.steps > 0)
            summary_line(m, fp, "     %s, a link/node dataset (%s).\n", d.what,
                         written_path(m.project_options.*d.card).c_str());
    }
}

void write_output_lists(const model_state& m, std::FILE* fp) {
    summary_line(m, fp, "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY %d TIMESTEP(S):\n", m.map_freq);
    write_map_list(m, fp);
    summary_line(m, fp, "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY %d TIMESTEP(S):\n",
                 m.hyd_freq);
    write_ascii_file_list(m, fp);
}

using section = void (*)(const model_state&, std::FILE*);

// The event summary in its order.
const section kEventSections[] = {
    write_title,         write_rainfall, write_setting,              write_peak,
    write_volumes,       write_mass_conservation,    write_richards, write_groundwater,
    write_section_break, write_event_constituent_summary, write_event_sediment_summary, write_warnings,
    write_inputs_and_processes,
    write_output_lists,
};

}  // namespace

void write_padded_value(std::FILE* fp, const std::string& label, double value, int width,
                        const char* value_format, char fill, int point_column, int extra_newlines) {
    const std::string text = format_text(value_format, value);
    const std::size_t dot = text.find('.');
    const long point = static_cast<long>(dot == std::string::npos ? text.size() : dot);
    std::string line = label + " ";
    const long dots = static_cast<long>(width) - static_cast<long>(label.size()) - 1;
    if (dots > 0) line.append(static_cast<std::size_t>(dots), fill);
    line.append(static_cast<std::size_t>(std::max(0L, point_column - point) + 1), ' ');
    line += text;
    line.append(static_cast<std::size_t>(std::max(0, extra_newlines)) + 1, '\n');
    std::fputs(line.c_str(), fp);
}

void write_padded_value(const model_state& m, std::FILE* fp, const std::string& label, double value, int width,
                        const char* value_format, char fill, int point_column, int extra_newlines) {
    if (!std::isfinite(value)) {
        refuse_unwritten(m, value, "\"" + label + "\"", "", written_file_words(m, fp));
        return;
    }
    write_padded_value(fp, label, value, width, value_format, fill, point_column, extra_newlines);
}

void write_startup_info(model_state& m, const std::string& project_file) {
    std::FILE* fp = m.summary_fp.get();
    if (!fp) return;
    std::fputs("\n\n", fp);
    std::fputs("_________KESTA start-up information________\n", fp);
    summary_line(m, fp, "Run parameters read from TVM project file: %s\n", project_file.c_str());
    if (replace_mode_on()) print_replace_values(fp);
}

void write_run_stopped(model_state& m) {
    // A value that is not finite stops the run wherever it is written, the
    // summaries of the run included: what was written before it stands.
    if (m.value_unwritten) {
        put_text(m.summary_fp.get(),
                 format_text("\nThe run stopped on the error above at %.2lf minutes of simulated time (%s): the "
                             "value it names was not written, and every output ends there.\n",
                             m.elapsed_min, date_time_text(m.time).c_str()));
        return;
    }
    put_text(m.summary_fp.get(),
             format_text("\nThe run stopped on the error above at %.2lf minutes of simulated time (%s).\n"
                         "Every output ends there; the summaries of the unfinished event and of the run "
                         "are not written.\n",
                         m.elapsed_min, date_time_text(m.time).c_str()));
}

void write_setup_stopped(model_state& m) {
    put_text(m.summary_fp.get(),
             "\nThe run stopped on the error above while it was being set up; the simulation did not begin.\n");
}

void write_event_summary(model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!fp) return;
    for (section s : kEventSections) s(m, fp);
    ++m.event_summaries_written;
}

void write_pending_warnings(model_state& m) {
    std::FILE* fp = m.summary_fp.get();
    if (!fp || !warnings_pending()) return;
    std::fputs(m.event_summaries_written > 0 ? "\nTHE FOLLOWING WARNINGS WERE GIVEN AFTER THE LAST EVENT SUMMARY:\n"
                                             : "\nTHE FOLLOWING WARNINGS WERE GIVEN:\n",
               fp);
    write_given_warnings(fp, take_warnings());
}

}  // namespace kesta
