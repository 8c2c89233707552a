#include "calibration/replace_params.hpp"

namespace kesta {

namespace {
bool g_replace_mode = false;
}  // namespace

bool replace_mode_on() { return g_replace_mode; }

void set_replace_mode(bool on) { g_replace_mode = on; }

// No replacement list exists yet in the process, so there is nothing to
// substitute.
void replace_line_tokens(std::string&) {}

}  // namespace kesta
