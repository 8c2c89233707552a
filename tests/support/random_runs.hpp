// Random but well-formed whole projects, run in-process and judged: the
// ground, rain and cards that every project shares (a `site`), and the
// verdict on one run. A run ends well when it
//   - exits 0, every file it wrote is free of "nan" and "inf", depths and
//     outlet discharge stay finite and non-negative at every step, so do
//     the masses and concentrations of the constituents and the sediment
//     volumes, and every balance closes within 1e-6 percent: the event's
//     mass conservation, the run's global water balance (of the surface and
//     overall), the soil moisture accounting's, the drains' own balance, the
//     aquifer's, and every constituent and sediment balance of the event
//     summaries and of the run; or
//   - exits 0 with the drain solver's warning in the summary (its balances
//     are then not held to 1e-6 percent, the rest is); or
//   - exits 1 with a message.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/model_state.hpp"
#include "output/global_balance.hpp"
#include "output/output_steps.hpp"
#include "subsurface/groundwater.hpp"
#include "support/grid_text.hpp"
#include "support/random_draws.hpp"
#include "support/run_program.hpp"
#include "support/sanitized_build.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

// Words, in lower case, that the summary's warnings hold (in any case) when
// the drain solver could not keep its residual, clean-up and boundary
// draw-in small against the pipes' inflow. The exact words are the
// solver's; change them here only.
constexpr const char* kDrainSolverWarning = "drain solver";

inline bool drain_solver_warned(const std::string& summary) {
    const std::size_t from = summary.find("THE FOLLOWING WARNINGS ARE GIVEN:");
    if (from == std::string::npos) return false;
    const std::size_t to = summary.find("THE FOLLOWING INPUTS WERE READ", from);
    std::string warnings = summary.substr(from, to == std::string::npos ? std::string::npos : to - from);
    for (char& c : warnings) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return warnings.find(kDrainSolverWarning) != std::string::npos;
}

// A grid of cells, all inside the watershed, whose ground falls towards
// the south and towards the column of the outlet, with the cards of every
// project; the generators of each kind add their files and cards.
struct site {
    int rows = 1, cols = 1;
    int outlet_col = 1;     // the outlet is the cell of the last row in this column
    double dx = 10.0;       // m, cell size
    double dt = 10.0;       // s, model time step
    double fall = 0.01;     // m/m, ground falling towards the south
    std::vector<double> z;  // m, ground of cell k = (row - 1) cols + column - 1
    std::string cards;      // the project file

    int cell(int r, int c) const { return (r - 1) * cols + c - 1; }
    int row_of(int k) const { return k / cols + 1; }
    int col_of(int k) const { return k % cols + 1; }
    bool inside(int r, int c) const { return r >= 1 && r <= rows && c >= 1 && c <= cols; }
    void card(const char* name, double value) { cards += name + (" " + text_of(value)) + "\n"; }
    // A grid file of value(cell), written with `format`.
    template <class F>
    void grid(const temp_dir& dir, const char* name, F value, const char* format = "%.9g ") const {
        dir.write(name, grid_of(rows, cols, dx, [&](int r, int c) { return double(value(cell(r, c))); }, format));
    }
};

