// Dissolved constituents in the channel network and its lakes: the arrays,
// the initial masses, the reactions, the exchange with the stream cells,
// the point sources and the groundwater, and the routing step.
//
// Each mass is booked once, when it moves (kg in the books):
//   - stream cells and nodes: a cell that gives water over the bank gives
//     the share of its overland mass that the water is of the water the
//     mass is dissolved in; the node takes it over the next routing
//     (CHAN_LAT_MASS, and OV_QLAT_MASS on the cell's side). Water the
//     channel gives a cell takes the node's concentration with it at once,
//     never more than the node holds (both books negative). A lake takes
//     or gives through its cells (LAKE_OV_INFLOW_MASS on both sides);
//   - point sources: an inflow brings the point's concentration, taken
//     over the next routing by a node or at once by a lake; an outflow
//     takes the node's or lake's concentration at once (CHAN_POINT_MASS or
//     LAKE_POINT_MASS, and GLOBAL_POINT_SOURCE, net of outflows);
//   - the aquifer: seepage into a node or lake brings the groundwater's
//     concentration of the node's cell, seepage out takes the store's
//     (CHAN_GW_MASS or LAKE_GW_MASS, and GLOBAL_GW_MASS, net);
//   - decay: first order over the interval on the wet nodes and the lakes
//     (CHAN_MASS_DECAY, LAKE_DECAY_MASS, GLOBAL_MASS_DECAY);
//   - the routing: what leaves through the outlet (CHAN_MASS_OUT and
//     GLOBAL_MASS_OUT), what the links carry into lakes and the lakes into
//     the links (LAKE_CHAN_INFLOW_MASS, LAKE_CHAN_OUTFLOW_MASS, net);
//   - a lake taking or giving back a node: the node's mass, or the lake's
//     concentration in the water it gives (LAKE_CHAN_EXCHANGE_MASS,
//     positive into the lake).
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/link_types.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "transport/channel_constituents.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/network_faces.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kTinyWater = 1e-16;  // m3
constexpr double kTinyVolume = 1e-16;  // m3 of exchanged water

// The store that holds node j of link l now: the node's row while it is a
// computational node of an open link, else the row of the lake that holds
// it; 0 when neither.
int store_of_node(const model_state& m, const network_rows& r, int j, int l) {
    const int t = m.ltype[l];
    if (link_is_open_channel(t) && j >= 1 && j <= m.nx[l]) return r.node(j, l);
    int lake = lake_holding_link(m, l);
    if (!lake && link_is_open_channel(t)) lake = lake_holding_link(m, m.dslink[l]);
    return lake ? r.lake(lake) : 0;
}

int lake_of_row(const network_rows& r, int row) { return row - r.lake_row0; }

// Mass taken from a store at its concentration with `volume` m3 of its
// water, never more than it holds.
double take_with_water(const model_state& m, int c, int row, double volume) {
    const double held = m.chan_mass[c][row];
    if (!(held > 0.0)) return 0.0;
    const double water = row > m.chan_lake_row0 ? std::max(0.0, m.lake_volume[row - m.chan_lake_row0])
                                                  : m.chan_water[row];
    return std::min(held, store_conc(held, water) * volume);
}

void book_point(model_state& m, int c, bool lake, double grams) {
    book(m, lake ? con_flow::lake_point : con_flow::chan_point, c, grams);
}

void book_gw(model_state& m, int c, bool lake, double grams) {
    book(m, lake ? con_flow::lake_gw : con_flow::chan_gw, c, grams);
}

// Water `volume` m3 entering (positive) or leaving store `row` from
// outside the network: entering water brings `conc` (g/m3 by slot, null
// for none), leaving water the store's own.
template <class Conc, class Book>
void exchange_with_outside(model_state& m, int row, double volume, Conc conc, Book book) {
    const bool lake = row > m.chan_lake_row0;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!carried_by_water(m, c)) continue;
        double g;
        if (volume > 0.0) {
            g = conc(c) * volume;
            if (!(g > 0.0)) continue;
            if (lake) m.chan_mass[c][row] += g;
            else m.chan_source[c][row] += g;
        } else {
            g = -take_with_water(m, c, row, -volume);
            if (g == 0.0) continue;
            m.chan_mass[c][row] += g;
        }
        book(m, c, lake, g);
    }
}

