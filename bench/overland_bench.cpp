// Speed of the overland step on a 1000 x 1000-cell tilted plane under rain,
// for each routing scheme, as cell updates per second (cells x sub-steps per
// second of the step) and as the time it takes to advance the grid by one
// minute of simulated time. Beside it stand, measured right after it on the
// same threads, the rate of passes that stream the per-cell arrays one
// update of the scheme reads and writes and do nothing else (its memory
// ceiling; the bytes an update moves are given too) and that of a streaming
// triad a = b + s c over arrays of the grid's size and over arrays four
// times the last-level cache (the DRAM triad; the grid's own arrays may sit
// in a large cache), and the scheme's rate as a share of each. The step runs on the team the grid's size gives
// (thread_team: at most OMP_NUM_THREADS, by default the cores). The same
// steps run again on a plane large enough that they too stream from main
// memory ("beyond the cache"), set against the DRAM triad alone: like
// against like.
//
// overland_threads sets the rate on one thread against the rate on all the
// machine's cores in one run; overland_sizes gives the whole step's cost in
// ns per cell-step from 1e4 to 4e6 cells; overland_busy_machine sets the
// default team against one thread, first on the machine as it is, then
// under a load it makes itself, one busy process per core.
//
// The team on an idle and on a busy machine, for the three schemes, in one
// command (from the build folder; the machine should be otherwise idle, as
// the 1-minute load it reports, load_at_start, shows):
//   bench/overland_bench --benchmark_filter=overland_busy_machine
// unloaded_speedup is one thread's time over the team's (the goal: 4 or
// more on 8 cores), loaded_team_over_one the team's time over one
// thread's beside one busy process per core (the goal: 1.25 or less); the
// _lowest, _median and _highest figures are those of the single turns.
//
// The map frame of the same grid is timed beside it, in each map format, so
// that writing a frame can be set against the minute of simulation it shows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <omp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench_plane.hpp"
#include "core/arrays.hpp"
#include "core/error_record.hpp"
#include "core/thread_team.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "output/grid_writers.hpp"
#include "overland/overland_steps.hpp"
#include "support/scratch_folder.hpp"

