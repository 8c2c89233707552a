// The command line of the program and the mode it selects.
#pragma once

#include <string>

namespace kesta {

enum class run_mode : int {
    unset = 0,
    ordinary = 1,
    sce_calibration = 2,
    batch = 3,
    version = 4,
    help = 5,
    monte_carlo = 6,
};

struct command_record {
    run_mode mode = run_mode::unset;
    std::string input_file;  // project file (ordinary, batch) or control file
    int exit_status = 0;     // status of a process that ends at the command line
};

// Longest input file name the program takes; a longer one prints the usage.
constexpr std::size_t kMaxInputFileName = 1023;

// Fills `cmd` from the process arguments. Returns the number of runs (1 unless
// a number follows -b or -m), or -1 when the usage text was printed and the
// process is to end with `cmd.exit_status`: 0 when no argument was given, 1
// when the command line was refused (an unknown option, an option without
// its input file, a bad run count, a second argument after a project file, a
// name too long). -h and --help select the help mode, which prints the usage.
// `num_groups` is set to 1 once there is an argument.
int parse_command_line(int argc, const char* const* argv, command_record& cmd, int& num_groups);

void print_usage();
void print_version();

// The whole program: start-up line, command line, one mode. Returns the
// process exit status: 1 when a model run stopped on an error or the command
// line was refused, else 0.
int kesta_main(int argc, const char* const* argv);

}  // namespace kesta
