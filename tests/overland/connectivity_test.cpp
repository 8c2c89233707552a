// Neighbours, slopes, the low-spot checks and the flow over low spots.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "core/overland_arrays.hpp"
#include "overland/connectivity.hpp"
#include "overland/dikes_lowspots.hpp"
#include "overland/overland_steps.hpp"

namespace {

using kesta::g_error_record;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A model of rows x cols cells of 10 m whose mask is `active` (row-major,
// non-zero active), numbered and with its neighbours built.
std::unique_ptr<kesta::model_state> grid(int rows, int cols, const std::vector<int>& active) {
    auto m = std::make_unique<kesta::model_state>();
    m->rows = rows;
    m->cols = cols;
    m->gridsize = 10.0;
    kesta::alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
    int n = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            if (active[static_cast<std::size_t>((r - 1) * cols + c - 1)]) m->mask[r][c] = ++n;
    m->ncells = n;
    kesta::alloc_dvector(m->elev, n, "elev");
    kesta::alloc_overland_arrays(*m);
    testing::internal::CaptureStdout();
    kesta::build_cell_connectivity(*m);
    testing::internal::GetCapturedStdout();
    return m;
}

TEST(Connectivity, TwoByTwoGridLinksEveryCellToItsNeighbours) {
    auto m = grid(2, 2, {1, 1, 1, 1});
    EXPECT_EQ(m->rightcon[1], 2);
    EXPECT_EQ(m->belowcon[1], 3);
    EXPECT_EQ(m->abovecon[1], 0);
    EXPECT_EQ(m->leftcon[1], 0);
    EXPECT_EQ(m->leftcon[4], 3);
    EXPECT_EQ(m->abovecon[4], 2);
    EXPECT_EQ(m->rightcon[4], 0);
    EXPECT_EQ(m->belowcon[4], 0);
}

TEST(Connectivity, CellsOutsideTheMaskAreNoNeighbours) {
    // 0 1 0 / 1 1 1 / 0 1 0: cells 1 (top), 2 3 4 (middle row), 5 (bottom).
    auto m = grid(3, 3, {0, 1, 0, 1, 1, 1, 0, 1, 0});
    EXPECT_EQ(m->belowcon[1], 3);
    EXPECT_EQ(m->leftcon[1], 0);
    EXPECT_EQ(m->rightcon[1], 0);
    EXPECT_EQ(m->abovecon[2], 0);
    EXPECT_EQ(m->rightcon[2], 3);
    EXPECT_EQ(m->abovecon[3], 1);
    EXPECT_EQ(m->belowcon[3], 5);
    EXPECT_EQ(m->leftcon[4], 3);
    EXPECT_EQ(m->belowcon[4], 0);
    EXPECT_EQ(m->abovecon[5], 3);
}

TEST(Connectivity, SlopesLookEastAndSouthAndEdgesBorrowTheirNeighbours) {
    auto m = grid(3, 3, {0, 1, 0, 1, 1, 1, 0, 1, 0});
    const double elev[] = {0.0, 10.0, 9.0, 8.5, 7.0, 6.0};
    for (int k = 1; k <= 5; ++k) m->elev[k] = elev[k];
    kesta::init_overland_slopes(*m);
    EXPECT_DOUBLE_EQ(m->sox[1], 0.0);   // cell 1 is first and has no east neighbour
    EXPECT_DOUBLE_EQ(m->sox[2], 0.05);
    EXPECT_DOUBLE_EQ(m->sox[3], 0.15);
    EXPECT_DOUBLE_EQ(m->sox[4], 0.15);  // the row's last cell takes its west neighbour's slope
    EXPECT_DOUBLE_EQ(m->soy[1], 0.15);
    EXPECT_DOUBLE_EQ(m->soy[3], 0.25);
    EXPECT_DOUBLE_EQ(m->soy[5], 0.25);  // the column's last cell takes the slope above it
    EXPECT_DOUBLE_EQ(m->soy[2], 0.0);   // no south and no north neighbour
}

// A 2 x 2 grid, ground at 1 m, with a dike between cells 1 and 2 and one low
// spot on the right side of cell 1.
class LowSpots : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = kesta::error_record();
        m = grid(2, 2, {1, 1, 1, 1});
        m->dike_map_given = 1;
        m->lowspot_file_given = 1;
        m->lowspot_file = "spots.txt";
        kesta::alloc_ivector(m->dike_mask, 4, "dike_mask");
        m->dike_mask[1] = 2;
        m->dike_mask[2] = 8;
        for (int k = 1; k <= 4; ++k) m->elev[k] = 1.0;
        spot(1, 1, 2, 0.5, 1.5);
    }
    void TearDown() override { g_error_record = kesta::error_record(); }

    void spot(int row, int col, int side, double fraction, double crest) {
        kesta::lowspot_record s;
        s.row = row;
        s.col = col;
        s.side = side;
        s.fraction = fraction;
        s.elevation = crest;
        s.flow = 7.0;
        m->lowspots.assign(1, kesta::lowspot_record());
        m->lowspots.push_back(s);
        m->nlowspots = 1;
    }
    bool check() {
        g_error_record = kesta::error_record();
        testing::internal::CaptureStdout();
        const bool ok = kesta::validate_lowspots(*m);
        out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ok, g_error_record.stop == 0);
        return ok;
    }

    std::unique_ptr<kesta::model_state> m;
    std::string out;
};

TEST_F(LowSpots, FractionUpToOneAndAHalfPassesAndTheFlowStartsAtZero) {
    spot(1, 1, 2, 1.5, 1.5);
    EXPECT_TRUE(check()) << out;
    EXPECT_EQ(m->lowspots[1].flow, 0.0);
    spot(1, 1, 2, 1.51, 1.5);
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "row 1 col 1 is unreasonable, with a value of 1.510000.  Acceptable\n"));
}

