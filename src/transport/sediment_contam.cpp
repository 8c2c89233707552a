// Contaminants bound to the suspended fine sediment (SEDIMENT_CONTAM), at
// the constituent interval after the overland step moved the water and the
// sediment: erosion takes sorbed mass from the mixing layer (the land's
// load without SOIL_CON_TRANS) with the fine classes it detaches; the
// attached mass travels with each fine class's volume across the faces,
// settles with its deposit into the mixing layer and leaves with it at the
// outlet; then each cell's dissolved and attached mass share out anew by
// linear sorption on the suspended sediment. Sand carries none.
//
// A cell gives its attached mass with the volumes that leave it, at the
// mass per volume it held over the interval (its mass over what it held and
// eroded, or over what left when more passed through): it never gives more
// than it holds, and every gram it gives another cell, the soil or the
// outlet takes. A channel-network lake that spills over land gives the
// attached mass of the wash load it spills, at its own mass per volume;
// the lake's books take it as overland inflow given back (negative).
#include <algorithm>
#include <cmath>

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "transport/channel_sediment.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerMetre = 100.0;
constexpr double kNone = 1e-16;

// Solid volume of cell k's mixing layer (m3) and its sorbed mass of slot c
// (g), from the soil's top layer or the land's load.
struct sorbed_source {
    double solids = 0.0, sorbed = 0.0;
};

sorbed_source source_of(const model_state& m, int c, int k) {
    const std::size_t s = static_cast<std::size_t>(c);
    const double area = m.gridsize * m.gridsize;
    sorbed_source src;
    if (m.soil_con_trans) {
        const double theta = constituent_layer_theta(m, k, 1);
        const double dissolved = theta * solids_factor(m.soil_partition_coef[s][k], theta);
        src.solids = (1.0 - m.soil_porosity[k][1]) * m.soil_thickness[k][1] * area;
        src.sorbed = (1.0 - std::min(1.0, dissolved)) * m.soil_mass[s][k][1];
    } else {
        src.solids = (1.0 - value_at(m.phi_map, k)) * m.mixing_layer_depth / kCmPerMetre * area;
        src.sorbed = m.contam_land_mass[s][k];
    }
    return src;
}

// The source of cell k gives up `g` (positive) or takes it back.
void change_source(model_state& m, int c, int k, double g) {
    const std::size_t s = static_cast<std::size_t>(c);
    if (m.soil_con_trans) {
        if (!m.soil_static_conc) m.soil_mass[s][k][1] -= g;
    } else {
        m.contam_land_mass[s][k] -= g;
    }
}

// Erosion: each fine class detached takes the sorbed mass of its volume.
void erode(model_state& m, int c, mat2<double>& attached) {
    const sed_record& sed = *m.ov_sed;
    const int nf = sed.n_fine_classes;
    double taken_total = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        const double* eroded = sed.eroded_step[k];
        double volume = 0.0;
        for (int p = 1; p <= nf; ++p) volume += eroded[sed.sed_class[p]];
        if (!(volume > kNone)) continue;
        double parent = 0.0;
        for (int p = 1; p <= nf; ++p) parent += sed.sed_fract.parent[k][sed.sed_class[p]];
        const sorbed_source src = source_of(m, c, k);
        if (!(src.solids * parent > kNone) || !(src.sorbed > 0.0)) continue;
        const double per_volume = src.sorbed / (src.solids * parent);
        const double wanted = per_volume * volume;
        const double scale = wanted > src.sorbed ? src.sorbed / wanted : 1.0;
        double taken = 0.0;
        for (int p = 1; p <= nf; ++p) {
            const double g = per_volume * eroded[sed.sed_class[p]] * scale;
            attached[k][p] += g;
            taken += g;
        }
        attached[k][0] += taken;
        change_source(m, c, k, taken);
        taken_total += taken;
    }
    if (m.soil_con_trans && taken_total > 0.0) book(m, con_flow::soil_sediment, c, -taken_total);
}

// The channel-network lake that covers cell i (0: none, or the lakes
// carry no attached mass).
int lake_of(const model_state& m, int i) {
    if (!m.chan_lakes_on || m.lake_wash_out.empty() || m.lake_num.n() < m.ncells) return 0;
    const int lake = m.lake_num[i];
    return lake >= 1 && lake <= m.nlakes ? lake : 0;
}

