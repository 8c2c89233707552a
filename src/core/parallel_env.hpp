// The process record: this system runs as one process, rank 0 of 1, in one
// group of one. The rest of the system asks it who may print and what number
// a calibration run carries.
#pragma once

#include <string>
#include <vector>

namespace kesta {

class parallel_env {
public:
    parallel_env() = default;

    // Returns 1; one process group is all there is.
    int init(int num_groups);

    int world_rank() const { return world_rank_; }
    int world_size() const { return world_size_; }
    int group_rank() const { return group_rank_; }
    int group_size() const { return group_size_; }
    int num_groups() const { return num_groups_; }
    int group_id() const { return group_id_; }

    // Command-line modes that exist only with several processes.
    int run_sensitivity(const std::string& input_file);
    int run_distributed(const std::string& input_file);

    // n x num_groups values, not filled.
    std::vector<double> gather(int n, const double* values) const;
    void broadcast(int n, double* values) const;
    // Nothing to divide while the group holds one process.
    void decompose_domain(int ncells, int rows, int cols, const int* const* mask);

private:
    int world_rank_ = 0;
    int world_size_ = 1;
    int group_rank_ = 0;
    int group_size_ = 1;
    int num_groups_ = 1;
    int group_id_ = 0;
};

extern parallel_env g_parallel_env;

}  // namespace kesta
