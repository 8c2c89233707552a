// Small numerical services that the constituent steps call per cell and
// constituent: the part of an amount that goes with part of a whole, the
// budget of the changes a process step makes to one cell's mass, and the
// first-order loss of a constituent from one soil layer.
//
// Every change moves mass at once, from the mass the cell or layer holds
// when it comes; a loss never takes more than is held, so no mass goes
// below zero and every gram moved is booked where it went.
#pragma once

namespace kesta {

// The part of `value` that goes with a part `a` of a whole `b` (the mass
// that leaves with `a` m3 of the `b` m3 of water it is dissolved in):
// value x (a / b) when a falls short of b by more than `tolerance`,
// otherwise the whole value.
double scale_by_ratio(double a, double tolerance, double b, double value);

// How a term of a cell's budget changes its mass.
enum class budget_kind {
    amount,       // `value` g: a gain when positive, a loss when negative
    first_order,  // a loss of the share `value` (0 to 1) of what the cell holds when the term comes
};

// One change of a cell's mass within a process step.
struct budget_term {
    bool on = false;  // the term's switches hold for this cell
    budget_kind kind = budget_kind::amount;
    double value = 0.0;
    double moved = 0.0;  // set by the budget: g the term moved, a gain positive (0 for a term that is off)
};

// Applies the `count` terms that are on, in order, to a cell holding `mass`
// g, each to what the terms before it left: a loss takes at most what the
// cell then holds (a first-order loss of a cell holding nothing takes
// nothing), so the cell never ends below zero. Returns the mass after the
// terms.
double soil_contam_cell_budget(budget_term* terms, int count, double mass);

// First-order loss from a soil layer holding `mass` g of which the share
// `dissolved` (0 to 1) is in its pore water: the dissolved mass decays by
// the share `lost` (1 - exp(-rate dt) over the interval), at most what the
// layer holds. Returns the grams lost, which leave `mass`. A layer holding
// nothing loses nothing.
inline double soil_layer_constituent_loss(double& mass, double dissolved, double lost) {
    if (!(mass > 0.0)) return 0.0;
    double g = dissolved * mass * lost;
    if (g > mass) g = mass;
    mass -= g;
    return g;
}

}  // namespace kesta
