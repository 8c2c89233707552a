#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "subsurface/soil_table.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

using namespace kesta;

namespace {

// One class: its id, then layer L column k holds L*100 + k (layers 1 and 2
// have 9 columns, layer 3 has 8).
std::string soil_class_text(int id, double offset = 0.0) {
    std::string s = std::to_string(id) + "\n";
    for (int layer = 1; layer <= 3; ++layer) {
        for (int k = 1; k <= (layer == 3 ? 8 : 9); ++k) s += std::to_string(layer * 100 + k + offset) + " ";
        s += "\n";
    }
    return s;
}

class SoilTable : public ::testing::Test {
protected:
    void SetUp() override { g_error_record = error_record(); }
    void TearDown() override { g_error_record = error_record(); }

    int read(const std::string& text) {
        const std::string path = dir.write("soils.txt", text);
        std::FILE* fp = std::fopen(path.c_str(), "r");
        int n = 0;
        out = kesta_test::printed_by([&] { n = read_soil_class_table(fp, "soils.txt", classes); });
        std::fclose(fp);
        return n;
    }

    kesta_test::temp_dir dir;
    std::vector<soil_class_record> classes = std::vector<soil_class_record>(kSoilClasses);
    std::string out;
};

}  // namespace

TEST_F(SoilTable, LayerColumnsLandInTheirSlots) {
    for (double& v : classes[7].v) v = -1.0;
    ASSERT_EQ(read("1 0\n" + soil_class_text(7)), 1) << out;
    const double* v = classes[7].v;
    // column: slots for layers 1, 2, 3
    const int slots[9][3] = {{4, 5, 6},    {25, 26, 27}, {0, 1, 2},    {7, 8, 9},   {16, 17, 18},
                             {13, 14, 15}, {19, 20, 21}, {10, 11, 12}, {22, 23, -1}};
    for (int k = 1; k <= 9; ++k) {
        for (int layer = 1; layer <= 3; ++layer) {
            const int slot = slots[k - 1][layer - 1];
            if (slot < 0) continue;
            EXPECT_DOUBLE_EQ(v[slot], layer * 100 + k) << "column " << k << " layer " << layer;
        }
    }
    // Slots 3, 24 and 28..49 are left alone.
    EXPECT_DOUBLE_EQ(v[3], -1.0);
    EXPECT_DOUBLE_EQ(v[24], -1.0);
    for (int s = 28; s < 50; ++s) EXPECT_DOUBLE_EQ(v[s], -1.0);
    EXPECT_EQ(out, "");
}

TEST_F(SoilTable, LaterClassOverwritesAndAnEmptyTableWritesNothing) {
    ASSERT_EQ(read("2 99\n" + soil_class_text(3) + soil_class_text(3, 0.5)), 2);
    EXPECT_DOUBLE_EQ(classes[3].v[4], 101.5);
    EXPECT_EQ(read("0 0\n"), 0);
    EXPECT_DOUBLE_EQ(classes[3].v[4], 101.5);
}

TEST_F(SoilTable, ContentAfterTheCountedClassesIsWarnedAboutAndNotRead) {
    ASSERT_EQ(read("1 0\n" + soil_class_text(1) + soil_class_text(2) + "garbage"), 1);
    EXPECT_EQ(out, "Warning: soil table soils.txt, line 6: \"2\" follows the last of the 1 classes the table "
                   "counts; the rest of the file is not read.\n");
    EXPECT_EQ(g_error_record.stop, 0);
    EXPECT_DOUBLE_EQ(classes[2].v[4], 0.0);
}

TEST_F(SoilTable, RefusesWhatDoesNotReadAndStopsTheRun) {
    const std::string one = "1 0\n" + soil_class_text(1);
    std::string cut = one, bad = one;
    cut.resize(cut.rfind("308"));
    bad.replace(bad.find("203"), 3, "2O3");
    const std::pair<std::string, std::string> refused[] = {
        {"2 0\n" + soil_class_text(1),
         "soil table soils.txt, line 6: the file ends where the identifier of class 2 of 2"},
        {cut, "the file ends in class 1, layer 3, value 8"},
        {bad, "line 4: class 1, layer 2, value 3 \"2O3.000000\" is not a number"},
        {"1 0\n" + soil_class_text(10000), "class identifier 10000 lies outside 0 to 9999"},
        {"-1 0\n", "class count -1 is negative"},
        {"1.5 0\n", "the number of classes \"1.5\" is not an integer"},
        {std::string(100, '7') + " 0\n", "the number of classes \"" + std::string(80, '7') + "...\" is not"},
    };
    for (const auto& [text, message] : refused) {
        g_error_record = error_record();
        EXPECT_EQ(read(text), -1) << message;
        EXPECT_NE(out.find(message), std::string::npos) << out;
        EXPECT_EQ(g_error_record.stop, 1) << message;
    }
}
