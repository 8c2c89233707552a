// Inputs of the whole runs on a slope with drains: a 10 x 5 grid of 30 m
// cells falling south towards a stream in column 3, one channel link with a
// node under each row, and a pipe network of grates, tile drains under the
// top row, an outfall into the channel and one onto a cell.
#pragma once

#include <cmath>
#include <string>

#include "core/text_format.hpp"
#include "support/grid_text.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

constexpr int kRows = 10, kCols = 5;

// A slope falling south at 1 in 150 and towards the stream in column 3.
inline double ground(int r, int c) { return 100.0 + (kRows - r) * 0.2 + std::fabs(c - 3.0) * 0.3; }

// A grid of the slope's cells.
inline std::string grid(double (*value)(int, int), const char* format) {
    return grid_of(kRows, kCols, 30.0, value, format);
}

inline std::string channel_file() {
    std::string t = "KESTA_CHAN\nALPHA 1\nBETA 1\nTHETA 1\nLINKS 1\nMAXNODES 11\nCONNECT 1 0 0\n"
                    "LINK 1\nNODES 11\nTRAPEZOID\nMANNINGS_N 0.035\nDX 30\n";
    for (int j = 1; j <= 11; ++j) {
        t += kesta::format_text("NODE %d\nELEV %.2f\n", j, ground(j, 3) - 1.0);
        if (j == 1) t += "XSEC\nBOTTOM_WIDTH 2\nSIDE_SLOPE 1\nBANKFULL_DEPTH 1\n";
    }
    return t;
}

inline std::string grid_stream_file() {
    std::string t = "GRIDSTREAMFILE\nSTREAMCELLS 10\n";
    for (int r = 1; r <= 10; ++r) t += kesta::format_text("CELLIJ %d 3\nNUMNODES 1\nLINKNODE 1 %d 1.0\n", r, r);
    return t;
}

// Grates at junctions 1, 2 and 4 and at node 2 of superlinks 1 and 3; the
// two tile pipes of superlink 1 under the top row; superlink 2 ends in channel
// node 8, superlink 3 on cell (6, 5).
constexpr const char* kSewer =
    "SJUNC 1 102.2 101.2 1.0 1 1 2 0.6 0.6\n"
    "SJUNC 2 101.6 100.75 1.0 1 1 5 0.6 0.6\n"
    "SJUNC 3 100.4 100.21 0.0 999 1 8 0 0\n"
    "SJUNC 4 102.0 101.0 1.0 1 5 3 0.6 0.6\n"
    "SJUNC 5 101.4 100.64 0.0 888 5 6 0 0\n"
    "CONNECT 1 1 2\nCONNECT 2 2 3\nCONNECT 3 4 5\n"
    "SLINK 1 2\n"
    "NODE 1 102.2 101.2 0.5 0 1 2 0 0\nNODE 2 101.8 100.975 0.5 1 1 4 0.6 0.6\nNODE 3 101.6 100.75 0.5 0 1 5 0 0\n"
    "PIPE 1 1 0.4 0 0.005 0.013 45 0.05 20\nPIPE 2 1 0.4 0 0.005 0.013 45 0.05 20\n"
    "SLINK 2 2\n"
    "NODE 1 101.6 100.75 0.5 0 1 5 0 0\nNODE 2 101.0 100.48 0.5 0 2 7 0 0\nNODE 3 100.4 100.21 0.5 0 3 8 0 0\n"
    "PIPE 1 1 0.4 0 0.005 0.013 54 0 0\nPIPE 2 1 0.4 0 0.005 0.013 54 0 0\n"
    "SLINK 3 2\n"
    "NODE 1 102.0 101.0 0.5 0 5 3 0 0\nNODE 2 101.7 100.82 0.5 1 5 4 0.6 0.6\nNODE 3 101.4 100.64 0.5 0 5 6 0 0\n"
    "PIPE 1 1 0.3 0 0.004 0.013 45 0 0\nPIPE 2 1 0.3 0 0.004 0.013 45 0 0\n";
