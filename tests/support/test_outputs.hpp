// An output of a run opened by a test as the run's files open theirs:
// through the run's output registry, shown in its slot, closed with
// kesta::close_output.
#pragma once

#include <cstdio>
#include <string>

#include "model/model_state.hpp"
#include "output/output_registry.hpp"

namespace kesta_test {

// Opens `name` for writing (never numbered) as the output of `slot`; null
// when it cannot be opened.
inline std::FILE* open_output(kesta::model_state& m, kesta::output_slot& slot, const std::string& name) {
    kesta::output_request request;
    request.words = "a test's output " + name;
    request.name = name;
    request.add_run_number = 0;
    return kesta::open_output(m, request, &slot).fp;
}

}  // namespace kesta_test
