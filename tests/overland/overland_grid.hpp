// Hand-made overland grids for the routing tests: a rows x cols block of
// square cells, every cell active and numbered row by row, with neighbours,
// ground, slopes and roughness as the start-up would leave them, and an
// overland clock that the helpers step.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "overland/overland_steps.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

constexpr double kStartJulian = 2451545.0;

// Braced in order where a test sets several: {rows, cols, dx, drop_x, drop_y, n, retention}.
struct plane {
    int rows = 1;
    int cols = 1;
    double dx = 10.0;       // m
    double drop_x = 0.0;    // ground drop from a cell to its east neighbour (m)
    double drop_y = 0.0;    // ground drop from a cell to its south neighbour (m)
    double n = 0.05;        // Manning's n
    double retention = 0.0; // m
};

// Fills the grid members of m for plane p. The outlet is the last cell, with
// no channel network; the overland clock is armed at kStartJulian.
inline void make_plane(kesta::model_state& m, const plane& p, double dt_seconds) {
    kesta::g_error_record.clear_for_run();
    m.rows = p.rows;
    m.cols = p.cols;
    m.gridsize = p.dx;
    m.ncells = p.rows * p.cols;
    m.mask = kesta::mat2<int>(p.rows + 1, p.cols + 1);
    kesta::alloc_overland_arrays(m);
    m.elev = kesta::vec1<double>(m.ncells);
    for (int r = 1; r <= p.rows; ++r) {
        for (int c = 1; c <= p.cols; ++c) {
            const int k = (r - 1) * p.cols + c;
            m.mask[r][c] = k;
            m.elev[k] = 100.0 - (c - 1) * p.drop_x - (r - 1) * p.drop_y;
            m.rightcon[k] = c < p.cols ? k + 1 : 0;
            m.leftcon[k] = c > 1 ? k - 1 : 0;
            m.belowcon[k] = r < p.rows ? k + p.cols : 0;
            m.abovecon[k] = r > 1 ? k - p.cols : 0;
            m.sox[k] = p.drop_x / p.dx;
            m.soy[k] = p.drop_y / p.dx;
            m.dist_rough[k] = p.n;
            m.retent_dep[k] = p.retention;
        }
    }
    m.outlet_cell = m.ncells;
    m.chan_routing = 0;
    m.quiet = 1;
    m.super_quiet = 1;
    m.time_tol = kesta::kTimeTolerance;
    m.time = kStartJulian;
    kesta::set_clock_interval(m.ov_interval_sec, m.ov_interval, dt_seconds);
    kesta::arm_clock(m.ov_last_time, m.ov_next_time, m.time, m.ov_interval);
    m.step = 0;
}

// A 1 x `cols` strip whose outlet lets nothing out (a channel network takes it).
inline void make_strip(kesta::model_state& m, int cols, double drop_x, double retention = 0.0,
                       double dt_seconds = 1.0) {
    make_plane(m, {1, cols, 10.0, drop_x, 0.0, 0.05, retention}, dt_seconds);
    m.chan_routing = 1;
}

// An n x n block falling `drop` m per cell east and south, outlet as in make_strip.
inline void make_square(kesta::model_state& m, int n, double drop, double dt_seconds) {
    make_plane(m, {n, n, 10.0, drop, drop}, dt_seconds);
    m.chan_routing = 1;
}

// A rows x cols grid of 10 m cells whose mask is `active` (row by row,
// non-zero active), numbered and linked by the start-up's own connectivity.
inline std::unique_ptr<kesta::model_state> connected_grid(int rows, int cols, const std::vector<int>& active) {
    auto m = std::make_unique<kesta::model_state>();
    m->rows = rows;
    m->cols = cols;
    m->gridsize = 10.0;
    kesta::alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
    int n = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            if (active[static_cast<std::size_t>((r - 1) * cols + c - 1)]) m->mask[r][c] = ++n;
    m->ncells = n;
    kesta::alloc_dvector(m->elev, n, "elev");
    kesta::alloc_overland_arrays(*m);
    printed_by([&m] { kesta::build_cell_connectivity(*m); });
    return m;
}

// Moves the model time one overland interval on, puts rain of `rain_mmh`
// mm/h on every cell over that interval, and runs the overland step.
inline void step_with_rain(kesta::model_state& m, double rain_mmh) {
    ++m.step;
    m.time = kStartJulian + m.step * m.ov_interval;
    const double depth = rain_mmh * m.ov_interval_sec / 3600000.0;
    for (int k = 1; k <= m.ncells; ++k) m.h[k] += depth;
    kesta::step_overland_flow(m);
}

// Makes `cell` the one cell of channel-network lake 1, standing at `level`.
inline void add_channel_lake(kesta::model_state& m, int cell, double level) {
    m.chan_lakes_on = 1;
    m.nlakes = 1;
    m.lake_num = kesta::vec1<int>(m.ncells);
    m.lake_num[cell] = 1;
    for (auto* v : {&m.lake_elev, &m.lake_volume, &m.lake_in_dv, &m.lake_out_dv}) {
        *v = kesta::vec1<double>(1);
    }
    m.lake_elev[1] = level;
}

// Makes `cell` the one cell of overland lake 1, standing at `level`.
inline void add_overland_lake(kesta::model_state& m, int cell, double level) {
    m.overland_lake_map_given = 1;
    m.oland_lake_new = kesta::vec1<int>(m.ncells);
    m.oland_lake_new[cell] = 1;
    m.oland_lakes.resize(2);
    m.oland_lakes[1].level = level;
}

// Makes `cell` a wetland of category 1 with the given berm height (m),
// berm seepage coefficient, transition depth (m) and Manning's n.
inline void add_wetland(kesta::model_state& m, int cell, double berm, double seepage,
                        double transition, double n) {
    m.wetlands_given = 1;
    m.wetland_mask = kesta::vec1<int>(m.ncells);
    m.wetland_mask[cell] = 1;
    m.wetland_table.resize(2);
    auto& f = m.wetland_table[1].field;
    f[1] = berm;
    f[2] = seepage;
    f[3] = transition;
    f[6] = n;
}

inline double stored_volume(const kesta::model_state& m) {
    double v = 0.0;
    for (int k = 1; k <= m.ncells; ++k) v += m.h[k] * m.gridsize * m.gridsize;
    return v;
}

}  // namespace kesta_test
