// The ASCII grid readers: header words, row layout, the refusals with their
// messages, the category and zero-value counts, and index maps.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

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

const std::string kHeader23 = "north: 200.0\nsouth: 100.0\neast: 400.0\nwest: 250.0\nrows: 2\ncols: 3\n";

struct grid_read {
    bool ok = false;
    std::string out;  // console output
    grid_header header;
};

class AsciiGrid : public ::testing::Test {
protected:
    void SetUp() override { g_error_record = error_record(); }
    void TearDown() override { g_error_record = error_record(); }

    // Reads `text` as "map.asc" in `mode`; `grid` is the mask or, in the
    // integer-grid mode, the destination.
    grid_read read_map(const std::string& text, int mode, mat2<int>& grid, int rows = 2, int cols = 3) {
        return read("map.asc", text, [&](std::FILE* fp, grid_header& h) {
            return read_ascii_map(fp, "map.asc", mode, h, grid, a, b, cells, rows, cols);
        });
    }
    // The 2 x 3 header, then `values`, over the small mask.
    grid_read read_values(const std::string& values, int mode) { return read_map(kHeader23 + values, mode, mask); }

    grid_read read_index(const std::string& text, mat2<int>& ids, int max_id, std::FILE* summary = nullptr,
                         int rows = 2, int cols = 3) {
        return read("ids.asc", text, [&](std::FILE* fp, grid_header& h) {
            return read_index_map(fp, "ids.asc", h, mask, ids, max_id, rows, cols, summary);
        });
    }

    template <class F>
    grid_read read(const std::string& name, const std::string& text, F reader) {
        std::FILE* fp = std::fopen(dir_.write(name, text).c_str(), "r");
        grid_read r;
        testing::internal::CaptureStdout();
        r.ok = reader(fp, r.header);
        r.out = testing::internal::GetCapturedStdout();
        std::fclose(fp);
        return r;
    }

    kesta_test::temp_dir dir_;
    mat2<int> mask = small_mask();
    vec1<double> a{3};
    vec1<double> b{3};
    vec1<int> cells{3};
};

std::string text_of_lines(const std::string& header, const std::vector<std::string>& lines) {
    std::string t = header;
    for (const auto& l : lines) t += l + "\n";
    return t;
}

}  // namespace

TEST_F(AsciiGrid, HeaderWordsAreNeverComparedAndTheLastRowNeedsNoLineEnd) {
    const grid_read words = read_values("1.5 9 2.5\n7 3.25 8\n", kMapRealA);
    ASSERT_TRUE(words.ok) << words.out;
    const grid_header& h = words.header;
    EXPECT_EQ(std::make_tuple(h.north, h.south, h.east, h.west, h.rows, h.cols),
              std::make_tuple(200.0, 100.0, 400.0, 250.0, 2, 3));
    EXPECT_EQ(std::make_tuple(a[1], a[2], a[3]), std::make_tuple(1.5, 2.5, 3.25));

    // Single letters, a label glued to its value, trailing blanks and a blank
    // line before the first row: the same grid, into vector B.
    const grid_read letters =
        read_map("n 200.0\ns 100.0\ne 400.0\nwest:250\nr 2\nc 3   \n\n4,9,5\n7\t6 8\n", kMapRealB, mask);
    ASSERT_TRUE(letters.ok) << letters.out;
    EXPECT_DOUBLE_EQ(letters.header.west, 250.0);
    EXPECT_EQ(std::make_tuple(b[1], b[2], b[3]), std::make_tuple(4.0, 5.0, 6.0));
    EXPECT_EQ(letters.out, "");

    // The last row may lack its line end.
    ASSERT_TRUE(read_values("1 2 3\n4 5 6", kMapRealA).ok);
    EXPECT_DOUBLE_EQ(a[3], 5.0);
}

