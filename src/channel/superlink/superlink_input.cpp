// The storm-drain network from its two files: the storm-sewer file with the
// superjunctions (SJUNC), the superlinks joining them (CONNECT) and each
// superlink's nodes and pipes (an SLINK block of NODE and PIPE lines), and
// the grid-pipe file telling which cells exchange water with which pipes
// (GRIDPIPEFILE, PIPECELLS, then CELLIJ, NUMPIPES and SPIPE lines per cell).
// Counts come first and are checked against the limits before anything is
// allocated; every value that cannot be used stops the run with the file,
// the line and the value.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "channel/channel_cards.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr int kMaxJunctions = 1000;
constexpr int kMaxPipesPerLink = 50;
constexpr int kMaxSuperlinks = 1000;
constexpr double kLowCover = 2.0;  // m of ground over the bottom below which a warning is given
// m a pipe's end may lie below the bottom of its superjunction, as rounded
// survey values give it.
constexpr double kEndBelowBottom = 0.01;
constexpr double kMaxPipeSize = 20.0;     // m: largest diameter, rise or width of a pipe
constexpr double kMaxPipeLength = 1.0e4;  // m: longest pipe
constexpr double kMaxPlanArea = 1.0e6;    // m2: largest plan area of a superjunction or node

// One line's card and the values after it.
struct sewer_card {
    const card_file& file;
    int number;
    std::string card;  // upper case
    line_cursor rest;
};

sewer_card card_of(const card_file& f, int n) {
    sewer_card c{f, n, std::string(), line_cursor(f.line(n))};
    std::string word;
    if (pop_string(c.rest, word)) c.card = to_upper(word);
    return c;
}

bool refuse_value(const sewer_card& c, const std::string& what) {
    return refuse_line(c.file, c.number, "card " + c.card + " " + what);
}

bool take(sewer_card& c, int& v) {
    const std::string tok = peek_token(c.rest);
    if (tok.empty()) return refuse_value(c, "has a value missing.");
    if (!pop_int_strict(c.rest, v)) return refuse_value(c, "needs a whole number, not \"" + tok + "\".");
    return true;
}
bool take_in(sewer_card& c, int& v, int lo, int hi, const char* what) {
    if (!take(c, v)) return false;
    if (v >= lo && v <= hi) return true;
    return refuse_value(c, format_text("gives %s %d; it must be between %d and %d.", what, v, lo, hi));
}
bool take(sewer_card& c, double& v) {
    const std::string tok = peek_token(c.rest);
    if (tok.empty()) return refuse_value(c, "has a value missing.");
    if (!pop_double_strict(c.rest, v)) return refuse_value(c, "needs a number, not \"" + tok + "\".");
    return true;
}
bool take_positive(sewer_card& c, double& v, const char* what) {
    if (!take(c, v)) return false;
    if (v > 0.0) return true;
    return refuse_value(c, format_text("gives %s %g; it must be above 0.", what, v));
}
// A size (m) above 0 and at most `most`.
bool take_size(sewer_card& c, double& v, const char* what, double most) {
    if (!take(c, v)) return false;
    if (v > 0.0 && v <= most) return true;
    return refuse_value(c, format_text("gives %s %.10g m; it must be above 0 and at most %g m.", what, v, most));
}
// A plan area (m2) from 0 to kMaxPlanArea.
bool plan_area_usable(const sewer_card& c, double v, const std::string& whose) {
    if (v >= 0.0 && v <= kMaxPlanArea) return true;
    return refuse_value(c, format_text("gives %s plan area %.10g m2; it must be from 0 to %g m2.", whose.c_str(), v,
                                       kMaxPlanArea));
}

// One input pipe as read.
struct input_pipe {
    int type = 0;
    double diameter = 0.0, width = 0.0, slope = 0.0, roughness = 0.0, length = 0.0;
    double conductivity = 0.0, spacing = 0.0;
    int line = 0;
};

struct sewer_reader {
    model_state& m;
    card_file f;
    int maxn = 0;                         // most input pipes of a superlink
    std::vector<int> junc_line, link_line, block_line;
    std::vector<int> first_node_line, last_node_line;  // [superlink]: the NODE lines of its two ends
    std::vector<std::vector<input_pipe>> pipes;  // [superlink][pipe]

    explicit sewer_reader(model_state& state) : m(state) {}
};

// Active-cell number of column i, row j; 0 outside the grid or off the mask.
int cell_at(const model_state& m, int i, int j) {
    if (i < 1 || j < 1 || i > m.cols || j > m.rows) return 0;
    return std::max(m.mask[j][i], 0);
}

