#include "channel/superlink/junction_lu.hpp"

#include <klu.h>

#include <limits>
#include <memory>

namespace kesta {

namespace {

// Share of the last full factorisation's reciprocal pivot growth (the least,
// over the columns, of the largest element of the scaled matrix over the
// largest of U) below which kept pivots are searched again: with kept
// pivots the factors' elements may grow up to ten times as much as with the
// pivots last searched for.
constexpr double kGrowthShare = 0.1;

}  // namespace

struct junction_lu::library {
    klu_common common;
    klu_symbolic* symbolic = nullptr;
    klu_numeric* numeric = nullptr;
    int n = 0;

    // Rows unscaled, as the junctions' continuity equations come: scaled by
    // their largest entries, the heads' round-off left the network's hour
    // balance (in less out, stored and made) ten to forty times looser at
    // 30,000 junctions, and no faster.
    library() {
        klu_defaults(&common);
        common.scale = 0;
    }
    ~library() {
        if (numeric) klu_free_numeric(&numeric, &common);
        if (symbolic) klu_free_symbolic(&symbolic, &common);
    }
};

namespace {

// The library takes its arrays as non-const pointers but does not write to
// the matrix.
int* outer(const Eigen::SparseMatrix<double>& a) { return const_cast<int*>(a.outerIndexPtr()); }
int* inner(const Eigen::SparseMatrix<double>& a) { return const_cast<int*>(a.innerIndexPtr()); }
double* values(const Eigen::SparseMatrix<double>& a) { return const_cast<double*>(a.valuePtr()); }

}  // namespace

junction_lu::junction_lu() : lib_(std::make_unique<library>()) {}

junction_lu::~junction_lu() = default;

bool junction_lu::analyse(const Eigen::SparseMatrix<double>& a) {
    if (lib_->numeric) klu_free_numeric(&lib_->numeric, &lib_->common);
    if (lib_->symbolic) klu_free_symbolic(&lib_->symbolic, &lib_->common);
    full_ = kept_ = 0;
    full_growth_ = 0.0;
    lib_->n = static_cast<int>(a.rows());
    if (lib_->n == 0) return true;
    lib_->symbolic = klu_analyze(lib_->n, outer(a), inner(a), &lib_->common);
    return lib_->symbolic != nullptr;
}

bool junction_lu::factorise_anew(const Eigen::SparseMatrix<double>& a) {
    if (lib_->numeric) klu_free_numeric(&lib_->numeric, &lib_->common);
    lib_->numeric = klu_factor(outer(a), inner(a), values(a), lib_->symbolic, &lib_->common);
    if (lib_->numeric && lib_->common.status != KLU_OK) klu_free_numeric(&lib_->numeric, &lib_->common);
    if (!lib_->numeric) return false;
    ++full_;
    // Without a measure of this growth no later factorisation keeps its pivots.
    full_growth_ = klu_rgrowth(outer(a), inner(a), values(a), lib_->symbolic, lib_->numeric, &lib_->common)
                       ? lib_->common.rgrowth
                       : std::numeric_limits<double>::infinity();
    return true;
}

bool junction_lu::factorise(const Eigen::SparseMatrix<double>& a) {
    if (lib_->n == 0) return true;
    if (!lib_->symbolic) return false;
    if (lib_->numeric) {
        const bool kept = klu_refactor(outer(a), inner(a), values(a), lib_->symbolic, lib_->numeric, &lib_->common) &&
                          lib_->common.status == KLU_OK &&
                          klu_rgrowth(outer(a), inner(a), values(a), lib_->symbolic, lib_->numeric, &lib_->common) &&
                          lib_->common.rgrowth >= kGrowthShare * full_growth_;
        if (kept) {
            ++kept_;
            return true;
        }
    }
    return factorise_anew(a);
}

bool junction_lu::solve(Eigen::VectorXd& b) {
    if (lib_->n == 0) return true;
    if (!lib_->numeric) return false;
    return klu_solve(lib_->symbolic, lib_->numeric, lib_->n, 1, b.data(), &lib_->common) != 0;
}

}  // namespace kesta
