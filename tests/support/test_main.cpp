// The main of the test program: idle threads sleep at barriers, as the
// model program's do (run_with_sleeping_threads). Tests run side by side,
// each with its own team of threads; spinning teams would starve each other.
#include <gtest/gtest.h>

#include "core/thread_team.hpp"

int main(int argc, char** argv) {
    kesta::run_with_sleeping_threads(argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
