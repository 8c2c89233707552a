// The output registry: an output opens only over a file that is neither an
// input of the run nor another output, a claimed output opens in its claim,
// and closing walks the groups (the summary last), writes the datasets' end
// marks and says each failed write once.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "output/output_registry.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::output_group;
using kesta::output_request;
using kesta_test::has;

output_request request(const std::string& words, const std::string& name,
                       output_group group = output_group::run_outputs, const std::string& what = "") {
    output_request s;
    s.words = words;
    s.name = name;
    s.group = group;
    s.what = what;
    return s;
}

class OutputRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = kesta::error_record();
        dir.write("p.prj", "KESTAPROJECT\n");
        dir.write("elev.asc", "elev\n");
        m.project_file = "p.prj";
        m.elevation = "elev.asc";
    }
    void TearDown() override { g_error_record = kesta::error_record(); }
    kesta_test::temp_dir dir{true};
    kesta::model_state m;
};

TEST_F(OutputRegistry, AnOutputOpensOnlyOverAFileThatIsNeitherAnInputNorAnotherOutput) {
    const auto over_input = kesta::open_output(m, request("card A", "./elev.asc"));
    EXPECT_TRUE(over_input.refused);
    EXPECT_EQ(over_input.fp, nullptr);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_TRUE(has(g_error_record.stop_message, "Error: card A names ./elev.asc as its output file, but that file "
                                                 "is an input of the run (elev.asc, named by card ELEVATION)."))
        << g_error_record.stop_message;
    EXPECT_EQ(kesta_test::read_file("elev.asc"), "elev\n");

    g_error_record = kesta::error_record();
    kesta::output_slot a;
    const auto opened = kesta::open_output(m, request("card A", "a.out"), &a);
    ASSERT_NE(opened.fp, nullptr);
    EXPECT_EQ(a.get(), opened.fp);
    std::fputs("a\n", a.get());
    std::filesystem::create_directory("sub");
    const auto again = kesta::open_output(m, request("card B", "sub/../a.out"));
    EXPECT_TRUE(again.refused);
    EXPECT_TRUE(has(g_error_record.stop_message,
                    "Error: card A and card B both name the output file sub/../a.out (also written a.out).\n"))
        << g_error_record.stop_message;
    EXPECT_TRUE(kesta::close_all_outputs(m));
    EXPECT_FALSE(a);
    EXPECT_EQ(kesta_test::read_file("a.out"), "a\n");

    // Devices may be shared.
    if (std::filesystem::exists("/dev/null")) {
        g_error_record = kesta::error_record();
        EXPECT_NE(kesta::open_output(m, request("card C", "/dev/null")).fp, nullptr);
        EXPECT_NE(kesta::open_output(m, request("card D", "/dev/null")).fp, nullptr);
        EXPECT_EQ(g_error_record.stop, 0);
    }
}

// A claim keeps the name from other outputs before anything is written; its
// writer then opens it without a second check, and a file written whole
// again (at every event) opens in its record.
TEST_F(OutputRegistry, AClaimedOutputOpensInItsClaimAndAFileWrittenAgainInItsRecord) {
    ASSERT_TRUE(kesta::claim_output(m, request("card C", "c.out", output_group::written_whole)));
    EXPECT_FALSE(std::filesystem::exists("c.out"));
    EXPECT_FALSE(kesta::claim_output(m, request("card D", "c.out")));
    EXPECT_TRUE(has(g_error_record.stop_message, "Error: card C and card D both name the output file c.out.\n"));
    g_error_record = kesta::error_record();

    const std::size_t records = m.outputs.records.size();
    for (const char* text : {"first\n", "second\n"}) {
        const auto o = kesta::open_output(m, request("card C", "c.out", output_group::written_whole));
        ASSERT_NE(o.fp, nullptr);
        std::fputs(text, o.fp);
        EXPECT_TRUE(kesta::close_output(m, o.fp));
        EXPECT_EQ(kesta_test::read_file("c.out"), text);
    }
    EXPECT_EQ(m.outputs.records.size(), records);
    EXPECT_EQ(g_error_record.stop, 0);
}

// The summary closes last: it receives the message of every other output
// whose writes failed, each said once; datasets get their end marks.
TEST_F(OutputRegistry, ClosingWalksTheGroupsSummaryLastAndSaysEachFailedWriteOnce) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    kesta::output_slot summary, full, dataset;
    ASSERT_NE(kesta::open_output(m, request("card SUMMARY", "summ.out", output_group::summary, "output summary file"),
                                 &summary)
                  .fp,
              nullptr);
    g_error_record.summary_file = summary.get();
    output_request maps = request("card DEPTH", "depth.dat", output_group::maps, "depth map dataset");
    maps.end = kesta::end_mark::ascii_dataset;
    ASSERT_NE(kesta::open_output(m, maps, &dataset).fp, nullptr);
    std::fputs("DATASET\n", dataset.get());
    ASSERT_NE(kesta::open_output(m, request("card OUTLET_HYDRO", "/dev/full", output_group::run_outputs,
                                         "output hydrograph file"),
                                 &full)
                  .fp,
              nullptr);
    std::fputs("0 1\n", full.get());

    bool whole = true;
    const std::string said = kesta_test::printed_by([&] { whole = kesta::close_all_outputs(m); });
    EXPECT_FALSE(whole);
    const std::string message = "Error writing output hydrograph file /dev/full: the output is incomplete.\n";
    EXPECT_EQ(said, message);
    EXPECT_EQ(kesta_test::read_file("summ.out"), message);
    EXPECT_EQ(kesta_test::read_file("depth.dat"), "DATASET\nENDDS\n");
    EXPECT_EQ(g_error_record.summary_file, nullptr);
    EXPECT_FALSE(summary || full || dataset);

    // Nothing is left to close, or to say.
    EXPECT_EQ(kesta_test::printed_by([&] { whole = kesta::close_all_outputs(m); }), "");
    EXPECT_TRUE(whole);
}

// A value check names the file from the registry: with its card, by its
// name, or (a stream the registry does not hold) as "its output file".
TEST_F(OutputRegistry, AValueCheckNamesTheFileOfTheRecord) {
    const auto card = kesta::open_output(m, request("card VQ_INPUT", "inflow.txt"));
    output_request fixed_name = request("the evaporation output", "evap_out");
    fixed_name.fixed = true;
    const auto fixed = kesta::open_output(m, fixed_name);
    EXPECT_EQ(kesta::written_file_words(m, card.fp), "inflow.txt (card VQ_INPUT)");
    EXPECT_EQ(kesta::written_file_words(m, fixed.fp), "evap_out");
    EXPECT_EQ(kesta::written_file_words(m, stdout), "its output file");
}

}  // namespace
