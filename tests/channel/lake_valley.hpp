// A valley of 12 x 7 cells of 30 m with a stream, a lake on it and a weir
// below the lake, for whole runs: the grids, the channel and grid-stream
// files and the project (rain at 30 mm/h for 40 minutes of a two-hour
// event in steps of 5 s).
#pragma once

#include <cmath>
#include <string>

#include "core/text_format.hpp"
#include "support/grid_text.hpp"

namespace kesta_test::lake_valley {

using kesta::format_text;

inline constexpr int kRows = 12, kCols = 7;

inline double ground(int r, int c) {
    const bool lake_floor = c == 4 && (r == 4 || r == 5);
    const bool lake_side = (c == 3 || c == 5) && (r == 4 || r == 5);
    if (lake_floor) return 106.5;
    if (lake_side) return 107.3;
    if (r == 6 && c >= 3 && c <= 5) return 107.6;  // the dam; the weir passes the stream
    return 100.0 + (kRows - r) * 1.0 + std::fabs(c - 4.0) * 0.8;
}

// A grid of the valley's cells.
inline std::string grid(double (*value)(int, int), const char* format) {
    return kesta_test::grid_of(kRows, kCols, 30.0, value, format);
}

inline std::string channel_file() {
    std::string t =
        "KESTA_CHAN\nALPHA 1\nBETA 1\nTHETA 1\nLINKS 4\nMAXNODES 8\n"
        "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 4 1 2\nCONNECT 4 0 1 3\n"
        "LINK 1\nNODES 4\nTRAPEZOID\nMANNINGS_N 0.035\nDX 30\n";
    const double head_beds[] = {110.0, 109.0, 108.0, 107.5};
    for (int j = 1; j <= 4; ++j) {
        t += format_text("NODE %d\nELEV %.2f\n", j, head_beds[j - 1]);
        if (j == 1) t += "XSEC\nBOTTOM_WIDTH 2\nSIDE_SLOPE 1\nBANKFULL_DEPTH 1\n";
    }
    t += "LINK 2\nNODES 1\nLAKE\nMINWSE 106.0\nINITWSE 107.0\nMAXWSE 109.0\nNUMPTS 6\n4 4 5 4 4 3 4 5 5 3 5 5\n"
         "LINK 3\nSTRUCTURE\nNUMSTRUCTS 1\nNODE 1\nELEV 106.9\nNODE 2\nELEV 106.8\n"
         "STRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV 107.1\nDISCHARGE_COEFF_FORWARD 1.0\n"
         "DISCHARGE_COEFF_REVERSE 1.0\n"
         "LINK 4\nNODES 8\nTRAPEZOID\nMANNINGS_N 0.035\nDX 30\n";
    for (int j = 1; j <= 8; ++j) {
        t += format_text("NODE %d\nELEV %.2f\n", j, 105.0 - (j - 1));
        if (j == 1) t += "XSEC\nBOTTOM_WIDTH 2\nSIDE_SLOPE 1\nBANKFULL_DEPTH 1\n";
    }
    return t;
}

inline std::string grid_stream_file() {
    std::string t = "GRIDSTREAMFILE\nSTREAMCELLS 10\n";
    for (int r = 1; r <= 3; ++r) t += format_text("CELLIJ %d 4\nNUMNODES 1\nLINKNODE 1 %d 1.0\n", r, r);
    for (int r = 6; r <= 12; ++r) t += format_text("CELLIJ %d 4\nNUMNODES 1\nLINKNODE 4 %d 1.0\n", r, r - 5);
    return t;
}

inline std::string project(const char* overtype) {
    return format_text(
        "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS %d\nCOLS %d\n"
        "TOT_TIME 120\nTIMESTEP 5\nOVERTYPE %s\nMANNING_N 0.1\nOUTROW 12\nOUTCOL 4\nOUTSLOPE 0.01\n"
        "PRECIP_UNIF\nRAIN_INTENSITY 30\nRAIN_DURATION 40\nSTART_DATE 2021 7 14\nSTART_TIME 14 0\n"
        "HYD_FREQ 5\nCHAN_EXPLIC\nCHANNEL_INPUT net.chan\nSTREAM_CELL net.gst\nSUPER_QUIET\n"
        "SUMMARY run.sum\nOUTLET_HYDRO out.hyd\n",
        kRows, kCols, overtype);
}

}  // namespace kesta_test::lake_valley
