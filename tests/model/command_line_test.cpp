// The program's command line, checked by running the built program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

const std::string kStartLine = "Serial version of KESTA (5.0 ) with SCE starting...\n";
const std::string kUsage = "\nUsage: kesta [-option] [inputfile]\n";
const std::string kBatch = "is running in batch mode";

TEST(CommandLine, EachOptionPrintsWhatItIsForAndRefusalsExitNonZeroWithUsage) {
    enum exit_kind { any, zero, failure };
    const std::string too_long(1024, 'a');
    const struct {
        std::string args;
        exit_kind exit;
        std::vector<std::string> shown, absent;
    } cases[] = {
        {"", zero, {kUsage, "mc_inputfile is the Monte Carlo input file"}, {}},
        {"-v anything", zero, {"\n    -- KESTA version 5.00  --\n \n"}, {kUsage}},
        {"-v", zero, {"\n    -- KESTA version 5.00  --\n \n"}, {kUsage}},
        {"project.prj other", failure, {kUsage, "\"other\" follows \"project.prj\""}, {}},
        {"-b3 x", any, {"running 3 runs...\n"}, {}},
        {"-b x", any, {"running 1 runs...\n"}, {}},
        {"-b12 x", any, {"running 12 runs...\n"}, {}},
        // Anything beginning with -b is the batch option, and what follows must be the whole count.
        {"-bogus x", failure, {"Error: the run count \"ogus\" of option -b is not a whole number from 1 to",
                               kUsage}, {kBatch}},
        {"-bq x", failure, {kUsage}, {kBatch}},
        {"-b3x x", failure, {kUsage}, {kBatch}},
        {"-b99999999999 x", failure, {kUsage}, {kBatch}},
        {"-mxyz x", failure, {"run count \"xyz\" of option -m", kUsage}, {kBatch}},
        {"-b0 x", failure, {kUsage}, {kBatch}},
        {"-b-2 x", failure, {kUsage}, {kBatch}},
        {"-m0 x", failure, {kUsage}, {kBatch}},
        {"-m-1 x", failure, {kUsage}, {kBatch}},
        {"-b2 " + too_long, failure, {kUsage}, {kBatch}},
        {"-b2 " + too_long.substr(1), any, {"running 2 runs...\n"}, {kUsage}},  // the longest name taken
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("args: " + c.args.substr(0, 40));
        const auto r = kesta_test::run_kesta(c.args);
        if (c.exit != any) {
            EXPECT_EQ(r.status == 0, c.exit == zero);
        }
        EXPECT_EQ(r.output.rfind(kStartLine, 0), 0u) << r.output;
        for (const std::string& part : c.shown) EXPECT_NE(r.output.find(part), std::string::npos) << part;
        for (const std::string& part : c.absent) EXPECT_EQ(r.output.find(part), std::string::npos) << part;
    }
}

