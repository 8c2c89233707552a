#include "core/thread_team.hpp"

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// Lets the core's other hardware thread, or the spinning loop's own
// pipeline, breathe between two looks at a flag.
inline void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

using team_clock = std::chrono::steady_clock;

// The time (team_clock, ns since its epoch) before which the team's threads
// do not spin: a while after one of them last found that the scheduler had
// given its core to another thread.
std::atomic<long long> g_no_spin_until{0};

long long clock_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(team_clock::now().time_since_epoch()).count();
}

// Core time (ns) the calling thread has had.
long long thread_core_ns() {
    timespec t{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0) return 0;
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

constexpr long long kLostNanoseconds = static_cast<long long>(kTeamLostMicroseconds * 1e3);

// The machine has more work than cores (a thread of the team lost its core
// for kTeamLostMicroseconds or more): the team's threads stop spinning for
// kTeamCalmMilliseconds.
void calm_team() {
    const long long until = clock_ns() + static_cast<long long>(kTeamCalmMilliseconds * 1e6);
    g_no_spin_until.store(until, std::memory_order_relaxed);
}

// Wall time (ns) of the part a thread of the team last finished.
std::atomic<long long> g_part_ns{0};

// Runs a part, and calms the team when the part's thread was kept off its
// core for kTeamLostMicroseconds or more while it ran (its wall time then
// exceeds its core time by that much).
void run_part(team_job call, void* job, int part, int parts) {
    const long long wall = clock_ns(), core = thread_core_ns();
    call(job, part, parts);
    const long long took = clock_ns() - wall;
    g_part_ns.store(took, std::memory_order_relaxed);
    // A part shorter than kTeamLostMicroseconds cannot have lost that much.
    if (took >= kLostNanoseconds && took - (thread_core_ns() - core) >= kLostNanoseconds) calm_team();
}

// Nanoseconds a waiting thread spins (team_spin_microseconds).
long long spin_ns() {
    const long long least = static_cast<long long>(kTeamSpinMicroseconds * 1e3);
    const long long most = static_cast<long long>(kTeamSpinMostMicroseconds * 1e3);
    return std::clamp(2 * g_part_ns.load(std::memory_order_relaxed), least, most);
}

// The time (clock_ns) until which the team's threads spin at least when
// they wait, set by wake_team for a job known to come.
std::atomic<long long> g_spin_until{0};

// Looks at `ready` until it holds or spin_ns have passed, or until
// g_spin_until where that is later (none while the machine is busy);
// returns whether it held.
template <class Ready>
bool spin_for(Ready ready) {
    if (team_is_calm()) return ready();
    const long long now = clock_ns();
    const long long end = std::max(now + spin_ns(), g_spin_until.load(std::memory_order_relaxed));
    for (long long looked = now;;) {
        for (int k = 0; k < 16; ++k) {
            if (ready()) return true;
            spin_pause();
        }
        // A long gap between two looks: the thread lost its core meanwhile.
        const long long at = clock_ns();
        if (at - looked >= kLostNanoseconds) {
            calm_team();
            return ready();
        }
        if (at >= end) return ready();
        looked = at;
    }
}

// A thread's bed: it sleeps on `wake` until `ready` holds. The waker makes
// what `ready` reads true and then calls wake_up, which wakes the sleeper
// when there is one and costs a look at a flag when there is none. The
// write and the reads of `ready` are sequentially consistent: a weaker
// order lets the sleeper and the waker each miss the other's news, and the
// sleeper then sleeps for good.
class bed {
public:
    template <class Ready>
    void wait(Ready ready) {
        if (spin_for(ready)) return;
        // Told asleep before the last look: a waker that made `ready`
        // true after that look sees the flag (both are sequentially
        // consistent), and takes the lock, which this thread holds until it
        // sleeps, before it wakes it.
        std::unique_lock<std::mutex> lock(mutex_);
        asleep_.store(true);
        while (!ready()) wake_.wait(lock);
        asleep_.store(false, std::memory_order_relaxed);
    }
    void wake_up() {
        if (!asleep_.load()) return;
        { const std::lock_guard<std::mutex> lock(mutex_); }
        wake_.notify_one();
    }

private:
    std::atomic<bool> asleep_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
};

// The team's threads beyond the caller's. Each has its own line of memory
// (its job count and bed), so that posting a job to one does not disturb
// the others' caches.
//
// The parts of a job go to whichever thread asks first: the caller and each
// thread woken for the job take parts one after another until none is
// left. A thread that is slow to wake (asleep, or its core taken by other
// work) then leaves its part to those that are running, and nobody waits
// for it; the part each thread runs changes nothing in what it computes.
class team_threads {
public:
    // Runs the parts of a job; false when the team is taken (another
    // thread's call is running), and the caller is then to run them itself.
    // `parts` parts on up to `team` threads (the caller among them).
    bool run(int team, int parts, team_job call, void* job) {
        if (t_in_part) return false;
        std::unique_lock<std::mutex> taken(in_use_, std::try_to_lock);
        if (!taken.owns_lock()) return false;
        team = std::min(team, parts);
        call_ = call;
        job_ = job;
        parts_done_.store(0, std::memory_order_relaxed);
        ++job_number_;
        // Published with the job: whoever takes a part from this word sees
        // call_ and job_ as set above.
        claims_.store(job_number_ << 32 | static_cast<std::uint64_t>(parts) << 16, std::memory_order_release);
        post(team);
        t_in_part = true;
        take_parts();
        t_in_part = false;
        done_.wait([this, parts] { return parts_done_.load() == parts; });
        return true;
    }

    // Wakes up to `team` - 1 threads, which find no part and wait, spinning
    // until g_spin_until; nothing while the team is taken.
    void wake(int team) {
        if (t_in_part) return;
        std::unique_lock<std::mutex> taken(in_use_, std::try_to_lock);
        if (taken.owns_lock()) post(team);
    }

private:
    struct alignas(64) worker {
        std::atomic<unsigned> posted{0};  // jobs given to this thread
        bed rest;  // where it waits for its next job
        std::thread thread;
    };

    // Gives each of the first `team` - 1 threads (made as needed) one more
    // post and wakes it; with in_use_ held.
    void post(int team) {
        while (static_cast<int>(workers_.size()) < team - 1) add_worker();
        for (int w = 0; w < team - 1; ++w) {
            worker& k = *workers_[static_cast<std::size_t>(w)];
            k.posted.store(k.posted.load(std::memory_order_relaxed) + 1);
            k.rest.wake_up();
        }
    }

    void add_worker() {
        workers_.push_back(std::make_unique<worker>());
        worker* k = workers_.back().get();
        k->thread = std::thread([this, k] { work(*k); });
    }

    void work(worker& k) {
        t_in_part = true;  // a job's part runs its loops itself
        unsigned seen = 0;
        for (;;) {
            k.rest.wait([&k, seen] { return k.posted.load() != seen; });
            seen = k.posted.load();
            take_parts();
        }
    }

    // Runs parts of the job in hand while any is left. A part is taken by
    // moving the job's word on by one, which only the thread that does it
    // manages: the part is then its own, and the job cannot end, nor
    // another begin, before the part is done.
    void take_parts() {
        std::uint64_t word = claims_.load(std::memory_order_acquire);
        for (;;) {
            const int next = static_cast<int>(word & 0xFFFF), parts = static_cast<int>((word >> 16) & 0xFFFF);
            if (next >= parts) return;
            if (!claims_.compare_exchange_weak(word, word + 1, std::memory_order_acquire)) continue;
            run_part(call_, job_, next, parts);
            // Sequentially consistent, as the caller's look at the count
            // after it is told asleep: else the caller could miss the last
            // part and the last part miss the sleeping caller.
            if (parts_done_.fetch_add(1) + 1 == parts) done_.wake_up();
            word = claims_.load(std::memory_order_acquire);
        }
    }

    static thread_local bool t_in_part;
    std::mutex in_use_;
    std::vector<std::unique_ptr<worker>> workers_;
    team_job call_ = nullptr;
    void* job_ = nullptr;
    std::uint64_t job_number_ = 0;
    // The job's number (from bit 32), its parts (bits 16 to 31) and the
    // next part to take (bits 0 to 15).
    alignas(64) std::atomic<std::uint64_t> claims_{0};
    alignas(64) std::atomic<int> parts_done_{0};
    bed done_;  // where the caller waits for the parts
};

thread_local bool team_threads::t_in_part = false;

}  // namespace

