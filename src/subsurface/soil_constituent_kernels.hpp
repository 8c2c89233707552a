// Small numerical services of the soil column that the constituent code calls
// per cell and constituent: the share of a pending amount that falls in a
// sub-step, the budget of one constituent in one cell over a transport
// sub-step, and the first-order loss of a constituent from one soil layer.
#pragma once

#include <vector>

#include "core/arrays.hpp"
#include "subsurface/subsurface_state.hpp"

namespace kesta {

// The part of `value` that falls in a sub-step of length a when it applies
// over an interval of length b: value x a / b when a falls short of b by more
// than `tolerance`, otherwise the whole value.
double scale_by_ratio(double a, double tolerance, double b, double value);

// How a pending amount changes the cell's mass.
enum class budget_kind { neither, gain, loss };

// One term of a cell's constituent budget: a pending amount (`store`) that
// applies over `interval`, whose share of the sub-step moves the cell's mass.
// Pointers are not owned; the optional ones may be null.
struct budget_term {
    bool on = false;  // the term's switches (and masks) hold for this cell
    budget_kind kind = budget_kind::neither;
    bool in_rate = true;     // counted in the returned rate
    bool limited = true;     // a gain that would leave no mass is cut back
    double* store = nullptr;        // pending amount, lowered by the share
    double interval = 0.0;          // over which the store applies (s)
    double* accumulator = nullptr;  // receives the share
    bool set_accumulator = false;   // the accumulator takes the share rather than adding it
    double* record = nullptr;       // also receives the share
    double* gained_total = nullptr;  // receives a positive share
    double* lost_total = nullptr;    // gives up a negative share (it is subtracted)
};

// Applies the terms in order over a sub-step of length dts to a cell holding
// `mass`, and returns (gains - losses of the terms counted in the rate) /
// dts. A term counts only when it is on and its store exceeds 1e-16 in size;
// its share is scale_by_ratio(dts, tolerance, interval, store). When a share
// would leave the cell with no mass (0 or less), it is cut to what leaves the
// cell at exactly 0. A cell inside an overland lake (`in_lake`) returns 0 and
// changes nothing.
double soil_contam_cell_budget(std::vector<budget_term>& terms, double dts, double tolerance, double mass,
                               bool in_lake);

// The soil-layer arrays of the constituent code, indexed [cell][layer] unless
// said. Not owned.
struct soil_layer_arrays {
    vec1<double>* accumulator;          // per constituent: mass lost (g)
    const mat2<double>* rate;           // [constituent][cell]: loss rate (1/s)
    mat2<double>* mass;                 // layer mass (g)
    const mat2<double>* dissolved;      // dissolved fraction of the layer mass
    mat2<double>* concentration;        // g per kg of soil
    const vec1<double>* porosity;       // per cell
    const vec1<double>* thickness;      // per layer (m)
    const std::vector<soil_class_record>* soil_class;
    const vec1<int>* soiltype;          // per cell
};

// First-order loss over dt seconds of constituent k from `layer` of `cell`:
// rate x dissolved mass x dt, at most the dissolved mass. With `count_only`
// and a layer other than 0 only the accumulator records it. Otherwise the
// layer loses it and its concentration is recomputed against the layer's
// soil mass, (1 - porosity) x thickness x 2650 kg/m3 x dx^2 (dx in m); a
// layer with no soil mass (thickness 0 or porosity 1) has concentration 0.
// The porosity is the cell's (`porosity_from_class` 0) or the soil class's:
// slot 7 for layer 1, slot 8 for layer 2 of a two-layer soil (else slot 7),
// slot 8 for deeper layers.
void soil_layer_constituent_loss(int k, int cell, int layer, const soil_layer_arrays& a, double dt,
                                 bool count_only, double dx, int porosity_from_class, int soil_layers);

}  // namespace kesta
