// Neighbours, slopes, the low-spot checks and the flow over low spots.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "overland/dikes_lowspots.hpp"
#include "overland/overland_grid.hpp"

namespace {

using kesta::g_error_record;
using kesta_test::connected_grid;
using kesta_test::has;

// 0 1 0 / 1 1 1 / 0 1 0: cells 1 (top), 2 3 4 (middle row), 5 (bottom).
const std::vector<int> kCross = {0, 1, 0, 1, 1, 1, 0, 1, 0};

TEST(Connectivity, CellsLinkToTheirNeighboursInsideTheMaskOnly) {
    struct grid_case {
        int rows, cols;
        std::vector<int> active;
        std::vector<std::array<int, 4>> east_south_north_west;  // of cells 1, 2, ...
    };
    const grid_case cases[] = {
        {2, 2, {1, 1, 1, 1}, {{2, 3, 0, 0}, {0, 4, 0, 1}, {4, 0, 1, 0}, {0, 0, 2, 3}}},
        {3, 3, kCross, {{0, 3, 0, 0}, {3, 0, 0, 0}, {4, 5, 1, 2}, {0, 0, 0, 3}, {0, 0, 3, 0}}},
    };
    for (const grid_case& g : cases) {
        auto m = connected_grid(g.rows, g.cols, g.active);
        for (int k = 1; k <= m->ncells; ++k) {
            SCOPED_TRACE(std::to_string(g.rows) + " rows, cell " + std::to_string(k));
            EXPECT_EQ((std::array<int, 4>{m->rightcon[k], m->belowcon[k], m->abovecon[k], m->leftcon[k]}),
                      g.east_south_north_west[static_cast<std::size_t>(k - 1)]);
        }
    }
}

TEST(Connectivity, SlopesLookEastAndSouthAndEdgesBorrowTheirNeighbours) {
    auto m = connected_grid(3, 3, kCross);
    const double elev[] = {0.0, 10.0, 9.0, 8.5, 7.0, 6.0};
    for (int k = 1; k <= 5; ++k) m->elev[k] = elev[k];
    kesta::init_overland_slopes(*m);
    // Cell 1 has no east neighbour; the row's last cell (4) takes its west
    // neighbour's slope, the column's last (5) the slope above it; cell 2 has
    // no south and no north neighbour.
    EXPECT_EQ((std::vector<double>{m->sox[1], m->sox[2], m->sox[3], m->sox[4]}),
              (std::vector<double>{0.0, 0.05, 0.15, 0.15}));
    EXPECT_EQ((std::vector<double>{m->soy[1], m->soy[2], m->soy[3], m->soy[5]}),
              (std::vector<double>{0.15, 0.0, 0.25, 0.25}));
}

// A 2 x 2 grid, ground at 1 m, with a dike between cells 1 and 2 and one low
// spot on the right side of cell 1.
class LowSpots : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { g_error_record = kesta::error_record(); }

    void reset() {
        m = connected_grid(2, 2, {1, 1, 1, 1});
        m->dike_map_given = m->lowspot_file_given = 1;
        m->lowspot_file = "spots.txt";
        kesta::alloc_ivector(m->dike_mask, 4, "dike_mask");
        m->dike_mask[1] = 2;
        m->dike_mask[2] = 8;
        for (int k = 1; k <= 4; ++k) m->elev[k] = 1.0;
        spot(1, 1, 2, 0.5, 1.5);
    }
    void spot(int row, int col, int side, double fraction, double crest) {
        m->lowspots = {kesta::lowspot_record(), kesta::lowspot_record{row, col, side, fraction, crest, 7.0}};
        m->nlowspots = 1;
    }
    bool check() {
        g_error_record = kesta::error_record();
        bool ok = false;
        out = kesta_test::printed_by([&] { ok = kesta::validate_lowspots(*m); });
        EXPECT_EQ(ok, g_error_record.stop == 0);
        return ok;
    }
    // Cells 1 and 2 on ground at 10 m, the spot's crest at `crest`.
    void level_ground(double crest) {
        spot(1, 1, 2, 0.5, crest);
        m->elev[1] = m->elev[2] = 10.0;
    }

    std::unique_ptr<kesta::model_state> m;
    std::string out;
};