namespace {

// The team's threads, made at the first call that needs them and kept for
// the process: they never end, so nothing may destroy what they use. A
// child process that fork makes has none of its parent's threads: it makes
// its own when it needs them.
std::atomic<team_threads*> g_team{nullptr};
std::once_flag g_fork_handler;

team_threads& the_team() {
    std::call_once(g_fork_handler, [] { pthread_atfork(nullptr, nullptr, [] { g_team.store(nullptr); }); });
    team_threads* t = g_team.load();
    if (!t) {
        t = new team_threads();
        team_threads* none = nullptr;
        if (!g_team.compare_exchange_strong(none, t)) {
            delete t;  // another thread made it first
            t = none;
        }
    }
    return *t;
}

}  // namespace

void run_team_job(int team, team_job call, void* job) { run_team_parts(team, team, call, job); }

double team_spin_microseconds() { return static_cast<double>(spin_ns()) * 1e-3; }

bool team_is_calm() { return clock_ns() < g_no_spin_until.load(std::memory_order_relaxed); }

void wake_team(int team, double microseconds) {
    if (team <= 1 || team_is_calm()) return;
    const long long now = clock_ns();
    const long long until = now + static_cast<long long>(microseconds * 1e3);
    long long was = g_spin_until.load(std::memory_order_relaxed);
    while (was < until && !g_spin_until.compare_exchange_weak(was, until, std::memory_order_relaxed)) {
    }
    the_team().wake(team);
}

