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

// Column k (from 1) of a layer: Ks, pore index, capillary head, porosity,
// field capacity, wilting point, residual, initial moisture, thickness.
constexpr double kColumnBase[9] = {1.0, 0.5, 10.0, 0.45, 0.3, 0.12, 0.03, 0.25, 20.0};

// Column k of layer L of a class: a value within its bounds, distinct from
// every other column and layer.
double layer_value(int layer, int k, double offset = 0.0) { return kColumnBase[k - 1] + layer * 0.001 + offset; }

// One class: its id, then one line per layer (layers 1 and 2 have 9
// columns, layer 3 has 8).
std::string soil_class_text(int id, double offset = 0.0) {
    std::string s = std::to_string(id) + "\n";
    for (int layer = 1; layer <= 3; ++layer) {
        for (int k = 1; k <= (layer == 3 ? 8 : 9); ++k) s += std::to_string(layer_value(layer, k, offset)) + " ";
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
            EXPECT_DOUBLE_EQ(v[slot], layer_value(layer, k)) << "column " << k << " layer " << layer;
        }
    }
    // Slots 3, 24 and 28..49 are left alone.
    EXPECT_DOUBLE_EQ(v[3], -1.0);
    EXPECT_DOUBLE_EQ(v[24], -1.0);
    for (int s = 28; s < 50; ++s) EXPECT_DOUBLE_EQ(v[s], -1.0);
    EXPECT_EQ(out, "");
}

TEST_F(SoilTable, LaterClassOverwritesAndAnEmptyTableWritesNothing) {
    ASSERT_EQ(read("2 99\n" + soil_class_text(3) + soil_class_text(3, 0.005)), 2);
    EXPECT_DOUBLE_EQ(classes[3].v[4], layer_value(1, 1, 0.005));
    EXPECT_EQ(read("0 0\n"), 0);
    EXPECT_DOUBLE_EQ(classes[3].v[4], layer_value(1, 1, 0.005));
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
    cut.resize(cut.rfind("0.253000"));
    bad.replace(bad.find("10.002"), 2, "1O");
    const std::pair<std::string, std::string> refused[] = {
        {"2 0\n" + soil_class_text(1),
         "soil table soils.txt, line 6: the file ends where the identifier of class 2 of 2"},
        {cut, "line 5: class 1, layer 3: the line holds 7 values; a line of layer 3 holds 8 (no thickness)"},
        {one.substr(0, one.rfind("1.003")), "line 5: the file ends where layer 3 of class 1 was expected"},
        {bad, "line 4: class 1, layer 2, value 3 \"1O.002000\" is not a number"},
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

// A value no soil layer can have, or a line with a value too many or too
// few, is refused naming the file, line, class, layer and value.
TEST_F(SoilTable, RefusesEachLayerValueOutOfBoundsOrOutOfPlace) {
    // Class 1 with value k of layer 2 (line 4) written as `value`.
    auto with_layer2_value = [](int k, const std::string& value) {
        std::string s = "1 0\n1\n";
        for (int layer = 1; layer <= 3; ++layer) {
            for (int c = 1; c <= (layer == 3 ? 8 : 9); ++c)
                s += (layer == 2 && c == k ? value : std::to_string(layer_value(layer, c))) + " ";
            s += "\n";
        }
        return s;
    };
    const std::string layer2 = "soil table soils.txt, line 4: class 1, layer 2: ";
    const struct {
        int column;
        const char* value;
        const char* named;
    } bad[] = {
        {9, "0", "layer thickness 0 cm"},
        {9, "-20", "layer thickness -20 cm"},
        {9, "1e9", "layer thickness 1000000000 cm"},
        {8, "0.5", "initial water content 0.5"},
        {8, "0.95", "initial water content 0.95"},
        {8, "10", "initial water content 10"},
        {8, "-0.3", "initial water content -0.3"},
        {1, "-0.5", "saturated hydraulic conductivity -0.5 cm/h"},
        {3, "-20", "capillary head -20 cm"},
        {4, "5.0", "porosity 5"},
        {4, "1", "porosity 1"},
        {5, "0.9", "field capacity 0.9"},
        {6, "-0.1", "wilting point -0.1"},
        {7, "0.35", "residual water content 0.35"},
        {2, "-0.2", "pore distribution index -0.2"},
    };
    for (const auto& b : bad) {
        g_error_record = error_record();
        EXPECT_EQ(read(with_layer2_value(b.column, b.value)), -1) << b.named;
        EXPECT_NE(out.find(layer2 + b.named + ": it must"), std::string::npos) << out;
        EXPECT_EQ(g_error_record.stop, 1) << b.named;
    }

    // The first n values of a layer's line, without its line end.
    auto values = [](int layer, int n) {
        std::string s;
        for (int c = 1; c <= n; ++c) s += " " + std::to_string(layer_value(layer, c));
        return s;
    };
    const std::string layer1 = values(1, 9) + "\n", layer3 = values(3, 8) + "\n";
    const std::string extra = "1 0\n1\n" + layer1 + values(2, 9) + " 5\n" + layer3;
    const std::string missing = "1 0\n1\n" + layer1 + values(2, 8) + "\n" + layer3;
    const std::pair<std::string, std::string> misplaced[] = {
        {extra, "line 4: class 1, layer 2: the line holds 10 values; a line of layer 2 holds 9"},
        {missing, "line 4: class 1, layer 2: the line holds 8 values; a line of layer 2 holds 9"},
        {"1 0\n1 " + soil_class_text(1).substr(2),
         "line 2: the line of the identifier of class 1 of 1 holds 10 values; the identifier stands alone"},
    };
    for (const auto& [text, message] : misplaced) {
        g_error_record = error_record();
        EXPECT_EQ(read(text), -1) << message;
        EXPECT_NE(out.find("soil table soils.txt, " + message), std::string::npos) << out;
    }
    // The header may take two lines, and lines that hold nothing are passed
    // over.
    g_error_record = error_record();
    EXPECT_EQ(read("1\n0\n\n" + soil_class_text(4) + "\n"), 1) << out;
    EXPECT_DOUBLE_EQ(classes[4].v[22], layer_value(1, 9));
}
