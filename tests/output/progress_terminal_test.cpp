// The progress line of a run on a terminal, checked by running the built
// program on a pseudo-terminal and through a pipe: a run that prints no
// line per step shows the line on the terminal, which other output
// replaces, and a pipe receives what it always did.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::has;

const std::string kErase = "\033[K";

// Runs the program on `project` in `dir` with its standard output and error
// on a pseudo-terminal that passes the bytes unchanged (a line end stays
// "\n"), under TERM `term`, and collects what it writes.
kesta_test::program_result run_on_terminal(const std::string& project, const std::string& dir,
                                           const std::string& term) {
    // Everything the child needs is made before the fork: after it the child
    // may only call what is safe in a copy of a threaded process.
    std::vector<std::string> env_text = {"TERM=" + term};
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("TERM=", 0) != 0) env_text.push_back(*e);
    }
    std::vector<char*> env;
    for (std::string& v : env_text) env.push_back(v.data());
    env.push_back(nullptr);
    std::string arg0 = "kesta", arg1 = project;
    char* const args[] = {arg0.data(), arg1.data(), nullptr};
    termios raw{};
    cfmakeraw(&raw);
    winsize size{};
    size.ws_col = 200;
    size.ws_row = 50;

    kesta_test::program_result r;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, &raw, &size);
    if (pid < 0) return r;
    if (pid == 0) {
        if (chdir(dir.c_str()) == 0) execve(KESTA_EXE, args, env.data());
        _exit(127);
    }
    std::array<char, 4096> buf{};
    // The reads end when the program has closed the terminal (EIO).
    for (ssize_t n; (n = read(master, buf.data(), buf.size())) > 0;) r.output.append(buf.data(), n);
    close(master);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

// The status lines of `text`: each "\r", a text, "\033[K"; the erasure is
// one with no text.
std::vector<std::string> status_lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
        const std::size_t end = text.find(kErase, at);
        if (end == std::string::npos || text.find_first_of("\r\n", at + 1) < end) continue;
        lines.push_back(text.substr(at + 1, end - at - 1));
    }
    return lines;
}

// `text` without its status lines and without the lines of run time, which
// differ from run to run.
std::string without_status_and_times(const std::string& text) {
    std::string plain;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find(kErase, at);
        if (text[at] == '\r' && end != std::string::npos && text.find_first_of("\r\n", at + 1) > end) {
            at = end + kErase.size();
            continue;
        }
        plain += text[at++];
    }
    std::string kept;
    for (const std::string& line : kesta_test::lines_of(plain)) {
        if (line.rfind("Run time:", 0) != 0 && line.rfind("total time to init", 0) != 0) kept += line + "\n";
    }
    return kept;
}

class ProgressOnTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", kesta_test::cross_mask(5.0));
        dir.write("elev.asc", kesta_test::cross_elevation(5.0));
    }
    // The terminal's and the pipe's output of one run of the five-cell plane
    // under an hour of heavy rain, with `cards` added. The explicit scheme
    // divides its steps on it, and says so unless QUIET is set.
    void run(const std::string& cards, const std::string& term = "xterm") {
        dir.write("p.prj",
                  "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 5\nROWS 3\nCOLS 3\n"
                  "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nOVERTYPE EXPLICIT\nHYD_FREQ 5\n"
                  "MAP_FREQ 1000\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\nTOT_TIME 120\nTIMESTEP 30\n"
                  "PRECIP_UNIF\nRAIN_INTENSITY 300\nRAIN_DURATION 60\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n" +
                      cards);
        terminal = run_on_terminal("p.prj", dir.path().string(), term);
        piped = kesta_test::run_kesta("p.prj", dir.path().string());
        ASSERT_EQ(terminal.status, 0) << terminal.output;
        ASSERT_EQ(piped.status, 0) << piped.output;
    }
    kesta_test::temp_dir dir;
    kesta_test::program_result terminal, piped;
};

TEST_F(ProgressOnTerminal, QuietRunsShowOneLineThatOtherOutputReplacesAndAPipeGetsNoneOfIt) {
    for (const char* card : {"QUIET\n", "SUPER_QUIET\n"}) {
        SCOPED_TRACE(card);
        run(card);
        // SUPER_QUIET leaves the scheme's messages, written while the line is in use.
        EXPECT_EQ(has(piped.output, " *Changing overland time step"), card[0] == 'S') << piped.output;
        const std::vector<std::string> lines = status_lines(terminal.output);
        ASSERT_GE(lines.size(), 2u) << terminal.output;
        // The first pass shows where the run begins; the run knows its end.
        EXPECT_EQ(lines.front().rfind("Simulated to 6/1/2020 12:00, 0.0% done, ", 0), 0u) << lines.front();
        EXPECT_TRUE(has(lines.front(), " elapsed")) << lines.front();
        // The line is erased before anything else is written, and at the end.
        EXPECT_EQ(lines.back(), "");
        for (std::size_t at = terminal.output.find(kErase); at != std::string::npos;
             at = terminal.output.find(kErase, at + 1)) {
            const std::size_t next = at + kErase.size();
            const bool erased = terminal.output.compare(at - 1, 1, "\r") == 0;
            EXPECT_TRUE(erased || (next < terminal.output.size() && terminal.output[next] == '\r'))
                << "output written after a shown line:\n" << terminal.output.substr(at, 80);
        }
        EXPECT_FALSE(has(piped.output, "\r")) << piped.output;
        EXPECT_FALSE(has(piped.output, "Simulated to")) << piped.output;
        EXPECT_EQ(without_status_and_times(terminal.output), without_status_and_times(piped.output));
    }
}

// A run that prints a line per step, or a terminal that cannot erase a line,
// gets what a pipe gets.
TEST_F(ProgressOnTerminal, NoLineWhenTheRunPrintsItsStepsOrTheTerminalCannotEraseOne) {
    run("");
    EXPECT_TRUE(has(terminal.output, "event  1 elapsed time")) << terminal.output;
    EXPECT_FALSE(has(terminal.output, kErase)) << terminal.output;
    EXPECT_EQ(without_status_and_times(terminal.output), without_status_and_times(piped.output));
    run("QUIET\n", "dumb");
    EXPECT_FALSE(has(terminal.output, kErase)) << terminal.output;
    EXPECT_EQ(without_status_and_times(terminal.output), without_status_and_times(piped.output));
}

}  // namespace
