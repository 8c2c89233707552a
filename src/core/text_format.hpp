// printf-style formatting into a std::string, for messages whose text is
// fixed by a format.
#pragma once

#include <cstdio>
#include <string>

namespace kesta {

// The text `fmt` and its arguments would print, whatever its length.
std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// `v` as the shortest "%g"-style text that reads back as the same double:
// 1000001 gives "1000001" where "%g" gives "1e+06", so a value just past a
// bound is never echoed as the bound itself. Six significant digits or more,
// as "%g" prints them; nan and inf as "%g" prints them.
std::string exact_number(double v);

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
