#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/error_record.hpp"
#include "input/ascii_grid.hpp"
#include "support/temp_dir.hpp"

using namespace kesta;

namespace {

// A 2 x 3 mask: row 1 has cells 1 and 2 (columns 1 and 3), row 2 cell 3
// (column 2).
mat2<int> small_mask() {
    mat2<int> m(3, 4);
    m[1][1] = 1;
    m[1][3] = 2;
    m[2][2] = 3;
    return m;
}

const char* kHeader23 = "north: 200.0\nsouth: 100.0\neast: 400.0\nwest: 250.0\nrows: 2\ncols: 3\n";

struct grid_read {
    bool ok = false;
    std::string out;  // console output
    grid_header header;
};

class AsciiGrid : public ::testing::Test {
protected:
    void SetUp() override { g_error_record = error_record(); }
    void TearDown() override { g_error_record = error_record(); }

    grid_read read_map(const std::string& text, int mode, mat2<int>& grid, int rows = 2, int cols = 3) {
        const std::string path = dir_.write("map.asc", text);
        std::FILE* fp = std::fopen(path.c_str(), "r");
        grid_read r;
        testing::internal::CaptureStdout();
        r.ok = read_ascii_map(fp, "map.asc", mode, r.header, grid, a, b, cells, rows, cols);
        r.out = testing::internal::GetCapturedStdout();
        std::fclose(fp);
        return r;
    }

    grid_read read_index(const std::string& text, const mat2<int>& mask, mat2<int>& ids, int max_id,
                         std::FILE* summary = nullptr, int rows = 2, int cols = 3) {
        const std::string path = dir_.write("ids.asc", text);
        std::FILE* fp = std::fopen(path.c_str(), "r");
        grid_read r;
        testing::internal::CaptureStdout();
        r.ok = read_index_map(fp, "ids.asc", r.header, mask, ids, max_id, rows, cols, summary);
        r.out = testing::internal::GetCapturedStdout();
        std::fclose(fp);
        return r;
    }

    kesta_test::temp_dir dir_;
    vec1<double> a{3};
    vec1<double> b{3};
    vec1<int> cells{3};
};

}  // namespace

TEST_F(AsciiGrid, HeaderLabelsAreReadButNeverCompared) {
    mat2<int> mask = small_mask();
    const grid_read words = read_map(std::string(kHeader23) + "1.5 9 2.5\n7 3.25 8\n", kMapRealA, mask);
    ASSERT_TRUE(words.ok) << words.out;
    EXPECT_DOUBLE_EQ(words.header.north, 200.0);
    EXPECT_DOUBLE_EQ(words.header.south, 100.0);
    EXPECT_DOUBLE_EQ(words.header.east, 400.0);
    EXPECT_DOUBLE_EQ(words.header.west, 250.0);
    EXPECT_EQ(words.header.rows, 2);
    EXPECT_EQ(words.header.cols, 3);
    EXPECT_DOUBLE_EQ(a[1], 1.5);
    EXPECT_DOUBLE_EQ(a[2], 2.5);
    EXPECT_DOUBLE_EQ(a[3], 3.25);

    // Single letters, a label glued to its value, trailing blanks and a blank
    // line before the first row: the same grid, into vector B.
    const grid_read letters =
        read_map("n 200.0\ns 100.0\ne 400.0\nwest:250\nr 2\nc 3   \n\n4,9,5\n7\t6 8\n", kMapRealB, mask);
    ASSERT_TRUE(letters.ok) << letters.out;
    EXPECT_DOUBLE_EQ(letters.header.west, 250.0);
    EXPECT_DOUBLE_EQ(b[1], 4.0);
    EXPECT_DOUBLE_EQ(b[2], 5.0);
    EXPECT_DOUBLE_EQ(b[3], 6.0);
    EXPECT_EQ(letters.out, "");
}

