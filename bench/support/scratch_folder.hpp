// Folders the benchmarks write their set-up files in.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace bench_scratch {

// A fresh, empty folder `name`.<process id> under the system's temporary
// folder: one of its own for each benchmark process, so that two runs side by
// side never remove or overwrite each other's files.
inline std::filesystem::path fresh_folder(const std::string& name) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (name + "." + std::to_string(static_cast<long>(getpid())));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace bench_scratch
