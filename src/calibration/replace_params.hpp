// Replacement of bracketed parameter names in input lines by trial values,
// as seen by the line reader.
//
// A replacement parameter file declares names such as [KS] with a C-style
// print format; a value file (one line of values per run) or the calibration
// drivers supply the values. The list, the on/off switch, the value-line index
// and the substitution counter are process-wide; the list itself is freed
// with every model state, so each calibration run reads it again.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kesta {

// True while replacement is active. Off at process start; reading a value file
// or loading trial values turns it on, and it stays on.
bool replace_mode_on();
void set_replace_mode(bool on);

// Reads the replacement parameter file and appends one parameter per declared
// name. Returns 0 on success, -1 when the file cannot be opened or read, or
// when any declaration was refused (every refused line is reported).
int read_replace_param_file(const std::string& file);

// Reads the line of the value file selected by set_replace_line (the last line
// when the file is shorter), loads one value per parameter and switches
// replacement on. Returns 0, or -1 with a message.
int read_replace_value_file(const std::string& file);

// Selects the line of the value file (0 = the first) that the next run uses.
void set_replace_line(int index);
int replace_line();

// Copies values[1..n] (1-based; element 0 unused) into the parameters in
// declaration order and switches replacement on: an integer parameter ("%d")
// takes substituted_int of the value. Values past the last parameter are
// ignored; a string parameter keeps the value it has.
void set_replace_values(const std::vector<double>& values);

// The whole number an integer parameter takes from the trial value `v`: the
// nearest, halves away from zero (the nearest end of the range of an int
// beyond it, 0 for a NaN).
int substituted_int(double v);

// One flag per declared parameter in declaration order (1-based; element 0
// unused): true for an integer parameter, whose lines receive
// substituted_int of its trial value.
std::vector<bool> integer_replace_params();

// Replaces every bracketed replacement name in `line` by its current value, in
// place. Inserted text is not scanned again. A bracket that starts no declared
// name is reported and left as it is.
void replace_line_tokens(std::string& line);

// Writes the values in use, to `fp` (when given) and to standard output.
void print_replace_values(std::FILE* fp);
// Writes how many substitutions were made and, for every replacement name,
// whether its value was used; to `fp` (when given) and to standard output.
void print_replace_usage(std::FILE* fp);

// Releases the process-wide list of replacement parameters.
void free_replace_list();

}  // namespace kesta
