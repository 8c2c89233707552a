// The channel input file, read in passes over its lines: the header cards
// that size the network, a count pass that types the links and counts what
// the arrays must hold, the CONNECT cards that join the links into one
// tree, a link pass that fills the nodes, structures, point sources and
// pumps, the breakpoint sections, and last the lakes. File layout:
//   kesta_chan
//   ALPHA, BETA, THETA, LINKS, MAXNODES   (any order)
//   CONNECT link downstream-link n up-1 .. up-n    (one per link)
//   per link: LINK, NODES, a link-type card, link cards, NODE blocks with
//   their node cards and sections (NPAIRS, NUM_INTERP, X1 lines),
//   structure elements (STRUCTTYPE and its value cards), lake cards.
#include "channel/channel_input.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_pumps.hpp"
#include "channel/cross_section.hpp"
#include "channel/culverts.hpp"
#include "channel/link_types.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/stream_mapping_tables.hpp"
#include "input/time_series.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr int kMaxUpstream = 20;            // upstream links one link may have
constexpr double kMinRoughness = 1e-8;      // Manning's n below this is no value
constexpr double kMaxNodeSlots = 1e8;       // (links + 1) x (nodes + 1) of one node table
constexpr int kNoStructElement = 10000;     // first element of a structure link before its elements
// The most sand under an erodible bed (m): a valley's alluvium is at most a
// few hundred metres deep. Beyond it the bed's sand volume is no finite
// number, or no volume of any river.
constexpr double kMostErodibleDepth = 1000.0;
// The most a channel's bottom width, its node spacing and the span of a
// surveyed section may measure (m): no river channel is 100 km wide, and
// the nodes of a link lie a grid cell or so apart.
constexpr double kMostChannelLength = 1e5;

// The eight element types, by the names a STRUCTTYPE token begins with.
constexpr const char* kStructNames[] = {"weir",         "sag_weir",     "round_culvert",
                                        "oval_culvert", "rect_culvert", "rating_curve",
                                        "scheduled_release", "rule_curve"};

// Link types of the type cards, before any attribute card adds its bit.
int type_of_card(int card) {
    switch (card) {
        case card_trapezoid: return kLinkTrapezoid;
        case card_trapezoid_subsurface: return kLinkTrapezoid | kLinkSubsurface;
        case card_trapezoid_erode: return kLinkTrapezoid | kLinkErodible;
        case card_trapezoid_subsurface_erode: return kLinkTrapezoid | kLinkSubsurface | kLinkErodible;
        case card_breakpoint: return kLinkBreakpoint;
        case card_breakpoint_subsurface: return kLinkBreakpoint | kLinkSubsurface;
        case card_breakpoint_erode: return kLinkBreakpoint | kLinkErodible;
        case card_breakpoint_subsurface_erode: return kLinkBreakpoint | kLinkSubsurface | kLinkErodible;
        default: return 0;
    }
}

// Type number (1-8) of a STRUCTTYPE token; 0 when it begins with no name.
int struct_type_of(const std::string& token) {
    const std::string t = to_lower(token);
    for (int k = 0; k < 8; ++k) {
        if (t.compare(0, std::string(kStructNames[k]).size(), kStructNames[k]) == 0) return k + 1;
    }
    return struct_untyped;
}

// Cards of a link block: they refer to the current LINK card.
bool is_link_block_card(int card) {
    switch (card) {
        case card_alpha: case card_beta: case card_theta: case card_links: case card_maxnodes:
        case card_connect: case card_decay_coeff: case card_num_outlets: case card_unknown:
        case card_streamcells: case card_cellij: case card_numnodes: case card_linknode:
            return false;
        default:
            return true;
    }
}

struct link_counts {
    int trapezoid = 0, trapezoid_subsurface = 0, trapezoid_erodible = 0;
    int breakpoint = 0, breakpoint_subsurface = 0, breakpoint_erodible = 0;
};

struct chan_reader {
    model_state& m;
    card_file f;
    int header_end = 0;   // line of the last of the five header cards
    int links_line = 0, maxnodes_line = 0;  // lines of the LINKS and MAXNODES cards
    int connect_end = 0;  // line of the last CONNECT card
    int connect_cards = 0;
    link_counts kinds;
    int gw_links = 0;
    int elements = 0, declared_elements = 0;
    int max_pairs = 0, point_sources = 0, pumps = 0, max_interp = 0;
    int erodible_bp = 0;
    int max_tables = 0;  // most tables of one breakpoint link
    bool mlake = false;
    vec1<int> link_line;     // line of each link's LINK card
    vec1<int> k_river_line;  // line of each link's (last) K_RIVER card, 0 without one
    vec1<int> m_river_line;  // line of each link's (last) M_RIVER card, 0 without one
    vec1<int> connect_line;  // line of each link's CONNECT card
    mat2<int> xsec_line;     // [node][link]: line of the node's XSEC card

    explicit chan_reader(model_state& state) : m(state) {}
};

// ------------------------------------------------------------------ values

bool take_non_negative(card_line& c, double& v, const char* what) {
    if (!take_double(c, v)) return false;
    if (v >= 0.0) return true;
    return refuse_card(c, format_text("gives a %s of %g; it cannot be negative.", what, v));
}

bool elevation_in_bounds(const card_line& c, double v, const char* what) {
    if (elevation_holds(v)) return true;
    return refuse_card(c, format_text("gives the %s %s m; it must lie from %g to %g m.", what, exact_number(v).c_str(),
                                      -kMostElevation, kMostElevation));
}

bool take_elevation(card_line& c, double& v, const char* what) {
    return take_double(c, v) && elevation_in_bounds(c, v, what);
}

bool length_holds(const card_line& c, double v, const char* what) {
    if (v <= kMostChannelLength) return true;
    return refuse_card(c, format_text("gives a %s of %s m; it must be at most %g m.", what, exact_number(v).c_str(),
                                      kMostChannelLength));
}

// The sand under a node of an erodible link lies from 0 to
// kMostErodibleDepth deep (other links do not use the value).
bool erodible_depth_holds(const chan_reader& r, const card_line& c, int link, int node) {
    const double v = r.m.max_eros[node][link];
    if (!link_is_erodible_channel(r.m.ltype[link]) || (v >= 0.0 && v <= kMostErodibleDepth)) return true;
    return refuse_line(r.f, c.number,
                       format_text("node %d of erodible link %d has the erodible bed depth (MAX_EROSION) %s m; it "
                                   "must lie from 0 to %g m (no valley holds alluvium that deep).",
                                   node, link, exact_number(v).c_str(), kMostErodibleDepth));
}

// ------------------------------------------------------------------ header

