// The channel point-source file (CHAN_POINT_INPUT): the points with their
// first discharges and concentrations, then timed changes, each a block of
// new values followed by the time of the next change.
//
//   numpts 2
//   point 3 1 0.5  12.0      node, link, discharge (m3/s), one concentration per constituent
//   point 1 4 2.0  0.0
//   nrpds 2
//   input 2021 7 14 15 0     the first change: year, month, day, hour, minute
//   0.0 0.0  1.0 0.0         its block: per point a discharge and the concentrations
//   input 2021 7 14 16 0
//   0.5 3.0  0.0 0.0
//
// The file is read by whole white-space separated tokens, whatever the
// lines; a keyword is known by its first five letters in any case
// ("NUMPTS", "Point"), and tokens before a keyword are passed over. A block
// is read when its change falls due, so a run reads no further than its
// time reaches.
#include <algorithm>
#include <cmath>

#include "channel/channel_steps.hpp"
#include "channel/link_types.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "transport/constituents.hpp"

namespace kesta {

namespace {

constexpr std::size_t kKeywordLetters = 5;
constexpr int kMostSkipped = 10000;  // tokens passed over in search of a keyword
constexpr int kCenturyYears = 100;   // a year below it is of the 1900s
constexpr int kTwentiethCentury = 1900;

class point_reader {
public:
    explicit point_reader(model_state& m) : m_(m), f_(m.chan_points) {}

    // Passes over tokens up to `keyword`. At the end of the file `at_end`
    // is set and true returned, so that the caller decides.
    bool seek(const char* keyword, const char* card_text, bool& at_end) {
        at_end = false;
        for (int skipped = 0;; ++skipped) {
            if (!next()) {
                at_end = true;
                return true;
            }
            if (same_first(token_, keyword, kKeywordLetters)) return true;
            if (skipped >= kMostSkipped)
                return refuse(format_text("There is a problem with your channel source input file.  KESTA cannot\n"
                                          "%s.  Check the format of your channel source file\n\n"
                                          "(file %s: no \"%s\" among the %d tokens up to line %d, which holds "
                                          "\"%s\")\n",
                                          card_text, f_.name.c_str(), keyword, kMostSkipped, line_,
                                          token_.c_str()));
        }
    }

    bool read_int(int& v, const char* what) {
        if (!next()) return refuse_end(what);
        return parse_int(token_, v) || refuse_value(format_text("%s is not a whole number", what));
    }

    bool read_double(double& v, const char* what) {
        if (!next()) return refuse_end(what);
        return parse_double(token_, v) || refuse_value(format_text("%s is not a number", what));
    }

    // The discharge and concentrations of point `number` (from 1, in the
    // order of the point cards) into its node's slot.
    bool read_values(const chan_point_file::point& p, int number) {
        double q = 0.0;
        if (!read_double(q, "a discharge")) return false;
        m_.chan_point_Q[p.node][p.link] = q;
        for (std::size_t k = 1; k < m_.chan_point_conc.size(); ++k) {
            double c = 0.0;
            if (!read_double(c, "a concentration")) return false;
            if (!water_conc_holds(c)) {
                const std::string name = k < m_.contam_names.size() && !m_.contam_names[k].empty()
                                             ? " (" + m_.contam_names[k] + ")"
                                             : std::string();
                return refuse_at(line_, format_text("point %d (node %d of link %d) gives constituent %d%s the "
                                                    "concentration %s g/m3; it must be %s",
                                                    number, p.node, p.link, static_cast<int>(k), name.c_str(),
                                                    exact_number(c).c_str(), water_conc_rule().c_str()));
            }
            m_.chan_point_conc[k][p.node][p.link] = c;
        }
        return true;
    }

    bool read_point() {
        chan_point_file::point p;
        if (!read_int(p.node, "the node of a point") || !read_int(p.link, "the link of a point")) return false;
        const int node_line = line_;
        if (p.link < 1 || p.link > m_.nlinks)
            return refuse_at(node_line, format_text("point on link %d: the network has links 1 to %d", p.link,
                                                    m_.nlinks));
        const int t = m_.ltype[p.link];
        if (link_is_structure(t))
            return refuse_at(node_line, format_text("point on link %d, a structure link, which holds no water to "
                                                    "take it",
                                                    p.link));
        const int last = link_is_lake(t) ? m_.nx1[p.link] : m_.link_nodes[p.link];
        if (p.node < 1 || p.node > last)
            return refuse_at(node_line, format_text("point at node %d of link %d: the link has nodes 1 to %d",
                                                    p.node, p.link, last));
        f_.points.push_back(p);
        return read_values(p, static_cast<int>(f_.points.size()));
    }

