// What a writer puts on a C stream, read back as a string.
#pragma once

#include <cstdio>
#include <string>

namespace kesta_test {

// Runs `write` on a fresh temporary stream and returns every byte it wrote.
template <class F>
std::string written_by(F write) {
    std::FILE* fp = std::tmpfile();
    if (!fp) return std::string();
    write(fp);
    std::rewind(fp);
    std::string text;
    char buf[4096];
    std::size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, fp)) > 0) text.append(buf, got);
    std::fclose(fp);
    return text;
}

}  // namespace kesta_test
