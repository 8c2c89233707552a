// Soil-water retention and unsaturated conductivity of the Richards soil
// columns, by Brooks and Corey (with a parabolic cap near saturation) or by
// Havercamp. Heads are in cm, negative in unsaturated soil; conductivities
// in cm/h.
#pragma once

namespace kesta {

enum class retention_model { brooks_corey = 1, havercamp = 2 };

// The soil of one node of a column.
struct richards_soil {
    double thetas = 0.0;   // saturated moisture (porosity)
    double thetar = 0.0;   // residual moisture
    double thetawp = 0.0;  // wilting point
    double thetafc = 0.0;  // field capacity
    // Brooks and Corey.
    double lambda = 0.0;    // pore distribution index
    double bubbling = 0.0;  // bubbling pressure head (cm, negative)
    // The parabola that replaces the curve above the cap head: it meets the
    // curve there with equal moisture and slope and reaches saturation at a
    // head of 0. Set by set_brooks_corey_cap.
    double cap_theta = 0.0;  // moisture at the cap head
    double cap_head = 0.0;   // cm
    double cap_se = 0.0;     // relative saturation at the cap head
    double cap_coeff = 0.0;  // 1 - Se = cap_coeff h^2 above the cap head (1/cm2)
    // Havercamp.
    double alpha = 0.0;  // cm
    double beta = 0.0;
    double a = 0.0;      // conductivity: A / (A + |h|^B)
    double b = 0.0;
};

// Fills the cap of a Brooks and Corey soil from its moistures, lambda and
// bubbling head: cap moisture thetar + (thetas - thetar) 2 / (2 + lambda), cap
// head bubbling (2 / (2 + lambda))^(-1/lambda).
void set_brooks_corey_cap(richards_soil& s);

// Moisture at head h; thetas for h >= 0.
double theta_from_head(const richards_soil& s, retention_model model, double h);
// Head of moisture theta, the inverse of theta_from_head: 0 from saturation
// up; false (h unchanged) at or below the residual moisture, where the head
// is undefined.
bool head_from_theta(const richards_soil& s, retention_model model, double theta, double& h);

// Relative conductivity (0..1) and moisture capacity dtheta/dh (1/cm) of a
// node at head h holding moisture theta; 1 and 0 at h > 0 (and at h = 0 for
// Havercamp). In the Brooks and Corey cap the conductivity follows the
// node's own moisture.
struct hydraulic_props {
    double kr = 0.0;
    double capacity = 0.0;
};
hydraulic_props hydraulic_properties(const richards_soil& s, retention_model model, double h, double theta);

// For a node of moisture theta between the residual and saturated
// moistures: its head (head_from_theta) and its hydraulic_properties at that
// head, with fewer powers than the two calls. False, nothing set, outside.
bool unsaturated_state(const richards_soil& s, retention_model model, double theta, double& h, hydraulic_props& p);

}  // namespace kesta
