#include "transport/network_faces.hpp"

#include "channel/link_types.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

// The store that gives the water to a structure (or takes it back): the
// lake that holds link u, else u's last node; -1 when there is none.
int store_above(const model_state& m, const network_rows& r, int u) {
    if (u < 1) return -1;
    const int lake = lake_holding_link(m, u);
    if (lake) return r.lake(lake);
    if (!link_is_open_channel(m.ltype[u]) || m.nx[u] < 1) return -1;
    return r.node(m.nx[u], u);
}

// The store below link l's last node or below a structure: the lake that
// holds link d, else d's first node; 0 (outside) at the outlet; -1 when
// there is none.
int store_below(const model_state& m, const network_rows& r, int d) {
    if (d == 0) return 0;
    const int lake = lake_holding_link(m, d);
    if (lake) return r.lake(lake);
    if (!link_is_open_channel(m.ltype[d]) || m.nx[d] < 1) return -1;
    return r.node(1, d);
}

}  // namespace

int lake_holding_link(const model_state& m, int l) {
    if (l < 1 || l > m.nlinks) return 0;
    const int t = m.ltype[l];
    if (!link_is_lake(t) && !link_is_overtaken(t)) return 0;
    const int lake = m.ldex[l];
    return lake >= 1 && lake <= m.nlakes ? lake : 0;
}

int most_network_faces(const model_state& m) {
    int n = 0;
    for (int l = 1; l <= m.nlinks; ++l) n += m.link_nodes[l] + 1;
    return n;
}

void build_network_faces(const model_state& m, const network_rows& r, const mat2<double>& volumes,
                         std::vector<wash_face>& faces) {
    faces.clear();
    const auto add = [&faces](int up, int down, int owner, double water) {
        if (up < 0 || down < 0) return;
        faces.push_back({up, down, owner, water});
    };
    for (int l = 1; l <= m.nlinks; ++l) {
        const int t = m.ltype[l];
        if (link_is_structure(t)) {
            if (m.ndep[l] < 1) continue;
            const int up = store_above(m, r, m.uslinks[l][1]);
            const bool open_above = up > 0 && !r.is_lake(up);
            add(up, store_below(m, r, m.dslink[l]), open_above ? up : 0, volumes[1][l]);
        } else if (link_is_lake(t)) {
            // A lake feeds the link below it what that link's first node
            // passes on; a structure below it is a face of its own.
            const int d = m.dslink[l];
            const int lake = lake_holding_link(m, l);
            if (lake && d != 0 && link_is_open_channel(m.ltype[d]) && m.nx[d] >= 1)
                add(r.lake(lake), r.node(1, d), 0, volumes[1][d]);
        } else if (link_is_open_channel(t)) {
            const int n = m.nx[l];
            for (int j = 1; j < n; ++j) add(r.node(j, l), r.node(j + 1, l), r.node(j, l), volumes[j][l]);
            const int d = m.dslink[l];
            if (n < 1 || (d != 0 && link_is_structure(m.ltype[d]))) continue;
            add(r.node(n, l), store_below(m, r, d), r.node(n, l), volumes[n][l]);
        }
    }
}

}  // namespace kesta