// Every refusal is reported at once with its own message. Mode 0 stands for the index-map reader (IDs up to 11).
TEST_F(AsciiGrid, RefusalsNameTheMapAndWhereItWentWrong) {
    struct refusal {
        std::string text;
        int mode;
        int rows, cols;
        std::string says;
    };
    const std::string h = kHeader23;
    const refusal cases[] = {
        // A label longer than its field leaves its tail to be read as the value.
        {"northing 200.0\nsouth 100\neast 4\nwest 2\nrows 2\ncols 3\n1 1 1\n1 1 1\n", kMapRealA, 2, 3,
         "Error: unreadable header of map map.asc: north value \"ng\" (label \"northi\") on line 1\n\n"},
        {h + "1 2 3\n", kMapRealA, 2, 3,
         "Unexpected end of file in file: map.asc\n"
         "The file ends before the value of row 2, column 1 of the map's 2 rows and 3 columns.\n\n"},
        {"north 1\nsouth 0\neast 1\n", kMapRealA, 2, 3,
         "Unexpected end of file in file: map.asc\nThe file ends inside the map's header, before its west value.\n\n"},
        {h + "1 2 3\n4 5 6\n", kMapRealA, 2, 2,
         "Incorrect number of columns in map: map.asc\n"
         "Expected 2 columns (COLS of the project file); the map's header gives 3.\n\n"},
        {h + "1 2 3\n4 5 6\n", kMapRealA, 3, 3,
         "Incorrect number of rows in map: map.asc\nExpected 3 rows (ROWS of the project file); the map's header "
         "gives 2.\n\n"},
        {h + "1 2 3\n4 5 6\n", kMapRealA, 3, 4,
         "Incorrect number of rows and columns in map: map.asc\nExpected 3 rows and 4 columns (ROWS and COLS of the "
         "project file); the map's header gives 2 rows and 3 columns.\n\n"},
        // A header that encloses no area; a non-finite edge does not read.
        {"north 100\nsouth 200\neast 4\nwest 2\nrows 2\ncols 3\n1 1 1\n1 1 1\n", kMapRealA, 2, 3,
         "Error: the header of map map.asc gives north 100 (line 1) and south 200 (line 2); north must exceed "
         "south.\n\n"},
        {"north 2\nsouth 1\neast 4\nwest 4\nrows 2\ncols 3\n1 1 1\n1 1 1\n", 0, 2, 3,
         "Error: the header of map ids.asc gives east 4 (line 3) and west 4 (line 4); east must exceed west.\n\n"},
        {"north inf\nsouth 1\neast 4\nwest 2\nrows 2\ncols 3\n1 1 1\n1 1 1\n", kMapIntGrid, 2, 3,
         "Error: unreadable header of map map.asc: north value \"inf\" (label \"north\") on line 1\n\n"},
        // Values beyond the last cell: on a row, after the last row, or (free
        // format) anywhere, where the first over-long line is named.
        {h + "1 2 3 9\n4 5 6\n", kMapRealA, 2, 3,
         "Error: map map.asc, row 1 on line 7 holds more than its 3 values: \"9\" follows column 3\n\n"},
        {h + "1 2 3\n4 5 6\n\n7 8 9\n", kMapRealB, 2, 3,
         "Error: map map.asc holds more than its 2 rows: line 10 holds \"7\" after the last row\n\n"},
        {h + "1 2 3 9\n4 5 6\n", kMapIntGrid, 2, 3,
         "Error: map map.asc holds more values than its 2 rows by 3 columns: \"6\" on line 8 lies beyond the "
         "last cell\nLine 7 is the first that holds more than a row's 3 values.\n\n"},
        {h + "1 2 3\n4 5 6\n%% appended\n", kMapCategory, 2, 3,
         "Error: map map.asc holds more values than its 2 rows by 3 columns: \"%%\" on line 9 lies beyond the "
         "last cell\n\n"},
        {h + "1 0 2\n0 1 0 0\n", 0, 2, 3,
         "Error: map ids.asc holds more values than its 2 rows by 3 columns: \"0\" on line 8 lies beyond the "
         "last cell\nLine 8 is the first that holds more than a row's 3 values.\n\n"},
        {h + "1 2 3\n4 five 6\n", kMapRealA, 2, 3,
         "Error: unreadable value \"five\" in map map.asc at row 2, column 2\n\n"},
        // A decimal comma reads as a separator: the value is named as written.
        {h + "1 259,001 3\n4 5 6\n", kMapRealA, 2, 3,
         "Error: map map.asc, row 1 on line 7 holds the value \"259,001\", with a comma (a comma separates values): "
         "write a decimal with a point (259.001).\n\n"},
        {h + "1 2 3\n4 5,5 6\n", kMapIntGrid, 2, 3,
         "Error: map map.asc, row 2, column 2 holds the value \"5,5\", with a comma (a comma separates values): write "
         "a decimal with a point (5.5).\n\n"},
        // The grids the program writes are no input grids.
        {"ncols 3\nnrows 2\nxllcorner 250\nyllcorner 100\ncellsize 50\nNODATA_value -9999\n1 2 3\n4 5 6\n", 0, 2, 3,
         "Error: map ids.asc has an ESRI ASCII grid header (\"ncols\" on line 1). An input grid needs the header\n"
         "  north: <north edge>\n  south: <south edge>\n  east: <east edge>\n  west: <west edge>\n"
         "  rows: <rows>\n  cols: <columns>\nthen one line of values per grid row, from north to south (see "
         "docs/inputs.md).\n\n"},
        // A short row is refused, not padded with zeros.
        {h + "1 2\n4 5 6\n", kMapRealA, 2, 3, "Error: map map.asc, row 1 ends after 2 values; column 3 is missing\n\n"},
        {h + "1 2 3\n4 1.0 6\n", kMapIntGrid, 2, 3,
         "Error: unreadable value \"1.0\" in map map.asc at row 2, column 2\n\n"},
        {h + "1 2 3\n4 5 x\n", kMapCategory, 2, 3,
         "Error: unreadable value \"x\" in map map.asc at row 2, column 3\n\n"},
        {h + "1 2 3\n4 5\n", kMapCategory, 2, 3,
         "Unexpected end of file in file: map.asc\n"
         "The file ends before the value of row 2, column 3 of the map's 2 rows and 3 columns.\n\n"},
        {h + "1 0 2\n0 10001 0\n", kMapCategory, 2, 3,
         "Error: category 10001 outside 0 to 10000 in map map.asc at row 2, column 2\n\n"},
        {h + "-1 0 2\n0 1 0\n", kMapCategory, 2, 3,
         "Error: category -1 outside 0 to 10000 in map map.asc at row 1, column 1\n\n"},
        {h + "1 0 11\n0 12 0\n", 0, 2, 3, "\nIndex ID exceeds table limit, file: ids.asc [row 2:col 2]\n"},
        {h + "1 0 -3\n0 1 0\n", 0, 2, 3, "\nIndex ID exceeds table limit, file: ids.asc [row 1:col 3]\n"},
        {h + "1 0 abc\n0 1 0\n", 0, 2, 3, "Error: unreadable value \"abc\" in map ids.asc at row 1, column 3\n\n"},
        {h + "1 2 3\n4 5 6\n", 0, 2, 4,
         "\nIncorrect number of columns in map: ids.asc\n"
         "  Expected 4 columns (COLS of the project file); the map's header gives 3.\n"},
        {h + "1 2 3\n4 5 6\n", 0, 3, 3,
         "\nIncorrect number of rows in map: ids.asc\n  Expected 3 rows (ROWS of the project file); the map's header "
         "gives 2.\n"},
        {h + "1 2 3\n4 5 6\n", 0, 3, 4,
         "\nIncorrect number of rows and columns in map: ids.asc\n  Expected 3 rows and 4 columns (ROWS and COLS of "
         "the project file); the map's header gives 2 rows and 3 columns.\n"},
        {h + "1 2 3\n4 5\n", 0, 2, 3,
         "\nUnexpected end of file in file: ids.asc\n"
         "  The file ends before the value of row 2, column 3 of the map's 2 rows and 3 columns.\n"},
    };
    for (const refusal& c : cases) {
        SCOPED_TRACE(c.says);
        g_error_record = error_record();
        a.fill(-7.0);
        mat2<int> grid(3, 4);
        grid[1][1] = 42;
        const grid_read r = c.mode == 0 ? read_index(c.text, grid, 11, nullptr, c.rows, c.cols)
                            : c.mode == kMapIntGrid ? read_map(c.text, c.mode, grid, c.rows, c.cols)
                                                    : read_map(c.text, c.mode, mask, c.rows, c.cols);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out, c.says);
        EXPECT_EQ(g_error_record.stop, 1);
        EXPECT_EQ(g_error_record.code, 0);  // reported at once
        // A size mismatch stores nothing; an integer map keeps what came
        // before a bad cell, nothing at or after it.
        if (c.rows != 2 || c.cols != 3) {
            EXPECT_EQ(std::make_tuple(a[1], grid[1][1]), std::make_tuple(-7.0, 42));
        } else if (c.mode == kMapIntGrid && c.says.find("unreadable value") != std::string::npos) {
            EXPECT_EQ(std::make_tuple(grid[2][1], grid[2][2]), std::make_tuple(4, 0));
        } else if (c.mode == 0 && c.says[0] == '\n') {
            EXPECT_EQ(g_error_record.file_name, "ids.asc");  // a catalogue code names its file
        }
    }
    // The first index refusal keeps the row and column of the cell.
    mat2<int> ids(3, 4);
    read_index(h + "1 0 11\n0 12 0\n", ids, 11);
    EXPECT_EQ(std::make_tuple(g_error_record.value1, g_error_record.value2), std::make_tuple(2, 2));
}

