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

inline std::string trapezoid_network_text(const std::vector<trapezoid_link>& links) {
    using kesta::format_text;
    int most = 1;
    for (const trapezoid_link& l : links) most = std::max(most, l.nodes);
    std::string t = format_text("KESTA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.8\nLINKS %d\nMAXNODES %d\n",
                                static_cast<int>(links.size()), most);
    for (std::size_t k = 0; k < links.size(); ++k) {
        const trapezoid_link& l = links[k];
        t += format_text("CONNECT %d %d %d", static_cast<int>(k) + 1, l.downstream, static_cast<int>(l.upstream.size()));
        for (int u : l.upstream) t += format_text(" %d", u);
        t += "\n";
    }
    for (std::size_t k = 0; k < links.size(); ++k) {
        const trapezoid_link& l = links[k];
        t += format_text("LINK %d\nNODES %d\nTRAPEZOID\nMANNINGS_N %g\nDX %g\n", static_cast<int>(k) + 1, l.nodes,
                         l.n, l.dx);
        for (int j = 1; j <= l.nodes; ++j) {
            t += format_text("NODE %d\nELEV %.6f\n", j, l.top_bed - l.slope * l.dx * (j - 1));
            if (j == 1)
                t += format_text("XSEC\nBOTTOM_WIDTH %g\nSIDE_SLOPE %g\nBANKFULL_DEPTH %g\n", l.bottom, l.side,
                                 l.bankfull);
        }
    }
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
