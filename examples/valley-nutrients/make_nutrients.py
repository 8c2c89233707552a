#!/usr/bin/env python3
"""Writes the water-quality example: nitrogen and phosphorus in the valley's spring.

The run is the long-term example of ../valley-spring (the valley's grids,
its five precipitation events of March and early April 2021 and its hourly
weather) with the valley's channel network of ../valley, and the nutrient
module on:

- the rain carries nitrate, ammonium, organic nitrogen and both forms of
  phosphorus (the PRECIP_CONC lines of the ZEP_N and ZEP_P tables);
- the water over land and in the channels starts with uniform
  concentrations of the OV_INIT_* and ST_INIT_* cards, and reacts at the
  default rates of the aquatic environment file (one DEFAULT block for the
  whole valley);
- the soil's nitrogen, phosphorus and carbon pools start from the ZEP_SOIL_*
  tables per land-use class, and the soil layers of the constituents carry
  what infiltrates.

The script reads spring.prj and spring.cmt from ../valley-spring and writes

    nutrients.prj   the spring project with the channels, the transport
                    switches, the nutrient cards and outputs
    nutrients.cmt   the spring's mapping tables with the nutrient tables
    aq.env          the aquatic environment file
    st.map          the stream environment id of every link

Standard library only; running it again writes the same files:

    python3 make_nutrients.py [output folder]      (default: the script's folder)
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SPRING = os.path.join(HERE, "..", "valley-spring")
LINKS = 5  # links of ../valley/valley.chan

# Concentrations in the rain (g/m3): nitrite, nitrate, ammonium, organic
# nitrogen; organic and dissolved phosphorus and algae.
RAIN_N = (0.0, 0.6, 0.3, 0.2)
RAIN_P = (0.02, 0.01, 0.0)

# Initial concentrations (g/m3) of the water over land and in the channels:
# nitrate, ammonium and dissolved oxygen.
INITIAL = (("NO3", 0.5), ("NH4", 0.1), ("DO", 9.0))

# Soil pools of the top soil layer (the 2 cm mixing layer) per land-use
# class, kg per 30 m cell (that layer holds about 24 t of soil): carbon
# (organic active, organic stable), nitrogen (ammonium, nitrate, organic
# active, fresh and stable), phosphorus (mineral active, solution and
# stable, organic active, fresh and stable).
SOIL_C = {1: (25.0, 480.0), 2: (20.0, 400.0), 3: (30.0, 560.0)}
SOIL_N = {1: (0.12, 0.5, 2.0, 0.5, 35.0), 2: (0.10, 0.4, 1.6, 0.4, 30.0), 3: (0.08, 0.2, 2.4, 0.8, 40.0)}
SOIL_P = {1: (1.2, 0.25, 5.0, 0.5, 0.1, 5.0), 2: (1.0, 0.2, 4.0, 0.4, 0.08, 4.0),
          3: (0.8, 0.1, 3.0, 0.6, 0.12, 6.0)}
LAND_USE = {1: "valley-floor pasture, silt loam", 2: "hillslope grass, loam", 3: "upland forest, sandy loam"}


def read(name):
    with open(os.path.join(SPRING, name)) as f:
        return f.read()


def pad(s, n):
    return s + " " * (n - len(s))


def table(name, header, rows, precip=None):
    lines = ['%s "Land use"' % name, "NUM_IDS %d" % len(LAND_USE)]
    if precip is not None:
        lines.append("PRECIP_CONC " + " ".join("%g" % v for v in precip))
    lines.append(pad("ID    DESCRIPTION", 86) + header)
    for k in sorted(LAND_USE):
        lines.append(pad("%6d %s" % (k, LAND_USE[k]), 86) + " ".join("%g" % v for v in rows[k]))
    return lines


def tables(cmt):
    zero = {k: (0.0, 0.0, 0.0, 0.0) for k in LAND_USE}
    lines = [cmt.rstrip("\n")]
    lines += table("ZEP_N", "NO2 NO3 NH4 ON", zero, RAIN_N)
    lines += table("ZEP_P", "OP DP ALG", {k: (0.0, 0.0, 0.0) for k in LAND_USE}, RAIN_P)
    lines += table("ZEP_SOIL_C", "ORG_ACTIVE_C ORG_STABLE_C", SOIL_C)
    lines += table("ZEP_SOIL_N", "NH4 NO3 ORG_ACTIVE_N ORG_FRESH_N ORG_STABLE_N", SOIL_N)
    lines += table("ZEP_SOIL_P", "MIN_ACTIVE_P MIN_SOLUTION_P MIN_STABLE_P ORG_ACTIVE_P ORG_FRESH_P ORG_STABLE_P",
                   SOIL_P)
    return "\n".join(lines) + "\n"


def project(prj):
    prj = prj.replace("# Valley example in spring: 1 March to 4 April 2021 under hourly weather,\n"
                      "# five precipitation events from two gauges. Written by make_spring.py.",
                      "# Nitrogen and phosphorus in the valley's spring: the long-term example of\n"
                      "# valley-spring with the valley's channels and the nutrient module.\n"
                      "# Written by make_nutrients.py.", 1)
    prj = prj.replace("MAPPING_TABLE    spring.cmt", "MAPPING_TABLE    nutrients.cmt")
    prj = prj.replace("SUMMARY          spring.sum", "SUMMARY          nutrients.sum")
    prj += ("# The valley's channel network (see ../valley/valley.prj).\n"
            "CHAN_EXPLIC\n"
            "CHANNEL_INPUT    valley.chan\n"
            "STREAM_CELL      valley.gst\n"
            "MAX_COURANT_NUMBER 0.1\n"
            "# The constituents travel with the water over land, in the channels and\n"
            "# down three soil layers: a mixing layer of MIXING_LAYER_DEPTH m, the\n"
            "# rest of the top layer (TOP_LAYER_DEPTH) and the rest of the soil\n"
            "# (SOIL_MOIST_DEPTH).\n"
            "OV_CON_TRANS\n"
            "CHAN_CON_TRANS\n"
            "SOIL_CON_TRANS\n"
            "MIXING_LAYER_DEPTH 0.02\n"
            "WATER_TEMP       8\n"
            "# The nutrient module: rates of aq.env, initial water concentrations\n"
            "# (g/m3), the soil pools of the ZEP_SOIL_* tables of nutrients.cmt.\n"
            "NUTRIENTS\n"
            "AQ_ENV           aq.env\n")
    for species, value in INITIAL:
        prj += "OV_INIT_%-9s %g\n" % (species, value)
    for species, value in INITIAL:
        prj += "ST_INIT_%-9s %g\n" % (species, value)
    prj += ("SOILS_ZEP_C\n"
            "SOILS_ZEP_N\n"
            "SOILS_ZEP_P\n"
            "# Daily maps of the total nitrogen and phosphorus over land (g per cell),\n"
            "# maps/Total_ov_N.0001.asc ...; every hour the outlet's nitrate and\n"
            "# ammonium, concentration (g/m3) in outlet_no3.conc and mass (g) in\n"
            "# outlet_no3.mass, and the same for outlet_nh4.\n"
            "MAP_TYPE         0\n"
            "TOTAL_OV_N       maps\n"
            "TOTAL_OV_P       maps\n"
            "OUT_HYD_NO3      outlet_no3\n"
            "OUT_HYD_NH4      outlet_nh4\n")
    return prj


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    files = {
        "nutrients.prj": project(read("spring.prj")),
        "nutrients.cmt": tables(read("spring.cmt")),
        "aq.env": "AQUATIC_ENV_ZEP10\nOV_MAP mask.asc\nST_MAP st.map\nNUM_IDS 1\n\n1\nDEFAULT\n",
        "st.map": "STREAM_MAP\nLINKS %d\n" % LINKS + "1\n" * LINKS,
    }
    for name, text in files.items():
        with open(os.path.join(out, name), "w", newline="\n") as f:
            f.write(text)


if __name__ == "__main__":
    main()
