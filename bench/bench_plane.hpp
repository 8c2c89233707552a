// The tilted plane under rain that the overland and sediment benchmarks
// route: rows x cols cells of kDx m, falling 0.1 m a column and 0.05 m a
// row, 0.01 m deep to start, with kRain of rain every kStep s step laid by
// the precipitation step.
#pragma once

#include <memory>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"

namespace bench_plane {

constexpr int kRows = 1000;
constexpr int kCols = 1000;
constexpr double kDx = 10.0;    // m
constexpr double kStep = 10.0;  // s
constexpr double kRain = 36.0;  // mm/h
constexpr double kStartJulian = 2451545.0;

// A plane routed by overland scheme `overtype` (1 explicit, 2 ADE, 3 ADE-PC)
// in steps of `step` seconds.
inline std::unique_ptr<kesta::model_state> make_plane(int overtype, int rows = kRows, int cols = kCols,
                                                      double step = kStep) {
    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->rows = rows;
    m->cols = cols;
    m->gridsize = kDx;
    m->ncells = rows * cols;
    m->north = rows * kDx;
    m->east = cols * kDx;
    m->overtype = overtype;
    kesta::alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
    kesta::alloc_overland_arrays(*m);
    m->elev = kesta::vec1<double>(m->ncells);
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int k = (r - 1) * cols + c;
            m->mask[r][c] = k;
            m->elev[k] = 1000.0 - 0.1 * (c - 1) - 0.05 * (r - 1);
            m->rightcon[k] = c < cols ? k + 1 : 0;
            m->leftcon[k] = c > 1 ? k - 1 : 0;
            m->belowcon[k] = r < rows ? k + cols : 0;
            m->abovecon[k] = r > 1 ? k - cols : 0;
            m->sox[k] = 0.01;
            m->soy[k] = 0.005;
            m->dist_rough[k] = 0.05;
            m->retent_dep[k] = 0.0005;
            m->h[k] = 0.01;
            m->ri[k] = kRain;
        }
    }
    m->outlet_cell = m->ncells;
    m->outslope = 0.01;
    m->quiet = 1;
    m->super_quiet = 1;
    m->time_tol = kesta::kTimeTolerance;
    m->time = kStartJulian;
    // Rain every step, laid by the precipitation step.
    m->precip_state = 1;
    m->timestep = step;
    m->dt_days = step / 86400.0;
    m->rain_next_time = m->time;
    kesta::set_clock_interval(m->ov_interval_sec, m->ov_interval, step);
    kesta::arm_clock(m->ov_last_time, m->ov_next_time, m->time, m->ov_interval);
    return m;
}

}  // namespace bench_plane
