// Speed of one superlink solver sub-step on tree-like pipe networks of 100,
// 1000 and 10,000 superjunctions (junction j drains to junction j / 2 by a
// superlink of three 50 m pipes, junction 1 is a free outfall, every head
// superlink fed a steady inflow), past the set-up limits; and, for
// comparison, a dense LU with partial pivoting of a 1000 by 1000 system.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>

#include "../tests/channel/superlink_network.hpp"
#include "channel/superlink/superlink_solver.hpp"

namespace {

using namespace kesta;

void build_tree(storm_drain_state& s, int junctions) {
    kesta_test::pipe_network_spec p;
    p.junctions = junctions;
    p.pipes = 3;
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
BENCHMARK(BM_SuperlinkSubstep)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

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
