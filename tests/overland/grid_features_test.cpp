// The grid's features: neighbours and slopes; the low-spot file, the checks
// of its spots and the flow over them; the lake file, the sort that orders
// lake candidates, and lakes growing and shrinking over hand-worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "overland/dikes_lowspots.hpp"
#include "overland/overland_grid.hpp"
#include "overland/overland_lakes.hpp"
#include "support/temp_dir.hpp"

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

TEST(Sort2, OrdersKeysAndKeepsTheTieOrderOfItsScheme) {
    // Long enough to be partitioned before the insertion passes.
    std::vector<double> keys = {0, 3, 1, 2, 1, 3, 2, 1, 3, 2, 1};
    std::vector<int> cells = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    kesta::sort2(10, keys, cells);
    EXPECT_EQ(keys, (std::vector<double>{0, 1, 1, 1, 1, 2, 2, 2, 3, 3, 3}));
    EXPECT_EQ(cells, (std::vector<int>{0, 10, 4, 2, 7, 9, 3, 6, 5, 8, 1}));

    // Short stretches are sorted by straight insertion: ties keep their order.
    keys = {0, 2, 1, 2, 1, 0.5};
    cells = {0, 1, 2, 3, 4, 5};
    kesta::sort2(5, keys, cells);
    EXPECT_EQ(cells, (std::vector<int>{0, 5, 2, 4, 1, 3}));
}

// Writes `text` to a file, hands it to `read` and keeps all it printed in `said`.
class CardFiles : public ::testing::Test {
protected:
    void TearDown() override { g_error_record = kesta::error_record(); }
    template <class Read>
    bool read(const std::string& text, Read r) {
        g_error_record = kesta::error_record();
        const std::string path = dir.write("cards.txt", text);
        std::FILE* fp = std::fopen(path.c_str(), "r");
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool ok = r(fp, path);
        said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
        std::fclose(fp);
        return ok;
    }
    kesta_test::temp_dir dir;
    std::string said;
};

TEST_F(CardFiles, LowSpotFileKeepsEverySpotCardInOrderAndRefusesWhatIsNotOne) {
    int count = 0;
    std::vector<kesta::lowspot_record> spots;
    auto r = [&](std::FILE* fp, const std::string& name) { return kesta::read_lowspot_file(fp, name, count, spots); };
    ASSERT_TRUE(read("LowSpot\nnote\n  spot 2 3 4 0.5 101.25\nSPOT,1,1,2,1.5,99\n", r)) << said;
    ASSERT_EQ(count, 2);
    ASSERT_EQ(spots.size(), 3u);
    EXPECT_EQ(spots[0].row, 0);
    EXPECT_EQ(spots[1].row, 2);
    EXPECT_EQ(spots[1].side, 4);
    EXPECT_DOUBLE_EQ(spots[1].elevation, 101.25);
    EXPECT_DOUBLE_EQ(spots[2].fraction, 1.5);
    EXPECT_TRUE(read("low\nSPOT 1 1 1 0.1 1\n", r));  // a leading part of the keyword

    const std::pair<const char*, const char*> refused[] = {
        {"lowspots\nSPOT 1 1 1 0.1 1\n", "does not start with the LOWSPOT card.\n"},
        {"LOWSPOT\n", "No SPOT cards encountered before end of file.\n"},
        {"LOWSPOT\nSPOT 1 x 1 0.1 1\n", "line 2: the column does not read in \"SPOT 1 x 1 0.1 1\""},
    };
    for (const auto& [text, message] : refused) {
        EXPECT_FALSE(read(text, r)) << text;
        EXPECT_TRUE(has(said, message)) << said;
    }
}

TEST_F(CardFiles, LakeCardsFillTheLakeTheyNameWhateverTheirOrder) {
    std::vector<kesta::lake_record> lakes(3);
    auto r = [&](std::FILE* fp, const std::string& name) { return kesta::read_lake_file(fp, name, 2, lakes); };
    ASSERT_TRUE(read("KESTA_Overland_Lake_File\nLAKE 2 7.5 10\nLAKE 1 3.25 20\n", r)) << said;
    EXPECT_DOUBLE_EQ(lakes[2].level, 7.5);
    EXPECT_DOUBLE_EQ(lakes[2].initial_level, 7.5);
    EXPECT_DOUBLE_EQ(lakes[1].volume, 20.0);
    EXPECT_FALSE(read("KESTA_OVERLAND_LAKE_FILE\nLAKE 0 1 1\nLAKE 1 1 1\n", r));
    EXPECT_TRUE(has(said, "lake number 0 lies outside 1 to 2"));
}

