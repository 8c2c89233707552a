// Runs the built program as a user would and collects what it prints.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace kesta_test {

struct program_result {
    int status = -1;     // process exit status
    std::string output;  // standard output and standard error, in order
};

// Runs the program with `args` (already quoted for the shell) inside `dir`.
inline program_result run_kesta(const std::string& args, const std::string& dir = ".",
                                const std::string& stdin_text = std::string()) {
    std::string cmd = "cd '" + dir + "' && ";
    if (!stdin_text.empty()) cmd += "printf '%s' '" + stdin_text + "' | ";
    cmd += std::string("'") + KESTA_EXE + "' " + args + " 2>&1";
    if (stdin_text.empty()) cmd += " </dev/null";
    program_result r;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    std::size_t got = 0;
    while ((got = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), got);
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

}  // namespace kesta_test
