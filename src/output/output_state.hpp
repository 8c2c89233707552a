// Members of the model state owned by the output subsystem: the run's file
// slots and its output objects.
#pragma once

#include <memory>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "output/output_objects.hpp"

namespace kesta {

struct output_state {
    file_ptr summary_fp;  // the run's summary file; messages are copied here

    map_series map_outputs[3];
    std::unique_ptr<vq_data> vq;  // present when the reservoir coupling is configured
};

// The nutrient map and link/node output tables stand at the tail of the state.
struct output_tail_state {
    array2d<map_series> nutr_map_outputs;
    array2d<linknode_output> nutr_linknode_outputs;
};

}  // namespace kesta
