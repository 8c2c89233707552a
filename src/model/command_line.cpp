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
// begin argument 1 decides, so "-bogus" is the batch option.
struct option_row {
    const char* prefix;
    run_mode mode;
    bool takes_run_count;
};

constexpr option_row kOptions[] = {
    {"-s", run_mode::sensitivity, false}, {"-c", run_mode::sce_calibration, false},
    {"-d", run_mode::distributed, false}, {"-b", run_mode::batch, true},
    {"-m", run_mode::monte_carlo, true},  {"-h", run_mode::help, false},
    {"-v", run_mode::version, false},
};

int refuse(command_record& cmd, int status) {
    print_usage();
    cmd.mode = run_mode::unset;
    cmd.input_file.clear();
    cmd.exit_status = status;
    return -1;
}

}  // namespace

int parse_command_line(int argc, const char* const* argv, command_record& cmd, int& num_groups) {
    cmd = command_record{};
    if (argc < 2) return refuse(cmd, 0);

    int num_runs = 1;
    num_groups = 1;

    const char* input = nullptr;
    if (argc == 2) {
        cmd.mode = run_mode::ordinary;
        input = argv[1];
    } else {
        const option_row* found = nullptr;
        for (const option_row& row : kOptions) {
            if (std::strncmp(argv[1], row.prefix, 2) == 0) {
                found = &row;
                break;
            }
        }
        if (!found) return refuse(cmd, 0);
        cmd.mode = found->mode;
        if (found->takes_run_count) {
            // The option alone means one run. Anything after it must be the
            // whole count: "-bxyz" or an overflowing count must not quietly
            // become some other number of runs, and no runs (or fewer) is a
            // mistake, not a silent no-op.
            const std::string count = argv[1] + 2;
            if (!count.empty() && (!parse_int(count, num_runs) || num_runs < 1)) {
                std::printf("Error: the run count \"%s\" of option %s is not a whole number from 1 to %d.\n",
                            echoed(count).c_str(), found->prefix, INT_MAX);
                return refuse(cmd, 1);
            }
        }
        if (cmd.mode != run_mode::version) input = argv[2];
    }
    if (input) {
        if (std::strlen(input) > kMaxInputFileName) return refuse(cmd, 1);
        cmd.input_file = input;
    }
    return num_runs;
}

void print_usage() {
    std::fputs(
        "\nUsage: kesta [-option] [inputfile]\n\n where -option is one of:\n"
        "      -c = SCE calibration mode (input file is the calibration control file)\n"
        "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
        "      -b = batch mode (input file is the batch control file)\n"
        "      -v = display version information (no project will be run)\n"
        "  The c, m, b, and v commands are optional and if not present the input file is\n"
        " treated as the project file\n\n"
        "  For the -b option, the command line should be:\n"
        "      kesta -b[num_batch] kesta_inputfile\n\n"
        "  For the -c option, the command line should be:\n"
        "      kesta -c sce_inputfile\n\n"
        "  For the -m option, the command line should be:\n"
        "      kesta -m[num_batch] mc_inputfile\n\n"
        "  For the -s option, the command line should be:\n"
        "      kesta -s sen_inputfile\n\n"
        "  For the -t option (and -tv), the command line should be:\n"
        "      kesta -t[v]\n\n"
        "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input file, "
        "mc_intputfile is\n"
        "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n",
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

void print_help(const std::string&) {}

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
        case run_mode::help:
            print_help(cmd.input_file);
            break;
        case run_mode::monte_carlo:
            g_parallel_env.init(num_groups);
            failed = run_monte_carlo(g_parallel_env, num_runs, cmd.input_file, run_model);
            break;
        case run_mode::sensitivity:
            g_parallel_env.run_sensitivity(cmd.input_file);
            break;
        case run_mode::distributed:
            g_parallel_env.run_distributed(cmd.input_file);
            break;
        case run_mode::unset:
            break;
    }
    std::fflush(stdout);
    return failed > 0 ? 1 : 0;
}

}  // namespace kesta
