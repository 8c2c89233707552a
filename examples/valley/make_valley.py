#!/usr/bin/env python3
"""Writes the valley example: a synthetic watershed of 100 x 80 cells of 30 m.

The terrain is a meandering valley that runs from its head in the north to
one outlet cell on the south edge of the grid. A smooth valley floor, 150 m
wide, falls at 0.4 to 1 percent (steeper upstream) and slopes gently towards
its axis; hillslopes rise from it at 8 to 18 percent to ridges some 900 m
away, which close in on the outlet and, in the north, on a head ridge with
wavy slopes; beyond the ridges the land falls off into the next valleys. Two
side gullies cut into the hillslopes and a few decimetres of deterministic
roughness, made of sine waves, keep the surface from looking machine-made.
The pits these leave are filled (priority flood over the four neighbours,
with a 1 mm rise per filled cell), so that every cell drains towards a grid
edge, and the watershed mask holds the cells whose path of steepest descent
ends in the outlet cell.

Land use: valley-floor pasture (Manning's n 0.035), hillslope grass (0.08)
and upland forest (0.15), given as an index map with a roughness table.

The stream: a channel network of trapezoidal links along the lowest cell
of the valley floor from row 20 (below the steep head) to the outlet cell,
joined by a stream in each side gully. The main stream is cut in three links
at the two confluences; its bed lies 1.5 m below the ground, the gully
streams' 0.8 m. Each stream cell holds one computational node of its link
(valley.chan), and the grid-stream file (valley.gst) ties the cell to it.

Everything is computed from closed-form expressions: running the script
again writes the same files byte for byte. Standard library only:

    python3 make_valley.py [output folder]      (default: the script's folder)
"""

import heapq
import math
import os
import sys

ROWS, COLS = 100, 80
CELL = 30.0                    # m
WEST, SOUTH = 500000.0, 4100000.0  # map coordinates of the lower-left corner (m)

FLOOR_HALF_WIDTH = 2.5         # cells either side of the valley axis
HEAD_ROW = 8                   # row of the ridge that closes the valley head
FOREST_DISTANCE = 18.0         # cells from the axis where forest begins

LAND_USE = [
    # id, description, Manning's n
    (1, "valley-floor pasture", 0.035),
    (2, "hillslope grass", 0.080),
    (3, "upland forest", 0.150),
]

STREAM_HEAD_ROW = 20           # the main stream starts below the steep valley head
GULLIES = ((40.0, 12.0, 52.0, 36.0, 6.0), (25.0, 70.0, 38.0, 39.0, 5.0))  # r0, c0, r1, c1, deepest (m)

RAIN_MM_PER_H = 25.0
RAIN_MINUTES = 60
RUN_MINUTES = 300
TIMESTEP_S = 5.0


def axis_col(row):
    """Column (from 1, fractional) of the valley axis in a row: a gentle meander."""
    u = ROWS - row  # cells upstream of the south edge
    return 40.5 + 4.0 * math.sin(2.0 * math.pi * u / 80.0) + 1.5 * math.sin(2.0 * math.pi * u / 37.0 + 1.0)


def floor_elevation(row):
    """Valley-floor elevation (m) on the axis: slope 0.4 percent at the outlet, 1 percent at the head."""
    u = ROWS - row
    return 250.0 + CELL * (0.004 * u + 0.003 * u * u / (ROWS - 1))


def ridge_distance(row, east_side):
    """Distance (cells) from the axis to the ridge on one side of the valley."""
    u = ROWS - row
    if east_side:
        full = (30.0 + 4.0 * math.sin(2.0 * math.pi * u / 60.0 + 0.5)
                + 1.5 * math.sin(2.0 * math.pi * u / 17.0) + 0.8 * math.cos(2.0 * math.pi * u / 7.0))
    else:
        full = (31.0 + 4.0 * math.cos(2.0 * math.pi * u / 45.0)
                + 1.5 * math.sin(2.0 * math.pi * u / 13.0 + 2.0) + 0.8 * math.sin(2.0 * math.pi * u / 6.0))
    # The ridges close in on the outlet over the last 25 rows.
    pinch = min(1.0, u / 25.0) ** 0.7
    return FLOOR_HALF_WIDTH + 3.0 + (full - FLOOR_HALF_WIDTH - 3.0) * pinch


