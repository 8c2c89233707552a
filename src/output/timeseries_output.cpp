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
#include "core/text_format.hpp"
#include "output/finite_output.hpp"
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
    if (!std::isfinite(q)) {
        refuse_unwritten(m, q, "the discharge", "the outlet",
                         written_file_words(m, m.outlet_hydro_fp ? m.outlet_hydro_fp.get() : m.sig_outlet_hydro_fp.get()));
        return;
    }
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
    if (!m.chan_sed_on) {
        const bool stepped = m.ov_last_time == m.time && m.timestep > 0.0;
        const double q = stepped ? s.sed_out_vol / m.timestep : 0.0;
        if (!print_named(m, fp, "the sediment discharge", "the outlet", minutes ? "%8.2lf %10.6lf\n" : "%16.8lf %10.6lf\n",
                         t, q * factor))
            return;
        ++m.outlet_sed_lines;
        return;
    }
    // Place k: fine class k, or sand class k - n_fine_classes.
    value_line line;
    if (minutes)
        line.put("%8.2lf", t);
    else
        line.put(!m.long_term && m.qout_cfs ? "%16.8lf " : "%16.8lf", t);
    for (int k = 1; k <= s.n_fine_classes; ++k) {
        line.at(k);
        line.put(" %10.6lf", value_at(s.qs_out_chan_wash, k) * factor);
    }
    for (int k = 1; k <= s.n_sand_classes; ++k) {
        line.at(s.n_fine_classes + k);
        line.put(" %10.6lf", value_at(s.qs_out_chan_sand, k) * factor);
    }
    line.text("\n");
    const auto outlet_class = [&s](int k) {
        return k <= s.n_fine_classes ? format_text("the outlet, fine sediment class %d", k)
                                     : format_text("the outlet, sand class %d", k - s.n_fine_classes);
    };
    if (!line.write(m, fp, "the sediment discharge", outlet_class)) return;
    ++m.outlet_sed_lines;
    std::FILE* tss = m.outlet_sed_tss_fp.get();
    if (tss && m.nlinks >= 1 && s.node_stride > 0) {
        const int row = m.nlinks * s.node_stride + m.link_nodes[m.nlinks];
        print_named(m, tss, "the wash-load concentration", format_text("the outlet node (node %d of link %d)", m.link_nodes[m.nlinks], m.nlinks),
                     "%8.2lf %14.6lf \n", t, value_at(s.chan_sed_conc, row));
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

// The places of the location series: a line holds the values of its
// locations in order, and a place names the location (and the constituent
// or class) of a value.
std::string hyd_location(const model_state& m, int k) {
    const int node = k <= m.hnode.n() ? m.hnode[k] : 0, link = k <= m.hlink.n() ? m.hlink[k] : 0;
    return format_text("hydrograph location %d (node %d of link %d)", k, node, link);
}

// Place p of a line of several values per location: location p / per + 1,
// value p % per of it.
int place_of(int k, int per, int value) { return (k - 1) * per + value; }

void write_location_discharge(const model_state& m, value_line& line) {
    const double factor = m.qout_cfs ? m.cms_to_cfs : 1.0;
    int k = 0;
    for_each_hyd_location(m, [&](int node, int link) {
        line.at(++k);
        line.put("%12.6lf ", node_value(m.qp, node, link) * factor);
    });
}

// Depths are never converted to feet.
void write_location_depth(const model_state& m, value_line& line) {
    int k = 0;
    for_each_hyd_location(m, [&](int node, int link) {
        line.at(++k);
        line.put("%12.6lf ", node_value(m.chan_depth, node, link));
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

// A hydrograph location and constituent c.
std::string constituent_location(const model_state& m, int p) {
    const int per = m.ncontam + 1, k = p / per + 1, c = p % per;
    const std::string name = c >= 1 && static_cast<std::size_t>(c) < m.contam_names.size()
                                 ? m.contam_names[static_cast<std::size_t>(c)]
                                 : std::string();
    return format_text("%s, constituent %d (%s)", hyd_location(m, k).c_str(), c, name.c_str());
}

// The concentration (g/m3) of every constituent at every hydrograph
// location, location by location.
void write_location_conc(const model_state& m, value_line& line) {
    int k = 0;
    for_each_hyd_location(m, [&](int node, int link) {
        const int row = constituent_row(m, node, link);
        ++k;
        for (int c = 1; c <= m.ncontam && c <= m.chan_conc.nrows(); ++c) {
            line.at(place_of(k, m.ncontam + 1, c));
            line.put("%12.6lf ", row > 0 ? m.chan_conc[c][row] : 0.0);
        }
    });
}

// The dissolved mass flux (g/s, negative upstream) of every constituent
// through the downstream face of every hydrograph location; with
// SEDIMENT_CONTAM each followed by the attached mass flux (0 while the
// channels carry no sediment, and always for the nutrient species, which
// stay dissolved).
void write_location_mass(const model_state& m, value_line& line) {
    int k = 0;
    for_each_hyd_location(m, [&](int node, int link) {
        const int row = constituent_row(m, node, link);
        ++k;
        for (int c = 1; c <= m.ncontam && c <= m.dissolved_chan_flux.nrows(); ++c) {
            line.at(place_of(k, m.ncontam + 1, c));
            line.put("%12.6lf ", row > 0 ? m.dissolved_chan_flux[c][row] : 0.0);
            if (!m.sediment_contam) continue;
            const bool kept = row > 0 && c <= m.attached_chan_flux.nrows();
            line.put("%12.6lf ", kept ? m.attached_chan_flux[c][row] : 0.0);
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

std::string moisture_location(const model_state& m, int k) {
    const int cell = k <= m.cell_loc.n() ? m.cell_loc[k] : 0;
    return format_text("soil-moisture location %d, %s", k, cell_place(m, cell).c_str());
}

void write_location_moisture(const model_state& m, value_line& line) {
    switch (moisture_kind(m)) {
        case location_moisture::cell:
            for (int k = 1; k <= m.cell_loc_count && k <= m.cell_loc.n(); ++k) {
                const int cell = m.cell_loc[k];
                line.at(k);
                line.put("%12.6lf ", cell >= 1 && cell <= m.theta_all.n() ? m.theta_all[cell] : 0.0);
            }
            break;
        case location_moisture::two_layers:
            for (int k = 1; k <= m.cell_loc_count && k <= m.cell_loc.n(); ++k) {
                const layer_moistures t = soil_layer_moistures(m, m.cell_loc[k]);
                line.at(k);
                line.put("%12.6lf ", t.top);
                line.put("%12.6lf ", t.lower);
            }
            break;
        case location_moisture::richards_nodes:
            for (int k = 1; k <= m.cell_loc_count && k <= m.cell_loc.n() && k <= m.cell_num.n(); ++k) {
                line.at(k);
                for (int j = 1; j <= m.cell_num[k]; ++j)
                    line.put("%12.6lf ", richards_node_theta(m, m.cell_loc[k], m.cell_nodes[k][j]));
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

std::string sediment_location(const model_state& m, int k) {
    return format_text("sediment location %d (node %d of link %d)", k, m.snode[k], m.slink[k]);
}

// A sediment location and class c.
std::string sediment_class_location(const model_state& m, int p) {
    const int per = m.ov_sed->num_sed + 1;
    return format_text("%s, sediment class %d", sediment_location(m, p / per + 1).c_str(), p % per);
}

// The sediment flux through the downstream face of every sediment location,
// by fine class, then by sand class (m3/s, or ft3/s with QOUT_CFS).
void write_location_sediment_flux(const model_state& m, value_line& line) {
    const sed_record& s = *m.ov_sed;
    const double factor = m.qout_cfs ? m.cms_to_cfs : 1.0;
    for (int k = 1; k <= m.sed_loc_count; ++k) {
        const double* q = s.qsmax[sediment_row(m, k)];
        for (int c = 1; c <= s.num_sed; ++c) {
            line.at(place_of(k, s.num_sed + 1, c));
            line.put("%10.7lf ", q[c] * factor);
        }
    }
}

// The wash-load concentration of every sediment location (g/m3).
void write_location_sediment_conc(const model_state& m, value_line& line) {
    for (int k = 1; k <= m.sed_loc_count; ++k) {
        line.at(k);
        line.put("%14.6lf", m.ov_sed->chan_sed_conc[sediment_row(m, k)]);
    }
}

std::string well_location(const model_state& m, int k) {
    return format_text("well %d (row %d, column %d)", k, m.well_row[k], m.well_column[k]);
}

// The head of every well location (OUT_WELL_LOCATION).
void write_well_levels(const model_state& m, value_line& line) {
    for (int k = 1; k <= m.well_count && k <= m.well_row.n() && k <= m.well_column.n(); ++k) {
        line.at(k);
        line.put("%12.6lf ", value_at(m.elevgw, m.mask[m.well_row[k]][m.well_column[k]]));
    }
}

struct location_series {
    output_slot output_state::*slot;
    bool (*wanted)(const model_state&);
    void (*write_values)(const model_state&, value_line&);
    const char* quantity;
    std::string (*place)(const model_state&, int);
};

const location_series kLocationSeries[] = {
    {&output_state::out_hyd_location_fp, [](const model_state& m) { return m.in_hyd_location_given != 0; },
     write_location_discharge, "the discharge", hyd_location},
    {&output_state::out_dep_location_fp, [](const model_state& m) { return m.out_dep_location_given != 0; },
     write_location_depth, "the depth", hyd_location},
    {&output_state::out_con_location_fp,
     [](const model_state& m) { return m.out_con_location_given && constituents_located(m); }, write_location_conc,
     "the concentration", constituent_location},
    {&output_state::out_mass_location_fp,
     [](const model_state& m) { return m.out_mass_location_given && constituents_located(m); }, write_location_mass,
     "the mass flux", constituent_location},
    {&output_state::out_theta_location_fp,
     [](const model_state& m) { return m.in_theta_location_given && moisture_written(m); }, write_location_moisture,
     "the soil moisture", moisture_location},
    {&output_state::gw_well_level_fp, [](const model_state& m) { return m.gw_simulation && m.gw_well_level_given; },
     write_well_levels, "the groundwater head", well_location},
    {&output_state::out_sed_loc_fp, sediment_located, write_location_sediment_flux, "the sediment flux",
     sediment_class_location},
    {&output_state::out_tss_loc_fp, sediment_located, write_location_sediment_conc, "the wash-load concentration",
     sediment_location},
};

// Each line starts with the time: the long-term time, else the elapsed
// minutes (never the Julian time of an event run). A line with a value
// that is not finite is not written, and the run stops.
void write_location_series(const model_state& m) {
    for (const location_series& s : kLocationSeries) {
        std::FILE* fp = (m.*s.slot).get();
        if (!fp || !s.wanted(m)) continue;
        value_line line;
        if (m.long_term)
            line.put("%16.8lf ", long_term_time(m));
        else
            line.put("%14.8lf ", m.elapsed_min);
        s.write_values(m, line);
        line.text("\n");
        line.write(m, fp, s.quantity, [&](int p) { return s.place(m, p); });
    }
}

// The level and volume of every channel lake (LAKE_OUTPUT), after the
// calendar time in long-term runs, else the elapsed minutes.
void write_lake_output(const model_state& m) {
    std::FILE* fp = m.lake_output_fp.get();
    if (!fp || !m.chan_lakes_on) return;
    value_line line;
    if (m.long_term)
        line.text(format_text("%4d %2d %2d %2d %2d ", m.year, m.month, m.day, m.hour, m.minute).c_str());
    else
        line.put("%14.8lf ", m.elapsed_min);
    for (int k = 1; k <= m.nlakes; ++k) {
        line.at(k);
        line.put("%9.3lf  ", m.lake_elev[k]);
        line.put("%9.3lf ", m.lake_volume[k]);
    }
    line.text("\n");
    line.write(m, fp, "the level or volume", [](int k) { return format_text("lake %d", k); });
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
        for (auto& out : m.constituent_linknodes)
            if (!out->write_step(m)) return;
}

}  // namespace kesta
