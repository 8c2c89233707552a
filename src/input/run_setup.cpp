// The run-control copy of the project's values and its checks.
#include <cstdio>

#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "core/parallel_env.hpp"
#include "input/input_steps.hpp"

namespace kesta {

namespace {

bool chatty(const model_state& m) { return !m.super_quiet && g_parallel_env.world_rank() == 0; }

void fail(int code) {
    g_error_record.code = code;
    g_error_record.stop = 1;
}

// An interval of a fraction of a step would never be due: it becomes one step.
int at_least_one_step(int steps, const char* what, const model_state& m) {
    if (steps >= 1) return steps;
    std::string text = std::string("Warning: The ") + what +
                       " interval is shorter than the time step; writing every time step.\n";
    if (chatty(m)) std::fputs(text.c_str(), stdout);
    if (g_error_record.summary_file) std::fputs(text.c_str(), g_error_record.summary_file);
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
    if (m.timestep <= 0.001) return fail(52);

    m.rows = rp.rows;
    m.cols = rp.cols;
    m.tot_time = rp.tot_time;

    if (rp.hyd_freq <= 0.0) {
        rp.hyd_freq = 60.0;
        g_error_record.code = 55;
        report_error(g_error_record);
    }
    m.hyd_freq = at_least_one_step(static_cast<int>(60.0 / m.timestep * rp.hyd_freq), "hydrograph", m);

    if (rp.map_freq <= 0) {
        rp.map_freq = 360;
        if (chatty(m)) std::printf("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
    }
    m.map_freq = at_least_one_step(static_cast<int>(rp.map_freq * 60.0 / m.timestep), "map", m);

    m.outrow = rp.outrow;
    m.outcol = rp.outcol;
    if (rp.outslope < 1e-9) return fail(56);
    m.outslope = rp.outslope;

    m.gridsize = rp.gridsize;
    m.latitude = rp.latitude;
    m.longitude = rp.longitude;
    if (m.long_term && (m.latitude < 0.01 || m.longitude < 0.01)) return fail(57);

    m.gmt = rp.gmt;
    m.gmt_given = rp.gmt_given;
    m.qout_cfs = rp.qout_cfs;
    m.quiet = rp.quiet;
    if (m.long_term && !m.gmt_given) return fail(58);

    m.outlet_cell = (m.outrow - 1) * m.cols + m.outcol;
}

}  // namespace kesta
