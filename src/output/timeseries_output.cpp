// The time-series step: on every output pass (a step index that is a
// multiple of the hydrograph interval, the first pass included) one line is
// written to the outlet hydrograph, its high-precision copy, the outlet
// sediment series and each series at listed locations.
//
// The location series are one table: the file, the switch that calls for it
// and the writer of its values; a process that adds a series adds a row.
#include <cstdio>

#include "core/calendar.hpp"
#include "core/parallel_env.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "output/output_steps.hpp"
#include "output/vq_fluxes.hpp"
#include "output/vq_inflow.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/soil_accounting.hpp"

namespace kesta {

namespace {

// Minutes in a leap year and in a common year.
constexpr double kLeapYearMinutes = 527040.0;
constexpr double kYearMinutes = 525600.0;

// The time of a long-term line: the Julian time with STRICT_JULIAN_DATE,
// else the decimal year.
double long_term_time(const model_state& m) {
    if (m.strict_julian_date) return m.time;
    const double minutes = is_leap_year(m.year) ? kLeapYearMinutes : kYearMinutes;
    return m.year + (m.day_of_year * 1440.0 + m.hour * 60.0 + m.minute) / minutes;
}

// Outlet hydrograph formats of one kind of run: time column and discharge.
struct outlet_formats {
    const char* cms;  // OUTLET_HYDRO in m3/s
    const char* cfs;  // OUTLET_HYDRO with QOUT_CFS
    const char* sig;  // SIG_OUTLET_HYDRO
};

constexpr outlet_formats kEventFormats = {"%8.2lf %9.3lf\n", "%8.2lf %10.3lf\n", "%8.2lf %12.6lf\n"};
constexpr outlet_formats kEventJulianFormats = {"%16.8lf %9.3lf\n", "%16.8lf %10.3lf\n",
                                                "%8.2lf %12.6lf\n"};
constexpr outlet_formats kLongTermFormats = {"%16.8lf %11.4lf\n", "%16.8lf %11.4lf\n",
                                             "%8.2lf %12.6lf\n"};

void write_outlet(model_state& m) {
    const outlet_formats* f = &kEventFormats;
    double t = m.elapsed_min;
    if (m.long_term) {
        f = &kLongTermFormats;
        t = long_term_time(m);
    } else if (m.strict_julian_date) {
        f = &kEventJulianFormats;
        t = m.time;
    }
    const double q = m.qout_cfs ? m.q_out * m.cms_to_cfs : m.q_out;
    if (m.outlet_hydro_fp) std::fprintf(m.outlet_hydro_fp.get(), m.qout_cfs ? f->cfs : f->cms, t, q);
    if (m.sig_outlet_hydro_fp) std::fprintf(m.sig_outlet_hydro_fp.get(), f->sig, t, q);
    ++m.outlet_hydro_lines;
}

// The sediment discharge at the outlet (m3/s, or ft3/s with QOUT_CFS), on
// the time column of the outlet hydrograph. With channel sediment: the
// wash load of each fine class and the sand of each sand class through the
// outlet in the last channel step, and the outlet node's wash-load
// concentration (g/m3) to OUTLET_SED_TSS. Without it: the volume of every
// class that left the grid over land in the last overland step, over the
// time step (0 when the overland did not step at this time).
void write_outlet_sediment(model_state& m) {
    std::FILE* fp = m.outlet_sed_flux_fp.get();
    if (!fp || !m.soil_erosion_given || !m.ov_sed) return;
    const sed_record& s = *m.ov_sed;
    double t = m.elapsed_min;
    bool minutes = true;
    if (m.long_term) {
        t = long_term_time(m);
        minutes = false;
    } else if (m.strict_julian_date) {
        t = m.time;
        minutes = false;
    }
    const double factor = m.qout_cfs ? m.cms_to_cfs : 1.0;
    ++m.outlet_sed_lines;
    if (!m.chan_sed_on) {
        const bool stepped = m.ov_last_time == m.time && m.timestep > 0.0;
        const double q = stepped ? s.sed_out_vol / m.timestep : 0.0;
        std::fprintf(fp, minutes ? "%8.2lf %10.6lf\n" : "%16.8lf %10.6lf\n", t, q * factor);
        return;
    }
    if (minutes)
        std::fprintf(fp, "%8.2lf", t);
    else
        std::fprintf(fp, !m.long_term && m.qout_cfs ? "%16.8lf " : "%16.8lf", t);
    for (int k = 1; k <= s.n_fine_classes; ++k) std::fprintf(fp, " %10.6lf", value_at(s.qs_out_chan_wash, k) * factor);
    for (int k = 1; k <= s.n_sand_classes; ++k) std::fprintf(fp, " %10.6lf", value_at(s.qs_out_chan_sand, k) * factor);
    std::fputs("\n", fp);
    std::FILE* tss = m.outlet_sed_tss_fp.get();
    if (tss && m.nlinks >= 1 && s.node_stride > 0) {
        const int row = m.nlinks * s.node_stride + m.link_nodes[m.nlinks];
        std::fprintf(tss, "%8.2lf %14.6lf \n", t, value_at(s.chan_sed_conc, row));
    }
}

// A node table value at [node][link]; 0.0 for a location outside the table.
double node_value(const node_table<double>& table, int node, int link) {
    if (node < 0 || node > table.nrows() || link < 0 || link > table.ncols()) return 0.0;
    return table[node][link];
}

// Calls `write` with the node and link of every hydrograph location.
template <class F>
void for_each_hyd_location(const model_state& m, F write) {
    for (int k = 1; k <= m.hyd_loc_count && k <= m.hlink.n() && k <= m.hnode.n(); ++k)
        write(m.hnode[k], m.hlink[k]);
}

void write_location_discharge(const model_state& m, std::FILE* fp) {
    const double factor = m.qout_cfs ? m.cms_to_cfs : 1.0;
    for_each_hyd_location(m, [&](int node, int link) {
        std::fprintf(fp, "%12.6lf ", node_value(m.qp, node, link) * factor);
    });
}

// Depths are never converted to feet.
void write_location_depth(const model_state& m, std::FILE* fp) {
    for_each_hyd_location(m, [&](int node, int link) {
        std::fprintf(fp, "%12.6lf ", node_value(m.chan_depth, node, link));
    });
}

// The row of the channel constituent tables of node `node` of link `link`;
// 0 (a row that holds nothing) for a place outside the network.
int constituent_row(const model_state& m, int node, int link) {
    if (link < 1 || link > m.nlinks || node < 1 || node >= m.chan_stride) return 0;
    return link * m.chan_stride + node;
}

bool constituents_located(const model_state& m) {
    return m.in_hyd_location_given && m.chan_con_trans && !m.chan_conc.empty() && m.chan_stride > 0;
}

// The concentration (g/m3) of every constituent at every hydrograph
// location, location by location.
void write_location_conc(const model_state& m, std::FILE* fp) {
    for_each_hyd_location(m, [&](int node, int link) {
        const int row = constituent_row(m, node, link);
        for (int c = 1; c <= m.ncontam && c <= m.chan_conc.nrows(); ++c)
            std::fprintf(fp, "%12.6lf ", row > 0 ? m.chan_conc[c][row] : 0.0);
    });
}

// The dissolved mass flux (g/s, negative upstream) of every constituent
// through the downstream face of every hydrograph location; with
// SEDIMENT_CONTAM each followed by the attached mass flux (0 while the
// channels carry no sediment, and always for the nutrient species, which
// stay dissolved).
void write_location_mass(const model_state& m, std::FILE* fp) {
    for_each_hyd_location(m, [&](int node, int link) {
        const int row = constituent_row(m, node, link);
        for (int c = 1; c <= m.ncontam && c <= m.dissolved_chan_flux.nrows(); ++c) {
            std::fprintf(fp, "%12.6lf ", row > 0 ? m.dissolved_chan_flux[c][row] : 0.0);
            if (!m.sediment_contam) continue;
            const bool kept = row > 0 && c <= m.attached_chan_flux.nrows();
            std::fprintf(fp, "%12.6lf ", kept ? m.attached_chan_flux[c][row] : 0.0);
        }
    });
}

// The soil moisture a soil-moisture location (IN_THETA_LOCATION) writes: the
// one the run's infiltration method keeps. The Richards method keeps one per
// soil node and the soil ET accounting of long-term runs one per soil layer;
// every other method keeps one per cell (theta_all).
enum class location_moisture {
    none,            // no infiltration: no moisture to write
    cell,            // theta_all of the cell
    richards_nodes,  // THETA of the listed soil nodes
    two_layers,      // the two layer moistures of soil ET accounting
};

location_moisture moisture_kind(const model_state& m) {
    if (m.inf_richards_on) return location_moisture::richards_nodes;
    if (m.soil_et_accounting && m.long_term) return location_moisture::two_layers;
    if (m.theta_all.empty()) return location_moisture::none;
    return location_moisture::cell;
}

bool moisture_written(const model_state& m) { return moisture_kind(m) != location_moisture::none; }

void write_location_moisture(const model_state& m, std::FILE* fp) {
    switch (moisture_kind(m)) {
        case location_moisture::cell:
            for (int k = 1; k <= m.cell_loc_count && k <= m.cell_loc.n(); ++k) {
                const int cell = m.cell_loc[k];
                std::fprintf(fp, "%12.6lf ", cell >= 1 && cell <= m.theta_all.n() ? m.theta_all[cell] : 0.0);
            }
            break;
        case location_moisture::two_layers:
            for (int k = 1; k <= m.cell_loc_count && k <= m.cell_loc.n(); ++k) {
                const layer_moistures t = soil_layer_moistures(m, m.cell_loc[k]);
                std::fprintf(fp, "%12.6lf %12.6lf ", t.top, t.lower);
            }
            break;
        case location_moisture::richards_nodes:
            for (int k = 1; k <= m.cell_loc_count && k <= m.cell_loc.n() && k <= m.cell_num.n(); ++k) {
                for (int j = 1; j <= m.cell_num[k]; ++j)
                    std::fprintf(fp, "%12.6lf ", richards_node_theta(m, m.cell_loc[k], m.cell_nodes[k][j]));
            }
            break;
        case location_moisture::none:
            break;
    }
}

// The row of the channel sediment tables of sediment location k.
int sediment_row(const model_state& m, int k) { return m.slink[k] * m.ov_sed->node_stride + m.snode[k]; }

bool sediment_located(const model_state& m) {
    return m.chan_sed_on && m.ov_sed && !m.ov_sed->qsmax.empty() && m.sed_loc_count > 0;
}

// The sediment flux through the downstream face of every sediment location,
// by fine class, then by sand class (m3/s, or ft3/s with QOUT_CFS).
void write_location_sediment_flux(const model_state& m, std::FILE* fp) {
    const sed_record& s = *m.ov_sed;
    const double factor = m.qout_cfs ? m.cms_to_cfs : 1.0;
    for (int k = 1; k <= m.sed_loc_count; ++k) {
        const double* q = s.qsmax[sediment_row(m, k)];
        for (int c = 1; c <= s.num_sed; ++c) std::fprintf(fp, "%10.7lf ", q[c] * factor);
    }
}

// The wash-load concentration of every sediment location (g/m3).
void write_location_sediment_conc(const model_state& m, std::FILE* fp) {
    for (int k = 1; k <= m.sed_loc_count; ++k)
        std::fprintf(fp, "%14.6lf", m.ov_sed->chan_sed_conc[sediment_row(m, k)]);
}

// The head of every well location (OUT_WELL_LOCATION).
void write_well_levels(const model_state& m, std::FILE* fp) {
    for (int k = 1; k <= m.well_count && k <= m.well_row.n() && k <= m.well_column.n(); ++k)
        std::fprintf(fp, "%12.6lf ", value_at(m.elevgw, m.mask[m.well_row[k]][m.well_column[k]]));
}

struct location_series {
    file_ptr output_state::*slot;
    bool (*wanted)(const model_state&);
    void (*write_values)(const model_state&, std::FILE*);
};

const location_series kLocationSeries[] = {
    {&output_state::out_hyd_location_fp, [](const model_state& m) { return m.in_hyd_location_given != 0; },
     write_location_discharge},
    {&output_state::out_dep_location_fp, [](const model_state& m) { return m.out_dep_location_given != 0; },
     write_location_depth},
    {&output_state::out_con_location_fp,
     [](const model_state& m) { return m.out_con_location_given && constituents_located(m); }, write_location_conc},
    {&output_state::out_mass_location_fp,
     [](const model_state& m) { return m.out_mass_location_given && constituents_located(m); }, write_location_mass},
    {&output_state::out_theta_location_fp,
     [](const model_state& m) { return m.in_theta_location_given && moisture_written(m); }, write_location_moisture},
    {&output_state::gw_well_level_fp, [](const model_state& m) { return m.gw_simulation && m.gw_well_level_given; },
     write_well_levels},
    {&output_state::out_sed_loc_fp, sediment_located, write_location_sediment_flux},
    {&output_state::out_tss_loc_fp, sediment_located, write_location_sediment_conc},
};

// Each line starts with the time: the long-term time, else the elapsed
// minutes (never the Julian time of an event run).
void write_location_series(const model_state& m) {
    for (const location_series& s : kLocationSeries) {
        std::FILE* fp = (m.*s.slot).get();
        if (!fp || !s.wanted(m)) continue;
        if (m.long_term)
            std::fprintf(fp, "%16.8lf ", long_term_time(m));
        else
            std::fprintf(fp, "%14.8lf ", m.elapsed_min);
        s.write_values(m, fp);
        std::fputs("\n", fp);
    }
}

// The level and volume of every channel lake (LAKE_OUTPUT), after the
// calendar time in long-term runs, else the elapsed minutes.
void write_lake_output(const model_state& m) {
    std::FILE* fp = m.lake_output_fp.get();
    if (!fp || !m.chan_lakes_on) return;
    if (m.long_term)
        std::fprintf(fp, "%4d %2d %2d %2d %2d ", m.year, m.month, m.day, m.hour, m.minute);
    else
        std::fprintf(fp, "%14.8lf ", m.elapsed_min);
    for (int k = 1; k <= m.nlakes; ++k) std::fprintf(fp, "%9.3lf  %9.3lf ", m.lake_elev[k], m.lake_volume[k]);
    std::fputs("\n", fp);
}

}  // namespace

void write_timeseries_output(model_state& m) {
    if (m.series_written_early) {
        m.series_written_early = 0;
        return;
    }
    vq_segment_fluxes_step(m);
    // Only the first process of a group writes series.
    if (g_parallel_env.group_rank() != 0) return;
    // An interval below one step would never divide the step index.
    const int every = m.hyd_freq > 0 ? m.hyd_freq : 1;
    if (m.step % every != 0) return;

    if (m.zep) zep_outlet_values(m);
    write_outlet(m);
    write_outlet_sediment(m);
    write_location_series(m);
    write_lake_output(m);
    vq_qin_write(m);
    vq_segment_fluxes_output(m);

    if (m.outlet_hydro_fp) std::fflush(m.outlet_hydro_fp.get());
    if (m.sig_outlet_hydro_fp) std::fflush(m.sig_outlet_hydro_fp.get());
    if (m.outlet_sed_flux_fp) std::fflush(m.outlet_sed_flux_fp.get());
    if (m.outlet_sed_tss_fp) std::fflush(m.outlet_sed_tss_fp.get());
    write_channel_datasets(m);
    write_pipe_datasets(m);
    if (m.zep) write_nutrient_hydrographs(m, m.long_term ? long_term_time(m) : m.elapsed_min);
    if (m.chan_con_trans)
        for (auto& out : m.constituent_linknodes) out->write_step();
}

}  // namespace kesta
