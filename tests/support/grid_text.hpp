// Input texts for tests: ASCII grid files (the six-line header of a grid of
// square cells whose south-west corner is at (0, 0), then the values as
// given) and rows of the mapping tables.
#pragma once

#include <cstdio>
#include <string>

namespace kesta_test {

inline std::string grid_text(int rows, int cols, double cell_size, const std::string& values) {
    char head[256];
    std::snprintf(head, sizeof head, "north: %g\nsouth: 0\neast: %g\nwest: 0\nrows: %d\ncols: %d\n",
                  rows * cell_size, cols * cell_size, rows, cols);
    return head + values;
}

// The five-cell cross of the whole-run tests on cells of cell_size m: the
// middle row and column of a 3 x 3 grid, the ground falling to the south
// cell, the outlet.
inline std::string cross_mask(double cell_size) { return grid_text(3, 3, cell_size, "0 1 0\n1 1 1\n0 1 0\n"); }
inline std::string cross_elevation(double cell_size) {
    return grid_text(3, 3, cell_size, "10 9 10\n9 8 9\n10 7 10\n");
}

// The grid of rows x cols cells of cell_size m whose cell in row r and
// column c (from 1, rows from the north) holds value(r, c), each value
// written with the printf format `format`, a row to a line.
template <class F>
std::string grid_of(int rows, int cols, double cell_size, F value, const char* format) {
    std::string values;
    char cell[64];
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            std::snprintf(cell, sizeof cell, format, value(r, c));
            values += cell;
        }
        values += "\n";
    }
    return grid_text(rows, cols, cell_size, values);
}

// A mapping-table row: the id in six columns, an 80-character description
// field, then the values.
inline std::string table_row(int id, const std::string& values) {
    char idf[16];
    std::snprintf(idf, sizeof idf, "%6d", id);
    return std::string(idf) + std::string(80, ' ') + values + "\n";
}

// The channel of the 5 x 3 valley tests: one trapezoidal link of six 30 m
// nodes falling 1 m a node from 102.5 m, down the middle column, each of
// the five stream cells of rows 1 to 5 joined to its node. Returns the
// channel file's text; `gst` gets the grid-stream file's.
inline std::string middle_column_channel(std::string& gst) {
    std::string chan = "KESTA_CHAN\nALPHA 1\nBETA 1\nTHETA 1\nLINKS 1\nMAXNODES 6\nCONNECT 1 0 0\n"
                       "LINK 1\nNODES 6\nTRAPEZOID\nMANNINGS_N 0.035\nDX 30\n";
    char line[96];
    for (int j = 1; j <= 6; ++j) {
        std::snprintf(line, sizeof line, "NODE %d\nELEV %.2f\n", j, 103.5 - j);
        chan += line;
        if (j == 1) chan += "XSEC\nBOTTOM_WIDTH 2\nSIDE_SLOPE 1\nBANKFULL_DEPTH 1\n";
    }
    gst = "GRIDSTREAMFILE\nSTREAMCELLS 5\n";
    for (int r = 1; r <= 5; ++r) {
        std::snprintf(line, sizeof line, "CELLIJ %d 2\nNUMNODES 1\nLINKNODE 1 %d 1.0\n", r, r);
        gst += line;
    }
    return chan;
}

}  // namespace kesta_test
