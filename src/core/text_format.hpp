// printf-style formatting into a std::string, for messages whose text is
// fixed by a format.
#pragma once

#include <cstdio>
#include <string>

namespace kesta {

// The text `fmt` and its arguments would print, whatever its length.
std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Most characters of an input value that a message echoes: a value longer
// than this is most likely a whole garbled line, and echoing all of it would
// bury the message.
constexpr std::size_t kEchoedValueWidth = 80;

// `value` as a message echoes it: unchanged up to kEchoedValueWidth
// characters, else its first kEchoedValueWidth characters followed by "...".
std::string echoed(const std::string& value);

// Writes `text` unchanged to `fp` when there is one.
inline void put_text(std::FILE* fp, const std::string& text) {
    if (fp && !text.empty()) std::fwrite(text.data(), 1, text.size(), fp);
}

}  // namespace kesta
