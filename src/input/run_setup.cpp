// The run-control copy of the project's values and its checks.
#include <climits>
#include <cmath>
#include <cstdio>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/input_steps.hpp"
#include "input/project_file.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

// The longest model time step (s). Every clock of the run, and the sub-steps
// of the overland routing, count in steps no longer than a day.
constexpr double kLongestTimestep = 86400.0;
constexpr double kHour = 3600.0;  // s

// The cards that decided the model time step, for messages.
const char* timestep_cards(const run_params& rp) {
    return rp.st_time_step < rp.timestep ? "ST_TIME_STEP" : "TIMESTEP";
}

// A time step longer than a day, longer than the run, or so short that the
// run's steps outnumber what the step counters hold is refused; so is a
// long-term run whose step does not divide the hour, since its hourly clocks
// (the weather, the soil evapotranspiration) would never come due again.
// TOT_TIME ends every run but those driven by the land-management
// framework, which end with their events; long-term runs end earlier when
// their data end.
bool run_length_fits(const model_state& m) {
    const run_params& rp = m.run_params;
    if (m.timestep > kLongestTimestep) {
        store_refusal(format_text("Error: the time step of %g s given by card %s of project file %s is longer "
                                  "than one day (%g s), the longest time step a run may take.\n",
                                  m.timestep, timestep_cards(rp), m.project_file.c_str(), kLongestTimestep));
        return false;
    }
    const double per_hour = kHour / m.timestep;
    if (m.long_term && std::fabs(per_hour - std::round(per_hour)) * m.timestep >= kTimeTolerance * kSecondsPerDay) {
        store_refusal(format_text("Error: the time step of %g s given by card %s of project file %s does not "
                                  "divide the hour (%g s): the hourly weather and soil clocks of a long-term run "
                                  "would never come due again.\n",
                                  m.timestep, timestep_cards(rp), m.project_file.c_str(), kHour));
        return false;
    }
    if (m.htp || rp.tot_time <= 0) return true;
    const double run_seconds = rp.tot_time * 60.0;
    if (m.timestep > run_seconds) {
        store_refusal(format_text("Error: the time step of %g s given by card %s of project file %s is longer "
                                  "than the run of %d min given by card TOT_TIME.\n",
                                  m.timestep, timestep_cards(rp), m.project_file.c_str(), rp.tot_time));
        return false;
    }
    const double steps = run_seconds / m.timestep;
    if (steps >= static_cast<double>(INT_MAX - 1)) {
        store_refusal(format_text("Error: a run of %d min (card TOT_TIME) in time steps of %g s (card %s) of "
                                  "project file %s takes %.0f steps; at most %d are possible.\n",
                                  rp.tot_time, m.timestep, timestep_cards(rp), m.project_file.c_str(), steps,
                                  INT_MAX - 2));
        return false;
    }
    return true;
}

// A whole number of steps, computed in double: an interval too long to count
// in an int is as good as never.
int whole_steps(double steps) {
    if (steps >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(steps);
}

// An interval of a fraction of a step would never be due: it becomes one step.
int at_least_one_step(int steps, const char* what) {
    if (steps >= 1) return steps;
    warn(std::string("Warning: The ") + what + " interval is shorter than the time step; writing every time step.\n");
    return 1;
}

}  // namespace

void setup_run_control(model_state& m) {
    run_params& rp = m.run_params;
    if (rp.st_time_step >= 0.01) {
        m.timestep = rp.st_time_step < rp.timestep ? rp.st_time_step : rp.timestep;
    } else {
        rp.st_time_step = rp.timestep;
        m.timestep = rp.timestep;
    }
    m.timestep_copy = m.timestep;
    if (m.timestep <= 0.001) return g_error_record.fail(52);
    if (!run_length_fits(m)) return;

    if (static_cast<long long>(rp.rows) * rp.cols > kMaxGridCells) {
        return store_refusal(format_text("Error: the grid of %d rows (card ROWS) and %d columns (card COLS) of "
                                         "project file %s has %lld cells; at most %lld are accepted.\n",
                                         rp.rows, rp.cols, m.project_file.c_str(),
                                         static_cast<long long>(rp.rows) * rp.cols, kMaxGridCells));
    }
    m.rows = rp.rows;
    m.cols = rp.cols;
    m.tot_time = rp.tot_time;

    if (rp.hyd_freq <= 0.0) {
        rp.hyd_freq = 60.0;
        fail_and_report(55);
    }
    m.hyd_freq = at_least_one_step(whole_steps(60.0 / m.timestep * rp.hyd_freq), "hydrograph");

    if (rp.map_freq <= 0) {
        rp.map_freq = 360;
        warn("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
    }
    m.map_freq = at_least_one_step(whole_steps(rp.map_freq * 60.0 / m.timestep), "map");

    // The outlet cell is computed from these below, so they must lie on the
    // grid first.
    if (rp.outrow < 1 || rp.outrow > rp.rows || rp.outcol < 1 || rp.outcol > rp.cols) {
        return store_refusal(format_text("\nThe outlet row %d and column %d given by the OUTROW and OUTCOL cards of "
                                         "the project\nfile %s lie outside the grid of %d rows and %d columns.  "
                                         "KESTA terminating.\n\n",
                                         rp.outrow, rp.outcol, m.project_file.c_str(), rp.rows, rp.cols));
    }
    m.outrow = rp.outrow;
    m.outcol = rp.outcol;
    if (rp.outslope < 1e-9) return g_error_record.fail(56);
    m.outslope = rp.outslope;

    m.gridsize = rp.gridsize;
    m.latitude = rp.latitude;
    m.longitude = rp.longitude;
    if (m.long_term && (m.latitude < 0.01 || m.longitude < 0.01)) return g_error_record.fail(57);

    m.gmt = rp.gmt;
    m.gmt_given = rp.gmt_given;
    m.qout_cfs = rp.qout_cfs;
    m.quiet = rp.quiet;
    if (m.long_term && !m.gmt_given) return g_error_record.fail(58);

    m.outlet_cell = (m.outrow - 1) * m.cols + m.outcol;
}

}  // namespace kesta