def cross_profile(d, ridge):
    """Height (m) above the valley floor at distance d (cells) from the axis."""
    if d <= FLOOR_HALF_WIDTH:
        return 0.01 * CELL * d
    z = 0.01 * CELL * FLOOR_HALF_WIDTH
    x = min(d, ridge) - FLOOR_HALF_WIDTH
    # Hillslope steepening from 8 to 18 percent towards the ridge.
    z += CELL * (0.08 * x + 0.1 * x * x / (2.0 * 25.0))
    if d > ridge:
        # Beyond the ridge the land falls away into the next valley.
        z -= CELL * 0.10 * min(d - ridge, 6.0)
    return z


def head_profile(row, col):
    """Extra height (m) near the valley head: steepening up to the head ridge, falling beyond it."""
    u = ROWS - row
    u_ridge = (ROWS - HEAD_ROW + 2.5 * math.sin(2.0 * math.pi * col / 35.0)
               + 1.2 * math.sin(2.0 * math.pi * col / 11.0 + 1.0))
    u_steep = u_ridge - 12.0
    if u <= u_steep:
        return 0.0
    if u <= u_ridge:
        return CELL * 0.10 * (u - u_steep)
    return CELL * (0.10 * (u_ridge - u_steep) - 0.18 * (u - u_ridge))


def gully_depth(row, col):
    """Depth (m) cut by the two side gullies that run down the hillslopes."""
    depth = 0.0
    # Each gully: a straight line from a point on the ridge to a point at the
    # edge of the valley floor, a trench deepest half-way along it.
    for (r0, c0, r1, c1, deepest) in GULLIES:
        dr, dc = r1 - r0, c1 - c0
        length2 = dr * dr + dc * dc
        t = ((row - r0) * dr + (col - c0) * dc) / length2
        if t < 0.0 or t > 1.0:
            continue
        off = math.hypot(row - (r0 + t * dr), col - (c0 + t * dc))
        depth += deepest * math.sin(math.pi * t) * math.exp(-(off / 1.8) ** 2)
    return depth


def roughness(row, col):
    """A few decimetres of deterministic terrain roughness (m)."""
    return (0.35 * math.sin(0.37 * row + 1.3) * math.cos(0.29 * col + 0.4)
            + 0.25 * math.sin(0.83 * row - 0.61 * col + 2.1)
            + 0.15 * math.cos(1.37 * row + 1.07 * col))


def raw_elevation_mm():
    """The terrain before pit filling, in whole millimetres, rows 1..ROWS by cols 1..COLS."""
    z = [[0] * (COLS + 1) for _ in range(ROWS + 1)]
    for r in range(1, ROWS + 1):
        axis = axis_col(r)
        for c in range(1, COLS + 1):
            d = abs(c - axis)
            ridge = ridge_distance(r, c > axis)
            # Roughness grows from nothing on the valley floor to full on the hills.
            weight = min(1.0, max(0.0, (d - FLOOR_HALF_WIDTH) / 6.0))
            value = (floor_elevation(r) + cross_profile(d, ridge) + head_profile(r, c)
                     - gully_depth(r, c) + weight * roughness(r, c))
            z[r][c] = int(round(value * 1000.0))
    return z


def neighbours(r, c):
    for dr, dc in ((-1, 0), (0, 1), (1, 0), (0, -1)):
        rr, cc = r + dr, c + dc
        if 1 <= rr <= ROWS and 1 <= cc <= COLS:
            yield rr, cc


def fill_pits(z):
    """Priority flood from the grid edge over the four neighbours: each cell ends
    at least 1 mm above the cell it drains to. Returns the number of raised cells."""
    done = [[False] * (COLS + 1) for _ in range(ROWS + 1)]
    heap = []
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            if r in (1, ROWS) or c in (1, COLS):
                heapq.heappush(heap, (z[r][c], r, c))
                done[r][c] = True
    raised = 0
    while heap:
        level, r, c = heapq.heappop(heap)
        for rr, cc in neighbours(r, c):
            if done[rr][cc]:
                continue
            done[rr][cc] = True
            if z[rr][cc] <= level:
                z[rr][cc] = level + 1
                raised += 1
            heapq.heappush(heap, (z[rr][cc], rr, cc))
    return raised


def outlet_of(z):
    """The lowest valley-floor cell of the south edge: where the valley leaves the grid."""
    axis = axis_col(ROWS)
    floor = [c for c in range(1, COLS + 1) if abs(c - axis) <= FLOOR_HALF_WIDTH]
    return ROWS, min(floor, key=lambda c: (z[ROWS][c], c))


