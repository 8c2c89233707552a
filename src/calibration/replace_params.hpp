// Replacement of bracketed parameter names in input lines by trial values,
// as seen by the line reader.
#pragma once

#include <string>

namespace kesta {

// True while replacement is active. Off at process start; the reader of the
// replacement value file turns it on.
bool replace_mode_on();
void set_replace_mode(bool on);

// Replaces every bracketed replacement name in `line` by its current value, in
// place. With no replacement list loaded the line is left unchanged.
void replace_line_tokens(std::string& line);

}  // namespace kesta
