// Speed of the explicit channel routing: the cost of one sub-step per node
// on binary trees of trapezoidal links of 40 nodes, 4, 8 and 12 levels deep
// (600, 10,200 and 163,800 nodes; every head link fed a steady inflow,
// started 0.3 m deep and routed a while before timing), and the channel
// step's share of a whole run of the valley example, timed step by step
// through the run driver's observer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "channel/channel_routing.hpp"
#include "channel/channel_steps.hpp"
#include "channel/cross_section.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "model/run_driver.hpp"
#include "model/run_model.hpp"
#include "support/scratch_folder.hpp"

namespace {

namespace fs = std::filesystem;
using kesta::format_text;

constexpr int kNodes = 41;        // input nodes per link: 40 computational nodes
constexpr double kDx = 50.0;      // m
constexpr double kSlope = 0.002;
constexpr double kHeadFlow = 0.5;  // m3/s into every head link
constexpr double kStep = 10.0;     // s, one channel step
constexpr double kStartDepth = 0.3;  // m at every node before the warm-up
constexpr int kWarmup = 200;         // channel steps routed before timing

// Link k (1-based, heap order from the outlet) is numbered nlinks + 1 - k,
// so that the outlet is the last link; its upstream links are 2k and 2k + 1.
std::string tree_network(int depth) {
    const int links = (1 << depth) - 1;
    auto id = [&](int k) { return links + 1 - k; };
    auto level = [](int k) {
        int d = 0;
        while (k > 1) {
            k /= 2;
            ++d;
        }
        return d;
    };
    std::string t = format_text("KESTA_CHAN\nALPHA 1\nBETA 1\nTHETA 1\nLINKS %d\nMAXNODES %d\n", links, kNodes);
    for (int k = links; k >= 1; --k) {
        const bool head = 2 * k > links;
        if (head) t += format_text("CONNECT %d %d 0\n", id(k), k == 1 ? 0 : id(k / 2));
        else t += format_text("CONNECT %d %d 2 %d %d\n", id(k), k == 1 ? 0 : id(k / 2), id(2 * k), id(2 * k + 1));
    }
    for (int k = links; k >= 1; --k) {
        // A link's top lies one link length higher per level above the outlet.
        const double top = 100.0 + (level(k) + 1) * (kNodes - 1) * kDx * kSlope;
        const double bottom = 2.0 + (depth - 1 - level(k));  // wider downstream
        t += format_text("LINK %d\nNODES %d\nTRAPEZOID\nMANNINGS_N 0.035\nDX %g\n", id(k), kNodes, kDx);
        for (int j = 1; j <= kNodes; ++j) {
            t += format_text("NODE %d\nELEV %.4f\n", j, top - (j - 1) * kDx * kSlope);
            if (j == 1) t += format_text("XSEC\nBOTTOM_WIDTH %g\nSIDE_SLOPE 1.5\nBANKFULL_DEPTH 2\n", bottom);
        }
    }
    return t;
}

std::unique_ptr<kesta::model_state> tree_model(const fs::path& folder, int depth) {
    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->rows = m->cols = 1;
    m->ncells = 1;
    m->gridsize = kDx;
    m->quiet = m->super_quiet = 1;
    kesta::alloc_imatrix(m->mask, 2, 2, "mask");
    kesta::alloc_dvector(m->elev, 1, "elev");
    m->mask[1][1] = 1;
    m->chan_routing = 1;
    m->channel_input = (folder / "tree.chan").string();
    std::FILE* fp = std::fopen(m->channel_input.c_str(), "w");
    const std::string text = tree_network(depth);
    std::fputs(text.c_str(), fp);
    std::fclose(fp);
    m->channel_input_fp = kesta::open_file(m->channel_input, "r", 0);
    kesta::setup_channel(*m);
    for (int l = 1; l <= m->nlinks; ++l)
        for (int j = 1; j <= m->nx[l]; ++j) m->yp[j][l] = m->bel[j][l] + kStartDepth;
    kesta::ex_section(*m, 2);
    m->first_order_chan_q = kHeadFlow;
    return m;
}

int computational_nodes(const kesta::model_state& m) {
    int n = 0;
    for (int l = 1; l <= m.nlinks; ++l) n += m.nx[l];
    return n;
}

void channel_substeps(benchmark::State& state, int depth) {
    const fs::path folder = bench_scratch::fresh_folder("kesta_channel_bench");
    const fs::path here = fs::current_path();
    fs::current_path(folder);  // the set-up writes its diagnostic files here
    auto m = tree_model(folder, depth);
    fs::current_path(here);
    if (kesta::g_error_record.stop) {
        state.SkipWithError("the network could not be set up");
        return;
    }
    double outlet = 0.0;
    for (int k = 0; k < kWarmup && !kesta::g_error_record.stop; ++k) kesta::ex_flow_route(*m, kStep, 0.2, outlet);
    const int nodes = computational_nodes(*m);
    double node_substeps = 0.0, seconds = 0.0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (kesta::ex_flow_route(*m, kStep, m->max_courant_number, outlet) != 0) {
            state.SkipWithError("the routing stopped");
            break;
        }
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
        seconds += s.count();
        node_substeps += static_cast<double>(nodes) * m->route_substeps;
    }
    fs::remove_all(folder);
    state.counters["nodes"] = nodes;
    state.counters["substeps_per_step"] = node_substeps / nodes / static_cast<double>(state.iterations());
    state.counters["ns_per_node_substep"] = 1e9 * seconds / node_substeps;
    state.counters["outlet_m3_per_s"] = m->qp[m->nx[m->nlinks]][m->nlinks];
}

// Time spent in each step of the run, from the observer's calls: the time
// between two calls belongs to the step the first one let run.
std::map<std::string, double>* g_step_seconds = nullptr;
std::string g_running;
std::chrono::steady_clock::time_point g_since;

void mark(const char* name) {
    const auto now = std::chrono::steady_clock::now();
    if (!g_running.empty()) (*g_step_seconds)[g_running] += std::chrono::duration<double>(now - g_since).count();
    g_running = name;
    g_since = now;
}

bool time_step(kesta::model_state&, const char* name) {
    mark(name);
    return true;
}

void valley_run(benchmark::State& state) {
    const fs::path example = fs::path(__FILE__).parent_path().parent_path() / "examples" / "valley";
    const fs::path folder = bench_scratch::fresh_folder("kesta_valley_bench");
    fs::create_directories(folder / "maps");
    for (const char* name :
         {"valley.prj", "valley.cmt", "valley.chan", "valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(example / name, folder / name);
    const fs::path here = fs::current_path();
    fs::current_path(folder);
    std::map<std::string, double> seconds;
    g_step_seconds = &seconds;
    double total = 0.0;
    for (auto _ : state) {
        g_running.clear();
        kesta::set_step_observer(time_step);
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = kesta::run_model("valley.prj", nullptr);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        mark("");
        kesta::set_step_observer(nullptr);
        if (rc != 0) state.SkipWithError("the valley run failed");
    }
    fs::current_path(here);
    fs::remove_all(folder);
    state.counters["channel_share"] = seconds["step_channel_routing"] / total;
    state.counters["overland_share"] = seconds["step_overland_flow"] / total;
    state.counters["channel_s_per_run"] = seconds["step_channel_routing"] / state.iterations();
}

}  // namespace

// Iterations fall with the size so that each tree is timed for a similar while.
BENCHMARK_CAPTURE(channel_substeps, depth4, 4)->Iterations(3000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(channel_substeps, depth8, 8)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(channel_substeps, depth12, 12)->Iterations(12)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(valley_run)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
