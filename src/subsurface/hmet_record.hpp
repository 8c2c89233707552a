// What the reader of the hourly hydrometeorological file keeps between
// reads: the last good value of each quantity, for repairs, and the place it
// has reached in each layout.
#pragma once

#include "core/calendar.hpp"

namespace kesta {

// Per-hour repair memory, hours 0 to 24 (Surface Airways: value slots 1 to
// 24 of a day).
constexpr int kHmetSlots = 25;

// Last good value of each quantity in the unit of the file's layout. Every
// entry starts at 0 but the pressure, which starts at the standard
// atmosphere: a first record without one must not give the air no pressure.
struct hmet_repair_memory {
    double direct[kHmetSlots] = {};
    double global[kHmetSlots] = {};
    double temperature[kHmetSlots] = {};
    double humidity[kHmetSlots] = {};
    double pressure = 0.0;
    double sky = 0.0;
    double wind = 0.0;
};

// The Surface Airways elements, in the order of their count line.
enum hmet_element { sa_direct, sa_global, sa_pressure, sa_humidity, sa_temperature, sa_sky, sa_wind, sa_elements };

// One element line of a Surface Airways day, its values decoded and repaired.
struct surfaways_line {
    int element = -1;  // hmet_element, -1 for an element the model does not use
    int count = 0;     // values on the line (slots 1..count)
    date_record date;  // year, month, day
    double values[kHmetSlots] = {};
};

struct hmet_reader {
    int line = 0;  // line of the file last read (from 1)
    hmet_repair_memory memory;
    // SAMSON: data records read, and whether the two header lines are still
    // to be passed.
    int samson_records = 0;
    bool samson_header_pending = true;
    // Surface Airways: the lines the scan found usable (the data end at the
    // first line whose element repeats the one before), the lines read, the
    // day held with its values by element and slot, the hour to give next
    // (24: no day held), the first line of the next day, and whether the day
    // had its radiation lines.
    int surfaways_lines = 0;
    int surfaways_read = 0;
    date_record day;
    double day_values[sa_elements][kHmetSlots] = {};
    int next_hour = 24;
    surfaways_line pending;
    bool pending_held = false;
    bool day_has_direct = false, day_has_global = false;
};

}  // namespace kesta
