// The bundled contaminant example run by the built program: a herbicide
// washed off a field into the valley's channels. Its run balances close in
// the summary, and the location series and the channel datasets carry what
// the summary books.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::read_file;
using kesta_test::value_after;

const fs::path kExamples = fs::path(KESTA_SOURCE_DIR) / "examples";

// The rows of numbers of a series file.
std::vector<std::vector<double>> rows_of(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<double> row;
        for (double v = 0.0; words >> v;) row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

TEST(ContamExample, TheRunBalancesCloseAndTheOutletSeriesCarriesTheOutletLoad) {
    kesta_test::temp_dir dir;
    for (const char* name : {"valley.chan", "valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(kExamples / "valley" / name, dir.path() / name);
    for (const char* name : {"contam.prj", "contam.cmt", "contam_load.asc", "hyd_loc.txt"})
        fs::copy_file(kExamples / "valley-contam" / name, dir.path() / name);
    fs::create_directory(dir.path() / "maps");
    const kesta_test::program_result run = kesta_test::run_kesta("contam.prj", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string summary = read_file(dir.file("contam.sum"));

    // The whole basin over the run: initial + sources = final + out + decayed,
    // where out is the outlet's and what infiltrated.
    const std::size_t global = summary.find("Contaminant Transport Global Summary for Contaminant     1 \n");
    ASSERT_NE(global, std::string::npos) << summary;
    const std::string g = summary.substr(global);
    const double initial = value_after(g, "Total initial mass");
    const double in = initial + value_after(g, "Point source inputs") + value_after(g, "Precipitation inputs");
    const double out = value_after(g, "Total final Mass") + value_after(g, "Total mass out of system") +
                       value_after(g, "Mass decay loss");
    EXPECT_GT(initial, 30.0);  // the field's load, kg
    EXPECT_NEAR(in, out, 0.02);
    EXPECT_LT(std::fabs(value_after(g, "Contam mass balance error")), 1e-3) << g;

    // The channels over the run.
    const std::size_t channels = summary.find("Channel Contaminant Transport Summary for Contaminant     1 \n");
    ASSERT_NE(channels, std::string::npos) << summary;
    const std::string c = summary.substr(channels, global - channels);
    const double outlet_kg = value_after(c, "Outlet mass flux");
    EXPECT_GT(outlet_kg, 1.0);
    EXPECT_GT(value_after(c, "Mass decay loss"), 0.0);
    EXPECT_LT(std::fabs(value_after(c, "Dissolved mass balance error")), 1e-3) << c;
    // The Courant limit of the fast links cuts the channel intervals into
    // sub-steps: the summary says how many, and how many the flow set.
    const std::string routing = "Channel constituent routing: ";
    const std::size_t at = summary.find(routing);
    ASSERT_NE(at, std::string::npos) << summary;
    const std::string line = summary.substr(at + routing.size(), summary.find('\n', at) - at - routing.size());
    long long substeps = 0, intervals = 0, set_by_flow = 0, others = 0;
    int most = 0;
    ASSERT_EQ(std::sscanf(line.c_str(),
                          "%lld sub-steps in %lld constituent intervals (at most %d in one); the flow's Courant limit "
                          "set %lld of them and corrector passes that did not settle (steep fronts or strong "
                          "dispersion, CHAN_DISP_COEF) or masses that fell below zero the other %lld.",
                          &substeps, &intervals, &most, &set_by_flow, &others),
              5)
        << line;
    EXPECT_GT(substeps, intervals);
    EXPECT_GT(most, 1);
    EXPECT_GT(set_by_flow, 0);
    EXPECT_EQ(set_by_flow + others, substeps);

    // Every 5 minutes of 300 at the three locations: the outlet (the last)
    // passes the outlet's load, and its flux is its concentration times its
    // discharge.
    const auto q = rows_of(read_file(dir.file("hyd_loc.dat")));
    const auto conc = rows_of(read_file(dir.file("con_loc.dat")));
    const auto flux = rows_of(read_file(dir.file("mass_loc.dat")));
    ASSERT_EQ(conc.size(), 61u);
    ASSERT_EQ(flux.size(), 61u);
    ASSERT_EQ(q.size(), 61u);
    double passed = 0.0;  // kg
    std::size_t peak = 0;
    for (std::size_t k = 0; k < flux.size(); ++k) {
        ASSERT_EQ(conc[k].size(), 4u);
        ASSERT_EQ(flux[k].size(), 4u);
        passed += flux[k][3] * 300.0 / 1000.0;
        if (flux[k][3] > flux[peak][3]) peak = k;
    }
    EXPECT_NEAR(passed, outlet_kg, 0.03 * outlet_kg);
    EXPECT_NEAR(conc[peak][3] * q[peak][3], flux[peak][3], 0.05 * flux[peak][3]);

    // The channel datasets: a block every 5 minutes.
    for (const char* name : {"maps/herbicide.chan.conc", "maps/herbicide.chan.mass"}) {
        const std::string d = read_file(dir.file(name));
        std::size_t blocks = 0;
        for (std::size_t at = d.find("\nTS    "); at != std::string::npos; at = d.find("\nTS    ", at + 1)) ++blocks;
        EXPECT_EQ(blocks, 61u) << name;
    }
}

}  // namespace
