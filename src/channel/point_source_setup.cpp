// Start-up of the channel inputs: the head boundary at the outlet. The
// initial channel volume and masses, the point sources and the marking of
// the grid-stream cells belong with the channel network and are not set up
// here.
#include "channel/channel_steps.hpp"
#include "core/error_record.hpp"
#include "core/event_steps.hpp"
#include "core/model_state.hpp"
#include "input/time_series.hpp"

namespace kesta {

void setup_chan_point_sources(model_state& m) {
    if (m.head_bound && m.bound_ts_given) {
        if (!ts_find_by_name(m.bound_ts)) {
            g_error_record.fail(127, m.bound_ts);
            return;
        }
        set_chan_point_value(m);
    }
}

}  // namespace kesta
