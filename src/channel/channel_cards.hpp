// The card files of the channel network (the channel input file and the
// grid-stream file): their lines held in memory, the card keywords and the
// readers of card values that refuse a bad value with a message naming the
// file, the line and the value.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/line_reader.hpp"

namespace kesta {

// Card ids of the channel files.
enum chan_card : int {
    card_alpha = 1, card_beta = 2, card_theta = 3, card_dx = 4, card_links = 5, card_maxnodes = 6,
    card_connect = 7, card_link = 8, card_nodes = 9,
    card_trapezoid = 10, card_trapezoid_subsurface = 11, card_trapezoid_erode = 12,
    card_trapezoid_subsurface_erode = 13, card_breakpoint = 14, card_breakpoint_erode = 15,
    card_breakpoint_subsurface = 16, card_breakpoint_subsurface_erode = 17,
    card_erodible = 18, card_subsurface = 19, card_lake = 20, card_mlake = 21, card_structure = 22,
    card_structtype = 23, card_mannings_n = 24, card_max_erosion = 25, card_k_river = 26,
    card_m_river = 27, card_dispersion_coeff = 28, card_decay_coeff = 29, card_num_outlets = 30,
    card_node = 31, card_elev = 32, card_xsec = 33, card_bottom_width = 34, card_bankfull_depth = 35,
    card_side_slope = 36, card_x1 = 37, card_npairs = 38, card_streamcells = 39, card_cellij = 40,
    card_numnodes = 41, card_linknode = 42, card_numstructs = 43, card_upinvert = 44,
    card_downinvert = 45, card_inlet_disch_coeff = 47, card_rev_flow_disch_coeff = 49,
    card_slope = 50, card_length = 51, card_width = 52, card_height = 53, card_diameter = 55,
    card_rough_coeff = 56, card_a_value = 57, card_b_value = 58, card_minwse = 59, card_initwse = 60,
    card_maxwse = 61, card_numpts = 62, card_crest_length = 63, card_crest_low_elev = 64,
    card_crest_low_loc = 65, card_discharge_coeff_forward = 66, card_discharge_coeff_reverse = 67,
    card_steep_slope = 68, card_shallow_slope = 69, card_pointsource = 70, card_num_interp = 71,
    card_pumpto = 72, card_unknown = 73,
};

// A card file read whole: line n (from 1) is line(n), its line end removed
// and the calibration replacement applied as read_line does.
struct card_file {
    std::string name;  // as the project names it
    const char* kind;  // "channel input file", "grid-stream file"
    std::vector<std::string> lines;

    int count() const { return static_cast<int>(lines.size()); }
    const std::string& line(int n) const { return lines[static_cast<std::size_t>(n - 1)]; }
};

void load_card_file(std::FILE* fp, card_file& f);

// The id of the line's first token, matched whole and in any case; the
// cursor is left after it. An empty line or any other word gives
// card_unknown.
int get_chan_card(line_cursor& line);
// The keyword of an id as a file gives it (the first of its synonyms).
std::string chan_card_keyword(int card);

// One card being read: where it stands and what follows its keyword.
struct card_line {
    const card_file& file;
    int number;  // line number, from 1
    int card;
    line_cursor rest;
};
// The card of line n.
card_line card_at(const card_file& f, int n);

// "Error: card K on line N of <kind> F <what>\n", then code 4000 reported.
// Always false.
bool refuse_card(const card_line& c, const std::string& what);
// "Error: <kind> F, line N: <what>\n", then code 4000 reported. Always false.
bool refuse_line(const card_file& f, int line, const std::string& what);

// Value readers: take the next value off the card or refuse it (missing,
// not a number, outside lo..hi).
bool take_int(card_line& c, int& v);
bool take_int_in(card_line& c, int& v, int lo, int hi, const char* what);
// A number written with a decimal comma is refused, naming it as written,
// unless `comma_may_separate` (a card of several numbers, where "0,10" is
// two values).
bool take_double(card_line& c, double& v, bool comma_may_separate = false);
// The next token (a quoted name may hold blanks); refused when none.
bool take_name(card_line& c, std::string& v);

}  // namespace kesta
