// The overland step splits its loops over threads on grids large enough:
// its results must be the same, bit for bit, with one thread and with
// several, and the same as the cell-by-cell code that a grid with a dike
// map (one that closes nothing) takes; a depth that is no number still
// stops the run after a step that counted its discharges. The team a loop
// gets falls with the grid's size.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/thread_team.hpp"
#include "overland/overland_grid.hpp"

namespace {

struct run_result {
    std::vector<double> h, qx, qy;
    double outlet = 0.0;
    int substeps = 0;    // over all steps
    int most = 0;        // largest sub-step count of one step
    int giveups = 0;
};

// A rows x cols bumpy, rough-and-smooth plane with uneven depths and
// retention, so that faces run both ways, some hold their water and long
// steps fail their tests; rain on it for a few steps.
run_result run(int overtype, int threads, bool reference_sweep, double dt, int rows, int cols) {
    omp_set_num_threads(threads);
    kesta::model_state m;
    kesta_test::make_plane(m, {rows, cols, 5.0, 0.02, 0.01, 0.05, 0.0005}, dt);
    m.overtype = overtype;
    std::uint64_t x = 12345;
    auto next = [&x] {  // a fixed sequence in [0, 1)
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(x >> 11) / 9007199254740992.0;
    };
    for (int k = 1; k <= m.ncells; ++k) {
        m.elev[k] += 0.3 * next();
        m.h[k] = next() < 0.2 ? 0.0 : 0.05 * next();
        m.dist_rough[k] = 0.02 + 0.08 * next();
    }
    if (reference_sweep) {
        m.dike_map_given = 1;
        m.dike_mask = kesta::vec1<int>(m.ncells);
    }
    run_result r;
    for (int s = 0; s < 4; ++s) {
        kesta_test::step_with_rain(m, 50.0);
        EXPECT_FALSE(kesta::g_error_record.stop);
        // The counts a scheme makes on its way stand for a pass over what it left.
        EXPECT_EQ(m.ov_route_counted != 0, overtype == 2 || !reference_sweep);
        if (m.ov_route_counted) {
            int wet = 0, flowing = 0;
            for (int k = 1; k <= m.ncells; ++k) {
                wet += m.h[k] > 1e-16;
                flowing += std::fabs(m.qx[k]) > 1e-16 || std::fabs(m.qy[k]) > 1e-16;
            }
            EXPECT_EQ(m.ov_route_bad, 0);
            EXPECT_EQ(m.ov_route_wet, wet);
            EXPECT_EQ(m.ov_route_flowing, flowing);
        }
        r.substeps += m.ov_substeps_last;
        r.most = std::max(r.most, m.ov_substeps_last);
    }
    r.h.assign(m.h.data(), m.h.data() + m.ncells + 1);
    r.qx.assign(m.qx.data(), m.qx.data() + m.ncells + 1);
    r.qy.assign(m.qy.data(), m.qy.data() + m.ncells + 1);
    r.outlet = m.discharge_volume_run;
    r.giveups = m.ov_substep_giveups;
    // After a step that counted its discharges, the next step's scan looks
    // at the depths alone: a depth that is no number still stops the run
    // there, named, before any water moves.
    if (m.ov_route_counted) {
        const int bad = m.ncells / 2;
        m.h[bad] = std::nan("");
        const std::string printed = kesta_test::printed_by([&m] { kesta_test::step_with_rain(m, 0.0); });
        EXPECT_TRUE(kesta_test::has(printed, "detected in cell " + std::to_string(bad) +
                                                 " after applying overland boundary conditions"))
            << printed;
        EXPECT_EQ(kesta::g_error_record.stop, 1);
        EXPECT_EQ(m.h[1], r.h[1]);
        kesta::g_error_record.clear_for_run();
    }
    omp_set_num_threads(omp_get_num_procs());
    return r;
}

void expect_same(const run_result& a, const run_result& b) {
    EXPECT_EQ(a.substeps, b.substeps);
    EXPECT_EQ(a.giveups, b.giveups);
    EXPECT_EQ(a.outlet, b.outlet);
    EXPECT_TRUE(a.h == b.h);
    EXPECT_TRUE(a.qx == b.qx);
    EXPECT_TRUE(a.qy == b.qy);
}

TEST(OverlandThreads, TheTeamFallsWithTheGridAndNeverExceedsTheThreadsAllowed) {
    omp_set_num_threads(8);
    EXPECT_EQ(kesta::thread_team(1000000), 8);
    EXPECT_EQ(kesta::thread_team(3 * kesta::kCellsPerThread - 1), 2);
    EXPECT_EQ(kesta::thread_team(2 * kesta::kCellsPerThread - 1), 1);
    EXPECT_EQ(kesta::thread_team(0), 1);
    // OMP_NUM_THREADS (here its runtime form) bounds the team.
    omp_set_num_threads(3);
    EXPECT_EQ(kesta::thread_team(1000000), 3);
    omp_set_num_threads(omp_get_num_procs());
}

TEST(OverlandThreads, EverySchemeGivesTheSameNumbersOnOneThreadAndOnSeveral) {
    // Steps of 20 s divide their sub-steps on these planes. On the long
    // rows a thread's share of the cells is shorter than a row. Shares of
    // 1000 cells let these small planes split over the threads.
    const int share = kesta::set_cells_per_thread(1000);
    for (const int overtype : {1, 2, 3}) {
        for (const double dt : {2.0, 20.0}) {
            for (const auto& [rows, cols] : {std::pair{100, 101}, std::pair{3, 3001}}) {
                SCOPED_TRACE(testing::Message() << "overtype " << overtype << ", step " << dt << " s, " << rows
                                                << " x " << cols);
                const run_result one = run(overtype, 1, false, dt, rows, cols);
                if (dt > 10.0) {
                    EXPECT_GT(one.most, 1);  // the long steps exercise the sub-steps
                }
                expect_same(one, run(overtype, 4, false, dt, rows, cols));
                expect_same(one, run(overtype, 7, false, dt, rows, cols));
                expect_same(one, run(overtype, 1, true, dt, rows, cols));
            }
        }
    }
    // Rows so long that the windows of predictions of a team would outgrow
    // the grid: "ade-pc" then predicts into whole-grid arrays.
    const run_result one = run(3, 1, false, 2.0, 2, 10000);
    expect_same(one, run(3, 4, false, 2.0, 2, 10000));
    expect_same(one, run(3, 1, true, 2.0, 2, 10000));
    kesta::set_cells_per_thread(share);
}

// A depth that is no number at the start of a step stops the run,
// named, before any depth moves, wherever it lies: the first such cell, on
// one thread or several, in the lanes or the cells after them, before the
// first wet cell, after it or on a dry plane.
TEST(OverlandThreads, ADepthThatIsNoNumberIsNamedWhereverItLiesBeforeTheRoutingMovesAnyWater) {
    const int share = kesta::set_cells_per_thread(200);
    constexpr int rows = 37, cols = 41, n = rows * cols;
    const double nan = std::nan(""), inf = HUGE_VAL;
    struct start {
        std::vector<std::pair<int, double>> depths;  // cell, depth; every other cell 0 m
        int named;
    };
    const start starts[] = {
        {{{1, 0.01}, {2, nan}}, 2},
        {{{1, 0.01}, {n / 2, nan}}, n / 2},
        {{{1, 0.01}, {n - 1, nan}}, n - 1},
        {{{1, 0.01}, {n, -inf}}, n},
        {{{3, 0.02}, {n - 3, nan}, {700, inf}}, 700},
        {{{n, 0.01}, {5, nan}}, 5},  // the only wet cell after it
        {{{n, nan}}, n},             // on a dry plane
    };
    for (const int overtype : {1, 2, 3}) {
        for (const int threads : {1, 4}) {
            for (const start& s : starts) {
                SCOPED_TRACE(testing::Message() << "overtype " << overtype << ", " << threads << " threads, cell "
                                                << s.named);
                omp_set_num_threads(threads);
                kesta::model_state m;
                kesta_test::make_plane(m, {rows, cols, 5.0, 0.01, 0.005}, 5.0);
                m.overtype = overtype;
                kesta_test::step_with_rain(m, 50.0);  // the discharges are counted
                ASSERT_EQ(m.ov_route_counted, 1);
                for (int k = 1; k <= n; ++k) m.h[k] = 0.0;
                for (const auto& [cell, depth] : s.depths) m.h[cell] = depth;
                const std::vector<double> before(m.h.data(), m.h.data() + n + 1);
                const double next = m.ov_next_time;
                const std::string printed = kesta_test::printed_by([&m] { kesta_test::step_with_rain(m, 0.0); });
                EXPECT_TRUE(kesta_test::has(printed, "detected in cell " + std::to_string(s.named) +
                                                         " after applying overland boundary conditions"))
                    << printed;
                EXPECT_EQ(kesta::g_error_record.stop, 1);
                EXPECT_EQ(m.ov_next_time, next);
                for (int k = 1; k <= n; ++k) {
                    ASSERT_TRUE(std::memcmp(&m.h[k], &before[k], sizeof(double)) == 0) << "depth " << k;
                }
                kesta::g_error_record.clear_for_run();
            }
        }
    }
    omp_set_num_threads(omp_get_num_procs());
    kesta::set_cells_per_thread(share);
}

}  // namespace
