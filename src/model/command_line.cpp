#include "model/command_line.hpp"

#include <climits>
#include <cstdio>
#include <cstring>

#include "calibration/multi_run.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "model/run_model.hpp"
#include "model/version.hpp"

namespace kesta {

namespace {

// The options in the order they are tried: the first whose two characters
// begin argument 1 decides, so "-bogus" is the batch option and "-help" asks
// for the usage.
struct option_row {
    const char* prefix;
    run_mode mode;
    bool takes_run_count;
    bool takes_input_file;
};

constexpr option_row kOptions[] = {
    {"-c", run_mode::sce_calibration, false, true}, {"-b", run_mode::batch, true, true},
    {"-m", run_mode::monte_carlo, true, true},      {"-h", run_mode::help, false, false},
    {"-v", run_mode::version, false, false},
};

// Prints the usage, then `why` (when given) as the last line, where it is
// seen; the process is to end with `status`.
int refuse(command_record& cmd, int status, const std::string& why = std::string()) {
    print_usage();
    if (!why.empty()) std::printf("Error: %s\n", why.c_str());
    cmd.mode = run_mode::unset;
    cmd.input_file.clear();
    cmd.exit_status = status;
    return -1;
}

const option_row* find_option(const char* arg) {
    if (std::strcmp(arg, "--help") == 0) arg = "-h";
    for (const option_row& row : kOptions) {
        if (std::strncmp(arg, row.prefix, 2) == 0) return &row;
    }
    return nullptr;
}

}  // namespace

int parse_command_line(int argc, const char* const* argv, command_record& cmd, int& num_groups) {
    cmd = command_record{};
    if (argc < 2) return refuse(cmd, 0);

    int num_runs = 1;
    num_groups = 1;

    const char* input = nullptr;
    if (argv[1][0] != '-') {
        // A project file runs alone: a second argument is a mistake that
        // must not pass for a run.
        if (argc > 2) {
            return refuse(cmd, 1,
                          "one project file is run at a time; \"" + echoed(argv[2]) + "\" follows \"" +
                              echoed(argv[1]) + "\".");
        }
        cmd.mode = run_mode::ordinary;
        input = argv[1];
    } else {
        const option_row* found = find_option(argv[1]);
        if (!found) return refuse(cmd, 1, "unknown option \"" + echoed(argv[1]) + "\".");
        cmd.mode = found->mode;
        if (found->takes_run_count) {
            // The option alone means one run. Anything after it must be the
            // whole count: "-bxyz" or an overflowing count must not quietly
            // become some other number of runs, and no runs (or fewer) is a
            // mistake, not a silent no-op.
            const std::string count = argv[1] + 2;
            if (!count.empty() && (!parse_int(count, num_runs) || num_runs < 1)) {
                return refuse(cmd, 1,
                              format_text("the run count \"%s\" of option %s is not a whole number from 1 to %d.",
                                          echoed(count).c_str(), found->prefix, INT_MAX));
            }
        }
        if (found->takes_input_file) {
            if (argc < 3) return refuse(cmd, 1, std::string("option ") + found->prefix + " needs an input file.");
            input = argv[2];
        }
    }
    if (input) {
        if (std::strlen(input) > kMaxInputFileName) {
            return refuse(cmd, 1, format_text("the input file name is longer than %d characters.",
                                              static_cast<int>(kMaxInputFileName)));
        }
        cmd.input_file = input;
    }
    return num_runs;
}

void print_usage() {
    std::fputs(
        "\nUsage: kesta [-option] [inputfile]\n\n where -option is one of:\n"
        "      -c = SCE calibration mode (input file is the calibration control file)\n"
        "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
        "      -b = batch mode (input file is the project file)\n"
        "      -v = display version information (no project will be run)\n"
        "      -h = display this usage, as --help does (no project will be run)\n"
        "  The c, m, b, v and h commands are optional and if not present the input file is\n"
        " treated as the project file\n\n"
        "  For the -b option, the command line should be:\n"
        "      kesta -b[num_batch] kesta_inputfile\n\n"
        "  For the -c option, the command line should be:\n"
        "      kesta -c sce_inputfile\n\n"
        "  For the -m option, the command line should be:\n"
        "      kesta -m[num_batch] mc_inputfile\n\n"
        "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input file, and\n"
        "  mc_inputfile is the Monte Carlo input file.\n\n",
        stdout);
}

void print_version() {
    std::printf("\n    -- KESTA version %4.2lf%c --\n \n", kVersion, kReleaseLetter);
    std::fputs(
        "    A physically based, distributed watershed model:\n"
        "    rain, infiltration, overland and channel flow, pipe networks,\n"
        "    groundwater, sediment, contaminants and nutrients.\n"
        "\n \n"
        "    The shuffled complex evolution (SCE-UA) calibration routines\n"
        "    follow the published global optimisation method.\n"
        "\n \n"
        "    Questions and reports: the KESTA development team.\n"
        "\n \n",
        stdout);
}

int kesta_main(int argc, const char* const* argv) {
    std::printf("Serial version of KESTA (%2.1lf%c) with SCE starting...\n", kVersion, kReleaseLetter);
    std::fflush(stdout);

    command_record cmd;
    int num_groups = 1;
    const int num_runs = parse_command_line(argc, argv, cmd, num_groups);
    if (num_runs == -1) return cmd.exit_status;

    // A run that stopped on an error must not look like success to a script.
    int failed = 0;
    switch (cmd.mode) {
        case run_mode::ordinary:
            g_parallel_env.init(1);
            failed = run_model(cmd.input_file, nullptr) != 0 ? 1 : 0;
            break;
        case run_mode::sce_calibration:
            g_parallel_env.init(num_groups);
            failed = run_sce_calibration(g_parallel_env, cmd.input_file, run_model);
            break;
        case run_mode::batch:
            g_parallel_env.init(num_groups);
            failed = run_batch(g_parallel_env, num_runs, cmd.input_file, run_model);
            break;
        case run_mode::version:
            print_version();
            break;
        case run_mode::monte_carlo:
            g_parallel_env.init(num_groups);
            failed = run_monte_carlo(g_parallel_env, num_runs, cmd.input_file, run_model);
            break;
        case run_mode::help:
            print_usage();
            break;
        case run_mode::unset:
            break;
    }
    std::fflush(stdout);
    return failed > 0 ? 1 : 0;
}

}  // namespace kesta