    // A time line: "input" and the year, month, day, hour and minute of
    // the next change, which must come after the one before.
    bool read_change_time() {
        if (!next()) return refuse_end("the time of the next change");
        if (!same_first(token_, "input", kKeywordLetters))
            return refuse_value("the time of a change begins with the word \"input\"");
        int year = 0, month = 0, day = 0, hour = 0, minute = 0;
        if (!read_int(year, "the year of a change") || !read_int(month, "the month of a change") ||
            !read_int(day, "the day of a change") || !read_int(hour, "the hour of a change") ||
            !read_int(minute, "the minute of a change"))
            return false;
        if (year < kCenturyYears) year += kTwentiethCentury;
        if (month < 1 || month > 12 || day < 1 || day > month_days(year, month) || hour < 0 || hour > 24 ||
            minute < 0 || minute > 59)
            return refuse_at(line_, format_text("the change time %d %d %d %d %d is no date and time", year, month,
                                                day, hour, minute));
        const double when = julday(year, month, day, hour, minute, 0.0);
        if (f_.next_change > 0.0 && when <= f_.next_change)
            return refuse_at(line_, format_text("the change time %d/%d/%d %d:%02d does not come after the one "
                                                "before (%s)",
                                                month, day, year, hour, minute,
                                                date_time_text(f_.next_change).c_str()));
        f_.next_change = when;
        return true;
    }

    bool refuse_value(const std::string& what) {
        return refuse_at(line_, format_text("%s, but reads \"%s\"", what.c_str(), token_.c_str()));
    }

    bool refuse_end(const char* what) {
        return refuse(format_text("Unexpected end of file in chan point data file.\n"
                                  "Check the format of the data file.\nProgram terminated.\n"
                                  "(file %s ends after line %d where %s was to follow)\n",
                                  f_.name.c_str(), f_.tokens->line(), what));
    }

private:
    bool next() {
        const bool got = f_.tokens->next(token_);
        if (got) line_ = f_.tokens->token_line();
        return got;
    }

    bool refuse_at(int line, const std::string& what) {
        return refuse(format_text("Error in channel point-source file %s, line %d: %s.\n", f_.name.c_str(), line,
                                  what.c_str()));
    }

    model_state& m_;
    chan_point_file& f_;
    std::string token_;
    int line_ = 0;
};

// The points and their first values, and the time of the first change.
bool read_chan_point_header(model_state& m) {
    chan_point_file& f = m.chan_points;
    point_reader r(m);
    bool at_end = false;
    if (!r.seek("numpt", "find the first card", at_end)) return false;
    if (at_end) return r.refuse_end("the \"numpts\" card");
    int count = 0;
    if (!r.read_int(count, "the number of points")) return false;
    if (count < 0) return r.refuse_value("the number of points cannot be negative");
    for (int i = 1; i <= count; ++i) {
        if (!r.seek("point", "find the point source location card", at_end)) return false;
        if (at_end) return r.refuse_end(format_text("point card %d of %d", i, count).c_str());
        if (!r.read_point()) return false;
    }
    if (!r.seek("nrpds", "find the number of timed changes to your point inputs", at_end)) return false;
    if (at_end) return true;  // no changes: the first values hold for the run
    if (!r.read_int(f.nchanges, "the number of timed changes")) return false;
    if (f.nchanges < 1) {
        f.nchanges = 0;
        return true;
    }
    return r.read_change_time();
}

}  // namespace

void open_chan_point_input(model_state& m) {
    if (m.chan_routing != 1 || m.chan_point_input.empty()) return;
    chan_point_file& f = m.chan_points;
    f.name = m.chan_point_input;
    f.fp = open_file(f.name, "r", 0);
    if (!f.fp) {
        // A run without the inflows and withdrawals the user listed would
        // give another watershed's answer.
        g_error_record.fail(4, "channel point source input", f.name);
        return;
    }
    f.tokens = std::make_unique<token_stream>(f.fp.get());
    f.points.clear();
    f.nchanges = f.changes_read = 0;
    f.next_change = 0.0;
    const char* what = "the channel point-source tables";
    alloc_dmatrix(m.maxnodes, m.nlinks, m.chan_point_Q, "chan_point_Q");
    if (!blocks_made(g_error_record, what, m.chan_point_Q)) return;
    m.chan_point_conc.clear();
    m.chan_point_conc.resize(static_cast<std::size_t>(std::max(0, m.ncontam)) + 1);
    for (std::size_t k = 1; k < m.chan_point_conc.size(); ++k) {
        alloc_dmatrix(m.maxnodes, m.nlinks, m.chan_point_conc[k], "chan_point_conc");
        if (!blocks_made(g_error_record, what, m.chan_point_conc[k])) return;
    }
    read_chan_point_header(m);
}

void step_chan_point_input(model_state& m) {
    chan_point_file& f = m.chan_points;
    if (!f.tokens) return;
    // Every change whose time the run has reached, in order: a change
    // between two steps takes effect at the first step after it.
    while (f.next_change > 0.0 && f.next_change <= m.time + m.time_tol) {
        ++f.changes_read;
        point_reader r(m);
        for (std::size_t i = 0; i < f.points.size(); ++i) {
            if (!r.read_values(f.points[i], static_cast<int>(i) + 1)) return;
        }
        if (f.changes_read >= f.nchanges) {
            f.next_change = 0.0;  // the last values hold to the end of the run
            return;
        }
        if (!r.read_change_time()) return;
    }
}

}  // namespace kesta
