// The rainfall steps of the time loop: the rain of each new event, the change
// of the rain rates at every period of the event, and the application of the
// step's rain to the cells. When an event begins is the event control's.
#include "overland/precipitation.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/thread_team.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "overland/widest_vectors.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/constituents.hpp"

namespace kesta {

namespace {

// mm/h times s gives mm * 3600; this turns it into metres.
constexpr double kRateSecondsToMetres = 3600000.0;

void set_all_rates(model_state& m, double rate) {
    for (int k = 1; k <= m.ncells && k <= m.ri.n(); ++k) m.ri[k] = rate;
    if (m.interception)
        for (int k = 1; k <= m.ncells && k <= m.ri_eff.n(); ++k) m.ri_eff[k] = rate;
}

void announce_event(model_state& m) {
    const char* file = m.precip_file.c_str();
    if (m.long_term) {
        const int event = m.precip_event_count + 1;
        say_console(m, format_text("reading precip. data for event %3d from file: %s\n", event, file));
        if (m.summary_fp)
            std::fprintf(m.summary_fp.get(), "---reading precip. data for event %3d from file: %s\n\n\n",
                         event, file);
    } else {
        say_console(m, format_text("reading precip data from file: %s\n", file));
    }
}

// Reads the next event, or in a land-management run the event it asked for.
int read_next_event(model_state& m) {
    if (!m.htp || !m.htp_event_num_given) return read_precip_event(m.precip_in, m.precip_ev);
    say_console(m, format_text("Searching through precip input file for HTP event %d\n", m.htp_event_num));
    int result = 0;
    do {
        result = read_precip_event(m.precip_in, m.precip_ev);
    } while (result == 1 && m.precip_in.events < m.htp_event_num);
    return result;
}

void no_event_found(model_state& m) {
    m.precip_state = 2;
    if (m.precip_event_count == 0) {
        std::printf("\n**********************************\n");
        std::printf("Data was not correctly read from the rainfall input file.\n");
        std::printf("Verify the file format.\n");
        std::printf("***********************************\n");
    }
    if (m.long_term && !m.htp) {
        std::printf("Precip data for event %d was not found in file: %s\n", m.precip_event_count + 1,
                    m.precip_file.c_str());
        std::printf("KESTA assumes this means all events have been simulated.\n");
        std::printf("Program terminating normally.\n");
        m.running = 0;
    }
    // The file holds nothing more: no later step reads it again.
    m.precip_event_count = m.nevents;
}

// The gauge-to-cell set-up of a new event. A radar grid that cannot be
// mapped onto the model grid stops the run (code 102).
void prepare_event_cells(model_state& m) {
    precip_event& ev = m.precip_ev;
    if (ev.radar == 2) {
        if (m.precip_radar.ncells != m.ncells) init_precip_grid(m.precip_radar, m);
        const std::string first = ev.radar_files.size() > 1 ? ev.radar_files[1] : std::string();
        map_cells_to_radar(first, m.precip_radar, m.mask);
        return;
    }
    if (ev.ngauges > 1 && m.rain_thiessen) {
        if (m.nearest.n() < m.ncells) m.nearest = vec1<int>(m.ncells);
        find_neighbor(ev.ngauges, m.mask, ev.easting, ev.northing, m.north, m.west, m.nearest,
                      m.gridsize, m.rows, m.cols);
    }
}

// The rates of period p of a gauge event into `rates`.
void spread_gauge_rates(model_state& m, int p, vec1<double>& rates) {
    const precip_event& ev = m.precip_ev;
    if (m.rain_inv_distance) {
        idw_points_to_grid(m.gridsize, p, m.mask, ev.ngauges, ev.northing, ev.easting, m.north,
                           m.west, ev.values, rates, m.rows, m.cols);
    } else {
        nearest_gauge_rain(p, ev.ngauges, m.nearest, ev.values, rates, m.ncells);
    }
}

// The radar grid of data line `line` into `rates`. A file that cannot be
// read leaves the rates of the previous period in use, and says so.
void apply_radar_file(model_state& m, int line, vec1<double>& rates) {
    const precip_event& ev = m.precip_ev;
    if (line < 1 || line >= static_cast<int>(ev.radar_files.size())) return;
    const std::string& file = ev.radar_files[static_cast<std::size_t>(line)];
    std::printf("Reading radar precip file %s.\n", file.c_str());
    if (read_radar_values(file, m.precip_radar) != 0) {
        warn(format_text("Warning: unable to read radar precip file %s; the rain rates of the "
                         "previous period stay in use.\n",
                         file.c_str()));
        return;
    }
    apply_radar_precip(m.precip_radar, rates);
}

void end_rain(model_state& m) {
    m.raining = 0;
    if (m.precip_state == 1) m.precip_state = 0;
    else if (m.precip_state == 2) m.precip_state = 3;
    set_all_rates(m, 0.0);
}

// Times within this many seconds are the same time (the due tolerance).
constexpr double kSameTimeSeconds = 0.01;

// Seconds from the first data line of the event to data line p. Line times
// are whole minutes, so these are whole seconds.
double line_seconds(const precip_event& ev, int p) {
    return std::round((ev.line_time(p) - ev.line_time(1)) * kSecondsPerDay);
}

// Seconds from the first data line of the event to Julian time t, to the
// millisecond, so that a step that begins on a line time meets it exactly.
double event_seconds(const precip_event& ev, double t) {
    return std::round((t - ev.line_time(1)) * kSecondsPerDay * 1000.0) / 1000.0;
}

// Puts the per-cell rates of period p in `period_ri`, once per period.
void use_period(model_state& m, int p) {
    if (m.period_ri_of == p) return;
    if (m.period_ri.n() < m.ncells) m.period_ri = vec1<double>(m.ncells);
    if (m.precip_ev.radar == 2) apply_radar_file(m, p + 1, m.period_ri);
    else spread_gauge_rates(m, p, m.period_ri);
    m.period_ri_of = p;
}

// The period that holds `s` seconds of the event: the last one that begins
// at or before it, passing periods of no length; from period p on.
int period_at(const precip_event& ev, int p, double s) {
    while (p + 1 < ev.nlines && line_seconds(ev, p + 1) <= s + kSameTimeSeconds) ++p;
    return p;
}

// The rates of a step of a file event: each cell receives the rain that
// falls within the step, that is the sum over the periods of the rate times
// the part of the step the period covers, given as the step's mean rate.
// A step that lies within one period takes that period's rate as it is.
void file_step_rates(model_state& m) {
    const precip_event& ev = m.precip_ev;
    const double step = m.timestep > 0.0 ? m.timestep : 0.0;
    const double last = line_seconds(ev, ev.nlines);
    const double s0 = std::max(0.0, event_seconds(ev, m.time));
    if (ev.nlines < 2 || s0 >= last - kSameTimeSeconds) {
        // The time of the last data line has come: the event's rain ends.
        end_rain(m);
        return;
    }
    int p = period_at(ev, m.precip_period > 0 ? m.precip_period : 1, s0);
    const int cells = std::min(m.ncells, m.ri.n());
    if (s0 + step <= line_seconds(ev, p + 1) + kSameTimeSeconds) {
        use_period(m, p);
        for (int k = 1; k <= cells && k <= m.period_ri.n(); ++k) m.ri[k] = m.period_ri[k];
    } else {
        // The rates gather the depth (mm/h x s) of each period first.
        const double s1 = std::min(s0 + step, last);
        for (int k = 1; k <= cells; ++k) m.ri[k] = 0.0;
        for (double a = s0; a < s1 - kSameTimeSeconds;) {
            p = period_at(ev, p, a);
            const double b = std::min(s1, line_seconds(ev, p + 1));
            use_period(m, p);
            for (int k = 1; k <= cells && k <= m.period_ri.n(); ++k) m.ri[k] += m.period_ri[k] * (b - a);
            a = b;
        }
        for (int k = 1; k <= cells; ++k) m.ri[k] /= step;
    }
    m.precip_period = p;
    m.precip_next_time = ev.line_time(p + 1);
}

// Uniform rain: the rate falls for the whole steps of its duration and, when
// the duration ends within a step, for that share of one more step, so the
// run receives intensity x duration whatever the time step.
void uniform_step_rates(model_state& m) {
    if (!m.raining) return;
    const bool partial = m.rain_last_step_fraction > 0.0;
    const int applied = m.uniform_rain_count - 1;  // steps that have had their rain
    if (partial && applied == m.rain_steps) {
        set_all_rates(m, m.rain_intensity * m.rain_last_step_fraction);
        return;
    }
    if (applied > m.rain_steps || (applied == m.rain_steps && !partial)) {
        set_all_rates(m, 0.0);
        m.raining = 0;
        m.event_active = 0;
        m.precip_state = 3;
    }
}

}  // namespace

void start_uniform_rain(model_state& m) {
    if (m.clock_calls != 1) return;
    set_all_rates(m, m.rain_intensity);
    m.raining = 1;
    m.event_active = 1;
    m.precip_state = 1;
    m.uniform_rain_count = 1;
    m.rain_next_time = m.time;
}

void begin_precip_event(model_state& m) {
    m.raining = 1;
    m.event_active = 1;
    announce_event(m);

    const int result = read_next_event(m);
    if (result == -1) {
        refuse("Unexpected end of file in rain gauge data file.\n"
               "Check the format of the data file.\nProgram terminated.");
        return;
    }
    if (result == 0) {
        if (g_error_record.code != 0) return;  // a refusal, reported by the driver
        no_event_found(m);
        return;
    }

    precip_event& ev = m.precip_ev;
    m.precip_start_time = ev.line_time(1);
    const date_record& first = ev.dates[1];
    m.precip_year = first.year;
    m.precip_month = first.month;
    m.precip_day = first.day;
    m.precip_hour = first.hour;
    m.precip_minute = first.minute;
    m.precip_state = 1;
    m.precip_event_count = m.precip_in.events;
    m.event_index = m.precip_event_count;
    m.precip_next_time = m.precip_start_time;
    m.rain_next_time = m.precip_start_time;
    m.precip_period = 1;
    m.period_ri_of = 0;

    if (m.long_term) {
        if (check_hmet_dates(m.hmet_first_record, m.hmet_last_record, first.year, first.month,
                             first.day, first.hour) == 0) {
            refuse(format_text("Error: KESTA failed on date check for precip event %d\n", m.event_index));
            return;
        }
    }
    precip_values_to_rates(ev);
    prepare_event_cells(m);
}

void step_precip_period(model_state& m) {
    if (m.uniform_rain) uniform_step_rates(m);
    else if (m.rain_from_file && m.raining) file_step_rates(m);
}

namespace {

// The rain of `rate` mm/h over dt s as a depth (m) and as a volume on a
// cell of `area` m2 (m3): every path lays it with these same operations.
double rain_depth(double rate, double dt) { return rate * dt / kRateSecondsToMetres; }
double rain_volume(double rate, double dt, double area) { return rate * dt * area / kRateSecondsToMetres; }

// Whether rates[0..count-1] (count > 0) all have the bits of rates[0]: a
// uniform rain, or a gauge's over its cells, whose depth and volume are then
// made once rather than by two divisions a cell. Bits, not values: -0 and
// +0 lay different zeros, and a NaN equals nothing.
inline bool same_rate(const double* rates, int count) {
    std::uint64_t first = 0, differ = 0;
    std::memcpy(&first, rates, sizeof first);
#pragma omp simd reduction(| : differ)
    for (int j = 1; j < count; ++j) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, rates + j, sizeof bits);
        differ |= bits ^ first;
    }
    return differ == 0;
}

