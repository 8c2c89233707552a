// The reservoir model's segment fluxes (VQ_FLUXES): the flow that crosses
// into or out of each reservoir segment from the overland grid, and the
// discharge of the channel nodes that feed a segment, averaged over the
// passes between two outputs.
#include "output/vq_fluxes.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdio>
#include <string>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "output/output_steps.hpp"

namespace kesta {

namespace {

// The segment map: one segment number per active cell. False when there is
// no map to use (a file that cannot be opened, or no segment in it); the run
// is stopped when the map itself is bad.
bool read_segment_map(model_state& m, vq_data& vq) {
    std::string name = m.project_options.vq_segment_map;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) return false;
    vq.seg_map = vec1<int>(m.ncells);
    if (!read_id_map(m, fp.get(), name, vq.seg_map)) return false;
    for (int k = 1; k <= m.ncells; ++k) vq.max_segment = std::max(vq.max_segment, vq.seg_map[k]);
    if (vq.max_segment <= 0) {
        fail_and_report(95);
        return false;
    }
    vq.qin = vec1<double>(vq.max_segment);
    vq.active = vec1<int>(vq.max_segment);
    for (int k = 1; k <= m.ncells; ++k)
        if (vq.seg_map[k] > 0) vq.active[vq.seg_map[k]] = 1;
    return true;
}

// The link/node-to-segment file: a pair count, then "link node segment" a
// line. False when there is none to use; with a pair that names no node of
// the network or no segment of the map, code 97 is left pending (the run
// stops after set-up) with the file, line and value.
bool read_segment_pairs(model_state& m, vq_data& vq) {
    std::string name = m.project_options.vq_nodes_to_segs;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) return false;
    std::string text;
    int count = 0;
    if (!read_text_line(fp.get(), text) || std::sscanf(text.c_str(), "%d", &count) != 1 || count < 1) return false;
    auto bad = [&](int line, const std::string& what) {
        g_error_record.fail(97);
        g_error_record.detail = format_text("%s, line %d: %s", name.c_str(), line, what.c_str());
        return false;
    };
    // The pairs are kept as they are read: the count never sizes anything.
    for (int i = 1; i <= count; ++i) {
        const int line = i + 1;
        if (!read_text_line(fp.get(), text))
            return bad(line, format_text("the file ends after %d of its %d pairs", i - 1, count));
        int link = 0, node = 0, segment = 0;
        if (std::sscanf(text.c_str(), "%d %d %d", &link, &node, &segment) != 3)
            return bad(line, "\"" + text + "\" is not a link, a node and a segment");
        if (link < 1 || link > m.nlinks)
            return bad(line, format_text("link %d is not a link of the network (1 to %d)", link, m.nlinks));
        const int nodes = link <= m.link_nodes.n() ? m.link_nodes[link] : 0;
        if (node < 1 || node > nodes)
            return bad(line, format_text("node %d is not a node of link %d (1 to %d)", node, link, nodes));
        if (segment <= 0 || segment > vq.max_segment || !vq.active[segment])
            return bad(line, format_text("segment %d is not a segment of the map", segment));
        vq.link.push_back(link);
        vq.node.push_back(node);
        vq.segment.push_back(segment);
    }
    return true;
}

}  // namespace

void build_vq_data(model_state& m) {
    if (!m.project_options.vq_fluxes) return;
    auto vq = std::make_unique<vq_data>();
    const bool map = read_segment_map(m, *vq);
    if (run_stopped()) return;
    const bool pairs = read_segment_pairs(m, *vq);
    if (g_error_record.code != 0) return;
    if (!map && !pairs) {
        fail_and_report(96);
        return;
    }
    std::string name = m.project_options.vq_segment_fluxes;
    strip_quotes(name);
    output_request request;
    request.words = "card VQ_SEGMENT_FLUXES";
    request.name = name;
    request.group = output_group::coupling;
    request.what = "the VQ internal flux output file";
    const opened_output o = open_output(m, request, &vq->out);
    if (o.refused) return;
    if (!o.fp) {
        g_error_record.fail(98, "", output_path(name, "w", 1));
        return;
    }
    std::fputs("   jday   ", o.fp);
    for (int s = 1; s <= vq->max_segment; ++s)
        if (vq->active[s]) std::fprintf(o.fp, "%-8d  ", s);
    std::fputs("\n", o.fp);
    m.vq = std::move(vq);
}

void vq_accumulate_fluxes(vq_data& vq, const vec1<double>& qx, const vec1<double>& qy, int ncells,
                          const vec1<int>& right, const vec1<int>& below, bool channels, const node_table<double>& qp) {
    if (vq.max_segment <= 0) return;
    ++vq.count;
    // A face between two cells of which exactly one lies in a segment
    // carries flow into or out of that segment; both count.
    auto face = [&vq](int c, int n, double q) {
        const int a = vq.seg_map[c], b = vq.seg_map[n];
        if ((a == 0) != (b == 0)) vq.qin[std::max(a, b)] += std::fabs(q);
    };
    for (int c = 1; c <= ncells; ++c) {
        if (right[c] > 0) face(c, right[c], qx[c]);
        if (below[c] > 0) face(c, below[c], qy[c]);
    }
    if (!channels) return;
    for (std::size_t i = 0; i < vq.segment.size(); ++i) vq.qin[vq.segment[i]] += std::fabs(qp[vq.node[i]][vq.link[i]]);
}

void vq_write_segment_fluxes(vq_data& vq, double day) {
    if (vq.count <= 0 || !vq.out) return;
    if (vq.first_output) {
        vq.first_day = day;
        vq.first_output = false;
    }
    std::FILE* fp = vq.out.get();
    std::fprintf(fp, "%-8.3lf  ", day - vq.first_day + 1.0);
    for (int s = 1; s <= vq.max_segment; ++s) {
        if (!vq.active[s]) continue;
        std::fprintf(fp, "%-8.2lf  ", vq.qin[s] / vq.count);
        vq.qin[s] = 0.0;
    }
    std::fputs("\n", fp);
    vq.count = 0;
}

void vq_segment_fluxes_step(model_state& m) {
    if (!m.vq) return;
    const int n = std::min({m.ncells, m.qx.n(), m.qy.n(), m.rightcon.n(), m.belowcon.n(), m.vq->seg_map.n()});
    vq_accumulate_fluxes(*m.vq, m.qx, m.qy, n, m.rightcon, m.belowcon, m.chan_routing != 0, m.qp);
}

void vq_segment_fluxes_output(model_state& m) {
    if (!m.vq) return;
    const vq_data& vq = *m.vq;
    if (vq.count > 0 && vq.out) {
        for (int s = 1; s <= vq.max_segment; ++s) {
            if (!vq.active[s] || std::isfinite(vq.qin[s] / vq.count)) continue;
            refuse_unwritten(m, vq.qin[s] / vq.count, "the inflow", format_text("segment %d", s),
                             m.project_options.vq_segment_fluxes + " (card VQ_SEGMENT_FLUXES)");
            return;
        }
    }
    vq_write_segment_fluxes(*m.vq, m.day_of_year + m.hour / 24.0 + m.minute / 1440.0);
}

void vq_segment_fluxes_close(model_state& m) {
    if (m.vq) close_output(m, m.vq->out);
}

}  // namespace kesta
