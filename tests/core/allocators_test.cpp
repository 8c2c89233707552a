#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "support/stream_capture.hpp"

using namespace kesta;

namespace {
// What a refused size prints: the size message, then the variable's.
std::string refused(const char* name) {
    return std::string("Error: Attempting to allocate array of size 0\nError allocating memory for variable ") + name +
           "\n";
}
}  // namespace

TEST(NamedAllocators, ZeroFillEveryIndexFromZeroAndReleaseTwiceIsHarmless) {
    testing::internal::CaptureStdout();
    vec1<double> v, p;
    alloc_dvector(v, 0, "h");
    realloc_dvector(4, p, "precip");
    mat2<double> m;
    alloc_dmatrix(2, 3, m, "grid");
    cube3<int> c;
    alloc_i3tensor(2, 2, 2, c, "tensor");
    mat2<char> names;
    alloc_cmatrix(2, 2, names, "names");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(v.n(), 0);
    EXPECT_EQ(v[0], 0.0);
    EXPECT_EQ(p.n(), 3);
    ASSERT_EQ(m.nrows(), 2);
    ASSERT_EQ(m.ncols(), 3);
    for (int i = 0; i <= 2; ++i)
        for (int j = 0; j <= 3; ++j) EXPECT_EQ(m[i][j], 0.0);
    EXPECT_EQ(c[2][2][2], 0);

    EXPECT_EQ(names[2][2], '\0');
    free_matrix(names);
    free_matrix(names);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(names.rows(), nullptr);
}

TEST(NamedAllocators, RefusedSizesPrintBothMessagesAndLeaveNoneButTheExtraRowVariantStillAllocates) {
    mat2<int> m = alloc2d_int(2, 2), checked, checked2;  // an old block is replaced, not kept
    vec1<int> v;
    vec1<double> p;
    realloc_dvector(4, p, "precip");
    cube3<double> c;
    testing::internal::CaptureStdout();
    alloc_imatrix(m, 0, 4, "mask");
    alloc_ivector(v, -3, "belowcon");
    alloc_d3tensor(1, 1, -1, c, "soil");
    realloc_dvector(0, p, "precip");
    alloc_matrix_checked(checked, 0, 3, "links");
    alloc_matrix_checked2(checked2, 0, 3, "nodes");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), refused("mask") + refused("belowcon") + refused("soil") +
                                                          refused("precip") + refused("links") + refused("nodes"));
    EXPECT_EQ((std::vector<bool>{m.empty(), v.empty(), c.empty(), p.empty(), checked.empty()}),
              std::vector<bool>(5, true));
    EXPECT_EQ(checked2.nrows(), 1);
    EXPECT_EQ(checked2.ncols(), 3);
    alloc_matrix_checked2(checked2, 4, 2, "nodes");
    EXPECT_EQ(checked2.nrows(), 5);
}

TEST(NamedAllocators, CallerStopsTheRunWhenAnyBlockItAskedForIsEmpty) {
    error_record rec;
    vec1<double> made;
    alloc_dvector(made, 3, "made");
    mat2<int> none;
    cube3<double> cube = alloc3d_double(1, 1, 1);
    std::string summary;
    testing::internal::CaptureStdout();
    summary = kesta_test::written_by([&](std::FILE* fp) {
        rec.summary_file = fp;
        EXPECT_TRUE(blocks_made(rec, "the made blocks", made, cube));
        EXPECT_FALSE(blocks_made(rec, "the channel node tables", made, none, cube));
    });
    const std::string says = "Error: the channel node tables could not be made; the run stops.\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), says);
    EXPECT_EQ(summary, says);
    EXPECT_EQ(rec.code, 4000);
    EXPECT_EQ(rec.stop, 1);
}