bool count_pass(sewer_reader& r) {
    model_state& m = r.m;
    int limit_line[3] = {0, 0, 0};
    for (int n = 1; n <= r.f.count(); ++n) {
        sewer_card c = card_of(r.f, n);
        if (c.card == "SJUNC") {
            if (++m.n_sjunc == kMaxJunctions + 1) limit_line[0] = n;
        } else if (c.card == "CONNECT") {
            if (++m.n_superlinks == kMaxSuperlinks + 1) limit_line[2] = n;
        } else if (c.card == "SLINK") {
            int link = 0, pipes = 0;
            if (!take(c, link) || !take_in(c, pipes, 1, 1000000, "a pipe count")) return false;
            if (pipes > kMaxPipesPerLink && limit_line[1] == 0) limit_line[1] = n;
            r.maxn = std::max(r.maxn, pipes);
        }
    }
    const int codes[3] = {99, 100, 101};
    const int counts[3] = {m.n_sjunc, r.maxn, m.n_superlinks};
    const char* what[3] = {"SJUNC cards", "pipes in one superlink", "CONNECT cards"};
    for (int k = 0; k < 3; ++k) {
        if (limit_line[k] == 0) continue;
        g_error_record.fail(codes[k]);
        g_error_record.detail = format_text("%s %s, line %d: %d %s.", r.f.kind, r.f.name.c_str(), limit_line[k],
                                            counts[k], what[k]);
        return false;
    }
    if (m.n_sjunc < 1 || m.n_superlinks < 1)
        return refuse(format_text("Error: %s %s has %d SJUNC and %d CONNECT cards; a network needs at least one of each.\n",
                                  r.f.kind, r.f.name.c_str(), m.n_sjunc, m.n_superlinks));
    return true;
}

bool allocate_input_tables(sewer_reader& r) {
    model_state& m = r.m;
    const int nj = m.n_sjunc, nl = m.n_superlinks, rows = r.maxn + 1;
    alloc_dvector(m.ground_elev, nj, "ground_elev");
    alloc_dvector(m.junc_bottom, nj, "junc_bottom");
    alloc_dvector(m.As_sjunc, nj, "As_sjunc");
    alloc_ivector(m.sjunc_inlet_type, nj, "inlet_type");
    alloc_ivector(m.superjunct_i, nj, "superjunct_i");
    alloc_ivector(m.superjunct_j, nj, "superjunct_j");
    alloc_dvector(m.grate_sidelength_sjunc, nj, "grate_sidelength_sjunc");
    alloc_dvector(m.grate_dia_sjunc, nj, "grate_dia_sjunc");
    alloc_ivector(m.bound, nj, "bound");
    alloc_dvector(m.sjunc_head, nj, "sjunc_head");
    alloc_dvector(m.Q_junc, nj, "Q_junc");
    alloc_ivector(m.superlink_junc_gnum, nj, "superlink_junc_gnum");
    alloc_dvector(m.superlink_q_to_channel, nj, "superlink_q_to_channel");
    alloc_dvector(m.superlink_q_to_cell, nj, "superlink_q_to_cell");
    alloc_ivector(m.us_sjunc, nl, "us_sjunc");
    alloc_ivector(m.ds_sjunc, nl, "ds_sjunc");
    alloc_ivector(m.nnodes, nl, "nnodes");
    alloc_ivector(m.superlink_cnodes, nl, "superlink_cnodes");
    alloc_dvector(m.us_Zinv, nl, "us_Zinv");
    alloc_dvector(m.ds_Zinv, nl, "ds_Zinv");
    alloc_dmatrix(nl, rows, m.node_ground_elev, "node_ground_elev");
    alloc_dmatrix(nl, rows, m.slink_node_Zinv, "slink_node_Zinv");
    alloc_dmatrix(nl, rows, m.As, "As");
    alloc_imatrix(m.inlet_type, nl, rows, "inlet_type");
    alloc_imatrix(m.superlink_node_i, nl, rows, "superlink_node_i");
    alloc_imatrix(m.superlink_node_j, nl, rows, "superlink_node_j");
    alloc_dmatrix(nl, rows, m.grate_sidelength_node, "grate_sidelength_node");
    alloc_dmatrix(nl, rows, m.grate_dia_node, "grate_dia_node");
    alloc_dmatrix(nl, rows, m.Q_node, "Q_node");
    alloc_imatrix(m.superlink_node_gnum, nl, rows, "superlink_node_gnum");
    alloc_dmatrix(nl, rows, m.flow_to_superlink, "flow_to_superlink");
    alloc_dmatrix(nl, rows, m.dx, "dx");
    r.junc_line.assign(static_cast<std::size_t>(nj) + 1, 0);
    r.link_line.assign(static_cast<std::size_t>(nl) + 1, 0);
    r.block_line.assign(static_cast<std::size_t>(nl) + 1, 0);
    r.first_node_line.assign(static_cast<std::size_t>(nl) + 1, 0);
    r.last_node_line.assign(static_cast<std::size_t>(nl) + 1, 0);
    r.pipes.assign(static_cast<std::size_t>(nl) + 1, std::vector<input_pipe>());
    return blocks_made(g_error_record, "the superjunction tables", m.ground_elev, m.junc_bottom, m.As_sjunc,
                       m.sjunc_inlet_type, m.superjunct_i, m.superjunct_j, m.grate_sidelength_sjunc,
                       m.grate_dia_sjunc, m.bound, m.sjunc_head, m.Q_junc, m.superlink_junc_gnum,
                       m.superlink_q_to_channel, m.superlink_q_to_cell) &&
           blocks_made(g_error_record, "the superlink tables", m.us_sjunc, m.ds_sjunc, m.nnodes, m.superlink_cnodes,
                       m.us_Zinv, m.ds_Zinv, m.node_ground_elev, m.slink_node_Zinv, m.As, m.inlet_type,
                       m.superlink_node_i, m.superlink_node_j, m.grate_sidelength_node, m.grate_dia_node, m.Q_node,
                       m.superlink_node_gnum, m.flow_to_superlink, m.dx);
}

