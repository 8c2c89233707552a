#include "core/command_line.hpp"

#include <cstdio>

#include "core/version.hpp"

namespace kesta {

int kesta_main(int, const char* const*) {
    std::printf("Serial version of KESTA (%2.1lf%c) with SCE starting...\n", kVersion, kReleaseLetter);
    std::fflush(stdout);
    return 0;
}

}  // namespace kesta