namespace {

using bench_plane::kCols;
using bench_plane::kDx;
using bench_plane::kRows;
using bench_plane::kStartJulian;
using bench_plane::kStep;
using bench_plane::make_plane;

// The threads a run of the program may use (OMP_NUM_THREADS, else the
// cores), read before any benchmark changes them.
const int kDefaultThreads = omp_get_max_threads();

// The memory ceiling of a scheme: the per-cell arrays one update of a step
// on the plane streams (one sub-step, so one update a cell a step), pass by
// pass as the step makes them, each array read or written once a pass.
// Arrays that stay in the core's cache between the parts of a pass (the
// faces of a tile, read back by its changes) count once. Beside the
// doubles a routing pass reads the marks of the cells whose neighbours lie
// at the grid's offsets (a bit a cell) and, where the grid has them, the
// surface classes (a byte a cell), read in place of the retention depths
// and the roughness; the passes of a step made in one sub-step hand the
// marks of the faces that pass water (a byte a cell) from one direction to
// the other.
struct stream_pass {
    std::vector<const double*> in;
    std::vector<double*> out;
    std::vector<const unsigned char*> bytes = {};  // read beside `in`
    const unsigned char* bits = nullptr;            // read beside `in`, cell i at bit i % 8 of byte i / 8
    unsigned char* byte_out = nullptr;              // written beside `out`
};

// One pass: every out[k][i] (and byte_out[i]) is made from every in[j][i],
// bytes[b][i] and the bit of cell i; a pass that writes nothing sums what
// it reads into 8 running sums. No chain runs from one cell to the next to
// hold up the loads and stores.
template <int R, int W, int B = 0, bool Bits = false, bool ByteOut = false>
double stream_fixed(const stream_pass& p, int lo, int n) {
    const double* in[R] = {};
    double* out[W > 0 ? W : 1] = {};
    const unsigned char* bytes[B > 0 ? B : 1] = {};
    const unsigned char* bits = p.bits;
    unsigned char* byte_out = p.byte_out;
    for (int j = 0; j < R; ++j) in[j] = p.in[j];
    for (int k = 0; k < W; ++k) out[k] = p.out[k];
    for (int b = 0; b < B; ++b) bytes[b] = p.bytes[b];
    if constexpr (W > 0) {
#pragma omp simd
        for (int i = lo; i <= n; ++i) {
            double v = 0.0;
            for (int b = 0; b < B; ++b) v += bytes[b][i];
            if constexpr (Bits) v += (bits[i / 8] >> (i % 8)) & 1;
            for (int j = 0; j < R; ++j) v += in[j][i];
            for (int k = 0; k < W; ++k) out[k][i] = v * 0.5;
            if constexpr (ByteOut) byte_out[i] = v > 1.0 ? 1 : 0;
        }
        return 0.0;
    } else {
        double sums[8] = {};
        int i = lo;
        for (; i + 7 <= n; i += 8) {
            for (int l = 0; l < 8; ++l) {
                for (int j = 0; j < R; ++j) sums[l] += in[j][i + l];
            }
        }
        for (; i <= n; ++i) sums[0] += in[0][i];
        double sum = 0.0;
        for (const double v : sums) sum += v;
        return sum;
    }
}
// A pass with R doubles read, W written, its 1-byte arrays read (0 to 2)
// and written (0 or 1), and its bits or none.
template <int R, int W, bool Bits, bool ByteOut>
double stream_rwbo(const stream_pass& p, int lo, int n) {
    switch (p.bytes.size()) {
        case 0: return stream_fixed<R, W, 0, Bits, ByteOut>(p, lo, n);
        case 1: return stream_fixed<R, W, 1, Bits, ByteOut>(p, lo, n);
        case 2: return stream_fixed<R, W, 2, Bits, ByteOut>(p, lo, n);
        default: std::abort();
    }
}
template <int R, int W, bool Bits>
double stream_rwb(const stream_pass& p, int lo, int n) {
    return p.byte_out ? stream_rwbo<R, W, Bits, true>(p, lo, n) : stream_rwbo<R, W, Bits, false>(p, lo, n);
}
template <int R, int W>
double stream_rw(const stream_pass& p, int lo, int n) {
    return p.bits ? stream_rwb<R, W, true>(p, lo, n) : stream_rwb<R, W, false>(p, lo, n);
}
double stream_one(const stream_pass& p, int lo, int n) {
    const std::size_t r = p.in.size(), w = p.out.size();
    if (r == 1 && w == 0) return stream_fixed<1, 0>(p, lo, n);
    if (r == 2 && w == 1) return stream_rw<2, 1>(p, lo, n);
    if (r == 2 && w == 2) return stream_rw<2, 2>(p, lo, n);
    if (r == 3 && w == 2) return stream_rw<3, 2>(p, lo, n);
    if (r == 3 && w == 3) return stream_rw<3, 3>(p, lo, n);
    if (r == 4 && w == 2) return stream_rw<4, 2>(p, lo, n);
    if (r == 4 && w == 3) return stream_rw<4, 3>(p, lo, n);
    if (r == 4 && w == 4) return stream_rw<4, 4>(p, lo, n);
    if (r == 4 && w == 5) return stream_rw<4, 5>(p, lo, n);
    if (r == 5 && w == 2) return stream_rw<5, 2>(p, lo, n);
    if (r == 5 && w == 3) return stream_rw<5, 3>(p, lo, n);
    std::abort();  // a pass shape the list below does not use
}

// The passes of one step of scheme `overtype` on m: the rain (ri into h),
// then the routing's. Before the routing the step looks for the first wet
// cell (at once on the wet plane), and the routing's first pass finds the
// depths that are no numbers as it reads them.
std::vector<stream_pass> step_passes(kesta::model_state& m, int overtype) {
    double* h = m.h.data();
    const double* elev = m.elev.data();
    const double* ret = m.retent_dep.data();
    const double* inv_n = m.ov_inv_rough.data();
    std::vector<stream_pass> p = {{{m.ri.data(), h}, {h}}};
    // The retention depths and the roughness, or the classes in their place,
    // and the marks of the cells whose neighbours lie at the grid's offsets.
    const unsigned char* classes = m.ov_surface_class.n() >= m.ncells ? m.ov_surface_class.data() : nullptr;
    const unsigned char* marks = m.ov_row_stride > 0 && m.ov_interior.n() >= kesta::interior_marks_top(m.ncells)
                                     ? m.ov_interior.data()
                                     : nullptr;
    auto surface = [&](std::vector<const double*> in, std::vector<double*> out) {
        stream_pass pass{in, out};
        if (classes) {
            pass.in.erase(std::remove_if(pass.in.begin(), pass.in.end(),
                                         [&](const double* a) { return a == ret || a == inv_n; }),
                          pass.in.end());
            pass.bytes.push_back(classes);
        }
        pass.bits = marks;
        return pass;
    };
    if (overtype == 1) {
        // Faces from the depths (retention, slopes, roughness) into qx, qy;
        // the depths after the sub-step into the spare vector.
        p.push_back(surface({h, ret, m.sox.data(), m.soy.data(), inv_n}, {m.qx.data(), m.qy.data(), m.dh.data()}));
    } else {
        // ADE: the first sweep writes its depths into the spare vector,
        // where the second moves them, and the marks of its faces that pass
        // water, which the second reads to count the flowing cells. ADE-PC:
        // per direction a predictor (faces and depths into a window that
        // stays in the core's cache) with the corrector a tile behind it,
        // reading what the predictor read and made while it is in the
        // cache, the correctors' depths and marks as the sweeps'.
        double* spare = m.h_old.data();
        unsigned char* marks = m.ov_flow_marks.data();
        stream_pass first = surface({h, elev, ret, inv_n}, {spare, m.qx.data()});
        first.byte_out = marks;
        stream_pass second = surface({spare, elev, ret, inv_n}, {spare, m.qy.data()});
        second.bytes.insert(second.bytes.begin(), marks);
        p.push_back(first);
        p.push_back(second);
    }
    return p;
}

// Bytes one update reads and writes (written ones counted once).
void bytes_per_update(const std::vector<stream_pass>& passes, double& read, double& written) {
    read = written = 0.0;
    for (const stream_pass& p : passes) {
        read += 8.0 * static_cast<double>(p.in.size()) + static_cast<double>(p.bytes.size()) + (p.bits ? 0.125 : 0.0);
        written += 8.0 * static_cast<double>(p.out.size()) + (p.byte_out ? 1.0 : 0.0);
    }
}

// Cells per second of the passes of a step of m (its memory ceiling): the
// best of several rounds, each pass shared out in blocks over the team the
// step uses. The arrays are those of m after its steps, so their pages are
// in place.
double ceiling_rate(kesta::model_state& m, const std::vector<stream_pass>& passes) {
    double best = 0.0, sink = 0.0;
    for (int k = 0; k < 20; ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        const int n = m.ncells;
        for (const stream_pass& p : passes) {
#pragma omp parallel reduction(+ : sink) num_threads(kesta::thread_team(n))
            {
                const int t = omp_get_thread_num(), team = omp_get_num_threads();
                const int lo = static_cast<int>(1 + static_cast<long long>(n) * t / team);
                const int hi = static_cast<int>(static_cast<long long>(n) * (t + 1) / team);
                sink += stream_one(p, lo, hi);
            }
        }
        benchmark::ClobberMemory();
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
        best = std::max(best, m.ncells / s.count());
    }
    benchmark::DoNotOptimize(sink);
    return best;
}

// The triad's arrays, on the same kind of memory as the model's blocks
// (large ones on huge-page boundaries with huge pages advised), so that the
// step and its references stream alike.
using triad_array = kesta::block_vector<double>;

// Cells per second of a streaming triad a = b + s c over `n` cells: the best
// of `passes` passes, on the threads the step uses. The arrays are made
// once per size and kept.
double triad_rate(triad_array& a, const triad_array& b, const triad_array& c, int passes) {
    const long n = static_cast<long>(a.size());
    double best = 0.0;
    for (int k = 0; k < passes; ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        double* pa = a.data();
        const double* pb = b.data();
        const double* pc = c.data();
#pragma omp parallel for schedule(static)
        for (long i = 0; i < n; ++i) pa[i] = pb[i] + 0.5 * pc[i];
        benchmark::ClobberMemory();
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
        best = std::max(best, n / s.count());
    }
    benchmark::DoNotOptimize(a.data());
    return best;
}

// The triad over arrays of the grid's size. On a machine whose last-level
// cache holds the grid, this is a cache triad, not a memory one.
double grid_triad_rate() {
    const int n = kRows * kCols;
    static triad_array a(n, 0.0), b(n, 1.0), c(n, 2.0);
    return triad_rate(a, b, c, 20);
}

// Bytes of the last-level cache (64 MB where the system does not say).
long last_level_cache() {
    long cache = 0;
#ifdef _SC_LEVEL3_CACHE_SIZE
    cache = sysconf(_SC_LEVEL3_CACHE_SIZE);
#endif
    return cache > 0 ? cache : 64L << 20;
}

// The triad over arrays that together take four times the last-level cache
// (at least the grid's size), so that it streams from main memory: the
// DRAM triad.
double dram_triad_rate() {
    static const long n = std::max<long>(static_cast<long>(kRows) * kCols,
                                         4 * last_level_cache() / (3 * static_cast<long>(sizeof(double))));
    static triad_array a(n, 0.0), b(n, 1.0), c(n, 2.0);
    return triad_rate(a, b, c, 5);
}

// Seconds and cell updates of `steps` overland steps of m.
void run_steps(kesta::model_state& m, int steps, double& seconds, double& updates) {
    for (int s = 0; s < steps; ++s) {
        const auto t0 = std::chrono::steady_clock::now();
        ++m.step;
        m.time = kStartJulian + m.step * m.ov_interval;
        kesta::apply_precip(m);
        kesta::step_overland_flow(m);
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        seconds += d.count();
        updates += static_cast<double>(m.ncells) * m.ov_substeps_last;
    }
}

// A plane of make_plane after two untimed steps on the threads of the
// moment: the run's one-off set-up (the grid's layout found, the arrays'
// pages first touched) lies behind it.
std::unique_ptr<kesta::model_state> warm_plane(int overtype, int rows = kRows, int cols = kCols) {
    auto m = make_plane(overtype, rows, cols);
    double seconds = 0.0, updates = 0.0;
    run_steps(*m, 2, seconds, updates);
    return m;
}

const char* scheme_label(int overtype) { return overtype == 1 ? "explicit" : overtype == 2 ? "ade" : "ade-pc"; }

// The side of a square plane whose step streams four times the last-level
// cache or more from main memory: 64 bytes a cell (eight doubles, fewer
// than any scheme's update moves) times its cells make four caches.
int beyond_cache_side() {
    const double cells = 4.0 * static_cast<double>(last_level_cache()) / 64.0;
    return std::max(kRows, static_cast<int>(std::ceil(std::sqrt(cells))));
}

// Each iteration is one overland step: the clock moves one step on, the
// step's rain falls on every cell through the precipitation step and the
// overland step runs. The rate counts the step itself, rain included, on a
// warm plane. With range(1) set, the plane is beyond_cache_side on a side,
// so that the step streams from main memory as the DRAM triad does: like
// is then set against like (share_of_dram_triad), which the 1000 x 1000
// plane, held by a large cache, is not; the grid-size triad is then not
// run.
void overland_steps(benchmark::State& state) {
    const int overtype = static_cast<int>(state.range(0));
    const bool beyond_cache = state.range(1) != 0;
    const int side = beyond_cache ? beyond_cache_side() : 0;
    auto m = beyond_cache ? warm_plane(overtype, side, side) : warm_plane(overtype);
    double updates = 0.0;
    double seconds = 0.0;
    for (auto _ : state) run_steps(*m, 1, seconds, updates);
    if (kesta::g_error_record.stop) state.SkipWithError("the overland step stopped the run");
    const double rate = updates / seconds;
    // The bounds, measured now beside the step on the same threads.
    const std::vector<stream_pass> passes = step_passes(*m, overtype);
    const double ceiling = ceiling_rate(*m, passes);
    const double dram_triad = dram_triad_rate();
    double read = 0.0, written = 0.0;
    bytes_per_update(passes, read, written);
    state.counters["cells"] = m->ncells;
    state.counters["cell_updates_per_s"] = rate;
    state.counters["bytes_per_update"] = read + written;
    state.counters["ceiling_cells_per_s"] = ceiling;
    state.counters["share_of_ceiling"] = rate / ceiling;
    if (!beyond_cache) {
        const double triad = grid_triad_rate();
        state.counters["triad_cells_per_s"] = triad;
        state.counters["share_of_triad"] = rate / triad;
        state.counters["ceiling_share_of_triad"] = ceiling / triad;
    }
    state.counters["dram_triad_cells_per_s"] = dram_triad;
    state.counters["share_of_dram_triad"] = rate / dram_triad;
    state.counters["ceiling_share_of_dram_triad"] = ceiling / dram_triad;
    state.counters["threads"] = omp_get_max_threads();
    state.counters["substeps_per_step"] = updates / m->ncells / static_cast<double>(state.iterations());
    state.counters["ms_per_simulated_minute"] = 1000.0 * seconds / state.iterations() * (60.0 / kStep);
    state.SetLabel(std::string(scheme_label(overtype)) + (beyond_cache ? ", beyond the cache" : ""));
}

// Each iteration runs 10 steps on one thread and 10 on every core, on two
// copies of the same plane: the rates and their ratio.
void overland_threads(benchmark::State& state) {
    const int overtype = static_cast<int>(state.range(0));
    const int cores = omp_get_num_procs();
    omp_set_num_threads(1);
    auto one = warm_plane(overtype);
    omp_set_num_threads(cores);
    auto all = warm_plane(overtype);
    double s1 = 0.0, u1 = 0.0, sn = 0.0, un = 0.0;
    for (auto _ : state) {
        omp_set_num_threads(1);
        run_steps(*one, 10, s1, u1);
        omp_set_num_threads(cores);
        run_steps(*all, 10, sn, un);
    }
    if (kesta::g_error_record.stop) state.SkipWithError("the overland step stopped the run");
    state.counters["one_thread_updates_per_s"] = u1 / s1;
    state.counters["all_cores_updates_per_s"] = un / sn;
    state.counters["cores"] = cores;
    state.counters["speedup"] = (un / sn) / (u1 / s1);
    state.SetLabel(scheme_label(overtype));
}

// Whole overland step cost in ns per cell-step on square planes of about
// range(1) cells, scheme range(0), on the team of the grid's size.
// Each iteration runs up to 50 steps (about 2e7 cell-steps, 5 at least)
// from the same depths, taken after two untimed steps that start the
// threads and touch the arrays: the rain then never ponds the plane deep
// enough to divide the steps.
void overland_sizes(benchmark::State& state) {
    const int overtype = static_cast<int>(state.range(0));
    const int side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(state.range(1)))));
    auto m = warm_plane(overtype, side, side);
    double seconds = 0.0, updates = 0.0;
    const std::vector<double> h0(m->h.data(), m->h.data() + m->ncells + 1);
    const int per_iteration = std::clamp(20000000 / m->ncells, 5, 50);
    int steps = 0;
    for (auto _ : state) {
        std::copy(h0.begin(), h0.end(), m->h.data());
        run_steps(*m, per_iteration, seconds, updates);
        steps += per_iteration;
    }
    if (kesta::g_error_record.stop) state.SkipWithError("the overland step stopped the run");
    state.counters["cells"] = m->ncells;
    state.counters["threads"] = kesta::thread_team(m->ncells);
    state.counters["ns_per_cell_step"] = 1e9 * seconds / (static_cast<double>(m->ncells) * steps);
    state.counters["substeps_per_step"] = updates / m->ncells / steps;
    state.SetLabel(scheme_label(overtype));
}

