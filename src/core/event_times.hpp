// Event start times as the event steps read them.
#pragma once

#include <limits>

#include "core/model_state.hpp"

namespace kesta {

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
