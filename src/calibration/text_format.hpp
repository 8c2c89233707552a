// printf-style formatting into a std::string, for the calibration reports
// that go to the console and to a file alike.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace kesta {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string format_text(const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(&out[0], out.size(), fmt, again);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

// Writes `text` unchanged to `fp` when there is one.
inline void put_text(std::FILE* fp, const std::string& text) {
    if (fp && !text.empty()) std::fwrite(text.data(), 1, text.size(), fp);
}

}  // namespace kesta
