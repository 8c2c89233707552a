// Channel networks of trapezoidal links written as channel input files and
// read by the channel set-up, for the routing tests. Each link is straight
// with a uniform bed slope; its input nodes stand `dx` apart.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channel/channel_steps.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

struct trapezoid_link {
    int downstream = 0;
    std::vector<int> upstream;
    int nodes = 2;           // input nodes
    double top_bed = 100.0;  // bed elevation of input node 1 (m)
    double slope = 0.001;
    double dx = 100.0;       // m
    double bottom = 5.0, side = 2.0, n = 0.025;
    double bankfull = 3.0;
};

// The LINK block of trapezoidal link `id`.
inline std::string trapezoid_link_block(int id, const trapezoid_link& l) {
    using kesta::format_text;
    std::string t = format_text("LINK %d\nNODES %d\nTRAPEZOID\nMANNINGS_N %g\nDX %g\n", id, l.nodes, l.n, l.dx);
    for (int j = 1; j <= l.nodes; ++j) {
        t += format_text("NODE %d\nELEV %.6f\n", j, l.top_bed - l.slope * l.dx * (j - 1));
        if (j == 1)
            t += format_text("XSEC\nBOTTOM_WIDTH %g\nSIDE_SLOPE %g\nBANKFULL_DEPTH %g\n", l.bottom, l.side,
                             l.bankfull);
    }
    return t;
}

// The file's header with its link count and largest node count.
inline std::string network_header(int links, int most_nodes) {
    return kesta::format_text("KESTA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.8\nLINKS %d\nMAXNODES %d\n", links,
                              most_nodes);
}

inline std::string trapezoid_network_text(const std::vector<trapezoid_link>& links) {
    using kesta::format_text;
    int most = 1;
    for (const trapezoid_link& l : links) most = std::max(most, l.nodes);
    std::string t = network_header(static_cast<int>(links.size()), most);
    for (std::size_t k = 0; k < links.size(); ++k) {
        const trapezoid_link& l = links[k];
        t += format_text("CONNECT %d %d %d", static_cast<int>(k) + 1, l.downstream, static_cast<int>(l.upstream.size()));
        for (int u : l.upstream) t += format_text(" %d", u);
        t += "\n";
    }
    for (std::size_t k = 0; k < links.size(); ++k) t += trapezoid_link_block(static_cast<int>(k) + 1, links[k]);
    return t;
}

// A model state on a grid of `rows` x `cols` cells of `cell` m, all inside
// the watershed, at ground `ground(row, col)`, with the network read and set
// up (in a temporary working folder, which receives the diagnostic files).
class RoutedNetwork : public testing::Test {
protected:
    void SetUp() override { kesta::g_error_record.clear_for_run(); }
    void TearDown() override { kesta::g_error_record.clear_for_run(); }

    template <class Ground>
    void set_up(const std::string& chan_text, int rows, int cols, double cell, Ground ground,
                const std::string& gst_text = std::string()) {
        using namespace kesta;
        m = std::make_unique<model_state>();
        g_error_record.clear_for_run();
        m->rows = rows;
        m->cols = cols;
        m->gridsize = cell;
        m->ncells = rows * cols;
        m->quiet = 1;
        m->super_quiet = 1;
        alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
        alloc_dvector(m->elev, m->ncells, "elev");
        alloc_dvector(m->h, m->ncells, "h");
        alloc_dvector(m->dist_rough, m->ncells, "dist_rough");
        for (int r = 1; r <= rows; ++r) {
            for (int c = 1; c <= cols; ++c) {
                const int k = (r - 1) * cols + c;
                m->mask[r][c] = k;
                m->elev[k] = ground(r, c);
                m->dist_rough[k] = 0.05;
            }
        }
        m->chan_routing = 1;
        m->channel_input = dir.write("net.chan", chan_text);
        m->channel_input_fp = open_file(m->channel_input, "r", 0);
        if (!gst_text.empty()) {
            m->stream_cell = dir.write("net.gst", gst_text);
            m->stream_cell_fp = open_file(m->stream_cell, "r", 0);
        }
        testing::internal::CaptureStdout();
        setup_channel(*m);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(g_error_record.stop, 0) << out;
        ex_section(*m, 2);
    }

    // A lake over the four 30 m cells of rows 1 and 2 of a 4 x 3 grid at
    // 101 m (ground 100 m; its list goes on over the cells (3, 1) and
    // (3, 2), ground 101.5 m), draining through a weir of crest 100.5 m and
    // length 3 m into a trapezoidal outlet link of 9 nodes 30 m apart.
    void set_up_lake_weir() {
        trapezoid_link out;
        out.nodes = 10;
        out.dx = 30.0;
        out.top_bed = 100.0;
        out.slope = 0.002;
        const std::string text =
            network_header(3, 10) +
            "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n"
            "LINK 1\nNODES 1\nLAKE\nMINWSE 99.0\nINITWSE 101.0\nMAXWSE 103.0\nNUMPTS 6\n1 1 1 2 2 1 2 2 3 1 3 2\n"
            "LINK 2\nSTRUCTURE\nNUMSTRUCTS 1\nNODE 1\nELEV 100.4\nNODE 2\nELEV 100.3\n"
            "STRUCTTYPE weir\nCREST_LENGTH 3.0\nCREST_LOW_ELEV 100.5\nDISCHARGE_COEFF_FORWARD 1.0\n"
            "DISCHARGE_COEFF_REVERSE 1.0\n" +
            trapezoid_link_block(3, out);
        set_up(text, 4, 3, 30.0, [](int r, int) { return r <= 2 ? 100.0 : 101.5; });
    }

    // Total water in the open channels (m3).
    double channel_volume() const {
        double v = 0.0;
        for (int l = 1; l <= m->nlinks; ++l) {
            if (kesta::link_is_lake_struct_or_overtaken(m->ltype[l])) continue;
            for (int j = 1; j <= m->nx[l]; ++j) v += m->area[j][l] * m->chan_dx[l];
        }
        return v;
    }

    temp_dir dir{true};
    std::unique_ptr<kesta::model_state> m;
};

}  // namespace kesta_test