double gw_conc_of_cell(const model_state& m, int c, int cell) {
    const std::size_t s = static_cast<std::size_t>(c);
    if (cell < 1 || s >= m.gw_conc.size() || m.gw_conc[s].empty()) return 0.0;
    return m.gw_conc[s][cell];
}

bool alloc_arrays(model_state& m) {
    const network_rows r{m.maxnodes, (m.nlinks + 1) * m.maxnodes};
    m.chan_stride = r.stride;
    m.chan_lake_row0 = r.lake_row0;
    m.chan_rows = r.lake_row0 + (m.chan_lakes_on ? m.nlakes : 0);
    const int rows = m.chan_rows, n = m.ncontam;
    const int faces = most_network_faces(m);
    alloc_dmatrix(n, rows, m.chan_mass, "chan_mass");
    alloc_dmatrix(n, rows, m.chan_conc, "conc_chan_node");
    alloc_dmatrix(n, rows, m.chan_source, "source_chan_node");
    alloc_dmatrix(n, rows, m.dissolved_chan_flux, "dissolved_chan_flux");
    alloc_dmatrix(n, rows, m.chan_qlat_mass, "chan_qlat_mass");
    alloc_dmatrix(n, rows, m.chan_gw_mass, "chan_gw_mass");
    alloc_dmatrix(n, rows, m.chan_qlat_conc, "conc_qlat");
    for (vec1<double>* v : {&m.chan_water, &m.chan_water_now, &m.chan_row_length, &m.cw_conc, &m.cw_mstar,
                            &m.cw_mnew, &m.cw_m0, &m.cw_asked, &m.cw_rate, &m.cw_out, &m.cw_disp,
                            &m.chan_qlat_water})
        alloc_dvector(*v, rows, "channel constituent work space");
    for (vec1<double>* v : {&m.cw_pred, &m.cw_amount, &m.cw_total, &m.cw_dpred, &m.cw_damount})
        alloc_dvector(*v, faces, "channel constituent face amounts");
    alloc_dmatrix(m.maxnodes, m.nlinks, m.qp_vol, "qp_vol");
    alloc_dmatrix(m.maxnodes, m.nlinks, m.vol_chan_point, "vol_chan_point");
    alloc_dmatrix(m.maxnodes, m.nlinks, m.vol_chan_point_step, "vol_chan_point_step");
    alloc_dmatrix(m.maxnodes, m.nlinks, m.chan_gw_vol, "chan_gw_vol");
    alloc_dmatrix(m.maxnodes, m.nlinks, m.chan_gw_vol_step, "chan_gw_vol_step");
    alloc_ivector(m.chan_row_cell, rows, "chan_row_cell");
    const int widest = std::max(1, m.gst_ncellsingrid.n() >= 1
                                       ? *std::max_element(m.gst_ncellsingrid.data() + 1,
                                                           m.gst_ncellsingrid.data() + m.gst_ncellsingrid.n() + 1)
                                       : 1);
    alloc_dmatrix(std::max(1, m.nstreamcells), widest, m.ov_qlat_vol, "ov_qlat_vol");
    if (!blocks_made(g_error_record, "the channel constituent arrays", m.chan_mass, m.chan_conc, m.chan_source,
                     m.dissolved_chan_flux, m.chan_qlat_mass, m.chan_gw_mass, m.chan_qlat_conc, m.chan_qlat_water,
                     m.chan_water, m.chan_water_now, m.chan_row_length, m.cw_conc,
                     m.cw_mstar, m.cw_mnew, m.cw_m0, m.cw_asked, m.cw_rate, m.cw_out, m.cw_disp, m.cw_pred,
                     m.cw_amount, m.cw_total, m.cw_dpred, m.cw_damount, m.qp_vol, m.vol_chan_point,
                     m.vol_chan_point_step, m.chan_gw_vol, m.chan_gw_vol_step, m.chan_row_cell, m.ov_qlat_vol))
        return false;
    if (m.chan_lakes_on) {
        alloc_dvector(m.lake_gw_vol, m.ncells, "lake_gw_vol");
        alloc_dvector(m.tr_disp, m.ncells, "tr_disp");
        alloc_dvector(m.tr_lake_share, m.nlakes, "tr_lake_share");
        if (!blocks_made(g_error_record, "the constituent arrays of the lakes", m.lake_gw_vol, m.tr_disp,
                         m.tr_lake_share))
            return false;
    }
    // Mass attaches to the fine classes only: with none, the channels carry
    // no attached mass and have no store for it.
    if (m.sediment_contam && m.chan_sed_on && m.ov_sed && !m.ov_sed->ch_wash_vol.empty() &&
        m.ov_sed->n_fine_classes > 0) {
        const int nf = m.ov_sed->n_fine_classes;
        m.chan_sed_contam.clear();
        m.chan_sed_contam.resize(static_cast<std::size_t>(n) + 1);
        for (int c = 1; c <= n; ++c)
            alloc_dmatrix(rows, nf, m.chan_sed_contam[static_cast<std::size_t>(c)], "chan_sed_contam");
        alloc_dmatrix(rows, nf, m.chan_wash_start, "chan_wash_start");
        alloc_dmatrix(rows, nf, m.chan_attached_ratio, "chan_attached_ratio");
        alloc_dmatrix(std::max(1, m.nlakes), nf, m.lake_settled_share, "lake_settled_share");
        alloc_dvector(m.chan_sed_density, nf, "chan_sed_density");
        alloc_dmatrix(n, rows, m.attached_chan_moved, "attached_chan_moved");
        alloc_dmatrix(n, rows, m.attached_chan_flux, "attached_chan_flux");
        for (int c = 1; c <= n; ++c)
            if (!blocks_made(g_error_record, "the attached mass of the channels",
                             m.chan_sed_contam[static_cast<std::size_t>(c)]))
                return false;
        if (!blocks_made(g_error_record, "the attached mass of the channels", m.chan_wash_start, m.chan_attached_ratio,
                         m.lake_settled_share, m.chan_sed_density, m.attached_chan_moved, m.attached_chan_flux))
            return false;
        if (m.chan_lakes_on) {
            alloc_dvector(m.lake_wash_out, m.nlakes, "lake_wash_out");
            alloc_dvector(m.lake_attached_out, m.nlakes, "lake_attached_out");
            if (!blocks_made(g_error_record, "the attached mass of the lakes", m.lake_wash_out, m.lake_attached_out))
                return false;
        }
    }
    m.chan_faces.reserve(static_cast<std::size_t>(faces));
    m.chan_disp_faces.reserve(static_cast<std::size_t>(faces));
    for (int l = 1; l <= m.nlinks; ++l) {
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            m.chan_row_length[r.node(j, l)] = m.chan_dx[l];
            m.cw_disp[r.node(j, l)] = m.chan_disp_coef;
        }
    }
    // The cell of each node: the stream cell with the largest share of it.
    vec1<double> best(rows);
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            const int l = m.gst_link[s][k], j = m.gst_node[s][k];
            if (l < 1 || l > m.nlinks || j < 1 || j > m.maxnodes) continue;
            const int row = r.node(j, l);
            if (m.gst_pct[s][k] > best[row]) {
                best[row] = m.gst_pct[s][k];
                m.chan_row_cell[row] = m.gst_gnum[s][k];
            }
        }
    }
    return true;
}

