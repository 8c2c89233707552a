// The channel set-up: the network is read, then the rest of the channel
// state is built in a fixed order, the set-up of the constituents and of
// the storm drains taking their turns in between.
#include "channel/channel_setup.hpp"

#include "channel/channel_input.hpp"
#include "channel/channel_routing.hpp"
#include "channel/channel_steps.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "input/input_steps.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

bool alloc_node_state(model_state& m) {
    const int rows = m.maxnodes, cols = m.nlinks;
    alloc_dmatrix(rows, cols, m.chan_depth, "chan_depth");
    alloc_dmatrix(rows, cols, m.area, "area");
    alloc_dmatrix(rows, cols, m.area_old, "area_old");
    alloc_dmatrix(rows, cols, m.conv, "conv");
    alloc_dmatrix(rows, cols, m.dconv, "dconv");
    alloc_dmatrix(rows, cols, m.topw, "topw");
    return blocks_made(g_error_record, "the flow state of the channel nodes", m.chan_depth, m.area, m.area_old,
                       m.conv, m.dconv, m.topw);
}

// The routing divides its step by the Courant limit and needs an outlet
// whose bed falls to its last node (unless the head boundary holds it).
bool routing_options_valid(model_state& m) {
    if (!(m.max_courant_number > 0.0))
        return refuse(format_text("Error: project file %s: MAX_COURANT_NUMBER %g; the channel routing needs a Courant "
                                  "limit above 0.\n",
                                  m.project_file.c_str(), m.max_courant_number));
    const int out = m.nlinks, n = m.nx[out];
    if (m.head_bound || m.bel[n - 1][out] >= m.bel[n][out]) return true;
    return refuse(format_text("The outlet slope is negative.  Make sure that the bed\n"
                              "elevation of the most downstream node is lower than\n"
                              "the bed elevation of the node just upstream from it.\n"
                              "Program stopped.\n"
                              "(channel input file %s: link %d, bed %.4f m at node %d, %.4f m at node %d)\n",
                              m.channel_input.c_str(), out, m.bel[n - 1][out], n - 1, m.bel[n][out], n));
}

// Channel sediment moves sand only on erodible links (TRAP_ERODE,
// BREAK_ERODE); a network without one is refused.
bool erodible_link_present(const model_state& m) {
    for (int l = 1; l <= m.nlinks; ++l) {
        if (link_is_erodible_channel(m.ltype[l])) return true;
    }
    refuse_on_stderr(format_text("\nYou have selected overland erosion with channel routing.  The channel\n"
                                 "input file does not contain any erodable trapezoidal links (linktype 30).\n"
                                 "You must edit all link types and convert them to erodable trapezoidal\n"
                                 "links.  At present KESTA only performs sediment routing in erodable\n"
                                 "trapezoidal channels.  KESTA exiting.\n\n"
                                 "(channel input file %s has no link of type TRAP_ERODE or BREAK_ERODE)\n",
                                 m.channel_input.c_str()));
    return false;
}

}  // namespace

bool setup_channel_network(model_state& m) {
    if (!m.chan_routing) return false;
    say(m, format_text("reading channel input data from file %s\n", m.channel_input.c_str()));
    const int lake_losses = read_chan_input(m);
    if (g_error_record.code != 0 || run_stopped()) return false;
    if (m.chan_routing == 1 && !routing_options_valid(m)) return false;

    alloc_dmatrix(m.maxnodes, m.nlinks, m.yp_max_flood, "yp_max_flood");
    if (!blocks_made(g_error_record, "the highest water levels of the channel nodes", m.yp_max_flood)) return false;
    alloc_chan_sed_arrays(m);
    if (run_stopped()) return false;
    if (m.chan_lakes_on && m.gwbound.n() >= m.ncells) {
        alloc_ivector(m.og_gwbound_type, m.ncells, "og_gwbound_type");
        if (!blocks_made(g_error_record, "the groundwater boundary types as read", m.og_gwbound_type)) return false;
        for (int k = 1; k <= m.ncells; ++k) m.og_gwbound_type[k] = m.gwbound[k];
    }
    if (!alloc_node_state(m)) return false;
    read_chan_hotstart(m);
    if (run_stopped()) return false;
    alloc_chan_contam_arrays(m);
    if (run_stopped()) return false;
    if (m.stream_loss || m.chan_con_trans) {
        alloc_dmatrix(m.maxnodes, m.nlinks, m.qriv, "qriv");
        if (!blocks_made(g_error_record, "the stream-aquifer exchange of the channel nodes", m.qriv)) return false;
    }
    if (m.chan_lakes_on && lake_losses) {
        alloc_dvector(m.lake_source, m.ncells, "lake_source");
        if (!blocks_made(g_error_record, "the lake leakage of the cells", m.lake_source)) return false;
    }
    return true;
}

void finish_channel_setup(model_state& m) {
    if (m.chan_sed_on && !erodible_link_present(m)) return;
    read_hlink_hnode(m);
    if (run_stopped()) return;
    read_slink_snode(m);
    if (run_stopped()) return;
    m.nsource_links = 0;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (m.ndep[l] == 0) ++m.nsource_links;
    }
    alloc_dmatrix(m.maxnodes, m.nlinks, m.qlat, "qlat");
    if (!blocks_made(g_error_record, "the lateral inflow of the channel nodes", m.qlat) || !alloc_routing_tables(m))
        return;

    say(m, "Setting up the grid-stream data... ");
    check_node_spacing(m);
    if (run_stopped()) return;
    say(m, "done.\n");
    check_pipe_outlets_on_channels(m);
    if (run_stopped()) return;
    compute_topo_index_weights(m);
    if (run_stopped()) return;
    check_short_links(m);
    if (run_stopped()) return;
    check_thalweg(m);
}

void setup_channel(model_state& m) {
    if (setup_channel_network(m)) finish_channel_setup(m);
}

}  // namespace kesta
