// Reading speed of a large real-valued ASCII grid (2000 x 2000 cells, about
// 40 MB) through read_ascii_map in mode 1 with every cell in the mask.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "core/arrays.hpp"
#include "input/ascii_grid.hpp"

namespace {

constexpr int kRows = 2000;
constexpr int kCols = 2000;

// A scratch copy of the grid, removed when the benchmark program ends.
class grid_file {
public:
    grid_file() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kesta_grid_XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0) std::abort();
        close(fd);
        path_ = pattern;
        std::FILE* fp = std::fopen(path_.c_str(), "w");
        if (!fp) std::abort();
        std::fprintf(fp, "north: 4000000.0\nsouth: 3940000.0\neast: 560000.0\nwest: 500000.0\n");
        std::fprintf(fp, "rows: %d\ncols: %d\n", kRows, kCols);
        std::mt19937 gen(12345);
        std::uniform_real_distribution<double> elev(100.0, 999.0);
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kCols; ++c) std::fprintf(fp, "%.5f ", elev(gen));
            std::fputc('\n', fp);
        }
        std::fclose(fp);
        bytes_ = static_cast<std::int64_t>(std::filesystem::file_size(path_));
    }
    ~grid_file() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }
    std::int64_t bytes() const { return bytes_; }

private:
    std::string path_;
    std::int64_t bytes_ = 0;
};

void read_real_grid(benchmark::State& state) {
    static const grid_file file;
    kesta::mat2<int> mask(kRows + 1, kCols + 1);
    mask.fill(1);
    kesta::vec1<double> a(kRows * kCols);
    kesta::vec1<double> b;
    kesta::vec1<int> cells;
    kesta::grid_header header;
    for (auto _ : state) {
        std::FILE* fp = std::fopen(file.path().c_str(), "r");
        const bool ok = kesta::read_ascii_map(fp, "bench grid", kesta::kMapRealA, header, mask, a, b,
                                              cells, kRows, kCols);
        std::fclose(fp);
        if (!ok) state.SkipWithError("the grid did not read");
        benchmark::DoNotOptimize(a.data());
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}

BENCHMARK(read_real_grid)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