// The water of every store now (m3), into chan_water_now.
void water_now(model_state& m, const network_rows& r) {
    vec1<double>& w = m.chan_water_now;
    w.fill(0.0);
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l]; ++j) w[r.node(j, l)] = std::max(0.0, m.area[j][l]) * m.chan_dx[l];
    }
    if (!m.chan_lakes_on) return;
    for (int k = 1; k <= m.nlakes; ++k) w[r.lake(k)] = std::max(0.0, m.lake_volume[k]);
}

// The initial concentration of nutrient slot c in node row `row`: its
// ST_INIT_* value (g/m3).
double initial_nutrient_conc(const model_state& m, const network_rows& r, int c, int row) {
    const zep_streams& st = m.zep->streams;
    const int k = c - m.first_nutrient_constituent, l = r.link_of(row), j = r.node_of(row);
    if (k < 0 || k >= kNutrientSpecies || l < 1 || l > st.nlinks) return 0.0;
    const vec1<double>& conc = st.init_conc[k];
    const int i = st.index(l, j);
    return i <= conc.n() ? conc[i] : 0.0;
}

// The nodes with water take nutrient slot c at its initial concentration.
void set_initial_nutrient_masses(model_state& m, const network_rows& r, int c) {
    double total = 0.0;
    for (int row = 1; row <= r.lake_row0; ++row) {
        const double w = m.chan_water[row];
        if (!(w > kTinyWater)) continue;
        const double g = initial_nutrient_conc(m, r, c, row) * w;
        m.chan_mass[c][row] += g;
        total += g;
    }
    book(m, con_flow::chan_initial, c, total);
}

