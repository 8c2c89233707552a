#include <gtest/gtest.h>

#include <string>

#include "core/arrays.hpp"
#include "support/stream_capture.hpp"

using namespace kesta;
using kesta_test::printed_by;

namespace {

const std::string kSize0 = "Error: Attempting to allocate array of size 0\n";
const std::string kBad2d = "\n\nError!! Bad pointers found in 2D array.\n\n";
const std::string kBad3d = "\n\nError!!!  Bad pointers found in 3D array.\n\n";

// Counts live objects so tests can see object rows built and destroyed.
struct tracked {
    static int live;
    int v = 7;
    tracked() { ++live; }
    ~tracked() { --live; }
    tracked(const tracked&) = delete;
    tracked& operator=(const tracked&) = delete;
};
int tracked::live = 0;

}  // namespace

TEST(Array1d, IndexOutsideZeroToNOrAppendPastNFlagsOnceAndIsReportedByNameAtDestruction) {
    const std::string out = printed_by([] {
        array1d<double> a(4), b(2);
        a.set_name("OV_MASS_OUT");
        a.at(0) = 1.0;
        a.at(4) = 2.0;
        b.append(1.5);
        b.append(2.5);
        EXPECT_FALSE(a.bad_range() || b.bad_range());
        a.at(-1) = 99.0;
        a.at(5) = 99.0;
        b.append(3.5);  // stops at n instead of writing past
        EXPECT_TRUE(a.bad_range() && b.bad_range());
        EXPECT_EQ(a.at(5), 0.0);  // the sink never keeps a stray write
        EXPECT_EQ(a.data()[4], 2.0);
        EXPECT_EQ(b.at(1), 1.5);
        EXPECT_EQ(b.at(2), 2.5);
        b.grow(1);
        b.append(4.5);  // the count continues where it stopped
        EXPECT_EQ(b.at(3), 4.5);
    });
    EXPECT_EQ(out, "Error: bad range addressed in array \nError: bad range addressed in array OV_MASS_OUT\n");
}

TEST(Array1d, GrowsByExactAmountsKeepingOldValuesRefusesNegativeSizesAndAssignsCommonIndices) {
    array1d<int> e;
    EXPECT_EQ(e.data(), nullptr);
    EXPECT_TRUE(e.grow(3));
    EXPECT_EQ(e.size(), 3);
    e.at(3) = 1;  // in range after growth
    EXPECT_FALSE(e.bad_range());

    array1d<double> a(4);
    for (int i = 0; i <= 4; ++i) a.at(i) = i;
    a.append_fill(3, 2.5);
    EXPECT_EQ(a.size(), 7);
    for (int i = 0; i <= 7; ++i) EXPECT_EQ(a.at(i), i <= 4 ? i : 2.5);

    const std::string out = printed_by([&a] {
        array1d<double> n(-2);
        EXPECT_EQ(n.size(), 0);
        EXPECT_EQ(n.data(), nullptr);
        EXPECT_FALSE(a.grow(-1));
        a.append_fill(-3, 1.0);
    });
    EXPECT_EQ(out, kSize0 + kSize0 + kSize0);
    EXPECT_EQ(a.size(), 7);

    // Assignment copies only the indices both have, from 1.
    array1d<int> small(3), big(5);
    for (int i = 0; i <= 5; ++i) {
        if (i <= 3) small.at(i) = 10 + i;
        big.at(i) = -i;
    }
    big = small;
    EXPECT_EQ(big.size(), 5);
    const int want[6] = {0, 11, 12, 13, -4, -5};
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(big.at(i), want[i]);
}

TEST(Array2d, AddRowsQuirksRowBoundsAndObjectRowsLiveWithTheTable) {
    array2d<double> t;
    t.add_rows(0);
    EXPECT_EQ(t.nrows(), 0);
    EXPECT_EQ(t.ncols(), 1);
    t.add_rows_fill(0, 4.0);
    ASSERT_EQ(t.nrows(), 1);
    EXPECT_EQ(t.row(1)[1], 4.0);
    t.add_rows_fill(2, 6.0);
    EXPECT_EQ(t.nrows(), 3);
    EXPECT_EQ(t.rows()[3][1], 6.0);
    EXPECT_EQ(t.row(0), nullptr);
    EXPECT_EQ(t.row(4), nullptr);

    array2d<int> h;
    h.add_rows(2, 5);  // the hint applies while ncols is 0
    EXPECT_EQ(h.ncols(), 5);
    h.add_rows(1, 9);  // and only then
    EXPECT_EQ(h.ncols(), 5);
    EXPECT_EQ(h.nrows(), 3);

    {
        array2d<tracked> objects;
        objects.add_rows(2, 3);
        EXPECT_EQ(tracked::live, 8);  // two rows of columns 0..3
        EXPECT_EQ(objects.row(2)[3].v, 7);
    }
    EXPECT_EQ(tracked::live, 0);
}

