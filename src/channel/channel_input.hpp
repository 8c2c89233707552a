// Reading the channel network: the channel input file with its links,
// nodes, sections, structures, point sources, pumps and lakes, and the
// grid-stream file that ties grid cells to channel nodes.
#pragma once

#include "channel/channel_cards.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Reads the open channel input file (`channel_input_fp`) and, when one is
// open, the grid-stream file (`stream_cell_fp`) into the network members of
// the model state. Returns 1 when a lake loses water through its bed (an
// MLAKE card), else 0; a refusal is reported at once (code 4000, or 85 to
// 90 for a structure's series) and leaves the network incomplete.
int read_chan_input(model_state& m);

// The grid-stream file: its stream cells, each with its link-node entries.
// False when refused.
bool read_grid_stream(model_state& m);

// The lake cards of the channel file from `first_line` on: levels, bed
// losses and the search list of every lake, its cells flooded at the
// initial level and their volume. False when refused.
bool read_chan_lakes(model_state& m, const card_file& f, int first_line);

}  // namespace kesta