// rates[lo..hi] (mm/h) as volumes over dt on cells of `area` m2, added in
// cell order to each of a and b (m3).
void add_block_volumes(const double* rates, int lo, int hi, double dt, double area, double& a, double& b) {
    std::uint64_t last_bits = 0;
    double v = 0.0;
    for (int k = lo; k <= hi; ++k) {
        // A cell with the rate of the one before has its volume.
        std::uint64_t bits = 0;
        std::memcpy(&bits, rates + k, sizeof bits);
        if (k == lo || bits != last_bits) v = rain_volume(rates[k], dt, area);
        last_bits = bits;
        a += v;
        b += v;
    }
}

// The rain of `count` (1 to 4) blocks of `length` cells from block b0 on:
// each cell's depth, and each block's volume (m3, its cells' volumes added
// in cell order from 0) into sums. The blocks' sums run side by side, so
// that the adds of one wait less for the one before. Returns the first cell
// whose depth is then not a number, or past_end.
KESTA_WIDEST_VECTORS int rain_blocks(double* h, const double* rates, int b0, int count, int length, double dt,
                                     double area, double* sums, int past_end) {
    constexpr int kChunk = 256;
    double volumes[4][kChunk] = {};
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int bad = past_end;
    for (int c = 0; c < length; c += kChunk) {
        const int cells = std::min(kChunk, length - c);
        for (int b = 0; b < count; ++b) {
            const int lo = 1 + (b0 + b) * kRainBlockCells + c;
            double* v = volumes[b];
            // Whether a depth is then not a number, looked for in the run
            // only when one is (a flag, where a lowest cell kept from lane to
            // lane costs more than the run's rain).
            int nonreal = 0;
            if (same_rate(rates + lo, cells)) {
                // One rate (the same bits) over the run: its depth and
                // volume made once, the same numbers each cell would make.
                const double depth = rain_depth(rates[lo], dt), volume = rain_volume(rates[lo], dt, area);
#pragma omp simd reduction(| : nonreal)
                for (int j = 0; j < cells; ++j) {
                    v[j] = volume;
                    h[lo + j] += depth;
                    nonreal |= std::isfinite(h[lo + j]) ? 0 : 1;
                }
            } else {
#pragma omp simd reduction(| : nonreal)
                for (int j = 0; j < cells; ++j) {
                    const double rate = rates[lo + j];
                    v[j] = rain_volume(rate, dt, area);
                    h[lo + j] += rain_depth(rate, dt);
                    nonreal |= std::isfinite(h[lo + j]) ? 0 : 1;
                }
            }
            if (nonreal) {
                int j = 0;
                while (std::isfinite(h[lo + j])) ++j;
                bad = std::min(bad, lo + j);
            }
        }
        for (int j = 0; j < cells; ++j) {
            s0 += volumes[0][j];
            s1 += volumes[1][j];
            s2 += volumes[2][j];
            s3 += volumes[3][j];
        }
    }
    const double sum[4] = {s0, s1, s2, s3};
    for (int b = 0; b < count; ++b) sums[b0 + b] = sum[b];
    return bad;
}

