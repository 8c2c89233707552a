// Multi-layer Green and Ampt: the wetting front advances through three soil
// layers of the cell's soil class, and the soil above it conducts as the
// depth-weighted harmonic mean of the layers it has crossed. The kernel
// (green_ampt_multilayer, declared with the loop steps) uses the piece below.
#pragma once

namespace kesta {

// Conductivity of a wetted soil whose front has crossed thickness[j] (cm) of
// layer j + 1, of conductivity k[j]: the total thickness over the sum of
// thickness / k. Layers not reached (thickness 0 or less) do not count; a
// front that has crossed nothing conducts at k[0]; a crossed layer that does
// not conduct (k 0 or less) stops the flow (0).
double layered_conductivity(const double thickness[3], const double k[3]);

}  // namespace kesta
