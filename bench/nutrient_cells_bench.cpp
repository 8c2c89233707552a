// Speed and memory of the plant and soil nutrient library: 10^4 and 10^5
// cells of three soil layers and one corn plant, stepped hour by hour over
// one simulated summer day. Reports microseconds per cell-step and the
// resident bytes each cell adds to the process (cell, layer records and
// graphs), and the heap bytes in use per cell.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "nutrients/source/vegso_interface.hpp"

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

double heap_bytes() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
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
        const double heap0 = heap_bytes();
        std::vector<vegso_cell_handle*> handles(static_cast<std::size_t>(cells));
        for (int k = 0; k < cells; ++k) handles[static_cast<std::size_t>(k)] = make_cell(k + 1);
        resident_per_cell = (resident_bytes() - resident0) / cells;
        heap_per_cell = (heap_bytes() - heap0) / cells;

        vegso_env_record* env = vegso_env_create();
        env->period = 1.0 / 24.0;
        const auto t0 = std::chrono::steady_clock::now();
        for (int hour = 0; hour < kHours; ++hour) {
            env->day_of_year = 180.0 + hour / 24.0;
            env->air_temperature.value = 18.0 + 8.0 * (hour >= 6 && hour < 19);
            vegso_env_update(env);
            for (vegso_cell_handle* h : handles) vegso_cell_step(env, h);
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

}  // namespace

BENCHMARK(nutrient_cells_day)->Arg(10000)->Arg(100000)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
