#include "core/run_options.hpp"

#include <cstdio>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/model_state.hpp"
#include "core/parallel_env.hpp"

namespace kesta {

void read_run_parameters(const std::string& project_file, model_state& m) {
    if (m.optimize_given == 0 && g_parallel_env.world_rank() == 0)
        std::printf("reading run parameters from project file: %s\n", project_file.c_str());
    std::string name = project_file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) {
        g_error_record.code = 3;
        g_error_record.stop = 1;
        return;
    }
}

void check_run_options(model_state&) {}

}  // namespace kesta