// One busy child process per core, each spinning until the set ends it or
// for kLoadSeconds at most (or as soon as the benchmark program ends).
class busy_load {
public:
    static constexpr double kLoadSeconds = 120.0;
    busy_load() {
        const pid_t parent = getpid();
        for (int k = 0; k < omp_get_num_procs(); ++k) {
            const pid_t pid = fork();
            if (pid == 0) spin(parent);
            if (pid > 0) children_.push_back(pid);
        }
    }
    ~busy_load() {
        for (const pid_t pid : children_) kill(pid, SIGKILL);
        for (const pid_t pid : children_) waitpid(pid, nullptr, 0);
    }
    busy_load(const busy_load&) = delete;
    busy_load& operator=(const busy_load&) = delete;

private:
    [[noreturn]] static void spin(pid_t parent) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(0);
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(kLoadSeconds);
        volatile unsigned long sink = 0;
        while (std::chrono::steady_clock::now() < end) {
            for (int k = 0; k < 1000000; ++k) sink = sink + 1;
        }
        _exit(0);
    }
    std::vector<pid_t> children_;
};

// Wall seconds of one thread and of the default team over `rounds` turns of
// 10 steps each, taken in turn (one, team, one, team ...) so that both see
// the same machine; the ratio team / one of each turn into `ratios`.
void time_in_turns(kesta::model_state& one, kesta::model_state& team, int rounds, double& s1, double& sn,
                   std::vector<double>& ratios) {
    for (int r = 0; r < rounds; ++r) {
        double t1 = 0.0, tn = 0.0, u = 0.0;
        omp_set_num_threads(1);
        run_steps(one, 10, t1, u);
        omp_set_num_threads(kDefaultThreads);
        run_steps(team, 10, tn, u);
        s1 += t1;
        sn += tn;
        ratios.push_back(tn / t1);
    }
}

