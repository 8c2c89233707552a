// The progress line of a run on a terminal: where the simulation is, what
// share of the run is done, the wall time so far and an estimate of what is
// left.
#pragma once

#include <string>

#include "model/model_state_fwd.hpp"

namespace kesta {

// Where a run is, in model time (Julian days).
struct run_position {
    double time = 0.0;   // reached
    double start = 0.0;  // the run began
    // The run is expected to end: at the latest (END_TIME, TOT_TIME, the end
    // of the weather data, the end of a single event), or, when
    // `end_is_last_rain`, when the last event's rain ends (the run then goes
    // on while the water drains). Unknown when not after `start`.
    double end = 0.0;
    bool end_is_last_rain = false;
    double wall_seconds = 0.0;  // since the time loop began
};

// The position of a run in the pass that has just run.
run_position position_of(const model_state& m, double wall_seconds);

// The line, for instance "Simulated to 3/14/2021 10:00, 41.2% done,
// 0:00:37 elapsed, about 0:00:53 left": the share and the estimate once the
// end is known and some model time has passed; past the end of the last
// rain "last event draining" in their place.
std::string progress_text(const run_position& p);

}  // namespace kesta
