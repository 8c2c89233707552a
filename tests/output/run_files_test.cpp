// Opening the files of a run in their order, the first failure stopping the
// opening with its catalogue code and item, and closing every slot.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "output/output_steps.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
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
    kesta_test::temp_dir dir{true};
    std::unique_ptr<kesta::model_state> m = std::make_unique<kesta::model_state>();
};

TEST_F(RunFiles, FirstFailureStopsTheOpeningWithItsCodeAndItem) {
    m->in_hyd_location_given = 1;
    m->in_hyd_location = "missing.loc";
    m->sig_outlet_hydro_given = 1;
    m->sig_outlet_hydro = "sig.out";
    kesta::open_run_files(*m);
    EXPECT_EQ(g_error_record.code, 4);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(g_error_record.item, "hydrograph location");
    EXPECT_EQ(g_error_record.file_name, "missing.loc");
    // What came before is open and the summary takes the messages; nothing
    // after the failure was tried.
    EXPECT_TRUE(m->watershed_mask_fp && m->elevation_fp && m->summary_fp && m->outlet_hydro_fp);
    EXPECT_EQ(g_error_record.summary_file, m->summary_fp.get());
    EXPECT_FALSE(fs::exists("hyd.out") || fs::exists("sig.out"));
}

TEST_F(RunFiles, MissingSummaryStopsBeforeAnyOutputIsOpened) {
    m->summary = "no_such_folder/summary.txt";
    kesta::open_run_files(*m);
    EXPECT_EQ(g_error_record.code, 4);
    EXPECT_EQ(g_error_record.item, "output summary");
    EXPECT_TRUE(m->watershed_mask_fp && m->elevation_fp);
    EXPECT_FALSE(fs::exists("outlet.txt"));
}

TEST_F(RunFiles, LocationOutputFailuresNameTheOutputAndTheLocationFile) {
    m->in_hyd_location_given = 1;
    m->out_hyd_location = "no_such_folder/hyd.out";
    kesta::open_run_files(*m);
    EXPECT_EQ(g_error_record.code, 51);
    EXPECT_EQ(g_error_record.item, "no_such_folder/hyd.out");
    EXPECT_EQ(g_error_record.file_name, "hyd.loc");

    kesta::close_output_files(*m);
    m->in_hyd_location_given = 0;
    m->in_theta_location_given = 1;
    m->in_theta_location = "hyd.loc";
    m->out_theta_location = "no_such_folder/theta.out";
    kesta::open_run_files(*m);
    EXPECT_EQ(g_error_record.code, 48);
    EXPECT_EQ(g_error_record.item, "hyd.loc");
    EXPECT_EQ(g_error_record.file_name, "no_such_folder/theta.out (out_theta_location_file)");
}

TEST_F(RunFiles, ExplicitRoutingWithoutNonOrthogonalChannelsIsRefused) {
    m->chan_routing = 1;
    testing::internal::CaptureStdout();
    kesta::open_run_files(*m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Must Specify YES_NON_ORTHO in project file\n");
    EXPECT_EQ(g_error_record.code, 4);
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(RunFiles, MapThatTheMappingTableSuppliesMayBeMissing) {
    m->green_ampt_on = 1;
    m->conductivity_given = 1;
    m->conductivity = "no_ks.asc";
    m->mapping_table_info.green_ampt = 1;
    kesta::open_run_files(*m);
    EXPECT_EQ(g_error_record.code, 0);

    m->mapping_table_info.green_ampt = 0;
    kesta::open_run_files(*m);
    EXPECT_EQ(g_error_record.code, 4);
    EXPECT_EQ(g_error_record.item, "Ks");
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