TEST(Array2d, OverwrittenRowTableRefusesGrowthAndIsReportedAtDestruction) {
    double foreign[3] = {0, 0, 0};
    testing::internal::CaptureStdout();
    {
        array2d<double> t(2);
        t.add_rows(2);
        t.rows()[1] = foreign;
        EXPECT_FALSE(t.add_rows(1));
        EXPECT_EQ(t.nrows(), 2);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), kBad2d);
        testing::internal::CaptureStdout();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kBad2d);
}

TEST(Array2d, AdoptedRowsStayTheCallersAndResizeWidensIntoOwnedCopies) {
    double r1[3] = {0, 1, 2}, r2[3] = {0, 3, 4};
    double* list[3] = {nullptr, r1, r2};
    array2d<double> t;
    t.adopt_rows(0, list, 2);
    EXPECT_EQ(t.nrows(), 0);
    t.adopt_rows(2, list, 2);
    ASSERT_EQ(t.nrows(), 2);
    EXPECT_EQ(t.row(2), r2);
    t.resize_cols_fill(3, 4, 9.0);
    EXPECT_EQ(t.ncols(), 4);
    EXPECT_EQ(t.nrows(), 3);
    EXPECT_NE(t.row(1), r1);
    const double want1[5] = {0, 1, 2, 9, 9};
    for (int j = 1; j <= 4; ++j) {
        EXPECT_EQ(t.row(1)[j], want1[j]);
        EXPECT_EQ(t.row(3)[j], 9.0);
    }
    EXPECT_EQ(r1[2], 2.0);

    array2d<double> e(3);  // a table without rows takes the wider column count
    e.resize_cols_fill(2, 6, 1.5);
    EXPECT_EQ(e.ncols(), 6);
    EXPECT_EQ(e.row(2)[6], 1.5);
}

TEST(Array3d, OwnedAndAdoptedPlanesAndBadPointerDetection) {
    mat2<double> mine = alloc_plane(2, 3, 5.0);
    double** list[2] = {nullptr, mine.rows()};
    testing::internal::CaptureStdout();
    {
        array3d<double> c(2, 3);
        c.add_planes_fill(2, 1.25);
        c.adopt_planes(1, list);
        ASSERT_EQ(c.nplanes(), 3);
        EXPECT_EQ(c.plane(0), nullptr);
        EXPECT_EQ(c.plane(4), nullptr);
        EXPECT_EQ(c.plane(2)[2][3], 1.25);
        EXPECT_EQ(c.plane(3)[1][1], 5.0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

        testing::internal::CaptureStdout();
        c.planes()[1] = mine.rows();
        c.add_planes_fill(1, 0.0);
        EXPECT_EQ(c.nplanes(), 3);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kBad3d + kBad3d);
    EXPECT_EQ(mine[2][3], 5.0);
}

TEST(Blocks, SizeRefusalsZeroSizedVectorContiguousLayoutAndMoves) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(alloc2d_double(0, 5).empty());
    EXPECT_TRUE(alloc3d_int(2, 0, 2).empty());
    EXPECT_TRUE(alloc1d_double(-1).empty());
    vec1<double> one = alloc1d_double(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kSize0 + kSize0 + kSize0);
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(one.n(), 0);
    EXPECT_EQ(one[0], 0.0);

    mat2<int> m = alloc2d_int(3, 4);
    m[2][3] = 42;
    EXPECT_EQ(m.data()[2 * 5 + 3], 42);
    int** before = m.rows();
    mat2<int> moved = std::move(m);
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(moved.rows(), before);
    EXPECT_EQ(moved[2][3], 42);

    cube3<double> c = alloc3d_double(2, 3, 4);
    c[2][1][3] = 8.0;
    EXPECT_EQ(c.data()[((2 * 4) + 1) * 5 + 3], 8.0);
    fill3d_double(c, -1.0);
    EXPECT_EQ(c[0][0][0], -1.0);
    EXPECT_EQ(c[2][3][4], -1.0);
}

TEST(Blocks, NodeTableKeepsALinksNodesTogetherBehindNodeThenLinkIndexing) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(alloc_nodes_double(0, 3).empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kSize0);

    node_table<double> t = alloc_nodes_double(4, 3);  // nodes 0..4, links 0..3
    ASSERT_EQ(t.nrows(), 4);
    ASSERT_EQ(t.ncols(), 3);
    for (int l = 0; l <= 3; ++l)
        for (int n = 0; n <= 4; ++n) t[n][l] = 10.0 * l + n;
    for (int l = 0; l <= 3; ++l) {
        const double* nodes = t.link(l);
        for (int n = 0; n <= 4; ++n) EXPECT_EQ(nodes[n], 10.0 * l + n);
    }
    EXPECT_EQ(t.link(2) + 5, t.link(3));  // links follow one another, nodes 0..4 each
    const node_table<double>& c = t;
    EXPECT_EQ(c[4][1], 14.0);
    node_table<double> moved = std::move(t);
    EXPECT_TRUE(t.empty());
    EXPECT_EQ(moved[3][2], 23.0);
}