TEST_F(LowSpots, SpotsThatCannotWorkAreRefusedWithTheirReason) {
    spot(1, 1, 2, 1.5, 1.5);  // a fraction up to one and a half passes; the flow starts at zero
    EXPECT_TRUE(check()) << out;
    EXPECT_EQ(m->lowspots[1].flow, 0.0);

    struct refusal {
        int row, col, side;
        double fraction, crest;
        void (*change)(kesta::model_state&);
        std::vector<std::string> says;
    };
    auto none = [](kesta::model_state&) {};
    const refusal cases[] = {
        {1, 1, 2, 1.51, 1.5, none, {"row 1 col 1 is unreasonable, with a value of 1.510000.  Acceptable\n"}},
        {1, 1, 3, 0.5, 1.5, none, {"\nThe low spot flow direction specified in row 1 col 1 in the file spots.txt\n"}},
        {2, 1, 2, 0.5, 1.5, none,
         {"\nYou have specified an overland flow dike in row 2 col 1\n"
          "There is no dike adjacent to this grid cell.  Program stopped.\n"}},
        {1, 1, 4, 0.5, 1.5, none,  // cell 3 across has no dike
         {"\nYou have specified a low spot on the bottom boundary of the grid\n"
          "cell at row 1 col 1.  Either the side you have specified is not on\n"}},
        {1, 1, 1, 0.5, 1.5, none, {"low spot on the top boundary of the grid\n"}},  // off the grid
        {1, 1, 2, 0.5, 0.9, none,
         {"cell located at row 1 col 1 is 0.900000 m.  This elevation is lower than the\n"
          "elevation of the grid cell, which is 1.000000 m.",
          "Dike / low spot on right side of cell\nProgram terminated\n"}},
        {1, 1, 2, 0.5, 1.5, [](kesta::model_state& m) { m.elev[2] = 2.0; },
         {"elevation of the grid cell on the other side of the dike, which is 2.000000 m.\n"}},
        {1, 1, 2, 0.5, 1.5, [](kesta::model_state& m) { m.dike_mask[2] = 1; },  // cell 2's dike runs along its top
         {"at this low spot across the right boundary of the cell, while the dike\n"
          "is running in a different direction than along the right side of the cell.\n"
          "Program terminated.\n"}},
        {3, 1, 2, 0.5, 1.5, none, {"Low spot 1 in the file spots.txt lies at row 3 col 1, outside the grid"}},
        {1, 2, 8, 0.5, 1.5, [](kesta::model_state& m) { m.mask[1][2] = 0; },
         {"lies at row 1 col 2, outside the watershed"}},
    };
    for (const refusal& r : cases) {
        SCOPED_TRACE(r.says.front());
        reset();
        r.change(*m);
        spot(r.row, r.col, r.side, r.fraction, r.crest);
        EXPECT_FALSE(check());
        for (const std::string& part : r.says) EXPECT_TRUE(has(out, part)) << out;
    }
}

// 0.3 m over a 10.2 m crest across half of a 10 m side.
const double kWeir = 1.48 * std::pow(0.3, 1.5) * 0.5 * 10.0;  // m3/s

TEST_F(LowSpots, WaterAboveTheCrestFlowsByTheWeirLawUntilBothSurfacesStandEqual) {
    const struct {
        const char* what;
        double crest, ground2, h1, h2, dt;  // m, m, m, m, s
        double after1, after2, flow;        // m, m, m3/s (NaN: unchecked)
        double tolerance;
    } cases[] = {
        {"nearly equal surfaces exchange nothing", 10.0, 10.0, 0.0005, 0.0, 1.0, 0.0005, 0.0, 0.0, 0.0},
        {"the weir law", 10.2, 10.0, 0.5, 0.0, 1.0, 0.5 - kWeir / 100.0, kWeir / 100.0, kWeir, 1e-12},
        {"from the other side the flow runs back and is negative", 10.2, 10.0, 0.0, 0.5, 1.0, kWeir / 100.0,
         0.5 - kWeir / 100.0, -kWeir, 1e-12},
        {"a long step stops where both surfaces stand equal", 10.2, 10.0, 0.5, 0.0, 1000.0, 0.25, 0.25, NAN, 1e-12},
        {"into a dry cell below no more than the water above the crest leaves", 10.2, 8.0, 0.5, 0.0, 1000.0, 0.2,
         0.3, NAN, 1e-12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        level_ground(c.crest);
        m->elev[2] = c.ground2;
        m->h[1] = c.h1;
        m->h[2] = c.h2;
        kesta::dike_flow(*m, c.dt);
        EXPECT_NEAR(m->h[1], c.after1, c.tolerance);
        EXPECT_NEAR(m->h[2], c.after2, c.tolerance);
        EXPECT_TRUE(std::isnan(c.flow) || std::fabs(m->lowspots[1].flow - c.flow) <= c.tolerance)
            << m->lowspots[1].flow;
    }
}

TEST_F(LowSpots, ALakeSideTakesTheLakeLevelAndBooksTheVolume) {
    level_ground(10.2);
    m->overland_lake_map_given = m->n_oland_lakes = 1;
    m->oland_lakes.assign(2, kesta::lake_record());
    m->oland_lakes[1].level = 10.5;
    m->oland_lakes[1].ncells = 2;
    kesta::alloc_ivector(m->oland_lake_new, 4, "oland_lake_new");
    m->oland_lake_new[1] = m->oland_lake_new[3] = 1;
    kesta::dike_flow(*m, 1.0);
    EXPECT_NEAR(m->oland_lakes[1].step_volume, -kWeir, 1e-12);
    EXPECT_NEAR(m->h[2], kWeir / 100.0, 1e-12);
    EXPECT_DOUBLE_EQ(m->h[1], 0.0);
}

}  // namespace