bool read_sjunc(sewer_reader& r, sewer_card& c) {
    model_state& m = r.m;
    int j = 0;
    if (!take_in(c, j, 1, m.n_sjunc, "a superjunction")) return false;
    if (r.junc_line[j] != 0)
        return refuse_value(c, format_text("gives superjunction %d a second time (first on line %d).", j, r.junc_line[j]));
    r.junc_line[j] = c.number;
    int code = 0, ci = 0, cj = 0;
    if (!take(c, m.ground_elev[j]) || !take(c, m.junc_bottom[j]) || !take(c, m.As_sjunc[j]) || !take(c, code) ||
        !take(c, ci) || !take(c, cj) || !take(c, m.grate_sidelength_sjunc[j]) || !take(c, m.grate_dia_sjunc[j]))
        return false;
    if (!plan_area_usable(c, m.As_sjunc[j], format_text("superjunction %d", j))) return false;
    if (m.junc_bottom[j] > m.ground_elev[j])
        return refuse_value(c, format_text("gives superjunction %d the bottom %.10g m, above its ground %.10g m.", j,
                                           m.junc_bottom[j], m.ground_elev[j]));
    m.sjunc_inlet_type[j] = code;
    m.superjunct_i[j] = ci;
    m.superjunct_j[j] = cj;
    m.bound[j] = code >= kFirstBoundaryCode ? 1 : 0;
    if (code == kOutletToChannel && m.chan_routing != 1)
        return refuse_value(c, format_text("makes superjunction %d an outlet into a channel (inlet code 999), which "
                                           "needs the explicit channel routing (CHAN_EXPLIC).", j));
    if (code != kOutletToChannel) {
        const int cell = cell_at(m, ci, cj);
        const bool needs_cell = (code >= 1 && code <= kMaxGrates) || code == kOutletToCell;
        if (needs_cell && cell == 0)
            return refuse_value(c, format_text("puts superjunction %d (inlet code %d) on column %d, row %d, which is "
                                               "not an active cell of the grid.", j, code, ci, cj));
        m.superlink_junc_gnum[j] = cell;
    }
    if (m.ground_elev[j] < m.junc_bottom[j] + kLowCover)
        warn(format_text("Warning: ground elevation less than 2.0m above node bottom. superjunction %d\n", j));
    return true;
}

bool read_connect(sewer_reader& r, sewer_card& c) {
    model_state& m = r.m;
    int l = 0;
    if (!take_in(c, l, 1, m.n_superlinks, "a superlink")) return false;
    if (r.link_line[l] != 0)
        return refuse_value(c, format_text("joins superlink %d a second time (first on line %d).", l, r.link_line[l]));
    r.link_line[l] = c.number;
    if (!take_in(c, m.us_sjunc[l], 1, m.n_sjunc, "an upstream superjunction") ||
        !take_in(c, m.ds_sjunc[l], 1, m.n_sjunc, "a downstream superjunction"))
        return false;
    if (m.us_sjunc[l] == m.ds_sjunc[l])
        return refuse_value(c, format_text("joins superjunction %d to itself.", m.us_sjunc[l]));
    return true;
}

