// Overland pumps: each takes water out of one cell at a rate from an
// elevation series (by depth) or a time series (by model time).
#pragma once

#include "core/arrays.hpp"
#include "input/time_series.hpp"

namespace kesta {

// Takes each overland pump's volume over dt seconds out of its cell's depth
// (m), at most the depth the cell holds. dx is the cell size (m).
void apply_overland_pumps(vec1<double>& depth, double dt, double t, double dx);

}  // namespace kesta