TEST_F(AsciiGrid, LabelLongerThanItsFieldBreaksTheHeader) {
    mat2<int> mask = small_mask();
    const grid_read r = read_map("northing 200.0\nsouth 100\neast 4\nwest 2\nrows 2\ncols 3\n1 1 1\n1 1 1\n",
                                 kMapRealA, mask);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.out.find("map.asc"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"ng\""), std::string::npos) << r.out;
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(AsciiGrid, LastRowWithoutLineEndReadsAndAMissingRowIsEndOfFile) {
    mat2<int> mask = small_mask();
    const grid_read whole = read_map(std::string(kHeader23) + "1 2 3\n4 5 6", kMapRealA, mask);
    ASSERT_TRUE(whole.ok);
    EXPECT_DOUBLE_EQ(a[3], 5.0);

    const grid_read early = read_map(std::string(kHeader23) + "1 2 3\n", kMapRealA, mask);
    EXPECT_FALSE(early.ok);
    EXPECT_EQ(early.out, "Unexpected end of file in file: map.asc\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(g_error_record.code, 0);  // reported at once
}

TEST_F(AsciiGrid, ZeroWarningsCountMaskCellsAndNoticeAllZeroGrids) {
    mat2<int> mask = small_mask();
    // Cell 2 holds 0.0 and is stored; the non-zero values lie outside the mask.
    const grid_read outside = read_map(std::string(kHeader23) + "0 7 0.0\n5 0 9\n", kMapRealA, mask);
    ASSERT_TRUE(outside.ok);
    EXPECT_EQ(outside.out, "Warning: Map contains 3 cells with zero values. Map: map.asc\n");

    a.fill(-1.0);
    const grid_read zeros = read_map(std::string(kHeader23) + "0 0 0\n0 0 0\n", kMapRealA, mask);
    ASSERT_TRUE(zeros.ok);
    EXPECT_EQ(zeros.out,
              "Warning: Map contains only zero values. Map: map.asc\n"
              "Warning: Map contains 3 cells with zero values. Map: map.asc\n");
    EXPECT_DOUBLE_EQ(a[2], 0.0);

    // Integer maps count no zero cells.
    mat2<int> grid(3, 4);
    const grid_read ints = read_map(std::string(kHeader23) + "0 0 0 0 0 0\n", kMapIntGrid, grid);
    ASSERT_TRUE(ints.ok);
    EXPECT_EQ(ints.out, "Warning: Map contains only zero values. Map: map.asc\n");
}

TEST_F(AsciiGrid, WrongSizeStoresNothing) {
    mat2<int> mask(101, 101);
    mask.fill(1);
    vec1<double> big(100 * 100);
    big.fill(-7.0);
    std::string text = "north 1\nsouth 0\neast 1\nwest 0\nrows 100\ncols 101\n";
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < 101; ++c) text += "3 ";
        text += "\n";
    }
    a = std::move(big);
    const grid_read cols = read_map(text, kMapRealA, mask, 100, 100);
    EXPECT_FALSE(cols.ok);
    EXPECT_EQ(cols.out, "Incorrect number of columns in map: map.asc\n\n");
    EXPECT_DOUBLE_EQ(a[1], -7.0);

    mat2<int> small = small_mask();
    EXPECT_EQ(read_map(std::string(kHeader23) + "1 2 3\n4 5 6\n", kMapRealA, small, 3, 3).out,
              "Incorrect number of rows in map: map.asc\n\n");
    EXPECT_EQ(read_map(std::string(kHeader23) + "1 2 3\n4 5 6\n", kMapRealA, small, 3, 4).out,
              "Incorrect number of rows and columns in map: map.asc\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(AsciiGrid, UnreadableValuesNameTheirCell) {
    mat2<int> mask = small_mask();
    grid_read r = read_map(std::string(kHeader23) + "1 2 3\n4 five 6\n", kMapRealA, mask);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "Error: unreadable value \"five\" in map map.asc at row 2, column 2\n\n");

    // A short row is refused, not padded with zeros.
    r = read_map(std::string(kHeader23) + "1 2\n4 5 6\n", kMapRealA, mask);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.out.find("row 1 ends after 2 values; column 3 is missing"), std::string::npos) << r.out;

    // A real in an integer map.
    mat2<int> grid(3, 4);
    r = read_map(std::string(kHeader23) + "1 2 3\n4 1.0 6\n", kMapIntGrid, grid);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "Error: unreadable value \"1.0\" in map map.asc at row 2, column 2\n\n");
    EXPECT_EQ(grid[2][1], 4);
    EXPECT_EQ(grid[2][2], 0);  // nothing stored at or after the bad cell

    // A category map's word, and one value short at the end.
    r = read_map(std::string(kHeader23) + "1 2 3\n4 5 x\n", kMapCategory, mask);
    EXPECT_NE(r.out.find("\"x\" in map map.asc at row 2, column 3"), std::string::npos) << r.out;
    r = read_map(std::string(kHeader23) + "1 2 3\n4 5\n", kMapCategory, mask);
    EXPECT_EQ(r.out, "Unexpected end of file in file: map.asc\n\n");
}

