// Contaminants attached to the wash load in the channels and the lakes
// (SEDIMENT_CONTAM with channel sediment and CHAN_CON_TRANS).
//
// The attached mass of a fine class rides with the class's volume: the
// stream cells give the nodes the attached mass of the suspension they
// give (the same share of it) and the mass sorbed to the deposit they give
// (taken from the cell's mixing layer); the wash load's faces carry the
// mass per m3 the giving store held at the step's start; a lake takes the
// attached mass the overland brought onto its cells, and the sediment that
// settles in it lays its share onto the lake's cells. After each routing
// of the dissolved mass the dissolved and attached mass of every wet node
// and lake share out anew by linear sorption on the suspended wash load.
//
// Books (kg): CHAN_QLAT_SED_MASS in from the cells, CHAN_OUTLET_SED_MASS
// out of the basin (and GLOBAL_MASS_OUT), CHAN_LAKE_SED_CONTAM_MASS from
// the channels into the lakes (net), OV_LAKE_SED_CONTAM_MASS from the
// overland into the lakes (net: less what their spills over land carried
// back), LAKE_SETTLED_SED_MASS onto the lakes' cells;
// the sorption split books what the dissolved mass gained (negative: lost)
// in CHAN_SED_SOURCE_MASS and LAKE_SED_CONTAM_SOURCE_MASS, the attached
// mass losing (gaining) the same grams.
#include <algorithm>
#include <cmath>

#include "model/model_state.hpp"
#include "transport/channel_constituents.hpp"
#include "transport/channel_sediment.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kTinyVolume = 1e-16;  // m3 of sediment or water

int lake_of_cell(const model_state& m, int k) {
    const int lake = m.lake_num.n() >= k ? m.lake_num[k] : 0;
    return lake >= 1 && lake <= m.nlakes ? lake : 0;
}

}  // namespace

bool chan_attached_on(const model_state& m) { return !m.chan_sed_contam.empty() && m.ov_sed != nullptr; }

void attached_to_node(model_state& m, int cell, int row, int pos, double share, double deposited) {
    if (!chan_attached_on(m)) return;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        mat2<double>& a = m.attached_mass[static_cast<std::size_t>(c)];
        const double suspended = share * std::max(0.0, a[cell][pos]);
        a[cell][pos] -= suspended;
        a[cell][0] -= suspended;
        const double g = suspended + take_sorbed_with_deposit(m, c, cell, deposited);
        if (!(g > 0.0)) continue;
        double* to = m.chan_sed_contam[static_cast<std::size_t>(c)][row];
        to[pos] += g;
        to[0] += g;
        book(m, con_flow::chan_attached_lateral, c, g);
    }
}

void attached_node_to_lake(model_state& m, int row, int lake) {
    if (!chan_attached_on(m)) return;
    const int nf = m.ov_sed->n_fine_classes, to = m.ov_sed->lake_row0 + lake;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        mat2<double>& a = m.chan_sed_contam[static_cast<std::size_t>(c)];
        if (a[row][0] == 0.0) continue;
        book(m, con_flow::chan_attached_to_lakes, c, a[row][0]);
        for (int pos = 0; pos <= nf; ++pos) {
            a[to][pos] += a[row][pos];
            a[row][pos] = 0.0;
        }
    }
}

void keep_wash_start(model_state& m) {
    if (!chan_attached_on(m)) return;
    const mat2<double>& held = m.ov_sed->ch_wash_vol;
    const int rows = held.nrows(), cols = held.ncols() + 1;
    for (int r = 1; r <= rows; ++r) std::copy(held[r], held[r] + cols, m.chan_wash_start[r]);
}

void advect_attached(model_state& m) {
    if (!chan_attached_on(m)) return;
    const sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes, rows = s.ch_wash_vol.nrows();
    const int nfaces = static_cast<int>(s.faces.size());
    mat2<double>& ratio = m.chan_attached_ratio;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        mat2<double>& a = m.chan_sed_contam[static_cast<std::size_t>(c)];
        for (int r = 1; r <= rows; ++r) {
            for (int pos = 1; pos <= nf; ++pos) {
                const double v = m.chan_wash_start[r][pos];
                ratio[r][pos] = v > kTinyVolume && a[r][pos] > 0.0 ? a[r][pos] / v : 0.0;
            }
        }
        double out = 0.0, to_lakes = 0.0;
        double* through = m.attached_chan_moved[c];
        for (int f = 0; f < nfaces; ++f) {
            const wash_face& face = s.faces[static_cast<std::size_t>(f)];
            const int from = face.water >= 0.0 ? face.up : face.down, to = face.water >= 0.0 ? face.down : face.up;
            if (from <= 0) continue;
            double moved = 0.0;
            for (int pos = 1; pos <= nf; ++pos) {
                // The face's volume never exceeds what its store held, so
                // neither does the mass it carries.
                const double g = std::min(std::max(0.0, a[from][pos]), s.face_flux[f][pos] * ratio[from][pos]);
                if (!(g > 0.0)) continue;
                a[from][pos] -= g;
                if (to > 0) a[to][pos] += g;
                moved += g;
            }
            a[from][0] -= moved;
            if (to > 0) a[to][0] += moved;
            if (face.owner > 0) through[face.owner] += face.water >= 0.0 ? moved : -moved;
            if (to == 0) out += moved;
            if (to > 0 && is_lake_row(s, to)) to_lakes += moved;
            if (is_lake_row(s, from)) to_lakes -= moved;
        }
        if (out > 0.0) book(m, con_flow::chan_attached_outlet, c, out);
        if (to_lakes != 0.0) book(m, con_flow::chan_attached_to_lakes, c, to_lakes);
    }
}

