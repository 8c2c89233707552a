// One side of a mass or water balance, summed term by term in a fixed order.
#pragma once

namespace kesta {

// Adds the terms of a balance's side in the order they come; consecutive
// terms of one group (a nonzero number) are summed first and join the total
// as one. The order of the additions sets the last digits of a balance
// error, whose sign a summary prints even when the balance closes.
class balance_sum {
public:
    void add(double v, int group = 0) {
        if (group != 0 && group == group_) {
            pending_ += v;
            return;
        }
        flush();
        if (group == 0) sum_ += v;
        else pending_ = v;
        group_ = group;
    }
    double total() {
        flush();
        return sum_;
    }

private:
    void flush() {
        if (group_ != 0) sum_ += pending_;
        group_ = 0;
    }
    double sum_ = 0.0, pending_ = 0.0;
    int group_ = 0;
};

}  // namespace kesta
