// Speed of the superlink solver on tree-like pipe networks of 100 to 30,000
// superjunctions (junction j drains to junction j / 2 by a superlink of three
// 50 m circular pipes, junction 1 is a free outfall, every head superlink fed
// a steady inflow): one sub-step past the set-up limits, and a simulated hour
// of 1 s steps from empty pipes, in ns per pipe and step with the passes per
// sub-step and the hour's balance; and, for comparison, a dense LU with
// partial pivoting of a 1000 by 1000 system.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <chrono>
#include <cmath>

#include "../tests/channel/superlink_network.hpp"
#include "channel/superlink/superlink_solver.hpp"

namespace {

using namespace kesta;

constexpr int kPipesPerSuperlink = 3;

void build_tree(storm_drain_state& s, int junctions) {
    kesta_test::pipe_network_layout p;
    p.junctions = junctions;
    p.pipes = kPipesPerSuperlink;
    p.fixed_head = {1};
    for (int j = 2; j <= junctions; ++j) p.links.emplace_back(j, j / 2);
    p.bottom.resize(static_cast<std::size_t>(junctions));
    for (int j = 1; j <= junctions; ++j) {
        int level = 0;
        for (int k = j; k > 1; k /= 2) ++level;
        p.bottom[static_cast<std::size_t>(j - 1)] = 10.0 + level * p.pipes * p.length * p.slope;
    }
    kesta_test::build_pipe_network(s, p);
    for (int l = 1; l <= s.n_superlinks; ++l) {
        if (2 * s.us_sjunc[l] > junctions) s.superlink_tile_flow[l][1] = 0.01;
    }
}

void BM_SuperlinkSubstep(benchmark::State& state) {
    const int junctions = static_cast<int>(state.range(0));
    storm_drain_state s;
    build_tree(s, junctions);
    vec1<double> h(1);
    // A host step of 1 s is shorter than every pipe's wave-travel time: one
    // sub-step per call. Let the flow establish itself first.
    for (int k = 0; k < 200; ++k) superlink_step(s, h, 10.0, 1.0);
    for (auto _ : state) {
        superlink_step(s, h, 10.0, 1.0);
        benchmark::DoNotOptimize(s.sjunc_head[1]);
    }
    state.counters["substeps_per_call"] = s.superlink_substeps;
    state.counters["passes_per_call"] = s.superlink_passes;
    state.counters["us_per_junction"] =
        benchmark::Counter(static_cast<double>(junctions) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SuperlinkSubstep)->Arg(100)->Arg(1000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMicrosecond);

// One simulated hour of 1 s steps from the first call (empty pipes) as the
// flow fills the tree, timed by the wall clock without the network's making:
// ns per computational pipe and step, the passes of the storage iteration
// per sub-step, the sub-steps per step, and the hour's balance error (water
// in less water out, stored and made) per m3 taken in.
void BM_SuperlinkHour(benchmark::State& state) {
    const int junctions = static_cast<int>(state.range(0));
    constexpr int kSteps = 3600;
    double passes = 0.0, substeps = 0.0, balance = 0.0, seconds = 0.0;
    for (auto _ : state) {
        storm_drain_state s;
        build_tree(s, junctions);
        vec1<double> h(1);
        double in = 0.0, out = 0.0, made = 0.0;
        passes = substeps = 0.0;
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < kSteps; ++k) {
            s.superlink_volume_in = s.superlink_volume_out = 0.0;
            s.drain_cleanup_volume = s.drain_linearisation_volume = 0.0;
            if (superlink_step(s, h, 10.0, 1.0) != 0) {
                state.SkipWithError("the junction system could not be solved");
                return;
            }
            in += s.superlink_volume_in;
            out += s.superlink_volume_out;
            made += s.drain_cleanup_volume + s.drain_linearisation_volume;
            passes += s.superlink_passes;
            substeps += s.superlink_substeps;
        }
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(took);
        seconds += took;
        const double stored = s.volume_remaining_in_drains - s.initial_volume_sub_surface_drains;
        balance = std::fabs(in - out - stored + made) / in;
        benchmark::DoNotOptimize(s.sjunc_head[1]);
    }
    const double pipe_steps = static_cast<double>(junctions - 1) * kPipesPerSuperlink * kSteps;
    state.counters["ns_per_pipe_step"] = seconds * 1e9 / (pipe_steps * static_cast<double>(state.iterations()));
    state.counters["passes_per_substep"] = passes / substeps;
    state.counters["substeps_per_step"] = substeps / kSteps;
    state.counters["balance_error"] = balance;
}
BENCHMARK(BM_SuperlinkHour)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(30000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void BM_DenseLu1000(benchmark::State& state) {
    const int n = 1000;
    Eigen::MatrixXd a = Eigen::MatrixXd::Random(n, n);
    a.diagonal().array() += n;
    for (auto _ : state) {
        Eigen::PartialPivLU<Eigen::MatrixXd> lu(a);
        benchmark::DoNotOptimize(lu.matrixLU().data());
    }
}
BENCHMARK(BM_DenseLu1000)->Unit(benchmark::kMillisecond);

}  // namespace
