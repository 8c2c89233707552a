#include "subsurface/richards_retention.hpp"

#include <cmath>

namespace kesta {

void set_brooks_corey_cap(richards_soil& s) {
    const double sc = 2.0 / (2.0 + s.lambda);
    s.cap_se = sc;
    s.cap_theta = s.thetar + (s.thetas - s.thetar) * sc;
    s.cap_head = s.bubbling * std::pow(sc, -1.0 / s.lambda);
    s.cap_coeff = (1.0 - sc) * std::pow(sc, 2.0 / s.lambda) / (s.bubbling * s.bubbling);
}

double theta_from_head(const richards_soil& s, retention_model model, double h) {
    if (h >= 0.0) return s.thetas;
    const double range = s.thetas - s.thetar;
    if (model == retention_model::havercamp) return s.thetar + range / (std::pow(-h / s.alpha, s.beta) + 1.0);
    if (h <= s.cap_head) return s.thetar + range * std::pow(s.bubbling / h, s.lambda);
    return s.thetar + range * (1.0 - s.cap_coeff * h * h);
}

bool head_from_theta(const richards_soil& s, retention_model model, double theta, double& h) {
    const double se = (theta - s.thetar) / (s.thetas - s.thetar);
    if (!(se > 0.0)) return false;
    if (se >= 1.0) {
        h = 0.0;
        return true;
    }
    if (model == retention_model::havercamp) {
        h = -s.alpha * std::pow(1.0 / se - 1.0, 1.0 / s.beta);
    } else if (se > s.cap_se) {
        h = -std::sqrt((1.0 - se) / s.cap_coeff);
    } else {
        h = s.bubbling / std::pow(se, 1.0 / s.lambda);
    }
    return true;
}

hydraulic_props hydraulic_properties(const richards_soil& s, retention_model model, double h, double theta) {
    const double range = s.thetas - s.thetar;
    if (model == retention_model::havercamp) {
        if (h >= 0.0) return {1.0, 0.0};
        const double x = -h / s.alpha;
        const double xb = std::pow(x, s.beta);
        const double denominator = xb + 1.0;
        return {s.a / (s.a + std::pow(-h, s.b)),
                range * (s.beta / s.alpha) * std::pow(x, s.beta - 1.0) / (denominator * denominator)};
    }
    if (h > 0.0) return {1.0, 0.0};
    if (h <= s.cap_head) {
        const double x = h / s.bubbling;
        return {std::pow(x, -(3.0 * s.lambda + 2.0)),
                -range * (s.lambda / s.bubbling) * std::pow(x, -(s.lambda + 1.0))};
    }
    double se = (theta - s.thetar) / range;
    se = se < 0.0 ? 0.0 : (se > 1.0 ? 1.0 : se);
    return {std::pow(se, 3.0 + 2.0 / s.lambda), -2.0 * h * s.cap_coeff * range};
}

bool unsaturated_state(const richards_soil& s, retention_model model, double theta, double& h, hydraulic_props& p) {
    const double range = s.thetas - s.thetar;
    const double se = (theta - s.thetar) / range;
    if (!(se > 0.0 && se < 1.0)) return false;
    if (model == retention_model::havercamp) {
        const double xb = 1.0 / se - 1.0;  // (|h| / alpha)^beta
        const double x = std::pow(xb, 1.0 / s.beta);
        h = -s.alpha * x;
        const double denominator = xb + 1.0;
        p = {s.a / (s.a + std::pow(-h, s.b)), range * (s.beta / s.alpha) * (xb / x) / (denominator * denominator)};
    } else if (se > s.cap_se) {
        h = -std::sqrt((1.0 - se) / s.cap_coeff);
        p = {std::pow(se, 3.0 + 2.0 / s.lambda), -2.0 * h * s.cap_coeff * range};
    } else {
        // With r = Se^(1/lambda): h = bubbling / r, Kr = Se^3 r^2 and the
        // capacity -range (lambda / bubbling) Se r.
        const double r = std::pow(se, 1.0 / s.lambda);
        h = s.bubbling / r;
        p = {se * se * se * r * r, -range * (s.lambda / s.bubbling) * se * r};
    }
    return true;
}

}  // namespace kesta