// Rain from `least_rain` to 300 mm/h on a grid of 4-20 rows and 3-20
// columns of 5 to 100 m cells, for 20 to 240 steps of 1 to 60 s, by any
// overland scheme; sometimes Green and Ampt infiltration and initial water
// on the cells.
inline site random_site(draws& d, const temp_dir& dir, double least_rain = 1.0) {
    site s;
    s.rows = d.whole(4, 20);
    s.cols = d.whole(3, 20);
    s.dx = round3(d.log_between(5.0, 100.0));
    s.dt = round3(d.log_between(1.0, 60.0));
    const int minutes = std::max(1, static_cast<int>(std::lround(d.whole(20, 240) * s.dt / 60.0)));
    s.outlet_col = d.whole(1, s.cols);
    s.fall = d.log_between(5e-4, 0.1);
    const double cross = d.chance(0.3) ? 0.0 : d.log_between(5e-4, 0.1);  // m/m towards the outlet column
    const double bumps = d.chance(0.7) ? 0.0 : d.log_between(1e-3, 0.3);  // m, largest random rise
    for (int k = 0; k < s.rows * s.cols; ++k)
        s.z.push_back(100.0 + s.fall * s.dx * (s.rows - s.row_of(k)) +
                      cross * s.dx * std::abs(s.col_of(k) - s.outlet_col) + bumps * d.unit());
    const char* const schemes[] = {"EXPLICIT", "ADE", "ADE-PC"};
    s.cards = std::string("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nSTART_DATE 2020 6 1\n"
                          "START_TIME 12 0\nHYD_FREQ 1\nSUMMARY summary.txt\n"
                          "OUTLET_HYDRO outlet.hyd\nSUPER_QUIET\nPRECIP_UNIF\nOVERTYPE ") +
              schemes[d.whole(0, 2)] + "\n";
    s.card("GRIDSIZE", s.dx);
    s.card("ROWS", s.rows);
    s.card("COLS", s.cols);
    s.card("OUTROW", s.rows);
    s.card("OUTCOL", s.outlet_col);
    s.card("OUTSLOPE", round3(s.fall));
    s.card("TOT_TIME", minutes);
    s.card("MAP_FREQ", std::max(1, minutes / 4));  // minutes, of the link/node datasets
    s.card("TIMESTEP", s.dt);
    s.card("MANNING_N", round3(d.log_between(0.01, 0.5)));
    s.card("RAIN_INTENSITY", round3(d.log_between(least_rain, 300.0)));
    s.card("RAIN_DURATION", d.whole(1, minutes));
    if (d.chance(0.3)) {
        s.grid(dir, "depth.asc", [&](int) { return d.chance(0.5) ? 0.0 : d.log_between(1e-4, 0.5); });
        s.cards += "OV_INIT_DEPTH depth.asc\n";
    }
    if (d.chance(0.3)) {
        const double phi = d.between(0.3, 0.5);
        s.grid(dir, "ks.asc", [&](int) { return d.log_between(0.01, 50.0); });  // cm/h
        s.grid(dir, "hc.asc", [&](int) { return d.between(1.0, 50.0); });       // cm
        s.grid(dir, "phi.asc", [&](int) { return phi; });
        s.grid(dir, "theta.asc", [&](int) { return d.between(0.05, phi - 0.01); });
        s.cards += "GREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\nMOISTURE theta.asc\n";
    }
    return s;
}

inline void write_site(const site& s, const temp_dir& dir) {
    s.grid(dir, "mask.asc", [](int) { return 1; }, "%.0f ");
    s.grid(dir, "elev.asc", [&](int k) { return s.z[k]; });
    dir.write("project.prj", s.cards);
}

// Where the first negative or not finite amount of the stores below lies,
// as "<what> <value> at <where>"; empty when none.
template <class T>
std::string bad_amount(const char* what, const T& values, int from, int to, const std::string& where = "") {
    for (int i = from; i <= to; ++i)
        if (!(values[i] >= 0.0) || !std::isfinite(values[i]))
            return std::string(what) + " " + text_of(values[i]) + " at " + where + std::to_string(i);
    return "";
}

// The first constituent mass or concentration, or sediment volume, that
// is negative or not finite: over land, in the soil layers, in the channel
// nodes and lakes, attached to sediment; empty when none.
inline std::string negative_amount(const kesta::model_state& m) {
    std::string bad;
    const auto check = [&bad](const std::string& found) {
        if (bad.empty()) bad = found;
    };
    for (int c = 1; c <= m.ncontam && bad.empty(); ++c) {
        const std::string slot = "constituent " + std::to_string(c);
        const auto cells = [&](const char* what, const kesta::slot_rows& rows) {
            if (static_cast<int>(rows.size()) > c && rows[c].n() >= m.ncells)
                check(bad_amount(what, rows[c], 1, m.ncells, slot + " cell "));
        };
        cells("overland mass", m.contam_mass);
        cells("overland concentration", m.contam_conc);
        cells("land load", m.contam_land_mass);
        const auto layers = [&](const char* what, const kesta::slot_tables& tables) {
            if (static_cast<int>(tables.size()) <= c || tables[c].empty()) return;
            const kesta::mat2<double>& t = tables[c];
            for (int k = 1; k <= m.ncells && k <= t.nrows(); ++k)
                check(bad_amount(what, t[k], 1, t.ncols(), slot + " cell " + std::to_string(k) + " part "));
        };
        layers("soil mass", m.soil_mass);
        layers("soil concentration", m.soil_conc);
        layers("attached mass", m.attached_mass);
        layers("channel attached mass", m.chan_sed_contam);
        if (m.chan_mass.nrows() >= c) {
            check(bad_amount("channel mass", m.chan_mass[c], 1, m.chan_mass.ncols(), slot + " row "));
            check(bad_amount("channel concentration", m.chan_conc[c], 1, m.chan_conc.ncols(), slot + " row "));
        }
    }
    if (m.ov_sed && bad.empty()) {
        const kesta::sed_record& s = *m.ov_sed;
        for (int k = 1; k <= m.ncells && k <= s.vol_sed.suspended.nrows(); ++k) {
            check(bad_amount("suspended sediment", s.vol_sed.suspended[k], 1, s.num_sed,
                             "cell " + std::to_string(k) + " class "));
            check(bad_amount("deposited sediment", s.vol_sed.deposited[k], 1, s.num_sed,
                             "cell " + std::to_string(k) + " class "));
        }
        for (int r = 1; r <= s.ch_wash_vol.nrows(); ++r)
            check(bad_amount("wash load", s.ch_wash_vol[r], 0, s.ch_wash_vol.ncols(),
                             "channel row " + std::to_string(r) + " position "));
        const kesta::cube3<double>& sand = m.ch_sand_vol;
        for (int l = 1; l <= sand.n1(); ++l)
            for (int j = 1; j <= sand.n2(); ++j)
                check(bad_amount("bed sand", sand[l][j], 0, sand.n3(),
                                 "link " + std::to_string(l) + " node " + std::to_string(j) + " position "));
    }
    return bad;
}

