// The head system of one Picard pass of the aquifer, solved by the
// conjugate gradient.
//
// One unknown per solved cell: its head change over the sub-step. Its row,
// scaled by the cell's area, is the cell's water balance in m3/s: storage
// STOR area / sub plus the conductance g = c area (m2/s) of every face on
// the diagonal, -g towards each solved neighbour, and on the right-hand
// side the net sink and the faces' flows at the sub-step's starting heads
// (the held heads among them). Taking changes rather than heads makes the
// storage terms of heads far above the datum cancel exactly instead of in
// rounding. Square cells of one size give each face the same conductance
// from both sides, so the system is symmetric, and the storage makes it
// positive definite.
//
// The residual of a row is the water the cell gains or loses that its
// heads do not account for; their magnitudes summed over the cells, times
// the sub-step, bound the step's balance error. A Picard pass whose heads
// will give the next pass its transmissivities needs them only roughly: its
// residual falls a thousandfold. The pass whose heads no longer move is
// solved on until that sum is below 1e-12 of the aquifer's volume, or below
// the rounding of the rows' own terms, which on very long steps is more.
// The true residual, not the iteration's running one, decides.
//
// The preconditioner follows the step's stiffness, the largest ratio of a
// cell's face conductances to its storage. Where storage dominates (short
// steps, slow aquifers) the diagonal: the gradient needs few iterations
// and nothing is factorised. Stiffer steps take a complete factorisation
// (sparse LDLT, its ordering analysed once), with which the gradient
// converges in an iteration or two; it is kept for the following passes
// and steps as a preconditioner as long as the gradient still converges
// within a few iterations with it, since the transmissivities move little
// from one pass to the next. (An incomplete Cholesky factorisation was
// slower than the diagonal at every size tried, 1e4 and 1e5 cells.) Grids
// whose factor would not fit in a few gigabytes keep to the diagonal.
#include <Eigen/IterativeLinearSolvers>
#include <Eigen/SparseCholesky>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "model/model_state.hpp"
#include "subsurface/groundwater.hpp"

namespace kesta {

namespace {

using sparse = Eigen::SparseMatrix<double>;  // column-major, int indices

// Share of the aquifer's volume that the heads may leave unbalanced in one
// sub-step.
constexpr double kBalanceShare = 1e-12;
// Rounding allowed in the true residual, as a multiple of the machine
// epsilon times the magnitudes of the terms of the rows.
constexpr double kRoundingUlps = 64.0;
// Iterations of one round of the gradient, and rounds of one solve (a new
// round restarts from the heads reached, aiming lower by as much as the
// true residual missed the running one).
constexpr int kMostIterations = 5000;
constexpr int kMostRounds = 4;
// Iterations after which a factorisation kept from an earlier matrix is
// made anew.
constexpr int kKeptIterations = 20;
// Share of its starting residual that a Picard pass leaves, while passes
// still change the heads.
constexpr double kPassReduction = 1e-3;
// Stiffness from which the complete factorisation pays: below it the
// diagonal's iterations cost less than the factor's triangular solves
// (measured on gravel aquifers of 1e4 to 1e6 cells).
constexpr double kFactoriseFrom = 100.0;
// Most unknowns the complete factorisation is made for: a 5-point grid of
// n cells gives a factor of some 40 n values (0.5 GB at 1e6 cells) that
// grows faster than the grid.
constexpr int kFactoriseMostCells = 4000000;

// The conjugate gradient's preconditioner, chosen per pass. The solver
// calls prepare() or keep(); Eigen's own calls of analyzePattern, factorize
// and compute leave it as prepared.
class head_preconditioner {
public:
    using StorageIndex = int;
    enum { ColsAtCompileTime = Eigen::Dynamic, MaxColsAtCompileTime = Eigen::Dynamic };

    Eigen::Index rows() const { return n_; }
    Eigen::Index cols() const { return n_; }
    template <class M>
    head_preconditioner& analyzePattern(const M&) { return *this; }
    template <class M>
    head_preconditioner& factorize(const M&) { return *this; }
    template <class M>
    head_preconditioner& compute(const M&) { return *this; }
    Eigen::ComputationInfo info() const { return Eigen::Success; }

    // A new pattern: its ordering is analysed when next needed, and no
    // factorisation in hand is of it.
    void forget_pattern() { analysed_ = held_ = false; }

    // Prepares `kind` for matrix a of a sub-step of `sub` s; false when the
    // factorisation fails or does not fit in memory.
    bool prepare(const sparse& a, gw_preconditioner kind, double sub) {
        kind_ = kind;
        n_ = a.rows();
        if (kind != gw_preconditioner::direct) {
            inv_diag_ = a.diagonal().cwiseInverse();
            return true;
        }
        held_ = false;
        try {
            if (!analysed_) ldlt_.analyzePattern(a);
            analysed_ = true;
            ldlt_.factorize(a);
        } catch (const std::bad_alloc&) {
            analysed_ = false;
            return false;
        }
        held_ = ldlt_.info() == Eigen::Success;
        sub_ = sub;
        return held_;
    }

