// Speed and water balance of the groundwater head solve on square gravel
// aquifers of 30 m cells: conductivity 0.1 m/s, 10 m saturated over a flat
// bottom, storage 0.05, 1 mm/day of recharge on every cell, and heads held
// 2 m lower on the west column and the south row, so the water table falls
// towards them from the start. Sides of 100, 316 and 1000 cells (1e4, 1e5
// and 1e6 cells), and 300 (9 times the cells of 100); steps of one hour
// (four of them), one day (two) and one step of a century (steady).
//
// Reported per groundwater step: the solver's seconds, its Picard passes,
// conjugate-gradient iterations and complete factorisations (summed over
// the passes), and at the end the aquifer's balance error of the run
// (percent of its starting volume). The run's time is the solver's alone,
// the aquifer's making left out.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "subsurface/groundwater.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace {

constexpr double kDx = 30.0;           // m
constexpr double kConductivity = 0.1;  // m/s
constexpr double kThickness = 10.0;    // m saturated at the start
constexpr double kHeldDrop = 2.0;      // m the held heads stand below the start
constexpr double kStorage = 0.05;
constexpr double kRecharge = 0.001 / 86400.0;  // m/s
constexpr double kStartJulian = 2451545.0;
constexpr double kHour = 3600.0, kDay = 86400.0, kCentury = 100.0 * 365.0 * 86400.0;  // s

std::unique_ptr<kesta::model_state> make_aquifer(int side, double dt) {
    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->rows = m->cols = side;
    m->gridsize = kDx;
    m->ncells = side * side;
    m->gw_simulation = m->water_table_given = 1;
    m->quiet = m->super_quiet = 1;
    m->mask = kesta::mat2<int>(side + 1, side + 1);
    kesta::alloc_overland_arrays(*m);
    for (int r = 1; r <= side; ++r) {
        for (int c = 1; c <= side; ++c) {
            const int k = (r - 1) * side + c;
            m->mask[r][c] = k;
            m->rightcon[k] = c < side ? k + 1 : 0;
            m->leftcon[k] = c > 1 ? k - 1 : 0;
            m->belowcon[k] = r < side ? k + side : 0;
            m->abovecon[k] = r > 1 ? k - side : 0;
            const bool held = c == 1 || r == side;
            m->gwbound[k] = held ? kesta::kGwFixedHead : 0;
            m->bottom_elev[k] = 0.0;
            m->elevgw[k] = held ? kThickness - kHeldDrop : kThickness;
            m->gw_Kx_hycond[k] = m->gw_Ky_hycond[k] = kConductivity;
            m->gw_array_porosity[k] = m->STOR[k] = kStorage;
            m->DELX[k] = m->DELY[k] = kDx;
            m->qwell_static[k] = -kRecharge;
        }
    }
    m->time = kStartJulian;
    m->timestep = m->gw_timestep = dt;
    if (!kesta::setup_groundwater(*m, "bench porosity", "bench conductivity")) return nullptr;
    kesta::set_clock_interval(m->gw_interval_sec, m->gw_interval, dt);
    kesta::arm_clock(m->gw_last, m->gw_next, m->time, m->gw_interval);
    m->initial_gw_volume = kesta::groundwater_volume(*m);
    return m;
}

// Args: side (cells), step (s), steps, preconditioner (0 by the step's
// stiffness, as runs do; 1 diagonal; 2 complete factorisation).
void groundwater_steps(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const double dt = static_cast<double>(state.range(1));
    const int steps = static_cast<int>(state.range(2));
    const auto preconditioner = static_cast<kesta::gw_preconditioner>(state.range(3));
    double seconds = 0.0, error = 0.0;
    long long tries = 0, iterations = 0, factorisations = 0, solved_steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto m = make_aquifer(side, dt);
        if (!m) {
            state.SkipWithError("the aquifer could not be built");
            return;
        }
        m->gw_preconditioner_choice = preconditioner;
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < steps; ++i) {
            m->time = m->gw_next;
            kesta::step_groundwater(*m);
            if (kesta::g_error_record.stop) break;
        }
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
        if (kesta::g_error_record.stop) {
            state.SkipWithError("the solve stopped");
            return;
        }
        state.SetIterationTime(s.count());
        seconds += s.count();
        tries += m->gw_counts.picard_tries;
        iterations += m->gw_counts.iterations;
        factorisations += m->gw_counts.factorisations;
        solved_steps += steps;
        error = kesta::groundwater_balance_error(*m);
    }
    const double per_step = static_cast<double>(solved_steps);
    state.counters["s_per_step"] = seconds / per_step;
    state.counters["picard_per_step"] = static_cast<double>(tries) / per_step;
    state.counters["iterations_per_step"] = static_cast<double>(iterations) / per_step;
    state.counters["factorisations_per_step"] = static_cast<double>(factorisations) / per_step;
    state.counters["balance_error_pct"] = error;
}

// Every size and step with the preconditioner runs choose; 100 and 300
// cells a side (the 9x pair) and every step with each preconditioner held.
void cases(benchmark::internal::Benchmark* b) {
    const long long steps[][2] = {{static_cast<long long>(kHour), 4},
                                  {static_cast<long long>(kDay), 2},
                                  {static_cast<long long>(kCentury), 1}};
    for (int side : {100, 300, 316, 1000})
        for (const auto& [dt, n] : steps)
            for (int p = 0; p <= 2; ++p)
                if (p == 0 || side <= 300) b->Args({side, dt, n, p});
    b->ArgNames({"side", "dt", "steps", "precond"});
}

}  // namespace

BENCHMARK(groundwater_steps)->Apply(cases)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
