// Cost of overland contaminant transport on a wet 1000 x 1000-cell tilted
// plane under rain, on one thread, for 1, 5 and 20 contaminants: the
// transport step of the constituents in ns per cell, constituent and
// sub-step (the interval is cut into the sub-steps in which no cell gives
// more than half its mass, here several per step); and the memory the
// constituent arrays keep, in bytes per cell for what every constituent
// shares and per cell and constituent, overland alone and with soil
// transport (its soil tables) and a water table (the groundwater's
// concentration).
//
// The arrays are made by the model's own set-up call, so the memory is what
// a run holds: the heap the set-up leaves in use, all of it resident, since
// every array is zero-filled when it is made.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <memory>

#include <omp.h>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "overland/overland_steps.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace {

constexpr int kRows = 1000;
constexpr int kCols = 1000;
constexpr double kDx = 10.0;    // m
constexpr double kStep = 300.0;  // s
constexpr double kRain = 36.0;  // mm/h
constexpr double kStartJulian = 2451545.0;

// The plane of the overland benchmark, routed by the explicit scheme.
std::unique_ptr<kesta::model_state> make_plane() {
    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->rows = kRows;
    m->cols = kCols;
    m->gridsize = kDx;
    m->ncells = kRows * kCols;
    m->north = kRows * kDx;
    m->east = kCols * kDx;
    m->overtype = 1;
    kesta::alloc_imatrix(m->mask, kRows + 1, kCols + 1, "mask");
    kesta::alloc_overland_arrays(*m);
    m->elev = kesta::vec1<double>(m->ncells);
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) {
            const int k = (r - 1) * kCols + c;
            m->mask[r][c] = k;
            m->elev[k] = 1000.0 - 0.1 * (c - 1) - 0.05 * (r - 1);
            m->rightcon[k] = c < kCols ? k + 1 : 0;
            m->leftcon[k] = c > 1 ? k - 1 : 0;
            m->belowcon[k] = r < kRows ? k + kCols : 0;
            m->abovecon[k] = r > 1 ? k - kCols : 0;
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
    m->precip_state = 1;
    m->timestep = kStep;
    m->dt_days = kStep / 86400.0;
    m->rain_next_time = m->time;
    kesta::set_clock_interval(m->ov_interval_sec, m->ov_interval, kStep);
    kesta::arm_clock(m->ov_last_time, m->ov_next_time, m->time, m->ov_interval);
    return m;
}

void overland_step(kesta::model_state& m) {
    ++m.step;
    m.time = kStartJulian + m.step * m.ov_interval;
    kesta::apply_precip(m);
    kesta::step_overland_flow(m);
}

// Heap in use (bytes): the arenas' and the blocks mapped on their own.
double heap_bytes() {
    const struct mallinfo2 i = mallinfo2();
    return static_cast<double>(i.uordblks + i.hblkhd);
}

// Bytes the constituent arrays of `count` contaminants keep, with or
// without soil transport and a water table.
double contam_bytes(int count, bool soil, bool water_table) {
    kesta::model_state m;
    m.ncells = kRows * kCols;
    m.ov_con_trans = 1;
    m.soil_con_trans = soil ? 1 : 0;
    m.water_table_given = water_table ? 1 : 0;
    const double before = heap_bytes();
    kesta::alloc_overland_contam_arrays(m, count, m.ncells, 0, 0);
    return heap_bytes() - before;
}

// Memory: per cell what every constituent shares, per cell and
// constituent what each one adds.
void memory_counters(benchmark::State& state, const char* name, bool soil, bool water_table) {
    const double one = contam_bytes(1, soil, water_table), many = contam_bytes(21, soil, water_table);
    const double per = (many - one) / 20.0 / (kRows * kCols);
    state.counters[std::string(name) + "_shared_bytes_per_cell"] = one / (kRows * kCols) - per;
    state.counters[std::string(name) + "_bytes_per_cell_and_constituent"] = per;
}

// Each iteration is one transport step of every contaminant on the plane,
// whose water the overland step moved three steps before; the memory is
// measured apart, on fresh arrays.
void transport_steps(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    omp_set_num_threads(1);
    auto m = make_plane();
    m->ov_con_trans = 1;
    kesta::alloc_overland_contam_arrays(*m, count, m->ncells, 0, 0);
    for (int s = 0; s < 3; ++s) overland_step(*m);
    for (int c = 1; c <= count; ++c) {
        const std::size_t slot = static_cast<std::size_t>(c);
        m->contam_disp[slot].fill(0.01 * c);
        for (int k = 1; k <= m->ncells; ++k) m->contam_mass[slot][k] = 1.0 + (k % 7);
    }
    for (int k = 1; k <= m->ncells; ++k) m->contam_water[k] = m->h[k];
    // The sub-steps of each contaminant's interval.
    long substeps = 0;
    {
        kesta::transport_grid g;
        g.n = m->ncells;
        g.dx = kDx;
        g.left = m->leftcon.data();
        g.right = m->rightcon.data();
        g.above = m->abovecon.data();
        g.below = m->belowcon.data();
        g.qx = m->qx.data();
        g.qy = m->qy.data();
        for (int k = 1; k <= m->ncells; ++k) m->tr_vol0[k] = m->tr_vol1[k] = m->h[k] * kDx * kDx;
        g.vol0 = m->tr_vol0.data();
        g.vol1 = m->tr_vol1.data();
        kesta::transport_work w{m->tr_conc.data(), m->tr_mstar.data(), m->tr_limit.data(), m->tr_face_pred.data(),
                                m->tr_face.data()};
        kesta::vec1<double> scratch(m->ncells);
        double out = 0.0;
        for (int c = 1; c <= count; ++c)
            substeps += kesta::advect_disperse(g, m->contam_disp[static_cast<std::size_t>(c)].data(), scratch.data(),
                                               kStep, 1, w, 10000, out);
    }
    double seconds = 0.0;
    long steps = 0;
    for (auto _ : state) {
        m->wq_last = m->time - m->ov_interval;
        m->wq_next = m->time;
        const auto t0 = std::chrono::steady_clock::now();
        kesta::step_overland_contam_transport(*m);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++steps;
    }
    if (kesta::g_error_record.stop) state.SkipWithError("the transport step stopped the run");
    state.counters["constituents"] = count;
    state.counters["substeps_per_step"] = static_cast<double>(substeps) / count;
    state.counters["ns_per_cell_constituent_substep"] =
        1e9 * seconds / (static_cast<double>(m->ncells) * static_cast<double>(substeps) * steps);
    memory_counters(state, "overland", false, false);
    memory_counters(state, "soil", true, false);
    memory_counters(state, "soil_water_table", true, true);
}

}  // namespace

BENCHMARK(transport_steps)->Arg(1)->Arg(5)->Arg(20)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