// The nodes that hold water at the first channel constituent step take the
// initial concentration (INIT_CHAN_CONC; a nutrient species its ST_INIT_*
// value), booked as the initial channel mass.
void set_initial_node_masses(model_state& m) {
    const network_rows r = chan_rows_of(m);
    for (int row = 1; row <= r.lake_row0; ++row) m.chan_water[row] = m.chan_water_now[row];
    m.chan_con_started = 1;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (reacts_in_water(m, c) && m.zep) {
            set_initial_nutrient_masses(m, r, c);
            continue;
        }
        const double conc = m.init_chan_conc;
        if (!carried_by_water(m, c) || !(conc > 0.0) || sediment_class_slot(m, c)) continue;
        double total = 0.0;
        for (int row = 1; row <= r.lake_row0; ++row) {
            const double w = m.chan_water[row];
            if (!(w > kTinyWater)) continue;
            m.chan_mass[c][row] += conc * w;
            total += conc * w;
        }
        book(m, con_flow::chan_initial, c, total);
    }
}

// Seepage between the aquifer and the nodes and lakes since the last step.
void take_groundwater(model_state& m, const network_rows& r) {
    for (int l = 1; l <= m.nlinks; ++l) {
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            double& v = m.chan_gw_vol[j][l];
            if (std::fabs(v) > kTinyVolume) {
                const int row = store_of_node(m, r, j, l);
                const int cell = row > 0 && row <= r.lake_row0 ? m.chan_row_cell[row] : 0;
                const auto book = [row](model_state& mm, int c, bool lake, double g) {
                    book_gw(mm, c, lake, g);
                    if (!lake) mm.chan_gw_mass[c][row] += g;
                };
                if (row > 0) exchange_with_outside(m, row, v, [&](int c) { return gw_conc_of_cell(m, c, cell); }, book);
            }
            v = 0.0;
        }
    }
    if (m.lake_gw_vol.empty()) return;
    for (int cell = 1; cell <= m.ncells; ++cell) {
        double& v = m.lake_gw_vol[cell];
        const int lake = value_at(m.lake_num, cell);
        if (std::fabs(v) > kTinyVolume && lake >= 1 && lake <= m.nlakes)
            exchange_with_outside(m, r.lake(lake), v, [&](int c) { return gw_conc_of_cell(m, c, cell); }, book_gw);
        v = 0.0;
    }
}

// The dispersive faces between neighbouring nodes of the network now.
void build_disp_faces(model_state& m, const network_rows& r) {
    std::vector<disp_face>& faces = m.chan_disp_faces;
    faces.clear();
    if (!(m.chan_disp_coef > 0.0) && !m.chan_nutrient_disp_on) return;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        const int n = m.nx[l];
        const double dx = m.chan_dx[l];
        for (int j = 1; j < n; ++j) faces.push_back({r.node(j, l), r.node(j + 1, l), dx});
        const int d = m.dslink[l];
        if (n < 1 || d == 0 || !link_is_open_channel(m.ltype[d]) || m.nx[d] < 1) continue;
        faces.push_back({r.node(n, l), r.node(1, d), 0.5 * (dx + m.chan_dx[d])});
    }
}

