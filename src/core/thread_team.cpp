#include "core/thread_team.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include <omp.h>

namespace kesta {

namespace {

std::atomic<int> g_cells_per_thread{kCellsPerThread};

}  // namespace

int thread_team(long long cells) {
    const long long share = g_cells_per_thread.load(std::memory_order_relaxed);
    const long long shares = std::max(1LL, cells / share);
    return static_cast<int>(std::min(shares, static_cast<long long>(std::max(1, omp_get_max_threads()))));
}

int set_cells_per_thread(int cells) { return g_cells_per_thread.exchange(std::max(1, cells)); }

void run_with_sleeping_threads(char** argv) {
    if (std::getenv("OMP_WAIT_POLICY") || std::getenv("GOMP_SPINCOUNT")) return;
    if (setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;
    // The running program's own file, whatever argv[0] says.
    execv("/proc/self/exe", argv);
    // Not started again: the policy in force is the runtime's own, and the
    // environment should not claim otherwise.
    unsetenv("OMP_WAIT_POLICY");
}

}  // namespace kesta
