// The aquatic environment file (AQ_ENV): the rate constants of the water-
// column kinetics by environment id, and the two index maps that give every
// overland cell and every channel node its id.
//
//   AQUATIC_ENV_ZEP10 ...        (the first 17 characters count)
//   OV_MAP <overland id map>     (anywhere in the file)
//   ST_MAP <stream id map>       (anywhere in the file)
//   NUM_IDS n
//   <one line, skipped>
//   blocks to the end of the file, blank lines between them skipped:
//     <id>
//     DEFAULT | ten lines of 7, 7, 4, 4, 4, 4, 7, 7, 4, 4 values
//
// A value missing at the end of a value line is 0; an id given twice keeps
// its later block.
#pragma once

#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"
#include "nutrients/source/aquatic_kinetics.hpp"

namespace kesta {

// Largest id the index maps can hold.
constexpr int kMaxAquaticIds = 10000;

struct aquatic_env {
    std::string file_name;
    std::string overland_map;
    std::string stream_map;
    int num_ids = 0;
    // By id 1..num_ids (element 0 unused): its rate block and whether the
    // file gave one.
    std::vector<aq_rate_block> rates;
    std::vector<char> given;
    vec1<int> overland_ids;  // per active cell
    mat2<int> stream_ids;    // [node][link]

    // The block of an id the readers accepted.
    const aq_rate_block& block(int id) const { return rates[static_cast<std::size_t>(id)]; }
    bool has_block(int id) const { return id >= 1 && id <= num_ids && given[static_cast<std::size_t>(id)]; }
};

// Reads the file named by AQ_ENV and its overland id map. Codes 76 (the file
// does not open), 77 (its header), 78 (an id above NUM_IDS) and 81 (the
// overland map does not open) are stored with the fields of their messages;
// any other fault of the file, and a cell whose id has no block, is refused
// with a message naming the file, the line (or cell) and the value.
void read_aquatic_env(aquatic_env& env, model_state& m);
// Reads the stream id map (ST_MAP): one id per link, given to all its nodes;
// a link whose id has no block is refused naming the file, line and value.
void read_aquatic_stream_ids(aquatic_env& env, model_state& m);

}  // namespace kesta
