#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/text_format.hpp"

using kesta::exact_number;

namespace {

// A value is echoed as the shortest text that reads back as itself, never
// fewer digits than "%g" gives: a value just past a bound does not read as
// the bound.
TEST(ExactNumber, ReadsBackAsTheSameValueInTheFewestDigits) {
    const struct {
        double v;
        const char* text;
    } cases[] = {{1000001.0, "1000001"},     {1000.001, "1000.001"}, {100000.5, "100000.5"},
                 {2147483647.0, "2147483647"}, {0.1, "0.1"},          {1e6, "1e+06"},
                 {-0.5, "-0.5"},               {1e-7, "1e-07"},       {100.0, "100"},
                 {1e308, "1e+308"},            {0.0, "0"}};
    for (const auto& c : cases) EXPECT_EQ(exact_number(c.v), c.text) << c.text;
    for (double v : {1.0 / 3.0, 0.1 + 0.2, std::nextafter(1e6, 2e6), std::numeric_limits<double>::denorm_min(),
                     -std::numeric_limits<double>::max()})
        EXPECT_EQ(std::strtod(exact_number(v).c_str(), nullptr), v) << exact_number(v);
    EXPECT_EQ(exact_number(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(exact_number(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(exact_number(std::nan("")), "nan");
}

}  // namespace
