// Runs the built program as a user would and collects what it prints; or
// runs a project inside the test's own process, where a step observer can
// look at the model state.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "core/error_record.hpp"
#include "model/run_driver.hpp"
#include "model/run_model.hpp"

namespace kesta_test {

struct program_result {
    int status = -1;     // process exit status
    std::string output;  // standard output and standard error, in order; only standard output when kept apart
    std::string errors;  // standard error, when kept apart (run_kesta_apart)
};

// Runs the program with `args` (already quoted for the shell) inside `dir`,
// its standard error sent to `errors_to` (a shell redirection target).
inline program_result run_kesta_with(const std::string& args, const std::string& dir, const std::string& stdin_text,
                                     const std::string& env, const std::string& errors_to) {
    std::string cmd = "cd '" + dir + "' && ";
    if (!stdin_text.empty()) cmd += "printf '%s' '" + stdin_text + "' | ";
    cmd += env + (env.empty() ? "'" : " '") + KESTA_EXE + "' " + args + " 2>" + errors_to;
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

// Runs the program with `args` (already quoted for the shell) inside `dir`;
// `env`, when given, is a command that starts it (such as "env -u NAME").
inline program_result run_kesta(const std::string& args, const std::string& dir = ".",
                                const std::string& stdin_text = std::string(), const std::string& env = "") {
    return run_kesta_with(args, dir, stdin_text, env, "&1");
}

// As run_kesta, with standard error kept apart from standard output.
inline program_result run_kesta_apart(const std::string& args, const std::string& dir = ".") {
    char err_path[] = "/tmp/kesta_stderr_XXXXXX";
    const int fd = mkstemp(err_path);
    if (fd < 0) return program_result();
    close(fd);
    program_result r = run_kesta_with(args, dir, std::string(), std::string(), std::string("'") + err_path + "'");
    std::FILE* err = std::fopen(err_path, "rb");
    if (err) {
        std::array<char, 4096> buf{};
        std::size_t got = 0;
        while ((got = std::fread(buf.data(), 1, buf.size(), err)) > 0) r.errors.append(buf.data(), got);
        std::fclose(err);
    }
    std::remove(err_path);
    return r;
}

struct model_run {
    int rc = -1;      // what run_model returned
    std::string out;  // what the run printed on standard output
};

// Runs the project file `project` of the working folder in this process,
// with `observer` (when given) watching its steps, and collects what it
// prints. The observer is removed and the error record cleared
// afterwards, so that the next run starts clean.
inline model_run run_in_process(const std::string& project, kesta::step_observer observer = nullptr) {
    model_run r;
    kesta::set_step_observer(observer);
    testing::internal::CaptureStdout();
    r.rc = kesta::run_model(project, nullptr);
    r.out = testing::internal::GetCapturedStdout();
    kesta::set_step_observer(nullptr);
    kesta::g_error_record.clear_for_run();
    return r;
}

}  // namespace kesta_test
