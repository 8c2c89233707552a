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

#include <chrono>
#include <memory>

#include <omp.h>

#include "bench_plane.hpp"
#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"
#include "support/heap_use.hpp"

namespace {

using bench_plane::kCols;
using bench_plane::kDx;
using bench_plane::kRows;
using bench_plane::kStartJulian;
constexpr double kStep = 300.0;  // s

// The plane of the overland benchmark, routed by the explicit scheme.
std::unique_ptr<kesta::model_state> make_plane() { return bench_plane::make_plane(1, kRows, kCols, kStep); }

void overland_step(kesta::model_state& m) {
    ++m.step;
    m.time = kStartJulian + m.step * m.ov_interval;
    kesta::apply_precip(m);
    kesta::step_overland_flow(m);
}

// Bytes the constituent arrays of `count` contaminants keep, with or
// without soil transport and a water table.
double contam_bytes(int count, bool soil, bool water_table) {
    kesta::model_state m;
    m.ncells = kRows * kCols;
    m.ov_con_trans = 1;
    m.soil_con_trans = soil ? 1 : 0;
    m.water_table_given = water_table ? 1 : 0;
    const double before = bench_heap::heap_bytes();
    kesta::alloc_overland_contam_arrays(m, count, m.ncells, 0, 0);
    return bench_heap::heap_bytes() - before;
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
