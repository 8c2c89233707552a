// Where numbered mode puts a file whose name holds folders or is absolute,
// folders refused as files, and closing a written file with its errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/file_opener.hpp"
#include "support/temp_dir.hpp"

using namespace kesta;
namespace fs = std::filesystem;

namespace {
class FileOpenerPaths : public ::testing::Test {
protected:
    void SetUp() override { reset_file_opener_settings(); }
    void TearDown() override { reset_file_opener_settings(); }
    kesta_test::temp_dir dir;
};
}  // namespace

TEST_F(FileOpenerPaths, TheRunNumberGoesBeforeTheFilesOwnNameAndAbsolutePathsKeepTheirFolder) {
    set_output_prefixing(1);
    set_run_number(7);
    EXPECT_EQ(output_path("out/hyd.out", "w", 1), "out/0007_hyd.out");
    EXPECT_EQ(output_path("a/b/hyd.out", "w", 0), "a/b/hyd.out");
    EXPECT_EQ(output_path("/tmp/x/hyd.out", "w", 1), "/tmp/x/0007_hyd.out");
    set_output_subdir("runs");
    EXPECT_EQ(output_path("out/hyd.out", "w", 1), "runs/out/0007_hyd.out");
    EXPECT_EQ(output_path("/tmp/x/hyd.out", "w", 1), "/tmp/x/0007_hyd.out");
    EXPECT_EQ(output_path("/tmp/x/hyd.out", "w", 0), "/tmp/x/hyd.out");
    EXPECT_EQ(output_path("out/hyd.out", "r", 1), "out/hyd.out");
}

TEST_F(FileOpenerPaths, AFolderIsNoFileInAnyMode) {
    std::string name = dir.path().string();
    EXPECT_FALSE(open_file(name, "r", 0));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(open_file(name, "w", 0));
    EXPECT_FALSE(open_file(name, "a", 0));
    std::string file = dir.write("f.txt", "x\n");
    EXPECT_TRUE(open_file(file, "r", 0));
}

TEST_F(FileOpenerPaths, ClosingAWrittenFileReportsAWriteThatFailed) {
    file_ptr none;
    EXPECT_EQ(close_file_checked(none), 0);
    std::string good = dir.file("ok.txt");
    file_ptr fp = open_file(good, "w", 0);
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
