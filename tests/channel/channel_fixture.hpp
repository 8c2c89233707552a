// A small channel network on a 3 x 4 grid of 10 m cells, all inside the
// watershed:
//   link 1  trapezoid, 2 input nodes (1 computational: a short link), its
//           bed above the ground of its cell (a bad thalweg)
//   link 2  lake over 11 listed cells, 3 of them below INITWSE 9.0
//   link 3  structure below the lake: a weir and a round culvert
//   link 4  breakpoint outlet, 4 input nodes, V sections at nodes 1 and 3
// Links 1 and 3 drain into link 4. A test edits the texts before set_up.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "channel/channel_steps.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

inline const char* kChannelFile =
    "KESTA_CHAN\n"
    "ALPHA 1.0\nBETA 0.6\nLINKS 4\nTHETA 0.8\nMAXNODES 4\n"
    "CONNECT 1 4 0\nCONNECT 2 3 0\nCONNECT 3 4 1 2\nCONNECT 4 0 2 1 3\n"
    "LINK 1\nNODES 2\nTRAPEZOID\r\nmannings_n 0.035\nDX 10.0\n"
    "NODE 1\nELEV 10.0\nNODE 2\nELEV 9.6\nXSEC\r\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n"
    "LINK 2\nNODES 1\nLAKE\r\nMLAKE 0.5\nMINWSE 8.0\nINITWSE 9.0\nMAXWSE 10.0\nPOINTSOURCE \"spring\"\n"
    "NUMPTS 11\n1 2 1 3 1 4 2 1 2 2 2 3 2 4 3 1 3 2 3 3\n3 4\n"
    "LINK 3\nSTRUCTURE\r\nNUMSTRUCTS 2\nNODE 1\nELEV 9.3\nNODE 2\nELEV 9.1\n"
    "STRUCTTYPE weir2\nCREST_LENGTH 5.0\nCREST_LOW_ELEV 9.5\nDISCHARGE_COEFF_FORWARD 1.7\n"
    "STRUCTTYPE round_culvert\nDIAMETER 1.0\nLENGTH 8.0\nUPINVERT 9.3\nDOWNINVERT 9.1\nROUGH_COEFF 0.013\n"
    "LINK 4\nNODES 4\nBREAKPOINT\nMANNINGS_N 0.04\nDX 10.0\n"
    "NODE 1\nELEV 9.0\nNPAIRS 3\nNUM_INTERP 20\nX1 0.0 10.0\nX1 1.0 9.0\nX1 2.0 10.0\n"
    "NODE 2\nELEV 8.8\n"
    "NODE 3\nELEV 8.6\nNPAIRS 3\nNUM_INTERP 20\nX1 0.0 9.6\nX1 2.0 8.6\nX1 4.0 9.6\n"
    "NODE 4\nELEV 8.4\n";

inline const char* kGridStreamFile =
    "GRIDSTREAMFILE\nSTREAMCELLS 3\n"
    "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
    "CELLIJ 2 2\nNUMNODES 1\nLINKNODE 4 1 1.0\n"
    "CELLIJ 3 3\nNUMNODES 2\nLINKNODE 4 2 0.5\nLINKNODE 4 3 0.5\n";

// Ground elevations (m), row by row.
inline const double kGround[12] = {9.5, 9.2, 8.5, 9.9, 9.3, 9.1, 9.4, 8.7, 9.1, 9.0, 9.2, 8.6};

inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class ChannelNetwork : public testing::Test {
protected:
    void SetUp() override { kesta::g_error_record.clear_for_run(); }
    void TearDown() override { kesta::g_error_record.clear_for_run(); }

    // A fresh model state over the grid with the network's files open, then
    // `before` and the channel set-up; returns what was printed.
    std::string set_up(const std::function<void(kesta::model_state&)>& before = {}) {
        using namespace kesta;
        m = std::make_unique<model_state>();
        g_error_record.clear_for_run();
        m->rows = 3;
        m->cols = 4;
        m->gridsize = 10.0;
        m->ncells = 12;
        alloc_imatrix(m->mask, m->rows + 1, m->cols + 1, "mask");
        alloc_dvector(m->elev, m->ncells, "elev");
        alloc_dvector(m->ks_map, m->ncells, "ks_map");  // the lake's MLAKE needs it
        for (int k = 1; k <= 12; ++k) {
            m->mask[(k - 1) / 4 + 1][(k - 1) % 4 + 1] = k;
            m->elev[k] = kGround[k - 1];
        }
        m->chan_routing = 1;
        m->channel_input = dir.write("net.chan", chan);
        m->stream_cell = dir.write("net.gst", gst);
        m->channel_input_fp = open(m->channel_input);
        m->stream_cell_fp = open(m->stream_cell);
        testing::internal::CaptureStdout();
        ts_read_file(dir.write("flows.ts", "KESTA_TS\nspring\nABSOLUTE\n2000 1 1 0 0 0.5\n2000 1 1 1 0 0.5\nEND_TS\n"));
        if (before) before(*m);
        setup_channel(*m);
        return testing::internal::GetCapturedStdout();
    }

    // set_up that must not stop; on a stop the failure shows what it printed.
    bool set_up_ok(const std::function<void(kesta::model_state&)>& before = {}) {
        const std::string out = set_up(before);
        EXPECT_FALSE(stopped()) << out;
        return !stopped();
    }

    static kesta::file_ptr open(std::string name) { return kesta::open_file(name, "r", 0); }
    bool stopped() const { return kesta::g_error_record.stop != 0; }

    temp_dir dir{true};  // the diagnostic files are written into it
    std::string chan = kChannelFile;
    std::string gst = kGridStreamFile;
    std::unique_ptr<kesta::model_state> m;
};

}  // namespace kesta_test
