// Weirs, sag weirs and culverts against hand-worked hydraulics, and the sum
// over the elements of a structure link.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "channel/channel_state.hpp"
#include "channel/culverts.hpp"
#include "channel/structures.hpp"
#include "core/error_record.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"

namespace {

using namespace kesta;

constexpr double kPi = 3.14159265358979;

class Structures : public testing::Test {
protected:
    void SetUp() override { g_error_record.clear_for_run(); }
    void TearDown() override { g_error_record.clear_for_run(); }
};

struct_element weir(double length, double crest) {
    struct_element e;
    e.type = struct_weir;
    e.length = length;
    e.crest = crest;
    e.coeff_forward = e.coeff_reverse = 1.0;
    return e;
}

struct_element culvert(int type, double d, double w, double length, double z_up, double z_dn) {
    struct_element e;
    e.type = type;
    e.dim1 = d;
    e.dim2 = w;
    e.length = length;
    e.crest = z_up;
    e.down_invert = z_dn;
    e.down_invert_given = true;
    e.roughness = 0.013;
    e.coeff_forward = e.coeff_reverse = 1.0;
    return e;
}

// Full-barrel flow with entrance, Manning friction and exit losses.
double full_barrel(double area, double radius, double length, double dh) {
    return area * std::sqrt(dh / (0.013 * 0.013 * length / std::pow(radius, 4.0 / 3.0) + 1.0 / 19.62));
}

TEST_F(Structures, BroadCrestedWeirIsFreeThenDrownedAndTakesItsSignFromTheLevels) {
    const struct_element e = weir(10.0, 100.0);
    EXPECT_NEAR(weir_flow(e, 101.0, 99.0), 17.04895, 1e-5);  // 1.7049 C L h^1.5
    EXPECT_NEAR(weir_flow(e, 99.0, 101.0), -17.04895, 1e-5);
    // At the switch (tailwater 2/3 of the head above the crest) both forms agree.
    const double h2 = 2.0 / 3.0;
    EXPECT_NEAR(weir_flow(e, 101.0, 100.0 + h2 - 1e-9), weir_flow(e, 101.0, 100.0 + h2), 1e-6);
    // The drowned form goes linear below 0.01 m of drop without a jump.
    EXPECT_NEAR(weir_flow(e, 100.51, 100.5), weir_flow(e, 100.51 + 1e-9, 100.5), 1e-6);
    EXPECT_NEAR(weir_flow(e, 100.505, 100.5), 0.5 * weir_flow(e, 100.51, 100.5), 1e-3);
    EXPECT_EQ(weir_flow(e, 100.0, 100.0), 0.0);
    EXPECT_EQ(weir_flow(e, 99.0, 98.0), 0.0);
}

TEST_F(Structures, SagWeirFollowsItsParabolicCrest) {
    struct_element e = weir(10.0, 100.0);
    e.type = struct_sag_weir;
    e.dim1 = -0.5;  // steep slope
    e.dim2 = 0.3;   // shallow slope
    const double s1 = e.dim1, a = (e.dim2 - s1) / 20.0;
    const double x0 = -s1 / (2.0 * a), c = 100.0 - a * x0 * x0 - s1 * x0, h = 101.2;
    const double expected = std::sqrt(19.62) / a *
                            (std::sqrt(h - 100.0) * 2.0 * (s1 * s1 - 4.0 * a * (c + 100.0 - 2.0 * h)) *
                             std::sqrt(s1 * s1 + 4.0 * a * (h - c)) / a / 32.0);
    EXPECT_NEAR(sag_weir_flow(e, h, 90.0), expected, 1e-9 * expected);
    EXPECT_NEAR(sag_weir_flow(e, 100.5, h), -expected, 1e-9 * expected);  // the lower level does not enter
    EXPECT_EQ(sag_weir_flow(e, 100.0, 99.0), 0.0);
}

TEST_F(Structures, CircleSectionAndCriticalDepth) {
    const barrel_section half = culvert_section_props(1.0, 0.5, 0.0, culvert_circle);
    EXPECT_NEAR(half.area, 0.392699, 1e-6);
    EXPECT_NEAR(half.perimeter, 1.570796, 1e-6);
    EXPECT_NEAR(half.top_width, 1.0, 1e-12);
    double yc = 0.0;
    ASSERT_TRUE(crit_calc(1.0, 1.0, 0.0, culvert_circle, yc));
    EXPECT_NEAR(yc, 0.57302, 1e-5);
    EXPECT_FALSE(crit_calc(1.0, 1.0, 1.0, culvert_oval, yc));
    EXPECT_EQ(g_error_record.code, 123);
    // An oval at or above its rise is full; near its invert it keeps a
    // positive area and radius.
    EXPECT_NEAR(culvert_section_props(1.0, 2.0, 1.5, culvert_oval).area, 0.7942021518 * 1.5, 1e-9);
    const barrel_section low = culvert_section_props(1.0, 0.001, 1.5, culvert_oval);
    EXPECT_GT(low.area, 0.0);
    EXPECT_GT(low.area / low.perimeter, 0.0);
}

TEST_F(Structures, BrentFindsABracketedRootAndRefusesAnUnbracketedOne) {
    const double root = zbrent([](double x) { return x * x * x - 2.0; }, 0.0, 2.0, 1e-10);
    EXPECT_NEAR(root, std::cbrt(2.0), 1e-9);
    EXPECT_TRUE(std::isnan(zbrent([](double x) { return x * x + 1.0; }, -1.0, 1.0, 1e-6)));
    EXPECT_EQ(g_error_record.code, 124);
}

// A 1 m barrel 100 m long (n = 0.013) with 1 m between the levels.
TEST_F(Structures, LongMildCulvertFlowsFullToTheTailwaterOrToMidHeight) {
    const struct_element e = culvert(struct_round_culvert, 1.0, 0.0, 100.0, 10.0, 9.95);
    const culvert_flow drowned = culv_flow(e, 11.8, 10.8);
    EXPECT_EQ(drowned.flow_type, 4);
    EXPECT_NEAR(drowned.q, 1.9742, 1e-4);
    EXPECT_NEAR(drowned.q, full_barrel(kPi / 4.0, 0.25, 100.0, 1.0), 1e-6);
    const culvert_flow reversed = culv_flow(e, 10.8, 11.8);
    EXPECT_EQ(reversed.flow_type, -4);
    EXPECT_NEAR(reversed.q, -drowned.q, 1e-12);
    // Tailwater at mid-height: the barrel drains to mid-height.
    const culvert_flow mid = culv_flow(e, 11.8, 10.45);
    EXPECT_EQ(mid.flow_type, 6);
    EXPECT_NEAR(mid.q, full_barrel(kPi / 4.0, 0.25, 100.0, 11.8 - 10.45), 1e-6);
    // A box uses its own full area and hydraulic radius.
    const struct_element box = culvert(struct_rect_culvert, 1.0, 2.0, 100.0, 10.0, 9.95);
    EXPECT_NEAR(culv_flow(box, 11.8, 10.8).q, full_barrel(2.0, 2.0 / 6.0, 100.0, 1.0), 1e-6);
    // Tailwater over the outlet crown with less than 1.5 rises of head still
    // passes the full-barrel flow.
    const culvert_flow low_head = culv_flow(e, 11.3, 11.0);
    EXPECT_EQ(low_head.flow_type, 4);
    EXPECT_NEAR(low_head.q, full_barrel(kPi / 4.0, 0.25, 100.0, 0.3), 1e-6);
}

TEST_F(Structures, ShortCulvertRegimes) {
    // Submerged outlet: with Cd = 1 the loss factor gives the full-barrel
    // relation in metres.
    const struct_element e = culvert(struct_round_culvert, 1.0, 0.0, 30.0, 10.0, 9.9);
    const culvert_flow drowned = culv_flow(e, 12.0, 11.0);
    EXPECT_EQ(drowned.flow_type, 4);
    EXPECT_NEAR(drowned.q, full_barrel(kPi / 4.0, 0.25, 30.0, 1.0), 1e-6);
    // A steep barrel whose outlet is drowned but whose inlet is not flows as well.
    const struct_element steep = culvert(struct_round_culvert, 1.0, 0.0, 30.0, 10.0, 9.0);
    EXPECT_EQ(culv_flow(steep, 10.6, 10.2).flow_type, 4);
    EXPECT_GT(culv_flow(steep, 10.6, 10.2).q, 0.0);
    // Free outlet, low head: critical depth at the inlet.
    struct_element inlet = culvert(struct_round_culvert, 1.0, 0.0, 30.0, 10.0, 9.0);
    ASSERT_TRUE(set_culvert_coefficient(inlet));
    const culvert_flow free = culv_flow(inlet, 10.8, 8.0);
    ASSERT_TRUE(free.ok);
    EXPECT_EQ(free.flow_type, 1);
    double yc = 0.0;
    ASSERT_TRUE(crit_calc(free.q, 1.0, 0.0, culvert_circle, yc));
    EXPECT_NEAR(free.yc, yc, 1e-9);
    EXPECT_NEAR(free.area, culvert_section_props(1.0, yc, 0.0, culvert_circle).area, 1e-12);
    const double c = (1.0 - 0.8 / 1.5) * 1.0 + inlet.culvert_coeff * 0.8 / 1.5;
    EXPECT_NEAR(free.q, c * free.area * std::sqrt(19.62 * (0.8 - yc)), 1e-3);
    // An oval passes nothing under inlet control and keeps the regime's code.
    struct_element oval = culvert(struct_oval_culvert, 1.0, 1.5, 30.0, 10.0, 9.0);
    ASSERT_TRUE(set_culvert_coefficient(oval));
    const culvert_flow none = culv_flow(oval, 10.8, 8.0);
    EXPECT_EQ(none.flow_type, 1);
    EXPECT_EQ(none.q, 0.0);
    // Inverts below the datum: a given downstream invert and the slope
    // that places it give the same barrel.
    const struct_element coastal = culvert(struct_round_culvert, 1.0, 0.0, 30.0, -2.0, -2.03);
    struct_element sloped = coastal;
    sloped.down_invert_given = false;
    sloped.down_invert = 0.0;
    sloped.slope = 0.001;
    const culvert_flow part = culv_flow(coastal, -1.2, -1.4);
    EXPECT_EQ(part.flow_type, 3);
    EXPECT_NEAR(part.q, culvert_section_props(1.0, 0.63, 0.0, culvert_circle).area * std::sqrt(19.62 * 0.2), 1e-9);
    EXPECT_NEAR(culv_flow(sloped, -1.2, -1.4).q, part.q, 1e-9);
}

TEST_F(Structures, StructureLinkSumsItsElements) {
    auto m = std::make_unique<model_state>();
    elev_series rating{"rating", {0.0, 200.0}, {0.0, 4.0}};
    m->struct_links.assign(3, struct_link_elems());
    m->struct_links[2] = {3, 1, 3};
    m->struct_elements.assign(4, struct_element());
    m->struct_elements[1] = weir(10.0, 100.0);
    m->struct_elements[2] = culvert(struct_round_culvert, 1.0, 0.0, 100.0, 99.0, 98.95);
    m->struct_elements[3].type = struct_rating_curve;
    m->struct_elements[3].es = &rating;
    const double q = structure_flow(*m, 2, 101.0, 99.8);
    EXPECT_NEAR(q, 17.04895 + full_barrel(kPi / 4.0, 0.25, 100.0, 1.2) + 101.0 / 200.0 * 4.0, 1e-4);
}

}  // namespace
