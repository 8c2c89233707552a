// Spreading gauge values over the cells: inverse distance squared, and the
// nearest gauge of every cell.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/arrays.hpp"
#include "core/error_record.hpp"
#include "overland/overland_grid.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace {

using kesta::g_error_record;
using kesta::vec1;

// One row of three 10 m cells whose centres lie at x = 5, 15, 25 and y = 5;
// the middle cell is outside the watershed.
struct GaugeGrid : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        mask[1][1] = 1;
        mask[1][3] = 2;
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Gauges at (x, 5) with one value each, for period 1.
    void gauges(const std::vector<std::pair<double, double>>& at) {
        const int n = static_cast<int>(at.size());
        easting = vec1<double>(n);
        northing = vec1<double>(n);
        values = kesta::mat2<double>(n, 1);
        for (int k = 1; k <= n; ++k) {
            easting[k] = at[k - 1].first;
            northing[k] = 5.0;
            values[k][1] = at[k - 1].second;
        }
    }
    std::string neighbours() {
        return kesta_test::printed_by([&] {
            kesta::find_neighbor(easting.n(), mask, easting, northing, 10.0, 0.0, nearest, 10.0, 1, 3);
        });
    }

    kesta::mat2<int> mask{1, 3};
    vec1<double> ri{2}, easting, northing;
    vec1<int> nearest{2};
    kesta::mat2<double> values;
};

TEST_F(GaugeGrid, InverseDistanceSquaredCopiesAGaugeWithinOneCellSizeAndWeightsTheRest) {
    const double w1 = 1.0 / (10.1 * 10.1), w2 = 1.0 / (10.0 * 10.0);
    const struct {
        const char* what;
        std::vector<std::pair<double, double>> at;
        double cell1, cell2;
    } cases[] = {
        // Cell 1: gauge 1 at 9.9 m, copied. Cell 2: gauge 2 at exactly
        // 10 m and gauge 1 at 10.1 m, both weighted.
        {"one cell size is weighted", {{14.9, 6.0}, {35.0, 3.0}}, 6.0, (6.0 * w1 + 3.0 * w2) / (w1 + w2)},
        // Cell 1: 10 at 2 dx and 20 at 4 dx weigh 4:1, giving 12.
        {"weights 4:1 at 20 m and 40 m", {{25.0, 10.0}, {45.0, 20.0}}, 12.0, 10.0},
        {"a single gauge however far", {{5000.0, 7.5}}, 7.5, 7.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gauges(c.at);
        kesta::idw_points_to_grid(10.0, 1, mask, easting.n(), northing, easting, 10.0, 0.0, values, ri, 1, 3);
        EXPECT_NEAR(ri[1], c.cell1, 1e-12);
        EXPECT_NEAR(ri[2], c.cell2, 1e-12);
    }
}

TEST_F(GaugeGrid, NearestGaugeOfEachCellAndTheHigherNumberOnATie) {
    gauges({{0.0, 1.0}, {30.0, 2.0}, {20.0, 3.0}});
    EXPECT_EQ(neighbours(), "");
    EXPECT_EQ(nearest[1], 1);  // 5 m against 25 and 15
    EXPECT_EQ(nearest[2], 3);  // 5 m from both gauge 2 and gauge 3: the later wins
    EXPECT_EQ(g_error_record.code, 0);
}

TEST_F(GaugeGrid, GaugeAtExactly900000IsAcceptedAndOneFartherStopsTheRun) {
    gauges({{900005.0, 1.0}});
    neighbours();
    EXPECT_EQ(nearest[1], 1);
    EXPECT_EQ(g_error_record.code + g_error_record.stop, 0);

    nearest[1] = nearest[2] = 0;
    gauges({{900005.5, 1.0}});
    const std::string out = neighbours();
    EXPECT_TRUE(kesta_test::has(out, "Failure to identify closest raingauge in find_neighbor\n"
                                     "check rain gage data file, particularly gage coordinates\n"));
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(nearest[2], 0);  // cells after the failing one are left alone
}

}  // namespace
