// Calendar dates and model time. Model time is a Julian date held as a
// double: days since the Julian epoch, each day beginning at noon.
#pragma once

#include <string>

namespace kesta {

// Julian date of a Gregorian calendar date and time (integer divisions
// truncate, as the day-number formula expects).
double julday(int year, int month, int day, int hour, int minute, double seconds);

// A calendar date and time in whole fields, as records and summaries give it.
struct date_record {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct calendar_time {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    int day_of_week = 0;  // 0 is Sunday
};

// The calendar date of a Julian date, nudged by 0.01 s so that a time a hair
// below a whole second does not print as the second before. The day of the
// week comes with the date instead of through a process-wide variable.
calendar_time caldat(double julian);

// The date and time of a Julian date as messages print it: "M/D/YYYY H:MM".
std::string date_time_text(double julian);

// A year is a leap year when (year - 1900) is divisible by 4 (no century
// rule); February then has 29 days.
bool is_leap_year(int year);

// Day of year 1..366 of a date.
int day_of_year(int year, int month, int day);

// Days in a month under the same leap rule; 0 for a month outside 1..12.
// Computed for the year asked, so no caller sees another year's February.
int month_days(int year, int month);

// Years a date read from a file may give: what the calendar and every date
// of a run can hold.
constexpr int kFirstCalendarYear = 1;
constexpr int kLastCalendarYear = 9999;

// Hour 24 of a day becomes hour 0 of the next, with month and year rollover.
// The month must lie within 1..12.
void roll_hour_24(date_record& d);

// The hour after a date of hour 0..23: hour 0 of the next day (month, year)
// after hour 23.
date_record hour_after(date_record d);

}  // namespace kesta
