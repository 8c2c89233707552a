// printf-style formatting into a std::string, for messages whose text is
// fixed by a format.
#pragma once

#include <cstdio>
#include <string>

namespace kesta {

// The text `fmt` and its arguments would print, whatever its length.
std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Writes `text` unchanged to `fp` when there is one.
inline void put_text(std::FILE* fp, const std::string& text) {
    if (fp && !text.empty()) std::fwrite(text.data(), 1, text.size(), fp);
}

}  // namespace kesta