bool read_node(sewer_reader& r, sewer_card& c, int l, std::vector<int>& seen) {
    model_state& m = r.m;
    const int n = m.nnodes[l];
    int k = 0;
    if (!take_in(c, k, 1, n + 1, "a node")) return false;
    if (seen[static_cast<std::size_t>(k)] != 0)
        return refuse_value(c, format_text("gives node %d of superlink %d a second time.", k, l));
    seen[static_cast<std::size_t>(k)] = c.number;
    int code = 0;
    if (!take(c, m.node_ground_elev[l][k]) || !take(c, m.slink_node_Zinv[l][k]) || !take(c, m.As[l][k]) ||
        !take(c, code) || !take(c, m.superlink_node_i[l][k]) || !take(c, m.superlink_node_j[l][k]) ||
        !take(c, m.grate_sidelength_node[l][k]) || !take(c, m.grate_dia_node[l][k]))
        return false;
    if (!plan_area_usable(c, m.As[l][k], format_text("node %d of superlink %d", k, l))) return false;
    if (m.slink_node_Zinv[l][k] > m.node_ground_elev[l][k])
        return refuse_value(c, format_text("gives node %d of superlink %d the bottom %.10g m, above its ground %.10g m.",
                                           k, l, m.slink_node_Zinv[l][k], m.node_ground_elev[l][k]));
    m.inlet_type[l][k] = code;
    const int cell = cell_at(m, m.superlink_node_i[l][k], m.superlink_node_j[l][k]);
    if (code >= 1 && code <= kMaxGrates && cell == 0)
        return refuse_value(c, format_text("puts node %d of superlink %d (inlet code %d) on column %d, row %d, which "
                                           "is not an active cell of the grid.",
                                           k, l, code, m.superlink_node_i[l][k], m.superlink_node_j[l][k]));
    m.superlink_node_gnum[l][k] = cell;
    if (m.node_ground_elev[l][k] < m.slink_node_Zinv[l][k] + kLowCover)
        warn(format_text("Warning: ground elevation less than 2.0m above node bottom. superlink %d, node %d\n", l, k));
    return true;
}

bool read_pipe(sewer_reader& r, sewer_card& c, int l, std::vector<int>& seen) {
    model_state& m = r.m;
    const int n = m.nnodes[l];
    int k = 0;
    if (!take_in(c, k, 1, n, "a pipe")) return false;
    if (seen[static_cast<std::size_t>(n + 1 + k)] != 0)
        return refuse_value(c, format_text("gives pipe %d of superlink %d a second time.", k, l));
    seen[static_cast<std::size_t>(n + 1 + k)] = c.number;
    input_pipe& p = r.pipes[static_cast<std::size_t>(l)][static_cast<std::size_t>(k)];
    p.line = c.number;
    if (!take(c, p.type)) return false;
    if (p.type < pipe_circle || p.type > pipe_box)
        return refuse_value(c, format_text("gives pipe %d of superlink %d section type %d; the types are 1 (circle), "
                                           "2 (polynomial) and 3 (box).", k, l, p.type));
    if (!take_size(c, p.diameter, "a diameter", kMaxPipeSize) || !take(c, p.width)) return false;
    // A circle has no width (given as 0 and not read).
    if (p.type != pipe_circle && !(p.width > 0.0 && p.width <= kMaxPipeSize))
        return refuse_value(c, format_text("gives pipe %d of superlink %d width %.10g m; it must be above 0 and at "
                                           "most %g m.", k, l, p.width, kMaxPipeSize));
    if (!take(c, p.slope) || !take_positive(c, p.roughness, "a roughness") ||
        !take_size(c, p.length, "a length", kMaxPipeLength) || !take(c, p.conductivity) || !take(c, p.spacing))
        return false;
    if ((k == 1 || k == n) && p.type == pipe_polynomial)
        return refuse_value(c, format_text("gives pipe %d at an end of superlink %d the polynomial section (type 2), "
                                           "which the end relations cannot take.", k, l));
    if (p.conductivity > 0.0 && p.spacing <= 0.0)
        return refuse_value(c, format_text("gives tile pipe %d of superlink %d (conductivity %g) drain spacing %g; it "
                                           "must be above 0.", k, l, p.conductivity, p.spacing));
    if (p.conductivity > 0.0) m.tile_drains_present = 1;
    m.dx[l][k] = p.length;
    return true;
}

