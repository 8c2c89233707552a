// Wash load in the channels and the channel-network lakes.
//
// The network is a set of stores, the computational nodes of the open
// channels and the lakes, joined by faces: between the nodes of a link,
// from a link's last node to the first node of the link below it (or into
// the lake below it), through a structure from the store above it to the
// store below it, and from a lake to the first node of the link it feeds.
// The water that crossed each face in the channel step is the routing's
// (qp_vol_sed), so the wash load moves with the water that moved.
//
// Each step is an upwind predictor-corrector pair: the face volumes of the
// concentrations at the step's start, the concentrations they would leave,
// the face volumes of those, and their mean applied to the volumes the step
// started with. A store gives no more through all its faces than it holds,
// so no volume goes negative; what one store gives another takes, or it
// leaves through the outlet. A dry node holds its wash load until water
// comes to carry it.
//
// A lake then takes the net wash load the overland carried into it, lets a
// share settle onto its cells (at most what it holds), and sets the
// concentrations the overland and the outputs read.
#include <algorithm>
#include <cmath>

#include "channel/link_types.hpp"
#include "model/model_state.hpp"
#include "transport/channel_constituents.hpp"
#include "transport/channel_sediment.hpp"
#include "transport/network_faces.hpp"

namespace kesta {

namespace {

// The water of every store (m3): the flow area of a node over its link's
// node spacing, the volume of a lake.
void fill_water(model_state& m) {
    sed_record& s = *m.ov_sed;
    s.water.fill(0.0);
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l]; ++j) s.water[node_row(s, j, l)] = m.area[j][l] * m.chan_dx[l];
    }
    for (int k = 1; k <= m.nlakes; ++k) s.water[lake_row(s, k)] = m.lake_volume[k];
}

void fill_concentrations(sed_record& s, const mat2<double>& held, int positions) {
    const int rows = held.nrows();
    for (int r = 1; r <= rows; ++r) {
        const double w = s.water[r];
        for (int k = 1; k <= positions; ++k) s.wash_conc[r][k] = w > kTinyWater ? held[r][k] / w : 0.0;
    }
}

int source_of(const wash_face& f) { return f.water >= 0.0 ? f.up : f.down; }
int receiver_of(const wash_face& f) { return f.water >= 0.0 ? f.down : f.up; }

// Scales the face volumes of every store asked for more than `held` holds
// through all its faces, so that it gives what it holds.
void limit_to_held(sed_record& s, const mat2<double>& held, mat2<double>& flux, int positions) {
    const int nfaces = static_cast<int>(s.faces.size());
    for (int f = 0; f < nfaces; ++f) {
        const int src = source_of(s.faces[static_cast<std::size_t>(f)]);
        if (src <= 0) continue;
        for (int k = 1; k <= positions; ++k) s.wash_asked[src][k] += flux[f][k];
    }
    for (int f = 0; f < nfaces; ++f) {
        const int src = source_of(s.faces[static_cast<std::size_t>(f)]);
        if (src <= 0) continue;
        for (int k = 1; k <= positions; ++k) {
            const double asked = s.wash_asked[src][k];
            if (asked > held[src][k]) flux[f][k] *= asked > 0.0 ? std::max(0.0, held[src][k]) / asked : 0.0;
        }
    }
    for (const wash_face& face : s.faces) {
        const int src = source_of(face);
        if (src > 0) std::fill(s.wash_asked[src] + 1, s.wash_asked[src] + positions + 1, 0.0);
    }
}

// Face volumes (m3 by position) of the concentrations in wash_conc, within
// what the stores hold (`held`).
void face_volumes(sed_record& s, const mat2<double>& held, mat2<double>& flux, int positions) {
    const int nfaces = static_cast<int>(s.faces.size());
    for (int f = 0; f < nfaces; ++f) {
        const wash_face& face = s.faces[static_cast<std::size_t>(f)];
        const int src = source_of(face);
        const double w = std::fabs(face.water);
        for (int k = 1; k <= positions; ++k) flux[f][k] = src > 0 ? w * s.wash_conc[src][k] : 0.0;
    }
    limit_to_held(s, held, flux, positions);
}

// Applies the face volumes to the stores' volumes `held`.
void apply_faces(const sed_record& s, const mat2<double>& flux, mat2<double>& held, int positions) {
    const int nfaces = static_cast<int>(s.faces.size());
    for (int f = 0; f < nfaces; ++f) {
        const wash_face& face = s.faces[static_cast<std::size_t>(f)];
        const int src = source_of(face), rcv = receiver_of(face);
        if (src <= 0) continue;
        for (int k = 1; k <= positions; ++k) {
            const double x = flux[f][k];
            held[src][k] -= x;
            if (rcv > 0) held[rcv][k] += x;
        }
    }
}

void add_to_books(sed_record& s, vec1<double> chan_sed_books::*what, int lake, double v) {
    for (chan_sed_books* b : {&s.event_books, &s.run_books}) {
        (b->*what)[lake] += v;
        (b->*what)[0] += v;
    }
}