def watershed(z, outlet):
    """Cells whose path of steepest descent (four neighbours) ends in the outlet."""
    def downhill(r, c):
        if r in (1, ROWS) or c in (1, COLS):
            return None  # edge cells drain off the grid
        best = min(neighbours(r, c), key=lambda rc: (z[rc[0]][rc[1]], rc))
        return best if z[best[0]][best[1]] < z[r][c] else None

    mask = [[0] * (COLS + 1) for _ in range(ROWS + 1)]
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            rr, cc = r, c
            while (rr, cc) != outlet:
                step = downhill(rr, cc)
                if step is None:
                    break
                rr, cc = step
            if (rr, cc) == outlet:
                mask[r][c] = 1
    return mask


# ---------------------------------------------------------------- the stream

# Trapezoidal sections: bottom width (m), side slope, bankfull depth (m),
# Manning's n and the depth of the bed below the ground (m).
MAIN_UPPER = dict(bottom=2.0, side=1.5, bankfull=1.5, n=0.035, cut=1.5)
MAIN_MIDDLE = dict(bottom=3.0, side=1.5, bankfull=1.5, n=0.035, cut=1.5)
MAIN_LOWER = dict(bottom=4.0, side=1.5, bankfull=1.5, n=0.035, cut=1.5)
GULLY = dict(bottom=1.0, side=1.0, bankfull=0.8, n=0.040, cut=0.8)
OUTLET_BED_SLOPE = 0.004       # below the last node of the outlet link


def main_stream_cells(z, outlet):
    """The lowest valley-floor cell of every row from the stream head to the outlet."""
    cells = []
    for r in range(STREAM_HEAD_ROW, ROWS):
        axis = axis_col(r)
        floor = [c for c in range(1, COLS + 1) if abs(c - axis) <= FLOOR_HALF_WIDTH]
        cells.append((r, min(floor, key=lambda c: (z[r][c], c))))
    cells.append(outlet)
    return cells


def gully_stream_cells(gully, main_cells):
    """Cells along a gully's line from near its top to the valley floor, then
    along its last row up to the main stream's cell there (not included)."""
    r0, c0, r1, c1, _ = gully
    cells = []
    for k in range(20, 201):
        t = k / 200.0
        cell = (int(round(r0 + t * (r1 - r0))), int(round(c0 + t * (c1 - c0))))
        if not cells or cells[-1] != cell:
            cells.append(cell)
    row = cells[-1][0]
    target = [c for (r, c) in main_cells if r == row][0]
    step = 1 if target > cells[-1][1] else -1
    while abs(cells[-1][1] + step - target) >= 1:
        cells.append((row, cells[-1][1] + step))
    return cells


def spacing(cells):
    """Mean distance between the centres of consecutive cells (m)."""
    total = sum(math.hypot(a[0] - b[0], a[1] - b[1]) for a, b in zip(cells, cells[1:]))
    return CELL * total / max(1, len(cells) - 1)


def bed_elevations(z, cells, cut):
    """The bed below each cell: the ground less the cut, falling at least 1 mm per cell."""
    beds = []
    for (r, c) in cells:
        bed = z[r][c] / 1000.0 - cut
        if beds and bed > beds[-1] - 0.001:
            bed = beds[-1] - 0.001
        beds.append(bed)
    return beds


def stream_network(z, outlet):
    """The links, upstream first and the outlet link last: each a dict with its
    cells, section, node spacing, bed elevations of its input nodes (one per
    cell and one more where it ends) and its downstream and upstream links."""
    main = main_stream_cells(z, outlet)
    gullies = [gully_stream_cells(g, main) for g in GULLIES]
    joins = sorted(cells[-1][0] for cells in gullies)  # rows where the gully streams join
    upper = [cell for cell in main if cell[0] < joins[0]]
    middle = [cell for cell in main if joins[0] <= cell[0] < joins[1]]
    lower = [cell for cell in main if cell[0] >= joins[1]]
    by_row = {g[-1][0]: g for g in gullies}
    links = [
        dict(cells=upper, section=MAIN_UPPER, down=3, up=[]),
        dict(cells=by_row[joins[0]], section=GULLY, down=3, up=[]),
        dict(cells=middle, section=MAIN_MIDDLE, down=5, up=[1, 2]),
        dict(cells=by_row[joins[1]], section=GULLY, down=5, up=[]),
        dict(cells=lower, section=MAIN_LOWER, down=0, up=[3, 4]),
    ]
    for link in links:
        link["beds"] = bed_elevations(z, link["cells"], link["section"]["cut"])
        link["dx"] = spacing(link["cells"])
    for link in links:
        if link["down"]:
            below = links[link["down"] - 1]["beds"][0]
            link["beds"].append(min(below, link["beds"][-1] - 0.001))
        else:
            link["beds"].append(link["beds"][-1] - OUTLET_BED_SLOPE * link["dx"])
    return links