bool refuse_connect_count(const chan_reader& r, int connect_cards) {
    return refuse(format_text("Your channel input file contains %d links, and %d CONNECT cards\n"
                              "These two numbers must be equal.  Therefore, you have a major \n"
                              "problem with your channel input file.  KESTA cannot proceed.\n"
                              "Fifteen yard penalty from the line of scrimmage.\n"
                              "program terminated.\n"
                              "(channel input file %s, line %d: LINKS %d)\n",
                              r.m.nlinks, connect_cards, r.f.name.c_str(), r.links_line, r.m.nlinks));
}

bool header_pass(chan_reader& r) {
    model_state& m = r.m;
    const card_file& f = r.f;
    line_cursor first(f.count() >= 1 ? f.line(1) : std::string());
    std::string word;
    pop_string(first, word);
    if (to_lower(word).compare(0, 10, "kesta_chan") != 0)
        return refuse_line(f, 1, format_text("the file must begin with its header kesta_chan, not \"%s\".",
                                             f.count() >= 1 ? f.line(1).c_str() : ""));
    const int header_cards[] = {card_alpha, card_beta, card_theta, card_links, card_maxnodes};
    bool seen[5] = {false, false, false, false, false};
    int found = 0;
    for (int n = 2; n <= f.count() && found < 5; ++n) {
        card_line c = card_at(f, n);
        bool ok = true;
        switch (c.card) {
            case card_alpha: ok = take_double(c, m.alpha); break;
            case card_beta: ok = take_double(c, m.beta); break;
            case card_theta: ok = take_double(c, m.theta); break;
            case card_links:
                ok = take_int_in(c, m.nlinks, 1, INT_MAX - 1, "a link count");
                r.links_line = n;
                break;
            case card_maxnodes:
                ok = take_int_in(c, m.maxnodes, 1, INT_MAX - 1, "a node count");
                r.maxnodes_line = n;
                break;
            default: continue;
        }
        if (!ok) return false;
        for (int k = 0; k < 5; ++k) {
            if (header_cards[k] == c.card && !seen[k]) {
                seen[k] = true;
                ++found;
            }
        }
        r.header_end = n;
    }
    if (found < 5) {
        std::string missing;
        for (int k = 0; k < 5; ++k) {
            if (!seen[k]) missing += " " + chan_card_keyword(header_cards[k]);
        }
        return refuse(format_text("Premature end-of-file in the channel input file.\n"
                                  "The channel input file does not contain all the required parameter cards.\n"
                                  "These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n"
                                  "Repair your channel input file and try again.  These cards must appear at\n"
                                  "The beginning of the file before and COORD or LINK cards.\n"
                                  "Program terminated in read_chan_input.\n"
                                  "Channel input file %s ends at line %d without:%s\n",
                                  f.name.c_str(), f.count(), missing.c_str()));
    }
    // Every link has its CONNECT card: the link table is sized only once the
    // file is seen to hold as many.
    int connect_cards = 0;
    for (int n = 2; n <= f.count(); ++n) connect_cards += card_at(f, n).card == card_connect;
    if (m.nlinks > connect_cards) return refuse_connect_count(r, connect_cards);
    const int n = m.nlinks;
    alloc_ivector(m.ltype, n, "ltype");
    alloc_ivector(m.ldex, n, "ldex");
    alloc_ivector(m.ndep, n, "ndep");
    alloc_ivector(m.dslink, n, "dslink");
    alloc_ivector(m.nx1, n, "nx1");
    alloc_ivector(m.nx, n, "nx");
    alloc_ivector(m.link_nodes, n, "og_nx1");
    alloc_dvector(m.chan_roughness, n, "roughness");
    alloc_dvector(m.strick, n, "strick");
    alloc_dvector(m.chan_dx, n, "chan_dx");
    alloc_dvector(m.maxeros, n, "maxeros");
    alloc_dvector(m.ksat, n, "ksat");
    alloc_dvector(m.kthick, n, "kthick");
    alloc_ivector(m.num_xsec_per_bp_link, n, "num_xsec_per_bp_link");
    alloc_ivector(m.bplink, n, "bplink");
    r.link_line = vec1<int>(n);
    r.k_river_line = vec1<int>(n);
    r.m_river_line = vec1<int>(n);
    r.connect_line = vec1<int>(n);
    return blocks_made(g_error_record, "the link table of the channel network", m.ltype, m.ldex, m.ndep, m.dslink,
                       m.nx1, m.nx, m.link_nodes, m.chan_roughness, m.strick, m.chan_dx, m.maxeros, m.ksat,
                       m.kthick, m.num_xsec_per_bp_link, m.bplink);
}

// ------------------------------------------------------------------ count pass

void count_link_kind(chan_reader& r, int link, int bit) {
    const int t = r.m.ltype[link];
    link_counts& k = r.kinds;
    if (link_is_trapezoid(t)) {
        if (bit == kLinkSubsurface) ++k.trapezoid_subsurface;
        if (bit == kLinkErodible) ++k.trapezoid_erodible;
    } else if (link_is_breakpoint(t)) {
        if (bit == kLinkSubsurface) ++k.breakpoint_subsurface;
        if (bit == kLinkErodible) {
            ++k.breakpoint_erodible;
            r.m.bplink[link] = ++r.erodible_bp;
        }
    }
}

bool type_link(chan_reader& r, card_line& c, int link) {
    model_state& m = r.m;
    if (m.ltype[link] != 0)
        return refuse_card(c, format_text("gives link %d a second type; it already has type %d.", link,
                                          m.ltype[link]));
    switch (c.card) {
        case card_lake:
            ++m.nlakes;
            m.ltype[link] = kLinkLake;
            m.ldex[link] = m.nlakes;
            return true;
        case card_structure:
            ++m.nstruct_links;
            m.nx1[link] = 2;
            m.ltype[link] = kLinkStructure;
            m.ldex[link] = link;
            return true;
        default:
            break;
    }
    const int t = type_of_card(c.card);
    m.ltype[link] = t;
    m.ldex[link] = link;
    if (link_is_trapezoid(t)) ++r.kinds.trapezoid;
    if (link_is_breakpoint(t)) ++r.kinds.breakpoint;
    if (link_is_subsurface(t)) count_link_kind(r, link, kLinkSubsurface);
    if (link_is_erodible(t)) count_link_kind(r, link, kLinkErodible);
    return true;
}

bool add_attribute(chan_reader& r, card_line& c, int link, int bit) {
    int& t = r.m.ltype[link];
    if (!link_is_channel(t))
        return refuse_card(c, format_text("stands before the type card of link %d, or on a lake or structure "
                                          "link; it belongs to an open channel.",
                                          link));
    if (t & bit) return true;
    t |= bit;
    count_link_kind(r, link, bit);
    return true;
}

