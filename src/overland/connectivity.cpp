// Start-up of the overland grid: neighbours, low-spot checks and slopes.
#include "overland/connectivity.hpp"

#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "overland/dikes_lowspots.hpp"
#include "overland/overland_steps.hpp"

namespace kesta {

void build_neighbor_index(int rows, int cols, vec1<int>& east, vec1<int>& south, vec1<int>& north,
                          vec1<int>& west, const mat2<int>& mask) {
    int k = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            if (mask[r][c] == 0) continue;
            ++k;
            east[k] = c == cols ? 0 : mask[r][c + 1];
            west[k] = c == 1 ? 0 : mask[r][c - 1];
            south[k] = r == rows ? 0 : mask[r + 1][c];
            north[k] = r == 1 ? 0 : mask[r - 1][c];
        }
    }
}

void build_cell_connectivity(model_state& m) {
    say_console(m, "building cell to cell connectivity information\n");
    build_neighbor_index(m.rows, m.cols, m.rightcon, m.belowcon, m.abovecon, m.leftcon, m.mask);
    if (m.dike_map_given && m.lowspot_file_given) validate_lowspots(m);
}

void init_overland_slopes(model_state& m) {
    const double dx = m.gridsize;
    // The x slope looks east; a cell with no east neighbour takes the slope
    // of the cell before it, which is its west neighbour when it has one.
    for (int i = 1; i <= m.ncells; ++i) {
        const int e = m.rightcon[i];
        m.sox[i] = e ? (m.elev[i] - m.elev[e]) / dx : m.sox[i - 1];
    }
    // The y slope looks south; the last cell of a column takes the slope of
    // the cell above it.
    for (int i = 1; i <= m.ncells; ++i) {
        const int s = m.belowcon[i];
        if (!s) continue;
        m.soy[i] = (m.elev[i] - m.elev[s]) / dx;
        if (m.belowcon[s] == 0) m.soy[s] = m.soy[i];
    }
}

}  // namespace kesta
