// A scratch folder for one test; optionally the working folder while it lives.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace kesta_test {

class temp_dir {
public:
    explicit temp_dir(bool enter = false) {
        std::string pattern = (std::filesystem::temp_directory_path() / "kesta_test_XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        if (enter) {
            old_cwd_ = std::filesystem::current_path();
            std::filesystem::current_path(path_);
        }
    }
    ~temp_dir() {
        if (!old_cwd_.empty()) std::filesystem::current_path(old_cwd_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Writes `text` to `name` inside the folder and returns its full path.
    std::string write(const std::string& name, const std::string& text) const {
        const std::string p = file(name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }

private:
    std::filesystem::path path_;
    std::filesystem::path old_cwd_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The number that follows `label` in `text`; NaN (which fails every
// comparison) when the label or the number is absent.
inline double value_after(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    std::istringstream in(text.substr(at + label.size()));
    double v = 0.0;
    if (!(in >> v)) return std::nan("");  // a failed read would give 0
    return v;
}

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Every number of `text`, read in turn up to the first word that is not one.
inline std::vector<double> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> v;
    for (double x; in >> x;) v.push_back(x);
    return v;
}

// The lines of `text`, without their ends.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace kesta_test
