#include "core/alloc_check.hpp"

namespace kesta {

bool refuse_unmade(error_record& rec, const std::string& what) {
    const std::string text = "Error: " + what + " could not be made; the run stops.\n";
    print_both(rec.summary_file, text);
    rec.fail(4000);
    rec.stop_message = text;
    return false;
}

}  // namespace kesta
