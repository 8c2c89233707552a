// The lake and low-spot files, the sort that orders lake candidates, and
// lakes growing and shrinking over hand-worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "core/overland_arrays.hpp"
#include "overland/overland_lakes.hpp"
#include "overland/overland_steps.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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

class CardFiles : public ::testing::Test {
protected:
    void TearDown() override { g_error_record = kesta::error_record(); }
    // Opens `text` as a file and hands it to `read`.
    template <class Read>
    bool read(const std::string& text, Read r) {
        g_error_record = kesta::error_record();
        const std::string path = dir.write("cards.txt", text);
        std::FILE* fp = std::fopen(path.c_str(), "r");
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool ok = r(fp, path);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        std::fclose(fp);
        return ok;
    }
    kesta_test::temp_dir dir;
    std::string out, err;
};

TEST_F(CardFiles, LowSpotFileKeepsEverySpotCardInOrder) {
    int count = 0;
    std::vector<kesta::lowspot_record> spots;
    auto r = [&](std::FILE* fp, const std::string& name) { return kesta::read_lowspot_file(fp, name, count, spots); };
    ASSERT_TRUE(read("LowSpot\nnote\n  spot 2 3 4 0.5 101.25\nSPOT,1,1,2,1.5,99\n", r)) << out;
    ASSERT_EQ(count, 2);
    ASSERT_EQ(spots.size(), 3u);
    EXPECT_EQ(spots[1].row, 2);
    EXPECT_EQ(spots[1].side, 4);
    EXPECT_DOUBLE_EQ(spots[1].elevation, 101.25);
    EXPECT_DOUBLE_EQ(spots[2].fraction, 1.5);
    EXPECT_EQ(spots[0].row, 0);

    EXPECT_TRUE(read("low\nSPOT 1 1 1 0.1 1\n", r));  // a leading part of the keyword
    EXPECT_FALSE(read("lowspots\nSPOT 1 1 1 0.1 1\n", r));
    EXPECT_TRUE(has(err, "does not start with the LOWSPOT card.\n"));
    EXPECT_FALSE(read("LOWSPOT\n", r));
    EXPECT_TRUE(has(out, "No SPOT cards encountered before end of file.\n"));
    EXPECT_FALSE(read("LOWSPOT\nSPOT 1 x 1 0.1 1\n", r));
    EXPECT_TRUE(has(out, "line 2: the column does not read in \"SPOT 1 x 1 0.1 1\""));
}

TEST_F(CardFiles, LakeCardsFillTheLakeTheyNameWhateverTheirOrder) {
    std::vector<kesta::lake_record> lakes(3);
    auto r = [&](std::FILE* fp, const std::string& name) { return kesta::read_lake_file(fp, name, 2, lakes); };
    ASSERT_TRUE(read("KESTA_Overland_Lake_File\nLAKE 2 7.5 10\nLAKE 1 3.25 20\n", r)) << out;
    EXPECT_DOUBLE_EQ(lakes[2].level, 7.5);
    EXPECT_DOUBLE_EQ(lakes[2].initial_level, 7.5);
    EXPECT_DOUBLE_EQ(lakes[1].volume, 20.0);
    EXPECT_FALSE(read("KESTA_OVERLAND_LAKE_FILE\nLAKE 0 1 1\nLAKE 1 1 1\n", r));
    EXPECT_TRUE(has(out, "lake number 0 lies outside 1 to 2"));
}

// A row of five 10 m cells, lake 1 on cell 3 (ground 0 m, level 1 m).
class Lakes : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = kesta::error_record();
        grid(1, 5, {0.5, 1.2, 0.0, 1.4, 5.0}, {0, 0, 1, 0, 0});
    }
    void TearDown() override { g_error_record = kesta::error_record(); }

    void grid(int rows, int cols, const std::vector<double>& ground, const std::vector<int>& lakes) {
        m = std::make_unique<kesta::model_state>();
        m->rows = rows;
        m->cols = cols;
        m->gridsize = 10.0;
        m->overland_lake_map_given = 1;
        kesta::alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
        int n = 0;
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c) m->mask[r][c] = ++n;
        m->ncells = n;
        kesta::alloc_dvector(m->elev, n, "elev");
        kesta::alloc_overland_arrays(*m);
        testing::internal::CaptureStdout();
        kesta::build_cell_connectivity(*m);
        testing::internal::GetCapturedStdout();
        int nlakes = 0;
        for (int k = 1; k <= n; ++k) {
            m->elev[k] = ground[static_cast<std::size_t>(k - 1)];
            m->oland_lake_mask[k] = m->oland_lake_new[k] = lakes[static_cast<std::size_t>(k - 1)];
            nlakes = std::max(nlakes, lakes[static_cast<std::size_t>(k - 1)]);
        }
        m->n_oland_lakes = nlakes;
        m->oland_lakes.assign(static_cast<std::size_t>(nlakes) + 1, kesta::lake_record());
        for (int k = 1; k <= n; ++k) {
            if (lakes[static_cast<std::size_t>(k - 1)]) ++m->oland_lakes[static_cast<std::size_t>(lakes[k - 1])].ncells;
        }
        for (int l = 1; l <= nlakes; ++l) {
            m->oland_lakes[static_cast<std::size_t>(l)].level = 1.0;
            m->oland_lakes[static_cast<std::size_t>(l)].initial_level = 1.0;
        }
    }
    kesta::lake_record& lake() { return m->oland_lakes[1]; }
    bool step(double volume) {
        lake().step_volume = volume;
        m->olake_update_due = 1;
        testing::internal::CaptureStdout();
        kesta::step_overland_lake_extent(*m);
        out = testing::internal::GetCapturedStdout();
        return g_error_record.stop == 0;
    }

    std::unique_ptr<kesta::model_state> m;
    std::string out;
};

