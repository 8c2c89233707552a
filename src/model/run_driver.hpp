// Observation of the run driver's steps, for tests and diagnostics: the
// observer, when set, is called with each step's name just before the step,
// and the step runs only when it returns true. Tests use it to watch the
// order and to stand in for steps.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

using step_observer = bool (*)(model_state& m, const char* step_name);

// Pass nullptr to remove the observer.
void set_step_observer(step_observer observer);

}  // namespace kesta