// What the final face volumes moved: the lakes' exchange with the
// channels, the outlet, and each node's flux through its downstream face.
void book_face_volumes(sed_record& s, double dt, int positions) {
    const int nfaces = static_cast<int>(s.faces.size());
    for (int f = 0; f < nfaces; ++f) {
        const wash_face& face = s.faces[static_cast<std::size_t>(f)];
        const int src = source_of(face), rcv = receiver_of(face);
        if (src <= 0) continue;
        const double* x = s.face_flux[f];
        double total = 0.0;
        for (int k = 1; k <= positions; ++k) total += x[k];
        if (face.owner > 0) {
            const double sign = face.water >= 0.0 ? 1.0 : -1.0;
            for (int k = 1; k <= positions; ++k) s.qsmax[face.owner][k] = sign * x[k] / dt;
        }
        if (rcv == 0) {
            for (int k = 1; k <= positions; ++k) s.qs_out_chan_wash[k] += x[k] / dt;
            s.event_books.wash_out += total;
            s.run_books.wash_out += total;
        } else if (is_lake_row(s, rcv)) {
            add_to_books(s, &chan_sed_books::chan_to_lake, rcv - s.lake_row0, total);
        }
        if (is_lake_row(s, src)) add_to_books(s, &chan_sed_books::lake_to_chan, src - s.lake_row0, total);
    }
}

void sum_positions(mat2<double>& held, int positions) {
    const int rows = held.nrows();
    for (int r = 1; r <= rows; ++r) {
        double t = 0.0;
        for (int k = 1; k <= positions; ++k) t += held[r][k];
        held[r][0] = t;
    }
}

}  // namespace

void build_wash_faces(model_state& m) {
    sed_record& s = *m.ov_sed;
    build_network_faces(m, network_rows{s.node_stride, s.lake_row0}, m.qp_vol_sed, s.faces);
}

void advect_wash_load(model_state& m, double dt) {
    sed_record& s = *m.ov_sed;
    const int positions = s.n_fine_classes;
    s.qs_out_chan_wash.fill(0.0);
    fill_water(m);
    if (positions < 1) return;
    mat2<double>& held = s.ch_wash_vol;
    // Predictor: the volumes the concentrations at the start would leave.
    fill_concentrations(s, held, positions);
    face_volumes(s, held, s.face_flux, positions);
    const int rows = held.nrows();
    for (int r = 1; r <= rows; ++r) std::copy(held[r], held[r] + positions + 1, s.wash_predicted[r]);
    apply_faces(s, s.face_flux, s.wash_predicted, positions);
    // Corrector: the face volumes of the predicted concentrations; the step
    // moves the mean of the two, within what each store holds.
    fill_concentrations(s, s.wash_predicted, positions);
    face_volumes(s, s.wash_predicted, s.face_flux2, positions);
    const int nfaces = static_cast<int>(s.faces.size());
    for (int f = 0; f < nfaces; ++f) {
        for (int k = 1; k <= positions; ++k) s.face_flux[f][k] = 0.5 * (s.face_flux[f][k] + s.face_flux2[f][k]);
    }
    limit_to_held(s, held, s.face_flux, positions);
    apply_faces(s, s.face_flux, held, positions);
    sum_positions(held, positions);
    book_face_volumes(s, dt, positions);
}

void update_lake_sediment(model_state& m, double dt) {
    sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes;
    const bool overland = !s.sed_vol_overland_to_lake.empty();
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        double* held = s.ch_wash_vol[lake_row(s, lake)];
        if (overland) {
            // The net volume the overland moved in since the last step,
            // taken once: the fine classes join the suspension; the sand
            // lies on the deposit of the lake's edge cells already.
            double* in = s.sed_vol_overland_to_lake[lake];
            for (int pos = 1; pos <= s.num_sed; ++pos) {
                const int c = s.sed_class[pos];
                const double v = in[c];
                in[c] = 0.0;
                if (pos <= nf) {
                    held[pos] += v;
                    add_to_books(s, &chan_sed_books::overland_to_lake, lake, v);
                } else {
                    add_to_books(s, &chan_sed_books::edge_sand, lake, v);
                }
            }
            std::fill(s.SS_vol_lake_to_overland[lake], s.SS_vol_lake_to_overland[lake] + nf + 1, 0.0);
        }
        const int cells = m.lake_cells[lake];
        const double water = m.lake_volume[lake];
        if (cells >= 1 && water > kTinyWater) {
            // Settling over the lake's area in dt, shared by its cells.
            const double reach = dt * m.lake_area[lake] / water;
            double settled = 0.0;
            for (int pos = 1; pos <= nf; ++pos) {
                if (!(held[pos] > 0.0)) continue;
                const int c = s.sed_class[pos];
                const double v = std::min(held[pos], held[pos] * s.sed_fall[c] * reach);
                keep_settled_share(m, lake, pos, v, held[pos]);
                held[pos] -= v;
                settled += v;
                const double share = v / cells;
                for (int k = 1; k <= cells; ++k) {
                    const int cell = m.mask[m.lake_search_row[lake][k]][m.lake_search_col[lake][k]];
                    s.vol_sed.deposited[cell][c] += share;
                }
            }
            add_to_books(s, &chan_sed_books::settled, lake, settled);
        }
        double total = 0.0;
        for (int pos = 1; pos <= nf; ++pos) {
            total += held[pos];
            s.SS_conc_vol_lake[lake][pos] = water > kTinyWater ? held[pos] / water : 0.0;
        }
        held[0] = total;
    }
}

}  // namespace kesta
