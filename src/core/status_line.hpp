// One line at the foot of a terminal that rewrites itself (how far a run
// is), and that any other output replaces: the other output is never mixed
// into it, and the line is gone once it ends. Nothing changes when standard
// output is not a terminal, so a file or a pipe receives exactly what it
// would without the line.
//
// While the line is in use, standard output (and standard error, when it is
// a terminal too) writes through a stream of its own that erases the line
// before it writes. The line is shown again only by its next rewrite.
#pragma once

#include <string>

namespace kesta {

// Starts the line: true when standard output is a terminal that can erase
// a line (TERM is set and not "dumb"). False changes nothing, and the other
// calls then do nothing.
bool begin_status_line();

// Shows `text` (one line, no line end) in place of what the line showed,
// cut to the terminal's width so that it never wraps.
void show_status_line(const std::string& text);

// Erases the line and gives standard output and standard error back their
// own streams, everything written to them so far written out.
void end_status_line();

}  // namespace kesta
