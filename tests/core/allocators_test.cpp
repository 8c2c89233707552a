#include <gtest/gtest.h>

#include <string>

#include "core/allocators.hpp"

using namespace kesta;

namespace {
const std::string kSize0 = "Error: Attempting to allocate array of size 0\n";
std::string alloc_msg(const char* name) {
    return std::string("Error allocating memory for variable ") + name + "\n";
}
}  // namespace

TEST(NamedAllocators, ZeroFillEveryIndexFromZero) {
    testing::internal::CaptureStdout();
    vec1<double> v;
    alloc_dvector(v, 0, "h");
    mat2<double> m;
    alloc_dmatrix(2, 3, m, "grid");
    cube3<int> c;
    alloc_i3tensor(2, 2, 2, c, "tensor");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(v.n(), 0);
    EXPECT_EQ(v[0], 0.0);
    EXPECT_EQ(m.nrows(), 2);
    EXPECT_EQ(m.ncols(), 3);
    for (int i = 0; i <= 2; ++i)
        for (int j = 0; j <= 3; ++j) EXPECT_EQ(m[i][j], 0.0);
    EXPECT_EQ(c[2][2][2], 0);
}

TEST(NamedAllocators, RefusedSizesPrintBothMessagesAndLeaveNone) {
    mat2<int> m = alloc2d_int(2, 2);  // an old block is replaced, not kept
    vec1<int> v;
    cube3<double> c;
    testing::internal::CaptureStdout();
    alloc_imatrix(m, 0, 4, "mask");
    alloc_ivector(v, -3, "belowcon");
    alloc_d3tensor(1, 1, -1, c, "soil");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              kSize0 + alloc_msg("mask") + kSize0 + alloc_msg("belowcon") + kSize0 +
                  alloc_msg("soil"));
    EXPECT_TRUE(m.empty());
    EXPECT_TRUE(v.empty());
    EXPECT_TRUE(c.empty());
}

TEST(NamedAllocators, CheckedMatricesWarnOnZeroAndTheExtraRowVariantStillAllocates) {
    mat2<int> a, b;
    testing::internal::CaptureStdout();
    alloc_matrix_checked(a, 0, 3, "links");
    alloc_matrix_checked2(b, 0, 3, "nodes");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              kSize0 + alloc_msg("links") + kSize0 + alloc_msg("nodes"));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(b.nrows(), 1);
    EXPECT_EQ(b.ncols(), 3);

    alloc_matrix_checked2(b, 4, 2, "nodes");
    EXPECT_EQ(b.nrows(), 5);
}

TEST(NamedAllocators, ReallocMakesNElementsFromZero) {
    vec1<double> p;
    realloc_dvector(4, p, "precip");
    EXPECT_EQ(p.n(), 3);
    testing::internal::CaptureStdout();
    realloc_dvector(0, p, "precip");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kSize0 + alloc_msg("precip"));
    EXPECT_TRUE(p.empty());
}

TEST(NamedAllocators, ReleaseIsHarmlessOnAnEmptyBlock) {
    mat2<char> m;
    alloc_cmatrix(2, 2, m, "names");
    free_matrix(m);
    free_matrix(m);
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(m.rows(), nullptr);
}