bool count_card(chan_reader& r, card_line& c, int& link) {
    model_state& m = r.m;
    if (c.card == card_link) {
        if (!take_int_in(c, link, 1, m.nlinks, "link")) return false;
        if (r.link_line[link] != 0)
            return refuse_card(c, format_text("starts link %d a second time (first on line %d).", link,
                                              r.link_line[link]));
        r.link_line[link] = c.number;
        return true;
    }
    if (is_link_block_card(c.card) && link == 0) return refuse_card(c, "comes before any LINK card.");
    int iv = 0;
    double dv = 0.0;
    switch (c.card) {
        case card_dx: return take_double(c, m.chan_dx[link]) && length_holds(c, m.chan_dx[link], "node spacing");
        case card_connect: {
            int l = 0, ds = 0;
            if (!take_int_in(c, l, 1, m.nlinks, "link") || !take_int_in(c, ds, 0, m.nlinks, "downstream link") ||
                !take_int_in(c, iv, 0, INT_MAX, "an upstream link count"))
                return false;
            r.m.max_ndep = std::max(r.m.max_ndep, iv);
            ++r.connect_cards;
            return true;
        }
        case card_nodes: return take_int_in(c, m.nx1[link], 1, m.maxnodes, "a node count");
        case card_trapezoid: case card_trapezoid_subsurface: case card_trapezoid_erode:
        case card_trapezoid_subsurface_erode: case card_breakpoint: case card_breakpoint_erode:
        case card_breakpoint_subsurface: case card_breakpoint_subsurface_erode:
        case card_lake: case card_structure:
            return type_link(r, c, link);
        case card_erodible: return add_attribute(r, c, link, kLinkErodible);
        case card_subsurface: return add_attribute(r, c, link, kLinkSubsurface);
        case card_mlake: r.mlake = true; return true;
        case card_structtype: {
            std::string token;
            pop_string(c.rest, token);
            if (struct_type_of(token) == struct_untyped)
                return refuse_card(c, format_text("names \"%s\", which is none of weir, sag_weir, round_culvert, "
                                                  "oval_culvert, rect_culvert, rating_curve, scheduled_release "
                                                  "and rule_curve.",
                                                  token.c_str()));
            ++r.elements;
            return true;
        }
        case card_mannings_n:
            if (!take_double(c, dv)) return false;
            if (dv < kMinRoughness)
                return refuse(format_text("Error encountered when reading the channel input file, link %d:\n"
                                          "    Manning's Roughness is 0.000\n"
                                          "(card MANNINGS_N on line %d of channel input file %s gives %g)\n",
                                          link, c.number, r.f.name.c_str(), dv));
            m.chan_roughness[link] = dv;
            return true;
        case card_max_erosion: return take_double(c, m.maxeros[link]);
        case card_k_river:
            ++r.gw_links;
            r.k_river_line[link] = c.number;
            return take_double(c, m.ksat[link]);
        case card_m_river: r.m_river_line[link] = c.number; return take_double(c, m.kthick[link]);
        case card_dispersion_coeff:
            if (!take_double(c, dv)) return false;
            if (m.disp_coeff.empty()) alloc_dvector(m.disp_coeff, m.nlinks, "disp_coeff");
            if (!blocks_made(g_error_record, "the dispersion coefficients of the links", m.disp_coeff)) return false;
            m.disp_coeff[link] = dv;
            return true;
        case card_npairs:
            // Each pair stands on an X1 line of its own after the card.
            if (!take_int_in(c, iv, 2, std::max(2, r.f.count() - c.number), "a pair count")) return false;
            r.max_pairs = std::max(r.max_pairs, iv);
            if (link_is_breakpoint(m.ltype[link])) {
                ++m.num_xsec_per_bp_link[link];
                r.max_tables = std::max(r.max_tables, m.num_xsec_per_bp_link[link]);
            }
            return true;
        case card_numstructs:
            // Each element has a STRUCTTYPE line of its own.
            if (!take_int_in(c, iv, 0, r.f.count(), "an element count")) return false;
            r.declared_elements += iv;
            return true;
        case card_numpts: return take_int_in(c, iv, 1, m.ncells, "a search-list length");
        case card_pointsource: ++r.point_sources; return true;
        case card_pumpto: ++r.pumps; return true;
        case card_num_interp:
            if (!take_int_in(c, iv, 1, kMaxInterpLevels, "an interpolation count")) return false;
            r.max_interp = std::max(r.max_interp, iv);
            return true;
        default: return true;
    }
}

void print_counts(chan_reader& r) {
    const model_state& m = r.m;
    const link_counts& k = r.kinds;
    say_console(m, format_text("\n\nChannel input data:\n"
                               "  max. number of u.s. dependencies:      %d\n"
                               "  number of trapezoidal links:           %d\n"
                               "    num w/ subsurface attribute:           %d\n"
                               "    num w/ erodible attribute:             %d\n"
                               "  number of breakpoint links:            %d\n"
                               "    num w/ subsurface attribute:           %d\n"
                               "    num w/ erodible attribute:             %d\n"
                               "    max number of xsec in any bp link:     %d\n"
                               "    max number of xsec pairs:              %d\n"
                               "  number of lake links:                  %d\n"
                               "  number of hydraulic structure links:   %d\n"
                               "    total no. of hydr. structure elements: %d\n"
                               "  number of groundwater links:           %d\n",
                               m.max_ndep, k.trapezoid, k.trapezoid_subsurface, k.trapezoid_erodible,
                               k.breakpoint, k.breakpoint_subsurface, k.breakpoint_erodible, r.max_tables,
                               r.max_pairs, m.nlakes, m.nstruct_links, r.elements, r.gw_links));
}

// The bed values the stream-aquifer exchange will use. Once any link gives
// K_RIVER every link takes its own K_RIVER and M_RIVER, a missing one being
// 0; otherwise every link takes the project's. Warned: a link whose own
// values leave it without exchange, though it gives one of them or has the
// subsurface attribute, and a link's M_RIVER that no K_RIVER brings in.
// The subsurface attribute itself changes nothing: with STREAM_LOSS every
// open channel exchanges through the bed values it has.
void check_bed_values(const chan_reader& r) {
    const model_state& m = r.m;
    if (!m.stream_loss) return;
    int first_k = 0;
    for (int l = 1; l <= m.nlinks && first_k == 0; ++l)
        if (r.k_river_line[l] != 0) first_k = l;
    const char* file = r.f.name.c_str();
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_channel(m.ltype[l])) continue;
        const int k_line = r.k_river_line[l], m_line = r.m_river_line[l];
        std::string why;
        int line = 0;
        if (first_k == 0) {
            if (m_line == 0) continue;
            line = m_line;
            why = format_text("link %d gives M_RIVER, but no link gives K_RIVER; every link takes the project's "
                              "K_RIVER and M_RIVER, and this M_RIVER is not used.",
                              l);
        } else if (k_line != 0 && m_line == 0) {
            line = k_line;
            why = format_text("link %d gives K_RIVER but no M_RIVER; its bed thickness is 0, so it exchanges no "
                              "water with the aquifer.",
                              l);
        } else if (k_line == 0 && m_line != 0) {
            line = m_line;
            why = format_text("link %d gives M_RIVER but no K_RIVER; its bed conductivity is 0, so it exchanges "
                              "no water with the aquifer.",
                              l);
        } else if (k_line == 0 && link_is_subsurface(m.ltype[l])) {
            line = r.link_line[l];
            why = format_text("subsurface link %d gives no K_RIVER while link %d does; its bed conductivity is 0, "
                              "so it exchanges no water with the aquifer (the project's K_RIVER and M_RIVER apply "
                              "only when no link gives its own).",
                              l, first_k);
        } else {
            continue;
        }
        warn(format_text("Warning: channel input file %s, line %d: %s\n", file, line, why.c_str()));
    }
}

