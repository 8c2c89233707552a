#include "core/thread_team.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>

#include <omp.h>

namespace kesta {

namespace {

std::atomic<int> g_cells_per_thread{kCellsPerThread};

// The running program's own file, whatever argv[0] says.
constexpr const char* kRunningProgram = "/proc/self/exe";

// The path of the running program's file, or "" when that path no longer
// leads to the file that is running.
std::string own_path() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = readlink(kRunningProgram, path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return std::string();
    path.resize(static_cast<std::size_t>(n));
    struct stat named {};
    struct stat running {};
    if (stat(path.c_str(), &named) != 0 || stat(kRunningProgram, &running) != 0) return std::string();
    if (named.st_dev != running.st_dev || named.st_ino != running.st_ino) return std::string();
    return path;
}

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
    // The process takes its name (what ps, top and pgrep show) from the file
    // it is started from: start the program again from its own path, so that
    // it keeps its name, and with its own argv[0]. That path is used only
    // while it still holds the running program (it may have been replaced
    // or removed since the start); else the running file itself, under
    // another name.
    const std::string own = own_path();
    if (!own.empty()) execv(own.c_str(), argv);
    execv(kRunningProgram, argv);
    // Not started again: the policy in force is the runtime's own, and the
    // environment should not claim otherwise.
    unsetenv("OMP_WAIT_POLICY");
}

}  // namespace kesta
