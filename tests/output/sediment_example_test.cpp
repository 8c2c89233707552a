// The bundled sediment example run by the built program with a FYSSI card
// added: its table of what the stream cells gave the channels agrees, class
// by class, with the summary's run totals.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::read_file;

const fs::path kExamples = fs::path(KESTA_SOURCE_DIR) / "examples";

// Each value of the table is printed to two decimals (at most 0.005 m3 off),
// and so is the summary's total.
TEST(SedimentExample, EachClassOfTheFyssiTableAddsUpToTheSummarysSedimentToTheChannels) {
    kesta_test::temp_dir dir;
    for (const char* name : {"valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(kExamples / "valley" / name, dir.path() / name);
    for (const char* name : {"sediment.chan", "sediment.cmt", "sed_loc.txt"})
        fs::copy_file(kExamples / "valley-sediment" / name, dir.path() / name);
    dir.write("sediment.prj", read_file((kExamples / "valley-sediment" / "sediment.prj").string()) +
                                  "FYSSI chan_sed_in.txt\n");
    fs::create_directory(dir.path() / "maps");
    const kesta_test::program_result run = kesta_test::run_kesta("sediment.prj", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;

    const std::string summary = read_file(dir.file("sediment.sum"));
    const std::size_t section = summary.rfind("Channel sediment routing mass quantities\n");
    ASSERT_NE(section, std::string::npos) << summary;
    const std::string totals = summary.substr(section);

    std::istringstream table(read_file(dir.file("chan_sed_in.txt")));
    std::vector<std::vector<double>> lines;
    std::string last;
    for (std::string line; std::getline(table, line); last = line) {
        const std::vector<double> values = kesta_test::numbers(line);
        if (!values.empty()) lines.push_back(values);
    }
    EXPECT_EQ(last, std::string(58, '-'));
    ASSERT_EQ(lines.size(), 3u);  // clay, silt, sand
    double all = 0.0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        SCOPED_TRACE("class " + std::to_string(k + 1));
        const double to_channels = kesta_test::value_after(
            totals, "Total sediment " + std::to_string(k + 1) + " transported into channels:");
        double sum = 0.0;
        for (double v : lines[k]) sum += v;
        EXPECT_EQ(lines[k].size(), lines[0].size());
        EXPECT_NEAR(sum, to_channels, 0.005 * static_cast<double>(lines[k].size() + 1));
        all += to_channels;
    }
    EXPECT_GT(all, 1.0);
}

}  // namespace
