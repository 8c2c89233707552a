// Reading the precipitation file event by event, and turning an event's data
// lines into rain rates per period.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "core/warnings.hpp"
#include "overland/precipitation.hpp"

namespace kesta {

namespace {

// More words than this without the card looked for means the file is not a
// precipitation file.
constexpr int kMaxWordsToCard = 10000;

// Words separated by white space, with the line count kept.
class word_reader {
public:
    explicit word_reader(precip_cursor& in) : in_(in) {}

    // The next word; false at the end of the file.
    bool word(std::string& w) {
        w.clear();
        int c = get();
        while (c != EOF && std::isspace(c)) c = get();
        if (c == EOF) return false;
        word_line_ = in_.line;
        while (c != EOF && !std::isspace(c)) {
            w.push_back(static_cast<char>(c));
            c = get();
        }
        if (c != EOF) unget(c);
        return true;
    }

    // The rest of the current line without its surrounding blanks; the line
    // break is consumed.
    std::string rest_of_line() {
        std::string s;
        int c = get();
        while (c != EOF && c != '\n') {
            s.push_back(static_cast<char>(c));
            c = get();
        }
        const std::size_t b = s.find_first_not_of(" \t\r");
        if (b == std::string::npos) return std::string();
        const std::size_t e = s.find_last_not_of(" \t\r");
        return s.substr(b, e - b + 1);
    }

    int word_line() const { return word_line_; }

    // The next word without consuming it; false at the end of the file.
    bool peek(std::string& w) {
        const long at = std::ftell(in_.fp);
        const int line = in_.line;
        const bool got = word(w);
        if (at >= 0) std::fseek(in_.fp, at, SEEK_SET);
        in_.line = line;
        return got;
    }

private:
    int get() {
        const int c = std::fgetc(in_.fp);
        if (c == '\n') ++in_.line;
        return c;
    }
    void unget(int c) {
        if (c == '\n') --in_.line;
        std::ungetc(c, in_.fp);
    }

