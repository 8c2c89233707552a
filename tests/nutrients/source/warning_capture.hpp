// Collects the nutrient library's warnings for the length of a test.
#pragma once

#include <string>
#include <vector>

#include "nutrients/source/vegso_warnings.hpp"

namespace vegso_test {

class warning_capture {
public:
    warning_capture() { vegso_set_warning_sink(&collect, this); }
    ~warning_capture() { vegso_set_warning_sink(nullptr, nullptr); }
    warning_capture(const warning_capture&) = delete;
    warning_capture& operator=(const warning_capture&) = delete;

    const std::vector<std::string>& texts() const { return texts_; }
    // The number of warnings that contain `part`.
    int count(const std::string& part) const {
        int n = 0;
        for (const std::string& t : texts_) n += t.find(part) != std::string::npos;
        return n;
    }

private:
    static void collect(const char* text, void* self) { static_cast<warning_capture*>(self)->texts_.push_back(text); }
    std::vector<std::string> texts_;
};

}  // namespace vegso_test