// An SLINK block from line n: its NODE and PIPE lines, which must give every
// node 1..n+1 and pipe 1..n once. Returns the line after the block, 0 when
// refused.
int read_slink(sewer_reader& r, sewer_card& c) {
    model_state& m = r.m;
    int l = 0;
    if (!take_in(c, l, 1, m.n_superlinks, "a superlink")) return 0;
    if (r.block_line[l] != 0)
        return refuse_value(c, format_text("describes superlink %d a second time (first on line %d).", l,
                                           r.block_line[l])), 0;
    r.block_line[l] = c.number;
    int n = 0;
    if (!take(c, n)) return 0;
    m.nnodes[l] = n;
    r.pipes[static_cast<std::size_t>(l)].assign(static_cast<std::size_t>(n) + 1, input_pipe());
    std::vector<int> seen(static_cast<std::size_t>(2 * n + 2), 0);  // nodes 1..n+1, then pipes
    int at = c.number + 1;
    for (; at <= r.f.count(); ++at) {
        sewer_card d = card_of(r.f, at);
        if (d.card.empty()) continue;
        if (d.card == "NODE") {
            if (!read_node(r, d, l, seen)) return 0;
        } else if (d.card == "PIPE") {
            if (!read_pipe(r, d, l, seen)) return 0;
        } else {
            break;
        }
    }
    for (int k = 1; k <= 2 * n + 1; ++k) {
        if (seen[static_cast<std::size_t>(k)] != 0) continue;
        const bool node = k <= n + 1;
        return refuse_value(c, format_text("starts the block of superlink %d, which gives no %s %d before line %d.", l,
                                           node ? "NODE" : "PIPE", node ? k : k - n - 1, at)),
               0;
    }
    r.first_node_line[static_cast<std::size_t>(l)] = seen[1];
    r.last_node_line[static_cast<std::size_t>(l)] = seen[static_cast<std::size_t>(n + 1)];
    return at;
}

// The two end nodes of every superlink lie within their superjunctions:
// the solver sets each end's water against its junction's head, and an end
// above the junction's ground or below its bottom joins no water there.
bool ends_within_junctions(const sewer_reader& r) {
    const model_state& m = r.m;
    for (int l = 1; l <= m.n_superlinks; ++l) {
        const struct {
            int node, junction, line;
        } ends[] = {{1, m.us_sjunc[l], r.first_node_line[static_cast<std::size_t>(l)]},
                    {m.nnodes[l] + 1, m.ds_sjunc[l], r.last_node_line[static_cast<std::size_t>(l)]}};
        for (const auto& e : ends) {
            const double z = m.slink_node_Zinv[l][e.node];
            const double ground = m.ground_elev[e.junction], bottom = m.junc_bottom[e.junction];
            if (z <= ground && z >= bottom - kEndBelowBottom) continue;
            return refuse_line(r.f, e.line,
                               format_text("card NODE gives node %d of superlink %d, its end in superjunction %d, the "
                                           "bottom %.10g m, %s that superjunction's %s %.10g m (SJUNC on line %d).",
                                           e.node, l, e.junction, z, z > ground ? "above" : "below",
                                           z > ground ? "ground" : "bottom", z > ground ? ground : bottom,
                                           r.junc_line[static_cast<std::size_t>(e.junction)]));
        }
    }
    return true;
}

bool read_pass(sewer_reader& r) {
    model_state& m = r.m;
    int n = 1;
    while (n <= r.f.count()) {
        sewer_card c = card_of(r.f, n);
        if (c.card == "SLINK") {
            n = read_slink(r, c);
            if (n == 0) return false;
            continue;
        }
        bool ok = true;
        if (c.card == "SJUNC") ok = read_sjunc(r, c);
        else if (c.card == "CONNECT") ok = read_connect(r, c);
        else if (c.card == "NODE" || c.card == "PIPE") ok = refuse_value(c, "stands outside an SLINK block.");
        if (!ok) return false;
        ++n;
    }
    for (int l = 1; l <= m.n_superlinks; ++l) {
        if (r.block_line[l] == 0)
            return refuse(format_text("Error: %s %s describes superlink %d (CONNECT on line %d) with no SLINK block.\n",
                                      r.f.kind, r.f.name.c_str(), l, r.link_line[l]));
        if (r.link_line[l] == 0)
            return refuse_line(r.f, r.block_line[l], format_text("superlink %d has no CONNECT card.", l));
    }
    return ends_within_junctions(r);
}

