#include "nutrients/source/plant_database.hpp"

#include "nutrients/source/vegso_warnings.hpp"

namespace VEGSO {
namespace PLANT_DATABASE {

namespace {

const char* const kDefaultCode = "DEFAULT";

template <class Record>
const Record& lookup(const std::map<std::string, Record>& table, const char* tableName,
                     const std::string& code) {
    const auto found = table.find(code);
    if (found != table.end()) return found->second;
    warnOnce(std::string("plant database: ") + tableName + " / " + code,
             std::string("Warning: the plant database has no ") + tableName + " record for plant code \"" +
                 code + "\"; the DEFAULT record is used\n");
    return table.at(kDefaultCode);
}

}  // namespace

const PlantDatabase& PlantDatabase::get() {
    static const PlantDatabase database;
    return database;
}

PlantDatabase::PlantDatabase() {
    // The temperature table holds "SCRM" where the other tables hold
    // "SCRN"; "SGHY" has only a leaf-area record and "GRSG" no nutrient
    // record. Codes missing from a table fall back to its DEFAULT record.
    temperature_ = {
        {"DEFAULT", {10.0, 25.0}}, {"CORN", {8.0, 25.0}},  {"CSIL", {8.0, 25.0}},
        {"SCRM", {12.0, 24.0}},    {"EGAM", {12.0, 25.0}}, {"GRSG", {11.0, 30.0}},
    };
    biomassProduction_ = {
        {"DEFAULT", {22.0, 8.0, 50.0, 650.0}}, {"CORN", {39.0, 7.2, 45.0, 660.0}},
        {"CSIL", {39.0, 7.2, 45.0, 660.0}},    {"SCRN", {39.0, 7.2, 45.0, 660.0}},
        {"EGAM", {21.0, 10.0, 58.0, 660.0}},   {"GRSG", {33.5, 8.5, 36.0, 660.0}},
    };
    canopyRoot_ = {
        {"DEFAULT", {0.0065, 2.0, 2.0, 0.05}}, {"CORN", {0.0071, 2.5, 2.0, 0.2}},
        {"CSIL", {0.0071, 2.5, 2.0, 0.2}},     {"SCRN", {0.0071, 2.5, 2.0, 0.2}},
        {"EGAM", {0.0055, 1.7, 2.0, 0.003}},   {"GRSG", {0.005, 1.0, 2.0, 0.2}},
    };
    leafAreaIndex_ = {
        {"DEFAULT", {3.5, 0.17, 0.1, 0.5, 0.95, 0.6}}, {"CORN", {3.0, 0.15, 0.05, 0.5, 0.95, 0.7}},
        {"CSIL", {4.0, 0.15, 0.05, 0.5, 0.95, 0.7}},   {"SCRN", {2.5, 0.15, 0.05, 0.5, 0.95, 0.5}},
        {"EGAM", {2.5, 0.05, 0.18, 0.25, 0.9, 0.4}},   {"GRSG", {3.0, 0.15, 0.05, 0.5, 0.95, 0.64}},
        {"SGHY", {4.0, 0.15, 0.05, 0.5, 0.95, 0.64}},
    };
    nutrientParameter_ = {
        {"DEFAULT", {0.04, 0.015, 0.01, 0.003, 0.0015, 0.001}},
        {"CORN", {0.047, 0.0177, 0.0138, 0.0048, 0.0018, 0.0014}},
        {"CSIL", {0.047, 0.0177, 0.0138, 0.0048, 0.0018, 0.0014}},
        {"SCRN", {0.047, 0.0177, 0.0138, 0.0048, 0.0018, 0.0014}},
        {"EGAM", {0.02, 0.01, 0.007, 0.0014, 0.001, 0.0007}},
    };
}

const TemperatureRecord& PlantDatabase::lookupTemperature(const std::string& code) const {
    return lookup(temperature_, "temperature", code);
}

const BiomassProductionRecord& PlantDatabase::lookupBiomassProduction(const std::string& code) const {
    return lookup(biomassProduction_, "biomass-production", code);
}

const CanopyRootRecord& PlantDatabase::lookupCanopyRoot(const std::string& code) const {
    return lookup(canopyRoot_, "canopy-root", code);
}

const LeafAreaIndexRecord& PlantDatabase::lookupLeafAreaIndex(const std::string& code) const {
    return lookup(leafAreaIndex_, "leaf-area", code);
}

const NutrientParameterRecord& PlantDatabase::lookupNutrientParameter(const std::string& code) const {
    return lookup(nutrientParameter_, "nutrient-parameter", code);
}

}  // namespace PLANT_DATABASE
}  // namespace VEGSO