// The rain of a step on cells 1..n of a grid with no lakes and no snow:
// every depth, and the two running volumes (m3) by blocks of
// kRainBlockCells cells. The first block adds its volumes to the running
// volumes cell by cell; each later block adds its own sum, in block order.
// Returns the first cell whose depth is then not a number (the volumes then
// run to it), 0 if none.
int rain_on_land(model_state& m, const double* rates, int n, double dt, double area, double& rain_overland,
                 double& rain_total) {
    double* h = m.h.data();
    double* sums = m.rain_block_volume.data();
    const int full = n / kRainBlockCells;  // blocks of kRainBlockCells cells; a shorter one may follow
    const int groups = (full + 3) / 4;
    // The groups of four blocks, each a part taken by whichever thread of
    // the team is free; the first also adds the first block's volumes to the
    // running volumes (kept aside until no depth before the block's end is
    // found not a number).
    const int first_end = std::min(n, kRainBlockCells);
    double first_overland = rain_overland, first_total = rain_total;
    std::atomic<int> lowest_bad{n + 1};
    run_parts_on_team(thread_team(n), std::max(groups, 1), [&](int g, int) {
        const int b0 = 4 * g;
        if (b0 < full) {
            const int first = rain_blocks(h, rates, b0, std::min(4, full - b0), kRainBlockCells, dt, area, sums,
                                          n + 1);
            if (first <= n) {
                int now = lowest_bad.load(std::memory_order_relaxed);
                while (first < now && !lowest_bad.compare_exchange_weak(now, first, std::memory_order_relaxed)) {
                }
            }
        }
        if (g == 0) add_block_volumes(rates, 1, first_end, dt, area, first_overland, first_total);
    });
    int bad = lowest_bad.load();
    if (full * kRainBlockCells < n) {
        bad = std::min(bad, rain_blocks(h, rates, full, 1, n - full * kRainBlockCells, dt, area, sums, n + 1));
    }
    const int last = std::min(bad, n);
    const int last_block = (last - 1) / kRainBlockCells;
    const int first_hi = std::min(last, kRainBlockCells);
    if (first_hi == first_end) {
        rain_overland = first_overland;
        rain_total = first_total;
    } else {
        add_block_volumes(rates, 1, first_hi, dt, area, rain_overland, rain_total);
    }
    for (int b = 1; b <= last_block; ++b) {
        double sum = 0.0, unused = 0.0;
        if (b < last_block || bad > n) sum = sums[b];
        else add_block_volumes(rates, 1 + b * kRainBlockCells, last, dt, area, sum, unused);
        rain_overland += sum;
        rain_total += sum;
    }
    return bad > n ? 0 : bad;
}

}  // namespace

