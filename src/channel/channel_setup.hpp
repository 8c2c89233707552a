// The steps of the channel set-up after the network is read: the initial
// state, the output locations, the grid-stream exchange arrays, the
// Sacramento channel weights and the network diagnostics. Each reports a
// refusal at once (code 4000) and returns.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// READ_CHAN_HOTSTART / EXPLIC_HOTSTART: one line "node link water-surface
// [area]" per node of every link routed as a channel, in link and node
// order; flow areas, top widths and conveyances follow from the restored
// water surfaces. A water surface below the bed starts the node dry, with
// a warning.
void read_chan_hotstart(model_state& m);

// IN_HYD_LOCATION: a count, then one "link node" pair per location.
void read_hlink_hnode(model_state& m);
// IN_SED_LOC, with channel sediment: the same, each location a node of an
// open channel; the list is echoed at the head of OUT_SED_LOC (the count,
// then "link node" per location).
void read_slink_snode(model_state& m);

// With a grid-stream file: every link other than a lake or structure needs
// a node spacing of at least 0.0001 m; then the exchange arrays and the
// grid row and column of every stream cell.
void check_node_spacing(model_state& m);

// Sacramento with channel routing: the weight of every grid-stream entry in
// the channel inflow of the Sacramento outflow, by the entry's channel
// length and its cell's topographic index (uniform without TOPO_INDEX).
// The weights sum to 1.
void compute_topo_index_weights(model_state& m);

// "short_links.out": the links with a single computational node.
void check_short_links(model_state& m);
// "bad_thalweg.out": the grid-stream entries whose node bed lies above the
// ground of its cell.
void check_thalweg(model_state& m);

}  // namespace kesta