bool count_pass(chan_reader& r) {
    model_state& m = r.m;
    int link = 0;
    for (int n = r.header_end + 1; n <= r.f.count(); ++n) {
        card_line c = card_at(r.f, n);
        if (!count_card(r, c, link)) return false;
    }
    if (r.declared_elements != r.elements)
        return refuse(format_text("\nThe sum of NUMSTRUCTS arguments is %d, while the total number\n"
                                  "of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n"
                                  "etc.) is %d.  This inconstency is intolerable.  Check your channel\n"
                                  "input file.  Program terminated.\n",
                                  r.declared_elements, r.elements));
    m.struct_links.assign(static_cast<std::size_t>(m.nlinks) + 1, struct_link_elems());
    m.struct_elements.assign(static_cast<std::size_t>(r.elements) + 1, struct_element());
    m.xsec_update_flag = r.erodible_bp;
    if (r.kinds.breakpoint > 0) {
        alloc_ivector(m.interp_list, m.nlinks, "interp_list");
        if (!blocks_made(g_error_record, "the breakpoint list of the links", m.interp_list)) return false;
        for (int l = 1; l <= m.nlinks; ++l) m.interp_list[l] = m.num_xsec_per_bp_link[l] > 1 ? 1 : 0;
    }
    print_counts(r);
    check_bed_values(r);
    if (m.max_ndep > kMaxUpstream)
        return refuse(format_text("Whoa there pardner!  You mean to tell me that you have more than 20\n"
                                  "upstream links flowing into one link?  KESTA allows at most 20 links\n"
                                  "to join at any one node of the channel network.  Check the CONNECT\n"
                                  "cards of your channel input file %s.\n"
                                  "The largest number of upstream links found\n"
                                  "in the read_chan_input subroutine was equal to %d, which is, frankly, a\n"
                                  "reediculous number.  Fifteen yard penalty from the spot of the foul.\n"
                                  "Program terminated.\n",
                                  r.f.name.c_str(), m.max_ndep));
    if (r.connect_cards != m.nlinks) return refuse_connect_count(r, r.connect_cards);
    return true;
}

// The stream ROUGHNESS table gives the Manning's n of the links its index
// map names; the others keep their MANNINGS_N.
bool apply_stream_roughness(chan_reader& r) {
    model_state& m = r.m;
    if (!m.st_mapping_table_given || !m.st_mapping_table_info.roughness) return true;
    vec1<int> ids;
    mat2<double> values;
    if (!read_stream_table_by_link(m.st_mapping_table, stream_table_roughness, m.nlinks, ids, values))
        return false;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (ids[l] == 0) continue;
        if (values[l][1] < kMinRoughness)
            return refuse(format_text("Error: the ROUGHNESS table of stream mapping table file %s gives link %d "
                                      "(ID %d) a Manning's n of %g.\n",
                                      m.st_mapping_table.c_str(), l, ids[l], values[l][1]));
        m.chan_roughness[l] = values[l][1];
    }
    return true;
}

// ------------------------------------------------------------------ CONNECT cards

// The links form one tree draining to link nlinks: every link but the
// outlet has a downstream link that lists it among its upstream links, no
// other link lists it, and following the downstream links from any link
// reaches the outlet.
bool check_tree(chan_reader& r) {
    model_state& m = r.m;
    const card_file& f = r.f;
    const int n = m.nlinks;
    for (int l = 1; l <= n; ++l) {
        const int ds = m.dslink[l];
        if (ds == l) return refuse_line(f, r.connect_line[l], format_text("link %d drains into itself.", l));
        if (l == n && ds != 0)
            return refuse_line(f, r.connect_line[l],
                               format_text("the outlet link %d (the last link) has downstream link %d; it "
                                           "must have 0.",
                                           l, ds));
        if (l != n && ds == 0)
            return refuse_line(f, r.connect_line[l],
                               format_text("link %d has downstream link 0, but only the outlet link %d may.", l,
                                           n));
        for (int k = 1; k <= m.ndep[l]; ++k) {
            const int up = m.uslinks[l][k];
            if (m.dslink[up] != l)
                return refuse_line(f, r.connect_line[l],
                                   format_text("link %d lists upstream link %d, whose downstream link is %d.", l,
                                               up, m.dslink[up]));
            for (int j = 1; j < k; ++j) {
                if (m.uslinks[l][j] == up)
                    return refuse_line(f, r.connect_line[l],
                                       format_text("link %d lists upstream link %d twice.", l, up));
            }
        }
        if (ds != 0) {
            bool listed = false;
            for (int k = 1; k <= m.ndep[ds]; ++k) listed = listed || m.uslinks[ds][k] == l;
            if (!listed)
                return refuse_line(f, r.connect_line[l],
                                   format_text("link %d drains into link %d, which does not list it among its "
                                               "upstream links.",
                                               l, ds));
        }
    }
    for (int l = 1; l <= n; ++l) {
        int at = l;
        for (int steps = 0; at != 0 && steps <= n; ++steps) at = m.dslink[at];
        if (at != 0)
            return refuse_line(f, r.connect_line[l],
                               format_text("following the downstream links from link %d never reaches the "
                                           "outlet: the links form a loop.",
                                           l));
    }
    return true;
}