// Calls f(from, to, volume) for every face that moved `volume` m3 (> 0)
// of class k from cell `from` to cell `to` since the constituents last
// took the faces.
template <class F>
void for_each_face(const model_state& m, int k, F f) {
    const sed_record& sed = *m.ov_sed;
    for (int i = 1; i <= m.ncells; ++i) {
        const int r = m.rightcon[i], b = m.belowcon[i];
        const double fx = r ? sed.ov_sed_vol_qsx[i][k] : 0.0;
        const double fy = b ? sed.ov_sed_vol_qsy[i][k] : 0.0;
        if (fx > 0.0) f(i, r, fx);
        else if (fx < 0.0) f(r, i, -fx);
        if (fy > 0.0) f(i, b, fy);
        else if (fy < 0.0) f(b, i, -fy);
    }
}

// Fine position p: what each cell gives per m3 of sediment leaving it.
void per_volume_given(const model_state& m, const mat2<double>& attached, int p, double* given) {
    const sed_record& sed = *m.ov_sed;
    const int k = sed.sed_class[p];
    for (int i = 1; i <= m.ncells; ++i) given[i] = 0.0;
    // given[] first gathers the volume each cell sends away; a lake gives
    // from its own books.
    for_each_face(m, k, [&](int from, int, double v) {
        if (!lake_of(m, from)) given[from] += v;
    });
    for (int i = 1; i <= m.ncells; ++i) {
        given[i] += sed.deposited_step[i][k];
        if (i == m.outlet_cell) given[i] += sed.outlet_vol_step[k];
    }
    for (int i = 1; i <= m.ncells; ++i) {
        const double held = sed.ov_vol_sed_susp[i][p] + sed.eroded_step[i][k];
        const double volume = std::max(held, given[i]);
        given[i] = volume > kNone ? attached[i][p] / volume : 0.0;
    }
}

// Fine position p: the wash load each lake spilled over land in the
// interval (lake_wash_out) and the attached mass it gives per m3 of it
// (lake_attached_out): its mass over the wash load it held before this
// interval's spill. The lake's wash load falls by what it spills only when
// the lake's budget next takes it, so the spills of earlier intervals since
// then, whose mass has left already, are taken off it here.
void lake_per_volume(model_state& m, int c, int p) {
    if (m.lake_wash_out.empty()) return;
    const sed_record& sed = *m.ov_sed;
    double* out = m.lake_wash_out.data();
    double* ratio = m.lake_attached_out.data();
    std::fill(out, out + m.nlakes + 1, 0.0);
    for_each_face(m, sed.sed_class[p], [&](int from, int to, double v) {
        const int lake = lake_of(m, from);
        if (lake && !lake_of(m, to)) out[lake] += v;
    });
    const mat2<double>& a = m.chan_sed_contam[static_cast<std::size_t>(c)];
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        ratio[lake] = 0.0;
        const double held = a[lake_row(sed, lake)][p];
        if (!(out[lake] > 0.0) || !(held > 0.0)) continue;
        const double before =
            sed.ch_wash_vol[lake_row(sed, lake)][p] - sed.SS_vol_lake_to_overland[lake][p] + out[lake];
        ratio[lake] = held / std::max(before, out[lake]);
    }
}

// Transport, deposition and outlet of slot c's attached mass.
void move_attached(model_state& m, int c, mat2<double>& attached) {
    const sed_record& sed = *m.ov_sed;
    double* given = m.tr_limit.data();
    double deposited_total = 0.0, out_total = 0.0, from_lakes = 0.0;
    for (int p = 1; p <= sed.n_fine_classes; ++p) {
        const int k = sed.sed_class[p];
        per_volume_given(m, attached, p, given);
        lake_per_volume(m, c, p);
        for_each_face(m, k, [&](int from, int to, double v) {
            const int lake = lake_of(m, from);
            if (!lake) {
                const double g = v * given[from];
                attached[from][p] -= g;
                attached[to][p] += g;
                return;
            }
            if (lake_of(m, to)) return;
            double* held = m.chan_sed_contam[static_cast<std::size_t>(c)][lake_row(sed, lake)];
            const double g = std::min(std::max(0.0, held[p]), v * m.lake_attached_out[lake]);
            if (!(g > 0.0)) return;
            held[p] -= g;
            held[0] -= g;
            attached[to][p] += g;
            from_lakes += g;
        });
        for (int i = 1; i <= m.ncells; ++i) {
            const double g = sed.deposited_step[i][k] * given[i];
            if (!(g > 0.0)) continue;
            attached[i][p] -= g;
            change_source(m, c, i, -g);
            deposited_total += g;
        }
        const int o = m.outlet_cell;
        if (o >= 1 && o <= m.ncells) {
            const double g = sed.outlet_vol_step[k] * given[o];
            if (g > 0.0) {
                attached[o][p] -= g;
                out_total += g;
            }
        }
    }
    if (m.soil_con_trans && deposited_total > 0.0) book(m, con_flow::soil_sediment, c, deposited_total);
    if (out_total > 0.0) book(m, con_flow::ov_attached_outlet, c, out_total);
    if (from_lakes > 0.0) book(m, con_flow::ov_attached_to_lakes, c, -from_lakes);
}

