// The map step: its frames as numbered grid files and as dataset steps, their
// names, their end marks on every way out of a run, and the water they show.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "model/run_driver.hpp"
#include "model/run_model.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "output/output_steps.hpp"
#include "support/grid_text.hpp"
#include "support/temp_dir.hpp"
#include "support/test_outputs.hpp"

namespace {

namespace fs = std::filesystem;
using kesta::g_error_record;
using kesta_test::read_file;
using kesta_test::lines_of;

class MapStep : public ::testing::Test {
protected:
    void SetUp() override { g_error_record.clear_for_run(); }
    void TearDown() override { g_error_record.clear_for_run(); }

    // A grid of 100 m cells with its lower-left corner at (500, 500); the
    // cells of `off` (row-major, from 0) are inactive. Depth maps go to `file`
    // in the format of MAP_TYPE `map_type`.
    void make_grid(int rows, int cols, const std::string& file, int map_type, std::vector<int> off = {}) {
        m = std::make_unique<kesta::model_state>();
        m->rows = rows;
        m->cols = cols;
        m->gridsize = 100.0;
        m->west = m->south = 500.0;
        m->east = 500.0 + 100.0 * cols;
        m->north = 500.0 + 100.0 * rows;
        kesta::alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
        for (int i = 0; i < rows * cols; ++i) {
            if (std::find(off.begin(), off.end(), i) == off.end()) m->mask[i / cols + 1][i % cols + 1] = ++m->ncells;
        }
        for (auto* v : {&m->h, &m->qx, &m->qy, &m->qmap}) kesta::alloc_dvector(*v, m->ncells, "v");
        m->map_freq = 6;
        m->quiet = 1;
        m->map_grass = map_type == 0;
        m->map_tvm_ascii = map_type != 0;
        m->map_tvm_binary = map_type == 2;
        m->depth_given = 1;
        m->project_options.depth = dir.file(file);
    }
    // Opens the maps, then passes 0..last of the map step; cell 1 holds the
    // pass's step index. Returns what was printed.
    std::string run_steps(int last) {
        testing::internal::CaptureStdout();
        kesta::open_all_map_outputs(*m);
        for (int s = 0; s <= last && !g_error_record.stop; ++s) {
            m->step = s;
            m->elapsed_min = s;
            m->h[1] = s;
            kesta::write_timeseries_maps(*m);
        }
        return testing::internal::GetCapturedStdout();
    }

    kesta_test::temp_dir dir;
    std::unique_ptr<kesta::model_state> m;
};

TEST_F(MapStep, GridFramesFallOnStepsOneSevenThirteenUnderOneNameWhateverTheFolderEnds) {
    const std::string head = "ncols \t2\nnrows \t2\nxllcenter    550.00\nyllcenter    550.00\n"
                             "cellsize    100.00\nNODATA_value -9999.99\n";
    for (const char* folder : {"maps", "maps/", "maps\\"}) {
        SCOPED_TRACE(folder);
        fs::remove_all(dir.file("maps"));
        fs::create_directory(dir.file("maps"));
        make_grid(2, 2, folder, 0, {1});
        m->discharge_given = 1;
        m->project_options.discharge = dir.file(folder);
        m->h[2] = 2.5;
        m->h[3] = 3.5;
        m->qx[2] = 3.0;  // m3/s through the right face
        m->qy[2] = -4.0;
        run_steps(14);
        for (int frame = 1; frame <= 3; ++frame) {
            EXPECT_EQ(read_file(dir.file("maps/depth.000" + std::to_string(frame) + ".asc")),
                      head + std::to_string(6 * frame - 5) + ".0000 -9999.9900 \n2.5000 3.5000 \n");
        }
        EXPECT_FALSE(fs::exists(dir.file("maps/depth.0004.asc")));
        // Discharge in m3/s: the magnitude of the face discharges.
        EXPECT_EQ(read_file(dir.file("maps/discharge.0001.asc")), head + "0.0000 -9999.9900 \n5.0000 0.0000 \n");
    }
}

TEST_F(MapStep, AFrameThatCannotBeCreatedStopsTheRunAndNoneIsLeftHalfWritten) {
    make_grid(2, 2, "missing", 0);
    EXPECT_NE(run_steps(1).find("Can't open depth map for writing: " + dir.file("missing/depth.0001.asc") +
                                ": the folder " + dir.file("missing") + " does not exist (make it before the run)\n"),
              std::string::npos);
    EXPECT_EQ(g_error_record.stop, 1);

    // A folder holds the frame's name: the frame written whole is not kept.
    g_error_record.clear_for_run();
    fs::create_directories(dir.file("maps/depth.0001.asc/x"));
    make_grid(2, 2, "maps", 0);
    EXPECT_NE(run_steps(1).find("Can't open depth map for writing: "), std::string::npos);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("maps")), fs::directory_iterator()), 1);
}

