// The grid-stream file: which channel nodes lie in which grid cells, and
// what share of a cell's exchange with the channels each node takes.
//   GRIDSTREAMFILE
//   STREAMCELLS n
//   per stream cell: CELLIJ row col, NUMNODES k, then k lines
//   LINKNODE link node share
// A share lies from 0 to 1, and the shares of a cell add up to 1 within
// kShareSumTolerance.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

#include "channel/channel_input.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

// How far the shares of a cell may add up from 1: shares rounded to two
// decimals (three of 0.33, 0.99 in all) pass, a share missing or given
// twice does not.
constexpr double kShareSumTolerance = 0.02;

bool header_ok(const card_file& f) {
    line_cursor first(f.count() >= 1 ? f.line(1) : std::string());
    std::string word;
    pop_string(first, word);
    return to_upper(word).compare(0, 14, "GRIDSTREAMFILE") == 0;
}

// Every NUMNODES count in file order, one per stream cell. A count is
// checked before the tables are sized by the largest: a cell ties to no more
// nodes than the channel network has, and the counts together to no more
// entries than the file's LINKNODE lines give.
bool count_entries(model_state& m, const card_file& f, int& widest) {
    int network_nodes = 0;
    for (int l = 1; l <= m.nlinks; ++l) network_nodes += m.nx[l];
    int linknode_lines = 0;
    for (int n = 3; n <= f.count(); ++n) linknode_lines += card_at(f, n).card == card_linknode;
    int cells = 0;
    long long entries = 0;
    widest = 1;
    for (int n = 3; n <= f.count(); ++n) {
        card_line c = card_at(f, n);
        if (c.card != card_numnodes) continue;
        if (++cells > m.nstreamcells)
            return refuse_card(c, format_text("gives stream cell %d a node count, but STREAMCELLS is %d.", cells,
                                              m.nstreamcells));
        int& k = m.gst_ncellsingrid[cells];
        if (!take_int_in(c, k, 1, INT_MAX, "a node count")) return false;
        if (k > network_nodes)
            return refuse_card(c, format_text("gives stream cell %d %d nodes; the channel network has %d nodes in "
                                              "all.",
                                              cells, k, network_nodes));
        entries += k;
        if (entries > linknode_lines)
            return refuse_card(c, format_text("gives stream cell %d %d nodes, which brings the entries to %lld; "
                                              "the file holds %d LINKNODE lines.",
                                              cells, k, entries, linknode_lines));
        widest = std::max(widest, k);
    }
    if (cells != m.nstreamcells)
        return refuse_line(f, f.count(),
                           format_text("the file gives %d NUMNODES cards for its %d STREAMCELLS.", cells,
                                       m.nstreamcells));
    return true;
}

bool entries_complete(const model_state& m, const card_file& f, int cell, int entries, int line) {
    if (cell == 0) return true;
    if (entries != m.gst_ncellsingrid[cell])
        return refuse_line(f, line,
                           format_text("stream cell %d has %d LINKNODE entries; its NUMNODES gives %d.", cell,
                                       entries, m.gst_ncellsingrid[cell]));
    // Each share takes its part of the cell's water and sediment: shares
    // that add up to more than the whole take what the cell does not hold.
    double sum = 0.0;
    for (int e = 1; e <= entries; ++e) sum += m.gst_pct[cell][e];
    if (std::fabs(sum - 1.0) <= kShareSumTolerance) return true;
    return refuse_line(f, line,
                       format_text("the LINKNODE shares of stream cell %d add up to %s; the shares of a cell's "
                                   "exchange with its nodes must add up to 1 (within %g).",
                                   cell, exact_number(sum).c_str(), kShareSumTolerance));
}

