// Cost of one channel constituent call on a network of 10,000 nodes, for 1
// and 10 constituents: the routing kernel of every constituent over one
// channel interval of 60 s, on one thread. The network is a tree of 100
// links of 100 nodes 50 m apart: link l drains into link l / 2, link 1 out
// of the basin; each link passes 0.1 m3/s for every link of its subtree at
// 0.5 m/s (so the Courant number of an interval is 0.6 and the call takes
// two sub-steps), with dispersion of 1 m2/s between neighbouring nodes and
// a source at the head of every link that has none above it. Reported: ms
// per call, ns per node, constituent and sub-step, and the sub-steps and
// corrector passes of a constituent's call (linear in nodes and
// constituents: the kernel passes over the stores and faces a fixed
// number of times per pass).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include <omp.h>

#include "transport/channel_constituents.hpp"

namespace {

constexpr int kLinks = 100;
constexpr int kNodes = 100;   // per link
constexpr double kDx = 50.0;  // m
constexpr double kSpeed = 0.5;  // m/s
constexpr double kInterval = 60.0;  // s

struct tree_network {
    int rows = kLinks * kNodes;
    std::vector<kesta::wash_face> faces;
    std::vector<kesta::disp_face> disp;
    std::vector<double> water, length, coef, rate;
    std::vector<double> work[10];
    kesta::chan_wq_network net;

    static int row(int l, int j) { return (l - 1) * kNodes + j; }

    tree_network() : water(rows + 1), length(rows + 1, kDx), coef(rows + 1, 1.0), rate(rows + 1) {
        std::vector<int> subtree(kLinks + 1, 1);
        for (int l = kLinks; l >= 2; --l) subtree[l / 2] += subtree[l];
        for (int l = 1; l <= kLinks; ++l) {
            const double q = 0.1 * subtree[l];
            for (int j = 1; j <= kNodes; ++j) {
                water[row(l, j)] = q / kSpeed * kDx;
                const int down = j < kNodes ? row(l, j + 1) : (l == 1 ? 0 : row(l / 2, 1));
                faces.push_back({row(l, j), down, row(l, j), q * kInterval});
                if (down > 0) disp.push_back({row(l, j), down, kDx});
            }
            if (2 * l > kLinks) rate[row(l, 1)] = 0.5;  // g/s
        }
        for (auto& v : work) v.assign(faces.size() + disp.size() + 1, 0.0);
        net.rows = rows;
        net.faces = faces.data();
        net.nfaces = static_cast<int>(faces.size());
        net.disp = disp.data();
        net.ndisp = static_cast<int>(disp.size());
        net.water0 = net.water1 = water.data();
        net.length = length.data();
        net.disp_coef = coef.data();
    }
};

void channel_constituent_call(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    omp_set_num_threads(1);
    tree_network t;
    std::vector<std::vector<double>> mass(static_cast<std::size_t>(count), std::vector<double>(t.rows + 1));
    for (int c = 0; c < count; ++c)
        for (int r = 1; r <= t.rows; ++r) mass[static_cast<std::size_t>(c)][r] = 1.0 + (r + c) % 5;
    std::vector<double> total(t.faces.size());
    kesta::chan_wq_work w{t.work[0].data(), t.work[1].data(), t.work[2].data(), t.work[3].data(),
                          t.work[4].data(), t.work[5].data(), t.work[6].data(), t.work[7].data(),
                          t.work[8].data(), t.work[9].data()};
    double seconds = 0.0;
    long calls = 0, substeps = 0, passes = 0;
    bool ok = true;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int c = 0; c < count; ++c) {
            const kesta::chan_wq_result r =
                kesta::chan_wq_route(t.net, mass[static_cast<std::size_t>(c)].data(), t.rate.data(), kInterval, w,
                                     total.data());
            substeps += r.substeps;
            passes += r.passes;
            ok = ok && r.ok;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++calls;
    }
    if (!ok) state.SkipWithError("the routing stopped");
    const double per_constituent = static_cast<double>(calls) * count;
    state.counters["nodes"] = t.rows;
    state.counters["constituents"] = count;
    state.counters["ms_per_call"] = 1e3 * seconds / static_cast<double>(calls);
    state.counters["substeps_per_constituent"] = static_cast<double>(substeps) / per_constituent;
    state.counters["passes_per_constituent"] = static_cast<double>(passes) / per_constituent;
    state.counters["ns_per_node_constituent_substep"] =
        1e9 * seconds / (static_cast<double>(t.rows) * static_cast<double>(substeps));
}

}  // namespace

BENCHMARK(channel_constituent_call)->Arg(1)->Arg(10)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);
