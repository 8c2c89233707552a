// Analyzers: the definition file, the notifications and the comparisons
// over the channel node arrays.
#include "output/analyzers.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"

namespace kesta {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kDivideByZero = 9999.99;  // the value of a node whose divisor is 0

// Analyzer type tokens, compared on their first 3 or 6 characters.
enum analyzer_type : int { type_2dg = 0, type_1ds = 1, type_2ds = 2, type_zep_ov = 3, type_zep_st = 4, type_zep_sl = 5 };

int parse_type(const std::string& token) {
    const struct {
        const char* name;
        int type;
    } kTypes[] = {{"2DG", type_2dg}, {"1DS", type_1ds}, {"2DS", type_2ds},
                  {"ZEP_OV", type_zep_ov}, {"ZEP_ST", type_zep_st}, {"ZEP_SL", type_zep_sl}};
    for (const auto& t : kTypes)
        if (token.compare(0, std::char_traits<char>::length(t.name), t.name) == 0) return t.type;
    return -1;
}

// The names a 1DS token may begin with, in the order they are tried (the
// last the token's name begins with wins).
enum name_1ds : int { conc_1ds, mass_1ds, pointconc_1ds, qlatconc_1ds, qlatmass_1ds, gwmass_1ds, zepsource_1ds };
const char* const k1dsNames[] = {"conc", "mass", "pointconc", "qlatconc", "qlatmass", "gwmass", "zepsource"};

// Binds a 1DS token ("name_index") to the channel node array of constituent
// `index`: conc and mass the dissolved concentration (g/m3) and mass (g) of
// every node (a node a lake holds reads 0); pointconc the concentration of
// the channel point-source file at every node; over the last interval of
// the channel constituents, qlatconc the concentration of the water the
// stream cells gave the node, qlatmass and gwmass the mass it took from
// the stream cells and from the aquifer (g, negative: gave). Null after a
// message when the token or the run gives no array.
std::unique_ptr<stream_logical_OP> bind_1ds(const model_state& m, const std::string& token, const std::string& where) {
    std::string text = token;
    std::replace(text.begin(), text.end(), '_', ' ');
    line_cursor line(text);
    std::string name;
    int index = 0;
    pop_string(line, name);
    const bool has_index = pop_int(line, index) == 1;
    if (m.ncontam <= 0) {
        warn(where + "Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
        return nullptr;
    }
    if (!has_index || index < 1 || index > m.ncontam) {
        warn(where + format_text("Error: 1DS Analyzer for %s with index %d is out of range. Range for index is "
                                       "%d to %d.\n",
                                       name.c_str(), index, 1, m.ncontam));
        return nullptr;
    }
    int which = -1;
    for (int k = 0; k <= zepsource_1ds; ++k)
        if (name.compare(0, std::string(k1dsNames[k]).size(), k1dsNames[k]) == 0) which = k;
    if (which < 0) {
        warn(where + format_text("Error: unable to find 1DS array [%s]\n", name.c_str()));
        return nullptr;
    }
    const char* why = nullptr;
    watched_node_values values;
    switch (which) {
        case conc_1ds:
        case mass_1ds:
        case qlatconc_1ds:
        case qlatmass_1ds:
        case gwmass_1ds: {
            const mat2<double>* const kTables[] = {&m.chan_conc, &m.chan_mass, nullptr, &m.chan_qlat_conc,
                                                   &m.chan_qlat_mass, &m.chan_gw_mass};
            const mat2<double>& table = *kTables[which];
            if (table.empty() || index > table.nrows()) {
                why = "the run routes no constituents in its channels (CHAN_CON_TRANS)";
                break;
            }
            values = {table[index], m.chan_stride};
            break;
        }
        case pointconc_1ds:
            if (static_cast<std::size_t>(index) >= m.chan_point_conc.size() ||
                m.chan_point_conc[static_cast<std::size_t>(index)].empty()) {
                why = "the run has no channel point-source file";
                break;
            }
            values = values_of(m.chan_point_conc[static_cast<std::size_t>(index)]);
            break;
        default:
            why = "the channel nutrient reactions change each node's masses in place and keep no node array of "
                  "what they gave or took; watch the species' conc or mass";
            break;
    }
    if (why) {
        warn(where + format_text("Error: the 1DS array [%s] cannot be watched: %s. The analyzer is skipped.\n",
                                 token.c_str(), why));
        return nullptr;
    }
    return std::make_unique<stream_logical_OP>(values, nullptr, m.link_nodes, m.nlinks, &m.time, token);
}

// Binds a 2DS token: depth (water surface less bed), area or flow of every
// node; the last name the token begins with wins.
std::unique_ptr<stream_logical_OP> bind_2ds(const model_state& m, const std::string& token, const std::string& where) {
    std::string lower = token;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const node_table<double>* watched = nullptr;
    const node_table<double>* second = nullptr;
    auto starts = [&lower](const char* name) { return lower.compare(0, std::string(name).size(), name) == 0; };
    if (starts("depth")) {
        watched = &m.yp;
        second = &m.bel;
    }
    if (starts("area")) watched = &m.area, second = nullptr;
    if (starts("flow")) watched = &m.qp, second = nullptr;
    if (!watched) {
        warn(where + format_text("Error: unable to find 2DS array [%s] (depth, area or flow).\n", token.c_str()));
        return nullptr;
    }
    if (m.nlinks < 1 || watched->empty()) {
        warn(where + format_text("Error: the 2DS array [%s] cannot be watched: the run has no channel "
                                       "network. The analyzer is skipped.\n",
                                       token.c_str()));
        return nullptr;
    }
    const watched_node_values below = second ? values_of(*second) : watched_node_values{};
    return std::make_unique<stream_logical_OP>(values_of(*watched), second ? &below : nullptr, m.link_nodes, m.nlinks,
                                               &m.time, token);
}

// One line of the definition file; null after a message when it cannot be
// used.
std::unique_ptr<analyzer> build_analyzer(model_state& m, int type, line_cursor& line, const std::string& where) {
    auto a = std::make_unique<analyzer>();
    std::string array, triggers, op, outputs;
    if (!pop_string(line, array)) {
        warn(where + "Error: the analyzer names no array. The line is skipped.\n");
        return nullptr;
    }
    a->condition = type == type_1ds ? bind_1ds(m, array, where) : bind_2ds(m, array, where);
    if (!a->condition) return nullptr;
    double operand = 0.0;
    if (!pop_string(line, triggers) || !pop_string(line, op) || !pop_double_strict(line, operand) ||
        !pop_string(line, outputs)) {
        warn(where + format_text("Error: the analyzer of [%s] needs trigger letters, an operator, a number and "
                                       "output letters; \"%s\" does not read so. The line is skipped.\n",
                                       array.c_str(), peek_token(line).c_str()));
        return nullptr;
    }
    a->trigger_flags = parse_trigger_letters(triggers);
    a->op = parse_operator(op);
    a->operand = operand;
    a->output_flags = parse_output_letters(outputs);
    if (a->trigger_flags & notice_step_done) {
        int seconds = 0;
        if (!pop_int_strict(line, seconds) || seconds < 1) {
            warn(where + format_text("Error: the analyzer of [%s] is triggered by time steps (t) and needs its "
                                           "interval in whole seconds (1 or more), not \"%s\". The line is "
                                           "skipped.\n",
                                           array.c_str(), peek_token(line).c_str()));
            return nullptr;
        }
        a->timer.clock = &m.time;
        a->timer.tolerance = m.time_tol;
        a->timer.set_interval(seconds / kSecondsPerDay);
    }
    if (a->output_flags & out_file) {
        std::string name;
        if (!pop_string(line, name)) {
            warn(where + format_text("Error: the analyzer of [%s] writes to a file (f) but names none. The "
                                           "line is skipped.\n",
                                           array.c_str()));
            return nullptr;
        }
        strip_quotes(name);
        const std::string path = output_path(name, "w", 1);
        output_request request;
        request.words = "an analyzer of " + where.substr(0, where.size() - 2);
        request.name = name;
        request.group = output_group::analyzers;
        request.what = "analyzer output file";
        const opened_output o = open_output(m, request, &a->file);
        if (o.refused) return nullptr;
        a->file_name = path;
        if (!o.fp) warn(format_text("Warning: the analyzer output file %s cannot be created; the analyzer of [%s] "
                                    "writes no file lines.\n",
                                    path.c_str(), array.c_str()));
    }
    return a;
}

std::string time_text(double julian) {
    const calendar_time t = caldat(julian);
    return format_text("%02d-%02d-%4d, %d:%d:%2.0lf", t.month, t.day, t.year, t.hour, t.minute, t.seconds);
}

}  // namespace

int parse_operator(const std::string& token) {
    if (token.compare(0, 2, "<=") == 0) return op_less_equal;
    if (token.compare(0, 2, ">=") == 0) return op_greater_equal;
    if (token.compare(0, 2, "==") == 0) return op_equal;
    if (token.compare(0, 1, "<") == 0) return op_less;
    if (token.compare(0, 1, ">") == 0) return op_greater;
    if (token.compare(0, 1, "+") == 0) return 5;
    if (token.compare(0, 1, "-") == 0) return 6;
    if (token.compare(0, 1, "*") == 0) return 7;
    if (token.compare(0, 1, "\\") == 0) return 8;
    return op_none;
}

int parse_trigger_letters(const std::string& letters) {
    int flags = 0;
    for (char c : letters) {
        switch (c) {
            case 't': flags |= notice_step_done; break;
            case 'E': flags |= notice_event_start; break;
            case 'e': flags |= notice_event_end; break;
            case 'S': flags |= notice_init_done; break;
            case 's': flags |= notice_normal_end; break;
            case 'c': flags |= notice_error_end; break;
            default: break;
        }
    }
    return flags;
}

int parse_output_letters(const std::string& letters) {
    int flags = 0;
    for (char c : letters) {
        switch (c) {
            case 't': flags = (flags | out_tests) & ~out_by_link; break;
            case 'v': flags = (flags | out_by_link) & ~out_tests; break;
            case 's': flags |= out_screen; break;
            case 'f': flags |= out_file; break;
            case 'c': flags |= out_counts; break;
            case 'd': flags |= out_values; break;
            default: break;
        }
    }
    return flags;
}

void analyzer_timer::set_interval(double days) {
    interval = days;
    last = *clock - days;
    next = *clock;
}

bool analyzer_timer::is_due() {
    if (!clock || next > *clock + tolerance) return false;
    last = *clock;
    next = last + interval;
    return true;
}

watched_node_values values_of(const node_table<double>& t) { return {t.link(0), t.nrows() + 1}; }

stream_logical_OP::stream_logical_OP(watched_node_values watched, const watched_node_values* second, const vec1<int>& node_counts,
                                     int links, const double* clock, std::string array_name)
    : watched_(watched), has_second_(second != nullptr), links_(links), clock_(clock), name_(std::move(array_name)) {
    if (second) second_ = *second;
    passed_.resize(static_cast<std::size_t>(links_) + 1);
    value_.resize(static_cast<std::size_t>(links_) + 1);
    for (int l = 1; l <= links_; ++l) {
        const std::size_t n = static_cast<std::size_t>(l <= node_counts.n() ? node_counts[l] : 0) + 1;
        passed_[static_cast<std::size_t>(l)].assign(n, 0);
        value_[static_cast<std::size_t>(l)].assign(n, 0.0);
    }
}

double stream_logical_OP::operand_value(int link, int node) const {
    const double v = watched_.at(link, node);
    if (!has_second_) return v;
    return v - second_.at(link, node);
}

bool stream_logical_OP::compare(int op, double x) {
    bool any = false;
    for (int l = 1; l <= links_; ++l) {
        for (std::size_t n = 1; n < value_[static_cast<std::size_t>(l)].size(); ++n) {
            const double v = operand_value(l, static_cast<int>(n));
            bool pass = false;
            switch (op) {
                case op_less: pass = v < x; break;
                case op_less_equal: pass = v <= x; break;
                case op_greater: pass = v > x; break;
                case op_greater_equal: pass = v >= x; break;
                case op_equal: pass = v == x; break;
                default: break;
            }
            value_[static_cast<std::size_t>(l)][n] = v;
            passed_[static_cast<std::size_t>(l)][n] = pass;
            any = any || pass;
        }
    }
    static const char* const kConditions[] = {"< %4.6lf", "> %4.6lf", "== %4.6lf", "<= %4.6lf", ">= %4.6lf"};
    condition_ = op >= 0 && op <= op_greater_equal ? format_text(kConditions[op], x) : std::string();
    compared_at_ = *clock_;
    return any;
}

std::string stream_logical_OP::report(int flags, int mask) {
    if (!(flags & out_counts)) compared_at_ = *clock_;
    const std::string when = time_text(compared_at_);
    static const char* const kPhrases[] = {"%s",
                                           "the beginning of an event at %s",
                                           "the end of an event at %s",
                                           "the beginning of the simulation at %s",
                                           "the end of simulation at %s",
                                           "the program crash point at %s"};
    std::string phrase = when;
    for (int bit = 0; bit < 6; ++bit) {
        if (mask & (1 << bit)) {
            phrase = format_text(kPhrases[bit], when.c_str());
            break;
        }
    }
    std::string text =
        flags & out_counts
            ? format_text("\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with values %s:\n",
                          name_.c_str(), phrase.c_str(), condition_.c_str())
            : format_text("\n\nValues in the 2D stream array %s at %s: \n", name_.c_str(), phrase.c_str());
    int listed = 0, visited = 0;
    for (int l = 1; l <= links_; ++l) {
        if (flags & out_by_link) text += format_text("%4d:", l);
        const auto& values = value_[static_cast<std::size_t>(l)];
        const auto& passed = passed_[static_cast<std::size_t>(l)];
        for (std::size_t n = 1; n < values.size(); ++n) {
            ++visited;
            if (flags & out_tests) {
                if (!passed[n]) continue;
                ++listed;
                text += format_text("Link %3d, Node %3d", l, static_cast<int>(n));
                text += flags & out_values ? format_text(":  %14.6lf\n", values[n]) : std::string("\n");
            } else if (flags & (out_counts | out_values)) {
                text += format_text(passed[n] ? "[T, %6.4lf]" : "[F, %6.4lf]", values[n]);
            } else {
                text += passed[n] ? "T" : "F";
            }
        }
        if (flags & out_by_link) text += "\n";
    }
    if (flags & out_counts)
        text += format_text("====> %d out of %d nodes passed the logic test.\n", listed, visited);
    return text;
}

void analyzer::trigger(int mask) {
    const int m = trigger_flags & mask;
    const bool step_due = (m & notice_step_done) && timer.is_due();
    if (step_due || (m & ~notice_step_done)) output(mask);
}

void analyzer::output(int mask) {
    if (!condition || op > op_greater_equal) return;
    condition->compare(op, operand);
    const std::string text = condition->report(output_flags, mask);
    if (output_flags & out_screen) put_text(stdout, text);
    if ((output_flags & out_file) && file) {
        put_text(file.get(), text);
        std::fflush(file.get());
    }
}

void setup_analyzers(model_state& m, const std::string& definition_file) {
    std::string name = definition_file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) {
        warn(format_text("Warning: the analyzer definition file %s (card ANALYZERS) cannot be opened; the run goes "
                         "on without analyzers.\n",
                         name.c_str()));
        return;
    }
    auto set = std::make_unique<analyzer_set>();
    line_cursor line;
    for (int number = 1; read_line(line, fp.get()); ++number) {
        if (line.text().empty() || line.text()[0] == '#') continue;
        const std::string where = format_text("%s, line %d: ", name.c_str(), number);
        std::string token;
        if (!pop_string(line, token)) continue;  // a blank line
        const int type = parse_type(token);
        if (type != type_1ds && type != type_2ds) {
            warn(where + format_text("Error: \"%s\" is not an analyzer type this build sets up (1DS or 2DS). "
                                           "The line is skipped.\n",
                                           token.c_str()));
            continue;
        }
        std::unique_ptr<analyzer> a = build_analyzer(m, type, line, where);
        if (g_error_record.stop) return;
        if (a) set->list.push_back(std::move(a));
    }
    if (!m.super_quiet) std::printf("Set up %d analyzers...\n", static_cast<int>(set->list.size()));
    m.analyzers = std::move(set);
}

void trigger_analyzers(model_state& m, int notice) {
    if (!m.analyzers) return;
    for (const auto& a : m.analyzers->list) a->trigger(notice);
}

}  // namespace kesta
