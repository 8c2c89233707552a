// Culverts of the structure links: the discharge of a circular, oval or box
// barrel between an upstream and a downstream water level in every flow
// regime (inlet control, outlet control, full and part-full barrels), and
// the section geometry and critical depth it rests on.
#pragma once

#include <functional>

namespace kesta {

struct struct_element;

enum culvert_shape : int { culvert_circle = 1, culvert_oval = 2, culvert_box = 3 };

// Shape of a culvert element (types round, oval and rect culvert).
int culvert_shape_of(const struct_element& e);

// Flow area (m2), wetted perimeter (m) and top width (m) of a barrel.
struct barrel_section {
    double area = 0.0;
    double perimeter = 0.0;
    double top_width = 0.0;
};
// The section at depth y (m) of a barrel of first dimension d (diameter; the
// rise of a box) and second dimension w (the span of a box or an oval). A
// full circle or box has no top width. The oval is a fitted polynomial in
// y / d whose area and hydraulic radius are kept above small positive
// values at tiny depths.
barrel_section culvert_section_props(double d, double y, double w, int shape);

// Critical depth yc (m) of discharge q (m3/s) in a circle or box barrel.
// False, with code 122 (no convergence) or 123 (oval) stored with the stop
// flag, when it cannot be found.
bool crit_calc(double q, double d, double w, int shape, double& yc);

// A root of f between x1 and x2, to within tol, by Brent's method (at most
// 100 iterations; more prints a notice and gives the last estimate). NaN,
// with code 124 stored with the stop flag, when f has the same sign at both
// ends; NaN as well when f gives NaN (its own failure is then pending).
double zbrent(const std::function<double(double)>& f, double x1, double x2, double tol);

// What one culvert evaluation gives: the discharge (m3/s, negative when the
// water flows from the downstream side), the flow-type code (0 no flow, 1-6
// the regime, negative for reversed flow), and the critical depth (m) and
// flow area (m2) of a circle or box under inlet control (else the barrel's
// first dimension and 3.14 d^2 / 2). `ok` is false after a failure whose
// code is pending in the error record.
struct culvert_flow {
    double q = 0.0;
    int flow_type = 0;
    double yc = 0.0;
    double area = 0.0;
    bool ok = true;
};

// The discharge of culvert element e at upstream level h_up and downstream
// level h_down (m). Its geometry is checked when it is read: barrel length
// at least 0.0001 m, dimensions above 0.
culvert_flow culv_flow(const struct_element& e, double h_up, double h_down);

// Sets e's inlet-control coefficient from its geometry and forward
// coefficient: the drowned-inlet flow at 1.5 barrel depths of head over
// critical flow (coefficient 1) at 1.49 depths, 0.99 where that exceeds 1.
// False when an evaluation failed (code pending).
bool set_culvert_coefficient(struct_element& e);

}  // namespace kesta
