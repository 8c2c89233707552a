#include "overland/dikes_lowspots.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "overland/overland_lakes.hpp"

namespace kesta {

namespace {

constexpr double kWeirCoefficient = 1.48;  // m^0.5/s
constexpr double kLevelTolerance = 0.001;  // m; smaller differences move nothing

// One side of a cell as the low-spot checks name it: its word, the ends of
// the two lines that tell along which side a low spot runs, and the dike bit
// the cell across it must carry for the low spot to cross the dike (the side
// it shares with the low spot's cell).
struct spot_side {
    const char* word;
    const char* line;
    const char* along;
    int facing_bit;
};

// Side 1 top, 2 right, 4 bottom, any other left.
const spot_side& side_named(int side) {
    static const spot_side kSides[4] = {
        {"top", "Dike / low spot on top side of cell\n", "than along the top of the cell.\n", 4},
        {"right", "Dike / low spot on right side of cell\n", "than along the right side of the cell.\n", 8},
        {"bottom", "Dike / low spot on bottom side of cell\n", "than along the bottom of the cell.\n", 1},
        {"left", "Dike / low spot on left side of cell\n", "than along the left side of the cell.\n", 2},
    };
    switch (side) {
        case 1: return kSides[0];
        case 2: return kSides[1];
        case 4: return kSides[2];
        default: return kSides[3];
    }
}

// The grid position across `side` of (row, col); false for another code.
bool across(int side, int& row, int& col) {
    switch (side) {
        case 1: --row; return true;
        case 2: ++col; return true;
        case 4: ++row; return true;
        case 8: --col; return true;
        default: return false;
    }
}

bool check_lowspot(model_state& m, int i) {
    lowspot_record& s = m.lowspots[static_cast<std::size_t>(i)];
    s.flow = 0.0;
    const int row = s.row;
    const int col = s.col;
    if (row < 1 || row > m.rows || col < 1 || col > m.cols) {
        return refuse(format_text("\nLow spot %d in the file %s lies at row %d col %d, outside the grid of %d rows "
                                  "and %d columns.  Program terminated.\n",
                                  i, m.lowspot_file.c_str(), row, col, m.rows, m.cols));
    }
    const int c = m.mask[row][col];
    if (c == 0) {
        return refuse(format_text("\nLow spot %d in the file %s lies at row %d col %d, outside the watershed.  "
                                  "Program terminated.\n",
                                  i, m.lowspot_file.c_str(), row, col));
    }
    if (!(s.fraction >= 0.0 && s.fraction <= 1.5)) {
        return refuse(format_text("\nThe fraction of the grid-size specified for the lowspot in the grid at\n"
                                  "row %d col %d is unreasonable, with a value of %f.  Acceptable\n"
                                  " values range from 0.0 to 1.5.  Change the value.  Program terminated.\n",
                                  row, col, s.fraction));
    }
    int nrow = row;
    int ncol = col;
    if (!across(s.side, nrow, ncol)) {
        return refuse(format_text("\nThe low spot flow direction specified in row %d col %d in the file %s\n"
                                  "is not valid.  The only possible directions are: 1- top boundary, 2- right\n"
                                  "boundary, 4- bottom boundary, or 8- left boundary.\n"
                                  "Edit your lowspot file and try again.  Program terminated.\n",
                                  row, col, m.lowspot_file.c_str()));
    }
    if (m.dike_mask[c] == 0) {
        return refuse(format_text("\nYou have specified an overland flow dike in row %d col %d\n"
                                  "There is no dike adjacent to this grid cell.  Program stopped.\n",
                                  row, col));
    }
    // The mask's border of zeros stands for the cells off the grid.
    const int n = m.mask[nrow][ncol];
    if (n == 0 || m.dike_mask[n] == 0) {
        return refuse(format_text("\nYou have specified a low spot on the %s boundary of the grid\n"
                                  "cell at row %d col %d.  Either the side you have specified is not on\n"
                                  "an overland flow dike, or the cell on the other side is out of the\n"
                                  "watershed.  Check your low spot file.  Program terminated.\n",
                                  side_named(s.side).word, row, col));
    }
    if (s.elevation < m.elev[c]) {
        return refuse(format_text("\nThe elevation of the overland flow dike low spot you specified in the grid\n"
                                  "cell located at row %d col %d is %f m.  This elevation is lower than the\n"
                                  "elevation of the grid cell, which is %f m.  This situation is impossible.\n"
                                  "Please raise the low spot elevation to be greater than the grid cell elevation.\n"
                                  "%sProgram terminated\n",
                                  row, col, s.elevation, m.elev[c], side_named(s.side).line));
    }
    if (s.elevation < m.elev[n]) {
        return refuse(format_text("\nThe elevation of the overland flow dike low spot you specified in the grid\n"
                                  "cell located at row %d col %d is %f m.  This elevation is lower than the\n"
                                  "elevation of the grid cell on the other side of the dike, which is %f m.\n"
                                  "This situation is impossible.  Please raise the low spot elevation to be\n"
                                  "greater than the grid cell elevation.\n"
                                  "%sProgram terminated\n",
                                  row, col, s.elevation, m.elev[n], side_named(s.side).line));
    }
    if ((m.dike_mask[n] & side_named(s.side).facing_bit) == 0) {
        return refuse(format_text("\nThe low spot you have specified in the grid at row %d  col %d does not\n"
                                  "cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n"
                                  "at this low spot across the %s boundary of the cell, while the dike\n"
                                  "is running in a different direction %sProgram terminated.\n",
                                  row, col, side_named(s.side).word, side_named(s.side).along));
    }
    return true;
}

// One side of a low spot: an ordinary cell or a whole overland lake.
struct low_spot_side {
    int cell = 0;
    int lake = 0;  // overland lake number, 0 for an ordinary cell
    double surface = 0.0;  // water-surface level (m)
    double area = 0.0;     // plan area whose level the exchange moves (m2)
    // Most a lake can give (m3): the water above its initial level and what
    // it gained since its last extent update, as it never falls below that
    // level. A cell's limit is the water above the crest.
    double can_give = std::numeric_limits<double>::infinity();
};

// The water of each lake above its initial level goes into
// m.olake_above_initial the first time in the call that a lake side needs
// it; `above_made` tells that it is there.
low_spot_side side_of(model_state& m, int cell, bool lakes_on, double cell_area, bool& above_made) {
    low_spot_side s;
    s.cell = cell;
    const int lake = lakes_on ? m.oland_lake_new[cell] : 0;
    if (lake > 0 && lake <= m.n_oland_lakes && static_cast<std::size_t>(lake) < m.oland_lakes.size()) {
        const lake_record& r = m.oland_lakes[static_cast<std::size_t>(lake)];
        s.lake = lake;
        s.surface = r.level;
        s.area = std::max(r.ncells, 1) * cell_area;
        if (!above_made) olake_water_above_initial(m, m.olake_above_initial);
        above_made = true;
        s.can_give = std::max(0.0, m.olake_above_initial[lake] + r.step_volume);
    } else {
        s.surface = m.elev[cell] + m.h[cell];
        s.area = cell_area;
    }
    return s;
}

void change_volume(model_state& m, const low_spot_side& s, double volume, double cell_area) {
    if (s.lake > 0) {
        m.oland_lakes[static_cast<std::size_t>(s.lake)].step_volume += volume;
    } else {
        m.h[s.cell] += volume / cell_area;
    }
}

}  // namespace

bool validate_lowspots(model_state& m) {
    for (int i = 1; i <= m.nlowspots; ++i) {
        if (!check_lowspot(m, i)) return false;
    }
    return true;
}

void dike_flow(model_state& m, double dt) {
    if (dt <= 0.0) return;
    const double dx = m.gridsize;
    const double cell_area = dx * dx;
    const bool lakes_on = m.overland_lake_map_given && m.n_oland_lakes > 0 && !m.oland_lake_new.empty();
    bool above_made = false;
    for (int i = 1; i <= m.nlowspots; ++i) {
        lowspot_record& spot = m.lowspots[static_cast<std::size_t>(i)];
        spot.flow = 0.0;
        if (spot.row < 1 || spot.row > m.rows || spot.col < 1 || spot.col > m.cols) continue;
        int nrow = spot.row;
        int ncol = spot.col;
        if (!across(spot.side, nrow, ncol)) continue;
        const int c = m.mask[spot.row][spot.col];
        const int n = m.mask[nrow][ncol];
        if (c == 0 || n == 0) continue;

        const low_spot_side sc = side_of(m, c, lakes_on, cell_area, above_made);
        const low_spot_side sn = side_of(m, n, lakes_on, cell_area, above_made);
        const double crest = spot.elevation;
        if (std::fabs(sc.surface - sn.surface) <= kLevelTolerance) continue;
        if (crest >= sc.surface && crest >= sn.surface) continue;

        const bool from_c = sc.surface > sn.surface;
        const low_spot_side& up = from_c ? sc : sn;
        const low_spot_side& down = from_c ? sn : sc;
        const double head = up.surface - crest;
        const double q = kWeirCoefficient * std::pow(head, 1.5) * spot.fraction * dx;
        // Never more than the water above the crest, nor than the upstream
        // side can give, and never past the level at which both surfaces
        // stand equal.
        const double above_crest = head * up.area;
        const double to_equal = (up.surface - down.surface) / (1.0 / up.area + 1.0 / down.area);
        const double volume = std::min({q * dt, above_crest, up.can_give, to_equal});
        spot.flow = (from_c ? 1.0 : -1.0) * volume / dt;
        change_volume(m, up, -volume, cell_area);
        change_volume(m, down, volume, cell_area);
    }
}

}  // namespace kesta