// Each iteration times 10-step turns of one thread and of the default team
// on two copies of the 1000 x 1000 plane, taken in turn: first on the
// machine as it is, then with one busy process per core started beside
// them. Gives the speed-up of the team unloaded (one thread's time over
// the team's) and, loaded, the team's time over one thread's: the lowest,
// the whole and the highest ratio of the turns. Under load a team that
// waits for a thread the load has pushed aside falls behind one thread.
void overland_busy_machine(benchmark::State& state) {
    const int overtype = static_cast<int>(state.range(0));
    constexpr int kRounds = 9;
    omp_set_num_threads(1);
    auto one = warm_plane(overtype);
    omp_set_num_threads(kDefaultThreads);
    auto team = warm_plane(overtype);
    double s1 = 0.0, sn = 0.0, l1 = 0.0, ln = 0.0;
    double load_at_start = 0.0;
    getloadavg(&load_at_start, 1);
    std::vector<double> unloaded, loaded;
    for (auto _ : state) {
        time_in_turns(*one, *team, kRounds, s1, sn, unloaded);
        const busy_load load;
        // The load's processes are running before the first turn.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        time_in_turns(*one, *team, kRounds, l1, ln, loaded);
    }
    // The speed-ups of the unloaded turns (one thread's time over the team's).
    for (double& r : unloaded) r = 1.0 / r;
    omp_set_num_threads(kDefaultThreads);
    if (kesta::g_error_record.stop) state.SkipWithError("the overland step stopped the run");
    state.counters["team"] = kesta::thread_team(one->ncells);
    state.counters["unloaded_speedup"] = s1 / sn;
    state.counters["loaded_team_over_one"] = ln / l1;
    state.counters["load_at_start"] = load_at_start;
    for (auto& [name, turns] : {std::pair{"unloaded_turn_", &unloaded}, std::pair{"loaded_turn_", &loaded}}) {
        std::sort(turns->begin(), turns->end());
        state.counters[std::string(name) + "lowest"] = turns->front();
        state.counters[std::string(name) + "median"] = (*turns)[turns->size() / 2];
        state.counters[std::string(name) + "highest"] = turns->back();
    }
    state.SetLabel(scheme_label(overtype));
}