int wait_at_least(const int* count, int value, double patience, bool& waited_long) {
    int seen = __atomic_load_n(count, __ATOMIC_ACQUIRE);
    if (seen >= value) return seen;
    const long long end = clock_ns() + static_cast<long long>(patience * 1e3);
    for (int looks = 1; seen < value; ++looks) {
        if (waited_long) {
            sched_yield();
        } else {
            spin_pause();
            if (looks % 64 == 0 && clock_ns() > end) waited_long = true;
        }
        seen = __atomic_load_n(count, __ATOMIC_ACQUIRE);
    }
    return seen;
}

// Parts one job of the team takes at most: the claims word counts them in
// 16 bits.
constexpr int kJobPartsMost = 65535;

void run_team_parts(int team, int parts, team_job call, void* job) {
    if (team > 1 && parts > 1 && parts <= kJobPartsMost && the_team().run(team, parts, call, job)) return;
    if (team > 1 && parts > kJobPartsMost) {
        // More parts go in jobs of kJobPartsMost in turn, each part told its
        // place among all of them.
        struct round {
            team_job call;
            void* job;
            int first, parts;
        };
        const team_job in_round = [](void* r, int part, int) {
            const round& o = *static_cast<const round*>(r);
            o.call(o.job, o.first + part, o.parts);
        };
        for (int first = 0; first < parts; first += kJobPartsMost) {
            round r{call, job, first, parts};
            const int count = std::min(kJobPartsMost, parts - first);
            if (!the_team().run(team, count, in_round, &r))
                for (int part = 0; part < count; ++part) in_round(&r, part, count);
        }
        return;
    }
    for (int part = 0; part < parts; ++part) call(job, part, parts);
}

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
