// Replacement of bracketed parameter names in input lines by trial values,
// as seen by the line reader.
#pragma once

#include <cstdio>
#include <string>

namespace kesta {

// True while replacement is active. Off at process start; the reader of the
// replacement value file turns it on.
bool replace_mode_on();
void set_replace_mode(bool on);

// Replaces every bracketed replacement name in `line` by its current value, in
// place. With no replacement list loaded the line is left unchanged.
void replace_line_tokens(std::string& line);

// The replacement parameter file (card REPLACE_PARAMS) and the value file
// (card REPLACE_VALS). For now only the names are recorded; the files are not
// read and replacement stays as it was.
void read_replace_param_file(const std::string& name);
void read_replace_value_file(const std::string& name);
// The names last recorded by the two calls above; empty before any call.
const std::string& replace_param_file_name();
const std::string& replace_value_file_name();

// Selects the line of the value file (0 = the first) that the next run uses.
void set_replace_line(int index);
int replace_line();

// Writes, for every replacement name, whether its value was used.
void print_replace_usage(std::FILE* summary);

// Releases the process-wide list of replacement parameters.
void free_replace_list();

}  // namespace kesta
