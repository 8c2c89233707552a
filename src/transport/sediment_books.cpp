// The sediment books: the run totals by class that the summaries report,
// and the sediment of a cell a channel-network lake takes.
#include <algorithm>

#include "model/model_state.hpp"
#include "transport/constituent_books.hpp"
#include "transport/sediment.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kNothingIn = 1e-16;  // m3: a balance of less input has no error

}  // namespace

double sediment_balance_error(double in, double out) {
    return in > kNothingIn ? 100.0 * (in - out) / in : 0.0;
}

void total_sediment_by_class(model_state& m) {
    if (!m.ov_sed) return;
    sed_record& s = *m.ov_sed;
    const int n = std::min(m.ncells, s.vol_sed.parent.nrows());
    for (int k = 1; k <= s.num_sed; ++k) {
        sed_class_totals t;
        for (int i = 1; i <= n; ++i) {
            t.eroded -= s.vol_sed.parent[i][k];
            t.suspended += s.vol_sed.suspended[i][k];
            t.deposited += s.vol_sed.deposited[i][k];
        }
        t.outlet = s.outlet_vol[k];
        s.tot_sed[static_cast<std::size_t>(k)] = t;
    }
}

void give_cell_sediment_to_lake(model_state& m, int lake, int cell) {
    if (!m.ov_sed) return;
    sed_record& s = *m.ov_sed;
    if (cell < 1 || cell > s.vol_sed.suspended.nrows()) return;
    mat2<double>& to_lake = s.sed_vol_overland_to_lake;
    const bool books = lake >= 1 && lake <= to_lake.nrows();
    double* suspended = s.vol_sed.suspended[cell];
    double* deposited = s.vol_sed.deposited[cell];
    for (int k = 1; k <= s.num_sed; ++k) {
        const double v = suspended[k];
        suspended[k] = 0.0;
        if (s.sand[k] || !books) {
            deposited[k] += v;
        } else {
            to_lake[lake][k] += v;
            to_lake[0][k] += v;
        }
    }
}

void finish_event_sediment_contam(model_state& m) {
    total_sediment_by_class(m);
    if (m.ov_con_trans && m.ncontam > 0) close_constituent_books(m, false);
}

}  // namespace kesta
