#include "output/output_objects.hpp"

#include <cstdio>

namespace kesta {

map_series::map_series() = default;

map_series::~map_series() {
    if (out && is_dataset) std::fputs("ENDDS\n", out.get());
}

linknode_output::linknode_output() = default;

}  // namespace kesta
