#include "calibration/replace_params.hpp"

namespace kesta {

namespace {
bool g_replace_mode = false;
int g_replace_line = 0;
}  // namespace

bool replace_mode_on() { return g_replace_mode; }

void set_replace_mode(bool on) { g_replace_mode = on; }

// No replacement list exists yet in the process, so there is nothing to
// substitute.
void replace_line_tokens(std::string&) {}

}  // namespace kesta

namespace kesta {

void set_replace_line(int index) { g_replace_line = index; }

int replace_line() { return g_replace_line; }

// The list is empty until the replacement parameter file is read.
void print_replace_usage(std::FILE*) {}

void free_replace_list() {}

}  // namespace kesta
