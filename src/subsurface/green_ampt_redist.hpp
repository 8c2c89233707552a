// Green and Ampt infiltration with redistribution: between bursts of rain the
// moisture of the wetted zone relaxes downward, so that the next burst meets
// a drier surface than plain Green and Ampt would assume. The kernel
// (green_ampt_redist, declared with the loop steps) uses the pieces below.
#pragma once

namespace kesta {

// Brooks-Corey relative saturation (theta - thr) / (phi - thr), held within
// [0, 1] so that no power of it is taken of a negative number; 0 when the
// moisture range is empty.
double relative_saturation(double theta, double thr, double phi);

// Brooks-Corey unsaturated conductivity Ks Se^(2/lambda + 3), in the units of
// ks, for a relative saturation se in [0, 1].
double brooks_corey_conductivity(double ks, double se, double lambda);

// Infiltration capacity (m/s) over a step of dt seconds of a soil of
// conductivity ks (m/s) whose wetting front has taken in F (m), with
// suction = capillary head x moisture deficit (m):
// ((Ks dt - 2F) + sqrt((Ks dt - 2F)^2 + 8 (suction + F) Ks dt)) / (2 dt),
// the two-point form of the Green and Ampt rate. A suction below 0 counts as
// 0, which gives ks.
double redistribution_capacity(double ks, double suction, double F, double dt);

// Moisture of the wetted zone after dt seconds of redistribution: a zone at
// theta0 above the initial moisture thi holding infiltrated depth I (m) takes
// supply r (m/s) and loses to gravity and to the capillary pull of the dry
// soil below, dtheta0 = (r - K(thi) - K(theta0) - Ks G (theta0 - thi) / I)
// (theta0 - thi) dt / I with Ks (m/s), the capillary head hc (m) and lambda.
// G is the capillary drive of the wetted zone; a fully saturated initial soil
// takes hc. The result stays within [thi, phi]. Returns theta0 unchanged when
// I is not above 0 (no zone to redistribute).
double redistributed_moisture(double theta0, double thi, double thr, double phi, double ks, double hc,
                              double lambda, double r, double I, double dt);

}  // namespace kesta
