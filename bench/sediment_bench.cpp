// Cost of overland erosion on a wet 1000 x 1000-cell tilted plane under
// rain, on one thread, for 1, 3 and 6 sediment classes: the erosion step
// alone (detachment on every cell, transport across every face, settling)
// in ns per cell-step, beside the overland flow step of the same plane
// without erosion; and the memory the sediment set-up keeps, in bytes per
// cell and per cell and class.
//
// The classes and the soil come from a mapping-table file written for the
// run, read by the model's own sediment set-up, so the memory is what a run
// holds: the heap the set-up leaves in use, all of it resident, since every
// array is zero-filled when it is made.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <omp.h>

#include "bench_plane.hpp"
#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "transport/transport_steps.hpp"
#include "support/heap_use.hpp"
#include "support/scratch_folder.hpp"

namespace {

using bench_plane::kCols;
using bench_plane::kDx;
using bench_plane::kRows;
using bench_plane::kStartJulian;
using bench_plane::kStep;

// Seconds of `steps` overland steps of m (rain and flow, and erosion when
// the plane has its sediment).
double run_steps(kesta::model_state& m, int steps) {
    double seconds = 0.0;
    for (int s = 0; s < steps; ++s) {
        const auto t0 = std::chrono::steady_clock::now();
        ++m.step;
        m.time = kStartJulian + m.step * m.ov_interval;
        kesta::apply_precip(m);
        kesta::step_overland_flow(m);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    return seconds;
}

// A mapping-table file of `classes` classes (the first half fine, the rest
// sand) over one soil, with its index map, in `folder`.
std::string write_tables(const std::filesystem::path& folder, int classes) {
    const std::string map = (folder / "soil.asc").string();
    {
        std::ofstream grid(map);
        grid << "north: " << kRows * kDx << "\nsouth: 0\neast: " << kCols * kDx << "\nwest: 0\nrows: " << kRows
             << "\ncols: " << kCols << "\n";
        const std::string row = [] {
            std::string r;
            for (int c = 0; c < kCols; ++c) r += "1 ";
            return r + "\n";
        }();
        for (int r = 0; r < kRows; ++r) grid << row;
    }
    const std::string tables = (folder / "tables.cmt").string();
    std::ofstream t(tables);
    t << "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " << map << " \"Soil\"\nSEDIMENTS\nNUM_SED " << classes
      << "\nCLASS\n";
    for (int k = 1; k <= classes; ++k) {
        const double diameter = k <= (classes + 1) / 2 ? 0.002 * k : 0.1 * k;  // mm
        std::string name = "class " + std::to_string(k);
        name.resize(40, ' ');
        t << name << "2.65 " << diameter << " 0 c" << k << ".out\n";
    }
    t << "SOIL_EROSION_PROPS \"Soil\"\nNUM_IDS 1\nNUM_SED " << classes << "\nID\n";
    std::string row = "     1";
    row.resize(86, ' ');
    t << row << "0 0 0 60 2e-5 1 0 1";
    for (int k = 1; k <= classes; ++k) t << " " << 1.0 / classes;
    t << "\n";
    return tables;
}

// The plane's sediment, read by the sediment set-up (formula 2).
bool add_sediment(kesta::model_state& m, int classes, const std::filesystem::path& folder) {
    m.soil_erosion_given = 1;
    m.soil_erosion = 2;
    m.mapping_table_given = 1;
    m.mapping_table = write_tables(folder, classes);
    m.project_options.sand_size = 0.1;
    m.project_options.water_temp = 20.0;
    kesta::read_sediment_tables(m);
    return m.ov_sed && kesta::g_error_record.stop == 0;
}

// ns per cell-step of the overland step without erosion on one thread,
// measured once.
double overland_ns_per_cell_step() {
    static const double ns = [] {
        omp_set_num_threads(1);
        auto m = bench_plane::make_plane(1);  // the explicit scheme
        run_steps(*m, 2);
        const double seconds = run_steps(*m, 10);
        return 1e9 * seconds / (10.0 * m->ncells);
    }();
    return ns;
}

// Each iteration is one erosion step on the plane, whose water the
// overland step moved two steps before the set-up; the memory is what the
// set-up and the first step left in use.
void erosion_steps(benchmark::State& state) {
    const int classes = static_cast<int>(state.range(0));
    const double overland = overland_ns_per_cell_step();
    omp_set_num_threads(1);
    const std::filesystem::path folder = bench_scratch::fresh_folder("kesta_sediment_bench");
    auto m = bench_plane::make_plane(1);  // the explicit scheme
    run_steps(*m, 2);
    const double before = bench_heap::heap_bytes();
    if (!add_sediment(*m, classes, folder)) {
        state.SkipWithError("the sediment set-up refused the tables");
        return;
    }
    kesta::overland_sediment_transport(*m, kStep);
    const double bytes = bench_heap::heap_bytes() - before;
    std::filesystem::remove_all(folder);
    double seconds = 0.0;
    long steps = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        kesta::overland_sediment_transport(*m, kStep);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++steps;
    }
    if (kesta::g_error_record.stop) state.SkipWithError("the erosion step stopped the run");
    const double ns = 1e9 * seconds / (static_cast<double>(m->ncells) * steps);
    state.counters["classes"] = classes;
    state.counters["erosion_ns_per_cell_step"] = ns;
    state.counters["overland_ns_per_cell_step"] = overland;
    state.counters["erosion_over_overland"] = ns / overland;
    state.counters["bytes_per_cell"] = bytes / m->ncells;
    state.counters["bytes_per_cell_and_class"] = bytes / m->ncells / classes;
}

}  // namespace

BENCHMARK(erosion_steps)->Arg(1)->Arg(3)->Arg(6)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