TEST_F(Lakes, WithoutFloodedNeighboursTheLakeRisesByVolumeOverArea) {
    m->elev[2] = m->elev[4] = 5.0;
    ASSERT_TRUE(step(50.0));
    EXPECT_DOUBLE_EQ(lake().level, 1.5);
    EXPECT_DOUBLE_EQ(lake().volume, 50.0);
    EXPECT_DOUBLE_EQ(lake().step_volume, 0.0);
    EXPECT_EQ(m->olake_update_due, 0);
    EXPECT_DOUBLE_EQ(m->olake_added_volume, 50.0);
}

TEST_F(Lakes, ATrialLevelBelowTheInitialLevelResetsIt) {
    ASSERT_TRUE(step(-10.0));
    EXPECT_DOUBLE_EQ(lake().level, 1.0);
    EXPECT_EQ(lake().ncells, 1);
}

TEST_F(Lakes, OneFloodedNeighbourSharesTheVolumeAndItsWater) {
    m->elev[2] = 0.8;
    m->h[2] = 0.2;  // water surface at the lake's level
    m->elev[4] = 5.0;
    ASSERT_TRUE(step(100.0));
    EXPECT_DOUBLE_EQ(lake().level, 1.5);
    EXPECT_EQ(m->oland_lake_new[2], 1);
    EXPECT_EQ(lake().ncells, 2);
    EXPECT_DOUBLE_EQ(m->h[2], 0.0);
    EXPECT_DOUBLE_EQ(lake().volume, 120.0);  // the step's volume and the cell's water
    EXPECT_NEAR(m->olake_balance_error, 0.0, 1e-9);
}

TEST_F(Lakes, ASmallGainTakesOnlyTheLowerGroup) {
    // Neighbours at 1.2 m (cell 2) and 1.4 m (cell 4); 50 m3 floods only the first.
    ASSERT_TRUE(step(50.0));
    EXPECT_DOUBLE_EQ(lake().level, 1.35);
    EXPECT_EQ(m->oland_lake_new[2], 1);
    EXPECT_EQ(m->oland_lake_new[4], 0);
    EXPECT_EQ(lake().ncells, 2);
    EXPECT_NEAR(m->olake_balance_error, 0.0, 1e-9);
}

TEST_F(Lakes, ALargeGainTakesEveryCandidateAndSpreadsTheRest) {
    m->elev[4] = 1.5;
    m->h[2] = 0.3;  // cell 2 stands at 1.5 m like cell 4: one group
    m->elev[2] = 1.2;
    ASSERT_TRUE(step(1000.0));
    // Raising the lake to 1.5 m takes 50 m3; the other 950 m3 spread over 3 cells.
    EXPECT_NEAR(lake().level, 1.5 + 950.0 / 300.0, 1e-12);
    EXPECT_EQ(lake().ncells, 3);
    EXPECT_DOUBLE_EQ(lake().volume, 1000.0 + 30.0);
    EXPECT_NEAR(m->olake_balance_error, 0.0, 1e-9);
}

TEST_F(Lakes, ACellNextToTwoLakeCellsIsTakenOnce) {
    // 2 x 2: lake cells 1 and 4 on ground 0; cells 2 and 3 at 0.5 m border both.
    grid(2, 2, {0.0, 0.5, 0.5, 0.0}, {1, 0, 0, 1});
    ASSERT_TRUE(step(200.0));
    EXPECT_EQ(lake().ncells, 4);
    EXPECT_DOUBLE_EQ(lake().level, 1.25);
    EXPECT_NEAR(m->olake_balance_error, 0.0, 1e-9);
}

TEST_F(Lakes, ShrinkingGivesBackTheCellsTheLevelNoLongerCovers) {
    ASSERT_TRUE(step(50.0));  // takes cell 2 (ground 1.2 m), level 1.35 m
    ASSERT_TRUE(step(-40.0));
    EXPECT_DOUBLE_EQ(lake().level, 1.1);
    EXPECT_EQ(m->oland_lake_new[2], 0);
    EXPECT_EQ(lake().ncells, 1);
    EXPECT_DOUBLE_EQ(lake().volume, 10.0);
    EXPECT_DOUBLE_EQ(m->olake_drained_volume, 40.0);
    EXPECT_NEAR(m->olake_balance_error, 0.0, 1e-9);
}

TEST_F(Lakes, ALossBeyondTheLowestGroupDropsTheLevelBelowIt) {
    ASSERT_TRUE(step(50.0));
    ASSERT_TRUE(step(-60.0));
    // Lowering to 1.2 m releases 30 m3; the other 30 m3 come off the one cell left.
    EXPECT_DOUBLE_EQ(lake().level, 0.9);
    EXPECT_EQ(lake().ncells, 1);
}

TEST_F(Lakes, ALakeThatRoseWithoutGrowingFallsBackFreely) {
    m->elev[2] = m->elev[4] = 5.0;
    ASSERT_TRUE(step(50.0));
    ASSERT_TRUE(step(-20.0));
    EXPECT_DOUBLE_EQ(lake().level, 1.3);
    EXPECT_DOUBLE_EQ(lake().volume, 30.0);
}

TEST_F(Lakes, ALakeWithoutCellsIsLeftAlone) {
    grid(1, 3, {0.0, 0.0, 0.0}, {2, 0, 0});  // lake 1 has no cell
    ASSERT_EQ(lake().ncells, 0);
    ASSERT_TRUE(step(30.0));
    EXPECT_DOUBLE_EQ(lake().level, 1.0);
    EXPECT_TRUE(std::isfinite(m->olake_balance_error));
}

}  // namespace
