// The environment of a library step: the place from the record's hemisphere
// letters and the sun at latitudes where it does not set or rise.
#include <gtest/gtest.h>

#include <cmath>

#include "nutrients/source/environment.hpp"
#include "nutrients/source/vegso_interface.hpp"

using VEGSO::Environment;

TEST(Environment, HemisphereLettersGiveTheSignsAndPolarDaysStayReal) {
    vegso_env_record* record = vegso_env_create();
    record->latitude_hemisphere = 'S';
    record->longitude_hemisphere = 'E';
    vegso_env_update(record);
    EXPECT_EQ(record->environment->latitude, -30.0);
    EXPECT_EQ(record->environment->longitude, 90.0);
    vegso_free_record(record);

    // At 80 degrees north the sun stays up at midsummer and down at
    // midwinter.
    const double days[] = {172.5, 355.5};
    const double daylight[] = {24.0, 0.0};
    for (int i = 0; i < 2; ++i) {
        record = vegso_env_create();
        record->latitude = 80.0;
        record->period = 1.0 / 24.0;
        record->day_of_year = days[i];
        vegso_env_update(record);
        const Environment& e = *record->environment;
        EXPECT_NEAR(e.daylightHours, daylight[i], 1e-3) << days[i];
        EXPECT_TRUE(std::isfinite(e.extraterrestrialRadiation) && std::isfinite(e.netRadiation)) << days[i];
        vegso_free_record(record);
    }
}
