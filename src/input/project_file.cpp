#include "input/project_file.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "calibration/replace_params.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"
#include "core/thread_team.hpp"
#include "core/warnings.hpp"
#include "input/time_series.hpp"
#include "nutrients/nutrient_species.hpp"
#include "transport/constituents.hpp"

namespace kesta {

namespace {

// What a card does with the rest of its line.
enum class card_kind {
    ignored,           // recognised; nothing is stored
    set,               // `target` = `value` (switches and method selectors)
    text,              // `target` = the next token (may be quoted), "" when none
    text_if_value,     // as text, but only when a token follows
    output_name,       // as text, but refused without a token: the file the run writes has no other name
    integer,           // `target` = a whole number; `echo` printed with it
    positive_integer,  // as integer, and greater than zero
    non_negative_integer,  // as integer, and zero or more
    real,              // `target` = a number; `echo` printed with it
    positive_real,     // as real, and greater than zero
    non_negative_real,  // as real, and zero or more
    special,           // `handler` reads the values
};

// A field of one of the three blocks. The member-pointer type fixes both the
// block and the field's type.
using field_ref = std::variant<std::monostate,
                               int project_options::*, double project_options::*,
                               std::string project_options::*,
                               int run_params::*, double run_params::*,
                               int rain_params::*, double rain_params::*,
                               std::string rain_params::*>;

struct card_row;

// The card being acted on: the blocks, the rest of its line and where it
// stands in the file.
struct card_context {
    project_options& po;
    run_params& rp;
    rain_params& rain;
    line_cursor& line;
    const std::string& file_name;
    int line_number;
    const card_row* row;
};

// Returns false when reading must stop.
using card_handler = bool (*)(card_context&);

struct card_row {
    const char* keyword;  // upper case; matched without regard to case
    int id;
    card_kind kind;
    field_ref target{};
    field_ref also{};      // an int field set to 1 whenever the card is acted on
    int value = 1;         // set: the value stored; special cards: an index
    const char* text = nullptr;  // echo format, or the group name of a nutrient card
    card_handler handler = nullptr;
};

int* int_field(const field_ref& f, card_context& c) {
    if (auto p = std::get_if<int project_options::*>(&f)) return &(c.po.**p);
    if (auto p = std::get_if<int run_params::*>(&f)) return &(c.rp.**p);
    if (auto p = std::get_if<int rain_params::*>(&f)) return &(c.rain.**p);
    return nullptr;
}

double* real_field(const field_ref& f, card_context& c) {
    if (auto p = std::get_if<double project_options::*>(&f)) return &(c.po.**p);
    if (auto p = std::get_if<double run_params::*>(&f)) return &(c.rp.**p);
    if (auto p = std::get_if<double rain_params::*>(&f)) return &(c.rain.**p);
    return nullptr;
}

std::string* text_field(const field_ref& f, card_context& c) {
    if (auto p = std::get_if<std::string project_options::*>(&f)) return &(c.po.**p);
    if (auto p = std::get_if<std::string rain_params::*>(&f)) return &(c.rain.**p);
    return nullptr;
}

// Lets a file that will not open be traced to this card and its line.
void names_file(const card_context& c, const std::string& name) {
    note_card_file(name, c.row->keyword, c.file_name, c.line_number);
}

// ---------------------------------------------------------------------------
// Refusals. Each prints its message naming the card, the line and the value,
// then reports code 4000 at once; the reader goes on with the next line.

bool refuse(const card_context& c, const std::string& what) {
    std::string msg = "Error: card ";
    msg += c.row->keyword;
    msg += " on line " + std::to_string(c.line_number) + " of project file " + c.file_name + " " + what +
           "\n";
    return kesta::refuse(msg);
}

bool refuse_missing(const card_context& c) { return refuse(c, "has no value."); }

bool refuse_value(const card_context& c, const char* need, const std::string& token) {
    return refuse(c, std::string(need) + ", not \"" + echoed(token) + "\".");
}

bool refuse_word(const card_context& c, const std::string& token) {
    return refuse(c, "does not accept \"" + echoed(token) + "\".");
}

// A control character in a name would reach the file system as another
// name (a NUL byte ends it early): the card is refused, its value shown with
// each control byte as \xNN.
bool no_control_chars(const card_context& c, const std::string& value) {
    const std::size_t at = control_char_at(value);
    if (at == std::string::npos) return true;
    std::string shown;
    for (const char ch : value) {
        const unsigned char u = static_cast<unsigned char>(ch);
        shown += u < 0x20 || u == 0x7f ? format_text("\\x%02X", u) : std::string(1, ch);
    }
    return refuse(c, format_text("has a control character (byte 0x%02X) at character %d of its value \"%s\".",
                                 static_cast<unsigned char>(value[at]), static_cast<int>(at) + 1,
                                 echoed(shown).c_str()));
}

// ---------------------------------------------------------------------------
// Value readers. Each takes one value off the line or refuses the card.

bool take_int(card_context& c, int& v, bool positive = false) {
    const std::string tok = peek_token(c.line);
    if (tok.empty()) return refuse_missing(c);
    if (!pop_int_strict(c.line, v)) return refuse_value(c, "needs a whole number", tok);
    if (positive && v <= 0) return refuse_value(c, "needs a value greater than zero", tok);
    return true;
}

bool take_real(card_context& c, double& v, bool positive = false) {
    const std::string tok = peek_token(c.line);
    if (tok.empty()) return refuse_missing(c);
    const std::string comma = decimal_comma_value(c.line);
    if (!comma.empty()) return refuse(c, "gives " + decimal_comma_advice(comma) + ".");
    if (!pop_double_strict(c.line, v)) return refuse_value(c, "needs a number", tok);
    if (positive && !(v > 0.0)) return refuse_value(c, "needs a value greater than zero", tok);
    return true;
}

// A whole token that is a number, as opposed to a file name such as
// "2010_no3.asc" that merely begins with digits.
bool is_whole_real(const std::string& token, double& v) {
    line_cursor probe(token);
    return !token.empty() && pop_double_strict(probe, v) && probe.at_end();
}

bool is_whole_int(const std::string& token, int& v) {
    line_cursor probe(token);
    return !token.empty() && pop_int_strict(probe, v) && probe.at_end();
}

void set_also(const card_row& row, card_context& c) {
    if (int* flag = int_field(row.also, c)) *flag = 1;
}

// ---------------------------------------------------------------------------
// Cards with a rule of their own.

// Years the calendar and the date arithmetic of the run (year x 10000 in
// whole numbers) handle.
constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

// One whole number within [low, high]; `what` names it in the refusal and
// `context` follows the range there.
// `v` is left as it was when the value is refused: the run options are
// still made from the blocks after a refusal, and must not meet it.
bool take_bounded_int(card_context& c, int& v, const char* what, int low, int high,
                      const std::string& context = std::string()) {
    const std::string tok = peek_token(c.line);
    int value = 0;
    if (!take_int(c, value)) return false;
    if (value < low || value > high) {
        return refuse_value(c, format_text("needs a %s from %d to %d%s", what, low, high, context.c_str()).c_str(),
                            tok);
    }
    v = value;
    return true;
}

// Year, month and day of a calendar date; the day within its month. Kept
// only when the whole date is sound.
bool take_date(card_context& c, int& year, int& month, int& day) {
    int y = 0, mo = 0, d = 0;
    if (!take_bounded_int(c, y, "year", kFirstYear, kLastYear)) return false;
    if (!take_bounded_int(c, mo, "month", 1, 12)) return false;
    if (!take_bounded_int(c, d, "day", 1, month_days(y, mo), format_text(" in month %d of %d", mo, y))) return false;
    year = y;
    month = mo;
    day = d;
    return true;
}

// Hour and minute of a time of day; 24:00, the end of the day, is the one
// time with hour 24. Kept only when both are sound.
bool take_time(card_context& c, int& hour, int& minute) {
    int h = 0, mi = 0;
    if (!take_bounded_int(c, h, "hour", 0, 24)) return false;
    if (!(h == 24 ? take_bounded_int(c, mi, "minute", 0, 0, " after hour 24")
                  : take_bounded_int(c, mi, "minute", 0, 59))) {
        return false;
    }
    hour = h;
    minute = mi;
    return true;
}

bool start_date_card(card_context& c) {
    return take_date(c, c.rp.start_year, c.rp.start_month, c.rp.start_day);
}

bool start_time_card(card_context& c) { return take_time(c, c.rp.start_hour, c.rp.start_minute); }

// The date and the time of the end, kept only together.
bool end_time_card(card_context& c) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (!take_date(c, year, month, day) || !take_time(c, hour, minute)) return false;
    c.rp.end_year = year;
    c.rp.end_month = month;
    c.rp.end_day = day;
    c.rp.end_hour = hour;
    c.rp.end_minute = minute;
    return true;
}

// Rows or columns of the grid: every grid of the run is allocated from them
// before any map is read, so an absurd count must not reach the allocator.
// The product of the two is limited when the run is set up.
bool take_grid_dimension(card_context& c, int& v) {
    const std::string tok = peek_token(c.line);
    int value = 0;
    if (!take_int(c, value, true)) return false;
    if (value > kMaxGridDimension)
        return refuse_value(c, format_text("needs a value of at most %d", kMaxGridDimension).c_str(), tok);
    v = value;
    return true;
}

bool grid_rows_card(card_context& c) { return take_grid_dimension(c, c.rp.rows); }
bool grid_cols_card(card_context& c) { return take_grid_dimension(c, c.rp.cols); }

// 0 GRASS ASCII grids, 1 ASCII datasets, 2 binary datasets, 4 PEXLO (which
// the run options refuse with a message of their own).
bool map_type_card(card_context& c) {
    const std::string tok = peek_token(c.line);
    int v = 0;
    if (!take_int(c, v)) return false;
    if (v != 0 && v != 1 && v != 2 && v != 4) return refuse_word(c, tok);
    c.rp.map_type = v;
    return true;
}

// A number 1 to 3, or the scheme's name in any case.
bool overtype_card(card_context& c) {
    static const char* const kNames[] = {"explicit", "ade", "ade-pc"};
    std::string tok;
    if (!pop_string(c.line, tok)) return refuse_missing(c);
    int v = 0;
    if (is_whole_int(tok, v)) {
        if (v < 1 || v > 3) return refuse_word(c, tok);
        c.po.overtype = v;
        return true;
    }
    const std::string word = to_lower(tok);
    for (int i = 0; i < 3; ++i) {
        if (word == kNames[i]) {
            c.po.overtype = i + 1;
            return true;
        }
    }
    return refuse_word(c, tok);
}

// Word selectors that know two words, told apart by their first four letters.
bool two_word_selector(card_context& c, int& field, const char* word1, int value1, const char* word2,
                       int value2) {
    std::string tok;
    if (!pop_string(c.line, tok)) return refuse_missing(c);
    if (same_first4(tok, word1)) {
        field = value1;
    } else if (same_first4(tok, word2)) {
        field = value2;
    } else {
        return refuse_word(c, tok);
    }
    return true;
}

bool richards_k_card(card_context& c) {
    return two_word_selector(c, c.po.richards_k_option, "geometric", 2, "arithmetic", 1);
}

bool richards_c_card(card_context& c) {
    return two_word_selector(c, c.po.richards_c_option, "havercamp", 2, "brooks", 1);
}

// Any other word, or none, means neither condition at the upper boundary.
bool richards_upper_card(card_context& c) {
    std::string tok;
    pop_string(c.line, tok);
    if (same_first4(tok, "green_ampt")) {
        c.po.richards_upper_option = 2;
    } else if (same_first4(tok, "average")) {
        c.po.richards_upper_option = 3;
    } else {
        c.po.richards_upper_option = 0;
    }
    return true;
}

// The words are compared case-sensitively on five characters.
bool calib_comp_data_card(card_context& c) {
    std::string tok;
    pop_string(c.line, tok);
    if (std::strncmp(tok.c_str(), "DAILY", 5) == 0) {
        c.po.calib_comp_data = 0;
    } else if (std::strncmp(tok.c_str(), "EVENT", 5) == 0) {
        c.po.calib_comp_data = 1;
    } else {
        c.po.calib_comp_data = 2;
        g_error_record.code = 103;
        return false;
    }
    return true;
}

// The words have four letters, so only the whole token matches.
bool calib_obj_func_card(card_context& c) {
    std::string tok;
    pop_string(c.line, tok);
    if (std::strncmp(tok.c_str(), "RMSE", 5) == 0) {
        c.po.calib_obj_func = 0;
    } else if (std::strncmp(tok.c_str(), "HMLE", 5) == 0) {
        c.po.calib_obj_func = 1;
    } else {
        c.po.calib_obj_func = 2;
        g_error_record.code = 104;
        return false;
    }
    return true;
}

// A map name, as the card intends; a number is taken as the uniform depth
// that belongs on RETENTION, with a warning; no value asks for the retention
// map all the same.
bool reten_depth_card(card_context& c) {
    if (!pop_string(c.line, c.po.reten_depth)) {
        c.po.reten_depth_given = 1;
        return true;
    }
    double depth = 0.0;
    if (is_whole_real(c.po.reten_depth, depth)) {
        warn(format_text(
            "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
            "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using %lf for the uniform retention depth\n\n",
            depth));
        c.po.retention_given = 1;
        c.po.retention = depth;
    } else {
        c.po.reten_depth_given = 1;
        names_file(c, c.po.reten_depth);
    }
    return true;
}

// No soil column a run accounts for is deeper than this (m).
constexpr double kDeepestSoil = 1000.0;
// The soil processes hold the layers' depths in cm, and count one of at
// most kNoLayerCm as none.
constexpr double kCmPerMetre = 100.0;
constexpr double kNoLayerCm = 1e-16;

// A depth of the soil water accounting or of one of its layers (m), into the
// card's field. Below 0 a column would hold negative water; 0 (up to 1e-16
// cm) gives a layer no depth of its own, so that another depth stands in
// for it.
bool soil_depth_card(card_context& c) {
    const std::string tok = peek_token(c.line);
    double v = 0.0;
    if (!take_real(c, v)) return false;
    if (!(v >= 0.0 && v <= kDeepestSoil))
        return refuse_value(c, format_text("needs a depth from 0 to %g m", kDeepestSoil).c_str(), tok);
    *real_field(c.row->target, c) = v;
    return true;
}

// A top or mixing layer's depth (m), as soil_depth_card. One of no depth is
// the same as no card: the soil processes then put another depth in its
// place, which should not happen unsaid where the card was written.
bool layer_depth_card(card_context& c) {
    if (!soil_depth_card(c)) return false;
    const double v = *real_field(c.row->target, c);
    if (v * kCmPerMetre <= kNoLayerCm)
        warn(format_text("Warning: card %s on line %d of project file %s gives the depth %g m, the same as no card: "
                         "where the run needs this layer, it takes the depth of the layer below it or of the soil "
                         "class's first layer in its place.\n",
                         c.row->keyword, c.line_number, c.file_name.c_str(), v));
    return true;
}

// The project does not set the number of threads: the card's number is read
// and ignored, with a warning that says how the threads are chosen.
bool num_threads_card(card_context& c) {
    int threads = 0;
    if (!take_int(c, threads)) return false;
    warn(format_text("Warning: card NUM_THREADS on line %d of project file %s is ignored: the project does not "
                     "set the number of threads.\n  Each loop over a grid takes one thread per %d cells (fewer for the "
                     "soil erosion and the soil nutrients,\n  whose work per cell is heavier), at most the threads "
                     "OpenMP may use\n  (one per core, or OMP_NUM_THREADS when it is set).\n",
                     c.line_number, c.file_name.c_str(), kCellsPerThread));
    return true;
}

// No number means "no event chosen", which the option checks refuse.
bool htp_event_num_card(card_context& c) {
    c.po.htp_event_num_given = 1;
    if (peek_token(c.line).empty()) {
        c.po.htp_event_num = -1;
        return true;
    }
    return take_int(c, c.po.htp_event_num);
}

bool sorption_card(card_context& c) {
    double v = 0.0;
    if (!take_real(c, v)) return false;
    if (c.po.sorption_constants.empty()) c.po.sorption_constants.assign(kSorptionConstants, 0.0);
    c.po.sorption_constants[static_cast<std::size_t>(c.row->value)] = v;
    return true;
}

bool nutrients_card(card_context& c) {
    c.po.nutrients = 1;
    return true;
}

// The nutrient cards need NUTRIENTS before them; false after storing code 79.
bool nutrients_given(card_context& c) {
    if (c.po.nutrients) return true;
    g_error_record.code = 79;
    g_error_record.item = c.row->text;
    return false;
}

bool aq_env_card(card_context& c) {
    if (!nutrients_given(c)) return false;
    pop_string(c.line, c.po.aq_env);
    names_file(c, c.po.aq_env);
    return true;
}

// A concentration in water (g/m3) that the card gives, of `of` ("" for
// none), lies from 0 to what water weighs.
bool concentration_holds(card_context& c, double v, const char* of) {
    if (water_conc_holds(v)) return true;
    return refuse(c, format_text("gives %s%sthe concentration %s g/m3; it must be %s.", of, of[0] ? " " : "",
                                 exact_number(v).c_str(), water_conc_rule().c_str()));
}

// A number: the concentration (g/m3) the card names.
bool concentration_card(card_context& c) {
    double v = 0.0;
    if (!take_real(c, v) || !concentration_holds(c, v, "")) return false;
    *real_field(c.row->target, c) = v;
    return true;
}

// Nothing: the mapping table; a number: a uniform value; else a map file.
// A uniform value of a concentration (`conc_of` names what of; null for a
// value of another kind) is refused beyond its bounds.
bool read_initial_source(card_context& c, zep_initial_source& s, const char* conc_of) {
    std::string tok;
    double v = 0.0;
    s.card = c.row->keyword;
    s.line = c.line_number;
    if (!pop_string(c.line, tok)) {
        s.kind = 2;
    } else if (is_whole_real(tok, v)) {
        if (conc_of && !concentration_holds(c, v, conc_of)) return false;
        s.kind = 3;
        s.value = v;
    } else {
        s.kind = 1;
        s.map_name = tok;
        names_file(c, tok);
    }
    return true;
}

// The overland entries are the species, the dissolved organic carbon (both
// concentrations), its organic-carbon fraction and the dispersion.
constexpr int kOverlandDocEntry = kNutrientCardSpecies;

bool ov_init_card(card_context& c) {
    if (!nutrients_given(c)) return false;
    const int e = c.row->value;
    return read_initial_source(c, c.po.ov_init[static_cast<std::size_t>(e)],
                               e <= kOverlandDocEntry ? nutrient_display_name(e) : nullptr);
}

bool st_init_card(card_context& c) {
    if (!nutrients_given(c)) return false;
    const int e = c.row->value;
    return read_initial_source(c, c.po.st_init[static_cast<std::size_t>(e)], nutrient_display_name(e));
}

void read_output_request(card_context& c, zep_output_request& r) {
    pop_string(c.line, r.file_name);
    r.flag = 1;
}

bool out_ov_card(card_context& c) {
    if (!nutrients_given(c)) return false;
    read_output_request(c, c.po.out_ov[static_cast<std::size_t>(c.row->value)]);
    return true;
}

bool out_st_card(card_context& c) {
    if (!nutrients_given(c)) return false;
    read_output_request(c, c.po.out_st[static_cast<std::size_t>(c.row->value)]);
    return true;
}

bool out_hyd_card(card_context& c) {
    if (!nutrients_given(c)) return false;
    read_output_request(c, c.po.out_hyd[static_cast<std::size_t>(c.row->value)]);
    return true;
}

// Cards that act at once. The series files are read where they stand, and
// the replacement cards must precede the lines whose values they replace.

bool time_series_file_card(card_context& c) {
    std::string name;
    pop_string(c.line, name);
    if (!no_control_chars(c, name)) return false;
    c.po.time_series_file.push_back(name);
    names_file(c, name);
    ts_read_file(name);
    return true;
}

bool elev_series_file_card(card_context& c) {
    std::string name;
    pop_string(c.line, name);
    if (!no_control_chars(c, name)) return false;
    c.po.elev_series_file.push_back(name);
    names_file(c, name);
    read_elev_series_file(name);
    return true;
}

bool replace_params_card(card_context& c) {
    std::string name;
    pop_string(c.line, name);
    if (!no_control_chars(c, name)) return false;
    c.po.replace_params = name;
    names_file(c, name);
    // The readers have said what was wrong; a run with half its parameters
    // replaced would give results for values nobody chose.
    if (read_replace_param_file(name) != 0)
        return refuse(c, "names the replacement parameter file \"" + name + "\", which could not be read.");
    return true;
}

bool replace_vals_card(card_context& c) {
    std::string name;
    pop_string(c.line, name);
    if (!no_control_chars(c, name)) return false;
    c.po.replace_vals = name;
    names_file(c, name);
    if (read_replace_value_file(name) != 0)
        return refuse(c, "names the replacement value file \"" + name + "\", which could not be read.");
    return true;
}

// The card counts lines from 1; the value file's lines are selected from 0.
bool replace_line_card(card_context& c) {
    const std::string tok = peek_token(c.line);
    int n = 0;
    if (!take_int(c, n)) return false;
    if (n < 1) return refuse_value(c, "needs a line number of 1 or more", tok);
    set_replace_line(n - 1);
    return true;
}

bool replace_folder_card(card_context& c) {
    std::string folder;
    pop_string(c.line, folder);
    if (!no_control_chars(c, folder)) return false;
    set_output_subdir(folder);
    return true;
}

// ---------------------------------------------------------------------------
// The card table. One row per keyword; a synonym is a row of its own with the
// id of the card it stands for. Cards whose id is kIgnoredCard are read and
// skipped without a warning.

using K = card_kind;
using PO = project_options;
using RP = run_params;
using RN = rain_params;

constexpr card_row kCards[] = {
    // Grid, time and run control.
    {"UNITS", 0, K::integer, &RP::units, {}, 0, "Units flag = %d\n"},
    {"GRIDSIZE", 1, K::positive_real, &RP::gridsize},
    {"ROWS", 2, K::special, {}, {}, 0, nullptr, grid_rows_card},
    {"COLS", 3, K::special, {}, {}, 0, nullptr, grid_cols_card},
    {"TOT_TIME", 4, K::positive_integer, &RP::tot_time},
    {"TIMESTEP", 5, K::positive_real, &RP::timestep},
    {"OUTSLOPE", 6, K::real, &RP::outslope},
    {"OUTROW", 7, K::integer, &RP::outrow},
    {"OUTCOL", 8, K::integer, &RP::outcol},
    {"HYD_FREQ", 9, K::real, &RP::hyd_freq},
    {"MAP_FREQ", 10, K::integer, &RP::map_freq},
    {"MAP_TYPE", 11, K::special, {}, {}, 0, nullptr, map_type_card},
    {"LATITUDE", 12, K::real, &RP::latitude},
    {"LONGITUDE", 13, K::real, &RP::longitude},
    {"GMT", 14, K::real, &RP::gmt, &RP::gmt_given},
    {"START_DATE", 15, K::special, {}, {}, 0, nullptr, start_date_card},
    {"START_TIME", 16, K::special, {}, {}, 0, nullptr, start_time_card},
    {"END_TIME", 17, K::special, {}, {}, 0, nullptr, end_time_card},
    {"ST_TIME_STEP", 18, K::real, &RP::st_time_step},
    {"QOUT_CFS", 19, K::set, &RP::qout_cfs},
    {"QUIET", 20, K::set, &RP::quiet},

    // Method selectors: the last card of a group decides.
    {"GREEN_AMPT", 21, K::set, &RP::infiltration, {}, 1},
    {"INF_REDIST", 22, K::set, &RP::infiltration, {}, 2},
    {"INF_LAYERED_SOIL", 23, K::set, &RP::infiltration, {}, 3},
    {"INF_RICHARDS", 24, K::set, &RP::infiltration, {}, 4},
    {"CHAN_PREISS", 25, K::set, &RP::chan_routing, {}, 1},
    {"CHAN_DRAIN", 26, K::set, &RP::chan_routing, {}, 2},
    {"CHAN_EXPLIC", 27, K::set, &RP::chan_routing, &PO::non_ortho_channels, 3},
    {"DIFFUSIVE_WAVE", 27, K::set, &RP::chan_routing, &PO::non_ortho_channels, 3},
    {"CHAN_MESH", 28, K::set, &RP::chan_routing, {}, 4},
    {"CHAN_BACKWATER", 29, K::set, &RP::chan_routing, {}, 5},
    {"PRECIP_UNIF", 30, K::set, &RN::precip_source, {}, 0},
    {"PRECIP_FILE", 31, K::text, &RN::precip_file, &RN::precip_source},
    {"RAIN_INTENSITY", 32, K::non_negative_real, &RN::rain_intensity},
    {"RAIN_DURATION", 33, K::non_negative_integer, &RN::rain_duration},
    {"RAIN_INV_DISTANCE", 34, K::set, &RN::rain_interp, {}, 0},
    {"RAIN_THIESSEN", 35, K::set, &RN::rain_interp, {}, 1},
    {"HMET_SURFAWAYS", 36, K::text, &PO::hmet_file, &PO::hmet_surfaways},
    {"HMET_SAMSON", 37, K::text, &PO::hmet_file, &PO::hmet_samson},
    {"HMET_KVL", 38, K::text, &PO::hmet_file, &PO::hmet_kvl},
    {"ET_CALC_PENMAN", 39, K::set, &PO::et_calc_penman},
    {"ET_CALC_DEARDORFF", 40, K::set, &PO::et_calc_deardorff},
    {"OVERTYPE", 41, K::special, {}, {}, 0, nullptr, overtype_card},
    {"RICHARDS_K_OPTION", 42, K::special, {}, {}, 0, nullptr, richards_k_card},
    {"RICHARDS_C_OPTION", 43, K::special, {}, {}, 0, nullptr, richards_c_card},
    {"RICHARDS_UPPER_OPTION", 44, K::special, {}, {}, 0, nullptr, richards_upper_card},
    {"CALIB_COMP_DATA", 45, K::special, {}, {}, 0, nullptr, calib_comp_data_card},
    {"CALIB_OBJ_FUNC", 46, K::special, {}, {}, 0, nullptr, calib_obj_func_card},

    // Input maps and tables.
    {"WATERSHED_MASK", 47, K::text, &PO::watershed_mask},
    {"ELEVATION", 48, K::text, &PO::elevation},
    {"MAPPING_TABLE", 49, K::text, &PO::mapping_table, &PO::mapping_table_given},
    {"ST_MAPPING_TABLE", 50, K::text, &PO::st_mapping_table, &PO::st_mapping_table_given},
    {"MATERIALS", 51, K::text, &PO::materials},
    {"INITIAL_DEPTH", 52, K::text, &PO::initial_depth, &PO::initial_depth_given},
    {"STORAGE_CAPACITY", 53, K::text, &PO::storage_capacity, &PO::storage_capacity_given},
    {"INTERCEPTION_COEFF", 54, K::text, &PO::interception_coeff, &PO::interception_coeff_given},
    {"INTERCEPTION", 55, K::set, &PO::interception_coeff_given, &PO::storage_capacity_given},
    {"ROUGHNESS", 57, K::text, &PO::roughness, &PO::roughness_given},
    {"RETEN_DEPTH", 58, K::special, {}, {}, 0, nullptr, reten_depth_card},
    {"AREA_REDUCTION", 59, K::text, &PO::area_reduction, &PO::area_reduction_given},
    {"STREAM_CELL", 60, K::text, &PO::stream_cell},
    {"DIKE_MAP", 61, K::text, &PO::dike_map, &PO::dike_map_given},
    {"EMBANKMENT", 61, K::text, &PO::dike_map, &PO::dike_map_given},
    {"LOWSPOT_FILE", 62, K::text, &PO::lowspot_file, &PO::lowspot_file_given},
    {"OVERLAND_LAKE_MAP", 63, K::text, &PO::overland_lake_map, &PO::overland_lake_map_given},
    {"OVERLAND_LAKE_FILE", 64, K::text, &PO::overland_lake_file},
    {"OV_INIT_DEPTH", 65, K::text, &PO::ov_init_depth, &PO::ov_init_depth_given},
    {"READ_OV_HOTSTART", 65, K::text, &PO::ov_init_depth, &PO::ov_init_depth_given},
    {"ADJUST_ELEV", 66, K::output_name, &PO::adjust_elev, &PO::adjust_elev_given},
    {"OV_PUMP", 67, K::text, &PO::ov_pump, &PO::ov_pump_given},
    {"CONDUCTIVITY", 68, K::text, &PO::conductivity, &PO::conductivity_given},
    {"CAPILLARY", 69, K::text, &PO::capillary, &PO::capillary_given},
    {"POROSITY", 70, K::text, &PO::porosity, &PO::porosity_given},
    {"PORE_INDEX", 71, K::text, &PO::pore_index, &PO::pore_index_given},
    {"RESIDUAL_SAT", 72, K::text, &PO::residual_sat, &PO::residual_sat_given},
    {"MOISTURE", 73, K::text, &PO::moisture, &PO::moisture_given},
    {"SOIL_TYPE_MAP", 74, K::text, &PO::soil_type_map},
    {"SOIL_LAYER_INPUT_FILE", 75, K::text, &PO::soil_layer_input_file},
    {"WATER_TABLE", 76, K::text, &PO::water_table, &PO::water_table_given},
    {"AQUIFER_BOTTOM", 77, K::text, &PO::aquifer_bottom},
    {"ALBEDO", 78, K::text, &PO::albedo, &PO::albedo_given},
    {"VHEIGHT", 79, K::text, &PO::vheight, &PO::vheight_given},
    {"TCOEFF", 80, K::text, &PO::tcoeff, &PO::tcoeff_given},
    {"CANOPY", 81, K::text, &PO::canopy, &PO::canopy_given},
    {"WILTING_POINT", 82, K::text, &PO::wilting_point, &PO::wilting_point_given},
    {"SOIL_ERODABILITY", 83, K::text, &PO::soil_erodability},
    {"CROP_MANAGEMENT", 84, K::text, &PO::crop_management},
    {"CONSERVATION_PRACTICE", 85, K::text, &PO::conservation_practice},
    {"SAND_MAP", 86, K::text, &PO::sand_map},
    {"SILT_MAP", 87, K::text, &PO::silt_map},
    {"CHANNEL_INPUT", 88, K::text, &PO::channel_input},
    {"LINKS", 89, K::text, &PO::links},
    {"NODES", 90, K::text, &PO::nodes},
    {"SECTION_TABLE", 91, K::text, &PO::section_table},
    {"CHAN_POINT_INPUT", 92, K::text, &PO::chan_point_input},
    {"LAKE_PUMP", 93, K::text, &PO::lake_pump, &PO::lake_pump_given},
    {"EXPLIC_HOTSTART", 94, K::text, &PO::explic_hotstart, &PO::explic_hotstart_given},
    {"READ_CHAN_HOTSTART", 95, K::text, &PO::explic_hotstart, &PO::read_chan_hotstart_given},
    {"STORM_SEWER", 96, K::text, &PO::storm_sewer, &PO::storm_sewer_given},
    {"GRID_PIPE", 97, K::text, &PO::grid_pipe},
    {"GW_FLUXBOUNDTABLE", 98, K::text, &PO::gw_fluxboundtable, &RP::gw_flux_boundary},
    {"GW_FLUX_BOUNDTABLE", 98, K::text, &PO::gw_fluxboundtable, &RP::gw_flux_boundary},
    {"GW_BOUNDFILE", 99, K::text_if_value, &PO::gw_boundfile, &PO::gw_boundfile_given},
    {"GW_POROSITY_MAP", 100, K::text, &PO::gw_porosity_map, &PO::gw_porosity_map_given},
    {"GW_HYCOND_MAP", 101, K::text, &PO::gw_hycond_map, &PO::gw_hycond_map_given},
    {"GW_WELL_LEVEL", 102, K::text, &PO::gw_well_level, &PO::gw_well_level_given},
    {"CONTAM_MAP", 103, K::text, &PO::contam_map, &PO::contam_map_given},
    {"OV_POINT_SOURCE", 104, K::text, &PO::ov_point_source, &PO::ov_point_source_given},
    {"OV_CON_MAP", 105, K::text, &PO::ov_con_map, &PO::ov_con_map_given},
    {"SACRAMENTO", 106, K::text, &PO::sacramento, &PO::sacramento_given},
    {"SACRAMENTO_PARS", 106, K::text, &PO::sacramento, &PO::sacramento_given},
    {"OLMA", 107, K::text, &PO::olma, &PO::olma_given},
    {"VQ_INPUT", 108, K::text, &PO::vq_input, &PO::vq_input_given},
    {"VQ_NODES_TO_SEGS", 109, K::text, &PO::vq_nodes_to_segs},
    {"VQ_SEGMENT_MAP", 110, K::text, &PO::vq_segment_map},
    {"VQ_SEGMENT_FLUXES", 111, K::text, &PO::vq_segment_fluxes},
    {"PEXLO_FILE", 112, K::text, &PO::pexlo_file},
    {"PEXLO_BASE_GRID", 113, K::text, &PO::pexlo_base_grid},
    {"PEXLO_BASE_STREAM", 114, K::text, &PO::pexlo_base_stream},
    {"PEXLO_DATASETGROUP", 115, K::text, &PO::pexlo_datasetgroup},
    {"PEXLO_COMPRESSION", 116, K::integer, &PO::pexlo_compression},
    {"OPTIMIZE", 117, K::text, &PO::optimize, &PO::optimize_given},
    {"CALIB_OBS_DATA", 118, K::text, &PO::calib_obs_data},
    {"ANALYZERS", 119, K::text, &PO::analyzers, &PO::analyzers_given},
    {"SOURCEFILE", 120, K::text, &PO::sourcefile, &PO::sourcefile_given},
    {"MOIST_FROM_OLMA", 121, K::text, &PO::moist_from_olma, &PO::moist_from_olma_given},
    {"KSAT_FROM_OLMA", 122, K::text, &PO::ksat_from_olma, &PO::ksat_from_olma_given},
    {"ROUGH_FROM_OLMA", 123, K::text, &PO::rough_from_olma, &PO::rough_from_olma_given},
    {"EROSIVITY_FROM_OLMA", 124, K::text, &PO::erosivity_from_olma, &PO::erosivity_from_olma_given},
    {"CROP_FACT_FROM_OLMA", 125, K::text, &PO::crop_fact_from_olma, &PO::crop_fact_from_olma_given},
    {"ET_DEMAND_FROM_OLMA", 126, K::text, &PO::et_demand_from_olma, &PO::et_demand_from_olma_given},

    // Output files.
    {"SUMMARY", 127, K::text, &PO::summary},
    {"OUTLET_HYDRO", 128, K::text, &PO::outlet_hydro},
    {"SIG_OUTLET_HYDRO", 129, K::text, &PO::sig_outlet_hydro, &PO::sig_outlet_hydro_given},
    {"TVM_HYDRO", 130, K::text, &PO::tvm_hydro, &PO::tvm_hydro_given},
    {"CELL_HYDRO", 131, K::text, &PO::cell_hydro},
    {"LAKE_OUTPUT", 132, K::text, &PO::lake_output, &PO::lake_output_given},
    {"DAILY_OUTPUT", 133, K::text, &PO::daily_output, &PO::daily_output_given},
    {"FYSSI", 134, K::text, &PO::fyssi, &PO::fyssi_given},
    {"WRITE_OV_HOTSTART", 135, K::text, &PO::write_ov_hotstart, &PO::write_ov_hotstart_given},
    {"WRITE_CHAN_HOTSTART", 136, K::text, &PO::explic_backwater, &PO::write_chan_hotstart_given},
    {"EXPLIC_BACKWATER", 137, K::text, &PO::explic_backwater, &PO::explic_backwater_given},
    {"IN_HYD_LOCATION", 138, K::text, &PO::in_hyd_location, &PO::in_hyd_location_given},
    {"OUT_HYD_LOCATION", 139, K::text, &PO::out_hyd_location},
    {"IN_THETA_LOCATION", 140, K::text, &PO::in_theta_location, &PO::in_theta_location_given},
    {"OUT_THETA_LOCATION", 141, K::text, &PO::out_theta_location},
    {"IN_SED_LOC", 142, K::text, &PO::in_sed_loc, &PO::in_sed_loc_given},
    {"OUT_SED_LOC", 143, K::text, &PO::out_sed_loc},
    {"OUT_TSS_LOC", 144, K::text, &PO::out_tss_loc, &PO::out_tss_loc_given},
    {"OUT_DEP_LOCATION", 145, K::text, &PO::out_dep_location, &PO::out_dep_location_given},
    {"OUT_CON_LOCATION", 146, K::text, &PO::out_con_location, &PO::out_con_location_given},
    {"OUT_MASS_LOCATION", 147, K::text, &PO::out_mass_location, &PO::out_mass_location_given},
    {"OUT_WELL_LOCATION", 148, K::text, &PO::out_well_location},
    {"DISCHARGE", 149, K::text, &PO::discharge, &PO::discharge_given},
    {"DEPTH", 150, K::text, &PO::depth, &PO::depth_given},
    {"INF_DEPTH", 151, K::text, &PO::inf_depth, &PO::inf_depth_given},
    {"SURF_MOIST", 152, K::text, &PO::surf_moist, &PO::surf_moist_given},
    {"RATE_OF_INFIL", 153, K::text, &PO::rate_of_infil, &PO::rate_of_infil_given},
    {"DIS_RAIN", 154, K::text, &PO::dis_rain, &PO::dis_rain_given},
    {"CHAN_DEPTH", 155, K::text, &PO::chan_depth, &PO::chan_depth_given},
    {"CHAN_SED_FLUX", 156, K::text, &PO::chan_sed_flux, &PO::chan_sed_flux_given},
    {"CHAN_DISCHARGE", 157, K::text, &PO::chan_discharge, &PO::chan_discharge_given},
    {"CHAN_STAGE", 158, K::text, &PO::chan_stage, &PO::chan_stage_given},
    {"CHAN_VELOCITY", 159, K::text, &PO::chan_velocity, &PO::chan_velocity_given},
    {"DIS_PROFILE", 160, K::text, &PO::dis_profile},
    {"DIS_PROFILE_OUT", 161, K::text, &PO::dis_profile_out},
    {"WAT_SURF_PROFILE", 162, K::text, &PO::wat_surf_profile},
    {"WAT_SURF_PROFILE_OUT", 164, K::text, &PO::wat_surf_profile_out},
    {"VOL_SED_SUSP", 165, K::text, &PO::vol_sed_susp, &PO::vol_sed_susp_given},
    {"MAX_SED_FLUX", 166, K::text, &PO::max_sed_flux, &PO::max_sed_flux_given},
    {"NET_SED_VOLUME", 167, K::text, &PO::net_sed_volume, &PO::net_sed_volume_given},
    {"OUTLET_SED_TSS", 168, K::text, &PO::outlet_sed_tss, &PO::outlet_sed_tss_given},
    {"OUTLET_SED_FLUX", 169, K::text, &PO::outlet_sed_flux},
    {"GW_OUTPUT", 170, K::text, &PO::gw_output, &PO::gw_output_given},
    {"FLOOD_GRID", 171, K::text, &PO::flood_grid, &PO::flood_grid_given},
    {"FLOOD_STREAM", 172, K::text, &PO::flood_stream, &PO::flood_stream_given},
    {"PIPE_FLOW", 173, K::text, &PO::pipe_flow, &PO::pipe_flow_given},
    {"PIPE_HEAD", 174, K::text, &PO::pipe_head, &PO::pipe_head_given},
    {"PIPE_TILE", 175, K::text, &PO::pipe_tile, &PO::pipe_tile_given},
    {"TOTAL_OV_N", 176, K::text, &PO::total_ov_n, &PO::total_ov_n_given},
    {"TOTAL_OV_P", 177, K::text, &PO::total_ov_p, &PO::total_ov_p_given},
    {"TOTAL_CHAN_N", 178, K::text, &PO::total_chan_n, &PO::total_chan_n_given},
    {"TOTAL_CHAN_KN", 179, K::text, &PO::total_chan_kn, &PO::total_chan_kn_given},
    {"TOTAL_CHAN_P", 180, K::text, &PO::total_chan_p, &PO::total_chan_p_given},
    {"MOIST_TO_OLMA", 181, K::text, &PO::moist_to_olma, &PO::moist_to_olma_given},
    {"KSAT_TO_OLMA", 182, K::text, &PO::ksat_to_olma, &PO::ksat_to_olma_given},
    {"ROUGH_TO_OLMA", 183, K::text, &PO::rough_to_olma, &PO::rough_to_olma_given},
    {"POROS_TO_OLMA", 184, K::text, &PO::poros_to_olma, &PO::poros_to_olma_given},
    {"EROSIVITY_TO_OLMA", 185, K::text, &PO::erosivity_to_olma, &PO::erosivity_to_olma_given},
    {"CROP_FACT_TO_OLMA", 186, K::text, &PO::crop_fact_to_olma, &PO::crop_fact_to_olma_given},
    {"NET_EROSION_TO_OLMA", 187, K::text, &PO::net_erosion_to_olma, &PO::net_erosion_to_olma_given},

    // Switches.
    {"INCLUDE_CHANNEL_DEPTH", 188, K::set, &PO::include_channel_depth},
    {"LONG_TERM", 189, K::set, &PO::long_term},
    {"OVERBANK_FLOW", 190, K::set, &PO::overbank_flow},
    {"HEAD_BOUND", 191, K::set, &PO::head_bound},
    {"OVERLAND_BACKWATER", 192, K::set, &PO::overland_backwater},
    {"STREAM_LOSS", 193, K::set, &PO::stream_loss},
    {"STRICT_JULIAN_DATE", 194, K::set, &PO::strict_julian_date},
    {"SEASONAL_RS", 195, K::set, &PO::seasonal_rs},
    {"NO_CONT_INF_REDIST", 196, K::set, &PO::no_cont_inf_redist},
    {"GW_SIMULATION", 197, K::set, &PO::gw_simulation},
    {"GW_ASSIGN_THETA", 198, K::set, &PO::gw_assign_theta},
    {"HTP", 199, K::set, &PO::htp},
    {"OLMA_FIRST", 200, K::set, &PO::olma_first},
    {"CHAN_CON_TRANS", 201, K::set, &PO::chan_con_trans},
    {"OV_CON_TRANS", 202, K::set, &PO::ov_con_trans},
    {"ALL_CONTAM_OUTPUT", 203, K::set, &PO::all_contam_output},
    {"SOIL_CONTAM", 204, K::set, &PO::soil_contam},
    {"SOIL_CON_TRANS", 204, K::set, &PO::soil_contam},
    {"SOIL_STATIC_CONC", 205, K::set, &PO::soil_static_conc},
    {"SEDIMENT_CONTAM", 206, K::set, &PO::sediment_contam},
    {"XWINDOWS", 207, K::set, &PO::xwindows},
    {"XRAIN", 208, K::set, &PO::xrain},
    {"XDEPTH", 209, K::set, &PO::xdepth},
    {"XINFDEP", 210, K::set, &PO::xinfdep},
    {"XCHAN", 211, K::set, &PO::xchan},
    {"XBIG", 212, K::set, &PO::xbig},
    {"XSURF", 213, K::set, &PO::xsurf},
    {"NON_ORTHO_CHANNELS", 214, K::set, &PO::non_ortho_channels},
    {"HOTSTART_IS_DEPTH", 215, K::set, &PO::hotstart_is_depth},
    {"TOPO_INDEX", 216, K::set, &PO::topo_index},
    {"SUPERLINK_C_OPT", 217, K::set, &PO::superlink_c_opt},
    {"PAUSE", 218, K::set, &PO::pause},
    {"OV_BOUNDARY", 219, K::set, &PO::ov_boundary},
    {"USE_WELLS", 220, K::set, &PO::use_wells},
    {"STREAM_INFO", 221, K::set, &PO::stream_info},
    {"SUPER_QUIET", 222, K::set, &PO::super_quiet},
    {"VQ_FLUXES", 223, K::set, &PO::vq_fluxes},
    {"SOILS_ZEP_P", 224, K::set, &PO::soils_zep_p, {}, 2},
    {"SOILS_ZEP_C", 225, K::set, &PO::soils_zep_c, {}, 2},
    {"SOILS_ZEP_N", 226, K::set, &PO::soils_zep_n, {}, 2},

    // Numbers.
    {"MANNING_N", 227, K::real, &PO::manning_n, &PO::manning_n_given},
    {"EVENT_MIN_Q", 228, K::real, &PO::event_min_q},
    {"K_RIVER", 229, K::real, &PO::k_river},
    {"M_RIVER", 230, K::real, &PO::m_river},
    {"FIRST_ORDER_CHAN_Q", 231, K::real, &PO::first_order_chan_q},
    {"MAX_COURANT_NUMBER", 232, K::real, &PO::max_courant_number},
    {"BOUND_DEPTH", 233, K::real, &PO::bound_depth},
    {"BOUND_TS", 234, K::text, &PO::bound_ts, &PO::bound_ts_given},
    {"M_LAKE", 235, K::real, &PO::m_lake},
    {"RETENTION", 236, K::real, &PO::retention, &PO::retention_given},
    {"UNIF_AREA_REDUCTION", 237, K::real, &PO::unif_area_reduction, &PO::unif_area_reduction_given},
    {"INIT_ELEV_HEAD", 238, K::real, &PO::init_elev_head, &PO::init_elev_head_given},
    {"SUPPRESS_PRINTING", 239, K::integer, &PO::suppress_printing},
    {"FLUSH_BUFFER", 240, K::integer, &PO::flush_buffer, &PO::flush_buffer_given},
    {"X_FREQ", 241, K::integer, &PO::x_freq},
    {"XWIN_WIDTH", 242, K::integer, &PO::xwin_width},
    {"XWIN_HEIGHT", 243, K::integer, &PO::xwin_height},
    {"SOIL_MOIST_DEPTH", 244, K::special, &PO::soil_moist_depth, {}, 0, nullptr, soil_depth_card},
    {"TOP_LAYER_DEPTH", 245, K::special, &PO::top_layer_depth, {}, 0, nullptr, layer_depth_card},
    {"MIXING_LAYER_DEPTH", 246, K::special, &PO::mixing_layer_depth, {}, 0, nullptr, layer_depth_card},
    {"RICHARDS_WEIGHT", 247, K::real, &PO::richards_weight},
    {"RICHARDS_DTHETA_MAX", 248, K::real, &PO::richards_dtheta_max},
    {"RICHARDS_ITER_MAX", 249, K::integer, &PO::richards_iter_max},
    {"AQUIFER_DELTA_Z", 250, K::real, &PO::aquifer_delta_z},
    {"SOIL_EROSION", 251, K::integer, &PO::soil_erosion, &PO::soil_erosion_given},
    {"SAND_SIZE", 252, K::real, &PO::sand_size},
    {"SILT_SIZE", 253, K::real, &PO::silt_size},
    {"CLAY_SIZE", 254, K::real, &PO::clay_size},
    {"WATER_TEMP", 255, K::real, &PO::water_temp},
    {"SED_POROSITY", 256, K::real, &PO::sed_porosity},
    {"GW_LSOR_DIR", 257, K::integer, &PO::gw_lsor_dir, &PO::gw_lsor_dir_given},
    {"GW_TIMESTEP", 258, K::real, &PO::gw_timestep},
    {"GW_LSOR_CON", 259, K::real, &PO::gw_lsor_con, &PO::gw_lsor_con_given},
    {"SINGLE_UNSAT_SAT", 260, K::real, &PO::single_unsat_sat},
    {"GW_LEAKAGE_RATE", 261, K::real, &PO::gw_leakage_rate},
    {"GW_RELAX_COEFF", 262, K::real, &PO::gw_relax_coeff, &PO::gw_relax_coeff_given},
    {"GW_UNIF_POROSITY", 263, K::real, &PO::gw_unif_porosity, &PO::gw_unif_porosity_given},
    {"GW_UNIF_HYCOND", 264, K::real, &PO::gw_unif_hycond, &PO::gw_unif_hycond_given},
    {"CHAN_DECAY_COEF", 265, K::real, &PO::chan_decay_coef},
    {"CHAN_DISP_COEF", 266, K::real, &PO::chan_disp_coef},
    {"INIT_CHAN_CONC", 267, K::special, &PO::init_chan_conc, {}, 0, nullptr, concentration_card},
    {"OV_DECAY_COEF", 268, K::real, &PO::ov_decay_coef},
    {"OV_DISP_COEF", 269, K::real, &PO::ov_disp_coef},
    {"OV_UPTAKE_RATE", 270, K::real, &PO::ov_uptake_rate},
    {"KINETICS_TIMESTEP_FACTOR", 271, K::real, &PO::kinetics_timestep_factor},
    {"OV_MASS_LOAD", 272, K::real, &PO::ov_mass_load},
    {"CHAN_PH", 273, K::real, &PO::chan_ph},
    {"HTP_EVENT_NUM", 274, K::special, {}, {}, 0, nullptr, htp_event_num_card},
    {"NO2_KM", 275, K::special, {}, {}, sorption_no2_km, nullptr, sorption_card},
    {"NO3_KM", 276, K::special, {}, {}, sorption_no3_km, nullptr, sorption_card},
    {"NH4_KM", 277, K::special, {}, {}, sorption_nh4_km, nullptr, sorption_card},
    {"ON_KM", 278, K::special, {}, {}, sorption_on_km, nullptr, sorption_card},
    {"OP_KM", 279, K::special, {}, {}, sorption_op_km, nullptr, sorption_card},
    {"DP_KM", 280, K::special, {}, {}, sorption_dp_km, nullptr, sorption_card},
    {"NO2_KOC", 281, K::special, {}, {}, sorption_no2_koc, nullptr, sorption_card},
    {"NO3_KOC", 282, K::special, {}, {}, sorption_no3_koc, nullptr, sorption_card},
    {"NH4_KOC", 283, K::special, {}, {}, sorption_nh4_koc, nullptr, sorption_card},
    {"ON_KOC", 284, K::special, {}, {}, sorption_on_koc, nullptr, sorption_card},
    {"OP_KOC", 285, K::special, {}, {}, sorption_op_koc, nullptr, sorption_card},
    {"DP_KOC", 286, K::special, {}, {}, sorption_dp_koc, nullptr, sorption_card},

    // Read and echoed, not stored.
    {"ALPHA", 287, K::real, {}, {}, 0, "Alpha = %lf\n"},
    {"BETA", 288, K::real, {}, {}, 0, "Beta = %lf\n"},
    {"THETA", 289, K::real, {}, {}, 0, "Theta = %lf\n"},
    {"CHANNEL_GRIDSIZE", 290, K::real, {}, {}, 0, "Channel grid size = %lf\n"},
    {"CHANNEL_DELTAT", 291, K::integer, {}, {}, 0, "Channel time step = %d\n"},
    {"DRAIN_TIME", 292, K::integer, {}, {}, 0, "Drainage time = %d\n"},
    {"Q_MIN", 293, K::real, {}, {}, 0, "Minimum channel flow = %lf\n"},
    {"N_LINKS", 294, K::integer, {}, {}, 0, "Number of links = %d\n"},
    {"MAX_NODES", 295, K::integer, {}, {}, 0, "Number of nodes = %d\n"},
    {"NUM_THREADS", 296, K::special, {}, {}, 0, nullptr, num_threads_card},

    // Recognised and ignored.
    {"LAKE", kIgnoredCard, K::ignored},
    {"LAKE_ELEV", kIgnoredCard, K::ignored},
    {"RADAR_INTENSITY", kIgnoredCard, K::ignored},
    {"LAKES_MASK", kIgnoredCard, K::ignored},
    {"LAKES_ELEVATION", kIgnoredCard, K::ignored},
    {"FLINE", kIgnoredCard, K::ignored},
    {"NTR_SUM", kIgnoredCard, K::ignored},
    {"TVM", kIgnoredCard, K::ignored},
    {"METRIC", kIgnoredCard, K::ignored},
    {"SIMULATION_INPUT", kIgnoredCard, K::ignored},

    // Cards that act at once.
    {"TIME_SERIES_FILE", 297, K::special, {}, {}, 0, nullptr, time_series_file_card},
    {"ELEV_SERIES_FILE", 298, K::special, {}, {}, 0, nullptr, elev_series_file_card},
    {"REPLACE_PARAMS", 299, K::special, {}, {}, 0, nullptr, replace_params_card},
    {"REPLACE_LINE", 300, K::special, {}, {}, 0, nullptr, replace_line_card},
    {"REPLACE_VALS", 301, K::special, {}, {}, 0, nullptr, replace_vals_card},
    {"REPLACE_FOLDER", 302, K::special, {}, {}, 0, nullptr, replace_folder_card},

    // Nutrients: NUTRIENTS must come before the nutrient cards.
    {"NUTRIENTS", 303, K::special, {}, {}, 0, nullptr, nutrients_card},
    {"AQ_ENV", 304, K::special, {}, {}, 0, "AQ_ENV", aq_env_card},
    {"OV_INIT_NO2", 305, K::special, {}, {}, 0, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_NO3", 306, K::special, {}, {}, 1, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_NH4", 307, K::special, {}, {}, 2, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_ON", 308, K::special, {}, {}, 3, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_OP", 309, K::special, {}, {}, 4, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_DP", 310, K::special, {}, {}, 5, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_ALG", 311, K::special, {}, {}, 6, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_CBOD", 312, K::special, {}, {}, 7, "OV_INIT_XXX", ov_init_card},
    {"OV_INIT_DO", 313, K::special, {}, {}, 8, "OV_INIT_XXX", ov_init_card},
    {"OV_DOC_INIT", 315, K::special, {}, {}, 9, "OV_INIT_XXX", ov_init_card},
    {"OV_DOC_FOC", 316, K::special, {}, {}, 10, "OV_INIT_XXX", ov_init_card},
    {"OV_DISPERSION", 317, K::special, {}, {}, 11, "OV_INIT_XXX", ov_init_card},
    {"ST_INIT_NO2", 318, K::special, {}, {}, 0, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_NO3", 319, K::special, {}, {}, 1, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_NH4", 320, K::special, {}, {}, 2, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_ON", 321, K::special, {}, {}, 3, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_OP", 322, K::special, {}, {}, 4, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_DP", 323, K::special, {}, {}, 5, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_ALG", 324, K::special, {}, {}, 6, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_CBOD", 325, K::special, {}, {}, 7, "ST_INIT_XXX", st_init_card},
    {"ST_INIT_DO", 326, K::special, {}, {}, 8, "ST_INIT_XXX", st_init_card},
    {"OUT_OV_NO2", 327, K::special, {}, {}, 0, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_NO3", 328, K::special, {}, {}, 1, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_NH4", 329, K::special, {}, {}, 2, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_ON", 330, K::special, {}, {}, 3, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_OP", 331, K::special, {}, {}, 4, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_DP", 332, K::special, {}, {}, 5, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_ALG", 333, K::special, {}, {}, 6, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_CBOD", 334, K::special, {}, {}, 7, "OUT_OV_XXX", out_ov_card},
    {"OUT_OV_DO", 335, K::special, {}, {}, 8, "OUT_OV_XXX", out_ov_card},
    {"OUT_ST_NO2", 336, K::special, {}, {}, 0, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_NO3", 337, K::special, {}, {}, 1, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_NH4", 338, K::special, {}, {}, 2, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_ON", 340, K::special, {}, {}, 3, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_OP", 341, K::special, {}, {}, 4, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_DP", 342, K::special, {}, {}, 5, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_ALG", 343, K::special, {}, {}, 6, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_CBOD", 344, K::special, {}, {}, 7, "OUT_ST_XXX", out_st_card},
    {"OUT_ST_DO", 345, K::special, {}, {}, 8, "OUT_ST_XXX", out_st_card},
    {"OUT_HYD_NO2", 346, K::special, {}, {}, 0, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_NO3", 347, K::special, {}, {}, 1, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_NH4", 348, K::special, {}, {}, 2, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_ON", 349, K::special, {}, {}, 3, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_OP", 350, K::special, {}, {}, 4, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_DP", 351, K::special, {}, {}, 5, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_ALG", 352, K::special, {}, {}, 6, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_CBOD", 353, K::special, {}, {}, 7, "OUT_HYD_XXX", out_hyd_card},
    {"OUT_HYD_DO", 354, K::special, {}, {}, 8, "OUT_HYD_XXX", out_hyd_card},
};

// ---------------------------------------------------------------------------
// The table is checked when the program is built: each row's fields must
// suit its kind, and every index must fall inside the array it selects.

constexpr bool is_int_field(const field_ref& f) {
    return std::holds_alternative<int project_options::*>(f) ||
           std::holds_alternative<int run_params::*>(f) || std::holds_alternative<int rain_params::*>(f);
}

constexpr bool is_real_field(const field_ref& f) {
    return std::holds_alternative<double project_options::*>(f) ||
           std::holds_alternative<double run_params::*>(f) ||
           std::holds_alternative<double rain_params::*>(f);
}

constexpr bool is_text_field(const field_ref& f) {
    return std::holds_alternative<std::string project_options::*>(f) ||
           std::holds_alternative<std::string rain_params::*>(f);
}

constexpr bool is_none(const field_ref& f) { return std::holds_alternative<std::monostate>(f); }

// The number of places the `value` of a special card may select.
constexpr int index_limit(card_handler h) {
    if (h == ov_init_card) return kOverlandInitialKinds;
    if (h == st_init_card || h == out_ov_card || h == out_st_card || h == out_hyd_card) return kNutrientCardSpecies;
    if (h == sorption_card) return kSorptionConstants;
    return 1;
}

constexpr bool row_is_sound(const card_row& r) {
    if (!is_none(r.also) && !is_int_field(r.also)) return false;
    if (r.id < 0 || r.id > 361) return false;
    switch (r.kind) {
        case card_kind::ignored:
            return r.id == kIgnoredCard && is_none(r.target);
        case card_kind::set:
            return is_int_field(r.target);
        case card_kind::text:
        case card_kind::text_if_value:
        case card_kind::output_name:
            return is_text_field(r.target);
        case card_kind::integer:
        case card_kind::positive_integer:
        case card_kind::non_negative_integer:
            return is_int_field(r.target) || (is_none(r.target) && r.text != nullptr);
        case card_kind::real:
        case card_kind::positive_real:
        case card_kind::non_negative_real:
            return is_real_field(r.target) || (is_none(r.target) && r.text != nullptr);
        case card_kind::special:
            return r.handler != nullptr && r.value >= 0 && r.value < index_limit(r.handler);
    }
    return false;
}

constexpr bool same_text(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

constexpr bool table_is_sound() {
    constexpr std::size_t n = sizeof(kCards) / sizeof(kCards[0]);
    for (std::size_t i = 0; i < n; ++i) {
        if (!row_is_sound(kCards[i])) return false;
        if (kCards[i].id == kIgnoredCard && kCards[i].kind != card_kind::ignored) return false;
        for (std::size_t j = i + 1; j < n; ++j)
            if (same_text(kCards[i].keyword, kCards[j].keyword)) return false;
    }
    return true;
}

static_assert(table_is_sound(), "the project card table has an unsound row");

// Keyword (lower case) to row.
const std::unordered_map<std::string, const card_row*>& card_index() {
    static const std::unordered_map<std::string, const card_row*> index = [] {
        std::unordered_map<std::string, const card_row*> m;
        for (const card_row& r : kCards) m.emplace(to_lower(r.keyword), &r);
        return m;
    }();
    return index;
}

// Edits (a letter added, dropped, changed, or two neighbours swapped) that
// turn `a` into `b`, counted up to `limit` + 1.
int edit_distance(const std::string& a, const std::string& b, int limit) {
    const int n = static_cast<int>(a.size());
    const int m = static_cast<int>(b.size());
    if (std::abs(n - m) > limit) return limit + 1;
    // Three rows of the table: two rows back, the row before, this row.
    std::vector<int> back2(static_cast<std::size_t>(m) + 1), back1(back2.size()), row(back2.size());
    for (int j = 0; j <= m; ++j) back1[static_cast<std::size_t>(j)] = j;
    for (int i = 1; i <= n; ++i) {
        row[0] = i;
        for (int j = 1; j <= m; ++j) {
            const std::size_t uj = static_cast<std::size_t>(j);
            const int cost = a[static_cast<std::size_t>(i - 1)] == b[uj - 1] ? 0 : 1;
            int d = std::min({back1[uj] + 1, row[uj - 1] + 1, back1[uj - 1] + cost});
            if (i > 1 && j > 1 && a[static_cast<std::size_t>(i - 1)] == b[uj - 2] &&
                a[static_cast<std::size_t>(i - 2)] == b[uj - 1]) {
                d = std::min(d, back2[uj - 2] + 1);
            }
            row[uj] = d;
        }
        std::swap(back2, back1);
        std::swap(back1, row);
    }
    return std::min(back1[static_cast<std::size_t>(m)], limit + 1);
}

// The most edits a keyword of `length` letters may be away from a word that
// is taken for a misspelling of it: one for short keywords, two from eight
// letters on.
int edits_allowed(std::size_t length) { return length >= 8 ? 2 : 1; }

// The most cards a suggestion names.
constexpr std::size_t kMaxSuggestions = 3;

// The cards of the table fewest edits away from `word` (case aside), in
// table order; none when no card is close enough.
std::vector<std::string> nearest_cards(const std::string& word) {
    std::string upper = word;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::vector<std::string> best;
    int best_distance = 3;
    for (const card_row& r : kCards) {
        const std::string keyword = r.keyword;
        const int allowed = edits_allowed(keyword.size());
        const int d = edit_distance(upper, keyword, allowed);
        if (d > allowed || d > best_distance) continue;
        if (d < best_distance) best.clear();
        best_distance = d;
        if (best.size() < kMaxSuggestions) best.push_back(keyword);
    }
    return best;
}

// "A", "A or B", "A, B or C" (with `last` "or").
std::string listed(const std::vector<std::string>& words, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? std::string(" ") + last + " " : std::string(", ");
        text += words[i];
    }
    return text;
}

// The row of the line's card, taking the keyword off the line; null for a
// blank line, a comment and an unknown keyword. An unknown keyword is warned
// about as written, with the nearest cards when some are close; when `file`
// is given the warning names the line and `unknown` receives the keyword.
const card_row* find_card(line_cursor& line, const std::string* file = nullptr, int line_number = 0,
                          std::vector<unknown_card>* unknown = nullptr) {
    const std::string& s = line.text();
    std::size_t p = line.position();
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\n')) ++p;
    if (p >= s.size()) {
        line.set_position(s.size());
        return nullptr;
    }
    std::size_t q = p;
    while (q < s.size() && s[q] != ' ' && s[q] != '\t' && s[q] != '\n') ++q;
    const std::string written = s.substr(p, q - p);
    line.set_position(q);
    if (written[0] == '#') return nullptr;
    const auto& index = card_index();
    const auto it = index.find(to_lower(written));
    if (it == index.end()) {
        const std::vector<std::string> nearest = nearest_cards(written);
        if (g_parallel_env.world_rank() == 0) {
            std::string text = format_text("Warning: unknown card found in the project file: %s", echoed(written).c_str());
            if (!nearest.empty()) text += " (did you mean " + listed(nearest, "or") + "?)";
            text += "\n";
            if (file) text += format_text("  (line %d of project file %s; the line is skipped)\n", line_number, file->c_str());
            warn(text);
        }
        if (unknown) unknown->push_back(unknown_card{line_number, written, nearest});
        return nullptr;
    }
    return it->second;
}

bool act_on_card(card_context& c) {
    const card_row& row = *c.row;
    c.po.cards_read.emplace_back(row.keyword);
    switch (row.kind) {
        case card_kind::ignored:
            return true;
        case card_kind::set:
            *int_field(row.target, c) = row.value;
            break;
        case card_kind::text:
        case card_kind::output_name: {
            std::string& value = *text_field(row.target, c);
            if (!pop_string(c.line, value) && row.kind == card_kind::output_name) return refuse_missing(c);
            if (!no_control_chars(c, value)) return false;
            names_file(c, value);
            break;
        }
        case card_kind::text_if_value: {
            std::string value;
            if (!pop_string(c.line, value)) return true;
            if (!no_control_chars(c, value)) return false;
            names_file(c, value);
            *text_field(row.target, c) = value;
            break;
        }
        case card_kind::integer:
        case card_kind::positive_integer:
        case card_kind::non_negative_integer: {
            const std::string tok = peek_token(c.line);
            int v = 0;
            if (!take_int(c, v, row.kind == card_kind::positive_integer)) return false;
            if (row.kind == card_kind::non_negative_integer && v < 0)
                return refuse_value(c, "needs a value of zero or more", tok);
            if (int* field = int_field(row.target, c)) *field = v;
            if (row.text) std::printf(row.text, v);
            break;
        }
        case card_kind::real:
        case card_kind::positive_real:
        case card_kind::non_negative_real: {
            const std::string tok = peek_token(c.line);
            double v = 0.0;
            if (!take_real(c, v, row.kind == card_kind::positive_real)) return false;
            if (row.kind == card_kind::non_negative_real && v < 0.0)
                return refuse_value(c, "needs a value of zero or more", tok);
            if (double* field = real_field(row.target, c)) *field = v;
            if (row.text) std::printf(row.text, v);
            break;
        }
        case card_kind::special:
            if (!row.handler(c)) return false;
            break;
    }
    set_also(row, c);
    return true;
}

// Clears the blocks, constructor presets included, and sets the values that
// hold for a card that is absent.
void set_project_defaults(project_options& po, run_params& rp, rain_params& rain) {
    po = project_options();
    rp = run_params();
    rain = rain_params();
    rp.latitude = 0.0;
    rp.longitude = 0.0;
    rain.rain_interp = 0;  // inverse distance
    po.calib_comp_data = 2;
    po.calib_obj_func = 2;

    po.k_river = 0.0;
    po.m_river = 1.0;
    po.m_lake = 10.0;
    po.event_min_q = 0.1;
    po.overtype = 2;
    po.soil_moist_depth = 0.4;
    po.richards_weight = 1.0;
    po.richards_dtheta_max = 0.0025;
    po.first_order_chan_q = 0.0;
    po.richards_k_option = 2;
    po.richards_iter_max = 1;
    po.aquifer_delta_z = -999.9;  // stands for "not given"
    po.max_courant_number = 0.2;
    po.richards_upper_option = 1;
    po.x_freq = -1;
    po.xwin_width = 1000;
    po.xwin_height = 660;
    po.gw_lsor_con = 1e-5;
    po.single_unsat_sat = 0.75;
    po.gw_timestep = 0.0;  // not given: refused with groundwater on
    po.gw_relax_coeff = 1.0;
    po.htp_event_num = -1;
    po.kinetics_timestep_factor = 1.0;
    po.soil_erosion = 1;
    po.chan_ph = 7.2;
}

}  // namespace

std::vector<project_card> project_cards() {
    std::vector<project_card> out;
    for (const card_row& r : kCards) {
        card_value v = card_value::own_rule;
        switch (r.kind) {
            case card_kind::ignored: v = card_value::ignored; break;
            case card_kind::set: v = card_value::none; break;
            case card_kind::text:
            case card_kind::output_name: v = card_value::name; break;
            case card_kind::text_if_value: v = card_value::optional_name; break;
            case card_kind::integer: v = card_value::whole; break;
            case card_kind::positive_integer: v = card_value::positive_whole; break;
            case card_kind::non_negative_integer: v = card_value::non_negative_whole; break;
            case card_kind::real: v = card_value::number; break;
            case card_kind::positive_real: v = card_value::positive_number; break;
            case card_kind::non_negative_real: v = card_value::non_negative_number; break;
            case card_kind::special: v = card_value::own_rule; break;
        }
        out.push_back(project_card{r.keyword, r.id, v});
    }
    return out;
}

std::string misspelling_of(const project_options& po, const std::string& keyword) {
    for (const unknown_card& u : po.unknown_cards) {
        for (const std::string& n : u.nearest) {
            if (n == keyword)
                return format_text("line %d has the unknown card %s: write %s there", u.line,
                                   echoed(u.keyword).c_str(), keyword.c_str());
        }
    }
    return std::string();
}

int get_card_id(line_cursor& line) {
    const card_row* row = find_card(line);
    return row ? row->id : kIgnoredCard;
}

void read_project_file(const std::string& name, project_options& po, run_params& rp, rain_params& rain) {
    rp.open_failed = 0;
    rp.open_errno = 0;
    forget_card_files();
    std::string path = name;
    errno = 0;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) {
        rp.open_errno = errno;
        std::fprintf(stderr, "Error opening project file named: %s\n", path.c_str());
        rp.open_failed = 1;
        return;
    }

    line_cursor line;
    if (!read_line(line, fp.get()) || (line.text() != "KESTAPROJECT" && line.text() != "TALVIKPROJECT")) {
        std::fputs("File Does not Appear to be a Valid KESTA/TALVIK Project file\n", stderr);
        std::fputs("Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n", stderr);
        std::fputs("KESTA Terminating....\n", stderr);
        close_file(fp);
        fail_and_report();
        return;
    }

    set_project_defaults(po, rp, rain);
    card_context c{po, rp, rain, line, path, 1, nullptr};
    // Every line is read, whatever went wrong before it, so that one run
    // shows every mistake of the file; the run stops after the last line.
    const int stopped_before = g_error_record.stop;
    std::vector<std::string> error_lines;
    std::string messages;
    while (read_line(line, fp.get())) {
        ++c.line_number;
        c.row = find_card(line, &path, c.line_number, &po.unknown_cards);
        if (!c.row) continue;
        g_error_record.stop = 0;
        g_error_record.stop_message.clear();
        const bool acted = act_on_card(c);
        if (!acted && g_error_record.code > 0) {
            // A code the card stored (a nutrient card before NUTRIENTS, a
            // calibration word): said now, with the card's line.
            g_error_record.detail =
                format_text("(card %s on line %d of project file %s)", c.row->keyword, c.line_number, path.c_str());
            report_error(g_error_record);
        }
        if (acted && g_error_record.stop == 0) continue;
        error_lines.push_back(std::to_string(c.line_number));
        std::string said = g_error_record.stop_message;
        if (said.empty() || said == kMessageReportedAbove) {
            // A file read at its card was refused with a message of its own.
            said = format_text("Error: card %s on line %d of project file %s could not be acted on (see the "
                               "message above).\n",
                               c.row->keyword, c.line_number, path.c_str());
        }
        while (!said.empty() && said[0] == '\n') said.erase(0, 1);
        messages += said;
    }
    close_file(fp);
    g_error_record.stop = stopped_before != 0 || !error_lines.empty() ? 1 : 0;
    if (error_lines.empty()) return;

    const std::string lines = listed(error_lines, "and");
    const std::string closing =
        error_lines.size() == 1
            ? format_text("Error: project file %s has 1 error (line %s); the run stops.\n", path.c_str(), lines.c_str())
            : format_text("Error: project file %s has %d errors (lines %s); the run stops.\n", path.c_str(),
                          static_cast<int>(error_lines.size()), lines.c_str());
    print_both(closing);
    g_error_record.stop_message = messages + closing;
}

}  // namespace kesta