TEST_F(MapStep, DatasetsTakeOneStepPerFrameAndTheirEndMarkWhenTheFilesClose) {
    for (int map_type = 1; map_type <= 2; ++map_type) {
        make_grid(3, 4, "d.dat", map_type);
        run_steps(7);
        kesta::close_output_files(*m);
        ASSERT_EQ(g_error_record.code, 0);
        const std::string text = read_file(dir.file("d.dat"));
        if (map_type == 2) {
            // Header, two frames of card, flag, time, 12 flags, 12 values, end card.
            ASSERT_EQ(text.size(), 100u + 2u * (4 + 2 + 8 + 12 * 2 + 12 * 8) + 4);
            EXPECT_EQ(text.substr(100, 4), std::string("\xc8\0\0\0", 4));
            EXPECT_EQ(text.substr(text.size() - 4), std::string("\xd2\0\0\0", 4));
            continue;
        }
        const std::vector<std::string> l = lines_of(text);
        ASSERT_EQ(l.size(), 7u + 2u * 25u + 1u);
        EXPECT_EQ(std::vector<std::string>({l[3], l[7], l[8], l[20], l[32], l.back()}),
                  std::vector<std::string>({"OBJID 1010", "TS 1 1.000000", "1", "1.000000", "TS 1 7.000000", "ENDDS"}));
    }
}

TEST_F(MapStep, TwoMapsNamingOneDatasetFileAreRefused) {
    make_grid(1, 1, "d.dat", 1);
    m->discharge_given = 1;
    m->project_options.discharge = dir.file("d.dat");
    EXPECT_NE(run_steps(-1).find("card DEPTH and card DISCHARGE both name the output file"), std::string::npos);
    EXPECT_EQ(g_error_record.code, 4000);
}

// A bowl of nine 100 m cells under 30 minutes of 20 mm/h. Its outlet is the
// highest corner, where every drop infiltrates: no water leaves the grid.
class ClosedBasin : public ::testing::Test {
protected:
    void SetUp() override {
        auto grid = [this](const char* name, const char* values) {
            dir.write(name, kesta_test::grid_text(3, 3, 100.0, values));
        };
        grid("mask.asc", "1 1 1\n1 1 1\n1 1 1\n");
        grid("elev.asc", "10 9 10\n9 8 9\n10 9 10\n");
        grid("ks.asc", "50 0.05 0.05\n0.05 0.1 0.05\n0.05 0.05 0.2\n");
        grid("hc.asc", "5 5 5\n5 5 5\n5 5 5\n");
        grid("phi.asc", "0.4 0.4 0.4\n0.4 0.4 0.4\n0.4 0.4 0.4\n");
        grid("th.asc", "0.1 0.1 0.1\n0.1 0.1 0.1\n0.1 0.1 0.1\n");
        dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\n"
                           "COLS 3\nOUTROW 1\nOUTCOL 1\nOUTSLOPE 0.01\nMANNING_N 0.05\nTOT_TIME 60\nTIMESTEP 30\n"
                           "PRECIP_UNIF\nRAIN_INTENSITY 20\nRAIN_DURATION 30\nSTART_DATE 2020 6 1\n"
                           "START_TIME 12 0\nGREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\n"
                           "MOISTURE th.asc\nMAP_TYPE 1\nMAP_FREQ 5\nDEPTH d.dat\nINF_DEPTH f.dat\nSUMMARY s.out\n"
                           "OUTLET_HYDRO h.out\nSUPER_QUIET\nHYD_FREQ 5\n");
    }
    void TearDown() override {
        kesta::set_step_observer(nullptr);
        g_error_record.clear_for_run();
    }
    int run() {
        testing::internal::CaptureStdout();
        const int rc = kesta::run_model("p.prj", nullptr);
        testing::internal::GetCapturedStdout();
        return rc;
    }
    // (time, sum of the nine values) of each frame of an ASCII dataset.
    static std::vector<std::pair<double, double>> frames(const std::string& text) {
        const std::vector<std::string> l = lines_of(text);
        std::vector<std::pair<double, double>> f;
        for (std::size_t i = 7; i + 19 <= l.size() && l[i].rfind("TS 1 ", 0) == 0; i += 19) {
            double sum = 0.0;
            for (std::size_t k = i + 10; k < i + 19; ++k) sum += std::stod(l[k]);
            f.emplace_back(std::stod(l[i].substr(5)), sum);
        }
        return f;
    }
    kesta_test::temp_dir dir{true};
};

