// The project file: the one configuration file of a run. Its first line is
// "KESTAPROJECT" (or the older "TALVIKPROJECT"); every further line is one
// card: a keyword, matched without regard to case, then its values.
#pragma once

#include <string>
#include <vector>

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

// What a card takes after its keyword, for the card reference.
enum class card_value {
    none,             // a switch or a method selector
    name,             // a file name (or a name), empty when none is given
    optional_name,    // a name, kept only when one is given
    whole,            // a whole number
    positive_whole,   // a whole number above 0
    number,           // a number
    positive_number,  // a number above 0
    own_rule,         // values read by a rule of the card's own
    ignored,          // anything: the card is read and ignored
};

// One row of the card table: a keyword, the id it shares with its synonyms,
// and what it takes.
struct project_card {
    const char* keyword;
    int id;
    card_value value;
};

// Every keyword of the card table, in the table's order.
std::vector<project_card> project_cards();

}  // namespace kesta
