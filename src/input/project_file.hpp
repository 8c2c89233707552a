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
// why, `rp.open_errno` (nothing else changes). A bad first line prints its
// message and reports code 4000 at once; nothing more is read. Otherwise
// every line is read, whatever failed before it: a card whose value is
// missing, malformed or out of range prints its message naming the card, the
// line and the value (code 4000 reported at once) and leaves its field as it
// was; a nutrient card before NUTRIENTS reports code 79 (item: the card
// group), a bad CALIB_COMP_DATA or CALIB_OBJ_FUNC value code 103 or 104, each
// with the card's line as its detail. After the last line, a file with such
// errors gets a closing line that counts them and names their lines; the
// stop flag is then set and the error record's stop message holds every
// error's message and the closing line. An unknown card is warned about as
// written, naming its line and the nearest cards of the table, skipped, and
// listed in `po.unknown_cards`.
void read_project_file(const std::string& name, project_options& po, run_params& rp,
                       rain_params& rain);

// For an input the run needs whose card `keyword` (upper case) no line
// gives: "line N has the unknown card X: write KEYWORD there" for the first
// unknown card of the project that `keyword` is nearest to; empty when none
// is.
std::string misspelling_of(const project_options& po, const std::string& keyword);

// The card id of the line: takes the keyword off the front of `line`, so the
// values follow at its read position. Returns kIgnoredCard for a blank line,
// a comment (first token begins with "#") and the ignored cards, and, after a
// warning, for a keyword that names no card.
int get_card_id(line_cursor& line);

// What a card takes after its keyword, for the card reference.
enum class card_value {
    none,             // a switch or a method selector
    name,             // a file name (or a name), empty when none is given (an output card refuses none)
    optional_name,    // a name, kept only when one is given
    whole,            // a whole number
    positive_whole,   // a whole number above 0
    non_negative_whole,   // a whole number, 0 or more
    number,           // a number
    positive_number,  // a number above 0
    non_negative_number,  // a number, 0 or more
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
