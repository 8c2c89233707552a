// The plant database: plant parameters in five tables keyed by a plant code
// ("CORN", "EGAM", ...). One process-wide database, built from the constants
// in plant_database.cpp on first use and never changed; its records live
// until the process ends.
#pragma once

#include <map>
#include <string>

namespace VEGSO {
namespace PLANT_DATABASE {

struct TemperatureRecord {
    double baseTemperature;     // °C, below which the plant does not grow
    double optimumTemperature;  // °C
};

struct BiomassProductionRecord {
    double radiationUseEfficiency;  // biomass per unit of intercepted radiation
    double value2;                  // kept, not read by the plant model
    double value3;                  // kept, not read
    double value4;                  // kept, not read
};

struct CanopyRootRecord {
    double canopyConductance;
    double maxCanopyHeight;  // m
    double maxRootDepth;     // m
    double value4;           // kept, not read
};

struct LeafAreaIndexRecord {
    double maxLAI;
    double fraction1;        // first fraction of the potential heat units
    double laiFraction1;     // fraction of the maximum LAI reached at fraction1
    double fraction2;        // second fraction of the potential heat units
    double laiFraction2;     // fraction of the maximum LAI reached at fraction2
    double declineFraction;  // kept, not read
};

// Nitrogen and phosphorus fractions of the biomass at emergence, at half of
// the potential heat units and at maturity. Plants take up no phosphorus:
// the three phosphorus values are kept, not read.
struct NutrientParameterRecord {
    double nEmergence;
    double nHalf;
    double nMaturity;
    double pEmergence;
    double pHalf;
    double pMaturity;
};

class PlantDatabase {
public:
    // The one database, built on the first call.
    static const PlantDatabase& get();

    // The record of `code`. A table that holds no record of that code gives
    // its "DEFAULT" record and a warning (once per table and code).
    const TemperatureRecord& lookupTemperature(const std::string& code) const;
    const BiomassProductionRecord& lookupBiomassProduction(const std::string& code) const;
    const CanopyRootRecord& lookupCanopyRoot(const std::string& code) const;
    const LeafAreaIndexRecord& lookupLeafAreaIndex(const std::string& code) const;
    const NutrientParameterRecord& lookupNutrientParameter(const std::string& code) const;

private:
    PlantDatabase();

    std::map<std::string, TemperatureRecord> temperature_;
    std::map<std::string, BiomassProductionRecord> biomassProduction_;
    std::map<std::string, CanopyRootRecord> canopyRoot_;
    std::map<std::string, LeafAreaIndexRecord> leafAreaIndex_;
    std::map<std::string, NutrientParameterRecord> nutrientParameter_;
};

}  // namespace PLANT_DATABASE
}  // namespace VEGSO
