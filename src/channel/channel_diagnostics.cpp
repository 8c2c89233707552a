// Steps of the channel set-up after the network is read: the hydrograph
// and sediment locations, the grid-stream exchange arrays, the Sacramento channel
// weights, and the two diagnostic files that point at suspicious places in
// the network.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_setup.hpp"
#include "channel/link_types.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "output/output_registry.hpp"

namespace kesta {

namespace {

constexpr double kMinNodeSpacing = 0.0001;  // m
constexpr double kTinyWeight = 1e-10;
constexpr double kWeightSumTolerance = 1e-9;

bool refuse_location(const char* kind, const std::string& file, int line, const std::string& what) {
    return refuse(format_text("Error: %s location file %s, line %d: %s\n", kind, file.c_str(), line, what.c_str()));
}

// A location list: a count, then one "link node" pair per location, each a
// node of a link the network has (and, with `open_only`, of a link routed
// as a channel). False when refused (reported).
bool read_locations(model_state& m, std::FILE* fp, const std::string& name, const char* kind, bool open_only,
                    vec1<int>& links, vec1<int>& nodes, int& count, const char* link_name, const char* node_name) {
    token_stream in(fp);
    std::string word;
    count = 0;
    if (!in.next(word)) return refuse(format_text("End of file reached in file %s, exiting\n", name.c_str()));
    int n = 0;
    if (!parse_int(word, n) || n < 0)
        return refuse_location(kind, name, in.token_line(),
                               format_text("the count \"%s\" is no whole number of 0 or more.", word.c_str()));
    // A location is two numbers: at least four bytes of the file.
    const long bytes = file_size(fp);
    if (bytes >= 0 && n > (bytes + 1) / 4)
        return refuse_location(kind, name, in.token_line(),
                               format_text("the count %d is more locations than the file's %ld bytes can hold.", n,
                                           bytes));
    alloc_ivector(links, n, link_name);
    alloc_ivector(nodes, n, node_name);
    if (!blocks_made(g_error_record, format_text("the %s locations", kind), links, nodes)) return false;
    for (int k = 1; k <= n; ++k) {
        int v[2] = {0, 0};
        for (int& value : v) {
            if (!in.next(word)) return refuse(format_text("End of file reached in file %s, exiting\n", name.c_str()));
            if (!parse_int(word, value))
                return refuse_location(kind, name, in.token_line(),
                                       format_text("\"%s\" is no whole number.", word.c_str()));
        }
        const int link = v[0], node = v[1];
        if (link < 1 || link > m.nlinks || node < 1 || node > m.link_nodes[link])
            return refuse_location(kind, name, in.token_line(),
                                   format_text("location %d is node %d of link %d, which the channel network does "
                                               "not have.",
                                               k, node, link));
        if (open_only && !link_is_open_channel(m.ltype[link]))
            return refuse_location(kind, name, in.token_line(),
                                   format_text("location %d is on link %d, a lake or structure, which carries no "
                                               "sediment of its own.",
                                               k, link));
        links[k] = link;
        nodes[k] = node;
    }
    count = n;
    return true;
}

// A diagnostic file written whole or refused: a partial one would mislead.
template <class Write>
void write_diagnostic(model_state& m, const char* file_name, Write write) {
    output_request request;
    request.words = std::string("the channel diagnostic ") + file_name;
    request.name = file_name;
    request.group = output_group::written_whole;
    request.what = "channel diagnostic file";
    request.fixed = true;
    const opened_output o = open_output(m, request);
    if (o.refused) return;
    if (!o.fp) {
        refuse(format_text("Error writing channel diagnostic file %s: the output is incomplete.\n",
                           output_path(file_name, "w", 1).c_str()));
        return;
    }
    write(o.fp);
    close_output(m, o.fp);
}

}  // namespace

void read_hlink_hnode(model_state& m) {
    std::FILE* fp = m.in_hyd_location_fp.get();
    if (!m.in_hyd_location_given || !fp) return;
    read_locations(m, fp, m.in_hyd_location, "hydrograph", false, m.hlink, m.hnode, m.hyd_loc_count, "hlink",
                   "hnode");
}

void read_slink_snode(model_state& m) {
    std::FILE* fp = m.in_sed_loc_fp.get();
    if (!m.chan_sed_on || !fp) return;
    if (!read_locations(m, fp, m.project_options.in_sed_loc, "sediment", true, m.slink, m.snode, m.sed_loc_count,
                        "slink", "snode"))
        return;
    std::FILE* out = m.out_sed_loc_fp.get();
    if (!out) return;
    std::fprintf(out, "%d\n", m.sed_loc_count);
    for (int k = 1; k <= m.sed_loc_count; ++k) std::fprintf(out, "%4d %4d\n", m.slink[k], m.snode[k]);
}

void check_node_spacing(model_state& m) {
    if (m.nstreamcells == 0) return;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (link_is_lake_or_structure(m.ltype[l])) continue;
        if (m.chan_dx[l] < kMinNodeSpacing) {
            refuse(format_text("\nYour channel node spacing is %f in link %d\n"
                               "You must specify a realistic value.  Program terminated.\n",
                               m.chan_dx[l], l));
            return;
        }
    }
    const int cells = m.nstreamcells, widest = m.gst_link.ncols();
    if (m.gw_simulation || m.stream_loss || m.chan_con_trans) {
        alloc_dmatrix(cells, widest, m.gst_qriv, "gst_qriv");
        alloc_dmatrix(cells, widest, m.gst_qriv_vol, "gst_qriv_vol");
    }
    alloc_ivector(m.gst_row, cells, "gst_row");
    alloc_ivector(m.gst_col, cells, "gst_col");
    const char* what = "the grid-stream exchange tables";
    if (!blocks_made(g_error_record, what, m.gst_row, m.gst_col) ||
        ((m.gw_simulation || m.stream_loss || m.chan_con_trans) &&
         !blocks_made(g_error_record, what, m.gst_qriv, m.gst_qriv_vol)))
        return;
    // Row and column of every cell number, from one pass over the mask.
    std::vector<int> row_of(static_cast<std::size_t>(m.ncells) + 1), col_of(row_of.size());
    for (int r = 1; r <= m.rows; ++r) {
        for (int c = 1; c <= m.cols; ++c) {
            const int k = m.mask[r][c];
            if (k < 1 || k > m.ncells) continue;
            row_of[static_cast<std::size_t>(k)] = r;
            col_of[static_cast<std::size_t>(k)] = c;
        }
    }
    for (int s = 1; s <= cells; ++s) {
        const std::size_t g = static_cast<std::size_t>(m.gst_gnum[s][1]);
        m.gst_row[s] = row_of[g];
        m.gst_col[s] = col_of[g];
    }
}

