// The hourly hydrometeorology step of long-term runs: the next weather
// record, the basin averages of the soil, the potential evapotranspiration
// of the hour, the frozen-ground index and, between events, the snowmelt.
// Also the check that an event lies within the weather data.
#include <cmath>
#include <cstdio>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "subsurface/soil_accounting.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kNoDepth = 1e-16;  // cm; a shallower column has no soil
constexpr double kCmPerMetre = 100.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr int kPorosityField = 7;  // of the soil class record

bool in_lake(const model_state& m, int k) { return in_overland_lake(m, k) || in_channel_lake(m, k); }

// The soil moisture a cell reports: the top of its Richards column (kept
// there by the solver), else the store over the soil depth; a cell with no
// unsaturated soil is at its porosity.
double reported_moisture(model_state& m, int k) {
    if (m.inf_richards_on) return value_at(m.theta_all, k);
    const double depth = value_at(m.soil_depth, k);
    double theta = 0.0;
    if (depth > kNoDepth) {
        theta = value_at(m.Ws1, k) / depth;
    } else if (m.inf_redist_on) {
        theta = value_at(m.phi_map, k);
    } else {
        const double* s = soil_class_of(m, k);
        theta = s ? s[kPorosityField] : 0.0;
    }
    if (k <= m.theta_all.n()) m.theta_all[k] = theta;
    return theta;
}

struct basin_means {
    double pet = 0.0;   // cm/h
    double cfgi = 0.0;
    double layer1 = kNoSecondLayer, layer2 = kNoSecondLayer;
    // The first cell with a quantity of the hourly log that is no number
    // (0 when none), the quantity and its value.
    int bad_cell = 0;
    const char* bad_what = "";
    double bad_value = 0.0;
};

// Notes the first cell whose `value` is no number.
void note_number(basin_means& b, int k, const char* what, double value) {
    if (b.bad_cell != 0 || std::isfinite(value)) return;
    b.bad_cell = k;
    b.bad_what = what;
    b.bad_value = value;
}

// Averages over the cells outside the lakes; 0 when every cell lies in a lake.
basin_means basin_averages(model_state& m) {
    double infil = 0.0, bottom = 0.0, theta = 0.0, pet = 0.0, cfgi = 0.0, l1 = 0.0, l2 = 0.0;
    int count = 0, n1 = 0, n2 = 0;
    basin_means means;
    for (int k = 1; k <= m.ncells; ++k) {
        if (in_lake(m, k)) continue;
        infil += value_at(m.fav, k);
        bottom += value_at(m.bottomfav, k);
        note_number(means, k, "infiltration rate", value_at(m.fav, k));
        note_number(means, k, "bottom flux", value_at(m.bottomfav, k));
        const double t = reported_moisture(m, k);
        if (!std::isfinite(t)) warn(format_text("Theta_all for cell %d is not a number \n", k));
        note_number(means, k, "soil moisture", t);
        theta += t;
        if (m.soil_et_accounting && value_at(m.soil_depth, k) > kNoDepth) {
            const layer_moistures layers = soil_layer_moistures(m, k);
            note_number(means, k, "top-layer moisture", layers.top);
            note_number(means, k, "lower-layer moisture", layers.lower);
            l1 += layers.top;
            ++n1;
            if (layers.lower != kNoSecondLayer) {
                l2 += layers.lower;
                ++n2;
            }
        }
        pet += value_at(m.pot_et, k) * kSecondsPerHour;
        cfgi += value_at(m.CFGI, k);
        note_number(means, k, "potential evapotranspiration rate", value_at(m.pot_et, k));
        note_number(means, k, "frozen-ground index", value_at(m.CFGI, k));
        ++count;
    }
    const double cells = count > 0 ? count : 1.0;
    m.basin_avg_infil = infil / cells;
    m.basin_avg_bottom_flux = bottom / cells;
    m.basin_avg_theta = theta / cells;
    means.pet = pet / cells;
    means.cfgi = cfgi / cells;
    if (n1 > 0) means.layer1 = l1 / n1;
    if (n2 > 0) means.layer2 = l2 / n2;
    const double area = m.gridsize * m.gridsize * cells;
    m.basin_aet_depth = count > 0 ? (m.soil_et_volume - m.soil_et_volume_last) / area * kCmPerMetre : 0.0;
    m.soil_et_volume_last = m.soil_et_volume;
    return means;
}

// The hourly log holds numbers only: a cell whose soil holds no number
// stops the run, named, before its line is written. False after the stop.
bool log_holds_numbers(model_state& m, const basin_means& b) {
    const date_record& d = m.hmet_record_date;
    const std::string when = format_text("%d/%d/%d %d:00", d.month, d.day, d.year, d.hour);
    if (b.bad_cell != 0) {
        int row = 0, col = 0;
        cell_row_col(m, b.bad_cell, row, col);
        store_refusal(format_text("Error: at the weather record of %s the %s of cell %d (row %d, column %d) is no "
                                  "number (%g).  The run stops.\n",
                                  when.c_str(), b.bad_what, b.bad_cell, row, col, b.bad_value));
        return false;
    }
    const double basin[] = {m.basin_aet_depth, m.hmet_air_temp};
    for (double v : basin) {
        if (std::isfinite(v)) continue;
        store_refusal(format_text("Error: at the weather record of %s the basin's actual evapotranspiration or air "
                                  "temperature is no number (%g).  The run stops.\n",
                                  when.c_str(), v));
        return false;
    }
    return true;
}