TEST_F(AsciiGrid, GridsTooSmallForTheMapAreRefused) {
    mat2<int> tiny(1, 1);
    grid_read r = read_map(kHeader23 + "1 2 3\n4 5 6\n", kMapIntGrid, tiny);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.out.find("holds 1 rows and 1 columns"), std::string::npos) << r.out;

    a = vec1<double>(2);
    r = read_values("1 2 3\n4 5 6\n", kMapRealA);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.out.find("covers 3 watershed cells but its cell vector holds 2"), std::string::npos) << r.out;
}

TEST_F(AsciiGrid, ZeroWarningsCountMaskCellsAndNoticeAllZeroGrids) {
    // Cell 2 holds 0.0 and is stored; the non-zero values lie outside the mask.
    const grid_read outside = read_values("0 7 0.0\n5 0 9\n", kMapRealA);
    ASSERT_TRUE(outside.ok);
    EXPECT_EQ(outside.out, "Warning: Map contains 3 cells with zero values. Map: map.asc\n");

    a.fill(-1.0);
    const grid_read zeros = read_values("0 0 0\n0 0 0\n", kMapRealA);
    ASSERT_TRUE(zeros.ok);
    EXPECT_EQ(zeros.out,
              "Warning: Map contains only zero values. Map: map.asc\n"
              "Warning: Map contains 3 cells with zero values. Map: map.asc\n");
    EXPECT_DOUBLE_EQ(a[2], 0.0);

    // Integer maps count no zero cells.
    mat2<int> grid(3, 4);
    const grid_read ints = read_map(kHeader23 + "0 0 0 0 0 0\n", kMapIntGrid, grid);
    ASSERT_TRUE(ints.ok);
    EXPECT_EQ(ints.out, "Warning: Map contains only zero values. Map: map.asc\n");
}

