// Opening files by name: quotes stripped, where numbered mode puts a file
// written by a run, folders refused as files, and closing a written file
// with its errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/file_opener.hpp"
#include "support/temp_dir.hpp"

using namespace kesta;
namespace fs = std::filesystem;

namespace {
class FileOpener : public ::testing::Test {
protected:
    void SetUp() override { reset_file_opener_settings(); }
    void TearDown() override { reset_file_opener_settings(); }
    kesta_test::temp_dir dir;
};
}  // namespace

TEST_F(FileOpener, StripsQuotesInTheCallersNameAndAnEmptyNameOpensNothing) {
    const std::string plain = dir.file("q.txt");
    std::string name = "\"" + plain + "\"";
    file_ptr fp = open_file(name, "w", 1);
    ASSERT_TRUE(fp);
    EXPECT_EQ(name, plain);
    close_file(fp);
    EXPECT_FALSE(fp);
    EXPECT_TRUE(fs::exists(plain));

    fs::remove(plain);
    set_output_subdir(dir.path().string());
    set_output_prefixing(1);
    name = "\"\"";
    EXPECT_FALSE(open_file(name, "w", 1));
    EXPECT_EQ(name, "");
    EXPECT_TRUE(fs::is_empty(dir.path()));  // no "0000_" was made in the sub-folder
    set_output_subdir("");                  // never the file-system root
    EXPECT_EQ(output_path("x", "w", 0), "x");
}

// Only writes are redirected; the run number goes before the file's own
// name, and an absolute path keeps its folder.
TEST_F(FileOpener, NumberedModeRedirectsOnlyWritesAndKeepsTheFoldersOfTheName) {
    set_output_subdir("runs");
    set_run_number(7);
    EXPECT_EQ(output_path("hyd.out", "w", 1), "hyd.out");  // not in numbered mode
    set_output_prefixing(1);
    const struct {
        const char *subdir, *name, *mode;
        int numbered;
        const char* path;
    } cases[] = {
        {"runs", "hyd.out", "w", 1, "runs/0007_hyd.out"},
        {"runs", "hyd.out", "wb", 0, "runs/hyd.out"},
        {"runs", "hyd.out", "a", 1, "hyd.out"},
        {"runs", "out/hyd.out", "r", 1, "out/hyd.out"},
        {"runs", "out/hyd.out", "w", 1, "runs/out/0007_hyd.out"},
        {"runs", "/tmp/x/hyd.out", "w", 1, "/tmp/x/0007_hyd.out"},
        {"runs", "/tmp/x/hyd.out", "w", 0, "/tmp/x/hyd.out"},
        {"", "out/hyd.out", "w", 1, "out/0007_hyd.out"},
        {"", "a/b/hyd.out", "w", 0, "a/b/hyd.out"},
        {"", "/tmp/x/hyd.out", "w", 1, "/tmp/x/0007_hyd.out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.subdir) + " " + c.name + " " + c.mode);
        set_output_subdir(c.subdir);
        EXPECT_EQ(output_path(c.name, c.mode, c.numbered), c.path);
    }
}

TEST_F(FileOpener, FoldersAndNamesWithControlCharactersAreRefusedUntried) {
    const std::string folder = dir.path().string(), cut = dir.file("el");
    const struct {
        const char* name;
        std::string path;
        const char* mode;
        int error;
    } cases[] = {
        {"folder to read", folder, "r", EISDIR},
        {"folder to write", folder, "w", EISDIR},
        {"folder to append", folder, "a", EISDIR},
        {"NUL byte", cut + '\0' + "ev.asc", "w", EINVAL},
        {"line break", cut + '\n' + "ev.asc", "w", EINVAL},
        {"DEL", cut + '\x7f' + "ev.asc", "w", EINVAL},
    };
    for (const auto& c : cases) {
        std::string name = c.path;
        errno = 0;
        EXPECT_FALSE(open_file(name, c.mode, 0)) << "case " << c.name;
        EXPECT_EQ(errno, c.error) << "case " << c.name;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    std::string file = dir.write("f.txt", "x\n");
    EXPECT_TRUE(open_file(file, "r", 0));
}

TEST_F(FileOpener, ClosingAWrittenFileReportsAWriteThatFailed) {
    file_ptr fp;
    EXPECT_EQ(close_file_checked(fp), 0);  // nothing open
    std::string good = dir.file("ok.txt");
    fp = open_file(good, "w", 0);
    ASSERT_TRUE(fp);
    std::fputs("data\n", fp.get());
    EXPECT_EQ(close_file_checked(fp), 0);
    EXPECT_FALSE(fp);
    EXPECT_EQ(kesta_test::read_file(good), "data\n");

    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    std::string full = "/dev/full";
    fp = open_file(full, "w", 0);
    ASSERT_TRUE(fp);
    std::fputs("data\n", fp.get());  // buffered: the failure comes at the close
    EXPECT_EQ(close_file_checked(fp), -1);
    EXPECT_FALSE(fp);
}

// A card's file that failed to open is explained once, in a text that names
// it as a word of its own, with the card's line and the reason; a file that
// opened, or that no card names, is not.
TEST_F(FileOpener, AFailedOpenOfACardsFileIsExplainedOnceWhereItIsNamed) {
    forget_card_files();
    note_card_file("\"/nowhere/a.asc\"", "ELEVATION", "p.prj", 3);
    note_card_file(dir.file("b.asc"), "WATERSHED_MASK", "p.prj", 2);
    dir.write("b.asc", "x");
    for (std::string name : {std::string("/nowhere/a.asc"), dir.file("b.asc"), std::string("/nowhere/c.asc")})
        open_file(name, "r", 0);
    EXPECT_EQ(card_file_notes("Cannot open /nowhere/c.asc, " + dir.file("b.asc") + " or /nowhere/a.asc.bak"), "");
    EXPECT_EQ(card_file_notes("Error: Unable to open elevation data file /nowhere/a.asc.\n"),
              "  Card ELEVATION (project file p.prj, line 3) names /nowhere/a.asc, which cannot be opened (" +
                  std::string(std::strerror(ENOENT)) + ").\n");
    EXPECT_EQ(card_file_notes("again: /nowhere/a.asc"), "");
    forget_card_files();
}
