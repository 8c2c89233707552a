// The project file: the one configuration file of a run. Its first line is
// "KESTAPROJECT" (or the older "TALVIKPROJECT"); every further line is one
// card: a keyword, matched without regard to case, then its values.
#pragma once

#include <string>

#include "core/line_reader.hpp"
#include "input/run_params.hpp"

namespace kesta {

// The card id of blank lines, comments and cards that are read and ignored.
constexpr int kIgnoredCard = 163;

// The largest ROWS or COLS a project may give, and the largest grid
// (ROWS x COLS cells): every grid of a run is allocated from these counts.
constexpr int kMaxGridDimension = 100000;
constexpr long long kMaxGridCells = 100000000;

// Reads the whole project file into the three blocks, which are first reset
// to the project defaults. The time-series, elevation-series, replacement and
// nutrient cards act as soon as they are met.
//
// Failures: a file that cannot be opened sets `rp.open_failed` and, to say
// why, `rp.open_errno` (nothing else changes). A bad first line, or a card
// whose value is missing, malformed or out of range, prints its message and
// reports code 4000 at once; a nutrient card before NUTRIENTS stores code 79
// (item: the card group), a bad CALIB_COMP_DATA or CALIB_OBJ_FUNC value code
// 103 or 104. Reading stops at the first failure; the fields read so far
// keep their values. An unknown card is warned about, naming its line, and
// skipped.
void read_project_file(const std::string& name, project_options& po, run_params& rp,
                       rain_params& rain);

// The card id of the line: takes the keyword off the front of `line`, so the
// values follow at its read position. Returns kIgnoredCard for a blank line,
// a comment (first token begins with "#") and the ignored cards, and, after a
// warning, for a keyword that names no card.
int get_card_id(line_cursor& line);

}  // namespace kesta
