// The lake and low-spot files, the sort that orders lake candidates, and
// lakes growing and shrinking over hand-worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "overland/overland_grid.hpp"
#include "overland/overland_lakes.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta_test::has;

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
    // Raising the lake to 1.5 m takes 50 m3; the other 950 m3 spread over 3 cells.
    {"a large gain takes every candidate and spreads the rest", 1, 5, {0.5, 1.2, 0.0, 1.5, 5.0}, kLake3,
     {0.0, 0.3, 0.0, 0.0, 0.0}, {1000.0}, 1.5 + 950.0 / 300.0, 3, {0, 1, 1, 1, 0}, 1030.0},
    {"a cell next to two lake cells is taken once", 2, 2, {0.0, 0.5, 0.5, 0.0}, {1, 0, 0, 1}, {}, {200.0},
     1.25, 4, {1, 1, 1, 1}},
    {"shrinking gives back the cells the level no longer covers", 1, 5, kRow, kLake3, {}, {50.0, -40.0},
     1.1, 1, kLake3, 10.0, true, kUnchecked, 40.0},
    // Lowering to 1.2 m releases 30 m3; the other 30 m3 come off the one cell left.
    {"a loss beyond the lowest group drops the level below it", 1, 5, kRow, kLake3, {}, {50.0, -60.0},
     0.9, 1, kLake3},
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
        auto m = kesta_test::connected_grid(c.rows, c.cols, active);
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
    }
}

}  // namespace
