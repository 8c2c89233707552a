// Cost of the overland nutrient reactions on 10^6 wet cells (0.1 m deep,
// every species present, the light of a bright hour so the algae grow): one
// zep_overland_step over a 300 s interval, in ns per cell, on one thread.
// The step must allocate nothing: the heap in use after the steps is
// compared with the heap before them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "transport/transport_steps.hpp"
#include "support/heap_use.hpp"

namespace {

constexpr int kCells = 1000000;
constexpr double kDx = 10.0;            // m
constexpr double kDepth = 0.1;          // m
constexpr double kStepDays = 300.0 / 86400.0;

std::unique_ptr<kesta::model_state> make_cells() {
    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->ncells = kCells;
    m->gridsize = kDx;
    m->super_quiet = 1;
    m->project_options.water_temp = 20.0;
    m->project_options.chan_ph = 7.2;
    m->h = kesta::vec1<double>(kCells);
    m->h.fill(kDepth);
    m->zep = std::make_shared<kesta::zep_container>();
    kesta::zep_overland_allocate(*m);
    kesta::zep_overland_init(*m);
    kesta::alloc_overland_contam_arrays(*m, 0, kCells, 1, 0);
    m->contam_water.fill(kDepth);
    kesta::zep_container& z = *m->zep;
    z.environment = vegso_env_create();
    z.environment->solar_radiation = {1, 2.0};  // MJ/m2 over the hour
    vegso_env_update(z.environment);
    z.aquatic.num_ids = 1;
    z.aquatic.rates.assign(2, aq_rate_block());
    z.aquatic.given.assign(2, 1);
    z.aquatic.overland_ids = kesta::vec1<int>(kCells);
    z.aquatic.overland_ids.fill(1);
    const double conc[kesta::kNutrientSpecies] = {0.05, 0.8, 0.3, 0.5, 0.2, 0.1, 2.0, 3.0, 7.0};
    const double volume = kDepth * kDx * kDx;
    for (int s = 0; s < kesta::kNutrientSpecies; ++s) {
        const std::size_t slot = static_cast<std::size_t>(m->first_nutrient_constituent + s);
        m->contam_conc[slot].fill(conc[s]);
        m->contam_mass[slot].fill(conc[s] * volume);
    }
    return m;
}

void overland_reactions(benchmark::State& state) {
    auto m = make_cells();
    kesta::zep_overland_step(*m, kStepDays);  // every page touched once
    const double heap_before = bench_heap::heap_bytes();
    double seconds = 0.0;
    long steps = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        kesta::zep_overland_step(*m, kStepDays);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++steps;
    }
    const double added = bench_heap::heap_bytes() - heap_before;  // before the counters take heap
    if (kesta::g_error_record.stop) state.SkipWithError("the reactions stopped the run");
    state.counters["cells"] = kCells;
    state.counters["ns_per_cell"] = 1e9 * seconds / (static_cast<double>(kCells) * steps);
    state.counters["heap_bytes_added_by_steps"] = added;
}

}  // namespace

BENCHMARK(overland_reactions)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
