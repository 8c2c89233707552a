// The soil parameters of the soil-column methods and the set-up that refuses
// a soil the columns cannot use.
#include <gtest/gtest.h>

#include <string>

#include "subsurface/soil_columns.hpp"

namespace {

using kesta::g_error_record;
using kesta::soil_param;
using kesta_test::plane;

// Runs the set-up; returns what it printed, empty when it accepted the soil.
std::string refusal(kesta::model_state& m) {
    g_error_record.clear_for_run();
    const std::string out = kesta_test::printed_by([&] { kesta::setup_soil_columns(m); });
    EXPECT_EQ(out.empty(), g_error_record.stop == 0) << out;
    return out;
}

TEST(SoilParams, SetUpRefusesMissingOrUnusableSoilNamingIt) {
    kesta::model_state m;
    plane p;
    p.cols = 2;
    kesta_test::make_redist_plane(m, p, 60.0);
    EXPECT_NE(refusal(m).find("needs the field capacity of every cell"), std::string::npos);
    m.mapping_table_info.green_ampt = 1;  // the Green and Ampt table gives it
    EXPECT_EQ(refusal(m), "");
    m.field_capacity[2] = 0.12;
    EXPECT_NE(refusal(m).find("cell 2: field capacity 0.12 must exceed the wilting point 0.12 and 0"),
              std::string::npos);
    m.field_capacity[2] = 0.27;
    m.thr_map[1] = 0.434;
    EXPECT_NE(refusal(m).find("cell 1: porosity 0.434 must exceed the residual saturation 0.434"),
              std::string::npos);

    kesta::model_state l;
    const double k[3] = {1.0, 1.0, 1.0}, hc[3] = {5.0, 5.0, 5.0};
    kesta_test::make_layered_plane(l, plane(), 60.0, k, hc, 0.4, 0.2);
    l.soil_layer_input_file = "soils.txt";
    // The class holds cm/h and cm; the accessor gives m/s and m.
    EXPECT_DOUBLE_EQ(kesta::soil_parameter(l, 1, soil_param::conductivity, 2), 1.0 / 360000.0);
    EXPECT_DOUBLE_EQ(kesta::soil_parameter(l, 1, soil_param::capillary_head, 3), 0.05);
    l.soil_class[1].v[17] = 0.0;  // field capacity of layer 2
    EXPECT_NE(refusal(l).find("soil table soils.txt, class 1, layer 2: field capacity 0 must exceed"),
              std::string::npos);
    l.soil_class[1].v[23] = 0.0;  // no layer 2: nothing to check
    EXPECT_EQ(refusal(l), "");
    l.soil_class[1].v[25] = 0.0;
    EXPECT_NE(refusal(l).find("layer 1: pore distribution index 0 must be above 0"), std::string::npos);
    g_error_record.clear_for_run();
}

}  // namespace
