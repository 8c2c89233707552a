// The channel hotstart: the water surface of every computational node of
// every open channel, written at the end of one run and read back at the
// start of the next. The discharges are written beside them for the user;
// the routing derives them from the levels, so the reader takes the levels
// alone. Lake levels are not in the file: a lake starts from its INITWSE.
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/channel_setup.hpp"
#include "channel/channel_steps.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"

namespace kesta {

namespace {

// Links whose nodes the hotstart carries: the open channels of the network
// as read. A link a lake has overtaken is one of them: the run that reads
// the file starts with every link given back, and expects its lines.
bool carried(const model_state& m, int link) { return !link_is_lake_or_structure(m.ltype[link]); }

// A node past the link's routed count lies under a lake, which holds its
// water: it is written dry, at its bed, with no discharge.
bool held_by_lake(const model_state& m, int j, int link) { return j > m.nx[link]; }
double written_level(const model_state& m, int j, int link) {
    return held_by_lake(m, j, link) ? m.bel[j][link] : m.yp[j][link];
}
double written_discharge(const model_state& m, int j, int link) {
    return held_by_lake(m, j, link) ? 0.0 : m.qp[j][link];
}

bool refuse_hotstart(const model_state& m, int line, const std::string& what) {
    return refuse(format_text("Error: channel hotstart file %s, line %d: %s\n", m.chan_hotstart_depth_in.c_str(),
                              line, what.c_str()));
}

// One line "node link water-surface [area]" for node j of link l.
bool read_node(model_state& m, std::FILE* fp, int& line_no, int j, int l) {
    line_cursor line;
    if (!read_line(line, fp))
        return refuse_hotstart(m, line_no + 1,
                               format_text("the file ends before node %d of link %d; it needs one line for every "
                                           "node of every channel link.",
                                           j, l));
    ++line_no;
    int node = 0, link = 0;
    double ws = 0.0, area = 0.0;
    if (!pop_int_strict(line, node) || !pop_int_strict(line, link) || !pop_double_strict(line, ws))
        return refuse_hotstart(m, line_no,
                               format_text("\"%s\" does not read as node, link and water surface.",
                                           line.text().c_str()));
    // The flow area a file may give follows from the water surface anyway.
    if (!peek_token(line).empty() && !pop_double_strict(line, area))
        return refuse_hotstart(m, line_no,
                               format_text("the flow area \"%s\" is not a number.", peek_token(line).c_str()));
    if (node != j || link != l)
        return refuse_hotstart(m, line_no,
                               format_text("the line is for node %d of link %d, where node %d of link %d was "
                                           "expected.",
                                           node, link, j, l));
    double depth = ws - m.bel[j][l];
    if (depth < 0.0) {
        warn(format_text("Warning: channel hotstart file %s, line %d: the water surface %f of node %d, link "
                         "%d lies below its bed %f; the node starts dry.\n",
                         m.chan_hotstart_depth_in.c_str(), line_no, ws, j, l, m.bel[j][l]));
        ws = m.bel[j][l];
        depth = 0.0;
    }
    m.yp[j][l] = ws;
    m.chan_depth[j][l] = depth;
    return true;
}

}  // namespace

void read_chan_hotstart(model_state& m) {
    std::FILE* fp = m.read_chan_hotstart_depth_fp.get();
    if (!m.chan_hotstart_read || !fp) return;
    int line_no = 0;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!carried(m, l)) continue;
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            if (!read_node(m, fp, line_no, j, l)) return;
        }
    }
    ex_section(m, 2);
}

void write_chan_hotstart(const model_state& m) {
    std::FILE* depth = m.write_chan_hotstart_depth_fp.get();
    std::FILE* discharge = m.write_chan_hotstart_discharge_fp.get();
    if (!m.chan_hotstart_write || !depth || !discharge) return;
    // A hotstart with a value that is not finite is not written.
    for (int l = 1; l <= m.nlinks && l <= m.link_nodes.n(); ++l) {
        if (!carried(m, l)) continue;
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            const double ws = written_level(m, j, l), q = written_discharge(m, j, l);
            const bool level = std::isfinite(ws);
            if (level && std::isfinite(q)) continue;
            refuse_unwritten(m, level ? q : ws, level ? "the discharge" : "the water surface",
                             format_text("node %d of link %d", j, l), written_file_words(m, level ? discharge : depth));
            return;
        }
    }
    for (int l = 1; l <= m.nlinks && l <= m.link_nodes.n(); ++l) {
        if (!carried(m, l)) continue;
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            std::fprintf(depth, "%d %d %lf \n", j, l, written_level(m, j, l));
            std::fprintf(discharge, "%d %d %lf\n", j, l, written_discharge(m, j, l));
        }
    }
}

}  // namespace kesta