// Steep pipes (2 to 7 %) 2 to 5 m under the ground, as a chain of grate
// junctions down the west edge, the last superlink ending in channel node 9.
constexpr const char* kSteepSewer =
    "SJUNC 1 102.4 100.0 1.5 1 1 1 0.6 0.6\n"
    "SJUNC 2 101.8 97.0 1.0 1 1 4 0.6 0.6\n"
    "SJUNC 3 101.2 90.7 1.0 1 1 7 0.6 0.6\n"
    "SJUNC 4 100.2 88.7 0.0 999 1 9 0 0\n"
    "CONNECT 1 1 2\nCONNECT 2 2 3\nCONNECT 3 3 4\n"
    "SLINK 1 2\n"
    "NODE 1 102.4 100.0 0.5 0 1 1 0 0\nNODE 2 102.2 98.5 0.5 1 1 2 0.6 0.6\nNODE 3 101.8 97.0 0.5 0 1 4 0 0\n"
    "PIPE 1 1 0.45 0 0.03333 0.013 45 0 0\nPIPE 2 1 0.45 0 0.03333 0.013 45 0 0\n"
    "SLINK 2 1\n"
    "NODE 1 101.8 97.0 0.5 0 1 4 0 0\nNODE 2 101.2 90.7 0.5 0 1 7 0 0\n"
    "PIPE 1 1 1.0 0 0.07 0.013 90 0 0\n"
    "SLINK 3 1\n"
    "NODE 1 101.2 90.7 0.5 0 1 7 0 0\nNODE 2 100.2 88.7 0.5 0 3 9 0 0\n"
    "PIPE 1 1 1.0 0 0.02 0.013 100 0 0\n";
constexpr const char* kGridPipe =
    "GRIDPIPEFILE\nPIPECELLS 4\n"
    "CELLIJ 1 2\nNUMPIPES 1\nSPIPE 1 1 0.5\nCELLIJ 1 3\nNUMPIPES 1\nSPIPE 1 1 0.5\n"
    "CELLIJ 1 4\nNUMPIPES 1\nSPIPE 1 2 0.5\nCELLIJ 1 5\nNUMPIPES 1\nSPIPE 1 2 0.5\n";

// Writes the grids, the channel, grid-stream, storm-sewer and grid-pipe
// files into `dir`, the water table given by `table` (m), the aquifer
// bottom 5 m under the ground.
inline void write_slope_drains(temp_dir& dir, double (*table)(int, int)) {
    dir.write("mask.asc", grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("elev.asc", grid(ground, "%.3f "));
    dir.write("table.asc", grid(table, "%.3f "));
    dir.write("bottom.asc", grid([](int r, int c) { return ground(r, c) - 5.0; }, "%.3f "));
    dir.write("net.chan", channel_file());
    dir.write("net.gst", grid_stream_file());
    dir.write("net.sew", kSewer);
    dir.write("net.gpi", kGridPipe);
}

// The project of `minutes` of run under 50 mm/h of rain for an hour, with
// the channel, the pipes and the water table, and the cards `extra`.
inline std::string slope_drains_project(int minutes, const std::string& extra) {
    return kesta::format_text(
               "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS %d\nCOLS %d\n"
               "TOT_TIME %d\nTIMESTEP 5\nOVERTYPE EXPLICIT\nMANNING_N 0.1\nOUTROW 10\nOUTCOL 3\n"
               "OUTSLOPE 0.01\nPRECIP_UNIF\nRAIN_INTENSITY 50\nRAIN_DURATION 60\nSTART_DATE 2021 7 14\n"
               "START_TIME 14 0\nHYD_FREQ 5\nCHAN_EXPLIC\nCHANNEL_INPUT net.chan\nSTREAM_CELL net.gst\n"
               "STORM_SEWER net.sew\nGRID_PIPE net.gpi\nWATER_TABLE table.asc\nAQUIFER_BOTTOM bottom.asc\n",
               kRows, kCols, minutes) +
           extra + "SUPER_QUIET\nSUMMARY run.sum\nOUTLET_HYDRO out.hyd\n";
}

}  // namespace kesta_test