// Computational pipe lengths of one superlink under SUPERLINK_C_OPT: short
// pipes doubling toward the middle at both ends, the middle cut evenly.
std::vector<double> subdivide(const std::vector<input_pipe>& pipes, int n) {
    double total = 0.0, shortest = pipes[1].length;
    for (int k = 1; k <= n; ++k) {
        total += pipes[static_cast<std::size_t>(k)].length;
        shortest = std::min(shortest, pipes[static_cast<std::size_t>(k)].length);
    }
    const double x1 = std::min({0.05 * total, shortest, 10.0}), x2 = 2.0 * x1, x3 = 2.0 * x2;
    double rest = total - 2.0 * (x1 + x2 + x3);
    std::vector<double> len{0.0, x1, x2, x3};
    if (rest <= 2.0 * x3) {
        len.push_back(rest);
    } else {
        double x4 = 2.0 * x3;
        rest -= x4;
        if (x4 <= rest) {
            len.push_back(x4);
            const int c = static_cast<int>(rest / x4);
            for (int k = 0; k < c; ++k) len.push_back(rest / c);
        } else {
            len.push_back(x4 + rest);
        }
    }
    len.insert(len.end(), {x3, x2, x1});
    return len;
}

// The computational pipe of superlink l that holds the middle of input pipe
// k: the first whose end lies at or beyond it, else the last.
int cpipe_at_middle(const model_state& m, int l, int k) {
    double mid = 0.5 * m.dx[l][k];
    for (int i = 1; i < k; ++i) mid += m.dx[l][i];
    int c = 1;
    for (double end = m.dxc[l][1]; end < mid && c < m.superlink_cnodes[l]; end += m.dxc[l][++c]) {}
    return c;
}