// What the routing of slot c moved across the faces, into the books.
void book_faces(model_state& m, const network_rows& r, int c, double dt) {
    double outlet = 0.0;
    double* flux = m.dissolved_chan_flux[c];
    for (int row = 0; row <= m.chan_rows; ++row) flux[row] = 0.0;
    const int nfaces = static_cast<int>(m.chan_faces.size());
    for (int f = 0; f < nfaces; ++f) {
        const wash_face& face = m.chan_faces[static_cast<std::size_t>(f)];
        const double g = m.cw_total[f];
        if (g == 0.0) continue;
        if (face.owner > 0) flux[face.owner] = g / dt;
        if (face.down == 0) {
            outlet += g;
            continue;
        }
        if (r.is_lake(face.down)) book(m, con_flow::lake_from_channels, c, g);
        if (r.is_lake(face.up)) book(m, con_flow::lake_to_channels, c, g);
    }
    if (outlet != 0.0) book(m, con_flow::chan_outlet, c, outlet);
}

// A mass that is not a number stops the run, naming the first node or lake.
bool masses_are_real(const model_state& m, const network_rows& r, int c) {
    const double* mass = m.chan_mass[c];
    double sum = 0.0;
    for (int row = 1; row <= m.chan_rows; ++row) sum += mass[row];
    if (std::isfinite(sum)) return true;
    for (int row = 1; row <= m.chan_rows; ++row) {
        if (std::isfinite(mass[row])) continue;
        if (r.is_lake(row))
            return refuse(format_text("Total lake mass, contam %d lake %d NAN \n(constituent %s; the run stops)\n", c,
                                      lake_of_row(r, row), m.contam_names[static_cast<std::size_t>(c)].c_str()));
        return refuse(format_text("Total node mass, contam %d chaddr %d NAN \n(constituent %s at node %d of link "
                                  "%d; the run stops)\n",
                                  c, row, m.contam_names[static_cast<std::size_t>(c)].c_str(), r.node_of(row),
                                  r.link_of(row)));
    }
    return refuse(format_text("The channel mass of constituent %d (%s) has grown beyond any number.\n", c,
                              m.contam_names[static_cast<std::size_t>(c)].c_str()));
}

}  // namespace

network_rows chan_rows_of(const model_state& m) { return network_rows{m.chan_stride, m.chan_lake_row0}; }

void set_chan_nutrient_dispersion(model_state& m) {
    if (!m.zep || m.chan_mass.empty()) return;
    const zep_streams& st = m.zep->streams;
    const network_rows r = chan_rows_of(m);
    alloc_dvector(m.cw_nutrient_disp, m.chan_rows, "cw_nutrient_disp");
    if (!blocks_made(g_error_record, "the nutrient dispersion of the channel nodes", m.cw_nutrient_disp)) return;
    m.chan_nutrient_disp_on = 0;
    for (int l = 1; l <= std::min(m.nlinks, st.nlinks); ++l) {
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            const int i = st.index(l, j);
            const double d = i <= st.dispersion.n() ? st.dispersion[i] : m.chan_disp_coef;
            m.cw_nutrient_disp[r.node(j, l)] = d;
            if (d > 0.0) m.chan_nutrient_disp_on = 1;
        }
    }
}

void alloc_chan_contam_arrays(model_state& m) {
    if (!m.chan_con_trans || !m.ov_con_trans || m.ncontam <= 0 || m.nlinks < 1) return;
    if (!(m.chan_disp_coef >= 0.0 && m.chan_disp_coef <= kMostChannelDispersion)) {
        refuse(format_text("Error: CHAN_DISP_COEF %s in project file %s: the dispersion coefficient of the channels "
                           "must be from 0 to %g m2/s, the most a river has.\n",
                           exact_number(m.chan_disp_coef).c_str(), m.project_file.c_str(), kMostChannelDispersion));
        return;
    }
    alloc_arrays(m);
}

