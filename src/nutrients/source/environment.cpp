#include "nutrients/source/environment.hpp"

#include <algorithm>
#include <cmath>

namespace VEGSO {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDefaultTemperature = 20.0;      // °C
constexpr double kDewPointDepression = 3.0;       // °C below the air temperature
constexpr double kDefaultHumidityHeight = 1.0;    // m
constexpr double kDefaultWindSpeed = 0.5;         // m/s
constexpr double kDefaultWindHeight = 1.0;        // m
// Below this wind speed the aerodynamic resistance of the hourly method is
// not valid (calm air still mixes by buoyancy).
constexpr double kMinWindSpeed = 0.5;             // m/s
constexpr double kSolarConstant = 4.92;           // MJ/m2 over an hour
constexpr double kStefanBoltzmann = 2.04e-10;     // MJ/(m2 K4) over an hour
constexpr double kRadiansPerHour = 0.2618;        // the earth's turn in an hour

double given_or(const vegso_given_value& v, double fallback) { return v.given ? v.value : fallback; }

}  // namespace

Environment::Environment(const vegso_env_record& record) {
    latitude = record.latitude_hemisphere == 'N' ? record.latitude : -record.latitude;
    longitude = record.longitude_hemisphere == 'E' ? record.longitude : -record.longitude;
    latitudeRadians = latitude * kPi / 180.0;
    longitudeRadians = longitude * kPi / 180.0;
    elevation = record.elevation;
    update(record);
}

void Environment::update(const vegso_env_record& record) {
    dayOfYear = record.day_of_year;
    period = record.period;
    const double t = given_or(record.air_temperature, kDefaultTemperature);
    airTemperature = t;
    dewPoint = record.dew_point.given && record.dew_point.value <= t ? record.dew_point.value
                                                                     : t - kDewPointDepression;
    humidityHeight = given_or(record.humidity_height, kDefaultHumidityHeight);
    windSpeed = given_or(record.wind_speed, kDefaultWindSpeed);
    windHeight = given_or(record.wind_height, kDefaultWindHeight);
    rainfall = given_or(record.rainfall, 0.0);
    rainNitrate = given_or(record.rain_nitrate, 0.0);

    const double z = elevation;
    const double ta = record.air_temperature.value + 273.0;
    airDensity = std::pow(1.0 - 0.0065 * z / ta, 9.80665 * 0.0289644 / (8.31447 * 0.0065)) * 101.325 * 1000.0 *
                 0.0289644 / (8.31447 * ta);

    // Sun over the period, centred on its middle.
    const double j = dayOfYear;
    const double dr = 1.0 + 0.033 * std::cos(2.0 * kPi * j / 365.0);
    const double declination = 0.409 * std::sin(2.0 * kPi * j / 365.0 - 1.39);
    const double b = 2.0 * kPi * (j - 81.0) / 364.0;
    const double seasonal = 0.1645 * std::sin(2.0 * b) - 0.1255 * std::cos(b) - 0.025 * std::sin(b);
    const double lz = longitude <= 0.0 ? 15.0 * std::floor(longitude / 15.0) : 15.0 * std::ceil(longitude / 15.0);
    const double hours = period * 24.0;
    const double solar_time = 0.5 * hours + (j - std::ceil(j)) * 24.0 + (longitude - lz) / 15.0 + seasonal;
    const double h = kPi / 12.0 * (solar_time - 12.0);
    const double ha = h - kPi * hours / 24.0;
    const double hb = h + kPi * hours / 24.0;
    const double lat = latitudeRadians;
    // Beyond the polar circles the sun stays up or down all day.
    const double sunset = std::acos(std::clamp(-std::tan(lat) * std::tan(declination), -1.0, 1.0));
    daylightHours = 2.0 * sunset / kRadiansPerHour;

    double ra = 12.0 / kPi * kSolarConstant * dr *
                ((hb - ha) * std::sin(lat) * std::sin(declination) +
                 std::cos(lat) * std::cos(declination) * (std::sin(hb) - std::sin(ha)));
    if (ra < 0.0) ra = 0.0;
    extraterrestrialRadiation = ra;
    clearSkyRadiation = (0.75 + 2e-5 * z) * ra;

    saturationVapourPressure = 0.6108 * std::exp(17.27 * t / (t + 237.3));
    actualVapourPressure = 0.6108 * std::exp(17.27 * dewPoint / (dewPoint + 237.3));
    vapourPressureSlope = 4099.0 * saturationVapourPressure / ((t + 237.3) * (t + 237.3));
    netEmissivity = 0.34 - 0.14 * std::sqrt(actualVapourPressure);

    solarRadiation = record.solar_radiation.given ? record.solar_radiation.value : clearSkyRadiation;
    const double f = clearSkyRadiation != 0.0 ? 1.35 * solarRadiation / clearSkyRadiation - 0.35 : 1.0;
    cloudinessFactor = std::clamp(f, 0.35, 1.0);

    netShortwave = 0.77 * solarRadiation;
    const double tk = t + 273.15;
    netLongwave = -(cloudinessFactor * netEmissivity) * kStefanBoltzmann * (tk * tk * tk * tk);
    netRadiation = netShortwave + netLongwave;
    sunUp = netRadiation > 0.0;
    soilHeatFlux = netRadiation > 0.0 ? 0.1 * netRadiation : 0.5 * netRadiation;

    aerodynamicResistance = 208.0 / std::max(windSpeed, kMinWindSpeed);

    airPressure = record.pressure.given ? record.pressure.value
                                        : 101.3 * std::pow((293.0 - 0.0065 * z) / 293.0, 5.26);
    psychrometricConstant = 0.00163 * airPressure / 2.45;
    const double cd = netRadiation > 0.0 ? 0.24 : 0.96;
    psychrometricConstantWind = (1.0 + cd * windSpeed) * psychrometricConstant;
}

}  // namespace VEGSO
