// The junction system's sparse LU: systems of one pattern solved in turn,
// pivots kept while they hold and searched again when they do not, and
// singular systems refused without solving with stale factors.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "channel/superlink/junction_lu.hpp"

namespace {

using kesta::junction_lu;

// The largest error of the solution of a x = a ones(n) (the junction
// system's tree: j joined to j / 2).
double solve_error(junction_lu& lu, const Eigen::SparseMatrix<double>& a) {
    Eigen::VectorXd b = a * Eigen::VectorXd::Ones(a.rows());
    if (!lu.solve(b)) return INFINITY;
    return (b.array() - 1.0).abs().maxCoeff();
}

Eigen::SparseMatrix<double> tree(int n, double diag, double off) {
    std::vector<Eigen::Triplet<double>> t;
    for (int j = 1; j <= n; ++j) t.emplace_back(j - 1, j - 1, diag + 0.01 * j);
    for (int j = 2; j <= n; ++j) {
        t.emplace_back(j - 1, j / 2 - 1, -off);
        t.emplace_back(j / 2 - 1, j - 1, -off * (1 + 0.001 * j));
    }
    Eigen::SparseMatrix<double> a(n, n);
    a.setFromTriplets(t.begin(), t.end());
    a.makeCompressed();
    return a;
}

TEST(JunctionLu, SolvesSystemsOfOnePatternKeepingPivotsThatHold) {
    junction_lu lu;
    Eigen::SparseMatrix<double> a = tree(500, 4.0, 1.0);
    ASSERT_TRUE(lu.analyse(a));
    for (double off : {1.0, 1.2, 0.3}) {
        a = tree(500, 4.0, off);
        ASSERT_TRUE(lu.factorise(a));
        EXPECT_LT(solve_error(lu, a), 1e-14) << off;
    }
    EXPECT_EQ(lu.full_factorisations(), 1);
    EXPECT_EQ(lu.kept_pivots(), 2);
}

TEST(JunctionLu, SearchesPivotsAgainWhereTheKeptOnesGrowTheFactors) {
    junction_lu lu;
    Eigen::SparseMatrix<double> a = tree(2, 2.0, -1.0);  // [[2.01, 1.002], [1, 2.02]]: diagonal pivots
    ASSERT_TRUE(lu.analyse(a));
    ASSERT_TRUE(lu.factorise(a));
    a.coeffRef(0, 0) = 1e-14;  // its pivot would grow U by 1e14 and lose the solution to 1e-2
    ASSERT_TRUE(lu.factorise(a));
    EXPECT_LT(solve_error(lu, a), 1e-14);
    EXPECT_EQ(lu.full_factorisations(), 2);
}

TEST(JunctionLu, RefusesSingularSystemsAndRecovers) {
    junction_lu lu;
    Eigen::SparseMatrix<double> a = tree(50, 4.0, 1.0);
    ASSERT_TRUE(lu.analyse(a));
    ASSERT_TRUE(lu.factorise(a));
    const Eigen::SparseMatrix<double> good = a;
    for (Eigen::SparseMatrix<double>::InnerIterator it(a, 20); it; ++it) it.valueRef() = 0.0;  // a junction nothing sets
    EXPECT_FALSE(lu.factorise(a));
    Eigen::VectorXd b = Eigen::VectorXd::Ones(50);
    EXPECT_FALSE(lu.solve(b));  // not with the factors of the system before
    ASSERT_TRUE(lu.factorise(good));
    EXPECT_LT(solve_error(lu, good), 1e-14);
}

}  // namespace