TEST_F(AsciiGrid, IntegerGridIsFreeFormatAndFillsEveryCell) {
    mat2<int> grid(3, 4);
    const grid_read r = read_map(std::string(kHeader23) + "1 2\n3\n\n 4 -5\t+6", kMapIntGrid, grid);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(grid[1][1], 1);
    EXPECT_EQ(grid[1][3], 3);
    EXPECT_EQ(grid[2][2], -5);
    EXPECT_EQ(grid[2][3], 6);
    EXPECT_EQ(r.out, "");
}

TEST_F(AsciiGrid, CategoryMapCountsMaskCellsInIdOrder) {
    mat2<int> mask = small_mask();
    // Mask cells hold 7, 3, 7; the 9 and 20000 lie outside the mask.
    const grid_read r = read_map(std::string(kHeader23) + "7 9 3\n20000 7 9\n", kMapCategory, mask);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(cells[1], 7);
    EXPECT_EQ(cells[2], 3);
    EXPECT_EQ(cells[3], 7);
    EXPECT_EQ(r.out,
              "In map map.asc category 3 has 1 values\n"
              "In map map.asc category 7 has 2 values\n");

    // Counts belong to one read: a second read starts from zero.
    const grid_read again = read_map(std::string(kHeader23) + "3 0 3\n0 0 0\n", kMapCategory, mask);
    EXPECT_EQ(again.out, "In map map.asc category 3 has 2 values\n");
}

TEST_F(AsciiGrid, CategoryOutsideItsRangeInAMaskCellRefusesTheMap) {
    mat2<int> mask = small_mask();
    grid_read r = read_map(std::string(kHeader23) + "1 0 2\n0 10001 0\n", kMapCategory, mask);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "Error: category 10001 outside 0 to 10000 in map map.asc at row 2, column 2\n\n");
    r = read_map(std::string(kHeader23) + "-1 0 2\n0 1 0\n", kMapCategory, mask);
    EXPECT_NE(r.out.find("category -1 outside 0 to 10000 in map map.asc at row 1, column 1"),
              std::string::npos);
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(AsciiGrid, RowsWiderThanAnyBufferAreReadWhole) {
    const int cols = 3000;
    mat2<int> mask(2, cols + 1);
    for (int c = 1; c <= cols; ++c) mask[1][c] = 1;
    vec1<double> wide(cols);
    a = std::move(wide);
    std::string text = "north 1\nsouth 0\neast 1\nwest 0\nrows 1\ncols " + std::to_string(cols) + "\n";
    for (int c = 1; c <= cols; ++c) text += std::to_string(c) + ".123456789 ";
    ASSERT_GT(text.size(), 30000u);
    const grid_read r = read_map(text, kMapRealA, mask, 1, cols);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_DOUBLE_EQ(a[cols], cols + 0.123456789);
}

