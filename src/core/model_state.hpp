// The one object of a model run: every option, grid, table, open file and
// running total. Each subsystem declares its members in its own folder; they
// are composed here in a fixed order, which is also the reverse order in which
// they are released.
#pragma once

#include "channel/channel_state.hpp"
#include "core/core_state.hpp"
#include "input/input_state.hpp"
#include "nutrients/nutrient_state.hpp"
#include "output/output_state.hpp"
#include "overland/overland_state.hpp"
#include "subsurface/subsurface_state.hpp"
#include "transport/transport_state.hpp"

namespace kesta {

struct model_state : output_state,
                     core_state,
                     overland_state,
                     subsurface_state,
                     transport_state,
                     channel_state,
                     input_state,
                     core_tail_state,
                     grid_state,
                     nutrient_state,
                     output_tail_state,
                     nutrient_tail_state {
    model_state();
    ~model_state();
    model_state(const model_state&) = delete;
    model_state& operator=(const model_state&) = delete;
};

}  // namespace kesta
