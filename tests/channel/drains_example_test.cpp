// The valley example with its storm drain, run by the built program in a
// scratch copy: the grates take water from the hillslope, the pipes deliver
// it to the stream, and the event balance and the pipe lines close.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples";

TEST(DrainsExample, GratesFeedTheStreamThroughThePipesAndTheEventBalances) {
    kesta_test::temp_dir dir;
    for (const char* name : {"valley.cmt", "valley.chan", "valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(kExamples / "valley" / name, dir.path() / name);
    for (const char* name : {"drains.prj", "drains.sew", "drains.gpi"})
        fs::copy_file(kExamples / "valley-drains" / name, dir.path() / name);
    fs::create_directory(dir.path() / "maps");
    const kesta_test::program_result run = kesta_test::run_kesta("drains.prj", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string s = kesta_test::read_file(dir.file("drains.sum"));
    EXPECT_LT(std::fabs(kesta_test::value_after(s, "mass conservation error:")), 1e-6) << s;
    const double in = kesta_test::value_after(s, "total inputs to superlink:");
    const double out = kesta_test::value_after(s, "volume of superlink to channels:");
    EXPECT_GT(in, 100.0) << s;
    EXPECT_NEAR(kesta_test::value_after(s, "initial volume in sub-surface drains:") + in +
                    kesta_test::value_after(s, "volume of drain solver clean-up:") - out -
                    kesta_test::value_after(s, "volume of superlink to boundaries:"),
                kesta_test::value_after(s, "volume remaining in drains:"), 0.3)
        << s;
    EXPECT_NEAR(kesta_test::value_after(s, "Subsurface drain mass bal error m^3="), 0.0, 0.005);
    const std::string flow = kesta_test::read_file(dir.file("pipe_flow.lnd"));
    EXPECT_NE(flow.find("\nTS    60\n"), std::string::npos);
}

}  // namespace
