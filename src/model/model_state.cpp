#include "model/model_state.hpp"

#include "calibration/replace_params.hpp"
#include "input/time_series.hpp"

namespace kesta {

model_state::model_state() {
    // The series lists are process-wide but belong to one run: a new run
    // starts without those of the run before it.
    ts_free_all();
}

model_state::~model_state() {
    // The process-wide lists that a run fills die with the run.
    ts_free_all();
    free_replace_list();
    // The nutrient container goes before the member arrays it may refer to.
    zep.reset();
}

}  // namespace kesta
