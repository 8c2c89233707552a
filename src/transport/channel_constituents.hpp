// Dissolved constituents in the channel network and its lakes (with
// CHAN_CON_TRANS): the routing kernel over the stores and faces of the
// network, and the constituent side of the steps of the channel routing,
// the lakes and the bank exchange.
//
// Masses are g, concentrations g/m3, volumes m3, times s. Every mass the
// channels and lakes gain or lose is booked (in kg) when it moves.
#pragma once

#include "model/model_state_fwd.hpp"
#include "transport/network_faces.hpp"
#include "transport/sediment_state.hpp"
#include "transport/transport_state.hpp"

namespace kesta {

// The network as the routing kernel sees it: stores 1..rows (row 0 is the
// outside, beyond the outlet), the advective faces with the water each
// passed over the interval (positive from `up` to `down`), the dispersive
// faces between nodes, and by store the water at the start and the end of
// the interval, the spacing of a node (its water over its spacing is its
// flow area; 0 for a lake) and the dispersion coefficient (m2/s). Pointers
// are not owned.
struct chan_wq_network {
    int rows = 0;
    const wash_face* faces = nullptr;
    int nfaces = 0;
    const disp_face* disp = nullptr;
    int ndisp = 0;
    const double *water0 = nullptr, *water1 = nullptr, *length = nullptr, *disp_coef = nullptr;
};

// Work vectors, not owned: by store (rows + 1 elements) conc, mstar, mnew,
// m0, asked and out; by face (nfaces) pred, amount; by dispersive face
// (ndisp) dpred, damount.
struct chan_wq_work {
    double *conc = nullptr, *mstar = nullptr, *mnew = nullptr, *m0 = nullptr, *asked = nullptr, *out = nullptr;
    double *pred = nullptr, *amount = nullptr, *dpred = nullptr, *damount = nullptr;
};

struct chan_wq_result {
    bool ok = true;     // false: the sub-step fell below kChanWqSmallestStep (message printed, code 4000)
    int substeps = 0;   // sub-steps taken, restarts included
    int passes = 0;     // corrector passes
    int restarts = 0;   // times the interval was begun anew with a shorter sub-step
    bool set_by_flow = true;  // the flow set the sub-steps: the whole interval or its Courant limit, not
                              // corrector passes that did not settle or a mass that fell below zero
};

// Below this sub-step (s) the routing stops the run.
constexpr double kChanWqSmallestStep = 0.001;

// Moves one constituent's mass (g per store) over dt seconds through the
// network: upwind advection with the faces' water and dispersion between
// wet nodes, in sub-steps that keep every store's outflow within half its
// water (the Courant number over |water|), each a predictor and corrector
// passes until the concentrations settle. A store's water goes linearly
// from water0 to water1 over the interval; `rate` (g/s per store) enters
// evenly. A store gives no more in a sub-step than it holds, so no mass is
// made or lost: what leaves one store enters another or the outside.
// `face_total` (nfaces) receives what each face moved over the interval
// (g, positive from up to down). Should a store's mass still fall below
// -1e-6 g, the interval is begun anew from the masses it started with at
// half the sub-step.
chan_wq_result chan_wq_route(const chan_wq_network& net, double* mass, const double* rate, double dt,
                             chan_wq_work& w, double* face_total);

// The network's stores in the model state's rows, and the node water at
// the end of the channel step (chan_water_now).
network_rows chan_rows_of(const model_state& m);

// Water (m3) below which a store holds no concentration.
constexpr double kStoreMinWater = 1e-16;

// Concentration (g/m3) of a store of `water` m3 holding `mass` g: 0 for a
// store without water or without mass.
inline double store_conc(double mass, double water) {
    return water > kStoreMinWater && mass > 0.0 ? mass / water : 0.0;
}

// Hooks of the water's steps, each a no-op without CHAN_CON_TRANS.

// The channel step's point sources (chan_point_Q and the POINTSOURCE
// series) delivered `volume` m3 at node j of link l: an inflow brings the
// point's concentration, an outflow takes the node's (or its lake's).
void book_chan_point_volume(model_state& m, int j, int l, double volume);
// A lake takes node j of link l with its mass (before the node's water
// `volume` m3 joins its volume).
void lake_takes_node(model_state& m, int lake, int j, int l, double volume);
// A lake gives node j of link l back with `volume` m3 of its water.
void lake_gives_node(model_state& m, int lake, int j, int l, double volume);
// A lake takes cell `cell` with `water` m3 standing on it.
void lake_takes_cell(model_state& m, int lake, int cell, double water);
// Every lake's concentration of every constituent: its mass over its
// volume now (after its extent changed with its volume).
void lake_conc_of_volume(model_state& m);

// Contaminants attached to the wash load (SEDIMENT_CONTAM with channel
// sediment and CHAN_CON_TRANS); each a no-op without them.
bool chan_attached_on(const model_state& m);
// Stream cell `cell` gives node row `row` the share `share` of its
// suspended fine position `pos` and `deposited` m3 of its deposit: their
// attached and sorbed mass follow.
void attached_to_node(model_state& m, int cell, int row, int pos, double share, double deposited);
// A lake takes node row `row` and its attached mass.
void attached_node_to_lake(model_state& m, int row, int lake);
// The wash load's volumes at the start of its advection.
void keep_wash_start(model_state& m);
// `settled` m3 of fine position `pos` settle out of the `held` m3 that
// lake `lake` held: the share of its attached mass that settles with them
// (settle_attached).
void keep_settled_share(model_state& m, int lake, int pos, double settled, double held);
// After the wash load's advection, in order: the attached mass carried by
// the faces' volumes; the attached mass the overland brought onto lake
// cells joins the lakes; the share of each lake's attached mass whose
// sediment settled goes onto its cells.
void advect_attached(model_state& m);
void attached_cells_to_lakes(model_state& m);
void settle_attached(model_state& m);
// Linear sorption in one store of `water` m3 (> 0) holding `dissolved` g
// and by fine position `attached` g on `sediment` m3 of density `density`
// g/m3, with the partition coefficient kd (L/kg): the mass shares out anew
// (attached[0] their sum); returns what the dissolved mass gained (g).
// conc, kds and share are work space by position.
double share_out_store(double& dissolved, double* attached, int classes, const double* sediment,
                       const double* density, double water, double kd, double* conc, double* kds, double* share);
// After the routing: every wet node and lake shares out anew.
void partition_channel_attached(model_state& m);
// At the end of a channel constituent interval of dt seconds: the attached
// mass each node's downstream face carried over it, as a rate (g/s).
void attached_flux_of_interval(model_state& m, double dt);

}  // namespace kesta