void init_lake_contam_state(model_state& m) {
    if (m.chan_mass.empty() || !m.chan_lakes_on) return;
    const network_rows r = chan_rows_of(m);
    for (int k = 1; k <= m.nlakes; ++k) {
        const double v = std::max(0.0, m.lake_volume[k]);
        m.chan_water[r.lake(k)] = v;
        for (int c = 1; c <= m.ncontam; ++c) {
            // INIT_CHAN_CONC is the contaminants'; no nutrient and no
            // sediment class is in a lake at the start.
            if (!is_contaminant(m, c) || sediment_class_slot(m, c)) continue;
            const double g = m.init_chan_conc * v;
            m.chan_mass[c][r.lake(k)] = g;
            m.chan_conc[c][r.lake(k)] = store_conc(g, v);
            book(m, con_flow::lake_initial, c, g);
        }
    }
}

void chan_cell_mass_exchange(model_state& m) {
    if (m.chan_mass.empty() || m.ov_qlat_vol.empty()) return;
    const network_rows r = chan_rows_of(m);
    const double area = m.gridsize * m.gridsize;
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            double& q = m.ov_qlat_vol[s][k];
            const double v = q;
            q = 0.0;
            if (!(std::fabs(v) > kTinyVolume)) continue;
            const int row = store_of_node(m, r, m.gst_node[s][k], m.gst_link[s][k]);
            const int cell = m.gst_gnum[s][k];
            const bool lake = r.is_lake(row);
            double& water = m.contam_water[cell];
            const double held = water * area;  // the water the cell's mass is dissolved in (m3)
            const double share = v > 0.0 ? (held > v ? v / held : 1.0) : 0.0;
            water = std::max(0.0, water - v / area);
            if (row <= 0) continue;
            if (!lake && v > 0.0) m.chan_qlat_water[row] += v;
            for (int c = 1; c <= m.ncontam; ++c) {
                if (!carried_by_water(m, c)) continue;
                double& cell_mass = m.contam_mass[static_cast<std::size_t>(c)][cell];
                double g;
                if (v > 0.0) {
                    g = share * std::max(0.0, cell_mass);
                    if (!(g > 0.0)) continue;
                    cell_mass -= g;
                    if (lake) {
                        m.chan_mass[c][row] += g;
                    } else {
                        m.chan_source[c][row] += g;
                        m.chan_qlat_conc[c][row] += g;  // grams until the interval's water divides them
                    }
                } else {
                    g = -take_with_water(m, c, row, -v);
                    if (g == 0.0) continue;
                    m.chan_mass[c][row] += g;
                    cell_mass -= g;
                }
                if (lake) {
                    book(m, con_flow::lake_from_overland, c, g);
                } else {
                    book(m, con_flow::chan_lateral, c, g);
                    m.chan_qlat_mass[c][row] += g;
                }
            }
        }
    }
}

void book_chan_point_masses(model_state& m) {
    if (m.chan_mass.empty() || m.vol_chan_point.empty()) return;
    const network_rows r = chan_rows_of(m);
    for (int l = 1; l <= m.nlinks; ++l) {
        const int last = std::max(m.link_nodes[l], m.nx1[l]);
        for (int j = 1; j <= last && j <= m.maxnodes; ++j) {
            double& v = m.vol_chan_point[j][l];
            if (!(std::fabs(v) > kTinyVolume)) {
                v = 0.0;
                continue;
            }
            // The file's points bring their concentrations; the POINTSOURCE
            // series bring water only.
            const double from_file = m.chan_point_Q.empty() ? 0.0 : m.chan_point_Q[j][l];
            double from_series = 0.0;
            if (!m.stream_pointsource.empty() && m.stream_pointsource[j][l])
                from_series = ts_value_at(m.time, m.stream_pointsource[j][l]);
            const double total = from_file + from_series;
            const double share = total > 0.0 && from_file > 0.0 ? std::min(1.0, from_file / total) : 0.0;
            const int row = store_of_node(m, r, j, l);
            if (row > 0)
                exchange_with_outside(
                    m, row, v,
                    [&](int c) {
                        const std::size_t s = static_cast<std::size_t>(c);
                        return s < m.chan_point_conc.size() ? m.chan_point_conc[s][j][l] * share : 0.0;
                    },
                    book_point);
            v = 0.0;
        }
    }
}