void apply_precip(model_state& m) {
    // The rain of a step falls over the step that begins at it, so an event
    // rains from its first line up to its last.
    if (m.precip_state != 1 || m.time < m.rain_next_time - m.time_tol) return;
    const double dt = m.timestep;
    m.rain_next_time = m.time + m.dt_days;
    const double area = m.gridsize * m.gridsize;
    const bool net_rain = m.interception != 0 && m.ri_eff.n() >= m.ncells;
    if (m.interception) apply_interception(m, dt);
    const bool snow = m.long_term && m.hmet_air_temp < 0.0 && m.snowdepth.n() >= m.ncells;

    // The lake tests and the two running volumes are held locally: the loop
    // then keeps them in registers, adding the volumes in the same order.
    const int n = std::min(m.ncells, m.ri.n());
    const double* rates = net_rain ? m.ri_eff.data() : m.ri.data();
    const int* clake = m.chan_lakes_on ? m.lake_num.data() : nullptr;
    const int clake_n = m.lake_num.n();
    const int* olake = m.overland_lake_map_given ? m.oland_lake_new.data() : nullptr;
    const int olake_n = m.oland_lake_new.n();
    const int h_n = m.h.n();
    double* h = m.h.data();
    double rain_overland = m.volume_rainfall_overland;
    double rain_total = m.total_rainfall_volume;
    int bad = 0;  // first cell whose depth is not a number
    // Without lakes or snow every cell takes its rain as depth, over threads.
    const bool plain = !clake && !olake && !snow && n <= h_n && m.rain_block_volume.n() >= n / kRainBlockCells;
    if (plain) bad = rain_on_land(m, rates, n, dt, area, rain_overland, rain_total);
    const int cell_by_cell = plain ? 0 : n;
    for (int k = 1; k <= cell_by_cell; ++k) {
        const double rate = rates[k];
        const double volume = rain_volume(rate, dt, area);
        if (clake && k <= clake_n && clake[k] >= 1) {
            // The lake holds the rain as volume; its extent follows.
            const int lake = clake[k];
            if (lake <= m.lake_precip_vol.n()) m.lake_precip_vol[lake] += volume;
            if (lake <= m.lake_volume.n()) m.lake_volume[lake] += volume;
            m.volume_precip_to_lake += volume;
            continue;
        }
        rain_overland += volume;
        rain_total += volume;
        if (olake && k <= olake_n && olake[k] > 0) {
            // The lake holds its water as a level over its cells, not as depths.
            const std::size_t lake = static_cast<std::size_t>(olake[k]);
            if (lake < m.oland_lakes.size()) m.oland_lakes[lake].step_volume += volume;
            m.olake_update_due = 1;
            continue;
        }
        const double depth = rain_depth(rate, dt);
        if (snow) {
            m.snowdepth[k] += depth;
            if (depth > 0.0) m.snow_present = 1;
            continue;
        }
        if (k > h_n) continue;
        h[k] += depth;
        if (!std::isfinite(h[k])) {
            bad = k;
            break;
        }
    }
    m.volume_rainfall_overland = rain_overland;
    m.total_rainfall_volume = rain_total;
    if (bad) {
        refuse(format_text("A non-real number for water depth has been detected for overland cell %d "
                           "after applying rainfall\n",
                           bad));
        return;
    }
    // Rain that reached the ground as water brings its constituents.
    if (m.ov_con_trans && !snow) add_rain_constituents(m, rates, dt);
    // The event's first step with rain: its rain falls from the step's start.
    if (m.number_timesteps_rain == 0) m.elapsed_min_rain_began = m.elapsed_min;
    ++m.number_timesteps_rain;
    if (m.uniform_rain) ++m.uniform_rain_count;
    if (m.snow_present && m.hmet_air_temp > 0.0) m.snow_present = snowmelt_energy_balance(m, dt);
}

}  // namespace kesta