    precip_cursor& in_;
    int word_line_ = 0;
};

// A refusal of this system's own: names the file, the event and the line.
void refuse(const precip_cursor& in, const precip_event& ev, int line, const std::string& why) {
    store_refusal(format_text("\nERROR:\nIn precipitation file %s, event %d titled:\n %s\nline %d: %s"
                              "This error in your precipitation input file must be corrected before KESTA\n"
                              "can continue.  Program exiting on error.\n\n",
                              in.file_name.c_str(), in.events, ev.title.c_str(), line, why.c_str()));
}

double date_time(const date_record& d) { return julday(d.year, d.month, d.day, d.hour, d.minute, 0.0); }

// The first field of a date that is not a calendar date and time, with its
// name; nullptr for a valid date. Hour 24 is accepted as 24:00, the end of
// the day.
const char* invalid_date_field(const date_record& d, int& value) {
    if (d.month < 1 || d.month > 12) {
        value = d.month;
        return "month";
    }
    if (d.day < 1 || d.day > month_days(d.year, d.month)) {
        value = d.day;
        return "day";
    }
    if (d.hour < 0 || d.hour > 24 || (d.hour == 24 && d.minute != 0)) {
        value = d.hour;
        return "hour";
    }
    if (d.minute < 0 || d.minute > 59) {
        value = d.minute;
        return "minute";
    }
    return nullptr;
}

void card_type_error(bool more_than_one) {
    print_both("\nERROR:\n");
    print_both("\nThere is a problem in the precipitation input file.\n");
    if (more_than_one) {
        print_both("More than one precipitation data card type has been specified.\n");
        print_both("There may only be one of the following card types per event:\n\n");
        print_both("     1) RADAR\n     2) GAGES\n     3) RATES\n\n");
    } else {
        print_both("At least one precipitation data card type must be specified.\n");
        print_both("There may only be one of the following card types per event:\n\n");
        print_both("     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n");
    }
    print_both("Check the precipitation input file.  KESTA exiting\n");
    g_error_record.fail(4000);
}

void last_date_message(const date_record& d) {
    print_both(format_text("\n last year %d last month %d last day %d last hour %d last minute %d \n",
                           d.year, d.month, d.day, d.hour, d.minute));
}

// Sets the line's kind flag; false when the kind is unknown or a second kind
// appears in the event.
bool set_kind(precip_event& ev, const std::string& kind) {
    if (same_first4(kind, "rada")) ev.radar = 1;
    else if (same_first4(kind, "gage")) ev.gages = 1;
    else if (same_first4(kind, "rate")) ev.rates = 1;
    else if (same_first4(kind, "accu")) ev.accum = 1;
    else {
        card_type_error(false);
        return false;
    }
    if ((ev.radar != 0) + ev.gages + ev.rates + ev.accum > 1) {
        card_type_error(true);
        return false;
    }
    return true;
}

// Reads "NRGAG n" and "NRPDS m" in either order. 1 read, 0 refused, -1 end of file.
int read_counts(word_reader& r, precip_cursor& in, precip_event& ev, bool& radar_files) {
    bool have_gauges = false, have_lines = false;
    int words = 0;
    std::string w, v;
    while (!(have_gauges && have_lines)) {
        if (!r.word(w)) return -1;
        if (++words > kMaxWordsToCard) {
            print_both("\nThere is a problem with your rainfall input file.  KESTA cannot\n");
            print_both("find the NRPDS or NRGAG card for the event entitled:\n");
            print_both(format_text("   %s\n\n", ev.title.c_str()));
            print_both("Check the format of the rainfall input file.\n");
            g_error_record.fail(4000);
            return 0;
        }
        if (same_first4(w, "nrga")) {
            if (!r.word(v)) return -1;
            if (parse_int(v, ev.ngauges)) {
                radar_files = false;
                // Counts are checked before the event's tables are made from them.
                if (ev.ngauges > kMaxPrecipGauges) {
                    refuse(in, ev, r.word_line(),
                           format_text("the event has %d gauges; at most %d are accepted.\n",
                                       ev.ngauges, kMaxPrecipGauges));
                    return 0;
                }
            } else if (to_lower(v).find("files") != std::string::npos) {
                radar_files = true;
                ev.ngauges = -1;
            } else {
                refuse(in, ev, r.word_line(),
                       format_text("the gauge count \"%s\" is neither a number nor FILES.\n", echoed(v).c_str()));
                return 0;
            }
            have_gauges = true;
        } else if (same_first4(w, "nrpd")) {
            if (!r.word(v)) return -1;
            if (!parse_int(v, ev.nlines)) {
                refuse(in, ev, r.word_line(),
                       format_text("the data line count \"%s\" is not a number.\n", echoed(v).c_str()));
                return 0;
            }
            if (ev.nlines > kMaxPrecipLines) {
                refuse(in, ev, r.word_line(),
                       format_text("the event has %d data lines (NRPDS); at most %d are accepted.\n",
                                   ev.nlines, kMaxPrecipLines));
                return 0;
            }
            have_lines = true;
        }
    }

    if (!radar_files && ev.ngauges < 1) {
        refuse(in, ev, r.word_line(),
               format_text("the event has %d gauges; it needs at least 1.\n", ev.ngauges));
        return 0;
    }
    if (ev.nlines < 1) {
        refuse(in, ev, r.word_line(),
               format_text("the event has %d data lines; it needs at least 1.\n", ev.nlines));
        return 0;
    }
    return 1;
}

// The COORD card of every gauge. 1 read, 0 refused, -1 end of file.
int read_gauges(word_reader& r, precip_cursor& in, precip_event& ev) {
    std::string w, x, y;
    for (int g = 1; g <= ev.ngauges; ++g) {
        if (!r.word(w)) return -1;
        if (!same_first4(w, "coor")) {
            print_both("\nCannot find gage coordinate card in rainfall input file for event entitled:\n");
            print_both(format_text("       %s\n\n", ev.title.c_str()));
            print_both("Check rainfall input file format.\n");
            g_error_record.fail(4000);
            return 0;
        }
        if (!r.word(x) || !r.word(y)) return -1;
        if (!parse_double(x, ev.easting[g]) || !parse_double(y, ev.northing[g])) {
            refuse(in, ev, r.word_line(),
                   format_text("the coordinates \"%s %s\" of gauge %d are not numbers.\n", x.c_str(),
                               y.c_str(), g));
            return 0;
        }
        r.rest_of_line();  // the gauge's name
    }
    return 1;
}

// The kind and date of data line p. 1 read, 0 refused, -1 end of file.
int read_line_date(word_reader& r, precip_cursor& in, precip_event& ev, int p) {
    const date_record previous = ev.dates[p > 1 ? p - 1 : 0];
    std::string kind;
    if (!r.word(kind)) {
        last_date_message(previous);
        return -1;
    }
    const int line = r.word_line();
    int field[5] = {0, 0, 0, 0, 0};
    std::string w;
    for (int& f : field) {
        if (!r.word(w)) {
            last_date_message(previous);
            return -1;
        }
        if (!parse_int(w, f)) {
            refuse(in, ev, r.word_line(),
                   format_text("the date field \"%s\" of data line %d is not a whole number.\n",
                               echoed(w).c_str(), p));
            return 0;
        }
    }
    if (!set_kind(ev, kind)) return 0;
    date_record d;
    d.year = field[0] < 100 ? field[0] + 1900 : field[0];
    d.month = field[1];
    d.day = field[2];
    d.hour = field[3];
    d.minute = field[4];
    int bad_value = 0;
    if (const char* bad = invalid_date_field(d, bad_value)) {
        refuse(in, ev, line,
               format_text("data line %d has the date %d %d %d %d %d, whose %s %d is not a valid "
                           "%s.\n",
                           p, field[0], field[1], field[2], field[3], field[4], bad, bad_value, bad));
        return 0;
    }
    if (p == 1) ev.first_data_line = line;
    const double t = date_time(d);
    const double t_previous = p > 1 ? date_time(previous) : t;
    if (t < t_previous) {
        print_both("\nERROR:\n");
        print_both("There is a data error in the precipitation file.  This error occurred in the\n");
        print_both(format_text("EVENT titled:\n %s\n", ev.title.c_str()));
        print_both(format_text("On line no. %d, the given time of the recorded data is:    %d/%d/%d %d:%2.2d\n",
                               p, d.month, d.day, d.year, d.hour, d.minute));
        print_both(format_text("Which is earlier than the date/time on the previous line:  %d/%d/%d %d:%2.2d\n",
                               previous.month, previous.day, previous.year, previous.hour,
                               previous.minute));
        print_both("This error in your precipitation input file must be corrected before KESTA\n");
        print_both("can continue.  Program exiting on error.\n\n");
        g_error_record.fail(4000);
        return 0;
    }
    // Depths and accumulations are spread over the interval that ends at the
    // line: an interval of no length holds no rate.
    if (p > 1 && t == t_previous && (ev.gages || ev.accum)) {
        refuse(in, ev, line,
               format_text("data line %d has the same date and time as the line before it, %d/%d/%d "
                           "%d:%2.2d; %s data need an interval of some length.\n",
                           p, d.month, d.day, d.year, d.hour, d.minute,
                           ev.gages ? "GAGES" : "ACCUM"));
        return 0;
    }
    ev.dates[p] = d;
    return 1;
}

bool is_data_kind(const std::string& word) {
    return same_first4(word, "rada") || same_first4(word, "gage") || same_first4(word, "rate") ||
           same_first4(word, "accu");
}

// A data line after the event's last one would be dropped without a word:
// the event's NRPDS count is wrong. False after the refusal.
bool no_surplus_line(word_reader& r, precip_cursor& in, const precip_event& ev) {
    std::string next;
    if (!r.peek(next) || !is_data_kind(next)) return true;
    r.word(next);
    refuse(in, ev, r.word_line(),
           format_text("a %s data line follows the event's %d data lines (NRPDS %d); NRPDS must count every "
                       "data line of the event.\n",
                       next.c_str(), ev.nlines, ev.nlines));
    return false;
}

// The gauge values of data line p. 1 read, 0 refused, -1 missing.
int read_line_values(word_reader& r, precip_cursor& in, precip_event& ev, int p) {
    std::string w;
    for (int g = 1; g <= ev.ngauges; ++g) {
        double v = 0.0;
        const bool read = r.word(w);
        if (read && !parse_double(w, v)) {
            refuse(in, ev, r.word_line(),
                   format_text("gauge %d has the value \"%s\" on data line %d, which is not a number.\n", g,
                               echoed(w).c_str(), p));
            return 0;
        }
        if (!read) {
            print_both("\n ERROR: \n");
            print_both(format_text("\n check out gage input for precip record %d", p));
            print_both(format_text("\n look at gage %d \n", g));
            return -1;
        }
        if (v < 0.0) {
            refuse(in, ev, r.word_line(),
                   format_text("gauge %d has the negative value %s on data line %d.\n", g,
                               w.c_str(), p));
            return 0;
        }
        if (ev.accum && p > 1 && v < ev.values[g][p - 1]) {
            print_both("\nERROR:\n");
            print_both("There is a data error in the precipitation file.  This error occurred in the\n");
            print_both(format_text("EVENT titled:\n %s\n", ev.title.c_str()));
            print_both(format_text("On line no. %d, the accumulated precip. for gage number %d is: %8.5lf mm\n",
                                   p, g, v));
            print_both(format_text("Which is less than the accumulated precip. on the previous line: %8.5lf mm\n",
                                   ev.values[g][p - 1]));
            print_both("This error in your precipitation input file must be corrected before KESTA\n");
            print_both("can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n");
            print_both("monotonically.  Program exiting on error.\n\n");
            g_error_record.fail(4000);
            return 0;
        }
        ev.values[g][p] = v;
    }
    return 1;
}

}  // namespace

double precip_event::line_time(int p) const {
    if (p < 1 || p >= static_cast<int>(dates.size())) return 0.0;
    return date_time(dates[static_cast<std::size_t>(p)]);
}

void rewind_precip(precip_cursor& in) {
    if (in.fp) std::rewind(in.fp);
    in.line = 1;
    in.events = 0;
}

int read_precip_event(precip_cursor& in, precip_event& ev) {
    if (!in.fp) return 0;
    word_reader r(in);
    std::string w;
    int words = 0;
    for (;;) {
        if (!r.word(w)) return 0;
        if (same_first4(w, "even")) break;
        if (++words > kMaxWordsToCard) {
            print_both("There is a problem with your rainfall input file.  KESTA cannot\n");
            print_both(format_text("find the first event card.  Check the format of the rainfall input for event %d\n",
                                   in.events + 1));
            print_both("file.\n\n");
            g_error_record.fail(4000);
            return 0;
        }
    }
    ++in.events;
    ev = precip_event{};
    ev.title = r.rest_of_line();

    bool radar_files = false;
    int result = read_counts(r, in, ev, radar_files);
    if (result != 1) return result;

    ev.values = mat2<double>(ev.ngauges > 1 ? ev.ngauges : 1, ev.nlines);
    ev.dates.assign(static_cast<std::size_t>(ev.nlines) + 1, date_record{});
    if (radar_files) ev.radar_files.assign(static_cast<std::size_t>(ev.nlines) + 1, std::string());
    if (ev.ngauges < 1) {
        ev.easting = vec1<double>(1);
        ev.northing = vec1<double>(1);
    } else {
        ev.easting = vec1<double>(ev.ngauges);
        ev.northing = vec1<double>(ev.ngauges);
        result = read_gauges(r, in, ev);
        if (result != 1) return result;
    }

    for (int p = 1; p <= ev.nlines; ++p) {
        result = read_line_date(r, in, ev, p);
        if (result != 1) return result;
        if (radar_files) {
            const int line = in.line;
            std::string name = r.rest_of_line();
            if (name.empty()) {
                refuse(in, ev, line, format_text("data line %d names no radar file.\n", p));
                return 0;
            }
            if (name.size() > kMaxRadarFileName) {
                refuse(in, ev, line,
                       format_text("the radar file name of data line %d has %d characters; at "
                                   "most %d are accepted.\n",
                                   p, static_cast<int>(name.size()),
                                   static_cast<int>(kMaxRadarFileName)));
                return 0;
            }
            ev.radar_files[static_cast<std::size_t>(p)] = name;
        } else {
            result = read_line_values(r, in, ev, p);
            if (result != 1) return result;
        }
    }

    if (!no_surplus_line(r, in, ev)) return 0;

    if (radar_files) {
        if (!ev.radar) {
            refuse(in, ev, in.line,
                   "an event of radar files (NRGAG FILES) must give its lines as RADAR.\n");
            return 0;
        }
        ev.radar = 2;
        ev.ngauges = 1;
    }
    return 1;
}

void precip_values_to_rates(precip_event& ev) {
    if (ev.radar == 2) return;
    const int ng = ev.ngauges < ev.values.nrows() ? ev.ngauges : ev.values.nrows();
    for (int p = 1; p < ev.nlines; ++p) {
        // Line times are whole minutes: the interval in whole seconds is exact.
        const double seconds = std::round((ev.line_time(p + 1) - ev.line_time(p)) * 86400.0);
        const double hours = seconds / 3600.0;
        if (seconds > 86400.0) warn("WARNING: you have a long delta t in your precip file\n");
        for (int g = 1; g <= ng; ++g) {
            double* v = ev.values[g];
            if (ev.accum) {
                if (hours > 0.0) v[p] = (v[p + 1] - v[p]) / hours;
            } else if (ev.gages) {
                if (hours > 0.0) v[p] = v[p + 1] / hours;
            } else if (ev.radar) {
                v[p] = v[p + 1];
            }
        }
    }
}

void nearest_gauge_rain(int period, int ngauges, const vec1<int>& nearest,
                        const mat2<double>& values, vec1<double>& ri, int ncells) {
    const bool period_ok = period >= 1 && period <= values.ncols();
    for (int k = 1; k <= ncells && k <= ri.n(); ++k) {
        int g = 1;
        if (ngauges != 1) g = k <= nearest.n() ? nearest[k] : 0;
        ri[k] = (period_ok && g >= 1 && g <= ngauges && g <= values.nrows()) ? values[g][period] : 0.0;
    }
}

}  // namespace kesta