// Each iteration writes one frame of the depths of the plane: a numbered
// grid file (written whole, then renamed), or one step of an ASCII or a
// binary dataset.
void map_frames(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    auto m = make_plane(1);
    const std::filesystem::path folder = bench_scratch::fresh_folder("kesta_map_bench");
    {
        kesta::map_series series;
        series.set_grid(m->h, m->mask, m->north, m->east, m->south, m->west, kRows, kCols, -999.99, 1.0, 0, kDx);
        if (!series.open(format, folder.string(), "depth", ".asc", (folder / "depth.dat").string(), 1010, "depth",
                         "card DEPTH", *m)) {
            state.SkipWithError("the map output could not be opened");
            return;
        }
        for (auto _ : state) {
            if (!series.write_frame(0.0, *m)) state.SkipWithError("the frame could not be written");
        }
    }
    std::filesystem::remove_all(folder);
    state.SetLabel(format == kesta::map_format_grids            ? "grid file"
                   : format == kesta::map_format_ascii_dataset ? "ascii dataset step"
                                                                : "binary dataset step");
}

}  // namespace

BENCHMARK(map_frames)
    ->Arg(kesta::map_format_grids)
    ->Arg(kesta::map_format_ascii_dataset)
    ->Arg(kesta::map_format_binary_dataset)
    ->Iterations(10)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(overland_steps)
    ->ArgsProduct({{1, 2, 3}, {0}})
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
// The same steps on a plane whose step streams from main memory.
BENCHMARK(overland_steps)
    ->ArgsProduct({{1, 2, 3}, {1}})
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(overland_threads)->Arg(1)->Arg(2)->Arg(3)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(overland_busy_machine)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(overland_sizes)
    ->ArgsProduct({{1, 2, 3}, {10000, 100000, 1000000, 4000000}})
    ->MinTime(0.5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