bool alloc_node_tables(chan_reader& r) {
    model_state& m = r.m;
    // Every node table has a row per node of the longest link, which the
    // NODES cards (and the two nodes of a structure) give; a MAXNODES beyond
    // it would only size rows that no node uses.
    int longest = 1;
    for (int l = 1; l <= m.nlinks; ++l) longest = std::max(longest, m.nx1[l]);
    if (m.maxnodes > longest) {
        warn(format_text("Note: MAXNODES %d (channel input file %s, line %d) exceeds the %d nodes of the "
                         "longest link; the node tables are made for %d nodes.\n",
                         m.maxnodes, r.f.name.c_str(), r.maxnodes_line, longest, longest));
        m.maxnodes = longest;
    }
    if (static_cast<double>(m.nlinks + 1) * (m.maxnodes + 1) > kMaxNodeSlots)
        return refuse_line(r.f, r.maxnodes_line,
                           format_text("LINKS %d and MAXNODES %d make node tables of more than %.0f entries.",
                                       m.nlinks, m.maxnodes, kMaxNodeSlots));
    const int rows = m.maxnodes, cols = m.nlinks;
    alloc_imatrix(m.uslinks, cols, std::max(m.max_ndep, 1), "uslinks");
    alloc_imatrix(m.got_xsec, rows, cols, "got_xsec");
    alloc_imatrix(m.table_num, rows, cols, "table_num");
    r.xsec_line = mat2<int>(rows, cols);
    alloc_dmatrix(rows, cols, m.yp, "yp");
    alloc_dmatrix(rows, cols, m.qp, "qp");
    alloc_dmatrix(rows, cols, m.Fr, "Fr");
    alloc_dmatrix(rows, cols, m.qp_vol, "qp_vol");
    alloc_dmatrix(rows, cols, m.qp_vol_sed, "qp_vol_sed");
    alloc_dmatrix(rows, cols, m.bottom, "bottom");
    alloc_dmatrix(rows, cols, m.bankfull_dep, "bankfull_dep");
    alloc_dmatrix(rows, cols, m.bel, "bel");
    alloc_dmatrix(rows, cols, m.sslope, "sslope");
    alloc_dmatrix(rows, cols, m.sslope2, "sslope2");
    alloc_dmatrix(rows, cols, m.max_eros, "max_eros");
    alloc_dmatrix(rows, cols, m.pct_flooded, "pct_flooded");
    if (r.gw_links > 0 || m.stream_loss) {
        alloc_dmatrix(rows, cols, m.Krb, "Krb");
        alloc_dmatrix(rows, cols, m.Mrb, "Mrb");
    }
    if (r.point_sources > 0) m.stream_pointsource = node_table<time_series*>(rows, cols);
    if (r.pumps > 0) m.stream_pumps = node_table<pump*>(rows, cols);
    const char* what = "the node tables of the channel network";
    return blocks_made(g_error_record, what, m.uslinks, m.got_xsec, m.table_num, m.yp, m.qp, m.Fr, m.qp_vol,
                       m.qp_vol_sed, m.bottom, m.bankfull_dep, m.bel, m.sslope, m.sslope2, m.max_eros,
                       m.pct_flooded) &&
           ((r.gw_links == 0 && !m.stream_loss) || blocks_made(g_error_record, what, m.Krb, m.Mrb));
}

bool connect_pass(chan_reader& r) {
    model_state& m = r.m;
    if (!alloc_node_tables(r)) return false;
    int found = 0;
    for (int n = 2; n <= r.f.count() && found < m.nlinks; ++n) {
        card_line c = card_at(r.f, n);
        if (c.card != card_connect) continue;
        int link = 0, ds = 0, count = 0;
        if (!take_int_in(c, link, 1, m.nlinks, "link") || !take_int_in(c, ds, 0, m.nlinks, "downstream link") ||
            !take_int_in(c, count, 0, kMaxUpstream, "an upstream link count"))
            return false;
        if (r.connect_line[link] != 0)
            return refuse_card(c, format_text("joins link %d a second time (first on line %d).", link,
                                              r.connect_line[link]));
        r.connect_line[link] = n;
        m.dslink[link] = ds;
        m.ndep[link] = count;
        for (int k = 1; k <= count; ++k) {
            if (!take_int_in(c, m.uslinks[link][k], 1, m.nlinks, "upstream link")) return false;
        }
        ++found;
        r.connect_end = n;
    }
    if (found < m.nlinks)
        return refuse(format_text("Premature end-of-file in the channel input file.\n"
                                  "While searching for %d CONNECT cards\n"
                                  "Program terminated in read_chan_input.\n",
                                  m.nlinks));
    // The link blocks are read after the last CONNECT card.
    for (int l = 1; l <= m.nlinks; ++l) {
        if (r.link_line[l] != 0 && r.link_line[l] < r.connect_end)
            return refuse_line(r.f, r.link_line[l],
                               format_text("the LINK card of link %d stands before the last CONNECT card (line "
                                           "%d); every CONNECT card comes first.",
                                           l, r.connect_end));
    }
    return check_tree(r);
}

// ------------------------------------------------------------------ link pass

// The field of an element that a value card fills; none for other cards.
double* element_field(struct_element& e, int card) {
    switch (card) {
        case card_length: case card_crest_length: return &e.length;
        case card_upinvert: case card_crest_low_elev: return &e.crest;
        case card_downinvert: return &e.down_invert;
        case card_slope: return &e.slope;
        case card_inlet_disch_coeff: case card_discharge_coeff_forward: return &e.coeff_forward;
        case card_rev_flow_disch_coeff: case card_discharge_coeff_reverse: return &e.coeff_reverse;
        case card_width: case card_diameter: case card_a_value: case card_steep_slope: return &e.dim1;
        case card_height: case card_b_value: case card_shallow_slope: return &e.dim2;
        case card_crest_low_loc: return &e.crest_low_loc;
        case card_rough_coeff: return &e.roughness;
        default: return nullptr;
    }
}

bool element_card(chan_reader& r, card_line& c, int element) {
    struct_element probe;
    if (!element_field(probe, c.card)) return true;
    if (element == 0) return refuse_card(c, "comes before any STRUCTTYPE card.");
    struct_element& e = r.m.struct_elements[static_cast<std::size_t>(element)];
    if (c.card == card_downinvert) e.down_invert_given = true;
    return take_double(c, *element_field(e, c.card));
}

// A STRUCTTYPE card: the next element of the link, its type and, for the
// series-driven types, its series.
bool structtype_card(chan_reader& r, card_line& c, int link, int& element) {
    model_state& m = r.m;
    if (!link_is_structure(m.ltype[link]))
        return refuse_card(c, format_text("belongs to link %d, which is no STRUCTURE link.", link));
    ++element;
    struct_link_elems& rec = m.struct_links[static_cast<std::size_t>(link)];
    rec.first = std::min(rec.first, element);
    rec.last = std::max(rec.last, element);
    struct_element& e = m.struct_elements[static_cast<std::size_t>(element)];
    e.line = c.number;
    std::string token;
    pop_string(c.rest, token);
    e.type = struct_type_of(token);
    if (e.type != struct_rating_curve && e.type != struct_scheduled_release && e.type != struct_rule_curve)
        return true;
    const int missing = e.type == struct_rating_curve ? 85 : e.type == struct_scheduled_release ? 87 : 89;
    std::string name;
    if (!pop_string(c.rest, name) || name.empty()) {
        print_both(format_text("Channel input file %s, line %d: STRUCTTYPE %s names no series.\n",
                               r.f.name.c_str(), c.number, token.c_str()));
        fail_and_report(missing);
        return false;
    }
    if (e.type == struct_scheduled_release) e.ts = ts_find_by_name(name);
    else e.es = find_elev_series(name);
    if (e.ts || e.es) return true;
    print_both(format_text("Channel input file %s, line %d: STRUCTTYPE %s names series \"%s\".\n",
                           r.f.name.c_str(), c.number, token.c_str(), name.c_str()));
    fail_and_report(missing + 1);
    return false;
}

