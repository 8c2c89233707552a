// What a writer puts on a C stream, or a piece of code on standard output,
// read back as a string.
#pragma once

#include <gtest/gtest.h>

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

// What `run` prints on standard output.
template <class F>
std::string printed_by(F run) {
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

}  // namespace kesta_test
