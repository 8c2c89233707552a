// The channel point-source file on the lake, weir and outlet link of the
// routing fixture (link 1 a lake, link 2 a structure, link 3 an open
// channel of 9 computational nodes).
#include <gtest/gtest.h>

#include <tuple>

#include "channel/channel_network.hpp"
#include "core/calendar.hpp"
#include "core/interval_clock.hpp"
#include "support/stream_capture.hpp"

namespace {

using kesta_test::RoutedNetwork;

class ChanPointInput : public RoutedNetwork {
protected:
    void SetUp() override {
        RoutedNetwork::SetUp();
        set_up_lake_weir();
    }

    // Opens `text` as the point-source file; the console output.
    std::string open(const std::string& text) {
        m->chan_point_input = dir.write("points.txt", text);
        m->time_tol = kesta::kTimeTolerance;
        return kesta_test::printed_by([&] { kesta::open_chan_point_input(*m); });
    }

    std::string step_at(int hour, int minute) {
        m->time = kesta::julday(2021, 7, 14, hour, minute, 0.0);
        return kesta_test::printed_by([&] { kesta::step_chan_point_input(*m); });
    }
};

TEST_F(ChanPointInput, KeywordsAreKnownByTheirFirstFiveLettersInWholeTokens) {
    m->ncontam = 1;
    open("Channel inputs for the spring run\nNUMPTS 3\n"
         "Points 2 3 1.5 10.0\npoint 1 1 0.25 20.0\nPOINT 9 3 -0.5 0.0\nnrpds 0\n");
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    ASSERT_EQ(m->chan_points.points.size(), 3u);
    EXPECT_DOUBLE_EQ(m->chan_point_Q[2][3], 1.5);
    EXPECT_DOUBLE_EQ(m->chan_point_Q[1][1], 0.25);
    EXPECT_DOUBLE_EQ(m->chan_point_Q[9][3], -0.5);
    EXPECT_DOUBLE_EQ(m->chan_point_conc[1][1][1], 20.0);
    EXPECT_EQ(m->chan_points.next_change, 0.0);
}

TEST_F(ChanPointInput, RefusalsNameTheFileTheLineAndTheValue) {
    const struct {
        const char* points;
        const char* says;
    } cases[] = {
        {"point 10 3 1.0", "line 3: point at node 10 of link 3: the link has nodes 1 to 9"},
        {"point 1 4 1.0", "line 3: point on link 4: the network has links 1 to 3"},
        {"point 1 2 1.0", "line 3: point on link 2, a structure link"},
        {"point 1 3 lots", "line 3: a discharge is not a number, but reads \"lots\""},
    };
    for (const auto& c : cases) {
        kesta::g_error_record.clear_for_run();
        const std::string out = open(std::string("numpts 1\n\n") + c.points + "\nnrpds 0\n");
        EXPECT_NE(kesta::g_error_record.stop, 0) << c.points;
        EXPECT_NE(out.find("points.txt"), std::string::npos) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
    // A file that cannot be opened stops the run: its inflows would be missing.
    kesta::g_error_record.clear_for_run();
    m->chan_point_input = dir.file("none.txt");
    kesta::open_chan_point_input(*m);
    EXPECT_EQ(std::make_tuple(kesta::g_error_record.stop, kesta::g_error_record.code, kesta::g_error_record.file_name),
              std::make_tuple(1, 4, dir.file("none.txt")));
}

TEST_F(ChanPointInput, AChangeIsReadOnlyWhenItIsDue) {
    open("numpts 1\npoint 4 3 2.0\nnrpds 2\ninput 2021 7 14 15 0\n0.5\ninput 2021 7 14 16 0\nbad\n");
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    EXPECT_DOUBLE_EQ(m->chan_points.next_change, kesta::julday(2021, 7, 14, 15, 0, 0.0));
    step_at(14, 55);
    EXPECT_DOUBLE_EQ(m->chan_point_Q[4][3], 2.0);
    step_at(15, 0);
    ASSERT_EQ(kesta::g_error_record.stop, 0) << "the second block is read only at its time";
    EXPECT_DOUBLE_EQ(m->chan_point_Q[4][3], 0.5);
    EXPECT_DOUBLE_EQ(m->chan_points.next_change, kesta::julday(2021, 7, 14, 16, 0, 0.0));
    const std::string out = step_at(16, 5);  // reached between two steps
    EXPECT_NE(kesta::g_error_record.stop, 0);
    EXPECT_NE(out.find("line 7: a discharge is not a number, but reads \"bad\""), std::string::npos) << out;
}

// A point's concentration lies from 0 to 1e6 g/m3, what a cubic metre of
// water weighs, in its first values and in every change (read when due);
// the refusal names the file, the line, the point and the value. 1e6 itself
// is taken.
TEST_F(ChanPointInput, ConcentrationsLieWithinWhatWaterWeighs) {
    m->ncontam = 2;
    m->contam_names = {"", "tracer", "decayer"};
    const std::string rule = "; it must be from 0 to 1e+06 g/m3, what a cubic metre of water weighs.\n";
    const struct {
        const char* points;
        const char* says;  // at open, or else at the change of 15:00
    } cases[] = {
        {"numpts 1\npoint 1 1 2.0 10.0 1e9\nnrpds 0\n",
         "line 2: point 1 (node 1 of link 1) gives constituent 2 (decayer) the concentration 1e+09 g/m3"},
        {"numpts 1\npoint 1 1 2.0 10.0 0\nnrpds 1\ninput 2021 7 14 15 0\n1.0 5.0 2147483647\n",
         "line 5: point 1 (node 1 of link 1) gives constituent 2 (decayer) the concentration 2147483647 g/m3"},
        {"numpts 1\npoint 1 1 2.0 1000001 0\nnrpds 0\n",
         "line 2: point 1 (node 1 of link 1) gives constituent 1 (tracer) the concentration 1000001 g/m3"},
        {"numpts 1\npoint 1 1 2.0 1e6 0\nnrpds 1\ninput 2021 7 14 15 0\n1.0 1e6 1e6\n", ""},
    };
    for (const auto& c : cases) {
        kesta::g_error_record.clear_for_run();
        std::string out = open(c.points);
        if (kesta::g_error_record.stop == 0) out += step_at(15, 0);
        EXPECT_EQ(kesta::g_error_record.stop != 0, c.says[0] != '\0') << c.points << out;
        if (c.says[0]) {
            EXPECT_NE(out.find("Error in channel point-source file " + m->chan_point_input + ", " + c.says + rule),
                      std::string::npos)
                << out;
        } else {
            EXPECT_DOUBLE_EQ(m->chan_point_conc[1][1][1], 1e6);
            EXPECT_DOUBLE_EQ(m->chan_point_conc[2][1][1], 1e6);
        }
    }
}

}  // namespace