// The first constituent or sediment balance of the summary (of the event
// just ended, or of the run) that is open by more than 1e-6 percent, or not
// a number; empty when none. Sections a run does not write hold 0.
inline std::string open_constituent_balance(const kesta::model_state& m, bool event) {
    const auto open = [](double error) { return !(std::fabs(error) <= 1e-6); };
    for (int c = 1; c <= m.ncontam; ++c) {
        const struct {
            const char* what;
            const kesta::array1d<double>& errors;
        } books[] = {{"soil", event ? m.soil_mass_balance_error : m.SOIL_MASS_ERROR},
                     {"overland", event ? m.OV_MASS_ERROR : m.OV_RUN_MASS_ERROR},
                     {"channel", event ? m.CHAN_MASS_BALANCE : m.CHAN_RUN_MASS_ERROR},
                     {"lake", event ? m.event_lake_mass_balance : m.LAKE_MASS_BALANCE},
                     {"basin", m.GLOBAL_MASS_CON_ERROR}};
        for (const auto& b : books) {
            if (event && std::string(b.what) == "basin") continue;
            if (open(b.errors.value(c)))
                return std::string(b.what) + " balance of constituent " + std::to_string(c) + " (" +
                       m.contam_names[static_cast<std::size_t>(c)] + ") open by " + text_of(b.errors.value(c)) +
                       " percent";
        }
    }
    const kesta::sediment_balance_errors sed = kesta::sediment_balances(m, event);
    for (std::size_t k = 1; k < sed.overland.size(); ++k)
        if (open(sed.overland[k]))
            return "overland sediment balance of class " + std::to_string(k) + " open by " +
                   text_of(sed.overland[k]) + " percent";
    if (open(sed.wash)) return "channel wash load balance open by " + text_of(sed.wash) + " percent";
    if (open(sed.sand)) return "channel sand balance open by " + text_of(sed.sand) + " percent";
    if (open(sed.overall)) return "channel sediment balance open by " + text_of(sed.overall) + " percent";
    return "";
}

// What the driver's observer saw of one run.
struct run_watch {
    std::string fault;           // first thing found wrong during the run
    std::vector<double> events;  // mass conservation error (a ratio) of each finished event
    std::vector<double> made;    // water each finished event made (m3)
    int finished = 0;
    // After the run: its own errors, which tell where water went astray.
    std::string own_errors;
    double drain_error = 0.0, drain_scale = 0.0;  // the drains' run balance error and inflow (m3)
    double gw_error = 0.0;                        // the aquifer's balance error (percent)
    double soil_error = 0.0;                      // the soil moisture accounting's balance error (percent)
    // The first constituent or sediment balance found open, of an event or
    // of the run, and the run's global water balance errors (percent).
    std::string open_balance;
    double water_surface_error = 0.0, water_overall_error = 0.0;
    bool ended = false;  // the time loop ended without an error
};

inline run_watch* g_random_watch = nullptr;