void lake_takes_node(model_state& m, int lake, int j, int l, double volume) {
    if (m.chan_mass.empty() || lake < 1 || lake > m.nlakes) return;
    const network_rows r = chan_rows_of(m);
    const int node = r.node(j, l), to = r.lake(lake);
    for (int c = 1; c <= m.ncontam; ++c) {
        const double g = m.chan_mass[c][node] + m.chan_source[c][node];
        m.chan_mass[c][node] = 0.0;
        m.chan_source[c][node] = 0.0;
        m.chan_conc[c][node] = 0.0;
        if (g == 0.0) continue;
        m.chan_mass[c][to] += g;
        book(m, con_flow::lake_node_exchange, c, g);
    }
    m.chan_water[node] = 0.0;
    m.chan_water[to] += std::max(0.0, volume);
}

void lake_gives_node(model_state& m, int lake, int j, int l, double volume) {
    if (m.chan_mass.empty() || lake < 1 || lake > m.nlakes) return;
    const network_rows r = chan_rows_of(m);
    const int node = r.node(j, l), from = r.lake(lake);
    const double v = std::max(0.0, volume);
    for (int c = 1; c <= m.ncontam; ++c) {
        const double held = m.chan_mass[c][from];
        const double g = std::min(std::max(0.0, held), store_conc(held, m.chan_water[from]) * v);
        m.chan_mass[c][from] -= g;
        m.chan_mass[c][node] += g;
        m.chan_conc[c][node] = store_conc(m.chan_mass[c][node], v);
        if (g != 0.0) book(m, con_flow::lake_node_exchange, c, -g);
    }
    m.chan_water[node] = v;
    m.chan_water[from] = std::max(0.0, m.chan_water[from] - v);
}

void lake_takes_cell(model_state& m, int lake, int cell, double water) {
    if (m.chan_mass.empty() || lake < 1 || lake > m.nlakes || cell < 1 || cell > m.ncells) return;
    const int to = chan_rows_of(m).lake(lake);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!carried_by_water(m, c)) continue;
        const std::size_t s = static_cast<std::size_t>(c);
        const double g = m.contam_mass[s][cell];
        m.contam_mass[s][cell] = 0.0;
        m.contam_conc[s][cell] = 0.0;
        if (g == 0.0) continue;
        m.chan_mass[c][to] += g;
        book(m, con_flow::lake_from_overland, c, g);
    }
    m.contam_water[cell] = 0.0;
    m.chan_water[to] += std::max(0.0, water);
}

void lake_conc_of_volume(model_state& m) {
    if (m.chan_mass.empty() || !m.chan_lakes_on) return;
    const network_rows r = chan_rows_of(m);
    for (int c = 1; c <= m.ncontam && c <= m.chan_conc.nrows(); ++c) {
        for (int k = 1; k <= m.nlakes; ++k)
            m.chan_conc[c][r.lake(k)] = store_conc(m.chan_mass[c][r.lake(k)], std::max(0.0, m.lake_volume[k]));
    }
}

void step_channel_wq_reactions(model_state& m) {
    if (g_error_record.stop || m.chan_mass.empty() || !clock_due(m.chan_con_next, m.time, m.time_tol)) return;
    const double dt = (m.time - m.chan_con_last) * kSecondsPerDay;
    const double k = m.chan_decay_coef / kSecondsPerDay;
    if (!(dt > 0.0) || !(k > 0.0) || !m.chan_con_started) return;
    const network_rows r = chan_rows_of(m);
    water_now(m, r);
    const double lost = -std::expm1(-k * dt);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c) || sediment_class_slot(m, c)) continue;
        double* mass = m.chan_mass[c];
        double nodes = 0.0, lakes = 0.0;
        for (int row = 1; row <= m.chan_rows; ++row) {
            // A store dry at either end of the interval does not decay.
            if (!(std::min(m.chan_water[row], m.chan_water_now[row]) > kTinyWater) || !(mass[row] > 0.0)) continue;
            const double g = mass[row] * lost;
            mass[row] -= g;
            (r.is_lake(row) ? lakes : nodes) += g;
        }
        if (nodes > 0.0) book(m, con_flow::chan_decay, c, nodes);
        if (lakes > 0.0) book(m, con_flow::lake_decay, c, lakes);
        book(m, con_flow::network_decay, c, nodes + lakes);
    }
}

