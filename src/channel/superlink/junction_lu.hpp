// The sparse LU of the storm-drain junction system. The system's pattern is
// fixed for a network (a tree of superjunctions: a diagonal and one entry
// each way per superlink), so it is ordered and analysed once; each solve
// then factorises its values. A factorisation after the first keeps the
// pivot sequence of the last full one (no search, no ordering), and is
// redone with a fresh pivot search when those pivots no longer hold: when
// one of them is zero, or when the factors' elements grew more than ten
// times as much as in the last full factorisation.
#pragma once

#include <Eigen/SparseCore>
#include <memory>

namespace kesta {

class junction_lu {
public:
    junction_lu();
    ~junction_lu();
    junction_lu(const junction_lu&) = delete;
    junction_lu& operator=(const junction_lu&) = delete;

    // Orders and analyses the pattern of `a` (square, compressed). Returns
    // false when the library cannot (out of memory).
    bool analyse(const Eigen::SparseMatrix<double>& a);

    // Factorises `a`, whose pattern is the analysed one. Returns false when
    // `a` is singular (a zero pivot in every pivot search).
    bool factorise(const Eigen::SparseMatrix<double>& a);

    // Overwrites `b` with a^-1 b for the last factorised `a`. Returns false
    // when nothing is factorised.
    bool solve(Eigen::VectorXd& b);

    // Full factorisations (with a pivot search) and factorisations that
    // kept the last pivots, since the analysis.
    long full_factorisations() const { return full_; }
    long kept_pivots() const { return kept_; }

private:
    bool factorise_anew(const Eigen::SparseMatrix<double>& a);

    struct library;  // the library's settings, analysis and factors
    std::unique_ptr<library> lib_;
    double full_growth_ = 0.0;  // reciprocal pivot growth of the last full factorisation
    long full_ = 0, kept_ = 0;
};

}  // namespace kesta