def channel_file(links):
    lines = ["KESTA_CHAN", "ALPHA 1.0", "BETA 1.0", "THETA 1.0", "LINKS %d" % len(links),
             "MAXNODES %d" % max(len(link["beds"]) for link in links)]
    for k, link in enumerate(links, 1):
        lines.append(" ".join(str(v) for v in [ "CONNECT", k, link["down"], len(link["up"])] + link["up"]))
    for k, link in enumerate(links, 1):
        sec = link["section"]
        lines += ["LINK %d" % k, "NODES %d" % len(link["beds"]), "TRAPEZOID",
                  "MANNINGS_N %.3f" % sec["n"], "DX %.3f" % link["dx"]]
        for j, bed in enumerate(link["beds"], 1):
            lines += ["NODE %d" % j, "ELEV %.3f" % bed]
            if j == 1:
                lines += ["XSEC", "BOTTOM_WIDTH %g" % sec["bottom"], "SIDE_SLOPE %g" % sec["side"],
                          "BANKFULL_DEPTH %g" % sec["bankfull"]]
    return "\n".join(lines) + "\n"


def grid_stream_file(links):
    cells = [(cell, k, j) for k, link in enumerate(links, 1) for j, cell in enumerate(link["cells"], 1)]
    lines = ["GRIDSTREAMFILE", "STREAMCELLS %d" % len(cells)]
    for (r, c), k, j in cells:
        lines += ["CELLIJ %d %d" % (r, c), "NUMNODES 1", "LINKNODE %d %d 1.0" % (k, j)]
    return "\n".join(lines) + "\n"


def land_use(r, c):
    d = abs(c - axis_col(r))
    if d <= FLOOR_HALF_WIDTH + 0.5:
        return 1
    return 2 if d < FOREST_DISTANCE else 3


def header():
    return ("north: %.1f\nsouth: %.1f\neast: %.1f\nwest: %.1f\nrows: %d\ncols: %d\n"
            % (SOUTH + ROWS * CELL, SOUTH, WEST + COLS * CELL, WEST, ROWS, COLS))


def write_grid(path, cell_text):
    with open(path, "w", newline="\n") as f:
        f.write(header())
        for r in range(1, ROWS + 1):
            f.write(" ".join(cell_text(r, c) for c in range(1, COLS + 1)) + "\n")


def mapping_table_row(ident, description, value):
    # ID in characters 1-6, free description in 7-86, values from 87 on.
    return "%6d" % ident + " " + description.ljust(79) + "%.3f" % value + "\n"


def project_file(outlet):
    return "\n".join([
        "KESTAPROJECT",
        "# Valley example: overland flow on a synthetic 100 x 80 cell watershed",
        "# (30 m cells) under one hour of uniform rain. Written by make_valley.py.",
        "WATERSHED_MASK   mask.asc",
        "ELEVATION        elevation.asc",
        "# Manning's n per land-use class: the ROUGHNESS table of the mapping file.",
        "MAPPING_TABLE    valley.cmt",
        "ROUGHNESS",
        "GRIDSIZE         %g" % CELL,
        "ROWS             %d" % ROWS,
        "COLS             %d" % COLS,
        "# Minutes of simulation and seconds per step; the explicit scheme",
        "# shortens its own sub-steps when a step would move too much water,",
        "# and the channel routing takes sub-steps short enough for its waves.",
        "TOT_TIME         %d" % RUN_MINUTES,
        "TIMESTEP         %g" % TIMESTEP_S,
        "OVERTYPE         EXPLICIT",
        "OUTROW           %d" % outlet[0],
        "OUTCOL           %d" % outlet[1],
        "OUTSLOPE         0.004",
        "# The stream: explicit diffusive-wave routing of the channel network of",
        "# valley.chan; valley.gst ties each stream cell to its channel node, and",
        "# the water on a stream cell spills over the banks into the channel.",
        "CHAN_EXPLIC",
        "CHANNEL_INPUT    valley.chan",
        "STREAM_CELL      valley.gst",
        "# Sub-steps of the channel routing: sqrt(g y) x sub-step / node spacing at",
        "# most 0.1. At the usual 0.2 the wide, gentle lower reach near the peak",
        "# needs shorter sub-steps than the waves alone ask for, and oscillates.",
        "MAX_COURANT_NUMBER 0.1",
        "PRECIP_UNIF",
        "RAIN_INTENSITY   %g" % RAIN_MM_PER_H,
        "RAIN_DURATION    %d" % RAIN_MINUTES,
        "START_DATE       2021 7 14",
        "START_TIME       14 0",
        "# Outlet discharge every 5 minutes. Overland depth every 30 minutes,",
        "# one grid file a time (MAP_TYPE 0) in the folder maps: maps/depth.0001.asc ...",
        "HYD_FREQ         5",
        "MAP_FREQ         30",
        "MAP_TYPE         0",
        "DEPTH            maps",
        "QUIET",
        "SUMMARY          valley.sum",
        "OUTLET_HYDRO     outlet.hyd",
        "# Depth and discharge of every channel node every 5 minutes, as",
        "# link/node datasets.",
        "CHAN_DEPTH       chan_depth.lnd",
        "CHAN_DISCHARGE   chan_flow.lnd",
        ANALYZER_BLOCK_START,
        "# (the analyzer of valley.ana, written to depth_check.txt), and the outlet",
        "# hydrograph repackaged for the graphical product.",
        "ANALYZERS        valley.ana",
        "TVM_HYDRO        valley.tvm",
        "",
    ])