void step_channel_lake_contam_mass(model_state& m) {
    if (m.chan_mass.empty() || !clock_due(m.chan_con_next, m.time, m.time_tol)) return;
    const double dt = (m.time - m.chan_con_last) * kSecondsPerDay;
    const network_rows r = chan_rows_of(m);
    water_now(m, r);
    if (!m.chan_con_started) set_initial_node_masses(m);
    for (mat2<double>* a : {&m.chan_qlat_mass, &m.chan_gw_mass, &m.chan_qlat_conc}) a->fill(0.0);
    m.chan_qlat_water.fill(0.0);
    chan_cell_mass_exchange(m);
    const double* qlat_water = m.chan_qlat_water.data();
    for (int c = 1; c <= m.ncontam; ++c) {
        double* conc = m.chan_qlat_conc[c];
        for (int row = 1; row <= r.lake_row0; ++row)
            conc[row] = qlat_water[row] > kTinyVolume ? conc[row] / qlat_water[row] : 0.0;
    }
    take_groundwater(m, r);
    if (dt > 0.0) {
        build_network_faces(m, r, m.qp_vol, m.chan_faces);
        build_disp_faces(m, r);
        chan_wq_network net;
        net.rows = m.chan_rows;
        net.faces = m.chan_faces.data();
        net.nfaces = static_cast<int>(m.chan_faces.size());
        net.disp = m.chan_disp_faces.data();
        net.ndisp = static_cast<int>(m.chan_disp_faces.size());
        net.water0 = m.chan_water.data();
        net.water1 = m.chan_water_now.data();
        net.length = m.chan_row_length.data();
        chan_wq_work w{m.cw_conc.data(), m.cw_mstar.data(), m.cw_mnew.data(), m.cw_m0.data(), m.cw_asked.data(),
                       m.cw_out.data(),  m.cw_pred.data(),  m.cw_amount.data(), m.cw_dpred.data(),
                       m.cw_damount.data()};
        for (int c = 1; c <= m.ncontam; ++c) {
            if (!carried_by_water(m, c)) continue;
            double* source = m.chan_source[c];
            double* rate = m.cw_rate.data();
            for (int row = 0, rows = m.chan_rows; row <= rows; ++row) {
                rate[row] = source[row] / dt;
                source[row] = 0.0;
            }
            const bool nutrient = reacts_in_water(m, c) && !m.cw_nutrient_disp.empty();
            net.disp_coef = nutrient ? m.cw_nutrient_disp.data() : m.cw_disp.data();
            const chan_wq_result res = chan_wq_route(net, m.chan_mass[c], m.cw_rate.data(), dt, w, m.cw_total.data());
            ++m.chan_route_calls;
            m.chan_route_substeps += res.substeps;
            m.chan_route_passes += res.passes;
            substep_stats& st = m.chan_route_stats;
            ++st.intervals;
            st.substeps += res.substeps;
            if (res.set_by_flow) st.set_by_flow += res.substeps;
            st.most = std::max(st.most, res.substeps);
            if (!res.ok) return;
            book_faces(m, r, c, dt);
            if (!masses_are_real(m, r, c)) return;
        }
        partition_channel_attached(m);
        attached_flux_of_interval(m, dt);
    }
    const double* water_now = m.chan_water_now.data();
    for (int c = 1; c <= m.ncontam; ++c) {
        const double* mass = m.chan_mass[c];
        double* conc = m.chan_conc[c];
        for (int row = 1, rows = m.chan_rows; row <= rows; ++row) conc[row] = store_conc(mass[row], water_now[row]);
    }
    std::copy(m.chan_water_now.data(), m.chan_water_now.data() + m.chan_rows + 1, m.chan_water.data());
    m.qp_vol.fill(0.0);
    m.chan_con_last = m.time;
    m.chan_con_next = m.chan_next;
}

}  // namespace kesta
