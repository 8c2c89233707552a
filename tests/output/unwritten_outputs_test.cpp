// Output cards whose files the run's other cards leave unwritten or without
// values: each is said once, on the console and in the summary's list of
// warnings, naming what it needs and its file; a card whose needs are met
// is not.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "channel/slope_drains.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::has;

// The slope with drains (channel, pipes with tiles, water table) less the
// lines of the cards `drop`, with the cards `add`.
std::string project(const std::vector<std::string>& drop, const std::string& add) {
    std::string text = kesta_test::slope_drains_project(10, add);
    for (const std::string& card : drop) {
        const std::size_t at = text.find("\n" + card);
        if (at != std::string::npos) text.erase(at + 1, text.find('\n', at + 1) - at);
    }
    return text;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(UnwrittenOutputs, EachCardWhoseFileIsNotWrittenIsWarnedOnceAndOnlyThen) {
    const std::string soil =
        "GREEN_AMPT\nCONDUCTIVITY soil.asc\nCAPILLARY soil.asc\nPOROSITY soil.asc\nMOISTURE soil.asc\n";
    const std::string pipes = "PIPE_FLOW f.lnd\nPIPE_HEAD p.lnd\nPIPE_TILE t.lnd\n";
    const std::vector<std::string> no_channel = {"CHAN_EXPLIC", "CHANNEL_INPUT", "STREAM_CELL", "STORM_SEWER",
                                                 "GRID_PIPE"};
    const struct {
        const char* name;
        std::vector<std::string> drop;
        std::string add;
        std::vector<std::string> says;
        std::vector<std::string> absent, empty, written;
    } cases[] = {
        {"lists of places missing", {}, "OUT_HYD_LOCATION h.dat\nOUT_THETA_LOCATION t.dat\nOUT_SED_LOC s.dat\n"
                                        "GW_WELL_LEVEL w.dat\nFLOOD_GRID g.dat\nTOTAL_OV_N maps\n" + soil,
         {"OUT_HYD_LOCATION has no effect without IN_HYD_LOCATION: h.dat is not written.",
          "OUT_THETA_LOCATION has no effect without IN_THETA_LOCATION: t.dat is not written.",
          "OUT_SED_LOC has no effect without SOIL_EROSION, channel routing (CHAN_EXPLIC) and IN_SED_LOC: s.dat is "
          "not written.",
          "GW_WELL_LEVEL has no effect without GW_SIMULATION and WATER_TABLE: w.dat is not written.",
          "FLOOD_GRID has no effect without MAP_TYPE 1 or 2: g.dat is not written.",
          "TOTAL_OV_N has no effect without NUTRIENTS: no maps are written to maps."},
         {"h.dat", "t.dat", "s.dat", "w.dat", "g.dat"}, {}, {}},
        {"lists of places given", {}, "IN_HYD_LOCATION h.txt\nOUT_HYD_LOCATION h.dat\nIN_THETA_LOCATION t.txt\n"
                                      "OUT_THETA_LOCATION t.dat\nINF_DEPTH maps\n" + soil,
         {}, {}, {}, {"h.dat", "t.dat", "maps/infdep.0001.asc"}},
        {"no storm sewer", {"STORM_SEWER", "GRID_PIPE"}, pipes,
         {"PIPE_FLOW has no effect without STORM_SEWER: f.lnd is not written.",
          "PIPE_HEAD has no effect without STORM_SEWER: p.lnd is not written.",
          "PIPE_TILE has no effect without STORM_SEWER and tile pipes (pipes with a conductivity above 0): t.lnd "
          "is not written."},
         {"f.lnd", "p.lnd", "t.lnd"}, {}, {}},
        {"storm sewer with tiles", {}, pipes, {}, {}, {}, {"f.lnd", "p.lnd", "t.lnd"}},
        {"storm sewer without tiles", {"STORM_SEWER"}, pipes + "STORM_SEWER plain.sew\n",
         {"PIPE_TILE has no effect without tile pipes (pipes with a conductivity above 0): t.lnd stays empty."}, {},
         {"t.lnd"}, {"f.lnd", "p.lnd"}},
        {"no channel routing", no_channel, "CHAN_DEPTH d.lnd\nLAKE_OUTPUT l.dat\nOV_CON_TRANS\nCHAN_CON_TRANS\n"
                                           "OUT_CON_LOCATION c.dat\nIN_HYD_LOCATION h.txt\nOUT_HYD_LOCATION h.dat\n",
         {"CHAN_DEPTH has no effect without channel routing (CHAN_EXPLIC): d.lnd stays empty.",
          "LAKE_OUTPUT has no effect without lakes in the channel network (CHAN_EXPLIC): l.dat stays empty.",
          "OUT_CON_LOCATION has no effect without channel routing (CHAN_EXPLIC), IN_HYD_LOCATION, OV_CON_TRANS and "
          "CHAN_CON_TRANS: c.dat is not written.",
          "OUT_HYD_LOCATION has no effect without channel routing (CHAN_EXPLIC) and IN_HYD_LOCATION: h.dat holds "
          "only its times.",
          // A process card, said with the others of its kind.
          "CHAN_CON_TRANS has no effect without CHAN_EXPLIC: no constituent is carried in the channels."},
         {"c.dat"}, {"d.lnd", "l.dat"}, {"h.dat"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kesta_test::temp_dir dir;
        kesta_test::write_slope_drains(dir, [](int r, int col) { return kesta_test::ground(r, col) - 2.0; });
        std::string plain = kesta_test::kSewer;
        for (std::size_t at; (at = plain.find(" 0.05 20\n")) != std::string::npos;) plain.replace(at, 8, " 0 0");
        dir.write("plain.sew", plain);
        dir.write("soil.asc", kesta_test::grid([](int, int) { return 0.3; }, "%.1f "));
        dir.write("h.txt", "1\n1 5\n");
        dir.write("t.txt", "1\n2 2\n");
        fs::create_directory(dir.path() / "maps");
        dir.write("p.prj", project(c.drop, c.add));
        const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
        ASSERT_EQ(r.status, 0) << r.output;
        const std::string summary = kesta_test::read_file(dir.file("run.sum"));
        EXPECT_EQ(count(summary, "has no effect without"), c.says.size()) << summary;
        for (const std::string& says : c.says) {
            EXPECT_TRUE(has(summary, "-" + says + " (given 1 time)\n")) << says << "\n" << summary;
            EXPECT_EQ(count(r.output, says), 1u) << says << "\n" << r.output;
        }
        for (const std::string& f : c.absent) EXPECT_FALSE(fs::exists(dir.path() / f)) << f;
        for (const std::string& f : c.empty) EXPECT_EQ(kesta_test::read_file(dir.file(f)), "") << f;
        for (const std::string& f : c.written) EXPECT_GT(kesta_test::read_file(dir.file(f)).size(), 0u) << f;
    }
}

}  // namespace
