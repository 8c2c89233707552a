#include "core/alloc_check.hpp"

namespace kesta {

bool refuse_unmade(error_record& rec, const std::string& what) {
    print_both(rec.summary_file, "Error: " + what + " could not be made; the run stops.\n");
    rec.fail(4000);
    return false;
}

}  // namespace kesta
