#include "core/text_format.hpp"

#include <cstdarg>
#include <cstdio>
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

std::string echoed(const std::string& value) {
    if (value.size() <= kEchoedValueWidth) return value;
    return value.substr(0, kEchoedValueWidth) + "...";
}

}  // namespace kesta