inline bool watch_random_step(kesta::model_state& m, const char* name) {
    run_watch& w = *g_random_watch;
    const std::string step = name;
    if (step == "step_storm_drain" && w.fault.empty()) {
        // Just after the overland step.
        if (!std::isfinite(m.q_out) || m.q_out < 0.0) w.fault = "outlet discharge " + text_of(m.q_out);
        for (int k = 1; k <= m.ncells && w.fault.empty(); ++k)
            if (!(m.h[k] >= 0.0) || !std::isfinite(m.h[k]))
                w.fault = "depth " + text_of(m.h[k]) + " in cell " + std::to_string(k);
        if (!w.fault.empty()) w.fault += " at step " + std::to_string(m.step);
    }
    if (step == "report_progress" && w.fault.empty()) {
        // After every constituent and sediment step of the pass.
        w.fault = negative_amount(m);
        if (!w.fault.empty()) w.fault += " at step " + std::to_string(m.step);
    }
    if (step == "write_timeseries_output" && m.finished_events > w.finished) {
        w.finished = m.finished_events;
        w.events.push_back(m.mass_conservation_error);
        w.made.push_back(m.mass_output_final_mass - m.mass_input_original_mass);
        if (w.open_balance.empty()) {
            w.open_balance = open_constituent_balance(m, true);
            if (!w.open_balance.empty()) w.open_balance += " in event " + std::to_string(w.finished);
        }
    }
    if (step == "write_final_summaries") w.ended = true;  // the time loop ended without an error
    if (step == "close_output_files" && w.ended) {
        // The run's books, formed as its summaries were written.
        if (w.open_balance.empty()) {
            w.open_balance = open_constituent_balance(m, false);
            if (!w.open_balance.empty()) w.open_balance += " over the run";
        }
        const kesta::global_water_totals water = kesta::global_water_balance(m);
        w.water_surface_error = water.surface_error;
        w.water_overall_error = water.overall_error;
    }
    if (step == "close_output_files") {
        if (m.storm_sewer_given) {
            w.drain_error = kesta::drain_run_balance_error(m);
            w.drain_scale = m.run_initial_in_drains + m.run_inputs_to_superlink + std::fabs(m.run_drain_cleanup);
            w.own_errors += "; the drains' own balance error " + text_of(w.drain_error) + " m3 of " +
                            text_of(w.drain_scale) + " m3";
        }
        if (m.gw_simulation) w.gw_error = kesta::groundwater_balance_error(m);
        if (m.soil_et_accounting) w.soil_error = m.soil_totals.balance_error;
        if (m.overland_lake_map_given)
            w.own_errors += "; the lake extent updates' error " + text_of(m.olake_balance_error) + " m3";
    }
    return true;
}

// The runs of one test: how many stopped with a message (by message) and
// how many ended with the drain solver's warning.
struct run_tally {
    std::map<std::string, std::vector<std::uint64_t>> stops;  // seeds by message
    std::vector<std::uint64_t> warned;
};

// What a stopped run said last before its run time, on one line, its
// numbers as "#" so that alike stops count together.
inline std::string last_words(const std::string& out) {
    std::vector<std::string> said;
    for (const std::string& line : lines_of(out))
        if (line.find_first_not_of(" \t\r") != std::string::npos && line.rfind("Run time:", 0) != 0)
            said.push_back(line);
    std::string text;
    for (std::size_t i = said.size() > 2 ? said.size() - 2 : 0; i < said.size(); ++i) text += said[i] + " ";
    std::string words;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) || words.empty() || words.back() != '#')
            words += std::isdigit(static_cast<unsigned char>(c)) ? '#' : c;
    return words;
}