TEST_F(AsciiGrid, IntegerGridIsFreeFormatAndFillsEveryCell) {
    mat2<int> grid(3, 4);
    const grid_read r = read_map(kHeader23 + "1 2\n3\n\n 4 -5\t+6", kMapIntGrid, grid);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(std::make_tuple(grid[1][1], grid[1][3], grid[2][2], grid[2][3]), std::make_tuple(1, 3, -5, 6));
    EXPECT_EQ(r.out, "");
}

TEST_F(AsciiGrid, CategoryMapCountsMaskCellsInIdOrder) {
    // Mask cells hold 7, 3, 7; the 9 and 20000 lie outside the mask.
    const grid_read r = read_values("7 9 3\n20000 7 9\n", kMapCategory);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(std::make_tuple(cells[1], cells[2], cells[3]), std::make_tuple(7, 3, 7));
    EXPECT_EQ(r.out,
              "In map map.asc category 3 has 1 values\n"
              "In map map.asc category 7 has 2 values\n");

    // Counts belong to one read: a second read starts from zero.
    EXPECT_EQ(read_values("3 0 3\n0 0 0\n", kMapCategory).out, "In map map.asc category 3 has 2 values\n");
}

TEST_F(AsciiGrid, RowsWiderThanAnyBufferAreReadWhole) {
    const int cols = 3000;
    mat2<int> wide_mask(2, cols + 1);
    for (int c = 1; c <= cols; ++c) wide_mask[1][c] = 1;
    a = vec1<double>(cols);
    std::string text = "north 1\nsouth 0\neast 1\nwest 0\nrows 1\ncols " + std::to_string(cols) + "\n";
    for (int c = 1; c <= cols; ++c) text += std::to_string(c) + ".123456789 ";
    ASSERT_GT(text.size(), 30000u);
    const grid_read r = read_map(text, kMapRealA, wide_mask, 1, cols);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_DOUBLE_EQ(a[cols], cols + 0.123456789);
}

