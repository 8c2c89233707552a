// Speed and memory of the Richards soil columns on a 100 x 100-cell grid:
// one hour of simulated time in 60-s infiltration steps under 20 mm/h of
// rain, as node updates per second (node heads solved, over every sub-step
// and Picard pass) and as seconds per simulated hour; and the bytes of node
// storage per cell, each column stored to its own depth.
//
// Two soils alternate by rows: a Brooks and Corey loam over a clay layer
// with a water table 1.5 m down (its columns reach the aquifer bottom 3 m
// down), and the same soil draining freely.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace {

constexpr int kRows = 100;
constexpr int kCols = 100;
constexpr double kDx = 30.0;    // m
constexpr double kStep = 60.0;  // s
constexpr double kRain = 20.0;  // mm/h

// Ks (cm/h), porosity, residual, initial, wilting point, field capacity,
// depth (cm), lambda, bubbling head (cm), spacing (cm).
void set_layer(double* v, int j, const double (&l)[10]) {
    const int slot[10] = {4, 7, 19, 10, 13, 16, 22, 25, 28, 31};
    for (int i = 0; i < 10; ++i) v[slot[i] + j] = l[i];
}

std::unique_ptr<kesta::model_state> make_grid(bool water_table) {
    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->rows = kRows;
    m->cols = kCols;
    m->gridsize = kDx;
    m->ncells = kRows * kCols;
    m->inf_richards_on = 1;
    m->water_table_given = water_table;
    m->quiet = m->super_quiet = 1;
    kesta::alloc_imatrix(m->mask, kRows + 1, kCols + 1, "mask");
    kesta::alloc_overland_arrays(*m);
    m->elev = kesta::vec1<double>(m->ncells);
    for (int r = 1; r <= kRows; ++r)
        for (int c = 1; c <= kCols; ++c) m->mask[r][c] = (r - 1) * kCols + c;
    m->timestep = kStep;
    m->richards_c_option = 1;
    m->richards_k_option = 1;
    m->richards_weight = 1.0;
    m->richards_iter_max = 3;
    m->richards_dtheta_max = 0.0025;
    m->richards_upper_option = 3;
    m->aquifer_delta_z = 0.1;
    m->soil_moist_depth = 40.0;
    const double loam[10] = {1.0, 0.45, 0.05, 0.25, 0.1, 0.25, 30.0, 0.5, -20.0, 5.0};
    const double clay[10] = {0.1, 0.40, 0.08, 0.30, 0.15, 0.30, 20.0, 0.2, -40.0, 5.0};
    double* v = m->soil_class[1].v;
    set_layer(v, 0, loam);
    set_layer(v, 1, clay);
    set_layer(v, 2, loam);
    m->richards.defined.assign(kesta::kSoilClasses, 0);
    m->richards.defined[1] = 1;
    for (int k = 1; k <= m->ncells; ++k) {
        m->soiltype[k] = 1;
        m->elev[k] = 100.0;
        m->elevgw[k] = 98.5;
        m->bottom_elev[k] = 97.0;
    }
    if (!kesta::init_richards_columns(*m)) return nullptr;
    return m;
}

// Each iteration is one simulated hour: 60 infiltration steps, each after
// the step's rain has fallen on every cell.
void richards_hour(benchmark::State& state) {
    auto m = make_grid(state.range(0) != 0);
    if (!m) {
        state.SkipWithError("the columns could not be built");
        return;
    }
    const double rain_depth = kRain * kStep / 3600000.0;  // m
    double seconds = 0.0;
    unsigned long long updates = 0;
    for (auto _ : state) {
        const unsigned long long before = m->richards.node_updates;
        const auto t0 = std::chrono::steady_clock::now();
        for (int step = 0; step < 60; ++step) {
            for (int k = 1; k <= m->ncells; ++k) m->h[k] += rain_depth;
            kesta::richards_unsat_step(*m, kStep);
        }
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
        seconds += s.count();
        updates += m->richards.node_updates - before;
    }
    const double stored = static_cast<double>(m->richards.nodes.size() * sizeof(kesta::richards_node));
    state.counters["node_updates_per_s"] = static_cast<double>(updates) / seconds;
    state.counters["s_per_simulated_hour"] = seconds / static_cast<double>(state.iterations());
    state.counters["node_bytes_per_cell"] = stored / m->ncells;
    state.counters["nodes_per_column"] = static_cast<double>(m->richards.nodes.size()) / m->ncells;
    state.SetLabel(state.range(0) ? "water table 1.5 m down" : "free drainage");
}

}  // namespace

BENCHMARK(richards_hour)->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