void report_hour(model_state& m, const basin_means& b) {
    const date_record& d = m.hmet_record_date;
    if (!m.super_quiet)
        std::printf("%d/%d/%d %2d:00 PET cm/h %6.4lf AET cm/h %6.4lf Infil cm/h %6.4lf Theta %5.2lf \n", d.year,
                    d.month, d.day, d.hour, b.pet, m.basin_aet_depth, m.basin_avg_infil, m.basin_avg_theta);
    std::FILE* fp = m.evap_out_fp.get();
    if (!fp) return;
    // A line with a value that is not finite is not written: the run stops.
    value_line line;
    line.text(format_text("%d/%d/%d  %2d:00", d.year, d.month, d.day, d.hour).c_str());
    const double values[] = {m.basin_avg_theta, b.pet,  m.basin_aet_depth, m.basin_avg_infil, m.basin_avg_bottom_flux,
                             b.cfgi,            m.hmet_air_temp};
    for (double v : values) line.put(" %12.6lf", v);
    if (m.soil_et_accounting) {
        line.put("%12.6lf   ", b.layer1);
        line.put("%12.6lf", b.layer2);
    }
    line.text("\n");
    line.write(m, fp, "a basin average of the weather record", [&](int) {
        return format_text("the weather record of %d/%d/%d %2d:00", d.year, d.month, d.day, d.hour);
    });
}

// The weather ran out. During the last event the run goes on to the event's
// end without weather; otherwise it ends, and an event still running ends
// with it, so that its summary is written.
void end_of_data(model_state& m) {
    if (m.event_active && m.event_index == m.nevents) {
        m.hmet_next = kHmetDataEnded;
        return;
    }
    m.running = 0;
    std::printf("End of meteorology data reached.  KESTA terminated\n");
    if (m.event_active) {
        m.event_active = 0;
        m.event_ended = 1;
        m.event_done = 1;
    }
}

void decay_cells(model_state& m) {
    for (int k = 1; k <= m.ncells && k <= m.CFGI.n(); ++k) {
        if (in_lake(m, k)) continue;
        m.CFGI[k] = frozen_ground_index(m.CFGI[k], m.hmet_air_temp, value_at(m.snowdepth, k));
    }
}

}  // namespace

void step_hydromet(model_state& m) {
    if (!m.long_term || !clock_due(m.hmet_next, m.time, m.time_tol)) return;
    const double seconds = (m.time - m.hmet_last) * kSecondsPerDay;
    const int result = read_hmet_record(m);
    if (g_error_record.stop || g_error_record.code != 0) return;
    if (result == -1) {
        end_of_data(m);
    } else {
        if (m.inf_richards_on || m.soil_et_accounting) {
            const basin_means b = basin_averages(m);
            if (!log_holds_numbers(m, b)) return;
            report_hour(m, b);
        }
        evapo_trans(m);
        if (g_error_record.stop) return;
        if (m.chan_lakes_on) lake_evaporation(m);
        if (g_error_record.stop) return;
        advance_interval_clock(m.hmet_last, m.hmet_next, m.time, m.hmet_interval);
        ++m.hmet_call_count;
    }
    decay_cells(m);
    if (m.snow_present && !m.event_active) m.snow_present = snowmelt_energy_balance(m, seconds);
}

int check_hmet_dates(const date_record& begin, const date_record& end, int year, int month, int day, int hour) {
    const long y = year, mo = month, d = day, h = hour;
    if (year < begin.year) {
        std::printf("\nRaingage Data starts in %ld, hydromet data doesn't start until %ld.\n", y,
                    static_cast<long>(begin.year));
        std::printf("Program terminating.  Check your dates.\n");
        return 0;
    }
    if (year > end.year) {
        std::printf("\nRaingage Data starts in %ld, hydromet data ends in %ld.\n", y, static_cast<long>(end.year));
        std::printf("Program terminating.  Check your dates.\n");
        return 0;
    }
    if (year == begin.year) {
        const long bm = begin.month, bd = begin.day, bh = begin.hour, by = begin.year;
        if (month < begin.month) {
            std::printf("\nRaingage Data starts in month %ld of %ld while hmet data starts in\n"
                        "month %ld of %ld\nProgram terminating.  Check your dates.\n",
                        mo, y, bm, by);
            return 0;
        }
        if (month == begin.month && day < begin.day) {
            std::printf("\nRaingage data starts on day %ld of month %ld in year %ld\n"
                        "while the hmet data begins on day %ld of month %ld in year %ld\n"
                        "Program terminating.  Check your dates.\n",
                        d, mo, y, bd, bm, by);
            return 0;
        }
        if (month == begin.month && day == begin.day && hour < begin.hour) {
            std::printf("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n"
                        "while the hmet data begins on hour %ld day %ld of month %ld in year %ld\n"
                        "Program terminating.  Check your times and dates.\n",
                        h, d, mo, y, bh, bd, bm, by);
            return 0;
        }
    }
    if (year == end.year) {
        const long em = end.month, ed = end.day, eh = end.hour, ey = end.year;
        if (month > end.month) {
            std::printf("\nRaingage Data starts in month %ld of %ld while hmet data ends in\n"
                        "month %ld of %ld\nProgram terminating.  Check your dates.\n",
                        mo, y, em, ey);
            return 0;
        }
        if (month == end.month && day > end.day) {
            std::printf("\nRaingage data starts on day %ld of month %ld in year %ld\n"
                        "while the hmet data ends on day %ld of month %ld in year %ld\n"
                        "Program terminating.  Check your dates.\n",
                        d, mo, y, ed, em, ey);
            return 0;
        }
        if (month == end.month && day == end.day && hour > end.hour) {
            std::printf("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n"
                        "while the hmet data ends on hour %ld day %ld of month %ld in year %ld\n"
                        "Program terminating.  Check your times and dates.\n",
                        h, d, mo, y, eh, ed, em, ey);
            return 0;
        }
    }
    return 1;
}

}  // namespace kesta
