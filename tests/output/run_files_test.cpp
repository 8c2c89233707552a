// Opening the files of a run in their order, the first failure stopping the
// opening with its catalogue code and item, and closing every slot.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>

#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using std::make_tuple;
namespace fs = std::filesystem;

class RunFiles : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = kesta::error_record();
        dir.write("mask.asc", "mask\n");
        dir.write("elev.asc", "elev\n");
        dir.write("hyd.loc", "0\n");
        m->watershed_mask = "mask.asc";
        m->elevation = "elev.asc";
        m->summary = "summary.txt";
        m->outlet_hydro = "outlet.txt";
        m->in_hyd_location = "hyd.loc";
        m->out_hyd_location = "hyd.out";
    }
    void TearDown() override {
        kesta::close_output_files(*m);
        g_error_record = kesta::error_record();
    }
    // Code, stop flag, item and file of the error record.
    std::tuple<int, int, std::string, std::string> failure() const {
        return {g_error_record.code, g_error_record.stop, g_error_record.item, g_error_record.file_name};
    }
    kesta_test::temp_dir dir{true};
    std::unique_ptr<kesta::model_state> m = std::make_unique<kesta::model_state>();
};

TEST_F(RunFiles, FirstFailureStopsTheOpeningWithItsCodeAndItem) {
    m->in_hyd_location_given = 1;
    m->in_hyd_location = "missing.loc";
    m->sig_outlet_hydro_given = 1;
    m->sig_outlet_hydro = "sig.out";
    kesta::open_run_files(*m);
    EXPECT_EQ(failure(), make_tuple(4, 1, "hydrograph location", "missing.loc"));
    // What came before is open and the summary takes the messages; nothing
    // after the failure was tried.
    EXPECT_TRUE(m->watershed_mask_fp && m->elevation_fp && m->summary_fp && m->outlet_hydro_fp);
    EXPECT_EQ(g_error_record.summary_file, m->summary_fp.get());
    EXPECT_FALSE(fs::exists("hyd.out") || fs::exists("sig.out"));

    // A summary that cannot be made stops before any output is opened.
    kesta::close_output_files(*m);
    fs::remove("outlet.txt");
    g_error_record = kesta::error_record();
    m->summary = "no_such_folder/summary.txt";
    kesta::open_run_files(*m);
    EXPECT_EQ(failure(), make_tuple(4, 1, "output summary", "no_such_folder/summary.txt"));
    EXPECT_TRUE(m->watershed_mask_fp && m->elevation_fp);
    EXPECT_FALSE(fs::exists("outlet.txt"));
}

TEST_F(RunFiles, LocationOutputFailuresNameTheOutputAndTheLocationFile) {
    m->in_hyd_location_given = 1;
    m->out_hyd_location = "no_such_folder/hyd.out";
    kesta::open_run_files(*m);
    EXPECT_EQ(failure(), make_tuple(51, 1, "no_such_folder/hyd.out", "hyd.loc"));

    kesta::close_output_files(*m);
    m->in_hyd_location_given = 0;
    m->in_theta_location_given = 1;
    m->in_theta_location = "hyd.loc";
    m->out_theta_location = "no_such_folder/theta.out";
    kesta::open_run_files(*m);
    EXPECT_EQ(failure(), make_tuple(48, 1, "hyd.loc", "no_such_folder/theta.out (out_theta_location_file)"));
}

TEST_F(RunFiles, ExplicitRoutingWithoutNonOrthogonalChannelsIsRefused) {
    m->chan_routing = 1;
    testing::internal::CaptureStdout();
    kesta::open_run_files(*m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Must Specify YES_NON_ORTHO in project file\n");
    EXPECT_EQ(std::get<0>(failure()), 4);
    EXPECT_EQ(std::get<1>(failure()), 1);
}

// The mapping table stands in for a map no card names, never for a named
// map that will not open.
TEST_F(RunFiles, MapThatTheMappingTableSuppliesMayGoUnnamedButANamedOneMustOpen) {
    m->green_ampt_on = 1;
    m->conductivity_given = 1;
    m->mapping_table_info.green_ampt = 1;
    kesta::open_run_files(*m);
    EXPECT_EQ(g_error_record.code, 0);

    m->conductivity = "no_ks.asc";
    kesta::open_run_files(*m);
    EXPECT_EQ(failure(), make_tuple(4, 1, "Ks", "no_ks.asc"));
}

TEST_F(RunFiles, ClosingEmptiesEverySlotOnceAndDetachesTheSummary) {
    m->in_hyd_location_given = 1;
    kesta::open_run_files(*m);
    ASSERT_EQ(g_error_record.code, 0);
    std::fputs("summary text\n", m->summary_fp.get());
    std::fputs("0 1\n", m->out_hyd_location_fp.get());

    kesta::close_output_files(*m);
    EXPECT_FALSE(m->summary_fp || m->watershed_mask_fp || m->in_hyd_location_fp || m->out_hyd_location_fp);
    EXPECT_EQ(g_error_record.summary_file, nullptr);
    EXPECT_EQ(kesta_test::read_file("summary.txt"), "summary text\n");
    EXPECT_EQ(kesta_test::read_file("hyd.out"), "0 1\n");
    kesta::close_output_files(*m);  // a second shut-down finds nothing left to close
}

}  // namespace
