// Speed of the overland step on a 1000 x 1000-cell tilted plane under rain,
// for each routing scheme, as cell updates per second (cells x sub-steps per
// second of the step) and as the time it takes to advance the grid by one
// minute of simulated time. Beside it stand the rate of a loop that streams
// the same per-cell arrays once and does nothing else (the memory-bandwidth
// bound of one pass) and that of a streaming triad a = b + s c over arrays
// of the grid's size, both measured in the same run, and the scheme's rate
// as a share of each. The step runs on the team the grid's size gives
// (thread_team: at most OMP_NUM_THREADS, by default the cores).
//
// overland_threads sets the rate on one thread against the rate on all the
// machine's cores in one run; overland_sizes gives the whole step's cost in
// ns per cell-step from 1e4 to 4e6 cells; overland_busy_machine sets the
// default team against one thread, first on the machine as it is, then
// under a load it makes itself, one busy process per core.
//
// The map frame of the same grid is timed beside it, in each map format, so
// that writing a frame can be set against the minute of simulation it shows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include <omp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/thread_team.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "output/grid_writers.hpp"
#include "overland/overland_steps.hpp"

namespace {

constexpr int kRows = 1000;
constexpr int kCols = 1000;
constexpr double kDx = 10.0;          // m
constexpr double kStep = 10.0;        // s
constexpr double kRain = 36.0;        // mm/h
constexpr double kStartJulian = 2451545.0;

// The threads a run of the program may use (OMP_NUM_THREADS, else the
// cores), read before any benchmark changes them.
const int kDefaultThreads = omp_get_max_threads();

std::unique_ptr<kesta::model_state> make_plane(int overtype, int rows = kRows, int cols = kCols) {
    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->rows = rows;
    m->cols = cols;
    m->gridsize = kDx;
    m->ncells = rows * cols;
    m->north = rows * kDx;
    m->east = cols * kDx;
    m->overtype = overtype;
    kesta::alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
    kesta::alloc_overland_arrays(*m);
    m->elev = kesta::vec1<double>(m->ncells);
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int k = (r - 1) * cols + c;
            m->mask[r][c] = k;
            m->elev[k] = 1000.0 - 0.1 * (c - 1) - 0.05 * (r - 1);
            m->rightcon[k] = c < cols ? k + 1 : 0;
            m->leftcon[k] = c > 1 ? k - 1 : 0;
            m->belowcon[k] = r < rows ? k + cols : 0;
            m->abovecon[k] = r > 1 ? k - cols : 0;
            m->sox[k] = 0.01;
            m->soy[k] = 0.005;
            m->dist_rough[k] = 0.05;
            m->retent_dep[k] = 0.0005;
            m->h[k] = 0.01;
            m->ri[k] = kRain;
        }
    }
    m->outlet_cell = m->ncells;
    m->outslope = 0.01;
    m->quiet = 1;
    m->super_quiet = 1;
    m->time_tol = kesta::kTimeTolerance;
    m->time = kStartJulian;
    // Rain every step, laid by the precipitation step.
    m->precip_state = 1;
    m->timestep = kStep;
    m->dt_days = kStep / 86400.0;
    m->rain_next_time = m->time;
    kesta::set_clock_interval(m->ov_interval_sec, m->ov_interval, kStep);
    kesta::arm_clock(m->ov_last_time, m->ov_next_time, m->time, m->ov_interval);
    return m;
}

// One pass that reads every per-cell array a sweep reads and writes the two
// it writes, with no arithmetic worth the name.
void stream_once(kesta::model_state& m) {
    const int n = m.ncells;
    const double* h = m.h.data();
    const double* dh = m.dh.data();
    const double* sox = m.sox.data();
    const double* soy = m.soy.data();
    const double* ret = m.retent_dep.data();
    const double* rough = m.dist_rough.data();
    const int* right = m.rightcon.data();
    const int* below = m.belowcon.data();
    double* qx = m.qx.data();
    double* qy = m.qy.data();
    for (int i = 1; i <= n; ++i) {
        const double v = h[i] + dh[i] + sox[i] + soy[i] + ret[i] + rough[i] + right[i] + below[i];
        qx[i] = v;
        qy[i] = -v;
    }
    benchmark::ClobberMemory();
}

// Cells per second of the streaming pass: the best of several passes.
double stream_rate() {
    static const double rate = [] {
        auto m = make_plane(1);
        double best = 0.0;
        for (int k = 0; k < 20; ++k) {
            const auto t0 = std::chrono::steady_clock::now();
            stream_once(*m);
            const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
            best = std::max(best, m->ncells / s.count());
        }
        return best;
    }();
    return rate;
}