bool node_card(chan_reader& r, card_line& c, int link, int node) {
    model_state& m = r.m;
    if (node == 0) {
        if (c.card == card_max_erosion) return true;  // the link's own value, kept by the count pass
        return refuse_card(c, format_text("comes before any NODE card of link %d.", link));
    }
    switch (c.card) {
        case card_elev: return take_elevation(c, m.bel[node][link], "bed elevation");
        case card_xsec:
            m.got_xsec[node][link] = m.ltype[link];
            r.xsec_line[node][link] = c.number;
            return true;
        case card_bottom_width:
            return take_non_negative(c, m.bottom[node][link], "bottom width") &&
                   length_holds(c, m.bottom[node][link], "bottom width");
        case card_bankfull_depth: return take_double(c, m.bankfull_dep[node][link]);
        case card_side_slope: return take_non_negative(c, m.sslope[node][link], "side slope");
        case card_max_erosion:
            if (!take_double(c, m.max_eros[node][link])) return false;
            return erodible_depth_holds(r, c, link, node);
        default: return true;
    }
}

bool link_card(chan_reader& r, card_line& c, int& link, int& node, int& element) {
    model_state& m = r.m;
    switch (c.card) {
        case card_link:
            take_int(c, link);
            node = 0;
            return true;
        case card_node:
            return take_int_in(c, node, 1, m.nx1[link], format_text("a node of link %d", link).c_str());
        case card_numstructs:
            return take_int(c, m.struct_links[static_cast<std::size_t>(link)].count);
        case card_structtype:
            return structtype_card(r, c, link, element);
        case card_elev: case card_xsec: case card_bottom_width: case card_bankfull_depth:
        case card_side_slope: case card_max_erosion:
            return node_card(r, c, link, node);
        case card_pointsource: {
            if (link_is_structure(m.ltype[link]))
                return refuse_card(c, format_text("belongs to structure link %d, which holds no water to take it.",
                                                  link));
            if (link_is_lake(m.ltype[link])) node = 1;  // a lake takes its inflow at its first node
            if (node == 0) return refuse_card(c, format_text("comes before any NODE card of link %d.", link));
            // Open channels route the midpoints between their input nodes.
            if (link_is_channel(m.ltype[link]) && node >= m.nx1[link])
                return refuse_card(c, format_text("stands under NODE %d, the last node of link %d; the link routes "
                                                  "nodes 1 to %d.",
                                                  node, link, m.nx1[link] - 1));
            std::string name;
            if (!take_name(c, name)) return false;
            time_series* ts = ts_find_by_name(name);
            if (!ts)
                return refuse_card(c, format_text("names time series \"%s\", which no time-series file of the "
                                                  "project defines.",
                                                  name.c_str()));
            m.stream_pointsource[node][link] = ts;
            return true;
        }
        case card_pumpto: {
            if (node == 0) return refuse_card(c, format_text("comes before any NODE card of link %d.", link));
            pump* p = read_pump_card(c.rest, link, m.ltype[link]);
            if (!p) return false;
            m.stream_pumps[node][link] = p;
            return true;
        }
        default:
            return element_card(r, c, element);
    }
}

bool link_pass(chan_reader& r) {
    model_state& m = r.m;
    for (int l = 1; l <= m.nlinks; ++l) {
        m.struct_links[static_cast<std::size_t>(l)].first = kNoStructElement;
        m.struct_links[static_cast<std::size_t>(l)].last = 0;
    }
    int link = 0, node = 0, element = 0;
    for (int n = r.connect_end + 1; n <= r.f.count(); ++n) {
        card_line c = card_at(r.f, n);
        if (c.card != card_link && (!is_link_block_card(c.card) || link == 0)) continue;
        if (!link_card(r, c, link, node, element)) return false;
    }
    return true;
}

// ------------------------------------------------------------------ completion

bool complete_links(chan_reader& r) {
    model_state& m = r.m;
    const card_file& f = r.f;
    for (int l = 1; l <= m.nlinks; ++l) {
        const int t = m.ltype[l];
        const int at = r.link_line[l];
        if (at == 0) return refuse_line(f, f.count(), format_text("link %d has no LINK card.", l));
        if (t == 0) return refuse_line(f, at, format_text("link %d has no link-type card.", l));
        if (m.nx1[l] < 1) return refuse_line(f, at, format_text("link %d has no NODES card.", l));
        if (link_is_channel(t)) {
            if (m.chan_roughness[l] < kMinRoughness)
                return refuse_line(f, at, format_text("open-channel link %d has no MANNINGS_N card.", l));
            if (!(m.chan_dx[l] > 0.0))
                return refuse_line(f, at,
                                   format_text("open-channel link %d has node spacing DX %g; it must be above 0.",
                                               l, m.chan_dx[l]));
        }
        if (link_is_structure(t)) {
            if (l == m.nlinks)
                return refuse_line(f, at, format_text("structure link %d is the outlet link; a structure needs "
                                                      "a channel below it.",
                                                      l));
            if (m.ndep[l] == 0)
                return refuse_line(f, at, format_text("structure link %d has no upstream link.", l));
            if (m.struct_links[static_cast<std::size_t>(l)].last == 0)
                return refuse_line(f, at, format_text("structure link %d has no STRUCTTYPE element.", l));
        }
        if (!m.Krb.empty()) {
            const double k = r.gw_links > 0 ? m.ksat[l] : m.k_river;
            const double th = r.gw_links > 0 ? m.kthick[l] : m.m_river;
            for (int j = 1; j <= m.nx1[l]; ++j) {
                m.Krb[j][l] = k;
                m.Mrb[j][l] = th;
            }
        }
        m.strick[l] = m.chan_roughness[l] > 0.0 ? 1.0 / m.chan_roughness[l] : 0.0;
        if (link_is_trapezoid(t)) {
            int from = 0;
            for (int j = 1; j <= m.nx1[l]; ++j) {
                if (m.got_xsec[j][l] == t) from = j;
            }
            if (from == 0) {
                return refuse(format_text("Error: Cross section parameters not found for link %d.\n"
                                          "(channel input file %s: link %d, line %d, has no XSEC card)\n",
                                          l, f.name.c_str(), l, at));
            }
            if (m.bottom[from][l] == 0.0 && m.sslope[from][l] == 0.0)
                return refuse_line(f, r.xsec_line[from][l],
                                   format_text("the section of link %d (node %d) has BOTTOM_WIDTH 0 and SIDE_SLOPE "
                                               "0: it holds no water.",
                                               l, from));
            for (int j = 1; j <= m.nx1[l]; ++j) {
                m.sslope[j][l] = m.sslope[from][l];
                m.bottom[j][l] = m.bottom[from][l];
                m.bankfull_dep[j][l] = m.bankfull_dep[from][l];
                if (link_is_erodible(t)) m.max_eros[j][l] = m.max_eros[from][l];
            }
        }
        m.nx[l] = link_is_channel(t) ? m.nx1[l] - 1 : m.nx1[l];
        m.link_nodes[l] = m.nx[l];
    }
    const int out = m.nlinks;
    if (m.nx[out] < 2)
        return refuse_line(f, r.link_line[out],
                           format_text("the outlet link %d has %d computational node(s); it needs at least 2.",
                                       out, m.nx[out]));
    return true;
}

