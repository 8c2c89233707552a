// Tile drains. Each grid-pipe entry ties a cell to input pipe k of a
// superlink (its upstream node k) with a share pct of the pipe's length
// under that cell. The drain's water level is the depth at node k above its
// invert; the water table above it drives Hooghoudt's steady drainage rate
// q (m/h per unit of land) for drains spaced L apart, so the drain takes
// q L over each metre of its length: q L dx pct / 3600 m3/s.
#include "channel/superlink/tile_drains.hpp"

#include <cmath>

#include "core/error_record.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

constexpr double kPi = 3.14;            // as Moody's fit was made
constexpr double kMinHead = 0.0001;     // m of water table above the drain's level that drains
constexpr double kSecondsPerHour = 3600.0;

}  // namespace

double moody_equivalent_depth(double d, double L, double r0) {
    if (d <= 0.0) return 0.0;
    const double x = d / L;
    if (x < 0.3) return d / (1.0 + x * (8.0 / kPi * std::log(d / r0) - (3.55 - 1.6 * x + 2.0 * x * x)));
    return kPi * L / (8.0 * (std::log(L / r0) - 1.15));
}

double hooghoudt_rate(double K, double de, double m, double L) {
    return (8.0 * K * de * m + 4.0 * K * m * m) / (L * L);
}

int tile_drain_inflow(storm_drain_state& s, const vec1<double>& elevgw, const vec1<double>& bottom_elev) {
    bool differs = false;
    for (int c = 1; c <= s.n_pipecells; ++c) {
        for (int e = 1; e <= s.gpi_ncellsingrid[c]; ++e) {
            const int l = s.gpi_link[c][e], k = s.gpi_node[c][e], g = s.gpi_gnum[c][e];
            const double level = s.slink_node_depth[l][input_node_cnode(s, l, k)] + s.slink_node_Zinv[l][k];
            if (level != elevgw[g]) differs = true;
        }
    }
    if (!differs) return 0;
    for (int c = 1; c <= s.n_pipecells; ++c)
        for (int e = 1; e <= s.gpi_ncellsingrid[c]; ++e) s.tilerecharge_to_gw[s.gpi_gnum[c][e]] = 0.0;
    for (int c = 1; c <= s.n_pipecells; ++c) {
        for (int e = 1; e <= s.gpi_ncellsingrid[c]; ++e) {
            const int l = s.gpi_link[c][e], k = s.gpi_node[c][e], g = s.gpi_gnum[c][e];
            const int p = input_pipe_cpipe(s, l, k);
            const double K = s.superlink_pipe_conductivity[l][p];
            if (K <= 0.0) continue;  // a plain pipe takes no water from the soil
            const double invert = s.slink_node_Zinv[l][k];
            const double head = elevgw[g] - (s.slink_node_depth[l][input_node_cnode(s, l, k)] + invert);
            if (head <= kMinHead) continue;
            const double d = invert - bottom_elev[g];
            if (d < 0.0) {
                store_refusal(format_text("Error: Pipe invert must be above the botth of the aquifer\n"
                                          "(superlink %d, node %d: invert %.4f m; aquifer bottom %.4f m under "
                                          "active cell %d)\n",
                                          l, k, invert, bottom_elev[g], g));
                return 1;
            }
            const double L = s.drain_spacing[l][p];
            const double de = moody_equivalent_depth(d, L, 0.5 * s.diameter[l][p]);
            // Moody's fit holds for drains spaced well apart: spaced within a
            // few diameters its denominators reach 0 or turn negative, which
            // would make an infinite flow or a drain that pushes water into
            // the ground.
            if (d > 0.0 && !(std::isfinite(de) && de > 0.0)) {
                store_refusal(format_text("Error: storm-sewer PIPE card of pipe %d of superlink %d: drain spacing %g m "
                                          "is too close for its diameter %g m (at %.4f m above the aquifer bottom "
                                          "under active cell %d the equivalent depth is %g m, not above 0)\n",
                                          k, l, L, s.diameter[l][p], d, g, de));
                return 1;
            }
            const double q = hooghoudt_rate(K, de, head, L) * L * s.dx[l][k] * s.gpi_pct[c][e] / kSecondsPerHour;
            s.Q_tile_grid[g] += q;
            s.superlink_tile_flow[l][k] += q;
        }
    }
    return 1;
}

}  // namespace kesta
