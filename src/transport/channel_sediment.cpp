// Channel sediment: the arrays and the initial bed sand of the channel
// network, the channel step (what the stream cells give the channels, the
// sand, the wash load and the lakes), and its books by event and by run.
#include <algorithm>
#include <cmath>

#include "channel/link_types.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "transport/channel_constituents.hpp"
#include "transport/channel_sediment.hpp"
#include "transport/sediment.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

// A stream cell gives the channels its sediment only under this much water (m).
constexpr double kWetStreamCell = 1e-6;

void alloc_books(chan_sed_books& b, int classes, int lakes) {
    alloc_dvector(b.to_chan, classes, "tot_sed_to_chan");
    for (vec1<double>* v : {&b.sand_to_lake, &b.edge_sand, &b.chan_to_lake, &b.lake_to_chan, &b.overland_to_lake,
                            &b.settled})
        alloc_dvector(*v, lakes, "channel lake sediment totals");
}

bool books_made(const chan_sed_books& b) {
    return blocks_made(g_error_record, "the channel sediment totals", b.to_chan, b.sand_to_lake, b.edge_sand,
                       b.chan_to_lake, b.lake_to_chan, b.overland_to_lake, b.settled);
}

bool alloc_channel_arrays(model_state& m, sed_record& s) {
    const int nf = std::max(1, s.n_fine_classes), ns = std::max(1, s.n_sand_classes);
    const int lakes = m.chan_lakes_on ? m.nlakes : 0;
    s.node_stride = m.maxnodes;
    s.lake_row0 = (m.nlinks + 1) * m.maxnodes;
    const int rows = s.lake_row0 + lakes;
    const int faces = most_network_faces(m);
    alloc_dmatrix(rows, nf, s.ch_wash_vol, "ch_wash_vol");
    alloc_d3tensor(m.nlinks, m.maxnodes, ns, m.ch_sand_vol, "ch_sand_vol");
    alloc_dmatrix(s.lake_row0, s.num_sed, s.qsmax, "qsmax");
    alloc_dvector(s.chan_sed_conc, s.lake_row0, "chan_sed_conc");
    alloc_dmatrix(s.lake_row0, s.num_sed, s.qlat_tot_sed, "qlat_tot_sed");
    alloc_dvector(s.qs_out_chan_wash, nf, "qs_out_chan_wash");
    alloc_dvector(s.qs_out_chan_sand, ns, "qs_out_chan_sand");
    alloc_dvector(s.initial_lake_wash, lakes, "init_sed_vol_lake");
    alloc_dvector(s.water, rows, "channel sediment water");
    alloc_dvector(s.sand_asked, s.lake_row0, "channel sand asked");
    alloc_dmatrix(rows, nf, s.wash_conc, "temp_conc");
    alloc_dmatrix(rows, nf, s.wash_predicted, "temp_mass");
    alloc_dmatrix(rows, nf, s.wash_asked, "channel wash load asked");
    alloc_dmatrix(faces, nf, s.face_flux, "advect_flux");
    alloc_dmatrix(faces, nf, s.face_flux2, "temp_flux");
    alloc_dmatrix(faces, ns, s.sand_move, "channel sand moved");
    alloc_books(s.event_books, s.num_sed, lakes);
    alloc_books(s.run_books, s.num_sed, lakes);
    if (!blocks_made(g_error_record, "the channel sediment arrays", s.ch_wash_vol, m.ch_sand_vol, s.qsmax,
                     s.chan_sed_conc, s.qlat_tot_sed, s.qs_out_chan_wash, s.qs_out_chan_sand, s.initial_lake_wash,
                     s.water, s.sand_asked, s.wash_conc, s.wash_predicted, s.wash_asked, s.face_flux, s.face_flux2,
                     s.sand_move) ||
        !books_made(s.event_books) || !books_made(s.run_books))
        return false;
    s.faces.reserve(static_cast<std::size_t>(faces));
    if (m.chan_sed_flux_given) {
        alloc_dmatrix(m.maxnodes, m.nlinks, s.qsmax_total, "qsmax_total");
        if (!blocks_made(g_error_record, "the channel sediment flux dataset", s.qsmax_total)) return false;
    }
    bool trapezoids = false;
    for (int l = 1; l <= m.nlinks; ++l) trapezoids = trapezoids || link_is_erodible_trapezoid(m.ltype[l]);
    if (trapezoids) {
        alloc_dmatrix(m.maxnodes, m.nlinks, s.new_bel, "new_bel");
        if (!blocks_made(g_error_record, "the bed elevations after bed change", s.new_bel)) return false;
    }
    if (lakes < 1) return true;
    const int classes = s.num_sed;
    alloc_dmatrix(lakes, classes, s.sed_vol_overland_to_lake, "sed_vol_overland_to_lake");
    alloc_dmatrix(lakes, nf, s.SS_conc_vol_lake, "SS_conc_vol_lake");
    alloc_dmatrix(lakes, nf, s.SS_vol_lake_to_overland, "SS_vol_lake_to_overland");
    alloc_dmatrix(lakes, ns, s.lake_depo_vol, "lake_depo_vol");
    return blocks_made(g_error_record, "the sediment of the channel-network lakes", s.sed_vol_overland_to_lake,
                       s.SS_conc_vol_lake, s.SS_vol_lake_to_overland, s.lake_depo_vol);
}

