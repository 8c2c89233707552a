#include "core/text_format.hpp"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kesta {

std::string format_text(const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        std::vector<char> buf(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), fmt, again);
        out.assign(buf.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

std::string exact_number(double v) {
    char buf[40];
    if (!std::isfinite(v)) {
        std::snprintf(buf, sizeof buf, "%g", v);
        return buf;
    }
    for (int digits = 6; digits < 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, v);
        if (std::strtod(buf, nullptr) == v) return buf;
    }
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string echoed(const std::string& value) {
    if (value.size() <= kEchoedValueWidth) return value;
    return value.substr(0, kEchoedValueWidth) + "...";
}

}  // namespace kesta