// The usage as -h and --help print it: every option the program takes, each
// on its own line, and nothing else run or written.
TEST(CommandLine, HelpPrintsTheUsageOfTheOptionsThereAreAndWritesNothing) {
    const std::vector<std::string> expected = {"-c", "-m", "-b", "-v", "-h"};
    for (const char* args : {"--help", "-h", "-h some_file", "-help"}) {
        SCOPED_TRACE(args);
        kesta_test::temp_dir dir;
        const auto r = kesta_test::run_kesta(args, dir.path().string());
        EXPECT_EQ(r.status, 0);
        ASSERT_EQ(r.output.rfind(kStartLine + kUsage, 0), 0u) << r.output;
        std::vector<std::string> listed;
        for (const std::string& line : kesta_test::lines_of(r.output)) {
            if (line.rfind("      -", 0) == 0 && line.find(" = ") == 8) listed.push_back(line.substr(6, 2));
        }
        EXPECT_EQ(listed, expected) << r.output;
        for (const char* gone : {"-s", "-t", "sen_inputfile", "intputfile"})
            EXPECT_FALSE(kesta_test::has(r.output, gone)) << gone;
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}

// A command line the program cannot carry out ends with the usage, then the
// reason as the last line, and a failure status; nothing is run or written.
TEST(CommandLine, UnknownOptionsAndMissingInputFilesAreRefusedWithTheUsage) {
    const struct {
        const char* args;
        const char* reason;
    } cases[] = {
        {"-x foo", "unknown option \"-x\"."},
        {"-x", "unknown option \"-x\"."},
        {"-s sen_input", "unknown option \"-s\"."},  // sensitivity and distributed runs are not made
        {"-dx control", "unknown option \"-dx\"."},
        {"--version", "unknown option \"--version\"."},
        {"-c", "option -c needs an input file."},
        {"-b3", "option -b needs an input file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        kesta_test::temp_dir dir;
        const auto r = kesta_test::run_kesta(c.args, dir.path().string());
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(kesta_test::has(r.output, kUsage)) << r.output;
        const std::vector<std::string> lines = kesta_test::lines_of(r.output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), std::string("Error: ") + c.reason);
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}

// The number of times `part` occurs in `text`, and the value quoted after
// its last occurrence.
int occurrences(const std::string& text, const std::string& part, std::string* last_quoted = nullptr) {
    int count = 0;
    std::size_t at = text.find(part);
    for (; at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
        const std::size_t from = at + part.size();
        if (last_quoted) *last_quoted = text.substr(from, text.find('\'', from) - from);
    }
    return count;
}

// Unless the user chose how idle threads wait, the program runs itself again
// with OMP_WAIT_POLICY=passive, with the same arguments and the same exit
// status. Asked to (OMP_DISPLAY_ENV), the OpenMP runtime shows the policy it
// took as it loads: each start shows it once, and a passive policy spins 0
// times before a thread sleeps.
TEST(CommandLine, ThreadsSleepAtBarriersUnlessTheUserChoseHowTheyWait) {
    const std::string shown = "OPENMP DISPLAY ENVIRONMENT BEGIN", spins = "GOMP_SPINCOUNT = '";
    const std::string unset = "env -u OMP_WAIT_POLICY -u GOMP_SPINCOUNT OMP_DISPLAY_ENV=verbose";
    const auto failed = kesta_test::run_kesta("'no such project.prj'", ".", "", unset);
    if (occurrences(failed.output, shown) == 0) GTEST_SKIP() << "the OpenMP runtime does not show its settings";
    std::string spin_count;
    EXPECT_EQ(occurrences(failed.output, shown), 2) << failed.output;
    EXPECT_EQ(occurrences(failed.output, spins, &spin_count), 2);
    EXPECT_EQ(spin_count, "0");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(occurrences(failed.output, kStartLine), 1);
    EXPECT_EQ(occurrences(failed.output, "Error opening project file named: no such project.prj\n"), 1)
        << failed.output;
    const auto batch = kesta_test::run_kesta("-b3 x", ".", "", unset);
    EXPECT_EQ(occurrences(batch.output, "running 3 runs...\n"), 1) << batch.output;
    const auto version = kesta_test::run_kesta("-v anything", ".", "", unset);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(occurrences(version.output, shown), 2);

    // The user's own choice holds: the program starts once.
    for (const auto& [setting, count] : {std::pair{"OMP_WAIT_POLICY=active", "30000000000"},
                                         std::pair{"GOMP_SPINCOUNT=1234", "1234"}}) {
        const auto r = kesta_test::run_kesta("-v anything", ".", "", unset + " " + setting);
        EXPECT_EQ(occurrences(r.output, shown), 1) << setting;
        occurrences(r.output, spins, &spin_count);
        EXPECT_EQ(spin_count, count) << setting;
    }
}

// The program that started itself again keeps its name, which ps, top and
// pgrep -x show, and its argv[0]. The project file is a pipe: the program
// waits at its opening until the test opens the other end, so the test looks
// at the process once it is the restarted one (the restart comes first).
TEST(CommandLine, TheRestartedProgramKeepsItsNameAndArgvZero) {
    kesta_test::temp_dir dir;
    const std::string pipe = dir.file("run.prj");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);

    // Everything the child needs is made before the fork: after it the child
    // may only call what is safe in a copy of a threaded process.
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("OMP_WAIT_POLICY=", 0) != 0 && v.rfind("GOMP_SPINCOUNT=", 0) != 0) env_text.push_back(v);
    }
    std::vector<char*> env;
    for (std::string& v : env_text) env.push_back(v.data());
    env.push_back(nullptr);
    std::string arg0 = "kesta-as-started", arg1 = "run.prj";
    char* const args[] = {arg0.data(), arg1.data(), nullptr};
    const std::string folder = dir.path().string();

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int null_fd = open("/dev/null", O_WRONLY);
        if (chdir(folder.c_str()) != 0 || null_fd < 0) _exit(127);
        dup2(null_fd, STDOUT_FILENO);
        dup2(null_fd, STDERR_FILENO);
        execve(KESTA_EXE, args, env.data());
        _exit(127);
    }

    // Opening the writing end succeeds once the program has opened the
    // project file; the loop ends early if the program ends first.
    int fd = -1;
    bool ended = false;
    for (int tries = 0; tries < 6000 && fd < 0 && !ended; ++tries) {
        fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) break;
        ASSERT_EQ(errno, ENXIO);
        int status = 0;
        ended = waitpid(pid, &status, WNOHANG) == pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(ended) << "the program ended without opening its project file";
    ASSERT_GE(fd, 0);
    const std::string proc = "/proc/" + std::to_string(pid) + "/";
    const std::string comm = kesta_test::read_file(proc + "comm");
    const std::string cmdline = kesta_test::read_file(proc + "cmdline");
    const std::string environment = kesta_test::read_file(proc + "environ");
    close(fd);  // an empty project file: the run stops
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);

    EXPECT_TRUE(kesta_test::has(environment, std::string("OMP_WAIT_POLICY=passive") + '\0'))
        << "not the restarted program";
    EXPECT_EQ(comm, std::filesystem::path(KESTA_EXE).filename().string() + "\n");
    EXPECT_EQ(cmdline, arg0 + '\0' + arg1 + '\0');
    EXPECT_TRUE(WIFEXITED(status));
}

}  // namespace