// Runs "project.prj" of the working folder `dir`; returns what is wrong with
// the run, or an empty text.
inline std::string random_run_fault(const temp_dir& dir, std::uint64_t seed, run_tally& tally) {
    std::set<std::string> inputs;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) inputs.insert(e.path().filename().string());
    run_watch watch;
    g_random_watch = &watch;
    testing::internal::CaptureStderr();  // some refusals speak there
    const model_run run = run_in_process("project.prj", watch_random_step);
    const std::string said_on_stderr = testing::internal::GetCapturedStderr();
    g_random_watch = nullptr;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
        const std::string name = std::filesystem::relative(e.path(), dir.path()).string();
        if (inputs.count(name) || !e.is_regular_file()) continue;
        const std::string bad = non_number_in(read_file(e.path().string()));
        if (!bad.empty()) return name + " prints " + bad;
    }
    if (!watch.fault.empty()) return watch.fault;
    if (run.rc != 0) {
        const std::string said = last_words(run.out + said_on_stderr);
        if (said.empty()) return "stopped without a message";
        tally.stops[said].push_back(seed);
        return "";
    }
    if (watch.events.empty()) return "no event finished";
    if (drain_solver_warned(read_file(dir.file("summary.txt")))) {
        tally.warned.push_back(seed);
        return "";
    }
    for (std::size_t i = 0; i < watch.events.size(); ++i)
        if (!(std::fabs(watch.events[i]) <= 1e-8))
            return "mass conservation error " + text_of(watch.events[i] * 100.0) + " percent, " +
                   text_of(watch.made[i]) + " m3 made" + watch.own_errors;
    if (!(std::fabs(watch.drain_error) <= 1e-8 * watch.drain_scale + 1e-9)) return "drain balance" + watch.own_errors;
    const std::string summary = read_file(dir.file("summary.txt"));
    const std::size_t basin = summary.find("Contaminant Transport Global Summary");
    if (basin != std::string::npos) {
        const std::string label = "Contam mass balance error";
        const std::size_t at = summary.find(label, basin);
        const double error = at == std::string::npos ? std::nan("") : std::stod(summary.substr(at + label.size()));
        if (!(std::fabs(error) <= 1e-6)) return "constituent balance error " + text_of(error) + " percent";
    }
    if (!(std::fabs(watch.gw_error) <= 1e-6))
        return "groundwater balance error " + text_of(watch.gw_error) + " percent";
    if (!(std::fabs(watch.soil_error) <= 1e-6))
        return "soil moisture balance error " + text_of(watch.soil_error) + " percent, global water balance error " +
               text_of(watch.water_overall_error) + " percent overall";
    if (!watch.open_balance.empty()) return watch.open_balance;
    if (!(std::fabs(watch.water_surface_error) <= 1e-6) || !(std::fabs(watch.water_overall_error) <= 1e-6))
        return "global water balance error " + text_of(watch.water_surface_error) + " percent at the surface, " +
               text_of(watch.water_overall_error) + " percent overall" + watch.own_errors;
    return "";
}

// The seeds of one test: block `block` of `blocks` takes every blocks-th
// seed of KESTA_RANDOM_PROJECTS (default `count`) from
// KESTA_RANDOM_FIRST_SEED (default 1); `make` writes the project of a seed
// into the working folder.
// A failure names the seed: KESTA_RANDOM_FIRST_SEED=<seed> with
// KESTA_RANDOM_PROJECTS=1 runs it alone, in the kind's first block, and
// KESTA_RANDOM_KEEP=<folder> keeps the files of each failing project there,
// in <kind>-<seed>.
template <class Make>
void run_random_seeds(const char* kind, int block, int blocks, Make make, std::uint64_t default_count = 250) {
    const std::uint64_t first = env_or("KESTA_RANDOM_FIRST_SEED", 1);
    const std::uint64_t count = env_or("KESTA_RANDOM_PROJECTS", default_count);
    const char* keep = std::getenv("KESTA_RANDOM_KEEP");
    run_tally tally;
    int runs = 0, failed = 0;
    for (std::uint64_t seed = first + static_cast<std::uint64_t>(block); seed < first + count;
         seed += static_cast<std::uint64_t>(blocks)) {
        temp_dir dir(true);
        make(seed, dir);
        const std::string fault = random_run_fault(dir, seed, tally);
        ++runs;
        if (!fault.empty()) {
            ++failed;
            ADD_FAILURE() << kind << " seed " << seed << ": " << fault;
        }
        if (!fault.empty() && keep && *keep) {
            const std::filesystem::path to = std::filesystem::path(keep) / (kind + ("-" + std::to_string(seed)));
            std::filesystem::create_directories(to);
            std::filesystem::copy(dir.path(), to,
                                  std::filesystem::copy_options::recursive |
                                      std::filesystem::copy_options::overwrite_existing);
        }
    }
    const auto seeds = [](const std::vector<std::uint64_t>& v) {
        std::string t;
        for (std::size_t i = 0; i < v.size() && i < 8; ++i) t += " " + std::to_string(v[i]);
        return t + (v.size() > 8 ? " ..." : "");
    };
    std::printf("%s: %d projects, %d failed, %d ended with the drain solver's warning%s\n", kind, runs, failed,
                static_cast<int>(tally.warned.size()), seeds(tally.warned).c_str());
    for (const auto& [said, v] : tally.stops)
        std::printf("  %d stopped (seeds%s): %s\n", static_cast<int>(v.size()), seeds(v).c_str(), said.c_str());
}

}  // namespace kesta_test