    // Takes up again the complete factorisation of an earlier matrix of the
    // same pattern and sub-step, when one is in hand.
    bool keep(double sub) {
        if (!held_ || sub_ != sub) return false;
        kind_ = gw_preconditioner::direct;
        return true;
    }

    template <class Rhs, class Dest>
    void _solve_impl(const Rhs& b, Dest& x) const {
        if (kind_ == gw_preconditioner::direct)
            x = ldlt_.solve(b);
        else
            x = inv_diag_.cwiseProduct(b);
    }
    template <class Rhs>
    Eigen::Solve<head_preconditioner, Rhs> solve(const Eigen::MatrixBase<Rhs>& b) const {
        return Eigen::Solve<head_preconditioner, Rhs>(*this, b.derived());
    }

private:
    gw_preconditioner kind_ = gw_preconditioner::diagonal;
    Eigen::Index n_ = 0;
    Eigen::VectorXd inv_diag_;
    Eigen::SimplicialLDLT<sparse, Eigen::Lower, Eigen::AMDOrdering<int>> ldlt_;
    bool analysed_ = false;
    bool held_ = false;  // ldlt_ holds a factorisation of the current pattern
    double sub_ = 0.0;   // s, the sub-step it was made for
};

}  // namespace

struct gw_system {
    std::vector<int> unknown_of;  // [cell] its unknown (from 0), -1 for a held cell
    std::vector<int> cell_of;     // [unknown] its cell
    sparse a;                     // m2/s
    std::vector<int> diag_at;     // [unknown] position of its diagonal among a's values
    // [4 unknown + face] position of the entry towards the neighbour across
    // face (above, below, left, right), -1 where none is solved.
    std::vector<int> face_at;
    Eigen::VectorXd rhs;     // m3/s
    Eigen::VectorXd change;  // m, heads over the sub-step
    double allowed = 0.0;    // m3/s the residual may sum to
    double volume = 0.0;     // m3 the solved cells held at the sub-step's start
    gw_preconditioner kind = gw_preconditioner::diagonal;
    bool kept = false;       // the factorisation is of an earlier matrix
    Eigen::ConjugateGradient<sparse, Eigen::Lower | Eigen::Upper, head_preconditioner> cg;
};

void gw_system_deleter::operator()(gw_system* s) const { delete s; }

namespace {

bool solved(const model_state& m, int k) { return !gw_fixed_head(value_at(m.gwbound, k)); }

// The neighbour across face f of cell k (0 when none) and the cell's face
// coefficient towards it (1/s).
int neighbour(const model_state& m, int k, int f) {
    const vec1<int>* across[4] = {&m.abovecon, &m.belowcon, &m.leftcon, &m.rightcon};
    return (*across[f])[k];
}

double face_coefficient_of(const model_state& m, int k, int f) {
    const vec1<double>* coefficient[4] = {&m.Bdummy, &m.Hdummy, &m.Ddummy, &m.Fdummy};
    return (*coefficient[f])[k];
}

bool pattern_holds(const model_state& m, const gw_system& s) {
    if (static_cast<int>(s.unknown_of.size()) != m.ncells + 1) return false;
    for (int k = 1; k <= m.ncells; ++k)
        if ((s.unknown_of[static_cast<std::size_t>(k)] >= 0) != solved(m, k)) return false;
    return true;
}

// Numbers the solved cells and lays out the matrix: a diagonal and an entry
// per face between two solved cells.
void build_pattern(const model_state& m, gw_system& s) {
    s.unknown_of.assign(static_cast<std::size_t>(m.ncells) + 1, -1);
    s.cell_of.clear();
    for (int k = 1; k <= m.ncells; ++k) {
        if (!solved(m, k)) continue;
        s.unknown_of[static_cast<std::size_t>(k)] = static_cast<int>(s.cell_of.size());
        s.cell_of.push_back(k);
    }
    const int n = static_cast<int>(s.cell_of.size());
    std::vector<Eigen::Triplet<double>> entries;
    entries.reserve(static_cast<std::size_t>(n) * 5);
    for (int u = 0; u < n; ++u) {
        const int k = s.cell_of[static_cast<std::size_t>(u)];
        entries.emplace_back(u, u, 1.0);
        for (int f = 0; f < 4; ++f) {
            const int nb = neighbour(m, k, f);
            if (nb > 0 && solved(m, nb)) entries.emplace_back(s.unknown_of[static_cast<std::size_t>(nb)], u, 1.0);
        }
    }
    s.a.resize(n, n);
    s.a.setFromTriplets(entries.begin(), entries.end());
    s.a.makeCompressed();
    // Column u holds row u's entries (the matrix is symmetric).
    s.diag_at.assign(static_cast<std::size_t>(n), -1);
    s.face_at.assign(static_cast<std::size_t>(n) * 4, -1);
    const int* outer = s.a.outerIndexPtr();
    const int* inner = s.a.innerIndexPtr();
    for (int u = 0; u < n; ++u) {
        const int k = s.cell_of[static_cast<std::size_t>(u)];
        for (int p = outer[u]; p < outer[u + 1]; ++p) {
            if (inner[p] == u) s.diag_at[static_cast<std::size_t>(u)] = p;
            for (int f = 0; f < 4; ++f) {
                const int nb = neighbour(m, k, f);
                if (nb > 0 && s.unknown_of[static_cast<std::size_t>(nb)] == inner[p])
                    s.face_at[static_cast<std::size_t>(4 * u + f)] = p;
            }
        }
    }
    s.rhs.resize(n);
    s.change.resize(n);
    s.cg.analyzePattern(s.a);
    s.cg.preconditioner().forget_pattern();
}

// What the filling found: the largest ratio of a cell's face conductances
// to its storage, and the first cell whose row holds a value that is not a
// number.
struct fill_scales {
    double stiffness = 0.0;
    int not_a_number = 0;
};

fill_scales fill_system(const model_state& m, gw_system& s, double sub) {
    fill_scales sc;
    double* value = s.a.valuePtr();
    const int n = static_cast<int>(s.cell_of.size());
    for (int u = 0; u < n; ++u) {
        const int k = s.cell_of[static_cast<std::size_t>(u)];
        const double area = m.DELX[k] * m.DELY[k];
        const double storage = m.STOR[k] * area / sub;
        const double start = m.elevgw_substep[k];
        double diag = storage;
        double b = -m.source[k] * area;
        for (int f = 0; f < 4; ++f) {
            const int nb = neighbour(m, k, f);
            if (nb == 0) continue;
            const double g = face_coefficient_of(m, k, f) * area;
            diag += g;
            b += g * (m.elevgw_substep[nb] - start);
            const int at = s.face_at[static_cast<std::size_t>(4 * u + f)];
            if (at >= 0) value[at] = -g;
        }
        value[s.diag_at[static_cast<std::size_t>(u)]] = diag;
        s.rhs[u] = b;
        s.change[u] = m.elevgw[k] - start;
        if (!std::isfinite(diag + b + s.change[u]) && sc.not_a_number == 0) sc.not_a_number = k;
        sc.stiffness = std::max(sc.stiffness, (diag - storage) / storage);
    }
    return sc;
}

// The true residual of the changes reached, magnitudes summed (m3/s), and
// the rounding its evaluation carries.
struct residual_sum {
    double sum = 0.0;
    double norm = 0.0;  // m3/s, Euclidean
    double rounding = 0.0;
};

residual_sum true_residual(const gw_system& s) {
    residual_sum r;
    const double* value = s.a.valuePtr();
    const int* outer = s.a.outerIndexPtr();
    const int* inner = s.a.innerIndexPtr();
    const int n = static_cast<int>(s.cell_of.size());
    double terms = 0.0, squares = 0.0;
    for (int u = 0; u < n; ++u) {
        double x = s.rhs[u];
        double t = std::fabs(x);
        for (int p = outer[u]; p < outer[u + 1]; ++p) {
            const double y = value[p] * s.change[inner[p]];
            x -= y;
            t += std::fabs(y);
        }
        r.sum += std::fabs(x);
        squares += x * x;
        terms += t;
    }
    r.norm = std::sqrt(squares);
    r.rounding = kRoundingUlps * std::numeric_limits<double>::epsilon() * terms;
    return r;
}

gw_preconditioner by_stiffness(double stiffness, int unknowns) {
    return stiffness >= kFactoriseFrom && unknowns <= kFactoriseMostCells ? gw_preconditioner::direct
                                                                          : gw_preconditioner::diagonal;
}

}  // namespace

namespace {

// Makes the preconditioner of the system's kind for its current matrix.
void factorise(gw_system& s, double sub, gw_system_solve& out) {
    head_preconditioner& pre = s.cg.preconditioner();
    s.kept = false;
    if (s.kind == gw_preconditioner::direct) ++out.factorisations;
    if (pre.prepare(s.a, s.kind, sub)) return;
    // No memory for the factor (or, not expected of this system, a
    // factorisation that fails): the diagonal serves.
    s.kind = gw_preconditioner::diagonal;
    pre.prepare(s.a, s.kind, sub);
}

// Runs the gradient from the changes in hand until their residual's norm is
// below `aim` (m3/s), or, when `balance`, until the residual is within what
// the sub-step may leave unbalanced. A factorisation kept from an earlier
// matrix that needs more than a few iterations is made anew.
void run_gradient(gw_system& s, double sub, double aim, bool balance, gw_system_solve& out) {
    const double rhs_norm = s.rhs.norm();
    out.converged = out.balanced = false;
    for (int round = 1; round <= kMostRounds; ++round) {
        if (rhs_norm > 0.0) s.cg.setTolerance(std::max(aim / rhs_norm, std::numeric_limits<double>::epsilon()));
        s.cg.setMaxIterations(s.kept ? kKeptIterations : kMostIterations);
        s.change = s.cg.solveWithGuess(s.rhs, s.change);
        out.iterations += s.cg.iterations();
        const residual_sum r = true_residual(s);
        out.residual = r.sum * sub;
        // Below the rounding of its own terms a residual cannot be told
        // from 0: that counts once the gradient has reached the balanced aim.
        if (r.sum <= s.allowed || (balance && r.sum <= r.rounding)) {
            out.converged = out.balanced = true;
            return;
        }
        if (!std::isfinite(r.sum)) return;
        if (!balance && s.cg.info() == Eigen::Success) {
            out.converged = true;
            return;
        }
        if (s.kept) {
            factorise(s, sub, out);
            continue;
        }
        // The running residual drifted from the true one: aim lower by as much.
        if (balance) aim *= std::max(s.allowed / r.sum, 1e-3);
    }
}

void write_heads(model_state& m, const gw_system& s) {
    for (std::size_t u = 0; u < s.cell_of.size(); ++u) {
        const int k = s.cell_of[u];
        m.elevgw[k] = m.elevgw_substep[k] + s.change[static_cast<Eigen::Index>(u)];
    }
}

// Eigen shares the gradient's matrix products out over threads when it may;
// the factor's triangular solves, where most of the time goes, run on one,
// and on busy cores the sharing costs more than it saves, so the solves
// keep to one thread.
struct one_eigen_thread {
    int before = Eigen::nbThreads();
    one_eigen_thread() { Eigen::setNbThreads(1); }
    ~one_eigen_thread() { Eigen::setNbThreads(before); }
    one_eigen_thread(const one_eigen_thread&) = delete;
    one_eigen_thread& operator=(const one_eigen_thread&) = delete;
};

}  // namespace

gw_system_solve solve_head_system(model_state& m, double sub) {
    if (!m.gw_linear) m.gw_linear.reset(new gw_system);
    gw_system& s = *m.gw_linear;
    if (!pattern_holds(m, s)) build_pattern(m, s);
    gw_system_solve out;
    const fill_scales sc = fill_system(m, s, sub);
    double volume = 0.0;  // m3 the solved cells hold above their bottoms
    for (int k : s.cell_of)
        volume += std::max(m.elevgw_substep[k] - m.bottom_elev[k], kGwFloor) * m.gw_array_porosity[k] * m.DELX[k] *
                  m.DELY[k];
    s.allowed = kBalanceShare * volume / sub;  // m3/s
    const Eigen::Index n = s.rhs.size();
    s.volume = out.volume = volume;
    out.allowed = s.allowed * sub;
    out.not_a_number = sc.not_a_number;
    if (n == 0 || out.not_a_number) {
        out.converged = out.balanced = !out.not_a_number;
        return out;
    }
    const one_eigen_thread serial;
    s.kind = m.gw_preconditioner_choice == gw_preconditioner::by_stiffness
                 ? by_stiffness(sc.stiffness, static_cast<int>(n))
                 : m.gw_preconditioner_choice;
    s.cg.factorize(s.a);
    // A factorisation kept from an earlier pass or step serves while the
    // transmissivities stay close enough to those it was made with.
    s.kept = s.kind == gw_preconditioner::direct && s.cg.preconditioner().keep(sub);
    if (!s.kept) factorise(s, sub, out);
    // A pass's heads only need to be good enough for the next pass's
    // transmissivities: the residual falls a thousandfold (or to what the
    // step may leave unbalanced, when that is nearer).
    const residual_sum start = true_residual(s);
    const double balanced_aim = s.allowed / std::sqrt(static_cast<double>(n));
    run_gradient(s, sub, std::max(balanced_aim, kPassReduction * start.norm), false, out);
    write_heads(m, s);
    return out;
}

gw_system_solve balance_head_system(model_state& m, double sub) {
    gw_system& s = *m.gw_linear;
    gw_system_solve out;
    out.allowed = s.allowed * sub;
    out.volume = s.volume;
    if (s.rhs.size() == 0) {
        out.converged = out.balanced = true;
        return out;
    }
    const one_eigen_thread serial;
    run_gradient(s, sub, s.allowed / std::sqrt(static_cast<double>(s.rhs.size())), true, out);
    write_heads(m, s);
    return out;
}

}  // namespace kesta