TEST_F(ClosedBasin, EachDepthFrameHoldsTheRainSoFarLessWhatInfiltrated) {
    ASSERT_EQ(run(), 0);
    const std::string summary = read_file("s.out");
    EXPECT_NE(summary.find("volume of discharge:                       0.0\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("ASCII TVM map datasets, one file per map:\n     overland flow depth (d.dat).\n"
                           "     distributed infiltration depth (f.dat).\n"),
              std::string::npos)
        << summary;
    const auto depth = frames(read_file("d.dat"));
    const auto infiltrated = frames(read_file("f.dat"));
    ASSERT_EQ(depth.size(), 12u);  // minutes 0.5, 5.5 ... 55.5
    ASSERT_EQ(infiltrated.size(), depth.size());
    for (std::size_t i = 0; i < depth.size(); ++i) {
        // A pass writes the state at the end of its step and the time at its
        // start, as the hydrograph does: the rain of one more half minute.
        const double rain = 0.020 * std::min(depth[i].first + 0.5, 30.0) / 60.0;  // m
        const double area = 100.0 * 100.0;
        // Each of the 18 printed values is within half a unit of its sixth decimal.
        EXPECT_NEAR(depth[i].second * area, (9 * rain - infiltrated[i].second) * area, 18 * 0.5e-6 * area)
            << "at minute " << depth[i].first;
    }
    EXPECT_GT(depth.back().second * 100.0 * 100.0, 300.0);  // m3 of the 900 stand in the bowl
}

TEST_F(ClosedBasin, ARunStoppedByAnErrorStillEndsItsDatasetAfterWholeFrames) {
    kesta::set_step_observer([](kesta::model_state& m, const char* name) {
        if (std::string(name) == "report_progress" && m.step == 40) g_error_record.fail(4000);
        return true;
    });
    EXPECT_NE(run(), 0);
    const std::string text = read_file("d.dat");
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n");
    EXPECT_EQ(frames(text).size(), 4u);  // steps 1, 11, 21, 31
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7 + 4 * 19 + 1);
}

// A contaminant location series without channel constituents would stay
// empty: the run says so.
TEST(ConstituentOutputs, ALocationSeriesWithoutChannelConstituentsIsWarnedEmpty) {
    kesta::forget_warnings();
    kesta_test::temp_dir dir;
    auto m = std::make_unique<kesta::model_state>();
    m->project_options.out_mass_location_given = 1;
    m->project_options.out_mass_location = "mass.dat";
    m->chan_routing = 1;
    m->nlinks = 1;
    m->in_hyd_location_given = 1;
    ASSERT_NE(kesta_test::open_output(*m, m->out_mass_location_fp, dir.file("mass.dat")), nullptr);
    kesta::open_nutrient_outputs(*m);
    const kesta::warning_list w = kesta::take_warnings();
    ASSERT_EQ(w.listed.size(), 1u);
    EXPECT_EQ(w.listed[0].text, "OUT_MASS_LOCATION has no effect without IN_HYD_LOCATION, OV_CON_TRANS and "
                                "CHAN_CON_TRANS: mass.dat stays empty.");
}

}  // namespace
