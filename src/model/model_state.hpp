// The one object of a model run: every option, grid, table, open file and
// running total. Each subsystem declares its members in its own folder; they
// are composed here in a fixed order, which is also the reverse order in which
// they are released.
#pragma once

#include <limits>

#include "channel/channel_state.hpp"
#include "channel/superlink/storm_drain_state.hpp"
#include "input/input_state.hpp"
#include "model/core_state.hpp"
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
                     storm_drain_state,
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

#include "model/water_flows.hpp"

namespace kesta {

// Run and event start times as the steps read them.

// The model time at which the time loop starts (Julian days): the first
// hydrometeorological record of a long-term run, the first precipitation
// event of a run with rain from a file (under the land-management framework
// the event it asked for), or the start date of uniform rain. Needs the event
// start times when the rain comes from a file.
double run_start_time(const model_state& m);

// A clock parked here is never due again in the run.
constexpr double kParkedTime = std::numeric_limits<double>::max();

// Start of precipitation event k (from 1), or `fallback` when the table has
// no such event.
inline double event_start_time(const model_state& m, int k, double fallback) {
    if (k >= 1 && k <= m.event_start_times.n()) return m.event_start_times[k];
    return fallback;
}

// True when an event follows the current one.
inline bool has_next_event(const model_state& m) {
    return m.event_index < m.nevents && m.event_index + 1 <= m.event_start_times.n();
}

// Start of the event after the current one; kParkedTime after the last event.
inline double next_event_start(const model_state& m) {
    return has_next_event(m) ? m.event_start_times[m.event_index + 1] : kParkedTime;
}

}  // namespace kesta