// The bed sand the erodible links start with (m3 of solids), node by node:
// a trapezoid's erodible depth under its bottom width over the cell size;
// a breakpoint section's ground between its lowest point less the erodible
// depth and its table's top, over the link's node spacing, which is also
// the reference volume its section is fitted to. The channel input reader
// has kept every erodible depth from 0 to its bound.
void lay_initial_sand(model_state& m, sed_record& s) {
    const double solid = 1.0 - m.project_options.sed_porosity;
    double total = 0.0;
    for (int l = 1; l <= m.nlinks; ++l) {
        const int t = m.ltype[l];
        if (!link_is_erodible_channel(t)) continue;
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            const double e = m.max_eros[j][l];
            double sand;
            if (link_is_trapezoid(t)) {
                sand = solid * e * m.bottom[j][l] * m.gridsize;
                s.new_bel[j][l] = m.bel[j][l];
            } else {
                const int table = m.table_num[j][l], b = m.bplink[l];
                const int n = m.numhts[table];
                const double width = std::fabs(m.xbp_lnn[b][j][m.numpairs[table]] - m.xbp_lnn[b][j][1]);
                const double dx = m.chan_dx[l];
                sand = solid * ((n * m.ht_spc[table] + e) * dx * width - m.xarea[n][table] * dx);
                m.ch_sand_vol0[b][j] = sand;
            }
            m.ch_sand_vol[l][j][0] = sand;
            total += sand;
        }
    }
    s.initial_sand_run = total;
    s.initial_sand_event = total;
}

void add_to_books(sed_record& s, vec1<double> chan_sed_books::*what, int index, double v) {
    for (chan_sed_books* b : {&s.event_books, &s.run_books}) {
        (b->*what)[index] += v;
        (b->*what)[0] += v;
    }
}