TEST_F(AsciiGrid, IndexMapStoresMaskCellsAndCountsToConsoleAndSummary) {
    const std::string summary_path = dir_.file("summary.txt");
    std::FILE* summary = std::fopen(summary_path.c_str(), "w");
    mat2<int> ids(2, 3);
    // The 99 lies outside the mask: read and dropped.
    const grid_read r = read_index(kHeader23 + "2 99 0\n5 2 5\n", ids, 5, summary);
    std::fclose(summary);
    ASSERT_TRUE(r.ok) << r.out;
    EXPECT_EQ(std::make_tuple(ids[1][1], ids[1][2], ids[1][3], ids[2][2]), std::make_tuple(2, 0, 0, 2));
    const std::string lines = "In map ids.asc category 2 has 2 values\n";
    EXPECT_EQ(r.out, lines);
    EXPECT_EQ(kesta_test::read_file(summary_path), lines);
}

// Rows are converted in blocks over threads: every value as strtod reads it
// into its mask cell, and of several faults the first in the file refused.
TEST_F(AsciiGrid, LargeMapsReadEveryValueAndRefuseTheirFirstFault) {
    const int rows = 600, cols = 70;
    mat2<int> big_mask(rows + 1, cols + 1);
    const char* forms[] = {"1.5", "+2", "0x10", "-1e2", "7.", ".25", "0", "3.000000000000000444"};
    std::string header = "north 1\nsouth 0\neast 1\nwest 0\nrows " + std::to_string(rows) + "\ncols " +
                         std::to_string(cols) + "\n";
    std::vector<std::string> lines;
    std::vector<double> expected;
    for (int r = 1; r <= rows; ++r) {
        std::string line;
        for (int c = 1; c <= cols; ++c) {
            const std::string v = std::string(forms[(r * 7 + c) % 8]) + (c % 5 == 0 ? "" : std::to_string(c % 10));
            line += v + (c % 3 == 0 ? ",\t" : " ");
            big_mask[r][c] = (r + c) % 4 != 0;
            if (big_mask[r][c]) expected.push_back(std::strtod(v.c_str(), nullptr));
        }
        lines.push_back(line);
    }
    auto refused_with = [&](const std::vector<std::string>& ls, const std::string& part) {
        const grid_read r = read_map(text_of_lines(header, ls), kMapRealA, big_mask, rows, cols);
        return !r.ok && r.out.find(part) != std::string::npos;
    };
    a = vec1<double>(static_cast<int>(expected.size()));
    ASSERT_TRUE(read_map(text_of_lines(header, lines), kMapRealA, big_mask, rows, cols).ok);
    for (std::size_t k = 0; k < expected.size(); ++k) ASSERT_EQ(a[static_cast<int>(k) + 1], expected[k]) << k;

    std::vector<std::string> faulty = lines;
    faulty[399] += " 9";           // row 400: a value too many
    faulty[299].replace(0, 3, "1.2.3");  // row 300: unreadable
    EXPECT_TRUE(refused_with(faulty, "unreadable value \"1.2.31\" in map map.asc at row 300, column 1"));
    faulty.resize(500);
    faulty[299] = lines[299];
    EXPECT_TRUE(refused_with(faulty, "row 400 on line 406 holds more than its 70 values"));
    faulty[399] = lines[399];
    EXPECT_TRUE(refused_with(faulty, "ends before the value of row 501, column 1"));
}