// ------------------------------------------------------------------ structures

// Geometry that no discharge relation can use is refused with the line of
// the element's STRUCTTYPE card.
bool check_element(const chan_reader& r, int link, int k, const struct_element& e) {
    const card_file& f = r.f;
    auto refuse_element = [&](const char* kind, const std::string& what) {
        return refuse_line(f, e.line, format_text("%s element %d of link %d %s", kind, k, link, what.c_str()));
    };
    switch (e.type) {
        case struct_sag_weir:
            if (!(e.length > 0.0))
                return refuse_element("sag weir", format_text("has CREST_LENGTH %g; it must be above 0.", e.length));
            if (!(e.dim2 > e.dim1))
                return refuse_element("sag weir",
                                      format_text("has SHALLOW_SLOPE %g, not above its STEEP_SLOPE %g: its crest "
                                                  "must open upward.",
                                                  e.dim2, e.dim1));
            return true;
        case struct_round_culvert:
        case struct_oval_culvert:
        case struct_rect_culvert: {
            const bool round = e.type == struct_round_culvert;
            if (!(e.length >= 0.0001))
                return refuse_element("culvert", format_text("has barrel LENGTH %s m; it must be at least 0.0001 m.",
                                                             exact_number(e.length).c_str()));
            if (!(e.dim1 > 0.0))
                return refuse_element("culvert", format_text("has a %s (WIDTH or DIAMETER card) of %g m; it must be "
                                                             "above 0.",
                                                             round ? "diameter" : "rise", e.dim1));
            if (!round && !(e.dim2 > 0.0))
                return refuse_element("culvert", format_text("has a span (HEIGHT card) of %g m; it must be above 0.",
                                                             e.dim2));
            return true;
        }
        default:
            return true;
    }
}

// Checks every element and gives each culvert its inlet coefficient, which
// depends on its geometry alone.
bool complete_structures(chan_reader& r) {
    model_state& m = r.m;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_structure(m.ltype[l])) continue;
        const struct_link_elems& rec = m.struct_links[static_cast<std::size_t>(l)];
        for (int k = rec.first; k <= rec.last; ++k) {
            struct_element& e = m.struct_elements[static_cast<std::size_t>(k)];
            if (!check_element(r, l, k, e)) return false;
            if (e.type != struct_round_culvert && e.type != struct_oval_culvert && e.type != struct_rect_culvert)
                continue;
            if (e.type == struct_oval_culvert)
                warn(format_text("Warning: oval culvert element %d of link %d (%s %s, line %d) passes no "
                                 "flow while its inlet controls (free outlet, head below 1.5 rises).\n",
                                 k, l, r.f.kind, r.f.name.c_str(), e.line));
            if (!set_culvert_coefficient(e)) {
                g_error_record.detail = format_text("(%s %s, line %d: culvert element %d of link %d)", r.f.kind,
                                                    r.f.name.c_str(), e.line, k, l);
                report_error(g_error_record);
                return false;
            }
        }
    }
    return true;
}

// ------------------------------------------------------------------ breakpoint sections

bool read_sections(chan_reader& r, std::vector<std::vector<bp_section>>& by_link) {
    model_state& m = r.m;
    by_link.assign(static_cast<std::size_t>(m.nlinks) + 1, std::vector<bp_section>());
    int link = 0, node = 0;
    bp_section* cur = nullptr;
    auto complete = [&](bp_section* s) {
        if (!s || static_cast<int>(s->x.size()) - 1 == s->npairs) return true;
        return refuse_line(r.f, s->line,
                           format_text("NPAIRS %d of link %d, node %d is followed by %d X1 card(s).", s->npairs,
                                       link, s->node, static_cast<int>(s->x.size()) - 1));
    };
    for (int n = r.connect_end + 1; n <= r.f.count(); ++n) {
        card_line c = card_at(r.f, n);
        switch (c.card) {
            case card_link:
                if (!complete(cur)) return false;
                cur = nullptr;
                take_int(c, link);
                node = 0;
                break;
            case card_node: take_int(c, node); break;
            case card_npairs: {
                if (!complete(cur)) return false;
                cur = nullptr;
                if (!link_is_breakpoint(m.ltype[link])) break;
                if (node == 0) return refuse_card(c, format_text("comes before any NODE card of link %d.", link));
                std::vector<bp_section>& list = by_link[static_cast<std::size_t>(link)];
                for (const bp_section& s : list) {
                    if (s.node == node)
                        return refuse_card(c, format_text("gives node %d of link %d a second section (first on "
                                                          "line %d).",
                                                          node, link, s.line));
                }
                list.emplace_back();
                cur = &list.back();
                cur->node = node;
                cur->line = n;
                take_int(c, cur->npairs);
                break;
            }
            case card_num_interp:
                if (!cur) return refuse_card(c, "comes before any NPAIRS card of a breakpoint link.");
                if (!take_int(c, cur->num_interp)) return false;
                break;
            case card_x1: {
                if (!cur) return refuse_card(c, "comes before any NPAIRS card of a breakpoint link.");
                if (static_cast<int>(cur->x.size()) - 1 == cur->npairs)
                    return refuse(format_text("\n\nError: There are more X1 cards than the NPAIRS card specifies \n"
                                              "for table %d in link %d.\n"
                                              "(channel input file %s, line %d)\n",
                                              static_cast<int>(by_link[static_cast<std::size_t>(link)].size()),
                                              link, r.f.name.c_str(), n));
                double x = 0.0, y = 0.0;
                if (!take_double(c, x, true) || !take_double(c, y, true)) return false;
                if (!elevation_in_bounds(c, y, "elevation")) return false;
                // x[0] holds no station.
                if (cur->x.size() > 1 && !(std::fabs(x - cur->x[1]) <= kMostChannelLength))
                    return refuse_card(c, format_text("gives the station %s m; it must lie within %g m of the "
                                                      "section's first station, %s m.",
                                                      exact_number(x).c_str(), kMostChannelLength,
                                                      exact_number(cur->x[1]).c_str()));
                cur->x.push_back(x);
                cur->y.push_back(y);
                break;
            }
            default: break;
        }
    }
    return complete(cur);
}

