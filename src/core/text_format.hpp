// printf-style formatting into a std::string, for messages whose text is
// fixed by a format.
#pragma once

#include <string>

namespace kesta {

// The text `fmt` and its arguments would print, whatever its length.
std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kesta
