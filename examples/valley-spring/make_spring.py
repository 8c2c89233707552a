#!/usr/bin/env python3
"""Writes the long-term example: a month of spring on the valley example.

The watershed is the valley of ../valley (its mask, elevation and land-use
grids are used as they are). From 1 March to 4 April 2021 hourly weather
records in the KVL layout drive evapotranspiration (Penman-Monteith), the
frozen-ground index and snowmelt, and five precipitation events fall on it
from two gauges: two snowfalls in the cold first half of March, then three
rains as the spring warms, the first of them on the melting snow. The soils
are Green and Ampt soils with redistribution and soil-moisture accounting,
and the canopy intercepts rain, all given per land-use class in the
mapping-table file.

The weather is a closed-form climate: a daily mean temperature that rises
from -6 to +9 C with a warm spell around 20 March, a daily cycle of 8 C
peaking at 15:00, humidity falling as the air warms, cloud cover and wind
that follow the events, and global and direct radiation from the sun's
height under the clouds. Running the script again writes the same files
byte for byte. Standard library only:

    python3 make_spring.py [output folder]      (default: the script's folder)
"""

import math
import os
import sys

LATITUDE = 40.0      # degrees north
FIRST_DAY = 1        # 1 March 2021
DAYS = 35            # through 4 April
YEAR = 2021

# Precipitation events: start (month, day, hour), then (minutes from the
# start, rate in mm/h at the valley head) for each data line; the last line
# ends the event. The gauge at the outlet gets 80 percent of the head's rate.
EVENTS = [
    ("snow, 3 March", (3, 3, 6), [(0, 1.5), (120, 2.5), (300, 1.5), (480, 0.0)]),
    ("snow, 8-9 March", (3, 8, 18), [(0, 2.0), (240, 3.0), (480, 1.0), (720, 0.0)]),
    ("rain on snow, 14 March", (3, 14, 10), [(0, 4.0), (120, 9.0), (240, 3.0), (360, 0.0)]),
    ("rain, 25 March", (3, 25, 2), [(0, 3.0), (180, 6.0), (360, 0.0)]),
    ("thunderstorm, 2 April", (4, 2, 14), [(0, 10.0), (30, 35.0), (60, 20.0), (90, 5.0), (150, 0.0)]),
]
HEAD_GAUGE = (501200.0, 4102700.0)    # easting, northing (m)
OUTLET_GAUGE = (501200.0, 4100300.0)
OUTLET_SHARE = 0.8

# Per land-use class (pasture, grass, forest): Green and Ampt soil (Ks cm/h,
# capillary head cm, porosity, pore index, residual, field capacity, wilting
# point), initial moisture, evapotranspiration (albedo, vegetation height m,
# radiation factor, stomatal resistance s/m), interception (storage mm,
# coefficient) and Manning's n.
LAND_USE = [
    (1, "valley-floor pasture, silt loam", (0.65, 16.68, 0.486, 0.234, 0.015, 0.33, 0.13), 0.30,
     (0.23, 0.3, 1.0, 70.0), (1.0, 0.10), 0.035),
    (2, "hillslope grass, loam", (0.34, 8.89, 0.434, 0.252, 0.027, 0.27, 0.12), 0.22,
     (0.22, 0.2, 1.0, 90.0), (0.8, 0.10), 0.080),
    (3, "upland forest, sandy loam", (1.09, 11.01, 0.453, 0.322, 0.041, 0.21, 0.09), 0.18,
     (0.12, 15.0, 1.0, 150.0), (4.0, 0.25), 0.150),
]


def days_in(month):
    return [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][month - 1]


def date_of(day_index):
    """(month, day) of day 1.. of the period, from 1 March."""
    month, day = 3, FIRST_DAY + day_index - 1
    while day > days_in(month):
        day -= days_in(month)
        month += 1
    return month, day


