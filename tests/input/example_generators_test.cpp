// The bundled examples are what their generators write: each make_*.py, run
// into an empty folder, writes every file of its example folder (but
// itself), byte for byte, and nothing else.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(KESTA_SOURCE_DIR) / "examples";

// The names of the files directly in `dir`.
std::set<std::string> files_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) names.insert(e.path().filename().string());
    return names;
}

// Runs `command` and returns its exit status (-1 when it did not exit) and,
// through `output`, what it printed.
int run(const std::string& command, std::string& output) {
    output.clear();
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::array<char, 4096> buf{};
    for (std::size_t got; (got = std::fread(buf.data(), 1, buf.size(), p)) > 0;) output.append(buf.data(), got);
    const int raw = pclose(p);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(ExampleGenerators, EachRewritesItsExampleByteForByte) {
    std::string output;
    if (run("python3 --version", output) != 0) GTEST_SKIP() << "python3 is not installed";
    int examples = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(kExamples)) {
        if (!e.is_directory()) continue;
        const fs::path dir = e.path();
        SCOPED_TRACE(dir.filename().string());
        std::set<std::string> committed = files_in(dir);
        std::string generator;
        for (const std::string& name : committed)
            if (name.rfind("make_", 0) == 0 && fs::path(name).extension() == ".py") generator = name;
        ASSERT_FALSE(generator.empty()) << "no make_*.py in " << dir;
        committed.erase(generator);
        ++examples;

        kesta_test::temp_dir out;
        ASSERT_EQ(run("python3 '" + (dir / generator).string() + "' '" + out.path().string() + "'", output), 0)
            << output;
        EXPECT_EQ(files_in(out.path()), committed);
        for (const std::string& name : committed) {
            if (!fs::exists(out.path() / name)) continue;
            EXPECT_TRUE(kesta_test::read_file((dir / name).string()) == kesta_test::read_file(out.file(name)))
                << generator << " writes a " << name << " that differs from the committed one";
        }
    }
    EXPECT_EQ(examples, 6);
}

}  // namespace
