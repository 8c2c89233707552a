#include "calibration/replace_params.hpp"

namespace kesta {

namespace {
bool g_replace_mode = false;
int g_replace_line = 0;
std::string g_param_file_name;
std::string g_value_file_name;
}  // namespace

bool replace_mode_on() { return g_replace_mode; }

void set_replace_mode(bool on) { g_replace_mode = on; }

// No replacement list exists yet in the process, so there is nothing to
// substitute.
void replace_line_tokens(std::string&) {}

}  // namespace kesta

namespace kesta {

void read_replace_param_file(const std::string& name) { g_param_file_name = name; }

void read_replace_value_file(const std::string& name) { g_value_file_name = name; }

const std::string& replace_param_file_name() { return g_param_file_name; }

const std::string& replace_value_file_name() { return g_value_file_name; }

void set_replace_line(int index) { g_replace_line = index; }

int replace_line() { return g_replace_line; }

// The list is empty until the replacement parameter file is read.
void print_replace_usage(std::FILE*) {}

void free_replace_list() {}

}  // namespace kesta