void compute_topo_index_weights(model_state& m) {
    if (!m.sacramento_given || !m.chan_routing || m.nstreamcells == 0) return;
    alloc_dvector(m.sac_chan_weight, m.ncells, "sac_chan_weight");
    if (!blocks_made(g_error_record, "the channel weights of the cells", m.sac_chan_weight)) return;
    m.sac_chan_cells = 0;
    m.sac_topo_sum = 0.0;
    m.sac_chan_length = 0.0;
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            m.sac_chan_length += m.gst_pct[s][k] * m.chan_dx[m.gst_link[s][k]];
            const int g = m.gst_gnum[s][k];
            if (m.sac_chan_weight[g] >= kTinyWeight) continue;
            ++m.sac_chan_cells;
            // Without topographic indices every channel cell weighs the same.
            const double index = m.topo_index ? value_at(m.topo_dex, g) : 1.0;
            m.sac_topo_sum += index;
            m.sac_chan_weight[g] = index;
        }
    }
    if (m.sac_topo_sum < kTinyWeight) {
        refuse("Problem, sum of the topographic indices in all channel-containing grids is <=0.0\n"
               "Program terminated\n");
        return;
    }
    for (int g = 1; g <= m.ncells; ++g) {
        if (m.sac_chan_weight[g] > 0.0) m.sac_chan_weight[g] /= m.sac_topo_sum;
    }
    double sum = 0.0;
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            const double w = m.gst_pct[s][k] * m.chan_dx[m.gst_link[s][k]] / m.sac_chan_length *
                             m.sac_chan_weight[m.gst_gnum[s][k]];
            if (!(w > 0.0)) {
                refuse("Problem, gst_sac_weight <=0.0\nProgram terminated\n");
                return;
            }
            m.gst_sac_weight[s][k] = w;
            sum += w;
        }
    }
    double total = 0.0;
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            m.gst_sac_weight[s][k] /= sum;
            total += m.gst_sac_weight[s][k];
        }
    }
    say_console(m, format_text("Sac Weights: %lf\n", total));
    if (std::fabs(total - 1.0) > kWeightSumTolerance)
        refuse("Problem, summation of the Sacramento weights is not equal to 1.0.\nProgram terminated.\n");
}

void check_short_links(model_state& m) {
    write_diagnostic(m, "short_links.out", [&](std::FILE* fp) {
        std::fputs("Links with 1 node:\n", fp);
        for (int l = 1; l <= m.nlinks; ++l) {
            if (m.nx[l] == 1) std::fprintf(fp, "%d\n", l);
        }
    });
}

void check_thalweg(model_state& m) {
    write_diagnostic(m, "bad_thalweg.out", [&](std::FILE* fp) {
        std::fputs("Problem    link    node    thalweg     cell    elev\n"
                   "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
                   "3=difference>3.5\n",
                   fp);
        for (int s = 1; s <= m.nstreamcells; ++s) {
            for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
                const int link = m.gst_link[s][k], node = m.gst_node[s][k], cell = m.gst_gnum[s][k];
                const double thalweg = m.bel[node][link];
                if (thalweg > m.elev[cell])
                    std::fprintf(fp, "0     %4d    %4d   %lf   %d   %lf\n", link, node, thalweg, cell,
                                 m.elev[cell]);
            }
        }
    });
}

}  // namespace kesta