TEST_F(AsciiGrid, IndexMapStoresMaskCellsAndCountsToConsoleAndSummary) {
    kesta_test::temp_dir d;
    const std::string summary_path = d.file("summary.txt");
    std::FILE* summary = std::fopen(summary_path.c_str(), "w");
    mat2<int> mask = small_mask();
    mat2<int> ids(2, 3);
    // The 99 lies outside the mask: read and dropped.
    const grid_read r = read_index(std::string(kHeader23) + "2 99 0\n5 2 5\n", mask, ids, 5, summary);
    std::fclose(summary);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(ids[1][1], 2);
    EXPECT_EQ(ids[1][2], 0);
    EXPECT_EQ(ids[1][3], 0);
    EXPECT_EQ(ids[2][2], 2);
    const std::string lines = "In map ids.asc category 2 has 2 values\n";
    EXPECT_EQ(r.out, lines);
    EXPECT_EQ(kesta_test::read_file(summary_path), lines);
}

TEST_F(AsciiGrid, IndexMapRefusesIdsOutsideTheTable) {
    mat2<int> mask = small_mask();
    mat2<int> ids(2, 3);
    grid_read r = read_index(std::string(kHeader23) + "1 0 11\n0 12 0\n", mask, ids, 11);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "\nIndex ID exceeds table limit, file: ids.asc [row 2:col 2]\n");
    EXPECT_EQ(g_error_record.value1, 2);
    EXPECT_EQ(g_error_record.value2, 2);

    r = read_index(std::string(kHeader23) + "1 0 -3\n0 1 0\n", mask, ids, 11);
    EXPECT_EQ(r.out, "\nIndex ID exceeds table limit, file: ids.asc [row 1:col 3]\n");

    r = read_index(std::string(kHeader23) + "1 0 abc\n0 1 0\n", mask, ids, 11);
    EXPECT_EQ(r.out, "Error: unreadable value \"abc\" in map ids.asc at row 1, column 3\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(AsciiGrid, IndexMapSizeAndEndOfFileUseTheirCodes) {
    mat2<int> mask = small_mask();
    mat2<int> ids(3, 3);
    ids[1][1] = 42;
    EXPECT_EQ(read_index(std::string(kHeader23) + "1 2 3\n4 5 6\n", mask, ids, 9, nullptr, 2, 4).out,
              "\nIncorrect number of columns in map: ids.asc\n");
    EXPECT_EQ(read_index(std::string(kHeader23) + "1 2 3\n4 5 6\n", mask, ids, 9, nullptr, 3, 3).out,
              "\nIncorrect number of rows in map: ids.asc\n");
    EXPECT_EQ(read_index(std::string(kHeader23) + "1 2 3\n4 5 6\n", mask, ids, 9, nullptr, 3, 4).out,
              "\nIncorrect number of rows and columns in map: ids.asc\n");
    EXPECT_EQ(ids[1][1], 42);
    EXPECT_EQ(read_index(std::string(kHeader23) + "1 2 3\n4 5\n", mask, ids, 9).out,
              "\nUnexpected end of file in file: ids.asc\n");
    EXPECT_EQ(g_error_record.file_name, "ids.asc");
}

TEST_F(AsciiGrid, GridsTooSmallForTheMapAreRefused) {
    mat2<int> tiny(1, 1);
    grid_read r = read_map(std::string(kHeader23) + "1 2 3\n4 5 6\n", kMapIntGrid, tiny);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.out.find("holds 1 rows and 1 columns"), std::string::npos) << r.out;

    mat2<int> mask = small_mask();
    vec1<double> short_vector(2);
    a = std::move(short_vector);
    r = read_map(std::string(kHeader23) + "1 2 3\n4 5 6\n", kMapRealA, mask);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.out.find("covers 3 watershed cells but its cell vector holds 2"), std::string::npos);
}