constexpr double kUnchecked = std::numeric_limits<double>::quiet_NaN();

// A grid of 10 m cells with overland lakes (cell's lake number, 0 none), each
// standing at 1 m, its initial level. Lake 1 is given the volumes `steps`
// one extent update after another.
struct lake_case {
    const char* what;
    int rows, cols;
    std::vector<double> ground;  // m
    std::vector<int> lakes;
    std::vector<double> water;  // depth on each cell before the first update (m); empty: dry
    std::vector<double> steps;  // m3
    double level;               // m
    int ncells;
    std::vector<int> lake_of_cell;  // after the last update
    double volume = kUnchecked;     // m3
    bool balanced = true;           // the updates' volume error stays nil
    double added = kUnchecked, drained = kUnchecked;
};

// A row of five cells, lake 1 on cell 3 (ground 0 m), neighbours at 1.2 m and 1.4 m.
const std::vector<double> kRow = {0.5, 1.2, 0.0, 1.4, 5.0};
const std::vector<double> kWalled = {0.5, 5.0, 0.0, 5.0, 5.0};
const std::vector<int> kLake3 = {0, 0, 1, 0, 0};

const lake_case kLakeCases[] = {
    {"without flooded neighbours the lake rises by volume over area", 1, 5, kWalled, kLake3, {}, {50.0},
     1.5, 1, kLake3, 50.0, true, 50.0},
    {"a trial level below the initial level resets it", 1, 5, kRow, kLake3, {}, {-10.0},
     1.0, 1, kLake3, kUnchecked, false},
    {"one flooded neighbour shares the volume and its water", 1, 5, {0.5, 0.8, 0.0, 5.0, 5.0}, kLake3,
     {0.0, 0.2, 0.0, 0.0, 0.0}, {100.0}, 1.5, 2, {0, 1, 1, 0, 0}, 120.0},
    {"a small gain takes only the lower group", 1, 5, kRow, kLake3, {}, {50.0},
     1.35, 2, {0, 1, 1, 0, 0}},
    // Joining cell 4 would put both cells at 0.65 m: it fills through the lake's faces instead.
    {"a neighbour below the initial level is not joined when that would draw the lake under it", 1, 5,
     {5.0, 5.0, 0.0, 0.2, 5.0}, kLake3, {}, {10.0}, 1.1, 1, kLake3, 10.0, true, 10.0},
    // The groups put 1.35 m over cells 2 to 4, but cell 4 holds water up to 1.5 m: 220 m3 stand at 1.4 m.
    {"a candidate taken with water above the new level raises it", 1, 5, {5.0, 1.1, 0.0, 0.9, 5.0}, kLake3,
     {0.0, 0.0, 0.0, 0.6, 0.0}, {60.0}, 1.4, 3, {0, 1, 1, 1, 0}, 120.0},
    // Cells 2 and 4 form one group whether the lake rises or falls; 120.002 m3 stay over cells 3 and 4.
    {"grounds closer than the group tolerance keep the water exact", 1, 5, {5.0, 1.2, 0.0, 1.19995, 5.0}, kLake3,
     {}, {65.0, -44.998}, 1.199985, 2, {0, 0, 1, 1, 0}, 20.002},
    {"a rise too small to change the extent still raises the level", 1, 5, kWalled, kLake3, {}, {5e-9},
     1.0 + 5e-11, 1, kLake3, 5e-9},
    // Raising the lake to 1.5 m takes 50 m3; the other 950 m3 spread over 3 cells.
    {"a large gain takes every candidate and spreads the rest", 1, 5, {0.5, 1.2, 0.0, 1.5, 5.0}, kLake3,
     {0.0, 0.3, 0.0, 0.0, 0.0}, {1000.0}, 1.5 + 950.0 / 300.0, 3, {0, 1, 1, 1, 0}, 1030.0},
    // Joining cell 5 spreads cells 3 to 5 at 1.177 m, under the ground of cell 4 that the first gain took:
    // cell 4 then holds less than nothing, and the lake 31 m3 above its initial level, not 33.3 m3.
    {"a lake spread under the ground of a cell it took over", 1, 5, {5.0, 5.0, 0.0, 1.2, 1.02}, kLake3, {},
     {30.0, 1.0}, (2.0 * 1.255 + 1.02) / 3.0, 3, {0, 0, 1, 1, 1}, 31.0, true, 31.0},
    {"a cell next to two lake cells is taken once", 2, 2, {0.0, 0.5, 0.5, 0.0}, {1, 0, 0, 1}, {}, {200.0},
     1.25, 4, {1, 1, 1, 1}},
    {"shrinking gives back the cells the level no longer covers", 1, 5, kRow, kLake3, {}, {50.0, -40.0},
     1.1, 1, kLake3, 10.0, true, kUnchecked, 40.0},
    // Lowering to 1.2 m releases 30 m3; the other 15 m3 come off the one cell left.
    {"a loss beyond the lowest group drops the level below it", 1, 5, kRow, kLake3, {}, {50.0, -45.0},
     1.05, 1, kLake3},
    {"a lake that rose without growing falls back freely", 1, 5, kWalled, kLake3, {}, {50.0, -20.0},
     1.3, 1, kLake3, 30.0},
    {"a lake without cells is left alone", 1, 3, {0.0, 0.0, 0.0}, {2, 0, 0}, {}, {30.0},
     1.0, 0, {2, 0, 0}, kUnchecked, false},
};

