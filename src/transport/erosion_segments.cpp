// The ordered moves of an overland erosion step beside its detachment and
// settling shares on a team of threads, with the results of the ordered
// moves on one thread, bit for bit: for the grids, formulas and lakes
// that the bands of rows do not take.
#include <algorithm>
#include <atomic>

#include "core/thread_team.hpp"
#include "transport/erosion_step.hpp"

namespace kesta::erosion_detail {

namespace {

// Blocks of cells a part of the erosion's team job detaches or works out
// the shares of: short, so that a thread that wakes late finds most of the
// work taken by the threads that run, and leaves none of it for them to
// wait for.
constexpr int kPartBlocks = 2;

// The scratch slots of the parts of a team job that run at once: a part
// takes a free slot and gives it back when it ends. At most as many parts
// run at once as the team has threads (kErosionTeamMost, below
// kErosionSlots).
class slot_pool {
public:
    int take() {
        unsigned taken = taken_.load(std::memory_order_relaxed);
        for (;;) {
            const int slot = __builtin_ctz(~taken);
            if (taken_.compare_exchange_weak(taken, taken | 1u << slot, std::memory_order_acquire)) return slot;
        }
    }
    void give(int slot) { taken_.fetch_and(~(1u << slot), std::memory_order_release); }

private:
    std::atomic<unsigned> taken_{0};
};

// A segment of blocks of cells.
struct segment {
    int first = 1, last = 0;  // its cells
    int reach = 0;            // the last cell the faces of it or of a segment before it touch
    int detached = 0;         // its faces move once the cells 1 .. detached are detached
    int blocks() const { return (last - first) / kCellBlock + 1; }
};

// The segment of `size` blocks from block `first` (0 the grid's first),
// after segments that reach `reach_before`.
segment segment_of(const step_view& v, int first, int size, int reach_before) {
    segment g;
    g.first = first * kCellBlock + 1;
    g.last = std::min(v.n, g.first + size * kCellBlock - 1);
    g.reach = reach_before;
    for (int b = 0; b < g.blocks(); ++b) g.reach = std::max(g.reach, block_reach(v, g.first + b * kCellBlock));
    g.detached = block_end(v, g.reach);
    return g;
}


}  // namespace

// The step of move_in_order, with the same results, bit for bit, on a team
// of `team` threads (above 1). Only the faces must be taken in order; a
// cell's detachment reads its own soil and the water alone, and the
// settling shares the water alone. So the grid is cut into a few
// segments, and while the faces of one segment move, in order, as one part
// of a team job, the other parts detach the cells beyond the segment's
// reach that the next segment's faces touch and work out the next
// segment's shares: the parts write the soil of disjoint cells, and each
// has its own scratch slot (and its own splash cache, which holds what the
// intensity alone gives). The part of the first segment's faces detaches
// the cells they touch first, so that the step's first job begins at once
// on the calling thread while the team wakes; the last segment's faces
// move on the calling thread alone. The first cell to run out of parent
// soil is the lowest any part found.
template <int Classes>
double move_on_team(step_view& v, bool& summed, int team) {
    sed_record& s = v.s;
    const vec1<double>& rain = splashing_rain(v);
    const int blocks = (v.n + kCellBlock - 1) / kCellBlock;
    // The first segment's faces wait for its detachment, which nothing
    // runs beside, while the rest of the team wakes (which takes up to a
    // hundred microseconds) and detaches the cells the next segment
    // touches, more slowly than the calling thread, whose caches hold the
    // water: a share of the grid of 2 / (team + 2) keeps both about even
    // (the detachment and the shares cost about 1.5 times the ordered
    // moves). The other segments are as long as the caches allow, so that
    // a small grid's step is one team job.
    const int lead_size = std::max(1, std::min(kSegmentBlocksMost, 2 * blocks / (team + 2)));
    const int size = std::min(kSegmentBlocksMost, blocks);
    const std::ptrdiff_t block_span = 2 * static_cast<std::ptrdiff_t>(v.classes + 1) * kCellBlock;
    splash_rain splash[kErosionSlots];
    int exhausted[kErosionSlots] = {};
    slot_pool slots;
    double held = 0.0;
    // Where a neighbour comes before its cell, a block's cells may be moved
    // again after its faces are done: the volumes are summed after the step.
    summed = !s.blocks_behind;
    int done = 0;  // the cells 1 .. done are detached when a stage ends

    // Detaches the cells from .. to (whole blocks) and works out the shares
    // of the blocks of `g` (none: nullptr) into `shares`, items `first` ..
    // `end` - 1 of that work, with the scratch of `slot`.
    const auto work = [&](int from, int to, const segment* g, double* shares, int first, int end, int slot) {
        const int detach_blocks = (std::max(to - from + 1, 0) + kCellBlock - 1) / kCellBlock;
        // The last cell this part detaches.
        const int last = std::min(v.n, from + std::min(end, detach_blocks) * kCellBlock - 1);
        block_scratch scratch(s, slot);
        for (int item = first; item < end; ++item) {
            if (item < detach_blocks) {
                const int lo = from + item * kCellBlock;
                detach_block<Classes>(v, lo, std::min(kCellBlock, v.n - lo + 1), last, rain, splash[slot], scratch);
            } else {
                const int b = item - detach_blocks, lo = g->first + b * kCellBlock;
                block_settle_shares(v, lo, std::min(kCellBlock, g->last - lo + 1), shares + b * block_span,
                                    scratch.work);
            }
        }
        keep_lowest(exhausted[slot], scratch.exhausted);
    };
    const auto items_of = [](int from, int to, const segment* g) {
        return (std::max(to - from + 1, 0) + kCellBlock - 1) / kCellBlock + (g ? g->blocks() : 0);
    };

    // One stage: the faces of `moving` (none: nullptr), with its shares in
    // `moving_shares` (worked out first when `lead`, after the detachment
    // of the cells they touch), beside the detachment of the cells up to
    // `to` and the shares of `next` (none: nullptr) into `next_shares`.
    const auto stage = [&](const segment* moving, double* moving_shares, bool lead, int to, const segment* next,
                           double* next_shares) {
        const int led = lead ? moving->detached : done;
        const int items = items_of(led + 1, to, next);
        const int workers = (items + kPartBlocks - 1) / kPartBlocks;
        const int first_worker = moving ? 1 : 0;
        const int from = done;
        const auto part = [&](int p, int) {
            if (p < first_worker) {
                if (lead) {
                    const int slot = slots.take();
                    work(from + 1, led, moving, moving_shares, 0, items_of(from + 1, led, moving), slot);
                    slots.give(slot);
                }
                for (int b = 0; b < moving->blocks(); ++b) {
                    const int lo = moving->first + b * kCellBlock, count = std::min(kCellBlock, moving->last - lo + 1);
                    move_block<Classes>(v, lo, count, moving_shares + b * block_span);
                    if (summed) held += block_held(v, lo, count);
                }
                return;
            }
            const int w = p - first_worker, slot = slots.take();
            work(led + 1, to, next, next_shares, w * kPartBlocks, std::min(items, (w + 1) * kPartBlocks), slot);
            slots.give(slot);
        };
        run_parts_on_team(team, first_worker + workers, part);
        done = std::max(led, to);
    };

    double* const shares[2] = {s.team_share.data(), s.team_share.data() + size * block_span};
    segment next = segment_of(v, 0, lead_size, 0);
    if (!v.batched) {
        // The capacities of the other formulas are worked out from what the
        // sources hold once every cell is detached.
        stage(nullptr, nullptr, false, v.n, &next, shares[0]);
        face_capacities(v);
    }
    for (int k = 0;; ++k) {
        const segment moving = next;
        const bool more = moving.last < v.n;
        if (more) next = segment_of(v, moving.last / kCellBlock, size, moving.reach);
        stage(&moving, shares[k % 2], k == 0 && v.batched, more ? next.detached : moving.detached,
              more ? &next : nullptr, shares[(k + 1) % 2]);
        if (!more) break;
    }
    for (const int cell : exhausted) keep_lowest(v.exhausted, cell);
    return held;
}

template double move_on_team<0>(step_view&, bool&, int);
template double move_on_team<1>(step_view&, bool&, int);
template double move_on_team<2>(step_view&, bool&, int);
template double move_on_team<3>(step_view&, bool&, int);
template double move_on_team<4>(step_view&, bool&, int);
template double move_on_team<5>(step_view&, bool&, int);
template double move_on_team<6>(step_view&, bool&, int);

}  // namespace kesta::erosion_detail
