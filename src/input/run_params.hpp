// The three run-parameter blocks: what the project file says, exactly as its
// cards give it. Only the project reader writes them.
#pragma once

#include <string>

namespace kesta {

struct project_options {
    int analyzers_given = 0;
    std::string analyzers_file;  // card ANALYZERS
    int optimize_given = 0;
    int calib_comp_data = 1;  // 0 daily, 1 event, 2 unset
    int calib_obj_func = 1;   // 0 RMSE, 1 HMLE, 2 unset
    int super_quiet = 0;
};

struct run_params {
    double latitude = 32.0;    // degrees
    double longitude = -90.0;  // degrees
};

struct rain_params {
    int rain_interp = 1;  // 0 inverse distance, 1 Thiessen
};

}  // namespace kesta
