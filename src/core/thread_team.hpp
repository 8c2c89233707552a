// How many threads a loop over a grid splits over, and how idle threads
// wait. The results of every split loop are the same, bit for bit, for any
// team, so both choices change only the time a run takes.
#pragma once

#include <type_traits>

namespace kesta {

// Fewest cells (or grid values) one thread of a team is given. A smaller
// share costs more in starting and joining the thread than it saves, and on
// a busy machine every thread is one more that the others may wait for at
// the loop's end.
constexpr int kCellsPerThread = 65536;

// Threads of a loop over `cells` items: one per whole share of cells per
// thread (kCellsPerThread unless set_cells_per_thread changed it), at least
// one, and at most the threads OpenMP may use (OMP_NUM_THREADS, or the
// number given to omp_set_num_threads; by default one per core).
int thread_team(long long cells);

// Sets the cells per thread of thread_team (values below 1 count as 1) and
// returns the number it replaces. The share stays set for the process.
int set_cells_per_thread(int cells);

// Idle threads sleep rather than spin: a spinning thread keeps its core from
// the thread the others wait for when the machine runs other work. The
// OpenMP runtime reads its wait policy from the environment once, when it
// is loaded, before main begins, so the process runs itself again, from the
// same program file under the same name, with the same arguments (argv[0]
// too) and OMP_WAIT_POLICY=passive added to its environment,
// unless the user has set OMP_WAIT_POLICY or GOMP_SPINCOUNT (their setting
// then holds). Returns when nothing is to change, or when the program cannot
// be started again (it then runs on with the runtime's own policy). To be
// called first thing in main, before anything is printed.
void run_with_sleeping_threads(char** argv);

// The team of the grid's hot loops, which waits in its own way: a thread
// that has finished its part, or waits for the next loop, keeps its core
// for a short while, in which the next loop of a step most often begins,
// and then sleeps until it is woken: twice as long as the part last done
// took, at least kTeamSpinMicroseconds and at most kTeamSpinMostMicroseconds
// (team_spin_microseconds), so that a thread that finished early still
// spins when the last part of a loop of long parts ends. On an idle
// machine no thread then waits for its core to wake up. On a busy one a
// thread that spins holds a core that another thread of the team may be
// waiting for, so as soon as one of them finds that the scheduler took its
// core away for another thread for kTeamLostMicroseconds or more, they all
// go to sleep at once when they wait, for kTeamCalmMilliseconds: a
// sleeping thread takes its core back at once when it is woken (the
// scheduler favours a thread that has slept). The system's own short
// tasks, which take a core for a few microseconds now and then on an idle
// machine too, stay below kTeamLostMicroseconds; a busy machine takes a
// core away for a time slice of the scheduler, a millisecond or more.
constexpr double kTeamSpinMicroseconds = 100.0;
constexpr double kTeamSpinMostMicroseconds = 1000.0;
constexpr double kTeamCalmMilliseconds = 50.0;
constexpr double kTeamLostMicroseconds = 250.0;

// How long (us) a thread of the team that waits spins now before it
// sleeps, unless the team is calm (team_is_calm).
double team_spin_microseconds();

// Whether the team's threads keep from spinning now: one of them lost its
// core for kTeamLostMicroseconds or more within kTeamCalmMilliseconds.
bool team_is_calm();

// Wakes up to `team` - 1 of the team's threads ahead of a job known to
// come within `microseconds`: they wait for it spinning until then, so that
// the job does not wait for them to wake. Nothing while the machine is busy
// (as kTeamCalmMilliseconds) or the team is running a job.
void wake_team(int team, double microseconds);

// Waits until `count`, which another thread raises (a release store), is
// at least `value`, and returns it. Spins for `patience` microseconds, then
// sets `waited_long` and gives up its core at each further look, so that a
// thread it waits for that lost its core gets one back.
int wait_at_least(const int* count, int value, double patience, bool& waited_long);

// Runs job(t, team) for t = 0 .. team - 1 on up to `team` threads at once,
// the calling thread among them, and returns once every part has returned.
// Each thread takes the next part not yet taken until none is left, so a
// thread that is late (asleep, or its core given to other work) leaves its
// part to the others. A part must not wait for another part nor throw.
// Called with a team of one, from inside a part, or while another thread's
// call runs, it runs the parts one after another on the calling thread, so
// the parts of a loop must give the same results on any thread and in any
// order. Any number of parts (more than 65535 go in turns of 65535). The team's threads are made the first time
// they are needed and stay for the process.
using team_job = void (*)(void* job, int part, int team);
void run_team_job(int team, team_job call, void* job);

// As run_team_job, with `parts` parts (job(p, parts) for p = 0 .. parts - 1)
// on up to `team` threads: with more parts than threads, a thread that
// finishes early takes another part, and a late one leaves more of its
// share to the others.
void run_team_parts(int team, int parts, team_job call, void* job);

template <class Job>
void run_on_team(int team, Job&& job) {
    using J = std::remove_reference_t<Job>;
    if (team <= 1) {
        job(0, 1);
        return;
    }
    run_team_job(
        team, [](void* j, int part, int size) { (*static_cast<J*>(j))(part, size); },
        const_cast<void*>(static_cast<const void*>(&job)));
}

// job(p, parts) for p = 0 .. parts - 1 on up to `team` threads (see
// run_team_parts); on one thread, one part after another in order.
template <class Job>
void run_parts_on_team(int team, int parts, Job&& job) {
    using J = std::remove_reference_t<Job>;
    if (team <= 1 || parts <= 1) {
        for (int p = 0; p < parts; ++p) job(p, parts);
        return;
    }
    run_team_parts(
        team, parts, [](void* j, int part, int size) { (*static_cast<J*>(j))(part, size); },
        const_cast<void*>(static_cast<const void*>(&job)));
}

}  // namespace kesta
