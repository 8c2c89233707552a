// Members of the model state owned by the nutrient module.
#pragma once

#include <memory>

#include "core/arrays.hpp"
#include "nutrients/zep_container.hpp"

namespace kesta {

struct nutrient_state {
    int nutrients = 0;  // the NUTRIENTS card was given
    // The module's container (setup_nutrient_container); null without
    // NUTRIENTS.
    std::shared_ptr<zep_container> zep;
};

// Per-cell soil sorption constants, filled by the nutrient soil set-up:
// six from the ZEP_SOIL_KM table, six from ZEP_SOIL_KOC.
struct nutrient_tail_state {
    array1d<double> soil_km[6];
    array1d<double> soil_koc[6];
};

}  // namespace kesta