// Computational pipes and nodes: counted and checked first, then allocated
// and filled from the input pipes within whose length each one starts.
bool build_computational(sewer_reader& r) {
    model_state& m = r.m;
    const int nl = m.n_superlinks;
    std::vector<std::vector<double>> lengths(static_cast<std::size_t>(nl) + 1);
    int most = 0;
    for (int l = 1; l <= nl; ++l) {
        const int n = m.nnodes[l];
        std::vector<double>& len = lengths[static_cast<std::size_t>(l)];
        if (m.superlink_c_opt) {
            len = subdivide(r.pipes[static_cast<std::size_t>(l)], n);
        } else {
            len.assign(1, 0.0);
            for (int k = 1; k <= n; ++k) len.push_back(m.dx[l][k]);
        }
        m.superlink_cnodes[l] = static_cast<int>(len.size()) - 1;
        if (m.superlink_cnodes[l] > kMaxPipesPerLink) {
            g_error_record.fail(100);
            g_error_record.detail = format_text("%s %s, line %d: superlink %d is cut into %d computational pipes.",
                                                r.f.kind, r.f.name.c_str(), r.block_line[l], l, m.superlink_cnodes[l]);
            return false;
        }
        most = std::max(most, m.superlink_cnodes[l]);
    }
    m.max_nodes_per_link = most;
    const int rows = std::max(most, r.maxn) + 1;
    alloc_imatrix(m.sec_type, nl, rows, "sec_type");
    alloc_dmatrix(nl, rows, m.diameter, "diameter");
    alloc_dmatrix(nl, rows, m.width, "width");
    alloc_dmatrix(nl, rows, m.S0, "S0");
    alloc_dmatrix(nl, rows, m.M_n, "M_n");
    alloc_dmatrix(nl, rows, m.superlink_pipe_conductivity, "superlink_pipe_conductivity");
    alloc_dmatrix(nl, rows, m.drain_spacing, "drain_spacing");
    alloc_dmatrix(nl, rows, m.dxc, "dxc");
    alloc_dmatrix(nl, rows, m.slink_node_depth, "slink_node_depth");
    alloc_dmatrix(nl, rows, m.Asc, "Asc");
    alloc_imatrix(m.inflow_cnode, nl, rows, "inflow_cnode");
    alloc_imatrix(m.input_cpipe, nl, rows, "input_cpipe");
    alloc_dmatrix(nl, rows, m.superlink_tile_flow, "superlink_tile_flow");
    if (!blocks_made(g_error_record, "the computational pipe tables", m.sec_type, m.diameter, m.width, m.S0, m.M_n,
                     m.superlink_pipe_conductivity, m.drain_spacing, m.dxc, m.slink_node_depth, m.Asc,
                     m.inflow_cnode, m.input_cpipe, m.superlink_tile_flow))
        return false;
    for (int l = 1; l <= nl; ++l) {
        const std::vector<input_pipe>& in = r.pipes[static_cast<std::size_t>(l)];
        const std::vector<double>& len = lengths[static_cast<std::size_t>(l)];
        const int n = m.nnodes[l], nc = m.superlink_cnodes[l];
        // Pipes, and the node areas spread with the lengths: a computational
        // node takes the area of the input node at the start of its input
        // pipe in the share of its pipe's length.
        int cur = 1;
        double remain = in[1].length;
        for (int k = 1; k <= nc; ++k) {
            const input_pipe& p = in[static_cast<std::size_t>(cur)];
            m.dxc[l][k] = len[static_cast<std::size_t>(k)];
            m.sec_type[l][k] = p.type;
            m.diameter[l][k] = p.diameter;
            m.width[l][k] = p.width;
            m.S0[l][k] = p.slope;
            m.M_n[l][k] = p.roughness;
            m.superlink_pipe_conductivity[l][k] = p.conductivity;
            m.drain_spacing[l][k] = p.spacing;
            m.Asc[l][k] = m.superlink_c_opt ? m.As[l][cur] * m.dxc[l][k] / p.length : m.As[l][k];
            remain -= m.dxc[l][k];
            while (remain < 1e-9 * p.length && cur < n) remain += in[static_cast<std::size_t>(++cur)].length;
        }
        m.Asc[l][nc + 1] = m.superlink_c_opt ? 0.0 : m.As[l][n + 1];
        // Each input node's grate inflow goes to the computational node
        // nearest to it (inner nodes only): weights that sum to one.
        double x_in = 0.0;
        for (int k = 1; k <= n + 1; ++k) {
            if (k > 1) x_in += in[static_cast<std::size_t>(k - 1)].length;
            int best = std::clamp(k, 2, std::max(2, nc));
            if (m.superlink_c_opt) {
                double x_c = m.dxc[l][1], gap = std::fabs(x_c - x_in);
                best = 2;
                for (int j = 3; j <= nc; ++j) {
                    x_c += m.dxc[l][j - 1];
                    if (std::fabs(x_c - x_in) < gap) {
                        gap = std::fabs(x_c - x_in);
                        best = j;
                    }
                }
            }
            m.inflow_cnode[l][k] = best;
        }
        for (int k = 1; k <= n; ++k) m.input_cpipe[l][k] = nc == n ? k : cpipe_at_middle(m, l, k);
    }
    return true;
}