bool breakpoint_pass(chan_reader& r) {
    model_state& m = r.m;
    if (r.kinds.breakpoint == 0) return true;
    if (r.max_interp < 1)
        return refuse(format_text("Error: the number of interpolation points has not been specifiedfor any table. "
                                  "Each break-point cross-section table should have a NUM_INTERP ### card below "
                                  "the NPAIRS card\n(channel input file %s)\n",
                                  r.f.name.c_str()));
    std::vector<std::vector<bp_section>> by_link;
    if (!read_sections(r, by_link)) return false;
    m.ntables = 0;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_breakpoint(m.ltype[l])) continue;
        std::vector<bp_section>& list = by_link[static_cast<std::size_t>(l)];
        if (list.empty())
            return refuse_line(r.f, r.link_line[l], format_text("breakpoint link %d has no NPAIRS section.", l));
        std::stable_sort(list.begin(), list.end(),
                         [](const bp_section& a, const bp_section& b) { return a.node < b.node; });
        m.ntables += bp_link_table_count(m, l, list);
    }
    const int heights = std::max(r.max_interp, 1);
    alloc_dmatrix(heights, m.ntables, m.xarea, "xarea");
    alloc_dmatrix(heights, m.ntables, m.xtw, "xtw");
    alloc_dmatrix(heights, m.ntables, m.xk, "xk");
    alloc_dmatrix(heights, m.ntables, m.xp, "xp");
    if (m.chan_alt_routing) {
        alloc_dmatrix(heights, m.ntables, m.xi1, "xi1");
        alloc_dmatrix(heights, m.ntables, m.xdkda, "xdkda");
    }
    alloc_ivector(m.numpairs, m.ntables, "numpairs");
    alloc_ivector(m.numhts, m.ntables, "numhts");
    alloc_dvector(m.ht_spc, m.ntables, "ht_spc");
    const char* tables = "the breakpoint cross-section tables";
    if (!blocks_made(g_error_record, tables, m.xarea, m.xtw, m.xk, m.xp, m.numpairs, m.numhts, m.ht_spc) ||
        (m.chan_alt_routing && !blocks_made(g_error_record, tables, m.xi1, m.xdkda)))
        return false;
    if (r.max_tables > 1) {
        alloc_ivector(m.first, m.nlinks, "first");
        alloc_ivector(m.last, m.nlinks, "last");
        if (!blocks_made(g_error_record, tables, m.first, m.last)) return false;
    }
    if (r.erodible_bp > 0) {
        alloc_dmatrix(r.erodible_bp, m.maxnodes, m.max_yp, "max_yp");
        alloc_dmatrix(r.erodible_bp, m.maxnodes, m.ch_sand_vol0, "ch_sand_vol0");
        alloc_d3tensor(r.erodible_bp, m.maxnodes, r.max_pairs, m.xbp_lnn, "xbp_lnn");
        alloc_d3tensor(r.erodible_bp, m.maxnodes, r.max_pairs, m.ybp_lnn, "ybp_lnn");
        if (!blocks_made(g_error_record, "the sections of the erodible breakpoint links", m.max_yp,
                         m.ch_sand_vol0, m.xbp_lnn, m.ybp_lnn))
            return false;
    }
    say_console(m, "Reading and interpolating break-point cross-sections ");
    int next_table = 1;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_breakpoint(m.ltype[l])) continue;
        std::vector<bp_section>& list = by_link[static_cast<std::size_t>(l)];
        const int tables = bp_link_table_count(m, l, list);
        if (!interp_breakpoint_xsec(m, l, list, next_table)) return false;
        next_table += tables;
        say_console(m, ".");
    }
    say_console(m, "\n");
    return true;
}

// Open channels: the input node elevations become the elevations of the
// segments between them. Every computational node starts dry.
void complete_nodes(model_state& m) {
    for (int l = 1; l <= m.nlinks; ++l) {
        if (link_is_channel(m.ltype[l])) {
            for (int j = 1; j <= m.nx[l]; ++j) m.bel[j][l] = 0.5 * (m.bel[j][l] + m.bel[j + 1][l]);
        }
        for (int j = 1; j <= m.nx[l]; ++j) {
            m.yp[j][l] = m.bel[j][l];
            m.qp[j][l] = 0.0;
        }
        // The deepest water seen starts at the dry bed, wherever the datum lies.
        if (link_is_erodible_breakpoint(m.ltype[l])) {
            for (int j = 1; j <= m.nx[l]; ++j) m.max_yp[m.bplink[l]][j] = m.yp[j][l];
        }
    }
}

// Copies of the network as read, which the lakes change while they
// overtake links.
bool keep_originals(model_state& m) {
    const int n = m.nlinks;
    alloc_ivector(m.og_ndep, n, "og_ndep");
    alloc_ivector(m.og_dslink, n, "og_dslink");
    alloc_ivector(m.og_ltype, n, "og_lytpe");
    alloc_imatrix(m.og_uslinks, n, std::max(m.max_ndep, 1), "og_uslinks");
    if (!blocks_made(g_error_record, "the copies of the network as read", m.og_ndep, m.og_dslink, m.og_ltype,
                     m.og_uslinks))
        return false;
    for (int l = 1; l <= n; ++l) {
        m.og_ndep[l] = m.ndep[l];
        m.og_dslink[l] = m.dslink[l];
        m.og_ltype[l] = m.ltype[l];
        for (int k = 1; k <= m.ndep[l]; ++k) m.og_uslinks[l][k] = m.uslinks[l][k];
    }
    return true;
}

}  // namespace

int read_chan_input(model_state& m) {
    chan_reader r(m);
    r.f.name = m.channel_input;
    r.f.kind = "channel input file";
    load_card_file(m.channel_input_fp.get(), r.f);
    if (!header_pass(r) || !count_pass(r) || !apply_stream_roughness(r) || !connect_pass(r) ||
        !link_pass(r) || !complete_links(r) || !complete_structures(r) || !breakpoint_pass(r))
        return 0;
    complete_nodes(m);
    if (m.stream_cell_fp && !read_grid_stream(m)) return 0;
    if (m.nlakes > 0) {
        if (!read_chan_lakes(m, r.f, r.connect_end + 1)) return 0;
        m.chan_lakes_on = 1;
        if (!keep_originals(m)) return 0;
    }
    return r.mlake ? 1 : 0;
}

}  // namespace kesta
