// Spreading gauge values over the cells: inverse distance squared, and the
// nearest gauge of every cell.
#include <gtest/gtest.h>

#include <string>

#include "core/arrays.hpp"
#include "core/error_record.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace {

using kesta::g_error_record;
using kesta::mat2;
using kesta::vec1;

// One row of three 10 m cells whose centres lie at x = 5, 15, 25 and y = 5;
// the middle cell is outside the watershed.
struct GaugeGrid : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        mask = mat2<int>(1, 3);
        mask[1][1] = 1;
        mask[1][3] = 2;
        ri = vec1<double>(2);
        nearest = vec1<int>(2);
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Gauges at (x, 5) with one value each, for period 1.
    void gauges(std::initializer_list<std::pair<double, double>> at) {
        const int n = static_cast<int>(at.size());
        easting = vec1<double>(n);
        northing = vec1<double>(n);
        values = mat2<double>(n, 1);
        int k = 0;
        for (const auto& g : at) {
            ++k;
            easting[k] = g.first;
            northing[k] = 5.0;
            values[k][1] = g.second;
        }
    }
    void idw() {
        kesta::idw_points_to_grid(10.0, 1, mask, easting.n(), northing, easting, 10.0, 0.0, values,
                                  ri, 1, 3);
    }
    std::string neighbours() {
        testing::internal::CaptureStdout();
        kesta::find_neighbor(easting.n(), mask, easting, northing, 10.0, 0.0, nearest, 10.0, 1, 3);
        return testing::internal::GetCapturedStdout();
    }

    mat2<int> mask;
    vec1<double> ri, easting, northing;
    vec1<int> nearest;
    mat2<double> values;
};

TEST_F(GaugeGrid, GaugeWithinOneCellSizeIsCopiedAndOneAtExactlyOneCellSizeIsWeighted) {
    // Cell 1 (x 5): gauge 1 at 9.9 m, copied. Cell 2 (x 25): gauge 2 at
    // exactly 10 m and gauge 1 at 10.1 m, both weighted.
    gauges({{14.9, 6.0}, {35.0, 3.0}});
    idw();
    EXPECT_DOUBLE_EQ(ri[1], 6.0);
    const double w1 = 1.0 / (10.1 * 10.1), w2 = 1.0 / (10.0 * 10.0);
    EXPECT_NEAR(ri[2], (6.0 * w1 + 3.0 * w2) / (w1 + w2), 1e-12);
}

TEST_F(GaugeGrid, WeightsFallWithTheSquareOfTheDistance) {
    // Cell 1: 20 m and 40 m away, weights 4:1.
    gauges({{25.0, 10.0}, {45.0, 0.0}});
    idw();
    EXPECT_NEAR(ri[1], 10.0 * 4.0 / 5.0, 1e-12);
}

TEST_F(GaugeGrid, SingleGaugeGivesEveryCellItsValueWhateverTheDistance) {
    gauges({{5000.0, 7.5}});
    idw();
    EXPECT_DOUBLE_EQ(ri[1], 7.5);
    EXPECT_DOUBLE_EQ(ri[2], 7.5);
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
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_EQ(g_error_record.stop, 0);

    nearest[1] = nearest[2] = 0;
    gauges({{900005.5, 1.0}});
    const std::string out = neighbours();
    EXPECT_NE(out.find("Failure to identify closest raingauge in find_neighbor\n"
                       "check rain gage data file, particularly gage coordinates\n"),
              std::string::npos);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(nearest[2], 0);  // cells after the failing one are left alone
}

}  // namespace
