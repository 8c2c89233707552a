#include "channel/channel_cards.hpp"

#include <cctype>

#include "core/error_record.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

struct card_row {
    const char* keyword;  // lower case; synonyms are rows of their own
    int card;
};

// The first row of an id gives the keyword its messages use.
constexpr card_row kCards[] = {
    {"alpha", card_alpha},
    {"beta", card_beta},
    {"theta", card_theta},
    {"dx", card_dx},
    {"links", card_links},
    {"maxnodes", card_maxnodes},
    {"connect", card_connect},
    {"link", card_link},
    {"nodes", card_nodes},
    {"trapezoid", card_trapezoid},
    {"subsurface_trapezoid", card_trapezoid_subsurface},
    {"trapezoid_subsurface", card_trapezoid_subsurface},
    {"trap_erode", card_trapezoid_erode},
    {"trapezoid_erode", card_trapezoid_erode},
    {"trapezoid_subsurface_erode", card_trapezoid_subsurface_erode},
    {"trapezoid_erode_subsurface", card_trapezoid_subsurface_erode},
    {"breakpoint", card_breakpoint},
    {"break_erode", card_breakpoint_erode},
    {"breakpoint_erode", card_breakpoint_erode},
    {"subsurface_breakpoint", card_breakpoint_subsurface},
    {"breakpoint_subsurface", card_breakpoint_subsurface},
    {"breakpoint_subsurface_erode", card_breakpoint_subsurface_erode},
    {"breakpoint_erode_subsurface", card_breakpoint_subsurface_erode},
    {"erodible", card_erodible},
    {"erode", card_erodible},
    {"subsurface", card_subsurface},
    {"lake", card_lake},
    {"mlake", card_mlake},
    {"structure", card_structure},
    {"structtype", card_structtype},
    {"mannings_n", card_mannings_n},
    {"max_erosion", card_max_erosion},
    {"gw_bed_conductivity", card_k_river},
    {"k_river", card_k_river},
    {"gw_bed_thickness", card_m_river},
    {"m_river", card_m_river},
    {"dispersion_coeff", card_dispersion_coeff},
    {"decay_coeff", card_decay_coeff},
    {"num_outlets", card_num_outlets},
    {"node", card_node},
    {"elev", card_elev},
    {"xsec", card_xsec},
    {"bottom_width", card_bottom_width},
    {"bankfull_depth", card_bankfull_depth},
    {"side_slope", card_side_slope},
    {"x1", card_x1},
    {"npairs", card_npairs},
    {"streamcells", card_streamcells},
    {"cellij", card_cellij},
    {"numnodes", card_numnodes},
    {"linknode", card_linknode},
    {"numstructs", card_numstructs},
    {"upinvert", card_upinvert},
    {"downinvert", card_downinvert},
    {"inlet_disch_coeff", card_inlet_disch_coeff},
    {"rev_flow_disch_coeff", card_rev_flow_disch_coeff},
    {"slope", card_slope},
    {"length", card_length},
    {"width", card_width},
    {"height", card_height},
    {"diameter", card_diameter},
    {"rough_coeff", card_rough_coeff},
    {"a_value", card_a_value},
    {"b_value", card_b_value},
    {"minwse", card_minwse},
    {"initwse", card_initwse},
    {"maxwse", card_maxwse},
    {"numpts", card_numpts},
    {"crest_length", card_crest_length},
    {"crest_low_elev", card_crest_low_elev},
    {"crest_low_loc", card_crest_low_loc},
    {"discharge_coeff_forward", card_discharge_coeff_forward},
    {"discharge_coeff_reverse", card_discharge_coeff_reverse},
    {"steep_slope", card_steep_slope},
    {"shallow_slope", card_shallow_slope},
    {"pointsource", card_pointsource},
    {"num_interp", card_num_interp},
    {"pumpto", card_pumpto},
};

constexpr bool keywords_unique() {
    const std::size_t n = sizeof kCards / sizeof kCards[0];
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const char* a = kCards[i].keyword;
            const char* b = kCards[j].keyword;
            std::size_t k = 0;
            while (a[k] != '\0' && a[k] == b[k]) ++k;
            if (a[k] == b[k]) return false;
        }
    }
    return true;
}
static_assert(keywords_unique(), "every channel card keyword is listed once");

// A keyword ends at a separator or a carriage return, so that a file with
// DOS line ends reads as any other.
bool ends_token(char c) { return is_separator(c) || c == '\r'; }

}  // namespace

void load_card_file(std::FILE* fp, card_file& f) {
    f.lines.clear();
    line_cursor text;
    while (fp && read_line(text, fp)) f.lines.push_back(text.text());
}

int get_chan_card(line_cursor& line) {
    const std::string& s = line.text();
    std::size_t p = line.position();
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\n' || s[p] == '\r')) ++p;
    std::string word;
    while (p < s.size() && !ends_token(s[p])) {
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(s[p])));
        ++p;
    }
    line.set_position(p);
    for (const card_row& r : kCards) {
        if (word == r.keyword) return r.card;
    }
    return card_unknown;
}

std::string chan_card_keyword(int card) {
    for (const card_row& r : kCards) {
        if (r.card == card) return to_upper(r.keyword);
    }
    return "(unknown card)";
}

card_line card_at(const card_file& f, int n) {
    card_line c{f, n, card_unknown, line_cursor(f.line(n))};
    c.card = get_chan_card(c.rest);
    return c;
}

bool refuse_card(const card_line& c, const std::string& what) {
    return refuse(format_text("Error: card %s on line %d of %s %s %s\n", chan_card_keyword(c.card).c_str(), c.number,
                              c.file.kind, c.file.name.c_str(), what.c_str()));
}

bool refuse_line(const card_file& f, int line, const std::string& what) {
    return refuse(format_text("Error: %s %s, line %d: %s\n", f.kind, f.name.c_str(), line, what.c_str()));
}

bool take_int(card_line& c, int& v) {
    const std::string tok = peek_token(c.rest);
    if (tok.empty()) return refuse_card(c, "has a value missing.");
    if (!pop_int_strict(c.rest, v)) return refuse_card(c, "needs a whole number, not \"" + tok + "\".");
    return true;
}

bool take_int_in(card_line& c, int& v, int lo, int hi, const char* what) {
    if (!take_int(c, v)) return false;
    if (v >= lo && v <= hi) return true;
    return refuse_card(c, format_text("gives %s %d; it must be between %d and %d.", what, v, lo, hi));
}

bool take_double(card_line& c, double& v, bool comma_may_separate) {
    const std::string tok = peek_token(c.rest);
    if (tok.empty()) return refuse_card(c, "has a value missing.");
    const std::string comma = comma_may_separate ? std::string() : decimal_comma_value(c.rest);
    if (!comma.empty()) return refuse_card(c, "gives " + decimal_comma_advice(comma) + ".");
    if (!pop_double_strict(c.rest, v)) return refuse_card(c, "needs a number, not \"" + tok + "\".");
    return true;
}

bool take_name(card_line& c, std::string& v) {
    if (pop_string(c.rest, v) && !v.empty()) return true;
    return refuse_card(c, "names no series.");
}

}  // namespace kesta
