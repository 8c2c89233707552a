#include <gtest/gtest.h>

#include <cstdio>
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

TEST_F(FileOpener, NumberedModeRedirectsOnlyWrites) {
    set_output_subdir("runs");
    set_run_number(7);
    EXPECT_EQ(output_path("hyd.out", "w", 1), "hyd.out");  // not in numbered mode
    set_output_prefixing(1);
    EXPECT_EQ(output_path("hyd.out", "w", 1), "runs/0007_hyd.out");
    EXPECT_EQ(output_path("hyd.out", "wb", 0), "runs/hyd.out");
    EXPECT_EQ(output_path("hyd.out", "a", 1), "hyd.out");
    EXPECT_EQ(output_path("hyd.out", "r", 1), "hyd.out");
}

TEST_F(FileOpener, NumberedFileIsReadBackFromItsPath) {
    fs::create_directory(dir.path() / "runs");
    set_output_subdir(dir.file("runs"));
    set_output_prefixing(1);
    set_run_number(12);
    std::string name = "hyd.out";
    file_ptr out = open_file(name, "w", 1);
    ASSERT_TRUE(out);
    std::fputs("42\n", out.get());
    close_file(out);
    EXPECT_TRUE(fs::exists(dir.path() / "runs" / "0012_hyd.out"));
    std::string back = output_path(name, "w", 1);
    file_ptr in = open_file(back, "r", 1);
    ASSERT_TRUE(in);
    EXPECT_EQ(std::fgetc(in.get()), '4');
}