TEST(OverlandLakes, ExtentFollowsTheVolumeGainedOrLostAndKeepsTheWaterBalance) {
    for (const lake_case& c : kLakeCases) {
        SCOPED_TRACE(c.what);
        g_error_record = kesta::error_record();
        std::vector<int> active(c.ground.size(), 1);
        auto m = connected_grid(c.rows, c.cols, active);
        m->overland_lake_map_given = 1;
        m->oland_lake_mask = kesta::vec1<int>(m->ncells);
        m->oland_lake_new = kesta::vec1<int>(m->ncells);
        m->n_oland_lakes = *std::max_element(c.lakes.begin(), c.lakes.end());
        m->oland_lakes.assign(static_cast<std::size_t>(m->n_oland_lakes) + 1, kesta::lake_record());
        for (kesta::lake_record& l : m->oland_lakes) l.level = l.initial_level = 1.0;
        for (int k = 1; k <= m->ncells; ++k) {
            const std::size_t i = static_cast<std::size_t>(k - 1);
            m->elev[k] = c.ground[i];
            m->oland_lake_mask[k] = m->oland_lake_new[k] = c.lakes[i];
            if (c.lakes[i]) ++m->oland_lakes[static_cast<std::size_t>(c.lakes[i])].ncells;
            if (!c.water.empty()) m->h[k] = c.water[i];
        }
        kesta::lake_record& lake = m->oland_lakes[1];
        for (double v : c.steps) {
            lake.step_volume = v;
            m->olake_update_due = 1;
            kesta_test::printed_by([&] { kesta::step_overland_lake_extent(*m); });
            ASSERT_EQ(g_error_record.stop, 0);
            EXPECT_EQ(lake.step_volume, 0.0);
            EXPECT_EQ(m->olake_update_due, 0);
        }
        EXPECT_NEAR(lake.level, c.level, 1e-12);
        EXPECT_EQ(lake.ncells, c.ncells);
        for (int k = 1; k <= m->ncells; ++k) {
            EXPECT_EQ(m->oland_lake_new[k], c.lake_of_cell[static_cast<std::size_t>(k - 1)]) << "cell " << k;
            // A lake cell's water is the lake's.
            EXPECT_TRUE(m->oland_lake_new[k] == 0 || m->h[k] == 0.0) << "cell " << k;
        }
        auto near_if_given = [](double got, double want) {
            EXPECT_TRUE(std::isnan(want) || std::fabs(got - want) < 1e-12) << got << " against " << want;
        };
        near_if_given(lake.volume, c.volume);
        near_if_given(m->olake_added_volume, c.added);
        near_if_given(m->olake_drained_volume, c.drained);
        EXPECT_TRUE(std::isfinite(m->olake_balance_error));
        EXPECT_TRUE(!c.balanced || std::fabs(m->olake_balance_error) < 1e-9) << m->olake_balance_error;
        if (lake.ncells < 1) continue;
        // All that the lake may give takes it back to its initial level exactly.
        kesta::vec1<double> above;
        kesta::olake_water_above_initial(*m, above);
        lake.step_volume = -above[1];
        m->olake_update_due = 1;
        kesta_test::printed_by([&] { kesta::step_overland_lake_extent(*m); });
        EXPECT_NEAR(lake.level, 1.0, 1e-12);
        EXPECT_TRUE(!c.balanced || std::fabs(m->olake_balance_error) < 1e-9) << m->olake_balance_error;
    }
}

}  // namespace