// The grid-pipe file: which cells exchange water with which pipes.
bool read_grid_pipe(model_state& m, std::FILE* fp, const std::string& name) {
    card_file f{name, "grid-pipe file", {}};
    load_card_file(fp, f);
    if (f.count() < 1 || card_of(f, 1).card.compare(0, 12, "GRIDPIPEFILE") != 0)
        return refuse_line(f, 1, format_text("the file must begin with GRIDPIPEFILE, not \"%s\".",
                                             f.count() >= 1 ? f.line(1).c_str() : ""));
    int line = 2;
    while (line <= f.count() && card_of(f, line).card.empty()) ++line;
    if (line > f.count()) return refuse_line(f, f.count(), "the file ends before its PIPECELLS card.");
    sewer_card head = card_of(f, line);
    if (head.card != "PIPECELLS") return refuse_value(head, "stands where the PIPECELLS card must.");
    if (!take_in(head, m.n_pipecells, 1, 100000000, "a pipe-cell count")) return false;
    // Count pass: cells and the most entries of one cell, which has no more
    // pipes than the file has SPIPE lines.
    int cells = 0, spipe_lines = 0;
    for (int n = line + 1; n <= f.count(); ++n) spipe_lines += card_of(f, n).card == "SPIPE";
    for (int n = line + 1; n <= f.count(); ++n) {
        sewer_card c = card_of(f, n);
        if (c.card == "CELLIJ") {
            if (++cells > m.n_pipecells)
                return refuse_value(c, format_text("gives pipe cell %d; PIPECELLS declares %d.", cells, m.n_pipecells));
        } else if (c.card == "NUMPIPES") {
            int k = 0;
            if (cells == 0) return refuse_value(c, "comes before the first CELLIJ card.");
            if (!take_in(c, k, 1, std::max(spipe_lines, 1), "a pipe count")) return false;
            m.max_pipes_per_cell = std::max(m.max_pipes_per_cell, k);
        }
    }
    if (cells < m.n_pipecells)
        return refuse_line(f, head.number, format_text("PIPECELLS declares %d pipe cells; the file gives %d.",
                                                       m.n_pipecells, cells));
    const int np = m.n_pipecells, mp = std::max(m.max_pipes_per_cell, 1);
    alloc_ivector(m.gpi_ncellsingrid, np, "gpi_ncellsingrid");
    alloc_imatrix(m.gpi_link, np, mp, "gpi_link");
    alloc_imatrix(m.gpi_node, np, mp, "gpi_node");
    alloc_imatrix(m.gpi_gnum, np, mp, "gpi_gnum");
    alloc_dmatrix(np, mp, m.gpi_pct, "gpi_pct");
    if (!blocks_made(g_error_record, "the grid-pipe tables", m.gpi_ncellsingrid, m.gpi_link, m.gpi_node, m.gpi_gnum,
                     m.gpi_pct))
        return false;
    int cell = 0, gnum = 0, declared = 0, given = 0, cell_line = 0;
    auto all_given = [&](int at) {
        if (cell == 0 || given == declared) return true;
        return refuse_line(f, cell_line, format_text("pipe cell %d declares %d pipes; %d SPIPE lines follow it before "
                                                     "line %d.", cell, declared, given, at));
    };
    for (int n = line + 1; n <= f.count(); ++n) {
        sewer_card c = card_of(f, n);
        if (c.card == "CELLIJ") {
            if (!all_given(n)) return false;
            int i = 0, j = 0;
            if (!take(c, i) || !take(c, j)) return false;
            gnum = cell_at(m, i, j);
            if (gnum == 0)
                return refuse_value(c, format_text("names column %d, row %d, which is not an active cell of the grid.",
                                                   i, j));
            ++cell;
            cell_line = n;
            declared = given = 0;
        } else if (c.card == "NUMPIPES") {
            if (!take(c, declared)) return false;
            m.gpi_ncellsingrid[cell] = declared;
        } else if (c.card == "SPIPE") {
            if (cell == 0) return refuse_value(c, "comes before the first CELLIJ card.");
            if (given == declared)
                return refuse_value(c, format_text("is pipe %d of pipe cell %d, which declares %d.", given + 1, cell,
                                                   declared));
            ++given;
            int link = 0, node = 0;
            if (!take_in(c, link, 1, m.n_superlinks, "a superlink") ||
                !take_in(c, node, 1, m.nnodes[link], "a pipe") || !take(c, m.gpi_pct[cell][given]))
                return false;
            m.gpi_link[cell][given] = link;
            m.gpi_node[cell][given] = node;
            m.gpi_gnum[cell][given] = gnum;
        }
    }
    return all_given(f.count() + 1);
}

}  // namespace

void setup_superlink_network(model_state& m) {
    if (!m.storm_sewer_given) return;
    file_ptr sewer = open_required_input(m.storm_sewer, "tile drain grid pipe");
    if (!sewer) return;
    file_ptr grid = open_required_input(m.grid_pipe, "tile drain grid pipe");
    if (!grid) return;
    sewer_reader r(m);
    r.f.name = m.storm_sewer;
    r.f.kind = "storm-sewer file";
    load_card_file(sewer.get(), r.f);
    close_file(sewer);
    if (!count_pass(r)) return;
    if (!allocate_input_tables(r) || !read_pass(r) || !build_computational(r)) return;
    const bool grid_ok = read_grid_pipe(m, grid.get(), m.grid_pipe);
    close_file(grid);
    if (!grid_ok) return;
    alloc_dvector(m.Q_tile_grid, m.ncells, "Q_tile_grid");
    alloc_dvector(m.vol_tile_grid, m.ncells, "vol_tile_grid");
    alloc_dvector(m.tilerecharge_to_gw, m.ncells, "tilerecharge_to_gw");
    if (!blocks_made(g_error_record, "the tile-drain flows of the cells", m.Q_tile_grid, m.vol_tile_grid,
                     m.tilerecharge_to_gw))
        return;
    m.sjunc_card_line = r.junc_line;
    say(m, format_text("read superlink pipe file, %d junctions, %d links\n", m.n_sjunc, m.n_superlinks));
}

}  // namespace kesta
