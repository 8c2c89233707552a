// Speed and memory of the plant and soil nutrient library: 10^4 and 10^5
// cells of three soil layers and one corn plant, stepped hour by hour over
// one simulated summer day, all cells in one call. Reports microseconds
// per cell-step and the resident bytes each cell adds to the process (cell,
// layer records and graphs), and the heap bytes in use per cell.
//
// And the model's soil step of the nutrients (step_soil_nutrients: the
// library coupled to the soil pools, then the pools moved with the water)
// on 10^4 cells of three 0.1 m layers with water going down half of them,
// at 15-minute intervals: microseconds per cell-step, and the allocations
// the steps make (none are allowed; counted by the replaced operator new).
// The soil step alone moves the pools; with the reactions before it
// (react_soil_nutrients: the library's cells bound to the pool tables step
// where the model keeps them) it is the whole soil part of a run's step.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/source/vegso_interface.hpp"
#include "nutrients/zep_soils.hpp"
#include "transport/transport_steps.hpp"
#include "support/heap_use.hpp"

// Every allocation through operator new is counted.
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The replaced operators pair malloc with free, which the compiler cannot
// see through where it inlines them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t bytes) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(bytes > 0 ? bytes : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr int kLayers = 3;
constexpr int kHours = 24;

// Resident bytes of the process.
double resident_bytes() {
    long pages = 0;
    long resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0.0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

vegso_cell_handle* make_cell(int number) {
    vegso_schema* schema = vegso_schema_create(1, kLayers);
    schema->plants[0] = vegso_plant_desc_create();
    std::strcpy(schema->plants[0]->name, "CORN");
    schema->plants[0]->value = 1.0;
    const double bottom[kLayers] = {0.1, 0.4, 1.0};  // m
    for (int j = 0; j < kLayers; ++j) {
        vegso_layer_record* r = vegso_layer_defaults();
        r->v[vegso_layer_number] = j;
        r->v[vegso_bottom_depth] = bottom[j];
        r->v[vegso_thickness] = bottom[j] - (j > 0 ? bottom[j - 1] : 0.0);
        r->v[vegso_mass_factor] = 900.0;  // a 30-m cell
        r->v[vegso_solid_density] = 2650.0;
        r->v[vegso_water_content] = 0.25 + 0.02 * j;
        r->v[vegso_field_capacity] = 0.3;
        r->v[vegso_wilting_point] = 0.1;
        vegso_layer_init_pools(r);
        schema->layers[j] = r;
    }
    vegso_cell_handle* h = vegso_cell_create(schema, number);
    vegso_schema_destroy(schema);
    return h;
}

void nutrient_cells_day(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    double seconds = 0.0;
    double resident_per_cell = 0.0;
    double heap_per_cell = 0.0;
    for (auto _ : state) {
        malloc_trim(0);
        const double resident0 = resident_bytes();
        const double heap0 = bench_heap::heap_bytes();
        std::vector<vegso_cell_handle*> handles(static_cast<std::size_t>(cells));
        for (int k = 0; k < cells; ++k) handles[static_cast<std::size_t>(k)] = make_cell(k + 1);
        resident_per_cell = (resident_bytes() - resident0) / cells;
        heap_per_cell = (bench_heap::heap_bytes() - heap0) / cells;

        vegso_env_record* env = vegso_env_create();
        env->period = 1.0 / 24.0;
        const auto t0 = std::chrono::steady_clock::now();
        for (int hour = 0; hour < kHours; ++hour) {
            env->day_of_year = 180.0 + hour / 24.0;
            env->air_temperature.value = 18.0 + 8.0 * (hour >= 6 && hour < 19);
            vegso_env_update(env);
            vegso_cells_step(env, handles.data(), cells);
        }
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
        seconds += s.count();
        benchmark::DoNotOptimize(handles[0]->schema->layers[0]->v[vegso_nitrate]);
        vegso_free_record(env);
        for (vegso_cell_handle* h : handles) vegso_cell_destroy(h);
    }
    state.counters["us_per_cell_step"] =
        seconds * 1e6 / (static_cast<double>(cells) * kHours * static_cast<double>(state.iterations()));
    state.counters["resident_bytes_per_cell"] = resident_per_cell;
    state.counters["heap_bytes_per_cell"] = heap_per_cell;
}

constexpr int kSoilCells = 10000;
constexpr double kSoilInterval = 900.0;  // s
constexpr double kLayerThickness = 0.1;  // m

// kSoilCells cells of three layers with the nutrient slots and their
// library cells; the even cells pass 1 mm of water down every interval.
std::unique_ptr<kesta::model_state> make_soil_cells() {
    kesta::g_error_record.clear_for_run();
    auto m = std::make_unique<kesta::model_state>();
    const int n = kSoilCells;
    m->ncells = n;
    m->gridsize = 30.0;
    m->super_quiet = 1;
    m->ov_con_trans = 1;
    m->soil_con_trans = 1;
    m->green_ampt_on = 1;
    m->mixing_layer_depth = 10.0;  // cm
    m->time_tol = kesta::kTimeTolerance;
    m->theta_all = kesta::vec1<double>(n);
    m->theta_all.fill(0.3);
    m->phi_map = kesta::vec1<double>(n);
    m->phi_map.fill(0.45);
    m->zep = std::make_shared<kesta::zep_container>();
    m->zep->environment = vegso_env_create();
    kesta::alloc_overland_contam_arrays(*m, 0, n, 1, 0);
    // Three layers in place of the single one of the set-up, and the
    // library cells made anew over them.
    for (int k = 1; k <= n; ++k) {
        m->soil_layer_count[k] = 3;
        for (int l = 1; l <= 3; ++l) {
            m->soil_thickness[k][l] = kLayerThickness;
            m->soil_porosity[k][l] = 0.45;
            m->nutrient_grid.table[k][l] = 0.3;
        }
    }
    kesta::zep_soils_allocate(*m);
    m->time = 2451545.0;
    m->soil_con_last = m->time - kSoilInterval / kesta::kSecondsPerDay;
    m->soil_con_next = m->inf_next = m->time;
    return m;
}

// The soil step alone (range 0) or with the reactions of the pools before
// it (range 1).
void soil_nutrient_step(benchmark::State& state) {
    auto m = make_soil_cells();
    const bool react = state.range(0) != 0;
    const auto step = [&] {
        for (int k = 2; k <= kSoilCells; k += 2) m->soil_infil_depth[k] = 0.001;  // m
        if (react) kesta::react_soil_nutrients(*m);
        kesta::step_soil_nutrients(*m);
        m->time += kSoilInterval / kesta::kSecondsPerDay;
        m->soil_con_next = m->inf_next = m->time;
    };
    step();  // every page touched once
    const long allocations = g_allocations.load();
    double seconds = 0.0;
    long steps = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        step();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++steps;
    }
    const long added = g_allocations.load() - allocations;  // before the counters allocate
    if (kesta::g_error_record.stop) state.SkipWithError("the soil step stopped the run");
    state.counters["us_per_cell_step"] = 1e6 * seconds / (static_cast<double>(kSoilCells) * steps);
    state.counters["allocations_per_step"] = static_cast<double>(added) / steps;
}

}  // namespace

BENCHMARK(soil_nutrient_step)->Arg(0)->Arg(1)->Iterations(50)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(nutrient_cells_day)->Arg(10000)->Arg(100000)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
