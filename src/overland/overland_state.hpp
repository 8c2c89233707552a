// Members of the model state owned by rainfall and overland flow. Per-cell
// vectors have ncells + 1 elements, cell k at index k.
#pragma once

#include "core/arrays.hpp"

namespace kesta {

struct overland_state {
    vec1<double> h;            // overland water depth (m)
    vec1<double> h_max_flood;  // largest depth of the run (m), with FLOOD_GRID
    vec1<double> h_old, h_dep;
    vec1<double> ri;  // rain intensity (mm/h)
    vec1<double> dh, sox, soy;
    vec1<double> qx, qy;  // face discharge to the right and lower neighbour (m3/s)
    vec1<double> volx, voly;
    vec1<double> qmap;  // with DISCHARGE or CHAN_DISCHARGE maps
    vec1<double> hdummy, qdummy;

    // Cell numbers of the neighbours, 0 where there is none.
    vec1<int> belowcon, rightcon, abovecon, leftcon;
    vec1<int> yes_exfil;

    vec1<double> retent_dep;  // retention depth (m)
    vec1<double> dist_rough;  // Manning roughness

    vec1<int> lake_num;  // channel-network lake of each cell
    vec1<int> oland_lake_mask, oland_lake_new;

    // Working switches copied from the cards.
    int flood_grid_given = 0;
    int discharge_given = 0;
    int overland_lake_map_given = 0;
};

}  // namespace kesta