// Cells per second of a streaming triad over arrays of the grid's size: the
// best of several passes, on the threads the step uses.
double triad_rate() {
    static const double rate = [] {
        const int n = kRows * kCols;
        std::vector<double> a(n, 0.0), b(n, 1.0), c(n, 2.0);
        double best = 0.0;
        for (int k = 0; k < 20; ++k) {
            const auto t0 = std::chrono::steady_clock::now();
            double* pa = a.data();
            const double* pb = b.data();
            const double* pc = c.data();
#pragma omp parallel for schedule(static)
            for (int i = 0; i < n; ++i) pa[i] = pb[i] + 0.5 * pc[i];
            benchmark::ClobberMemory();
            const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
            best = std::max(best, n / s.count());
        }
        benchmark::DoNotOptimize(a.data());
        return best;
    }();
    return rate;
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

// Each iteration is one overland step: the clock moves one step on, the
// step's rain falls on every cell through the precipitation step and the
// overland step runs. The rate counts the step itself, rain included, on a
// warm plane.
void overland_steps(benchmark::State& state) {
    const int overtype = static_cast<int>(state.range(0));
    auto m = warm_plane(overtype);
    double updates = 0.0;
    double seconds = 0.0;
    for (auto _ : state) run_steps(*m, 1, seconds, updates);
    if (kesta::g_error_record.stop) state.SkipWithError("the overland step stopped the run");
    const double rate = updates / seconds;
    const double bound = stream_rate();
    state.counters["cell_updates_per_s"] = rate;
    state.counters["stream_cells_per_s"] = bound;
    state.counters["share_of_stream"] = rate / bound;
    state.counters["triad_cells_per_s"] = triad_rate();
    state.counters["share_of_triad"] = rate / triad_rate();
    state.counters["threads"] = omp_get_max_threads();
    state.counters["substeps_per_step"] = updates / m->ncells / static_cast<double>(state.iterations());
    state.counters["ms_per_simulated_minute"] = 1000.0 * seconds / state.iterations() * (60.0 / kStep);
    state.SetLabel(scheme_label(overtype));
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
// the same machine; the ratio team / one of each turn into `ratios` when
// given.
void time_in_turns(kesta::model_state& one, kesta::model_state& team, int rounds, double& s1, double& sn,
                   std::vector<double>* ratios) {
    for (int r = 0; r < rounds; ++r) {
        double t1 = 0.0, tn = 0.0, u = 0.0;
        omp_set_num_threads(1);
        run_steps(one, 10, t1, u);
        omp_set_num_threads(kDefaultThreads);
        run_steps(team, 10, tn, u);
        s1 += t1;
        sn += tn;
        if (ratios) ratios->push_back(tn / t1);
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
    constexpr int kRounds = 5;
    omp_set_num_threads(1);
    auto one = warm_plane(overtype);
    omp_set_num_threads(kDefaultThreads);
    auto team = warm_plane(overtype);
    double s1 = 0.0, sn = 0.0, l1 = 0.0, ln = 0.0;
    std::vector<double> loaded;
    for (auto _ : state) {
        time_in_turns(*one, *team, kRounds, s1, sn, nullptr);
        const busy_load load;
        // The load's processes are running before the first turn.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        time_in_turns(*one, *team, kRounds, l1, ln, &loaded);
    }
    omp_set_num_threads(kDefaultThreads);
    if (kesta::g_error_record.stop) state.SkipWithError("the overland step stopped the run");
    state.counters["team"] = kesta::thread_team(one->ncells);
    state.counters["unloaded_speedup"] = s1 / sn;
    state.counters["loaded_team_over_one"] = ln / l1;
    state.counters["loaded_turn_lowest"] = *std::min_element(loaded.begin(), loaded.end());
    state.counters["loaded_turn_highest"] = *std::max_element(loaded.begin(), loaded.end());
    state.SetLabel(scheme_label(overtype));
}

// Each iteration writes one frame of the depths of the plane: a numbered
// grid file (written whole, then renamed), or one step of an ASCII or a
// binary dataset.
void map_frames(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    auto m = make_plane(1);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kesta_map_bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    {
        kesta::map_series series;
        series.set_grid(m->h, m->mask, m->north, m->east, m->south, m->west, kRows, kCols, -999.99, 1.0, 0, kDx);
        if (!series.open(format, folder.string(), "depth", ".asc", (folder / "depth.dat").string(), 1010, "depth",
                         *m)) {
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
BENCHMARK(overland_steps)->Arg(1)->Arg(2)->Arg(3)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(overland_threads)->Arg(1)->Arg(2)->Arg(3)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(overland_busy_machine)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(overland_sizes)
    ->ArgsProduct({{1, 2}, {10000, 100000, 1000000, 4000000}})
    ->MinTime(0.5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
