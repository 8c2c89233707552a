// The soil-graph step against independent results: a first-order chain
// against the classical Runge-Kutta values and the exact solution, and the
// repair of overdrawn pools.
#include <gtest/gtest.h>

#include <cmath>

#include "nutrients/source/soil_graph.hpp"
#include "warning_capture.hpp"

using namespace VEGSO;

namespace {

// A -> B -> C with first-order rates 0.1 and 0.2 per day.
const GraphTopology& chain() {
    static const GraphTopology t({"A", "B", "C"}, {{"A_to_B", 0, 1, PathwayOrder::First, 0.1},
                                                   {"B_to_C", 1, 2, PathwayOrder::First, 0.2}});
    return t;
}

}  // namespace

TEST(SoilGraphStep, FirstOrderChainMatchesRungeKuttaAndConvergesToTheExactSolution) {
    GraphState<3, 2> g(chain(), 100.0);
    g.step(1.0);
    // Classical fourth-order Runge-Kutta over one day; exact 90.48374,
    // 90.48374 and 119.03252.
    EXPECT_NEAR(g.mass(0), 90.48375, 5e-6);
    EXPECT_NEAR(g.mass(1), 90.48375, 5e-6);
    EXPECT_NEAR(g.mass(2), 119.0325, 5e-5);
    for (int i = 1; i < 10; ++i) g.step(1.0);
    EXPECT_NEAR(g.mass(0), 36.78798, 5e-6);  // exact 36.78794
    EXPECT_NEAR(g.mass(1), 36.78798, 5e-6);
    EXPECT_NEAR(g.totalMass(), 300.0, 1e-12);

    // A hundred steps of a hundredth of a day reach the exact solution.
    GraphState<3, 2> fine(chain(), 100.0);
    for (int i = 0; i < 100; ++i) fine.step(0.01);
    EXPECT_NEAR(fine.mass(0), 100.0 * std::exp(-0.1), 1e-9);
    // dB/dt = 0.1 A - 0.2 B from A = B = 100 keeps B = A.
    EXPECT_NEAR(fine.mass(1), 100.0 * std::exp(-0.1), 1e-9);
    EXPECT_DOUBLE_EQ(fine.cumulativeFlux(0), 100.0 - fine.mass(0));
}

TEST(SoilGraphStep, OverdrawnPoolsAreCutToWhatTheyHoldAndTheTotalIsKept) {
    // A zero-order draw of 30 a day on A (10) and a first-order one on B;
    // B passes on more than it holds once A's gift is cut.
    const GraphTopology t({"A", "B", "C"}, {{"A_to_B", 0, 1, PathwayOrder::Zero, 30.0},
                                            {"B_to_C", 1, 2, PathwayOrder::Zero, 25.0}});
    GraphState<3, 2> g(t, 10.0);
    const StepOutcome outcome = g.step(1.0);
    EXPECT_EQ(g.mass(0), 0.0);
    EXPECT_EQ(g.mass(1), 0.0);
    EXPECT_DOUBLE_EQ(g.mass(2), 30.0);
    EXPECT_DOUBLE_EQ(g.lastFlux(0), 10.0);
    EXPECT_DOUBLE_EQ(g.lastFlux(1), 20.0);
    EXPECT_EQ(outcome.repairScans, 2);
    EXPECT_EQ(outcome.unrepairedPool, -1);
    g.step(1.0);
    EXPECT_EQ(g.lastFlux(0), 0.0);
    EXPECT_DOUBLE_EQ(g.cumulativeFlux(1), 20.0);
    EXPECT_DOUBLE_EQ(g.totalMass(), 30.0);
}

TEST(SoilGraphStep, APoolBelowNothingStopsItsOutflowsAndTheStepEnds) {
    vegso_test::warning_capture warnings;
    GraphState<3, 2> g(chain(), 100.0);
    g.setMass(0, 0.0);
    g.setMass(1, -5.0);  // given negative: nothing it gives can mend it
    const StepOutcome outcome = g.step(1.0);
    EXPECT_EQ(outcome.unrepairedPool, 1);
    EXPECT_FALSE(outcome.scanLimitReached);
    EXPECT_EQ(g.lastFlux(1), 0.0);
    EXPECT_NEAR(g.totalMass(), 95.0, 1e-12);
    EXPECT_EQ(g.mass(1), -5.0);
    reportStep(outcome, chain(), "test", 4, 2);
    reportStep(outcome, chain(), "test", 4, 2);
    ASSERT_EQ(warnings.texts().size(), 1u);
    EXPECT_NE(warnings.texts()[0].find("pool \"B\" holds less than nothing"), std::string::npos);
    EXPECT_NE(warnings.texts()[0].find("layer 2 of cell 4"), std::string::npos);
}

// A -> B first order (0.3 a day), B -> C zero order (2 a day) and rain of
// 1.5 a day into B counted by C (external): the step against the classical
// four-stage Runge-Kutta scheme written out here, stage by stage.
TEST(SoilGraphStep, MixedPathwaysTakeTheClassicalFourStageStep) {
    const GraphTopology t({"A", "B", "C"}, {{"A_to_B", 0, 1, PathwayOrder::First, 0.3},
                                            {"B_to_C", 1, 2, PathwayOrder::Zero, 2.0},
                                            {"rain", 2, 1, PathwayOrder::External, 1.5}});
    GraphState<3, 3> g(t, 0.0);
    g.setMass(0, 40.0);
    g.setMass(1, 10.0);
    g.setMass(2, 1.0);
    const double dt = 0.7;
    // dA/dt = -0.3 A, dB/dt = 0.3 A - 2 + 1.5, dC/dt = 2 + 1.5.
    const double m0[3] = {40.0, 10.0, 1.0};
    auto derivative = [](const double* m, double* d) {
        d[0] = -0.3 * m[0];
        d[1] = 0.3 * m[0] - 2.0 + 1.5;
        d[2] = 2.0 + 1.5;
    };
    double k[4][3], stage[3];
    derivative(m0, k[0]);
    for (int s = 1; s < 4; ++s) {
        const double c = s < 3 ? 0.5 * dt : dt;
        for (int p = 0; p < 3; ++p) stage[p] = m0[p] + c * k[s - 1][p];
        derivative(stage, k[s]);
    }
    g.step(dt);
    for (int p = 0; p < 3; ++p) {
        const double expected = m0[p] + dt / 6.0 * (k[0][p] + 2.0 * k[1][p] + 2.0 * k[2][p] + k[3][p]);
        EXPECT_NEAR(g.mass(p), expected, 1e-14 * std::fabs(expected)) << p;
    }
    const double a_out = m0[0] - g.mass(0);  // A's loss is what its pathway moved
    EXPECT_NEAR(g.lastFlux(0), a_out, 1e-14 * a_out);
    EXPECT_NEAR(g.lastFlux(1), 2.0 * dt, 1e-15);
    EXPECT_NEAR(g.lastFlux(2), 1.5 * dt, 1e-15);
}