// What the stream cells under water give the channels: the part of each
// class's suspended and deposited volume that the cell's share of each of
// its entries takes, into the entry's node (a later entry of the cell
// takes its share of what the earlier ones left). Links a lake holds and
// structures take nothing. A volume that is not a number stops the run.
bool take_lateral_sediment(model_state& m) {
    sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes;
    for (int c = 1; c <= m.nstreamcells; ++c) {
        for (int e = 1; e <= m.gst_ncellsingrid[c]; ++e) {
            const int l = m.gst_link[c][e], j = m.gst_node[c][e], g = m.gst_gnum[c][e];
            if (!(m.h[g] > kWetStreamCell) || link_is_lake_struct_or_overtaken(m.ltype[l])) continue;
            const double share = m.gst_pct[c][e];
            double* suspended = s.vol_sed.suspended[g];
            double* deposited = s.vol_sed.deposited[g];
            double* wash = s.ch_wash_vol[node_row(s, j, l)];
            double* sand = m.ch_sand_vol[l][j];
            for (int pos = 1; pos <= s.num_sed; ++pos) {
                const int k = s.sed_class[pos];
                const double from_suspension = share * suspended[k], from_deposit = share * deposited[k];
                const double v = from_suspension + from_deposit;
                if (!std::isfinite(v))
                    return refuse(format_text("qlat_sed is not a number, exiting.\n(sediment class %d of cell %d "
                                              "into node %d of link %d)\n",
                                              k, g, j, l));
                suspended[k] -= from_suspension;
                deposited[k] -= from_deposit;
                const bool fine = pos <= nf;
                for (chan_sed_books* b : {&s.event_books, &s.run_books}) {
                    b->to_chan[k] += v;
                    if (fine) b->to_chan[0] += v;
                }
                s.qlat_tot_sed[node_row(s, j, l)][k] += v;
                if (fine) attached_to_node(m, g, node_row(s, j, l), pos, share, from_deposit);
                double* to = fine ? wash + pos : sand + (pos - nf);
                *to += v;
                (fine ? wash : sand)[0] += v;
            }
        }
    }
    return true;
}

// Nodes a lake has taken since the last step (and every node of a link it
// has overtaken) give it their wash load and their sand.
void give_held_nodes_to_lakes(model_state& m) {
    sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes, ns = s.n_sand_classes;
    for (int l = 1; l <= m.nlinks; ++l) {
        const int t = m.ltype[l];
        if (!link_is_channel(t)) continue;
        const bool overtaken = link_is_overtaken(t);
        const int lake = lake_holding_link(m, overtaken ? l : m.dslink[l]);
        if (!lake) continue;
        double* lake_wash = s.ch_wash_vol[lake_row(s, lake)];
        for (int j = overtaken ? 1 : m.nx[l] + 1; j <= m.link_nodes[l]; ++j) {
            double* wash = s.ch_wash_vol[node_row(s, j, l)];
            attached_node_to_lake(m, node_row(s, j, l), lake);
            if (wash[0] != 0.0) {
                add_to_books(s, &chan_sed_books::chan_to_lake, lake, wash[0]);
                for (int pos = 0; pos <= nf; ++pos) {
                    lake_wash[pos] += wash[pos];
                    wash[pos] = 0.0;
                }
            }
            double* sand = m.ch_sand_vol[l][j];
            if (sand[0] != 0.0) {
                double* bed = s.lake_depo_vol[lake];
                add_to_books(s, &chan_sed_books::sand_to_lake, lake, sand[0]);
                for (int k = 0; k <= ns; ++k) {
                    bed[k] += sand[k];
                    sand[k] = 0.0;
                }
            }
        }
    }
}

// The wash-load concentration of every node (g/m3) from its classes.
void node_concentrations(model_state& m) {
    sed_record& s = *m.ov_sed;
    for (int r = 1; r <= s.lake_row0; ++r) {
        const double w = s.water[r];
        double grams = 0.0;
        if (w > kTinyWater) {
            for (int pos = 1; pos <= s.n_fine_classes; ++pos)
                grams += s.ch_wash_vol[r][pos] * s.sed_density[s.sed_class[pos]];
        }
        s.chan_sed_conc[r] = w > kTinyWater ? grams / w : 0.0;
    }
}