void attached_cells_to_lakes(model_state& m) {
    if (!chan_attached_on(m) || !m.chan_lakes_on) return;
    const sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        mat2<double>& cells = m.attached_mass[static_cast<std::size_t>(c)];
        mat2<double>& a = m.chan_sed_contam[static_cast<std::size_t>(c)];
        double moved = 0.0;
        for (int k = 1; k <= m.ncells; ++k) {
            const int lake = lake_of_cell(m, k);
            if (!lake || cells[k][0] == 0.0) continue;
            double* to = a[lake_row(s, lake)];
            for (int pos = 1; pos <= nf; ++pos) {
                to[pos] += cells[k][pos];
                to[0] += cells[k][pos];
                moved += cells[k][pos];
                cells[k][pos] = 0.0;
            }
            cells[k][0] = 0.0;
        }
        if (moved != 0.0) book(m, con_flow::ov_attached_to_lakes, c, moved);
    }
}

void keep_settled_share(model_state& m, int lake, int pos, double settled, double held) {
    if (!chan_attached_on(m)) return;
    m.lake_settled_share[lake][pos] = settled > 0.0 && held > kTinyVolume ? std::min(1.0, settled / held) : 0.0;
}

void settle_attached(model_state& m) {
    if (!chan_attached_on(m) || !m.chan_lakes_on) return;
    const sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes;
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        const int cells = m.lake_cells[lake];
        for (int pos = 1; pos <= nf; ++pos) {
            double& part = m.lake_settled_share[lake][pos];
            const double share = part;
            part = 0.0;
            if (!(share > 0.0) || cells < 1) continue;
            for (int c = 1; c <= m.ncontam; ++c) {
                if (!is_contaminant(m, c)) continue;
                double* a = m.chan_sed_contam[static_cast<std::size_t>(c)][lake_row(s, lake)];
                const double g = share * std::max(0.0, a[pos]);
                if (!(g > 0.0)) continue;
                a[pos] -= g;
                a[0] -= g;
                for (int k = 1; k <= cells; ++k)
                    give_sorbed_to_cell(m, c, m.mask[m.lake_search_row[lake][k]][m.lake_search_col[lake][k]],
                                        g / cells);
                book(m, con_flow::lake_attached_settled, c, g);
            }
        }
    }
}

double share_out_store(double& dissolved, double* attached, int classes, const double* sediment,
                       const double* density, double water, double kd, double* conc, double* kds, double* share) {
    double total = std::max(0.0, dissolved);
    for (int pos = 1; pos <= classes; ++pos) {
        conc[pos] = sediment[pos] * density[pos] / water;
        kds[pos] = kd;
        total += std::max(0.0, attached[pos]);
    }
    const double left = total * dissolved_share(classes, conc, kds, share);
    double sum = 0.0;
    for (int pos = 1; pos <= classes; ++pos) sum += attached[pos] = total * share[pos];
    attached[0] = sum;
    const double gained = left - dissolved;
    dissolved = left;
    return gained;
}

void attached_flux_of_interval(model_state& m, double dt) {
    if (!chan_attached_on(m) || !(dt > 0.0)) return;
    for (int c = 1; c <= m.ncontam; ++c) {
        double* moved = m.attached_chan_moved[c];
        double* flux = m.attached_chan_flux[c];
        for (int r = 0; r <= m.chan_rows; ++r) {
            flux[r] = moved[r] / dt;
            moved[r] = 0.0;
        }
    }
}

void partition_channel_attached(model_state& m) {
    if (!chan_attached_on(m)) return;
    const sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes;
    if (nf < 1) return;
    double* conc = m.sorption_conc.data();
    double* kds = m.sorption_kd.data();
    double* share = m.sorption_share.data();
    // By fine position: each class's density (g/m3), in the share's work.
    vec1<double>& density = m.chan_sed_density;
    for (int pos = 1; pos <= nf; ++pos) density[pos] = s.sed_density[s.sed_class[pos]];
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        mat2<double>& a = m.chan_sed_contam[static_cast<std::size_t>(c)];
        double* dissolved = m.chan_mass[c];
        const double kd = m.water_soil_partition_coef.at(c);
        double nodes = 0.0, lakes = 0.0;
        for (int r = 1; r <= m.chan_rows; ++r) {
            const double water = m.chan_water_now[r];
            if (!(water > kTinyVolume)) continue;
            const double g = share_out_store(dissolved[r], a[r], nf, s.ch_wash_vol[r], density.data(), water, kd,
                                             conc, kds, share);
            (is_lake_row(s, r) ? lakes : nodes) += g;
        }
        if (nodes != 0.0) book(m, con_flow::chan_sorption, c, nodes);
        if (lakes != 0.0) book(m, con_flow::lake_sorption, c, lakes);
    }
}

void step_channel_contam_transport(model_state& m) {
    if (!m.chan_attached_due) return;
    m.chan_attached_due = false;
    advect_attached(m);
    attached_cells_to_lakes(m);
    settle_attached(m);
}

}  // namespace kesta
