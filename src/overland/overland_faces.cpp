#include "overland/overland_faces.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "overland/overland_lakes.hpp"
#include "overland/overland_route.hpp"

namespace kesta {
namespace overland_detail {

bool overland_arrays_ready(model_state& m) {
    const int n = m.ncells;
    if (n < 0) return refuse(format_text("Error: the grid has a negative cell count (%d).\n", n));
    if (n > 0 && !(m.gridsize > 0.0)) {
        return refuse(format_text("Error: overland flow needs a positive cell size, not %f m.\n",
                                  m.gridsize));
    }
    struct named_d { const vec1<double>* v; const char* name; };
    struct named_i { const vec1<int>* v; const char* name; };
    const named_d doubles[] = {{&m.h, "h"},           {&m.dh, "dh"},
                               {&m.elev, "elev"},     {&m.retent_dep, "retent_dep"},
                               {&m.dist_rough, "dist_rough"}, {&m.sox, "sox"},
                               {&m.soy, "soy"},       {&m.qx, "qx"},
                               {&m.qy, "qy"}};
    const named_i ints[] = {{&m.rightcon, "rightcon"}, {&m.belowcon, "belowcon"},
                            {&m.leftcon, "leftcon"},   {&m.abovecon, "abovecon"}};
    for (const auto& d : doubles) {
        if (!holds(*d.v, n)) {
            return refuse(format_text("Error: the overland array %s holds %d cells, not the %d of the grid.\n",
                                      d.name, std::max(0, d.v->n()), n));
        }
    }
    for (const auto& d : ints) {
        if (!holds(*d.v, n)) {
            return refuse(format_text("Error: the overland array %s holds %d cells, not the %d of the grid.\n",
                                      d.name, std::max(0, d.v->n()), n));
        }
    }
    return true;
}

bool neighbours_in_range(model_state& m) {
    const int n = m.ncells;
    const std::pair<const vec1<int>*, const char*> vectors[] = {
        {&m.rightcon, "rightcon"}, {&m.belowcon, "belowcon"}, {&m.leftcon, "leftcon"},
        {&m.abovecon, "abovecon"}};
    for (const auto& [v, name] : vectors) {
        for (int i = 1; i <= n; ++i) {
            const int k = (*v)[i];
            if (k < 0 || k > n) {
                return refuse(format_text("Error: cell %d names neighbour %d in %s, outside cells 1 to %d.\n",
                                          i, k, name, n));
            }
        }
    }
    return true;
}

namespace {

// Depth (m) cell i gives through the faces of `l` in the sub-step.
double given_through(const face_line& l, int i, double k) {
    double given = 0.0;
    if (l.nb[i] && l.q[i] > 0.0) given += l.q[i] * k;
    const int u = l.up[i];
    if (u && l.q[u] < 0.0) given -= l.q[u] * k;
    return given;
}

// Scales by `keep` the faces of `l` through which cell i gives water, and
// moves the depth no longer given back from the cells they feed.
void scale_given(const face_line& l, int i, double keep, double* dh, double k) {
    const int r = l.nb[i];
    if (r && l.q[i] > 0.0) {
        const double back = l.q[i] * k * (1.0 - keep);
        dh[i] += back;
        dh[r] -= back;
        l.q[i] *= keep;
    }
    const int u = l.up[i];
    if (u && l.q[u] < 0.0) {
        const double back = -l.q[u] * k * (1.0 - keep);
        dh[i] += back;
        dh[u] -= back;
        l.q[u] *= keep;
    }
}

// Passes over the cells (alternately forwards and backwards) before every
// cell is made to give at most its depth at the start: a cell fed less can
// go below 0 in turn, and water on a line reaches it in one pass of its own
// direction.
constexpr int kOverdrawPasses = 8;

}  // namespace

void limit_overdraws(const double* h, double* dh, int n, const face_line* lines, int nlines, double k,
                     const int* lake_of, int nlakes) {
    auto in_lake = [&](int i) { return lake_of && lake_of[i] >= 1 && lake_of[i] <= nlakes; };
    for (int pass = 0; pass < kOverdrawPasses; ++pass) {
        bool changed = false;
        const bool forwards = pass % 2 == 0;
        for (int step = 1; step <= n; ++step) {
            const int i = forwards ? step : n + 1 - step;
            if (in_lake(i)) continue;
            const double end = h[i] + dh[i];
            if (!(end < 0.0)) continue;
            double given = 0.0;
            for (int d = 0; d < nlines; ++d) given += given_through(lines[d], i, k);
            if (!(given > 0.0)) {
                // Giving nothing, a cell that started at 0 m or more is below
                // 0 only by the rounding of what it was fed.
                if (h[i] >= 0.0) dh[i] = -h[i];
                continue;
            }
            // end < 0, so keep < 1; keep < 0 only for a cell that started
            // below 0 and gives all it can.
            const double keep = std::max(0.0, (given + end) / given);
            for (int d = 0; d < nlines; ++d) scale_given(lines[d], i, keep, dh, k);
            if (keep > 0.0) dh[i] = -h[i];  // its end depth is exactly 0, not a rounding below
            changed = true;
        }
        if (!changed) return;
    }
    // Not settled: no cell gives more than it had at the start, whatever it
    // receives (each face is cut only by its donor).
    for (int i = 1; i <= n; ++i) {
        if (in_lake(i)) continue;
        double given = 0.0;
        for (int d = 0; d < nlines; ++d) given += given_through(lines[d], i, k);
        const double held = std::max(0.0, h[i]);
        if (!(given > held)) continue;
        for (int d = 0; d < nlines; ++d) scale_given(lines[d], i, held / given, dh, k);
    }
    for (int i = 1; i <= n; ++i)
        if (!in_lake(i) && h[i] >= 0.0 && h[i] + dh[i] < 0.0) dh[i] = -h[i];  // a rounding below 0
}

namespace {

// Calls f(lake, land, q) for every face of `l` through which a lake gives
// water to a land cell; q is the face's flux (changed by f as it likes).
template <class F>
void for_lake_giving(const grid_view& g, const face_line& l, F f) {
    for (int i = 1; i <= g.n; ++i) {
        const int r = l.nb[i];
        if (r == 0 || l.q[i] == 0.0) continue;
        const int li = g.lake(i), lr = g.lake(r);
        if ((li != 0) == (lr != 0)) continue;
        if (li && l.q[i] > 0.0) f(li, r, l.q[i]);
        if (lr && l.q[i] < 0.0) f(lr, i, l.q[i]);
    }
}

}  // namespace

void limit_lake_giving(const grid_view& g, const face_line* lines, int nlines, double k, double* given) {
    if (g.lakes == lake_mode::none) return;
    std::fill(given, given + g.nlakes + 1, 0.0);
    for (int d = 0; d < nlines; ++d)
        for_lake_giving(g, lines[d], [&](int lake, int, double& q) { given[lake] += std::fabs(q) * k * g.area; });
    bool any = false;
    for (int lake = 1; lake <= g.nlakes; ++lake) {
        const double held = std::max(0.0, g.lakes == lake_mode::channel
                                              ? g.lake_volume[lake]
                                              : g.olake_above[lake] + g.olake[lake].step_volume);
        // given[] turns into the share each lake may give.
        given[lake] = given[lake] > held ? held / given[lake] : 1.0;
        any = any || given[lake] < 1.0;
    }
    if (!any) return;
    for (int d = 0; d < nlines; ++d) {
        for_lake_giving(g, lines[d], [&](int lake, int land, double& q) {
            const double keep = given[lake];
            if (keep >= 1.0) return;
            g.dh[land] -= std::fabs(q) * k * (1.0 - keep);
            q *= keep;
        });
    }
}

lake_mode routing_lake_mode(const model_state& m, bool channel_first) {
    const bool overland = m.overland_lake_map_given && holds(m.oland_lake_new, m.ncells);
    const bool channel = m.chan_lakes_on && holds(m.lake_num, m.ncells);
    if (channel_first) {
        if (channel) return lake_mode::channel;
        if (overland) return lake_mode::overland;
    } else {
        if (overland) return lake_mode::overland;
        if (channel) return lake_mode::channel;
    }
    return lake_mode::none;
}

namespace {

// Marks the cells of a regular grid whose neighbours lie at fixed gaps: the
// next and the previous cell, and the cells a row's stride on and back (the
// gap to the lower neighbour of the first cell that has one).
void mark_interior(model_state& m, const grid_view& g) {
    const int n = g.n;
    int stride = 0;
    for (int i = 1; i <= n && stride == 0; ++i) {
        if (g.below[i]) stride = g.below[i] - i;
    }
    const int top = interior_marks_top(n);
    if (m.ov_interior.n() < top) m.ov_interior = vec1<unsigned char>(top);
    unsigned char* marks = m.ov_interior.data();
    std::fill(marks, marks + top + 1, static_cast<unsigned char>(0));
    for (int i = 1; i <= n; ++i) {
        const bool inside = stride > 0 && g.right[i] == i + 1 && g.left[i] == i - 1 && g.below[i] == i + stride &&
                            g.above[i] == i - stride;
        if (inside) marks[i / 8] |= static_cast<unsigned char>(1u << (i % 8));
    }
    m.ov_row_stride = stride;
}

// Sets m.ov_faces_regular, m.ov_face_reach and, on a regular grid, the
// interior marks (see find_face_layout).
void find_layout_once(model_state& m, const grid_view& g) {
    const int n = g.n;
    const int *right = g.right, *left = g.left, *below = g.below, *above = g.above;
    std::atomic<bool> irregular{false};
    for_blocks(n, [=, &irregular](int lo, int hi) {
        bool regular = true;
        for (int i = lo; i <= hi; ++i) {
            const int r = right[i], l = left[i], b = below[i], a = above[i];
            regular = regular && (r == 0 || (r > i && left[r] == i)) && (l == 0 || (l < i && right[l] == i)) &&
                      (b == 0 || (b > i && above[b] == i)) && (a == 0 || (a < i && below[a] == i));
        }
        if (!regular) irregular.store(true, std::memory_order_relaxed);
    });
    const bool regular = !irregular.load();
    int reach = 1;
    for (int i = 1; i <= n; ++i) {
        if (right[i]) reach = std::max(reach, right[i] - i);
        if (below[i]) reach = std::max(reach, below[i] - i);
    }
    m.ov_faces_regular = regular ? 1 : 0;
    m.ov_face_reach = reach;
    if (regular) mark_interior(m, g);
}

}  // namespace

void find_face_layout(model_state& m, grid_view& g) {
    if (m.ov_faces_regular < 0) find_layout_once(m, g);
    if (m.ov_faces_regular == 1 && m.ov_interior.n() >= interior_marks_top(g.n) && m.ov_row_stride > 0) {
        g.interior = m.ov_interior.data();
        g.stride = m.ov_row_stride;
    }
}

bool one_pass_grid(model_state& m, grid_view& g) {
    find_face_layout(m, g);
    return g.lakes == lake_mode::none && !g.dike && !g.wet_mask && m.ov_faces_regular == 1;
}

bool make_surface_classes(const double* ret, const double* inv_rough, int n, std::vector<unsigned char>& of_cell,
                          std::vector<double>& table) {
    constexpr int kClasses = 256;
    std::vector<std::uint64_t> bits;  // 2c, 2c + 1: the pair of class c
    of_cell.assign(static_cast<std::size_t>(n) + 1, 0);
    table.clear();
    int last = -1;  // the class of the cell before, tried first
    for (int k = 1; k <= n; ++k) {
        std::uint64_t r = 0, v = 0;
        std::memcpy(&r, ret + k, sizeof r);
        std::memcpy(&v, inv_rough + k, sizeof v);
        int c = last >= 0 && bits[2 * last] == r && bits[2 * last + 1] == v ? last : -1;
        for (int j = 0; c < 0 && j < static_cast<int>(bits.size()) / 2; ++j) {
            if (bits[2 * j] == r && bits[2 * j + 1] == v) c = j;
        }
        if (c < 0) {
            if (static_cast<int>(bits.size()) / 2 == kClasses) {
                of_cell.clear();
                return false;
            }
            c = static_cast<int>(bits.size()) / 2;
            bits.push_back(r);
            bits.push_back(v);
        }
        of_cell[static_cast<std::size_t>(k)] = static_cast<unsigned char>(c);
        last = c;
    }
    table.assign(bits.size(), 0.0);
    if (!bits.empty()) std::memcpy(table.data(), bits.data(), bits.size() * sizeof(double));
    return true;
}

namespace {

// Fills m.ov_surface_class and m.ov_class_table from retent_dep and
// ov_inv_rough (see model_state), or empties them when the grid holds more
// than 256 distinct pairs or either vector is short.
void find_surface_classes(model_state& m) {
    const int n = m.ncells;
    m.ov_surface_class = vec1<unsigned char>();
    m.ov_class_table.clear();
    if (n < 1 || !holds(m.retent_dep, n) || !holds(m.ov_inv_rough, n)) return;
    std::vector<unsigned char> of_cell;
    if (!make_surface_classes(m.retent_dep.data(), m.ov_inv_rough.data(), n, of_cell, m.ov_class_table)) return;
    m.ov_surface_class = vec1<unsigned char>(n);
    std::memcpy(m.ov_surface_class.data(), of_cell.data(), of_cell.size());
}

}  // namespace

grid_view make_grid_view(model_state& m, lake_mode lakes) {
    grid_view g;
    g.n = m.ncells;
    g.dx = m.gridsize;
    g.inv_dx = m.gridsize > 0.0 ? 1.0 / m.gridsize : 0.0;
    g.area = m.gridsize * m.gridsize;
    g.h = m.h.data();
    g.dh = m.dh.data();
    g.elev = m.elev.data();
    g.ret = m.retent_dep.data();
    g.rough = m.dist_rough.data();
    if (!m.ov_inv_rough_ready || m.ov_inv_rough.n() < m.ncells) {
        if (m.ov_inv_rough.n() < m.ncells) m.ov_inv_rough = vec1<double>(m.ncells);
        const double* n = m.dist_rough.data();
        double* inv = m.ov_inv_rough.data();
        const int cells = std::min(m.ncells, m.dist_rough.n());
        for (int k = 1; k <= cells; ++k) inv[k] = 1.0 / n[k];
        find_surface_classes(m);
        m.ov_inv_rough_ready = 1;
    }
    g.inv_rough = m.ov_inv_rough.data();
    if (m.ov_surface_class.n() >= m.ncells && m.ncells > 0) {
        g.surface_class = m.ov_surface_class.data();
        g.class_table = m.ov_class_table.data();
    }
    g.sox = m.sox.data();
    g.soy = m.soy.data();
    g.right = m.rightcon.data();
    g.below = m.belowcon.data();
    g.left = m.leftcon.data();
    g.above = m.abovecon.data();
    g.qx = m.qx.data();
    g.qy = m.qy.data();
    if (m.dike_map_given && holds(m.dike_mask, m.ncells)) g.dike = m.dike_mask.data();
    if (m.wetlands_given && holds(m.wetland_mask, m.ncells) && !m.wetland_table.empty()) {
        g.wet_mask = m.wetland_mask.data();
        g.wet = m.wetland_table.data();
        g.wet_count = static_cast<int>(m.wetland_table.size());
    }
    g.lakes = lakes;
    if (lakes == lake_mode::overland) {
        g.lake_of = m.oland_lake_new.data();
        g.olake = m.oland_lakes.empty() ? nullptr : m.oland_lakes.data();
        g.nlakes = m.oland_lakes.empty() ? 0 : static_cast<int>(m.oland_lakes.size()) - 1;
        olake_water_above_initial(m, m.olake_above_initial);
        g.olake_above = m.olake_above_initial.data();
    } else if (lakes == lake_mode::channel) {
        g.lake_of = m.lake_num.data();
        g.nlakes = std::min({m.nlakes, m.lake_elev.n(), m.lake_volume.n(), m.lake_in_dv.n(),
                             m.lake_out_dv.n()});
        if (g.nlakes < 0) g.nlakes = 0;
        g.lake_elev = m.lake_elev.data();
        g.lake_volume = m.lake_volume.data();
        g.lake_in_dv = m.lake_in_dv.data();
        g.lake_out_dv = m.lake_out_dv.data();
    }
    if (g.nlakes == 0) g.lakes = lake_mode::none;
    return g;
}

}  // namespace overland_detail

bool check_wetland_roughness(model_state& m) {
    if (!m.wetlands_given) return true;
    const int records = static_cast<int>(m.wetland_table.size());
    const int n = std::min(m.ncells, m.wetland_mask.n());
    for (int i = 1; i <= n; ++i) {
        const int w = m.wetland_mask[i];
        if (w <= 0) continue;
        if (w >= records) {
            return refuse(format_text("Error: cell %d lies in wetland category %d, which has no record in "
                                      "the WETLAND_PROPERTIES table.\n",
                                      i, w));
        }
        const double n_w = m.wetland_table[static_cast<std::size_t>(w)].field[6];
        if (!(n_w > 0.0) || !std::isfinite(n_w)) {
            return refuse(format_text("Error: wetland category %d has a Manning's n of %f in the "
                                      "WETLAND_PROPERTIES table; overland flow over a wetland needs a "
                                      "positive n.\n",
                                      w, n_w));
        }
    }
    return true;
}

}  // namespace kesta
