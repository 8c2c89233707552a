// How many threads a loop over a grid splits over, and how idle threads
// wait. The results of every split loop are the same, bit for bit, for any
// team, so both choices change only the time a run takes.
#pragma once

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

}  // namespace kesta
