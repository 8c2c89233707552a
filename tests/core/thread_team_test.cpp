// The team of the grid's loops: every part of a job runs once, and what the
// parts write is there when the call returns; parts run side by side;
// calls from inside a part, or from two threads at once, still run every
// part; threads that have gone to sleep between jobs wake for the next; a
// child process runs its jobs on threads of its own.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "core/thread_team.hpp"

namespace {

// What each part of one job saw.
struct part_record {
    int runs = 0;
    int team = 0;
};

// Runs a job on `team` parts and checks that each part ran once, with the
// team's size, on at most `team` threads at once.
void expect_each_part_once(int team) {
    std::vector<part_record> seen(static_cast<std::size_t>(team));
    std::atomic<int> running{0}, most{0};
    kesta::run_on_team(team, [&](int part, int size) {
        const int now = running.fetch_add(1) + 1;
        int high = most.load();
        while (now > high && !most.compare_exchange_weak(high, now)) {
        }
        part_record& r = seen[static_cast<std::size_t>(part)];
        ++r.runs;
        r.team = size;
        running.fetch_sub(1);
    });
    for (int p = 0; p < team; ++p) {
        SCOPED_TRACE(testing::Message() << "part " << p << " of " << team);
        const part_record& r = seen[static_cast<std::size_t>(p)];
        EXPECT_EQ(r.runs, 1);
        EXPECT_EQ(r.team, team);
    }
    EXPECT_LE(most.load(), team);
}

// Jobs of more parts than threads (and fewer): each part runs once and is
// told the job's part count, on no more threads at once than the team.
TEST(ThreadTeam, MorePartsThanThreadsRunEachOnceOnAtMostTheTeam) {
    for (const auto& [team, parts] : {std::pair{2, 9}, std::pair{4, 32}, std::pair{8, 3}, std::pair{3, 1},
                                      std::pair{1, 5}}) {
        SCOPED_TRACE(testing::Message() << parts << " parts on " << team);
        std::vector<part_record> seen(static_cast<std::size_t>(parts));
        std::atomic<int> running{0}, most{0};
        kesta::run_parts_on_team(team, parts, [&](int part, int size) {
            const int now = running.fetch_add(1) + 1;
            int high = most.load();
            while (now > high && !most.compare_exchange_weak(high, now)) {
            }
            // Long enough that the parts overlap where they can.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            part_record& r = seen[static_cast<std::size_t>(part)];
            ++r.runs;
            r.team = size;
            running.fetch_sub(1);
        });
        for (int p = 0; p < parts; ++p) {
            EXPECT_EQ(seen[static_cast<std::size_t>(p)].runs, 1) << "part " << p;
            EXPECT_EQ(seen[static_cast<std::size_t>(p)].team, parts) << "part " << p;
        }
        EXPECT_LE(most.load(), std::min(team, parts));
    }
}

// A job of more parts than one round of the team counts (65535) runs
// every part once, each told the whole job's count.
TEST(ThreadTeam, MorePartsThanOneRoundRunEachOnce) {
    constexpr int kParts = 140000;
    std::vector<std::atomic<int>> runs(kParts);
    std::atomic<int> wrong_count{0};
    kesta::run_parts_on_team(3, kParts, [&](int part, int size) {
        runs[static_cast<std::size_t>(part)].fetch_add(1);
        if (size != kParts) wrong_count.fetch_add(1);
    });
    int once = 0;
    for (const std::atomic<int>& r : runs) once += r.load() == 1;
    EXPECT_EQ(once, kParts);
    EXPECT_EQ(wrong_count.load(), 0);
}

TEST(ThreadTeam, EveryPartRunsOnceForTeamsThatGrowAndShrink) {
    for (const int team : {1, 2, 5, 8, 3, 8, 2}) expect_each_part_once(team);
    // Many jobs in a row, each following the last at once (the threads are
    // still spinning), with sums the caller reads as soon as the call ends.
    std::vector<long long> sums(6);
    for (int job = 1; job <= 2000; ++job) {
        kesta::run_on_team(6, [&sums, job](int part, int) { sums[static_cast<std::size_t>(part)] += job + part; });
    }
    for (int p = 0; p < 6; ++p) EXPECT_EQ(sums[static_cast<std::size_t>(p)], 2000LL * 2001 / 2 + 2000LL * p);
}

TEST(ThreadTeam, PartsRunSideBySide) {
    // Parts long enough for every thread of the team to wake and take one.
    std::atomic<int> running{0}, most{0};
    std::vector<std::thread::id> threads(4);
    kesta::run_on_team(4, [&](int part, int) {
        const int now = running.fetch_add(1) + 1;
        int high = most.load();
        while (now > high && !most.compare_exchange_weak(high, now)) {
        }
        threads[static_cast<std::size_t>(part)] = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        running.fetch_sub(1);
    });
    EXPECT_GE(most.load(), 2);
    int others = 0;  // parts that ran on a thread other than the caller's
    for (const std::thread::id& t : threads) others += t != std::this_thread::get_id();
    EXPECT_GE(others, 1);
}

TEST(ThreadTeam, ThreadsAsleepBetweenJobsWakeForTheNext) {
    for (int round = 0; round < 5; ++round) {
        // Longer than any spin: the team's threads are asleep when it starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        expect_each_part_once(4);
    }
    // A part much slower than the others: the caller goes to sleep waiting
    // for it and is woken when it ends.
    std::atomic<int> done{0};
    kesta::run_on_team(3, [&done](int part, int) {
        if (part == 2) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        done.fetch_add(1);
    });
    EXPECT_EQ(done.load(), 3);
}

// Every thread of a team that is asleep when a job comes is woken for it,
// whichever thread wakes it, on teams that grow (threads made since the
// last job) and shrink. Each part waits, for 10 s at most, until as many
// threads as the team has have each taken a part: a thread never woken
// leaves the job short of one.
TEST(ThreadTeam, EveryThreadAsleepWakesForTheJob) {
    for (const int team : {3, 8, 5, 12, 8}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the threads are asleep
        std::mutex lock;
        std::vector<std::thread::id> threads;
        kesta::run_on_team(team, [&](int, int) {
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (std::find(threads.begin(), threads.end(), std::this_thread::get_id()) == threads.end()) {
                    threads.push_back(std::this_thread::get_id());
                }
            }
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (;;) {
                {
                    const std::lock_guard<std::mutex> hold(lock);
                    if (static_cast<int>(threads.size()) >= team) return;
                }
                if (std::chrono::steady_clock::now() > end) return;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        EXPECT_EQ(static_cast<int>(threads.size()), team) << "team of " << team;
    }
}

TEST(ThreadTeam, CallsFromInsideAPartOrFromTwoThreadsRunEveryPart) {
    // A part that splits its own work: its inner job runs on its thread,
    // part after part.
    std::vector<int> inner_runs(4 * 3);
    std::vector<int> inner_on_own_thread(4 * 3);
    kesta::run_on_team(4, [&](int part, int) {
        const std::thread::id mine = std::this_thread::get_id();
        kesta::run_on_team(3, [&, part, mine](int inner, int size) {
            EXPECT_EQ(size, 3);
            ++inner_runs[static_cast<std::size_t>(part * 3 + inner)];
            inner_on_own_thread[static_cast<std::size_t>(part * 3 + inner)] = std::this_thread::get_id() == mine;
        });
    });
    for (std::size_t k = 0; k < inner_runs.size(); ++k) {
        EXPECT_EQ(inner_runs[k], 1) << k;
        EXPECT_EQ(inner_on_own_thread[k], 1) << k;
    }
    // Two callers at once, each many jobs: every part of every job runs.
    std::atomic<long long> parts{0};
    auto caller = [&parts] {
        for (int job = 0; job < 300; ++job) {
            kesta::run_on_team(5, [&parts](int, int) { parts.fetch_add(1, std::memory_order_relaxed); });
        }
    };
    std::thread other(caller);
    caller();
    other.join();
    EXPECT_EQ(parts.load(), 2LL * 300 * 5);
}

// Threads woken ahead of a job (to a team larger than any so far, from
// inside a part, and from another thread while jobs run) take only the
// jobs' parts, each once.
TEST(ThreadTeam, ThreadsWokenAheadOfAJobTakeEachPartOnce) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the threads are asleep
    kesta::wake_team(14, 2000.0);
    expect_each_part_once(14);
    std::atomic<int> runs{0};
    kesta::run_on_team(4, [&runs](int, int) {
        kesta::wake_team(4, 100.0);
        runs.fetch_add(1);
    });
    EXPECT_EQ(runs.load(), 4);
    std::atomic<bool> stop{false};
    std::thread waker([&stop] {
        while (!stop.load()) kesta::wake_team(6, 50.0);
    });
    std::vector<long long> sums(6);
    for (int job = 1; job <= 2000; ++job) {
        kesta::run_on_team(6, [&sums, job](int part, int) { sums[static_cast<std::size_t>(part)] += job + part; });
    }
    stop.store(true);
    waker.join();
    for (int p = 0; p < 6; ++p) EXPECT_EQ(sums[static_cast<std::size_t>(p)], 2000LL * 2001 / 2 + 2000LL * p);
    kesta::wake_team(1, 1000.0);  // a team of one has no thread to wake
    expect_each_part_once(3);
}

// A count already high enough is returned at once; one raised late by
// another thread is waited for, and the wait is told long once it has
// outlasted its patience.
TEST(ThreadTeam, AWaitForACountSeesItRaisedAndSaysWhenItWasLong) {
    int count = 5;
    bool waited_long = false;
    EXPECT_EQ(kesta::wait_at_least(&count, 5, 0.0, waited_long), 5);
    EXPECT_FALSE(waited_long);
    count = -1;
    std::thread raiser([&count] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        __atomic_store_n(&count, 3, __ATOMIC_RELEASE);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        __atomic_store_n(&count, 9, __ATOMIC_RELEASE);
    });
    EXPECT_GE(kesta::wait_at_least(&count, 0, 1e7, waited_long), 3);
    EXPECT_FALSE(waited_long);  // 20 ms are within ten seconds' patience
    EXPECT_EQ(kesta::wait_at_least(&count, 7, 10.0, waited_long), 9);
    EXPECT_TRUE(waited_long);
    raiser.join();
}

// A part whose thread is kept off its core for long (here it sleeps, which
// the clocks see alike) keeps the team's threads from spinning, for a
// while.
TEST(ThreadTeam, APartKeptOffItsCoreCalmsTheTeamForAWhile) {
    const auto calm = std::chrono::duration<double, std::milli>(kesta::kTeamCalmMilliseconds);
    kesta::run_on_team(2, [](int part, int) {
        if (part == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    EXPECT_TRUE(kesta::team_is_calm());
    // Well past the calm, and past any spin that could have renewed it.
    std::this_thread::sleep_for(4 * calm);
    EXPECT_FALSE(kesta::team_is_calm());
}

// A thread that waits spins twice as long as the last part took, within
// its bounds: through the end of a loop of long parts, briefly after short
// ones.
TEST(ThreadTeam, WaitingThreadsSpinAboutAsLongAsAPartTakes) {
    const auto busy_for = [](std::chrono::microseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
        }
    };
    kesta::run_on_team(2, [&](int, int) { busy_for(std::chrono::microseconds(2000)); });
    EXPECT_EQ(kesta::team_spin_microseconds(), kesta::kTeamSpinMostMicroseconds);
    kesta::run_on_team(2, [&](int, int) { busy_for(std::chrono::microseconds(300)); });
    EXPECT_GE(kesta::team_spin_microseconds(), 600.0);
    EXPECT_LE(kesta::team_spin_microseconds(), kesta::kTeamSpinMostMicroseconds);
    kesta::run_on_team(2, [](int, int) {});
    EXPECT_LT(kesta::team_spin_microseconds(), 600.0);
    EXPECT_GE(kesta::team_spin_microseconds(), kesta::kTeamSpinMicroseconds);
}

TEST(ThreadTeam, AChildProcessRunsJobsOnThreadsOfItsOwn) {
    expect_each_part_once(4);  // the parent's threads exist
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The parent's threads are not in the child: a job posted to them
        // would never end (the alarm ends the child then).
        alarm(20);
        std::atomic<int> parts{0};
        for (int job = 0; job < 50; ++job) kesta::run_on_team(4, [&parts](int, int) { parts.fetch_add(1); });
        _exit(parts.load() == 200 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

}  // namespace