bool read_entries(model_state& m, const card_file& f) {
    int cell = 0, entries = 0, cell_line = 0;
    for (int n = 3; n <= f.count(); ++n) {
        card_line c = card_at(f, n);
        if (c.card == card_cellij) {
            if (!entries_complete(m, f, cell, entries, cell_line)) return false;
            if (++cell > m.nstreamcells)
                return refuse_card(c, format_text("starts stream cell %d, but STREAMCELLS is %d.", cell,
                                                  m.nstreamcells));
            int row = 0, col = 0;
            if (!take_int_in(c, row, 1, m.rows, "row") || !take_int_in(c, col, 1, m.cols, "column"))
                return false;
            if (m.mask[row][col] == 0)
                return refuse_card(c, format_text("gives cell (%d, %d), which lies outside the watershed mask.", row,
                                                  col));
            m.gst_gnum[cell][0] = m.mask[row][col];
            entries = 0;
            cell_line = n;
        } else if (c.card == card_linknode) {
            if (cell == 0) return refuse_card(c, "comes before any CELLIJ card.");
            if (++entries > m.gst_ncellsingrid[cell])
                return refuse_card(c, format_text("is entry %d of stream cell %d, whose NUMNODES gives %d.",
                                                  entries, cell, m.gst_ncellsingrid[cell]));
            int link = 0, node = 0;
            if (!take_int_in(c, link, 1, m.nlinks, "link")) return false;
            if (!take_int_in(c, node, 1, m.nx[link], format_text("a node of link %d", link).c_str())) return false;
            double& share = m.gst_pct[cell][entries];
            if (!take_double(c, share)) return false;
            if (!(share >= 0.0 && share <= 1.0))
                return refuse_card(c, format_text("gives node %d of link %d the share %g of the cell's exchange; "
                                                  "a share lies from 0 to 1.",
                                                  node, link, share));
            m.gst_link[cell][entries] = link;
            m.gst_node[cell][entries] = node;
            m.gst_gnum[cell][entries] = m.gst_gnum[cell][0];
        }
    }
    if (!entries_complete(m, f, cell, entries, cell_line)) return false;
    if (cell != m.nstreamcells)
        return refuse_line(f, f.count(),
                           format_text("the file gives %d CELLIJ cards for its %d STREAMCELLS.", cell,
                                       m.nstreamcells));
    return true;
}

}  // namespace

bool read_grid_stream(model_state& m) {
    card_file f;
    f.name = m.stream_cell;
    f.kind = "grid-stream file";
    load_card_file(m.stream_cell_fp.get(), f);
    if (!header_ok(f))
        return refuse_line(f, 1, format_text("the file must begin with GRIDSTREAMFILE, not \"%s\".",
                                             f.count() >= 1 ? f.line(1).c_str() : ""));
    card_line c = card_at(f, std::min(2, std::max(f.count(), 1)));
    if (f.count() < 2 || c.card != card_streamcells)
        return refuse(format_text("The second card in the grid-stream file must be STREAMCELLS\n"
                                  "File format error, program terminating.\n"
                                  "(grid-stream file %s, line 2)\n",
                                  f.name.c_str()));
    if (!take_int(c, m.nstreamcells)) return false;
    if (m.nstreamcells <= 0)
        return refuse(format_text("The number of STREAMCELLS in the grid-stream (.gst) file\n"
                                  "must be greater than 0.  File format error, program terminating\n"
                                  "(grid-stream file %s, line 2, gives %d)\n",
                                  f.name.c_str(), m.nstreamcells));
    if (m.nstreamcells > m.ncells)
        return refuse_card(c, format_text("gives %d stream cells; the watershed has %d cells.", m.nstreamcells,
                                          m.ncells));
    alloc_ivector(m.gst_ncellsingrid, m.nstreamcells, "gst_ncellsingrid");
    if (!blocks_made(g_error_record, "the node counts of the grid-stream file", m.gst_ncellsingrid)) return false;
    int widest = 1;
    if (!count_entries(m, f, widest)) return false;
    // Column 0 of gst_gnum holds the cell's own number while its entries are read.
    alloc_imatrix(m.gst_link, m.nstreamcells, widest, "gst_link");
    alloc_imatrix(m.gst_node, m.nstreamcells, widest, "gst_node");
    alloc_imatrix(m.gst_gnum, m.nstreamcells, widest, "gst_gnum");
    alloc_dmatrix(m.nstreamcells, widest, m.gst_pct, "gst_pct");
    alloc_dmatrix(m.nstreamcells, widest, m.gst_sac_weight, "gst_sac_weight");
    alloc_dmatrix(m.nstreamcells, widest, m.gst_Vlat, "gst_Vlat");
    if (!blocks_made(g_error_record, "the grid-stream tables", m.gst_link, m.gst_node, m.gst_gnum, m.gst_pct,
                     m.gst_sac_weight, m.gst_Vlat))
        return false;
    if (!read_entries(m, f)) return false;
    say_console(m, "Finished reading non-orthogonal channel information from gst file.\n");
    return true;
}

}  // namespace kesta
