#!/usr/bin/env python3
"""Writes the storm-drain variant of the valley example.

A small settlement sits at the foot of the valley's east hillslope, in
column 46, rows 58 to 66. Its storm drain is a collector under the street
that runs down the hillslope foot: three grate junctions (six grates each)
in rows 58, 62 and 66, a manhole with three grates half-way between each
pair, and an outfall pipe that runs from the last junction to
the stream to the west, where it ends 0.1 m above the bed of channel node 16 of link 5
(inlet code 999). The collector lies 3 m under the ground at its last
junction and rises upstream at 0.6 percent; the outfall pipe falls at 0.5
percent.

The grid, the channel network and the rain are the valley's: the script
reads elevation.asc and valley.gst from examples/valley and writes
drains.sew (the storm-sewer file), drains.gpi (the grid-pipe file, which
ties the first pipe to its cell; the pipes have no tile walls) and
drains.prj (the valley's project with the storm drain and its datasets).

Standard library only; running it again writes the same files:

    python3 make_drains.py [output folder]      (default: the script's folder)
"""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
VALLEY = os.path.join(HERE, "..", "valley")

COLLECTOR_COL = 46
JUNCTION_ROWS = (58, 62, 66)
COLLECTOR_SLOPE = 0.006
JUNCTION_GRATES = 6           # grates at each junction of the collector
MANHOLE_GRATES = 3            # grates at each manhole of the collector
NODE_AREA = 0.5               # m2, plan area of a pipe node
COVER = 3.0                   # m of ground over the pipe invert at the last grate junction
OUTFALL_LINK, OUTFALL_NODE = 5, 16
OUTFALL_ABOVE_BED = 0.1       # m
BANK_DEPTH = 1.5              # m of the main stream's bed below the ground
CELL = 30.0


def read_grid(path):
    with open(path) as f:
        lines = f.read().split("\n")
    return [list(map(float, l.split())) for l in lines[6:] if l.strip()]


def stream_cell(gst, link, node):
    lines = open(gst).read().split("\n")
    for i, line in enumerate(lines):
        if line.startswith("CELLIJ"):
            row, col = map(int, line.split()[1:3])
            ln = lines[i + 2].split()
            if int(ln[1]) == link and int(ln[2]) == node:
                return row, col
    raise SystemExit("no cell for link %d node %d in %s" % (link, node, gst))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    elev = read_grid(os.path.join(VALLEY, "elevation.asc"))
    ground = lambda r, c: elev[r - 1][c - 1]
    orow, ocol = stream_cell(os.path.join(VALLEY, "valley.gst"), OUTFALL_LINK, OUTFALL_NODE)

    # Inverts: the last grate junction 3 m under its ground, the collector
    # rising from it at its slope, the outfall 0.1 m above the stream bed.
    rows = JUNCTION_ROWS
    span = (rows[1] - rows[0]) * CELL  # m between grate junctions
    bottom = {3: ground(rows[2], COLLECTOR_COL) - COVER}
    bottom[2] = bottom[3] + COLLECTOR_SLOPE * span
    bottom[1] = bottom[2] + COLLECTOR_SLOPE * span
    bottom[4] = ground(orow, ocol) - BANK_DEPTH + OUTFALL_ABOVE_BED
    outfall_length = math.hypot(orow - rows[2], ocol - COLLECTOR_COL) * CELL

    sew = ["# Storm drain of the settlement at the foot of the east hillslope (make_drains.py).",
           "# SJUNC j ground bottom area code col row grate_side grate_dia",
           "# (for the 999 outfall: link and node in place of col and row)",
           "# SLINK link pipes, then its lines:",
           "# NODE k ground invert area code col row grate_side grate_dia",
           "# PIPE k type diameter width slope roughness length conductivity spacing"]
    for j, r in enumerate(rows, start=1):
        sew.append("SJUNC %d %.3f %.3f 1.5 %d %d %d 0.6 0.6" % (j, ground(r, COLLECTOR_COL), bottom[j], JUNCTION_GRATES, COLLECTOR_COL, r))
    sew.append("SJUNC 4 %.3f %.3f 0.0 999 %d %d 0 0" % (ground(orow, ocol), bottom[4], OUTFALL_LINK, OUTFALL_NODE))
    sew += ["CONNECT 1 1 2", "CONNECT 2 2 3", "CONNECT 3 3 4"]

    def superlink(number, top, low, length, diameter, manhole):
        """Two pipes between two junctions, the middle node a manhole."""
        slope = (top - low) / length
        mid_invert = 0.5 * (top + low)
        lines = ["SLINK %d 2" % number]
        (r1, c1), (r2, c2), (r3, c3), code = manhole
        lines.append("NODE 1 %.3f %.3f %.1f 0 %d %d 0 0" % (ground(r1, c1), top, NODE_AREA, c1, r1))
        lines.append("NODE 2 %.3f %.3f %.1f %d %d %d 0.6 0.6" % (ground(r2, c2), mid_invert, NODE_AREA, code, c2, r2))
        lines.append("NODE 3 %.3f %.3f %.1f 0 %d %d 0 0" % (ground(r3, c3), low, NODE_AREA, c3, r3))
        for k in (1, 2):
            lines.append("PIPE %d 1 %.2f 0 %.5f 0.013 %.3f 0 0" % (k, diameter, slope, length / 2.0))
        return lines

    c = COLLECTOR_COL
    sew += superlink(1, bottom[1], bottom[2], span, 0.45, ((rows[0], c), (rows[0] + 2, c), (rows[1], c), MANHOLE_GRATES))
    sew += superlink(2, bottom[2], bottom[3], span, 0.45, ((rows[1], c), (rows[1] + 2, c), (rows[2], c), MANHOLE_GRATES))
    mid = ((rows[2] + orow) // 2, (COLLECTOR_COL + ocol) // 2)
    sew += superlink(3, bottom[3], bottom[4], outfall_length, 0.60, ((rows[2], c), mid, (orow, ocol), 0))

    gpi = ["GRIDPIPEFILE", "PIPECELLS 1", "CELLIJ %d %d" % (COLLECTOR_COL, rows[0]), "NUMPIPES 1", "SPIPE 1 1 1.0"]

    with open(os.path.join(VALLEY, "valley.prj")) as f:
        prj = f.read()
    # The valley's analyzer and graphical-product cards stay the valley's.
    if "# The channel nodes deeper than 1 m" in prj:
        prj = prj[:prj.index("# The channel nodes deeper than 1 m")]
    prj = prj.replace("# Valley example:", "# Valley example with a storm drain (written by make_drains.py from the\n# valley's project):", 1)
    prj = prj.replace("SUMMARY          valley.sum", "SUMMARY          drains.sum")
    prj += ("# The settlement's storm drain: grates take ponded water from their\n"
            "# cells, the pipes carry it to the stream at channel node 18 of link 5.\n"
            "STORM_SEWER      drains.sew\n"
            "GRID_PIPE        drains.gpi\n"
            "# Flow of every pipe (m3/s) and head of every pipe node (m) every 5\n"
            "# minutes, as link/node datasets.\n"
            "PIPE_FLOW        pipe_flow.lnd\n"
            "PIPE_HEAD        pipe_head.lnd\n")
    for name, text in (("drains.sew", "\n".join(sew) + "\n"), ("drains.gpi", "\n".join(gpi) + "\n"),
                       ("drains.prj", prj)):
        with open(os.path.join(out, name), "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
