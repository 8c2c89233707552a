// The main of every benchmark program: its threads wait at barriers as the
// model program's do (run_with_sleeping_threads), so that what is timed is
// what a run gets.
#include <benchmark/benchmark.h>

#include "core/thread_team.hpp"

int main(int argc, char** argv) {
    kesta::run_with_sleeping_threads(argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
