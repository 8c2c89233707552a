// The caller's side of the named allocators: they print and hand back an
// empty block when memory runs out or a size is refused, and never stop the
// run, so every caller that goes on to use what it asked for tests it here.
#pragma once

#include <string>

#include "core/error_record.hpp"

namespace kesta {

// Prints "Error: <what> could not be made; the run stops.\n" on the console
// and in the record's summary file and stores code 4000 with the stop flag
// in `rec`, for the run driver to report. Always false.
bool refuse_unmade(error_record& rec, const std::string& what);

// True when none of `blocks` (vec1, mat2 or cube3) is empty; otherwise
// refuse_unmade(rec, what). `what` names what the blocks make up ("the
// channel node tables").
template <class... Blocks>
bool blocks_made(error_record& rec, const std::string& what, const Blocks&... blocks) {
    if ((!blocks.empty() && ...)) return true;
    return refuse_unmade(rec, what);
}

}  // namespace kesta