// The dissolved and attached mass of each wet cell share out by linear
// sorption on its suspended fine sediment.
void partition(model_state& m, int c, mat2<double>& attached) {
    const sed_record& sed = *m.ov_sed;
    const int nf = sed.n_fine_classes;
    const std::size_t s = static_cast<std::size_t>(c);
    vec1<double>& dissolved = m.contam_mass[s];
    const double area = m.gridsize * m.gridsize;
    const double kd = m.water_soil_partition_coef.at(c);
    double* conc = m.sorption_conc.data();
    double* kds = m.sorption_kd.data();
    double* share = m.sorption_share.data();
    double exchanged = 0.0;
    for (int i = 1; i <= m.ncells; ++i) {
        double* a = attached[i];
        if (m.h[i] <= kDryDepth) {
            double sum = 0.0;
            for (int p = 1; p <= nf; ++p) sum += a[p] = std::max(0.0, a[p]);
            a[0] = sum;
            continue;
        }
        const double water = m.h[i] * area;
        double total = dissolved[i];
        for (int p = 1; p <= nf; ++p) {
            const int k = sed.sed_class[p];
            conc[p] = sed.vol_sed.suspended[i][k] * sed.sed_density[k] / water;
            kds[p] = kd;
            total += std::max(0.0, a[p]);
        }
        const double left = total * dissolved_share(nf, conc, kds, share);
        double sum = 0.0;
        for (int p = 1; p <= nf; ++p) sum += a[p] = total * share[p];
        a[0] = sum;
        exchanged += left - dissolved[i];
        dissolved[i] = left;
    }
    if (exchanged != 0.0) book(m, con_flow::ov_sorption, c, exchanged);
}

}  // namespace

double take_sorbed_with_deposit(model_state& m, int c, int k, double volume) {
    if (!(volume > kNone) || !m.ov_sed) return 0.0;
    const sed_record& sed = *m.ov_sed;
    double parent = 0.0;
    for (int p = 1; p <= sed.n_fine_classes; ++p) parent += sed.sed_fract.parent[k][sed.sed_class[p]];
    const sorbed_source src = source_of(m, c, k);
    if (!(src.solids * parent > kNone) || !(src.sorbed > 0.0)) return 0.0;
    const double g = std::min(src.sorbed, src.sorbed / (src.solids * parent) * volume);
    change_source(m, c, k, g);
    if (m.soil_con_trans) book(m, con_flow::soil_sediment, c, -g);
    return g;
}

void give_sorbed_to_cell(model_state& m, int c, int k, double grams) {
    change_source(m, c, k, -grams);
    if (m.soil_con_trans) book(m, con_flow::soil_sediment, c, grams);
}

void step_overland_contam_sediment(model_state& m) {
    if (!m.ov_con_trans || !m.sediment_contam || !m.ov_sed || m.ncontam <= 0 || m.attached_mass.empty() ||
        !clock_due(m.wq_next, m.time, m.time_tol))
        return;
    sed_record& sed = *m.ov_sed;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        mat2<double>& attached = m.attached_mass[static_cast<std::size_t>(c)];
        erode(m, c, attached);
        move_attached(m, c, attached);
        partition(m, c, attached);
    }
    for (int i = 1; i <= m.ncells; ++i)
        for (int p = 1; p <= sed.n_fine_classes; ++p)
            sed.ov_vol_sed_susp[i][p] = sed.vol_sed.suspended[i][sed.sed_class[p]];
    for (mat2<double>* t : {&sed.ov_sed_vol_qsx, &sed.ov_sed_vol_qsy, &sed.eroded_step, &sed.deposited_step})
        t->fill(0.0);
    sed.outlet_vol_step.fill(0.0);
}

}  // namespace kesta
