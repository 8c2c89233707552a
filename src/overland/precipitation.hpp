// The precipitation file: a sequence of events, each with its gauges (or
// radar files) and its data lines, and the conversion of an event's data into
// rain rates per period.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/calendar.hpp"

namespace kesta {

// One event of the precipitation file.
struct precip_event {
    std::string title;
    // The kind of its data lines; one event uses one kind. RADAR: values per
    // gauge (1), or radar files (2); GAGES: depth (mm) of the interval ending
    // at the line; RATES: rate (mm/h) from the line on; ACCUM: accumulated
    // depth (mm).
    int radar = 0;
    int gages = 0, rates = 0, accum = 0;
    int ngauges = 0;  // 1 for an event of radar files
    int nlines = 0;   // data lines; the event has nlines - 1 periods
    // [gauge][line] as read; after to_rates, [gauge][period] in mm/h.
    mat2<double> values;
    vec1<double> easting, northing;  // gauge coordinates (m), 1-based
    std::vector<date_record> dates;        // date of line p at p (element 0 unused)
    std::vector<std::string> radar_files;  // radar file of line p at p
    int first_data_line = 0;               // line of the file that holds data line 1

    // Julian time of data line p (1..nlines).
    double line_time(int p) const;
};

// Read position in the precipitation file. The file belongs to the caller.
struct precip_cursor {
    std::FILE* fp = nullptr;
    std::string file_name;  // for messages
    int line = 1;           // line of the next character
    int events = 0;         // events begun so far
};

// Starts reading `fp` from its beginning.
void rewind_precip(precip_cursor& in);

// Limits of one event: data lines (the event has one period fewer), gauges,
// and characters of a radar file name.
constexpr int kMaxPrecipLines = 1999;
constexpr int kMaxPrecipGauges = 5000;
constexpr std::size_t kMaxRadarFileName = 149;

// Reads the next event. Returns 1 when an event was read, 0 when the file
// holds no further event or a refusal was stored (code 4000 with its
// message; the caller tests the error record), -1 when the file ends inside
// an event. Refused: a date that is not a calendar date and time (month
// 1-12, day within the month, hour 0-23 or 24:00, minute 0-59); a data line
// whose time is before its predecessor's, or equal to it in GAGES or ACCUM
// data; a falling ACCUM value; a negative value; fewer than 1 gauge or 1 data
// line, more than kMaxPrecipGauges gauges or kMaxPrecipLines data lines
// (refused before any table is made); a radar file name longer than
// kMaxRadarFileName; an event of radar files whose lines are not RADAR; more
// than one kind, or an unknown kind.
int read_precip_event(precip_cursor& in, precip_event& ev);

// Turns the values of an event into the rate (mm/h) of each period p = 1 ..
// nlines - 1, which holds from line p to line p + 1: GAGES take the depth of
// line p + 1 over the interval, ACCUM the rise from line p to p + 1, RADAR
// values the value of line p + 1; RATES stay. Interval lengths come from the
// Julian times of the lines. Prints a warning for an interval over a day.
void precip_values_to_rates(precip_event& ev);

// Each cell's rate = the rate of its nearest gauge in period p (gauge 1 when
// there is one gauge). A nearest index outside the gauges gives 0.
void nearest_gauge_rain(int period, int ngauges, const vec1<int>& nearest,
                        const mat2<double>& values, vec1<double>& ri, int ncells);

}  // namespace kesta
