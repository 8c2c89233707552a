#include <cstdio>

#include "calibration/multi_run.hpp"
#include "calibration/replace_params.hpp"
#include "core/file_opener.hpp"

namespace kesta {

int run_batch(parallel_env&, int num_runs, const std::string& project_file, model_runner run) {
    std::printf("KESTA is running in batch mode, and is running %d runs...\n", num_runs);
    int failed = 0;
    for (int i = 0; i < num_runs; ++i) {
        // Run i reads line i + 1 of the value file and numbers its outputs i.
        set_replace_line(i);
        set_output_prefixing(1);
        set_run_number(i);
        if (run(project_file, nullptr) != 0) ++failed;
    }
    return failed;
}

}  // namespace kesta
