#include "core/thread_team.hpp"
#include "model/command_line.hpp"

int main(int argc, char** argv) {
    kesta::run_with_sleeping_threads(argv);
    return kesta::kesta_main(argc, argv);
}
