#!/usr/bin/env python3
"""Writes the contaminant variant of the valley example.

The grid, the rain and the channel network are the valley's. A herbicide
lies on a field of hillslope grass east of the valley, the land that the
east tributary (link 2) drains: CONTAM_MAP gives its load, LOAD_KG per
cell, on the grass cells of rows FIELD_ROWS and columns FIELD_COLS. The
rain dissolves it out of the soil's mixing layer into the water standing
on the field (the exchange rate of the CONTAMINANT_TRANSPORT table), the
overland flow carries it to the stream cells and the bank exchange into
the channels, where it travels to the outlet. It decays at first order
over land and in the channels at the same rate. Green and Ampt
infiltration takes part of the rain, and the herbicide dissolved in it,
into the ground.

The script reads valley.prj, valley.cmt and landuse.asc from
examples/valley and writes

    contam.prj       the valley's project with infiltration, the
                     contaminant cards and outputs
    contam.cmt       the valley's mapping tables with the Green and Ampt
                     tables and the CONTAMINANT_TRANSPORT table
    contam_load.asc  the herbicide on the land (kg per cell)
    hyd_loc.txt      the channel nodes of the location series: the last
                     node of the east tributary (link 2), of the reach
                     below its confluence (link 3) and of the outlet link

Standard library only; running it again writes the same files:

    python3 make_contam.py [output folder]      (default: the script's folder)
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
VALLEY = os.path.join(HERE, "..", "valley")

NAME = "herbicide"
LOAD_KG = 0.1             # kg per cell of the field (1.1 kg/ha)
FIELD_ROWS = (15, 40)     # grid rows of the field, inclusive
FIELD_COLS = (46, 80)     # and its columns
GRASS = "2"               # land-use class of the field
DECAY_PER_DAY = 0.5       # first order, over land and in the channels
DISPERSION = 0.1          # m2/s, over land and in the channels
EXCHANGE_M_PER_DAY = 0.5  # rate of the exchange between the mixing layer and the water on it
MIXING_DEPTH = 0.01       # m of soil whose water holds the load

# Per land-use class: description, saturated hydraulic conductivity (cm/h),
# capillary head (cm), porosity, pore-size index, residual and field
# moisture, wilting point, initial moisture.
SOILS = (
    (1, "valley-floor pasture, silt loam", 0.65, 16.68, 0.486, 0.234, 0.015, 0.33, 0.13, 0.30),
    (2, "hillslope grass, loam", 0.34, 8.89, 0.434, 0.252, 0.027, 0.27, 0.12, 0.22),
    (3, "upland forest, sandy loam", 1.09, 11.01, 0.453, 0.322, 0.041, 0.21, 0.09, 0.18),
)


def read(name):
    with open(os.path.join(VALLEY, name)) as f:
        return f.read()


def pad(s, n):
    return s + " " * (n - len(s))


def tables(cmt):
    lines = [cmt.rstrip("\n"),
             'GREEN_AMPT_INFILTRATION "Land use"',
             "NUM_IDS %d" % len(SOILS),
             pad("ID    DESCRIPTION", 86) + "KS HC POROSITY PORE_INDEX RESIDUAL FIELD_CAP WILT_POINT"]
    for soil in SOILS:
        lines.append(pad("%6d %s" % soil[:2], 86) + " ".join("%g" % v for v in soil[2:9]))
    lines += ['GREEN_AMPT_INITIAL_SOIL_MOISTURE "Land use"',
              "NUM_IDS %d" % len(SOILS),
              pad("ID    DESCRIPTION", 86) + "MOISTURE"]
    for soil in SOILS:
        lines.append(pad("%6d %s" % soil[:2], 86) + "%g" % soil[9])
    # Columns: dispersion (m2/s), decay (1/day), exchange rate (m/day),
    # land load (kg per cell; CONTAM_MAP replaces it), initial overland
    # concentration (g/m3), and three that this run does not use.
    lines += ["CONTAMINANT_TRANSPORT",
              "NUM_CONTAM 1",
              '"%s" "Land use" "maps/%s"' % (NAME, NAME),
              "PRECIP_CONC 0",
              "NUM_IDS %d" % len(SOILS),
              pad("ID    DESCRIPTION", 86) + "DISP DECAY EXCHANGE LOAD INIT_CONC PARTITION GW_CONC UNUSED"]
    for soil in SOILS:
        lines.append(pad("%6d %s" % soil[:2], 86) +
                     "%g %g %g 0 0 0 0 0" % (DISPERSION, DECAY_PER_DAY, EXCHANGE_M_PER_DAY))
    return "\n".join(lines) + "\n"


def load_map(landuse):
    """The field's load on a grid of the land-use map's header."""
    lines = landuse.strip("\n").split("\n")
    header, rows = lines[:6], [line.split() for line in lines[6:]]
    out = list(header)
    for r, row in enumerate(rows, 1):
        values = []
        for c, use in enumerate(row, 1):
            field = (FIELD_ROWS[0] <= r <= FIELD_ROWS[1] and FIELD_COLS[0] <= c <= FIELD_COLS[1] and use == GRASS)
            values.append("%g" % LOAD_KG if field else "0")
        out.append(" ".join(values))
    return "\n".join(out) + "\n"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    prj = read("valley.prj")
    # The valley's analyzer and graphical-product cards stay the valley's.
    if "# The channel nodes deeper than 1 m" in prj:
        prj = prj[:prj.index("# The channel nodes deeper than 1 m")]
    prj = prj.replace("# Valley example:", "# Valley example with a herbicide (written by make_contam.py from the\n"
                      "# valley's project):", 1)
    prj = prj.replace("MAPPING_TABLE    valley.cmt", "MAPPING_TABLE    contam.cmt")
    prj = prj.replace("SUMMARY          valley.sum", "SUMMARY          contam.sum")
    prj = prj.replace("ROUGHNESS\n", "ROUGHNESS\n"
                      "# Green and Ampt infiltration, the soils from the mapping tables.\n"
                      "GREEN_AMPT\n", 1)
    prj += ("# One contaminant, the herbicide of the CONTAMINANT_TRANSPORT table, over\n"
            "# land and in the channels; its load on the land from contam_load.asc\n"
            "# (kg per cell), held in the water of the top MIXING_LAYER_DEPTH m of\n"
            "# soil. In the channels it decays at CHAN_DECAY_COEF (1/day) and\n"
            "# disperses by CHAN_DISP_COEF (m2/s); they hold none at the start.\n"
            "OV_CON_TRANS\n"
            "CHAN_CON_TRANS\n"
            "CONTAM_MAP       contam_load.asc\n"
            "MIXING_LAYER_DEPTH %g\n"
            "CHAN_DECAY_COEF  %g\n"
            "CHAN_DISP_COEF   %g\n"
            "# Every 5 minutes at the channel nodes of hyd_loc.txt: discharge (m3/s),\n"
            "# the herbicide's concentration (g/m3) and its mass flux through the\n"
            "# node's downstream face (g/s). The table's output name maps/%s gives\n"
            "# the overland concentration (g/m3) and mass (g) maps every 30 minutes\n"
            "# and the channel datasets maps/%s.chan.conc and .chan.mass.\n"
            "IN_HYD_LOCATION  hyd_loc.txt\n"
            "OUT_HYD_LOCATION hyd_loc.dat\n"
            "OUT_CON_LOCATION con_loc.dat\n"
            "OUT_MASS_LOCATION mass_loc.dat\n") % (MIXING_DEPTH, DECAY_PER_DAY, DISPERSION, NAME, NAME)
    loc = ((2, 43), (3, 14), (5, 49))
    files = (("contam.prj", prj), ("contam.cmt", tables(read("valley.cmt"))),
             ("contam_load.asc", load_map(read("landuse.asc"))),
             ("hyd_loc.txt", "%d\n" % len(loc) + "".join("%d %d\n" % p for p in loc)))
    for name, text in files:
        with open(os.path.join(out, name), "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
