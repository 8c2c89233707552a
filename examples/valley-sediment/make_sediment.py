#!/usr/bin/env python3
"""Writes the soil-erosion variant of the valley example.

The grid, the rain and the channel network are the valley's. The soil of
every land-use class holds three particle classes: clay (0.002 mm), silt
(0.02 mm) and fine sand (0.25 mm, which SAND_SIZE makes the sand class).
The rain splashes it loose, the flow detaches it and carries it over the
grid up to the transport capacity of Kilinc and Richardson's formula
(SOIL_EROSION 2), scaled by the land use's erodibility. The water on the
stream cells hands the channels its sediment: the clay and the silt
travel in suspension as wash load, the sand on the bed of the links,
which are erodible trapezoids here (TRAP_ERODE) with 0.3 m of sand under
their beds.

The script reads valley.prj, valley.chan and valley.cmt from
examples/valley and writes

    sediment.prj   the valley's project with the sediment cards and outputs
    sediment.chan  the valley's network with erodible links
    sediment.cmt   the valley's mapping tables with the SEDIMENTS and
                   SOIL_EROSION_PROPS tables
    sed_loc.txt    the channel nodes of the sediment series: the last node
                   of each of the three head links and the outlet node

Standard library only; running it again writes the same files:

    python3 make_sediment.py [output folder]      (default: the script's folder)
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
VALLEY = os.path.join(HERE, "..", "valley")

MAX_EROSION = 0.3   # m of erodible sand under every channel bed
CLASSES = (         # name, specific gravity, diameter (mm)
    ("clay", 2.65, 0.002),
    ("silt", 2.65, 0.02),
    ("fine sand", 2.65, 0.25),
)
# Per land-use class: description, the transport capacity's coefficient,
# exponent and threshold (not used by formula 2), splash coefficient, flow
# detachment coefficient, exponent and critical shear stress (Pa), the
# erodibility factor of the capacity, and the shares of clay, silt and sand
# in the parent soil.
SOILS = (
    (1, "valley-floor pasture", 0, 0, 0, 30.0, 1.0e-5, 1.0, 2.0, 0.020, 0.20, 0.45, 0.35),
    (2, "hillslope grass", 0, 0, 0, 40.0, 1.5e-5, 1.0, 1.5, 0.030, 0.25, 0.45, 0.30),
    (3, "upland forest", 0, 0, 0, 10.0, 0.5e-5, 1.0, 4.0, 0.005, 0.30, 0.40, 0.30),
)


def read(name):
    with open(os.path.join(VALLEY, name)) as f:
        return f.read()


def erodible_network(text):
    """Every trapezoidal link erodible, its sand depth under its section."""
    out = []
    for line in text.split("\n"):
        out.append("TRAP_ERODE" if line.strip() == "TRAPEZOID" else line)
        if line.startswith("BANKFULL_DEPTH"):
            out.append("MAX_EROSION %.2f" % MAX_EROSION)
    return "\n".join(out)


def last_nodes(chan):
    """(link, computational nodes) of every link, in file order."""
    nodes, link = [], None
    for line in chan.split("\n"):
        words = line.split()
        if words[:1] == ["LINK"]:
            link = int(words[1])
        elif words[:1] == ["NODES"] and link is not None:
            nodes.append((link, int(words[1]) - 1))
    return nodes


def tables(cmt):
    pad = lambda s, n: s + " " * (n - len(s))
    lines = [cmt.rstrip("\n"),
             "SEDIMENTS",
             "NUM_SED %d" % len(CLASSES),
             pad("CLASS", 40) + "SPEC_GRAV DIAMETER BINDING OUTPUT"]
    for name, gravity, diameter in CLASSES:
        lines.append(pad(name, 40) + "%.2f %g 0 %s.out" % (gravity, diameter, name.replace(" ", "_")))
    lines += ['SOIL_EROSION_PROPS "Land use"',
              "NUM_IDS %d" % len(SOILS),
              "NUM_SED %d" % len(CLASSES),
              pad("ID    DESCRIPTION", 86) + "TC_C TC_I TC_R SPLASH_K DETACH_K DETACH_I DETACH_C SED_K CLAY SILT SAND"]
    for soil in SOILS:
        ident, what = soil[0], soil[1]
        values = " ".join("%g" % v for v in soil[2:])
        lines.append(pad("%6d %s" % (ident, what), 86) + values)
    return "\n".join(lines) + "\n"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    chan = read("valley.chan")
    prj = read("valley.prj")
    # The valley's analyzer and graphical-product cards stay the valley's.
    if "# The channel nodes deeper than 1 m" in prj:
        prj = prj[:prj.index("# The channel nodes deeper than 1 m")]
    prj = prj.replace("# Valley example:", "# Valley example with soil erosion (written by make_sediment.py from the\n"
                      "# valley's project):", 1)
    prj = prj.replace("MAPPING_TABLE    valley.cmt", "MAPPING_TABLE    sediment.cmt")
    prj = prj.replace("CHANNEL_INPUT    valley.chan", "CHANNEL_INPUT    sediment.chan")
    prj = prj.replace("SUMMARY          valley.sum", "SUMMARY          sediment.sum")
    prj += ("# Soil erosion by particle class, the classes and the soils' erosion\n"
            "# properties from the mapping tables; formula 2 for the transport\n"
            "# capacity over land. Classes from SAND_SIZE (mm) up are sand: in the\n"
            "# channels they move on the bed by Yang's formula for sand of that\n"
            "# diameter; the bed's sand leaves 40 percent pores.\n"
            "SOIL_EROSION     2\n"
            "SAND_SIZE        0.25\n"
            "SED_POROSITY     0.4\n"
            "WATER_TEMP       18\n"
            "# Sediment through the outlet (m3/s by class) and the outlet's wash-load\n"
            "# concentration (g/m3) every 5 minutes; the same at the nodes of\n"
            "# sed_loc.txt; every channel node's sediment flux as a link/node dataset.\n"
            "OUTLET_SED_FLUX  sed_outlet.dat\n"
            "OUTLET_SED_TSS   tss_outlet.dat\n"
            "IN_SED_LOC       sed_loc.txt\n"
            "OUT_SED_LOC      sed_loc.dat\n"
            "OUT_TSS_LOC      tss_loc.dat\n"
            "CHAN_SED_FLUX    chan_sed.lnd\n"
            "# Net erosion (negative) and deposition of every cell as a depth (mm)\n"
            "# since the run began, and the sediment leaving each cell (cm3/s),\n"
            "# every 30 minutes in the folder maps.\n"
            "NET_SED_VOLUME   maps\n"
            "MAX_SED_FLUX     maps\n")
    nodes = last_nodes(chan)
    loc = [(link, n) for link, n in nodes if link in (1, 2, 4)] + [nodes[-1]]
    files = (("sediment.prj", prj), ("sediment.chan", erodible_network(chan)), ("sediment.cmt", tables(read("valley.cmt"))),
             ("sed_loc.txt", "%d\n" % len(loc) + "".join("%d %d\n" % p for p in loc)))
    for name, text in files:
        with open(os.path.join(out, name), "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
