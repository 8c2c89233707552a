#include "core/model_state.hpp"

#include "calibration/replace_params.hpp"

namespace kesta {

model_state::~model_state() {
    // The process-wide lists that a run fills die with the run.
    free_replace_list();
    // The nutrient container goes before the member arrays it may refer to.
    zep.reset();
    project_options.zep_container.reset();
}

}  // namespace kesta