# The first line of the analyzer and graphical-product cards, which the
# drain and sediment examples leave out of the projects they derive.
ANALYZER_BLOCK_START = "# The channel nodes deeper than 1 m, with their depths, every hour"

# One analyzer: every hour (3600 s) from the start, the channel nodes whose
# water depth exceeds 1 m, listed with their depths and counted, to a file.
ANALYZERS = ("# type array triggers operator threshold outputs interval(s) file\n"
             "2DS depth t > 1.0 tcdf 3600 depth_check.txt\n")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    z = raw_elevation_mm()
    raised = fill_pits(z)
    outlet = outlet_of(z)
    mask = watershed(z, outlet)
    cells = sum(map(sum, mask))

    # Every watershed cell but the outlet has a lower neighbour in the watershed.
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            if mask[r][c] and (r, c) != outlet:
                assert any(mask[rr][cc] and z[rr][cc] < z[r][c] for rr, cc in neighbours(r, c)), (r, c)

    links = stream_network(z, outlet)
    for link in links:
        for (r, c) in link["cells"]:
            assert mask[r][c], (r, c)  # every stream cell drains to the outlet

    write_grid(os.path.join(out, "mask.asc"), lambda r, c: str(mask[r][c]))
    write_grid(os.path.join(out, "elevation.asc"), lambda r, c: "%.3f" % (z[r][c] / 1000.0))
    write_grid(os.path.join(out, "landuse.asc"), lambda r, c: str(land_use(r, c)))
    with open(os.path.join(out, "valley.cmt"), "w", newline="\n") as f:
        f.write("KESTA_INDEX_MAP_TABLES\n")
        f.write('INDEX_MAP landuse.asc "Land use"\n')
        f.write('ROUGHNESS "Land use"\n')
        f.write("NUM_IDS %d\n" % len(LAND_USE))
        f.write("ID    DESCRIPTION" + " " * 69 + "MANNING_N\n")
        for ident, description, n in LAND_USE:
            f.write(mapping_table_row(ident, description, n))
    with open(os.path.join(out, "valley.prj"), "w", newline="\n") as f:
        f.write(project_file(outlet))
    with open(os.path.join(out, "valley.ana"), "w", newline="\n") as f:
        f.write(ANALYZERS)
    with open(os.path.join(out, "valley.chan"), "w", newline="\n") as f:
        f.write(channel_file(links))
    with open(os.path.join(out, "valley.gst"), "w", newline="\n") as f:
        f.write(grid_stream_file(links))

    classes = [0] * (len(LAND_USE) + 1)
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            if mask[r][c]:
                classes[land_use(r, c)] += 1
    print("watershed: %d cells (%.2f km2), outlet row %d col %d, %d cells raised by pit filling"
          % (cells, cells * CELL * CELL / 1e6, outlet[0], outlet[1], raised))
    print("stream: %d links, %d channel nodes; %s" % (
        len(links), sum(len(link["cells"]) for link in links),
        ", ".join("link %d %d nodes %.1f m apart" % (k, len(link["cells"]), link["dx"])
                  for k, link in enumerate(links, 1))))
    print("land use in the watershed: " + ", ".join(
        "%s %d" % (description, classes[ident]) for ident, description, _ in LAND_USE))


if __name__ == "__main__":
    main()