// A volume that is not a number stops the run, naming the first node (or
// lake) that holds one.
bool channel_sediment_real(model_state& m) {
    const sed_record& s = *m.ov_sed;
    double sum = 0.0;
    const int rows = s.ch_wash_vol.nrows();
    for (int r = 1; r <= rows; ++r) sum += s.ch_wash_vol[r][0];
    for (int l = 1; l <= m.nlinks; ++l)
        for (int j = 1; j <= m.link_nodes[l]; ++j) sum += m.ch_sand_vol[l][j][0];
    if (std::isfinite(sum)) return true;
    for (int r = 1; r <= rows; ++r) {
        if (std::isfinite(s.ch_wash_vol[r][0])) continue;
        if (is_lake_row(s, r))
            return refuse(format_text("entry point wash_vol=NaN in lake %d itime %d\n", r - s.lake_row0, m.step));
        return refuse(format_text("entry point wash_vol=NaN at node %d link %d itime %d\n", node_of_row(s, r),
                                  link_of_row(s, r), m.step));
    }
    for (int l = 1; l <= m.nlinks; ++l)
        for (int j = 1; j <= m.link_nodes[l]; ++j)
            if (!std::isfinite(m.ch_sand_vol[l][j][0]))
                return refuse(format_text("the channel sand volume is not a number at node %d link %d itime %d\n",
                                          j, l, m.step));
    return refuse(format_text("the channel sediment volumes have grown beyond any number (itime %d)\n", m.step));
}

}  // namespace

void chan_sed_books::clear() {
    for (vec1<double>* v : {&to_chan, &sand_to_lake, &edge_sand, &chan_to_lake, &lake_to_chan, &overland_to_lake,
                            &settled})
        v->fill(0.0);
    sand_out = 0.0;
    wash_out = 0.0;
}

void alloc_chan_sed_arrays(model_state& m) {
    if (!m.chan_sed_on || !m.ov_sed) return;
    sed_record& s = *m.ov_sed;
    if (!alloc_channel_arrays(m, s)) return;
    lay_initial_sand(m, s);
}

double channel_sand_volume(const model_state& m) {
    double v = 0.0;
    if (m.ch_sand_vol.empty()) return v;
    for (int l = 1; l <= m.nlinks; ++l)
        for (int j = 1; j <= m.link_nodes[l]; ++j) v += m.ch_sand_vol[l][j][0];
    return v;
}

double channel_wash_volume(const model_state& m) {
    double v = 0.0;
    if (!m.ov_sed || m.ov_sed->ch_wash_vol.empty()) return v;
    const sed_record& s = *m.ov_sed;
    for (int r = 1; r <= s.lake_row0; ++r) v += s.ch_wash_vol[r][0];
    return v;
}

void open_sediment_event_books(model_state& m) {
    if (!m.ov_sed || m.ov_sed->ch_wash_vol.empty()) return;
    sed_record& s = *m.ov_sed;
    s.event_books.clear();
    s.initial_sand_event = channel_sand_volume(m);
    s.initial_wash_event = channel_wash_volume(m);
    s.initial_lake_wash[0] = 0.0;
    for (int k = 1; k <= s.initial_lake_wash.n(); ++k) {
        s.initial_lake_wash[k] = s.ch_wash_vol[lake_row(s, k)][0];
        s.initial_lake_wash[0] += s.initial_lake_wash[k];
    }
}

void step_channel_sediment(model_state& m, double dt) {
    if (!m.chan_sed_on || !m.ov_sed || m.ov_sed->ch_wash_vol.empty() || !(dt > 0.0)) return;
    sed_record& s = *m.ov_sed;
    s.qsmax.fill(0.0);
    if (!take_lateral_sediment(m)) return;
    if (m.chan_lakes_on) give_held_nodes_to_lakes(m);
    build_wash_faces(m);
    move_channel_sand(m, dt);
    keep_wash_start(m);
    advect_wash_load(m, dt);
    if (m.chan_lakes_on) update_lake_sediment(m, dt);
    m.chan_attached_due = chan_attached_on(m);
    node_concentrations(m);
    for (int l = 1; l <= m.nlinks; ++l)
        for (int j = 1; j <= m.link_nodes[l]; ++j) m.qp_vol_sed[j][l] = 0.0;
    channel_sediment_real(m);
}

}  // namespace kesta
