#include "core/parallel_env.hpp"

#include <cstddef>

namespace kesta {

parallel_env g_parallel_env;

int parallel_env::init(int) { return 1; }

int parallel_env::run_sensitivity(const std::string&) { return 0; }

int parallel_env::run_distributed(const std::string&) { return 0; }

std::vector<double> parallel_env::gather(int n, const double*) const {
    const int count = n > 0 ? n * num_groups_ : 0;
    return std::vector<double>(static_cast<std::size_t>(count));
}

void parallel_env::broadcast(int, double*) const {}

void parallel_env::decompose_domain(int, int, int, const int* const*) {}

}  // namespace kesta
