// The weather and sun of one period of a library cell step, derived from the
// environment record by the hourly standard method of reference
// evapotranspiration. Radiation in MJ/m2 over an hour, pressures kPa,
// temperatures °C, wind m/s, heights m, angles in radians where so named.
#pragma once

#include "nutrients/source/vegso_interface.hpp"

namespace VEGSO {

class Environment {
public:
    // Latitude, longitude and elevation from the record, then update.
    explicit Environment(const vegso_env_record& record);
    // Refreshes the period's weather and sun from the record (the place
    // stays as constructed).
    void update(const vegso_env_record& record);

    double latitude = 0.0;   // degrees, negative south
    double longitude = 0.0;  // degrees, negative west
    double elevation = 0.0;  // m
    double period = 0.0;     // days: the step length
    double dayOfYear = 0.0;
    double airTemperature = 0.0;
    double dewPoint = 0.0;
    double humidityHeight = 0.0;  // m
    double windSpeed = 0.0;       // m/s
    double windHeight = 0.0;      // m
    double airPressure = 0.0;     // kPa
    double rainfall = 0.0;
    double rainNitrate = 0.0;
    double solarRadiation = 0.0;  // Rs
    double latitudeRadians = 0.0;
    double longitudeRadians = 0.0;
    double airDensity = 1.29;              // kg/m3
    double extraterrestrialRadiation = 0.0;  // Ra
    double clearSkyRadiation = 0.0;        // Rso
    double saturationVapourPressure = 0.0;  // es
    double actualVapourPressure = 0.0;      // ea
    double vapourPressureSlope = 0.0;       // kPa/°C
    double netEmissivity = 0.0;
    double cloudinessFactor = 0.0;
    double netShortwave = 0.0;
    double netLongwave = 0.0;
    double netRadiation = 0.0;  // Rn
    double soilHeatFlux = 0.0;  // G
    double psychrometricConstant = 0.0;      // kPa/°C
    double psychrometricConstantWind = 0.0;  // with the wind term
    double aerodynamicResistance = 0.0;      // s/m
    double daylightHours = 12.0;
    bool sunUp = true;  // net radiation above 0
};

}  // namespace VEGSO