def event_hours():
    """Hours of the period (from 0 at 1 March 0:00) during which an event has cloud or rain."""
    hours = set()
    for _, (month, day, hour), lines in EVENTS:
        start = hour_index(month, day, hour)
        for h in range(start - 3, start + lines[-1][0] // 60 + 3):
            hours.add(h)
    return hours


def hour_index(month, day, hour):
    index = 0
    m = 3
    while m < month:
        index += days_in(m) * 24
        m += 1
    return index + (day - 1) * 24 + hour


def mean_temperature(t_days):
    """Daily mean (C) at t days from 1 March: cold, then a warming spring."""
    warming = 15.0 / (1.0 + math.exp(-(t_days - 13.0) / 2.5))
    spell = 4.0 * math.exp(-((t_days - 20.0) / 2.5) ** 2)
    return -6.0 + warming + spell + 1.0 * math.sin(2.0 * math.pi * t_days / 6.0)


def weather(h, cloudy):
    """The KVL values of hour h of the period."""
    t_days = h / 24.0
    hour = h % 24
    temp = mean_temperature(t_days) + 4.0 * math.sin(2.0 * math.pi * (hour - 9) / 24.0)
    if cloudy:
        temp -= 1.5
    humidity = 90 if cloudy else int(round(70.0 - 1.2 * temp - 10.0 * math.sin(2.0 * math.pi * (hour - 9) / 24.0)))
    sky = 10 if cloudy else int(round(3.0 + 2.0 * math.sin(2.0 * math.pi * t_days / 4.3)))
    wind_knots = int(round((12.0 if cloudy else 6.0) + 3.0 * math.sin(2.0 * math.pi * (hour - 12) / 24.0)))
    pressure = 29.05 - (0.15 if cloudy else 0.0) + 0.05 * math.cos(2.0 * math.pi * t_days / 5.0)

    # The sun: declination, hour angle (solar noon at 12:00) and height.
    day_of_year = 59 + t_days
    decl = math.radians(23.45) * math.cos(2.0 * math.pi * (172.0 - day_of_year) / 365.0)
    w = math.radians(15.0 * (hour - 12))
    lat = math.radians(LATITUDE)
    sin_alt = math.cos(w) * math.cos(lat) * math.cos(decl) + math.sin(lat) * math.sin(decl)
    direct = global_rad = 0.0
    if sin_alt > 0.0:
        clear_beam = 1353.0 * 0.7 ** (1.0 / max(sin_alt, 0.05) ** 0.678) * sin_alt
        clear_diffuse = 0.1 * 1353.0 * sin_alt
        beam_share = 1.0 - 0.09 * sky
        direct = clear_beam * beam_share
        global_rad = direct + clear_diffuse * (1.0 + 0.03 * sky)
    fahrenheit = int(round(temp * 9.0 / 5.0 + 32.0))
    return "%.2f %d %d %d %d %.1f %.1f" % (pressure, humidity, sky, wind_knots, fahrenheit, direct, global_rad)


def weather_file():
    lines = []
    cloudy_hours = event_hours()
    for h in range(DAYS * 24):
        month, day = date_of(h // 24 + 1)
        lines.append("%d %d %d %d %s" % (YEAR, month, day, h % 24, weather(h, h in cloudy_hours)))
    return "\n".join(lines) + "\n"


def precipitation_file():
    out = []
    for title, (month, day, hour), lines in EVENTS:
        out.append("EVENT \"%s\"" % title)
        out.append("NRGAG 2")
        out.append("NRPDS %d" % len(lines))
        out.append("COORD %.0f %.0f" % HEAD_GAUGE)
        out.append("COORD %.0f %.0f" % OUTLET_GAUGE)
        for minutes, rate in lines:
            h = hour_index(month, day, hour) * 60 + minutes
            m, d = date_of(h // 1440 + 1)
            out.append("RATES %d %d %d %d %d %.2f %.2f" % (YEAR, m, d, h // 60 % 24, h % 60, rate,
                                                          rate * OUTLET_SHARE))
    return "\n".join(out) + "\n"


def table_row(ident, description, values):
    # ID in characters 1-6, free description in 7-86, values from 87 on.
    return "%6d" % ident + " " + description.ljust(79) + " ".join("%g" % v for v in values) + "\n"


def table(keyword, header, rows):
    text = '%s "Land use"\nNUM_IDS %d\nID    DESCRIPTION%s%s\n' % (keyword, len(rows), " " * 69, header)
    return text + "".join(table_row(ident, description, values) for ident, description, values in rows)


def mapping_tables():
    return ("KESTA_INDEX_MAP_TABLES\n" + 'INDEX_MAP landuse.asc "Land use"\n'
            + table("ROUGHNESS", "MANNING_N", [(u[0], u[1], [u[6]]) for u in LAND_USE])
            + table("GREEN_AMPT_INFILTRATION", "KS HC POROSITY PORE_INDEX RESIDUAL FIELD_CAP WILT_POINT",
                    [(u[0], u[1], u[2]) for u in LAND_USE])
            + table("GREEN_AMPT_INITIAL_SOIL_MOISTURE", "MOISTURE", [(u[0], u[1], [u[3]]) for u in LAND_USE])
            + table("EVAPOTRANSPIRATION", "ALBEDO VEG_HEIGHT KT RS", [(u[0], u[1], u[4]) for u in LAND_USE])
            + table("INTERCEPTION", "STORAGE COEFFICIENT", [(u[0], u[1], u[5]) for u in LAND_USE]))


def project_file():
    return "\n".join([
        "KESTAPROJECT",
        "# Valley example in spring: 1 March to 4 April 2021 under hourly weather,",
        "# five precipitation events from two gauges. Written by make_spring.py.",
        "WATERSHED_MASK   mask.asc",
        "ELEVATION        elevation.asc",
        "GRIDSIZE         30",
        "ROWS             100",
        "COLS             80",
        "OUTROW           100",
        "OUTCOL           42",
        "OUTSLOPE         0.004",
        "OVERTYPE         EXPLICIT",
        "# Roughness, soils, evapotranspiration and interception per land-use class.",
        "MAPPING_TABLE    spring.cmt",
        "ROUGHNESS",
        "INTERCEPTION",
        "INF_REDIST",
        "TOP_LAYER_DEPTH  0.1",
        "SOIL_MOIST_DEPTH 0.4",
        "# A long-term run: the weather sets its start and every event is a",
        "# precipitation event of the file; it ends with the last event, at the",
        "# latest TOT_TIME minutes (35 days) after its start.",
        "LONG_TERM",
        "HMET_KVL         weather.kvl",
        "ET_CALC_PENMAN",
        "SEASONAL_RS",
        "LATITUDE         40",
        "LONGITUDE        105",
        "GMT              -7",
        "PRECIP_FILE      rain.dat",
        "RAIN_INV_DISTANCE",
        "EVENT_MIN_Q      0.01",
        "TOT_TIME         50400",
        "TIMESTEP         30",
        "# Outlet discharge every hour (decimal year, m3/s); basin averages of",
        "# the soil every hour in the fixed-name file evap_out.",
        "HYD_FREQ         60",
        "MAP_FREQ         1440",
        "SUPER_QUIET",
        "SUMMARY          spring.sum",
        "OUTLET_HYDRO     outlet.hyd",
        "",
    ])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    files = {
        "weather.kvl": weather_file(),
        "rain.dat": precipitation_file(),
        "spring.cmt": mapping_tables(),
        "spring.prj": project_file(),
    }
    for name, text in files.items():
        with open(os.path.join(out, name), "w", newline="\n") as f:
            f.write(text)
    print("wrote %s" % ", ".join(sorted(files)))


if __name__ == "__main__":
    main()
