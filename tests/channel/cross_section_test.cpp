// Cross sections of the channel network against closed forms: trapezoids,
// surveyed tables, compound trapezoids, and the bed-change update.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "channel/channel_fixture.hpp"
#include "channel/link_types.hpp"
#include "core/allocators.hpp"
#include "model/event_steps.hpp"

namespace {

using namespace kesta;
using kesta_test::ChannelNetwork;
using kesta_test::replaced;

// `chan` with `at1` and `at3` (NPAIRS, NUM_INTERP and X1 cards) for the
// surveyed sections of nodes 1 and 3 of link 4.
std::string surveyed(const std::string& chan, const char* at1, const char* at3) {
    return replaced(replaced(chan, "NPAIRS 3\nNUM_INTERP 20\nX1 0.0 10.0\nX1 1.0 9.0\nX1 2.0 10.0", at1),
                    "NPAIRS 3\nNUM_INTERP 20\nX1 0.0 9.6\nX1 2.0 8.6\nX1 4.0 9.6", at3);
}

// The same trapezoid (b = 5 m, z = 2, n = 0.025) on link 1 and as the
// surveyed section of link 4, whose third level (of 4) lies 1.5 m deep.
TEST_F(ChannelNetwork, TrapezoidAndItsSurveyedTableAgreeWithTheClosedForms) {
    const char* trapezoid = "NPAIRS 4\nNUM_INTERP 4\nX1 0.0 11.0\nX1 4.0 9.0\nX1 9.0 9.0\nX1 13.0 11.0";
    chan = replaced(replaced(chan, "BOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0", "BOTTOM_WIDTH 5.0\nSIDE_SLOPE 2.0"),
                    "mannings_n 0.035", "mannings_n 0.025");
    chan = replaced(chan, "MANNINGS_N 0.04", "MANNINGS_N 0.025");
    chan = surveyed(chan, trapezoid, trapezoid);
    ASSERT_TRUE(set_up_ok());
    model_state& s = *m;
    const int t = s.table_num[1][4];
    EXPECT_NEAR(s.xarea[3][t], 12.0, 1e-9);
    EXPECT_NEAR(s.xp[3][t], 11.70820, 1e-5);
    EXPECT_NEAR(s.xtw[3][t], 11.0, 1e-9);
    EXPECT_NEAR(s.xk[3][t], 487.9424, 1e-4);
    for (int l : {1, 4}) s.yp[1][l] = s.bel[1][l] + 1.5;
    ex_section(s, 2);
    for (int l : {1, 4}) {
        EXPECT_NEAR(s.area[1][l], 12.0, 1e-9) << l;
        EXPECT_NEAR(s.topw[1][l], 11.0, 1e-9) << l;
        EXPECT_NEAR(s.conv[1][l], 487.9424, 1e-4) << l;
        s.yp[1][l] = 0.0;
    }
    ex_section(s, 1);
    for (int l : {1, 4}) {
        EXPECT_NEAR(s.chan_depth[1][l], 1.5, 1e-9) << l;
        EXPECT_NEAR(s.yp[1][l], s.bel[1][l] + 1.5, 1e-9) << l;
        EXPECT_NEAR(s.conv[1][l], 487.9424, 1e-4) << l;
    }
    // A rectangle inverts area to depth as A / b; a dry V has no conveyance.
    s.sslope[1][1] = 0.0;
    s.area[1][1] = 7.5;
    ex_section(s, 1);
    EXPECT_DOUBLE_EQ(s.chan_depth[1][1], 1.5);
    s.sslope[1][1] = 2.0;
    s.bottom[1][1] = 0.0;
    s.yp[1][1] = s.bel[1][1];
    ex_section(s, 2);
    EXPECT_EQ(s.conv[1][1], 0.0);
    EXPECT_EQ(s.dconv[1][1], 0.0);
}

// dK/dy by central differences of mode 2 at node 1 of `link`.
double numeric_dconv(model_state& s, int link, double y) {
    const double eps = 1e-6;
    double k[2];
    for (int side = 0; side < 2; ++side) {
        s.yp[1][link] = s.bel[1][link] + y + (side == 0 ? -eps : eps);
        ex_section(s, 2);
        k[side] = s.conv[1][link];
    }
    s.yp[1][link] = s.bel[1][link] + y;
    ex_section(s, 2);
    return (k[1] - k[0]) / (2.0 * eps);
}

// Depth -> area -> depth through both modes at node 1 of `link`.
double round_trip(model_state& s, int link, double y) {
    s.yp[1][link] = s.bel[1][link] + y;
    ex_section(s, 2);
    s.yp[1][link] = 0.0;
    ex_section(s, 1);
    return s.chan_depth[1][link];
}

// The V of node 1 of link 4: 20 levels 0.05 m apart, area d^2.
TEST_F(ChannelNetwork, SurveyedTableIsReadBelowWithinAndAboveItsLevels) {
    ASSERT_TRUE(set_up_ok());
    model_state& s = *m;
    s.yp[1][4] = s.bel[1][4] + 1.0;  // exactly the top level
    ex_section(s, 2);
    EXPECT_NEAR(s.area[1][4], 1.0, 1e-9);
    EXPECT_EQ(s.xsec_above_table, 0);
    // Below the first level the conveyance is a power law; its derivative too.
    const double dk = numeric_dconv(s, 4, 0.02);
    EXPECT_NEAR(s.dconv[1][4], dk, 1e-6 * std::fabs(dk));
    for (double y : {0.02, 0.33, 0.999, 1.3}) EXPECT_NEAR(round_trip(s, 4, y), y, 1e-9) << y;
    EXPECT_EQ(s.xsec_above_table, 1);
}

// The mesh routing's columns of the V at node 1 (K grows as A^(4/3)) and of
// node 2, halfway to the V of node 3 that is twice as wide.
TEST_F(ChannelNetwork, MeshRoutingColumnsHoldTheFirstMomentAndDkDa) {
    ASSERT_TRUE(set_up_ok([](model_state& s) { s.chan_alt_routing = 1; }));
    const int t = m->table_num[1][4];
    EXPECT_NEAR(m->xi1[20][t], 1.0 / 3.0, 0.01);  // the integral of 2 z (1 - z) over the depth
    EXPECT_NEAR(m->xdkda[10][t], 4.0 / 3.0 * m->xk[10][t] / m->xarea[10][t], 0.01 * m->xdkda[10][t]);
    EXPECT_NEAR(m->xi1[20][t + 1], 1.5 * m->xi1[20][t], 1e-9);
}

TEST_F(ChannelNetwork, CompoundTrapezoidWidensAboveBankfull) {
    ASSERT_TRUE(set_up_ok());
    model_state& s = *m;
    s.ltype[1] = kLinkBit16;  // b = 2, z1 = 1, bankfull 1 m
    s.sslope2[1][1] = 4.0;
    s.yp[1][1] = s.bel[1][1] + 1.6;
    ex_section(s, 2);
    EXPECT_NEAR(s.area[1][1], 3.0 + 0.6 * (4.0 + 8.8) / 2.0, 1e-9);
    EXPECT_NEAR(s.topw[1][1], 8.8, 1e-9);
    const double p = 2.0 + 2.0 * std::sqrt(2.0) + 2.0 * 0.6 * std::sqrt(17.0);
    EXPECT_NEAR(s.conv[1][1], std::pow(6.84, 5.0 / 3.0) / std::pow(p, 2.0 / 3.0) / 0.035, 1e-5 * s.conv[1][1]);
    for (double y : {0.4, 1.6}) {
        const double dk = numeric_dconv(s, 1, y);
        EXPECT_NEAR(s.dconv[1][1], dk, 1e-4 * dk) << y;
        EXPECT_NEAR(round_trip(s, 1, y), y, 1e-9) << y;
    }
}

// The V sections of link 4 lowered 20 m, below the datum.
TEST_F(ChannelNetwork, SectionsBelowTheDatumTabulateAsAboveIt) {
    chan = surveyed(chan, "NPAIRS 3\nNUM_INTERP 20\nX1 0.0 -10.0\nX1 1.0 -11.0\nX1 2.0 -10.0",
                    "NPAIRS 3\nNUM_INTERP 20\nX1 0.0 -10.4\nX1 2.0 -11.4\nX1 4.0 -10.4");
    ASSERT_TRUE(set_up_ok());
    const int t = m->table_num[1][4];
    EXPECT_NEAR(m->ht_spc[t], 0.05, 1e-12);
    EXPECT_NEAR(m->xarea[7][t], 0.35 * 0.35, 1e-9);
}

// An erodible section with a bench exactly at its first level (1 m up): the
// water stands on the bench to no depth, so the bench adds no width.
TEST_F(ChannelNetwork, NodeTableTakesNoWidthFromABenchAtTheLevel) {
    const char* bench = "NPAIRS 5\nNUM_INTERP 2\nX1 0 12\nX1 1 10\nX1 2 11\nX1 3 11\nX1 4 12";
    chan = surveyed(replaced(chan, "BREAKPOINT\n", "BREAKPOINT_ERODE\n"), bench, bench);
    ASSERT_TRUE(set_up_ok());
    const int t = m->table_num[1][4];
    EXPECT_NEAR(m->xtw[1][t], 1.5, 1e-12);
    EXPECT_NEAR(m->xarea[1][t], 0.75, 1e-12);
    EXPECT_NEAR(m->xp[1][t], std::hypot(0.5, 1.0) + std::sqrt(2.0), 1e-12);
}

// Link 4 made erodible with a five-point section; its three nodes hold the
// reference and present sand of kSand (m3), and their water reached `above`
// m over the bed (the present water too when `now`).
const double kSand[][2] = {{1.0, 0.8}, {0.8, 1.0}, {0.5, 0.5}};  // reference, present

class ErodibleLink : public ChannelNetwork {
protected:
    bool make_erodible(double above, bool now) {
        const char* section = "NPAIRS 5\nNUM_INTERP 20\nX1 0 10\nX1 1 9.5\nX1 2 9\nX1 3 9.5\nX1 4 10";
        chan = surveyed(replaced(chan, "BREAKPOINT\n", "BREAKPOINT_ERODE\n"), section, section);
        if (!set_up_ok()) return false;
        model_state& s = *m;
        s.project_options.sed_porosity = 0.2;
        alloc_d3tensor(s.nlinks, s.maxnodes, 1, s.ch_sand_vol, "ch_sand_vol");
        for (int j = 1; j <= 3; ++j) {
            s.ch_sand_vol0[1][j] = kSand[j - 1][0];
            s.ch_sand_vol[4][j][0] = kSand[j - 1][1];
            s.max_yp[1][j] = s.bel[j][4] + above;
            if (now) s.yp[j][4] = s.max_yp[1][j];
        }
        return true;
    }
};

// Erodible link 4 with a five-point section whose water reached 0.52 m:
// level 11 (0.55 m up) bounds the moving stretch. Node 1 lost 0.25 m3 of
// bed, node 2 gained as much, node 3 is unchanged.
TEST_F(ErodibleLink, BedChangeMovesTheSectionByTheVolumeAndRelativeHeight) {
    ASSERT_TRUE(make_erodible(0.52, false));
    model_state& s = *m;
    const auto& sand = kSand;
    const double bed_before[] = {0.0, s.bel[1][4], s.bel[2][4], s.bel[3][4]};
    xsec_update(s);
    ASSERT_FALSE(stopped());
    const double y0[] = {0.0, 10.0, 9.5, 9.0, 9.5, 10.0};
    const double q = 0.5 / 0.55;  // relative height of points 2 and 4
    for (int j = 1; j <= 3; ++j) {
        const double* y = s.ybp_lnn[1][j];
        double volume = 0.0;
        for (int i = 2; i <= 5; ++i) volume += 0.5 * ((y0[i - 1] - y[i - 1]) + (y0[i] - y[i])) * 10.0;
        const double expected = (sand[j - 1][0] - sand[j - 1][1]) / 0.8;
        EXPECT_NEAR(volume, expected, 1e-5 * 0.25) << j;
        EXPECT_NEAR(s.bel[j][4] - bed_before[j], y[3] - 9.0, 1e-12) << j;
        EXPECT_EQ(y[1], 10.0) << j;
        EXPECT_EQ(y[5], 10.0) << j;  // above the level
        if (j == 3) continue;
        const double w = j == 1 ? 1.0 - q : 1.0 - std::sqrt(q);  // erosion, deposition
        EXPECT_NEAR((y0[2] - y[2]) / (y0[3] - y[3]), w, 1e-9) << j;
    }
    // The eroded node's table spans its deeper section.
    EXPECT_LT(s.ybp_lnn[1][1][3], 9.0);
    EXPECT_NEAR(s.ht_spc[s.table_num[1][4]], (10.0 - s.ybp_lnn[1][1][3]) / 20.0, 1e-12);
}

// At an event end the same sections follow their sand, the water surfaces
// follow the unchanged flow areas, and a node whose water now stands above
// the highest it stood (node 2, whose bed rose) takes its present sand as
// its reference; the others keep theirs.
TEST_F(ErodibleLink, AtAnEventEndANodeWhoseWaterRoseAboveItsHighestTakesItsSandAsReference) {
    ASSERT_TRUE(make_erodible(0.5, true));
    model_state& s = *m;
    ex_section(s, 2);
    s.event_ended = 1;
    update_at_event_end(s);
    ASSERT_FALSE(stopped());
    EXPECT_LT(s.yp[1][4], s.max_yp[1][1]);
    EXPECT_GT(s.yp[2][4], s.max_yp[1][2]);
    EXPECT_EQ(s.ch_sand_vol0[1][1], 1.0);
    EXPECT_EQ(s.ch_sand_vol0[1][2], 1.0);
    EXPECT_EQ(s.ch_sand_vol0[1][3], 0.5);
}

TEST_F(ChannelNetwork, WarnsOncePerOvalCulvert) {
    chan = replaced(chan, "STRUCTTYPE round_culvert\n", "STRUCTTYPE oval_culvert\nHEIGHT 1.5\n");
    const std::string out = set_up();
    ASSERT_FALSE(stopped()) << out;
    const std::size_t at = out.find("Warning: oval culvert element 2 of link 3");
    EXPECT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find("Warning: oval culvert", at + 1), std::string::npos) << out;
}

}  // namespace