TEST_F(LowSpots, SideCodeMustBeOneSide) {
    spot(1, 1, 3, 0.5, 1.5);
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "\nThe low spot flow direction specified in row 1 col 1 in the file spots.txt\n"));
}

TEST_F(LowSpots, CellMustCarryADike) {
    spot(2, 1, 2, 0.5, 1.5);
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "\nYou have specified an overland flow dike in row 2 col 1\n"
                         "There is no dike adjacent to this grid cell.  Program stopped.\n"));
}

TEST_F(LowSpots, CellAcrossMustExistAndCarryADike) {
    spot(1, 1, 4, 0.5, 1.5);  // cell 3 has no dike
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "\nYou have specified a low spot on the bottom boundary of the grid\n"
                         "cell at row 1 col 1.  Either the side you have specified is not on\n"));
    spot(1, 1, 1, 0.5, 1.5);  // off the grid
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "low spot on the top boundary of the grid\n"));
}

TEST_F(LowSpots, CrestMustNotLieBelowEitherGround) {
    spot(1, 1, 2, 0.5, 0.9);
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "cell located at row 1 col 1 is 0.900000 m.  This elevation is lower than the\n"
                         "elevation of the grid cell, which is 1.000000 m."));
    EXPECT_TRUE(has(out, "Dike / low spot on right side of cell\nProgram terminated\n"));
    spot(1, 1, 2, 0.5, 1.5);
    m->elev[2] = 2.0;
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "elevation of the grid cell on the other side of the dike, which is 2.000000 m.\n"));
}

TEST_F(LowSpots, LowSpotMustCrossTheDike) {
    m->dike_mask[2] = 1;  // the dike of cell 2 runs along its top
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "at this low spot across the right boundary of the cell, while the dike\n"
                         "is running in a different direction than along the right side of the cell.\n"
                         "Program terminated.\n"));
}

TEST_F(LowSpots, PositionOffTheGridOrOutsideTheWatershedIsRefused) {
    spot(3, 1, 2, 0.5, 1.5);
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "Low spot 1 in the file spots.txt lies at row 3 col 1, outside the grid"));
    m->mask[1][2] = 0;
    spot(1, 2, 8, 0.5, 1.5);
    EXPECT_FALSE(check());
    EXPECT_TRUE(has(out, "lies at row 1 col 2, outside the watershed"));
}

TEST_F(LowSpots, NearlyEqualSurfacesExchangeNothing) {
    spot(1, 1, 2, 0.5, 1.0);
    m->elev[1] = m->elev[2] = 10.0;
    m->h[1] = 0.0005;
    kesta::dike_flow(*m, 1.0);
    EXPECT_DOUBLE_EQ(m->h[1], 0.0005);
    EXPECT_DOUBLE_EQ(m->h[2], 0.0);
}

TEST_F(LowSpots, WaterAboveTheCrestFlowsDownstreamByTheWeirLaw) {
    spot(1, 1, 2, 0.5, 10.2);
    m->elev[1] = m->elev[2] = 10.0;
    m->h[1] = 0.5;
    kesta::dike_flow(*m, 1.0);
    const double q = 1.48 * std::pow(0.3, 1.5) * 0.5 * 10.0;
    EXPECT_NEAR(m->lowspots[1].flow, q, 1e-12);
    EXPECT_NEAR(m->h[1], 0.5 - q / 100.0, 1e-12);
    EXPECT_NEAR(m->h[2], q / 100.0, 1e-12);

    // From the other side the flow runs back and is negative.
    m->h[1] = 0.0;
    m->h[2] = 0.5;
    kesta::dike_flow(*m, 1.0);
    EXPECT_NEAR(m->lowspots[1].flow, -q, 1e-12);
    EXPECT_NEAR(m->h[1], q / 100.0, 1e-12);
}

TEST_F(LowSpots, ALongStepStopsWhereBothSurfacesStandEqual) {
    spot(1, 1, 2, 0.5, 10.2);
    m->elev[1] = m->elev[2] = 10.0;
    m->h[1] = 0.5;
    kesta::dike_flow(*m, 1000.0);
    EXPECT_NEAR(m->h[1], 0.25, 1e-12);
    EXPECT_NEAR(m->h[2], 0.25, 1e-12);

    // A dry cell across: no more than the water above the crest leaves.
    m->elev[2] = 8.0;
    m->h[1] = 0.5;
    m->h[2] = 0.0;
    kesta::dike_flow(*m, 1000.0);
    EXPECT_NEAR(m->h[1], 0.2, 1e-12);
    EXPECT_NEAR(m->h[2], 0.3, 1e-12);
}

TEST_F(LowSpots, ALakeSideTakesTheLakeLevelAndBooksTheVolume) {
    spot(1, 1, 2, 0.5, 10.2);
    m->elev[1] = m->elev[2] = 10.0;
    m->overland_lake_map_given = 1;
    m->n_oland_lakes = 1;
    m->oland_lakes.assign(2, kesta::lake_record());
    m->oland_lakes[1].level = 10.5;
    m->oland_lakes[1].ncells = 2;
    kesta::alloc_ivector(m->oland_lake_new, 4, "oland_lake_new");
    m->oland_lake_new[1] = 1;
    m->oland_lake_new[3] = 1;
    kesta::dike_flow(*m, 1.0);
    const double q = 1.48 * std::pow(0.3, 1.5) * 0.5 * 10.0;
    EXPECT_NEAR(m->oland_lakes[1].step_volume, -q, 1e-12);
    EXPECT_NEAR(m->h[2], q / 100.0, 1e-12);
    EXPECT_DOUBLE_EQ(m->h[1], 0.0);
}

}  // namespace
